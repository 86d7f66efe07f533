// The engine's cutscene glue. Not built yet (placeholder).
#include "vembra/drevTolve.h"

// Not built yet: no cutscene plays.
int32_t drevTolve_GetMovieTime(void) { return 0; }
