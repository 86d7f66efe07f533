// Things and puppets: hierarchy composition, node flags, freeing, track
// states, markers and the priority blend.
#include "quadrix/qxThing.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "quadrix/qxLight.h"
#include "quadrix/qxPuppet.h"
#include "qxSceneTest.h"

namespace {

struct CallbackCall {
  int32_t owner, track, value;
};
std::vector<CallbackCall> g_calls;

void Record(int32_t owner, int32_t track, int32_t value) {
  g_calls.push_back({owner, track, value});
}

std::vector<int32_t> Values() {
  std::vector<int32_t> v;
  for (const auto& c : g_calls) v.push_back(c.value);
  return v;
}

class QxThing : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    g_calls.clear();
    FakeRaster::Install();
  }
  void TearDown() override {
    FakeRaster::Remove();
    qxCore_SetGeometryMode(5);
  }
};

// ---- Things ----

TEST_F(QxThing, NewThingHasTheCreationValues) {
  qxThing* t = qxThing_New(77);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->type, QXTHING_NONE);
  EXPECT_EQ(t->drawGeometryMode, 4);
  EXPECT_EQ(t->drawLightingMode, 3);
  EXPECT_EQ(t->drawTextureMode, 2);
  EXPECT_EQ(t->cel, -1);
  EXPECT_EQ(t->geoset, -1);
  EXPECT_EQ(t->frustumTest, 1);
  EXPECT_EQ(t->owner, 77);
  qxThing_Free(t);
  qxThing_Free(nullptr);
}

TEST_F(QxThing, ThingsThatDrawNothingAnswerZero) {
  TestView view;
  TestModel m(1);
  m.AddMesh(0, {{0, 5, 0}, {1, 5, 0}, {0, 5, 1}}, {{0, 1, 2}}, {0, -1, 0});
  qxCamera* camera = view.camera;
  qxLight light{};
  int particles = 0;
  struct Row {
    const char* what;
    std::function<void(qxThing*)> make;
    int geometry;
  } rows[] = {
      {"typeless", [](qxThing*) {}, 5},
      {"camera", [&](qxThing* t) { qxThing_SetCamera(t, camera); }, 5},
      {"light", [&](qxThing* t) { qxThing_SetLight(t, &light); }, 5},
      {"particle cloud", [&](qxThing* t) { qxThing_SetParticleCloud(t, &particles); }, 5},
      {"polyline", [&](qxThing* t) { qxThing_SetPolyline(t, &particles); }, 5},
      {"model, geometry 0", [&](qxThing* t) { qxThing_SetModel3(t, &m.model); }, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    qxCore_SetGeometryMode(row.geometry);
    qxThing* t = qxThing_New(0);
    row.make(t);
    EXPECT_EQ(qxThing_Draw(t, &qxMatrix34_identity, nullptr), 0);
    EXPECT_EQ(qxThing_DrawSkeleton(t, &qxMatrix34_identity, 1), 0);
    EXPECT_EQ(qxCache_GetFaceCount(), 0);
    qxThing_Free(t);
  }
}

TEST_F(QxThing, ModelOfNoNodesGivesEmptyArrays) {
  TestModel m(0);
  qxThing* t = qxThing_New(0);
  EXPECT_EQ(qxThing_SetModel3(t, &m.model), 1);
  EXPECT_EQ(t->type, QXTHING_MODEL);
  EXPECT_NE(t->nodeMatrices, nullptr);
  qxPuppet_BuildJointMatrices(t, &qxMatrix34_identity);  // nothing to compose
  qxThing_Free(t);
}

TEST_F(QxThing, SecondModelReplacesTheArrays) {
  TestModel a(2), b(5);
  qxThing* t = qxThing_New(0);
  ASSERT_EQ(qxThing_SetModel3(t, &a.model), 1);
  t->hiddenFlags[1] = 1;
  ASSERT_EQ(qxThing_SetModel3(t, &b.model), 1);  // the sanitizer sees any leak
  EXPECT_EQ(t->object, &b.model);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(t->hiddenFlags[i], 0);
    EXPECT_EQ(t->drawFlags[i], 1);
  }
  qxThing_Free(t);
}

