// The frame on in-memory rasters, with recording fakes for the passes of the
// other modules: game states, cutscenes, setup switches, the draw list and
// actor scaling, the no-set picture and the RNDS block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "RenderTestSupport.h"
#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "engine/ObjectState.h"
#include "platform/kv_Log.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxModel3.h"

namespace {

std::vector<std::string>& Log() {
  return RenderTest_Log();
}
void Note(const std::string& s) {
  Log().push_back(s);
}

// The actors the fakes hand out, by index, and their costume nodes.
std::vector<Actor>& Actors() {
  static std::vector<Actor> actors;
  return actors;
}
std::vector<CostumeNode>& Nodes() {
  static std::vector<CostumeNode> nodes;
  return nodes;
}
int& TolveResult() {
  static int result = 1;
  return result;
}
int& Presented() {
  static int n = 0;
  return n;
}
// The x axis length of the placement each costume draw was given.
std::vector<float>& DrawScales() {
  static std::vector<float> scales;
  return scales;
}

class Frame : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    set_ = std::make_unique<Room>();
    RenderTest_Room() = set_.get();
    std::memset(&colormap_, 0, sizeof colormap_);
    colormapRef_ = ResourceRef{};
    colormapRef_.valid = 1;
    colormapRef_.object = &colormap_;
    set_->apColormaps = &colormapRef_;
    set_->numColormaps = 1;
    for (int i = 0; i < 2; ++i) {
      setups_[i] = RoomSetup{};
      std::snprintf(setups_[i].name, sizeof setups_[i].name, "setup%d", i);
      setups_[i].camera = qxCamera_New(70.0f, 0, 0.1f, 100.0f, 1.0f);
      qxMatrix34_Identity(&setups_[i].viewMatrix);
    }
    set_->setups = setups_;
    set_->numSetups = 2;
    state_ = ObjectState{};
    setups_[0].objectStates = &state_;
    roster_ = SetRoster{};
    set_->roster = &roster_;
    Actors().assign(200, Actor{});
    Nodes().assign(200, CostumeNode{});
    nodes_.clear();
    TolveResult() = 1;
    Presented() = 0;
    DrawScales().clear();

