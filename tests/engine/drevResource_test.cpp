// The resource binding: module, handlers, budget and the data-directory scan.
#include "engine/drevResource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../std/ImageTestSupport.h"
#include "LabnWriter.h"
#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "melos/Sounds.h"
#include "presentation/TextFont.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdBmp.h"
#include "std/stdFileUtil.h"

namespace {

constexpr uint32_t kTest = Res_Tag("TEST");

struct Sized {
  uint32_t size;
};
int SizedHandler(ResourceRequest* r) {
  switch (r->operation) {
    case kResOpLoad: {
      const char* colon = std::strchr(r->name, ':');
      auto* object = new Sized{colon ? static_cast<uint32_t>(std::atoi(colon + 1)) : 1};
      const int status = Res_Add(r->tag, r->name, object);
      if (status != kResLoaded) delete object;
      return status;
    }
    case kResOpFree:
      delete static_cast<Sized*>(r->object);
      return 1;
    case kResOpSize:
      r->size = static_cast<Sized*>(r->object)->size;
      return 1;
  }
  return 0;
}

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    platformOpen_ = hs_.fileOpen;
    ASSERT_EQ(drevResource_Initialize(&hs_, &module_), 0);
    EXPECT_EQ(module_.save, Res_Save);
    EXPECT_EQ(module_.restore, Res_Restore);
    EXPECT_EQ(module_.pause, nullptr);
    ASSERT_EQ(module_.startup(), 0);
    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    home_ = buffer;
    dir_ = home_ + "/bind_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(home_.c_str()), 0);
    stdFileUtil_ForgetAllFolders();
    module_.shutdown();
    EXPECT_EQ(hs_.fileOpen, platformOpen_);
    module_.uninitialize();
    drevResource_SetBudget(kResourceDefaultBudget, kResourceDefaultPurge);
    drevResource_SetRestoring(0);
    drevResource_SetDataPath(nullptr);
    std::filesystem::remove_all(dir_);
  }
  void Put(const std::string& name, const std::string& data) {
    const std::filesystem::path path = dir_ + "/" + name;
    std::filesystem::create_directories(path.parent_path());
    WriteWhole(path.string(), data);
  }
  std::string ReadAll(const char* name) {
    const stdFile_t f = hs_.fileOpen(name, "rb");
    if (!f) return "<none>";
    std::string out;
    char buffer[256];
    for (size_t n; (n = hs_.fileRead(f, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    hs_.fileClose(f);
    return out;
  }
  std::vector<std::string> PackOrder() {
    std::vector<std::string> order;
    for (int i = 0; const char* path = Res_PackPathAt(i); ++i) {
      std::string p(path);
      order.push_back(p.rfind(dir_, 0) == 0 ? p.substr(dir_.size()) : p);
    }
    return order;
  }

  HostServices hs_;
  ModuleDescriptor module_{};
  stdFile_t (*platformOpen_)(const char*, const char*) = nullptr;
  std::string home_, dir_;
};

TEST_F(Binding, StartupInstallsTheFileServicesAndHandlers) {
  EXPECT_EQ(hs_.fileOpen, Res_FileOpen);
  EXPECT_EQ(hs_.fileSize, Res_FileSizeByName);
  EXPECT_EQ(Res_RegisterHandler(Res_Tag("COST"), SizedHandler), kResHandlerExists);
  // Names that lie in no data folder, sounds and memory blocks: nothing by name.
  for (const char* tag : {"CMAP", "KEYF", "MAT ", "MODL", "SET ", "SND ", "SYNC", "ZBUF", "MEM "}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(drevResource_Get(tag, "anything.bin"), nullptr);
  }
  // A font is a record without glyphs whatever the name: no file is read.
  ASSERT_EQ(TextFont_Initialize(&hs_, nullptr), 0);
  void* font = drevResource_Get("FONT", "anything.laf");
  EXPECT_NE(font, nullptr);
  EXPECT_EQ(drevResource_Get("FONT", "ANYTHING.LAF"), font);
  Res_FreeAll();
  TextFont_Uninitialize();
}

// The demo game's 24-bit BMP, found in the staged game folder's Backgrounds
// folder by the scan and loaded through the background handler.
TEST_F(Binding, BackgroundFromTheStagedGameFolder) {
  const char* game = std::getenv("VQ_GAME_DIR");
  ASSERT_NE(game, nullptr);
  ASSERT_EQ(chdir(game), 0);
  stdFileUtil_ForgetAllFolders();
  ASSERT_EQ(drevResource_ScanDataDirectories(), 1);
  auto* bm = static_cast<Bitmap*>(drevResource_Get("BKND", "yard_evening.bmp"));
  ASSERT_NE(bm, nullptr);
  EXPECT_STREQ(bm->name, "yard_evening.bmp");
  ASSERT_EQ(bm->frameCount, 1);
  const DisplayBuffer* frame = bm->frames[0];
  EXPECT_EQ(frame->format.width, 640);
  EXPECT_EQ(frame->format.height, 480);
  EXPECT_EQ(frame->format.format.bitsPerPixel, 24);
  EXPECT_EQ(frame->colorKey, 0xF81Fu);  // magenta in RGB565 for raw RGB pictures
  // The writer's sky starts at (30, 40, 120) on the top row; grass at the bottom.
  const auto* top = static_cast<const uint8_t*>(frame->pixels);
  EXPECT_EQ(top[0], 30);
  EXPECT_EQ(top[1], 40);
  EXPECT_EQ(top[2], 120);
  const uint8_t* bottom = top + static_cast<size_t>(479) * frame->format.bytesPerRow;
  EXPECT_EQ(bottom[1] >= 110, true);
  EXPECT_EQ(bottom[2], 40);
  // Fetched again: the same object.
  EXPECT_EQ(drevResource_Get("BKND", "YARD_EVENING.BMP"), bm);
  EXPECT_EQ(drevResource_Get("BKND", "missing.bmp"), nullptr);
}

// After a display change the resident bitmap, which holders point at, takes
// the file's pixels again and its colour keys; a file that no longer loads
// leaves the pixels as they were.
TEST_F(Binding, BackgroundsAreReloadedIntoTheResidentBitmap) {
  const std::string path = dir_ + "/Backgrounds/wall.bmp";
  std::filesystem::create_directories(dir_ + "/Backgrounds");
  auto save = [&](uint8_t red) {
    Bitmap* bm = imagetest::MakeBitmap(2, 1, 24, {red, 2, 3, 4, 5, 6});
    ASSERT_EQ(stdBmp_Save(path.c_str(), bm), 1);
    stdBitmap_Free(bm);
  };
  save(10);
  Put("readme.txt", "a data directory holds at least one file");
  ASSERT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);
  auto* bm = static_cast<Bitmap*>(drevResource_Get("BKND", "wall.bmp"));
  ASSERT_NE(bm, nullptr);
  bm->colorKey = 0;
  save(200);
  drevResource_ReloadBackgrounds();
  EXPECT_EQ(drevResource_Get("BKND", "wall.bmp"), bm);
  ASSERT_EQ(bm->frameCount, 1);
  EXPECT_EQ(static_cast<const uint8_t*>(bm->frames[0]->pixels)[0], 200);
  EXPECT_EQ(bm->colorKey, 0xF81Fu);
  EXPECT_EQ(bm->frames[0]->colorKey, 0xF81Fu);

  std::filesystem::remove(path);
  drevResource_ReloadBackgrounds();
  ASSERT_EQ(bm->frameCount, 1);
  EXPECT_EQ(static_cast<const uint8_t*>(bm->frames[0]->pixels)[0], 200);
  Res_FreeAll();
}

// Backgrounds written by other tools load through the resource layer with
// the pixels a second decoder gives.
TEST_F(Binding, BackgroundsFromOtherToolsKeepTheirPixels) {
  std::filesystem::create_directories(dir_ + "/Backgrounds");
  for (const imagetest::OtherToolImage& image : imagetest::kOtherToolImages) {
    std::filesystem::copy_file(imagetest::OtherToolImagePath(image),
                               dir_ + "/Backgrounds/" + image.file);
  }
  Put("readme.txt", "a data directory holds at least one file");
  ASSERT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);
  for (const imagetest::OtherToolImage& image : imagetest::kOtherToolImages) {
    auto* bm = static_cast<Bitmap*>(drevResource_Get("BKND", image.file));
    ASSERT_NE(bm, nullptr) << image.file;
    EXPECT_EQ(imagetest::RgbCrc(bm, image.width, image.height), image.rgbCrc) << image.file;
  }
  Res_FreeAll();
}

