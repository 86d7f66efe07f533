// Walk frames: steps across borders, wall slides, funnels, turning.
#include "WalkTestSupport.h"

namespace {

using walktest::Square;
using walktest::WalkWorld;

class Frames : public WalkWorld {
 protected:
  void TearDown() override {
    for (WalkFrame* f : frames_) WalkFrame_Unlink(f);
    WalkWorld::TearDown();
  }
  // A frame at the point facing the direction (x-y), attached to its sector.
  WalkFrame* Place(float x, float y, float dx, float dy, float maxTurn) {
    auto frame = std::make_unique<WalkFrame>();
    WalkFrame* f = frame.get();
    owned_.push_back(std::move(frame));
    WalkFrame_Construct(f, maxTurn);
    frames_.push_back(f);
    const qxVector3 p{x, y, 0};
    WalkFrame_SetPosition(f, &p);
    f->frame.y = {dx, dy, 0};
    WalkFrame_AttachToSector(f);
    WalkFrame_Orthonormalize(f);
    return f;
  }
  std::vector<WalkFrame*> frames_;
  std::vector<std::unique_ptr<WalkFrame>> owned_;
};

// A funnel 4 long, 1 wide at x = 0 and 0.5 wide at x = 4 (its narrow end).
const char* const kFunnel =
    "\tsector funnel\n\ttype funnel\n\tdefault visibility visible\n\tnumvertices 4\n"
    "\tvertices: 0 -0.5 0\n\t4 -0.25 0\n\t4 0.25 0\n\t0 0.5 0\n";

TEST_F(Frames, StepsInsideAndAcrossABorder) {
  Read(Square("south", 0, 0, 1, 1) + Square("north", 0, 1, 1, 2));
  WalkFrame* f = Place(0.5f, 0.5f, 0, 1, 45);
  EXPECT_EQ(f->sector, Named("south"));
  EXPECT_EQ(WalkFrame_Advance(f, 0.2f, nullptr, 1, 1), 1);
  EXPECT_FLOAT_EQ(f->position.y, 0.7f);
  EXPECT_FLOAT_EQ(f->frame.t.y, 0.7f);
  EXPECT_FLOAT_EQ(f->signedStep, 0.2f);
  // 0.5 across the border: the frame stops at most 0.02 beyond it.
  EXPECT_EQ(WalkFrame_Advance(f, 0.5f, nullptr, 1, 1), 1);
  EXPECT_EQ(f->sector, Named("north"));
  EXPECT_GE(f->position.y, 1.0f);
  EXPECT_LE(f->position.y, 1.02f + 1e-5f);
  EXPECT_EQ(Named("south")->enabled, 1);  // enabled again afterwards
  EXPECT_EQ(f->stepDepth, 0);
}

TEST_F(Frames, WallSlides) {
  struct Case {
    const char* what;
    float dx, dy, maxTurn;
    int slideNegative;
    int result;
    float endX;  // 1.366 at the wall; 1.799 after sliding cos 30 x the 0.5 left
    float signedStep;
  };
  const Case cases[] = {
      {"30 degrees, max turn 45", 0.8660254f, 0.5f, 45, 1, 1, 1.3660254f + 0.4330127f, 1.5f},
      {"30 degrees, max turn 20", 0.8660254f, 0.5f, 20, 1, 0, 1.3660254f, 1.0f},
      {"30 degrees, no slide to the right", 0.8660254f, 0.5f, 45, 0, 0, 1.3660254f, 1.5f},
  };
  Read(Square("hall", 0, 0, 4, 1));
  for (const Case& c : cases) {
    WalkFrame* f = Place(0.5f, 0.5f, c.dx, c.dy, c.maxTurn);
    EXPECT_EQ(WalkFrame_Advance(f, 1.5f, nullptr, 1, c.slideNegative), c.result) << c.what;
    EXPECT_NEAR(f->position.x, c.endX, 2e-3f) << c.what;
    EXPECT_NEAR(f->position.y, 1.0f, 1e-4f) << c.what;
    EXPECT_NEAR(f->signedStep, c.signedStep, 1e-4f) << c.what;
  }
  // Straight at the wall (a turn of 90.2 needed) never slides with 90.
  WalkFrame* f = Place(0.5f, 0.5f, 0, 1, 90);
  EXPECT_EQ(WalkFrame_Advance(f, 1.0f, nullptr, 1, 1), 0);
  EXPECT_NEAR(f->position.y, 1.0f, 1e-5f);
  EXPECT_NEAR(f->position.x, 0.5f, 1e-5f);
}

TEST_F(Frames, BlockedStepsOfOneFrameDoNotReachAnother) {
  Read(Square("hall", 0, 0, 4, 1));
  WalkFrame* a = Place(0.5f, 0.5f, 0.8660254f, 0.5f, 20);
  WalkFrame* b = Place(2.5f, 0.5f, 1, 0, 20);
  EXPECT_EQ(WalkFrame_Advance(a, 1.5f, nullptr, 1, 1), 0);  // stopped at the wall
  EXPECT_NEAR(a->signedStep, 1.0f, 1e-4f);
  // The other frame starts its own chain.
  EXPECT_EQ(WalkFrame_Advance(b, 0.1f, nullptr, 1, 1), 1);
  EXPECT_FLOAT_EQ(b->signedStep, 0.1f);
  EXPECT_FLOAT_EQ(b->position.x, 2.6f);
  // The blocked frame's next step continues its own chain.
  WalkFrame_Rotate(a, -90);
  EXPECT_EQ(WalkFrame_Advance(a, 0.1f, nullptr, 1, 1), 1);
  EXPECT_NEAR(a->signedStep, 1.0f, 1e-4f);
  EXPECT_EQ(WalkFrame_Advance(a, 0.1f, nullptr, 1, 1), 1);
  EXPECT_FLOAT_EQ(a->signedStep, 0.1f);
}

TEST_F(Frames, FunnelSideWallsTurnTowardTheNarrowEnd) {
  Read(kFunnel);
  Sector* funnel = Named("funnel");
  ASSERT_EQ(funnel->funnelEdge, 1);
  // Hitting the upper side wall: turn along it toward the narrow end and go on.
  WalkFrame* f = Place(1, 0, 0.5f, 0.8660254f, 90);
  EXPECT_EQ(WalkFrame_Advance(f, 1.0f, nullptr, 1, 1), 1);
  EXPECT_GT(f->frame.y.x, 0.99f);
  EXPECT_GT(f->position.x, 1.5f);
  EXPECT_TRUE(Sector_ContainsPoint(funnel, &f->position, 1));
  // Reaching the narrow end stops.
  WalkFrame* g = Place(3.5f, 0, 1, 0, 90);
  EXPECT_EQ(WalkFrame_Advance(g, 1.0f, nullptr, 1, 1), 0);
  EXPECT_NEAR(g->position.x, 4.0f, 1e-4f);
  EXPECT_EQ(funnel->enabled, 1);
}

TEST_F(Frames, TurningAndHeadings) {
  Read(Square("long", 0, 0, 4, 1));
  WalkFrame* f = Place(2, 0.5f, 0, 1, 45);
  const qxVector3 right{3, 0.5f, 0};
  EXPECT_FLOAT_EQ(WalkFrame_TurnToward(f, &right, 30), -30.0f);
  EXPECT_NEAR(f->frame.y.x, 0.5f, 2e-3f);
  EXPECT_NEAR(f->frame.y.y, 0.8660254f, 2e-3f);
  const qxVector3 left{1, 0.5f, 0};
  EXPECT_NEAR(WalkFrame_YawToPoint(f, &left), 90.0f, 0.5f);

  // The funnel heading of a 4 x 1 rectangle is its long axis.
  WalkFrame* g = Place(2, 0.5f, 1, 0, 45);
  g->signedStep = 1;
  qxVector3 heading;
  ASSERT_EQ(Sector_FunnelHeading(Named("long"), g, &heading), 1);
  EXPECT_NEAR(heading.x, 1.0f, 1e-5f);
  EXPECT_NEAR(heading.y, 0.0f, 1e-5f);
  // A crossing near a corner is held at parameter 0.15 along the edge.
  WalkFrame* h = Place(2, 0.1f, 1, 0, 45);
  h->signedStep = 1;
  ASSERT_EQ(Sector_FunnelHeading(Named("long"), h, &heading), 1);
  EXPECT_NEAR(heading.y, 0.05f / std::sqrt(16.0025f), 1e-4f);
  // Walking backwards reverses it.
  h->signedStep = -1;
  h->frame.y = {-1, 0, 0};
  ASSERT_EQ(Sector_FunnelHeading(Named("long"), h, &heading), 1);
  EXPECT_LT(heading.x, -0.99f);
  // Heading mode holds the frame to it.
  WalkFrame_SetSectorHeading(g, 1);
  EXPECT_EQ(g->headingMode, 1);
  WalkFrame_SetSectorHeading(g, 0);
  EXPECT_EQ(g->headingMode, 0);
}

TEST_F(Frames, AttachAndOppositeEdge) {
  Read(Square("box", 0, 0, 1, 1));
  WalkFrame* f = Place(2, 0.5f, 1, 0, 45);  // placed outside every sector
  EXPECT_EQ(f->sector, Named("box"));
  EXPECT_NEAR(f->position.x, 1.0f, 1e-5f);
  EXPECT_NEAR(f->frame.t.x, 1.0f, 1e-5f);
  EXPECT_NEAR(f->frame.z.z, 1.0f, 1e-6f);  // up follows the sector

  WalkFrame* g = Place(0.3f, 0.5f, 1, 0, 45);
  Sector_GetOppositeEdge(Named("box"), g);
  EXPECT_NEAR(g->position.x, 1.0f, 1e-5f);
  EXPECT_NEAR(g->position.y, 0.5f, 1e-5f);

  // A frame with no sector moves freely.
  WalkFrame free;
  WalkFrame_Construct(&free, 10);
  EXPECT_EQ(WalkFrame_GetList(), &free);
  EXPECT_EQ(WalkFrame_Advance(&free, 5, nullptr, 0, 0), 1);
  EXPECT_FLOAT_EQ(free.position.y, 5.0f);
  WalkFrame_Unlink(&free);
  EXPECT_NE(WalkFrame_GetList(), &free);
}

}  // namespace
