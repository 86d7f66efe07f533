// The music script with a small table (STATE_NULL, "town", "forest";
// SEQ_NULL, "chase" of type 4, "fanfare" of type 6) against a recording fake
// of the library: the calls of every transition type, queued sequences, hook
// cycling, the end attribute, the tables' checks and the save block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MelosScriptFake.h"
#include "melos/MelosScript.h"

using namespace melos_fixtures;

namespace {

using Calls = std::vector<std::string>;

int32_t LoadNothing(const char*, int32_t) {
  return 0;
}
int FreeNothing(int32_t) {
  return 0;
}

struct Forest {
  int type = 3;
  int hookAttribute = 0;
  int cycle = 0;
  const char* music = "forest";
  int townHookAttribute = 0;
};

std::vector<std::string> TableLines(const Forest& f) {
  return {
      "# states: index id name music type hook cycle fade volume pan",
      "state 0 1000 STATE_NULL - 0 0 0 0 0 0",
      "state 1 1999 town town 2 " + std::to_string(f.townHookAttribute) + " 0 500 100 64",
      "state 2 1001 forest " + std::string(f.music) + " " + std::to_string(f.type) + " " +
          std::to_string(f.hookAttribute) + " " + std::to_string(f.cycle) + " 500 90 32",
      "",
      "sequence 0 2000 SEQ_NULL - 0 0 0 0 0 0",
      "sequence 1 2001 chase chase 4 0 0 0 127 64",
      "sequence 2 2002 fanfare fanfare 6 0 0 0 127 64",
      "name town town.mlc",
      "name forest forest.mlc",
      "name chase chase.mlc",
  };
}

void LoadTables(const std::vector<std::string>& lines) {
  MelosScript_BeginTables();
  for (const std::string& line : lines) {
    const char* why = nullptr;
    ASSERT_EQ(MelosScript_TableLine(line.c_str(), &why), 0) << line << ": " << why;
  }
  ASSERT_EQ(MelosScript_EndTables(nullptr), 0);
}

class MusicScript : public ::testing::Test {
 protected:
  void SetUp() override { Start(Forest{}); }
  void TearDown() override {
    Melos_Script(MELOS_SCRIPT_SHUTDOWN);
    FakeLibrary::Uninstall();
    MelosScript_NullTables();
  }
  void Start(const Forest& forest) {
    Melos_Script(MELOS_SCRIPT_SHUTDOWN);
    FakeLibrary::Install();
    LoadTables(TableLines(forest));
    const MelosScriptHost host{LoadNothing, FreeNothing, FakeLibrary::Open, FakeLibrary::Close, 1};
    ASSERT_EQ(Melos_Script(MELOS_SCRIPT_INIT, reinterpret_cast<intptr_t>(&host)), 0);
    FakeLibrary::Take();
  }
  // Enters "town", whose music starts as the stream 10001.
  void EnterTown() {
    ASSERT_EQ(Melos_SetState(1999), 1999);
    FakeLibrary::Take();
  }
};

TEST_F(MusicScript, TheFirstMusicStartsAsAStream) {
  EXPECT_EQ(Melos_SetState(1999), 1999);
  EXPECT_EQ(
      FakeLibrary::Take(),
      (Calls{"open town.mlc", "stream 10001 126 2", "set 10001 0x600 0", "fade 10001 0x600 100 30",
             "set 10001 0x700 64", "set 10001 0x400 4", "hook 10001 100", "set 10001 0x400 4"}));
  // The same state again changes nothing; an unknown one answers 0.
  EXPECT_EQ(Melos_SetState(1999), 1999);
  EXPECT_EQ(Melos_SetState(1500), 0);
  EXPECT_EQ(Melos_SetState(-1), 1999);
  EXPECT_TRUE(FakeLibrary::Take().empty());
  // Back to STATE_NULL: the music fades out.
  EXPECT_EQ(Melos_SetState(1000), 1000);
  EXPECT_EQ(FakeLibrary::Take(), Calls{"fade 10001 0x600 0 120"});
}

TEST_F(MusicScript, EveryTransitionType) {
  const Calls none;
  const Calls switched = {"open forest.mlc",
                          "switch 10001 10002 500 0 0",
                          "fade 10002 0x600 90 30",
                          "fade 10002 0x700 32 30",
                          "set 10002 0x400 4",
                          "hook 10002 100",
                          "service",
                          "close 10001",
                          "set 10002 0x400 4"};
  Calls withEnd = switched;
  withEnd.insert(withEnd.begin() + 1, "trigger 10002 _end 0");
  const auto exits = [](const char* m) {
    const std::string at = std::string("trigger 10001 ") + m + " ";
    return Calls{at + "26 10001 10002 500 1", at + "14 10002 1536 90 30",
                 at + "14 10002 1792 32 30", at + "12 10002 1024 4", at + "15 10002 100"};
  };
  const auto join = [](std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct Case {
    int type;
    Calls calls;
  };
  const Case cases[] = {
      {0, none},
      {1, none},
      {2, switched},
      {3, switched},
      {4, withEnd},
      {5, none},
      {6, {"trigger 12345680 _end 0"}},
      {7, {"fade 10001 0x600 0 60"}},
      {8, {"hook 10001 100"}},
      {9, {"hook 10001 99", "trigger 10001 _end 0"}},
      {10, join({{"open forest.mlc"}, exits("exit"), {"service", "set 10002 0x400 4"}})},
      {11, join({{"open forest.mlc"}, exits("exit2"), {"service", "set 10002 0x400 4"}})},
      {12, join({{"open forest.mlc", "hook 10001 99", "trigger 10001 clear 15 10001 128"},
                 exits("exit"),
                 {"service", "set 10002 0x400 4"}})},
      {13, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    Forest forest;
    forest.type = c.type;
    Start(forest);
    EnterTown();
    EXPECT_EQ(Melos_SetState(1001), 1001);
    EXPECT_EQ(FakeLibrary::Take(), c.calls);
    EXPECT_EQ(MelosScript_CurrentState(), 2);
  }
}

TEST_F(MusicScript, SpecialChangeOvers) {
  // The same music: only its volume and pan fade.
  Forest same;
  same.music = "town";
  Start(same);
  EnterTown();
  Melos_SetState(1001);
  EXPECT_EQ(FakeLibrary::Take(),
            (Calls{"fade 10001 0x600 90 30", "fade 10001 0x700 32 30", "set 10001 0x400 4"}));

  // States sharing a hook attribute keep the musical position.
  Forest shared;
  shared.hookAttribute = shared.townHookAttribute = 7;
  Start(shared);
  EnterTown();
  Melos_SetState(1001);
  EXPECT_EQ(FakeLibrary::Take(),
            (Calls{"open forest.mlc", "switch 10001 10002 500 0 1", "fade 10002 0x600 90 30",
                   "fade 10002 0x700 32 30", "set 10002 0x400 4", "hook 10002 100", "service",
                   "close 10001", "set 10002 0x400 4"}));

  // A file that cannot be opened fades the music out; resident music of
  // group 4 fades out at every change.
  Start(Forest{});
  EnterTown();
  FakeLibrary::playing[100] = {0, 0, 4};
  FakeLibrary::failOpen = true;
  Melos_SetState(1001);
  EXPECT_EQ(FakeLibrary::Take(),
            (Calls{"fade 100 0x600 0 120", "open forest.mlc", "fade 10001 0x600 0 60"}));
}

TEST_F(MusicScript, HookCycleOfFour) {
  Forest forest;
  forest.type = 2;
  forest.cycle = 4;
  Start(forest);
  EnterTown();
  std::vector<std::string> hooks;
  for (int i = 0; i < 6; ++i) {
    Melos_SetState(1001);
    for (const std::string& c : FakeLibrary::Take())
      if (c.rfind("hook 10002 ", 0) == 0) hooks.push_back(c.substr(11));
    Melos_SetState(1999);
    FakeLibrary::Take();
  }
  EXPECT_EQ(hooks, (Calls{"100", "2", "3", "4", "1", "2"}));
}

TEST_F(MusicScript, AStateSetDuringASequenceWaitsForItsEnd) {
  EnterTown();
  EXPECT_EQ(Melos_SetSequence(2001), 2001);
  EXPECT_EQ(FakeLibrary::Take(),
            (Calls{"open chase.mlc", "trigger 10002 _end 0", "switch 10001 10002 1000 0 0",
                   "fade 10002 0x600 127 60", "fade 10002 0x700 64 60", "set 10002 0x400 4",
                   "hook 10002 100", "service", "close 10001", "set 10002 0x400 4"}));
  EXPECT_EQ(MelosScript_Attribute(186), 1);
  EXPECT_EQ(Melos_SetSequence(-1), 2001);
  // Nothing audible happens while the sequence plays.
  EXPECT_EQ(Melos_SetState(1001), 1001);
  EXPECT_TRUE(FakeLibrary::Take().empty());
  // Its "_end" marker ends it at the next tick; the state's music follows.
  MelosScript_Callback("_end", nullptr);
  EXPECT_EQ(MelosScript_Attribute(MELOS_ATTR_END), 1);
  Melos_Script(MELOS_SCRIPT_TICK);
  EXPECT_EQ(MelosScript_CurrentSequence(), 0);
  EXPECT_EQ(MelosScript_Attribute(MELOS_ATTR_END), 0);
  const Calls calls = FakeLibrary::Take();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], "open forest.mlc");
  EXPECT_EQ(calls[1], "switch 10002 10003 500 0 0");
}

TEST_F(MusicScript, SequencesQueueBehindTypes4And6) {
  EnterTown();
  for (const int first : {2001, 2002}) {
    SCOPED_TRACE(first);
    const int second = first == 2001 ? 2002 : 2001;
    ASSERT_EQ(Melos_SetSequence(first), first);
    EXPECT_EQ(Melos_SetSequence(second), first);  // queued
    EXPECT_EQ(MelosScript_NextSequence(), second - 2000);
    FakeLibrary::Take();
    // Ending the first starts the queued one.
    EXPECT_EQ(Melos_SetSequence(0), second);
    EXPECT_EQ(MelosScript_CurrentSequence(), second - 2000);
    EXPECT_EQ(MelosScript_NextSequence(), 0);
    EXPECT_FALSE(FakeLibrary::Take().empty());
    EXPECT_EQ(Melos_SetSequence(2000), 2000);
    FakeLibrary::Take();
  }
  EXPECT_EQ(Melos_SetSequence(2399), -1);
}

TEST_F(MusicScript, TheEndAttributeEndsTheSequenceAtTheNextTick) {
  EnterTown();
  Melos_SetSequence(2001);
  EXPECT_EQ(Melos_SetAttribute(MELOS_ATTR_END, 1), 1);
  EXPECT_EQ(MelosScript_CurrentSequence(), 1);
  Melos_Script(MELOS_SCRIPT_TICK);
  EXPECT_EQ(MelosScript_CurrentSequence(), 0);
  // A tick with no music stream playing ends a sequence too.
  Melos_SetSequence(2001);
  FakeLibrary::playing.clear();
  Melos_Script(MELOS_SCRIPT_TICK);
  EXPECT_EQ(MelosScript_CurrentSequence(), 0);
}

TEST_F(MusicScript, AttributesAndOpcodes) {
  EXPECT_EQ(Melos_SetCuePoint(5), 0);
  EXPECT_EQ(Melos_SetAttribute(12, 7), 7);
  EXPECT_EQ(Melos_SetAttribute(12, -1), 7);
  EXPECT_EQ(Melos_SetAttribute(228, 1), 0);
  EXPECT_EQ(Melos_SetAttribute(-2, 1), 0);
  EXPECT_EQ(Melos_SetAttribute(-1, 0), 0);
  EXPECT_EQ(Melos_SetAttribute(-1, 1), 0);
  EXPECT_EQ(FakeLibrary::Take(), (Calls{"pause", "resume"}));
  EXPECT_EQ(Melos_SetAttribute(-1, -1), 0);
  EXPECT_EQ(MelosScript_Attribute(12), 0);
  // The names of the states and sequences, as far as they fit.
  char names[64];
  EXPECT_EQ(Melos_Script(MELOS_SCRIPT_ATTRIBUTE, MELOS_ATTR_NAMES,
                         reinterpret_cast<intptr_t>(names), sizeof names),
            6);
  EXPECT_STREQ(names, "STATE_NULL");
  EXPECT_STREQ(names + 11, "town");
  EXPECT_EQ(Melos_SetAttribute(MELOS_ATTR_NAMES, 12345), 6);  // no buffer: nothing written
  EXPECT_EQ(Melos_Script(99), -1);
  const MelosScriptHost host{};
  EXPECT_EQ(Melos_Script(MELOS_SCRIPT_INIT, reinterpret_cast<intptr_t>(&host)), -1);
  Melos_Script(MELOS_SCRIPT_SHUTDOWN);
  EXPECT_EQ(Melos_SetCuePoint(5), -1);
  EXPECT_EQ(Melos_SetState(1999), -1);
}

TEST_F(MusicScript, SaveAndRestore) {
  EnterTown();
  Melos_SetSequence(2001);
  Melos_SetSequence(2002);  // queued
  Melos_SetAttribute(40, 3);
  std::vector<uint8_t> block(MELOS_SCRIPT_SAVE + MELOS_FILE_SAVE_ROOM);
  EXPECT_EQ(Melos_Script(MELOS_SCRIPT_SAVE_BLOCK, reinterpret_cast<intptr_t>(block.data()), 923),
            -1);
  const int length =
      Melos_Script(MELOS_SCRIPT_SAVE_BLOCK, reinterpret_cast<intptr_t>(block.data()), block.size());
  ASSERT_EQ(length, MELOS_SCRIPT_SAVE + 8 + MELOS_FILE_RECORD);  // the chase's file

  Start(Forest{});
  FakeLibrary::playing[10002] = {1, 2, 4};  // the chase plays on
  EXPECT_EQ(Melos_Script(MELOS_SCRIPT_RESTORE, reinterpret_cast<intptr_t>(block.data()), length),
            length);
  EXPECT_EQ(MelosScript_CurrentState(), 1);
  EXPECT_EQ(MelosScript_CurrentSequence(), 1);
  EXPECT_EQ(MelosScript_NextSequence(), 2);
  EXPECT_EQ(MelosScript_Attribute(40), 3);
  EXPECT_EQ(MelosScript_Attribute(186), 1);
  EXPECT_EQ(MelosFiles_Find("chase.mlc"), 10002);
  // Indices outside the tables are damage.
  block[0] = 9;
  EXPECT_EQ(Melos_Script(MELOS_SCRIPT_RESTORE, reinterpret_cast<intptr_t>(block.data()), length),
            0);
}

TEST(MusicTables, BadFilesLeaveOnlyTheNullRows) {
  const std::vector<std::string> good = TableLines(Forest{});
  struct Case {
    size_t line;  // replaced
    const char* text;
  };
  const Case cases[] = {
      {1, "state 0 1000 NOT_NULL - 0 0 0 0 0 0"},
      {2, "state 1 1998 town town 2 0 0 500 100 64"},
      {3, "state 3 1001 forest forest 3 0 0 500 90 32"},
      {3, "state 2 1999 forest forest 3 0 0 500 90 32"},
      {3, "state 2 1001 forest forest 3 225 0 500 90 32"},
      {3, "state 2 1001 forest forest 3 0 0 500 128 32"},
      {3, "state 2 1001 forest forest 3 0 0 500 90"},
      {3, "state 2 2001 forest forest 3 0 0 500 90 32"},
      {3, "state 2 1001 a_name_of_more_than_23_chars forest 3 0 0 500 90 32"},
      {5, "sequence 0 2001 SEQ_NULL - 0 0 0 0 0 0"},
      {8, "name town"},
      {8, "tune town town.mlc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> lines = good;
    lines[c.line] = c.text;
    MelosScript_BeginTables();
    bool bad = false;
    for (const std::string& line : lines) bad = MelosScript_TableLine(line.c_str(), nullptr) || bad;
    const char* why = nullptr;
    EXPECT_TRUE(MelosScript_EndTables(&why) != 0 || bad);
    EXPECT_NE(why, nullptr);
    EXPECT_EQ(MelosScript_StateCount(), 1);
    EXPECT_EQ(MelosScript_SequenceCount(), 1);
    EXPECT_EQ(MelosScript_State(0)->id, 1000);
    EXPECT_EQ(MelosScript_Sequence(0)->id, 2000);
  }
  // The highest hook attribute that keeps its counter in the table is fine.
  std::vector<std::string> lines = good;
  lines[3] = "state 2 1001 forest forest 3 224 0 500 90 32";
  LoadTables(lines);
  EXPECT_EQ(MelosScript_StateCount(), 3);
  MelosScript_NullTables();
}

}  // namespace
