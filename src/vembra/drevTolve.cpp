// The engine's cutscene glue. Not built yet (placeholder).
#include "vembra/drevTolve.h"

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
