// The Blocky16 video decoder: its tables, each frame method and opcode
// family over hand-built frames, and round trips through the writer's encoder.
#include "vembra/vembra_blocky16.h"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <vector>

#include "SnmWriter.h"
#include "VembraTestHost.h"
#include "vembra/vembra_animplay.h"
#include "vembra/vembra_bitmap.h"

namespace {

using snm::Bytes;
using Pixels = std::vector<uint16_t>;

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {vembra_blocky16_Register, nullptr},
                                       {nullptr, nullptr}};

// What the output hook saw.
struct Seen {
  int calls = 0;
  int32_t height = 0;
  Pixels pixels;  // the whole buffer, rounded rows included
  const uint16_t* remap = nullptr;
};
Seen g_seen;

uint32_t Hook(VembraBitmap*, const VembraRect*, int32_t, int32_t, VembraBitmap* picture, uint8_t*,
              const uint16_t* remap) {
  g_seen.calls++;
  g_seen.height = picture->height;
  const auto* p = static_cast<const uint16_t*>(picture->pixels);
  g_seen.pixels.assign(p, p + size_t(picture->width) * size_t(picture->height));
  g_seen.remap = remap;
  return 7;
}

class Blocky16Test : public ::testing::Test {
 protected:
  void SetUp() override {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    g_seen = Seen{};
  }
  void TearDown() override {
    SetHook(false);
    bitmaps->Free(&target);
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  static void SetHook(bool on) {
    const intptr_t tags[] = {1, on ? reinterpret_cast<intptr_t>(&Hook) : 0, 0};
    ASSERT_EQ(vembra_blocky16_Configure(tags), 0);
  }
  void MakeTarget(int w, int h, int type = 3) {
    bitmaps->Free(&target);
    ASSERT_EQ(bitmaps->Create(&target, w, h, type), 0);
    memset(target->pixels, 0, size_t(target->pitch) * size_t(h));
  }
  uint32_t Decode(const snm::Bl16Frame& f, uint32_t flags = 0) {
    const Bytes p = snm::Bl16Payload(f);
    return d->Decode(target, nullptr, 0, 0, nullptr, p.data(), int32_t(p.size()), flags, 1, 0);
  }
  Pixels Target() const {
    const auto* p = static_cast<const uint16_t*>(target->pixels);
    return Pixels(p, p + size_t(target->width) * size_t(target->height));
  }
  static snm::Bl16Frame Frame(int w, int h, int sequence, int method, int rotation = 2) {
    snm::Bl16Frame f;
    f.width = int16_t(w);
    f.height = int16_t(h);
    f.sequence = int16_t(sequence);
    f.method = uint8_t(method);
    f.rotation = uint8_t(rotation);
    for (int i = 0; i < 256; ++i) f.table[size_t(i)] = uint16_t(0x1000 + i);
    for (int i = 0; i < 4; ++i) f.cache[i] = uint16_t(0x2000 + i);
    f.background = 0x0BAD;
    return f;
  }
  static snm::Bl16Frame Raw(int w, int h, const Pixels& p, int sequence = 0) {
    snm::Bl16Frame f = Frame(w, h, sequence, 0);
    for (uint16_t v : p) snm::PutLE16(f.data, v);
    return f;
  }
  VembraFlobdec* d = vembra_blocky16_Table();
  VembraBitmapTable* bitmaps = vembra_bitmap_Table();
  VembraBitmap* target = nullptr;
};

TEST_F(Blocky16Test, PatternsAndMotionVectors) {
  // Pattern 0 joins (0, 0) to itself: list A is pixel 0 alone.
  EXPECT_EQ(Blocky16_PatternMask(4, 0), 1u);
  EXPECT_EQ(Blocky16_PatternMask(8, 0), 1u);
  // 16 x 3 + 9 joins (3, 0) and (0, 3): every row runs right of the line.
  uint64_t want = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      if (x + y >= 3) want |= uint64_t(1) << (y * 4 + x);
  EXPECT_EQ(Blocky16_PatternMask(4, 16 * 3 + 9), want);
  EXPECT_EQ(std::popcount(want), 10);
  struct Vec {
    int v, dx, dy;
  };
  for (const Vec& c : {Vec{0, 0, 0}, Vec{1, -1, -43}, Vec{122, -5, 0}, Vec{129, 5, 0},
                       Vec{244, -26, 34}}) {
    int dx, dy;
    Blocky16_MotionVector(c.v, &dx, &dy);
    EXPECT_EQ(dx, c.dx) << c.v;
    EXPECT_EQ(dy, c.dy) << c.v;
  }
  EXPECT_STREQ(d->Describe(0), "Blocky16-Tile");
  EXPECT_EQ(d->GetTag(), 0x426C3136u);
}

TEST_F(Blocky16Test, HeightIsRoundedUpToEightRows) {
  SetHook(true);
  MakeTarget(8, 476);
  EXPECT_EQ(Decode(Raw(8, 476, Pixels(8 * 476, 0x1111))), 7u);  // the hook's result
  EXPECT_EQ(g_seen.height, 480);
  EXPECT_EQ(g_seen.pixels[8 * 475], 0x1111);
  EXPECT_EQ(g_seen.pixels[8 * 476], 0);  // method 0 writes 476 rows
  snm::Bl16Frame fill = Frame(8, 476, 1, 2);
  for (int block = 0; block < 60; ++block) snm::Append(fill.data, {254, 0x22, 0x22});
  Decode(fill);
  EXPECT_EQ(g_seen.pixels[8 * 479 + 7], 0x2222);  // method 2 covers all 480 rows
}

TEST_F(Blocky16Test, FramesOutOfSequenceAreNotBlockDecoded) {
  MakeTarget(8, 8);
  Decode(Raw(8, 8, Pixels(64, 1)));
  for (int sequence : {1, 2, 4}) {
    snm::Bl16Frame f = Frame(8, 8, sequence, 2);
    f.data = {254, uint8_t(sequence), 0};
    EXPECT_EQ(Decode(f), 1u);
  }
  EXPECT_EQ(Target(), Pixels(64, 2));  // frame 4 left the picture of frame 2
  snm::Bl16Frame next = Frame(8, 8, 5, 2);
  next.data = {254, 5, 0};
  Decode(next);
  EXPECT_EQ(Target(), Pixels(64, 5));  // 5 follows 4: decoded again
}

TEST_F(Blocky16Test, LateFramesAreSkippedOnlyWithoutRotation) {
  MakeTarget(8, 8);
  Decode(Raw(8, 8, Pixels(64, 1)));
  const int32_t before = Vembra_DecodedFrames();
  for (int rotation : {0, 1, 2}) {
    snm::Bl16Frame f = Frame(8, 8, 1 + rotation, 2, rotation);
    f.data = {254, uint8_t(10 + rotation), 0};
    memset(target->pixels, 0, 128);
    EXPECT_EQ(Decode(f, 4), rotation == 0 ? 0u : 1u) << rotation;
    EXPECT_EQ(Target()[0], rotation == 0 ? 0 : 10 + rotation) << rotation;
  }
  EXPECT_EQ(Vembra_DecodedFrames(), before + 3);  // late ones count too
}

TEST_F(Blocky16Test, HalfResolutionDoublesWithAverages) {
  MakeTarget(4, 2);
  const uint16_t c0 = 0xF81F, c1 = 0x07E0;
  snm::Bl16Frame f = Frame(4, 2, 0, 1);
  snm::PutLE16(f.data, c0);
  snm::PutLE16(f.data, c1);
  Decode(f);
  const uint16_t avg = Blocky16_Average(c0, c1);
  EXPECT_EQ(avg, uint16_t(15 << 11 | 31 << 5 | 15));
  EXPECT_EQ(Target(), (Pixels{c0, c0, avg, c1, c0, c0, avg, c1}));
}

// The opcode families at 8x8, 4x4 and 2x2, each in the second block of a
// 16x8 picture whose previous picture P (pixel y x 16 + x + 1) is reference 2
// and whose reference 1 holds the background.
TEST_F(Blocky16Test, OpcodeFamilies) {
  Pixels p(16 * 8);
  for (int i = 0; i < 16 * 8; ++i) p[size_t(i)] = uint16_t(i + 1);
  const auto table = [](int i) { return uint16_t(0x1000 + i); };
  const auto cache = [](int i) { return uint16_t(0x2000 + i); };
  // Expected pixel (r, c) of the second block.
  using Expect = std::function<uint16_t(int r, int c)>;
  const auto fromP = [&](int dx, int dy) {
    return Expect([&, dx, dy](int r, int c) { return p[size_t((r + dy) * 16 + 8 + c + dx)]; });
  };
  const auto solid = [](uint16_t v) { return Expect([v](int, int) { return v; }); };
  struct Case {
    const char* name;
    Bytes ops;
    Expect expect;
  };
  const uint64_t edge4 = Blocky16_PatternMask(4, 16 * 3 + 9);
  const auto quarters = [&](int r, int c) -> uint16_t {
    if (r < 4 && c < 4) return 0x4444;                              // 254
    if (r < 4) return table(9);                                      // 253
    if (c < 4) return p[size_t(r * 16 + 8 + c - 5)];                 // motion 122
    const int rr = r - 4, cc = c - 4;                                // four 2x2
    if (rr < 2 && cc < 2) return table(20 + rr * 2 + cc);           // 247
    if (rr < 2) return uint16_t(0x5000 + rr * 2 + (cc - 2));        // 248
    if (cc < 2) return uint16_t(0x6000 + (rr - 2) * 2 + cc);        // 255
    return cache(0);                                                 // 249
  };
  const Case cases[] = {
      {"copy", {0}, fromP(0, 0)},
      {"motion", {122}, fromP(-5, 0)},
      {"offset", {245, 0xF8, 0xFF}, fromP(-8, 0)},
      {"reference 1", {246}, solid(0x0BAD)},
      {"pattern from the table", {247, 0, 5, 6},
       [&](int r, int c) { return r == 0 && c == 0 ? table(5) : table(6); }},
      {"pattern with colours", {248, 0, 0x34, 0x12, 0x78, 0x56},
       [&](int r, int c) { return uint16_t(r == 0 && c == 0 ? 0x1234 : 0x5678); }},
      {"cache", {250}, solid(cache(1))},
      {"table fill", {253, 200}, solid(table(200))},
      {"colour fill", {254, 0x99, 0x99}, solid(0x9999)},
      {"4x4 pattern",
       {255, 247, 16 * 3 + 9, 1, 2, 0, 0, 0},
       [&](int r, int c) -> uint16_t {
         if (r < 4 && c < 4) return (edge4 >> (r * 4 + c)) & 1 ? table(1) : table(2);
         return p[size_t(r * 16 + 8 + c)];
       }},
      {"four 4x4 and four 2x2",
       {255, 254, 0x44, 0x44, 253, 9, 122, 255,
        247, 20, 21, 22, 23,
        248, 0x00, 0x50, 0x01, 0x50, 0x02, 0x50, 0x03, 0x50,
        255, 0x00, 0x60, 0x01, 0x60, 0x02, 0x60, 0x03, 0x60,
        249},
       quarters},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    MakeTarget(16, 8);
    Decode(Raw(16, 8, p));
    snm::Bl16Frame f = Frame(16, 8, 1, 2);
    f.data = {0};  // the first block unchanged
    snm::Append(f.data, c.ops);
    EXPECT_EQ(Decode(f), 1u) << c.name;
    const Pixels out = Target();
    for (int r = 0; r < 8; ++r) {
      for (int col = 0; col < 8; ++col) {
        EXPECT_EQ(out[size_t(r * 16 + col)], p[size_t(r * 16 + col)]) << c.name;
        ASSERT_EQ(out[size_t(r * 16 + 8 + col)], c.expect(r, col))
            << c.name << " at " << r << "," << col;
      }
    }
  }
}

TEST_F(Blocky16Test, TheNineMethods) {
  const Pixels p = {1, 2, 3, 4, 5, 6, 7, 8};  // 4x2
  const auto table = [](int i) { return uint16_t(0x1000 + i); };
  struct Case {
    int method;
    std::function<void(snm::Bl16Frame&)> fill;
    Pixels want;
  };
  const Case cases[] = {
      {0, [&](snm::Bl16Frame& f) { f = Raw(4, 2, {9, 9, 9, 9, 8, 8, 8, 8}, 1); },
       {9, 9, 9, 9, 8, 8, 8, 8}},
      {3, [](snm::Bl16Frame&) {}, p},
      {4, [](snm::Bl16Frame&) {}, Pixels(8, 0x0BAD)},
      {5,
       [](snm::Bl16Frame& f) {
         f.rleBytes = 16;
         f.data = {7, 0x11, 10, 1, 2, 3, 4, 5, 6, 0x55};  // 4 x 0x11, 6 literals, 6 x 0x55
         f.data.insert(f.data.begin() + 9, 11);
       },
       {0x1111, 0x1111, 0x0201, 0x0403, 0x0605, 0x5555, 0x5555, 0x5555}},
      {6, [](snm::Bl16Frame& f) { f.data = {0, 1, 2, 3, 4, 5, 6, 7}; },
       {table(0), table(1), table(2), table(3), table(4), table(5), table(6), table(7)}},
      {7,
       [](snm::Bl16Frame& f) { f.data = {3, 4}; },
       {table(3), table(3), Blocky16_Average(table(3), table(4)), table(4), table(3), table(3),
        Blocky16_Average(table(3), table(4)), table(4)}},
      {8, [](snm::Bl16Frame& f) { f.data = {15, 9}; }, Pixels(8, 0x1009)},
      {9, [](snm::Bl16Frame& f) { f.data = {1, 2, 3}; }, p},  // unknown: the output stays
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    MakeTarget(4, 2);
    Decode(Raw(4, 2, p));
    snm::Bl16Frame f = Frame(4, 2, 1, c.method);
    c.fill(f);
    Decode(f);
    EXPECT_EQ(Target(), c.want) << "method " << c.method;
  }
}

TEST_F(Blocky16Test, RemapTableFrom565To555) {
  SetHook(true);
  MakeTarget(8, 8, 2);  // 5-5-5
  Decode(Raw(8, 8, Pixels(64, 0)));
  ASSERT_NE(g_seen.remap, nullptr);
  EXPECT_EQ(g_seen.remap[0xF800], 0x7C00);
  EXPECT_EQ(g_seen.remap[0x07E0], 0x03E0);
  EXPECT_EQ(g_seen.remap[0x001F], 0x001F);
  MakeTarget(8, 8, 3);  // the buffers' own layout needs none
  snm::Bl16Frame f = Raw(8, 8, Pixels(64, 0), 1);
  Decode(f);
  EXPECT_EQ(g_seen.remap, nullptr);
  // Without a hook the blit goes through the table.
  SetHook(false);
  MakeTarget(8, 8, 2);
  Decode(Raw(8, 8, Pixels(64, 0xF800), 2));
  EXPECT_EQ(Target()[63], 0x7C00);
}

TEST_F(Blocky16Test, BadSizesDrawNothing) {
  MakeTarget(8, 8);
  for (int size : {0, 3000, -5}) {
    snm::Bl16Frame f = Raw(8, 8, Pixels(64, 3));
    f.width = int16_t(size);
    EXPECT_EQ(Decode(f), 0u) << size;
  }
  snm::Bl16Frame wrongType = Raw(8, 8, Pixels(64, 3));
  wrongType.bitmapType = 6;  // 4 bytes a pixel
  EXPECT_EQ(Decode(wrongType), 0u);
  EXPECT_EQ(Target()[0], 0);
  // A block run that stops short ends the frame: the buffer keeps what it
  // held (here the background of the sequence's start).
  Decode(Raw(8, 8, Pixels(64, 3)));
  snm::Bl16Frame cut = Frame(8, 8, 1, 2);
  cut.data = {254, 0x44};
  EXPECT_EQ(Decode(cut), 1u);
  EXPECT_EQ(Target()[0], 0x0BAD);
}

// Moving pictures through the encoder and back: every frame exact.
TEST_F(Blocky16Test, EncoderRoundTrips) {
  const int w = 48, h = 36;
  const auto picture = [&](int t) {
    Pixels p(size_t(w * h));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint16_t v = 0x0841;  // a solid ground
        if (y < 12) v = uint16_t(((x + t) * 37 + y * 11) & 0xFFFF);  // a scrolling gradient
        if (y >= 16 && y < 24 && x >= 8 && x < 40 && x + (y - 16) < 24 + t % 8)
          v = 0xF800;  // a two-colour edge
        if (y >= 16 && y < 24 && x >= 8 && x < 40 && !(x + (y - 16) < 24 + t % 8)) v = 0x001F;
        if (t % 2 == 1 && y >= 28 && x < 16) v = uint16_t(0x7000 + x + y);  // flickers
        p[size_t(y * w + x)] = v;
      }
    }
    return p;
  };
  snm::Bl16Encoder encoder(w, h);
  MakeTarget(w, h);
  for (int t = 0; t < 12; ++t) {
    const Pixels want = picture(t);
    const Bytes payload = encoder.Encode(want);
    ASSERT_EQ(d->Decode(target, nullptr, 0, 0, nullptr, payload.data(), int32_t(payload.size()),
                        0, 1, 0),
              1u);
    ASSERT_EQ(Target(), want) << "frame " << t;
  }
  EXPECT_GT(encoder.Uses(8, 0), 0);      // unchanged blocks
  EXPECT_GT(encoder.Uses(8, 246), 0);    // back to the picture before
  EXPECT_GT(encoder.Uses(8, 255), 0);    // subdivided
  EXPECT_GT(encoder.Uses(8, 249), 0);    // fills
  int motion = 0, patterns = 0;
  for (int n : {8, 4})
    for (int v = 1; v < 245; ++v) motion += encoder.Uses(n, v);
  for (int n : {8, 4, 2}) patterns += encoder.Uses(n, 247) + encoder.Uses(n, 248);
  EXPECT_GT(motion, 0);
  EXPECT_GT(patterns, 0);
  EXPECT_GT(encoder.Uses(2, 255) + encoder.Uses(2, 248) + encoder.Uses(2, 247), 0);
}

}  // namespace
