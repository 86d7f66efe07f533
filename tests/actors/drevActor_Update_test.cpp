// The frame's actor step over the current set's roster, the stuck watch,
// the head look-at, SetHead and the view test.
#include <cstring>

#include "../engine/WalkTestSupport.h"
#include "ActorTestSupport.h"
#include "engine/drevRoom.h"
#include "quadrix/qxPuppet.h"

namespace {

using actortest::Dist;
using actortest::Figure;
using actortest::NewActor;
using walktest::Square;

Room g_room;
bool g_haveSet = true;

Room* CurrentRoom() {
  return g_haveSet ? &g_room : nullptr;
}

class ActorFrame : public walktest::WalkWorld {
 protected:
  void SetUp() override {
    WalkWorld::SetUp();
    actortest::StartActors(&hs_);
    std::memset(&g_room, 0, sizeof g_room);
    std::strcpy(g_room.name, "frame.set");
    g_haveSet = true;
    drevActor_Calls().roomGetCurrent = CurrentRoom;
    Read(Square("floor", 0, 0, 4, 4));
  }
  void TearDown() override {
    actortest::StopActors();
    WalkWorld::TearDown();
  }
  // An actor of the current set at p, following the walk sectors.
  Actor* InSet(qxVector3 p) {
    Actor* a = NewActor();
    drevActor_SetPosition(a, &p, 1);
    drevActor_SetFollowBoxes(a, 1);
    drevRoom_PutActorInSet("frame.set", a);
    return a;
  }
};

TEST_F(ActorFrame, NoCurrentSetDoesNothing) {
  Actor* a = InSet({1, 1, 0});
  drevActor_WalkForward(a);
  g_haveSet = false;
  drevActor_UpdateAll(0.05f);
  EXPECT_EQ(a->position.y, 1.0f);
  EXPECT_EQ(a->pExtra->walkRequested, 1);
  g_haveSet = true;
  drevActor_UpdateAll(0.05f);
  EXPECT_NEAR(a->position.y, 1.02f, 1e-5f);
  EXPECT_EQ(a->previousPosition.y, 1.0f);
}

TEST_F(ActorFrame, OnlyTheSetsRosterMoves) {
  Actor* inside = InSet({1, 1, 0});
  Actor* outside = NewActor();
  drevActor_WalkForward(inside);
  drevActor_WalkForward(outside);
  drevActor_UpdateAll(0.05f);
  EXPECT_GT(inside->position.y, 1.0f);
  EXPECT_EQ(outside->position.y, 0.0f);
  EXPECT_EQ(outside->pExtra->walkRequested, 1);
}

TEST_F(ActorFrame, TimeScaleSlowsWalkingAndTurning) {
  Actor* normal = InSet({1, 1, 0});
  Actor* slow = InSet({3, 1, 0});
  slow->pExtra->timeScale = 0.5f;
  for (int i = 0; i < 4; ++i) {
    for (Actor* a : {normal, slow}) drevActor_WalkForward(a);
    drevActor_UpdateAll(0.05f);
  }
  EXPECT_NEAR(normal->position.y - 1, 0.08f, 1e-5f);
  EXPECT_NEAR(slow->position.y - 1, 0.04f, 1e-5f);
  for (Actor* a : {normal, slow}) {
    a->pExtra->yawToGo = 0;
    drevActor_Turn(a, 1);
  }
  drevActor_UpdateAll(0.05f);
  EXPECT_NEAR(normal->rotation.y, 6.75f, 0.05f);
  EXPECT_NEAR(slow->rotation.y, 3.375f, 0.05f);
}

TEST_F(ActorFrame, ABlockedWalkerIsPutOnItsWaypoint) {
  // A U of three floors: the walker stands against the wall of the left arm,
  // its waypoint straight across in the right arm.
  Read(Square("left", 0, 0, 1, 3) + Square("bottom", 1, 0, 2, 1) + Square("right", 2, 0, 3, 3),
       "u.set");
  Actor* a = InSet({0.99f, 2, 0});
  ActorExtra* e = a->pExtra;
  e->path[0] = a->position;
  e->path[1] = {2.5f, 2, 0};
  e->pathCount = 2;
  e->pathIndex = 1;
  e->waypoint = e->path[1];
  a->state |= ACTOR_MOVING;
  ASSERT_EQ(drevActor_FirstNavigator(), a);
  int frames = 0;
  while ((a->state & ACTOR_MOVING) && frames < 100) {
    drevActor_UpdateAll(0.05f);
    ++frames;
  }
  // One frame to note the waypoint, then forty positions.
  EXPECT_EQ(frames, 41);
  EXPECT_EQ(a->position.x, 2.5f);
  EXPECT_EQ(a->position.y, 2.0f);
  EXPECT_FALSE(a->state & ACTOR_MOVING);
}

TEST_F(ActorFrame, AWalkerThatStillMovesIsNotStuck) {
  Actor* a = InSet({0.5f, 2, 0});
  qxVector3 goal{3.5f, 2, 0};
  drevActor_WalkTo(a, &goal, &goal, nullptr);
  for (int i = 0; i < 60 && (a->state & ACTOR_MOVING); ++i) drevActor_UpdateAll(0.05f);
  EXPECT_TRUE(a->state & ACTOR_MOVING);
  EXPECT_NEAR(a->position.x, 0.5f + 60 * 0.02f, 0.01f);
}

class ActorHead : public ActorFrame {
 protected:
  void SetUp() override {
    ActorFrame::SetUp();
    actor_ = InSet({2, 2, 0});
    figure_.Wear(actor_);
  }
  const qxVector3* Offsets() { return figure_.thing->nodeAngleOffsets; }