// Three nodes in a chain; the pivots cancel between a node and its child, so
// node k's origin lands at P L0 ... Lk (pivot k).
TEST_F(QxThing, ChainComposesWithPivotsAsTheHandProduct) {
  TestModel m(3);
  m.nodes[0].angles = {0, 180, 0};
  m.nodes[0].position = {1, 0, 0};
  m.nodes[0].pivot = {0.5f, 0, 0};
  m.nodes[1].position = {0, 2, 0};
  m.nodes[1].pivot = {0, 1, 0};
  m.nodes[2].position = {0, 0, 3};
  m.nodes[2].pivot = {0, 0, 1};
  qxThing* t = qxThing_New(0);
  ASSERT_EQ(qxThing_SetModel3(t, &m.model), 1);
  const qxMatrix34 placement = At(10, 0, 0);
  qxPuppet_BuildJointMatrices(t, &placement);
  // Yaw 180 turns (x, y) into (-x, -y).
  ExpectNearVector(t->nodeMatrices[0].t, {10.5f, 0, 0});
  ExpectNearVector(t->nodeMatrices[1].t, {11, -3, 0});
  ExpectNearVector(t->nodeMatrices[2].t, {11, -2, 4});
  ExpectNearVector(t->nodeMatrices[2].x, {-1, 0, 0});
  ExpectNearVector(t->nodeMatrices[2].y, {0, -1, 0});
  // A vertex v of node 1 lands at P L0 T(p0) T(-p0) L1 T(p1) v.
  qxVector3 v = {1, 0, 0}, out;
  qxMatrix34_TransformPoint(&out, &v, &t->nodeMatrices[1]);
  ExpectNearVector(out, {10, -3, 0});
  EXPECT_EQ(t->matrixFrame, qxCore_frameCount);
  qxThing_Free(t);
}

TEST_F(QxThing, HiddenSubtreeKeepsItsMatricesAndDrawFlagStillPassesOn) {
  TestModel m(3);
  for (auto& n : m.nodes) n.position = {0, 0, 1};
  qxThing* t = qxThing_New(0);
  ASSERT_EQ(qxThing_SetModel3(t, &m.model), 1);

  t->drawFlags[1] = 0;  // only the node's own mesh is skipped when drawing
  qxPuppet_BuildJointMatrices(t, &qxMatrix34_identity);
  EXPECT_FLOAT_EQ(t->nodeMatrices[2].t.z, 3.0f);

  const qxMatrix34 stale = At(7, 7, 7);
  t->nodeMatrices[1] = t->nodeMatrices[2] = stale;
  t->hiddenFlags[1] = 1;
  for (auto& n : m.nodes) n.restMatrix = At(0, 0, 2);
  qxThing_AccumulateNodeMatrices(t, &m.nodes[0], &qxMatrix34_identity);
  EXPECT_FLOAT_EQ(t->nodeMatrices[0].t.z, 1.0f);  // node 0 composed from its local matrix
  ExpectNearMatrix(t->nodeMatrices[1], stale);
  ExpectNearMatrix(t->nodeMatrices[2], stale);
  qxThing_Free(t);
}

TEST_F(QxThing, ChildWalkEndsAtTheChainAndAtTheChildCount) {
  TestModel m(4);
  m.Unlink();
  m.Link(0, 1);
  m.Link(0, 2);
  m.Link(0, 3);
  m.nodes[0].childCount = 2;  // the count bounds the walk: node 3 is not reached
  for (auto& n : m.nodes) n.position = {0, 0, 1};
  qxThing* t = qxThing_New(0);
  ASSERT_EQ(qxThing_SetModel3(t, &m.model), 1);
  t->nodeMatrices[3] = At(9, 9, 9);
  qxThing_AccumulateNodeMatrices(t, &m.nodes[0], &qxMatrix34_identity);
  EXPECT_FLOAT_EQ(t->nodeMatrices[2].t.z, 2.0f);
  EXPECT_FLOAT_EQ(t->nodeMatrices[3].t.x, 9.0f);

  m.nodes[0].childCount = 10;  // more than the chain holds: the chain's end stops it
  qxPuppet_BuildJointMatrices(t, &qxMatrix34_identity);
  EXPECT_FLOAT_EQ(t->nodeMatrices[3].t.z, 2.0f);
  qxThing_Free(t);
}

