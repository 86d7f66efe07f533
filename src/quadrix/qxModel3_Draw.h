// Drawing models, the user clip plane, and the questions the hardware
// renderer asks about models, meshes, materials and bitmaps.
//
// qxModel3_Draw culls a model thing, builds its node matrices, works out its
// modes and the lights near it, and offers every visible node's mesh to the
// render hooks (kv_RenderHooks_DrawMesh). The software back end answers with
// qxModel3_DrawMesh, which transforms, lights, culls and clips the mesh and
// queues its faces in the face cache. While the software back end is not in
// use, each offered mesh is measured instead: the faces it would queue widen
// the cache's drawn area, so that area is the draw's in every rendering.
//
// The draw state is global: main thread only, and a draw is not re-entered.
// Lighting mode 6 and the inherited mesh intensity that a node marked to
// inherit it receives are written into the shared model record, so the first
// thing drawn decides them for every thing using that model.
#pragma once

#include <cstdint>

#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"

struct DisplayBuffer;
struct qxFace;
struct qxMaterial;
struct qxModel3Mesh;
struct qxModel3Node;
struct qxThing;

// A (material, cel) pair used by faces.
struct qxFaceMaterial {
  qxMaterial* material;
  int32_t cel;
};

// 1 drawn, 0 culled before any hook was called.
int qxModel3_Draw(qxThing* thing, const qxMatrix34* placement, qxThing* companion);
// The node walk: offers the meshes of visible nodes to the render hooks.
void qxModel3_DrawNode(qxModel3Node* node);
// The software back end's mesh operation; faces are queued only when emit is non-zero.
void qxModel3_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* nodeMatrix, int emit);
// One face into the face cache; 1 queued, 0 dropped.
int qxModel3_EmitFace(const qxFace* face, int backFacing);
// Builds the node matrices and draws a line from each node's parent joint to
// its own; 1.
int qxModel3_DrawSkeleton(qxThing* thing, const qxMatrix34* placement, int colour);
void qxModel3_DrawSkeletonLines(qxThing* thing, qxModel3Node* node, int colour);

// The user clip plane (world space): faces keep the side where
// (p - point) . normal >= 0.
void qxModel3_EnableClipPlane(int enable);
void qxModel3_SetClipPlane(const qxVector3* normal, const qxVector3* point);

// Queries of the hardware renderer. Every output pointer may be null.
// The node's world placement as last built; 0 when the node is not below the
// model's node count.
int qxModel3_GetNodeMatrix(const qxThing* thing, int32_t node, qxMatrix34* out);
void qxModel3_GetMeshFaces(const qxModel3Mesh* mesh, int32_t* faceCount, qxFace** faces);
void qxModel3_GetMeshVertices(const qxModel3Mesh* mesh, int32_t* vertexCount, qxVector3** vertices,
                              qxVector3** normals, int32_t* texVertexCount,
                              qxVector2** texVertices);
// The level-0 texture of a textured cel (cel -1 = the material's current
// cel) and its colour key, the cel's palette colour, and the material's
// flags masked with 4.
void qxModel3_GetMaterialTexture(const qxMaterial* material, int32_t cel, DisplayBuffer** texture,
                                 int32_t* colorKeyed, uint32_t* colorKey, int32_t* celColour,
                                 uint32_t* hardwareFlag);
// The current colormap's 768-byte palette, or null.
const uint8_t* qxModel3_GetCurrentPalette(void);
// The buffer's size, pixels (taken between a lock and an unlock; null when
// the buffer cannot be locked), bits per pixel, palette (an indexed buffer's
// own, else the current colormap's; null for other buffers), colour key, and
// its extra block, which is the backing surface.
void qxModel3_GetBitmapInfo(DisplayBuffer* buffer, int32_t* width, int32_t* height, void** pixels,
                            int32_t* bitsPerPixel, const uint8_t** palette, uint32_t* colorKey,
                            void** extra);
// Distinct (material, cel) pairs in first-use order; writes at most capacity
// and returns how many there are, so a larger result means some were left out.
int qxModel3_CollectFaceMaterials(int32_t faceCount, const qxFace* faces, qxFaceMaterial* out,
                                  int capacity);
// Fan triangulation of the faces with that material and cel into 16-bit
// indices (vertex indices, or texture-vertex indices when the flag is set).
// Writes while the total fits the capacity; returns the total.
int qxModel3_BuildTriangleIndices(int32_t faceCount, const qxFace* faces,
                                  const qxMaterial* material, int32_t cel, int useTextureIndices,
                                  int capacity, uint16_t* out);
