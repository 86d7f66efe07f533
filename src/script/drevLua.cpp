// The script interface module: the engine functions the scripts call and the handlers of the
// scripts' system table. Not built yet (placeholder).
#include "script/drevLua.h"

int drevLua_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevLua_Update(void) {}
// Not built yet: there is no scripting runtime, so BOOT cannot be called.
int drevLua_CallBoot(int, const char*) {
  return 0;
}
// Not built yet: there is no scripting runtime to run the boot script.
int drevLua_RunSystemScript(void) {
  return 0;
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
