// The render module: the setup camera, the clean copy of a setup, the actor
// draw list and the frame.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "engine/ObjectState.h"
#include "engine/Res.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevRender_Internal.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"

namespace {

RenderState& S() {
  return drevRender_State();
}

constexpr int kFullScreen[4] = {0, 0, kScreenWidth, kScreenHeight};

// The set's current colormap; null (with one log line) when its reference
// is not valid, which a set whose colormap did not load gives.
qxColormap* SetColormap(Room* room) {
  static int reported = 0;
  if (room && room->apColormaps && room->currentColormap < room->numColormaps &&
      room->apColormaps[room->currentColormap].valid) {
    return static_cast<qxColormap*>(room->apColormaps[room->currentColormap].object);
  }
  drevRender_LogOnce(reported, "[Render] - Bad Colormap Reference: the set has no colormap");
  return nullptr;
}

template <typename Fn>
void EachObjectState(Room* room, int setup, Fn&& fn) {
  RoomSetup* s = drevRender_Setup(room, setup);
  for (ObjectState* state = s ? s->objectStates : nullptr; state;) {
    ObjectState* next = state->next;
    fn(state);
    state = next;
  }
}

void DrawObjectStates(Room* room, int setup, int kind, DisplayBuffer* target,
                      DisplayBuffer* zTarget) {
  drevRenderCalls& calls = drevRender_Calls();
  EachObjectState(room, setup,
                  [&](ObjectState* state) { calls.objectStateDraw(state, kind, target, zTarget); });
}

void CallPaletteHook(const qxColormap* colormap) {
  static int reported = 0;
  RenderState& s = S();
  if (!colormap) return;
  if (!s.paletteHook) {
    drevRender_LogOnce(reported, "[Render] - no palette hook is installed; palettes are skipped");
    return;
  }
  s.paletteHook(colormap->palette, 0);
}

}  // namespace

// ---- Setups -------------------------------------------------------------------------------

int drevRender_CurrentSetupIndex(Room* room) {
  return room ? static_cast<int>(room->currentSetup) : 0;
}

RoomSetup* drevRender_Setup(Room* room, int setup) {
  if (!room || !room->setups || setup < 0 || static_cast<uint32_t>(setup) >= room->numSetups)
    return nullptr;
  return &room->setups[setup];
}

RoomSetup* drevRender_CurrentSetup(Room* room) {
  return drevRender_Setup(room, drevRender_CurrentSetupIndex(room));
}

qxCamera* drevRender_SetupCamera(Room* room, int setup) {
  RoomSetup* s = drevRender_Setup(room, setup);
  return s ? s->camera : nullptr;
}

void drevRender_SelectSetupCamera(Room* room, int setup) {
  if (!room) return;
  if (qxColormap* colormap = SetColormap(room)) qxColormap_SetCurrent(colormap);
  RoomSetup* s = drevRender_Setup(room, setup);
  if (!s || !s->camera) return;
  qxCamera_SetCurrent(s->camera);
  if (S().canvas) qxCamera_SetCanvas(s->camera, S().canvas);
  qxCamera_SetAspectRatio(s->camera, 1.0f);
  qxCamera_Update(&s->viewMatrix);
}

