// The software rasterizer's start-up and face dispatchers. Not built yet:
// the dispatchers draw nothing.
#pragma once

struct qxCacheFace;

int qxRaster_Open(void);
void qxRaster_Startup(void);
int qxCache_DrawFaceDirect(qxCacheFace* face);
int qxCache_DrawFaceZBuffered(qxCacheFace* face);
int qxCache_DrawProceduralFace(qxCacheFace* face);
