// The deferred back end's view of a real set: every field of a set light
// read through the program's scene table, the setup name, the setup flags
// and the shadow casters.
#include "render/DeferredScene.h"

#include "../engine/RoomTestSupport.h"

namespace {

class DeferredSceneOfASet : public roomtest::RoomTest {
 protected:
  void SetUp() override {
    RoomTest::SetUp();
    world_.backgrounds = {"wide.bmp", "close.bmp"};
    world_.colormaps = {"room.cmp"};
    room_ = Load(Write("small.set", roomtest::kSmallSet));
    ASSERT_NE(room_, nullptr);
    drevRoom_MakeCurrent(room_, nullptr);
  }
  Room* room_ = nullptr;
};

TEST_F(DeferredSceneOfASet, LightsSetupAndCastersComeFromTheSet) {
  DeferredScene_Set(nullptr);
  const DeferredSceneCalls& scene = DeferredScene();
  DeferredLight& l = room_->deferredLights[room_->numDeferredLights++];
  std::memset(&l, 0, sizeof l);
  l.type = 3;
  l.position = {1, 2, 3};
  l.size = {0.5f, 1.5f, 2.5f};  // half sizes; no rotation
  const float parameters[6] = {0.1f, 0.9f, 0.2f, 3.0f, 0.4f, 5.0f};
  std::memcpy(l.parameters, parameters, sizeof parameters);
  l.flag = 1;
  l.secondFlag = 2;
  l.extra[0] = 0.25f;   // shadow bias, read times 8 for type 3
  l.extra[1] = 4.0f;    // softness
  l.extra[2] = 0.125f;  // near
  l.extra[3] = 30.0f;   // range
  l.current = {{1, 0.5f, 0}, {0, 0, 1}, 0.5f};
  l.filterLength = 4;
  std::strcpy(l.filter, "wide");  // set files keep names in lower case

  EXPECT_EQ(scene.countDeferredLights(), 1);
  char setup[DeferredScene_SetupNameSize];
  scene.getCurrentSetupName(setup);
  EXPECT_STREQ(setup, "wide");
  scene.selectSetupLights();
  EXPECT_EQ(l.enabled, 1u);

  DeferredLightInfo info{};
  EXPECT_EQ(scene.getDeferredLight(0, 2, &info), 0);  // another type
  ASSERT_EQ(scene.getDeferredLight(0, 3, &info), 1);
  EXPECT_FLOAT_EQ(info.position.y, 2.0f);
  EXPECT_FLOAT_EQ(info.transform[0].x, 0.5f);
  EXPECT_FLOAT_EQ(info.transform[1].y, 1.5f);
  EXPECT_FLOAT_EQ(info.transform[2].z, 2.5f);
  EXPECT_FLOAT_EQ(info.transform[3].z, 3.0f);
  EXPECT_FLOAT_EQ(info.transform[3].w, 1.0f);
  EXPECT_FLOAT_EQ(info.innerColour.y, 0.25f);  // times the intensity
  EXPECT_FLOAT_EQ(info.outerColour.z, 0.5f);
  const float read[6] = {info.shadingBias,  info.shadingEnd,          info.innerRadius,
                         info.falloffPower, info.verticalInnerRadius, info.verticalFalloffPower};
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(read[i], parameters[i]) << i;
  EXPECT_EQ(info.castsShadow, 1);
  EXPECT_EQ(info.shadowQuality, 2);
  EXPECT_FLOAT_EQ(info.shadowBias, 2.0f);
  EXPECT_FLOAT_EQ(info.shadowSoftness, 4.0f);
  EXPECT_FLOAT_EQ(info.sizeX, 1.0f);
  EXPECT_FLOAT_EQ(info.sizeY, 3.0f);
  EXPECT_FLOAT_EQ(info.sizeZ, 5.0f);
  EXPECT_FLOAT_EQ(info.shadowNear, 0.125f);
  EXPECT_FLOAT_EQ(info.shadowRange, 30.0f);
  EXPECT_EQ(info.setupFlag, 1u);

  scene.setDeferredLightEnabled(0, 0);
  ASSERT_EQ(scene.getDeferredLight(0, 3, &info), 1);
  EXPECT_EQ(info.setupFlag, 0u);
  l.current.intensity = 0.001f;  // black: not answered
  EXPECT_EQ(scene.getDeferredLight(0, 3, &info), 0);
  EXPECT_EQ(scene.countShadowCasters(), 0);
  room_->numShadowCasters = 2;
  EXPECT_EQ(scene.countShadowCasters(), 2);
  room_->numShadowCasters = 0;
}

}  // namespace