    drevRenderCalls& c = drevRender_Calls();
    c.roomGetSetupBackground = [](Room*, int) -> DisplayBuffer* { return nullptr; };
    c.roomGetSetupZBuffer = [](Room*, int) -> DisplayBuffer* { return nullptr; };
    c.objectStateLoadImages = [](ObjectState*) { Note("stateImages"); };
    c.objectStatePrepare = [](ObjectState*, DisplayBuffer*, DisplayBuffer*) {};
    c.objectStateDraw = [](ObjectState*, int kind, DisplayBuffer*, DisplayBuffer*) {
      Note("state " + std::to_string(kind));
    };
    c.actorFromIndex = [](int i) -> Actor* {
      return i >= 0 && i < static_cast<int>(Actors().size()) ? &Actors()[i] : nullptr;
    };
    c.actorNew = [](int, int) { return 150; };
    c.actorUpdateTalking = [](float) { Note("talk"); };
    c.costumeDraw = [](CostumeNode* node, const qxMatrix34* m) {
      Note("costume " + std::to_string(node - Nodes().data()));
      DrawScales().push_back(std::sqrt(m->x.x * m->x.x + m->x.y * m->x.y + m->x.z * m->x.z));
    };
    c.textDrawPass = [](int all, int layer) {
      Note("text " + std::to_string(all) + "," + std::to_string(layer));
    };
    c.textSuspendDrawing = [] {};
    c.textResumeDrawing = [] {};
    c.overlayDrawLayer = [](int layer, int arg) {
      Note("overlay " + std::to_string(layer) + "," + std::to_string(arg));
    };
    c.overlayFillBlack = [] { Note("fillBlack"); };
    c.mouseUpdateCursor = [] { Note("cursor"); };
    c.mouseCursorMovieEnabled = [] { return 0; };
    c.hotspotsDrawDebug = [] { Note("hotspots"); };
    c.primitiveDrawPass = [](int mask) {
      Note("prims " + std::to_string(mask));
      return 0;
    };
    c.tolveCreateFrameBuffer = [](DisplayBuffer*) { return 0; };
    c.tolveUpdate = [] {
      Note("tolve");
      return TolveResult();
    };
    c.movieHDIsActive = [] { return 0; };
    c.callUserPaint = [] { Note("paint"); };
    c.callPostCamChangeHandler = [](int setup) {
      Note("postCam " + std::to_string(setup));
      return 1;
    };
    c.startFrame = [] { Note("start"); };
    c.finishFrame = [] { Note("finish"); };
    c.discardFrame = [] { Note("discard"); };
    drevRender_SetPresentHook([] {
      ++Presented();
      return 1;
    });
    drevRender_SetPaletteHook([](const uint8_t*, int) { return 1; });
    kv_RenderHooks_classicPicture = 1;
  }
  void TearDown() override {
    drevRender_FreeBuffers();  // the canvas goes before the cameras that hold it
    qxCamera_SetCurrent(nullptr);
    for (RoomSetup& s : setups_) qxCamera_Free(s.camera);
    for (auto& n : nodes_) n.reset();
    kv_RenderHooks_classicPicture = 0;
    RenderTest::TearDown();
  }

  // Puts actor i in the roster (at its head: newest first).
  Actor& AddActor(int i, float depth, bool costume = true) {
    Actor& a = Actors()[i];
    a.position = {0.0f, depth, 0.0f};
    a.scale = 1.0f;
    a.inUse = 1;
    a.transformValid = 0;
    a.costumeTop = costume ? &Nodes()[i] : nullptr;
    nodes_.push_back(std::make_unique<RosterNode>());
    RosterNode* node = nodes_.back().get();
    node->actor = static_cast<uint32_t>(i);
    node->next = roster_.head;
    if (roster_.head) roster_.head->prev = node;
    roster_.head = node;
    return a;
  }
  int Count(const std::string& entry) {
    return static_cast<int>(std::count(Log().begin(), Log().end(), entry));
  }
  bool Black() {
    auto* p = static_cast<const uint16_t*>(display_->pixels);
    return std::all_of(p, p + 640 * 480, [](uint16_t v) { return v == 0; });
  }

  std::unique_ptr<Room> set_;
  RoomSetup setups_[2];
  SetRoster roster_{};
  qxColormap colormap_;
  ResourceRef colormapRef_{};
  std::vector<std::unique_ptr<RosterNode>> nodes_;
  ObjectState state_{};
};

TEST_F(Frame, StatesZeroAndSixDrawNothingButPresentRuns) {
  for (int state : {kGameNone, kGameNoRender}) {
    GameState = state;
    Log().clear();
    drevRender_DrawFrame();
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(drevRender_GetDirtyRectCount(), 0);
  }
  drevRender_Present();
  EXPECT_EQ(Presented(), 1);
}

TEST_F(Frame, UserPaintOncePerForceRefresh) {
  GameState = kGameUserPaint;
  drevRender_DrawFrame();  // buffers just opened: force-refresh is set
  drevRender_DrawFrame();
  EXPECT_EQ(Count("paint"), 1);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 1);
  drevRender_ForceRefresh();
  drevRender_DrawFrame();
  EXPECT_EQ(Count("paint"), 2);
}

TEST_F(Frame, FirstTwoMovieFramesAreBlackLaterOnesNot) {
  GameState = kGameCutscene;
  TolveResult() = 0;
  for (int frame = 0; frame < 3; ++frame) {
    RenderTest_Fill(display_, 0xffff);
    drevRender_DrawFrame();
    EXPECT_EQ(Black(), frame < 2) << frame;
    EXPECT_EQ(GameState, kGameCutscene);
  }
  EXPECT_EQ(Count("talk"), 3);
  EXPECT_EQ(Count("start"), 0);  // a movie frame draws no set
}

