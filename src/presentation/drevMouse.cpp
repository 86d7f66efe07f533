// Mouse, cursors and the script hotspots: the module, mouse position and ray,
// floor picking, the cursor overlays and their animation, and the "HOTS" block.
#include "presentation/drevMouse.h"

#include <cmath>
#include <cstdio>

#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "engine/drevRoom.h"
#include "engine/hotspots.h"
#include "platform/kv_Input.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Thread.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevRender.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector_Values.h"
#include "render/HardwareOverlay.h"
#include "script/runtime/lua31.h"

namespace {

constexpr int kStepMs = 30;
constexpr int kFirstCursors = 8;  // registered at startup; the rest after a restore
constexpr uint32_t kWalkSector = 0x1000;
constexpr float kRayLength = 100.0f;
constexpr float kZStep = 0.015f;

struct MouseModule {
  bool started = false;
  OverlayImage* cursors[MOUSE_CURSOR_COUNT] = {};
  int cursorOverlay = -1;
  int animationOverlay = -1;
  int frame = 0;
  int lastFrame = -1;  // -1: no animation running
  uint32_t nextStep = 0;
  int movieCursor = 0;
};

MouseModule g_mouse;

void PlatformMouse(int* x, int* y) {
  kv_Input_GetMouseState(x, y);
}

drevMouseSource g_source{PlatformMouse, kv_Platform_GetTicks};

// Registers cursor images first to count - 1 in the overlay cache, pinned.
void RegisterCursors(int count) {
  OverlayManager* manager = drevOverlay_GetManager();
  for (int n = 0; n < count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "cursor%02d.png", n);
    g_mouse.cursors[n] = drevOverlay_Manager_FindOrAddImage(manager, name);
    if (g_mouse.cursors[n]) g_mouse.cursors[n]->cache = 1;
  }
}

OverlayEntry* Overlay(int id) {
  return id >= 0 ? drevOverlay_Manager_FindOverlay(drevOverlay_GetManager(), id) : nullptr;
}

using qxv::Sub;
using qxv::Dot;

float Distance(const qxVector3& a, const qxVector3& b) {
  const qxVector3 d = Sub(a, b);
  return std::sqrt(Dot(d, d));
}

// The point moved onto its nearest walk sector; false when there is none.
bool ClampToWalkSector(qxVector3* p) {
  Sector* sector = WalkPlane_FindNearestSector(p, kWalkSector);
  if (!sector) return false;
  Sector_ClampPoint(sector, p);
  return true;
}

// The current camera frame's position: the current setup's camera position.
bool CameraFramePosition(qxVector3* out) {
  const Room* room = drevMain_Calls().roomGetCurrent ? drevMain_Calls().roomGetCurrent() : nullptr;
  if (!room || !room->setups || room->currentSetup >= room->numSetups) return false;
  *out = room->setups[room->currentSetup].position;
  return true;
}

// Centres an overlay's image on the mouse point.
void CentreOn(int id, int mx, int my) {
  OverlayEntry* e = Overlay(id);
  if (!e || e->layer == 0 || !e->image) return;
  const int w = e->width > 0 ? e->width : static_cast<int>(e->image->width);
  const int h = e->height > 0 ? e->height : static_cast<int>(e->image->height);
  e->x = mx - w / 2;
  e->y = my - h / 2;
}

}  // namespace

// ---- Module ----------------------------------------------------------------------

int drevMouse_Initialize(HostServices*, ModuleDescriptor* descriptor) {
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevMouse_Initialize;
    descriptor->startup = drevMouse_Startup;
    descriptor->shutdown = drevMouse_Shutdown;
    descriptor->save = drevMouse_Save;
    descriptor->restore = drevMouse_Restore;
  }
  return 0;
}

int drevMouse_Startup(void) {
  if (g_mouse.started) return 1;
  g_mouse.started = true;
  g_mouse.movieCursor = 0;
  RegisterCursors(kFirstCursors);
  g_mouse.frame = 0;
  g_mouse.lastFrame = -1;
  OverlayManager* manager = drevOverlay_GetManager();
  g_mouse.cursorOverlay = drevOverlay_Manager_CreateOverlay(manager, nullptr, 0, 0, 0, 2, 0, 1, 0);
  g_mouse.animationOverlay =
      drevOverlay_Manager_CreateOverlay(manager, nullptr, 0, 0, 0, 2, 0, 1, 0);
  int count = 0;
  const lua_Reg* table = drevMouse_GetScriptTable(&count);
  lua_openlib(table, count);
  return 0;
}

void drevMouse_Shutdown(void) {
  for (OverlayImage*& image : g_mouse.cursors) image = nullptr;
  hotspots_Init();
  hotspots_FreeAll();
  Pathfinder_Construct();
  Pathfinder_Clear();
  g_mouse.started = false;
}

int drevMouse_Save(SaveTransferFn write) {
  if (!write) return 1;
  int32_t ids[2] = {g_mouse.cursorOverlay, g_mouse.animationOverlay};
  if (write(&ids[0], 4) != 0 || write(&ids[1], 4) != 0) return 1;
  return hotspots_Save(write) ? 0 : 1;  // the collection answers 1 on success
}

