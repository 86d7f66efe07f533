// Colormaps: the CMP reader and writer, the grey default, the table builders
// and the current and display colormaps.
#include "quadrix/qxColormap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "qxAssetFiles.h"
#include "qxTestLibrary.h"
#include "std/stdDisplay.h"

namespace {

const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};

uint16_t Pack565(int r, int g, int b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

class QxColormap : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    qxCore_pCurrentColormap = nullptr;
    qxCore_pDisplayColormap = nullptr;
  }
  static qxColormap* LoadBytes(const std::string& bytes, const char* path = "test.cmp") {
    PutFile(path, bytes);
    return qxColormap_Load(path);
  }
  static void ExpectGreyDefault(const qxColormap* c) {
    EXPECT_STREQ(c->name, "GREYRAMP.CMP");
    EXPECT_EQ(c->flags, 0u);
    EXPECT_EQ(c->headerValues[1], 1.0f);
    EXPECT_EQ(c->palette[3 * 77 + 1], 77);
    ASSERT_NE(c->lightTable, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c->lightTable) % 256, 0u);
    EXPECT_EQ(c->lightTable[40 * 256 + 200], (200 * 40) >> 6);
    EXPECT_EQ(c->lightTable16, nullptr);
    EXPECT_EQ(c->translucencyTable, nullptr);
    EXPECT_EQ(c->inverseTable, nullptr);
    EXPECT_EQ(qxColormap_GetMemorySize(c), 848u + 16640u);
  }
};

TEST_F(QxColormap, FlagsZeroFileHoldsNoTables) {
  const std::string bytes = CmpBuild(0, CmpPalette());
  ASSERT_EQ(bytes.size(), 832u);
  qxColormap* c = LoadBytes(bytes, "dir\\cm.cmp");  // one file name on this host
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "cm.cmp");
  EXPECT_EQ(c->headerValues[2], 2.5f);
  // Entry 0 is nudged by 8 on each channel: down from 0xF7 up, else up.
  EXPECT_EQ(c->palette[0], 8);
  EXPECT_EQ(c->palette[1], 8);
  EXPECT_EQ(c->palette[2], 242);
  EXPECT_EQ(c->palette[3 * 100], 255);
  EXPECT_EQ(c->lightTable, nullptr);
  EXPECT_EQ(c->lightTable16, nullptr);
  EXPECT_EQ(c->translucencyTable, nullptr);
  EXPECT_EQ(qxColormap_GetMemorySize(c), 848u);
  qxColormap_Free(c);
}

TEST_F(QxColormap, FlagsFiveFileHoldsItsTables) {
  const std::string bytes = CmpBuild(5, CmpPalette());
  ASSERT_EQ(bytes.size(), 197440u);
  std::filesystem::create_directories("sub");
  qxColormap* c = LoadBytes(bytes, "sub/five.cmp");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "five.cmp");
  ASSERT_NE(c->translucencyTable, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(c->translucencyTable) % 256, 0u);
  EXPECT_EQ(c->translucencyTable[0x1234], static_cast<uint8_t>(0x34 + 0x20));
  // With the 5-6-5 display the inverse table is the first of the two.
  ASSERT_NE(c->inverseTable, nullptr);
  EXPECT_EQ(c->inverseTable[0], 0x21);
  EXPECT_EQ(c->inverseTable[65535], 0x21);
  ASSERT_NE(c->lightTable16, nullptr);
  EXPECT_EQ(c->lightTable16[63 * 256 + 100], Pack565(251, 251, 251));
  EXPECT_EQ(c->lightTable, nullptr);
  EXPECT_EQ(qxColormap_GetMemorySize(c), 848u + 65792u + 32768u + 65536u);
  qxColormap_Free(c);
}

TEST_F(QxColormap, BadFilesGiveTheGreyDefault) {
  const std::string five = CmpBuild(5, CmpPalette());
  const std::pair<const char*, std::string> cases[] = {
      {"bad magic", CmpBuild(0, CmpPalette(), 0, "PMC ")},
      {"short header", five.substr(0, 40)},
      {"short palette", five.substr(0, 500)},
      {"short translucency table", five.substr(0, 832 + 1000)},
      {"short inverse tables", five.substr(0, five.size() - 1)},
      {"empty", ""},
  };
  for (const auto& [label, bytes] : cases) {
    SCOPED_TRACE(label);
    qxColormap* c = LoadBytes(bytes);
    ASSERT_NE(c, nullptr);
    ExpectGreyDefault(c);
    qxColormap_Free(c);
  }
  EXPECT_EQ(qxColormap_Load("missing.cmp"), nullptr);
}

