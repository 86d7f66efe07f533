// Collisions and avoidance, hand-computed: sphere push-out and tangent
// detour, box slide and re-route, the navigation graph's obstacle corners,
// path bending, and the geometry routines.
#include <cstring>

#include "../engine/WalkTestSupport.h"
#include "ActorTestSupport.h"

namespace {

using actortest::Dist;
using actortest::Figure;
using actortest::NewActor;
using walktest::Square;

struct Contact {
  int actor, other;
  qxVector3 oldPosition, contact, newPosition;
};
std::vector<Contact> g_contacts;

int RecordContact(int actor, int other, const float o[3], const float c[3], const float n[3]) {
  g_contacts.push_back({actor, other, {o[0], o[1], o[2]}, {c[0], c[1], c[2]}, {n[0], n[1], n[2]}});
  return 0;
}

class ActorCollide : public walktest::WalkWorld {
 protected:
  void SetUp() override {
    WalkWorld::SetUp();
    actortest::StartActors(&hs_);
    drevActor_Calls().callCollisionHandler = RecordContact;
    // The navigation graph asks the actors for their boxes.
    drevMain_Calls().actorGetNearbyBoxes = drevActor_GetNearbyActorBoxes;
    g_contacts.clear();
    Read(Square("floor", 0, 0, 8, 8));
  }
  void TearDown() override {
    actortest::StopActors();
    WalkWorld::TearDown();
  }

  // An actor wearing the figure at p (it moved there this frame from `from`).
  Actor* Costumed(Figure& figure, qxVector3 p, int mode, qxVector3 from) {
    Actor* a = NewActor();
    drevActor_SetPosition(a, &p, 1);
    a->previousPosition = from;
    a->pExtra->collisionMode = mode;
    figure.Wear(a);
    ActorModule& g = drevActor_State();
    g.collisionList[g.collisionCount++] = a;
    return a;
  }
  Actor* Standing(Figure& figure, qxVector3 p, int mode) { return Costumed(figure, p, mode, p); }

  // Gives the actor a walk along the points.
  static void Walking(Actor* a, std::initializer_list<qxVector3> points) {
    drevActor_SetFollowBoxes(a, 1);
    ActorExtra* e = a->pExtra;
    e->pathCount = 0;
    for (const qxVector3& p : points) e->path[e->pathCount++] = p;
    e->pathIndex = 1;
    e->waypoint = e->path[1];
    a->state |= ACTOR_MOVING;
  }

