// Set lights: animation and the queries of the renderer and the scripts.
#include <cmath>
#include <random>

#include "RoomTestSupport.h"
#include "engine/drevTime.h"

namespace {

using roomtest::kSmallSet;
using roomtest::RoomTest;

class Lights : public RoomTest {
 protected:
  void SetUp() override {
    RoomTest::SetUp();
    world_.backgrounds = {"wide.bmp", "close.bmp"};
    world_.colormaps = {"room.cmp"};
    room_ = Load(Write("small.set", kSmallSet));
    ASSERT_NE(room_, nullptr);
    drevRoom_MakeCurrent(room_, nullptr);
    drevRoom_SeedLightRandom(1);
  }

  DeferredLight& Add(uint32_t mode, float rate, float intensityA, float intensityB) {
    DeferredLight& l = room_->deferredLights[room_->numDeferredLights++];
    std::memset(&l, 0, sizeof l);
    l.type = 1;
    l.animationMode = mode;
    l.animationRate = rate;
    l.a = {{1, 0, 0}, {0, 0, 0}, intensityA};
    l.b = {{0, 1, 0}, {0, 0, 0}, intensityB};
    l.from = l.a;
    l.to = l.b;
    l.current = l.a;
    return l;
  }

  static void Step(uint32_t ms) {
    drevTime_SetFrameMs(ms);
    drevRoom_AnimateLights();
  }

