// Light probes and the forward shadow light against a fake set: the choice
// of the shadow light, its shadow-map matrix and constants, the probe slots,
// the lattice and the evaluation of every light kind.
#include "render/Lightprobe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "FakeDeferredScene.h"

namespace {

using Light = FakeDeferredScene::Light;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Probes : ::testing::Test {
  FakeDeferredScene scene;
  void SetUp() override { Lightprobe_ResetForTest(); }
  void TearDown() override { Lightprobe_ResetForTest(); }

  Light Caster(uint32_t type, kvVector3F p, float range) {
    Light light = FakeDeferredScene::MakeLight(type, p, 1.0f, 1.0f, 1.0f);
    light.info.castsShadow = 1;
    light.info.shadowRange = range;
    return light;
  }
};

void ExpectRgb(const kvVector3F& v, float r, float g, float b, const std::string& what) {
  EXPECT_NEAR(v.x, r, 1e-5f) << what;
  EXPECT_NEAR(v.y, g, 1e-5f) << what;
  EXPECT_NEAR(v.z, b, 1e-5f) << what;
}

// v x 1.8 - 0.1, at least 0.
float Tone(float v) {
  return std::fmax(0.0f, v * 1.8f - 0.1f);
}

// Shadow light -------------------------------------------------------------------------

TEST_F(Probes, ShadowLightIsTheFlaggedOrNearestCasterInRange) {
  const struct {
    const char* what;
    std::vector<Light> lights;
    uint32_t index, type;
  } cases[] = {
      {"nearest in range",
       {Caster(2, {3, 0, 0}, 10), Caster(2, {0, 2, 0}, 10), Caster(3, {0, 0, 2.5f}, 10)},
       1,
       2},
      {"every caster beyond its range",
       {Caster(2, {5, 0, 0}, 4), Caster(4, {0, 9, 0}, 3)},
       0xFFFF,
       0xFFFF},
      {"gradient and point lights never",
       {Caster(0, {1, 0, 0}, 10), Caster(1, {1, 0, 0}, 10)},
       0xFFFF,
       0xFFFF},
      {"a tie keeps the lower type", {Caster(3, {0, 2, 0}, 10), Caster(2, {2, 0, 0}, 10)}, 1, 2},
      {"a tie keeps the lower index", {Caster(2, {0, 2, 0}, 10), Caster(2, {2, 0, 0}, 10)}, 0, 2},
  };
  for (const auto& c : cases) {
    scene.lights = c.lights;
    scene.enabledIndices.clear();
    ShadowLight_Select();
    const ShadowLightRecord* record = Lightprobe_GetShadowLight();
    EXPECT_EQ(record->lightIndex, c.index) << c.what;
    EXPECT_EQ(record->lightType, c.type) << c.what;
    if (c.index == 0xFFFF) {
      EXPECT_TRUE(scene.enabledIndices.empty()) << c.what;
    } else {
      EXPECT_EQ(scene.enabledIndices, std::vector<int>{static_cast<int>(c.index)}) << c.what;
    }
  }
}

TEST_F(Probes, SetupFlaggedLightWinsAndALaterTypeReplacesIt) {
  Light near = Caster(2, {1, 0, 0}, 10);
  Light flaggedFar = FakeDeferredScene::MakeLight(3, {50, 0, 0}, 1, 1, 1);  // casts no shadow
  flaggedFar.info.setupFlag = 1;
  scene.lights = {near, flaggedFar};
  ShadowLight_Select();
  EXPECT_EQ(Lightprobe_GetShadowLight()->lightIndex, 1u);
  EXPECT_EQ(Lightprobe_GetShadowLight()->lightType, 3u);

  Light flaggedSpot = FakeDeferredScene::MakeLight(2, {0, 0, 0}, 1, 1, 1);
  flaggedSpot.info.setupFlag = 1;
  Light flaggedCircular = FakeDeferredScene::MakeLight(4, {80, 0, 0}, 1, 1, 1);
  flaggedCircular.info.setupFlag = 1;
  scene.lights = {flaggedSpot, near, flaggedCircular};
  ShadowLight_Select();
  EXPECT_EQ(Lightprobe_GetShadowLight()->lightIndex, 2u);
  EXPECT_EQ(Lightprobe_GetShadowLight()->lightType, 4u);
}

// A world point through the record's matrix: (u, v, depth).
kvVector3F ShadowMapPoint(const kvVector3F& p) {
  const kvMatrix4F& m = Lightprobe_GetShadowLight()->worldToShadowMap;
  float out[4];
  for (int c = 0; c < 4; ++c) out[c] = p.x * m[0][c] + p.y * m[1][c] + p.z * m[2][c] + m[3][c];
  return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

TEST_F(Probes, SpotShadowMapIsA45DegreeFrustumFromTheApex) {
  // Apex (the +Z face's centre) at z = 7, looking down -z; far end 4 away.
  Light spot = Caster(2, {0, 0, 5}, 10);
  spot.info.transform[2] = {0, 0, 2, 0};
  spot.info.sizeZ = 4.0f;
  spot.info.shadowNear = 0.1f;
  spot.info.shadowBias = 2.0f;
  spot.info.shadowSoftness = 4.0f;
  spot.info.shadowQuality = 1;
  scene.lights = {spot};
  ShadowLight_Select();
  const kvVector3F far = ShadowMapPoint({0, 0, 3});
  EXPECT_NEAR(far.x, 0.5f, 1e-5f);
  EXPECT_NEAR(far.y, 0.5f, 1e-5f);
  EXPECT_NEAR(far.z, 1.0f, 1e-5f);
  EXPECT_NEAR(ShadowMapPoint({0, 0, 6.9f}).z, 0.0f, 1e-5f);  // the near distance
  // 22.5 degrees off the axis lies on the map's edge.
  const kvVector3F edge = ShadowMapPoint({2.0f * std::tan(0.39269908f), 0, 5});
  EXPECT_NEAR(edge.x, 1.0f, 1e-5f);
  EXPECT_NEAR(edge.y, 0.5f, 1e-5f);
  const kvVector4F& p = Lightprobe_GetShadowLight()->shadowParameters;
  EXPECT_FLOAT_EQ(p.x, 0.01f);
  EXPECT_FLOAT_EQ(p.y, 4.0f / 1024.0f);
  EXPECT_FLOAT_EQ(p.z, 1.0f);
  EXPECT_FLOAT_EQ(p.w, 1.0f);
}

TEST_F(Probes, DirectionalShadowMapIsABoxOfTheLightsSizes) {
  Light light = Caster(3, {0, 0, 0}, 10);
  light.info.transform[0] = {2, 0, 0, 0};
  light.info.transform[1] = {0, 3, 0, 0};
  light.info.sizeX = 4.0f;
  light.info.sizeY = 6.0f;
  light.info.sizeZ = 2.0f;
  light.info.shadowNear = 0.0f;
  scene.lights = {light};
  ShadowLight_Select();
  const kvVector3F corner = ShadowMapPoint({2, -3, 0});
  EXPECT_NEAR(corner.x, 1.0f, 1e-5f);
  EXPECT_NEAR(corner.y, 0.0f, 1e-5f);
  EXPECT_NEAR(corner.z, 0.5f, 1e-5f);  // half way down the box
}

TEST_F(Probes, NoShadowLightLeavesZerosAndFillsNothing) {
  scene.lights = {Caster(2, {9, 0, 0}, 1)};
  ShadowLight_Select();
  const ShadowLightRecord* record = Lightprobe_GetShadowLight();
  const kvMatrix4F zero = {};
  EXPECT_EQ(std::memcmp(&record->worldToShadowMap, &zero, sizeof zero), 0);
  EXPECT_EQ(record->shadowParameters.w, 0.0f);
  LitMeshFragmentConstants block;
  std::memset(&block, 0xAB, sizeof block);
  EXPECT_EQ(Deferred_FillLitMeshFragmentConstants(&block), 0);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&block)[100], 0xAB);
  CharacterForwardLightResolveConstants resolve;
  EXPECT_EQ(Deferred_FillForwardResolveConstants(&resolve), 0);
}

