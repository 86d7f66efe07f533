// Keyframe animations: both file forms, their writers and the hooks.
#include "quadrix/qxKeyframe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "qxAssetFiles.h"
#include "qxTestLibrary.h"

namespace {

class QxKeyframe : public ::testing::Test {
 protected:
  void SetUp() override { qxTest_StartLibrary(); }
};

void ExpectSameKeyframe(const qxKeyframe* a, const qxKeyframe* b) {
  EXPECT_EQ(a->flags, b->flags);
  EXPECT_EQ(a->jointCount, b->jointCount);
  EXPECT_EQ(a->type, b->type);
  EXPECT_EQ(a->rate, b->rate);
  EXPECT_EQ(a->frameCount, b->frameCount);
  ASSERT_EQ(a->nodeCount, b->nodeCount);
  ASSERT_EQ(a->markerCount, b->markerCount);
  for (int i = 0; i < a->markerCount; ++i) {
    EXPECT_EQ(a->markerFrames[i], b->markerFrames[i]);
    EXPECT_EQ(a->markerValues[i], b->markerValues[i]);
  }
  for (int n = 0; n < a->nodeCount; ++n) {
    const qxKeyframeNode& x = a->nodes[n];
    const qxKeyframeNode& y = b->nodes[n];
    EXPECT_STREQ(x.meshName, y.meshName);
    ASSERT_EQ(x.entryCount, y.entryCount);
    for (int i = 0; i < x.entryCount; ++i) {
      EXPECT_EQ(x.entries[i].flags, y.entries[i].flags);
      EXPECT_FLOAT_EQ(x.entries[i].position.x, y.entries[i].position.x);
      EXPECT_FLOAT_EQ(x.entries[i].orientation.y, y.entries[i].orientation.y);
      EXPECT_FLOAT_EQ(x.entries[i].positionRate.x, y.entries[i].positionRate.x);
      EXPECT_FLOAT_EQ(x.entries[i].orientationRate.y, y.entries[i].orientationRate.y);
    }
  }
}

TEST_F(QxKeyframe, BinaryTwoNodeKeyframeLoadsAndRoundTrips) {
  PutFile("walk.key", FyekBuild(FyekTwoNode()));
  qxKeyframe* k = qxKeyframe_Load("walk.key");
  ASSERT_NE(k, nullptr);
  EXPECT_STREQ(k->name, "walk.key");  // the stored name gives way to the path's
  EXPECT_EQ(k->reserved, 0xABCDu);
  EXPECT_EQ(k->type, 0x10u);
  EXPECT_EQ(k->rate, 30.0f);
  EXPECT_EQ(k->frameCount, 20);
  ASSERT_EQ(k->nodeCount, 2);
  EXPECT_STREQ(k->nodes[1].meshName, "child");
  ASSERT_EQ(k->nodes[1].entryCount, 2);
  EXPECT_EQ(k->nodes[1].entries[1].frame, 10.5f);
  EXPECT_EQ(k->nodes[1].entries[1].flags, 3u);
  EXPECT_EQ(k->nodes[1].entries[1].position.x, 5.0f);
  EXPECT_EQ(k->nodes[1].entries[1].orientation.y, 90.0f);
  EXPECT_EQ(k->nodes[1].entries[1].orientationRate.y, -9.0f);
  EXPECT_EQ(k->markerCount, 1);
  EXPECT_EQ(k->markerValues[0], 7);

  // Written and read back: the same keyframe; the bytes differ from the
  // original only in the name and in the markers of the pointer places.
  ASSERT_EQ(qxKeyframe_WriteBinary("again.key", k), 1);
  qxKeyframe* again = qxKeyframe_Load("again.key");
  ASSERT_NE(again, nullptr);
  ExpectSameKeyframe(k, again);
  std::string expected = FyekBuild(FyekTwoNode());
  expected.replace(4, 32, Bytes().Name("walk.key", 32).s);
  const std::string one = Bytes().U32(1).s;
  for (size_t at : {64, 136 + 40, 136 + 44 + 56 + 40}) expected.replace(at, 4, one);
  EXPECT_EQ(GetFile("again.key"), expected);
  qxKeyframe_Free(again);
  qxKeyframe_Free(k);
}

// Truncations and out-of-range counts of the binary form fail the load.
TEST_F(QxKeyframe, BadBinaryFilesAreRefused) {
  const std::string good = FyekBuild(FyekTwoNode());
  for (size_t cut : {size_t{4}, size_t{40}, size_t{135}, size_t{136 + 20}, good.size() - 1}) {
    SCOPED_TRACE(cut);
    PutFile("cut.key", good.substr(0, cut));
    EXPECT_EQ(qxKeyframe_Load("cut.key"), nullptr);
  }
  Fyek markers = FyekTwoNode();
  markers.markerCount = 9;
  Fyek negative = FyekTwoNode();
  negative.markerCount = -1;
  Fyek nodes = FyekTwoNode();
  nodes.nodeCountOverride = 0x7FFFFFFF;
  Fyek entries = FyekTwoNode();
  entries.nodes[0].entryCountOverride = 1 << 26;
  for (const Fyek* bad : {&markers, &negative, &nodes, &entries}) {
    PutFile("bad.key", FyekBuild(*bad));
    EXPECT_EQ(qxKeyframe_Load("bad.key"), nullptr);
  }
}

const char kHeader[] =
    "# a keyframe\r\n"
    "SECTION: HEADER\r\n"
    "FLAGS 0x100\r\n"
    "TYPE 0x3\r\n"
    "FRAMES 40\r\n"
    "FPS 30.0\r\n"
    "JOINTS 3\r\n";
const char kNodeOne[] =
    "NODE 1\n"
    "MESH NAME Arm\n"
    "ENTRIES 1\n"
    " 0: 2.0 0x1 1.0 2.0 3.0 10.0 20.0 30.0\n"
    "    0.1 0.2 0.3 1.0 2.0 3.0\n";

struct TextCase {
  const char* label;
  std::string text;
  bool loads;
};

TEST_F(QxKeyframe, TextFormCases) {
  const std::string h = kHeader;
  const TextCase cases[] = {
      {"no node blocks: J empty nodes", h + "SECTION: KEYFRAME NODES\nNODES 0\n", true},
      {"markers section",
       h + "SECTION: MARKERS\nMARKERS 2\n4.0 1\n8.5 2\nSECTION: NODES\nNODES 1\n" + kNodeOne, true},
      {"without markers the next section is the nodes'",
       h + "SECTION: WHATEVER\nNODES 1\n" + kNodeOne, true},
      {"9 markers", h + "SECTION: MARKERS\nMARKERS 9\n", false},
      {"node index at the joint count", h + "SECTION: N\nNODES 1\nNODE 3\nMESH NAME a\nENTRIES 0\n",
       false},
      {"negative node index", h + "SECTION: N\nNODES 1\nNODE -1\nMESH NAME a\nENTRIES 0\n", false},
      {"missing entry line",
       h + "SECTION: N\nNODES 1\nNODE 0\nMESH NAME a\nENTRIES 2\n 0: 1 0 0 0 0 0 0 0\n 0 0 0 0 0 "
           "0\n",
       false},
      {"huge entry count", h + "SECTION: N\nNODES 1\nNODE 0\nMESH NAME a\nENTRIES 100000000\n",
       false},
      {"negative joints", "SECTION: HEADER\nFLAGS 0\nTYPE 0\nFRAMES 1\nFPS 1\nJOINTS -2\n", false},
      {"bad header line", "SECTION: HEADER\nFLAGS zz\n", false},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    PutFile("sub_text.txt", c.text);
    qxKeyframe* k = qxKeyframe_Load("sub_text.txt");
    EXPECT_EQ(k != nullptr, c.loads);
    if (!k) continue;
    EXPECT_STREQ(k->name, "sub_text.txt");
    EXPECT_EQ(k->flags, 0x100u);
    EXPECT_EQ(k->type, 3u);
    EXPECT_EQ(k->jointCount, 3);
    ASSERT_EQ(k->nodeCount, 3);
    EXPECT_EQ(k->nodes[0].entryCount, 0);  // left out
    EXPECT_STREQ(k->nodes[0].meshName, "");
    EXPECT_EQ(k->nodes[0].entries, nullptr);
    if (c.text.find("NODES 1") != std::string::npos) {
      EXPECT_STREQ(k->nodes[1].meshName, "arm");  // the reader lower-cases
      EXPECT_EQ(k->nodes[1].index, 1);
      ASSERT_EQ(k->nodes[1].entryCount, 1);
      EXPECT_EQ(k->nodes[1].entries[0].frame, 2.0f);
      EXPECT_EQ(k->nodes[1].entries[0].orientation.z, 30.0f);
      EXPECT_FLOAT_EQ(k->nodes[1].entries[0].positionRate.z, 0.3f);
    }
    if (c.text.find("MARKERS 2") != std::string::npos) {
      EXPECT_EQ(k->markerCount, 2);
      EXPECT_EQ(k->markerFrames[1], 8.5f);
      EXPECT_EQ(k->markerValues[1], 2);
    }
    qxKeyframe_Free(k);
  }
}

TEST_F(QxKeyframe, TextWriterDropsEmptyNodesAndFractionsAndReadsBack) {
  PutFile("walk.key", FyekBuild(FyekTwoNode()));
  qxKeyframe* k = qxKeyframe_Load("walk.key");
  ASSERT_NE(k, nullptr);
  qxCore_Free(k->nodes[0].entries);  // the root now has no entries
  k->nodes[0].entries = nullptr;
  k->nodes[0].entryCount = 0;
  k->nodes[0].meshName[0] = '\0';  // a node left out of the text comes back nameless
  ASSERT_EQ(qxKeyframe_WriteText("walk.txt", k, "walk.ma"), 1);
  const std::string text = GetFile("walk.txt");
  EXPECT_EQ(text.rfind("# KEYFRAME 'walk.key' created from 'walk.ma'\n\n", 0), 0u);
  EXPECT_NE(text.find("NODES 1\n\nNODE    1\nMESH NAME child\n"), std::string::npos);
  EXPECT_NE(text.find("  1:       10   0x0003 "), std::string::npos);  // 10.5 -> 10
  EXPECT_NE(text.find("MARKERS 1\n\n10.000000 7\n"), std::string::npos);

  qxKeyframe* back = qxKeyframe_Load("walk.txt");
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(back->name, "walk.txt");
  k->nodes[1].entries[1].frame = 10.0f;
  ExpectSameKeyframe(k, back);
  qxKeyframe_Free(back);
  qxKeyframe_Free(k);
}

TEST_F(QxKeyframe, WriteBinaryByNameAddsKeyOnlyWithoutAnyDot) {
  PutFile("walk.key", FyekBuild(FyekTwoNode()));
  qxKeyframe* k = qxKeyframe_Load("walk.key");
  ASSERT_NE(k, nullptr);
  ASSERT_EQ(qxKeyframe_WriteBinaryByName("plain", k), 1);
  EXPECT_FALSE(GetFile("plain.key").empty());
  std::filesystem::create_directories("dir.d");
  ASSERT_EQ(qxKeyframe_WriteBinaryByName("dir.d/anim", k), 1);
  EXPECT_FALSE(GetFile("dir.d/anim").empty());
  EXPECT_EQ(qxKeyframe_WriteBinary("no_such_dir/x.key", k), 0);
  qxKeyframe_Free(k);
}

qxKeyframe g_hooked;
int g_unloads = 0;
qxKeyframe* HookLoad(const char*) {
  return &g_hooked;
}
void HookUnload(qxKeyframe*) {
  ++g_unloads;
}

TEST_F(QxKeyframe, HooksReplaceLoadingAndFreeing) {
  EXPECT_EQ(qxKeyframe_SetLoader(HookLoad), nullptr);
  EXPECT_EQ(qxKeyframe_SetUnloader(HookUnload), nullptr);
  EXPECT_EQ(qxKeyframe_Load("anything"), &g_hooked);
  qxKeyframe_Free(&g_hooked);
  EXPECT_EQ(g_unloads, 1);
  EXPECT_EQ(qxKeyframe_SetLoader(nullptr), HookLoad);
  EXPECT_EQ(qxKeyframe_SetUnloader(nullptr), HookUnload);
  EXPECT_EQ(qxKeyframe_Load("missing.key"), nullptr);
}

}  // namespace
