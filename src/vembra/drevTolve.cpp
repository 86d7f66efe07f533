// The engine's cutscene glue. Not built yet (placeholder).
#include "vembra/drevTolve.h"

#include "platform/kv_Log.h"

int drevTolve_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
// Not built yet: no cutscene can start.
int drevTolve_Start(const char*, int, int, int) {
  return 1;
}
int drevTolve_CreateFrameBuffer(int) {
  return 0;
}
void drevTolve_Pause(int) {}
void drevTolve_Stop(void) {}
int drevTolve_Update(void) {
  return 1;
}
// Not built yet: no cutscene plays.
int32_t drevTolve_GetMovieTime(void) {
  return 0;
}
int32_t drevTolve_GetLength(const char*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Tolve] - drevTolve_GetLength: not built yet");
  }
  return 0;
}
