// Overlays without GL: the coordinate conversions, the image cache and its
// eviction, the overlay table, fades, the mosaic, the "OVRS" block and the
// script functions. Images here never load (no file, unknown type), so no
// texture is made; drawing with textures is in the gl tests.
#include "presentation/drevOverlay.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "PresentationTestSupport.h"

namespace {

using presentation_test::g_at;
using presentation_test::g_block;
using presentation_test::Read;
using presentation_test::Write;

class Overlays : public presentation_test::Presentation {
 protected:
  void SetUp() override {
    Presentation::SetUp();
    ASSERT_EQ(0, drevOverlay_Initialize(&hs_, &overlay_));
    ASSERT_EQ(0, overlay_.startup());
    m_ = drevOverlay_GetManager();
    ASSERT_NE(m_, nullptr);
  }
  void TearDown() override {
    overlay_.shutdown();
    Presentation::TearDown();
  }
  int Create(const char* image, int layer = 1) {
    return drevOverlay_Manager_CreateOverlay(m_, image, 10, 20, layer, 2, 0, 0, 0);
  }
  ModuleDescriptor overlay_{};
  OverlayManager* m_ = nullptr;
};

TEST(OverlayConversions, PointsAndRectangles) {
  struct Case {
    int x, y, mode, raw;
    bool toScreen;
    int ex, ey;
  } const cases[] = {
      {320, 240, 0, 0, true, 960, 540},  {320, 240, 0, 1, true, 720, 540},
      {960, 540, 0, 0, false, 320, 240}, {100, 50, 1, 0, true, 340, 50},
      {100, 50, 1, 1, true, 100, 50},    {340, 50, 1, 0, false, 100, 50},
      {7, 9, 2, 0, true, 7, 9},          {7, 9, 2, 0, false, 7, 9},
  };
  for (const Case& c : cases) {
    int32_t x = c.x, y = c.y;
    if (c.toScreen) {
      drevOverlay_GameToScreen(&x, &y, c.mode, c.raw);
    } else {
      drevOverlay_ScreenToGame(&x, &y, c.mode, c.raw);
    }
    EXPECT_EQ(x, c.ex) << c.x << "," << c.y << " mode " << c.mode;
    EXPECT_EQ(y, c.ey) << c.x << "," << c.y << " mode " << c.mode;
  }
  stdRect a{240, 0, 1440, 1080}, b{320, 0, 1280, 1080};
  drevOverlay_ScreenToGameRect(&a, 0);
  drevOverlay_ScreenToGameRect(&b, 0);
  EXPECT_EQ((std::vector<int>{a.x, a.y, a.width, a.height}), (std::vector<int>{0, 0, 640, 480}));
  EXPECT_EQ((std::vector<int>{b.x, b.y, b.width, b.height}), (std::vector<int>{35, 0, 568, 480}));
  drevOverlay_GameToScreenRect(&a, 0);
  EXPECT_EQ((std::vector<int>{a.x, a.y, a.width, a.height}),
            (std::vector<int>{240, 0, 1440, 1080}));
}

TEST(OverlayFades, StepToward) {
  float v = 0.5f;
  EXPECT_EQ(drevOverlay_StepToward(&v, 1.0f, 0.1f), 0);
  EXPECT_FLOAT_EQ(v, 0.6f);
  v = 0.9f;  // within 1.5 steps: lands on the target
  EXPECT_EQ(drevOverlay_StepToward(&v, 1.0f, 0.1f), 1);
  EXPECT_EQ(v, 1.0f);
}

TEST_F(Overlays, TheTableHoldsAtMost1023AndReusesIdsModulo1024) {
  for (int i = 0; i < 1023; ++i) ASSERT_EQ(Create(nullptr), i);
  EXPECT_EQ(Create(nullptr), -1) << "the 1024th overlay";
  EXPECT_EQ(m_->overlayCount, 1023);
  drevOverlay_Manager_DestroyOverlay(m_, 5);
  EXPECT_EQ(m_->overlays[5].id, 6) << "later entries move down";
  EXPECT_EQ(Create(nullptr), 1023);
  drevOverlay_Manager_DestroyOverlay(m_, 7);
  EXPECT_EQ(Create(nullptr), 5) << "ids wrap and skip those in use";
}

TEST_F(Overlays, FadeState3DestroysAfter18DrawsAndTheNextIsStillDrawn) {
  const int fading = Create("missing.png", 3);
  const int next = Create("missing.png", 3);
  const int other = Create("missing.png", 4);
  drevOverlay_Manager_FindOverlay(m_, fading)->fadeState = 3;
  drevOverlay_Manager_FindOverlay(m_, next)->fadeState = 2;
  drevOverlay_Manager_FindOverlay(m_, other)->fadeState = 2;
  for (int pass = 1; pass <= 17; ++pass) drevOverlay_DrawLayer(3, 0);
  ASSERT_NE(drevOverlay_Manager_FindOverlay(m_, fading), nullptr);
  drevOverlay_DrawLayer(3, 0);
  EXPECT_EQ(drevOverlay_Manager_FindOverlay(m_, fading), nullptr) << "gone after 18 draws";
  const OverlayEntry* e = drevOverlay_Manager_FindOverlay(m_, next);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->multiply, 0.0f) << "the entry that moved up faded in the same pass";
  EXPECT_EQ(e->fadeState, 0);
  EXPECT_EQ(drevOverlay_Manager_FindOverlay(m_, other)->multiply, 1.0f) << "other layer untouched";
  EXPECT_EQ(m_->images[0]->loadable, 0) << "a PNG that does not load is not tried again";
}