TEST_F(QxThing, FreeingAModelThingEndsItsTracksFreeingASpriteThingDoesNot) {
  TestModel m(1);
  TestKeyframe k(1, 10);
  for (int type : {QXTHING_MODEL, QXTHING_SPRITE}) {
    g_calls.clear();
    qxThing* t = qxThing_New(42);
    int sprite = 0;
    if (type == QXTHING_MODEL) {
      qxThing_SetModel3(t, &m.model);
    } else {
      qxThing_SetSprite3(t, reinterpret_cast<qxSprite*>(&sprite));
    }
    qxPuppet* p = qxPuppet_New(t);
    ASSERT_EQ(t->puppet, p);
    for (int i = 0; i < 2; ++i) {
      const int track = qxPuppet_AddTrack(p, &k.kf, 1, 1);
      qxPuppet_SetTrackCallback(p, track, Record);
      qxPuppet_PlayTrack(p, track);
    }
    qxThing_Free(t);
    if (type == QXTHING_MODEL) {
      ASSERT_EQ(g_calls.size(), 2u);
      EXPECT_EQ(g_calls[0].owner, 42);
      EXPECT_EQ(g_calls[0].track, 0);
      EXPECT_EQ(g_calls[1].track, 1);
      EXPECT_EQ(Values(), (std::vector<int32_t>{0, 0}));
    } else {
      EXPECT_TRUE(g_calls.empty());
    }
  }
}

// ---- Puppets ----

class QxPuppet : public QxThing {
 protected:
  void Make(int nodes) {
    model = std::make_unique<TestModel>(nodes);
    thing = qxThing_New(5);
    ASSERT_EQ(qxThing_SetModel3(thing, &model->model), 1);
    puppet = qxPuppet_New(thing);
    ASSERT_NE(puppet, nullptr);
  }
  void TearDown() override {
    qxThing_Free(thing);
    QxThing::TearDown();
  }
  // Node n's world position after a build at the identity placement.
  qxVector3 Position(int n) {
    qxPuppet_BuildJointMatrices(thing, &qxMatrix34_identity);
    qxMatrix34 m;
    EXPECT_EQ(qxModel3_GetNodeMatrix(thing, n, &m), 1);
    return m.t;
  }
  std::unique_ptr<TestModel> model;
  qxThing* thing = nullptr;
  qxPuppet* puppet = nullptr;
};

TEST_F(QxPuppet, MarkersFireByHowOftenTheStepWraps) {
  struct Row {
    const char* what;
    float first, second;  // two advances; markers recorded during the second
    std::vector<int32_t> fired;
  } rows[] = {
      {"no wrap: after the previous time up to the new one", 3, 6, {2, 3}},
      {"one wrap: after the previous time, and up to the new time", 6, 6, {1, 3}},
      {"two wraps: every marker once", 6, 15, {1, 2, 3}},
      {"the end of the keyframe itself", 7, 3, {3}},
  };
  TestKeyframe k(1, 10);
  k.Markers({{2, 1}, {5, 2}, {8, 3}});
  Make(1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
    qxPuppet_SetTrackCallback(puppet, t, Record);
    qxPuppet_AdvanceTrack(puppet, t, row.first);
    g_calls.clear();
    qxPuppet_AdvanceTrack(puppet, t, row.second);
    EXPECT_EQ(Values(), row.fired);
    qxPuppet_SetTrackCallback(puppet, t, nullptr);
    qxPuppet_RemoveTrack(puppet, t);
  }
}

