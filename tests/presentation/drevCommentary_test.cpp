// The director's commentary: the definition file (written by the test),
// lookups and selection from scripts, playback with ducking, the strip and
// paged subtitles over recording fakes of the music host, the text module,
// the text cache and the overlays, and the "COMS" block.
#include "presentation/drevCommentary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../SoundNameText.h"
#include "../script/ScriptTestSupport.h"
#include "presentation/drevText.h"

namespace {

struct Fakes {
  std::string started, stopped;
  int startResult = 1;
  int position = 0;
  int volumes[6] = {};
  int movieActive = 0, movieDucking = 0;
  int setting = 1;
  uint32_t lineCount = 1;
  std::vector<int32_t> lineValues;
  std::vector<std::unique_ptr<TextObject>> texts;  // made and not destroyed
  int destroyed = 0;
  int strips = 0, stripLayer = 0, stripWidth = 0, stripHeight = 0, overlaysDestroyed = 0;
  std::vector<int> notified;
};
Fakes* g_fakes = nullptr;

drevCommentaryCalls FakeCalls() {
  drevCommentaryCalls c{};
  c.startSound = [](SoundName name, int priority, int group) {
    EXPECT_EQ(124, priority);
    EXPECT_EQ(5, group);
    g_fakes->started = vqtest::SoundText(name);
    return g_fakes->startResult;
  };
  c.stopSound = [](SoundName name) {
    g_fakes->stopped = vqtest::SoundText(name);
    return 1;
  };
  c.soundParam = [](SoundName, int parameter) {
    EXPECT_EQ(6656, parameter);
    return g_fakes->position;
  };
  c.groupVolume = [](int group, int value) {
    const int old = g_fakes->volumes[group];
    if (value >= 0) g_fakes->volumes[group] = value;
    return old;
  };
  c.movieActive = [] { return g_fakes->movieActive; };
  c.setMovieDucking = [](int on) { g_fakes->movieDucking = on; };
  c.translate = [](const char* text, char*) { return text; };
  c.createText = [](const TextLayout* layout, const char* text) {
    auto object = std::make_unique<TextObject>();
    std::memset(object.get(), 0, sizeof(TextObject));
    std::strncpy(object->text, text, sizeof object->text - 1);
    object->layout = *layout;
    object->lineCount = 999999;
    g_fakes->texts.push_back(std::move(object));
    return g_fakes->texts.back().get();
  };
  c.registerText = [](TextObject* object, int timeLeft, uint32_t state) {
    object->timeLeft = timeLeft;
    object->state = state;
    return object;
  };
  c.destroyText = [](TextObject* object) {
    ++g_fakes->destroyed;
    for (auto it = g_fakes->texts.begin(); it != g_fakes->texts.end(); ++it) {
      if (it->get() == object) {
        g_fakes->texts.erase(it);
        return;
      }
    }
    ADD_FAILURE() << "destroyed a text object that was not made";
  };
  c.lineCount = [](TextObject*) { return g_fakes->lineCount; };
  c.lineValues = [](TextObject*, int32_t* counts, uint32_t max) {
    uint32_t n = 0;
    for (; n < max && n < g_fakes->lineValues.size(); ++n) counts[n] = g_fakes->lineValues[n];
    return n;
  };
  c.createStrip = [](const char* image, int layer, int width, int height) {
    EXPECT_STREQ("fadebox-top.png", image);
    ++g_fakes->strips;
    g_fakes->stripLayer = layer;
    g_fakes->stripWidth = width;
    g_fakes->stripHeight = height;
    return 7;
  };
  c.destroyOverlay = [](int id) {
    EXPECT_EQ(7, id);
    ++g_fakes->overlaysDestroyed;
  };
  c.notifyScripts = [](int playing) { g_fakes->notified.push_back(playing); };
  c.readSetting = [](const char* name, int) {
    EXPECT_STREQ("DirectorsCommentary", name);
    return g_fakes->setting;
  };
  return c;
}

const char* kDefinitions = R"(# two tracks
Outro
outro.wav
0
; the long one
Intro
intro.wav
4
0 /LINE_A/ 0 1000
14 /LINE_B/ 1000 5000
15 /LINE_C/ 5000 6000
3 /LINE_D/ 6000 7000
)";

