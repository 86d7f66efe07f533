// Library start, options, frames and faces.
#include "quadrix/qxCore.h"

#include <gtest/gtest.h>

#include <array>

#include "quadrix/qxCache.h"
#include "quadrix/qxFace.h"
#include "qxTestLibrary.h"
#include "std/stdMemory.h"

namespace {

class QxCore : public ::testing::Test {
 protected:
  void SetUp() override { qxTest_StartLibrary(); }
};

TEST_F(QxCore, StartupKeepsTheFirstServicesRecord) {
  HostServices* first = qxCore_pHS;
  ASSERT_NE(first, nullptr);
  HostServices other;
  HostServices_CopyDefaults(&other);
  EXPECT_EQ(qxCore_Startup(&other), 1);
  EXPECT_EQ(qxCore_pHS, first);
  EXPECT_EQ(qxCore_bStarted, 1);
}

TEST_F(QxCore, OpenSetsDefaultsOnceAndKeepsTheZBufferMethod) {
  qxCore_Close();
  qxCore_SetZBufferMethod(2);
  qxCore_SetGeometryMode(1);
  qxCore_SetBatchOption(1);
  const float distances[4] = {1, 2, 3, 4};
  qxCore_SetMipmapDistances(distances);
  PaletteEffectBody effect = {};
  effect.fade = 0.25f;
  qxCore_SetColorEffect(&effect);
  ASSERT_EQ(qxCore_Open(0), 1);

  struct Option {
    const char* name;
    int32_t (*get)(void);
    int32_t expected;
  };
  const Option options[] = {
      {"geometry", qxCore_GetGeometryMode, 5},
      {"lighting", qxCore_GetLightingMode, 5},
      {"texture", qxCore_GetTextureMode, 3},
      {"render flags", qxCore_GetRenderFlags, 1},
      {"cull", qxCore_GetCullFlags, 1},
      {"sorting", qxCore_GetSortingMethod, 0},
      {"occlusion", qxCore_GetOcclusionMethod, 0},
      {"sort key", qxCore_GetFaceSortKey, 0},
      {"batch", qxCore_GetBatchOption, 0},
      {"z-buffer", qxCore_GetZBufferMethod, 2},
  };
  for (const Option& o : options) EXPECT_EQ(o.get(), o.expected) << o.name;
  EXPECT_EQ(qxCore_frameCount, 0);
  EXPECT_EQ(qxCore_GetMipmapDistances()[3], 4.0f);  // not reset by open
  EXPECT_EQ(qxCore_GetColorEffect()->fade, 1.0f);   // reset by open
  EXPECT_EQ(qxCore_GetColorEffect()->tintR, 0.0f);

  // A second open keeps the first level and the options set in between.
  qxCore_SetGeometryMode(3);
  EXPECT_EQ(qxCore_Open(7), 1);
  EXPECT_EQ(qxCore_accelLevel, 0);
  EXPECT_EQ(qxCore_GetGeometryMode(), 3);
  qxCore_SetGeometryMode(5);
  qxCore_SetZBufferMethod(0);
  qxCore_SetMipmapDistances(std::array<float, 4>{10, 20, 40, 80}.data());
}

TEST_F(QxCore, CeilingRule) {
  EXPECT_EQ(qxCore_EffectiveMode(4, 3), 3);  // textured face under a solid ceiling
  EXPECT_EQ(qxCore_EffectiveMode(1, 5), 1);  // ceiling 5 leaves the face's own mode
  EXPECT_EQ(qxCore_EffectiveMode(-1, 5), -1);
}

TEST_F(QxCore, FramesCountAndResetTheFacesDrawn) {
  const int before = qxCore_frameCount;
  qxCore_StartFrame();
  qxCacheFace* f = qxCache_NewFace();
  ASSERT_NE(f, nullptr);
  f->screenVerts[0] = {0, 0, 1};
  f->screenVerts[1] = {10, 0, 1};
  f->screenVerts[2] = {0, 10, 1};
  ASSERT_EQ(qxCache_CommitFace(0, 3, QXCACHE_POOL_SCREEN), 1);
  qxCore_FinishFrame();
  EXPECT_EQ(qxCore_facesDrawn, 1);
  EXPECT_EQ(qxCache_GetFaceCount(), 0);
  qxCore_StartFrame();
  EXPECT_EQ(qxCore_facesDrawn, 0);
  qxCore_FinishFrame();
  EXPECT_EQ(qxCore_frameCount, before + 2);
}

TEST_F(QxCore, FaceRecordOwnsItsIndexArrays) {
  const stdMemoryStats before = stdMemory_GetStats();
  qxFace* face = qxFace_New();
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->celIndex, -1);
  EXPECT_EQ(face->vertexIndices, nullptr);
  EXPECT_EQ(face->extraLight, 0.0f);
  face->vertexIndices =
      static_cast<int32_t*>(qxCore_Alloc(3 * sizeof(int32_t), "qxFace", __LINE__));
  face->texVertexIndices =
      static_cast<int32_t*>(qxCore_Alloc(3 * sizeof(int32_t), "qxFace", __LINE__));
  qxFace_FreeEntry(face);
  EXPECT_EQ(face->vertexIndices, nullptr);
  EXPECT_EQ(face->texVertexIndices, nullptr);
  qxFace_FreeEntry(face);  // nothing left to free twice
  qxFace_Free(face);
  qxFace_Free(nullptr);
  const stdMemoryStats after = stdMemory_GetStats();
  EXPECT_EQ(after.liveCount, before.liveCount);
}

}  // namespace
