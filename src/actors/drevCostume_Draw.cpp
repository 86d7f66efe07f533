// Drawing a costume: the component state pushed into the shared models,
// the actor's clip planes and scale, every attached model and sprite (those
// hung from a parent mesh placed at that mesh's joint), the dirty
// rectangles and the actor's screen rectangle; and the projected shadows of
// the models' shadow meshes.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "actors/drevCostume_Internal.h"
#include "engine/WalkPlane.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxSprite.h"
#include "quadrix/qxThing.h"
#include "std/stdDisplay.h"

namespace {

const qxModel3* ModelOf(const CostumeThingData* record) {
  if (!record || !record->thing || record->thing->type != QXTHING_MODEL) return nullptr;
  return static_cast<const qxModel3*>(record->thing->object);
}

const qxModel3Geoset* CurrentGeoset(const qxThing* thing, const qxModel3* model) {
  const int32_t g = thing->geoset != -1 ? thing->geoset : model->defaultGeoset;
  return g >= 0 && g < model->geosetCount && g < kModelMaxGeosets ? &model->geosets[g] : nullptr;
}

// Pushes the instances' component state into the shared models: material
// cels and the colormaps of 'cmap' children.
void RefreshComponents(CostumeNode* top) {
  for (CostumeNode* n = top; n && n->mainModel == top->mainModel; n = n->next) {
    const int count = Cos_InstCountComponents(n->instance);
    for (int k = 0; k < count; ++k) {
      uint32_t code = 0;
      const uintptr_t data = Cos_InstGetInstanceData(n->instance, k, &code);
      if (!data) continue;
      if (code == kCostumeTagMaterial) {
        const auto* state = reinterpret_cast<const CostumeMaterialData*>(data);
        qxMaterial* material = drevCostume_MaterialOf(state);
        if (material && state->frame >= 0 &&
            state->frame < static_cast<int32_t>(material->celCount)) {
          material->currentCel = state->frame;
        }
      } else if (code == kCostumeTagColormap) {
        const auto* state = reinterpret_cast<const CostumeColormapData*>(data);
        if (!state->modelData) continue;
        if (!state->rColormap.valid) {
          drevCostume_Assert("Bad Colormap Reference", __LINE__);
          continue;
        }
        state->modelData->colormap = static_cast<qxColormap*>(state->rColormap.object);
      }
    }
  }
}

// The radii a scaled draw changes, each once however many things share it,
// with the values they had before.
struct SavedRadius {
  float* radius;
  float value;
};

void ScaleRadii(const CostumeNode* top, float scale, std::vector<SavedRadius>* saved) {
  auto keep = [&](float* radius) {
    for (const SavedRadius& s : *saved) {
      if (s.radius == radius) return;
    }
    saved->push_back({radius, *radius});
    *radius *= scale;
  };
  for (CostumeThingData* r = top->attached; r; r = r->next) {
    if (!r->thing || !r->thing->object) continue;
    if (r->thing->type == QXTHING_SPRITE) {
      keep(&static_cast<qxSprite*>(r->thing->object)->radius);
      continue;
    }
    if (r->thing->type != QXTHING_MODEL) continue;
    auto* model = static_cast<qxModel3*>(r->thing->object);
    keep(&model->radius);
    if (const qxModel3Geoset* geoset = CurrentGeoset(r->thing, model)) {
      for (int32_t m = 0; geoset->meshes && m < geoset->meshCount; ++m) {
        keep(&geoset->meshes[m].radius);
      }
    }
  }
}

// The reciprocal of a scale, exactly 1.0 when it lies within 0.00001 of it.
float Reciprocal(float scale) {
  const float r = 1.0f / scale;
  return std::fabs(r - 1.0f) < 0.00001f ? 1.0f : r;
}

void LockDisplay(bool lock) {
  if (!kv_RenderHooks_classicPicture) return;
  DisplayBuffer* display = drevCostume_Calls().renderDisplayRaster();
  if (!display) return;
  if (lock) {
    stdDisplay_LockBuffer(display);
  } else {
    stdDisplay_UnlockBuffer(display);
  }
}

void ApplyActorClip(const Actor* actor) {
  const ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (e && e->clipActive) {
    qxModel3_EnableClipPlane(1);
    qxModel3_SetClipPlane(&e->clipNormal, &e->clipPoint);
  } else {
    qxModel3_EnableClipPlane(0);
  }
}

// Draws a record that hangs from a parent model's mesh at that mesh's joint.
int DrawAttached(CostumeThingData* r, const qxMatrix34* placement, Actor* actor) {
  // The chain of parents, root first.
  CostumeThingData* chain[16];
  int depth = 0;
  for (CostumeThingData* p = r->parentRecord; p && depth < 16; p = p->parentRecord) {
    chain[depth++] = p;
  }
  if (depth == 16) return 0;
  qxColormap* remembered = qxCore_pCurrentColormap;
  for (CostumeThingData* p = r; p; p = p->parentRecord) {
    if (p->colormap) {
      qxColormap_SetCurrent(p->colormap);
      break;
    }
  }
  const qxMatrix34* at = placement;
  for (int i = depth - 1; i >= 0; --i) {
    CostumeThingData* model = chain[i];
    const qxModel3* m = ModelOf(model);
    if (!m || !model->thing->nodeMatrices) return 0;
    qxPuppet_BuildJointMatrices(model->thing, at);
    // The next one down hangs at its own parent node of this model.
    const int32_t node = i > 0 ? chain[i - 1]->parentNode : r->parentNode;
    if (node < 0 || node >= m->nodeCount) return 0;
    at = &model->thing->nodeMatrices[node];
  }
  CostumeThingData* parent = chain[0];

  LockDisplay(true);
  // Resolving the parent offset: the child model's insert offset is dropped
  // and its root pivot taken relative to the parent node's pivot.
  auto* model = const_cast<qxModel3*>(ModelOf(r));
  const qxModel3* parentModel = ModelOf(parent);
  const bool resolve = r->resolveParentOffset && model && model->nodeCount > 0 && model->nodes;
  qxVector3 savedOffset{}, savedPivot{};
  if (resolve) {
    savedOffset = model->insertOffset;
    savedPivot = model->nodes[0].pivot;
    const qxVector3& parentPivot = parentModel->nodes[r->parentNode].pivot;
    model->insertOffset = {0, 0, 0};
    model->nodes[0].pivot = {savedPivot.x - parentPivot.x, savedPivot.y - parentPivot.y,
                             savedPivot.z - parentPivot.z};
  }
  int drawn = 0;
  const bool inverted = actor && actor->pExtra && actor->pExtra->invClipNode == r->parentNode;
  if (inverted) {
    qxModel3_EnableClipPlane(1);
    qxModel3_SetClipPlane(&actor->transform.y, &actor->position);
  }
  if (qxThing_Draw(r->thing, at, parent->thing)) drawn = 1;
  if (inverted) ApplyActorClip(actor);
  if (resolve) {
    model->insertOffset = savedOffset;
    model->nodes[0].pivot = savedPivot;
  }
  LockDisplay(false);
  qxColormap_SetCurrent(remembered);
  return drawn;
}

// The colormap this module fills with the shadow colour.
qxColormap* ShadowColormap() {
  CostumeModule& g = drevCostume_State();
  if (!g.shadowColormap && !g.shadowColormapTried) {
    g.shadowColormapTried = 1;
    g.shadowColormap = qxColormap_Load("shadow.cmp");
  }
  return g.shadowColormap;
}

// The shadow material and colormap, loaded on first use; null (with one
// log line) when either is missing.
qxMaterial* ShadowMaterial() {
  CostumeModule& g = drevCostume_State();
  if (!drevCostume_pShadowMaterial) {
    qxMaterial* material = qxMaterial_Load("shadow.mat", 0, 0);
    // A missing material may come back as the default stand-in: not a shadow.
    if (material && strcasecmp(material->name, "shadow.mat") == 0) {
      drevCostume_pShadowMaterial = material;
    } else if (material) {
      qxMaterial_Free(material);
    }
  }
  if (!drevCostume_pShadowMaterial || !ShadowColormap()) {
    if (!g.shadowMissingReported) {
      g.shadowMissingReported = 1;
      kv_Log_Printf("[Costume] - \"shadow.mat\" or \"shadow.cmp\" is missing: no actor shadows");
    }
    return nullptr;
  }
  return static_cast<qxMaterial*>(drevCostume_pShadowMaterial);
}

bool ClassicRasterizer() {
  const RenderHookTable* software = kv_RenderHooks_GetSoftwareTable();
  return software && software->active;
}

struct ScreenBox {
  float x0 = 640.0f, y0 = 480.0f, x1 = 0.0f, y1 = 0.0f;
};

void DrawShadowQuad(const qxVector3* quad, const ShadowSlot* shadow, qxMaterial* material,
                    int colour, ScreenBox* box) {
  const drevCostumeCalls& calls = drevCostume_Calls();
  for (const Sector* sector : shadow->clips) {
    if (!sector) break;
    qxVector3 clipped[SECTOR_CLIP_MAX];
    const int count = calls.sectorClipPolygon(sector, quad, 4, clipped);
    if (count < 3) continue;
    if (kv_RenderHooks_DrawShadow(clipped, count, colour)) continue;
    if (const qxCacheFace* face = qxPrimitive_AddPolygon3(clipped, count, material)) {
      box->x0 = std::min(box->x0, static_cast<float>(face->x0));
      box->y0 = std::min(box->y0, static_cast<float>(face->y0));
      box->x1 = std::max(box->x1, static_cast<float>(face->x1));
      box->y1 = std::max(box->y1, static_cast<float>(face->y1));
    }
  }
}

}  // namespace

