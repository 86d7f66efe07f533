// The codec library's bitmap module and pixel conversion.
#include "vembra/vembra_bitmap.h"

#include <algorithm>
#include <cstring>

#include "vembra/vembra_Services.h"

namespace {

constexpr int32_t kRun = 1280;  // pixels converted at a time through RGBA
constexpr size_t kHeader = 16;  // in front of the record inside the allocation

struct TypeRow {
  int32_t type, bytes, bits, mode;
  int32_t rBits, rShift, gBits, gShift, bBits, bShift, aBits, aShift;
};

constexpr TypeRow kTypes[] = {
    {0, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0},     {1, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {2, 2, 15, 1, 5, 10, 5, 5, 5, 0, 0, 0},   {7, 2, 15, 1, 5, 0, 5, 5, 5, 10, 0, 0},
    {3, 2, 16, 1, 5, 11, 6, 5, 5, 0, 0, 0},   {8, 2, 16, 1, 5, 0, 6, 5, 5, 11, 0, 0},
    {5, 2, 16, 2, 5, 10, 5, 5, 5, 0, 1, 15},  {10, 2, 16, 2, 5, 0, 5, 5, 5, 10, 1, 15},
    {4, 3, 24, 1, 8, 16, 8, 8, 8, 0, 0, 0},   {9, 3, 24, 1, 8, 0, 8, 8, 8, 16, 0, 0},
    {6, 4, 32, 2, 8, 16, 8, 8, 8, 0, 8, 24},  {11, 4, 32, 2, 8, 0, 8, 8, 8, 16, 8, 24},
    {12, 4, 32, 2, 8, 24, 8, 16, 8, 8, 8, 0},
};

VembraMemory* g_memory = nullptr;
VembraVideoGetbm* g_getbm = nullptr;

const char kModuleKey[] = "ORNMODULE=vembra_bitmap";
const char kBitmapKey[] = "BITMAP=vembra";

uint32_t Mask(int32_t bits) {
  bits = std::clamp(bits, 0, 8);
  return (0xFF00u >> bits) & 0xFF;
}

uint32_t LoadPixel(const uint8_t* p, int32_t bytes) {
  uint32_t v = 0;
  for (int32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

void StorePixel(uint8_t* p, int32_t bytes, uint32_t v) {
  for (int32_t i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool IsDirect(const VembraBitmap* f) {
  return f->mode == 1 || f->mode == 2;
}

bool SameFormat(const VembraBitmap* a, const VembraBitmap* b) {
  if (a->bitsPerPixel != b->bitsPerPixel || a->mode != b->mode) return false;
  if (!IsDirect(a)) return true;
  return a->redShift == b->redShift && a->greenShift == b->greenShift &&
         a->blueShift == b->blueShift;
}

bool IsRGBALayout(const VembraBitmap* f) {
  return f->mode == 2 && f->bytesPerPixel == 4 && f->redShift == 0 && f->greenShift == 8 &&
         f->blueShift == 16;
}

// Bounds-safe shifts: channel words come from callers' format records.
uint32_t Shl(uint32_t v, int32_t n) {
  return (n < 0 || n > 31) ? 0 : v << n;
}
uint32_t Shr(uint32_t v, int32_t n) {
  return (n < 0 || n > 31) ? 0 : v >> n;
}

uint32_t Unpack(uint32_t pixel, int32_t bits, int32_t shift, int32_t loss) {
  return Mask(bits) & Shl(Shr(pixel, shift), loss);
}

uint32_t Pack(uint8_t byte, int32_t bits, int32_t shift, int32_t loss) {
  return Shr(Shl(byte & Mask(bits), shift), loss);
}

VembraBitmap* Allocate(int32_t width, int32_t height, int32_t bytes, size_t paletteBytes) {
  if (!g_memory || width < 0 || height < 0) return nullptr;
  size_t pixelBytes = size_t(width) * size_t(height) * size_t(bytes);
  auto* block = static_cast<uint8_t*>(
      VEMBRA_ALLOC(g_memory, kHeader + sizeof(VembraBitmap) + pixelBytes + paletteBytes));
  if (!block) return nullptr;
  auto* b = reinterpret_cast<VembraBitmap*>(block + kHeader);
  *b = VembraBitmap{};
  b->pixels = block + kHeader + sizeof(VembraBitmap);
  b->width = width;
  b->height = height;
  b->bytesPerPixel = bytes;
  b->pitch = width * bytes;
  if (paletteBytes) {
    b->palette = static_cast<uint8_t*>(b->pixels) + pixelBytes;
    memset(b->palette, 0, paletteBytes);
  }
  return b;
}

int Create(VembraBitmap** out, int32_t width, int32_t height, int32_t type) {
  if (!out) return -1;
  *out = nullptr;
  const TypeRow* row = nullptr;
  for (const TypeRow& r : kTypes)
    if (r.type == type) row = &r;
  const VembraBitmap* display = nullptr;
  if (type == -1) {
    display = g_getbm && g_getbm->GetBitmap ? g_getbm->GetBitmap() : nullptr;
    if (!display || display->bytesPerPixel < 1 || display->bytesPerPixel > 4) return -1;
  } else if (!row) {
    return -1;
  }
  int32_t bytes = display ? display->bytesPerPixel : row->bytes;
  VembraBitmap* b = Allocate(width, height, bytes, type == 1 ? 1024 : 0);
  if (!b) return -101;
  if (display) {
    void* pixels = b->pixels;
    int32_t pitch = b->pitch;
    *b = *display;
    b->pixels = pixels;
    b->width = width;
    b->height = height;
    b->pitch = pitch;
    b->reserved6 = b->reserved7 = 0;
    if (b->mode == 0) b->palette = nullptr;
  } else {
    b->bitsPerPixel = row->bits;
    b->mode = row->mode;
    if (type == 1) b->paletteCount = 256;
    if (row->mode != 0) {
      b->redBits = row->rBits;
      b->greenBits = row->gBits;
      b->blueBits = row->bBits;
      b->redShift = row->rShift;
      b->greenShift = row->gShift;
      b->blueShift = row->bShift;
      b->redLoss = 8 - row->rBits;
      b->greenLoss = 8 - row->gBits;
      b->blueLoss = 8 - row->bBits;
      if (row->mode == 2) {
        b->alphaBits = row->aBits;
        b->alphaShift = row->aShift;
        b->alphaLoss = 8 - row->aBits;
      }
    }
  }
  *out = b;
  return 0;
}

int CreateWithFormat(VembraBitmap** out, int32_t width, int32_t height, int32_t mode,
                     int32_t bytesPerPixel, int32_t bitsPerPixel, const int32_t* format) {
  if (!out) return -1;
  *out = nullptr;
  if (bytesPerPixel < 1 || bytesPerPixel > 4) return -1;
  int32_t count = 0;
  if (mode == 0 && format) count = std::clamp(format[1], 0, 256);
  VembraBitmap* b = Allocate(width, height, bytesPerPixel, size_t(count) * 4);
  if (!b) return -101;
  b->mode = mode;
  b->bitsPerPixel = bitsPerPixel;
  if (mode == 0) {
    b->paletteCount = count;
  } else if (format && mode <= 7) {
    int words = (mode == 2 || mode == 4 || mode == 6) ? 12 : mode == 7 ? 3 : 9;
    int32_t* fields[12] = {&b->redBits,    &b->greenBits, &b->blueBits,   &b->redShift,
                           &b->greenShift, &b->blueShift, &b->redLoss,    &b->greenLoss,
                           &b->blueLoss,   &b->alphaBits, &b->alphaShift, &b->alphaLoss};
    for (int i = 0; i < words; ++i) *fields[i] = format[i];
  }
  *out = b;
  return 0;
}

void Free(VembraBitmap** bitmap) {
  if (!bitmap || !*bitmap) return;
  if (g_memory) VEMBRA_FREE(g_memory, reinterpret_cast<uint8_t*>(*bitmap) - kHeader);
  *bitmap = nullptr;
}

VembraBitmapTable g_table = {Create, CreateWithFormat, Free};

int Startup(void) {
  g_memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  if (!g_memory) {
    OrnShare_GetErrorPrinter()("Video Module: Cannot allocate memory services.");
    return -1;
  }
  g_getbm = static_cast<VembraVideoGetbm*>(OrnShare_Subscribe("VIDEO.getbm", nullptr));
  return 0;
}

void Shutdown(void) {
  if (g_memory) OrnShare_Unsubscribe(g_memory);
  if (g_getbm) OrnShare_Unsubscribe(g_getbm);
  g_memory = nullptr;
  g_getbm = nullptr;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kBitmapKey);
}

OrnModuleTable g_module = {vembra_bitmap_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_bitmap_Register(OrnShareServices* services, const char*) {
  services->Publish(kModuleKey, &g_module);
  services->Publish(kBitmapKey, &g_table);
  return 0;
}

VembraBitmapTable* vembra_bitmap_Table(void) {
  return &g_table;
}

int VembraPixel_ToRGBA(const void* pixels, const VembraBitmap* f, int32_t count,
                       const uint8_t* fallbackPalette, uint8_t* out) {
  if (!pixels || !f || !out || count < 0) return -1;
  const auto* p = static_cast<const uint8_t*>(pixels);
  if (f->mode == 0) {
    const uint8_t* palette = f->palette ? f->palette : fallbackPalette;
    if (!palette) return -1;
    for (int32_t i = 0; i < count; ++i) memcpy(out + 4 * i, palette + 4 * p[i], 4);
    return 0;
  }
  const int32_t bytes = f->bytesPerPixel;
  if (!IsDirect(f) || bytes < 2 || bytes > 4) return -1;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t v = LoadPixel(p + i * bytes, bytes);
    uint8_t* o = out + 4 * i;
    o[0] = uint8_t(Unpack(v, f->redBits, f->redShift, f->redLoss));
    o[1] = uint8_t(Unpack(v, f->greenBits, f->greenShift, f->greenLoss));
    o[2] = uint8_t(Unpack(v, f->blueBits, f->blueShift, f->blueLoss));
    o[3] = f->mode == 1 ? 255 : uint8_t(Unpack(v, f->alphaBits, f->alphaShift, f->alphaLoss));
  }
  return 0;
}

int VembraPixel_FromRGBA(void* out, const VembraBitmap* f, int32_t count, const uint8_t*,
                         const uint8_t* rgba) {
  if (!out || !f || !rgba || count < 0) return -1;
  const int32_t bytes = f->bytesPerPixel;
  if (!IsDirect(f) || bytes < 1 || bytes > 4) return -1;
  auto* o = static_cast<uint8_t*>(out);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* c = rgba + 4 * i;
    uint32_t v = Pack(c[0], f->redBits, f->redShift, f->redLoss) |
                 Pack(c[1], f->greenBits, f->greenShift, f->greenLoss) |
                 Pack(c[2], f->blueBits, f->blueShift, f->blueLoss);
    if (f->mode == 2) v |= Pack(c[3], f->alphaBits, f->alphaShift, f->alphaLoss);
    StorePixel(o + i * bytes, bytes, v);
  }
  return 0;
}

int VembraPixel_PaletteToFormat(const VembraBitmap* indexed, const VembraBitmap* target,
                                uint32_t* table, const uint8_t* fallbackPalette) {
  if (!indexed || !target || !table || indexed->mode != 0 || indexed->bitsPerPixel != 8 ||
      !IsDirect(target))
    return -1;
  uint8_t index[256];
  for (int i = 0; i < 256; ++i) index[i] = uint8_t(i);
  uint8_t rgba[1024];
  if (VembraPixel_ToRGBA(index, indexed, 256, fallbackPalette, rgba) != 0) return -1;
  VembraBitmap as32 = *target;
  as32.bytesPerPixel = 4;
  return VembraPixel_FromRGBA(table, &as32, 256, nullptr, rgba);
}

int VembraPixel_Convert(const void* source, const VembraBitmap* sf, int32_t count,
                        const uint8_t* fallbackPalette, void* target, const VembraBitmap* tf,
                        const uint32_t* remap) {
  if (!source || !sf || !target || !tf || count < 0) return -1;
  const int32_t tb = tf->bytesPerPixel;
  if (tb < 1 || tb > 4 || sf->bytesPerPixel < 1 || sf->bytesPerPixel > 4) return -1;
  const auto* s = static_cast<const uint8_t*>(source);
  auto* t = static_cast<uint8_t*>(target);
  if (SameFormat(sf, tf)) {
    memmove(t, s, size_t(count) * size_t(tb));
    return 0;
  }
  if (remap) {
    if (sf->mode == 0 && sf->bytesPerPixel == 1) {
      for (int32_t i = 0; i < count; ++i) StorePixel(t + i * tb, tb, remap[s[i]]);
      return 0;
    }
    if (sf->bytesPerPixel == 2 && IsDirect(tf)) {
      for (int32_t i = 0; i < count; ++i)
        StorePixel(t + i * tb, tb, remap[LoadPixel(s + 2 * i, 2)]);
      return 0;
    }
  }
  // Through RGBA, a run at a time; the scratch area lives on the stack.
  uint8_t scratch[kRun * 4];
  const int32_t sb = sf->bytesPerPixel;
  for (int32_t done = 0; done < count; done += kRun) {
    int32_t n = std::min(kRun, count - done);
    const uint8_t* from = s + size_t(done) * sb;
    uint8_t* to = t + size_t(done) * tb;
    if (IsRGBALayout(sf)) {
      if (VembraPixel_FromRGBA(to, tf, n, nullptr, from) != 0) return -1;
    } else if (IsRGBALayout(tf)) {
      if (VembraPixel_ToRGBA(from, sf, n, fallbackPalette, to) != 0) return -1;
    } else {
      if (VembraPixel_ToRGBA(from, sf, n, fallbackPalette, scratch) != 0) return -1;
      if (VembraPixel_FromRGBA(to, tf, n, nullptr, scratch) != 0) return -1;
    }
  }
  return 0;
}

void VembraPixel_Fill(void* pixels, const VembraBitmap* f, int32_t count, uint32_t value) {
  if (!pixels || !f || count <= 0) return;
  const int32_t bytes = f->bytesPerPixel;
  if (bytes < 1 || bytes > 4) return;
  uint8_t b[4];
  StorePixel(b, 4, value);
  auto* p = static_cast<uint8_t*>(pixels);
  if (std::all_of(b, b + bytes, [&](uint8_t x) { return x == b[0]; })) {
    memset(p, b[0], size_t(count) * size_t(bytes));
    return;
  }
  for (int32_t i = 0; i < count; ++i) memcpy(p + i * bytes, b, size_t(bytes));
}

void VembraPixel_Clear(VembraBitmap* bitmap, uint32_t colour) {
  if (!bitmap || !bitmap->pixels || bitmap->pitch <= 0 || bitmap->height <= 0) return;
  auto* rows = static_cast<uint8_t*>(bitmap->pixels);
  if (bitmap->mode == 0) {
    memset(rows, int(colour & 0xFF), size_t(bitmap->pitch) * size_t(bitmap->height));
    return;
  }
  uint8_t rgba[4];
  StorePixel(rgba, 4, colour);
  uint8_t packed[4] = {};
  if (VembraPixel_FromRGBA(packed, bitmap, 1, nullptr, rgba) != 0) return;
  uint32_t value = LoadPixel(packed, 4);
  for (int32_t y = 0; y < bitmap->height; ++y)
    VembraPixel_Fill(rows + size_t(y) * bitmap->pitch, bitmap, bitmap->width, value);
}

namespace {

// The part of a source placed at (x, y) that lies inside the clip rectangle
// (the whole target without one) and the target: w x h pixels from (sx, sy)
// of the source to (tx, ty) of the target. False when nothing is left.
struct BlitArea {
  int32_t sx, sy, tx, ty, w, h;
};
bool ClipBlit(const VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
              const VembraBitmap* source, BlitArea* area) {
  if (!target || !source || !target->pixels || !source->pixels) return false;
  VembraRect c = clip ? *clip : VembraRect{0, 0, target->width, target->height};
  // Never outside the target, whatever the clip says.
  c.left = std::max(c.left, 0);
  c.top = std::max(c.top, 0);
  c.right = std::min(c.right, target->width);
  c.bottom = std::min(c.bottom, target->height);
  int64_t left = std::max<int64_t>(x, c.left), top = std::max<int64_t>(y, c.top);
  int64_t right = std::min<int64_t>(int64_t(x) + source->width, c.right);
  int64_t bottom = std::min<int64_t>(int64_t(y) + source->height, c.bottom);
  if (right <= left || bottom <= top) return false;
  *area = {int32_t(left - x), int32_t(top - y), int32_t(left), int32_t(top),
           int32_t(right - left), int32_t(bottom - top)};
  return true;
}

}  // namespace

void VembraPixel_Blit(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                      const VembraBitmap* source, const uint8_t* fallbackPalette,
                      const uint32_t* remap) {
  BlitArea a;
  if (!ClipBlit(target, clip, x, y, source, &a)) return;
  const int32_t sb = source->bytesPerPixel, tb = target->bytesPerPixel;
  const auto* s = static_cast<const uint8_t*>(source->pixels);
  auto* t = static_cast<uint8_t*>(target->pixels);
  uint32_t table[256];
  const uint32_t* map = remap;
  bool same = SameFormat(source, target);
  if (!same && !remap && source->mode == 0 && source->bitsPerPixel == 8 &&
      VembraPixel_PaletteToFormat(source, target, table, fallbackPalette) == 0)
    map = table;
  for (int32_t row = 0; row < a.h; ++row) {
    const uint8_t* from = s + size_t(a.sy + row) * source->pitch + size_t(a.sx) * sb;
    uint8_t* to = t + size_t(a.ty + row) * target->pitch + size_t(a.tx) * tb;
    if (same)
      memmove(to, from, size_t(a.w) * tb);
    else if (VembraPixel_Convert(from, source, a.w, fallbackPalette, to, target, map) != 0)
      return;
  }
}

void VembraPixel_BlitRemap16(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                             const VembraBitmap* source, const uint16_t* remap) {
  if (!remap || !source || !target || source->bytesPerPixel != 2 || target->bytesPerPixel != 2) {
    VembraPixel_Blit(target, clip, x, y, source, nullptr, nullptr);
    return;
  }
  BlitArea a;
  if (!ClipBlit(target, clip, x, y, source, &a)) return;
  const auto* s = static_cast<const uint8_t*>(source->pixels);
  auto* t = static_cast<uint8_t*>(target->pixels);
  for (int32_t row = 0; row < a.h; ++row) {
    const auto* from =
        reinterpret_cast<const uint16_t*>(s + size_t(a.sy + row) * source->pitch) + a.sx;
    auto* to = reinterpret_cast<uint16_t*>(t + size_t(a.ty + row) * target->pitch) + a.tx;
    for (int32_t i = 0; i < a.w; ++i) to[i] = remap[from[i]];
  }
}
