// Cameras, canvases and lights.
#include "quadrix/qxCamera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxFace.h"
#include "quadrix/qxLight.h"
#include "qxTestLibrary.h"
#include "std/stdDisplay.h"
#include "std/stdMath.h"

namespace {

DisplayBuffer MakeBuffer(int width, int height) {
  DisplayBuffer b = {};
  b.format.width = width;
  b.format.height = height;
  b.format.format.bitsPerPixel = 16;
  return b;
}

class QxCamera : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    buffer = MakeBuffer(640, 480);
  }
  void TearDown() override { qxCamera_SetCurrent(nullptr); }
  DisplayBuffer buffer;
};

TEST_F(QxCamera, FieldOfViewIsClamped) {
  qxCamera* cam = qxCamera_New(2, 0, 1, 100, 1);
  ASSERT_NE(cam, nullptr);
  EXPECT_EQ(cam->fov, 5.0f);
  qxCamera_SetFOV(cam, 200);
  EXPECT_EQ(cam->fov, 179.0f);
  qxCamera_SetFOV(cam, 60);
  EXPECT_EQ(cam->fov, 60.0f);
  EXPECT_EQ(cam->projectionType, QXCAMERA_PERSPECTIVE);
  EXPECT_EQ(cam->orthoScale, 1.0f);
  EXPECT_EQ(cam->attenuation1, 0.2f);
  EXPECT_EQ(cam->attenuation2, 0.1f);
  EXPECT_EQ(qxCamera_BuildFrustum(cam), 0);  // no canvas yet
  qxCamera_Free(cam);
}

TEST_F(QxCamera, CanvasCentreAndFrustum) {
  qxCanvas* canvas = qxCanvas_New(0, &buffer, nullptr, 5, 5, 9, 9, 0);
  ASSERT_NE(canvas, nullptr);
  EXPECT_EQ(canvas->rectRight, 639);
  EXPECT_EQ(canvas->rectBottom, 479);
  EXPECT_EQ(canvas->centreX, 320.0f);
  EXPECT_EQ(canvas->centreY, 240.0f);

  qxCamera* cam = qxCamera_New(90, 1, 1, 1000, 1);
  qxCamera_SetCanvas(cam, canvas);
  // Half sizes 319.5 and 239.5; tan 45 from the table is exactly 1.
  EXPECT_FLOAT_EQ(cam->focal, 319.5f / stdMath_Tan(45.0f));
  EXPECT_NEAR(cam->focal, 319.5f, 1e-3f);
  const qxClipFrustum* f = cam->frustum;
  EXPECT_FLOAT_EQ(f->slopeRight, 1.0f);
  EXPECT_FLOAT_EQ(f->slopeLeft, -1.0f);
  EXPECT_FLOAT_EQ(f->slopeTop, 239.5f / 319.5f);
  EXPECT_FLOAT_EQ(f->slopeTopWide, 240.5f / 319.5f);
  EXPECT_FLOAT_EQ(f->slopeLeftWide, -320.5f / 319.5f);
  EXPECT_EQ(f->farEnabled, 1);

  qxClipFrustum sub = {};
  ASSERT_EQ(qxCamera_BuildSubFrustum(cam, &sub, 0, 0, 640, 480), 1);
  EXPECT_FLOAT_EQ(sub.slopeLeft, -320.5f / cam->focal);
  EXPECT_FLOAT_EQ(sub.slopeRight, 319.5f / cam->focal);
  EXPECT_EQ(sub.farY, 1000.0f);

  qxCamera_SetOrthoScale(cam, 2);
  qxCamera_SetProjectionType(cam, QXCAMERA_ORTHOGRAPHIC);
  EXPECT_EQ(cam->focal, 0.0f);
  EXPECT_FLOAT_EQ(f->orthoRight, 319.5f / 2);
  EXPECT_FLOAT_EQ(f->orthoBottom, -239.5f / 2);
  EXPECT_EQ(f->slopeRight, 0.0f);
  EXPECT_FLOAT_EQ(f->slopeTopWide, 240.5f / 319.5f);  // widened slopes keep their values

  qxCanvas explicitRect;
  qxCanvas_NewEntry(&explicitRect, QXCANVAS_EXPLICIT_RECT, &buffer, nullptr, 10, 20, 109, 59, 0);
  EXPECT_EQ(explicitRect.centreX, 60.0f);
  EXPECT_EQ(explicitRect.centreY, 40.0f);
  qxCamera_Free(cam);
  qxCanvas_Free(canvas);
}