void drevCostume_Draw(CostumeNode* top, const qxMatrix34* placement) {
  if (!top || !placement) return;
  RefreshComponents(top);
  Actor* actor = drevCostume_ActorOfInstance(top->instance);
  ApplyActorClip(actor);

  // The scale step: radii follow the actor's scale for the draw.
  std::vector<SavedRadius> saved;
  if (actor && actor->scale != 1.0f) {
    if (actor->scale == 0.0f || !std::isfinite(actor->scale)) return;
    ScaleRadii(top, actor->scale, &saved);
    actor->scale = Reciprocal(actor->scale);
  }

  for (CostumeThingData* r = top->attached; r; r = r->next) {
    if (!r->visible || !r->thing) continue;
    qxCache_drawnX0 = 640;
    qxCache_drawnY0 = 480;
    qxCache_drawnX1 = 0;
    qxCache_drawnY1 = 0;
    if (!r->parentRecord) {
      if (r->colormap) qxColormap_SetCurrent(r->colormap);
      LockDisplay(true);
      const int drawn = qxThing_Draw(r->thing, placement, nullptr) ? 1 : 0;
      if (actor) actor->drawn = drawn;
      LockDisplay(false);
    } else {
      if (actor) actor->drawn = 0;
      const int drawn = DrawAttached(r, placement, actor);
      if (actor && drawn) actor->drawn = 1;
    }
    if (actor && actor->colormapRef && actor->colormapRef->valid) {
      qxColormap_SetCurrent(static_cast<qxColormap*>(actor->colormapRef->object));
    }
    const int rect[4] = {qxCache_drawnX0, qxCache_drawnY0, qxCache_drawnX1 - qxCache_drawnX0,
                         qxCache_drawnY1 - qxCache_drawnY0};
    // Only the classic rasterizer draws into the buffers that the dirty
    // rectangles restore; the other back ends measure their draw all the same.
    if (rect[2] > 0 && rect[3] > 0 && ClassicRasterizer()) {
      drevCostume_Calls().invalidateRect(rect, 1);
    }
    if (actor && r->thing == top->mainModel) std::memcpy(actor->screenRect, rect, sizeof rect);
  }
  if (actor) drevActor_DrawShadows(actor);

  RefreshComponents(top);
  // Shared model data gets its own values back, never a product of factors.
  for (const SavedRadius& s : saved) *s.radius = s.value;
  if (actor && actor->scale != 1.0f) actor->scale = Reciprocal(actor->scale);
}