TEST_F(Probes, FillWritesTheShadowLightsMembers) {
  Light light = Caster(4, {1, 2, 3}, 10);
  light.info.innerColour = {0.1f, 0.2f, 0.3f};
  light.info.outerColour = {0.4f, 0.5f, 0.6f};
  light.info.innerRadius = 1.0f;  // inverse 0, not a division by zero
  light.info.falloffPower = 3.0f;
  light.info.verticalInnerRadius = 0.5f;
  light.info.verticalFalloffPower = 2.0f;
  light.info.shadingBias = 0.2f;  // equal bias and end: inverse 0
  light.info.shadingEnd = 0.2f;
  scene.lights = {light};
  ShadowLight_Select();

  LitMeshFragmentConstants block = {};
  ASSERT_EQ(Deferred_FillLitMeshFragmentConstants(&block), 2);
  EXPECT_FLOAT_EQ(block.WorldToLocal[3].x, -1.0f);  // the inverse of a translation by (1, 2, 3)
  EXPECT_FLOAT_EQ(block.WorldToLocal[3].z, -3.0f);
  const kvVector4F& inner = block.Light_InnerColor_InnerRadius;
  EXPECT_FLOAT_EQ(inner.y, 0.2f);
  EXPECT_FLOAT_EQ(inner.w, 1.0f);
  EXPECT_FLOAT_EQ(block.Light_OuterColor_FalloffPower.w, 3.0f);
  EXPECT_FLOAT_EQ(block.Light_Position_InvDelta.y, 2.0f);
  EXPECT_EQ(block.Light_Position_InvDelta.w, 0.0f);
  const kvVector4F& vertical =
      block.Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User;
  EXPECT_FLOAT_EQ(vertical.x, 0.5f);
  EXPECT_FLOAT_EQ(vertical.y, 2.0f);
  EXPECT_FLOAT_EQ(vertical.z, 2.0f);
  EXPECT_FLOAT_EQ(vertical.w, 1.0f);  // circular section
  EXPECT_FLOAT_EQ(block.Light_ShadingBias_ShadingInvDelta.x, 0.2f);
  EXPECT_EQ(block.Light_ShadingBias_ShadingInvDelta.y, 0.0f);
  EXPECT_EQ(std::memcmp(&block.WorldToShadowMap, &Lightprobe_GetShadowLight()->worldToShadowMap,
                        sizeof(kvMatrix4F)),
            0);
  EXPECT_FLOAT_EQ(block.Shadow_Bias_Softness_Quality_Enabled.w, 1.0f);

  // The resolve block gets the same bytes from offset 144 and keeps the rest.
  CharacterForwardLightResolveConstants resolve;
  std::memset(&resolve, 0xAB, sizeof resolve);
  ASSERT_EQ(Deferred_FillForwardResolveConstants(&resolve), 2);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&resolve);
  EXPECT_EQ(bytes[0], 0xAB);
  EXPECT_EQ(bytes[143], 0xAB);
  EXPECT_EQ(std::memcmp(bytes + 144, &block, sizeof block), 0);

  // A spot light fills 1 and no User; a light no longer readable fills nothing.
  scene.lights[0].type = 2;
  ShadowLight_Select();
  ASSERT_EQ(Deferred_FillLitMeshFragmentConstants(&block), 1);
  EXPECT_EQ(block.Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User.w, 0.0f);
  scene.lights[0].black = true;
  EXPECT_EQ(Deferred_FillLitMeshFragmentConstants(&block), 0);
  scene.lights.clear();  // the index is no longer below the count
  EXPECT_EQ(Deferred_FillLitMeshFragmentConstants(&block), 0);
}

