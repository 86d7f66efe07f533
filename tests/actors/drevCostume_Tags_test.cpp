// The costume module's component tags, on costume files written by the test
// and loaded through the resource manager: their registration, owner and
// instance records, state lists and keys.
#include <fstream>

#include "CostumeTestSupport.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxSprite.h"

namespace {

using namespace costumetest;

std::string RunScript(const std::string& code) {
  std::ofstream("snippet.lua") << code;
  return lua_dofile("snippet.lua") == 0 ? "" : "script failed";
}

float GlobalNumber(const char* name) {
  lua_Object o = lua_getglobal(name);
  return lua_isnumber(o) ? lua_getnumber(o) : -1.0f;
}

class Tags : public CostumeTest {
 protected:
  // The actor that wears a new instance of the costume.
  Actor* Wear(const char* name) {
    Actor* actor = NewActor();
    EXPECT_EQ(drevActor_SetCostume(actor, name, 0), 1);
    return actor;
  }
  static CosInstHandle Instance(const Actor* actor) { return actor->costumeTop->instance; }
  // Plays a chore and runs the chore clock by the given milliseconds.
  static void Play(Actor* actor, int chore, int milliseconds, int loop = 0) {
    ASSERT_EQ(Cos_InstPlayChore(Instance(actor), chore, loop, 0), 1);
    drevCostume_UpdateChores(actor->costumeTop, static_cast<float>(milliseconds) / 1000.0f);
  }
};

TEST_F(Tags, FifteenTagsRegisteredInOrder) {
  ASSERT_EQ(CosUtil_CountTags(), kCostumeTagCount);
  const uint32_t codes[kCostumeTagCount] = {
      kCostumeTagMainModel,     kCostumeTagModel,         kCostumeTagColormap, kCostumeTagMesh,
      kCostumeTagMaterial,      kCostumeTagKeyframe,      kCostumeTagBitmap,   kCostumeTagAnimation,
      kCostumeTagStreamedSound, kCostumeTagResidentSound, kCostumeTagTolve,    kCostumeTagSprite,
      kCostumeTagSequence,      kCostumeTagState,         kCostumeTagLuaVar};
  for (int i = 0; i < kCostumeTagCount; ++i) {
    uint32_t code = 0;
    CosUtil_TagInfo(i, &code);
    EXPECT_EQ(code, codes[i]) << i;
  }
  // The cutscene tag's code is the cutscene handle's tag.
  EXPECT_EQ(static_cast<int32_t>(kCostumeTagTolve), kTagCutscene);
}

TEST_F(Tags, ModelNameSetsResolveParentOffset) {
  const CosCostumeHandle a = Load("a.cos", {{MMDL, -1, "head.3do"}});
  const CosCostumeHandle b = Load("b.cos", {{MMDL, -1, "head.3do,0"}});
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_EQ(Owner<CostumeModelOwner>(a, 0)->resolveParentOffset, 1);
  EXPECT_EQ(Owner<CostumeModelOwner>(b, 0)->resolveParentOffset, 0);
  EXPECT_STREQ(Record(b)->components[0].name, "head.3do,0");
  // A model that does not load fails the costume.
  EXPECT_EQ(Load("c.cos", {{MMDL, -1, "missing.3do"}}), 0);
}

TEST_F(Tags, SameNamedModelIsSharedUpTheStack) {
  ASSERT_NE(Load("base.cos", {{MMDL, -1, "head.3do"}}), 0);
  ASSERT_NE(Load("coat.cos", {{MMDL, -1, "HEAD.3DO"}, {MODL, -1, "hat.3do"}}), 0);
  Actor* actor = Wear("base.cos");
  CostumeThingData* below = Data<CostumeThingData>(Instance(actor), 0);
  ASSERT_EQ(drevActor_PushCostume(actor, "coat.cos", 0), 1);
  CostumeThingData* above = Data<CostumeThingData>(Instance(actor), 0);
  EXPECT_EQ(above, below);
  EXPECT_EQ(below->refCount, 2);
  qxThing* thing = below->thing;
  drevActor_PopCostume(actor, 1);
  EXPECT_EQ(below->refCount, 1);
  EXPECT_EQ(below->thing, thing);
  EXPECT_NE(thing->puppet, nullptr);
}

TEST_F(Tags, MeshNodeFromItsNameShowsAndHidesTheNode) {
  const CosCostumeHandle c = Load("m.cos", {{MMDL, -1, "head.3do"}, {MESH, 0, "Mesh 12 (l_hand)"}},
                                  {{"hide", 10, {{1, {{0, 0}}}}}, {"show", 10, {{1, {{0, 1}}}}}});
  ASSERT_NE(c, 0);
  Actor* actor = Wear("m.cos");
  auto* mesh = Data<CostumeMeshData>(Instance(actor), 1);
  EXPECT_EQ(mesh->node, 12);
  qxThing* thing = Data<CostumeThingData>(Instance(actor), 0)->thing;
  Play(actor, 0, 20);
  EXPECT_EQ(mesh->visible, 0);
  EXPECT_EQ(thing->drawFlags[12], 0);
  EXPECT_EQ(thing->drawFlags[11], 1);
  Play(actor, 1, 20);
  EXPECT_EQ(thing->drawFlags[12], 1);
}

TEST_F(Tags, BadMeshNamesFailTheLoad) {
  EXPECT_EQ(Load("a.cos", {{MMDL, -1, "head.3do"}, {MESH, 0, "left hand"}}), 0);
  EXPECT_EQ(Load("b.cos", {{MMDL, -1, "head.3do"}, {MESH, 0, "Mesh 20 (beyond)"}}), 0);
  EXPECT_EQ(Load("c.cos", {{MMDL, -1, "head.3do"}, {MESH, -1, "Mesh 1"}}), 0);
}

class KeyframeTags : public Tags {
 protected:
  void SetUp() override {
    Tags::SetUp();
    // Chore k plays a single key of keyframe state position k.
    std::vector<Chore> chores;
    for (int k = 0; k < 15; ++k) chores.push_back({"k" + std::to_string(k), 100, {{1, {{0, k}}}}});
    chores.push_back({"past", 100, {{1, {{0, 15}}}}});
    ASSERT_NE(Load("k.cos", {{MMDL, -1, "head.3do"}, {KEYF, 0, "walk.key,3,9"}}, chores), 0);
    actor_ = Wear("k.cos");
    puppet_ = Data<CostumeThingData>(Instance(actor_), 0)->thing->puppet;
  }
  int Track() const {
    for (int t = 0; t < QXPUPPET_MAX_TRACKS; ++t) {
      if (puppet_->tracks[t].status) return t;
    }
    return -1;
  }
  Actor* actor_ = nullptr;
  qxPuppet* puppet_ = nullptr;
};

TEST_F(KeyframeTags, FadeInKeyAddsATrackAndCatchesUp) {
  Play(actor_, 7, 40);  // "1.0 Fade in", applied 40 ms after the key
  const int t = Track();
  ASSERT_GE(t, 0);
  const qxPuppetTrack& track = puppet_->tracks[t];
  EXPECT_TRUE(track.status & QXTRACK_FADE_IN);
  EXPECT_FLOAT_EQ(track.fadeRate, 1.0f);
  EXPECT_EQ(track.lowPriority, 3);
  EXPECT_EQ(track.highPriority, 9);
  // The track moved by the key's age at 15 frames per second (then the
  // clock's 40 ms on top).
  EXPECT_NEAR(track.currentTime, 0.6f + 0.6f, 1e-4f);
  EXPECT_TRUE(Data<CostumeThingData>(Instance(actor_), 0)->rTracks[t].valid);
}

TEST_F(KeyframeTags, StopKeyWithoutATrackAndKeysPastTheListDoNothing) {
  Play(actor_, 4, 20);  // "Stop"
  EXPECT_EQ(Track(), -1);
  Play(actor_, 15, 20);  // one past the fifteen states
  EXPECT_EQ(Track(), -1);
}

TEST_F(KeyframeTags, PlayLoopingLeavesAFadingTrackFading) {
  Play(actor_, 7, 10);
  const int t = Track();
  ASSERT_GE(t, 0);
  const float weight = puppet_->tracks[t].weight;
  Play(actor_, 1, 10);  // "Play Looping"
  EXPECT_TRUE(puppet_->tracks[t].status & QXTRACK_FADE_IN);
  EXPECT_LT(puppet_->tracks[t].weight, 1.0f);
  EXPECT_GE(puppet_->tracks[t].weight, weight);
}

TEST_F(KeyframeTags, StopCallbackRemovesAPlayingTrackNotAFadingOutOne) {
  Play(actor_, 0, 10);  // "Play Once"
  int t = Track();
  ASSERT_GE(t, 0);
  EXPECT_TRUE(puppet_->tracks[t].status & QXTRACK_STOP_AT_END);
  CostumeThingData* record = Data<CostumeThingData>(Instance(actor_), 0);
  Cos_InstStopChore(Instance(actor_), 0);  // the stop callback
  EXPECT_EQ(Track(), -1);
  EXPECT_FALSE(record->rTracks[t].valid);

  Play(actor_, 0, 10);
  t = Track();
  Play(actor_, 11, 10);  // "1.0 Fade out"
  ASSERT_TRUE(puppet_->tracks[t].status & QXTRACK_FADE_OUT);
  Cos_InstStopChore(Instance(actor_), 11);
  EXPECT_EQ(Track(), t);
  EXPECT_TRUE(puppet_->tracks[t].status & QXTRACK_FADE_OUT);
}

TEST_F(KeyframeTags, PauseAndUnpause) {
  Play(actor_, 0, 10);
  const int t = Track();
  Play(actor_, 5, 10);
  EXPECT_TRUE(puppet_->tracks[t].status & QXTRACK_PAUSED);
  Play(actor_, 6, 10);
  EXPECT_FALSE(puppet_->tracks[t].status & QXTRACK_PAUSED);
  EXPECT_TRUE(puppet_->tracks[t].status & QXTRACK_PLAYING);
}

TEST_F(Tags, KeyframePriorityDefaults) {
  const CosCostumeHandle c =
      Load("k.cos", {{MMDL, -1, "head.3do"}, {KEYF, 0, "walk.key"}, {KEYF, 0, "wave.key,4"}});
  ASSERT_NE(c, 0);
  EXPECT_EQ(Owner<CostumeKeyframeOwner>(c, 1)->normalPriority, 1);
  EXPECT_EQ(Owner<CostumeKeyframeOwner>(c, 1)->taggedPriority, 5);
  EXPECT_EQ(Owner<CostumeKeyframeOwner>(c, 2)->normalPriority, 4);
  EXPECT_EQ(Owner<CostumeKeyframeOwner>(c, 2)->taggedPriority, 5);
}

TEST_F(Tags, MarkerReachesTheScriptsHandler) {
  ASSERT_EQ(RunScript("function onMarker(actor, marker)\n  seenMarker = marker\nend\n"
                      "system.costumeMarkerHandler = onMarker\n"),
            "");
  ASSERT_NE(Load("w.cos", {{MMDL, -1, "head.3do"}, {KEYF, 0, "wave.key"}},
                 {{"wave", 1000, {{1, {{0, 1}}}}}}),
            0);
  Actor* actor = Wear("w.cos");
  Play(actor, 0, 40);  // 1.2 frames
  EXPECT_EQ(GlobalNumber("seenMarker"), -1.0f);
  drevCostume_UpdateChores(actor->costumeTop, 0.1f);  // past frame 2
  EXPECT_EQ(GlobalNumber("seenMarker"), 7.0f);
}

TEST_F(Tags, SpriteKeysShowCels) {
  ASSERT_NE(
      Load("s.cos",
           {{MMDL, -1, "head.3do"}, {MESH, 0, "Mesh 1"}, {SPRT, 1, "sprite.mat,50,25,0,0,10"}},
           {{"off", 10, {{2, {{0, 0}}}}}, {"cel2", 10, {{2, {{0, 3}}}}}}),
      0);
  Actor* actor = Wear("s.cos");
  auto* record = Data<CostumeThingData>(Instance(actor), 2);
  ASSERT_NE(record->sprite, nullptr);
  EXPECT_FLOAT_EQ(record->sprite->width, 0.5f);
  EXPECT_FLOAT_EQ(record->sprite->offset.z, 0.1f);
  EXPECT_EQ(record->parentNode, 1);
  EXPECT_EQ(record->parentRecord, Data<CostumeThingData>(Instance(actor), 0));
  Play(actor, 1, 20);
  EXPECT_EQ(record->visible, 1);
  EXPECT_EQ(record->sprite->material->currentCel, 2);
  Play(actor, 0, 20);
  EXPECT_EQ(record->visible, 0);
}

// Rows are listed roots first, then by depth, so that rows and component
// indexes agree.
TEST_F(Tags, MaterialOfASpriteAnimatesTheSpritesOwnMaterial) {
  ASSERT_NE(Load("s.cos",
                 {{MMDL, -1, "head.3do"},
                  {MESH, 0, "Mesh 1"},
                  {MAT, 0, "skin.mat"},
                  {SPRT, 1, "sprite.mat,50,25,0,0,10"},
                  {MAT, 3, "sprite.mat"}},
                 {{"cel", 10, {{4, {{0, 1}}}, {2, {{0, 2}}}}}, {"past", 10, {{2, {{0, 3}}}}}}),
            0);
  EXPECT_EQ(Load("t.cos", {{MMDL, -1, "head.3do"},
                           {MESH, 0, "Mesh 1"},
                           {SPRT, 1, "sprite.mat"},
                           {MAT, 2, "skin.mat"}}),
            0);
  Actor* actor = Wear("s.cos");
  Play(actor, 0, 20);
  EXPECT_EQ(Data<CostumeMaterialData>(Instance(actor), 4)->frame, 1);
  EXPECT_EQ(Data<CostumeMaterialData>(Instance(actor), 2)->frame, 2);
  Play(actor, 1, 20);  // a cel past the material's three
  EXPECT_EQ(Data<CostumeMaterialData>(Instance(actor), 2)->frame, 2);
}

TEST_F(Tags, ColormapChildHoldsItsColormap) {
  ASSERT_NE(Load("c.cos", {{MMDL, -1, "head.3do"}, {CMAP, 0, "skin.cmp"}}), 0);
  EXPECT_EQ(Load("d.cos", {{CMAP, -1, "skin.cmp"}}), 0);  // not on a root
  Actor* actor = Wear("c.cos");
  auto* data = Data<CostumeColormapData>(Instance(actor), 1);
  EXPECT_TRUE(data->rColormap.valid);
  EXPECT_EQ(data->modelData, Data<CostumeThingData>(Instance(actor), 0));
}

TEST_F(Tags, SoundPlaysOnceWithDefaults) {
  ASSERT_NE(Load("s.cos", {{MLLS, -1, "door.wav"}, {MLSS, -1, "voice.wav,100,-3,50,7"}},
                 {{"door", 10, {{0, {{0, 0}}}}},
                  {"stop", 10, {{0, {{0, 1}}}, {1, {{0, 1}}}}},
                  {"loop", 10, {{0, {{0, 2}}}}},
                  {"voice", 10, {{1, {{0, 0}}}}}}),
            0);
  Actor* actor = Wear("s.cos");
  actor->position = {1, 2, 3};
  Recorder::room = reinterpret_cast<Room*>(&Recorder::calls);  // any set
  Play(actor, 0, 20);
  const std::vector<std::string> first = {"playing? door.wav", "start door.wav 100 1",
                                          "positional 1200 at 1,2,3 20 120 8 0.8"};
  EXPECT_EQ(Recorder::calls, first);
  Recorder::calls.clear();
  Recorder::playing = true;
  Play(actor, 0, 20);
  EXPECT_EQ(Recorder::calls, std::vector<std::string>{"playing? door.wav"});

  Recorder::calls.clear();
  Recorder::playing = false;
  Play(actor, 3, 20);
  const std::vector<std::string> voice = {"playing? voice.wav", "voice voice.wav 100 -3",
                                          "param voice.wav 1024 1", "param voice.wav 1280 50"};
  EXPECT_EQ(Recorder::calls, voice);

  Recorder::calls.clear();
  Play(actor, 1, 20);
  Play(actor, 2, 20);
  const std::vector<std::string> stop = {"stop door.wav", "stop voice", "hook door.wav 128"};
  EXPECT_EQ(Recorder::calls, stop);
  // The stop callback stops each sound by name.
  Recorder::calls.clear();
  Cos_InstStopChore(Instance(actor), 1);
  EXPECT_EQ(Recorder::calls, (std::vector<std::string>{"stop door.wav", "stop voice.wav"}));
}

TEST_F(Tags, SoundNameFields) {
  const CosCostumeHandle c =
      Load("s.cos", {{MLLS, -1, "door.wav"}, {MLLS, -1, "bell.wav,90,10"}, {MLLS, 0, "x.wav"}});
  EXPECT_EQ(c, 0);  // sounds are roots only
  const CosCostumeHandle d = Load("t.cos", {{MLLS, -1, "door.wav"}, {MLLS, -1, "bell.wav,90,10"}});
  ASSERT_NE(d, 0);
  const auto* door = Owner<CostumeSoundOwner>(d, 0);
  EXPECT_EQ(door->maxVolume, 127);
  EXPECT_EQ(door->pan, 64);
  EXPECT_EQ(door->priority, 100);
  EXPECT_EQ(door->minVolume, 1);
  const auto* bell = Owner<CostumeSoundOwner>(d, 1);
  EXPECT_STREQ(bell->name, "bell.wav");
  EXPECT_EQ(bell->maxVolume, 90);
  EXPECT_EQ(bell->pan, 10);
  EXPECT_EQ(bell->priority, 100);
  EXPECT_EQ(bell->minVolume, 1);
}

TEST_F(Tags, ScriptVariableSetAndClearedByStop) {
  ASSERT_NE(Load("v.cos", {{LUAV, -1, "doorOpen"}}, {{"open", 10, {{0, {{0, 42}}}}}}), 0);
  Actor* actor = Wear("v.cos");
  Play(actor, 0, 20);
  EXPECT_EQ(GlobalNumber("doorOpen"), 42.0f);
  Cos_InstStopChore(Instance(actor), 0);
  EXPECT_TRUE(lua_isnil(lua_getglobal("doorOpen")));
}

TEST_F(Tags, BitmapKeysSetTheSharedFrame) {
  const CosCostumeHandle c = Load(
      "b.cos", {{BKND, -1, "sign.bm,ignored"}},
      {{"none", 10, {{0, {{0, 0}}}}}, {"two", 10, {{0, {{0, 2}}}}}, {"past", 10, {{0, {{0, 4}}}}}});
  ASSERT_NE(c, 0);
  const CosComponent& component = Record(c)->components[0];
  EXPECT_EQ(component.numData, 4);
  ASSERT_NE(component.dataRecords, nullptr);
  const auto* first = reinterpret_cast<const CostumeImageRecord*>(component.dataRecords[0]->data);
  EXPECT_EQ(first->width, 8);
  EXPECT_EQ(first->one, 1);
  const auto* last = reinterpret_cast<const CostumeImageRecord*>(component.dataRecords[3]->data);
  EXPECT_EQ(last->width, 0);
  EXPECT_EQ(last->one, 0);
  auto* bitmap = static_cast<Bitmap*>(reinterpret_cast<ResourceRef*>(component.hash)->object);
  Actor* actor = Wear("b.cos");
  Play(actor, 1, 20);
  EXPECT_EQ(bitmap->currentFrame, 1);
  Play(actor, 2, 20);
  EXPECT_EQ(bitmap->currentFrame, 1);
  Play(actor, 0, 20);
  EXPECT_EQ(bitmap->currentFrame, -1);
}

TEST_F(Tags, MusicRowsMustNameTheirTag) {
  const CosCostumeHandle c =
      Load("m.cos", {{MLSE, -1, "melos sequence"}, {MLST, -1, "Melos State"}},
           {{"keys", 10, {{0, {{0, 3}}}}}});
  ASSERT_NE(c, 0);
  EXPECT_EQ(Record(c)->components[0].hash, 1u);
  Actor* actor = Wear("m.cos");
  Play(actor, 0, 20);  // integer keys do nothing
  EXPECT_EQ(Load("n.cos", {{MLSE, -1, "Sequence"}}), 0);
}

TEST_F(Tags, CutsceneStartsOnKeyZeroOnly) {
  ASSERT_NE(Load("t.cos", {{TOLV, -1, "intro.snm"}},
                 {{"play", 10, {{0, {{0, 0}}}}}, {"stop", 10, {{0, {{0, 1}}}}}}),
            0);
  Actor* actor = Wear("t.cos");
  Play(actor, 1, 20);
  EXPECT_TRUE(Recorder::calls.empty());
  Play(actor, 0, 20);
  EXPECT_EQ(Recorder::calls, std::vector<std::string>{"movie intro.snm 0 0 -1 -1"});
}

TEST_F(Tags, ModelKeysAndStop) {
  ASSERT_NE(Load("h.cos", {{MMDL, -1, "head.3do"}, {MESH, 0, "Mesh 3"}, {MODL, 1, "hat.3do,0"}},
                 {{"hide", 10, {{0, {{0, 0}}}}},
                  {"show hat", 10, {{2, {{0, 1}}}}},
                  {"past", 10, {{0, {{0, 2}}}}}}),
            0);
  Actor* actor = Wear("h.cos");
  auto* head = Data<CostumeThingData>(Instance(actor), 0);
  auto* hat = Data<CostumeThingData>(Instance(actor), 2);
  EXPECT_EQ(hat->parentRecord, head);
  EXPECT_EQ(hat->parentNode, 3);
  EXPECT_EQ(hat->visible, 0);
  EXPECT_EQ(hat->resolveParentOffset, 0);
  Play(actor, 0, 20);
  EXPECT_EQ(head->visible, 0);
  Play(actor, 2, 20);  // a key past the list
  EXPECT_EQ(head->visible, 0);
  Play(actor, 1, 20);
  EXPECT_EQ(hat->visible, 1);
  Cos_InstStopChores(Instance(actor));
  EXPECT_EQ(head->visible, 1);
  EXPECT_EQ(hat->visible, 0);
}

TEST_F(Tags, AdjustersRewriteNamesAndLuaVarKeepsItsName) {
  const CosCostumeHandle c = Load("a.cos", {{MMDL, -1, "head.3do,7"},
                                            {MLLS, -1, "door.wav,200,64,100,1"},
                                            {LUAV, -1, "doorOpen"},
                                            {KEYF, 0, "walk.key,3,9"},
                                            {MESH, 0, "Mesh 2 (n2)"}});
  ASSERT_NE(c, 0);
  CosCostume* record = Record(c);
  // The dialogs answer OK with the values unchanged.
  ASSERT_EQ(CosUtil_AdjustComponent(record, 0), 1);
  EXPECT_STREQ(record->components[0].name, "head.3do,1");
  ASSERT_EQ(CosUtil_AdjustComponent(record, 1), 1);
  EXPECT_STREQ(record->components[1].name, "door.wav,127,64,100,1");
  ASSERT_EQ(CosUtil_AdjustComponent(record, 2), 1);
  EXPECT_STREQ(record->components[2].name, "doorOpen");
  ASSERT_EQ(CosUtil_AdjustComponent(record, 3), 1);
  EXPECT_STREQ(record->components[3].name, "walk.key,3,9");
  EXPECT_EQ(CosUtil_AdjustComponent(record, 4), 0);  // a mesh name with ")"
}

}  // namespace