int drevMouse_Restore(SaveTransferFn read) {
  g_mouse.movieCursor = 0;
  RegisterCursors(MOUSE_CURSOR_COUNT);
  int32_t ids[2] = {};
  if (!read || read(&ids[0], 4) != 0 || read(&ids[1], 4) != 0) return 1;
  // An id outside -1..1023 names no overlay.
  const auto valid = [](int32_t id) { return id >= -1 && id < OVERLAY_TABLE_SIZE ? id : -1; };
  g_mouse.cursorOverlay = valid(ids[0]);
  g_mouse.animationOverlay = valid(ids[1]);
  return hotspots_Restore(read) ? 0 : 1;
}

void drevMouse_SetSource(const drevMouseSource* source) {
  g_source = source ? *source : drevMouseSource{PlatformMouse, kv_Platform_GetTicks};
}

// ---- Position and ray ----------------------------------------------------------------

void drevMouse_GetPosition(int mode, float* x, float* y) {
  int mx = 0, my = 0;
  g_source.mouse(&mx, &my);
  float sx = 1.0f, sy = 1.0f, ox = 0.0f, oy = 0.0f;
  if (mode == 0) {
    kv_Platform_AspectFitToBackBuffer(kv_RenderHooks_IsWidescreen(), 1440, 1080, &sx, &sy, &ox,
                                      &oy);
    ox -= 240.0f * sx;
  } else {
    kv_Platform_AspectFitToBackBuffer(0, 1920, 1080, &sx, &sy, &ox, &oy);
  }
  if (sx == 0.0f || sy == 0.0f) sx = sy = 1.0f;
  if (x) *x = std::trunc((static_cast<float>(mx) - ox) / sx);
  if (y) *y = std::trunc((static_cast<float>(my) - oy) / sy);
}

void drevMouse_GetPositionForState(float* x, float* y) {
  drevMouse_GetPosition(GameState == kGameScriptWide ? 1 : 0, x, y);
}

int drevMouse_ScreenRay(const float point[2], qxVector3* far, qxVector3* near) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  qxVector3 origin{};
  if (!camera || !camera->canvas || camera->focal == 0.0f || !CameraFramePosition(&origin)) {
    return 0;
  }
  auto c = static_cast<int32_t>(point[0]), r = static_cast<int32_t>(point[1]);
  drevOverlay_ScreenToGame(&c, &r, 0, 0);
  const float f = camera->focal;
  qxVector3 v{(static_cast<float>(c) - camera->canvas->centreX) / f, 1.0f,
              -(static_cast<float>(r) - camera->canvas->centreY) / f};
  qxMatrix34 world;
  qxCamera_GetWorldMatrix(&world);
  qxMatrix34_TransformPointInPlace(&v, &world);
  qxVector3 dir = Sub(v, origin);
  qxVector3_NormalizeInPlace(&dir);
  qxVector3_ScaleInPlace(&dir, kRayLength);
  if (near) *near = origin;
  if (far) *far = qxVector3{origin.x + dir.x, origin.y + dir.y, origin.z + dir.z};
  return 1;
}

int drevMouse_HitWalkSector(const qxVector3* near, const qxVector3* far, qxVector3* out) {
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!(s->type & kWalkSector) || s->visible == 0) continue;
    qxVector3 p{1000.0f, 1000.0f, 1000.0f};
    Sector_IntersectLine(s, near, far, &p);
    if (Sector_ContainsPoint(s, &p, 1)) {
      if (out) *out = p;
      return 1;
    }
  }
  return 0;
}

int drevMouse_FloorPointOnGround(const qxVector3* near, const qxVector3* far, qxVector3* out) {
  const float dz = far->z - near->z;
  if (dz == 0.0f) return 0;
  const float t = -near->z / dz;
  qxVector3 p{near->x + t * (far->x - near->x), near->y + t * (far->y - near->y), near->z + t * dz};
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !ClampToWalkSector(&p)) return 0;
  *out = p;
  return 1;
}

int drevMouse_FloorWalkPos(int onGround, qxVector3* out) {
  float mouse[2];
  drevMouse_GetPositionForState(&mouse[0], &mouse[1]);
  qxVector3 near{}, far{};
  if (!drevMouse_ScreenRay(mouse, &far, &near)) return 0;
  if (onGround) return drevMouse_FloorPointOnGround(&near, &far, out);

  auto c = static_cast<int32_t>(mouse[0]), r = static_cast<int32_t>(mouse[1]);
  drevOverlay_ScreenToGame(&c, &r, 0, 0);
  qxVector3 q{};
  if (drevRender_PickWorldPoint(c, r, &q)) {
    qxVector3 h{};
    if (drevMouse_HitWalkSector(&near, &far, &h) && Distance(near, h) < Distance(near, q)) {
      *out = h;
      return 1;
    }
    qxVector3 clamped = q;
    if (ClampToWalkSector(&clamped) && Distance(q, clamped) < 5.0f) {
      *out = clamped;
      return 1;
    }
  }
  // Walk the ray down, then (from the start again) up, until it meets a walk sector.
  for (int i = 0; i < 100; ++i) {
    if (drevMouse_HitWalkSector(&near, &far, out)) return 1;
    near.z -= kZStep;
    far.z -= kZStep;
  }
  drevMouse_ScreenRay(mouse, &far, &near);
  for (int i = 0; i < 10; ++i) {
    if (drevMouse_HitWalkSector(&near, &far, out)) return 1;
    near.z += kZStep;
    far.z += kZStep;
  }
  return 0;
}

