// The render module: the iris, the pixel conversion table and the named
// colours, gamma, the grey menu backdrop, region dimming, screenshots and
// screen captures, the save and load progress bar, the wait timer and the
// images the scripts hold.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/drevMain.h"
#include "engine/drevResource.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevRender_Internal.h"
#include "std/std.h"
#include "std/stdBitmap.h"

uint16_t drevRender_debugColours[kNamedColourCount];

namespace {

RenderState& S() {
  return drevRender_State();
}

// The pixel conversion table, identity until the buffers open.
struct PixelTable {
  uint16_t entries[65536];
  PixelTable() {
    for (int i = 0; i < 65536; ++i) entries[i] = static_cast<uint16_t>(i);
  }
};
PixelTable g_table;

constexpr ColorFormat kFormat565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};

struct NamedRgb {
  int r, g, b;
};
constexpr NamedRgb kNamedRgb[kNamedColourCount] = {
    {0, 0, 0},       {255, 255, 255}, {128, 128, 128}, {255, 255, 0},   {255, 0, 0},
    {0, 255, 0},     {0, 0, 255},     {128, 0, 128},   {128, 0, 0},     {0, 128, 0},
    {128, 128, 0},   {0, 0, 128},     {0, 128, 128},   {192, 192, 192}, {192, 220, 192},
    {166, 202, 240}, {180, 180, 180}, {100, 100, 100}, {255, 0, 255},   {0, 255, 255},
};

uint16_t Pack(const ColorFormat& f, int r, int g, int b) {
  return static_cast<uint16_t>((r >> f.redLoss) << f.redShift | (g >> f.greenLoss) << f.greenShift |
                               (b >> f.blueLoss) << f.blueShift);
}

bool Is16(const DisplayBuffer* buffer) {
  return buffer && buffer->format.format.bitsPerPixel == 16;
}

// The rows of a locked 16-bit raster.
uint16_t* Row(DisplayBuffer* buffer, int y) {
  return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(buffer->pixels) +
                                     static_cast<int64_t>(y) * buffer->format.bytesPerRow);
}

void MarkScreen(int zRestore) {
  const int rect[4] = {0, 0, kScreenWidth, kScreenHeight};
  drevRender_InvalidateRectAllBuffers(rect, zRestore);
}

}  // namespace

// ---- Iris ---------------------------------------------------------------------------

void drevRender_IrisDown(int x, int y, int duration) {
  RenderState& s = S();
  s.irisStart = drevRender_Calls().totalMs();
  s.renderFlags |= kRenderIrisRunning;
  s.irisDuration = static_cast<float>(duration);
  s.irisX = x;
  s.irisY = y;
}

void drevRender_IrisUp(int x, int y, int duration) {
  drevRender_IrisDown(x, y, duration);
  S().irisDuration = -static_cast<float>(duration);
}

int drevRender_IsIrisComplete(void) {
  const uint32_t flags = S().renderFlags;
  return (flags & kRenderIrisDownComplete) || !(flags & kRenderIrisRunning) ? 1 : 0;
}

void drevRender_IrisClear(void) {
  RenderState& s = S();
  s.renderFlags &= ~(kRenderIrisRunning | kRenderIrisDownComplete);
  s.irisDuration = 0.0f;
  MarkScreen(0);
}

