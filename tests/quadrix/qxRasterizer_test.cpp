// The library's table of calls up to the rasterizer: the program's wiring
// fills every row, and without a rasterizer the library draws nothing, says
// so in the log, and does not crash.
#include "quadrix/qxRasterizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/kv_Log.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCore.h"
#include "qxTestLibrary.h"

namespace {

constexpr const char* kLog = "qx_rasterizer_test.log";

std::string ReadLog() {
  std::ifstream in(kLog);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t Count(const std::string& text, const std::string& line) {
  size_t n = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
  return n;
}

class QxRasterizer : public ::testing::Test {
 protected:
  void SetUp() override {
    hs_ = qxTest_StartLibrary();
    std::remove(kLog);
    kv_Log_ResetForTest();
    ASSERT_EQ(kv_Log_Open(kLog), 1);
  }
  void TearDown() override {
    kv_Log_ResetForTest();
    qxRasterizer_ResetCalls();
    qxCache_Reset();
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(0);
  }
  HostServices* hs_ = nullptr;
};

TEST_F(QxRasterizer, TheProgramsWiringFillsEveryRow) {
  const qxRasterizerCalls& c = qxRasterizer_Calls();
  const struct {
    const char* row;
    bool set;
  } rows[] = {
      {"open", c.open != nullptr},
      {"startup", c.startup != nullptr},
      {"resetStats", c.resetStats != nullptr},
      {"drawFaceDirect", c.drawFaceDirect != nullptr},
      {"drawFaceZBuffered", c.drawFaceZBuffered != nullptr},
      {"drawProceduralFace", c.drawProceduralFace != nullptr},
      {"spanReset", c.spanReset != nullptr},
      {"spanRun", c.spanRun != nullptr},
  };
  for (const auto& r : rows) EXPECT_TRUE(r.set) << r.row;
}

TEST_F(QxRasterizer, WithoutARasterizerTheLibraryStartsAndSaysItDrawsNothing) {
  qxCore_Shutdown();
  qxRasterizer_Calls() = qxRasterizerCalls{};
  EXPECT_EQ(qxCore_Startup(hs_), 1);
  EXPECT_EQ(qxCore_bStarted, 1);
  kv_Log_ResetForTest();
  EXPECT_EQ(
      Count(ReadLog(), "[Quadrix] - no rasterizer is installed: the 3D library draws nothing"), 1u);
  // Started again with the program's rasterizer.
  qxCore_Shutdown();
  qxRasterizer_ResetCalls();
  EXPECT_EQ(qxCore_Startup(hs_), 1);
}

// Every way the flush draws (direct, z-buffered, the span pass) drops the
// queued faces when its rows are empty; the log says so once.
TEST_F(QxRasterizer, WithoutARasterizerAFlushDropsItsFaces) {
  const struct { int occlusion, zMethod; } cases[] = {{0, 0}, {0, 2}, {1, 0}};
  qxRasterizer_Calls() = qxRasterizerCalls{};
  for (const auto& c : cases) {
    qxCore_SetOcclusionMethod(c.occlusion);
    qxCore_SetZBufferMethod(c.zMethod);
    qxCore_StartFrame();  // the statistics' row is empty too
    qxCacheFace* f = qxCache_NewFace();
    ASSERT_NE(f, nullptr);
    f->screenVerts[0] = {10.0f, 5.0f, 2.0f};
    f->screenVerts[1] = {20.0f, 5.0f, 2.0f};
    f->screenVerts[2] = {15.0f, 9.0f, 2.0f};
    ASSERT_EQ(qxCache_CommitFace(0, 3, QXCACHE_POOL_SCREEN), 1);
    const int drawnBefore = qxCore_facesDrawn;
    qxCache_Flush();
    EXPECT_EQ(qxCache_GetFaceCount(), 0) << c.occlusion << " " << c.zMethod;
    EXPECT_EQ(qxCore_facesDrawn, drawnBefore) << c.occlusion << " " << c.zMethod;
  }
  kv_Log_ResetForTest();
  EXPECT_EQ(Count(ReadLog(), "[Quadrix] - no rasterizer is installed: "), 1u) << ReadLog();
}

}  // namespace
