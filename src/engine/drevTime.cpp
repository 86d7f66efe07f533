// The frame clock.
#include "engine/drevTime.h"

#include "std/std.h"

namespace {

struct {
  uint32_t lastTick;
  uint32_t stepMs;
  float stepSeconds;
  uint32_t totalMs;
  int initialized;
  int started;
} gClock;

uint32_t (*gTicks)(void) = nullptr;

uint32_t Now() {
  return gTicks ? gTicks() : std_GetTicks();
}

void TakeStep(uint32_t step, uint32_t now) {
  gClock.stepMs = step >= kMaxFrameStepMs ? kMaxFrameStepMs : step;
  gClock.stepSeconds = static_cast<float>(gClock.stepMs) * 0.001f;
  gClock.totalMs += gClock.stepMs;
  gClock.lastTick = now;
}

void Uninitialize() {
  gClock.initialized = 0;
}
int Startup() {
  if (gClock.started) return 1;
  gClock.totalMs = 0;
  gClock.stepMs = 0;
  gClock.stepSeconds = 0.0f;
  gClock.lastTick = Now();
  gClock.started = 1;
  return 0;
}
void Shutdown() {
  gClock.started = 0;
}

}  // namespace

int drevTime_Initialize(HostServices*, ModuleDescriptor* descriptor) {
  descriptor->uninitialize = Uninitialize;
  descriptor->startup = Startup;
  descriptor->shutdown = Shutdown;
  gClock.initialized = 1;
  return 0;
}

void drevTime_Update(void) {
  const uint32_t now = Now();
  // After the tick counter wrapped the step is one short; kept as it always was.
  const uint32_t step = now >= gClock.lastTick ? now - gClock.lastTick : now - gClock.lastTick - 1;
  TakeStep(step, now);
}

void drevTime_SetFrameMs(uint32_t milliseconds) {
  TakeStep(milliseconds, Now());
}
uint32_t drevTime_GetFrameMs(void) {
  return gClock.stepMs;
}
float drevTime_GetFrameSeconds(void) {
  return gClock.stepSeconds;
}
uint32_t drevTime_GetTotalMs(void) {
  return gClock.totalMs;
}
void drevTime_SetTickSource(uint32_t (*ticks)(void)) {
  gTicks = ticks;
}
