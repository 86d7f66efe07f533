#include "quadrix/qxFace.h"

#include <cstring>

#include "quadrix/qxCore.h"

int qxFace_NewEntry(qxFace* face) {
  face->index = 0;
  face->flags = 0;
  face->vertexCount = 0;
  face->vertexIndices = nullptr;
  face->texVertexIndices = nullptr;
  face->material = nullptr;
  face->celIndex = -1;
  face->textureOffset = {0.0f, 0.0f};
  face->extraLight = 0.0f;
  face->normal = {0.0f, 0.0f, 0.0f};
  return 1;
}

qxFace* qxFace_New(void) {
  auto* face = static_cast<qxFace*>(qxCore_Alloc(sizeof(qxFace), "qxFace", __LINE__));
  if (!face) return nullptr;
  std::memset(face, 0, sizeof *face);
  qxFace_NewEntry(face);
  return face;
}

void qxFace_FreeEntry(qxFace* face) {
  if (face->vertexIndices) {
    qxCore_Free(face->vertexIndices);
    face->vertexIndices = nullptr;
  }
  if (face->texVertexIndices) {
    qxCore_Free(face->texVertexIndices);
    face->texVertexIndices = nullptr;
  }
}

void qxFace_Free(qxFace* face) {
  if (!face) return;
  qxFace_FreeEntry(face);
  qxCore_Free(face);
}
