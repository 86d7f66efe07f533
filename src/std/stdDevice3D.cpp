// The 3D-device layer: texture-size fit, texture-cache order, device palettes
// and the device choice; the batch and upload entry points do nothing.
#include "std/stdDevice3D.h"

#include <algorithm>
#include <cstring>

#include "std/stdColor.h"
#include "std/stdDisplay.h"

namespace {

struct Device3DState {
  int started = 0;
  // The device's texture limits.
  int minWidth = 4;
  int minHeight = 4;
  int maxWidth = 256;
  int maxHeight = 256;
  int frameNumber = 1;
  int inFrame = 0;
  stdDevice3DRecord* device = nullptr;
  const ColorFormat* formats[3] = {nullptr, nullptr, nullptr};
  uint8_t palette[768] = {};
  uint16_t palettes16[3][256] = {};
  // The texture cache: head = most recently used.
  stdDevice3DTexture* head = nullptr;
  stdDevice3DTexture* tail = nullptr;
  int count = 0;
  int viewport[4] = {};
  int viewportCorners[4] = {};  // left, top, right, bottom (exclusive)
};
Device3DState g_device3D;

void Unlink(stdDevice3DTexture* texture) {
  if (texture->previous) {
    texture->previous->next = texture->next;
  } else {
    g_device3D.head = texture->next;
  }
  if (texture->next) {
    texture->next->previous = texture->previous;
  } else {
    g_device3D.tail = texture->previous;
  }
  texture->next = texture->previous = nullptr;
  texture->linked = 0;
  --g_device3D.count;
  if (g_device3D.device) g_device3D.device->freeTextureMemory += texture->byteSize;
}

void LinkAtHead(stdDevice3DTexture* texture) {
  texture->previous = nullptr;
  texture->next = g_device3D.head;
  if (g_device3D.head) {
    g_device3D.head->previous = texture;
  } else {
    g_device3D.tail = texture;
  }
  g_device3D.head = texture;
  texture->linked = 1;
  ++g_device3D.count;
  if (g_device3D.device) g_device3D.device->freeTextureMemory -= texture->byteSize;
}

bool Is16Bit(const ColorFormat* format, int colorMode) {
  return format && format->colorMode == colorMode && format->bitsPerPixel == 16;
}

// The palette in the device's 16-bit texture formats: plain (RGB), and with a
// device that takes colour-keyed textures, keyed (entry 0 transparent) and
// translucent (every other entry at the level's alpha).
void ConvertPalettes(int level) {
  Device3DState& d = g_device3D;
  const ColorFormat* plain = d.formats[STDDEVICE3D_PALETTE_PLAIN];
  const ColorFormat* keyed = d.formats[STDDEVICE3D_PALETTE_KEYED];
  const ColorFormat* translucent = d.formats[STDDEVICE3D_PALETTE_TRANSLUCENT];
  if (Is16Bit(plain, 1)) {
    stdColor_PackPalette16(d.palette, d.palettes16[STDDEVICE3D_PALETTE_PLAIN], plain);
  }
  if (!d.device || !d.device->keyedTextures) return;
  if (Is16Bit(keyed, 2)) {
    stdColor_PackPalette16KeyAlpha(d.palette, d.palettes16[STDDEVICE3D_PALETTE_KEYED], keyed);
  }
  if (d.device->noTranslucentPalette == 0 && Is16Bit(translucent, 2)) {
    stdColor_PackPalette16Alpha(d.palette, d.palettes16[STDDEVICE3D_PALETTE_TRANSLUCENT],
                                translucent, level);
  }
}

}  // namespace

int stdDevice3D_Startup(void) {
  g_device3D.started = 1;
  return 1;
}

void stdDevice3D_Shutdown(void) {}

int stdDevice3D_BeginFrame(void) {
  g_device3D.inFrame = 1;
  return 1;
}

int stdDevice3D_EndFrame(void) {
  g_device3D.inFrame = 0;
  return 1;
}

int stdDevice3D_IsInFrame(void) {
  return g_device3D.inFrame;
}

int stdDevice3D_ResetBatch(void) {
  return 1;
}
int stdDevice3D_SubmitVertices(const void*, int) {
  return 1;
}
int stdDevice3D_BeginBatchDraw(void) {
  return 1;
}
int stdDevice3D_SubmitTriangles(const void*, int) {
  return 1;
}
int stdDevice3D_DrawBatch(void) {
  return 1;
}
int stdDevice3D_ClearBuffers(void) {
  return 1;
}
void stdDevice3D_FlushTextures(void) {}