TEST_F(Binding, LipSyncDataLoadsThroughTheMusicHost) {
  const std::string sync("SYNC\0\0\0\1\x02\x01\x10\x00", 12);
  Put("talk.lab", LabnBuild({{"talk.syn", sync}}));
  ASSERT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);
  const auto* record = static_cast<SoundFileRecord*>(drevResource_Get("SYNC", "talk.syn"));
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(record->name, "talk.syn");
  ASSERT_EQ(record->size, 12u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record->data), 12), sync);
  EXPECT_EQ(drevResource_Get("SYNC", "missing.syn"), nullptr);
  Res_FreeAll();
}

TEST_F(Binding, ScanOrdersThePacksAndDebugFoldersShadow) {
  Put("base.lab", LabnBuild({{"_system.lua", "-- boot from the archive"}, {"room.set", "lab"}}));
  Put("extra.LAB", LabnBuild({{"room.set", "extra lab"}}));
  Put("readme.txt", "loose");
  Put("sets/room.set", "sets");  // folder names in any case
  Put("DEBUG_SETS/ROOM.SET", "debug");
  Put("imageshd/Concepts/a.png", "png");
  Put("Other/ignored.txt", "x");
  Put("extra/Scripts/more.lua", "extra");
  Put("extra/notes.txt", "extra notes");
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  stdFileUtil_ForgetAllFolders();
  drevResource_SetDataPath((dir_ + "/extra").c_str());
  EXPECT_EQ(drevResource_ScanDataDirectories(), 1);
  const std::vector<std::string> order = PackOrder();
  ASSERT_EQ(order.size(), 8u);
  EXPECT_EQ(order[0], "/extra/Scripts/");
  EXPECT_EQ(order[1], "/extra/");
  EXPECT_EQ(order[2], "/DEBUG_SETS/");
  EXPECT_EQ(order[3], "/imageshd/Concepts/");
  EXPECT_EQ(order[4], "/sets/");
  EXPECT_EQ(order[5], "/");
  // The archives, the last one found first.
  EXPECT_TRUE((order[6] == "/extra.LAB" && order[7] == "/base.lab") ||
              (order[6] == "/base.lab" && order[7] == "/extra.LAB"));
  EXPECT_EQ(ReadAll("ROOM.SET"), "debug");
  EXPECT_EQ(ReadAll("_system.lua"), "-- boot from the archive");
  EXPECT_EQ(ReadAll("more.lua"), "extra");
  EXPECT_EQ(ReadAll("A.PNG"), "png");
  EXPECT_EQ(ReadAll("ignored.txt"), "<none>");
  EXPECT_EQ(drevResource_DetachPacks(), 1);
  EXPECT_EQ(Res_PackCount(), 0);
}

