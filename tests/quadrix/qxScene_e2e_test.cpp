// End to end: the demo game's crate model and its lid-opening keyframe, as
// the build stages them, given to a thing with a puppet, played and drawn
// through a camera and the software back end into the face cache.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "qxSceneTest.h"

namespace {

std::vector<int32_t> g_markers;

void OnMarker(int32_t owner, int32_t /*track*/, int32_t value) {
  EXPECT_EQ(owner, 7);
  g_markers.push_back(value);
}

TEST(QxSceneEndToEnd, DemoCrateOpensAndIsDrawn) {
  const char* game = std::getenv("VQ_GAME_DIR");
  ASSERT_NE(game, nullptr);
  const std::filesystem::path dir = game;
  TestView view(16, 640, 480);
  // The model names its material by file name: read it from the materials folder.
  const std::filesystem::path home = std::filesystem::current_path();
  ASSERT_EQ(chdir((dir / "Materials").c_str()), 0);
  qxModel3* model = qxModel3_Load((dir / "Models" / "demo_crate.3do").c_str());
  qxKeyframe* keyframe = qxKeyframe_Load((dir / "Animation" / "demo_crate_open.key").c_str());
  ASSERT_EQ(chdir(home.c_str()), 0);
  ASSERT_NE(model, nullptr);
  ASSERT_NE(keyframe, nullptr);
  ASSERT_EQ(model->nodeCount, 2);
  ASSERT_NE(model->materials[0], nullptr);

  // The software back end as the program registers it, in use.
  kv_RenderHooks_ResetForTest();
  RenderHookTable* software = InitSoftwareBackend();
  ASSERT_NE(software, nullptr);
  kv_RenderHooks_SetBackends(nullptr, nullptr, software);
  software->active = 1;
  FakeRaster::Install();
  g_markers.clear();

  qxThing* thing = qxThing_New(7);
  ASSERT_EQ(qxThing_SetModel3(thing, model), 1);
  qxPuppet* puppet = qxPuppet_New(thing);
  ASSERT_NE(puppet, nullptr);
  const int track = qxPuppet_AddTrack(puppet, keyframe, 1, 1);
  ASSERT_GE(track, 0);
  qxPuppet_SetTrackCallback(puppet, track, OnMarker);
  qxPuppet_PlayTrack(puppet, track);

  // The camera stands 4 units in front of the crate, looking at it.
  const qxMatrix34 eye = At(0, -4, 0.5f);
  qxCamera_Update(&eye);
  const qxMatrix34 placement = qxMatrix34_identity;
  ASSERT_EQ(qxThing_Draw(thing, &placement, nullptr), 1);
  qxMatrix34 closed;
  ASSERT_EQ(qxModel3_GetNodeMatrix(thing, 1, &closed), 1);

  // The lid opens over 20 frames at 15 a second, its marker at the last
  // frame: play 45 ticks of a 30-per-second game, one and a half seconds.
  size_t facesBefore = FakeRaster::faces.size();
  int framesWithFaces = 0;
  for (int tick = 0; tick < 45; ++tick) {
    qxCore_StartFrame();
    qxPuppet_UpdateTracks(puppet, 1.0f / 30.0f);
    qxThing_Draw(thing, &placement, nullptr);
    qxCore_FinishFrame();
    framesWithFaces += FakeRaster::faces.size() > facesBefore;
    facesBefore = FakeRaster::faces.size();
    if (tick == 20) {
      qxMatrix34 opening;
      ASSERT_EQ(qxModel3_GetNodeMatrix(thing, 1, &opening), 1);
      EXPECT_GT(opening.t.z, closed.t.z + 0.05f);            // lifted
      EXPECT_GT(std::fabs(opening.z.y - closed.z.y), 0.2f);  // and tipped
    }
  }
  EXPECT_EQ(g_markers, (std::vector<int32_t>{1}));
  EXPECT_EQ(framesWithFaces, 45);
  ASSERT_FALSE(FakeRaster::faces.empty());
  const qxCacheFace& f = FakeRaster::faces.back();
  EXPECT_EQ(f.material, model->materials[0]);
  EXPECT_EQ(f.geometryMode, 4);

  qxThing_Free(thing);  // removes the track: its end call comes last
  EXPECT_EQ(g_markers, (std::vector<int32_t>{1, 0}));
  qxModel3_Free(model);
  qxKeyframe_Free(keyframe);
  FakeRaster::Remove();
  kv_RenderHooks_ResetForTest();
}

}  // namespace
