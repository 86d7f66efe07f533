// The text costume format: reading, writing, the round trip and the reader's
// edge cases.
#include "chore_test_host.h"

namespace chore_test {
namespace {

using FileTest = ChoreTest;

// Replaces the first occurrence of a text in a copy of the sample costume.
std::string Sample(const std::string& from = "", const std::string& to = "") {
  std::string text = kSampleCostume;
  if (!from.empty()) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

TEST_F(FileTest, ReadsTheSampleCostume) {
  const CosCostumeHandle h = LoadText("sample.cos", Sample());
  ASSERT_NE(h, 0) << (g_log.empty() ? "" : g_log.back());
  EXPECT_EQ(g_privateNotices, 1);
  EXPECT_EQ(g_opened, (std::vector<std::string>{"r sample.cos"}));
  const CosCostume* costume = CosUtil_PtrFromHandle(h);
  EXPECT_STREQ(costume->name, "sample.cos");
  ASSERT_EQ(costume->numComponents, 5);
  // Roots first, then depth 1, each in file order.
  const char* names[] = {"body.3do", "fade", "mesh0", "mesh1", "walk.key"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(costume->components[i].name, names[i]) << i;
  EXPECT_EQ(costume->components[2].parent, 0);
  EXPECT_EQ(g_events[0], "add MMDL body.3do p0");
  EXPECT_EQ(g_events[2], "add MESH mesh0 p100");
  ASSERT_EQ(costume->numChores, 2);
  const CosChore& walk = costume->chores[0];
  EXPECT_STREQ(walk.name, "walk");
  EXPECT_EQ(walk.length, 1000);
  ASSERT_EQ(walk.numTracks, 2);
  EXPECT_EQ(walk.tracks[0].component, 4) << "position 3 became index 4";
  EXPECT_EQ(walk.tracks[0].numKeys, 2) << "a key exactly at the length stays";
  EXPECT_EQ(walk.tracks[0].lastTime, 1000);
  EXPECT_EQ(walk.tracks[1].component, 2);
  const CosChore& fade = costume->chores[1];
  EXPECT_STREQ(fade.name, "fade out");
  ASSERT_EQ(fade.numTracks, 1);
  float second = 0;
  memcpy(&second, &fade.tracks[0].keys[1].value, 4);
  EXPECT_FLOAT_EQ(second, 0.25f);
  // Loading the same name in any case gives the same costume without reading.
  EXPECT_EQ(Cos_Load("SAMPLE.COS"), h);
  EXPECT_EQ(g_opened.size(), 1u);
}

TEST_F(FileTest, WriterLayoutIsExact) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "fade", 12, kFloat, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "arm", 13, kModel, 11, kModel, nullptr), 1);
  const int chore = CosUtil_AddChore(costume);
  CosUtil_NameChore(costume, chore, "wave");
  ASSERT_EQ(CosUtil_AddFSKey(costume, chore, 2, 5, 1), 1);
  ASSERT_EQ(CosUtil_AddFloatKey(costume, chore, 1, 10, 0.5f), 1);
  ASSERT_EQ(CosUtil_Write("dir\\out.cos", costume, "made by a test"), 1);
  EXPECT_STREQ(costume->name, "out.cos") << "renamed after its file";
  const std::string expected =
      "# made by a test\n"
      "costume v0.1\n\n\n"
      "section tags\n"
      "\tnumtags 2\n\n"
      "#\tID\tTag\t\t\tClass\tName\n"
      "\t0\t'MMDL'\tfs\t\tmodel\n"
      "\t1\t'FLOT'\tfloat\t\tfloat thing\n"
      "\n\nsection components\n"
      "\tnumcomponents 3\n\n"
      "#\tID\tTagID\tHash\tParentID\tName\n"
      "\t0\t0\t\t0\t\t-1\t\t\tbody\n"
      "\t1\t1\t\t0\t\t-1\t\t\tfade\n"
      "\t2\t0\t\t0\t\t0\t\t\tarm\n"
      "\n\nsection chores\n"
      "\tnumchores 1\n\n"
      "#\tID\tLength\tTracks\tName\n"
      "\t0\t15\t\t2\t\t\twave\n"
      "\n\nsection keys\n"
      "chore 0\t# wave\n"
      "#\tCompID\tNumKeys\n"
      "#\t\tTime\t\tValue\n"
      "\t2\t\t\t1\t\t# arm\n"
      "\t\t5\t\t\t1\n"
      "\n"
      "#\tCompID\tNumKeys\n"
      "#\t\tTime\t\tValue\n"
      "\t1\t\t\t1\t\t# fade\n"
      "\t\t10\t\t\t0.500000\n"
      "\n";
  EXPECT_EQ(g_files["dir\\out.cos"], expected);
  EXPECT_EQ(g_opened.back(), "wt+ dir\\out.cos");
}

TEST_F(FileTest, RoundTripKeepsComponentsChoresTracksAndKeys) {
  // Writing renames the costume after its file, so the copy is read back
  // after the original is gone and compared with a fresh load of the sample.
  CosCostumeHandle h = LoadText("sample.cos", Sample());
  ASSERT_NE(h, 0);
  ASSERT_EQ(CosUtil_Write("copy.cos", CosUtil_PtrFromHandle(h), "copy"), 1);
  const std::string written = g_files["copy.cos"];
  Cos_Free(h);
  h = Cos_Load("sample.cos");
  const CosCostumeHandle h2 = Cos_Load("copy.cos");
  ASSERT_NE(h2, 0) << written;
  ASSERT_NE(h2, h);
  const CosCostume* a = CosUtil_PtrFromHandle(h);
  const CosCostume* b = CosUtil_PtrFromHandle(h2);
  ASSERT_EQ(a->numComponents, b->numComponents);
  for (int i = 0; i < a->numComponents; ++i) {
    EXPECT_STREQ(a->components[i].name, b->components[i].name);
    EXPECT_EQ(a->components[i].tag, b->components[i].tag);
    EXPECT_EQ(a->components[i].parent, b->components[i].parent);
    EXPECT_EQ(a->components[i].ordinal, b->components[i].ordinal);
  }
  ASSERT_EQ(a->numChores, b->numChores);
  for (int c = 0; c < a->numChores; ++c) {
    const CosChore& x = a->chores[c];
    const CosChore& y = b->chores[c];
    EXPECT_STREQ(x.name, y.name);
    EXPECT_EQ(x.length, y.length);
    ASSERT_EQ(x.numTracks, y.numTracks);
    for (int t = 0; t < x.numTracks; ++t) {
      EXPECT_EQ(x.tracks[t].component, y.tracks[t].component);
      ASSERT_EQ(x.tracks[t].numKeys, y.tracks[t].numKeys);
      for (int k = 0; k < x.tracks[t].numKeys; ++k) {
        EXPECT_EQ(x.tracks[t].keys[k].time, y.tracks[t].keys[k].time);
        EXPECT_EQ(x.tracks[t].keys[k].value, y.tracks[t].keys[k].value);
      }
    }
  }
  // Writing the copy again gives the same text.
  ASSERT_EQ(CosUtil_Write("copy2.cos", CosUtil_PtrFromHandle(h2), "copy"), 1);
  std::string again = g_files["copy2.cos"];
  EXPECT_EQ(again, written);
}

TEST_F(FileTest, ReaderToleratesCommentsOrderAndCrLf) {
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"comments and empty lines anywhere",
       Sample("section chores\n", "; a comment\n\n# another\nsection chores\n\n")},
      {"chore blocks in any order",
       Sample("chore 0\t# walk\n\t3\t2\n\t\t0\t1\n\t\t1000\t2\n\t1\t1\n\t\t250\t1\nchore 1\n"
              "\t4\t2\n\t\t0\t1.5\n\t\t400\t0.25\n",
              "chore 1\n\t4\t2\n\t\t0\t1.5\n\t\t400\t0.25\nchore 0\n\t3\t2\n\t\t0\t1\n\t\t1000\t2\n"
              "\t1\t1\n\t\t250\t1\n")},
      {"child before its parent",
       Sample("\t0\t0\t0\t-1\tbody.3do\n\t1\t1\t0\t0\tmesh0\n\t2\t1\t0\t0\tmesh1\n"
              "\t3\t2\t0\t0\twalk.key\n",
              "\t0\t1\t0\t2\tmesh0\n\t1\t1\t0\t2\tmesh1\n\t2\t0\t0\t-1\tbody.3do\n"
              "\t3\t2\t0\t2\twalk.key\n")},
      {"CR LF line ends",
       [] {
         std::string text = kSampleCostume, out;
         for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return out;
       }()},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "case" + std::to_string(n++) + ".cos";
    const CosCostumeHandle h = LoadText(name, c.text);
    ASSERT_NE(h, 0) << c.what << ": " << (g_log.empty() ? "" : g_log.back());
    const CosCostume* costume = CosUtil_PtrFromHandle(h);
    EXPECT_EQ(costume->numComponents, 5) << c.what;
    ASSERT_EQ(costume->numChores, 2) << c.what;
    ASSERT_EQ(costume->chores[0].numTracks, 2) << c.what;
    // The keyframe track reaches the keyframe component through the map.
    const int k = costume->chores[0].tracks[0].component;
    EXPECT_STREQ(costume->components[k].name, "walk.key") << c.what;
    Cos_Free(h);
  }
}

