// The resource binding's 3D rows: colormaps, keyframes, materials (with the
// engine's material hooks and the "dflt.mat" default) and models, from
// loose files of a scanned folder and from the staged game folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../quadrix/qxAssetFiles.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "engine/drevResource.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

namespace {

class Resources3D : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    ASSERT_EQ(drevResource_Initialize(&hs_, &module_), 0);
    ASSERT_EQ(module_.startup(), 0);
    // The 3D library keeps the first record it is given: give it one that
    // lives on, holding this test's file operations (the resource layer's).
    static HostServices library;
    library = hs_;
    qxCore_Startup(&library);
    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    home_ = buffer;
    dir_ = home_ + "/res3d_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(home_.c_str()), 0);
    stdFileUtil_ForgetAllFolders();
    module_.shutdown();
    module_.uninitialize();
    std::filesystem::remove_all(dir_);
  }
  void Put(const std::string& name, const std::string& data) {
    const std::filesystem::path path = dir_ + "/" + name;
    std::filesystem::create_directories(path.parent_path());
    PutFile(path.string(), data);
  }
  void Scan() {
    Put("readme.txt", "a data directory holds at least one file");
    stdFileUtil_ForgetAllFolders();
    ASSERT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);
  }
  static uint32_t SizeOf(const void* object) {
    const ResourceRecord* r = Res_RecordOf(object);
    return r ? r->size : 0;
  }
  static bool IsLocked(const void* object) {
    const ResourceRecord* r = Res_RecordOf(object);
    return r && (r->flags & kResFlagLocked);
  }

  HostServices hs_;
  ModuleDescriptor module_{};
  std::string home_, dir_;
};

TEST_F(Resources3D, KeyframesPlayAtFifteenFramesPerSecond) {
  Put("Animation/walk.key", FyekBuild(FyekTwoNode()));  // says 30
  Scan();
  auto* k = static_cast<qxKeyframe*>(drevResource_Get("KEYF", "WALK.KEY"));
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->rate, 15.0f);
  EXPECT_EQ(SizeOf(k), 132u + (44 + 56) + (44 + 2 * 56));
  EXPECT_EQ(drevResource_Get("KEYF", "missing.key"), nullptr);
}

TEST_F(Resources3D, MissingMaterialsGetTheDefaultUnderTheirName) {
  Put("Materials/dflt.mat", MatBuild(MatTwoLevel()));
  Mat flat;
  flat.flags = 0;
  flat.cels = {{0, 9, 0, 0}};
  Put("Materials/flat.mat", MatBuild(flat));
  Scan();
  auto* own = static_cast<qxMaterial*>(drevResource_Get("MAT ", "flat.mat"));
  ASSERT_NE(own, nullptr);
  EXPECT_STREQ(own->name, "flat.mat");
  EXPECT_TRUE(IsLocked(own));
  auto* stand = static_cast<qxMaterial*>(drevResource_Get("MAT ", "gone.mat"));
  ASSERT_NE(stand, nullptr);
  EXPECT_STREQ(stand->name, "dflt.mat");
  EXPECT_EQ(stand->textureCount, 1u);
  // Asked again, the same object, without the disk.
  std::filesystem::remove(dir_ + "/Materials/dflt.mat");
  EXPECT_EQ(drevResource_Get("MAT ", "GONE.MAT"), stand);
  // Without the default a missing material is not registered.
  EXPECT_EQ(drevResource_Get("MAT ", "also_gone.mat"), nullptr);
  EXPECT_EQ(Res_Lookup(Res_Tag("MAT "), "also_gone.mat"), nullptr);
}

TEST_F(Resources3D, ModelsShareTheirMaterialsThroughTheHooks) {
  Put("Materials/tex.mat", MatBuild(MatTwoLevel()));
  Put("Models/cube.3do", LdomBuild(LdomCube(true)));
  Put("Models/cube2.3do", LdomBuild(LdomCube(true)));
  Scan();
  auto* a = static_cast<qxModel3*>(drevResource_Get("MODL", "cube.3do"));
  auto* b = static_cast<qxModel3*>(drevResource_Get("MODL", "cube2.3do"));
  ASSERT_TRUE(a && b);
  auto* material = static_cast<qxMaterial*>(drevResource_Get("MAT ", "tex.mat"));
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(a->materials[0], material);
  EXPECT_EQ(b->materials[0], material);
  EXPECT_EQ(material->useCount, 2);
  EXPECT_EQ(a->geosets[0].meshes[0].faces[0].material, material);
  // Purging frees the unreferenced models, which give their uses back; the
  // material, then unlocked, goes too.
  uint32_t freed = 0;
  Res_PurgeUnreferenced(0xFFFFFFFFu, &freed);
  EXPECT_EQ(Res_Lookup(Res_Tag("MODL"), "cube.3do"), nullptr);
  EXPECT_EQ(Res_Lookup(Res_Tag("MAT "), "tex.mat"), nullptr);
  EXPECT_EQ(drevResource_Get("MODL", "missing.3do"), nullptr);
}

