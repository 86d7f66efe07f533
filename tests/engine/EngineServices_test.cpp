// Dialogue log, frame clock, file search and the debug-output loader.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/SpewLib.h"
#include "engine/drevDialogLog.h"
#include "engine/drevTime.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

namespace {

class Services : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
  }
  HostServices hs_;
};

std::vector<std::string> Walk() {
  std::vector<std::string> out;
  int cursor = -1;
  while (const char* line = drevDialogLog_NextLine(&cursor)) out.push_back(line);
  EXPECT_EQ(cursor, -1);
  return out;
}

TEST_F(Services, DialogLogRingAndWalk) {
  ModuleDescriptor d{};
  ASSERT_EQ(drevDialogLog_Initialize(&hs_, &d), 0);
  EXPECT_EQ(d.uninitialize, nullptr);
  EXPECT_EQ(d.startup, nullptr);
  EXPECT_TRUE(Walk().empty());
  EXPECT_EQ(drevDialogLog_GetLine(0), nullptr);
  drevDialogLog_AddLine(nullptr);
  EXPECT_EQ(drevDialogLog_GetWrite(), 0u);

  drevDialogLog_AddLine(std::string(200, 'x').c_str());
  EXPECT_EQ(std::strlen(drevDialogLog_GetLine(0)), 149u);
  EXPECT_EQ(drevDialogLog_GetLine(1), nullptr);

  for (int i = 1; i < 100; i++) drevDialogLog_AddLine(("line " + std::to_string(i)).c_str());
  // Full: the walk yields the 99 newest lines, oldest first; every slot answers.
  const auto walked = Walk();
  ASSERT_EQ(walked.size(), 99u);
  EXPECT_EQ(walked.front(), "line 1");
  EXPECT_EQ(walked.back(), "line 99");
  for (int i = 0; i < 100; i++) EXPECT_NE(drevDialogLog_GetLine(i), nullptr) << i;
  EXPECT_EQ(drevDialogLog_GetLine(100), nullptr);
  EXPECT_EQ(drevDialogLog_GetLine(-1), nullptr);
  drevDialogLog_AddLine("newest");
  EXPECT_EQ(Walk().back(), "newest");

  // Save and restore through a transfer buffer; bad indices are refused.
  static std::vector<uint8_t> buffer;
  static size_t position;
  buffer.clear();
  auto writer = [](void* data, size_t n) {
    auto* p = static_cast<uint8_t*>(data);
    buffer.insert(buffer.end(), p, p + n);
    return 0;
  };
  auto reader = [](void* data, size_t n) {
    std::memcpy(data, buffer.data() + position, n);
    position += n;
    return 0;
  };
  ASSERT_EQ(d.save(writer), 0);
  EXPECT_EQ(buffer.size(), 15008u);
  const uint32_t oldest = drevDialogLog_GetOldest(), write = drevDialogLog_GetWrite();
  d.shutdown();
  EXPECT_TRUE(Walk().empty());
  position = 0;
  ASSERT_EQ(d.restore(reader), 0);
  EXPECT_EQ(drevDialogLog_GetOldest(), oldest);
  EXPECT_EQ(drevDialogLog_GetWrite(), write);
  EXPECT_EQ(Walk().back(), "newest");
  // A block with an index out of range is refused and the live log stays.
  const auto before = Walk();
  const uint32_t bad = 100;
  std::memcpy(buffer.data() + 15000, &bad, 4);
  position = 0;
  EXPECT_NE(d.restore(reader), 0);
  EXPECT_EQ(Walk(), before);
  EXPECT_EQ(drevDialogLog_GetOldest(), oldest);

  // A transfer that fails: the save says so; a restore that read part of
  // the block (scribbling over what it was given) changes nothing.
  static int failAfter;
  static int calls;
  auto failingWriter = [](void*, size_t) { return ++calls > failAfter ? 1 : 0; };
  auto failingReader = [](void* data, size_t n) {
    std::memset(data, 'Z', n);
    return ++calls > failAfter ? 1 : 0;
  };
  for (failAfter = 0; failAfter < 3; ++failAfter) {
    calls = 0;
    EXPECT_NE(d.save(failingWriter), 0) << failAfter;
    calls = 0;
    EXPECT_NE(d.restore(failingReader), 0) << failAfter;
    EXPECT_EQ(Walk(), before) << failAfter;
    EXPECT_EQ(drevDialogLog_GetOldest(), oldest);
    EXPECT_EQ(drevDialogLog_GetWrite(), write);
  }
}

