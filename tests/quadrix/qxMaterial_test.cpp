// Materials: the MAT reader and writer, the hooks, and what the render hooks hear.
#include "quadrix/qxMaterial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/kv_RenderHooks.h"
#include "qxAssetFiles.h"
#include "qxTestLibrary.h"

namespace {

struct Announced {
  void* texture;
  std::string name;
  int cel;
};
std::vector<Announced> g_announced;
std::vector<void*> g_freed;

void RecordLoaded(void* texture, const char* name, int cel) {
  g_announced.push_back({texture, name, cel});
}
int RecordFreed(void* pixels) {
  g_freed.push_back(pixels);
  return 1;
}

class QxMaterial : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    kv_RenderHooks_ResetForTest();
    table_.MaterialLoaded = RecordLoaded;
    table_.SurfaceFreed = RecordFreed;
    kv_RenderHooks_Register(&table_);
    g_announced.clear();
    g_freed.clear();
  }
  void TearDown() override { kv_RenderHooks_ResetForTest(); }

  static qxMaterial* LoadBytes(const std::string& bytes, const char* path = "test.mat") {
    PutFile(path, bytes);
    return qxMaterial_Load(path, 0, 0);
  }

  RenderHookTable table_{};
};

TEST_F(QxMaterial, TwoLevelMaterialLoads) {
  std::filesystem::create_directories("sub/dir");
  qxMaterial* m = LoadBytes(MatBuild(MatTwoLevel()), "sub/dir/wall.mat");
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->name, "wall.mat");
  EXPECT_EQ(m->flags, 2u);
  EXPECT_EQ(m->useCount, 0);
  EXPECT_EQ(m->format.bitsPerPixel, 16);
  EXPECT_EQ(m->format.greenBits, 6);
  ASSERT_EQ(m->celCount, 2u);
  EXPECT_EQ(m->currentCel, 0);
  ASSERT_EQ(m->textureCount, 1u);
  const qxMaterialTexture& t = m->textures[0];
  EXPECT_EQ(m->cels[0]->texture, &t);
  EXPECT_EQ(m->cels[0]->textureValue, 77);
  EXPECT_EQ(m->cels[0]->values[2], 0.75f);
  EXPECT_EQ(m->cels[1]->texture, nullptr);
  EXPECT_EQ(m->cels[1]->colour, 12);
  EXPECT_EQ(t.log2Width, 3);
  EXPECT_EQ(t.widthMask, 7);
  EXPECT_EQ(t.heightMask, 3);
  EXPECT_EQ(t.value, 5);
  ASSERT_EQ(t.mipCount, 2u);
  ASSERT_NE(t.mipLevels[1], nullptr);
  EXPECT_EQ(t.mipLevels[2], nullptr);
  EXPECT_EQ(t.mipLevels[1]->format.width, 4);
  EXPECT_EQ(t.mipLevels[1]->format.height, 2);
  EXPECT_EQ(t.mipLevels[1]->colorKey, 0xF81Fu);  // colour-keyed
  const auto* pixels = static_cast<const uint8_t*>(t.mipLevels[1]->pixels);
  for (size_t i = 0; i < 16; ++i) ASSERT_EQ(pixels[i], MatPixel(0, 1, i)) << i;

  // The hardware renderer hears of the texture by its level-0 pixels, the
  // path as given and the cel that shows it.
  ASSERT_EQ(g_announced.size(), 1u);
  EXPECT_EQ(g_announced[0].texture, t.mipLevels[0]->pixels);
  EXPECT_EQ(g_announced[0].name, "sub/dir/wall.mat");
  EXPECT_EQ(g_announced[0].cel, 0);

  void* level0 = t.mipLevels[0]->pixels;
  qxMaterial_Free(m);
  // Both levels and the record itself are announced as gone.
  EXPECT_EQ(std::count(g_freed.begin(), g_freed.end(), level0), 1);
  EXPECT_EQ(g_freed.size(), 3u);
  EXPECT_EQ(g_freed.back(), static_cast<void*>(m));
}

TEST_F(QxMaterial, LevelsHalveAndThePaletteIsSkipped) {
  Mat m;
  m.flags = 3;  // palette present
  m.cels = {{8, 0, 0, 0}};
  m.textures = {{64, 32, 0, 0, 0, 3}, {4, 4, 0, 0, 0, 1}};  // the second no cel shows
  qxMaterial* mat = LoadBytes(MatBuild(m));
  ASSERT_NE(mat, nullptr);
  const qxMaterialTexture& t = mat->textures[0];
  const int sizes[3][2] = {{64, 32}, {32, 16}, {16, 8}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(t.mipLevels[k]->format.width, sizes[k][0]);
    EXPECT_EQ(t.mipLevels[k]->format.height, sizes[k][1]);
    // The pixel blocks come in level order.
    EXPECT_EQ(static_cast<const uint8_t*>(t.mipLevels[k]->pixels)[3], MatPixel(0, k, 3));
  }
  ASSERT_EQ(g_announced.size(), 2u);
  EXPECT_EQ(g_announced[1].cel, -1);
  qxMaterial_Free(mat);
}

struct BadCase {
  const char* label;
  Mat mat;
  size_t cut;  // bytes cut off the end
};