int drevMouse_ClosestOnAxis(const qxVector3* d, const qxVector3* a, const qxVector3* e,
                            const qxVector3* p, float* t) {
  const qxVector3 w = Sub(*p, *e);
  const float ad = Dot(*a, *d), dd = Dot(*d, *d), aa = Dot(*a, *a);
  const float divisor = aa * dd - ad * ad;
  if (divisor == 0.0f) return 0;
  const float value = (ad * Dot(*d, w) - dd * Dot(*a, w)) / divisor;
  if (!std::isfinite(value)) return 0;
  *t = value;
  return 1;
}

int drevMouse_SelectedDialogLine(int x, int y, int lineHeight, int count, int mouseX, int mouseY) {
  if (count <= 0) return 0;
  int32_t left = x, bottom = y, width = 420, h = lineHeight;
  drevOverlay_GameToScreen(&left, &bottom, 0, 0);
  drevOverlay_GameToScreen(&width, &h, 0, 1);
  const int64_t top = int64_t{bottom} - int64_t{count} * h;
  if (mouseX < left || int64_t{mouseX} > int64_t{left} + width) return 0;
  for (int i = 0; i < count; ++i) {
    const int64_t from = top + int64_t{i} * h, to = top + int64_t{i + 1} * h;
    if (mouseY >= from && mouseY <= to) return i + 1;
  }
  return 0;
}

// ---- Cursor --------------------------------------------------------------------------

void drevMouse_UpdateCursor(void) {
  if (!qxCore_pCurrentCamera) return;
  float mx = 0.0f, my = 0.0f;
  drevMouse_GetPosition(0, &mx, &my);
  CentreOn(g_mouse.cursorOverlay, static_cast<int>(mx), static_cast<int>(my));
  CentreOn(g_mouse.animationOverlay, static_cast<int>(mx), static_cast<int>(my));
  if (g_mouse.lastFrame < 0 || !(g_source.ticks() > g_mouse.nextStep)) return;
  // One step per update from the due time, so a late frame catches up step by step.
  g_mouse.nextStep += kStepMs;
  OverlayEntry* animation = Overlay(g_mouse.animationOverlay);
  if (g_mouse.frame < g_mouse.lastFrame) {
    ++g_mouse.frame;
    if (animation) animation->image = drevMouse_GetCursorImage(g_mouse.frame);
  } else {
    if (animation) animation->layer = 0;
    g_mouse.lastFrame = -1;
  }
}

OverlayImage* drevMouse_GetCursorImage(int n) {
  return n >= 0 && n < MOUSE_CURSOR_COUNT ? g_mouse.cursors[n] : nullptr;
}

int drevMouse_GetCursorOverlay(void) {
  return g_mouse.cursorOverlay;
}

int drevMouse_GetAnimationOverlay(void) {
  return g_mouse.animationOverlay;
}

int drevMouse_IsMovieCursorEnabled(void) {
  return g_mouse.movieCursor;
}

Pathfinder* drevMouse_GetPathfinder(void) {
  return Pathfinder_Construct();
}

// ---- Module state for the script functions ---------------------------------------------

void drevMouse_SetCursor(int n) {
  if (n >= MOUSE_CURSOR_COUNT) return;
  if (OverlayEntry* e = Overlay(g_mouse.cursorOverlay)) e->image = drevMouse_GetCursorImage(n);
}

void drevMouse_ShowCursor(int show) {
  if (OverlayEntry* e = Overlay(g_mouse.cursorOverlay)) e->layer = show ? 4 : 0;
  if (OverlayEntry* e = Overlay(g_mouse.animationOverlay)) e->layer = 0;
  g_mouse.lastFrame = -1;
}

void drevMouse_StartAnimation(int first, int last) {
  if (first < 0 || first >= MOUSE_CURSOR_COUNT || last >= MOUSE_CURSOR_COUNT) return;
  OverlayEntry* e = Overlay(g_mouse.animationOverlay);
  if (!e) return;
  e->layer = 4;
  g_mouse.frame = first;
  g_mouse.lastFrame = last;
  g_mouse.nextStep = g_source.ticks() + kStepMs;
  e->image = drevMouse_GetCursorImage(first);
}

void drevMouse_PreloadCursors(void) {
  for (OverlayImage* image : g_mouse.cursors) OverlayImage_Load(image);
}

void drevMouse_SetMovieCursor(int enabled) {
  g_mouse.movieCursor = enabled;
}
