#include "quadrix/qxThing.h"

#include <cstring>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPuppet.h"

namespace {

// Frees the per-node arrays of a model thing and nulls them.
void FreeNodeArrays(qxThing* thing) {
  qxCore_Free(thing->nodeMatrices);
  thing->nodeMatrices = nullptr;
  qxCore_Free(thing->nodeAngleOffsets);
  thing->nodeAngleOffsets = nullptr;
  qxCore_Free(thing->drawFlags);
  thing->drawFlags = nullptr;
  qxCore_Free(thing->hiddenFlags);
  thing->hiddenFlags = nullptr;
}

bool HasNodeArrays(const qxThing* thing) {
  return thing->nodeMatrices || thing->nodeAngleOffsets || thing->drawFlags || thing->hiddenFlags;
}

void* AllocArray(int32_t count, size_t itemSize) {
  // A model of 0 nodes still gets (empty) arrays.
  const size_t bytes = (count > 0 ? static_cast<size_t>(count) : 1) * itemSize;
  return qxCore_Alloc(bytes, "qxThing", __LINE__);
}

// Data-driven types the library does not draw: one log line each, not an abort.
int NotDrawn(bool* said, const char* what) {
  if (!*said) {
    *said = true;
    kv_Log_Printf("[Quadrix] - qxThing_Draw: %s are not drawn by the 3D library", what);
  }
  return 0;
}

void Accumulate(qxThing* thing, const qxModel3* model, qxModel3Node* node, const qxMatrix34* parent,
                int depth) {
  const int32_t i = node->index;
  if (i < 0 || i >= model->nodeCount) return;
  // local x T(pivot), then T(-parent pivot) in front: the rotation stays the
  // local one and only the translation changes.
  qxMatrix34 m = thing->nodeMatrices[i];
  qxMatrix34_TransformPoint(&m.t, &node->pivot, &thing->nodeMatrices[i]);
  if (node->parent) {
    const qxVector3& back = node->parent->pivot;
    m.t = {m.t.x - back.x, m.t.y - back.y, m.t.z - back.z};
  }
  qxMatrix34_Multiply(&thing->nodeMatrices[i], parent, &m);
  // The chain below ends at a null sibling; the child count only bounds it,
  // and the depth bounds the recursion of a corrupt hierarchy.
  if (depth >= model->nodeCount) return;
  qxModel3Node* child = node->child;
  for (int32_t k = 0; child && k < node->childCount; ++k, child = child->sibling) {
    const int32_t c = child->index;
    if (c < 0 || c >= model->nodeCount || thing->hiddenFlags[c]) continue;
    Accumulate(thing, model, child, &thing->nodeMatrices[i], depth + 1);
  }
}

}  // namespace

qxThing* qxThing_New(int32_t owner) {
  auto* thing = static_cast<qxThing*>(qxCore_Alloc(sizeof(qxThing), "qxThing", __LINE__));
  if (!thing) return nullptr;
  std::memset(thing, 0, sizeof *thing);
  qxThing_NewEntry(thing, owner);
  return thing;
}

int qxThing_NewEntry(qxThing* thing, int32_t owner) {
  thing->type = QXTHING_NONE;
  thing->object = nullptr;
  thing->geometryMode = 4;
  thing->lightingMode = 3;
  thing->textureMode = 2;
  thing->puppet = nullptr;
  thing->frozen = 0;
  thing->matrixFrame = 0;
  thing->nodeMatrices = nullptr;
  thing->nodeAngleOffsets = nullptr;
  thing->hiddenFlags = nullptr;
  thing->drawFlags = nullptr;
  thing->cel = -1;
  thing->geoset = -1;
  thing->drawGeometryMode = 4;
  thing->drawLightingMode = 3;
  thing->drawTextureMode = 2;
  thing->frustumTest = 1;
  thing->owner = owner;
  return 1;
}

