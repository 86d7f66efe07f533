#include "std/stdBitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/kv_RenderHooks.h"
#include "render/SoftwareBackend.h"
#include "std/stdMemory.h"

namespace {

using Bytes = std::vector<uint8_t>;

HostServices g_hs;
int g_asserts = 0;

const ColorFormat k8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
const ColorFormat k24 = {1, 24, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};

class BitmapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    g_hs.assertFail = [](const char*, const char*, int) { ++g_asserts; };
    std_Startup(&g_hs);
  }
};

// ---------------------------------------------------------------------------
// An independent BM writer: header fields, frames as (width, height, payload)
// and an optional palette, laid out as the format describes.
struct FrameBytes {
  int32_t width, height;
  Bytes payload;  // everything after width and height
};

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes MakeBm(int32_t version, int32_t type, uint32_t flags, int32_t frameCount,
             const ColorFormat& cf, const std::vector<FrameBytes>& frames, const Bytes& palette,
             int32_t xOffset = 0, int32_t yOffset = 0, uint32_t key = 0) {
  Bytes b = {'B', 'M', ' ', ' '};
  Put32(b, static_cast<uint32_t>(version));
  Put32(b, static_cast<uint32_t>(type));
  Put32(b, flags);
  Put32(b, static_cast<uint32_t>(frameCount));
  Put32(b, static_cast<uint32_t>(xOffset));
  Put32(b, static_cast<uint32_t>(yOffset));
  Put32(b, key);
  const int32_t* f = &cf.colorMode;
  for (int i = 0; i < 14; ++i) Put32(b, static_cast<uint32_t>(f[i]));
  b.resize(128, 0);
  for (const auto& fr : frames) {
    Put32(b, static_cast<uint32_t>(fr.width));
    Put32(b, static_cast<uint32_t>(fr.height));
    b.insert(b.end(), fr.payload.begin(), fr.payload.end());
  }
  b.insert(b.end(), palette.begin(), palette.end());
  return b;
}

std::string WriteFile(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return name;
}

Bytes ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes PixelsOf(const DisplayBuffer* b) {
  const auto* p = static_cast<const uint8_t*>(b->pixels);
  return Bytes(p, p + b->format.byteSize);
}

Bytes Palette() {
  Bytes p(768);
  for (int i = 0; i < 768; ++i) p[i] = static_cast<uint8_t>(i * 7);
  return p;
}

// A frame whose rows compress (bands) or not (noise).
DisplayBuffer* MakeFrame(int w, int h, const ColorFormat& cf, bool compressible, int seed) {
  BufferFormat f{};
  f.width = w;
  f.height = h;
  f.format = cf;
  DisplayBuffer* b = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  auto* p = static_cast<uint8_t*>(b->pixels);
  uint32_t x = static_cast<uint32_t>(seed) * 2654435761u + 1;
  for (int i = 0; i < b->format.byteSize; ++i) {
    x = x * 1103515245u + 12345u;
    p[i] = compressible ? static_cast<uint8_t>(i / 40 + seed) : static_cast<uint8_t>(x >> 16);
  }
  // Values at and above 0xC0 in run-length rows.
  if (b->format.byteSize > 3) p[1] = 0xC5, p[2] = 0xC5, p[3] = 0xFF;
  return b;
}