uint32_t gNow = 0;

TEST_F(Services, FrameClock) {
  drevTime_SetTickSource([] { return gNow; });
  ModuleDescriptor d{};
  ASSERT_EQ(drevTime_Initialize(&hs_, &d), 0);
  gNow = 1000;
  d.shutdown();
  ASSERT_EQ(d.startup(), 0);
  EXPECT_EQ(d.startup(), 1);
  struct Case {
    uint32_t last, now, step;
  };
  const Case cases[] = {
      {1000, 1016, 16},
      {1000, 6000, 300},     // a 5 s frame counts as 300 ms
      {4294967290u, 5, 10},  // the tick counter wrapped
      {500, 500, 0},
  };
  for (const Case& c : cases) {
    gNow = c.last;
    drevTime_SetFrameMs(0);
    const uint32_t total = drevTime_GetTotalMs();
    gNow = c.now;
    drevTime_Update();
    EXPECT_EQ(drevTime_GetFrameMs(), c.step) << c.last << " -> " << c.now;
    EXPECT_FLOAT_EQ(drevTime_GetFrameSeconds(), c.step * 0.001f);
    EXPECT_EQ(drevTime_GetTotalMs() - total, c.step);
  }
  drevTime_SetFrameMs(0xFFFFFFFFu);
  EXPECT_EQ(drevTime_GetFrameMs(), 300u);
  d.shutdown();
  drevTime_SetTickSource(nullptr);
}

TEST_F(Services, FileSearch) {
  namespace fs = std::filesystem;
  fs::remove_all("find");
  fs::create_directories("find/Sub.LAB");
  for (const char* name : {"a.lab", "B.LAB", "c.txt", "noext"})
    std::ofstream("find/" + std::string(name)) << "x";
  struct Case {
    int mode;
    const char* ext;
    std::set<std::string> names;
  };
  const Case cases[] = {
      {0, "", {"a.lab", "B.LAB", "c.txt", "noext", "Sub.LAB"}},
      {3, ".lab", {"a.lab", "B.LAB", "Sub.LAB"}},
      {3, "TXT", {"c.txt"}},
      {5, "", {}},
  };
  for (const Case& c : cases) {
    FileUtilFind* find = FileUtil_NewFind("find/", c.mode, c.ext);
    ASSERT_NE(find, nullptr);
    for (int pass = 0; pass < 2; pass++) {
      std::set<std::string> got;
      FileUtilFindResult r;
      while (FileUtil_FindNext(find, &r)) {
        got.insert(r.name);
        EXPECT_EQ(r.attributes, std::string(r.name) == "Sub.LAB" ? kFileUtilDirectoryFlag : 0u);
      }
      EXPECT_EQ(FileUtil_FindNext(find, &r), 0);  // stays at the end
      EXPECT_EQ(got, c.names) << c.mode << " " << c.ext << " pass " << pass;
      FileUtil_ResetFind(find);
    }
    FileUtil_DisposeFind(find);
  }
  FileUtilFind* missing = FileUtil_NewFind("no-such-dir\\", 0, nullptr);
  FileUtilFindResult r;
  EXPECT_EQ(FileUtil_FindNext(missing, &r), 0);
  FileUtil_DisposeFind(missing);
}

TEST_F(Services, SpewAbsent) {
  SpewLib_Start();
  SpewLib_Start();
  EXPECT_EQ(SpewLib_IsLoaded(), 0);
  EXPECT_EQ(SpewLib_Stop(), 0);
}

}  // namespace