// Slots ----------------------------------------------------------------------------------

TEST_F(Probes, SlotKeys) {
  // An empty key matches the first free slot and leaves it free.
  EXPECT_EQ(Lightprobe_FindOrAddSlot(""), 0);
  EXPECT_STREQ(Lightprobe_GetSlot(0)->key, "");
  const std::string exact(31, 'e');
  EXPECT_EQ(Lightprobe_FindOrAddSlot(exact.c_str()), 0);
  EXPECT_EQ(std::string(Lightprobe_GetSlot(0)->key), exact);
  EXPECT_EQ(Lightprobe_FindOrAddSlot(exact.c_str()), 0);
  // A longer key keeps 31 characters and finds its own slot again.
  const std::string longKey = std::string(31, 'l') + "ongerthanthirtyone";
  EXPECT_EQ(Lightprobe_FindOrAddSlot(longKey.c_str()), 1);
  EXPECT_EQ(Lightprobe_FindOrAddSlot(longKey.c_str()), 1);
  EXPECT_EQ(Lightprobe_FindOrAddSlot(nullptr), 2);  // none: the empty key
  for (int i = 2; i < 32; ++i) {
    EXPECT_EQ(Lightprobe_FindOrAddSlot(("model" + std::to_string(i)).c_str()), i);
  }
  EXPECT_EQ(Lightprobe_FindOrAddSlot("the 33rd key"), -1);
  EXPECT_EQ(Lightprobe_FindOrAddSlot("model7"), 7);
}