TEST_F(Binding, AnEmptyDirectoryFailsButKeepsItsArchives) {
  Put("only.lab", LabnBuild({{"x.txt", "x"}}));
  EXPECT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);  // the archive is a file
  Res_ClosePacks();
  std::filesystem::create_directories(dir_ + "/empty");
  EXPECT_EQ(drevResource_ScanDirectory((dir_ + "/empty").c_str()), 0);
  EXPECT_EQ(Res_PackCount(), 0);
}

// The -p folder is the player's host path: it may lead out of the current
// folder, which a data name never may.
TEST_F(Binding, ACommandLineFolderMayClimbOutOfTheCurrentOne) {
  Put("game/placeholder.txt", "x");
  Put("outside/Boot.LAB", LabnBuild({{"_system.lua", "-- from beside the game"}}));
  ASSERT_EQ(chdir((dir_ + "/game").c_str()), 0);
  stdFileUtil_ForgetAllFolders();
  EXPECT_EQ(drevResource_ScanDirectory("../outside"), 1);
  EXPECT_EQ(ReadAll("_system.lua"), "-- from beside the game");
  EXPECT_EQ(ReadAll("..\\outside\\Boot.LAB"), "<none>");
}

TEST_F(Binding, BudgetNeverFreesTheFetchedResourceNorPurgesWhileRestoring) {
  ASSERT_EQ(Res_RegisterHandler(kTest, SizedHandler), kResLoaded);
  ASSERT_NE(drevResource_Get("TEST", "a:100"), nullptr);
  drevResource_SetBudget(1, 100);  // the tracked memory is always above one byte
  drevResource_SetRestoring(1);
  void* b = drevResource_Get("TEST", "b:100");
  ASSERT_NE(b, nullptr);
  EXPECT_NE(Res_FindObject(kTest, "a:100"), nullptr);  // no purge while restoring
  drevResource_SetRestoring(0);
  void* c = drevResource_Get("TEST", "c:100");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Res_FindObject(kTest, "c:100"), c);
  EXPECT_EQ(Res_RefCount(c), 0);                       // the temporary reference is gone again
  EXPECT_EQ(Res_FindObject(kTest, "a:100"), nullptr);  // least recently used went first
  EXPECT_EQ(Res_FindObject(kTest, "b:100"), b);        // the purge amount was reached
  int64_t limit = 0, purge = 0;
  drevResource_SetBudget(0, 0);
  drevResource_GetBudget(&limit, &purge);
  EXPECT_EQ(limit, 1);
  EXPECT_EQ(purge, 100);
}

