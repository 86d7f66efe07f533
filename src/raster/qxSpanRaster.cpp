// Not built yet: no edge lists, nothing is drawn.
#include "raster/qxSpanRaster.h"

void qxSpanRaster_ResetStats(void) {}

void qxSpanRaster_Reset(void) {}

void qxSpanRaster_Run(void) {}
