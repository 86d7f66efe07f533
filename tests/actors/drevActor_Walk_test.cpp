// Walking and turning on walk sectors read from sector sections: paths, the
// waypoint step, the yaw chasing the walk frame, turn requests, the
// sector-heading constraint.
#include "../engine/WalkTestSupport.h"
#include "ActorTestSupport.h"
#include "engine/WalkPlane.h"

namespace {

using actortest::Dist;
using actortest::NewActor;
using walktest::Square;

class ActorWalk : public walktest::WalkWorld {
 protected:
  void SetUp() override {
    WalkWorld::SetUp();
    actortest::StartActors(&hs_);
  }
  void TearDown() override {
    actortest::StopActors();
    WalkWorld::TearDown();
  }

  // An actor standing at p with a walk frame that follows the walk sectors.
  Actor* Walker(qxVector3 p, int sectorWalker = 0) {
    Actor* a = NewActor(0, sectorWalker);
    drevActor_SetPosition(a, &p, 1);
    drevActor_SetFollowBoxes(a, 1);
    return a;
  }
  // Turns the walk frame by degrees without touching the actor's yaw.
  static void TurnFrame(Actor* a, float degrees) {
    WalkFrame_Rotate(a->pExtra->walkFrame, degrees);
  }
};

TEST_F(ActorWalk, WalksAPathAcrossTheFloorAndStopsOnTheGoal) {
  Read(Square("a", 0, 0, 2, 1) + Square("b", 2, 0, 3, 1) + Square("c", 2, 1, 3, 3));
  for (int sectorWalker = 0; sectorWalker < 2; ++sectorWalker) {
    Actor* a = Walker({0.5f, 0.5f, 0}, sectorWalker);
    qxVector3 goal{2.5f, 2.5f, 0};
    const qxVector3 target{9, 9, 9};
    drevActor_WalkTo(a, &goal, &target, nullptr);
    ASSERT_TRUE(a->state & ACTOR_MOVING) << sectorWalker;
    EXPECT_GE(a->pExtra->pathCount, 2);
    EXPECT_EQ(a->pExtra->pathIndex, 1);
    EXPECT_EQ(a->pExtra->destination.x, 9.0f);
    int frames = 0;
    while ((a->state & ACTOR_MOVING) && frames < 400) {
      drevActor_Update(a, 0.05f);
      ++frames;
    }
    EXPECT_FALSE(a->state & ACTOR_MOVING);
    EXPECT_LT(Dist(a->position, goal), 1e-4f) << sectorWalker;
    // At 0.4 units a second the walk of about 4.3 units takes some 220 frames.
    EXPECT_GT(frames, 150);
    // Standing still afterwards: no stray step.
    drevActor_Update(a, 0.05f);
    EXPECT_LT(Dist(a->position, goal), 1e-4f);
  }
}

TEST_F(ActorWalk, WalkToNeedsAWalkFrameAndSectors) {
  Read(Square("a", 0, 0, 2, 2));
  Actor* a = NewActor();
  a->state = ACTOR_MOVING;
  qxVector3 goal{1, 1, 0};
  drevActor_WalkTo(a, &goal, &goal, nullptr);
  EXPECT_EQ(a->state, 0u);
  EXPECT_EQ(a->pExtra->pathCount, 0);

  Actor* b = Walker({0.5f, 0.5f, 0});
  WalkPlane_SelectSetSectors(nullptr);
  drevActor_WalkTo(b, &goal, &goal, nullptr);
  EXPECT_EQ(b->state, 0u);
  EXPECT_EQ(b->pExtra->pathCount, 0);
}

TEST_F(ActorWalk, AGoalOffTheFloorIsClampedOntoIt) {
  Read(Square("a", 0, 0, 2, 2));
  Actor* a = Walker({0.5f, 0.5f, 0});
  qxVector3 goal{5, 1, 0};
  drevActor_WalkTo(a, &goal, &goal, nullptr);
  EXPECT_FLOAT_EQ(goal.x, 2.0f);
  ASSERT_TRUE(a->state & ACTOR_MOVING);
  EXPECT_FLOAT_EQ(a->pExtra->path[a->pExtra->pathCount - 1].x, 2.0f);
}

TEST_F(ActorWalk, AOnePointPathLeavesTheActorStanding) {
  // Two floors apart: the sector search ends where the line meets the wall,
  // which is where the walker stands.
  Read(Square("a", 0, 0, 1, 1) + Square("b", 3, 0, 4, 1));
  Actor* a = Walker({1, 0.5f, 0}, 1);
  qxVector3 goal{3.5f, 0.5f, 0};
  drevActor_WalkTo(a, &goal, &goal, nullptr);
  ASSERT_EQ(a->pExtra->pathCount, 1);
  EXPECT_FALSE(a->state & ACTOR_MOVING);
  EXPECT_EQ(a->pExtra->pathIndex, 1);
  EXPECT_LT(Dist(a->pExtra->waypoint, a->pExtra->path[0]), 1e-6f);
}

TEST_F(ActorWalk, AWaypointWithinReachIsPassedExactly) {
  // 0.05 s at 0.4 units a second reaches 1.25 steps: 0.025.
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({1, 1, 0});
  ActorExtra* e = a->pExtra;
  e->path[0] = {1, 1, 0};
  e->path[1] = {1.02f, 1, 0};
  e->path[2] = {3, 1, 0};
  e->pathCount = 3;
  e->pathIndex = 1;
  e->waypoint = e->path[1];
  a->state |= ACTOR_MOVING;
  drevActor_FollowPath(a);
  EXPECT_EQ(a->position.x, 1.02f);
  EXPECT_EQ(a->position.y, 1.0f);
  EXPECT_EQ(e->pathIndex, 2);
  EXPECT_EQ(e->waypoint.x, 3.0f);
  EXPECT_TRUE(a->state & ACTOR_MOVING);
  EXPECT_EQ(e->walkRequested, 1);

  // 0.03 away is beyond reach: the actor walks toward it instead.
  e->path[2] = {1.05f, 1, 0};
  e->waypoint = e->path[2];
  drevActor_FollowPath(a);
  EXPECT_EQ(e->pathIndex, 2);
  EXPECT_EQ(a->position.x, 1.02f);
}

TEST_F(ActorWalk, AFullPathEndsOnItsLastPoint) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({1, 1, 0});
  ActorExtra* e = a->pExtra;
  for (int i = 0; i < ACTOR_PATH_MAX; ++i) e->path[i] = {1 + 0.0001f * i, 1, 0};
  e->pathCount = ACTOR_PATH_MAX;
  e->pathIndex = 1;
  e->waypoint = e->path[1];
  a->state |= ACTOR_MOVING;
  drevActor_FollowPath(a);
  EXPECT_FALSE(a->state & ACTOR_MOVING);
  EXPECT_EQ(e->pathIndex, ACTOR_PATH_MAX);
  EXPECT_EQ(e->waypoint.x, e->path[ACTOR_PATH_MAX - 1].x);
  EXPECT_EQ(a->position.x, e->path[ACTOR_PATH_MAX - 1].x);
}