  Figure figure_;
  Actor* actor_ = nullptr;
};

TEST_F(ActorHead, ReturningToNeutralClearsLooking) {
  actor_->state |= ACTOR_LOOKING;
  figure_.thing->nodeAngleOffsets[2] = {1, 2, 3};
  drevActor_UpdateLookAt(actor_, 0.05f);
  EXPECT_FALSE(actor_->state & ACTOR_LOOKING);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(Offsets()[j].x, 0.0f);
    EXPECT_EQ(Offsets()[j].y, 0.0f);
    EXPECT_EQ(Offsets()[j].z, 0.0f);
  }
}

TEST_F(ActorHead, ATargetStraightBehindTurnsTheHeadSideways) {
  actor_->state |= ACTOR_LOOKING;
  actor_->pExtra->lookTarget = {2, -5, 1.7f};
  drevActor_UpdateLookAt(actor_, 0.05f);
  EXPECT_TRUE(actor_->state & ACTOR_LOOKING);
  // 360 degrees a second for 0.05 s, shared by three joints.
  for (int j = 1; j <= 3; ++j) {
    EXPECT_NEAR(std::fabs(Offsets()[j].y), 6.0f, 0.05f) << j;
    EXPECT_NEAR(Offsets()[j].x, 0.0f, 1e-3f) << j;
  }
}

TEST_F(ActorHead, EachJointTurnsAtMostItsShareOfTheLimits) {
  actor_->state |= ACTOR_LOOKING;
  actor_->pExtra->lookTarget = {-8, 3, 9};  // up and to the left
  for (int i = 0; i < 40; ++i) drevActor_UpdateLookAt(actor_, 0.05f);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_NEAR(Offsets()[j].x, 10.0f, 1e-4f) << j;
    EXPECT_NEAR(Offsets()[j].y, 30.0f, 1e-4f) << j;
    EXPECT_EQ(Offsets()[j].z, 0.0f);
  }
  EXPECT_EQ(figure_.thing->matrixFrame, 0);
}

