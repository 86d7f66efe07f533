// The resource binding and the set module started over a scratch folder,
// with fake "BKND", "CMAP" and "ZBUF" loaders (they record what was asked
// for and load only the names a test made available), recording fakes of
// the sound and render calls, and a small actor table.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "../SoundNameText.h"
#include "actors/drevActor.h"
#include "engine/Res.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "quadrix/qxCore.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"
#include "std/stdFileUtil.h"

namespace roomtest {

inline const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};

struct SoundCall {
  std::string name;
  int parameter;
  int value;
};

struct World {
  std::set<std::string> backgrounds;  // BKND names that load (lower case)
  std::set<std::string> colormaps;
  std::set<std::string> zbuffers;
  int backgroundFrames = 3;
  std::vector<std::string> loads;  // "TAG name" per load asked for
  std::set<std::string> playing;   // sounds that play
  std::vector<SoundCall> soundCalls;
  std::vector<std::vector<int>> dirty;  // {x, y, w, h, flag}
  int fillStreams = 0;
  int actorSteps = 0;
  std::vector<int> clearedShadows;
  Actor actors[8] = {};
  ActorExtra extras[8] = {};
};

inline World* g_world = nullptr;

inline std::string Lower(const char* name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

inline DisplayBuffer* NewBuffer(int w, int h) {
  BufferFormat f{};
  f.width = w;
  f.height = h;
  f.format = k565;
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

inline int FakeBackground(ResourceRequest* r) {
  if (r->tag != Res_Tag("BKND")) return 0;
  if (r->operation == kResOpLoad) {
    g_world->loads.push_back(std::string("BKND ") + r->name);
    if (!g_world->backgrounds.count(Lower(r->name))) return 0;
    const int frames = g_world->backgroundFrames;
    Bitmap* bitmap = stdBitmap_New(frames, nullptr, STDBITMAP_RAW, 0, &k565);
    for (int i = 0; i < frames; ++i) stdBitmap_SetFrame(bitmap, i, NewBuffer(8, 4));
    bitmap->currentFrame = 0;
    bitmap->xOffset = 10;
    bitmap->yOffset = 20;
    return Res_Add(r->tag, r->name, bitmap);
  }
  if (r->operation == kResOpFree) stdBitmap_Free(static_cast<Bitmap*>(r->object));
  if (r->operation == kResOpSize) r->size = 1;
  return 1;
}

inline int FakeColormap(ResourceRequest* r) {
  if (r->tag != Res_Tag("CMAP")) return 0;
  if (r->operation == kResOpLoad) {
    g_world->loads.push_back(std::string("CMAP ") + r->name);
    if (!g_world->colormaps.count(Lower(r->name))) return 0;
    return Res_Add(r->tag, r->name, new int(7));
  }
  if (r->operation == kResOpFree) delete static_cast<int*>(r->object);
  if (r->operation == kResOpSize) r->size = 1;
  return 1;
}

inline int FakeZBuffer(ResourceRequest* r) {
  if (r->tag != Res_Tag("ZBUF")) return 0;
  if (r->operation == kResOpLoad) {
    g_world->loads.push_back(std::string("ZBUF ") + r->name);
    if (!g_world->zbuffers.count(Lower(r->name))) return 0;
    return Res_Add(r->tag, r->name, NewBuffer(8, 4));
  }
  if (r->operation == kResOpFree) stdDisplay_FreeBuffer(static_cast<DisplayBuffer*>(r->object));
  if (r->operation == kResOpSize) r->size = 1;
  return 1;
}

class RoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    g_world = &world_;
    ASSERT_EQ(drevResource_Initialize(&hs_, &resources_), 0);
    ASSERT_EQ(resources_.startup(), 0);
    for (const char* tag : {"BKND", "CMAP", "ZBUF"}) Res_UnregisterHandler(Res_TagOf(tag));
    Res_RegisterHandler(Res_Tag("BKND"), FakeBackground);
    Res_RegisterHandler(Res_Tag("CMAP"), FakeColormap);
    Res_RegisterHandler(Res_Tag("ZBUF"), FakeZBuffer);
    // The 3D library keeps the first record it is given: give it one that
    // lives on, with the resource layer's file operations.
    static HostServices library;
    library = hs_;
    qxCore_Startup(&library);
    ASSERT_EQ(drevRoom_Initialize(&hs_, &room_), 0);
    ASSERT_EQ(drevRoom_Startup(), 0);
    drevRoomCalls& c = drevRoom_Calls();
    c.soundIsPlaying = [](SoundName name) {
      return g_world->playing.count(vqtest::SoundText(name)) ? 1 : 0;
    };
    c.soundSetParam = [](SoundName name, int parameter, int value) {
      g_world->soundCalls.push_back({vqtest::SoundText(name), parameter, value});
      return 0;
    };
    c.soundFillStreams = [] { ++g_world->fillStreams; };
    c.actorFromIndex = [](int index) -> Actor* {
      return index >= 0 && index < 8 ? &g_world->actors[index] : nullptr;
    };
    c.actorToIndex = [](const Actor* actor) -> int {
      const ptrdiff_t i = actor - g_world->actors;
      return i >= 0 && i < 8 ? static_cast<int>(i) : -1;
    };
    c.actorClearShadows = [](Actor* actor) {
      g_world->clearedShadows.push_back(static_cast<int>(actor - g_world->actors));
    };
    c.actorUpdateAll = [](float) { ++g_world->actorSteps; };
    c.renderInvalidateRect = [](const int* rect, int flag) {
      g_world->dirty.push_back({rect[0], rect[1], rect[2], rect[3], flag});
    };
    c.renderPrepareBackground = [](DisplayBuffer*) {};
    for (int i = 0; i < 8; ++i) world_.actors[i].pExtra = &world_.extras[i];

    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    dir_ = std::string(buffer) + "/room_" +
           Sanitized(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    stdFileUtil_ForgetAllFolders();
  }

  void TearDown() override {
    drevRoom_MakeCurrent(nullptr, nullptr);
    Res_FreeAll();
    drevRoom_Shutdown();
    drevRoom_Uninitialize();
    resources_.shutdown();
    resources_.uninitialize();
    drevRoom_ResetCalls();
    g_world = nullptr;
    std::filesystem::remove_all(dir_);
  }

  static std::string Sanitized(std::string name) {
    for (char& c : name)
      if (c == '/') c = '_';
    return name;
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }

  std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }

  // Loads a set through the resource manager.
  Room* Load(const std::string& path) {
    return static_cast<Room*>(drevResource_Get("SET ", path.c_str()));
  }

  HostServices hs_;
  ModuleDescriptor resources_{};
  ModuleDescriptor room_{};
  World world_;
  std::string dir_;
};