int stdDevice3D_UploadTexture(stdDevice3DTexture*, const void*, int, int) {
  return 0;
}

void stdDevice3D_TouchTexture(stdDevice3DTexture* texture) {
  if (!texture) return;
  texture->frameOfLastUse = g_device3D.frameNumber;
  // A texture touched for the first time is not in the list yet: unlinking it
  // would count it out (and its bytes back in) without its ever being in.
  if (texture->linked) Unlink(texture);
  LinkAtHead(texture);
}

int stdDevice3D_SetPalette(const uint8_t* palette, int level) {
  if (!palette) return 1;
  std::memcpy(g_device3D.palette, palette, sizeof g_device3D.palette);
  ConvertPalettes(level);
  return 1;
}

void stdDevice3D_ClampTextureSize(int width, int height, int* outWidth, int* outHeight) {
  int w = width == 0 ? 1 : std::min(width, g_device3D.maxWidth);
  int h = height == 0 ? 1 : std::min(height, g_device3D.maxHeight);
  if (g_device3D.device && g_device3D.device->squareTextures && w != h) {
    // Both sides become the larger one, which must still reach the minimums.
    const int side = std::max({w, h, g_device3D.minWidth, g_device3D.minHeight});
    w = h = side;
  } else {
    w = std::max(w, g_device3D.minWidth);
    h = std::max(h, g_device3D.minHeight);
  }
  if (outWidth) *outWidth = w;
  if (outHeight) *outHeight = h;
}

void stdDevice3D_SetViewport(const int* rect) {
  if (!rect) return;
  std::memcpy(g_device3D.viewport, rect, sizeof g_device3D.viewport);
  g_device3D.viewportCorners[0] = rect[0];
  g_device3D.viewportCorners[1] = rect[1];
  g_device3D.viewportCorners[2] = rect[0] + rect[2];
  g_device3D.viewportCorners[3] = rect[1] + rect[3];
}

int stdDevice3D_FindDevice(const stdDevice3DRecord* wanted, const stdDevice3DRecord* records,
                           int count) {
  if (!wanted || !records || count <= 0) return 0;
  int best = 0;
  int bestScore = -1;
  for (int i = 0; i < count; ++i) {
    const stdDevice3DRecord& record = records[i];
    int score;
    if (wanted->match1 != 0 && wanted->match1 != record.match1) {
      score = 0;
    } else if (wanted->match2 != 0 && wanted->match2 != record.match2) {
      score = 1;
    } else {
      const bool shares = (record.capabilities & wanted->capabilities) != 0;
      if (shares && record.identity == wanted->identity) return i;
      score = shares ? 3 : 2;
    }
    if (score > bestScore) {  // the first of equally good records stays
      bestScore = score;
      best = i;
    }
  }
  return best;
}

void stdDevice3D_SetCurrentDevice(stdDevice3DRecord* device) {
  g_device3D.device = device;
}

stdDevice3DRecord* stdDevice3D_GetCurrentDevice(void) {
  return g_device3D.device;
}

void stdDevice3D_SetTextureFormats(const ColorFormat* plain, const ColorFormat* keyed,
                                   const ColorFormat* translucent) {
  g_device3D.formats[STDDEVICE3D_PALETTE_PLAIN] = plain;
  g_device3D.formats[STDDEVICE3D_PALETTE_KEYED] = keyed;
  g_device3D.formats[STDDEVICE3D_PALETTE_TRANSLUCENT] = translucent;
}

const uint8_t* stdDevice3D_GetPalette(void) {
  return g_device3D.palette;
}

const uint16_t* stdDevice3D_GetPalette16(stdDevice3DPalette which) {
  if (which < STDDEVICE3D_PALETTE_PLAIN || which > STDDEVICE3D_PALETTE_TRANSLUCENT) return nullptr;
  return g_device3D.palettes16[which];
}

stdDevice3DTexture* stdDevice3D_GetCacheHead(void) {
  return g_device3D.head;
}

int stdDevice3D_GetCacheCount(void) {
  return g_device3D.count;
}

void stdDevice3D_ResetForTest(void) {
  g_device3D = Device3DState{};
}