void drevRender_PrepareSetup(Room* room, int setup) {
  RenderState& st = S();
  drevRenderCalls& calls = drevRender_Calls();
  if (!room) return;
  drevRender_FreeCachedRects();
  drevRender_SelectSetupCamera(room, setup);
  RoomSetup* s = drevRender_Setup(room, setup);
  if (!s) return;
  kv_Log_Printf("[Render] - prepared setup %d (%s) of %s", setup, s->name, room->name);

  st.renderFlags &= ~(kRenderNoBackground | kRenderNoDepth);
  st.cameraPosition = s->position;
  st.cameraMatrix = s->viewMatrix;
  if (Actor* camera = st.cameraActor >= 0 ? calls.actorFromIndex(st.cameraActor) : nullptr)
    camera->transform = s->viewMatrix;

  DisplayBuffer* clean = drevRender_pCleanBuffer;
  DisplayBuffer* cleanZ = drevRender_pCleanZBuffer;
  DisplayBuffer* scratch = drevRender_pDecompressionBuffer;
  if (DisplayBuffer* background = calls.roomGetSetupBackground(room, setup)) {
    DisplayBuffer* image = background;
    if (background->storage == STDDISPLAY_PACKED) {
      drevRender_PrepareBackground(background);
      image = scratch;
    }
    // Backgrounds enter the picture in the display's pixel format; another
    // depth copies nothing and would leave the picture black without a word.
    if (clean && image &&
        image->format.format.bitsPerPixel != clean->format.format.bitsPerPixel) {
      kv_Log_Printf("[Render] - setup %d (%s) of %s: its background has %d bits per pixel, the "
                    "display %d; it is not shown",
                    setup, s->name, room->name, image->format.format.bitsPerPixel,
                    clean->format.format.bitsPerPixel);
    }
    drevRender_BlitRect(clean, image, 0, 0, nullptr);
  }

  DisplayBuffer* depth = calls.roomGetSetupZBuffer(room, setup);
  if (!depth) {
    if (cleanZ && stdDisplay_LockBuffer(cleanZ)) {
      if (cleanZ->pixels)
        std::memset(cleanZ->pixels, 0, static_cast<size_t>(cleanZ->format.byteSize));
      kv_RenderHooks_SurfaceChanged(cleanZ->pixels);
      stdDisplay_UnlockBuffer(cleanZ);
    }
    st.renderFlags |= kRenderNoDepth;
  } else if (depth->storage == STDDISPLAY_PACKED) {
    if (scratch && cleanZ) {
      kv_RenderHooks_SurfaceFreed(scratch->pixels);
      scratch->format = cleanZ->format;
      if (cleanZ->surface) {
        if (stdDisplay_UnpackBufferInto(depth, scratch))
          drevRender_BlitRect(cleanZ, scratch, 0, 0, nullptr);
      } else {
        stdDisplay_UnpackBufferInto(depth, cleanZ);
      }
    }
  } else {
    drevRender_BlitRect(cleanZ, depth, 0, 0, nullptr);
  }

  EachObjectState(room, setup, [&](ObjectState* state) {
    calls.objectStateLoadImages(state);
    calls.objectStatePrepare(state, clean, cleanZ);
  });
  int viewport[4];
  if (drevRender_CanvasViewport(viewport)) drevRender_InvalidateRectAllBuffers(viewport, 1);
}

void drevRender_SetBackgroundEnabled(int useBackground, int useDepth) {
  RenderState& s = S();
  s.renderFlags |= kRenderNoBackground | kRenderNoDepth;
  Room* room = drevRender_Calls().roomGetCurrent();
  RoomSetup* setup = drevRender_CurrentSetup(room);
  if (useBackground && setup && setup->background.valid) s.renderFlags &= ~kRenderNoBackground;
  if (useDepth && setup && setup->zbuffer.valid) s.renderFlags &= ~kRenderNoDepth;
  int viewport[4];
  if (room && drevRender_CanvasViewport(viewport)) drevRender_AddDirtyRectAllBuffers(viewport, 1);
}

// ---- Draw list -----------------------------------------------------------------------

void drevRender_BuildDrawList(void) {
  RenderState& s = S();
  drevRenderCalls& calls = drevRender_Calls();
  s.drawCount = 0;
  for (int i = 0; i < kDrawListSize; ++i) s.order[i] = &s.entries[i];
  Room* room = calls.roomGetCurrent();
  if (!room || !room->roster) return;
  for (RosterNode* node = room->roster->head; node; node = node->next) {
    Actor* actor = calls.actorFromIndex(static_cast<int>(node->actor));
    if (!actor) continue;
    actor->drawn = 0;
    if (actor->flags & (ACTOR_CAMERA | ACTOR_HIDDEN)) continue;
    if (s.drawCount == kDrawListSize) continue;  // full: further actors wait a frame
    const qxVector3 offset{actor->position.x - s.cameraPosition.x,
                           actor->position.y - s.cameraPosition.y,
                           actor->position.z - s.cameraPosition.z};
    qxVector3 local;
    qxMatrix34_InvTransformVector(&local, &offset, &s.cameraMatrix);
    DrawListEntry& e = s.entries[s.drawCount++];
    e.kind = actor->costumeTop ? 0 : 255;
    e.depth = local.y;
    e.actor = static_cast<int32_t>(node->actor);
  }
  std::stable_sort(
      s.order, s.order + s.drawCount,
      [](const DrawListEntry* a, const DrawListEntry* b) { return a->depth > b->depth; });
}

void drevRender_GetDrawListActorBounds(unsigned index, qxVector3* position, float* halfHeight) {
  RenderState& s = S();
  if (index >= static_cast<unsigned>(s.drawCount)) return;
  const Actor* actor = drevRender_Calls().actorFromIndex(s.order[index]->actor);
  if (!actor) return;
  float low = 0.0f, high = 0.0f;
  bool found = false;
  if (actor->costumeTop) {
    for (const CostumeThingData* r = actor->costumeTop->attached; r; r = r->next) {
      const auto* model =
          r->rModel.valid ? static_cast<const qxModel3*>(r->rModel.object) : nullptr;
      if (!model) continue;
      low = found ? std::min(low, model->boxMin.z) : model->boxMin.z;
      high = found ? std::max(high, model->boxMax.z) : model->boxMax.z;
      found = true;
    }
  }
  if (position) *position = actor->position;
  if (halfHeight) *halfHeight = found ? (high - low) * 0.5f : 0.5f;
}

