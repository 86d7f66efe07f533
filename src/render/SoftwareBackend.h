// The software back end: the classic rasterizer and buffer copies behind the
// render-hook registry (see platform/kv_RenderHooks.h).
#pragma once

#include "platform/kv_RenderHooks.h"

// Fills and registers the software table; the registry then holds it active.
RenderHookTable* InitSoftwareBackend(void);

// The software back end's operations.
void Software_FramePhase(int phase);
void Software_Blit(DisplayBuffer* destination, kvSurface* destinationSurface, DisplayBuffer* source,
                   kvSurface* sourceSurface, int x, int y, const stdRect* sourceRect, int flags);
void Software_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* placement);
void Software_OnCameraChanged(void);
void Software_BeginModel(qxModel3* model, const qxVector3* centre, float radius,
                         const qxMatrix34* placement, qxModel3* companion);
void Software_EndModel(qxModel3* model, qxModel3* companion);
int Software_BlitObjectStates(DisplayBuffer* source0, int x0, int y0, int flags0,
                              DisplayBuffer* destination0, int unused0, DisplayBuffer* source1,
                              int x1, int y1, int flags1, DisplayBuffer* destination1, int unused1);
int Software_DrawTextObject(TextObject* textObject, int flag);
int Software_FillRect(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour, int pattern,
                      float alpha);