TEST_F(Probes, ToneCurve) {
  const struct {
    float in, out;
  } cases[] = {{0.125f, 0.125f}, {1.0f / 18.0f, 0.0f}, {0.0f, 0.0f}, {0.5f, 0.8f}, {1.0f, 1.7f}};
  for (const auto& c : cases) EXPECT_NEAR(Lightprobe_Tone(c.in), c.out, 1e-6f) << c.in;
}

// Evaluation -----------------------------------------------------------------------------

// A light that lights everywhere the same: a gradient light over the whole scene.
Light Gradient(kvVector3F inner, kvVector3F outer) {
  Light light = FakeDeferredScene::MakeLight(0, {0, 0, 0}, 4, 4, 4);
  light.info.verticalInnerRadius = 0.0f;
  light.info.innerColour = inner;
  light.info.outerColour = outer;
  return light;
}

TEST_F(Probes, EachLightKindAtTheLatticePoints) {
  // Slot centre (0, 0, 0) with radius 4: extent (1, 1, 2); the camera at the
  // centre sees it large, so all seven points are evaluated.
  Light point = FakeDeferredScene::MakeLight(1, {2, 0, 0}, 4, 4, 4);
  point.info.innerRadius = 0.5f;
  point.info.innerColour = {0.5f, 0.5f, 0.5f};
  point.info.outerColour = {0, 0, 0};
  Light spot = FakeDeferredScene::MakeLight(2, {0, 0, 2}, 2, 2, 2);  // apex at z = 4
  spot.info.innerColour = {1, 0, 0};
  spot.info.outerColour = {0, 0.5f, 0};
  Light farPoint = FakeDeferredScene::MakeLight(1, {10, 0, 0}, 4, 4, 4);

  // Spot, point +x (1, 0, 0): local (0.5, 0, -1), seen from the apex at
  // atan(0.25) from the axis.
  const float qx = 0.5f / std::sqrt(4.25f), qz = -2.0f / std::sqrt(4.25f);
  const float a = 1.0f - (-0.92387953251f - qz) * 13.13707118432f;
  const float atten = 1.0f - a;
  const float up = -qz * atten, left = qx * atten;  // facing +z and -x, times atten
  const kvVector3F spotColour = {1.0f - atten, 0.5f * atten, 0.0f};

  const struct {
    const char* what;
    Light light;
    int point, direction;
    kvVector3F expected;
  } cases[] = {
      // Gradient at the centre: w = (1 - 0) x (1 - 0.5), half inner, half outer.
      {"gradient centre", Gradient({0.2f, 0, 0}, {0, 0.4f, 0}), 0, 3, {Tone(0.1f), Tone(0.2f), 0}},
      // At +z (local z 0.5) w = 0.75.
      {"gradient +z", Gradient({0.2f, 0, 0}, {0, 0.4f, 0}), 5, 0, {Tone(0.05f), Tone(0.3f), 0}},
      // Point at local distance 0.5: no falloff; it lies along +x.
      {"point centre +x", point, 0, 0, {Tone(0.5f), Tone(0.5f), Tone(0.5f)}},
      {"point centre -x", point, 0, 1, {0, 0, 0}},
      {"point centre +z", point, 0, 4, {0, 0, 0}},
      // At -x (local distance 0.75) f = 0.5: (A x 0.5) x 0.5.
      {"point -x +x", point, 2, 0, {0.125f, 0.125f, 0.125f}},
      {"point outside its box", farPoint, 0, 0, {0, 0, 0}},
      // Spot on its axis: full weight, the outer colour, only facing up.
      {"spot centre +z", spot, 0, 4, {0, Tone(0.5f), 0}},
      {"spot centre -z", spot, 0, 5, {0, 0, 0}},
      {"spot centre +x", spot, 0, 0, {0, 0, 0}},
      {"spot +x +z", spot, 1, 4, {Tone(spotColour.x * up), Tone(spotColour.y * up), 0}},
      {"spot +x -x", spot, 1, 1, {Tone(spotColour.x * left), Tone(spotColour.y * left), 0}},
  };
  for (const auto& c : cases) {
    Lightprobe_ResetForTest();
    scene.lights = {c.light};
    Lightprobe_BeginLattice("model", {0, 0, 0}, 4.0f, nullptr);
    const LightProbeSlot* slot = Lightprobe_GetCurrent();
    ASSERT_NE(slot, nullptr) << c.what;
    EXPECT_EQ(slot->flags, 0u) << c.what;
    ExpectRgb(slot->irradiance[c.point][c.direction], c.expected.x, c.expected.y, c.expected.z,
              c.what);
  }
}