TEST_F(ActorWalk, InstantRotationJumpsOnceAndRestoresTheTurnRate) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({1, 1, 0});
  a->pExtra->turnRate = 90;
  const qxVector3 angles{0, 120, 0};
  drevActor_SetRotation(a, &angles, 1);
  EXPECT_TRUE(a->pExtra->instantTurn);
  EXPECT_EQ(drevActor_SignedTurnRate(a->pExtra), -90.0f);
  EXPECT_NEAR(a->pExtra->yawToGo, 120.0f, 0.5f);
  EXPECT_EQ(drevActor_TurnTowardWaypoint(a->pExtra->walkFrame, a, 0), 0);
  EXPECT_NEAR(a->rotation.y, 120.0f, 0.5f);
  EXPECT_FALSE(a->pExtra->instantTurn);
  EXPECT_EQ(a->pExtra->turnRate, 90.0f);
  EXPECT_EQ(drevActor_TurnTowardWaypoint(a->pExtra->walkFrame, a, 0), 1);
  EXPECT_EQ(a->pExtra->yawToGo, 0.0f);
}

TEST_F(ActorWalk, TurnStepLimits) {
  Read(Square("a", 0, 0, 4, 4));
  struct Case {
    uint32_t state;
    float frameOff;  // degrees between the frame's heading and the actor
    int done;
    float yaw;  // after one step of 0.05 s
  };
  const Case cases[] = {
      {0, 90, 0, 10.125f},           // standing: 1.5 x 135 degrees a second
      {ACTOR_MOVING, 90, 0, 25.0f},  // walking a path: 500 degrees a second
      {ACTOR_MOVING, 20, 0, 20.0f},  // never beyond the heading
      {0, 0.4f, 1, 0.0f},            // under half a degree counts as facing
      {ACTOR_HK_HACK, 40, 1, 0.0f},  // the HK hack: under 50 degrees is facing
      {ACTOR_HK_HACK, 60, 0, 10.125f},
  };
  for (const Case& c : cases) {
    Actor* a = Walker({1, 1, 0});
    a->state = c.state;
    TurnFrame(a, c.frameOff);
    EXPECT_EQ(drevActor_TurnTowardWaypoint(a->pExtra->walkFrame, a, 0), c.done) << c.frameOff;
    EXPECT_NEAR(a->rotation.y, c.yaw, 0.05f) << c.frameOff;
    EXPECT_NEAR(a->pExtra->yawToGo, c.done ? 0.0f : c.frameOff, 0.05f) << c.frameOff;
    drevActor_Free(a);
  }
}

