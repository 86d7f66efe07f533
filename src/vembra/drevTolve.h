// The engine's cutscene glue.
//
// Not built yet: a placeholder with the call the script interface makes.
#pragma once

#include <cstdint>

// Elapsed cutscene time in milliseconds. Not built yet: no cutscene ever
// plays, so it answers 0.
int32_t drevTolve_GetMovieTime(void);