TEST_F(QxMaterial, BadFilesAreRefused) {
  std::vector<BadCase> cases;
  auto add = [&](const char* label, auto change, size_t cut = 0) {
    Mat m = MatTwoLevel();
    change(m);
    cases.push_back({label, m, cut});
  };
  add("version 49", [](Mat& m) { m.version = 49; });
  add("17 cels", [](Mat& m) { m.cels.assign(17, MatCel{}); });
  add("cel count beyond the cels", [](Mat& m) { m.celCountOverride = 3; });
  add("5 mip levels", [](Mat& m) { m.textures[0] = {64, 64, 0, 0, 0, 5}; });
  add("texture index 256", [](Mat& m) { m.cels[0].textureIndex = 256; });
  add("texture index without a texture", [](Mat& m) { m.cels[0].textureIndex = 1; });
  add("negative texture index", [](Mat& m) { m.cels[0].textureIndex = -1; });
  add("width not a power of two", [](Mat& m) { m.textures[0].width = 6; });
  add("height halves to 0", [](Mat& m) { m.textures[0] = {8, 2, 0, 0, 0, 3}; });
  add("24-bit pixels of no whole size", [](Mat& m) { m.format[1] = 12; });
  add(
      "truncated pixels", [](Mat&) {}, 1);
  add(
      "truncated in the cels", [](Mat&) {}, 144);
  add(
      "truncated palette", [](Mat& m) { m.flags |= 1; }, 1);
  add(
      "header only", [](Mat&) {}, 168);
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::string bytes = MatBuild(c.mat);
    bytes.resize(bytes.size() - std::min(c.cut, bytes.size()));
    EXPECT_EQ(LoadBytes(bytes), nullptr);
  }
  EXPECT_EQ(qxMaterial_Load("missing.mat", 0, 0), nullptr);
  EXPECT_TRUE(g_announced.size() <= 2);  // only complete textures are ever announced
}

TEST_F(QxMaterial, UntexturedCelWithoutTextures) {
  Mat m;
  m.flags = 0;
  m.cels = {{0, 40, 0, 0}};
  qxMaterial* mat = LoadBytes(MatBuild(m));
  ASSERT_NE(mat, nullptr);
  EXPECT_EQ(mat->textures, nullptr);
  EXPECT_EQ(mat->textureCount, 0u);
  EXPECT_EQ(mat->cels[0]->colour, 40);
  EXPECT_TRUE(g_announced.empty());
  qxMaterial_Free(mat);
}

TEST_F(QxMaterial, WriterGivesBackTheFile) {
  const std::string original = MatBuild(MatTwoLevel());
  qxMaterial* m = LoadBytes(original);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(qxMaterial_Write("again.mat", m), 1);
  EXPECT_EQ(GetFile("again.mat"), original);
  // A palette flag is dropped on writing: the material keeps no palette.
  m->flags |= 1;
  ASSERT_EQ(qxMaterial_Write("again.mat", m), 1);
  qxMaterial* back = qxMaterial_Load("again.mat", 0, 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->flags, 2u);
  qxMaterial_Free(back);
  qxMaterial_Free(m);
}

TEST_F(QxMaterial, DeviceTexturesAreNeverUploaded) {
  qxMaterial* m = LoadBytes(MatBuild(MatTwoLevel()));
  ASSERT_NE(m, nullptr);
  qxMaterialTexture& t = m->textures[0];
  EXPECT_EQ(qxMaterial_PrepareDeviceTexture(&t, 0, 0), 0);  // the device loads nothing
  EXPECT_EQ(t.deviceSlots[0][0].loaded, 0);
  EXPECT_EQ(qxMaterial_PrepareDeviceTexture(&t, 2, 1), 0);  // no such level
  // A loaded slot is only marked used in the device's cache.
  t.deviceSlots[1][1].loaded = 1;
  EXPECT_EQ(qxMaterial_PrepareDeviceTexture(&t, 1, 7), 1);
  EXPECT_EQ(stdDevice3D_GetCacheHead(), &t.deviceSlots[1][1].texture);
  stdDevice3D_ResetForTest();
  qxMaterial_ResetDeviceTextures(m);
  EXPECT_EQ(t.deviceSlots[1][1].loaded, 0);
  EXPECT_EQ(t.deviceSlots[1][1].texture.linked, 0);
  qxMaterial_Free(m);
}

qxMaterial g_hooked;
int g_unloads = 0;
qxMaterial* HookLoad(const char* name, int, int) {
  return std::string(name) == "known" ? &g_hooked : nullptr;
}
void HookUnload(qxMaterial*) {
  ++g_unloads;
}

TEST_F(QxMaterial, HooksReplaceLoadingAndFreeing) {
  EXPECT_EQ(qxMaterial_SetLoader(HookLoad), nullptr);
  EXPECT_EQ(qxMaterial_SetUnloader(HookUnload), nullptr);
  EXPECT_EQ(qxMaterial_Load("known", 0, 0), &g_hooked);
  EXPECT_EQ(qxMaterial_Load("other", 0, 0), nullptr);
  qxMaterial_Free(&g_hooked);
  qxMaterial_Free(nullptr);
  EXPECT_EQ(g_unloads, 1);
  EXPECT_EQ(qxMaterial_SetLoader(nullptr), HookLoad);
  EXPECT_EQ(qxMaterial_SetUnloader(nullptr), HookUnload);
}

}  // namespace