TEST_F(QxCamera, SquareAndGeneralProjectionsAgree) {
  qxCanvas* canvas = qxCanvas_New(0, &buffer, nullptr, 0, 0, 0, 0, 0);
  qxCamera* cam = qxCamera_New(90, 0, 1, 1000, 1.0f);
  qxCamera_SetCanvas(cam, canvas);
  qxCamera_SetCurrent(cam);
  const qxVector3 src = {10, 100, 5};
  qxVector3 square, general;
  cam->projectPoint(&square, &src);
  const auto squareFn = cam->projectPoint;
  qxCamera_SetAspectRatio(cam, 1.0001f);
  EXPECT_NE(cam->projectPoint, squareFn);
  cam->projectPoint(&general, &src);
  EXPECT_NEAR(square.x, 320 + 10 * cam->focal / 100, 1e-3f);
  EXPECT_NEAR(square.y, 240 - 5 * cam->focal / 100, 1e-3f);
  EXPECT_EQ(square.z, 100.0f);
  EXPECT_NEAR(general.x, square.x, 1e-2f);
  EXPECT_NEAR(general.y, square.y, 1e-2f);

  qxCamera_SetProjectionType(cam, QXCAMERA_ORTHOGRAPHIC);
  qxVector3 pts[2] = {{1, 50, 2}, {-1, 60, -2}}, out[2];
  cam->projectPoints(out, pts, 2);
  EXPECT_FLOAT_EQ(out[0].x, 321);
  EXPECT_FLOAT_EQ(out[1].z, 60);
  qxCamera_Free(cam);
  qxCanvas_Free(canvas);
}

TEST_F(QxCamera, LightListAndAttenuation) {
  qxCamera* cam = qxCamera_New(60, 0, 1, 100, 1);
  qxLight lights[65];
  for (qxLight& l : lights) qxLight_NewEntry(&l);
  for (int i = 0; i < 64; ++i) {
    const qxVector3 p = {float(i), 0, 0};
    ASSERT_EQ(qxCamera_AddLight(cam, &lights[i], &p), 1);
    EXPECT_EQ(lights[i].id, i);
  }
  EXPECT_FLOAT_EQ(lights[0].range, 1.0f / 0.2f);
  EXPECT_FLOAT_EQ(lights[0].range2, 1.0f / 0.1f);
  const qxVector3 extra = {99, 99, 99};
  lights[64].id = -7;
  EXPECT_EQ(qxCamera_AddLight(cam, &lights[64], &extra), 0);
  EXPECT_EQ(cam->lightCount, 64);
  EXPECT_EQ(lights[64].id, -7);
  EXPECT_EQ(cam->lightPositions[63].x, 63.0f);
  EXPECT_EQ(cam->attenuation1, 0.2f);

  qxCamera_SetAttenuation(cam, 0.5f, 0.25f);
  EXPECT_FLOAT_EQ(lights[10].range, 2.0f);
  EXPECT_FLOAT_EQ(lights[10].range2, 4.0f);
  qxCamera_ClearLights(cam);
  EXPECT_EQ(cam->lightCount, 0);
  qxCamera_Free(cam);
}

TEST_F(QxCamera, NoCurrentCameraAnswersZeros) {
  qxCamera_SetCurrent(nullptr);
  float p[10];
  for (float& v : p) v = 42;
  qxCamera_GetProjectionParams(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8],
                               &p[9]);
  for (float v : p) EXPECT_EQ(v, 0.0f);
  qxMatrix34 m = qxMatrix34_identity;
  qxCamera_Update(&m);  // does nothing
  qxCamera_GetViewMatrix(&m);
  EXPECT_EQ(m.x.x, 0.0f);
  qxCamera_ClearCanvas();  // does nothing

  // A current camera without a canvas answers zeros too.
  qxCamera* cam = qxCamera_New(60, 0, 1, 100, 1);
  qxCamera_SetCurrent(cam);
  for (float& v : p) v = 42;
  qxCamera_GetProjectionParams(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8],
                               &p[9]);
  for (float v : p) EXPECT_EQ(v, 0.0f);
  const qxVector3 src = {1, 10, 1};
  qxVector3 dst = {7, 7, 7};
  cam->projectPoint(&dst, &src);
  EXPECT_EQ(dst.x, 7.0f);  // nothing projected without a canvas
  qxCamera_Free(cam);
  EXPECT_EQ(qxCore_pCurrentCamera, nullptr);  // freeing the current camera clears it
}

