// The front end's table of calls into the engine, the 3D library, the
// display layer and the optional libraries, set to their real functions.
#include <dlfcn.h>

#include "app/voskdemo.h"
#include "engine/SpewLib.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCore.h"

namespace {

// The display layer lists no 3D device.
int No3DDevices(int, const stdDevice3DRecord** records) {
  if (records) *records = nullptr;
  return 0;
}

int NumVideoModes() {
  return stdDisplay_numVideoModes;
}

// The display layer picks the device from the criteria, handed over in the
// integer fields of a device record.
int ChooseDevice(const int criteria[5]) {
  DisplayDevice wanted{};
  wanted.ownBuffers = criteria[0];
  wanted.reserved0 = criteria[1];
  wanted.reserved1 = criteria[2];
  wanted.reserved2 = criteria[3];
  wanted.has3DDevice = criteria[4];
  return stdDisplay_GetCurrentDevice(&wanted);
}

void* FindSymbol(void* library, const char* name) {
  return library ? dlsym(library, name) : nullptr;
}

void UnloadLibrary(void* library) {
  if (library) dlclose(library);
}

voskdemoCalls DefaultCalls() {
  voskdemoCalls c{};
  c.qxStartup = qxCore_Startup;
  c.qxOpen = qxCore_Open;
  c.qxClose = qxCore_Close;
  c.qxShutdown = qxCore_Shutdown;
  c.displayStartup = stdDisplay_Startup;
  c.displayShutdown = stdDisplay_Shutdown;
  c.engineInitialize = drevMain_Initialize;
  c.setQuitHandler = drevMain_SetQuitHandler;
  c.setDisplayHandler = drevMain_SetDisplayHandler;
  c.setPresentHandler = drevMain_SetPresentHandler;
  c.setLogToggleHandler = drevMain_SetLogToggleHandler;
  c.scanDataDirectories = drevMain_ScanDataDirectories;
  c.startScripts = drevMain_StartScripts;
  c.startGame = drevMain_StartGame;
  c.stopGame = drevMain_StopGame;
  c.spewStop = SpewLib_Stop;

  c.displayNumDevices = stdDisplay_GetNumDevices;
  c.displayGetDevice = stdDisplay_GetDevice;
  c.display3DDevices = No3DDevices;
  c.displayOpen = stdDisplay_Open;
  c.displayClose = stdDisplay_Close;
  c.displayNumModes = NumVideoModes;
  c.displayGetMode = stdDisplay_GetVideoMode;
  c.displaySetMode = stdDisplay_SetMode;
  c.displayResetMode = stdDisplay_ResetMode;
  c.displayFlip = stdDisplay_Flip;
  c.displayChooseDevice = ChooseDevice;
  c.displayFindMode = stdDisplay_FindVideoMode;
  c.fillBuffer = kv_RenderHooks_FillBuffer;
  c.newBuffer = stdDisplay_NewBuffer;
  c.freeBuffer = stdDisplay_FreeBuffer;
  c.attachDisplay = drevMain_AttachDisplay;
  c.detachDisplay = drevMain_DetachDisplay;
  c.openResourceLog = drevMain_OpenResourceLog;

  c.loadLibrary = kv_Platform_OpenLibrary;
  c.findSymbol = FindSymbol;
  c.unloadLibrary = UnloadLibrary;

  c.applyToolCostume = drevMain_ApplyToolCostume;
  c.endToolCostume = drevMain_EndToolCostume;
  c.tick = voskdemo_Tick;
  c.setPaused = drevMain_SetPaused;
  return c;
}

voskdemoCalls g_calls = DefaultCalls();

}  // namespace

voskdemoCalls& voskdemo_Calls(void) {
  return g_calls;
}

void voskdemo_ResetCalls(void) {
  g_calls = DefaultCalls();
}
