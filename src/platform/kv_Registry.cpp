// Not built yet: the settings registry replaces this file. Nothing is loaded,
// so every setting reads as missing (its default).
#include "platform/kv_Registry.h"

#include "platform/kv_Log.h"

void kv_Registry_Load(void) {
  kv_Log_Printf("[Registry] - settings registry not built yet: defaults apply");
}
int kv_Registry_ReadString(const char*, char*, int) {
  return 0;
}
int kv_Registry_ReadInt(const char*, int defaultValue) {
  return defaultValue;
}
float kv_Registry_ReadFloat(const char*, float defaultValue) {
  return defaultValue;
}
void kv_Registry_Shutdown(void) {}
