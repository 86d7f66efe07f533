// The frame clock.
//
// Not built yet: a placeholder with the one call the script interface makes.
#pragma once

#include <cstdint>

// Not built yet: answers 0.
uint32_t drevTime_GetFrameMs(void);
