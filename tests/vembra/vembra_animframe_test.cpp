#include "vembra/vembra_animframe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VembraTestHost.h"

namespace {

// Recording fake decoders: two claim "Bl16", one "Wave".
struct Call {
  int decoder;
  std::string kind;
  std::string payload;
  uint32_t flags;
};
std::vector<Call> g_calls;

template <int N>
struct FakeDecoder {
  static uint32_t Tag() { return N == 2 ? VembraTag("Wave") : VembraTag("Bl16"); }
  static uint32_t Decode(VembraBitmap*, const VembraRect*, int32_t, int32_t, uint8_t*,
                         const uint8_t* p, int32_t n, uint32_t flags, int32_t, int32_t) {
    g_calls.push_back(
        {N, "decode", std::string(reinterpret_cast<const char*>(p), size_t(n)), flags});
    return N == 2 ? 0x86u : 0x01u;  // audio: palette bits and a sync reset
  }
  static void Preparse(const uint8_t* p, int32_t n) {
    g_calls.push_back({N, "preparse", std::string(reinterpret_cast<const char*>(p), size_t(n)), 0});
  }
  static inline VembraFlobdec table = {nullptr,  Tag,    [] { return 0u; }, [] {},
                                       Preparse, Decode, nullptr,           nullptr};
};

int RegisterFakes(OrnShareServices* s, const char*) {
  s->Publish("FLOBDEC=first", &FakeDecoder<0>::table);
  s->Publish("FLOBDEC=second", &FakeDecoder<1>::table);
  s->Publish("FLOBDEC=wave", &FakeDecoder<2>::table);
  return 0;
}

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {RegisterFakes, nullptr},
                                       {vembra_animframe_Register, nullptr},
                                       {nullptr, nullptr}};

std::string Sub(const char* tag, const std::string& payload, bool pad = true) {
  std::string s(tag, 4);
  uint32_t n = uint32_t(payload.size());
  for (int i = 3; i >= 0; --i) s += char((n >> (8 * i)) & 0xFF);
  s += payload;
  if (pad && (n & 1)) s += '\0';
  return s;
}

std::string Npal(int16_t steps, uint16_t first, const std::vector<uint8_t>& entries,
                 uint32_t flags = 0) {
  std::string p(20, '\0');
  for (int i = 0; i < 4; ++i) p[size_t(8 + i)] = char((flags >> (8 * i)) & 0xFF);
  p[12] = char(steps & 0xFF);
  p[13] = char((steps >> 8) & 0xFF);
  p[14] = char(first & 0xFF);
  p[15] = char(first >> 8);
  uint16_t count = uint16_t(entries.size() / 4);
  p[16] = char(count & 0xFF);
  p[17] = char(count >> 8);
  p.append(entries.begin(), entries.end());
  return Sub("npal", p);
}

class AnimFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    af = vembra_animframe_Table();
    g_calls.clear();
    palette.assign(1024, 0);
  }
  void TearDown() override {
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  int32_t Parse(const std::string& frame, uint32_t frameIn = 0) {
    frameFlags = frameIn;
    paletteFlags = 0;
    return af->ParseFrame(nullptr, nullptr, 0, 0, palette.data(), &frameFlags, &paletteFlags, 0, 1,
                          0, reinterpret_cast<const uint8_t*>(frame.data()), int32_t(frame.size()));
  }
  VembraAnimFrameTable* af = nullptr;
  std::vector<uint8_t> palette;
  uint32_t frameFlags = 0, paletteFlags = 0;
};

TEST_F(AnimFrameTest, OddSizesArePaddedAndResultsMapped) {
  EXPECT_EQ(Parse(Sub("Bl16", "abc") + Sub("Wave", "xy"), 0x8000 | 0x30), 2);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].decoder, 0);  // the lower slot of the two "Bl16"
  EXPECT_EQ(g_calls[0].payload, "abc");
  EXPECT_EQ(g_calls[0].flags, 0x34u);  // late mark -> bit 2, plus 0x30
  EXPECT_EQ(g_calls[1].payload, "xy");
  EXPECT_EQ(frameFlags & 1, 1u);
  EXPECT_EQ(paletteFlags, 3u);
}

TEST_F(AnimFrameTest, BothDecodersOfOneTagPreparse) {
  std::string flhd = Sub("Bl16", "hdr") + Sub("Wave", "w");
  af->Preparse(reinterpret_cast<const uint8_t*>(flhd.data()), int32_t(flhd.size()));
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].decoder, 0);
  EXPECT_EQ(g_calls[1].decoder, 1);
  EXPECT_EQ(g_calls[2].payload, "w");
}

TEST_F(AnimFrameTest, UnknownTagsSkippedBadTagsEndTheFrame) {
  EXPECT_EQ(Parse(Sub("abcd", "zz") + Sub("Bl16", "1")), 0);
  ASSERT_EQ(g_calls.size(), 1u);
  g_calls.clear();
  EXPECT_EQ(Parse(Sub("ab d", "zz") + Sub("Bl16", "1")), 0x8000);
  EXPECT_TRUE(g_calls.empty());
  // A sub-block running past the frame is not passed on.
  std::string cut = Sub("Bl16", "12345678");
  EXPECT_EQ(Parse(cut.substr(0, cut.size() - 2)), 0);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(AnimFrameTest, ImmediatePaletteChange) {
  std::vector<uint8_t> entries = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Parse(Npal(0, 2, entries, 0x40));
  EXPECT_EQ(std::vector<uint8_t>(palette.begin() + 32, palette.begin() + 44), entries);
  EXPECT_EQ(palette[31], 0);
  EXPECT_EQ(palette[44], 0);
  EXPECT_EQ(paletteFlags, 0x40u);
  // Entries beyond the palette are dropped; a count beyond the payload too.
  Parse(Npal(0, 63, std::vector<uint8_t>(64, 9)));
  EXPECT_EQ(palette[1023], 9);
  std::string lying = Npal(0, 0, {7, 7, 7, 7});
  lying[8 + 16] = 50;  // claims 50 entries, holds one
  Parse(lying);
  EXPECT_EQ(palette[3], 7);
  EXPECT_EQ(palette[4], 0);
}

TEST_F(AnimFrameTest, FadeMovesInEqualSteps) {
  palette[1] = 200;
  std::vector<uint8_t> entries = {0, 100, 0, 0};
  Parse(Npal(4, 0, entries) + Sub("Bl16", "x"));
  std::vector<int> seen = {palette[1]};  // one step per frame, this one included
  for (int i = 0; i < 4; ++i) {
    Parse("");
    seen.push_back(palette[1]);
  }
  EXPECT_EQ(seen, (std::vector<int>{175, 150, 125, 100, 100}));
  Parse("");
  EXPECT_EQ(paletteFlags, 0u);  // the fade is over
}

}  // namespace