TEST_F(ActorHead, SetHeadKeepsJointsInsideTheModel) {
  struct Case {
    int j1, j2, j3;
    bool taken;
  };
  // Every joint below the model's node count is taken; -1 is no joint.
  const Case cases[] = {{0, 1, 2, true}, {0, 1, 4, false}, {-1, 1, 2, true}, {3, 3, 3, true}};
  for (const Case& c : cases) {
    figure_.node.headJoints[0] = 7;
    drevActor_SetHead(actor_, c.j1, c.j2, c.j3, 120, 20, 60);
    EXPECT_EQ(figure_.node.headJoints[0], c.taken ? c.j1 : 7) << c.j3;
  }
  EXPECT_EQ(figure_.node.headLimitA, 20.0f);
  EXPECT_EQ(figure_.node.headLimitB, 60.0f);
  EXPECT_NEAR(figure_.node.viewConeCos, 0.5f, 1e-3f);
  // A head joint outside the model is no head for the look-at either.
  figure_.node.headJoints[2] = 4;
  actor_->state |= ACTOR_LOOKING;
  drevActor_UpdateLookAt(actor_, 0.05f);
  EXPECT_TRUE(actor_->state & ACTOR_LOOKING);
}

// Joints of -1 switch head tracking off: the look-at leaves the joints
// alone and the actor sees nothing.
TEST_F(ActorHead, JointsOfMinusOneSwitchHeadTrackingOff) {
  Actor* other = InSet({2, 3, 0});
  qxPuppet_BuildJointMatrices(figure_.thing, drevActor_GetTransform(actor_));
  ASSERT_EQ(drevActor_CanSeeActor(actor_, other, nullptr), 1);
  drevActor_SetHead(actor_, -1, -1, -1, 120, 20, 60);
  for (int joint : figure_.node.headJoints) EXPECT_EQ(joint, -1);
  EXPECT_EQ(drevActor_CanSeeActor(actor_, other, nullptr), 0);
  actor_->state |= ACTOR_LOOKING;
  actor_->pExtra->lookTarget = {-8, 3, 9};
  drevActor_UpdateLookAt(actor_, 0.05f);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(Offsets()[j].y, 0.0f) << j;
  // And on again.
  drevActor_SetHead(actor_, 1, 2, 3, 120, 20, 60);
  drevActor_UpdateLookAt(actor_, 0.05f);
  EXPECT_NE(Offsets()[1].y, 0.0f);
}

TEST_F(ActorHead, SeeingOnlyWithinTheConeAndTheSameSet) {
  Actor* other = InSet({2, 3, 0});
  qxPuppet_BuildJointMatrices(figure_.thing, drevActor_GetTransform(actor_));
  float distance = 0;
  EXPECT_EQ(drevActor_CanSeeActor(actor_, other, &distance), 1);
  EXPECT_NEAR(distance, std::sqrt(1 + 1.0f), 1e-4f);  // from the head joint at height 1
  const qxVector3 behind{2, 0, 1};
  EXPECT_EQ(drevActor_CanSeePoint(actor_, &behind, &distance), 0);
  const qxVector3 side{0, 2.1f, 1};
  EXPECT_EQ(drevActor_CanSeePoint(actor_, &side, nullptr), 1);
  std::strcpy(other->setName, "FRAME.SET");
  EXPECT_EQ(drevActor_CanSeeActor(actor_, other, &distance), 1);
  std::strcpy(other->setName, "other.set");
  EXPECT_EQ(drevActor_CanSeeActor(actor_, other, &distance), 0);
  std::strcpy(other->setName, "frame.set");
  figure_.node.headJoints[0] = -1;
  EXPECT_EQ(drevActor_CanSeeActor(actor_, other, &distance), 0);
}

TEST_F(ActorHead, ClipPlaneSettingsMakeTheExtraBlock) {
  Actor* a = drevActor_FromIndex(drevActor_New(0, 0));
  const qxVector3 normal{1, 0, 0}, point{4, 5, 6};
  drevActor_SetClipPlane(a, &normal, &point);
  ASSERT_NE(a->pExtra, nullptr);
  EXPECT_EQ(a->pExtra->clipNormal.x, 1.0f);
  EXPECT_EQ(a->pExtra->clipPoint.z, 6.0f);
  drevActor_SetClipActive(a, 1);
  EXPECT_EQ(a->pExtra->clipActive, 1);
}

}  // namespace
