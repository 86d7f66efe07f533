// Not built yet: the engine core replaces this file. These entry points start
// no module and run no frame; each says so in the log where start-up or the
// game would have depended on it.
#include "engine/drevMain.h"

#include "gfx/kv_RenderContext.h"
#include "platform/kv_Log.h"

int drevMain_Initialize(HostServices*, ModuleDescriptor* descriptor) {
  kv_Log_Printf("[Engine] - engine modules not built yet: none initialised");
  if (descriptor) *descriptor = ModuleDescriptor{};
  return 0;
}
void drevMain_SetQuitHandler(void (*)(int)) {}
void drevMain_SetDisplayHandler(int (*)(const uint8_t*, int)) {}
void drevMain_SetPresentHandler(int (*)(void)) {}
void drevMain_SetLogToggleHandler(void (*)(int)) {}
void drevMain_SetMaxMemory(int64_t) {}
void drevMain_SetDataPath(const char*) {}
void drevMain_ScanDataDirectories(void) {
  kv_Log_Printf("[Engine] - data directory scan not built yet");
}
int drevMain_StartScripts(void) {
  kv_Log_Printf("[Engine] - boot script not built yet: _system.lua not run");
  return 0;
}
int drevMain_StartGame(int, const char*) {
  kv_Log_Printf("[Engine] - game start not built yet: BOOT not called");
  return 0;
}
void drevMain_StopGame(void) {}
void drevMain_Frame(int, int) {}
// The display step ends with the render context's frame end; with no engine
// to draw, that is all it does: the window shows a cleared frame.
void drevMain_Display(void) {
  kv_Platform_EndFrame();
}
int drevMain_CallPauseHandler(void) {
  return 0;
}
int drevMain_CallCharacterHandler(int) {
  return 0;
}