TEST_F(QxColormap, SixteenBitLightRamp) {
  const std::vector<uint8_t> palette = CmpPalette();
  std::vector<uint16_t> table(kColormapLightEntries);
  ASSERT_EQ(qxColormap_Build16BitTables(table.data(), palette.data(), 0, 0, 0, &k565), 1);
  EXPECT_EQ(table[63 * 256 + 100], Pack565(251, 251, 251));
  EXPECT_EQ(table[0 * 256 + 100], 0);
  EXPECT_EQ(table[0 * 256 + 5], Pack565(5, 5, 5));  // colours 0 to 7 keep their colour
  EXPECT_EQ(table[31 * 256 + 2], Pack565(2, 2, 2));
  // Towards a target colour: level 0 is the target; halves round away from zero.
  ASSERT_EQ(qxColormap_Build16BitTables(table.data(), palette.data(), 255, 0, 64, &k565), 1);
  EXPECT_EQ(table[0 * 256 + 100], Pack565(255, 0, 64));
  EXPECT_EQ(table[63 * 256 + 8], Pack565(12, 8, 9));  // 8 + 247/64, 8 - 8/64, 8 + 56/64
}

TEST_F(QxColormap, NearestColourTables) {
  std::vector<uint8_t> palette = CmpPalette();
  std::vector<uint8_t> table(65536);
  // Entries 0 and 255 are never chosen.
  ASSERT_EQ(qxColormap_BuildInverseTable(table.data(), palette.data(), &k565), 1);
  EXPECT_EQ(table[0], 1);
  EXPECT_EQ(table[Pack565(128, 128, 128)], 128);
  EXPECT_EQ(table[0xFFFF], 250);  // (248, 252, 248) weighs nearest 250
  ASSERT_EQ(qxColormap_BuildTranslucencyTable(table.data(), palette.data(), 0.5f), 1);
  EXPECT_EQ(table[200 * 256 + 40], 120);
  EXPECT_EQ(table[254 * 256 + 254], 254);
  ASSERT_EQ(qxColormap_BuildTranslucencyTable(table.data(), palette.data(), 0.25f), 1);
  EXPECT_EQ(table[200 * 256 + 40], 80);
  std::vector<uint8_t> fog(kColormapLightEntries);
  ASSERT_EQ(qxColormap_BuildFogRamp(fog.data(), palette.data(), 0, 0, 0), 1);
  EXPECT_EQ(fog[63 * 256 + 200], 200);
  EXPECT_EQ(fog[0 * 256 + 200], 1);
  EXPECT_EQ(fog[10 * 256 + 3], 3);
  EXPECT_NEAR(fog[31 * 256 + 126], 62, 1);  // halfway down the ramp
}

TEST_F(QxColormap, CurrentAndDisplayColormaps) {
  qxColormap* a = LoadBytes(CmpBuild(0, CmpPalette()), "a.cmp");
  qxColormap* b = LoadBytes(CmpBuild(0, CmpPalette()), "b.cmp");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(qxColormap_SetCurrent(nullptr), 1);
  EXPECT_EQ(qxCore_pDisplayColormap, nullptr);
  qxColormap_SetCurrent(a);
  EXPECT_EQ(qxCore_pDisplayColormap, a);  // the first one made current
  qxColormap_SetCurrent(b);
  EXPECT_EQ(qxCore_pCurrentColormap, b);
  EXPECT_EQ(qxCore_pDisplayColormap, a);
  qxColormap_SetDisplayColormap(b);
  EXPECT_EQ(qxCore_pDisplayColormap, b);
  // Freeing clears the pointers that name the colormap.
  qxColormap_Free(b);
  EXPECT_EQ(qxCore_pCurrentColormap, nullptr);
  EXPECT_EQ(qxCore_pDisplayColormap, nullptr);
  qxColormap_SetCurrent(a);
  qxColormap_Free(a);
  EXPECT_EQ(qxCore_pCurrentColormap, nullptr);
}

TEST_F(QxColormap, WriterKeepsTheReadersLayout) {
  qxColormap* c = LoadBytes(CmpBuild(5, CmpPalette()));
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(qxColormap_Write("again.cmp", c), 1);
  const std::string written = GetFile("again.cmp");
  ASSERT_EQ(written.size(), 197440u);
  const std::string original = CmpBuild(5, CmpPalette());
  EXPECT_EQ(written.substr(0, 64), original.substr(0, 64));
  EXPECT_EQ(written.substr(64 + 3, 768 - 3), original.substr(64 + 3, 768 - 3));
  EXPECT_EQ(written.substr(832, 65536 * 2), original.substr(832, 65536 * 2));
  // The 5-5-5 table, which the colormap does not hold, is built.
  EXPECT_EQ(static_cast<uint8_t>(written[832 + 2 * 65536]), 1);
  EXPECT_EQ(static_cast<uint8_t>(written[832 + 2 * 65536 + 0x7FFF]),
            248);  // white in 5-5-5 is (248, 248, 248)
  qxColormap* back = qxColormap_Load("again.cmp");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->inverseTable[77], c->inverseTable[77]);
  qxColormap_Free(back);
  qxColormap_Free(c);
}

}  // namespace
