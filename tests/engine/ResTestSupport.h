// A services record with the resource manager started and the file layer
// installed, and a scratch folder under the test's working folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/Res.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

class ResTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    ASSERT_EQ(Res_Initialize(&hs_, nullptr), 0);
    ASSERT_EQ(Res_Startup(), 0);
    Res_InstallFileServices(&hs_);
    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    dir_ = std::string(buffer) + "/res_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    stdFileUtil_ForgetAllFolders();
  }
  void TearDown() override {
    Res_RestoreFileServices(&hs_);
    Res_Shutdown();
    Res_Uninitialize();
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Reads a whole file through the services record.
  std::string ReadAll(const char* name) {
    const stdFile_t f = hs_.fileOpen(name, "rb");
    if (!f) return "<none>";
    std::string out;
    char buffer[777];
    for (size_t n; (n = hs_.fileRead(f, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    hs_.fileClose(f);
    return out;
  }

  HostServices hs_;
  std::string dir_;
};
