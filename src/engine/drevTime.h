// The frame clock: the time step of every engine frame, never above 300 ms.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

constexpr uint32_t kMaxFrameStepMs = 300;

int drevTime_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// Measures the step since the last update from std_GetTicks.
void drevTime_Update(void);
// Takes a given step (forced steps, screen dimming).
void drevTime_SetFrameMs(uint32_t milliseconds);
uint32_t drevTime_GetFrameMs(void);
float drevTime_GetFrameSeconds(void);
uint32_t drevTime_GetTotalMs(void);
// Replaces the tick source (tests); null restores std_GetTicks.
void drevTime_SetTickSource(uint32_t (*ticks)(void));
