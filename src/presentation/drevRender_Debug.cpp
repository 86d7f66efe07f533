// The render module's debug views and the debug-key control handler.
#include <algorithm>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "engine/WalkPlane.h"
#include "presentation/drevRender_Internal.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxThing.h"

namespace {

RenderState& S() {
  return drevRender_State();
}

constexpr int kSolid = -1;
constexpr int kGridPattern = static_cast<int>(0xff00ff00u);

void Line(const qxVector3& a, const qxVector3& b, int colour, int pattern = kSolid) {
  drevRender_Calls().lineHook(&a, &b, colour, pattern);
}

int Colour(NamedColour c) {
  return drevRender_debugColours[c];
}

// The debug keys in handling order, with the flag each toggles (0: the view).
struct DebugKey {
  int code;
  uint32_t flag;
};
constexpr DebugKey kKeys[6] = {{32, 0},
                               {104, kDebugHotspots},
                               {98, kDebugSectors},
                               {108, kDebugLights},
                               {99, kDebugCameras},
                               {114, kDebugDirtyRects}};
constexpr int kModifierCode = 224;

}  // namespace

void drevRender_ToggleDebugView(void) {
  RenderState& s = S();
  s.debugFlags ^= kDebugView;
  int viewport[4];
  if (!(s.debugFlags & kDebugView) && drevRender_CanvasViewport(viewport))
    drevRender_AddDirtyRectAllBuffers(viewport, 1);
}

int drevRender_IsDebugView(void) {
  return (S().debugFlags & kDebugView) ? 1 : 0;
}

int drevRender_DebugKeyHandler(float) {
  RenderState& s = S();
  drevRenderCalls& calls = drevRender_Calls();
  if (!calls.debugKeysEnabled()) return 0;
  if (!calls.readKey(kModifierCode)) return 0;
  for (int i = 0; i < 6; ++i) {
    // The view's own keys act only while the view is on; their latches wait.
    if (i >= 2 && !(s.debugFlags & kDebugView)) break;
    const bool held = calls.readKey(kKeys[i].code) != 0;
    if (!held) {
      s.keyLatches[i] = 0;
      continue;
    }
    if (s.keyLatches[i]) continue;
    s.keyLatches[i] = 1;
    if (kKeys[i].flag == 0)
      drevRender_ToggleDebugView();
    else
      s.debugFlags ^= kKeys[i].flag;
  }
  return 1;
}

void drevRender_DrawGroundGrid(void) {
  const int grey = Colour(kColourGrey);
  float a = -1.0f;
  for (int i = 0; i < 20; ++i, a += 0.1f) {
    Line({-1.0f, a, 0.0f}, {1.0f, a, 0.0f}, grey, kGridPattern);
    Line({a, -1.0f, 0.0f}, {a, 1.0f, 0.0f}, grey, kGridPattern);
  }
  const int white = Colour(kColourWhite);
  Line({0, 0, 0}, {2, 0, 0}, white);
  Line({0, 0, 0}, {0, 2, 0}, white);
  Line({0, 0, 0}, {0, 0, 2}, white);
}

void drevRender_DrawSectors(void) {
  for (Sector* sector = WalkPlane_GetSectors(); sector; sector = sector->next) {
    int colour = Colour(kColourLightGrey);
    if (sector->type & SECTOR_WALK) colour = Colour(kColourWhite);
    if (sector->type & SECTOR_CAMERA) colour = Colour(kColourBlue);
    if (sector->type & SECTOR_SPECIAL) colour = Colour(kColourGreen);
    if (sector->type & SECTOR_CHERNOBYL) colour = Colour(kColourYellow);
    for (const WalkFrame* f = WalkFrame_GetList(); f; f = f->next) {
      if (f->sector == sector) {
        colour = Colour(kColourMagenta);
        break;
      }
    }
    Sector_DrawOutline(sector, colour);
  }
}

void drevRender_DrawActorDebug(Actor* actor) {
  const ActorExtra* extra = actor ? actor->pExtra : nullptr;
  if (!extra) return;
  if (extra->walkFrame) WalkFrame_DrawAxes(extra->walkFrame, Colour(kColourPaleGreen));
  if (actor->state & ACTOR_MOVING) {
    const int count = std::min<int>(extra->pathCount, 128);
    for (int i = 0; i + 1 < count; ++i)
      Line(extra->path[i], extra->path[i + 1], Colour(kColourMaroon));
  }
  if (extra->collided && actor->costumeTop && actor->costumeTop->mainModel) {
    const qxThing* thing = actor->costumeTop->mainModel;
    const auto* model =
        thing->type == QXTHING_MODEL ? static_cast<const qxModel3*>(thing->object) : nullptr;
    if (!model) return;
    qxVector3 centre;
    qxMatrix34_TransformPoint(&centre, &model->boxCentre, &actor->transform);
    drevRender_Calls().circleHook(&centre, extra->collisionScale * model->radius, 10.0f, 0xffff,
                                  kSolid);
  }
}

void drevRender_DrawSpotPyramid(const qxVector3* position, const qxVector3* direction,
                                float intensity, float cosOuter, int colour) {
  const float length = intensity * 0.1f;
  const float half = length * (1.0f - cosOuter);
  const qxVector3 target{position->x + direction->x, position->y + direction->y,
                         position->z + direction->z};
  qxMatrix34 frame;
  qxMatrix34_BuildLookAt(&frame, position, &target, 0.0f);
  const qxVector3 local[4] = {
      {half, length, half}, {half, length, -half}, {-half, length, -half}, {-half, length, half}};
  qxVector3 corner[4];
  for (int i = 0; i < 4; ++i) {
    qxMatrix34_TransformPoint(&corner[i], &local[i], &frame);
    Line(*position, corner[i], colour);
  }
  for (int i = 0; i < 4; ++i) Line(corner[i], corner[(i + 1) % 4], colour);
}
