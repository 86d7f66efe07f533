// Object states: creation, list operations, preparation and drawing through
// a recording render-hook table.
#include "engine/ObjectState.h"

#include <algorithm>
#include <list>
#include <random>

#include "RoomTestSupport.h"
#include "platform/kv_RenderHooks.h"

namespace {

using roomtest::kSmallSet;
using roomtest::RoomTest;

struct BlitCall {
  DisplayBuffer* source[2];
  int x[2], y[2], flags[2];
  DisplayBuffer* destination[2];
};

struct CopyCall {
  DisplayBuffer* destination;
  DisplayBuffer* source;
  stdRect rect;
};

std::vector<BlitCall> g_blits;
std::vector<CopyCall> g_copies;

int RecordBlitObjectStates(DisplayBuffer* s0, int x0, int y0, int f0, DisplayBuffer* d0, int,
                           DisplayBuffer* s1, int x1, int y1, int f1, DisplayBuffer* d1, int) {
  g_blits.push_back({{s0, s1}, {x0, x1}, {y0, y1}, {f0, f1}, {d0, d1}});
  return 1;
}

void RecordBlit(DisplayBuffer* destination, kvSurface*, DisplayBuffer* source, kvSurface*, int, int,
                const stdRect* rect, int) {
  g_copies.push_back({destination, source, rect ? *rect : stdRect{}});
}

class ObjectStates : public RoomTest {
 protected:
  void SetUp() override {
    RoomTest::SetUp();
    kv_RenderHooks_ResetForTest();
    table_ = RenderHookTable{};
    table_.Blit = RecordBlit;
    table_.BlitObjectStates = RecordBlitObjectStates;
    ASSERT_NE(kv_RenderHooks_Register(&table_), nullptr);
    g_blits.clear();
    g_copies.clear();
    world_.backgrounds = {"wide.bmp", "close.bmp", "door.bm", "doorz.bm"};
    world_.colormaps = {"room.cmp"};
    room_ = Load(Write("small.set", kSmallSet));
    ASSERT_NE(room_, nullptr);
    drevRoom_MakeCurrent(room_, nullptr);
    target_ = roomtest::NewBuffer(64, 64);
    depth_ = roomtest::NewBuffer(64, 64);
  }
  void TearDown() override {
    stdDisplay_FreeBuffer(target_);
    stdDisplay_FreeBuffer(depth_);
    RoomTest::TearDown();
    kv_RenderHooks_ResetForTest();
  }

  static Bitmap* BitmapOf(const ObjectStateImage& part) {
    return static_cast<Bitmap*>(part.bitmapRef.object);
  }

  RenderHookTable table_{};
  Room* room_ = nullptr;
  DisplayBuffer* target_ = nullptr;
  DisplayBuffer* depth_ = nullptr;
};

TEST_F(ObjectStates, ANewKind1StateStartsHiddenAndShowsTheFrameItIsGiven) {
  ObjectState* s = ObjectState_Create(0, 1, "door.bm", "", 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->setupIndex, 0);
  EXPECT_EQ(room_->setups[0].objectStates, s);
  Bitmap* bitmap = BitmapOf(s->stateImage);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->currentFrame, -1);
  EXPECT_EQ(s->stateImage.x, 10);
  EXPECT_EQ(s->stateImage.width, 8);
  ObjectState_Draw(s, 2, target_, depth_);  // another kind: nothing
  EXPECT_TRUE(g_blits.empty());
  bitmap->currentFrame = 0;
  ObjectState_Draw(s, 1, target_, depth_);
  ASSERT_EQ(g_blits.size(), 1u);
  EXPECT_EQ(g_blits[0].source[0], bitmap->frames[0]);
  EXPECT_EQ(g_blits[0].flags[0], 5);
  EXPECT_EQ(g_blits[0].x[0], 10);
  EXPECT_EQ(g_blits[0].y[0], 20);
  EXPECT_EQ(g_blits[0].destination[0], target_);
  EXPECT_EQ(g_blits[0].source[1], nullptr);  // no z-image
  EXPECT_TRUE(world_.dirty.empty());
}

TEST_F(ObjectStates, DefaultDrawFlagIs1ForKind3Only) {
  EXPECT_EQ(ObjectState_Create(0, 3, "door.bm", "", -1)->stateImage.drawFlag, 1);
  EXPECT_EQ(ObjectState_Create(0, 2, "door.bm", "", -1)->zImage.drawFlag, 0);
}

TEST_F(ObjectStates, TurningAStateOffMarksItsRectangleDirtyOnceThenDrawsTheSavedBackground) {
  ObjectState* s = ObjectState_Create(0, 1, "door.bm", "", 3);
  Bitmap* bitmap = BitmapOf(s->stateImage);
  bitmap->currentFrame = 1;
  ObjectState_Draw(s, 1, target_, depth_);
  bitmap->currentFrame = -1;
  ObjectState_Draw(s, 1, target_, depth_);
  ObjectState_Draw(s, 1, target_, depth_);
  EXPECT_EQ(world_.dirty, (std::vector<std::vector<int>>{{10, 20, 8, 4, 1}}));
  ASSERT_EQ(g_blits.size(), 3u);
  EXPECT_EQ(g_blits[2].source[0], s->stateImage.savedBackground);
  EXPECT_EQ(g_blits[2].flags[0], 0);
}

TEST_F(ObjectStates, AFrameBeyondTheBitmapIsLoweredToTheLast) {
  ObjectState* s = ObjectState_Create(0, 2, "door.bm", "", 0);
  Bitmap* bitmap = BitmapOf(s->stateImage);
  bitmap->currentFrame = 17;
  ObjectState_Draw(s, 2, target_, depth_);
  EXPECT_EQ(g_blits.at(0).source[0], bitmap->frames[2]);
  EXPECT_EQ(bitmap->currentFrame, 2);
  EXPECT_EQ(s->stateImage.currentIndex, 2);
}