TEST_F(Overlays, DimAndUndimMoveMultiplyThenDesaturate) {
  const int id = Create("missing.png", 1);
  OverlayEntry* e = drevOverlay_Manager_FindOverlay(m_, id);
  e->fadeState = 5;
  int passes = 0;
  while (e->fadeState == 5 && passes < 100) {
    drevOverlay_DrawLayer(1, 0);
    ++passes;
  }
  EXPECT_FLOAT_EQ(e->multiply, 0.7f);
  EXPECT_FLOAT_EQ(e->desaturate, 0.6f);
  // 18 steps of 1/60; the one that reaches 0.7 also takes the first of the 18 of 1/30.
  EXPECT_EQ(passes, 18 + 17);
  e->fadeState = 6;
  while (e->fadeState == 6 && passes < 200) {
    drevOverlay_DrawLayer(1, 0);
    ++passes;
  }
  EXPECT_EQ(e->multiply, 1.0f);
  EXPECT_EQ(e->desaturate, 0.0f);
}

TEST_F(Overlays, ImagesAreSharedCountedAndEvicted) {
  const int a = Create("shared.png"), b = Create("shared.png");
  ASSERT_EQ(m_->imageCount, 1);
  OverlayImage* image = m_->images[0];
  EXPECT_EQ(image->useCount, 2);
  EXPECT_EQ(image->lastUse, b);
  drevOverlay_Manager_DestroyOverlay(m_, a);
  EXPECT_EQ(image->useCount, 1);

  // Fill the cache to 128: pinned images are never evicted.
  for (int i = 1; i < OVERLAY_MAX_IMAGES; ++i) {
    OverlayImage* pinned =
        drevOverlay_Manager_FindOrAddImage(m_, ("p" + std::to_string(i)).c_str());
    ASSERT_NE(pinned, nullptr);
    pinned->cache = 1;
  }
  EXPECT_EQ(drevOverlay_Manager_FindOrAddImage(m_, "one-more"), nullptr) << "all pinned or used";
  EXPECT_EQ(m_->imageCount, OVERLAY_MAX_IMAGES);
  // Two unused, unpinned images: the one least recently used goes.
  m_->images[5]->cache = 0;
  m_->images[5]->lastUse = 40;
  m_->images[9]->cache = 0;
  m_->images[9]->lastUse = 30;
  OverlayImage* fresh = drevOverlay_Manager_FindOrAddImage(m_, "one-more");
  EXPECT_EQ(fresh, m_->images[9]);
  EXPECT_STREQ(fresh->name, "one-more");
  EXPECT_EQ(fresh->loadable, 1);
  EXPECT_EQ(drevOverlay_Manager_FindOrAddImage(m_, "one-more"), fresh) << "found by name";
}