class Commentary : public ScriptModuleTest {
 protected:
  void SetUp() override {
    ScriptModuleTest::SetUp();
    g_fakes = &fakes_;
    drevCommentary_Calls() = FakeCalls();
    ASSERT_EQ(0, drevCommentary_Initialize(&hs_, &com_));
    ASSERT_EQ(drevCommentary_Save, com_.save);
    ASSERT_EQ(0, com_.startup());
    WriteFile("commentary_def.txt", kDefinitions);
    ASSERT_EQ(0, drevCommentary_LoadDefinitions());
  }
  void TearDown() override {
    drevCommentary_StopImmediately();
    com_.shutdown();
    com_.uninitialize();
    drevCommentary_ResetCalls();
    g_fakes = nullptr;
    ScriptModuleTest::TearDown();
  }
  // The commentary plays with the sound at this position.
  void At(int ms) {
    fakes_.position = ms;
    drevCommentary_Update();
  }
  Fakes fakes_;
  ModuleDescriptor com_{};
};

TEST_F(Commentary, DefinitionsAreSortedAndFoundInAnyCase) {
  ASSERT_EQ(2, drevCommentary_GetEntryCount());
  const CommentaryEntry* intro = drevCommentary_GetEntry(0);
  EXPECT_STREQ("intro", intro->name);
  EXPECT_STREQ("intro.wav", intro->sound);
  ASSERT_EQ(4, intro->lineCount);
  EXPECT_STREQ("/line_b/", intro->lines[1].text);
  EXPECT_EQ(14, intro->lines[1].colour);
  EXPECT_EQ(0, intro->lines[2].colour) << "colour 15 is outside the table";
  EXPECT_EQ(1000, intro->lines[1].start);
  EXPECT_EQ(5000, intro->lines[1].end);
  EXPECT_EQ(1, drevCommentary_GetEntry(1)->index);
  EXPECT_EQ(0, RunLua("SetCommentary('Intro')"));
  EXPECT_EQ(0, drevCommentary_GetSelected());
  EXPECT_EQ(0, RunLua("SetCommentary('nothing')"));
  EXPECT_EQ(-1, drevCommentary_GetSelected());
  EXPECT_EQ(0, RunLua("SetCommentary('OUTRO') ClearCommentary()"));
  EXPECT_EQ(-1, drevCommentary_GetSelected());
}

TEST_F(Commentary, LongNamesCompareOnTheirFirst32Characters) {
  const std::string name40 = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
  WriteFile("commentary_def.txt", name40 + "\nlong.wav\n0\n");
  ASSERT_EQ(0, drevCommentary_LoadDefinitions());
  ASSERT_EQ(1, drevCommentary_GetEntryCount()) << "the table is read anew";
  EXPECT_EQ(32u, std::strlen(drevCommentary_GetEntry(0)->name));
  EXPECT_EQ(0, RunLua("SetCommentary('" + name40 + "')"));
  EXPECT_EQ(0, drevCommentary_GetSelected());
  EXPECT_EQ(0, RunLua("SetCommentary('" + name40.substr(0, 32) + "zzzz')"));
  EXPECT_EQ(0, drevCommentary_GetSelected()) << "what follows the 32nd character does not count";
  EXPECT_EQ(0, RunLua("SetCommentary('" + name40.substr(0, 31) + "')"));
  EXPECT_EQ(-1, drevCommentary_GetSelected());
}