// ---- Debug views of the set -------------------------------------------------------

void drevRender_DrawLights(void) {
  Room* room = drevRender_Calls().roomGetCurrent();
  if (!room) return;
  const int yellow = drevRender_debugColours[kColourYellow];
  const int green = drevRender_debugColours[kColourGreen];
  const uint32_t count = std::min<uint32_t>(room->numLights, kRoomMaxLights);
  for (uint32_t i = 0; i < count; ++i) {
    const RoomLight& l = room->lights[i];
    const qxVector3& p = l.position;
    if (l.light.type < 3) {
      const qxVector3 ground{p.x, p.y, 0.0f};
      drevRender_Calls().lineHook(&p, &ground, yellow, -1);
      drevRender_Calls().circleHook(&p, l.light.range, 19.0f, yellow, -1);
    } else if (l.light.type == 3) {
      drevRender_DrawSpotPyramid(&p, &l.light.direction, l.light.intensity, l.light.cosOuter,
                                 green);
    }
  }
}

void drevRender_DrawCameras(void) {
  drevRenderCalls& calls = drevRender_Calls();
  Room* room = calls.roomGetCurrent();
  if (!room || !room->setups) return;
  const int red = drevRender_debugColours[kColourRed];
  const int cameraIndex = S().cameraActor;
  Actor* camera = cameraIndex >= 0 ? calls.actorFromIndex(cameraIndex) : nullptr;
  for (uint32_t i = 0; i < room->numSetups; ++i) {
    if (i == room->currentSetup) continue;
    const RoomSetup& s = room->setups[i];
    const qxVector3& k = s.position;
    const qxVector3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const qxVector3& a : axes) {
      const qxVector3 from{k.x + a.x, k.y + a.y, k.z + a.z}, to{k.x - a.x, k.y - a.y, k.z - a.z};
      calls.lineHook(&from, &to, red, -1);
    }
    if (camera && camera->costumeTop) calls.costumeDraw(camera->costumeTop, &s.viewMatrix);
  }
}

// ---- The frame -------------------------------------------------------------------------

namespace {

// A full-screen cutscene frame; true when the cutscene ended in it and the
// frame goes on as a normal one.
bool CutsceneFrame() {
  RenderState& s = S();
  drevRenderCalls& calls = drevRender_Calls();
  DisplayBuffer* display = drevRender_pDisplayRaster;
  calls.tolveCreateFrameBuffer(display);
  if (calls.tolveUpdate() != 0) {
    GameState = kGameRunning;
    s.movieEnded = 1;
  }
  if (s.movieFrames < 2 || s.movieEnded) {
    drevRender_InvalidateRectAllBuffers(kFullScreen, 1);
    drevRender_DrawIris(1.0f, 320, 240);
    ++s.movieFrames;
    s.forceRefresh = 1;
  }
  calls.actorUpdateTalking(calls.frameSeconds());
  if (display && stdDisplay_LockBuffer(display)) {
    s.pixels = display->pixels;
    calls.textDrawPass(0, 0);
    stdDisplay_UnlockBuffer(display);
  }
  calls.overlayDrawLayer(40, 0);
  calls.overlayDrawLayer(32, 0);
  calls.textDrawPass(1, 1);
  if (calls.mouseCursorMovieEnabled()) {
    calls.mouseUpdateCursor();
    calls.overlayDrawLayer(4, 0);
  }
  s.irisDuration = 0.0f;
  return s.movieEnded != 0;
}

void DrawActors(Room* room) {
  RenderState& s = S();
  drevRenderCalls& calls = drevRender_Calls();
  const bool debugView = (s.debugFlags & kDebugView) != 0;
  calls.startFrame();
  drevRender_BuildDrawList();
  if (s.drawCount == 0 && !debugView) return;
  drevMain_PerfBegin(kPerf2D);
  drevMain_PerfEnd(kPerf2D);
  if (debugView) {
    if (s.debugFlags & kDebugSectors)
      drevRender_DrawSectors();
    else
      drevRender_DrawGroundGrid();
  }
  drevMain_PerfBegin(kPerf3D);
  for (int i = s.drawCount - 1; i >= 0; --i) {
    const DrawListEntry* entry = s.order[i];
    Actor* actor = calls.actorFromIndex(entry->actor);
    if (!actor) continue;
    const float scale = actor->scale;
    // A scale of 0 (or not a number) could not be undone: nothing to draw.
    if (!(std::isfinite(scale) && scale != 0.0f)) continue;
    // The transform built from the actor's rotation and position, scaled
    // around the costume draw only.
    drevActor_GetTransform(actor);
    qxMatrix34* transform = &actor->transform;
    const bool scaled = scale != 1.0f;
    if (scaled) {
      const qxVector3 v{scale, scale, scale};
      qxMatrix34_PostScale(transform, &v);
    }
    if (entry->kind == 0) {
      qxColormap* colormap = nullptr;
      if (actor->colormapRef && actor->colormapRef->valid)
        colormap = static_cast<qxColormap*>(actor->colormapRef->object);
      else
        colormap = SetColormap(room);
      if (colormap) qxColormap_SetCurrent(colormap);
      CallPaletteHook(colormap);
      calls.costumeDraw(actor->costumeTop, transform);
      if (debugView) drevRender_DrawActorDebug(actor);
    }
    if (scaled) {
      const qxVector3 v{1.0f / scale, 1.0f / scale, 1.0f / scale};
      qxMatrix34_PostScale(transform, &v);
    }
  }
  drevMain_PerfEnd(kPerf3D);
  drevMain_PerfBegin(kPerfRasterize);
  if (kv_RenderHooks_classicPicture)
    calls.finishFrame();
  else
    calls.discardFrame();
  drevMain_PerfEnd(kPerfRasterize);
  DrawObjectStates(room, s.heldSetup, 2, drevRender_pDisplayRaster, drevRender_pZRaster);
}

}  // namespace