TEST_F(ObjectStates, Kind3IsRedrawnOnlyAfterItsFrameChanged) {
  ObjectState* s = ObjectState_Create(0, 3, "door.bm", "doorz.bm", -1);
  ObjectState_Prepare(s, target_, depth_);
  ASSERT_EQ(g_copies.size(), 2u);  // the clean background and depth under the placement
  EXPECT_EQ(g_copies[0].destination, s->stateImage.savedBackground);
  EXPECT_EQ(g_copies[0].source, target_);
  EXPECT_EQ(g_copies[0].rect.x, 10);
  EXPECT_EQ(g_copies[0].rect.height, 4);
  EXPECT_EQ(g_copies[1].source, depth_);
  ObjectState_Draw(s, 3, target_, depth_);
  EXPECT_TRUE(g_blits.empty());  // hidden before and after
  BitmapOf(s->stateImage)->currentFrame = 1;
  ObjectState_Draw(s, 3, target_, depth_);
  ASSERT_EQ(g_blits.size(), 2u);
  EXPECT_EQ(g_blits[0].source[0], BitmapOf(s->stateImage)->frames[1]);
  EXPECT_EQ(g_blits[0].source[1], nullptr);
  EXPECT_EQ(g_blits[1].source[0], BitmapOf(s->zImage)->frames[1]);  // the matching depth frame
  EXPECT_EQ(g_blits[1].destination[0], depth_);
  EXPECT_EQ(world_.dirty, (std::vector<std::vector<int>>{{10, 20, 8, 4, 1}}));
  ObjectState_Draw(s, 3, target_, depth_);
  EXPECT_EQ(g_blits.size(), 2u);
}

TEST_F(ObjectStates, TwoStatesShareOneBitmapsFrame) {
  ObjectState* a = ObjectState_Create(0, 1, "door.bm", "", 1);
  ObjectState* b = ObjectState_Create(0, 1, "door.bm", "", 1);
  ASSERT_EQ(BitmapOf(a->stateImage), BitmapOf(b->stateImage));
  BitmapOf(a->stateImage)->currentFrame = 2;
  ObjectState_Draw(b, 1, target_, depth_);
  EXPECT_EQ(g_blits.at(0).source[0], BitmapOf(a->stateImage)->frames[2]);
}

TEST_F(ObjectStates, AMissingBitmapLeavesThePartUnboundAndCreationNeedsASetup) {
  ObjectState* s = ObjectState_Create(1, 1, "missing.bm", "", 0);
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->stateImage.bitmapRef.valid);
  ObjectState_Draw(s, 1, target_, depth_);
  ASSERT_EQ(g_blits.size(), 1u);
  EXPECT_EQ(g_blits[0].source[0], nullptr);
  EXPECT_EQ(ObjectState_Create(2, 1, "door.bm", "", 0), nullptr);
  EXPECT_EQ(ObjectState_Create(-1, 1, "door.bm", "", 0), nullptr);
  ObjectState_Free(nullptr);
  drevRoom_MakeCurrent(nullptr, nullptr);
  EXPECT_EQ(ObjectState_Create(0, 1, "door.bm", "", 0), nullptr);
}

TEST_F(ObjectStates, SendingTheHeadBackOrTheOnlyStateForwardChangesNothing) {
  ObjectState* only = ObjectState_Create(0, 1, "door.bm", "", 0);
  EXPECT_EQ(ObjectState_SendToFront(only, only), only);
  EXPECT_EQ(only->next, nullptr);
  EXPECT_EQ(only->prev, nullptr);
  ObjectState* head = ObjectState_Create(0, 1, "door.bm", "", 0);
  EXPECT_EQ(ObjectState_SendToBack(head, head), head);
  EXPECT_EQ(head->next, only);
  EXPECT_EQ(only->prev, head);
}

// Random list operations keep a consistent doubly linked list in the same
// order as a model list.
TEST_F(ObjectStates, RandomListOperationsKeepTheListConsistent) {
  std::mt19937 random(20);
  std::list<ObjectState*> model;
  RoomSetup& setup = room_->setups[1];
  for (int step = 0; step < 400; ++step) {
    const int op = model.empty() ? 0 : static_cast<int>(random() % 4);
    auto pick = [&] {
      auto it = model.begin();
      std::advance(it, random() % model.size());
      return it;
    };
    if (op == 0) {
      model.push_front(ObjectState_Create(1, 1, "door.bm", "", 0));
    } else if (op == 1) {
      auto it = pick();
      ObjectState_Free(*it);
      model.erase(it);
    } else if (op == 2) {
      auto it = pick();
      ObjectState* s = *it;
      setup.objectStates = ObjectState_SendToBack(s, setup.objectStates);
      model.erase(it);
      model.push_front(s);
    } else {
      auto it = pick();
      ObjectState* s = *it;
      setup.objectStates = ObjectState_SendToFront(s, setup.objectStates);
      model.erase(it);
      model.push_back(s);
    }
    ObjectState* previous = nullptr;
    auto expected = model.begin();
    for (ObjectState* s = setup.objectStates; s; s = s->next, ++expected) {
      ASSERT_NE(expected, model.end()) << "step " << step;
      ASSERT_EQ(s, *expected) << "step " << step;
      ASSERT_EQ(s->prev, previous) << "step " << step;
      previous = s;
    }
    ASSERT_EQ(expected, model.end()) << "step " << step;
  }
}

}  // namespace
