// 2D quads as draw records: flat-colour quads, textured quads with an opacity
// multiplier, a desaturation amount and the display gamma. A quad is six
// QuadVertex vertices (120 bytes) drawn as a triangle list without indices,
// from a per-frame buffer; the builders fill a record in caller storage and
// submit nothing, so a record must be drawn in the frame that built it.
//
// Rectangles are in clip space (x, y from -1 to 1, y up) or, for the
// ...ForTarget / ...ForBackBuffer forms, in a target's pixels (origin at the
// top-left pixel, y down). With no target (or a null surface) the record is
// left empty: it has no program and is never submitted.
#pragma once

struct DrawRecord;
struct kvRenderTarget;
struct kvSurface;
struct kvVertexBuffer;

// Writes the six vertices of rectangle (x, y, w, h) with texture corners
// (s0, t0) and (s1, t1) at firstVertex: vertices 0, 1, 2 are (x, y + h),
// (x + w, y + h), (x, y); 3, 4, 5 are (x + w, y + h), (x + w, y), (x, y); t0
// belongs to the y + h edge and t1 to the y edge.
void Quad_WriteVertices(float x, float y, float w, float h, float s0, float t0, float s1, float t1,
                        kvVertexBuffer* buffer, int firstVertex);
// A per-frame buffer holding one quad, with its QuadVertex attributes.
void Quad_CreateVertexBuffer(float x, float y, float w, float h, float s0, float t0, float s1,
                             float t1, kvVertexBuffer** buffer);

// Target pixels to clip space for a target of width x height.
void Quad_PixelsToClip(float width, float height, float* x, float* y, float* w, float* h);

// The anchor places (x, y) at a fraction of the rectangle: (0, 0) its first
// corner, (0.5, 0.5) its centre. Colours must arrive premultiplied.
void Quad_BuildColorDraw(DrawRecord* record, float r, float g, float b, float a, float x, float y,
                         float anchorX, float anchorY, float w, float h);
void Quad_BuildColorDrawForBackBuffer(DrawRecord* record, float r, float g, float b, float a,
                                      float x, float y, float anchorX, float anchorY, float w,
                                      float h);
void Quad_BuildTexturedDraw(DrawRecord* record, kvSurface* surface, float x, float y, float anchorX,
                            float anchorY, float w, float h, float s0, float t0, float s1, float t1,
                            float multiply, float desaturate);
// The source rectangle is given by two corners in texels; a render target's
// colour surface (rows bottom-up) is sampled so that it shows upright too.
void Quad_BuildTexturedDrawForTarget(DrawRecord* record, kvSurface* surface, float x, float y,
                                     float anchorX, float anchorY, float w, float h, float srcX0,
                                     float srcY0, float srcX1, float srcY1,
                                     const kvRenderTarget* target, float multiply,
                                     float desaturate);
void Quad_BuildDrawForBackBuffer(DrawRecord* record, kvSurface* surface, float x, float y,
                                 float anchorX, float anchorY, float w, float h, float srcX0,
                                 float srcY0, float srcX1, float srcY1, float multiply,
                                 float desaturate);
