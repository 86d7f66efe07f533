// The deferred back end's frame-begin step and model hooks against a fake
// set: the lighting latch and the shadow-map frame count, and the detail flag
// and the extra lights of the special models.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FakeDeferredScene.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevRender.h"
#include "quadrix/qxModel3.h"
#include "render/Deferred.h"
#include "render/Lightprobe.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct ModelHooks : ::testing::Test {
  FakeDeferredScene scene;
  int camera = 0;
  void SetUp() override {
    Lightprobe_ResetForTest();
    Deferred_ResetFrameStateForTest();
    Deferred_GetHookTable()->active = 1;
    scene.camera = &camera;
  }
  void TearDown() override {
    drevRender_SetAdvancedLighting(1);
    Deferred_ResetFrameStateForTest();
    Deferred_GetHookTable()->active = 0;
    Lightprobe_ResetForTest();
  }
};

// Frame begin and camera changes -------------------------------------------------------

TEST_F(ModelHooks, LatchFollowsTheSettingsLowByte) {
  const struct {
    int setting;
    int off;
    uint32_t group;
  } cases[] = {{1, 0, 1}, {0, 1, 2}, {0x100, 1, 2}, {0x101, 0, 1}, {-1, 0, 1}};
  for (const auto& c : cases) {
    scene.animateCalls = 0;
    scene.lightGroups.clear();
    scene.selectCalls = 0;
    Lightprobe_Invalidate();
    drevRender_SetAdvancedLighting(c.setting);
    Deferred_LatchLighting();
    EXPECT_EQ(Deferred_AdvancedLightingOff, c.off) << c.setting;
    EXPECT_EQ(scene.animateCalls, 1) << c.setting;
    ASSERT_EQ(scene.lightGroups.size(), 1u) << c.setting;
    EXPECT_EQ(scene.lightGroups[0], c.group) << c.setting;
    // The probes' frame step (a rebuild here) runs only with advanced lighting off.
    EXPECT_EQ(scene.selectCalls, c.off) << c.setting;
  }
}

TEST_F(ModelHooks, FrameCountStopsAtThirtyAndCameraChangeRestartsIt) {
  for (int frame = 1; frame <= 40; ++frame) {
    Deferred_BeginFrame();
    EXPECT_EQ(ShadowMapFrameCount, static_cast<uint32_t>(frame < 30 ? frame : 30)) << frame;
  }
  // A frame with a camera change animates the lights twice.
  scene.animateCalls = 0;
  Deferred_CameraChanged();
  EXPECT_EQ(ShadowMapFrameCount, 0u);
  Deferred_BeginFrame();
  EXPECT_EQ(ShadowMapFrameCount, 1u);
  EXPECT_EQ(scene.animateCalls, 2);
  // An inactive back end ignores the camera.
  Deferred_GetHookTable()->active = 0;
  Deferred_CameraChanged();
  EXPECT_EQ(ShadowMapFrameCount, 1u);
}

// Models -----------------------------------------------------------------------------------

struct ExpectedLight {
  std::string name;
  uint32_t type;
  kvVector3F position;
  kvVector3F rotation;
  float intensityA, intensityB;
  uint32_t castsShadow;
};

void ExpectVector(const kvVector3F& v, const kvVector3F& e, const std::string& what) {
  EXPECT_NEAR(v.x, e.x, 1e-4f) << what;
  EXPECT_NEAR(v.y, e.y, 1e-4f) << what;
  EXPECT_NEAR(v.z, e.z, 1e-4f) << what;
}

