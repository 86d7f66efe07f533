// Not built yet: stand-ins for the platform main's quit request and the
// window's message box, which the foundation work provides. Neither pretends
// to work: the quit request does nothing and the box reports that it could
// not be shown.
#include "platform/kv_Platform.h"

#include "platform/kv_Log.h"

void kv_Platform_PostQuit(void) {
  kv_Log_Printf("kv_Platform_PostQuit: not built yet");
}

int kv_Platform_ShowMessageBox(SDL_Window*, const char*, const char*, int, const char* const*, int,
                               int) {
  kv_Log_Printf("kv_Platform_ShowMessageBox: not built yet");
  return -1;
}