  static int Query(int index, uint32_t type, qxVector3* first = nullptr) {
    return drevRoom_GetDeferredLight(index, type, nullptr, nullptr, first, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
  }

  Room* room_ = nullptr;
};

TEST_F(Lights, PulseOfRateZeroStaysHalfway) {
  DeferredLight& l = Add(1, 0.0f, 1.0f, 0.0f);
  Step(100);
  EXPECT_FLOAT_EQ(l.current.intensity, 0.5f);
  EXPECT_FLOAT_EQ(l.current.first[0], 0.5f);
  Step(250);
  EXPECT_FLOAT_EQ(l.current.intensity, 0.5f);
}

TEST_F(Lights, PulseFollowsTheSine) {
  DeferredLight& l = Add(1, 2.0f, 1.0f, 0.0f);
  Step(50);  // time 0.5 animation units
  const float f = (std::sin(0.5f * 2.0f) + 1.0f) * 0.5f;
  EXPECT_NEAR(l.current.intensity, 1.0f - f, 1e-6);
}

TEST_F(Lights, FlickerStartsANewCycleOnItsFirstStep) {
  DeferredLight& l = Add(2, 2.0f, 1.0f, 0.2f);
  Step(10);
  // At a new cycle f = 0: the current values are the old "to" set (B).
  EXPECT_FLOAT_EQ(l.current.intensity, 0.2f);
  EXPECT_FLOAT_EQ(l.current.first[1], 1.0f);
  EXPECT_FLOAT_EQ(l.time, 0.0f);
  // The same draws from the same seed give the period and the new target.
  drevRoom_SeedLightRandom(1);
  std::minstd_rand random(1);
  auto r = [&random] { return static_cast<float>(random() % 10001) / 10000.0f; };
  const float r1 = r(), r2 = r(), r3 = r();
  EXPECT_FLOAT_EQ(l.period, (1 - r1) * 0.5f * 0.75f + r1 * 0.5f * 1.25f);
  EXPECT_FLOAT_EQ(l.to.intensity, (1 - r2) * 1.0f + r2 * 0.2f);
  EXPECT_FLOAT_EQ(l.to.first[0], 1 - r3);
  // Half the period later the glide is half done.
  const float half = l.period / 2;
  Step(static_cast<uint32_t>(std::lround(half * 100)));
  const float f = l.time / l.period;
  EXPECT_NEAR(l.current.intensity, (1 - f) * 0.2f + f * l.to.intensity, 1e-6);
}

TEST_F(Lights, FlickerWithoutAPeriodHoldsItsFromSet) {
  DeferredLight& l = Add(2, 0.0f, 1.0f, 0.2f);
  Step(10);
  Step(10);
  EXPECT_FALSE(std::isnan(l.current.intensity));
  EXPECT_FLOAT_EQ(l.current.intensity, l.from.intensity);
}

TEST_F(Lights, ShadowCasterTurns900DegreesPerSecond) {
  ShadowCaster& c = room_->shadowCasters[room_->numShadowCasters++];
  c = ShadowCaster{};
  c.rotationRate = {1, 0, -1};
  c.currentRotation = {0, 0, 0};
  Step(100);
  EXPECT_FLOAT_EQ(c.currentRotation.x, 90.0f);
  EXPECT_FLOAT_EQ(c.currentRotation.z, 270.0f);
  Step(200);
  Step(200);  // 360 more
  EXPECT_FLOAT_EQ(c.currentRotation.x, 90.0f);
  c.rotationRate = {1e30f, 0, 0};
  Step(100);  // huge rates do not loop forever
  EXPECT_GE(c.currentRotation.x, 0.0f);
  EXPECT_LE(c.currentRotation.x, 360.0f);
}

TEST_F(Lights, IntensityThresholdAndNegativeIntensity) {
  Add(0, 0, 0.001f, 0).type = 5;
  Add(0, 0, -0.5f, 0).type = 5;
  qxVector3 first{9, 9, 9};
  EXPECT_EQ(Query(0, 5, &first), 0);
  EXPECT_FLOAT_EQ(first.x, 0.001f);  // reported all the same
  EXPECT_EQ(Query(1, 5, &first), 1);
  EXPECT_FLOAT_EQ(first.x, -0.5f);
  first = {9, 9, 9};
  EXPECT_EQ(Query(0, 4, &first), 0);  // another type writes nothing
  EXPECT_FLOAT_EQ(first.x, 9.0f);
}

TEST_F(Lights, GroupFilter) {
  for (uint32_t group : {0u, 1u, 2u}) Add(0, 0, 1, 1).group = group;
  drevRoom_SetLightGroup(2);
  EXPECT_EQ(Query(0, 1), 1);
  EXPECT_EQ(Query(1, 1), 0);
  EXPECT_EQ(Query(2, 1), 1);
  drevRoom_SetLightGroup(0);
  EXPECT_EQ(Query(1, 1), 1);
}

TEST_F(Lights, QueriesWriteTheBoxAndScaledExtras) {
  DeferredLight& l = Add(0, 0, 1, 1);
  l.type = 3;
  l.position = {1, 2, 3};
  l.size = {2, 3, 4};
  l.extra[0] = 0.5f;
  qxVector3 position;
  qxMatrix34 box;
  float extra1 = 0, sizeZ2 = 0;
  ASSERT_EQ(drevRoom_GetDeferredLight(0, 3, &position, &box, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, &extra1, nullptr, nullptr, nullptr, &sizeZ2, nullptr,
                                      nullptr, nullptr),
            1);
  EXPECT_FLOAT_EQ(extra1, 4.0f);
  EXPECT_FLOAT_EQ(sizeZ2, 8.0f);
  EXPECT_FLOAT_EQ(box.t.z, 3.0f);
  EXPECT_NEAR(box.x.x, 2.0f, 1e-3);
  EXPECT_NEAR(box.z.z, 4.0f, 1e-3);
}

TEST_F(Lights, SameDynamicNameTwiceInOneFrameFillsTwoSlots) {
  const qxVector3 p{1, 2, 3}, q{4, 5, 6};
  const qxVector3 red{1, 0, 0};
  drevRoom_AddDynamicLightDefault("torch", 1, &p, nullptr, nullptr, nullptr, 1, 1.0f, &red, &red,
                                  1.0f, &red, &red, 0.0f);
  drevRoom_AddDynamicLightDefault("torch", 1, &q, nullptr, nullptr, nullptr, 1, 1.0f, &red, &red,
                                  1.0f, &red, &red, 0.0f);
  EXPECT_EQ(room_->numDynamicLights, 2u);
  EXPECT_EQ(drevRoom_CountDeferredLights(), 2);
  EXPECT_FLOAT_EQ(room_->dynamicLights[1].extra[1], 4.0f);  // the defaults
  // The next frame re-adds them: each keeps its slot and its animation.
  Step(100);
  const float time = room_->dynamicLights[0].time;
  EXPECT_GT(time, 0.0f);
  EXPECT_EQ(room_->numDynamicLights, 0u);
  drevRoom_AddDynamicLightDefault("torch", 1, &q, nullptr, nullptr, nullptr, 1, 9.0f, &red, &red,
                                  1.0f, &red, &red, 0.0f);
  EXPECT_FLOAT_EQ(room_->dynamicLights[0].time, time);
  EXPECT_FLOAT_EQ(room_->dynamicLights[0].animationRate, 1.0f);
  EXPECT_FLOAT_EQ(room_->dynamicLights[0].position.x, 4.0f);
  for (int i = 0; i < 20; ++i)
    drevRoom_AddDynamicLightDefault("x", 1, &p, nullptr, nullptr, nullptr, 0, 0, &red, &red, 1,
                                    &red, &red, 1);
  EXPECT_EQ(room_->numDynamicLights, 16u);
}

TEST_F(Lights, SetupFiltersEnableLightsAndZShapes) {
  DeferredLight& named = Add(0, 0, 1, 1);
  std::strcpy(named.filter, "close wide");
  named.filterLength = 10;
  DeferredLight& other = Add(0, 0, 1, 1);
  std::strcpy(other.filter, "attic");
  other.filterLength = 5;
  Add(0, 0, 1, 1);  // no filter: always 0
  drevRoom_SelectSetupLights();
  EXPECT_EQ(room_->deferredLights[0].enabled, 1u);
  EXPECT_EQ(room_->deferredLights[1].enabled, 0u);
  EXPECT_EQ(room_->deferredLights[2].enabled, 0u);
  ZShape& z = room_->zShapes[room_->numZShapes++];
  z = ZShape{};
  z.type = 1;
  z.code = 2;
  z.value = 7;
  std::strcpy(z.filter, "close");
  z.filterLength = 5;
  uint32_t value = 0;
  EXPECT_EQ(drevRoom_GetZShape(0, 1, 2, &value, nullptr, nullptr), 0);  // setup "wide"
  room_->currentSetup = 1;
  EXPECT_EQ(drevRoom_GetZShape(0, 1, 2, &value, nullptr, nullptr), 1);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(drevRoom_GetZShape(0, 1, 3, &value, nullptr, nullptr), 0);
}

TEST_F(Lights, IndexTakingQueriesCheckTheirIndex) {
  EXPECT_EQ(Query(0, 1), 0);
  EXPECT_EQ(Query(-1, 1), 0);
  EXPECT_EQ(drevRoom_GetCutsceneLight(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr),
            0);
  EXPECT_EQ(drevRoom_GetShadowCaster(200, 0, nullptr, nullptr), 0);
  EXPECT_EQ(drevRoom_GetZShape(-3, 0, 0, nullptr, nullptr, nullptr), 0);
  drevRoom_SetDeferredLightEnabled(500, 1);
  EXPECT_EQ(drevRoom_GetLight(nullptr, 2), nullptr);
  EXPECT_EQ(drevRoom_GetLight(nullptr, -1), nullptr);
}

TEST_F(Lights, SetFileLightsByName) {
  EXPECT_EQ(drevRoom_FindLight(nullptr, "LAMP"), 0);
  EXPECT_EQ(drevRoom_FindLight(room_, "none"), -1);
  EXPECT_EQ(drevRoom_GetLight(nullptr, 1), &room_->lights[1]);
  int on = -1;
  EXPECT_EQ(drevRoom_IsLightOnByName("Flash", &on), 1);
  EXPECT_EQ(on, 0);
  EXPECT_EQ(drevRoom_IsLightOnByName("nothing", &on), 0);
}

TEST_F(Lights, CutsceneLightsReportColourOnlyWhenOn) {
  RoomLight& l = room_->cutsceneLights[room_->numCutsceneLights++];
  std::memset(&l, 0, sizeof l);
  l.light.type = 3;
  l.light.active = 0;
  l.light.colorR = 0.5f;
  l.position = {1, 2, 3};
  int type = 0;
  qxVector3 position{}, color{9, 9, 9};
  EXPECT_EQ(drevRoom_CountCutsceneLights(), 1);
  EXPECT_EQ(drevRoom_GetCutsceneLight(0, &type, &position, nullptr, &color, nullptr, nullptr,
                                      nullptr, nullptr),
            1);
  EXPECT_EQ(type, 3);
  EXPECT_FLOAT_EQ(position.z, 3.0f);
  EXPECT_FLOAT_EQ(color.x, 0.0f);
  l.light.active = 1;
  drevRoom_GetCutsceneLight(0, nullptr, nullptr, nullptr, &color, nullptr, nullptr, nullptr,
                            nullptr);
  EXPECT_FLOAT_EQ(color.x, 0.5f);
}

TEST_F(Lights, InvSetAndNoCurrentSet) {
  EXPECT_EQ(drevRoom_IsInvSet(), 0);
  drevRoom_MakeCurrent(nullptr, nullptr);
  EXPECT_EQ(drevRoom_IsInvSet(), 0);
  EXPECT_EQ(drevRoom_CountDeferredLights(), 0);
  EXPECT_EQ(drevRoom_AnimateLights(), 0);
  world_.backgrounds.insert("dfltroom.bm");
  Room* inv = Load(Write("x_inv.set", kSmallSet));
  drevRoom_MakeCurrent(inv, nullptr);
  EXPECT_EQ(drevRoom_IsInvSet(), 1);
}

}  // namespace
