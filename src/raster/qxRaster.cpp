// Not built yet: no reciprocal tables, and the dispatchers draw nothing.
#include "raster/qxRaster.h"

int qxRaster_Open(void) {
  return 1;
}

void qxRaster_Startup(void) {}

int qxCache_DrawFaceDirect(qxCacheFace*) {
  return 0;
}

int qxCache_DrawFaceZBuffered(qxCacheFace*) {
  return 0;
}

int qxCache_DrawProceduralFace(qxCacheFace*) {
  return 0;
}