TEST_F(ActorWalk, BackwardWalkersTurnTheirBackToTheWay) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({2, 2, 0});
  a->flags |= ACTOR_BACKWARD;
  a->pExtra->instantTurn = true;  // one unlimited step
  drevActor_WalkForward(a);
  drevActor_Update(a, 0.05f);
  // The frame walked ahead along +y; the actor now faces -y.
  EXPECT_GT(a->position.y, 2.0f);
  const qxMatrix34* t = drevActor_GetTransform(a);
  EXPECT_NEAR(t->y.y, -1.0f, 1e-3f);
  EXPECT_EQ(a->pExtra->turnDone, 0);
  const float y = a->position.y;
  drevActor_Update(a, 0.05f);
  EXPECT_EQ(a->pExtra->turnDone, 1);
  EXPECT_EQ(a->position.y, y);  // the request lasted one frame
}

TEST_F(ActorWalk, TurnRequestsWaitWhileTheYawLags) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({1, 1, 0});
  a->pExtra->yawToGo = 30;
  a->pExtra->turnRate = 200;  // a step of 10 degrees in 0.05 s
  drevActor_Turn(a, 1);
  EXPECT_EQ(a->pExtra->turnRequested, 0);
  a->pExtra->turnRate = 300;  // a step of 15 degrees
  drevActor_Turn(a, 1);
  EXPECT_EQ(a->pExtra->turnRequested, 1);
  drevActor_Turn(a, -1);
  EXPECT_EQ(a->pExtra->turnRequested, -1);
}

TEST_F(ActorWalk, StandingTurnsRotateTheFrameAndCountAsTurning) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({1, 1, 0});
  drevActor_Turn(a, 1);
  ASSERT_EQ(a->pExtra->turnRequested, 1);
  drevActor_StepWalkFrame(a);
  // The frame turned 135 x 0.05 degrees to the left; the yaw follows at 1.5 x
  // that rate, so it is done in the same step.
  EXPECT_NEAR(a->pExtra->walkFrame->frame.y.x, -0.1175f, 1e-3f);
  EXPECT_NEAR(a->rotation.y, 6.75f, 0.05f);
  EXPECT_EQ(a->pExtra->turnDone, 0);
}