void drevRender_DrawIris(float percent, int x, int y) {
  if (!(percent >= 0.0f && percent <= 1.0f)) {
    HostServices* hs = S().services ? S().services : std_pHS;
    hs->assertFail("(percent >= 0.0f) && (percent <= 1.0f)", "drevRender.cpp", __LINE__);
    return;
  }
  DisplayBuffer* raster = drevRender_pDisplayRaster;
  if (!Is16(raster)) return;
  // The borders, clamped to the screen: a centre off the screen neither
  // writes outside the rows nor gives a negative count.
  const auto border = [percent](int64_t span, int limit) {
    const double v = std::trunc(static_cast<double>(percent) * static_cast<double>(span));
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit)));
  };
  const int top = border(y, kScreenHeight);
  const int left = border(x, kScreenWidth);
  const int bottom = border(int64_t{kScreenHeight} - y, kScreenHeight);
  const int right = border(int64_t{kScreenWidth} - x, kScreenWidth);
  if (!stdDisplay_LockBuffer(raster)) return;
  if (raster->pixels) {
    const int rows = std::min(kScreenHeight, raster->format.height);
    const int columns = std::min(kScreenWidth, raster->format.width);
    for (int row = 0; row < rows; ++row) {
      uint16_t* p = Row(raster, row);
      if (row < top || row >= kScreenHeight - bottom) {
        std::fill(p, p + columns, 0);
      } else {
        std::fill(p, p + std::min(left, columns), 0);
        const int from = std::max(0, columns - right);
        std::fill(p + from, p + columns, 0);
      }
    }
  }
  stdDisplay_UnlockBuffer(raster);
}

void drevRender_StepIris(void) {
  RenderState& s = S();
  if (!(s.renderFlags & kRenderIrisRunning)) return;
  const uint32_t elapsed = drevRender_Calls().totalMs() - s.irisStart;
  if (elapsed == 0) return;
  const float duration = s.irisDuration;
  float f = duration != 0.0f ? std::fabs(static_cast<float>(elapsed) / duration) : 2.0f;
  if (f > 1.0f) {
    f = 1.0f;
    if (duration < 0.0f)
      s.renderFlags &= ~kRenderIrisRunning;
    else
      s.renderFlags |= kRenderIrisDownComplete;
  } else {
    s.renderFlags &= ~kRenderIrisDownComplete;
  }
  const float percent = duration > 0.0f ? f : (duration < 0.0f ? 1.0f - f : 0.0f);
  drevRender_DrawIris(percent, s.irisX, s.irisY);
  if (duration < 0.0f) MarkScreen(0);
}

void drevRender_GetIrisState(float* fraction, float* centreX, float* centreY) {
  const RenderState& s = S();
  if (centreX) *centreX = static_cast<float>(s.irisX) / 640.0f;
  if (centreY) *centreY = static_cast<float>(s.irisY) / 480.0f;
  if (!fraction) return;
  if (s.irisDuration == 0.0f) {
    *fraction = 0.0f;
    return;
  }
  const float f = static_cast<float>(drevRender_Calls().totalMs() - s.irisStart) / s.irisDuration;
  *fraction = s.irisDuration < 0.0f ? std::clamp(1.0f - std::fabs(f), 0.0f, 1.0f)
                                    : std::clamp(std::fabs(f), 0.0f, 1.0f);
}

// ---- Pixel conversion and gamma ----------------------------------------------------------

void drevRender_BuildGammaTable(const ColorFormat* target, float exponent) {
  if (!target) return;
  const auto channel = [exponent](int value, int maximum, int bits) {
    const float unit = static_cast<float>(value) / static_cast<float>(maximum);
    const float curved = static_cast<float>(std::pow(static_cast<double>(unit), exponent));
    const float scaled = curved * static_cast<float>((1 << bits) - 1);
    return static_cast<int>(scaled);
  };
  for (int i = 0; i < 65536; ++i) {
    const int r = channel((i >> 11) & 31, 31, target->redBits);
    const int g = channel((i >> 5) & 63, 63, target->greenBits);
    const int b = channel(i & 31, 31, target->blueBits);
    g_table.entries[i] = static_cast<uint16_t>(r << target->redShift | g << target->greenShift |
                                               b << target->blueShift);
  }
}

const uint16_t* drevRender_GammaTable(void) {
  return g_table.entries;
}

uint16_t drevRender_ConvertPixel(uint16_t pixel) {
  return g_table.entries[pixel];
}

void drevRender_ApplyGammaToPixels(uint16_t* pixels, int count) {
  if (!pixels || count <= 0) return;
  const int groups = count / 8;
  uint16_t* p = pixels;
  for (int g = 0; g < groups; ++g, p += 8) {
    for (int k = 0; k < 8; ++k) p[k] = g_table.entries[p[k]];
  }
  for (int k = 0; k < count % 8; ++k) p[k] = g_table.entries[p[k]];
}

