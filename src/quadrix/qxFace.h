// A model face: one polygon of a model mesh with its draw modes, its vertex
// and texture-vertex index lists, its material and cel, a texture offset, an
// extra light and its normal.
//
// This is the in-memory record. The model files store a 32-bit layout of the
// same fields (pointers as 4-byte markers); readers fill the record field by
// field, never by copying the file bytes over it.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxMaterial;

enum : int32_t {
  QXFACE_TWO_SIDED = 0x1,       // not culled when facing away
  QXFACE_FORCE_LIGHTING = 0x10  // drawn with lighting mode 1 whatever its own mode
};

struct qxFace {
  int32_t index;  // position in its mesh
  int32_t flags;  // QXFACE_*
  int32_t geometryMode;
  int32_t lightingMode;
  int32_t textureMode;
  int32_t vertexCount;
  int32_t* vertexIndices;     // owned
  int32_t* texVertexIndices;  // owned; only for textured materials
  qxMaterial* material;       // not owned; null = no material
  int32_t celIndex;           // -1 = the material's current cel
  qxVector2 textureOffset;
  float extraLight;
  uint32_t extra[3];  // carried from the model file, not interpreted
  qxVector3 normal;
};

// Sets the initial values; returns 1.
int qxFace_NewEntry(qxFace* face);
// Allocates a face with the initial values; null when the allocation fails.
qxFace* qxFace_New(void);
// Frees the two index arrays and nulls their pointers (a second call is harmless).
void qxFace_FreeEntry(qxFace* face);
// Frees the arrays and the record; null is ignored.
void qxFace_Free(qxFace* face);