TEST_F(QxCamera, UpdateStoresPlacementAndView) {
  qxCanvas* canvas = qxCanvas_New(0, &buffer, nullptr, 0, 0, 0, 0, 0);
  qxCamera* cam = qxCamera_New(60, 0, 1, 100, 1);
  qxCamera_SetCanvas(cam, canvas);
  qxCamera_SetCurrent(cam);
  qxCamera_SetAmbientLight(cam, 0.3f);
  const qxVector3 a = {10, 30, 0}, pos = {1, 2, 3};
  qxMatrix34 placement;
  qxMatrix34_Build(&placement, &a, &pos);
  qxCamera_Update(&placement);
  qxMatrix34 world, view;
  qxCamera_GetWorldMatrix(&world);
  qxCamera_GetViewMatrix(&view);
  EXPECT_EQ(world.t.x, 1.0f);
  qxVector3 eyeInCamera;
  qxMatrix34_TransformPoint(&eyeInCamera, &pos, &view);
  EXPECT_NEAR(qxVector3_Len(&eyeInCamera), 0, 1e-5f);
  float p[10];
  qxCamera_GetProjectionParams(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8],
                               &p[9]);
  EXPECT_EQ(p[0], 60.0f);
  EXPECT_EQ(p[3], 320.0f);
  EXPECT_EQ(p[7], 0.3f);
  EXPECT_EQ(p[9], 0.1f);
  qxCamera_Free(cam);
  qxCanvas_Free(canvas);
}

// ---- broadcasts through the render hooks ----

struct HookLog {
  int cameraChanged = 0;
  int fills = 0;
  DisplayBuffer* buffer = nullptr;
  uint32_t value = 99;
  bool hadRect = false;
  stdRect rect = {};
};
HookLog g_hooks;

void FakeCameraChanged() {
  ++g_hooks.cameraChanged;
}
int FakeFillBuffer(DisplayBuffer* buffer, uint32_t value, const stdRect* rect) {
  ++g_hooks.fills;
  g_hooks.buffer = buffer;
  g_hooks.value = value;
  g_hooks.hadRect = rect != nullptr;
  if (rect) g_hooks.rect = *rect;
  return 1;
}

class QxCameraHooks : public QxCamera {
 protected:
  void SetUp() override {
    QxCamera::SetUp();
    qxCamera_SetCurrent(nullptr);
    kv_RenderHooks_ResetForTest();
    table = {};
    table.CameraChanged = FakeCameraChanged;
    table.FillBuffer = FakeFillBuffer;
    ASSERT_EQ(kv_RenderHooks_Register(&table), &table);
    g_hooks = {};
  }
  void TearDown() override {
    QxCamera::TearDown();
    kv_RenderHooks_ResetForTest();
    qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL);
  }
  RenderHookTable table;
};

TEST_F(QxCameraHooks, SetCurrentBroadcastsOnlyChanges) {
  qxCamera* a = qxCamera_New(60, 0, 1, 100, 1);
  qxCamera* b = qxCamera_New(60, 0, 1, 100, 1);
  EXPECT_EQ(qxCamera_SetCurrent(a), 1);
  EXPECT_EQ(g_hooks.cameraChanged, 1);
  qxCamera_SetCurrent(a);
  EXPECT_EQ(g_hooks.cameraChanged, 1);
  qxCamera_SetCurrent(b);
  EXPECT_EQ(g_hooks.cameraChanged, 2);
  // Freeing the current camera leaves none current and re-arms the broadcast.
  qxCamera_Free(b);
  EXPECT_EQ(qxCore_pCurrentCamera, nullptr);
  EXPECT_EQ(g_hooks.cameraChanged, 2);
  qxCamera_SetCurrent(a);
  EXPECT_EQ(g_hooks.cameraChanged, 3);
  qxCamera_Free(a);
}