void drevRender_RebuildColorTables(const ColorFormat* source) {
  const ColorFormat* display =
      drevRender_pDisplayRaster ? &drevRender_pDisplayRaster->format.format : &kFormat565;
  drevRender_BuildGammaTable(display, 1.0f);
  const ColorFormat& from = source ? *source : kFormat565;
  for (int i = 0; i < kNamedColourCount; ++i) {
    drevRender_debugColours[i] =
        drevRender_ConvertPixel(Pack(from, kNamedRgb[i].r, kNamedRgb[i].g, kNamedRgb[i].b));
  }
  drevResource_ReloadBackgrounds();
  drevResource_ReloadColormaps();
}

void drevRender_SetGamma(float gamma) {
  RenderState& s = S();
  if (gamma == s.gamma) return;
  s.gamma = gamma;
  drevRender_RebuildColorTables(&kFormat565);
  if (Room* room = drevRender_Calls().roomGetCurrent())
    drevRender_PrepareSetup(room, drevRender_CurrentSetupIndex(room));
}

float drevRender_GetGamma(void) {
  return S().gamma;
}

// ---- Dimming ------------------------------------------------------------------------------

void drevRender_DimScreen(int force, int shift) {
  drevRenderCalls& calls = drevRender_Calls();
  DisplayBuffer* display = drevRender_pDisplayRaster;
  DisplayBuffer* clean = drevRender_pCleanBuffer;
  if (GameState == kGameUserPaint && !force) return;
  if (GameState == kGameCutscene) {
    calls.tolveCreateFrameBuffer(display);
  } else {
    // One frame with everything frozen.
    calls.textSuspendDrawing();
    drevPrimitive_Suspend();
    calls.setFrameMs(0);
    drevRender_DrawFrame();
    calls.finishFrame();
    calls.textResumeDrawing();
    drevPrimitive_Resume();
  }
  if (!display || !clean || !Is16(clean)) return;
  drevRender_BlitRect(clean, display, 0, 0, nullptr);
  if (!stdDisplay_LockBuffer(clean)) return;
  if (clean->pixels) {
    const ColorFormat& f = clean->format.format;
    const bool noSet = calls.roomGetCurrent() == nullptr;
    const uint32_t greenMask = (1u << f.greenBits) - 1, blueMask = (1u << f.blueBits) - 1;
    const int s = std::clamp(shift, 0, 31);
    for (int y = 0; y < clean->format.height; ++y) {
      uint16_t* p = Row(clean, y);
      for (int x = 0; x < clean->format.width; ++x) {
        if (noSet) {
          p[x] = 0;
          continue;
        }
        const uint32_t v = p[x];
        const uint32_t r = (v >> f.redShift) << f.redLoss;
        const uint32_t g = ((v >> f.greenShift) & greenMask) << f.greenLoss;
        const uint32_t b = v & blueMask;
        const uint32_t m = std::max({r, g, b}) >> s;
        p[x] = static_cast<uint16_t>(((m >> f.greenLoss) << f.greenShift) |
                                     ((m >> f.redLoss) << f.redShift) | (m >> f.blueLoss));
      }
    }
    kv_RenderHooks_SurfaceChanged(clean->pixels);
  }
  stdDisplay_UnlockBuffer(clean);
  const int rect[4] = {0, 0, clean->format.width, clean->format.height};
  drevRender_InvalidateRectAllBuffers(rect, 0);
}

