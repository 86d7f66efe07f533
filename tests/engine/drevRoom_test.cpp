// The set module: making sets current and binding them, positional sound,
// rosters and the "ROMS" block.
#include <cmath>
#include <cstring>
#include <vector>

#include "RoomTestSupport.h"
#include "engine/ObjectState.h"
#include "engine/WalkPlane.h"
#include "quadrix/qxCamera.h"

namespace {

using roomtest::kSmallSet;
using roomtest::RoomTest;

class Sets : public RoomTest {
 protected:
  void SetUp() override {
    RoomTest::SetUp();
    world_.backgrounds = {"wide.bmp", "close.bmp", "dfltroom.bm"};
    world_.colormaps = {"room.cmp", "dfltcmp.cmp"};
    world_.zbuffers = {"wide.zbm"};
  }

  int Loads(const std::string& what) const {
    int n = 0;
    for (const std::string& l : world_.loads) n += l == what;
    return n;
  }
};

TEST_F(Sets, MakingASetCurrentBindsItsImagesCamerasAndLights) {
  Room* room = Load(Write("small.set", kSmallSet));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(room->memorySize, sizeof(Room));
  drevRoom_MakeCurrent(room, "ignored");
  EXPECT_EQ(drevRoom_GetCurrent(), room);
  EXPECT_STREQ(drevRoom_GetCurrentName(), "small.set");
  EXPECT_EQ(world_.fillStreams, 1);
  EXPECT_EQ(world_.actorSteps, 1);
  ASSERT_TRUE(room->apColormaps[0].valid);
  EXPECT_EQ(Loads("CMAP room.cmp"), 1);
  for (uint32_t i = 0; i < room->numSetups; ++i) {
    const RoomSetup& s = room->setups[i];
    EXPECT_TRUE(s.background.valid) << i;
    ASSERT_NE(s.camera, nullptr);
    EXPECT_EQ(s.camera->lightCount, 2);
    EXPECT_FLOAT_EQ(s.camera->lightPositions[1].z, 6.0f);
  }
  EXPECT_TRUE(room->setups[0].zbuffer.valid);
  EXPECT_FALSE(room->setups[1].zbuffer.valid);  // it names none
  EXPECT_NEAR(room->lights[0].light.cosOuter, std::cos(40.0 * 3.14159265 / 180.0), 1e-3);
  EXPECT_NE(drevRoom_GetSetupBackground(room, 0), nullptr);
  EXPECT_NE(drevRoom_GetSetupZBuffer(room, 0), nullptr);
  EXPECT_EQ(drevRoom_GetSetupZBuffer(room, 1), nullptr);
  EXPECT_EQ(drevRoom_GetSetupBackground(room, 2), nullptr);  // no such setup
  char name[kRoomNameSize];
  EXPECT_EQ(drevRoom_GetCurrentSetupName(name), &room->setups[0]);
  EXPECT_STREQ(name, "wide");
  float range;
  int minimum, maximum;
  float pan, nearDistance;
  drevRoom_GetSoundParameters(room, &range, &minimum, &maximum, &pan, &nearDistance);
  EXPECT_FLOAT_EQ(range, 8.0f);
  EXPECT_EQ(minimum, 20);
  EXPECT_EQ(maximum, 127);
  EXPECT_FLOAT_EQ(pan, 1.5f);
  EXPECT_FLOAT_EQ(nearDistance, 0.8f);
}

TEST_F(Sets, MakingTheCurrentSetCurrentAgainChangesNothing) {
  Room* room = Load(Write("small.set", kSmallSet));
  drevRoom_MakeCurrent(room, nullptr);
  drevRoom_SetSoundParameters(room, 3.0f, 1, 2, 0.5f, 0.1f);
  drevRoom_MakeCurrent(room, nullptr);
  EXPECT_EQ(world_.actorSteps, 1);
  EXPECT_EQ(world_.fillStreams, 1);
  EXPECT_FLOAT_EQ(room->range, 3.0f);
  EXPECT_EQ(room->maxVolume, 2);
}

TEST_F(Sets, NullLeavesTheGameWithoutACurrentSet) {
  Room* room = Load(Write("small.set", kSmallSet));
  drevRoom_MakeCurrent(room, nullptr);
  drevRoom_MakeCurrent(nullptr, nullptr);
  EXPECT_EQ(drevRoom_GetCurrent(), nullptr);
  EXPECT_STREQ(drevRoom_GetCurrentName(), "");
  EXPECT_FALSE(room->apColormaps[0].valid);  // released
  EXPECT_FALSE(room->setups[0].background.valid);
  char name[kRoomNameSize] = "x";
  EXPECT_EQ(drevRoom_GetCurrentSetupName(name), nullptr);
  EXPECT_STREQ(name, "");
}

TEST_F(Sets, AMissingBackgroundFallsBackAndLosesItsDepthImage) {
  world_.backgrounds.erase("wide.bmp");
  Room* room = Load(Write("small.set", kSmallSet));
  drevRoom_MakeCurrent(room, nullptr);
  const RoomSetup& wide = room->setups[0];
  ASSERT_TRUE(wide.background.valid);
  EXPECT_EQ(Loads("BKND dfltroom.bm"), 1);
  EXPECT_STREQ(wide.backgroundName, "<none>");
  EXPECT_STREQ(wide.zbufferName, "");
  EXPECT_FALSE(wide.zbuffer.valid);
  EXPECT_EQ(Loads("ZBUF wide.zbm"), 0);
  EXPECT_EQ(drevRoom_GetSetupZBuffer(room, 0), nullptr);
}

TEST_F(Sets, MissingDefaultsLeaveTheSetPartlyBoundButCurrent) {
  world_.backgrounds = {"wide.bmp"};
  world_.colormaps = {};
  Room* room = Load(Write("small.set", kSmallSet));
  drevRoom_MakeCurrent(room, nullptr);
  EXPECT_EQ(drevRoom_GetCurrent(), room);
  EXPECT_FALSE(room->apColormaps[0].valid);
  EXPECT_EQ(drevRoom_GetSetupBackground(room, 1), nullptr);  // drawing callers accept null
  EXPECT_NE(drevRoom_GetSetupBackground(room, 0), nullptr);
}

TEST_F(Sets, ASetWithoutColormapsBindsWithoutTouchingAnArray) {
  Room* room =
      Load(Write("nocm.set", "section: setups\n numsetups 1\n setup a\n background wide.bmp\n"));
  ASSERT_NE(room, nullptr);
  drevRoom_MakeCurrent(room, nullptr);
  EXPECT_EQ(drevRoom_BindResources(room), 1);
  EXPECT_EQ(Loads("CMAP dfltcmp.cmp"), 0);
}

TEST_F(Sets, LeavingAnUnlockedSetDeletesItsObjectStatesALockedOneKeepsThem) {
  Room* a = Load(Write("a.set", kSmallSet));
  Room* b = Load(Write("b.set", kSmallSet));
  drevRoom_MakeCurrent(a, nullptr);
  ASSERT_NE(ObjectState_Create(0, 1, "close.bmp", "", -1), nullptr);
  drevRoom_MakeCurrent(b, nullptr);
  EXPECT_EQ(a->setups[0].objectStates, nullptr);
  RES_ADDREF(&b->lockRef, b);
  ObjectState* kept = ObjectState_Create(1, 1, "wide.bmp", "", -1);
  drevRoom_MakeCurrent(a, nullptr);
  EXPECT_EQ(b->setups[1].objectStates, kept);
  EXPECT_TRUE(b->setups[0].background.valid);
  // A state of the locked set that is no longer current leaves its own list.
  ObjectState_Free(kept);
  EXPECT_EQ(b->setups[1].objectStates, nullptr);
  EXPECT_EQ(a->setups[1].objectStates, nullptr);
}

// ---- Positional sound ------------------------------------------------------------

struct SoundCase {
  const char* name;
  qxVector3 position;
  float range;
  int volume;  // -1: no volume sent
  int pan;
};

class PositionalSound : public Sets, public ::testing::WithParamInterface<SoundCase> {};

constexpr char kLookAlongY[] =
    "section: colormaps\n numcolormaps 1\n colormap room.cmp\n"
    "section: setups\n numsetups 1\n setup a\n background wide.bmp\n"
    " position 0 0 0\n interest 0 10 0\n fov 60\n nclip 0.1\n fclip 100\n";

TEST_P(PositionalSound, VolumeAndPan) {
  Room* room = Load(Write("sound.set", kLookAlongY));
  drevRoom_MakeCurrent(room, nullptr);
  ASSERT_NEAR(room->setups[0].viewMatrix.x.x, 1.0f, 1e-3);  // the right axis is +x
  world_.playing = {"voice"};
  const SoundCase& c = GetParam();
  ASSERT_EQ(drevRoom_AddPositionalSound("voice", &c.position, 20, 127, c.range, 0.8f), 1);
  std::vector<int> volumes, pans;
  for (const roomtest::SoundCall& call : world_.soundCalls) {
    EXPECT_EQ(call.name, "voice");
    (call.parameter == 1536 ? volumes : pans).push_back(call.value);
  }
  if (c.volume < 0) {
    EXPECT_TRUE(volumes.empty());
  } else {
    EXPECT_EQ(volumes, std::vector<int>{c.volume});
  }
  EXPECT_EQ(pans, std::vector<int>{c.pan});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PositionalSound,
    ::testing::Values(SoundCase{"at_near", {0, 0.8f, 0}, 8.0f, 127, 64},
                      SoundCase{"at_near_plus_range", {0, 8.8f, 0}, 8.0f, 20, 64},
                      SoundCase{"beyond", {0, 30, 0}, 8.0f, 20, 64},
                      SoundCase{"halfway", {0, 4.8f, 0}, 8.0f, 73, 64},
                      SoundCase{"inside_near", {0, 0.5f, 0}, 8.0f, -1, 64},
                      SoundCase{"right", {5, 0, 0}, 8.0f, 70, 127},
                      SoundCase{"left", {-5, 0, 0}, 8.0f, 70, 0},
                      SoundCase{"range_zero", {0, 4, 0}, 0.0f, 20, 64}),
    [](const ::testing::TestParamInfo<SoundCase>& info) { return std::string(info.param.name); });

TEST_F(Sets, SoundsThatStopPlayingArePrunedAndSilentOnesAreNotPlaced) {
  Room* room = Load(Write("sound.set", kLookAlongY));
  drevRoom_MakeCurrent(room, nullptr);
  const qxVector3 p{0, 2, 0};
  EXPECT_EQ(drevRoom_AddPositionalSound("quiet", &p, 20, 127, 8, 0.8f), 0);
  world_.playing = {"a"};
  ASSERT_EQ(drevRoom_AddPositionalSound("a", &p, 20, 127, 8, 0.8f), 1);
  world_.soundCalls.clear();
  drevRoom_UpdatePositionalSounds();
  EXPECT_EQ(world_.soundCalls.size(), 2u);
  world_.playing.clear();
  world_.soundCalls.clear();
  drevRoom_UpdatePositionalSounds();
  EXPECT_TRUE(world_.soundCalls.empty());
}

// ---- Rosters -----------------------------------------------------------------------

TEST_F(Sets, ActorsMoveBetweenRosters) {
  Actor* actor = &world_.actors[1];
  WalkFrame frame{};
  Sector sector{};
  frame.sector = &sector;
  world_.extras[1].walkFrame = &frame;
  drevRoom_PutActorInSet("a.set", actor);
  EXPECT_STREQ(actor->setName, "a.set");
  ASSERT_NE(drevRoom_GetSetActors("A.SET"), nullptr);
  EXPECT_EQ(drevRoom_GetSetActors("a.set")->actor, 1u);
  actor->drawn = 1;
  drevRoom_PutActorInSet("a.set", actor);  // already there: nothing happens
  EXPECT_EQ(actor->drawn, 1);
  EXPECT_EQ(drevRoom_GetSetActors("a.set")->next, nullptr);
  drevRoom_PutActorInSet("b.set", actor);
  EXPECT_EQ(drevRoom_GetSetActors("a.set"), nullptr);
  EXPECT_EQ(frame.sector, nullptr);  // the walk frame left the old set's sectors
  EXPECT_EQ(actor->drawn, 0);
  EXPECT_EQ(drevRoom_GetSetActors("b.set")->actor, 1u);
  drevRoom_PutActorInSet("b.set", &world_.actors[2]);
  EXPECT_EQ(drevRoom_GetSetActors("b.set")->actor, 2u);  // newest first
  drevRoom_PutActorInSet(nullptr, actor);
  EXPECT_STREQ(actor->setName, "");
  EXPECT_EQ(drevRoom_GetSetActors("b.set")->actor, 2u);
  EXPECT_EQ(drevRoom_GetSetActors("b.set")->next, nullptr);
  EXPECT_EQ(drevRoom_GetSetActors(nullptr), nullptr);
}

TEST_F(Sets, DestroyingASetEmptiesItsRoster) {
  const std::string path = Write("r.set", kSmallSet);
  drevRoom_PutActorInSet(path.c_str(), &world_.actors[3]);  // before the set is loaded
  ASSERT_NE(Load(path), nullptr);
  drevRoom_PutActorInSet(path.c_str(), &world_.actors[4]);
  Res_FreeAll();
  EXPECT_EQ(world_.clearedShadows, (std::vector<int>{4, 3}));
  EXPECT_STREQ(world_.actors[3].setName, "");
  EXPECT_STREQ(world_.actors[4].setName, "");
  EXPECT_EQ(drevRoom_GetSetActors(path.c_str()), nullptr);
}

// ---- "ROMS" -------------------------------------------------------------------------

std::vector<uint8_t> g_block;
size_t g_read = 0;

int WriteBlock(void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_block.insert(g_block.end(), bytes, bytes + length);
  return 0;
}

int ReadBlock(void* data, size_t length) {
  if (g_read + length > g_block.size()) return 1;
  std::memcpy(data, g_block.data() + g_read, length);
  g_read += length;
  return 0;
}

TEST_F(Sets, ASaveWithoutACurrentSetEndsAfterTheZeroIdentity) {
  ASSERT_NE(Load(Write("small.set", kSmallSet)), nullptr);  // loaded, not referenced
  g_block.clear();
  ASSERT_EQ(drevRoom_Save(WriteBlock), 0);
  EXPECT_EQ(g_block, std::vector<uint8_t>(12, 0));
}

class Roms : public Sets {
 protected:
  // A current set on setup 1 with two object states, a locked second set,
  // sound parameters of its own; then the resources and the block are saved.
  void SaveGame() {
    current_ = Load(Write("small.set", kSmallSet));
    locked_ = Load(Write("locked.set", kSmallSet));
    RES_ADDREF(&locked_->lockRef, locked_);
    drevRoom_MakeCurrent(current_, nullptr);
    current_->currentSetup = 1;
    ObjectState* back = ObjectState_Create(1, 1, "wide.bmp", "", 1);
    ObjectState* front = ObjectState_Create(1, 3, "close.bmp", "wide.bmp", -1);
    current_->setups[1].objectStates =
        ObjectState_SendToFront(back, current_->setups[1].objectStates);
    static_cast<Bitmap*>(front->stateImage.bitmapRef.object)->currentFrame = 2;
    drevRoom_SetSoundParameters(current_, 5.0f, 10, 100, 2.0f, 1.5f);
    g_block.clear();
    ASSERT_EQ(Res_Save(WriteBlock), 0);
    resourcesEnd_ = g_block.size();
    ASSERT_EQ(drevRoom_Save(WriteBlock), 0);
  }

