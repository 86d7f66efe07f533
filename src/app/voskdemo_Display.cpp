// Display choice, logging switch and chore-tool loader of the front end.
//
// Not built yet: the display devices and display buffers do not exist, so
// the display choice opens no device; it presents one cleared frame, as
// opening a display does, so that the window appears. The logging switch
// installs no printers (the services record's default printers stay), and
// the chore tool's library is not available on Linux.
#include "app/voskdemo.h"
#include "gfx/kv_RenderContext.h"
#include "platform/kv_Log.h"

int voskdemo_BuildDisplayInfo(void) {
  kv_Log_Printf("[voskdemo] - display choice not built yet: no display devices");
  return 1;
}

int voskdemo_OpenDisplay(void) {
  kv_Platform_EndFrame();
  return 1;
}

void voskdemo_SetLogging(int on) {
  voskdemo_State* state = voskdemo_GetState();
  if (on && !state->loggingSetUp) {
    kv_Log_Printf("[voskdemo] - message printers not built yet: default printers stay");
    state->loggingSetUp = 1;
  }
}

int voskdemo_ToggleChoreTool(int on) {
  static bool told = false;
  if (on && !told) {
    kv_Log_Printf("[voskdemo] - the chore tool's window is not available on Linux");
    told = true;
  }
  return 0;
}
