// Render module: not built yet. Until it lands no movie ever plays.
#include "presentation/drevRender.h"

int drevRender_InMovieMode(void) { return 0; }