TEST_F(QxPuppet, MarkerAtFrameZeroFiresOnTheFirstAdvance) {
  TestKeyframe k(1, 10);
  k.Markers({{0, 9}, {4, 8}});
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_SetTrackCallback(puppet, t, Record);
  qxPuppet_AdvanceTrack(puppet, t, 1);
  EXPECT_EQ(Values(), (std::vector<int32_t>{9}));
  g_calls.clear();
  qxPuppet_AdvanceTrack(puppet, t, 1);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(QxPuppet, EndBehaviours) {
  TestKeyframe k(1, 10);
  Make(1);
  struct Row {
    uint32_t flags;
    uint32_t statusAfter;  // 0 = freed
    float timeAfter;
  } rows[] = {
      {QXTRACK_STOP_AT_END, 0, 0},
      {QXTRACK_HOLD_AT_END, QXTRACK_IN_USE | QXTRACK_PLAYING | QXTRACK_HOLD_AT_END | QXTRACK_PAUSED,
       10},
      {0, QXTRACK_IN_USE | QXTRACK_PLAYING, 2},  // loops
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    g_calls.clear();
    const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
    qxPuppet_SetTrackCallback(puppet, t, Record);
    qxPuppet_SetTrackFlags(puppet, t, row.flags);
    qxPuppet_AdvanceTrack(puppet, t, 12);
    EXPECT_EQ(puppet->tracks[t].status, row.statusAfter);
    if (row.statusAfter) {
      EXPECT_FLOAT_EQ(puppet->tracks[t].currentTime, row.timeAfter);
    } else {
      EXPECT_EQ(Values(), (std::vector<int32_t>{0}));
    }
    qxPuppet_SetTrackCallback(puppet, t, nullptr);
    qxPuppet_RemoveTrack(puppet, t);
  }
}

TEST_F(QxPuppet, FadeAtEndFadesOutAndPauses) {
  TestKeyframe k(1, 10);
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_PlayTrack(puppet, t);
  qxPuppet_SetTrackFlags(puppet, t, QXTRACK_FADE_AT_END);
  qxPuppet_AdvanceTrack(puppet, t, 12);  // past the end
  const qxPuppetTrack& tr = puppet->tracks[t];
  EXPECT_TRUE(tr.status & QXTRACK_FADE_OUT);
  EXPECT_TRUE(tr.status & QXTRACK_PAUSED);
  EXPECT_FLOAT_EQ(tr.fadeRate, 4.0f);
  EXPECT_FLOAT_EQ(tr.currentTime, 10.0f);
  qxPuppet_UpdateTracks(puppet, 0.3f);
  EXPECT_EQ(tr.status, 0u);  // faded away and removed
}

TEST_F(QxPuppet, FadeOutKeptPausesAndCanPlayAgain) {
  TestKeyframe k(1, 10);
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_PlayTrack(puppet, t);
  qxPuppet_SetTrackFlags(puppet, t, QXTRACK_KEEP_AFTER_FADE);
  qxPuppet_FadeOutTrack(puppet, t, 0.5f);
  const qxPuppetTrack& tr = puppet->tracks[t];
  EXPECT_EQ(qxPuppet_UpdateTracks(puppet, 0.25f), 1);
  EXPECT_NEAR(tr.weight, 0.5f, 1e-6f);
  qxPuppet_UpdateTracks(puppet, 0.3f);
  EXPECT_EQ(tr.weight, 0.0f);
  EXPECT_TRUE(tr.status & QXTRACK_PAUSED);
  EXPECT_FALSE(tr.status & QXTRACK_FADE_OUT);
  EXPECT_EQ(tr.keyframe, &k.kf);
  const float time = tr.currentTime;
  qxPuppet_UpdateTracks(puppet, 0.5f);
  EXPECT_EQ(tr.currentTime, time);  // paused
  qxPuppet_PlayTrack(puppet, t);
  qxPuppet_UpdateTracks(puppet, 0.1f);
  EXPECT_GT(tr.currentTime, time);
  EXPECT_EQ(tr.weight, 1.0f);
}

TEST_F(QxPuppet, FadeInReachesFullWeight) {
  TestKeyframe k(1, 100);
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  EXPECT_EQ(puppet->tracks[t].weight, 0.0f);
  qxPuppet_FadeInTrack(puppet, t, 0.0f);  // 0 seconds: rate 1 per second
  qxPuppet_UpdateTracks(puppet, 0.5f);
  EXPECT_NEAR(puppet->tracks[t].weight, 0.5f, 1e-6f);
  qxPuppet_UpdateTracks(puppet, 0.75f);
  EXPECT_EQ(puppet->tracks[t].weight, 1.0f);
  EXPECT_FALSE(puppet->tracks[t].status & QXTRACK_FADE_IN);
}

// One node at rest at the origin; tracks hold it at fixed offsets.
TEST_F(QxPuppet, PriorityBlend) {
  TestKeyframe a(1, 10), b(1, 10), high(1, 10);
  a.Set(0, {Entry(0, {2, 0, 0})});
  b.Set(0, {Entry(0, {0, 4, 0})});
  high.Set(0, {Entry(0, {0, 0, 8})});
  struct Row {
    const char* what;
    float wa, wb, wHigh;  // a negative weight leaves the track out
    qxVector3 expected;
  } rows[] = {
      {"one track at 0.5 goes half-way", 0.5f, -1, -1, {1, 0, 0}},
      {"two equal tracks at 0.5 sum their halves", 0.5f, 0.5f, -1, {1, 2, 0}},
      {"two equal tracks at 1 average", 1, 1, -1, {1, 2, 0}},
      {"a higher track at 1 hides the lower", 1, -1, 1, {0, 0, 8}},
      {"a higher track at 0.25 lets 0.75 through", 1, -1, 0.25f, {1.5f, 0, 2}},
  };
  Make(1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    // The high track goes first so that the order of the tracks does not help.
    const struct {
      qxKeyframe* kf;
      int32_t priority;
      float weight;
    } tracks[] = {{&high.kf, 2, row.wHigh}, {&a.kf, 1, row.wa}, {&b.kf, 1, row.wb}};
    for (const auto& tr : tracks) {
      if (tr.weight < 0) continue;
      const int t = qxPuppet_AddTrack(puppet, tr.kf, tr.priority, tr.priority);
      qxPuppet_PlayTrack(puppet, t);
      puppet->tracks[t].weight = tr.weight;
    }
    ExpectNearVector(Position(0), row.expected);
    for (int t = 0; t < QXPUPPET_MAX_TRACKS; ++t) qxPuppet_RemoveTrack(puppet, t);
  }
}

TEST_F(QxPuppet, HighPriorityForNodesOfTheKeyframesType) {
  TestKeyframe low(1, 10), typed(1, 10);
  low.Set(0, {Entry(0, {2, 0, 0})});
  typed.Set(0, {Entry(0, {0, 0, 8})});
  typed.kf.type = 0x4;
  Make(1);
  const int a = qxPuppet_AddTrack(puppet, &low.kf, 3, 3);
  const int b = qxPuppet_AddTrack(puppet, &typed.kf, 1, 5);
  qxPuppet_PlayTrack(puppet, a);
  qxPuppet_PlayTrack(puppet, b);
  ExpectNearVector(Position(0), {2, 0, 0});  // the node's type shares no bit: priority 1 < 3
  model->nodes[0].type = 0x6;
  ExpectNearVector(Position(0), {0, 0, 8});  // now priority 5
}

TEST_F(QxPuppet, EntriesInterpolateByTheirRatesAndAnglesFoldIntoHalfTurns) {
  TestKeyframe k(1, 30);
  qxKeyframeEntry e0 = Entry(0, {0, 0, 0}, {0, 350, 0});
  e0.flags = QXKEYFRAME_ENTRY_POSITION_RATE;
  e0.positionRate = {1, 0, 0};
  const qxKeyframeEntry e1 = Entry(10, {-5, 0, 0}, {0, 90, 0});
  k.Set(0, {e0, e1});
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_PlayTrack(puppet, t);
  qxPuppet_AdvanceTrack(puppet, t, 4);
  ExpectNearVector(Position(0), {4, 0, 0});
  qxMatrix34 expected;
  const qxVector3 angles = {0, -10, 0}, origin = {4, 0, 0};
  qxMatrix34_Build(&expected, &angles, &origin);
  ExpectNearMatrix(thing->nodeMatrices[0], expected);
  qxPuppet_AdvanceTrack(puppet, t, 7);  // frame 11: the second entry
  ExpectNearVector(Position(0), {-5, 0, 0});
  k.kf.flags = QXKEYFRAME_HOLD;  // entries hold their values
  qxPuppet_ResetTrack(puppet, t);
  qxPuppet_AdvanceTrack(puppet, t, 4);
  ExpectNearVector(Position(0), {0, 0, 0});
}

TEST_F(QxPuppet, NodeAngleOffsetTurnsTheNode) {
  Make(2);
  model->nodes[1].position = {0, 1, 0};
  thing->nodeAngleOffsets[0] = {0, 90, 0};
  const qxVector3 child = Position(1);
  qxMatrix34 turn;
  qxMatrix34_BuildRotate(&turn, &thing->nodeAngleOffsets[0]);
  qxVector3 expected;
  qxMatrix34_TransformVector(&expected, &model->nodes[1].position, &turn);
  ExpectNearVector(child, expected);
}

TEST_F(QxPuppet, DisabledPuppetShowsTheRestPose) {
  TestKeyframe k(1, 10);
  k.Set(0, {Entry(0, {3, 0, 0})});
  Make(1);
  model->nodes[0].position = {0, 0, 1};
  qxThing_SetModel3(thing, &model->model);  // rebuilds the rest matrices
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_PlayTrack(puppet, t);
  ExpectNearVector(Position(0), {3, 0, 0});
  puppet->disabled = 1;
  ExpectNearVector(Position(0), {0, 0, 1});
  EXPECT_EQ(qxPuppet_UpdateTracks(puppet, 1.0f), 0);
  EXPECT_EQ(puppet->tracks[t].currentTime, 0.0f);
  thing->frozen = 1;
  thing->nodeMatrices[0] = At(5, 5, 5);
  EXPECT_FLOAT_EQ(Position(0).x, 5.0f);  // a frozen thing keeps its matrices
}

TEST_F(QxPuppet, SeventhTrackAndEviction) {
  TestKeyframe k(1, 10);
  Make(1);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(qxPuppet_AddTrack(puppet, &k.kf, 1, 1), i);
    qxPuppet_SetTrackCallback(puppet, i, Record);
    qxPuppet_PlayTrack(puppet, i);
  }
  EXPECT_EQ(qxPuppet_AddTrack(puppet, &k.kf, 1, 1), -1);
  qxPuppet_FadeOutTrack(puppet, 2, 1.0f);
  qxPuppet_SetTrackFlags(puppet, 2, QXTRACK_HOLD_AT_END);
  EXPECT_EQ(qxPuppet_AddTrack(puppet, &k.kf, 1, 1), -1);  // held: not taken
  qxPuppet_FadeOutTrack(puppet, 4, 1.0f);
  EXPECT_EQ(qxPuppet_AddTrack(puppet, &k.kf, 1, 1), 4);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].track, 4);
  EXPECT_EQ(g_calls[0].value, 0);
  EXPECT_EQ(puppet->tracks[4].status, QXTRACK_IN_USE | QXTRACK_PLAYING);
  EXPECT_EQ(puppet->tracks[4].callback, nullptr);
  EXPECT_EQ(qxPuppet_UpdateTracks(puppet, 0.0f), 6);
}

