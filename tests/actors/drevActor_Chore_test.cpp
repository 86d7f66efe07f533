// Actor chores: the motion chore switch from the one-frame requests, the
// motion chore setters and the chore script functions, on a costume written
// by the test and worn through the costume stack.
#include <fstream>

#include "CostumeTestSupport.h"

namespace {

using namespace costumetest;

constexpr int kPlaying = 1, kLooping = 2;

class Chores : public CostumeTest {
 protected:
  void SetUp() override {
    CostumeTest::SetUp();
    // Eight chores, each driving the walk keyframe, so each is a chore that
    // plays, loops and fades.
    std::vector<Chore> chores;
    for (int i = 0; i < 8; ++i) {
      chores.push_back({"chore" + std::to_string(i), 1000, {{1, {{0, 1}}}}});
    }
    ASSERT_NE(Load("walker.cos", {{MMDL, -1, "head.3do"}, {KEYF, 0, "walk.key"}}, chores), 0);
    actor_ = NewActor();
    ASSERT_EQ(drevActor_SetCostume(actor_, "walker.cos", 0), 1);
    node_ = actor_->costumeTop;
    lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(drevActor_ToIndex(actor_))),
                    kTagActor);
    lua_setglobal("a");
  }
  int Status(int chore) const { return Cos_InstChoreStatus(node_->instance, chore); }
  bool Plays(int chore) const { return (Status(chore) & kPlaying) != 0; }
  static std::string Run(const std::string& code) {
    std::ofstream("chores.lua") << code;
    return lua_dofile("chores.lua") == 0 ? "" : "script failed: " + code;
  }
  // One frame of the motion switch with the given requests.
  void Frame(int walk, int turn = 0) {
    actor_->pExtra->walkRequested = walk;
    actor_->pExtra->turnRequested = turn;
    drevActor_UpdateMotionChores(actor_);
  }

  Actor* actor_ = nullptr;
  CostumeNode* node_ = nullptr;
};

TEST_F(Chores, AOneFrameWalkRequestWalksThenRests) {
  node_->walkChore = 0;
  node_->restChore = 1;
  Frame(1);
  EXPECT_EQ(Status(0), kPlaying | kLooping | 4);
  EXPECT_EQ(actor_->pExtra->resting, 0);
  EXPECT_FALSE(Plays(1));
  EXPECT_EQ(actor_->pExtra->walkRequested, 0);
  // The next frame without a request: the walk stops, the actor rests.
  Frame(0);
  EXPECT_FALSE(Plays(0));
  EXPECT_EQ(actor_->pExtra->resting, 1);
  EXPECT_TRUE(Plays(1));
  // Walking again stops the rest chore.
  Frame(1);
  EXPECT_TRUE(Plays(0));
  EXPECT_FALSE(Plays(1));
}

TEST_F(Chores, APathWalkKeepsTheWalkChore) {
  node_->walkChore = 0;
  Frame(1);
  actor_->state |= ACTOR_MOVING;
  Frame(0);  // the walk frame did not move this frame
  EXPECT_TRUE(Plays(0));
  actor_->state &= ~ACTOR_MOVING;
  Frame(0);
  EXPECT_FALSE(Plays(0));
}

TEST_F(Chores, TurnRequestsPickTheSideAndWalkingWins) {
  node_->turnChores[0] = 2;
  node_->turnChores[1] = 3;
  node_->walkChore = 0;
  Frame(0, 1);
  EXPECT_TRUE(Plays(2));
  EXPECT_FALSE(Plays(3));
  Frame(0, -1);
  EXPECT_FALSE(Plays(2));
  EXPECT_TRUE(Plays(3));
  Frame(1, -1);  // walking takes precedence
  EXPECT_TRUE(Plays(0));
  EXPECT_FALSE(Plays(3));
}

TEST_F(Chores, AnActorWithoutACostumeDropsItsRequests) {
  Actor* bare = NewActor();
  bare->pExtra->walkRequested = 1;
  drevActor_UpdateMotionChores(bare);
  EXPECT_EQ(bare->pExtra->walkRequested, 0);
}

