// The front end's start-up order, tick and shutdown order.
#include "app/voskdemo.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "engine/Polyglot.h"
#include "engine/SpewLib.h"
#include "engine/drevMain.h"
#include "platform/kv_Input.h"
#include "platform/kv_Language.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Registry.h"
#include "platform/kv_ToolWindow.h"
#include "quadrix/qxCore.h"
#include "script/runtime/lua31.h"
#include "std/std.h"
#include "std/stdDevice3D.h"
#include "std/stdDisplay.h"
#include "std/stdInput.h"

int voskdemo_resumeFlag = 1;

namespace {

voskdemo_State g_state{};
ModuleDescriptor g_textDescriptor{};
ModuleDescriptor g_engineDescriptor{};

// The name of the hidden developer setting, kept scrambled in the program
// and built at run time.
constexpr unsigned char kDeveloperKey = 0x5A;
constexpr unsigned char kDeveloperName[] = {
    'V' ^ kDeveloperKey, 'q' ^ kDeveloperKey, 'D' ^ kDeveloperKey, 'e' ^ kDeveloperKey,
    'v' ^ kDeveloperKey, 'e' ^ kDeveloperKey, 'l' ^ kDeveloperKey, 'o' ^ kDeveloperKey,
    'p' ^ kDeveloperKey, 'e' ^ kDeveloperKey, 'r' ^ kDeveloperKey};

int ReadDeveloperFlag() {
  char name[sizeof kDeveloperName + 1];
  for (size_t i = 0; i < sizeof kDeveloperName; ++i) {
    name[i] = static_cast<char>(kDeveloperName[i] ^ kDeveloperKey);
  }
  name[sizeof kDeveloperName] = '\0';
  char value[64] = {};
  if (!kv_Registry_ReadString(name, value, sizeof value)) return 0;
  return (strcasecmp(value, "KLAX") == 0 || strcasecmp(value, "qj") == 0) ? 1 : 0;
}

}  // namespace

voskdemo_State* voskdemo_GetState(void) {
  return &g_state;
}

void voskdemo_ResetForTest(void) {
  g_state = voskdemo_State{};
  g_engineDescriptor = ModuleDescriptor{};
  voskdemo_resumeFlag = 1;
  voskdemo_ResetTextTablesForTest();
}

int voskdemo_Init(const char* commandLine) {
  HostServices* services = &std_Services;
  voskdemoCalls& calls = voskdemo_Calls();
  // 1-4: the services record, the language, the command line, the general
  // library's services (the debug printer prints as the warning printer).
  HostServices_CopyDefaults(services);
  kv_Language_Detect();
  if (!voskdemo_ParseOptions(commandLine)) return 0;
  std_DefaultServices(services);
  services->printDebug = services->printWarning;
  std_Startup(services);

  // 5-6: the text table; start-up goes on without it (a missing one is named).
  Polyglot_Initialize(services, &g_textDescriptor);
  if (g_textDescriptor.startup) g_textDescriptor.startup();
  voskdemo_LoadTextTable();

  // 7-8: the settings file and the hidden developer setting.
  kv_Registry_Load();
  g_state.developer = ReadDeveloperFlag();

  // 9: the 3D library.
  if (!calls.qxStartup(services)) return 0;
  if (!calls.qxOpen(0)) return 0;

  // 10: the engine key handler.
  kv_Platform_AddEventHandler(kv_Platform_HandleDebugKeys);

  // 11-12: the display layer, the display and its z-buffer.
  if (!calls.displayStartup()) return 0;
  if (!voskdemo_BuildDisplayInfo()) return 0;
  if (!voskdemo_OpenDisplay()) return 0;

  // 13: every engine module.
  if (calls.engineInitialize(services, &g_engineDescriptor) != 0) return 0;
  if (g_engineDescriptor.startup && g_engineDescriptor.startup() != 0) return 0;

  // 14: the front end's callbacks and the display layer's present operation.
  calls.setQuitHandler(voskdemo_RequestQuit);
  calls.setDisplayHandler(voskdemo_ApplyPalette);
  calls.setPresentHandler(stdDisplay_Flip);
  calls.setLogToggleHandler(voskdemo_SetLogging);

  // 15-18: archives, logging, the boot script and BOOT. The engine's modules
  // run threads of their own (music, sound, cutscenes) by now: a start-up
  // that fails from here on takes everything down again, so that no thread
  // outlives the program's end.
  calls.scanDataDirectories();
  voskdemo_SetLogging(1);
  if (calls.startScripts() != 0 ||
      calls.startGame(voskdemo_resumeFlag,
                      g_state.hasBootParameter ? g_state.bootParameter : nullptr) != 0) {
    voskdemo_Shutdown();
    return 0;
  }

  // 19: the chore tool when -c was given; its result is not looked at.
  if (g_state.startChoreTool) voskdemo_ToggleChoreTool(1);
  return 1;
}