TEST_F(QxPuppet, TrackIndexOutsideTheSixDoesNothing) {
  TestKeyframe k(1, 10);
  Make(1);
  for (int bad : {-1, 6, 1000}) {
    EXPECT_EQ(qxPuppet_RemoveTrack(puppet, bad), 0);
    EXPECT_EQ(qxPuppet_PlayTrack(puppet, bad), 0);
    EXPECT_EQ(qxPuppet_FadeInTrack(puppet, bad, 1), 0);
    EXPECT_EQ(qxPuppet_FadeOutTrack(puppet, bad, 1), 0);
    EXPECT_EQ(qxPuppet_ResetTrack(puppet, bad), 0);
    EXPECT_EQ(qxPuppet_SetTrackFlags(puppet, bad, 1), 0);
    EXPECT_EQ(qxPuppet_SetTrackCallback(puppet, bad, Record), 0);
    EXPECT_EQ(qxPuppet_AdvanceTrack(puppet, bad, 1), 0);
    EXPECT_EQ(qxPuppet_SetTrackRate(puppet, bad, 1), 0);
    EXPECT_EQ(qxPuppet_SetTrackPriorities(puppet, bad, 1, 1), 0);
    EXPECT_EQ(qxPuppet_SetTrackSecondaryWeight(puppet, bad, 1), 0);
  }
  EXPECT_EQ(qxPuppet_AddTrack(puppet, nullptr, 1, 1), -1);
}