TEST_F(Binding, UnreferencedCostumesStayOutOfASave) {
  CosModuleDescriptor cos{};
  ASSERT_EQ(Cos_Initialize(&hs_, &cos), 0);
  ASSERT_EQ(cos.startup(), 0);
  CosTagCallbacks callbacks{};
  callbacks.addComponent = [](CosCostumeHandle c, uint32_t code, uintptr_t parentHash,
                              uint32_t parentCode, const char* name) {
    static uintptr_t hash = 1;
    return Cos_RegisterComponent(c, name, hash++, code, parentHash, parentCode, nullptr);
  };
  callbacks.freeComponent = [](CosCostumeHandle, uint32_t, uintptr_t) { return 1; };
  ASSERT_EQ(Cos_NewIntTag(Cos_MakeCode("TKEY"), "test key", 0, &callbacks, 1), 1);
  const char* costume =
      "costume v0.1\n"
      "section tags\n\tnumtags 1\n\t0\t'TKEY'\tint\t\ttest key\n"
      "section components\n\tnumcomponents 1\n\t0\t0\t0\t-1\tthing\n"
      "section chores\n\tnumchores 0\n"
      "section keys\n";
  Put("costumes.lab", LabnBuild({{"held.cos", costume}, {"loose.cos", costume}}));
  ASSERT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);
  void* held = drevResource_Get("COST", "held.cos");
  void* loose = drevResource_Get("COST", "LOOSE.COS");
  ASSERT_NE(held, nullptr);
  ASSERT_NE(loose, nullptr);
  ResourceRef ref{};
  RES_ADDREF(&ref, held);
  static std::string block;
  block.clear();
  ASSERT_EQ(Cos_Save([](void* data, unsigned int length) {
              block.append(static_cast<const char*>(data), length);
              return 0;
            }),
            0);
  uint32_t saved = 0;
  ASSERT_GE(block.size(), 8u);
  std::memcpy(&saved, block.data() + 4, 4);
  EXPECT_EQ(saved, 1u);
  EXPECT_NE(block.find("held.cos"), std::string::npos);
  EXPECT_EQ(block.find("loose.cos"), std::string::npos);
  Res_ReleaseRef(&ref);
  Res_FreeAll();
  cos.shutdown();
  cos.uninitialize();
}