TEST_F(Overlays, LongNamesAreCutAndUnknownTypesAreNotLoaded) {
  const std::string longName(200, 'n');
  OverlayImage* image = drevOverlay_Manager_FindOrAddImage(m_, longName.c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::strlen(image->name), 127u);
  OverlayImage* bmp = drevOverlay_Manager_FindOrAddImage(m_, "picture.bmp");
  OverlayImage_Load(bmp);
  EXPECT_EQ(bmp->texture, nullptr);
  EXPECT_EQ(bmp->loadable, 0);
}

TEST(OverlayMosaic, TilesCoverTheImageOnce) {
  uint32_t pixels[10 * 32];
  const std::string zeros = std::string(60, '0') + ".save";
  drevOverlay_PaintMosaic(zeros.c_str(), pixels, 32);
  for (uint32_t p : pixels) ASSERT_EQ(p, 0xCC000000u);
  // One tile at a time: every pixel belongs to exactly one of the 60 tiles.
  std::vector<int> covered(10 * 32, 0);
  for (int tile = 0; tile < 60; ++tile) {
    std::string name(60, '1');
    name[static_cast<size_t>(tile)] = '0';
    name += ".save";
    drevOverlay_PaintMosaic(name.c_str(), pixels, 32);
    int inked = 0;
    for (int i = 0; i < 320; ++i) {
      if (pixels[i]) {
        ++covered[static_cast<size_t>(i)];
        ++inked;
      }
    }
    EXPECT_GT(inked, 0) << tile;
  }
  for (int c : covered) ASSERT_EQ(c, 1);
  drevOverlay_PaintMosaic("0.save", pixels, 32);  // "." and beyond: transparent
  EXPECT_EQ(pixels[0], 0xCC000000u);
  EXPECT_EQ(pixels[32 + 2], 0u) << "tile 1 is the '.'";
}

TEST_F(Overlays, SaveAndRestoreTheTables) {
  const int a = Create("one.png", 3);
  Create(nullptr, 2);
  const int c = Create("two.png", 7);
  OverlayEntry* e = drevOverlay_Manager_FindOverlay(m_, c);
  e->multiply = 0.25f;
  e->desaturate = 0.5f;
  e->mirror = 3;
  e->flags = -1;
  m_->images[0]->cache = 1;
  g_block.clear();
  ASSERT_EQ(drevOverlay_Save(Write), 0);
  EXPECT_EQ(g_block.size(), 12u + 24 + 2 * (128 + 16) + 24 + 3 * (4 + 52) + 12);

  drevOverlay_Manager_DestroyOverlay(m_, a);
  Create("three.png");
  g_at = 0;
  ASSERT_EQ(drevOverlay_Restore(Read), 0);
  EXPECT_EQ(g_at, g_block.size());
  ASSERT_EQ(m_->overlayCount, 3);
  ASSERT_EQ(m_->imageCount, 2);
  EXPECT_STREQ(m_->overlays[0].image->name, "one.png");
  EXPECT_EQ(m_->overlays[0].image->cache, 1);
  EXPECT_EQ(m_->overlays[1].image, nullptr);
  const OverlayEntry& r = m_->overlays[2];
  EXPECT_EQ(r.id, c);
  EXPECT_EQ(r.layer, 7);
  EXPECT_EQ(r.multiply, 0.25f);
  EXPECT_EQ(r.desaturate, 0.5f);
  EXPECT_EQ(r.mirror, 3);
  EXPECT_EQ(r.flags, 0) << "a flags word of -1 comes back as 0";
  EXPECT_EQ(Create(nullptr), c + 1) << "the last id is restored";
}

