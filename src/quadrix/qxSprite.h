// Sprites: flat rectangles with a material that always face the viewer.
//
// A sprite stands upright on its anchor point (the thing's placement moved
// by the sprite's offset), as wide as its width and as tall as its height.
// Sprite things (qxThing) place them; the render hooks' sprite operation
// draws them, which for the software back end is qxSprite_Draw: one
// quadrilateral queued in the face cache. The hardware renderer asks
// qxSprite_GetDrawInfo for the material and the projected corners.
//
// The sprite does not own its material: its creator releases it.
// Main thread only.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxMaterial;
struct qxMatrix34;
struct qxThing;

struct qxSprite {
  char name[32];  // set only when a name is given
  int32_t type;   // the creator's value
  float radius;   // half the diagonal
  float width, height;
  float halfWidth, halfHeight;
  uint32_t faceFlags;  // 1; copied into the queued face
  int32_t geometryMode, lightingMode, textureMode;
  int32_t vertexCount;        // 4
  int32_t* vertexIndices;     // 0, 1, 2, 3
  int32_t* texVertexIndices;  // 0, 1, 2, 3 for geometry modes above 3, else null
  qxMaterial* material;       // not owned
  qxVector2 textureOffset;    // (0, 0)
  float extraLight;
  qxVector2* texVertices;  // four corners in texels for geometry modes above 3, else null
  qxVector3 offset;        // the anchor's displacement in the thing's space
};

// Null when the allocation fails or the entry cannot be made (nothing kept).
qxSprite* qxSprite_New(int32_t type, const char* name, const char* materialName, float width,
                       float height, int32_t geometryMode, int32_t lightingMode,
                       int32_t textureMode, float extraLight, const qxVector3* offset);
// 1, or 0 when the material does not load, a textured sprite's material has
// no texture in its first cel, or an allocation fails (what was built stays
// for qxSprite_FreeEntry).
int qxSprite_NewEntry(qxSprite* sprite, const char* name, int32_t type, const char* materialName,
                      float width, float height, int32_t geometryMode, int32_t lightingMode,
                      int32_t textureMode, float extraLight, const qxVector3* offset);
// Frees the index lists and texture vertices; the material is not released.
void qxSprite_FreeEntry(qxSprite* sprite);
// Null is ignored.
void qxSprite_Free(qxSprite* sprite);
// Queues the sprite's quadrilateral; 1 queued, 0 not drawn.
int qxSprite_Draw(qxThing* thing, const qxMatrix34* placement);
// Every output may be null; the corners (screen x, screen y, depth) are
// computed only when both corner outputs are given.
void qxSprite_GetDrawInfo(qxThing* thing, const qxMatrix34* placement, qxMaterial** material,
                          int32_t* cel, qxVector3* offset, float* halfWidth, float* halfHeight,
                          qxVector3* topLeft, qxVector3* bottomRight);