void drevRender_DrawFrame(void) {
  RenderState& s = S();
  drevRenderCalls& calls = drevRender_Calls();
  if (GameState == kGameNone || GameState == kGameNoRender) return;
  if (GameState == kGameCutscene && !CutsceneFrame()) return;

  drevRender_InvalidateRect(kFullScreen, 1);
  if (GameState == kGameUserPaint) {
    if (s.forceRefresh) calls.callUserPaint();
    s.forceRefresh = 0;
    return;
  }
  Room* room = calls.roomGetCurrent();
  if (!room) {
    drevRender_DrawIris(1.0f, 320, 240);
    calls.overlayDrawLayer(5, 1);
    calls.textDrawPass(1, 4);
    return;
  }
  DisplayBuffer* display = drevRender_pDisplayRaster;
  DisplayBuffer* zRaster = drevRender_pZRaster;
  if (display) stdDisplay_LockBuffer(display);

  const int setup = drevRender_CurrentSetupIndex(room);
  if (room != s.heldRoom || setup != s.heldSetup || s.forceRefresh) {
    drevRender_ClearDirtyRects();
    s.heldRoom = room;
    s.heldSetup = setup;
    Res_ReleaseRef(&s.heldRef);
    Res_AddRef(&s.heldRef, room, __FILE__, __LINE__);
    drevRender_PrepareSetup(room, setup);
    calls.callPostCamChangeHandler(setup);
  }
  drevRender_SelectSetupCamera(room, s.heldSetup);
  DrawObjectStates(room, s.heldSetup, 3, drevRender_pCleanBuffer, drevRender_pCleanZBuffer);

  drevMain_PerfBegin(kPerfRects);
  if (s.dirtyFlushEnabled) drevRender_FlushDirtyRects(display, zRaster);
  drevMain_PerfEnd(kPerfRects);

  calls.tolveCreateFrameBuffer(display);
  calls.tolveUpdate();
  calls.primitiveDrawPass(1);
  DrawObjectStates(room, s.heldSetup, 1, display, zRaster);
  if (!s.movieEnded) DrawActors(room);
  calls.primitiveDrawPass(2);
  if (s.debugFlags & kDebugView) {
    if (s.debugFlags & kDebugLights) drevRender_DrawLights();
    if (s.debugFlags & kDebugCameras) drevRender_DrawCameras();
  }
  drevRender_StepIris();
  calls.mouseUpdateCursor();

  const bool wide = GameState == kGameScriptWide;
  if (!wide) calls.overlayDrawLayer(40, 0);
  calls.overlayDrawLayer(1, 0);
  calls.overlayDrawLayer(2, 0);
  calls.textDrawPass(1, 0);
  if (s.debugFlags & kDebugHotspots) calls.hotspotsDrawDebug();
  calls.overlayDrawLayer(3, 0);
  if (wide) {
    drevRender_DrawIris(1.0f, 320, 240);
    calls.overlayFillBlack();
    calls.overlayDrawLayer(11, 1);
    calls.primitiveDrawPass(4);
    calls.textDrawPass(1, 2);
    calls.overlayDrawLayer(12, 1);
    calls.textDrawPass(1, 1);
    calls.primitiveDrawPass(8);
    calls.overlayDrawLayer(22, 1);
    calls.textDrawPass(1, 3);
  }
  calls.overlayDrawLayer(5, 1);
  calls.textDrawPass(1, 4);
  calls.overlayDrawLayer(4, 0);
  if (display) stdDisplay_UnlockBuffer(display);
  s.forceRefresh = 0;
}