TEST_F(Resources3D, ColormapsAndTheirBudget) {
  std::vector<uint8_t> palette = CmpPalette();
  Put("Colormaps/c.cmp", CmpBuild(4, palette));
  Put("Colormaps/bad.cmp", "not a colormap");
  Scan();
  auto* c = static_cast<qxColormap*>(drevResource_Get("CMAP", "c.cmp"));
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->lightTable16, nullptr);
  EXPECT_EQ(c->lightTable16[63 * 256 + 100], ((251 >> 3) << 11) | ((251 >> 2) << 5) | (251 >> 3));
  EXPECT_EQ(SizeOf(c), 848u + 32768u);
  c->lightTable16[63 * 256 + 100] = 0;
  drevResource_ReloadColormaps();
  EXPECT_NE(c->lightTable16[63 * 256 + 100], 0);
  auto* grey = static_cast<qxColormap*>(drevResource_Get("CMAP", "bad.cmp"));
  ASSERT_NE(grey, nullptr);
  EXPECT_STREQ(grey->name, "GREYRAMP.CMP");
  EXPECT_EQ(SizeOf(grey), 848u + 16640u);
  // A colormap made current and then freed by the manager leaves no pointer.
  qxColormap_SetCurrent(c);
  Res_FreeAll();
  EXPECT_EQ(qxCore_pCurrentColormap, nullptr);
  EXPECT_EQ(qxCore_pDisplayColormap, nullptr);
}

// The demo game's 3D assets, found in the staged game folder by the scan.
TEST_F(Resources3D, DemoAssetsFromTheStagedGameFolder) {
  const char* game = std::getenv("VQ_GAME_DIR");
  ASSERT_NE(game, nullptr);
  ASSERT_EQ(chdir(game), 0);
  stdFileUtil_ForgetAllFolders();
  ASSERT_EQ(drevResource_ScanDataDirectories(), 1);

  auto* colormap = static_cast<qxColormap*>(drevResource_Get("CMAP", "dfltcmp.cmp"));
  ASSERT_NE(colormap, nullptr);
  EXPECT_STREQ(colormap->name, "dfltcmp.cmp");
  EXPECT_NE(colormap->translucencyTable, nullptr);
  EXPECT_NE(colormap->inverseTable, nullptr);
  EXPECT_NE(colormap->lightTable16, nullptr);

  auto* model = static_cast<qxModel3*>(drevResource_Get("MODL", "demo_crate.3do"));
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->nodeCount, 2);
  qxModel3Node* lid = qxModel3_FindNode("CRATE_LID", model);
  ASSERT_NE(lid, nullptr);
  EXPECT_EQ(lid->parent, &model->nodes[0]);
  EXPECT_EQ(model->nodes[0].child, lid);
  EXPECT_EQ(lid->depth, 1);
  ASSERT_EQ(model->materialCount, 1u);
  const qxMaterial* wood = model->materials[0];
  ASSERT_NE(wood, nullptr);
  EXPECT_STREQ(wood->name, "demo_crate.mat");  // its own file, not the default
  EXPECT_EQ(wood->flags & QXMATERIAL_TEXTURED, uint32_t{QXMATERIAL_TEXTURED});
  EXPECT_EQ(wood->textures[0].mipCount, 3u);
  EXPECT_EQ(wood->useCount, 1);
  EXPECT_NEAR(model->boxMax.z, 0.9f, 1e-3f);  // the lid rests on the body
  EXPECT_NE(model->geosets[0].meshes[0].shadowBox, nullptr);

  auto* material = static_cast<qxMaterial*>(drevResource_Get("MAT ", "dflt.mat"));
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(material->textures[0].widthMask, 15);

  auto* keyframe = static_cast<qxKeyframe*>(drevResource_Get("KEYF", "demo_crate_open.key"));
  ASSERT_NE(keyframe, nullptr);
  EXPECT_EQ(keyframe->rate, 15.0f);
  ASSERT_EQ(keyframe->nodeCount, 2);
  EXPECT_EQ(keyframe->nodes[0].entryCount, 0);
  EXPECT_STREQ(keyframe->nodes[1].meshName, "crate_lid");
  ASSERT_EQ(keyframe->nodes[1].entryCount, 2);
  EXPECT_GT(keyframe->nodes[1].entries[1].position.z, keyframe->nodes[1].entries[0].position.z);
  EXPECT_EQ(keyframe->markerCount, 1);
}

}  // namespace
