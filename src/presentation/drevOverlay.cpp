// Overlays: coordinate conversions, the image cache and overlay table, fades,
// layer drawing into the hardware overlay bucket, the save-wait icon and the
// "OVRS" save block.
#include "presentation/drevOverlay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "gfx/kv_ImageFile.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "script/runtime/lua31.h"

namespace {

constexpr int64_t kSideBar = 240;
constexpr int kMaxOverlays = OVERLAY_TABLE_SIZE - 1;
constexpr float kFadeStep = 1.0f / 18.0f;
constexpr float kDimStep = 1.0f / 60.0f;
constexpr float kDesaturateStep = 1.0f / 30.0f;
constexpr uint32_t kSeparator = 0xFFFFFFFFu;
constexpr int kMosaicWidth = 32;
constexpr int kMosaicHeight = 10;
constexpr uint32_t kMosaicInk = 0xCC000000u;  // black at alpha 0xCC

// The 60 tiles of the mosaic, one row of the image per line.
constexpr uint8_t kMosaicTiles[kMosaicHeight][kMosaicWidth] = {
    {0,  0,  0,  3,  3,  3,  5,  7,  7,  22, 22, 22, 24, 24, 27, 28,
     28, 34, 34, 34, 44, 44, 44, 46, 46, 46, 46, 48, 48, 55, 55, 55},
    {0,  0,  1,  3,  3,  5,  5,  7,  7,  21, 22, 24, 24, 27, 27, 27,
     28, 28, 34, 41, 41, 41, 44, 44, 46, 46, 48, 48, 48, 55, 55, 55},
    {0,  1,  1,  2,  5,  5,  6,  7,  8,  23, 23, 23, 24, 25, 26, 27,
     28, 29, 34, 42, 41, 41, 43, 47, 47, 47, 54, 48, 54, 54, 58, 58},
    {1,  1,  2,  2,  6,  6,  6,  8,  8,  23, 23, 25, 25, 25, 26, 29,
     29, 29, 35, 42, 42, 42, 43, 47, 47, 47, 54, 54, 54, 58, 58, 58},
    {4,  4,  2,  2,  6,  8,  8,  15, 15, 18, 18, 18, 25, 26, 26, 30,
     29, 35, 35, 42, 43, 43, 43, 49, 49, 49, 49, 56, 56, 58, 58, 59},
    {4,  4,  4,  11, 13, 13, 15, 15, 15, 18, 18, 19, 19, 26, 30, 30,
     30, 35, 35, 39, 39, 45, 45, 45, 49, 49, 56, 56, 56, 57, 59, 59},
    {9,  9,  11, 11, 13, 13, 13, 16, 16, 20, 20, 19, 19, 19, 31, 30,
     36, 36, 38, 38, 39, 39, 45, 45, 50, 52, 52, 56, 57, 57, 57, 59},
    {9,  9,  11, 11, 12, 14, 14, 16, 16, 20, 20, 21, 31, 31, 31, 33,
     33, 36, 36, 38, 38, 39, 45, 50, 50, 52, 52, 52, 53, 57, 57, 59},
    {9,  10, 10, 12, 12, 14, 14, 16, 17, 20, 21, 21, 31, 32, 32, 32,
     33, 33, 36, 37, 38, 40, 40, 50, 50, 51, 51, 52, 53, 53, 59, 59},
    {10, 10, 10, 12, 12, 14, 17, 17, 17, 17, 21, 21, 31, 32, 32, 33,
     37, 37, 37, 37, 38, 40, 40, 40, 51, 51, 51, 53, 53, 53, 59, 59},
};

struct OverlayModule {
  bool started = false;
  OverlayManager* manager = nullptr;
};

OverlayModule g_overlay;

int32_t Saturate(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// The reports of the overlay module are warnings: the program goes on with
// the behaviour that follows each one.
void Report(const char* message, const char* detail) {
  kv_Log_Printf("[Overlay] - warning: %s (%s)", message, detail ? detail : "");
}

bool EndsWith(const char* name, const char* suffix) {
  const size_t n = std::strlen(name), m = std::strlen(suffix);
  return n >= m && std::memcmp(name + n - m, suffix, m) == 0;
}

void ReleaseTexture(OverlayImage* image) {
  if (image->texture) kv_Surface_Release(image->texture);
  image->texture = nullptr;
}

void DeleteImages(OverlayManager* m) {
  for (int i = 0; i < m->imageCount; ++i) {
    ReleaseTexture(m->images[i]);
    delete m->images[i];
    m->images[i] = nullptr;
  }
  m->imageCount = 0;
}

void SetName(OverlayImage* image, const char* name) {
  const size_t n = strnlen(name, OVERLAY_NAME_SIZE);
  if (n >= OVERLAY_NAME_SIZE) Report("filename too long", "cut to 127 characters");
  const size_t kept = std::min<size_t>(n, OVERLAY_NAME_SIZE - 1);
  std::memcpy(image->name, name, kept);
  image->name[kept] = 0;
}

OverlayImage* NewImage(const char* name) {
  auto* image = new (std::nothrow) OverlayImage{};
  if (!image) return nullptr;
  image->loadable = 1;
  SetName(image, name);
  return image;
}

int IndexOfId(const OverlayManager* m, int id) {
  for (int i = 0; i < m->overlayCount; ++i) {
    if (m->overlays[i].id == id) return i;
  }
  return -1;
}

int IndexOfImage(const OverlayManager* m, const OverlayImage* image) {
  for (int i = 0; i < m->imageCount; ++i) {
    if (m->images[i] == image) return i;
  }
  return -1;
}

// The mosaic of a ".save" name as an RGBA surface.
kvSurface* MakeMosaic(const char* name) {
  kvSurface* surface = kv_Surface_Allocate(kMosaicWidth, kMosaicHeight, kvFormat_8x4_RGB, 0);
  if (!surface) return nullptr;
  void* pixels = nullptr;
  int rowLength = 0;
  if (!kv_Surface_Lock(kv_RenderContext_Get(), surface, &pixels, &rowLength)) {
    kv_Surface_Release(surface);
    return nullptr;
  }
  drevOverlay_PaintMosaic(name, static_cast<uint32_t*>(pixels), rowLength);
  kv_Surface_Unlock(surface, &pixels);
  return surface;
}

// Fills a rectangle of overlay screen units (x, y, w, h) with the image.
void DrawImage(OverlayImage* image, float x, float y, float w, float h, int mirror, float multiply,
               float desaturate, int screenMode) {
  OverlayImage_Load(image);
  if (!image->texture) return;
  float sx = 1.0f, sy = 1.0f, ox = 0.0f, oy = 0.0f;
  if (screenMode == 0) {
    kv_Platform_AspectFitToBackBuffer(kv_RenderHooks_IsWidescreen(), 1440, 1080, &sx, &sy, &ox,
                                      &oy);
    ox -= 240.0f * sx;
    const float s = std::min(sx, sy);
    x = sx * x + ox;
    y = sy * y + oy;
    w *= s;
    h *= s;
  } else {
    kv_Platform_AspectFitToBackBuffer(0, 1920, 1080, &sx, &sy, &ox, &oy);
    x = sx * x + ox;
    y = sy * y + oy;
    w *= sx;
    h *= sy;
  }
  const auto sw = static_cast<float>(image->srcWidth), sh = static_cast<float>(image->srcHeight);
  const float s0 = (mirror & 1) ? sw : 0.0f, s1 = (mirror & 1) ? 0.0f : sw;
  const float t0 = (mirror & 2) ? sh : 0.0f, t1 = (mirror & 2) ? 0.0f : sh;
  DrawRecord record{};
  Quad_BuildDrawForBackBuffer(&record, image->texture, x, y, 0.0f, 0.0f, w, h, s0, t0, s1, t1,
                              multiply, desaturate);
  record.samplerStates[0].filter = 1;
  RenderBucket_Add(HardwareOverlayBucket, &record);
}

// Advances an entry's fade; 1 when the entry is to be destroyed.
bool AdvanceFade(OverlayEntry* e) {
  switch (e->fadeState) {
    case 1:
      if (drevOverlay_StepToward(&e->multiply, 1.0f, kFadeStep)) e->fadeState = 0;
      return false;
    case 2:
    case 3:
      if (drevOverlay_StepToward(&e->multiply, 0.0f, kFadeStep)) {
        e->multiply = 0.0f;
        const bool destroy = e->fadeState == 3;
        e->fadeState = 0;
        return destroy;
      }
      return false;
    case 5:
    case 6: {
      const bool dim = e->fadeState == 5;
      if (drevOverlay_StepToward(&e->multiply, dim ? 0.7f : 1.0f, kDimStep) &&
          drevOverlay_StepToward(&e->desaturate, dim ? 0.6f : 0.0f, kDesaturateStep)) {
        e->fadeState = 0;
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace

// ---- Coordinate conversions ------------------------------------------------------

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

// ---- Module ----------------------------------------------------------------------

int drevOverlay_Initialize(HostServices*, ModuleDescriptor* descriptor) {
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevOverlay_Initialize;
    descriptor->startup = drevOverlay_Startup;
    descriptor->shutdown = drevOverlay_Shutdown;
    descriptor->save = drevOverlay_Save;
    descriptor->restore = drevOverlay_Restore;
  }
  return 0;
}

int drevOverlay_Startup(void) {
  if (g_overlay.started) return 1;
  int count = 0;
  const lua_Reg* table = drevOverlay_GetScriptTable(&count);
  lua_openlib(table, count);
  g_overlay.started = true;
  return 0;
}

void drevOverlay_Shutdown(void) {
  drevOverlay_DeleteManager();
  g_overlay.started = false;
}

// ---- Manager -----------------------------------------------------------------------

OverlayManager* drevOverlay_GetManager(void) {
  if (!g_overlay.manager) {
    g_overlay.manager = new (std::nothrow) OverlayManager{};
    if (g_overlay.manager) {
      g_overlay.manager->lastId = -1;
      g_overlay.manager->saveWaitId = -1;
    }
  }
  return g_overlay.manager;
}

void drevOverlay_DeleteManager(void) {
  OverlayManager* m = g_overlay.manager;
  if (!m) return;
  DeleteImages(m);
  delete m;
  g_overlay.manager = nullptr;
}

OverlayImage* drevOverlay_Manager_FindOrAddImage(OverlayManager* m, const char* name) {
  if (!m || !name) return nullptr;
  for (int i = 0; i < m->imageCount; ++i) {
    if (std::strcmp(m->images[i]->name, name) == 0) return m->images[i];
  }
  if (m->imageCount < OVERLAY_MAX_IMAGES) {
    OverlayImage* image = NewImage(name);
    if (image) m->images[m->imageCount++] = image;
    return image;
  }
  int candidate = -1;
  for (int i = 0; i < m->imageCount; ++i) {
    const OverlayImage* image = m->images[i];
    if (image->useCount != 0 || image->cache == 1) continue;
    if (candidate < 0 || image->lastUse < m->images[candidate]->lastUse) candidate = i;
  }
  if (candidate < 0) {
    Report("false", "the image cache is full of images in use or pinned");
    return nullptr;
  }
  OverlayImage* image = m->images[candidate];
  ReleaseTexture(image);
  *image = OverlayImage{};
  image->loadable = 1;
  SetName(image, name);
  return image;
}

int drevOverlay_Manager_CreateOverlay(OverlayManager* m, const char* imageName, int x, int y,
                                      int layer, int coords, int mirror, int cache, int flags) {
  if (!m) return -1;
  if (m->overlayCount + 1 >= OVERLAY_TABLE_SIZE) {
    Report("false", "the overlay table is full");
    return -1;
  }
  OverlayImage* image = imageName ? drevOverlay_Manager_FindOrAddImage(m, imageName) : nullptr;
  do {
    m->lastId = (m->lastId + 1) % OVERLAY_TABLE_SIZE;
  } while (IndexOfId(m, m->lastId) >= 0);
  OverlayEntry& e = m->overlays[m->overlayCount++];
  e = OverlayEntry{};
  e.image = image;
  e.id = m->lastId;
  e.x = x;
  e.y = y;
  e.width = e.height = -1;
  e.multiply = 1.0f;
  e.coords = coords;
  e.layer = layer;
  e.mirror = mirror;
  e.flags = flags;
  if (image) {
    ++image->useCount;
    image->cache = cache;
    image->lastUse = e.id;
  }
  return e.id;
}

OverlayEntry* drevOverlay_Manager_FindOverlay(OverlayManager* m, int id) {
  if (!m) return nullptr;
  const int i = IndexOfId(m, id);
  if (i < 0) return nullptr;
  OverlayEntry* e = &m->overlays[i];
  if (e->image && !e->image->texture) OverlayImage_Load(e->image);
  return e;
}

void drevOverlay_Manager_DestroyOverlay(OverlayManager* m, int id) {
  if (!m) return;
  const int i = IndexOfId(m, id);
  if (i < 0) return;
  if (OverlayImage* image = m->overlays[i].image) {
    --image->useCount;
    if (image->cache == 2 && image->useCount == 0) ReleaseTexture(image);
  }
  std::memmove(&m->overlays[i], &m->overlays[i + 1],
               sizeof(OverlayEntry) * static_cast<size_t>(m->overlayCount - i - 1));
  --m->overlayCount;
  m->overlays[m->overlayCount] = OverlayEntry{};
}

void drevOverlay_Manager_ShowSaveWaitIcon(OverlayManager* m, int show, int x, int y) {
  if (!m) return;
  if (!show) {
    if (m->saveWaitId >= 0) drevOverlay_Manager_DestroyOverlay(m, m->saveWaitId);
    m->saveWaitId = -1;
    return;
  }
  if (m->saveWaitId >= 0) return;
  const int id = drevOverlay_Manager_CreateOverlay(m, "save_wait_icon.png", x, y, 5, 2, 0, 1, 0);
  m->saveWaitId = id;
  OverlayEntry* e = drevOverlay_Manager_FindOverlay(m, id);
  if (!e || !e->image) return;
  const int w = e->width > 0 ? e->width : static_cast<int>(e->image->width);
  const int h = e->height > 0 ? e->height : static_cast<int>(e->image->height);
  e->x -= w / 2;
  e->y -= h / 2;
}

void drevOverlay_ShowSaveWaitIcon(int show, int x, int y) {
  drevOverlay_Manager_ShowSaveWaitIcon(drevOverlay_GetManager(), show, x, y);
}

void drevOverlay_Manager_ClearCache(OverlayManager* m) {
  if (!m) return;
  for (int i = 0; i < m->imageCount; ++i) {
    OverlayImage* image = m->images[i];
    if (image->useCount == 0 && image->cache != 1) ReleaseTexture(image);
  }
}

void OverlayImage_Load(OverlayImage* image) {
  if (!image || image->texture || !image->name[0] || !image->loadable) return;
  if (EndsWith(image->name, ".png")) {
    image->texture = LoadImageSurface(image->name);
    if (!image->texture) {
      image->loadable = 0;
      kv_Log_Printf("[Overlay] - %s could not be loaded; overlays of it are not drawn",
                    image->name);
      return;
    }
    int w = 0, h = 0;
    kv_Surface_GetInfo(image->texture, &w, &h, nullptr);
    image->width = image->srcWidth = static_cast<uint32_t>(w);
    image->height = image->srcHeight = static_cast<uint32_t>(h);
    PremultiplyAlpha(image->texture);
  } else if (EndsWith(image->name, ".save")) {
    image->texture = MakeMosaic(image->name);
    if (!image->texture) return;
    image->width = image->srcWidth = kMosaicWidth;
    image->height = image->srcHeight = kMosaicHeight;
  } else {
    Report("unknown image file type", image->name);
    image->loadable = 0;  // reported once, not at every draw
    return;
  }
  if (image->cache == 0 && uint64_t{image->width} * image->height > 40000) image->cache = 2;
}

void OverlayImage_Unload(OverlayImage* image) {
  if (!image) return;
  ReleaseTexture(image);
  image->useCount = 0;
}

void drevOverlay_PaintMosaic(const char* name, uint32_t* pixels, int rowLength) {
  const size_t length = name ? std::strlen(name) : 0;
  for (int row = 0; row < kMosaicHeight; ++row) {
    for (int column = 0; column < kMosaicWidth; ++column) {
      const size_t tile = kMosaicTiles[row][column];
      const bool ink = tile < length && name[tile] == '0';
      pixels[static_cast<size_t>(row) * static_cast<size_t>(rowLength) + column] =
          ink ? kMosaicInk : 0u;
    }
  }
}

int drevOverlay_StepToward(float* value, float target, float step) {
  if (std::fabs(*value - target) < 1.5f * step) {
    *value = target;
    return 1;
  }
  *value += *value < target ? step : -step;
  return 0;
}

// ---- Drawing -----------------------------------------------------------------------

void drevOverlay_DrawLayer(int layer, int screenMode) {
  OverlayManager* m = g_overlay.manager;
  if (!m) return;
  for (int i = 0; i < m->overlayCount;) {
    OverlayEntry* e = &m->overlays[i];
    if (e->layer != layer || e->visibility == 2 || !e->image) {
      ++i;
      continue;
    }
    int32_t x = e->x, y = e->y;
    if (e->coords == 0) {
      drevOverlay_GameToScreen(&x, &y, 0, 0);
    } else if (e->coords == 1) {
      x = Saturate(int64_t{x} + kSideBar);
    }
    OverlayImage_Load(e->image);  // its size stands in for a width or height of 0 or less
    const float w = static_cast<float>(e->width > 0 ? int64_t{e->width} : int64_t{e->image->width});
    const float h =
        static_cast<float>(e->height > 0 ? int64_t{e->height} : int64_t{e->image->height});
    if (e->flags & 1) drevOverlay_FillBlack();
    DrawImage(e->image, static_cast<float>(x), static_cast<float>(y), w, h, e->mirror, e->multiply,
              e->desaturate, screenMode);
    if (AdvanceFade(e)) {
      drevOverlay_Manager_DestroyOverlay(m, e->id);
      continue;  // the next entry moved into this place
    }
    ++i;
  }
}

void drevOverlay_FillBlack(void) {
  HardwareOverlay_FillBlack();
}

// ---- Save and restore ----------------------------------------------------------------

namespace {

template <typename T>
bool Transfer(SaveTransferFn io, T* value) {
  return io(value, sizeof *value) == 0;
}

bool Separator(SaveTransferFn io, int words) {
  uint32_t separator[6] = {kSeparator, kSeparator, kSeparator, kSeparator, kSeparator, kSeparator};
  return io(separator, sizeof(uint32_t) * static_cast<size_t>(words)) == 0;
}

// The 13 words of an overlay after its image index.
bool TransferEntry(SaveTransferFn io, OverlayEntry* e) {
  return Transfer(io, &e->id) && Transfer(io, &e->x) && Transfer(io, &e->y) &&
         Transfer(io, &e->coords) && Transfer(io, &e->layer) && Transfer(io, &e->width) &&
         Transfer(io, &e->height) && Transfer(io, &e->visibility) && Transfer(io, &e->multiply) &&
         Transfer(io, &e->fadeState) && Transfer(io, &e->flags) && Transfer(io, &e->desaturate) &&
         Transfer(io, &e->mirror);
}

}  // namespace

int drevOverlay_Save(SaveTransferFn write) {
  OverlayManager* m = drevOverlay_GetManager();
  if (!write || !m) return 1;
  if (!Transfer(write, &m->overlayCount) || !Transfer(write, &m->imageCount) ||
      !Transfer(write, &m->lastId)) {
    return 1;
  }
  // Past the counts, a failed write is the save's own to notice.
  Separator(write, 6);
  for (int i = 0; i < m->imageCount; ++i) {
    OverlayImage* image = m->images[i];
    char name[OVERLAY_NAME_SIZE] = {};
    std::memcpy(name, image->name, sizeof name);
    write(name, sizeof name);
    Transfer(write, &image->lastUse);
    Transfer(write, &image->useCount);
    Transfer(write, &image->loadable);
    Transfer(write, &image->cache);
  }
  Separator(write, 6);
  for (int i = 0; i < m->overlayCount; ++i) {
    OverlayEntry* e = &m->overlays[i];
    int32_t index = e->image ? IndexOfImage(m, e->image) : -1;
    Transfer(write, &index);
    TransferEntry(write, e);
  }
  Separator(write, 3);
  return 0;
}

int drevOverlay_Restore(SaveTransferFn read) {
  OverlayManager* m = drevOverlay_GetManager();
  if (!read || !m) return 1;
  DeleteImages(m);
  m->overlayCount = 0;
  m->saveWaitId = -1;
  const auto fail = [m](const char* why) {
    kv_Log_Printf("[Overlay] - OVRS restore failed: %s", why);
    DeleteImages(m);
    m->overlayCount = 0;
    m->lastId = -1;
    return 1;
  };
  int32_t overlays = 0, images = 0, lastId = -1;
  if (!Transfer(read, &overlays) || !Transfer(read, &images) || !Transfer(read, &lastId)) {
    return fail("short read");
  }
  if (overlays < 0 || overlays > kMaxOverlays || images < 0 || images > OVERLAY_MAX_IMAGES) {
    return fail("counts out of range");
  }
  if (!Separator(read, 6)) return fail("short read");
  for (int i = 0; i < images; ++i) {
    char name[OVERLAY_NAME_SIZE];
    if (read(name, sizeof name) != 0) return fail("short read");
    name[OVERLAY_NAME_SIZE - 1] = 0;
    OverlayImage* image = NewImage(name);
    if (!image) return fail("out of memory");
    m->images[m->imageCount++] = image;
    if (!Transfer(read, &image->lastUse) || !Transfer(read, &image->useCount) ||
        !Transfer(read, &image->loadable) || !Transfer(read, &image->cache)) {
      return fail("short read");
    }
  }
  if (!Separator(read, 6)) return fail("short read");
  for (int i = 0; i < overlays; ++i) {
    int32_t index = -1;
    OverlayEntry e{};
    if (!Transfer(read, &index) || !TransferEntry(read, &e)) return fail("short read");
    if (index < -1 || index >= images) return fail("image index out of range");
    if (e.id < 0 || e.id >= OVERLAY_TABLE_SIZE) return fail("overlay id out of range");
    if (!std::isfinite(e.multiply)) e.multiply = 1.0f;
    if (!std::isfinite(e.desaturate)) e.desaturate = 0.0f;
    e.image = index >= 0 ? m->images[index] : nullptr;
    if (e.flags == -1) e.flags = 0;
    m->overlays[m->overlayCount++] = e;
  }
  // Use counts: each overlay made with an image counts it up and counts it
  // down when destroyed, and an image whose count is 0 may be released or
  // replaced unless it is pinned. The mouse shows its (pinned) cursor images
  // without counting them, so a count may lag its overlays, but never by more
  // than the overlay table holds. An image that is not pinned and counts fewer
  // uses than the overlays showing it is raised to them, so that it is not
  // released or replaced while it is shown.
  for (int i = 0; i < m->imageCount; ++i) {
    OverlayImage* image = m->images[i];
    if (image->useCount < -OVERLAY_TABLE_SIZE || image->useCount > OVERLAY_TABLE_SIZE) {
      return fail("an image's use count out of range");
    }
    if (image->cache == 1) continue;
    int32_t users = 0;
    for (int k = 0; k < m->overlayCount; ++k) users += m->overlays[k].image == image;
    if (image->useCount < users) {
      kv_Log_Printf("[Overlay] - OVRS restore: image \"%s\" counted %d uses for %d overlays",
                    image->name, image->useCount, users);
      image->useCount = users;
    }
  }
  if (!Separator(read, 3)) return fail("short read");
  m->lastId = lastId >= -1 && lastId < OVERLAY_TABLE_SIZE ? lastId : -1;
  return 0;
}
