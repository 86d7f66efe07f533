// The frame clock. Not built yet (placeholder).
#include "engine/drevTime.h"

// Not built yet: there is no frame clock, so no frame step.
uint32_t drevTime_GetFrameMs(void) { return 0; }
