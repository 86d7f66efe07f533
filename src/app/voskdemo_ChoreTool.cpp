// The loader of the optional chore-tool window library "Vantrel" and the
// commands that the tool sends back.
#include "app/voskdemo.h"
#include "platform/kv_Log.h"
#include "std/stdWin.h"

namespace {

void Unload(voskdemo_ChoreTool& tool) {
  voskdemo_Calls().unloadLibrary(tool.library);
  tool = voskdemo_ChoreTool{};
}

template <typename Fn>
Fn Symbol(void* library, const char* name) {
  return reinterpret_cast<Fn>(voskdemo_Calls().findSymbol(library, name));
}

int Load(voskdemo_ChoreTool& tool) {
  tool.library = voskdemo_Calls().loadLibrary("libvantrel.so");
  if (!tool.library) {
    static bool told = false;
    if (!told) {
      kv_Log_Printf("[voskdemo] - libvantrel.so not found: the chore tool is not available");
      told = true;
    }
    return 0;
  }
  tool.show = Symbol<decltype(tool.show)>(tool.library, "_ShowVantrel");
  tool.hide = Symbol<decltype(tool.hide)>(tool.library, "_HideVantrel");
  tool.registerCommandCallback =
      Symbol<decltype(tool.registerCommandCallback)>(tool.library, "_RegisterCommandCallback");
  tool.initialize = Symbol<decltype(tool.initialize)>(tool.library, "_vantrel_Initialize");
  HostServices* services = std_pHS ? std_pHS : &std_Services;
  if (!tool.show || !tool.hide || !tool.registerCommandCallback || !tool.initialize ||
      tool.initialize(services, &tool.descriptor) != 0 ||
      (tool.descriptor.startup && tool.descriptor.startup() != 0)) {
    kv_Log_Printf("[voskdemo] - the chore tool's library could not be started");
    Unload(tool);
    return 0;
  }
  tool.registration = tool.registerCommandCallback(voskdemo_ChoreToolCommand);
  tool.loaded = 1;
  tool.show(stdWin_GetWindowHandle());
  return 1;
}

// Re-opens the display for a new windowed flag.
void SetWindowed(int windowed) {
  voskdemo_State* state = voskdemo_GetState();
  state->windowed = windowed;
  if (!voskdemo_OpenDisplay()) kv_Log_Printf("[voskdemo] - the display could not be re-opened");
}

}  // namespace

int voskdemo_ToggleChoreTool(int on) {
  voskdemo_ChoreTool& tool = voskdemo_GetState()->choreTool;
  if (on) {
    if (!tool.loaded) return Load(tool);
    tool.show(stdWin_GetWindowHandle());
    return 1;
  }
  if (!tool.loaded) return 1;
  if (tool.hide() == 0) return 0;
  if (tool.descriptor.shutdown) tool.descriptor.shutdown();
  if (tool.descriptor.uninitialize) tool.descriptor.uninitialize();
  Unload(tool);
  return 1;
}

// The context the tool passes with a command is its costume.
void voskdemo_ChoreToolCommand(void* context, int command) {
  voskdemo_State* state = voskdemo_GetState();
  voskdemoCalls& calls = voskdemo_Calls();
  switch (command) {
    case 0:
      calls.applyToolCostume(context);
      break;
    case 1:
      calls.tick();
      break;
    case 2:
      calls.setPaused(1);
      break;
    case 3:
      calls.setPaused(0);
      break;
    case 4:
      if (state->windowed != state->windowedBeforeTool) SetWindowed(state->windowedBeforeTool);
      calls.endToolCostume();
      break;
    case 5:
      state->windowedBeforeTool = state->windowed;
      if (state->windowed) SetWindowed(0);
      calls.applyToolCostume(context);
      break;
    case 6:
      break;
    default:
      // 7 and above: a forced time step for the next engine frame.
      if (command >= 7) state->pendingForcedStep = command - 7;
      break;
  }
}