  Figure moverFigure_, otherFigure_;
};

TEST_F(ActorCollide, ASphereContactPushesTheMoverOutAndCallsTheHandler) {
  Actor* mover = Costumed(moverFigure_, {4, 4, 0}, 0, {3, 4, 0});
  Actor* other = Standing(otherFigure_, {4.5f, 4, 0}, 2);
  EXPECT_EQ(drevActor_UpdateCollisions(), 1);
  // 0.5 apart with radii 0.4 and 0.4: pushed 0.3 further away.
  EXPECT_NEAR(mover->position.x, 3.7f, 1e-5f);
  EXPECT_EQ(mover->position.y, 4.0f);
  EXPECT_EQ(other->position.x, 4.5f);
  EXPECT_EQ(mover->pExtra->collided, 1);
  EXPECT_EQ(other->pExtra->collided, 1);
  ASSERT_EQ(g_contacts.size(), 1u);
  const Contact& c = g_contacts[0];
  EXPECT_EQ(c.actor, drevActor_ToIndex(mover));
  EXPECT_EQ(c.other, drevActor_ToIndex(other));
  EXPECT_EQ(c.oldPosition.x, 4.0f);
  EXPECT_NEAR(c.contact.x, 3.7f, 1e-5f);
  EXPECT_NEAR(c.newPosition.x, 3.7f, 1e-5f);
  // Standing actors are not tested.
  g_contacts.clear();
  mover->previousPosition = mover->position;
  const qxVector3 near{4.1f, 4, 0};
  drevActor_SetPosition(other, &near, 1);
  drevActor_UpdateCollisions();
  EXPECT_TRUE(g_contacts.empty());
}

TEST_F(ActorCollide, ShapesNeedAModeAndCoincidentCentresStay) {
  Actor* mover = Costumed(moverFigure_, {4, 4, 0}, 0, {3, 4, 0});
  Actor* other = Standing(otherFigure_, {4, 4, 0}, 0);
  drevActor_ResolveCollision(mover);
  EXPECT_TRUE(g_contacts.empty());
  other->pExtra->collisionMode = 2;
  drevActor_ResolveCollision(mover);
  ASSERT_EQ(g_contacts.size(), 1u);
  EXPECT_EQ(mover->position.x, 4.0f);  // no direction to push in
  EXPECT_TRUE(std::isfinite(mover->position.y));
}

TEST_F(ActorCollide, AWalkerDetoursAlongTheTangent) {
  Actor* mover = Costumed(moverFigure_, {4, 4.2f, 0}, 0, {3, 4.2f, 0});
  Standing(otherFigure_, {4.5f, 4, 0}, 2);
  Walking(mover, {{3, 4.2f, 0}, {7, 4.2f, 0}});
  drevActor_ResolveCollision(mover);
  // The new centre lies on both circles: 0.8 from the other, 1.0 from the
  // previous centre; on the side away from the other.
  const qxVector3 p = mover->position;
  EXPECT_NEAR(Dist(p, {4.5f, 4, 0}), 0.8f, 1e-4f);
  EXPECT_NEAR(Dist(p, {3, 4.2f, 0}), 1.0f, 1e-4f);
  EXPECT_GT(p.y, 4.2f);
  EXPECT_TRUE(mover->state & ACTOR_MOVING);
  // The walk frame now heads along the detour.
  const qxVector3& forward = mover->pExtra->walkFrame->frame.y;
  EXPECT_NEAR(forward.x, p.x - 3, 1e-3f);
  EXPECT_NEAR(forward.y, p.y - 4.2f, 1e-3f);
}

TEST_F(ActorCollide, AWalkerWhoseWaypointIsInsideTheOtherStops) {
  Actor* mover = Costumed(moverFigure_, {4, 4.2f, 0}, 0, {3, 4.2f, 0});
  Standing(otherFigure_, {4.5f, 4, 0}, 2);
  Walking(mover, {{3, 4.2f, 0}, {4.6f, 4.2f, 0}});
  drevActor_ResolveCollision(mover);
  EXPECT_FALSE(mover->state & ACTOR_MOVING);
  EXPECT_NEAR(Dist(mover->position, {4.5f, 4, 0}), 0.8f, 1e-4f);
}

TEST_F(ActorCollide, ASectorWalkerIsPushedOutInstead) {
  Actor* mover = Costumed(moverFigure_, {4, 4.2f, 0}, 0, {3, 4.2f, 0});
  mover->flags |= ACTOR_SECTOR_WALKER;
  Standing(otherFigure_, {4.5f, 4, 0}, 2);
  Walking(mover, {{3, 4.2f, 0}, {7, 4.2f, 0}});
  drevActor_ResolveCollision(mover);
  // Straight away from the other's centre until the circles touch.
  const qxVector3 away{-0.5f, 0.2f, 0};
  const float d = std::sqrt(0.29f);
  EXPECT_NEAR(mover->position.x, 4.5f + away.x / d * 0.8f, 1e-4f);
  EXPECT_NEAR(mover->position.y, 4.0f + away.y / d * 0.8f, 1e-4f);
  EXPECT_TRUE(mover->state & ACTOR_MOVING);
}

TEST_F(ActorCollide, ABoxContactSlidesAndReroutesTheWalk) {
  // The other's box is 1 x 1 around its position; the mover (radius 0.4)
  // walks east into it.
  Figure box(0.8f, {-0.5f, -0.5f, 0}, {0.5f, 0.5f, 1.8f}, {0, 0, 0.9f});
  Figure mover(0.4f, {-0.2f, -0.2f, 0}, {0.2f, 0.2f, 1.8f}, {0, 0, 0.9f});
  Actor* a = Costumed(mover, {3.5f, 4.2f, 0}, 0, {3, 4.2f, 0});
  Actor* b = Standing(box, {4.2f, 4, 0}, 1);
  Walking(a, {{3, 4.2f, 0}, {6, 4.2f, 0}});
  a->pExtra->destination = {9, 9, 9};
  drevActor_UpdateCollisions();
  // The grown box reaches x = 4.2 - 0.9 = 3.3: the mover is put back on that side.
  EXPECT_NEAR(a->position.x, 3.3f, 1e-4f);
  EXPECT_NEAR(a->position.y, 4.2f, 1e-4f);
  EXPECT_EQ(a->previousPosition.x, 3.5f);
  EXPECT_EQ(a->pExtra->collided, 1);
  EXPECT_EQ(b->pExtra->collided, 0);
  ASSERT_EQ(g_contacts.size(), 1u);
  EXPECT_NEAR(g_contacts[0].contact.x, 3.3f, 1e-4f);
  EXPECT_EQ(g_contacts[0].oldPosition.x, 3.5f);
  // A new walk to the old last point that keeps off the box.
  EXPECT_TRUE(a->state & ACTOR_MOVING);
  EXPECT_EQ(drevActor_State().boxRepeat, 1);
  const ActorExtra* e = a->pExtra;
  ASSERT_GE(e->pathCount, 3);
  EXPECT_LT(Dist(e->path[e->pathCount - 1], {6, 4.2f, 0}), 1e-4f);
  EXPECT_EQ(e->destination.x, 9.0f);
  for (int i = 1; i < e->pathCount; ++i) {
    qxVector3 from = e->path[i - 1], to = e->path[i];
    from.z = to.z = 0.9f;
    const qxVector3 centre{4.2f, 4, 0.9f};
    EXPECT_EQ(drevActor_SegmentHitsBox(drevActor_GetTransform(b), &centre, &to, &from, -0.9f, -0.9f,
                                       0.9f, 0.9f, nullptr),
              0)
        << i;
  }
}

TEST_F(ActorCollide, TenRerouteFramesSwitchTheBoxesOff) {
  Actor* a = Standing(moverFigure_, {3, 4, 0}, 0);
  Standing(otherFigure_, {3.5f, 4, 0}, 1);
  qxVector3 points[256];
  int count = -1;
  const int self = drevActor_ToIndex(a);
  drevActor_GetNearbyActorBoxes(self, &count, 256, points, -1);
  ASSERT_EQ(count, 4);
  // Grown by the walker's radius and 0.02, at the obstacle's height.
  EXPECT_NEAR(points[0].x, 3.5f - 0.2f - 0.42f, 1e-5f);
  EXPECT_NEAR(points[2].y, 4 + 0.2f + 0.42f, 1e-5f);
  drevActor_State().boxRepeat = 10;
  drevActor_GetNearbyActorBoxes(self, &count, 256, points, -1);
  EXPECT_EQ(count, 0);
  // The count falls back after a frame without a re-route.
  drevActor_UpdateCollisions();
  EXPECT_EQ(drevActor_State().boxRepeat, 0);
  drevActor_GetNearbyActorBoxes(self, &count, 256, points, -1);
  EXPECT_EQ(count, 4);
}

TEST_F(ActorCollide, ObstacleCornersOfNearAndIncludedActorsOnly) {
  Figure far, sphere;
  Actor* a = Standing(moverFigure_, {1, 1, 0}, 0);
  Actor* remote = Standing(far, {6, 6, 0}, 1);
  Standing(sphere, {1.5f, 1, 0}, 2);
  qxVector3 points[8];
  int count = -1;
  drevActor_GetNearbyActorBoxes(drevActor_ToIndex(a), &count, 8, points, -1);
  EXPECT_EQ(count, 0);  // the sphere is no obstacle, the box is far away
  drevActor_GetNearbyActorBoxes(drevActor_ToIndex(a), &count, 8, points, drevActor_ToIndex(remote));
  EXPECT_EQ(count, 4);
  // A full buffer ends the collection with a log line, not an assertion.
  drevActor_GetNearbyActorBoxes(drevActor_ToIndex(a), &count, 3, points, drevActor_ToIndex(remote));
  EXPECT_EQ(count, 0);
  // A tilted obstacle has no footprint.
  const qxVector3 tilt{20, 0, 0};
  drevActor_SetRotation(remote, &tilt, 0);
  drevActor_GetNearbyActorBoxes(drevActor_ToIndex(a), &count, 8, points, drevActor_ToIndex(remote));
  EXPECT_EQ(count, 0);
}

TEST_F(ActorCollide, AvoidingBendsThePathAroundTheBox) {
  Figure box(0.8f, {-0.5f, -0.5f, 0}, {0.5f, 0.5f, 1.8f}, {0, 0, 0.9f});
  Actor* a = Standing(moverFigure_, {1, 4, 0}, 0);
  Actor* b = Standing(box, {4, 4, 0}, 1);
  const qxVector3 straight[2] = {{1, 4, 0}, {7, 4, 0}};
  qxVector3 out[ACTOR_PATH_MAX];
  // Without an actor to avoid the points are copied, up to the capacity.
  EXPECT_EQ(drevActor_AvoidActor(out, ACTOR_PATH_MAX, 2, a, nullptr, straight), 2);
  EXPECT_EQ(drevActor_AvoidActor(out, 1, 2, a, nullptr, straight), 1);

  const int n = drevActor_AvoidActor(out, ACTOR_PATH_MAX, 2, a, b, straight);
  ASSERT_GE(n, 3);
  EXPECT_EQ(out[0].x, 1.0f);
  EXPECT_LT(Dist(out[n - 1], straight[1]), 1e-4f);
  // Every leg keeps off the box grown by the walker's radius (0.9 around b).
  for (int i = 1; i < n; ++i) {
    const qxVector3 centre{4, 4, 0};
    EXPECT_EQ(drevActor_SegmentHitsBox(drevActor_GetTransform(b), &centre, &out[i], &out[i - 1],
                                       -0.9f, -0.9f, 0.9f, 0.9f, nullptr),
              0)
        << i;
  }
  // It never writes past its capacity.
  EXPECT_LE(drevActor_AvoidActor(out, 2, 2, a, b, straight), 2);
  EXPECT_EQ(drevActor_AvoidActor(out, 0, 2, a, b, straight), 0);
  // A goal outside every sector gives no path.
  const qxVector3 away[2] = {{1, 4, 0}, {20, 4, 0}};
  EXPECT_EQ(drevActor_AvoidActor(out, ACTOR_PATH_MAX, 2, a, b, away), 0);
}

// ---- Geometry tables ----------------------------------------------------------------

const ActorBox kUnit{{-1, -1, -1}, {1, 1, 1}};

TEST(ActorGeometry, BoxSlide) {
  struct Case {
    qxVector3 previous, current;
    int result;
    qxVector3 out, contact;
  };
  const float l = std::sqrt(0.25f + 1.0f / 36.0f);  // the motion left inside in the first case
  const Case cases[] = {
      // Entered through -x: slides along that side by the whole rest of the motion.
      {{-2, 0, 0}, {-0.5f, 0.5f, 0}, 1, {-1, 1.0f / 3 + l, 0}, {-1, 1.0f / 3, 0}},
      // Head-on: stays at the contact point.
      {{-2, 0, 0}, {-0.5f, 0, 0}, 1, {-1, 0, 0}, {-1, 0, 0}},
      // Entered through +y, sliding toward -x.
      {{0.5f, 3, 0}, {0, 0.5f, 0}, 1, {0.1f - std::sqrt(0.26f), 1, 0}, {0.1f, 1, 0}},
      // No motion: no side to enter by.
      {{0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, 0, {0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    qxVector3 out{0, 0, 0}, contact{0, 0, 0};
    EXPECT_EQ(drevActor_BoxSlide(&c.current, &out, &c.previous, &kUnit, &contact), c.result);
    if (!c.result) continue;
    // The slide turns the motion with the sine table: a little under 1e-3 off.
    EXPECT_NEAR(out.x, c.out.x, 1e-3f) << c.previous.x << " " << c.previous.y;
    EXPECT_NEAR(out.y, c.out.y, 1e-3f) << c.previous.x << " " << c.previous.y;
    EXPECT_NEAR(out.z, c.out.z, 1e-3f);
    EXPECT_NEAR(contact.x, c.contact.x, 1e-4f);
    EXPECT_NEAR(contact.y, c.contact.y, 1e-4f);
  }
}

TEST(ActorGeometry, SegmentHitsBox) {
  qxMatrix34 yaw90;
  const qxVector3 angles{0, 90, 0}, at{5, 0, 0}, zero{0, 0, 0};
  qxMatrix34_Build(&yaw90, &angles, &at);
  struct Case {
    const qxMatrix34* m;
    qxVector3 origin, start, end;
    int hit;
    qxVector3 contact;
  };
  const Case cases[] = {
      {&qxMatrix34_identity, zero, {-2, 0, 0}, {2, 0, 0}, 1, {-1, 0, 0}},
      {&qxMatrix34_identity, zero, {2, 0.5f, 0}, {-2, 0.5f, 0}, 1, {1, 0.5f, 0}},
      {&qxMatrix34_identity, zero, {-2, 2, 0}, {2, 2, 0}, 0, {}},
      {&qxMatrix34_identity, zero, {0, 0, 0}, {2, 0, 0}, 0, {}},  // leaves, never enters
      {&qxMatrix34_identity, zero, {-2, -2, 0}, {2, 2, 0}, 1, {-1, -1, 0}},
      {&qxMatrix34_identity, zero, {-2, 0, 0}, {-1.5f, 0, 0}, 0, {}},  // stops short
      // Measured from the origin given, in the matrix's axes.
      {&yaw90, at, {5, -3, 0}, {5, 3, 0}, 1, {-1, 0, 0}},
      {&yaw90, at, {6.5f, -3, 0}, {6.5f, 3, 0}, 0, {}},
  };
  for (const Case& c : cases) {
    qxVector3 contact{9, 9, 9};
    EXPECT_EQ(drevActor_SegmentHitsBox(c.m, &c.origin, &c.end, &c.start, -1, -1, 1, 1, &contact),
              c.hit)
        << c.start.x << " " << c.start.y;
    if (!c.hit) continue;
    EXPECT_NEAR(contact.x, c.contact.x, 1e-5f);
    EXPECT_NEAR(contact.y, c.contact.y, 1e-5f);
  }
}

TEST(ActorGeometry, PushOutOfBox) {
  qxMatrix34 yaw90;
  const qxVector3 angles{0, 90, 0}, zero{0, 0, 0}, origin{10, 0, 0};
  qxMatrix34_BuildRotate(&yaw90, &angles);
  struct Case {
    const qxMatrix34* m;
    qxVector3 origin, point, out;
  };
  const Case cases[] = {
      {&qxMatrix34_identity, zero, {0.5f, 0.2f, 0}, {1.01f, 0.2f, 0}},
      {&qxMatrix34_identity, zero, {0, 0, 0}, {0, 1.01f, 0}},  // a tie: max y first
      {&qxMatrix34_identity, zero, {-0.9f, 0.9f, 0}, {-0.9f, 1.01f, 0}},
      {&qxMatrix34_identity, zero, {0, -0.7f, 0.5f}, {0, -1.01f, 0.5f}},
      {&qxMatrix34_identity, zero, {0, 0, 1.5f}, {0, 0, 1.5f}},  // outside: unchanged
      {&qxMatrix34_identity, zero, {1, 0, 0}, {1, 0, 0}},        // on a side is not inside
      {&yaw90, origin, {10.2f, 0.5f, 0}, {10.2f, 1.01f, 0}},
  };
  for (const Case& c : cases) {
    qxVector3 p = c.point;
    drevActor_PushOutOfBox(&p, c.m, &kUnit, &c.origin);
    EXPECT_NEAR(p.x, c.out.x, 1e-5f) << c.point.x << " " << c.point.y;
    EXPECT_NEAR(p.y, c.out.y, 1e-5f) << c.point.x << " " << c.point.y;
    EXPECT_NEAR(p.z, c.out.z, 1e-5f);
  }
}

TEST(ActorGeometry, BoxCorners) {
  const ActorBox box{{-1, -2, 0.5f}, {1, 2, 2}};
  qxMatrix34 upright, tilted;
  const qxVector3 at{3, 4, 0}, level{0, 0, 0}, tilt{10, 0, 0};
  qxMatrix34_Build(&upright, &level, &at);
  qxMatrix34_Build(&tilted, &tilt, &at);
  qxVector3 corners[4];
  int valid[4];
  ASSERT_EQ(drevActor_GetBoxCorners(&box, 0.5f, &upright, 7, corners, valid), 4);
  const qxVector3 expected[4] = {
      {1.5f, 1.5f, 7}, {4.5f, 1.5f, 7}, {4.5f, 6.5f, 7}, {1.5f, 6.5f, 7}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(valid[k], 1);
    EXPECT_NEAR(corners[k].x, expected[k].x, 1e-5f) << k;
    EXPECT_NEAR(corners[k].y, expected[k].y, 1e-5f) << k;
    EXPECT_EQ(corners[k].z, 7.0f);
  }
  EXPECT_EQ(drevActor_GetBoxCorners(&box, 0.5f, &tilted, 7, corners, valid), 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(valid[k], 0);

  // The nearest usable corner to the goal and the start together.
  const qxVector3 start{0, 0, 7}, east{8, 0, 7}, across{6, 7, 7};
  int usable[4] = {1, 1, 1, 1};
  EXPECT_EQ(drevActor_NearestCorner(expected, usable, &start, &east), 1);
  EXPECT_EQ(drevActor_NearestCorner(expected, usable, &start, &across), 0);  // a tie: the earlier
  usable[1] = 0;
  EXPECT_EQ(drevActor_NearestCorner(expected, usable, &start, &east), 0);
  const int none[4] = {0, 0, 0, 0};
  EXPECT_EQ(drevActor_NearestCorner(expected, none, &start, &east), -1);
}

TEST(ActorGeometry, CircleIntersect) {
  qxVector3 first{}, second{};
  const qxVector3 a{0, 0, 1}, b{1, 0, 5};
  ASSERT_EQ(drevActor_CircleIntersect(&first, &second, &a, &b, 1, 1), 1);
  EXPECT_NEAR(first.x, 0.5f, 1e-5f);
  EXPECT_NEAR(first.y, std::sqrt(0.75f), 1e-5f);
  EXPECT_NEAR(second.y, -std::sqrt(0.75f), 1e-5f);
  EXPECT_EQ(first.z, 1.0f);  // at the first centre's height
  EXPECT_EQ(drevActor_CircleIntersect(&first, &second, &a, &a, 1, 1), 0);  // coincident
  const qxVector3 farAway{5, 0, 1};
  EXPECT_EQ(drevActor_CircleIntersect(&first, &second, &a, &farAway, 1, 1), 0);
  const qxVector3 inside{0.1f, 0, 1};
  EXPECT_EQ(drevActor_CircleIntersect(&first, &second, &a, &inside, 0.2f, 2), 0);
  // The tangent detour: no room when the heights differ by more than the reach.
  qxVector3 p{0, 0, 0};
  const qxVector3 previous{-1, 0, 0}, high{0.5f, 0, 3};
  EXPECT_EQ(drevActor_TangentDetour(&previous, &high, &p, 0.8f), 0);
}

}  // namespace