TEST_F(FileTest, KeysAreFilteredSortedAndDropped) {
  struct Case {
    const char* what;
    const char* keys;  // keys of the walk.key track (declared count 3)
    std::vector<std::pair<int, int>> expected;
  } cases[] = {
      {"beyond the length dropped, at the length kept",
       "\t\t0\t1\n\t\t1000\t2\n\t\t1001\t3\n",
       {{0, 1}, {1000, 2}}},
      {"negative time dropped, the rest kept",
       "\t\t0\t1\n\t\t-5\t2\n\t\t500\t3\n",
       {{0, 1}, {500, 3}}},
      {"out of order sorted",
       "\t\t700\t1\n\t\t100\t2\n\t\t400\t3\n",
       {{100, 2}, {400, 3}, {700, 1}}},
      {"repeated time keeps the last", "\t\t100\t1\n\t\t100\t2\n\t\t50\t3\n", {{50, 3}, {100, 2}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string text =
        Sample("\t3\t2\n\t\t0\t1\n\t\t1000\t2\n", std::string("\t3\t3\n") + c.keys);
    const std::string name = "keys" + std::to_string(n++) + ".cos";
    const CosCostumeHandle h = LoadText(name, text);
    ASSERT_NE(h, 0) << c.what;
    const CosTrack& track = CosUtil_PtrFromHandle(h)->chores[0].tracks[0];
    std::vector<std::pair<int, int>> got;
    for (int k = 0; k < track.numKeys; ++k)
      got.emplace_back(track.keys[k].time, track.keys[k].value);
    EXPECT_EQ(got, c.expected) << c.what;
    EXPECT_EQ(track.lastTime, c.expected.back().first) << c.what;
    Cos_Free(h);
  }
}

TEST_F(FileTest, KeysOfATagWithoutApplyKeyAreDropped) {
  const std::string text =
      "costume v0.1\nsection tags\n numtags 1\n 0 'NOKY' int no keys\n"
      "section components\n numcomponents 1\n 0 0 0 -1 quiet\n"
      "section chores\n numchores 1\n 0 100 1 c\nsection keys\nchore 0\n 0 1\n 10 1\n";
  const CosCostumeHandle h = LoadText("quiet.cos", text);
  ASSERT_NE(h, 0);
  const CosChore& chore = CosUtil_PtrFromHandle(h)->chores[0];
  ASSERT_EQ(chore.numTracks, 1);
  EXPECT_EQ(chore.tracks[0].numKeys, 0);
}

TEST_F(FileTest, MalformedFilesFailAndReleaseEverything) {
  const std::string name33(33, 'n');
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty file", ""},
      {"not a costume", "hello\n"},
      {"ends after the version", "costume v0.1\n"},
      {"bad class word", Sample("\tfs\t\tmodel", "\tbig\t\tmodel")},
      {"tag id out of range", Sample("\t3\t'FLOT'", "\t100\t'FLOT'")},
      {"negative tag id", Sample("\t3\t'FLOT'", "\t-1\t'FLOT'")},
      {"tag quote missing", Sample("'MMDL'\t", "'MMDL\t")},
      {"tag name too long", Sample("\tmodel\n", "\t" + std::string(32, 'm') + "\n")},
      {"no components", Sample("numcomponents 5", "numcomponents 0")},
      {"component of an unlisted tag id", Sample("\t4\t3\t0\t-1\tfade", "\t4\t7\t0\t-1\tfade")},
      {"component of an unregistered tag", Sample("'FLOT'\tfloat", "'FLOA'\tfloat")},
      {"tag name that does not match", Sample("float thing", "float things")},
      {"class that does not match", Sample("'FLOT'\tfloat", "'FLOT'\tint")},
      {"component name too long",
       Sample("\t4\t3\t0\t-1\tfade", "\t4\t3\t0\t-1\t" + std::string(32, 'f'))},
      {"parent position out of range", Sample("\t2\t1\t0\t0\tmesh1", "\t2\t1\t0\t9\tmesh1")},
      {"parent cycle", Sample("\t1\t1\t0\t0\tmesh0\n\t2\t1\t0\t0\tmesh1",
                              "\t1\t1\t0\t2\tmesh0\n\t2\t1\t0\t1\tmesh1")},
      {"ordinal that does not exist", Sample("\t2\t1\t0\t0\tmesh1", "\t2\t1\t3\t0\tmesh1")},
      {"too few component rows", Sample("numcomponents 5", "numcomponents 6")},
      {"huge component count", Sample("numcomponents 5", "numcomponents 2147483647")},
      {"number too large", Sample("numcomponents 5", "numcomponents 99999999999")},
      {"huge chore count", Sample("numchores 2", "numchores 2000000000")},
      {"huge key count", Sample("\t3\t2\n", "\t3\t2000000000\n")},
      {"chore number out of range", Sample("chore 1\n", "chore 2\n")},
      {"chore block repeated", Sample("chore 1\n", "chore 0\n")},
      {"track position out of range", Sample("\t4\t2\n", "\t5\t2\n")},
      {"two tracks on one component", Sample("\t1\t1\n", "\t3\t1\n")},
      {"bad key row", Sample("\t\t250\t1\n", "\t\t250\tx\n")},
      {"line of blanks", Sample("section chores\n", "section chores\n   \n")},
      {"missing keys header",
       "costume v0.1\nsection tags\n numtags 1\n 0 'KEYF' int keyframe\n"
       "section components\n numcomponents 1\n 0 0 0 -1 walk\n"
       "section chores\n numchores 0\n"},
  };
  for (const Case& c : cases) {
    g_events.clear();
    g_files["bad.cos"] = c.text;
    EXPECT_EQ(Cos_Load("bad.cos"), 0) << c.what;
    EXPECT_EQ(Cos_GetCostumeName(1), nullptr) << c.what << ": the slot stays free";
    int added = 0, freed = 0;
    for (const std::string& e : g_events) {
      added += e.rfind("add ", 0) == 0;
      freed += e.rfind("free ", 0) == 0;
    }
    // Every component made for the failed load was given back (the float tag
    // has no free callback, so count only what the others made).
    int addedWithFree = 0;
    for (const std::string& e : g_events) {
      addedWithFree += e.rfind("add ", 0) == 0 && e.find("FLOT") == std::string::npos;
    }
    EXPECT_LE(freed, added) << c.what;
    EXPECT_EQ(freed, addedWithFree) << c.what;
  }
  EXPECT_EQ(Cos_Load("missing.cos"), 0);
  EXPECT_EQ(Cos_Load((name33 + ".cos").c_str()), 0);
  // A name part of exactly 32 characters is allowed; the costume keeps 31.
  const std::string name32 = std::string(28, 'n') + ".cos";
  const CosCostumeHandle h = LoadText("dir\\" + name32, Sample());
  ASSERT_NE(h, 0);
  EXPECT_EQ(std::string(CosUtil_PtrFromHandle(h)->name), name32.substr(0, 31));
}

TEST_F(FileTest, RefusingAddComponentFailsTheLoad) {
  g_addRefuses = true;
  EXPECT_EQ(LoadText("sample.cos", Sample()), 0);
  EXPECT_EQ(Cos_GetCostumeName(1), nullptr);
}

TEST_F(FileTest, TagIdsOfAnEarlierFileDoNotLeakIntoTheNext) {
  ASSERT_NE(LoadText("sample.cos", Sample()), 0);
  // This file lists no tag 3 but a component uses it.
  const std::string text =
      "costume v0.1\nsection tags\n numtags 0\n"
      "section components\n numcomponents 1\n 0 3 0 -1 fade\n"
      "section chores\n numchores 0\nsection keys\n";
  EXPECT_EQ(LoadText("second.cos", text), 0);
}

TEST_F(FileTest, RefusedWritesLeaveTheFileAlone) {
  const CosCostumeHandle h = LoadText("sample.cos", Sample());
  ASSERT_NE(h, 0);
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  const std::string long33 = std::string(29, 'x') + ".cos";
  g_files[long33] = "precious";
  g_files["dir\\" + long33] = "precious";
  EXPECT_EQ(CosUtil_Write(long33.c_str(), costume, "c"), 0);
  EXPECT_EQ(CosUtil_Write(("dir\\" + long33).c_str(), costume, "c"), 0);
  EXPECT_EQ(g_files[long33], "precious");
  EXPECT_EQ(g_files["dir\\" + long33], "precious");
  EXPECT_STREQ(costume->name, "sample.cos");

  // The save hook can cancel the write before anything is touched.
  static std::vector<std::string> calls;
  calls.clear();
  Cos_RegisterSaveHook([](const char* path, CosCostumeHandle handle, const char* comment) {
    calls.push_back(std::string(path) + " " + std::to_string(handle) + " " + comment);
    return 0;
  });
  g_files["keep.cos"] = "precious";
  EXPECT_EQ(CosUtil_Write("keep.cos", costume, "why"), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"keep.cos 1 why"}));
  EXPECT_EQ(g_files["keep.cos"], "precious");
  Cos_RegisterSaveHook(nullptr);

  // Two tracks on one component: refused.
  CosChore& chore = costume->chores[0];
  const int saved = chore.tracks[1].component;
  chore.tracks[1].component = chore.tracks[0].component;
  EXPECT_EQ(CosUtil_Write("keep.cos", costume, "c"), 0);
  chore.tracks[1].component = saved;
  EXPECT_EQ(g_files["keep.cos"], "precious");

  // A null costume is a programming error: the assertion, no file.
  EXPECT_EQ(CosUtil_Write("keep.cos", nullptr, "c"), 0);
  EXPECT_EQ(g_asserts, (std::vector<std::string>{"pCostume != NULL"}));
  EXPECT_EQ(CosUtil_Write("keep.cos", costume, "c"), 1);
}

}  // namespace
}  // namespace chore_test
