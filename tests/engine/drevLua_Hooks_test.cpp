// The script runtime's user-data hooks for save games: an object state is
// kept by its setup and place in the current set, a font by its resource's
// saved identity, text objects by their serials.
#include <gtest/gtest.h>

#include "RoomTestSupport.h"
#include "engine/ObjectState.h"
#include "script/drevLua.h"

namespace {

using roomtest::RoomTest;

// Three setups, so the third (index 2) exists.
const char kThreeSetups[] =
    "section: colormaps\n"
    "\tnumcolormaps\t1\n"
    "\tcolormap\tRoom.CMP\n"
    "section: setups\n"
    "\tnumsetups\t3\n"
    "\tsetup\tone\n"
    "\tbackground\tone.bmp\n"
    "\tsetup\ttwo\n"
    "\tbackground\ttwo.bmp\n"
    "\tsetup\tthree\n"
    "\tbackground\tthree.bmp\n";

class SaveHooks : public RoomTest {};

TEST_F(SaveHooks, AnObjectStateIsKeptBySetupAndPlace) {
  world_.backgrounds = {"one.bmp", "two.bmp", "three.bmp", "door.bm"};
  world_.colormaps = {"room.cmp"};
  Room* room = Load(Write("three.set", kThreeSetups));
  ASSERT_NE(room, nullptr);
  drevRoom_MakeCurrent(room, nullptr);
  // Each new state goes to the head: the first made ends third (place 2).
  ObjectState* third = ObjectState_Create(2, 1, "door.bm", "", -1);
  ObjectState_Create(2, 1, "door.bm", "", -1);
  ObjectState* head = ObjectState_Create(2, 1, "door.bm", "", -1);
  ASSERT_NE(third, nullptr);
  const int64_t stored = drevLua_SaveHook(kTagObjectState, third);
  EXPECT_EQ(2 * 65536 + 2, stored);
  EXPECT_EQ(2 * 65536, drevLua_SaveHook(kTagObjectState, head));
  EXPECT_EQ(third, drevLua_RestoreHook(kTagObjectState, static_cast<uint32_t>(stored), 0));
  // Not in any list, or no set current: -1, which comes back as null.
  int unlisted = 0;
  EXPECT_EQ(-1, drevLua_SaveHook(kTagObjectState, &unlisted));
  EXPECT_EQ(nullptr, drevLua_RestoreHook(kTagObjectState, 0xFFFFFFFFu, 0));
  // A place or setup beyond the lists gives null.
  EXPECT_EQ(nullptr, drevLua_RestoreHook(kTagObjectState, 2 * 65536 + 9, 0));
  EXPECT_EQ(nullptr, drevLua_RestoreHook(kTagObjectState, 7 * 65536, 0));
  drevRoom_MakeCurrent(nullptr, nullptr);
  EXPECT_EQ(-1, drevLua_SaveHook(kTagObjectState, third));
}

TEST_F(SaveHooks, OtherTagsKeepTheirValues) {
  const int32_t tagText = kTagText;
  EXPECT_EQ(reinterpret_cast<void*>(uintptr_t{0x500000007}), drevLua_RestoreHook(tagText, 7, 5));
  EXPECT_EQ(reinterpret_cast<void*>(intptr_t{12}), drevLua_RestoreHook(kTagActor, 12, 0));
  EXPECT_EQ(nullptr, drevLua_RestoreHook(kTagImage, 0x1234, 0));
  EXPECT_EQ(nullptr, drevLua_RestoreHook(kTagFont, 999, 0));  // no such font
  EXPECT_EQ(0x00FF00, drevLua_SaveHook(kTagColor, reinterpret_cast<void*>(intptr_t{0x00FF00})));
}

}  // namespace