TEST_F(Overlays, RestoreRefusesBadBlocks) {
  Create("one.png");
  g_block.clear();
  ASSERT_EQ(drevOverlay_Save(Write), 0);
  const std::vector<uint8_t> good = g_block;
  const size_t overlayRecord = 12 + 24 + 144 + 24;
  const size_t useCount = 12 + 24 + 128 + 4;
  struct Case {
    const char* what;
    size_t at;
    int32_t value;
  } const cases[] = {
      {"1024 overlays", 0, 1024},
      {"129 images", 4, 129},
      {"image index outside the table", overlayRecord, 1},
      {"id outside 0..1023", overlayRecord + 4, 1024},
      {"negative id", overlayRecord + 4, -1},
      // More than the overlay table holds, up or down.
      {"use count at the bottom of its range", useCount, INT32_MIN},
      {"use count past the overlay table", useCount, OVERLAY_TABLE_SIZE + 1},
  };
  for (const Case& c : cases) {
    g_block = good;
    std::memcpy(&g_block[c.at], &c.value, 4);
    g_at = 0;
    EXPECT_EQ(drevOverlay_Restore(Read), 1) << c.what;
    EXPECT_EQ(m_->overlayCount, 0) << c.what;
    EXPECT_EQ(m_->imageCount, 0) << c.what;
  }
  for (size_t cut : {size_t{0}, size_t{11}, size_t{40}, good.size() - 1}) {
    g_block.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    g_at = 0;
    EXPECT_EQ(drevOverlay_Restore(Read), 1) << cut;
  }
  // A count below the overlays showing the image is raised to them: the image
  // stays while it is shown. A pinned image keeps its count (the mouse shows
  // its cursors uncounted).
  const size_t cache = useCount + 8;
  for (int32_t pinned : {0, 1}) {
    g_block = good;
    const int32_t zero = 0;
    std::memcpy(&g_block[useCount], &zero, 4);
    std::memcpy(&g_block[cache], &pinned, 4);
    g_at = 0;
    ASSERT_EQ(drevOverlay_Restore(Read), 0) << pinned;
    EXPECT_EQ(m_->images[0]->useCount, pinned ? 0 : 1) << pinned;
  }
  g_block = good;
  std::memset(&g_block[12 + 24], 'x', 128);  // an unterminated name is cut
  g_at = 0;
  ASSERT_EQ(drevOverlay_Restore(Read), 0);
  EXPECT_EQ(std::strlen(m_->images[0]->name), 127u);
}

TEST_F(Overlays, ScriptFunctions) {
  ASSERT_EQ(0, Run("id = OverlayCreate('a.png', 5, 6, {layer = 3, coords = 0, width = 40, "
                   "clear_buffer = 1, mirrormode = 2, cache = 'no'})\n"
                   "none = OverlayCreate(12, 5, 6)\n"
                   "w, h = OverlayDimensions(id)\n"
                   "w0, h0 = OverlayDimensions(999)\n"
                   "OverlayMove(id, 50, 60)\n"
                   "OverlaySetLayer(id, 9)\n"
                   "OverlayFade(id, 4, 0.5)\n"
                   "f = WidescreenCorrectionFactor()\n"
                   "OverlayDestroy(nil)\n"));
  const int id = static_cast<int>(Number("id"));
  EXPECT_EQ(Number("none"), -1.0f);
  const OverlayEntry* e = drevOverlay_Manager_FindOverlay(m_, id);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->coords, 0);
  EXPECT_EQ(e->width, 40);
  EXPECT_EQ(e->height, -1);
  EXPECT_EQ(e->flags, 1);
  EXPECT_EQ(e->mirror, 2);
  EXPECT_EQ(e->image->cache, 0) << "a non-number option is ignored";
  EXPECT_EQ(Number("w"), 40.0f);
  EXPECT_EQ(Number("h"), 0.0f) << "the image did not load: its height is 0";
  EXPECT_EQ(Number("w0"), 0.0f);
  EXPECT_EQ(e->x, 50);
  EXPECT_EQ(e->y, 60);
  EXPECT_EQ(e->layer, 9);
  EXPECT_EQ(e->fadeState, 4);
  EXPECT_EQ(e->multiply, 0.5f);
  EXPECT_EQ(Number("f"), 1.0f);
  ASSERT_EQ(0, Run("OverlayFade(id, 1)\nOverlayDestroy(id)\n"));
  EXPECT_EQ(drevOverlay_Manager_FindOverlay(m_, id), nullptr);
}

}  // namespace
