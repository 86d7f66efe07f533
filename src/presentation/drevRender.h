// Render module (not built yet: placeholder).
#pragma once

int drevRender_InMovieMode(void);