TEST_F(BitmapTest, RoundTripsOfTheStorageTypes) {
  const struct {
    int32_t type;
    int frames;
    bool palette;
    ColorFormat cf;
  } cases[] = {{STDBITMAP_RAW, 1, false, k565},    {STDBITMAP_RAW, 2, true, k8},
               {STDBITMAP_RLE, 1, true, k8},       {STDBITMAP_RLE, 2, false, k8},
               {STDBITMAP_PACKED, 1, false, k565}, {STDBITMAP_PACKED, 2, true, k8},
               {STDBITMAP_RAW, 1, false, k24}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + ", frames " + std::to_string(c.frames));
    uint8_t* palette = nullptr;
    if (c.palette) {
      palette = static_cast<uint8_t*>(std_pHS->memAlloc(768, __FILE__, __LINE__));
      const Bytes p = Palette();
      std::memcpy(palette, p.data(), 768);
    }
    const uint32_t flags = (c.palette ? STDBITMAP_PALETTE : 0u) | STDBITMAP_COLORKEY;
    Bitmap* bm = stdBitmap_New(c.frames, palette, c.type, flags, &c.cf);
    ASSERT_NE(bm, nullptr);
    bm->xOffset = -12;
    bm->yOffset = 34;
    bm->colorKey = 0x3;
    std::vector<Bytes> expected;
    for (int i = 0; i < c.frames; ++i) {
      // Frame 0 compresses, frame 1 does not.
      DisplayBuffer* f = MakeFrame(37 + i, 11, c.cf, i == 0, i + 1);
      expected.push_back(PixelsOf(f));
      stdBitmap_SetFrame(bm, i, f);
    }
    if (c.type == STDBITMAP_PACKED) stdBitmap_PackFrames(bm);
    const std::string name = "round" + std::to_string(n++) + ".bm";
    ASSERT_EQ(stdBitmap_Save(name.c_str(), bm), 1);
    stdBitmap_Free(bm);

    Bitmap* back = stdBitmap_Load(name.c_str(), 0, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->name, name.c_str());
    EXPECT_EQ(back->storageType, c.type);
    EXPECT_EQ(back->flags, flags);
    EXPECT_EQ(back->frameCount, c.frames);
    EXPECT_EQ(back->xOffset, -12);
    EXPECT_EQ(back->yOffset, 34);
    EXPECT_EQ(back->colorKey, 0x3u);
    EXPECT_EQ(std::memcmp(&back->format, &c.cf, sizeof c.cf), 0);
    if (c.palette) {
      ASSERT_NE(back->palette, nullptr);
      EXPECT_EQ(Bytes(back->palette, back->palette + 768), Palette());
    } else {
      EXPECT_EQ(back->palette, nullptr);
    }
    for (int i = 0; i < c.frames; ++i) {
      DisplayBuffer* f = back->frames[i];
      EXPECT_EQ(f->format.width, 37 + i);
      if (c.type == STDBITMAP_PACKED) {
        // Exactly the frames that packed are stored packed.
        EXPECT_EQ(f->storage, i == 0 ? STDDISPLAY_PACKED : STDDISPLAY_PLAIN);
      }
    }
    stdBitmap_UnpackFrames(back);
    EXPECT_EQ(back->storageType, STDBITMAP_RAW);
    for (int i = 0; i < c.frames; ++i) {
      EXPECT_EQ(PixelsOf(back->frames[i]), expected[static_cast<size_t>(i)]) << "frame " << i;
      if (back->frames[i]->storage == STDDISPLAY_PLAIN && c.type != STDBITMAP_PACKED) {
        EXPECT_EQ(back->frames[i]->colorKey, 0x3u);
      }
    }
    stdBitmap_Free(back);
    std::remove(name.c_str());
  }
}

TEST_F(BitmapTest, RunLengthByteTable) {
  const struct {
    Bytes row, coded;
  } cases[] = {
      {Bytes(100, 0x22), {0xFF, 0x22, 0xE5, 0x22}},
      {{0xC5}, {0xC1, 0xC5}},
      {{0x41}, {0x41}},
      {{0x41, 0x41}, {0xC2, 0x41}},
      {Bytes(64, 0x10), {0xFF, 0x10, 0x10}},
      {{1, 2, 0xC0, 0xC0, 3}, {1, 2, 0xC2, 0xC0, 3}},
  };
  for (const auto& c : cases) {
    Bytes out(c.row.size() * 2 + 2);
    out.resize(static_cast<size_t>(
        stdBitmap_EncodeRow(out.data(), c.row.data(), static_cast<int>(c.row.size()))));
    EXPECT_EQ(out, c.coded) << c.row.size();
  }
  // Rows are coded by themselves: a 2-row frame of one value gives two runs.
  Bitmap* bm = stdBitmap_New(1, nullptr, STDBITMAP_RLE, 0, &k8);
  BufferFormat f{};
  f.width = 5;
  f.height = 2;
  f.format = k8;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  std::memset(frame->pixels, 9, 10);
  stdBitmap_SetFrame(bm, 0, frame);
  ASSERT_EQ(stdBitmap_Save("rows.bm", bm), 1);
  const Bytes file = ReadFile("rows.bm");
  EXPECT_EQ(Bytes(file.begin() + 136, file.end()), (Bytes{0xC5, 9, 0xC5, 9}));
  stdBitmap_Free(bm);
}