// The whole engine as the program starts it: the current directory and the -p
// directory are scanned, and the boot script is read from an archive.
TEST(EngineResources, ScansTheCurrentAndTheExtraDirectoryAtStart) {
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  const auto platformOpen = hs.fileOpen;
  char buffer[4096];
  ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
  const std::string home = buffer;
  const std::string game = home + "/engine_game";
  std::filesystem::remove_all(game);
  std::filesystem::create_directories(game + "/Extra");
  WriteWhole(game + "/demo.lab", LabnBuild({{"_system.lua", "-- boot"}, {"room.set", "game"}}));
  WriteWhole(game + "/Extra/room.set", "extra");
  drevMain_SetModuleTables(nullptr, nullptr);
  drevMain_ResetCalls();
  ModuleDescriptor engine{};
  ASSERT_EQ(drevMain_Initialize(&hs, &engine), 0);
  ASSERT_EQ(engine.startup(), 0);
  EXPECT_EQ(hs.fileOpen, Res_FileOpen);
  ASSERT_EQ(chdir(game.c_str()), 0);
  stdFileUtil_ForgetAllFolders();
  drevMain_SetDataPath((game + "/extra").c_str());  // any case
  drevMain_ScanDataDirectories();
  std::vector<std::string> order;
  for (int i = 0; const char* path = Res_PackPathAt(i); ++i) order.push_back(path);
  EXPECT_EQ(order, (std::vector<std::string>{game + "/Extra/", game + "/", game + "/demo.lab"}));
  auto read = [&hs](const char* name) {
    std::string out;
    if (const stdFile_t f = hs.fileOpen(name, "rb")) {
      char chunk[64];
      for (size_t n; (n = hs.fileRead(f, chunk, sizeof chunk)) > 0;) out.append(chunk, n);
      hs.fileClose(f);
    }
    return out;
  };
  EXPECT_EQ(read("_SYSTEM.LUA"), "-- boot");
  EXPECT_EQ(read("room.set"), "extra");
  ASSERT_EQ(chdir(home.c_str()), 0);
  stdFileUtil_ForgetAllFolders();
  engine.shutdown();
  engine.uninitialize();
  EXPECT_EQ(hs.fileOpen, platformOpen);
  drevMain_SetDataPath(nullptr);
  std::filesystem::remove_all(game);
}

TEST(ResourceRefs, AccessorsAnswerTheObjectOfAValidReferenceOnly) {
  int object = 0;
  ResourceRef ref{};
  ref.object = &object;
  EXPECT_EQ(drevResource_CostumeFromRef(&ref), nullptr);
  EXPECT_EQ(drevResource_BitmapFromRef(nullptr), nullptr);
  EXPECT_EQ(drevResource_ModelFromRef(&ref), nullptr);
  ref.valid = 1;
  EXPECT_EQ(drevResource_CostumeFromRef(&ref), &object);
  EXPECT_EQ(drevResource_BitmapFromRef(&ref), &object);
  EXPECT_EQ(drevResource_KeyframeFromRef(&ref), &object);
  EXPECT_EQ(drevResource_ModelFromRef(&ref), &object);
}

}  // namespace