void drevRender_DimRegion(int x, int y, int width, int height, float factor) {
  DisplayBuffer* raster = drevRender_pDisplayRaster;
  if (!Is16(raster)) return;
  // Cut to the raster: nothing outside its pixels is touched.
  const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + width, raster->format.width);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + height, raster->format.height);
  if (right <= left || bottom <= top) return;
  if (!stdDisplay_LockBuffer(raster)) return;
  if (raster->pixels) {
    const ColorFormat& f = raster->format.format;
    // Each field is scaled with truncation and kept inside its own bits.
    const auto scale = [factor](uint32_t field, int bits) {
      const double v = std::trunc(static_cast<double>(field) * factor);
      return static_cast<uint32_t>(std::clamp(v, 0.0, static_cast<double>((1 << bits) - 1)));
    };
    for (int64_t row = top; row < bottom; ++row) {
      uint16_t* p = Row(raster, static_cast<int>(row));
      for (int64_t col = left; col < right; ++col) {
        const uint32_t v = p[col];
        const uint32_t r = scale((v >> f.redShift) & ((1u << f.redBits) - 1), f.redBits);
        const uint32_t g = scale((v >> f.greenShift) & ((1u << f.greenBits) - 1), f.greenBits);
        const uint32_t b = scale((v >> f.blueShift) & ((1u << f.blueBits) - 1), f.blueBits);
        p[col] = static_cast<uint16_t>(r << f.redShift | g << f.greenShift | b << f.blueShift);
      }
    }
    kv_RenderHooks_SurfaceChanged(raster->pixels);
  }
  stdDisplay_UnlockBuffer(raster);
}

// ---- Screenshots and captures -------------------------------------------------------

DisplayBuffer* drevRender_ScreenShot(int width, int height) {
  RenderState& s = S();
  if (width < 1 || height < 1) return nullptr;
  const int kept = GameState;
  GameState = kGameRunning;
  s.forceRefresh = 1;
  drevRender_DimScreen(1, 0);
  GameState = kept;

  DisplayBuffer* clean = drevRender_pCleanBuffer;
  if (!Is16(clean)) return nullptr;
  BufferFormat format = clean->format;
  format.width = width;
  format.height = height;
  DisplayBuffer* shot = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  if (!shot) return nullptr;
  if (stdDisplay_LockBuffer(clean) && stdDisplay_LockBuffer(shot)) {
    if (clean->pixels && shot->pixels) {
      const float stepX = 640.0f / static_cast<float>(width);
      const float stepY = 480.0f / static_cast<float>(height);
      const int maxRow = clean->format.height - 1, maxColumn = clean->format.width - 1;
      float sy = 0.0f;
      for (int row = 0; row < height; ++row, sy += stepY) {
        const uint16_t* from = Row(clean, std::min(static_cast<int>(sy), maxRow));
        uint16_t* to = Row(shot, row);
        float sx = 0.0f;
        for (int column = 0; column < width; ++column, sx += stepX)
          to[column] = from[std::min(static_cast<int>(sx), maxColumn)];
      }
      kv_RenderHooks_SurfaceChanged(shot->pixels);
    }
    stdDisplay_UnlockBuffer(shot);
    stdDisplay_UnlockBuffer(clean);
  }
  s.forceRefresh = 1;
  return shot;
}

void drevRender_SaveScreen(const char* path) {
  if (path) drevRender_SaveScreenImage(path);
}

void drevRender_SaveScreenImage(const char* path) {
  DisplayBuffer* raster = drevRender_pDisplayRaster;
  if (!path || !raster) return;
  stdDisplay_LockBuffer(raster);
  Bitmap* bitmap = stdBitmap_NewFromBuffer(raster, 0, 0);
  stdDisplay_UnlockBuffer(raster);
  if (!bitmap) return;
  const ColorFormat rgb24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
  stdBitmap_ConvertFormat(&rgb24, bitmap);
  char name[512];
  std::snprintf(name, sizeof name, "%s", path);
  if (!std_SaveImage(name, sizeof name, bitmap))
    kv_Log_Printf("[Render] - the screen could not be saved to %s", path);
  stdBitmap_Free(bitmap);
}

void drevRender_SaveZBufferImage(const char* path) {
  DisplayBuffer* z = S().buffersOpen ? drevRender_pZRaster : nullptr;
  if (!path || !z) return;
  stdDisplay_LockBuffer(z);
  stdDisplay_UnlockBuffer(z);
  Bitmap* bitmap = stdBitmap_NewFromBuffer(z, 0, 0);
  if (!bitmap) return;
  if (!stdBitmap_Save(path, bitmap))
    kv_Log_Printf("[Render] - the z-buffer could not be saved to %s", path);
  stdBitmap_Free(bitmap);
}