TEST_F(Probes, DirectionalSectionsBoxAndCircle) {
  // Centre (1, 1, 0) in a light box of half size 2 at the origin: local
  // (0.5, 0.5, 0); the box section's radius is 0.5, the circle's 0.7071.
  for (uint32_t type : {3u, 4u}) {
    Lightprobe_ResetForTest();
    Light light = FakeDeferredScene::MakeLight(type, {0, 0, 0}, 2, 2, 2);
    light.info.innerColour = {0, 0, 0};
    light.info.outerColour = {1, 1, 1};
    scene.lights = {light};
    Lightprobe_BeginLattice("model", {1, 1, 0}, 4.0f, nullptr);
    const LightProbeSlot* slot = Lightprobe_GetCurrent();
    ASSERT_NE(slot, nullptr);
    const float r = type == 3 ? 0.5f : std::sqrt(0.5f);
    const float atten = 1.0f - r;
    // Facing +z: weight atten, colour B x atten.
    const std::string what = type == 3 ? "box" : "circle";
    ExpectRgb(slot->irradiance[0][4], Tone(atten * atten), Tone(atten * atten), Tone(atten * atten),
              what + " +z");
    ExpectRgb(slot->irradiance[0][0], 0, 0, 0, what + " +x");
    ExpectRgb(slot->irradiance[0][5], 0, 0, 0, what + " -z");
  }
}

TEST_F(Probes, SmallModelsEvaluateTheCentreOnly) {
  scene.lights = {Gradient({0.2f, 0, 0}, {0, 0.4f, 0})};
  scene.cameraPosition = {1000, 0, 0};  // far: the size measure is tiny
  Lightprobe_BeginLattice("barrel", {0, 0, 0}, 4.0f, nullptr);
  const LightProbeSlot* slot = Lightprobe_GetCurrent();
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->flags, Lightprobe_SmallOnScreen | Lightprobe_TinyOnScreen);
  // Gradient lights give half with one point: (0.1, 0.2, 0) x 0.5.
  for (int k = 0; k < 7; ++k) ExpectRgb(slot->irradiance[k][2], 0, Tone(0.1f), 0, "copied");

  Lightprobe_BeginLattice("tobin_head", {0, 0, 0}, 4.0f, nullptr);
  slot = Lightprobe_GetCurrent();
  EXPECT_EQ(slot->flags, 0u);
  ExpectRgb(slot->irradiance[0][2], Tone(0.1f), Tone(0.2f), 0, "tobin centre");
  ExpectRgb(slot->irradiance[5][2], Tone(0.05f), Tone(0.3f), 0, "tobin +z");
}

TEST_F(Probes, LatticeKeepsItsCentreAndRadiusAgainstBadValues) {
  scene.lights = {Gradient({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f})};
  Lightprobe_BeginLattice("crate", {kNaN, 1, 2}, kNaN, nullptr);
  LightProbeSlot* slot = Lightprobe_GetCurrent();
  ASSERT_NE(slot, nullptr);
  ExpectRgb(slot->centre, 0, 0, 0, "a new slot's centre");
  EXPECT_EQ(slot->radius, 0.0f);
  ExpectRgb(slot->extent, 0, 0, 0, "extent");
  // Evaluated anyway: with no extent the model is small, and the gradient gives half.
  ExpectRgb(slot->irradiance[0][0], Tone(0.25f), Tone(0.25f), Tone(0.25f), "evaluated anyway");

  Lightprobe_BeginLattice("crate", {1, 2, 3}, 2.0f, nullptr);
  ExpectRgb(slot->centre, 1, 2, 3, "centre");
  EXPECT_EQ(slot->radius, 2.0f);
  ExpectRgb(slot->extent, 0.5f, 0.5f, 1.0f, "extent");
  ExpectRgb(slot->probeSize, 5.0f, 5.0f, 10.0f, "probe size");
  // The radius is the first one; infinity changes nothing; a NaN centre keeps it.
  Lightprobe_BeginLattice("crate", {kNaN, kNaN, kNaN}, kInf, nullptr);
  ExpectRgb(slot->centre, 1, 2, 3, "centre kept");
  Lightprobe_BeginLattice("crate", {1, 2, 3}, 9.0f, nullptr);
  EXPECT_EQ(slot->radius, 2.0f);
}