TEST_F(QxCameraHooks, FrameStartClearsTheZBufferWhenAsked) {
  DisplayBuffer zBuffer = MakeBuffer(640, 480);
  qxCanvas whole, part;
  qxCanvas_NewEntry(&whole, QXCANVAS_CLEAR_ZBUFFER, &buffer, &zBuffer, 0, 0, 0, 0, 0);
  qxCanvas_NewEntry(&part, QXCANVAS_CLEAR_ZBUFFER | QXCANVAS_EXPLICIT_RECT, &buffer, &zBuffer, 10,
                    20, 109, 59, 0);
  qxCamera* cam = qxCamera_New(60, 0, 1, 100, 1);
  qxCamera_SetCanvas(cam, &whole);
  qxCamera_SetCurrent(cam);

  qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL);  // clear flag off: nothing
  qxCore_StartFrame();
  EXPECT_EQ(g_hooks.fills, 0);

  qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL | QXRENDER_CLEAR_CANVAS);
  qxCore_StartFrame();
  EXPECT_EQ(g_hooks.fills, 1);
  EXPECT_EQ(g_hooks.buffer, &zBuffer);
  EXPECT_EQ(g_hooks.value, 0u);
  EXPECT_FALSE(g_hooks.hadRect);  // the whole buffer

  qxCamera_SetCanvas(cam, &part);
  qxCamera_ClearCanvas();
  EXPECT_EQ(g_hooks.fills, 2);
  ASSERT_TRUE(g_hooks.hadRect);
  EXPECT_EQ(g_hooks.rect.x, 10);
  EXPECT_EQ(g_hooks.rect.y, 20);
  EXPECT_EQ(g_hooks.rect.width, 100);
  EXPECT_EQ(g_hooks.rect.height, 40);

  part.flags = QXCANVAS_EXPLICIT_RECT;  // the canvas does not ask for a clear
  qxCamera_ClearCanvas();
  EXPECT_EQ(g_hooks.fills, 2);
  qxCore_FinishFrame();
  qxCamera_Free(cam);
}

// ---- lights ----

struct LightScene {
  qxLight light;
  qxVector3 position;
  qxVector3 toLight;  // the light's direction negated
};

float LightOneVertex(LightScene& s, const qxVector3& normal, const qxVector3& vertex, float stored,
                     float attenuation) {
  qxLight* list[1] = {&s.light};
  float out = -1;
  qxLight_CalcVertexIntensities(list, &s.position, &s.toLight, 1, &normal, &vertex, &stored, &out,
                                1, attenuation);
  return out;
}