TEST_F(Chores, SetActorWalkChoreSwapsAPlayingChore) {
  node_->walkChore = 0;
  Frame(1);
  ASSERT_EQ(Run("SetActorWalkChore(a, 5)"), "");
  EXPECT_FALSE(Plays(0));
  EXPECT_EQ(Status(5), kPlaying | kLooping | 4);
  EXPECT_EQ(node_->walkChore, 5);
  // Not playing: only stored. Nil clears.
  ASSERT_EQ(Run("SetActorRestChore(a, 6) SetActorRestChore(a, 7)"), "");
  EXPECT_EQ(node_->restChore, 7);
  EXPECT_FALSE(Plays(7));
  ASSERT_EQ(Run("SetActorWalkChore(a, nil) SetActorWalkChore(a, 'x')"), "");
  EXPECT_EQ(node_->walkChore, -1);
  EXPECT_FALSE(Plays(5));
}

TEST_F(Chores, SetActorTurnChoresStartsOnlyTheSideThatPlayed) {
  node_->turnChores[0] = 1;
  node_->turnChores[1] = 2;
  ASSERT_EQ(Cos_InstPlayChore(node_->instance, 1, 1, 0), 1);
  ASSERT_EQ(Run("SetActorTurnChores(a, 3, 4)"), "");
  EXPECT_FALSE(Plays(1));
  EXPECT_EQ(Status(3), kPlaying | kLooping | 4);
  EXPECT_FALSE(Plays(4));
  EXPECT_EQ(node_->turnChores[0], 3);
  EXPECT_EQ(node_->turnChores[1], 4);
  ASSERT_EQ(Run("SetActorTurnChores(a, 3, nil)"), "");  // both must be numbers
  EXPECT_EQ(node_->turnChores[1], 4);
}

TEST_F(Chores, SlotSettersAndTheCostumeSelector) {
  ASSERT_EQ(Run("SetActorTalkChore(a, 17, 5) SetActorTalkChore(a, 0, 5)\n"
                "SetActorTalkChore(a, 2, 5) SetActorTalkChore(a, 16, 6)\n"
                "SetActorMumblechore(a, 3, 'WALKER.COS') SetActorMumblechore(a, 4, 1)"),
            "");
  for (int slot = 0; slot < kCostumeTalkChores; ++slot) {
    EXPECT_EQ(node_->talkChores[slot], slot == 1 ? 5 : slot == 15 ? 6 : -1) << slot;
  }
  EXPECT_EQ(node_->mumbleChore, 3);  // by name; one node below the top there is none
  ASSERT_EQ(Run("SetActorTalkChore(a, 2, nil)"), "");
  EXPECT_EQ(node_->talkChores[1], -1);
}

TEST_F(Chores, PlayQueryAndStopByScript) {
  ASSERT_EQ(Run("r1 = PlayActorChore(a, 2)\n"
                "r2 = PlayActorChoreLooping(a, 5, nil)\n"
                "r3 = PlayActorChore(a, 99)\n"
                "r4 = PlayActorChore(a, 'x')\n"
                "r5 = PlayActorChore(a, 2, 3)\n"
                "t = GetActorChores(a)\n"
                "l = GetActorLoopingChores(a)\n"
                "c1, c2 = IsActorChoring(a, 5)\n"
                "d1, d2 = IsActorChoring(a, 2)\n"
                "e1, e2 = IsActorChoring(a, nil)\n"
                "f1 = IsActorChoring(a, nil, 1)\n"
                "g1 = IsActorChoring(a, 5, 1)\n"
                "h1 = GetActorChores(7)\n"),
            "");
  ASSERT_EQ(Run("assert(r1 == 1 and r2 == 1 and r3 == nil and r4 == nil and r5 == nil)\n"
                "assert(t.count == 2 and t[2] == 2 and t[5] == 5)\n"
                "assert(l.count == 1 and l[5] == 5 and l[2] == nil)\n"
                "assert(c1 == 5 and c2 == 1 and d1 == 2 and d2 == nil)\n"
                "assert(e1 == 5 and e2 == 1)\n"
                "assert(f1 == 2 and g1 == nil and h1 == nil)"),
            "");
  ASSERT_EQ(Run("SetActorChoreLooping(a, 2, 1) x1, x2 = IsActorChoring(a, 2)\n"
                "SetActorChoreLooping(a, nil, nil) y1, y2 = IsActorChoring(a, 5)\n"
                "assert(x2 == 1 and y2 == nil)\n"
                "StopActorChore(a, 5) assert(IsActorChoring(a, 5) == nil)\n"
                "CompleteActorChore(a, 3)\n"
                "StopActorChore(a) assert(IsActorChoring(a, nil) == nil)"),
            "");
}

}  // namespace
