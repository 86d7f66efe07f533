// Overlays. Not built yet (placeholder), but for the coordinate conversions.
#include "presentation/drevOverlay.h"

#include <cstdint>

#include "platform/kv_Log.h"

namespace {

constexpr int64_t kSideBar = 240;

int32_t Saturate(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void ReportOnce(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Overlay] - %s: not built yet", what);
}

}  // namespace

int drevOverlay_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevOverlay_FillBlack(void) {}
void drevOverlay_DrawLayer(int, int) {}

void drevOverlay_GameToScreen(int32_t* x, int32_t* y, int mode, int raw) {
  const int64_t bar = raw ? 0 : kSideBar;
  if (mode == 0) {
    *x = Saturate(int64_t{*x} * 1440 / 640 + bar);
    *y = Saturate(int64_t{*y} * 1080 / 480);
  } else if (mode == 1) {
    *x = Saturate(int64_t{*x} + bar);
  }
}

void drevOverlay_ScreenToGame(int32_t* x, int32_t* y, int mode, int raw) {
  const int64_t bar = raw ? 0 : kSideBar;
  if (mode == 0) {
    *x = Saturate((int64_t{*x} - bar) * 640 / 1440);
    *y = Saturate(int64_t{*y} * 480 / 1080);
  } else if (mode == 1) {
    *x = Saturate(int64_t{*x} - bar);
  }
}

void drevOverlay_GameToScreenRect(stdRect* rect, int mode) {
  if (mode == 0) {
    rect->x = Saturate(int64_t{rect->x} * 1440 / 640 + kSideBar);
    rect->y = Saturate(int64_t{rect->y} * 1080 / 480);
    rect->width = Saturate(int64_t{rect->width} * 1440 / 640);
    rect->height = Saturate(int64_t{rect->height} * 1080 / 480);
  } else if (mode == 1) {
    rect->x = Saturate(int64_t{rect->x} + kSideBar);
  }
}

void drevOverlay_ScreenToGameRect(stdRect* rect, int mode) {
  if (mode == 0) {
    rect->x = Saturate((int64_t{rect->x} * 640 - 153600) / 1440);
    rect->y = Saturate(int64_t{rect->y} * 480 / 1080);
    rect->width = Saturate(int64_t{rect->width} * 640 / 1440);
    rect->height = Saturate(int64_t{rect->height} * 480 / 1080);
  } else if (mode == 1) {
    rect->x = Saturate(int64_t{rect->x} - kSideBar);
  }
}

OverlayEntry* drevOverlay_Manager_FindOverlay(int) {
  static bool reported = false;
  ReportOnce(reported, "drevOverlay_Manager_FindOverlay");
  return nullptr;
}

void drevOverlay_Manager_DestroyOverlay(int) {
  static bool reported = false;
  ReportOnce(reported, "drevOverlay_Manager_DestroyOverlay");
}
