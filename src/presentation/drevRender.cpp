// Placeholder: not built yet (the presentation subsystem builds this module).
// With no render module the resolution scaling is the neutral 1.0.
#include "presentation/drevRender.h"

float drevRender_GetResolutionScaling(void) { return 1.0f; }