void voskdemo_Tick(void) {
  if (g_state.quitRequested) return;

  // Developer chords on controller 0: X with D-pad up (an empty platform
  // hook), X with D-pad down dumps the scripts' globals.
  if (kv_Input_GetControllerButton(0, 2) && kv_Input_GetControllerButton(0, 5)) {
    lua_PrintGlobals();
  }

  drevMain_Frame(kv_Platform_IsWindowShown(), g_state.pendingForcedStep);
  ++g_state.frameCounter;
  g_state.pendingForcedStep = 0;

  voskdemo_MeasureFrameRate(std_GetTicks());
  voskdemo_DrawDebugRows();

  if (kv_Platform_IsWindowShown()) drevMain_Display();
  // A developer tool's window (the light manager's) draws after the game.
  kv_ToolWindow_Frame();

  if (g_state.quitRequested) {
    kv_Platform_RemoveEventHandler(kv_Platform_HandleDebugKeys);
    kv_Platform_PostQuit();  // the event pump then runs voskdemo_Shutdown
  }
}

void voskdemo_DrawDebugRows(void) {
  // The display layer's debug text draws nothing; the rows only mark their
  // screen rectangles dirty.
  char text[64];
  if (g_state.showFrameRate) {
    std::snprintf(text, sizeof text, "%02.3f", g_state.frameRate);
    stdDisplay_DrawText(text, 4, 4);
    const int rect[4] = {0, 0, 80, 30};
    drevMain_InvalidateRect(rect, 0);
  }
  if (g_state.showPerformance) {
    for (int slot = 0; slot < PerfTotalEntries; ++slot) {
      PerfEntry* entry = drevMain_GetPerfEntry(slot);
      if (!entry) continue;
      const int y = 30 + 20 * slot;
      std::snprintf(text, sizeof text, "%s %02.3f", entry->name, entry->elapsedMs);
      stdDisplay_DrawText(text, 4, y);
      const int rect[4] = {4, y, 190, 20};
      drevMain_InvalidateRect(rect, 0);
      entry->elapsedMs = 0.0;
    }
  }
}

void voskdemo_MeasureFrameRate(uint32_t now) {
  const uint32_t elapsed = now - g_state.timeOfLastMeasurement;  // unsigned: wraps safely
  if (elapsed > 1000) {
    g_state.frameRate = static_cast<float>(
        (g_state.frameCounter - g_state.framesAtLastMeasurement) * 1000.0 / elapsed);
    g_state.timeOfLastMeasurement = now;
    g_state.framesAtLastMeasurement = g_state.frameCounter;
  }
}

void voskdemo_Shutdown(void) {
  voskdemoCalls& calls = voskdemo_Calls();
  // 1-3: debug.log, the display table, the debug-output library.
  voskdemo_SetLogging(0);
  g_state.logToFile = 0;
  voskdemo_FreeDisplayInfo();
  calls.spewStop();
  // 4-6: the game, every engine module, the 3D library.
  calls.stopGame();
  if (g_engineDescriptor.shutdown) g_engineDescriptor.shutdown();
  if (g_engineDescriptor.uninitialize) g_engineDescriptor.uninitialize();
  calls.qxClose();
  calls.qxShutdown();
  // 7-9: the display (detach, free the z-buffer, reset and close), the
  // display layer, the input layer's hook.
  voskdemo_CloseDisplay();
  calls.displayShutdown();
  if (!g_state.windowed) stdInput_DisplayHook(1);
  // 10-13: settings, the text table, the general library, debug.log.
  kv_Registry_Shutdown();
  if (g_textDescriptor.shutdown) g_textDescriptor.shutdown();
  if (g_textDescriptor.uninitialize) g_textDescriptor.uninitialize();
  std_Shutdown();
  if (g_state.loggingSetUp) voskdemo_SetLogging(0);
}

void voskdemo_RequestQuit(int) {
  g_state.quitRequested = 1;
}

int voskdemo_ApplyPalette(const uint8_t* palette, int flag) {
  stdDisplay_SetPalette(palette);
  stdDisplay_UpdatePalette(palette);
  if (stdDevice3D_GetCurrentDevice()) stdDevice3D_SetPalette(palette, flag);
  return 1;
}

void voskdemo_ToggleFrameRateDisplay(void) {
  g_state.showFrameRate = !g_state.showFrameRate;
}
void voskdemo_TogglePerformanceDisplay(void) {
  g_state.showPerformance = !g_state.showPerformance;
}
