// The face cache with a recording rasterizer.
#include "quadrix/qxCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxRasterizer.h"
#include "qxTestLibrary.h"
#include "std/stdDisplay.h"

namespace {

struct Record {
  char kind;  // 'd' direct, 'z' z-buffered, 'p' procedural, 'r' span reset, 's' span run
  float depth;
};
std::vector<Record> g_log;

int RecordDirect(qxCacheFace* f) {
  g_log.push_back({'d', f->minDepth});
  return 1;
}
int RecordZ(qxCacheFace* f) {
  g_log.push_back({'z', f->minDepth});
  return 1;
}
int RecordProcedural(qxCacheFace* f) {
  g_log.push_back({'p', f->minDepth});
  return 1;
}
void RecordSpanReset() {
  g_log.push_back({'r', 0});
}
void RecordSpanRun() {
  g_log.push_back({'s', float(qxCache_GetFaceCount())});
}


class QxCache : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    qxCache_Reset();
    qxRasterizerCalls& c = qxRasterizer_Calls();
    c.drawFaceDirect = RecordDirect;
    c.drawFaceZBuffered = RecordZ;
    c.drawProceduralFace = RecordProcedural;
    c.spanReset = RecordSpanReset;
    c.spanRun = RecordSpanRun;
    g_log.clear();
    qxCore_SetSortingMethod(0);
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(0);
  }
  void TearDown() override {
    qxCache_Reset();
    qxRasterizer_ResetCalls();
    qxCore_SetSortingMethod(0);
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(0);
    qxCamera_SetCurrent(nullptr);
  }
  // Queues a triangle at the given depth; returns the commit result.
  static int Triangle(float depth, uint32_t entryFlags = 0, int poolFlags = 7) {
    qxCacheFace* f = qxCache_NewFace();
    if (!f) return -1;
    f->screenVerts[0] = {10.2f, 5.0f, depth};
    f->screenVerts[1] = {20.0f, 5.0f, depth + 1};
    f->screenVerts[2] = {15.0f, 9.5f, depth + 2};
    return qxCache_CommitFace(entryFlags, 3, poolFlags);
  }
};

TEST_F(QxCache, CommitComputesBoundsAndExtremes) {
  qxCore_SetFaceSortKey(0x12345);
  ASSERT_EQ(Triangle(3), 1);
  qxCore_SetFaceSortKey(0);
  const qxCacheFace& f = qxCache_GetFaces()[0];
  EXPECT_EQ(f.x0, 11);
  EXPECT_EQ(f.x1, 20);
  EXPECT_EQ(f.y0, 5);
  EXPECT_EQ(f.y1, 10);
  EXPECT_EQ(f.topVertex, 0);  // the first of the two with the smallest y
  EXPECT_EQ(f.bottomVertex, 2);
  EXPECT_EQ(f.minDepth, 3.0f);
  EXPECT_EQ(f.maxDepth, 5.0f);
  EXPECT_EQ(f.vertexCount, 3u);
  EXPECT_EQ(f.faceTag, 0x12345u);
  EXPECT_EQ(f.colormap, qxCore_pCurrentColormap);
  EXPECT_EQ(qxCache_GetFaceCount(), 1);
}

TEST_F(QxCache, DegenerateAndBrokenFacesAreDropped) {
  struct Case {
    const char* what;
    qxVector3 v[3];
  };
  const Case cases[] = {
      {"flat", {{0, 5, 1}, {10, 5, 1}, {20, 5, 1}}},
      {"vertical", {{3, 0, 1}, {3, 5, 1}, {3, 9, 1}}},
      {"nan", {{0, 0, 1}, {NAN, 5, 1}, {5, 9, 1}}},
      {"infinite depth", {{0, 0, 1}, {5, 5, INFINITY}, {5, 9, 1}}},
      {"huge", {{0, 0, 1}, {3e30f, 5, 1}, {5, 9, 1}}},
  };
  for (const Case& c : cases) {
    qxCacheFace* f = qxCache_NewFace();
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 3; ++i) f->screenVerts[i] = c.v[i];
    EXPECT_EQ(qxCache_CommitFace(0, 3, 7), 0) << c.what;
    EXPECT_EQ(qxCache_GetFaceCount(), 0) << c.what;
  }
  qxCacheFace* f = qxCache_NewFace();
  EXPECT_EQ(qxCache_CommitFace(0, 0, 7), 0);
  EXPECT_EQ(qxCache_CommitFace(0, 33, 7), 0);
  // The refused faces left the pools where they were.
  EXPECT_EQ(qxCache_NewFace()->screenVerts, f->screenVerts);
}

TEST_F(QxCache, PoolFlagsAdvanceOnlyTheirPools) {
  qxCacheFace* first = qxCache_NewFace();
  qxVector3* screen = first->screenVerts;
  qxVector2* tex = first->texVerts;
  float* levels = first->levels;
  ASSERT_EQ(Triangle(1, 0, QXCACHE_POOL_SCREEN), 1);
  qxCacheFace* next = qxCache_NewFace();
  EXPECT_EQ(next->screenVerts, screen + 3);
  EXPECT_EQ(next->texVerts, tex);
  EXPECT_EQ(next->levels, levels);
  EXPECT_EQ(next->red, next->levels);
  ASSERT_EQ(Triangle(1, 0, QXCACHE_POOL_TEXTURE | QXCACHE_POOL_LIGHT), 1);
  next = qxCache_NewFace();
  EXPECT_EQ(next->texVerts, tex + 3);
  EXPECT_EQ(next->levels, levels + 3);
  EXPECT_EQ(next->green - next->levels, first->green - first->levels);
}