TEST_F(Frame, TheFrameACutsceneEndsInShowsTheSetWithoutActors) {
  AddActor(1, 5.0f);
  GameState = kGameCutscene;
  TolveResult() = 1;  // no cutscene plays any more
  drevRender_DrawFrame();
  EXPECT_EQ(GameState, kGameRunning);
  EXPECT_EQ(Count("postCam 0"), 1);  // the set is drawn
  EXPECT_EQ(Count("start"), 0);      // without actors
  EXPECT_EQ(Count("costume 1"), 0);
  drevRender_Present();
  Log().clear();
  drevRender_DrawFrame();
  EXPECT_EQ(Count("costume 1"), 1);
}

TEST_F(Frame, SetupSwitchPreparesOnceAndTellsTheScripts) {
  drevRender_DrawFrame();
  drevRender_DrawFrame();
  EXPECT_EQ(Count("postCam 0"), 1);
  set_->currentSetup = 1;
  drevRender_DrawFrame();
  drevRender_DrawFrame();
  EXPECT_EQ(Count("postCam 1"), 1);
  drevRender_ForceRefresh();
  drevRender_DrawFrame();
  drevRender_DrawFrame();
  EXPECT_EQ(Count("postCam 1"), 2);
  EXPECT_EQ(qxCore_pCurrentCamera, setups_[1].camera);
}

TEST_F(Frame, ANormalFrameRunsThePassesInOrder) {
  AddActor(3, 2.0f);
  drevRender_DrawFrame();
  Log().clear();
  drevRender_DrawFrame();
  const std::vector<std::string> want = {
      "state 3",     "tolve",    "prims 1",     "state 1",     "start",        "costume 3",
      "finish",      "state 2",  "prims 2",     "cursor",      "overlay 40,0", "overlay 1,0",
      "overlay 2,0", "text 1,0", "overlay 3,0", "overlay 5,1", "text 1,4",     "overlay 4,0"};
  EXPECT_EQ(Log(), want);

  // Script mode adds its own layers and the primitives of layers 4 and 8.
  GameState = kGameScriptWide;
  Log().clear();
  drevRender_DrawFrame();
  EXPECT_EQ(Count("prims 4"), 1);
  EXPECT_EQ(Count("prims 8"), 1);
  EXPECT_EQ(Count("overlay 40,0"), 0);
  EXPECT_EQ(Count("fillBlack"), 1);
  EXPECT_EQ(drevRender_InMovieMode(), 1);
}

TEST_F(Frame, ScaleIsAppliedAroundTheCostumeDrawOnly) {
  Actor& plain = AddActor(1, 2.0f);
  Actor& big = AddActor(2, 3.0f);
  big.scale = 2.0f;
  drevRender_DrawFrame();
  ASSERT_EQ(DrawScales().size(), 2u);
  EXPECT_FLOAT_EQ(DrawScales()[0], 1.0f);  // nearest first: actor 1
  EXPECT_FLOAT_EQ(DrawScales()[1], 2.0f);
  EXPECT_NEAR(big.transform.x.x, 1.0f, 1e-6);
  EXPECT_EQ(plain.transform.x.x, 1.0f);
}

TEST_F(Frame, DrawListHoldsAtMost128FarFirstWithoutCameraAndHiddenActors) {
  for (int i = 0; i < 129; ++i) AddActor(i, static_cast<float>(i));
  drevRender_DrawFrame();
  ASSERT_EQ(drevRender_GetDrawListCount(), 128);
  DrawListEntry* const* list = drevRender_GetDrawList();
  for (int i = 1; i < 128; ++i) EXPECT_GE(list[i - 1]->depth, list[i]->depth);
  // The roster lists the newest first: actor 0, added first, is left out.
  EXPECT_EQ(list[0]->actor, 128);
  EXPECT_EQ(list[127]->actor, 1);

  roster_.head = nullptr;
  nodes_.clear();
  AddActor(5, 1.0f).flags = ACTOR_HIDDEN;
  AddActor(6, 1.0f, false);  // no costume: in the list, not drawn
  drevRender_CreateCameraActor();
  AddActor(150, 1.0f);
  EXPECT_EQ(Actors()[150].flags & ACTOR_CAMERA, ACTOR_CAMERA);
  Log().clear();
  drevRender_DrawFrame();
  EXPECT_EQ(drevRender_GetDrawListCount(), 1);
  EXPECT_EQ(drevRender_GetDrawList()[0]->kind, 255);
  EXPECT_EQ(Count("costume 5") + Count("costume 150") + Count("costume 6"), 0);
}