TEST_F(ModelHooks, SpecialModelsAddTheirLights) {
  const float su = std::atan2(-0.6f, -0.8f) * 180.0f / 3.141592025756836f;
  qxMatrix34 facingSouth = FakeDeferredScene::Identity();
  facingSouth.y = {0.0f, -2.0f, 0.0f};  // normalised to (0, -1, 0)
  const struct {
    const char* what;
    const char* model;
    const char* setup;
    kvVector3F centre;
    bool withActor;  // a flagged actor at (0, 0, 0)
    int flash;       // -1 no "flash" light, else its on flag
    const qxMatrix34* placement;
    std::vector<ExpectedLight> lights;
  } cases[] = {
      {"cigarette elsewhere", "cigarette01", "yard", {1, 2, 0.1f}, false, -1, nullptr,
       {{"cigarette01", 1, {1, 2, 0.1f}, {0, 0, 0}, 0.5f, 0.4f, 0}}},
      {"cigarette low in a ga_ setup", "cigarette01", "ga_bar", {1, 2, 0.25f}, false, -1, nullptr, {}},
      {"cigarette high in a ga_ setup, away from the actor", "cigarette01", "ga_bar",
       {3, 4, 0.3f}, true, -1, nullptr,
       {{"cigarette01", 1, {3.03f, 4.04f, 0.3f}, {0, 0, 0}, 0.5f, 0.4f, 0}}},
      {"quillan", "quillan_body", "yard", {1, 1, 1}, false, -1, nullptr,
       {{"quillan_body", 1, {1, 1, 1.5f}, {0, 0, 0}, 1.0f, 0.5f, 0}}},
      {"quillan in a su_ setup", "quillan_body", "su_deck", {3, 4, 1}, false, -1, nullptr,
       {{"quillan_body", 1, {3, 4, 1.5f}, {0, 0, 0}, 0.7f, 0.35f, 0},
        {"su_spot", 2, {2.1f, 2.8f, 0.4f}, {55, 0, su}, 0.7f, 0.35f, 2}}},
      {"dustbuggy elsewhere", "dustbuggy", "yard", {0, 0, 0}, false, -1, &facingSouth, {}},
      {"dustbuggy in an at_ setup", "dustbuggy", "at_road", {1, 1, 0}, false, -1, &facingSouth,
       {{"dustbuggy", 1, {1, -1, 0}, {0, 0, 0}, 0.7f, 0.35f, 0},
        {"at_spot", 2, {1, -2, 0}, {-60, 0, 0}, 0.7f, 0.35f, 2}}},
      {"nyra with the flash on", "nyra", "bi_lab", {0, 0, 0}, false, 1, nullptr,
       {{"bi_flash", 1, {0, -1.75f, 0.5f}, {0, 0, 0}, 3.0f, 1.5f, 0}}},
      {"nyra with the flash off", "nyra", "bi_lab", {0, 0, 0}, false, 0, nullptr, {}},
      {"nyra without a flash light", "nyra", "bi_lab", {0, 0, 0}, false, -1, nullptr, {}},
      {"nyra elsewhere", "nyra", "yard", {0, 0, 0}, false, 1, nullptr, {}},
      {"an ordinary model", "walker", "su_deck", {0, 0, 0}, true, 1, nullptr, {}},
  };
  for (const auto& c : cases) {
    scene.dynamicLights.clear();
    scene.dynamicLightNames.clear();
    scene.setupName = c.setup;
    scene.flaggedActors.clear();
    if (c.withActor) scene.flaggedActors.push_back(FakeDeferredScene::Identity());
    scene.namedLights.clear();
    if (c.flash >= 0) scene.namedLights["flash"] = c.flash;
    Deferred_ModelLights(c.model, c.centre, 1.0f, c.placement);
    ASSERT_EQ(scene.dynamicLights.size(), c.lights.size()) << c.what;
    for (size_t i = 0; i < c.lights.size(); ++i) {
      const DeferredDynamicLight& got = scene.dynamicLights[i];
      const ExpectedLight& e = c.lights[i];
      const std::string what = std::string(c.what) + " / " + e.name;
      EXPECT_EQ(scene.dynamicLightNames[i], e.name) << what;
      EXPECT_EQ(got.type, e.type) << what;
      ExpectVector(got.position, e.position, what + " position");
      ExpectVector(got.rotation, e.rotation, what + " rotation");
      EXPECT_FLOAT_EQ(got.intensityA, e.intensityA) << what;
      EXPECT_FLOAT_EQ(got.intensityB, e.intensityB) << what;
      EXPECT_EQ(got.castsShadow, e.castsShadow) << what;
      // The "Default" form's shadow values, or those of the casting spots.
      EXPECT_FLOAT_EQ(got.shadowRange, e.castsShadow ? 10.0f : 1.0f) << what;
      EXPECT_FLOAT_EQ(got.shadowSoftness, 4.0f) << what;
    }
  }
}

TEST_F(ModelHooks, DetailFlagFollowsTheSizeOnScreen) {
  scene.cameraPosition = {0, -10, 0};
  const struct {
    const char* model;
    float radius;
    uint32_t detail;
  } cases[] = {
      {"crate", 1.0f, 1},       // 0.56 / 11: large enough
      {"crate", 0.01f, 0},      // tiny
      {"tobin_hat", 0.01f, 1},  // tiny, but a "tobin" always casts
      {"crate", kNaN, 1},       // no size test
  };
  for (const auto& c : cases) {
    ModelDetailFlag = 99;
    qxModel3 model{};
    std::strncpy(model.name, c.model, sizeof model.name - 1);
    const qxVector3 centre{0, 0, 0};
    Deferred_OnModelDraw(&model, &centre, c.radius, nullptr, nullptr);
    Deferred_EndModel(&model, nullptr);
    EXPECT_EQ(ModelDetailFlag, c.detail) << c.model << " " << c.radius;
  }
}

TEST_F(ModelHooks, ProbeLightingStartsALatticeInsteadOfTheSpecialLights) {
  drevRender_SetAdvancedLighting(0);
  Deferred_BeginFrame();
  ASSERT_EQ(Deferred_AdvancedLightingOff, 1);
  scene.setupName = "su_deck";
  scene.cameraPosition = {0, -10, 0};
  qxModel3 parent{};
  std::strcpy(parent.name, "quillan_body");
  qxModel3 hat{};
  std::strcpy(hat.name, "quillan_hat");
  const qxVector3 centre{0, 0, 0};
  ModelDetailFlag = 0;
  Deferred_OnModelDraw(&hat, &centre, 0.01f, nullptr, &parent);
  EXPECT_EQ(ModelDetailFlag, 1u);
  EXPECT_TRUE(scene.dynamicLights.empty());
  // The attached model uses its parent's slot until the model ends.
  ASSERT_NE(Lightprobe_GetCurrent(), nullptr);
  EXPECT_STREQ(Lightprobe_GetCurrent()->key, "quillan_body");
  Deferred_EndModel(&hat, &parent);
  EXPECT_EQ(Lightprobe_GetCurrent(), nullptr);
}

// An inactive back end's model hooks do nothing.
TEST_F(ModelHooks, InactiveBackEndIgnoresModels) {
  Deferred_GetHookTable()->active = 0;
  scene.setupName = "yard";
  qxModel3 model{};
  std::strcpy(model.name, "quillan_body");
  const qxVector3 centre{0, 0, 0};
  ModelDetailFlag = 7;
  Deferred_OnModelDraw(&model, &centre, 1.0f, nullptr, nullptr);
  EXPECT_EQ(ModelDetailFlag, 7u);
  EXPECT_TRUE(scene.dynamicLights.empty());
}

}  // namespace