TEST(QxLight, VertexLighting) {
  qxLight l;
  qxLight_NewEntry(&l);
  EXPECT_EQ(l.type, QXLIGHT_POINT);
  EXPECT_EQ(l.active, 1);
  EXPECT_EQ(l.intensity, 1.0f);
  EXPECT_EQ(l.color, 0xFFFFFFu);

  const qxVector3 up = {0, 0, 1}, origin = {0, 0, 0};
  const float A = 0.2f;
  LightScene s = {l, {0, 0, 5}, {0, 0, 1}};
  s.light.range = s.light.intensity / A;  // 5
  // Exactly at range: not lit (strict comparison).
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.1f, A), 0.1f);
  // At R/2 with N . L = 1: S - (R/2) A = S/2.
  s.position = {0, 0, 2.5f};
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.0f, A), 0.5f);
  // Facing away adds nothing.
  const qxVector3 down = {0, 0, -1};
  EXPECT_FLOAT_EQ(LightOneVertex(s, down, origin, 0.25f, A), 0.25f);
  // Saturation.
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.9f, A), 1.0f);
  // Inactive lights are skipped.
  s.light.active = 0;
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.0f, A), 0.0f);
  s.light.active = 1;

  // Directional: N . D times the intensity, nothing when facing away.
  s.light.type = QXLIGHT_DIRECTIONAL;
  s.light.intensity = 0.5f;
  s.position = {1000, 1000, 1000};  // reaches everything
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.0f, A), 0.5f);
  EXPECT_FLOAT_EQ(LightOneVertex(s, down, origin, 0.0f, A), 0.0f);
  s.light.type = 7;  // unknown types add nothing
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.0f, A), 0.0f);

  // Spot straight above, shining down: inner 20, outer 40 degrees.
  s.light.type = QXLIGHT_SPOT;
  s.light.intensity = 1.0f;
  s.light.range = 100;
  qxLight_SetSpotAngles(&s.light, 20, 40);
  s.position = {0, 0, 1};
  s.toLight = {0, 0, 1};
  const float noAttenuation = 0.0f;
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, origin, 0.0f, noAttenuation), 1.0f);  // inside inner
  // Between the cones: linear from 0 at the outer cone to S at the inner cone.
  float s30, c30;
  stdMath_SinCos(30, &s30, &c30);
  const qxVector3 at30 = {-s30 / c30, 0, 0};  // the vertex seen at 30 degrees off axis
  const float expected = 1.0f - (s.light.cosInner - c30) * s.light.spotFalloff;
  EXPECT_NEAR(LightOneVertex(s, up, at30, 0.0f, noAttenuation), expected, 2e-3f);
  EXPECT_GT(expected, 0.3f);
  EXPECT_LT(expected, 0.7f);
  // Outside the outer cone: nothing.
  const qxVector3 at60 = {-2, 0, 0};
  EXPECT_FLOAT_EQ(LightOneVertex(s, up, at60, 0.2f, noAttenuation), 0.2f);
  // The spot follows N . D without a facing test: a face turned away darkens.
  EXPECT_LT(LightOneVertex(s, down, origin, 0.5f, noAttenuation), 0.5f);
}

TEST(QxLight, SpotAnglesAndMeans) {
  qxLight l;
  qxLight_NewEntry(&l);
  qxLight_SetSpotAngles(&l, 30, 30);
  EXPECT_EQ(l.spotFalloff, 0.0f);  // inner = outer leaves the factor as it was
  qxLight_SetSpotAngles(&l, 10, 30);
  EXPECT_GT(l.spotFalloff, 0.0f);
  const float f = l.spotFalloff;
  qxLight_SetSpotAngles(&l, 40, 30);
  EXPECT_EQ(l.spotFalloff, f);

  // No vertices: mean 0, not a division by zero.
  EXPECT_EQ(qxLight_CalcVertexIntensities(nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                                          nullptr, 0, 0.2f),
            0.0f);
  // Two vertices, no lights: the mean of the stored values.
  const qxVector3 n[2] = {{0, 0, 1}, {0, 0, 1}}, v[2] = {{0, 0, 0}, {1, 0, 0}};
  const float stored[2] = {0.2f, 0.6f};
  float out[2];
  EXPECT_FLOAT_EQ(
      qxLight_CalcVertexIntensities(nullptr, nullptr, nullptr, 0, n, v, stored, out, 2, 0.2f),
      0.4f);
}

TEST(QxLight, FaceLightingTreatsEveryLightAsAPointLight) {
  qxLight a, b;
  qxLight_NewEntry(&a);
  qxLight_NewEntry(&b);
  a.type = QXLIGHT_DIRECTIONAL;
  a.range = b.range = 10;
  qxLight* list[2] = {&a, &b};
  const qxVector3 positions[2] = {{0, 0, 2}, {0, 0, 4}};
  const qxVector3 verts[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  int32_t indices[3] = {0, 1, 2};
  qxFace face;
  qxFace_NewEntry(&face);
  face.vertexCount = 3;
  face.vertexIndices = indices;
  const qxVector3 normal = {0, 0, 1};
  const float A = 0.1f;
  // 1 - 0.2 = 0.8, then 0.8 + (1 - 0.4) = 1.4: stops once at least 1, not clamped.
  EXPECT_FLOAT_EQ(qxLight_CalcFaceIntensity(list, positions, nullptr, 2, &face, &normal, verts, A),
                  1.4f);
  face.vertexIndices = nullptr;
  face.vertexCount = 0;
  EXPECT_EQ(qxLight_CalcFaceIntensity(list, positions, nullptr, 2, &face, &normal, verts, A), 0.0f);
}

}  // namespace