TEST_F(Frame, ActorBoundsAreTheActorsOwnPosition) {
  qxModel3 model{};
  model.boxMin = {0, 0, -1.0f};
  model.boxMax = {0, 0, 3.0f};
  CostumeThingData record{};
  record.rModel.valid = 1;
  record.rModel.object = &model;
  Actor& a = AddActor(4, 6.0f);
  a.position.x = 2.0f;
  a.costumeTop->attached = &record;
  AddActor(7, 9.0f, false);
  drevRender_DrawFrame();
  qxVector3 p{};
  float half = 0;
  drevRender_GetDrawListActorBounds(1, &p, &half);  // nearer: actor 4
  EXPECT_FLOAT_EQ(p.x, 2.0f);
  EXPECT_FLOAT_EQ(p.y, 6.0f);
  EXPECT_FLOAT_EQ(half, 2.0f);
  drevRender_GetDrawListActorBounds(0, &p, &half);
  EXPECT_FLOAT_EQ(half, 0.5f);
  p = {7, 7, 7};
  drevRender_GetDrawListActorBounds(2, &p, &half);  // past the count: nothing
  EXPECT_FLOAT_EQ(p.x, 7.0f);
}

TEST_F(Frame, WithoutASetThePictureIsBlack) {
  RenderTest_Room() = nullptr;
  RenderTest_Fill(display_, 0xffff);
  drevRender_DrawFrame();
  EXPECT_TRUE(Black());
  const std::vector<std::string> want = {"overlay 5,1", "text 1,4"};
  EXPECT_EQ(Log(), want);
  EXPECT_EQ(drevRender_IsForceRefresh(), 1);
}

TEST_F(Frame, PreparedSetupTakesTheBackgroundAndClearsMissingDepth) {
  static DisplayBuffer* background = nullptr;
  background = RenderTest_NewRaster();
  RenderTest_Fill(background, 0x0f0f);
  drevRender_Calls().roomGetSetupBackground = [](Room*, int) { return background; };
  RenderTest_Fill(drevRender_GetCleanZBuffer(), 0x7777);
  drevRender_DrawFrame();
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 100, 100), 0x0f0f);
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanZBuffer(), 100, 100), 0);
  EXPECT_EQ(drevRender_GetRenderFlags() & kRenderNoDepth, kRenderNoDepth);
  EXPECT_EQ(RenderTest_Pixel(display_, 100, 100), 0x0f0f);  // restored in the same frame
  stdDisplay_FreeBuffer(background);
}

// A background in another pixel format than the display's cannot enter the
// clean buffer: the preparation says so instead of leaving a silent black.
TEST_F(Frame, ABackgroundOfAnotherDepthIsReported) {
  static DisplayBuffer* background = nullptr;
  BufferFormat format{};
  format.width = 640;
  format.height = 480;
  format.format = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
  background = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  ASSERT_NE(background, nullptr);
  drevRender_Calls().roomGetSetupBackground = [](Room*, int) { return background; };
  RenderTest_Fill(drevRender_GetCleanBuffer(), 0);
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("render_frame_test.log"), 1);
  testing::internal::CaptureStdout();
  drevRender_DrawFrame();
  const std::string log = testing::internal::GetCapturedStdout();
  kv_Log_ResetForTest();
  EXPECT_NE(log.find("its background has 24 bits per pixel, the display 16; it is not shown"),
            std::string::npos)
      << log;
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 100, 100), 0);
  stdDisplay_FreeBuffer(background);
}

}  // namespace