TEST_F(QxPuppet, EmptyKeyframeHoldsAtItsEnd) {
  TestKeyframe k(1, 0);
  k.Markers({{0, 4}});
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_SetTrackCallback(puppet, t, Record);
  qxPuppet_PlayTrack(puppet, t);
  EXPECT_EQ(qxPuppet_UpdateTracks(puppet, 1.0f), 1);
  EXPECT_EQ(puppet->tracks[t].currentTime, 0.0f);
  EXPECT_TRUE(puppet->tracks[t].status & QXTRACK_PAUSED);
  EXPECT_EQ(Values(), (std::vector<int32_t>{4}));
}

TEST_F(QxPuppet, SecondaryWeightSetsAndClearsItsBit) {
  TestKeyframe k(1, 10);
  Make(1);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_SetTrackSecondaryWeight(puppet, t, 0.5f);
  EXPECT_TRUE(puppet->tracks[t].status & QXTRACK_SECONDARY_WEIGHT);
  qxPuppet_SetTrackSecondaryWeight(puppet, t, 0.0f);
  EXPECT_FALSE(puppet->tracks[t].status & QXTRACK_SECONDARY_WEIGHT);
}

// Nodes beyond the 64th follow their own entries.
TEST_F(QxPuppet, LargeHierarchyAnimatesEveryNode) {
  constexpr int kNodes = 70;
  TestKeyframe k(kNodes, 30);
  k.Set(69, {Entry(0, {0, 0, 1}), Entry(5, {0, 0, 7})});
  k.Set(3, {Entry(0, {0, 0, 1}), Entry(5, {0, 0, 3})});
  Make(kNodes);
  model->Unlink();
  for (int i = 1; i < kNodes; ++i) model->Link(0, i);
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_PlayTrack(puppet, t);
  qxPuppet_AdvanceTrack(puppet, t, 6);
  EXPECT_FLOAT_EQ(Position(69).z, 7.0f);
  EXPECT_FLOAT_EQ(Position(3).z, 3.0f);
  qxPuppet_AdvanceTrack(puppet, t, 25);  // wraps to frame 1: indices start again
  EXPECT_FLOAT_EQ(Position(69).z, 1.0f);
}