TEST_F(QxCache, TheFaceAfterAFullTableFlushesFirst) {
  for (int i = 0; i < QXCACHE_MAX_FACES; ++i) ASSERT_EQ(Triangle(1), 1) << i;
  EXPECT_EQ(qxCache_GetFaceCount(), QXCACHE_MAX_FACES);
  EXPECT_TRUE(g_log.empty());
  const int drawnBefore = qxCore_facesDrawn;
  ASSERT_EQ(Triangle(2), 1);  // face 8193
  EXPECT_EQ(g_log.size(), size_t(QXCACHE_MAX_FACES));
  EXPECT_EQ(qxCore_facesDrawn, drawnBefore + QXCACHE_MAX_FACES);
  EXPECT_EQ(qxCache_GetFaceCount(), 1);
}

TEST_F(QxCache, FlushSortsAndDispatchesByTheOptions) {
  qxCore_SetSortingMethod(2);
  ASSERT_EQ(Triangle(5), 1);
  ASSERT_EQ(Triangle(50, QXCACHE_ENTRY_PROCEDURAL), 1);
  ASSERT_EQ(Triangle(20), 1);
  ASSERT_EQ(Triangle(20.0f, QXCACHE_ENTRY_PROCEDURAL), 1);  // equal depth: queue order kept
  qxCache_Flush();
  ASSERT_EQ(g_log.size(), 4u);
  EXPECT_EQ(g_log[0].depth, 50);
  EXPECT_EQ(g_log[0].kind, 'p');
  EXPECT_EQ(g_log[1].depth, 20);
  EXPECT_EQ(g_log[1].kind, 'd');
  EXPECT_EQ(g_log[2].kind, 'p');
  EXPECT_EQ(g_log[3].depth, 5);
  EXPECT_EQ(qxCache_GetFaceCount(), 0);

  struct Case {
    int occlusion, zMethod;
    const char* expected;
  };
  const Case cases[] = {{0, 0, "dd"}, {0, 2, "zz"}, {0, 1, ""}, {0, 3, ""},
                        {1, 0, "rs"}, {1, 1, "rs"}, {2, 0, ""}};
  qxCore_SetSortingMethod(0);
  for (const Case& c : cases) {
    g_log.clear();
    qxCore_SetOcclusionMethod(c.occlusion);
    qxCore_SetZBufferMethod(c.zMethod);
    Triangle(1);
    Triangle(2);
    const int drawnBefore = qxCore_facesDrawn;
    qxCache_Flush();
    std::string kinds;
    for (const Record& r : g_log) kinds += r.kind;
    EXPECT_EQ(kinds, c.expected) << c.occlusion << "/" << c.zMethod;
    if (c.occlusion == 1) {
      EXPECT_EQ(g_log[1].depth, 2.0f);  // the span run sees the whole cache
    }
    EXPECT_EQ(qxCore_facesDrawn, drawnBefore + 2);  // counted whether drawn or not
    EXPECT_EQ(qxCache_GetFaceCount(), 0);
  }
}

TEST_F(QxCache, DrawnAreaIsSignedAndKeptInTheCanvas) {
  DisplayBuffer buffer = {};
  buffer.format.width = 640;
  buffer.format.height = 480;
  qxCanvas canvas;
  qxCanvas_NewEntry(&canvas, 0, &buffer, nullptr, 0, 0, 0, 0, 0);
  qxCamera* cam = qxCamera_New(60, 0, 1, 100, 1);
  qxCamera_SetCanvas(cam, &canvas);
  qxCamera_SetCurrent(cam);

  // The render module's reset before drawing one actor.
  qxCache_drawnX0 = 640;
  qxCache_drawnY0 = 480;
  qxCache_drawnX1 = 0;
  qxCache_drawnY1 = 0;
  qxCacheFace* f = qxCache_NewFace();
  f->screenVerts[0] = {-1.5f, -2.5f, 1};  // rounded just past the top-left corner
  f->screenVerts[1] = {30, 0, 1};
  f->screenVerts[2] = {10, 40, 1};
  ASSERT_EQ(qxCache_CommitFace(0, 3, 7), 1);
  EXPECT_EQ(qxCache_GetFaces()[0].x0, -1);
  EXPECT_EQ(qxCache_drawnX0, 0);  // a negative bound lowers the minimum, clamped to the canvas
  EXPECT_EQ(qxCache_drawnY0, 0);
  EXPECT_EQ(qxCache_drawnX1, 30);
  EXPECT_EQ(qxCache_drawnY1, 40);
  f = qxCache_NewFace();
  f->screenVerts[0] = {600, 400, 1};
  f->screenVerts[1] = {700, 450, 1};
  f->screenVerts[2] = {650, 500, 1};
  ASSERT_EQ(qxCache_CommitFace(0, 3, 7), 1);
  EXPECT_EQ(qxCache_drawnX1, 639);
  EXPECT_EQ(qxCache_drawnY1, 479);
  qxCamera_Free(cam);
}

}  // namespace