int qxThing_SetModel3(qxThing* thing, qxModel3* model) {
  // A thing given a second model must not leak the first one's arrays.
  if (HasNodeArrays(thing)) FreeNodeArrays(thing);
  thing->type = QXTHING_MODEL;
  thing->object = model;
  thing->geoset = -1;
  const int32_t n = model->nodeCount > 0 ? model->nodeCount : 0;
  thing->nodeMatrices = static_cast<qxMatrix34*>(AllocArray(n, sizeof(qxMatrix34)));
  thing->nodeAngleOffsets = static_cast<qxVector3*>(AllocArray(n, sizeof(qxVector3)));
  if (!thing->nodeMatrices || !thing->nodeAngleOffsets) return 0;
  std::memset(thing->nodeAngleOffsets, 0, static_cast<size_t>(n) * sizeof(qxVector3));
  thing->hiddenFlags = static_cast<int32_t*>(AllocArray(n, sizeof(int32_t)));
  if (!thing->hiddenFlags) return 0;
  std::memset(thing->hiddenFlags, 0, static_cast<size_t>(n) * sizeof(int32_t));
  thing->drawFlags = static_cast<int32_t*>(AllocArray(n, sizeof(int32_t)));
  if (!thing->drawFlags) return 0;
  for (int32_t i = 0; i < n; ++i) thing->drawFlags[i] = 1;
  for (int32_t i = 0; i < n; ++i) {
    qxModel3Node& node = model->nodes[i];
    qxMatrix34_Build(&node.restMatrix, &node.angles, &node.position);
    thing->nodeMatrices[i] = node.restMatrix;
  }
  return 1;
}

int qxThing_SetCamera(qxThing* thing, qxCamera* camera) {
  thing->type = QXTHING_CAMERA;
  thing->object = camera;
  return 1;
}

int qxThing_SetLight(qxThing* thing, qxLight* light) {
  thing->type = QXTHING_LIGHT;
  thing->object = light;
  return 1;
}

int qxThing_SetSprite3(qxThing* thing, qxSprite* sprite) {
  thing->type = QXTHING_SPRITE;
  thing->object = sprite;
  thing->cel = -1;
  return 1;
}

int qxThing_SetParticleCloud(qxThing* thing, void* object) {
  thing->type = QXTHING_PARTICLES;
  thing->object = object;
  return 1;
}

int qxThing_SetPolyline(qxThing* thing, void* object) {
  thing->type = QXTHING_POLYLINE;
  thing->object = object;
  thing->cel = -1;
  return 1;
}

int qxThing_Draw(qxThing* thing, const qxMatrix34* placement, qxThing* second) {
  if (qxCore_GetGeometryMode() == 0) return 0;
  static bool saidParticles = false, saidPolylines = false;
  switch (thing->type) {
    case QXTHING_MODEL:
      return qxModel3_Draw(thing, placement, second);
    case QXTHING_SPRITE:
      return kv_RenderHooks_DrawSprite(thing, placement);
    case QXTHING_PARTICLES:
      return NotDrawn(&saidParticles, "particle clouds");
    case QXTHING_POLYLINE:
      return NotDrawn(&saidPolylines, "polylines");
    default:
      return 0;
  }
}

int qxThing_DrawSkeleton(qxThing* thing, const qxMatrix34* placement, int colour) {
  if (qxCore_GetGeometryMode() == 0 || thing->type != QXTHING_MODEL) return 0;
  return qxModel3_DrawSkeleton(thing, placement, colour);
}

void qxThing_AccumulateNodeMatrices(qxThing* thing, qxModel3Node* node, const qxMatrix34* parent) {
  const auto* model = static_cast<const qxModel3*>(thing->object);
  if (thing->type != QXTHING_MODEL || !model || !node || !thing->nodeMatrices ||
      !thing->hiddenFlags) {
    return;
  }
  Accumulate(thing, model, node, parent, 0);
}

void qxThing_FreeEntry(qxThing* thing) {
  if (thing->type == QXTHING_MODEL) {
    FreeNodeArrays(thing);
    if (qxPuppet* puppet = thing->puppet) {
      for (int t = 0; t < QXPUPPET_MAX_TRACKS; ++t) {
        if (puppet->tracks[t].status & QXTRACK_IN_USE) qxPuppet_RemoveTrack(puppet, t);
      }
    }
  }
  if (thing->puppet) {
    qxPuppet_Free(thing->puppet);
    thing->puppet = nullptr;
  }
}

void qxThing_Free(qxThing* thing) {
  if (!thing) return;
  qxThing_FreeEntry(thing);
  qxCore_Free(thing);
}