qxColormap* drevCostume_SetShadowColor(int red, int green, int blue) {
  uint16_t packed = static_cast<uint16_t>(((red >> 3) & 0x1F) << 11 | ((green >> 2) & 0x3F) << 5 |
                                          ((blue >> 3) & 0x1F));
  drevCostume_Calls().applyGammaToPixels(&packed, 1);
  qxColormap* colormap = ShadowColormap();
  if (!colormap) return nullptr;
  if (colormap->lightTable16) {
    for (int i = 0; i < kColormapLightEntries; ++i) colormap->lightTable16[i] = packed;
  }
  for (int i = 0; i < 256; ++i) {
    colormap->palette[3 * i] = static_cast<uint8_t>(red);
    colormap->palette[3 * i + 1] = static_cast<uint8_t>(green);
    colormap->palette[3 * i + 2] = static_cast<uint8_t>(blue);
  }
  return colormap;
}

void drevCostume_DrawShadow(CostumeNode* top, const ShadowSlot* shadow) {
  if (!top || !shadow) return;
  ScreenBox box;
  const drevCostumeCalls& calls = drevCostume_Calls();
  for (CostumeThingData* r = top->attached; r; r = r->next) {
    const qxModel3* model = ModelOf(r);
    if (!r->visible || !model || !r->thing->nodeMatrices || !r->thing->drawFlags) continue;
    const qxModel3Geoset* geoset = CurrentGeoset(r->thing, model);
    for (int32_t i = 0; geoset && model->nodes && i < model->nodeCount; ++i) {
      const int32_t m = model->nodes[i].meshIndex;
      if (m < 0 || m >= geoset->meshCount || !r->thing->drawFlags[i]) continue;
      const qxModel3Mesh& mesh = geoset->meshes[m];
      // Four quads of four points: a shorter mesh casts none.
      if (!mesh.shadow || mesh.vertexCount < 16 || !mesh.vertices) continue;
      qxVector3 projected[16];
      bool projects = true;
      for (int v = 0; v < 16 && projects; ++v) {
        qxVector3 world;
        qxMatrix34_TransformPoint(&world, &mesh.vertices[v], &r->thing->nodeMatrices[i]);
        projects =
            calls.intersectLinePlane(&projected[v], &shadow->light, &world, shadow->plane[0],
                                     shadow->plane[1], shadow->plane[2], shadow->plane[3]) != 0;
      }
      if (!projects) continue;
      qxMaterial* material = ShadowMaterial();
      if (!material) return;
      qxColormap* colormap = ShadowColormap();
      qxColormap_SetCurrent(colormap);
      const int colour = colormap->lightTable16 ? colormap->lightTable16[0] : 0;
      for (int q = 0; q < 4; ++q) DrawShadowQuad(&projected[q * 4], shadow, material, colour, &box);
    }
  }
  if (box.x1 > box.x0 && box.y1 > box.y0) {
    const int rect[4] = {static_cast<int>(box.x0), static_cast<int>(box.y0),
                         static_cast<int>(box.x1 - box.x0), static_cast<int>(box.y1 - box.y0)};
    calls.invalidateRect(rect, 1);
  }
}
