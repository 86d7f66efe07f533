// The render module.
// Placeholder: not built yet (the presentation subsystem builds this module);
// only the calls the general library needs are declared here.
#pragma once

// The resolution-scaling factor set by the scripts.
float drevRender_GetResolutionScaling(void);