TEST_F(Probes, AttachedModelsShareTheirParentsProbe) {
  scene.lights = {Gradient({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f})};
  // The parent's slot is new: the attached model evaluates it.
  Lightprobe_BeginLattice("hat", {0, 0, 0}, 1.0f, "body");
  LightProbeSlot* slot = Lightprobe_GetCurrent();
  ASSERT_NE(slot, nullptr);
  EXPECT_STREQ(slot->key, "body");
  EXPECT_EQ(slot->radius, 1.0f);
  // Evaluated since: the next attached model reuses it as it is.
  slot->constantsBuilt = 1;
  scene.lights[0].black = true;
  Lightprobe_BeginLattice("arm", {5, 5, 5}, 3.0f, "body");
  EXPECT_EQ(Lightprobe_GetCurrent(), slot);
  EXPECT_EQ(slot->constantsBuilt, 0);
  ExpectRgb(slot->centre, 0, 0, 0, "not moved");
  ExpectRgb(slot->irradiance[0][0], Tone(0.5f), Tone(0.5f), Tone(0.5f), "not evaluated");
  // The parent's own draw evaluates every time.
  Lightprobe_BeginLattice("body", {0, 0, 0}, 1.0f, nullptr);
  ExpectRgb(slot->irradiance[0][0], 0, 0, 0, "evaluated without the light");
}

// Frame step -----------------------------------------------------------------------------

TEST_F(Probes, FrameStepRebuildsOnANewSetupOrCamera) {
  int cameraA = 0, cameraB = 0;
  scene.camera = &cameraA;
  scene.setupName = "ga_hall";
  Lightprobe_BeginFrame();
  EXPECT_EQ(scene.selectCalls, 1);
  Lightprobe_BeginLattice("model", {0, 0, 0}, 1.0f, nullptr);
  ASSERT_NE(Lightprobe_GetCurrent(), nullptr);

  Lightprobe_BeginFrame();  // nothing changed: the slots stay
  EXPECT_EQ(scene.selectCalls, 1);
  EXPECT_EQ(Lightprobe_GetCurrent(), nullptr);
  EXPECT_STREQ(Lightprobe_GetSlot(0)->key, "model");

  scene.camera = &cameraB;  // another camera and back: two rebuilds
  Lightprobe_BeginFrame();
  scene.camera = &cameraA;
  Lightprobe_BeginFrame();
  EXPECT_EQ(scene.selectCalls, 3);
  EXPECT_STREQ(Lightprobe_GetSlot(0)->key, "");

  scene.setupName = "ga_stairs";
  Lightprobe_BeginFrame();
  EXPECT_EQ(scene.selectCalls, 4);
  Lightprobe_Invalidate();
  Lightprobe_BeginFrame();
  EXPECT_EQ(scene.selectCalls, 5);
}

TEST_F(Probes, ShadowLightInReachLightsThroughTheForwardShader) {
  // The nearest caster becomes the shadow light at the rebuild and is marked.
  Light spot = FakeDeferredScene::MakeLight(2, {0, 0, 1}, 1, 1, 1);
  spot.info.castsShadow = 1;
  scene.lights = {spot, Gradient({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f})};
  int camera = 0;
  scene.camera = &camera;
  Lightprobe_BeginFrame();
  ASSERT_EQ(Lightprobe_GetShadowLight()->lightIndex, 0u);
  ASSERT_EQ(scene.lights[0].info.setupFlag, 1u);

  // Reach sqrt(2 x 1 x 1) + radius 0.2: the centre (0, 0, 0) is 1 away.
  Lightprobe_BeginLattice("near", {0, 0, 0}, 0.2f, nullptr);
  const LightProbeSlot* slot = Lightprobe_GetCurrent();
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->shadowLightIndex, 0u);
  EXPECT_EQ(slot->inReach, 1);
  EXPECT_EQ(Lightprobe_GetShadowLight()->probesInReach, 1u);
  // Out of reach: marked too, and the light is evaluated like any other (it
  // does not reach that far, so only the gradient shows).
  Lightprobe_BeginLattice("far", {0, 0, -5}, 0.2f, nullptr);
  slot = Lightprobe_GetCurrent();
  EXPECT_EQ(slot->shadowLightIndex, 0u);
  EXPECT_EQ(slot->inReach, 0);
  EXPECT_EQ(Lightprobe_GetShadowLight()->probesInReach, 1u);
  Lightprobe_BeginFrame();
  EXPECT_EQ(Lightprobe_GetShadowLight()->probesInReach, 0u);
}

}  // namespace
