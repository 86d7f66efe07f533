// Placeholder: not built yet (the presentation subsystem builds this module).
// With no render module the resolution scaling is the neutral 1.0 and there
// are no rasters.
#include "presentation/drevRender.h"

DisplayBuffer* drevRender_pDisplayRaster = nullptr;
DisplayBuffer* drevRender_pCleanZBuffer = nullptr;

float drevRender_GetResolutionScaling(void) {
  return 1.0f;
}