TEST_F(BitmapTest, TypeThreeFileWithOnePackedAndOneRawFrame) {
  // Frame 0: 8x8 bytes of 7, packed by hand: a literal and long matches at
  // distance 1 (18, 18, 18, 9), then the end token.
  const Bytes packed = {0x55, 0x05, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF6, 0, 0, 0};
  Bytes f0;
  Put32(f0, static_cast<uint32_t>(packed.size()));
  f0.insert(f0.end(), packed.begin(), packed.end());
  // Frame 1: 4x2 raw, L equal to the byte size.
  Bytes f1;
  Put32(f1, 8);
  for (int i = 0; i < 8; ++i) f1.push_back(static_cast<uint8_t>(0xA0 + i));
  const Bytes file =
      MakeBm(70, 3, STDBITMAP_PALETTE, 2, k8, {{8, 8, f0}, {4, 2, f1}}, Palette(), 5, 6, 0);
  WriteFile("mixed.bm", file);
  Bitmap* bm = stdBitmap_Load("mixed.bm", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->frames[0]->storage, STDDISPLAY_PACKED);
  EXPECT_EQ(bm->frames[0]->format.byteSize, 14);
  EXPECT_EQ(bm->frames[1]->storage, STDDISPLAY_PLAIN);
  EXPECT_EQ(PixelsOf(bm->frames[1]), (Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}));
  ASSERT_NE(bm->palette, nullptr);
  EXPECT_EQ(Bytes(bm->palette, bm->palette + 768), Palette());
  // Memory: the record, the packed length and the raw frame.
  EXPECT_EQ(stdBitmap_GetMemorySize(bm), static_cast<int>(sizeof(Bitmap)) + 14 + 8);
  stdBitmap_UnpackFrames(bm);
  EXPECT_EQ(PixelsOf(bm->frames[0]), Bytes(64, 7));
  // Written back as type 0 it is the raw picture.
  ASSERT_EQ(stdBitmap_Save("mixed0.bm", bm), 1);
  const Bytes raw = ReadFile("mixed0.bm");
  EXPECT_EQ(raw.size(), 128u + 8 + 64 + 8 + 8 + 768);
  stdBitmap_Free(bm);
}