TEST_F(Commentary, PlayingTwiceStopsAndTheSettingGuardsTheStart) {
  EXPECT_EQ(0, RunLua("SetCommentary('intro') PlayCurrentCommentary()"));
  EXPECT_EQ("intro.wav", fakes_.started);
  EXPECT_EQ(0, RunLua("assert(IsPlayingCommentary() == 1 and HasHeardCommentary('INTRO') == 1)"));
  EXPECT_EQ((std::vector<int>{0, 1}), fakes_.notified) << "stop first, then start";
  EXPECT_EQ(1, fakes_.strips);
  EXPECT_EQ(1, fakes_.stripLayer);
  EXPECT_EQ(3840, fakes_.stripWidth);
  EXPECT_EQ(300, fakes_.stripHeight);
  EXPECT_EQ(0, RunLua("PlayCurrentCommentary()"));
  EXPECT_EQ("intro.wav", fakes_.stopped);
  EXPECT_EQ(1, fakes_.overlaysDestroyed);
  EXPECT_EQ(0,
            RunLua("assert(IsPlayingCommentary() == nil and HasHeardCommentary('outro') == nil)"));
  EXPECT_EQ(0, RunLua("assert(HasHeardCommentary('undefined') == nil)"));
  // With the setting 0 nothing starts.
  fakes_.setting = 0;
  fakes_.started.clear();
  EXPECT_EQ(0, RunLua("SetCommentary('outro') PlayCurrentCommentary()"));
  EXPECT_EQ("", fakes_.started);
  EXPECT_EQ(0, drevCommentary_IsPlaying());
  EXPECT_EQ(0, RunLua("assert(HasHeardCommentary('outro') == nil)"));
}

TEST_F(Commentary, ASoundThatDoesNotStartIsNotHeard) {
  fakes_.startResult = 0;
  drevCommentary_Select("outro");
  drevCommentary_TogglePlay();
  EXPECT_EQ(0, drevCommentary_IsPlaying());
  EXPECT_EQ(-1, drevCommentary_GetPlaying());
  EXPECT_EQ(0, drevCommentary_HasHeard(1));
  EXPECT_EQ(0, fakes_.strips);
}

// With the engine's own calls, the music host that is not built yet starts
// nothing: the track is not heard and stopping calls only built neighbours.
TEST_F(Commentary, WithoutTheMusicHostNothingPlays) {
  drevCommentary_ResetCalls();
  drevCommentary_Calls().readSetting = [](const char*, int) { return 1; };
  drevCommentary_Select("outro");
  drevCommentary_TogglePlay();
  EXPECT_EQ(0, drevCommentary_IsPlaying());
  EXPECT_EQ(0, drevCommentary_HasHeard(1));
  drevCommentary_StopImmediately();
  drevCommentary_Calls() = FakeCalls();
}

TEST_F(Commentary, DuckingSparesSilentAndChangedGroups) {
  const int volumes[6] = {100, 0, 90, 80, 70, 60};
  std::copy(volumes, volumes + 6, fakes_.volumes);
  fakes_.movieActive = 1;
  drevCommentary_Select("intro");
  drevCommentary_TogglePlay();
  const int ducked[6] = {100, 0, 5, 5, 70, 60};
  EXPECT_TRUE(std::equal(ducked, ducked + 6, fakes_.volumes)) << "group 1 was silent";
  EXPECT_EQ(1, fakes_.movieDucking);
  fakes_.volumes[2] = 40;  // the scripts change a ducked group
  EXPECT_EQ(0, RunLua("EnableCommentary(1)"));
  EXPECT_EQ(1, drevCommentary_IsPlaying()) << "only 0 stops";
  EXPECT_EQ(0, RunLua("EnableCommentary(0)"));
  EXPECT_EQ(0, drevCommentary_IsPlaying());
  const int restored[6] = {100, 0, 40, 80, 70, 60};
  EXPECT_TRUE(std::equal(restored, restored + 6, fakes_.volumes));
  EXPECT_EQ(0, fakes_.movieDucking);
}