TEST_F(ActorWalk, ConstrainIsRefusedDuringAPathWalk) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = Walker({2, 2, 0});
  TurnFrame(a, 20);
  a->state |= ACTOR_MOVING;
  drevActor_SetConstrain(a, 1);
  EXPECT_EQ(a->pExtra->walkFrame->headingMode, 0);
  a->state = 0;
  drevActor_SetConstrain(a, 1);
  EXPECT_EQ(a->pExtra->walkFrame->headingMode, 1);
  a->state |= ACTOR_MOVING;
  drevActor_SetConstrain(a, 0);
  EXPECT_EQ(a->pExtra->walkFrame->headingMode, 0);
}

TEST_F(ActorWalk, PuckActorsTiltTowardTheFloorsUpAxis) {
  // A ramp rising 10 degrees toward +y.
  const float rise = 4 * std::tan(10.0f * 3.14159265f / 180.0f);
  char ramp[256];
  std::snprintf(ramp, sizeof ramp,
                "\tsector ramp\n\ttype walk\n\tdefault visibility visible\n\tnumvertices 4\n"
                "\tvertices: 0 0 0\n\t4 0 0\n\t4 4 %g\n\t0 4 %g\n",
                rise, rise);
  Read(ramp);
  Actor* a = Walker({2, 2, rise / 2});
  a->flags |= ACTOR_PUCK_ORIENT;
  const qxVector3 up = a->pExtra->walkFrame->frame.z;
  ASSERT_NEAR(up.y, -std::sin(10.0f * 3.14159265f / 180.0f), 1e-3f);
  auto tilt = [&] {
    const qxMatrix34* t = drevActor_GetTransform(a);
    return std::acos(std::fmin(1.0f, qxVector3_Dot(&t->z, &up))) * 180.0f / 3.14159265f;
  };
  EXPECT_NEAR(tilt(), 10.0f, 0.1f);
  // At most the turn rate a second: 6.75 degrees a step of 0.05 s.
  drevActor_PuckOrient(a);
  EXPECT_NEAR(tilt(), 3.25f, 0.1f);
  drevActor_PuckOrient(a);
  EXPECT_LT(tilt(), 2.1f);
  EXPECT_TRUE(a->transformValid);
}

TEST_F(ActorWalk, WalkFramesAreMadeAndDeleted) {
  Read(Square("a", 0, 0, 4, 4));
  Actor* a = NewActor();
  const qxVector3 p{1, 1, 0}, angles{0, 90, 0};
  drevActor_SetPosition(a, &p, 1);
  drevActor_SetRotation(a, &angles, 0);
  drevActor_EnsureWalkFrame(a, 1);
  WalkFrame* frame = a->pExtra->walkFrame;
  ASSERT_NE(frame, nullptr);
  // The frame starts with the actor's facing (-x for yaw 90).
  EXPECT_NEAR(frame->frame.y.x, -1.0f, 1e-3f);
  EXPECT_EQ(WalkFrame_GetList(), frame);
  drevActor_EnsureWalkFrame(a, 1);
  EXPECT_EQ(a->pExtra->walkFrame, frame);
  drevActor_EnsureWalkFrame(a, 0);
  EXPECT_EQ(a->pExtra->walkFrame, nullptr);
  EXPECT_EQ(WalkFrame_GetList(), nullptr);

  drevActor_SetReflectionDefault(a, 30);
  drevActor_EnsureWalkFrame(a, 1);
  EXPECT_EQ(a->pExtra->walkFrame->maxTurn, 30.0f);
  drevActor_SetReflection(a, 10);
  EXPECT_EQ(a->pExtra->walkFrame->maxTurn, 10.0f);
  EXPECT_EQ(a->pExtra->reflectionAngle, 30.0f);
  drevActor_Free(a);
  EXPECT_EQ(WalkFrame_GetList(), nullptr);
}

}  // namespace
