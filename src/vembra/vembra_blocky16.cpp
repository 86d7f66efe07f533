// The Blocky16 video decoder.
#include "vembra/vembra_blocky16.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vembra/vembra_Services.h"
#include "vembra/vembra_animplay.h"

namespace {

struct Vector2 {
  int8_t dx, dy;
};

// Motion vectors of opcodes 0..244: (dx, dy) in pixels.
constexpr Vector2 kMotion[kBl16MotionVectors] = {
    {0, 0}, {-1, -43}, {6, -43}, {-9, -42}, {13, -41}, {-16, -40},
    {19, -39}, {-23, -36}, {26, -34}, {-2, -33}, {4, -33}, {-29, -32},
    {-9, -32}, {11, -31}, {-16, -29}, {32, -29}, {18, -28}, {-34, -26},
    {-22, -25}, {-1, -25}, {3, -25}, {-7, -24}, {8, -24}, {24, -23},
    {36, -23}, {-12, -22}, {13, -21}, {-38, -20}, {0, -20}, {-27, -19},
    {-4, -19}, {4, -19}, {-17, -18}, {-8, -17}, {8, -17}, {18, -17},
    {28, -17}, {39, -17}, {-12, -15}, {12, -15}, {-21, -14}, {-1, -14},
    {1, -14}, {-41, -13}, {-5, -13}, {5, -13}, {21, -13}, {-31, -12},
    {-15, -11}, {-8, -11}, {8, -11}, {15, -11}, {-2, -10}, {1, -10},
    {31, -10}, {-23, -9}, {-11, -9}, {-5, -9}, {4, -9}, {11, -9},
    {42, -9}, {6, -8}, {24, -8}, {-18, -7}, {-7, -7}, {-3, -7},
    {-1, -7}, {2, -7}, {18, -7}, {-43, -6}, {-13, -6}, {-4, -6},
    {4, -6}, {8, -6}, {-33, -5}, {-9, -5}, {-2, -5}, {0, -5},
    {2, -5}, {5, -5}, {13, -5}, {-25, -4}, {-6, -4}, {-3, -4},
    {3, -4}, {9, -4}, {-19, -3}, {-7, -3}, {-4, -3}, {-2, -3},
    {-1, -3}, {0, -3}, {1, -3}, {2, -3}, {4, -3}, {6, -3},
    {33, -3}, {-14, -2}, {-10, -2}, {-5, -2}, {-3, -2}, {-2, -2},
    {-1, -2}, {0, -2}, {1, -2}, {2, -2}, {3, -2}, {5, -2},
    {7, -2}, {14, -2}, {19, -2}, {25, -2}, {43, -2}, {-7, -1},
    {-3, -1}, {-2, -1}, {-1, -1}, {0, -1}, {1, -1}, {2, -1},
    {3, -1}, {10, -1}, {-5, 0}, {-3, 0}, {-2, 0}, {-1, 0},
    {1, 0}, {2, 0}, {3, 0}, {5, 0}, {7, 0}, {-10, 1},
    {-7, 1}, {-3, 1}, {-2, 1}, {-1, 1}, {0, 1}, {1, 1},
    {2, 1}, {3, 1}, {-43, 2}, {-25, 2}, {-19, 2}, {-14, 2},
    {-5, 2}, {-3, 2}, {-2, 2}, {-1, 2}, {0, 2}, {1, 2},
    {2, 2}, {3, 2}, {5, 2}, {7, 2}, {10, 2}, {14, 2},
    {-33, 3}, {-6, 3}, {-4, 3}, {-2, 3}, {-1, 3}, {0, 3},
    {1, 3}, {2, 3}, {4, 3}, {19, 3}, {-9, 4}, {-3, 4},
    {3, 4}, {7, 4}, {25, 4}, {-13, 5}, {-5, 5}, {-2, 5},
    {0, 5}, {2, 5}, {5, 5}, {9, 5}, {33, 5}, {-8, 6},
    {-4, 6}, {4, 6}, {13, 6}, {43, 6}, {-18, 7}, {-2, 7},
    {0, 7}, {2, 7}, {7, 7}, {18, 7}, {-24, 8}, {-6, 8},
    {-42, 9}, {-11, 9}, {-4, 9}, {5, 9}, {11, 9}, {23, 9},
    {-31, 10}, {-1, 10}, {2, 10}, {-15, 11}, {-8, 11}, {8, 11},
    {15, 11}, {31, 12}, {-21, 13}, {-5, 13}, {5, 13}, {41, 13},
    {-1, 14}, {1, 14}, {21, 14}, {-12, 15}, {12, 15}, {-39, 17},
    {-28, 17}, {-18, 17}, {-8, 17}, {8, 17}, {17, 18}, {-4, 19},
    {0, 19}, {4, 19}, {27, 19}, {38, 20}, {-13, 21}, {12, 22},
    {-36, 23}, {-24, 23}, {-8, 24}, {7, 24}, {-3, 25}, {1, 25},
    {22, 25}, {34, 26}, {-18, 28}, {-32, 29}, {16, 29}, {-11, 31},
    {9, 32}, {29, 32}, {-4, 33}, {2, 33}, {-26, 34},
};

// The 16 edge points of the pattern tables.
constexpr int8_t kEdge4X[16] = {0, 1, 2, 3, 3, 3, 3, 2, 1, 0, 0, 0, 1, 2, 2, 1};
constexpr int8_t kEdge4Y[16] = {0, 0, 0, 0, 1, 2, 3, 3, 3, 3, 2, 1, 1, 1, 2, 2};
constexpr int8_t kEdge8X[16] = {0, 2, 5, 7, 7, 7, 7, 7, 7, 5, 2, 0, 0, 0, 0, 0};
constexpr int8_t kEdge8Y[16] = {0, 0, 0, 0, 1, 3, 4, 6, 7, 7, 7, 7, 6, 4, 3, 1};

enum Run : uint8_t { kUp, kDown, kLeft, kRight, kNone };
// The run each line point marks, by the edge classes of the two end points.
constexpr Run kRuns[5][5] = {{kUp, kRight, kUp, kUp, kUp},
                             {kRight, kDown, kDown, kDown, kDown},
                             {kUp, kDown, kLeft, kUp, kLeft},
                             {kUp, kDown, kUp, kRight, kRight},
                             {kUp, kDown, kLeft, kRight, kNone}};

int EdgeClass(int x, int y, int n) {
  if (y == 0) return 0;
  if (y == n - 1) return 1;
  if (x == 0) return 2;
  if (x == n - 1) return 3;
  return 4;
}

// List A of pattern 16 x i + j: the line from point i to point j, each line
// point with its run toward the block's edge.
uint64_t MakePattern(int n, int p) {
  const int8_t* ex = n == 4 ? kEdge4X : kEdge8X;
  const int8_t* ey = n == 4 ? kEdge4Y : kEdge8Y;
  const int xp = ex[p >> 4], yp = ey[p >> 4], xq = ex[p & 15], yq = ey[p & 15];
  const Run run = kRuns[EdgeClass(xp, yp, n)][EdgeClass(xq, yq, n)];
  const int s = std::max(std::abs(xp - xq), std::abs(yp - yq));
  uint64_t mask = 0;
  const auto mark = [&](int x, int y) { mask |= uint64_t(1) << (y * n + x); };
  for (int k = 0; k <= s; ++k) {
    const int x = s == 0 ? xp : (xq * (s - k) + xp * k + s / 2) / s;
    const int y = s == 0 ? yp : (yq * (s - k) + yp * k + s / 2) / s;
    switch (run) {
      case kUp:
        for (int r = 0; r <= y; ++r) mark(x, r);
        break;
      case kDown:
        for (int r = y; r < n; ++r) mark(x, r);
        break;
      case kLeft:
        for (int c = 0; c <= x; ++c) mark(c, y);
        break;
      case kRight:
        for (int c = x; c < n; ++c) mark(c, y);
        break;
      case kNone:
        mark(x, y);
        break;
    }
  }
  return mask;
}

struct PatternTables {
  std::array<uint16_t, 256> four;
  std::array<uint64_t, 256> eight;
  PatternTables() {
    for (int p = 0; p < 256; ++p) {
      four[size_t(p)] = uint16_t(MakePattern(4, p));
      eight[size_t(p)] = MakePattern(8, p);
    }
  }
};

const PatternTables& Patterns() {
  static const PatternTables tables;
  return tables;
}

uint16_t LE16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
int32_t LE16s(const uint8_t* p) {
  return int16_t(LE16(p));
}
uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct DecoderState {
  VembraBitmapTable* bitmap = nullptr;
  VembraMemory* memory = nullptr;
  std::array<VembraBitmap*, 3> buffers{};
  int current = 0, reference2 = 1, reference1 = 2;
  VembraBitmap* output = nullptr;  // the buffer that holds the last picture
  int32_t lastSequence = -1;
  int32_t pixels = 0;  // of one buffer
  int32_t type = 0;
  std::array<int32_t, kBl16MotionVectors> motion{};
  int32_t motionWidth = -1;
  uint16_t* remap = nullptr;  // 65536 entries
  bool remapBuilt = false;
  int32_t remapShifts[3] = {-1, -1, -1};
  Bl16OutputHook hook = nullptr;
  std::vector<uint8_t> half;  // the source of a half-resolution picture
};

DecoderState g_dec;

const char kModuleKey[] = "ORNMODULE=vembra_blocky16_flobdec";
const char kDecoderKey[] = "FLOBDEC=vembra_blocky16";

// Reads the coded data of one method-2 frame into the current buffer.
struct BlockCursor {
  const uint8_t* data;
  const uint8_t* end;
  uint16_t* current;
  const uint16_t* reference2;
  const uint16_t* reference1;
  int32_t width;
  int32_t pixels;
  const int32_t* motion;
  uint16_t table[256];
  uint16_t cache[4];