TEST_F(Commentary, SubtitlesShowAndPageTwoLinesAtATime) {
  fakes_.lineCount = 4;
  fakes_.lineValues = {2, 2, 2, 2};
  drevCommentary_Select("intro");
  drevCommentary_TogglePlay();
  At(0);
  ASSERT_EQ(1u, fakes_.texts.size());
  TextObject* first = fakes_.texts[0].get();
  EXPECT_STREQ("/line_a/", first->text);
  EXPECT_EQ(2, first->lineCount);
  EXPECT_EQ(1u, first->state);
  EXPECT_EQ(0x00288EE6u, first->layout.fgColor);
  EXPECT_EQ(40, first->layout.x);
  EXPECT_EQ(20, first->layout.y);
  EXPECT_EQ(TEXTFONT_WRAP, first->layout.flags);
  At(1001);  // the first subtitle ends, the second begins
  ASSERT_EQ(1u, fakes_.texts.size());
  TextObject* second = fakes_.texts[0].get();
  EXPECT_STREQ("/line_b/", second->text);
  // Lines 0-1 hold 4 of the text's 8 characters: they stay for half of the
  // subtitle's 4000 ms.
  const uint32_t pair = 2000;
  At(static_cast<int>(1000 + pair - 1));
  EXPECT_EQ(0, second->firstLine);
  At(static_cast<int>(1000 + pair));
  EXPECT_EQ(2, second->firstLine);
  At(4999);
  EXPECT_EQ(2, second->firstLine) << "never past the laid-out lines";
  // The sound's end ends the commentary.
  At(-4);
  EXPECT_EQ(0, drevCommentary_IsPlaying());
  EXPECT_TRUE(fakes_.texts.empty());
}

TEST_F(Commentary, TheTableHolds250Entries) {
  std::string text;
  for (int i = 0; i < 251; ++i) text += "track" + std::to_string(1000 + i) + "\ns.wav\n0\n";
  WriteFile("commentary_def.txt", text);
  ASSERT_EQ(0, drevCommentary_LoadDefinitions());
  EXPECT_EQ(250, drevCommentary_GetEntryCount());
  EXPECT_EQ(-1, drevCommentary_Find("track1250"));
  EXPECT_EQ(249, drevCommentary_Find("track1249"));
}

TEST_F(Commentary, ADefinitionWithTooManyLinesIsDropped) {
  std::string text = "toolong\ns.wav\n30\n";
  for (int i = 0; i < 30; ++i) text += "0 /x/ 0 10\n";
  text += "negative\ns.wav\n-2\nfine\nf.wav\n1\n0 /y/ 0 10\n";
  WriteFile("commentary_def.txt", text);
  ASSERT_EQ(0, drevCommentary_LoadDefinitions());
  ASSERT_EQ(1, drevCommentary_GetEntryCount());
  EXPECT_STREQ("fine", drevCommentary_GetEntry(0)->name);
  std::remove("commentary_def.txt");
  EXPECT_EQ(-1, drevCommentary_LoadDefinitions());
  EXPECT_EQ(0, drevCommentary_GetEntryCount());
}

std::vector<uint8_t> g_block;
size_t g_readAt = 0;

int Write(void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_block.insert(g_block.end(), bytes, bytes + size);
  return 0;
}

int Read(void* data, size_t size) {
  if (g_readAt + size > g_block.size()) return 1;
  std::memcpy(data, g_block.data() + g_readAt, size);
  g_readAt += size;
  return 0;
}

TEST_F(Commentary, TheComsBlockKeepsSelectionAndHeardBits) {
  drevCommentary_Select("outro");
  drevCommentary_TogglePlay();
  drevCommentary_StopImmediately();
  g_block.clear();
  ASSERT_EQ(0, com_.save(Write));
  ASSERT_EQ(36u, g_block.size());
  EXPECT_EQ(1, g_block[0]);
  EXPECT_EQ(2, g_block[4]) << "heard bit 1";
  ASSERT_EQ(0, com_.startup());  // a new game forgets
  drevCommentary_Select("nothing");
  EXPECT_EQ(0, drevCommentary_HasHeard(1));
  g_readAt = 0;
  ASSERT_EQ(0, com_.restore(Read));
  EXPECT_EQ(1, drevCommentary_GetSelected());
  EXPECT_EQ(1, drevCommentary_HasHeard(1));
  // A selection that names no definition selects none.
  for (int32_t bad : {999, -2, 2}) {
    for (int i = 0; i < 4; ++i)
      g_block[i] = static_cast<uint8_t>(static_cast<uint32_t>(bad) >> 8 * i);
    g_readAt = 0;
    ASSERT_EQ(0, com_.restore(Read));
    EXPECT_EQ(-1, drevCommentary_GetSelected()) << bad;
  }
  g_block.resize(20);
  g_readAt = 0;
  EXPECT_EQ(1, com_.restore(Read)) << "a short block";
}

}  // namespace
