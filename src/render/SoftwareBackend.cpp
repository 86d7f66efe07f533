// The software back end: the classic rasterizer and buffer copies.
//
// Only the frame phase, the blit and the mesh operation look at the software
// table's active flag; the other operations act whatever the flag, since what
// they draw into the software buffers is shown only while the software
// picture is presented.
#include "render/SoftwareBackend.h"

#include <cstring>

#include "gfx/kv_RenderContext.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxSprite.h"
#include "render/Deferred.h"
#include "render/HardwareBackend.h"
#include "render/HardwareOverlay.h"
#include "render/RenderHost.h"
#include "std/stdDisplay.h"

namespace {

RenderHookTable g_softwareTable;

bool SoftwareActive(void) {
  return g_softwareTable.active != 0;
}

bool TableActive(const RenderHookTable* table) {
  return table != nullptr && table->active != 0;
}

// The overlay buckets are drawn and emptied at phase 3 by exactly one back
// end: the software one while it is active, else the deferred one. When no
// deferred back end is registered (its set-up failed), the software back end
// draws them even when inactive: otherwise what the text objects, overlays
// and the cursor add every frame would pile up without bound.
void DrawOverlayBuckets(kvRenderContext* context) {
  kv_RenderContext_PushMarker(context, "Hardware overlay");
  RenderBucket_Draw(HardwareOverlayBucket, 1, nullptr, nullptr);
  kv_RenderContext_PopMarker(context);
  kv_RenderContext_PushMarker(context, "Debug overlay");
  RenderBucket_Draw(DebugOverlayBucket, 1, nullptr, nullptr);
  kv_RenderContext_PopMarker(context);
}

bool DeferredDrawsOverlays(void) {
  const RenderHookTable* deferred = kv_RenderHooks_GetDeferredTable();
  return deferred != nullptr && deferred->FramePhase != nullptr;
}

}  // namespace

void Software_FramePhase(int phase) {
  kvRenderContext* context = kv_RenderContext_Get();
  if (!SoftwareActive()) {
    if (phase == 3 && !DeferredDrawsOverlays()) DrawOverlayBuckets(context);
    return;
  }
  if (phase == 0) {
    if (!TableActive(kv_RenderHooks_GetDeferredTable())) {
      kv_RenderContext_Clear(context, Deferred_ClearColour[0], Deferred_ClearColour[1],
                             Deferred_ClearColour[2], Deferred_ClearColour[3], 0.0f);
    }
  } else if (phase == 3) {
    kv_Platform_PresentSurface(context, kv_RenderHooks_GetFrontSurface(),
                               kv_RenderHooks_GetFadeValue());
    DrawOverlayBuckets(context);
  }
}

void Software_Blit(DisplayBuffer* destination, kvSurface* destinationSurface, DisplayBuffer* source,
                   kvSurface* sourceSurface, int x, int y, const stdRect* sourceRect, int flags) {
  if (!SoftwareActive()) {
    // While the deferred picture is shown, copies into the z-buffer raster and
    // page copies into the front surface are left to the deferred back end.
    DisplayBuffer* display = RenderHost_Calls().displayRaster();
    if (destination != nullptr && destination == RenderHost_Calls().cleanZBuffer()) return;
    if (destination != display && destinationSurface != nullptr &&
        destinationSurface == kv_RenderHooks_GetFrontSurface() &&
        ((sourceSurface != nullptr && sourceSurface == kv_RenderHooks_GetBackSurface()) ||
         (source != nullptr && source == display))) {
      return;
    }
  }
  // The locked copy: a surface-backed buffer has its pixels only while locked,
  // and callers such as the cutscene glue blit into the display's back buffer
  // outside the frame's lock.
  stdDisplay_Blit(destination, source, x, y, sourceRect, flags);
}

void Software_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* placement) {
  if (!SoftwareActive()) return;
  qxModel3_DrawMesh(mesh, placement, g_softwareTable.active);
}

void Software_OnCameraChanged(void) {}

void Software_BeginModel(qxModel3* /*model*/, const qxVector3* /*centre*/, float /*radius*/,
                         const qxMatrix34* /*placement*/, qxModel3* /*companion*/) {}

void Software_EndModel(qxModel3* /*model*/, qxModel3* /*companion*/) {}

int Software_BlitObjectStates(DisplayBuffer* source0, int x0, int y0, int flags0,
                              DisplayBuffer* destination0, int /*unused0*/, DisplayBuffer* source1,
                              int x1, int y1, int flags1, DisplayBuffer* destination1,
                              int /*unused1*/) {
  const struct {
    DisplayBuffer* source;
    int x, y, flags;
    DisplayBuffer* destination;
  } groups[] = {{source0, x0, y0, flags0, destination0}, {source1, x1, y1, flags1, destination1}};
  for (const auto& g : groups) {
    if (g.source == nullptr) continue;
    kv_RenderHooks_Blit(g.destination, g.destination ? g.destination->surface : nullptr, g.source,
                        g.source->surface, g.x, g.y, nullptr, g.flags);
  }
  return 0;
}

int Software_DrawTextObject(TextObject* textObject, int flag) {
  if (TableActive(kv_RenderHooks_GetHardwareTable())) return 0;
  return RenderHost_Calls().drawTextObject(textObject, flag);
}

int Software_FillRect(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour, int pattern,
                      float /*alpha*/) {
  int result = 0;
  for (int64_t y = y0; y <= y1; ++y) {
    result = kv_RenderHooks_DrawLine(0, canvas, x0, static_cast<int>(y), x1, static_cast<int>(y),
                                     colour, pattern);
  }
  return result;
}

RenderHookTable* InitSoftwareBackend(void) {
  kv_Log_Printf("Initializing software renderer...");
  std::memset(&g_softwareTable, 0, sizeof g_softwareTable);
  RenderHookTable& t = g_softwareTable;
  t.FramePhase = Software_FramePhase;
  t.Blit = Software_Blit;
  t.FillBuffer = stdDisplay_FillBuffer;
  t.CameraChanged = Software_OnCameraChanged;
  t.DrawMesh = Software_DrawMesh;
  t.BeginModel = Software_BeginModel;
  t.EndModel = Software_EndModel;
  t.DrawSprite = qxSprite_Draw;
  t.DrawLine = qxPrimitive_DrawLine2;
  t.DrawClippedLine = qxPrimitive_DrawLine2Clipped;
  t.BlitObjectStates = Software_BlitObjectStates;
  t.DrawTextObject = Software_DrawTextObject;
  t.FillRect = Software_FillRect;
  return kv_RenderHooks_Register(&t);
}