  bool Byte(uint8_t* out) {
    if (data >= end) return false;
    *out = *data++;
    return true;
  }
  bool Word(uint16_t* out) {
    if (end - data < 2) return false;
    *out = LE16(data);
    data += 2;
    return true;
  }
};

// Whole blocks of a size known at compile time: the common case, which the
// compiler turns into a few wide moves a row.
template <int N>
void FillRows(uint16_t* d, int32_t width, uint16_t colour) {
  for (int r = 0; r < N; ++r, d += width)
    for (int x = 0; x < N; ++x) d[x] = colour;
}
template <int N>
void CopyRows(uint16_t* d, const uint16_t* s, int32_t width) {
  for (int r = 0; r < N; ++r, d += width, s += width) memcpy(d, s, N * sizeof *d);
}

// Fills n rows of `cols` pixels (cols <= n: a block cut at the right edge).
void Fill(BlockCursor& c, int32_t o, int n, int cols, uint16_t colour) {
  uint16_t* d = c.current + o;
  if (cols == n) {
    switch (n) {
      case 8:
        return FillRows<8>(d, c.width, colour);
      case 4:
        return FillRows<4>(d, c.width, colour);
      case 2:
        return FillRows<2>(d, c.width, colour);
    }
  }
  for (int r = 0; r < n; ++r, d += c.width)
    for (int x = 0; x < cols; ++x) d[x] = colour;
}

// Copies a block from a reference picture at a pixel offset; a source block
// outside the picture is not copied.
void Copy(BlockCursor& c, int32_t o, int n, int cols, const uint16_t* reference, int32_t offset) {
  if (cols <= 0) return;
  const int64_t first = int64_t(o) + offset;
  const int64_t last = first + int64_t(n - 1) * c.width + cols - 1;
  if (first < 0 || last >= c.pixels) return;
  // The three buffers are distinct: the source never overlaps the block.
  uint16_t* d = c.current + o;
  const uint16_t* s = reference + first;
  if (cols == n) {
    switch (n) {
      case 8:
        return CopyRows<8>(d, s, c.width);
      case 4:
        return CopyRows<4>(d, s, c.width);
      case 2:
        return CopyRows<2>(d, s, c.width);
    }
  }
  for (int r = 0; r < n; ++r, d += c.width, s += c.width) memcpy(d, s, size_t(cols) * 2);
}

void Paint(BlockCursor& c, int32_t o, int n, int cols, uint64_t mask, uint16_t a, uint16_t b) {
  uint16_t* d = c.current + o;
  for (int r = 0; r < n; ++r, d += c.width)
    for (int x = 0; x < cols; ++x) d[x] = (mask >> (r * n + x)) & 1 ? a : b;
}

// Four pixels of a 2x2 block: top-left, top-right, bottom-left, bottom-right.
void Put2x2(BlockCursor& c, int32_t o, int cols, const uint16_t* p) {
  if (cols <= 0) return;
  c.current[o] = p[0];
  c.current[o + c.width] = p[2];
  if (cols > 1) {
    c.current[o + 1] = p[1];
    c.current[o + c.width + 1] = p[3];
  }
}

// One n x n block (8, 4 or 2) at offset o whose first column is x. False when
// the data ran out: the rest of the frame is not decoded.
bool Block(BlockCursor& c, int32_t o, int32_t x, int n) {
  const int cols = std::min(n, c.width - x);
  uint8_t op;
  if (!c.Byte(&op)) return false;
  if (op < kBl16MotionVectors) {
    Copy(c, o, n, cols, c.reference2, c.motion[op]);
    return true;
  }
  switch (op) {
    case 245: {
      uint16_t offset;
      if (!c.Word(&offset)) return false;
      Copy(c, o, n, cols, c.reference2, int16_t(offset));
      return true;
    }
    case 246:
      Copy(c, o, n, cols, c.reference1, 0);
      return true;
    case 247:
    case 248: {
      if (n == 2) {
        uint16_t p[4];
        for (uint16_t& v : p) {
          if (op == 247) {
            uint8_t index;
            if (!c.Byte(&index)) return false;
            v = c.table[index];
          } else if (!c.Word(&v)) {
            return false;
          }
        }
        Put2x2(c, o, cols, p);
        return true;
      }
      uint8_t pattern;
      uint16_t a, b;
      if (!c.Byte(&pattern)) return false;
      if (op == 247) {
        uint8_t ia, ib;
        if (!c.Byte(&ia) || !c.Byte(&ib)) return false;
        a = c.table[ia];
        b = c.table[ib];
      } else if (!c.Word(&a) || !c.Word(&b)) {
        return false;
      }
      const uint64_t mask = n == 8 ? Patterns().eight[pattern] : Patterns().four[pattern];
      Paint(c, o, n, cols, mask, a, b);
      return true;
    }
    case 249:
    case 250:
    case 251:
    case 252:
      Fill(c, o, n, cols, c.cache[op - 249]);
      return true;
    case 253: {
      uint8_t index;
      if (!c.Byte(&index)) return false;
      Fill(c, o, n, cols, c.table[index]);
      return true;
    }
    case 254: {
      uint16_t colour;
      if (!c.Word(&colour)) return false;
      Fill(c, o, n, cols, colour);
      return true;
    }
    default: {  // 255
      if (n == 2) {
        uint16_t p[4];
        for (uint16_t& v : p)
          if (!c.Word(&v)) return false;
        Put2x2(c, o, cols, p);
        return true;
      }
      const int h = n / 2;
      const int32_t down = h * c.width;
      return Block(c, o, x, h) && Block(c, o + h, x + h, h) && Block(c, o + down, x, h) &&
             Block(c, o + down + h, x + h, h);
    }
  }
}

void BuildMotion(int32_t width) {
  if (g_dec.motionWidth == width) return;
  // In 32 bits: 16-bit offsets would wrap for widths above 762.
  for (int v = 0; v < kBl16MotionVectors; ++v)
    g_dec.motion[size_t(v)] = int32_t(kMotion[v].dy) * width + kMotion[v].dx;
  g_dec.motionWidth = width;
}

void DecodeBlocks(const uint8_t* payload, int32_t size, int32_t w, int32_t rows) {
  BlockCursor c;
  c.data = payload + kBl16HeaderBytes;
  c.end = payload + size;
  c.current = static_cast<uint16_t*>(g_dec.buffers[size_t(g_dec.current)]->pixels);
  c.reference2 = static_cast<const uint16_t*>(g_dec.buffers[size_t(g_dec.reference2)]->pixels);
  c.reference1 = static_cast<const uint16_t*>(g_dec.buffers[size_t(g_dec.reference1)]->pixels);
  c.width = w;
  c.pixels = g_dec.pixels;
  BuildMotion(w);
  c.motion = g_dec.motion.data();
  for (int i = 0; i < 256; ++i) c.table[i] = LE16(payload + 40 + 2 * i);
  for (int i = 0; i < 4; ++i) c.cache[i] = LE16(payload + 24 + 2 * i);
  for (int32_t y = 0; y < rows; y += 8)
    for (int32_t x = 0; x < w; x += 8)
      if (!Block(c, y * w + x, x, 8)) return;
}

// Run-length code: a control byte c gives c / 2 + 1 bytes, the next byte
// repeated when c is odd, literals when even. Produces at most `count` bytes.
void RunLength(const uint8_t* data, const uint8_t* end, uint8_t* out, int32_t count) {
  int32_t done = 0;
  while (done < count && data < end) {
    const uint8_t control = *data++;
    int32_t n = std::min(control / 2 + 1, count - done);
    if (control & 1) {
      if (data >= end) return;
      memset(out + done, *data++, size_t(n));
    } else {
      n = int32_t(std::min<int64_t>(n, end - data));
      memcpy(out + done, data, size_t(n));
      data += n;
    }
    done += n;
  }
}

// A half-resolution picture of (w / 2) x (h / 2) pixels doubled to w x h:
// odd rows take each pixel twice with averages between, even rows average
// their neighbours, row 0 copies row 1.
void Double(const uint16_t* source, uint16_t* out, int32_t w, int32_t h) {
  const int32_t hw = w / 2, hh = h / 2;
  for (int32_t r = 0; r < hh && 2 * r + 1 < h; ++r) {
    const uint16_t* s = source + size_t(r) * hw;
    uint16_t* d = out + size_t(2 * r + 1) * w;
    for (int32_t k = 0; k < hw; ++k) {
      if (2 * k + 1 < w) d[2 * k + 1] = s[k];
      d[2 * k] = k == 0 ? s[0] : Blocky16_Average(s[k - 1], s[k]);
    }
  }
  if (h > 1) memcpy(out, out + w, size_t(w) * 2);
  for (int32_t r = 2; r + 1 < h && r / 2 < hh; r += 2) {
    const uint16_t* above = out + size_t(r - 1) * w;
    const uint16_t* below = out + size_t(r + 1) * w;
    uint16_t* d = out + size_t(r) * w;
    for (int32_t x = 0; x < w; ++x) d[x] = Blocky16_Average(above[x], below[x]);
  }
}

void FreeBuffers(void) {
  for (VembraBitmap*& b : g_dec.buffers)
    if (b && g_dec.bitmap) g_dec.bitmap->Free(&b);
  g_dec.buffers = {};
  if (g_dec.remap && g_dec.memory) VEMBRA_FREE(g_dec.memory, g_dec.remap);
  g_dec.remap = nullptr;
  g_dec.remapBuilt = false;
  g_dec.output = nullptr;
  g_dec.pixels = 0;
}

int32_t RoundedHeight(int32_t h) {
  return (h + 7) & ~7;
}

bool HaveBuffers(int32_t w, int32_t h, int32_t type) {
  const VembraBitmap* b = g_dec.buffers[0];
  return b && b->width == w && b->height == RoundedHeight(h) && g_dec.type == type;
}

// Three cleared buffers of w x (h rounded up to 8) pixels of a 2-byte type,
// and the remap table. 0 or a negative code.
int CreateBuffers(int32_t w, int32_t h, int32_t type) {
  FreeBuffers();
  if (!g_dec.bitmap || !g_dec.memory || w < 1 || h < 1 || w > kBl16MaxSize || h > kBl16MaxSize)
    return -1;
  Patterns();
  const int32_t rows = RoundedHeight(h);
  for (VembraBitmap*& b : g_dec.buffers) {
    const int result = g_dec.bitmap->Create(&b, w, rows, type);
    if (result != 0 || b->bytesPerPixel != 2) {
      FreeBuffers();
      return result != 0 ? result : -1;
    }
    memset(b->pixels, 0, size_t(b->pitch) * size_t(rows));
  }
  g_dec.remap = static_cast<uint16_t*>(VEMBRA_ALLOC(g_dec.memory, 65536 * sizeof(uint16_t)));
  if (!g_dec.remap) {
    FreeBuffers();
    return -1;
  }
  g_dec.current = 0;
  g_dec.reference2 = 1;
  g_dec.reference1 = 2;
  g_dec.type = type;
  g_dec.pixels = w * rows;
  return 0;
}

bool SameShifts(const VembraBitmap* a, const int32_t* shifts) {
  return a->redShift == shifts[0] && a->greenShift == shifts[1] && a->blueShift == shifts[2];
}

// The remap table for a 16-bit direct-colour target of another layout; null
// when the target needs none.
const uint16_t* RemapFor(const VembraBitmap* target) {
  if (!target || target->bytesPerPixel != 2 || (target->mode != 1 && target->mode != 2))
    return nullptr;
  const VembraBitmap* source = g_dec.buffers[0];
  const int32_t shifts[3] = {target->redShift, target->greenShift, target->blueShift};
  if (SameShifts(source, shifts)) return nullptr;
  if (!g_dec.remapBuilt || !SameShifts(target, g_dec.remapShifts)) {
    for (int i = 0; i < 65536; ++i) g_dec.remap[i] = uint16_t(i);
    if (VembraPixel_Convert(g_dec.remap, source, 65536, nullptr, g_dec.remap, target, nullptr) !=
        0) {
      g_dec.remapBuilt = false;
      return nullptr;
    }
    std::copy(shifts, shifts + 3, g_dec.remapShifts);
    g_dec.remapBuilt = true;
  }
  return g_dec.remap;
}

const char* Describe(int kind) {
  switch (kind) {
    case 0:
      return "Blocky16-Tile";
    case 1:
      return "Decompresses a block16-tile video frame.";
    case 2:
      return "Decompresses 16-bit video frames coded in 8x8 tiles: motion copies from the two "
             "previous pictures, fills, two-colour edge patterns and subdivision, with raw, "
             "half-resolution, indexed and run-length coded frames besides.";
    default:
      return "";
  }
}

uint32_t GetTag(void) {
  return VembraTag("Bl16");
}

uint32_t GetFlags(void) {
  return 0;
}

void Reset(void) {
  FreeBuffers();
  g_dec.lastSequence = -1;
}

void Preparse(const uint8_t* payload, int32_t size) {
  if (!payload || size < 8) return;
  const int32_t w = LE16s(payload + 2), h = LE16s(payload + 4);
  const int32_t type = LE16s(payload + 6) == 0 ? 8 : LE16s(payload + 6);
  if (!HaveBuffers(w, h, type)) CreateBuffers(w, h, type);
}

uint32_t Decode(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                uint8_t* palette, const uint8_t* payload, int32_t size, uint32_t flags, int32_t,
                int32_t) {
  if (!payload || size < kBl16HeaderBytes) return 0;
  const int32_t w = LE16s(payload + 8), h = LE16s(payload + 12);
  const int32_t sequence = LE16s(payload + 16);
  const int method = payload[18];
  const int rotation = payload[19];
  const int32_t type = LE16s(payload + 552) == 0 ? 8 : LE16s(payload + 552);
  // A failure leaves everything as it was: nothing is drawn.
  if (!HaveBuffers(w, h, type) && CreateBuffers(w, h, type) != 0) return 0;
  const uint16_t* remap = RemapFor(target);
  const int32_t rows = RoundedHeight(h);
  auto* current = static_cast<uint16_t*>(g_dec.buffers[size_t(g_dec.current)]->pixels);
  if (sequence == 0) {
    BuildMotion(w);
    const uint16_t background = LE16(payload + 32);
    for (int role : {g_dec.reference1, g_dec.reference2}) {
      auto* p = static_cast<uint16_t*>(g_dec.buffers[size_t(role)]->pixels);
      std::fill(p, p + g_dec.pixels, background);
    }
    g_dec.lastSequence = -1;
  }
  Vembra_CountDecodedFrame();
  const bool follows = sequence == g_dec.lastSequence + 1;
  if ((method == 2 || method == 3 || method == 4) && (flags & 4) && rotation == 0) {
    g_dec.lastSequence = sequence;  // a late frame: skipped
    return 0;
  }
  const uint8_t* data = payload + kBl16HeaderBytes;
  const int32_t dataBytes = size - kBl16HeaderBytes;
  const auto colour = [payload](uint8_t index) { return LE16(payload + 40 + 2 * index); };
  bool decoded = true;
  switch (method) {
    case 0:
      memcpy(current, data, size_t(std::min(dataBytes, w * h * 2)));
      break;
    case 1:
    case 7: {
      const int32_t count = (w / 2) * (h / 2);
      g_dec.half.assign(size_t(count) * 2, 0);
      auto* half = reinterpret_cast<uint16_t*>(g_dec.half.data());
      if (method == 1) {
        memcpy(half, data, size_t(std::min(dataBytes, count * 2)));
      } else {
        for (int32_t i = 0; i < std::min(dataBytes, count); ++i) half[i] = colour(data[i]);
      }
      Double(half, current, w, h);
      break;
    }
    case 2:
      if (follows)
        DecodeBlocks(payload, size, w, rows);
      else
        decoded = false;
      break;
    case 3:
    case 4: {
      const int role = method == 3 ? g_dec.reference2 : g_dec.reference1;
      memcpy(current, g_dec.buffers[size_t(role)]->pixels, size_t(g_dec.pixels) * 2);
      break;
    }
    case 5:
      RunLength(data, data + dataBytes, reinterpret_cast<uint8_t*>(current),
                int32_t(std::min<uint32_t>(LE32(payload + 36), uint32_t(g_dec.pixels) * 2)));
      break;
    case 6:
      for (int32_t i = 0; i < std::min(dataBytes, w * h); ++i) current[i] = colour(data[i]);
      break;
    case 8: {
      g_dec.half.assign(size_t(w) * size_t(h), 0);
      RunLength(data, data + dataBytes, g_dec.half.data(), w * h);
      for (int32_t i = 0; i < w * h; ++i) current[i] = colour(g_dec.half[size_t(i)]);
      break;
    }
    default:
      decoded = false;
      break;
  }
  if (decoded) g_dec.output = g_dec.buffers[size_t(g_dec.current)];
  uint32_t result = 0;
  if (g_dec.output && target) {
    // The picture without the rows that round its height up to 8.
    VembraBitmap picture = *g_dec.output;
    picture.height = h;
    if (g_dec.hook) {
      result = g_dec.hook(target, clip, x, y, g_dec.output, palette, remap);
    } else {
      VembraPixel_BlitRemap16(target, clip, x, y, &picture, remap);
      result = 1;
    }
  }
  if (follows) {
    if (rotation == 1) {
      std::swap(g_dec.current, g_dec.reference2);
    } else if (rotation == 2) {
      const int oldReference1 = g_dec.reference1;
      g_dec.reference1 = g_dec.reference2;
      g_dec.reference2 = g_dec.current;
      g_dec.current = oldReference1;
    }
  }
  g_dec.lastSequence = sequence;
  return result;
}

int Unsupported(void) {
  return -1;
}

int GetInfo(void* record, int kind, int32_t* out0, int32_t* out1, int32_t* out2, int32_t* out3) {
  if (kind != 256 || !record) return -1;
  // The record is four 32-bit words of whatever type the caller keeps them in.
  const auto* bytes = static_cast<const uint8_t*>(record);
  int32_t* outs[4] = {out0, out1, out2, out3};
  for (int i = 0; i < 4; ++i)
    if (outs[i]) memcpy(outs[i], bytes + 4 * i, 4);
  return 0;
}

VembraFlobdec g_table = {Describe, GetTag, GetFlags, Reset, Preparse, Decode, Unsupported, GetInfo};

void Shutdown(void) {
  Reset();
  if (g_dec.bitmap) OrnShare_Unsubscribe(g_dec.bitmap);
  if (g_dec.memory) OrnShare_Unsubscribe(g_dec.memory);
  g_dec.bitmap = nullptr;
  g_dec.memory = nullptr;
}

int Startup(void) {
  g_dec.bitmap = static_cast<VembraBitmapTable*>(OrnShare_Subscribe("BITMAP.clear", nullptr));
  if (!g_dec.bitmap) {
    OrnShare_GetErrorPrinter()("FlobDec-Blocky16 Module: Cannot allocate bitmap services.");
    return -1;
  }
  g_dec.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  if (!g_dec.memory) {
    OrnShare_GetErrorPrinter()("FlobDec-Blocky16 Module: Cannot allocate memory services.");
    Shutdown();
    return -1;
  }
  g_dec.lastSequence = -1;
  return 0;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kDecoderKey);
}

