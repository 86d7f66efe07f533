// The script interface module: the engine functions the scripts call and the handlers of the
// scripts' system table. Not built yet (placeholder).
#include "script/drevLua.h"

#include "platform/kv_Log.h"

int drevLua_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevLua_Update(void) {}
// Not built yet: there is no scripting runtime, so BOOT is not called. Start-up
// goes on (with a log line) so that the program runs until the scripts land.
int drevLua_CallBoot(int, const char*) {
  kv_Log_Printf("[Lua] - scripting runtime not built yet: BOOT not called");
  return 1;
}
// Not built yet: there is no scripting runtime; the boot script is not run.
int drevLua_RunSystemScript(void) {
  kv_Log_Printf("[Lua] - scripting runtime not built yet: _system.lua not run");
  return 1;
}
int drevLua_CallCamChangeHandler(int, int) {
  return 0;
}
int drevLua_CallUserPaintHandler(void) {
  return 0;
}
int drevLua_CallPauseHandler(void) {
  return 0;
}
int drevLua_CallCharacterHandler(int) {
  return 0;
}
void drevLua_SetDebugKeysHook(void (*)(int)) {}