// ---- Progress bar and wait timer ----------------------------------------------------------

void drevRender_DrawProgressBar(float fraction) {
  DisplayBuffer* front = &stdDisplay_frontBuffer;
  constexpr int kLeft = 50, kRight = 589, kTop = 455, kBottom = 467;
  if (!Is16(front) || front->format.width <= kRight || front->format.height <= kBottom) return;
  const float f = fraction > 1.0f ? 1.0f : (fraction > 0.0f ? fraction : 0.0f);
  const int filled = static_cast<int>(f * 540.0f);
  const uint16_t colour = drevRender_ConvertPixel(0xffe0);
  if (!stdDisplay_LockBuffer(front)) return;
  if (front->pixels) {
    std::fill(Row(front, kTop) + kLeft, Row(front, kTop) + kRight + 1, colour);
    for (int y = kTop + 1; y <= kBottom; ++y) {
      uint16_t* p = Row(front, y);
      p[kLeft] = 0xffe0;
      p[kRight] = 0xffe0;
      std::fill(p + kLeft, p + kLeft + filled, colour);
    }
    std::fill(Row(front, kBottom) + kLeft, Row(front, kBottom) + kRight + 1, colour);
    kv_RenderHooks_SurfaceChanged(front->pixels);
  }
  stdDisplay_UnlockBuffer(front);
}

void drevRender_SetWaitTimerEnabled(int enabled) {
  S().waitTimerEnabled = enabled;
}

void drevRender_TickWaitTimer(void) {
  RenderState& s = S();
  if (!s.waitTimerEnabled || !kv_Platform_WaitIconEnabled()) return;
  if (s.waitTimerRunning) s.waitAccumulatorMs += drevMain_PerfEnd(kPerfWaitIcon);
  drevMain_PerfBegin(kPerfWaitIcon);
  s.waitTimerRunning = 1;
  if (s.waitAccumulatorMs > 5000.0) s.waitAccumulatorMs = 0.0;
}

void drevRender_BlastRect(int x0, int y0, int x1, int y1, uint16_t colour, int filled) {
  DisplayBuffer* raster = drevRender_pDisplayRaster;
  if (!raster || raster->format.format.bitsPerPixel != 16) return;
  if (x1 < x0 || y1 < y0 || x0 < 0 || y0 < 0 || x1 > 639 || y1 > 479 ||
      x1 >= raster->format.width || y1 >= raster->format.height)
    return;
  if (!stdDisplay_LockBuffer(raster)) return;
  if (raster->pixels) {
    kv_RenderHooks_SurfaceChanged(raster->pixels);
    std::fill(Row(raster, y0) + x0, Row(raster, y0) + x1 + 1, colour);
    for (int y = y0 + 1; y < y1; ++y) {
      uint16_t* p = Row(raster, y);
      if (filled)
        std::fill(p + x0, p + x1, colour);
      else
        p[x0] = colour;
      p[x1] = colour;
    }
    if (y1 > y0) std::fill(Row(raster, y1) + x0, Row(raster, y1) + x1 + 1, colour);
  }
  stdDisplay_UnlockBuffer(raster);
}

// ---- Script images ------------------------------------------------------------------

uint32_t drevRender_AddScriptImage(DisplayBuffer* image) {
  RenderState& s = S();
  if (!image) return 0;
  const uint32_t serial = s.nextImageSerial++;
  if (s.nextImageSerial == 0) s.nextImageSerial = 1;
  s.images.emplace_back(serial, image);
  return serial;
}

DisplayBuffer* drevRender_FindScriptImage(uint32_t serial) {
  for (const auto& [id, image] : S().images)
    if (id == serial) return image;
  return nullptr;
}

void drevRender_FreeScriptImage(uint32_t serial) {
  auto& images = S().images;
  for (auto it = images.begin(); it != images.end(); ++it) {
    if (it->first != serial) continue;
    stdDisplay_FreeBuffer(it->second);
    images.erase(it);
    return;
  }
}

void drevRender_FreeScriptImages(void) {
  for (const auto& entry : S().images) stdDisplay_FreeBuffer(entry.second);
  S().images.clear();
}
