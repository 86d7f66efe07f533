// The render module.
// Placeholder: not built yet (the presentation subsystem builds this module);
// only what the general library and the software back end need is here.
#pragma once

struct DisplayBuffer;

// The resolution-scaling factor set by the scripts.
float drevRender_GetResolutionScaling(void);

// The render module's display raster (the display's back buffer once the
// module is attached) and its clean z-buffer raster; null until then.
extern DisplayBuffer* drevRender_pDisplayRaster;
extern DisplayBuffer* drevRender_pCleanZBuffer;