TEST_F(BitmapTest, BadFilesAreRefused) {
  Bytes raw;
  for (int i = 0; i < 6; ++i) raw.push_back(static_cast<uint8_t>(i));
  Bytes tooLong;
  Put32(tooLong, 7);  // a 3x2 frame holds 6 bytes
  tooLong.insert(tooLong.end(), 7, 1);
  Bytes negative;
  Put32(negative, static_cast<uint32_t>(-1));
  ColorFormat four = k8;
  four.bitsPerPixel = 4;
  const Bytes good = MakeBm(70, 0, STDBITMAP_PALETTE, 1, k8, {{3, 2, raw}}, Palette());
  const struct {
    const char* what;
    Bytes file;
  } cases[] = {
      {"version 69", MakeBm(69, 0, 0, 1, k8, {{3, 2, raw}}, {})},
      {"version 71", MakeBm(71, 0, 0, 1, k8, {{3, 2, raw}}, {})},
      {"magic",
       [] {
         Bytes b = MakeBm(70, 0, 0, 1, k8, {{3, 2, Bytes(6, 0)}}, {});
         b[2] = 'X';
         return b;
       }()},
      {"negative frames", MakeBm(70, 0, 0, -3, k8, {}, {})},
      {"huge frame count", MakeBm(70, 0, 0, 100000, k8, {{3, 2, raw}}, {})},
      {"negative width", MakeBm(70, 0, 0, 1, k8, {{-3, 2, raw}}, {})},
      {"huge height", MakeBm(70, 0, 0, 1, k8, {{3, 1 << 30, raw}}, {})},
      {"half-byte pixels", MakeBm(70, 0, 0, 1, four, {{3, 2, raw}}, {})},
      {"packed length above the byte size", MakeBm(70, 3, 0, 1, k8, {{3, 2, tooLong}}, {})},
      {"negative packed length", MakeBm(70, 3, 0, 1, k8, {{3, 2, negative}}, {})},
      {"second frame missing", MakeBm(70, 0, 0, 2, k8, {{3, 2, raw}}, {})},
      {"short run-length stream", MakeBm(70, 1, 0, 1, k8, {{3, 2, {0xC3, 1, 2}}}, {})},
  };
  for (const auto& c : cases) {
    WriteFile("bad.bm", c.file);
    EXPECT_EQ(stdBitmap_Load("bad.bm", 0, 0), nullptr) << c.what;
  }
  // Every truncation of a good file fails; the whole file loads.
  for (size_t cut : {size_t{0}, size_t{4}, size_t{127}, size_t{128}, size_t{131}, size_t{136},
                     size_t{141}, good.size() - 1}) {
    WriteFile("cut.bm", Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
    EXPECT_EQ(stdBitmap_Load("cut.bm", 0, 0), nullptr) << cut;
  }
  // A frame larger than the rest of the file fails before it is allocated.
  for (int32_t type : {0, 1}) {
    WriteFile("lying.bm", MakeBm(70, type, 0, 1, k8, {{8000, 8000, raw}}, {}));
    const int64_t before = stdMemory_GetStats().peakBytes;
    EXPECT_EQ(stdBitmap_Load("lying.bm", 0, 0), nullptr) << type;
    EXPECT_LT(stdMemory_GetStats().peakBytes - before, 1 << 20) << type;
  }
  WriteFile("good.bm", good);
  Bitmap* bm = stdBitmap_Load("good.bm", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(PixelsOf(bm->frames[0]), raw);
  stdBitmap_Free(bm);
  EXPECT_EQ(stdBitmap_Load("no such file.bm", 0, 0), nullptr);
}

// The most memory that was live at once during a call, above what was live
// before it, through a wrapper around the tracked allocator.
int64_t g_liveAtStart = 0;
int64_t g_highWater = 0;
void* WatchedAlloc(size_t size, const char* file, int line) {
  void* p = stdMemory_Alloc(size, file, line);
  g_highWater = std::max(g_highWater, stdMemory_GetStats().liveBytes - g_liveAtStart);
  return p;
}

int64_t HighWaterOfLoad(const Bytes& file, Bitmap** loaded) {
  WriteFile("watched.bm", file);
  g_liveAtStart = stdMemory_GetStats().liveBytes;
  g_highWater = 0;
  g_hs.memAlloc = WatchedAlloc;
  *loaded = stdBitmap_Load("watched.bm", 0, 0);
  g_hs.memAlloc = stdMemory_Alloc;
  return g_highWater;
}

TEST_F(BitmapTest, DecodedBytesOfAFileAreBoundedBeforeTheyAreAllocated) {
  const ColorFormat k32 = {1, 32, 8, 8, 8, 16, 8, 0, 0, 0, 0, 8, 24, 0};
  const int64_t limit = stdBitmap_kMaxDecodedBytes;
  Bytes fiveBytes;  // a type-3 frame that claims to pack 16 MB into 5 bytes
  Put32(fiveBytes, 5);
  fiveBytes.insert(fiveBytes.end(), {0, 0, 0, 0, 0});
  Bytes missing;  // a type-3 length with nothing after it
  Put32(missing, 5);
  const auto frames = [](int n, int32_t w, int32_t h, const Bytes& payload) {
    return std::vector<FrameBytes>(static_cast<size_t>(n), FrameBytes{w, h, payload});
  };
  const struct {
    const char* what;
    Bytes file;
    int64_t mostLive;  // what the failed load may have had live at once
  } refused[] = {
      // 8 frames of 8192x8192 at 32 bits in 192 bytes: 2 GB of buffers.
      {"no-data frames, 2 GB", MakeBm(70, 2, 0, 8, k32, frames(8, 8192, 8192, {}), {}), 1 << 20},
      {"no-data frames, 80 MB", MakeBm(70, 2, 0, 5, k32, frames(5, 2048, 2048, {}), {}),
       limit + (1 << 20)},
      {"packed frames, 320 MB", MakeBm(70, 3, 0, 20, k32, frames(20, 2048, 2048, fiveBytes), {}),
       limit + (1 << 20)},
      {"packed length past the end", MakeBm(70, 3, 0, 1, k8, {{4096, 4096, missing}}, {}), 1 << 20},
  };
  for (const auto& c : refused) {
    Bitmap* bm = nullptr;
    EXPECT_LE(HighWaterOfLoad(c.file, &bm), c.mostLive) << c.what;
    EXPECT_EQ(bm, nullptr) << c.what;
    stdBitmap_Free(bm);
  }
  // Exactly at the limit loads.
  Bitmap* bm = nullptr;
  HighWaterOfLoad(MakeBm(70, 2, 0, 4, k32, frames(4, 2048, 2048, {}), {}), &bm);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->frameCount, 4);
  stdBitmap_Free(bm);
}

TEST_F(BitmapTest, ZeroFramesWithAPaletteReadBack) {
  Bitmap* empty = stdBitmap_New(0, nullptr, STDBITMAP_RAW, STDBITMAP_PALETTE, &k8);
  ASSERT_NE(empty, nullptr);
  empty->palette = static_cast<uint8_t*>(std_pHS->memAlloc(768, __FILE__, __LINE__));
  const Bytes palette = Palette();
  std::memcpy(empty->palette, palette.data(), 768);
  ASSERT_EQ(stdBitmap_Save("empty.bm", empty), 1);
  stdBitmap_Free(empty);
  EXPECT_EQ(ReadFile("empty.bm").size(), 128u + 768u);
  Bitmap* bm = stdBitmap_Load("empty.bm", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->frameCount, 0);
  ASSERT_NE(bm->palette, nullptr);
  EXPECT_EQ(Bytes(bm->palette, bm->palette + 768), palette);
  stdBitmap_Free(bm);
}

TEST_F(BitmapTest, NameIsTheTextAfterTheLastBackslashCutTo31) {
  Bytes raw(6, 1);
  const std::string file = "dir\\sub\\a_rather_long_bitmap_file_name_here.bm";
  const Bytes bytes = MakeBm(70, 0, 0, 1, k8, {{3, 2, raw}}, {});
  // The file both as one host name and in folders, whichever way the file
  // service reads the separators.
  WriteFile(file, bytes);
  std::filesystem::create_directories("dir/sub");
  WriteFile("dir/sub/a_rather_long_bitmap_file_name_here.bm", bytes);
  Bitmap* bm = stdBitmap_Load(file.c_str(), 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_STREQ(bm->name, "a_rather_long_bitmap_file_name_");
  stdBitmap_Free(bm);
  std::remove(file.c_str());
  std::filesystem::remove_all("dir");
}

TEST_F(BitmapTest, WriterRefusesWhatItCannotWrite) {
  Bitmap* bm = stdBitmap_New(2, nullptr, STDBITMAP_RLE, 0, &k565);
  stdBitmap_SetFrame(bm, 0, MakeFrame(4, 4, k565, true, 1));
  DisplayBuffer* outside = MakeFrame(4, 4, k565, true, 1);
  stdBitmap_SetFrame(bm, 2, outside);  // refused: the caller keeps it
  stdDisplay_FreeBuffer(outside);
  stdBitmap_SetFrame(bm, -1, nullptr);
  EXPECT_EQ(bm->frames[1], nullptr);
  EXPECT_EQ(stdBitmap_Save("rle16.bm", bm), 0);  // 16-bit run-length
  bm->storageType = STDBITMAP_RAW;
  EXPECT_EQ(stdBitmap_Save("missing.bm", bm), 0);  // frame 1 is missing
  bm->flags = STDBITMAP_PALETTE;
  stdBitmap_SetFrame(bm, 1, MakeFrame(4, 4, k565, true, 2));
  EXPECT_EQ(stdBitmap_Save("nopalette.bm", bm), 0);  // palette flag without a palette
  bm->flags = 0;
  EXPECT_EQ(stdBitmap_Save("fine.bm", bm), 1);
  stdBitmap_Free(bm);
}

TEST_F(BitmapTest, NullFramesPageFramesAndOwnFormat) {
  Bitmap* bm = stdBitmap_New(3, nullptr, STDBITMAP_RAW, STDBITMAP_COLORKEY, &k565);
  bm->colorKey = 0xF81F;
  DisplayBuffer page{};
  page.pageFlag = 1;
  page.format.byteSize = 614400;
  bm->frames[0] = &page;
  EXPECT_EQ(stdBitmap_GetMemorySize(bm), static_cast<int>(sizeof(Bitmap)));
  bm->frames[0] = MakeFrame(4, 4, k565, true, 3);
  const Bytes before = PixelsOf(bm->frames[0]);
  DisplayBuffer* frame = bm->frames[0];
  stdBitmap_ConvertFormat(&k565, bm);
  EXPECT_EQ(bm->frames[0], frame);
  EXPECT_EQ(PixelsOf(bm->frames[0]), before);
  EXPECT_EQ(bm->colorKey, 0xF81Fu);
  stdBitmap_Free(bm);  // two null entries: only frame 0, the array and the record
}

TEST_F(BitmapTest, NewFromBufferCopiesThroughTheSoftwareBackEnd) {
  kv_RenderHooks_ResetForTest();
  ASSERT_NE(InitSoftwareBackend(), nullptr);
  DisplayBuffer* src = MakeFrame(6, 3, k565, true, 4);
  for (bool withPalette : {false, true}) {
    Bytes pal = Palette();
    src->palette = withPalette ? pal.data() : nullptr;
    const int locks = src->lockCount;
    Bitmap* bm = stdBitmap_NewFromBuffer(src, 0, 0);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(src->lockCount, locks);
    EXPECT_EQ(bm->flags, withPalette ? STDBITMAP_PALETTE : 0u);
    EXPECT_EQ(bm->frameCount, 1);
    EXPECT_EQ(PixelsOf(bm->frames[0]), PixelsOf(src));
    if (withPalette) {
      ASSERT_NE(bm->palette, nullptr);
      EXPECT_NE(bm->palette, pal.data());
      EXPECT_EQ(Bytes(bm->palette, bm->palette + 768), pal);
    } else {
      EXPECT_EQ(bm->palette, nullptr);
    }
    stdBitmap_Free(bm);
  }
  src->palette = nullptr;
  stdDisplay_FreeBuffer(src);
  kv_RenderHooks_ResetForTest();
}

TEST_F(BitmapTest, TwentyFourToSixteenBits) {
  BufferFormat f{};
  f.width = 2;
  f.height = 1;
  f.format = k24;
  DisplayBuffer* b = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  const uint8_t px[6] = {0xF8, 0x80, 0x08, 0xFF, 0xFF, 0xFF};
  std::memcpy(b->pixels, px, 6);
  DisplayBuffer* a = stdBitmap_BufferTo565(b);
  DisplayBuffer* c = stdBitmap_BufferTo555(b);
  ASSERT_TRUE(a && c);
  const auto* p565 = static_cast<const uint16_t*>(a->pixels);
  const auto* p555 = static_cast<const uint16_t*>(c->pixels);
  EXPECT_EQ(p565[0], (0x1F << 11) | (0x20 << 5) | 0x01);  // b0 high, b2 low
  EXPECT_EQ(p555[0], (0x01 << 10) | (0x10 << 5) | 0x1F);  // b2 high, b0 low
  EXPECT_EQ(p565[1], 0xFFFF);
  EXPECT_EQ(p555[1], 0x7FFF);
  EXPECT_EQ(a->format.format.greenBits, 6);
  EXPECT_EQ(c->format.format.greenBits, 5);
  EXPECT_EQ(stdBitmap_BufferTo565(a), nullptr);  // not 24-bit
  stdDisplay_FreeBuffer(a);
  stdDisplay_FreeBuffer(c);

  Bitmap* bm = stdBitmap_New(1, nullptr, STDBITMAP_RAW, 0, &k24);
  stdBitmap_SetFrame(bm, 0, b);
  EXPECT_EQ(stdBitmap_ConvertTo565(bm), bm);
  EXPECT_EQ(bm->format.bitsPerPixel, 16);
  EXPECT_EQ(bm->format.greenBits, 6);
  EXPECT_EQ(static_cast<const uint16_t*>(bm->frames[0]->pixels)[1], 0xFFFF);
  stdBitmap_Free(bm);
}

}  // namespace