// A callback may remove its own track, or start another, while markers fire.
TEST_F(QxPuppet, CallbacksMayChangeTheirOwnTrack) {
  static qxPuppet* s_puppet;
  static qxKeyframe* s_other;
  static std::vector<int32_t> s_seen;
  TestKeyframe k(1, 10), other(1, 10);
  k.Markers({{2, 1}, {3, 2}});
  Make(1);
  s_puppet = puppet;
  s_other = &other.kf;
  s_seen.clear();
  const int t = qxPuppet_AddTrack(puppet, &k.kf, 1, 1);
  qxPuppet_SetTrackCallback(puppet, t, [](int32_t, int32_t track, int32_t value) {
    s_seen.push_back(value);
    if (value == 1) {
      qxPuppet_RemoveTrack(s_puppet, track);  // ends with 0 once, not again
      EXPECT_EQ(qxPuppet_AddTrack(s_puppet, s_other, 1, 1), track);
    }
  });
  qxPuppet_AdvanceTrack(puppet, t, 5);
  // The removal's end call, and not the second marker, which belonged to the old use.
  EXPECT_EQ(s_seen, (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(puppet->tracks[t].keyframe, &other.kf);
  EXPECT_EQ(puppet->tracks[t].previousTime, 0.0f);
}

}  // namespace