  // Frees everything and reads the resources back, as a load does.
  void ReloadResources() {
    Res_FreeAll();
    g_read = 0;
    ASSERT_EQ(Res_Restore(ReadBlock), 0);
    ASSERT_EQ(g_read, resourcesEnd_);
  }

  Room* current_ = nullptr;
  Room* locked_ = nullptr;
  size_t resourcesEnd_ = 0;
};

TEST_F(Roms, RoundTripThroughAMemoryTransfer) {
  SaveGame();
  ReloadResources();
  ASSERT_EQ(drevRoom_Restore(ReadBlock), 0);
  EXPECT_EQ(g_read, g_block.size());
  Room* room = drevRoom_GetCurrent();
  ASSERT_NE(room, nullptr);
  EXPECT_STRCASEEQ(room->name, "small.set");  // reloaded under the saved (upper-case) name
  EXPECT_EQ(room->currentSetup, 1u);
  EXPECT_FLOAT_EQ(room->range, 5.0f);
  EXPECT_EQ(room->minVolume, 10);
  EXPECT_EQ(room->maxVolume, 100);
  EXPECT_FLOAT_EQ(room->panFactor, 2.0f);
  EXPECT_FLOAT_EQ(room->nearDistance, 1.5f);
  ObjectState* head = room->setups[1].objectStates;
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->kind, 3);
  EXPECT_STREQ(head->stateImage.bitmapName, "close.bmp");
  EXPECT_STREQ(head->zImage.bitmapName, "wide.bmp");
  EXPECT_EQ(head->stateImage.drawFlag, 1);
  EXPECT_EQ(static_cast<Bitmap*>(head->stateImage.bitmapRef.object)->currentFrame, 2);
  ASSERT_NE(head->next, nullptr);
  EXPECT_EQ(head->next->kind, 1);
  EXPECT_EQ(head->next->next, nullptr);
  Room* locked = static_cast<Room*>(Res_FindObject(Res_Tag("SET "), Path("locked.set").c_str()));
  ASSERT_NE(locked, nullptr);
  EXPECT_TRUE(locked->lockRef.valid);
}

struct BadBlock {
  const char* name;
  size_t offset;  // from the start of the "ROMS" block
  uint8_t value;
};

class RomsFailure : public Roms, public ::testing::WithParamInterface<BadBlock> {};

TEST_P(RomsFailure, FailsTheLoad) {
  SaveGame();
  ReloadResources();
  g_block[resourcesEnd_ + GetParam().offset] = GetParam().value;
  EXPECT_EQ(drevRoom_Restore(ReadBlock), 1);
}

// Layout: count (4); first set: identity (8), setup (4), lock (4), setup 0's count (4), ...
INSTANTIATE_TEST_SUITE_P(Cases, RomsFailure,
                         ::testing::Values(BadBlock{"more_sets_than_loaded", 0, 9},
                                           BadBlock{"unknown_identity", 4, 0xEE},
                                           BadBlock{"setup_outside_the_set", 12, 7},
                                           BadBlock{"object_state_count", 23, 0x7F}),
                         [](const ::testing::TestParamInfo<BadBlock>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Roms, AShortBlockFails) {
  SaveGame();
  ReloadResources();
  g_block.resize(g_block.size() - 3);
  EXPECT_EQ(drevRoom_Restore(ReadBlock), 1);
}

}  // namespace