OrnModuleTable g_module = {vembra_blocky16_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_blocky16_Register(OrnShareServices* services, const char*) {
  services->Publish(kModuleKey, &g_module);
  services->Publish(kDecoderKey, &g_table);
  return 0;
}

int vembra_blocky16_Configure(const intptr_t* tags) {
  for (const intptr_t* t = tags; t && t[0] != 0; t += 2) {
    if (t[0] != 1) return -1;
    g_dec.hook = reinterpret_cast<Bl16OutputHook>(t[1]);
  }
  return 0;
}

VembraFlobdec* vembra_blocky16_Table(void) {
  return &g_table;
}

void Blocky16_MotionVector(int v, int* dx, int* dy) {
  const Vector2 m = v >= 0 && v < kBl16MotionVectors ? kMotion[v] : Vector2{0, 0};
  *dx = m.dx;
  *dy = m.dy;
}

uint64_t Blocky16_PatternMask(int n, int p) {
  p &= 255;
  return n == 4 ? Patterns().four[size_t(p)] : Patterns().eight[size_t(p)];
}

uint16_t Blocky16_Average(uint16_t a, uint16_t b) {
  const int r = (((a >> 11) & 31) + ((b >> 11) & 31)) >> 1;
  const int g = (((a >> 5) & 63) + ((b >> 5) & 63)) >> 1;
  const int bl = ((a & 31) + (b & 31)) >> 1;
  return uint16_t(r << 11 | g << 5 | bl);
}
