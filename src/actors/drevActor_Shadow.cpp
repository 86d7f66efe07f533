// Actor shadows: six planar shadows per actor, each a plane taken from a
// sector of the current set, a light point the actor is projected from, an
// optional side test, and up to twelve sectors that bound it.
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "engine/WalkPlane.h"
#include "engine/drevMain.h"
#include "platform/kv_RenderHooks.h"

namespace {

ShadowSlot* Slot(Actor* actor, int slot) {
  if (!actor || !actor->pExtra || slot < 0 || slot >= ACTOR_SHADOW_SLOTS) return nullptr;
  return &actor->pExtra->shadows[slot];
}

ShadowSlot* ActiveSlot(Actor* actor) {
  return actor && actor->pExtra ? Slot(actor, actor->pExtra->activeShadow) : nullptr;
}

float PlaneDistance(const ShadowSlot& s, const qxVector3& p) {
  return s.plane[0] * p.x + s.plane[1] * p.y + s.plane[2] * p.z + s.plane[3];
}

}  // namespace

int drevActor_HasShadow(Actor* actor) {
  for (int i = 0; i < ACTOR_SHADOW_SLOTS; ++i) {
    const ShadowSlot* s = Slot(actor, i);
    if (s && s->active) return 1;
  }
  return 0;
}

void drevActor_ActivateShadow(Actor* actor, int slot, int on) {
  if (ShadowSlot* s = Slot(actor, slot)) s->active = on;
}

void drevActor_SetShadowPlane(Actor* actor, const char* sectorName) {
  ShadowSlot* s = ActiveSlot(actor);
  const Sector* sector = s && sectorName ? WalkPlane_FindSectorByName(sectorName) : nullptr;
  if (!sector || sector->numVerts < 1) return;
  const qxVector3& n = sector->normal;
  const qxVector3& p = sector->verts[0]->p;
  s->plane[0] = n.x;
  s->plane[1] = n.y;
  s->plane[2] = n.z;
  s->plane[3] = -(n.x * p.x + n.y * p.y + n.z * p.z);
  s->active = 1;
  s->side = 0;
}

void drevActor_SetShadowPoint(Actor* actor, float x, float y, float z) {
  if (ShadowSlot* s = ActiveSlot(actor)) s->light = {x, y, z};
}

void drevActor_SetShadowValid(Actor* actor, int slot, int side) {
  if (ShadowSlot* s = Slot(actor, slot)) s->side = side;
}

Sector* drevActor_AddShadowPlane(Actor* actor, int slot, const char* sectorName) {
  ShadowSlot* s = Slot(actor, slot);
  Sector* sector = s && sectorName ? WalkPlane_FindSectorByName(sectorName) : nullptr;
  if (!sector) return nullptr;
  for (Sector*& clip : s->clips) {
    if (!clip) {
      clip = sector;
      break;
    }
  }
  return sector;
}

void drevActor_ClearShadows(Actor* actor) {
  if (!actor || !actor->pExtra) return;
  std::memset(actor->pExtra->shadows, 0, sizeof actor->pExtra->shadows);
}

void drevActor_DrawShadows(Actor* actor) {
  if (!kv_RenderHooks_classicPicture || !actor || !actor->pExtra) return;
  drevMain_PerfBegin(kPerfShadows);
  for (const ShadowSlot& s : actor->pExtra->shadows) {
    if (!s.active) continue;
    if (s.side == -1 || s.side == 1) {
      const float d = PlaneDistance(s, actor->position);
      if ((s.side == -1 && d > 0) || (s.side == 1 && d < 0)) continue;
    }
    if (actor->costumeTop) drevActor_Calls().costumeDrawShadow(actor->costumeTop, &s);
  }
  drevMain_PerfEnd(kPerfShadows);
}