// A small set: one colormap, two setups, two lights.
inline const char kSmallSet[] =
    "# a set\n"
    "section: colormaps\n"
    "\tnumcolormaps\t1\n"
    "\tcolormap\tRoom.CMP\n"
    "\n"
    "section: setups\n"
    "\tnumsetups\t2\n"
    "\tsetup\tWide\n"
    "\tbackground\twide.bmp\n"
    "\tzbuffer\t\twide.zbm\n"
    "\tposition\t1.5\t-2\t3\n"
    "\tinterest\t0\t10\t1\n"
    "\troll\t\t0\n"
    "\tfov\t\t60\n"
    "\tnclip\t\t0.1\n"
    "\tfclip\t\t100\n"
    "\tsetup\tclose\n"
    "\tbackground\tclose.bmp\n"
    "\tposition\t0 0 2\n"
    "\tinterest\t1 1 1\n"
    "\tfov\t\t45\n"
    "\tnclip\t\t0.5\n"
    "\tfclip\t\t50\n"
    "\n"
    "section: lights\n"
    "\tnumlights\t2\n"
    "\tlight\t\tLamp\n"
    "\ttype\t\tspot\n"
    "\tposition\t1 2 3\n"
    "\tdirection\t0 0 -2\n"
    "\tintensity\t0.75\n"
    "\tumbraangle\t20\n"
    "\tpenumbraangle\t40\n"
    "\tcolor\t\t255 128 1\n"
    "\tlight\t\tflash\n"
    "\ttype\t\tOMNI\n"
    "\tposition\t4 5 6\r\n";

}  // namespace roomtest
