// Shared fixture of the walking tests: services, sector sections read from
// literals (written to the program's temporary folder), the log captured to a
// file (the log always opens in the working folder), and a clean sector state
// afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../TestTempDir.h"
#include "actors/drevActor.h"
#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "engine/drevMain.h"
#include "platform/kv_Log.h"
#include "std/std.h"
#include "std/stdConffile.h"

namespace walktest {

inline void WriteFile(const std::string& name, const std::string& text) {
  FILE* f = std::fopen(name.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One square sector section entry, counter-clockwise seen from above.
inline std::string Square(const std::string& name, float x0, float y0, float x1, float y1,
                          float z = 0, const std::string& extra = "") {
  char text[512];
  std::snprintf(text, sizeof text,
                "\tsector %s\n\ttype walk\n\tdefault visibility visible\n%s\tnumvertices 4\n"
                "\tvertices: %g %g %g\n\t%g %g %g\n\t%g %g %g\n\t%g %g %g\n",
                name.c_str(), extra.c_str(), x0, y0, z, x1, y0, z, x1, y1, z, x0, y1, z);
  return text;
}

// No actor stands near anyone.
inline void NoBoxes(int, int* count, int, qxVector3*, int) {
  *count = 0;
}

class WalkWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    Pathfinder_Construct()->mode = 0;
    drevMain_Calls().actorGetNearbyBoxes = NoBoxes;
  }
  void TearDown() override {
    drevMain_ResetCalls();
    for (const std::string& set : sets_) WalkPlane_FreeSetSectors(set.c_str());
    WalkPlane_FreeCache();
    WalkPlane_SelectSetSectors(nullptr);
    Pathfinder_Clear();
    Pathfinder_Invalidate();
    kv_Log_ResetForTest();
  }

  // Reads a "sectors" section body for the set and makes its list current;
  // answers the name of the section that followed, or "" at the end.
  std::string Read(const std::string& body, const std::string& set = "walk.set") {
    const std::string file = vqtest::TempPath("sectors_" + std::to_string(files_++) + ".txt");
    WriteFile(file, body);
    EXPECT_EQ(stdConffile_Open(file.c_str()), 1);
    const char* next = WalkPlane_ReadSectors(set.c_str());
    const std::string result = next ? next : "";
    stdConffile_Close();
    Use(set);
    return result;
  }
  void Use(const std::string& set) {
    sets_.push_back(set);
    WalkPlane_SelectSetSectors(set.c_str());
  }

  void CaptureLog() {
    kv_Log_ResetForTest();
    ASSERT_EQ(kv_Log_Open("walk_test.log"), 1);
  }
  std::string Log() {
    kv_Log_ResetForTest();
    return ReadFile("walk_test.log");
  }

  Sector* Named(const char* name) { return WalkPlane_FindSectorByName(name); }

  HostServices hs_;
  std::vector<std::string> sets_;
  int files_ = 0;
};

// An actor record (outside the table) that walks sector by sector.
inline const Actor* SectorWalker() {
  static Actor walker = [] {
    Actor a{};
    a.flags = ACTOR_SECTOR_WALKER;
    return a;
  }();
  return &walker;
}

inline float Dist(const qxVector3& a, const qxVector3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

inline float PathLength(const qxVector3* points, int count) {
  float length = 0;
  for (int i = 1; i < count; ++i) length += Dist(points[i - 1], points[i]);
  return length;
}

}  // namespace walktest
