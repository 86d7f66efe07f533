// A folder of the test program's own under the system's temporary folder, for
// the files a test writes for itself (scripts, sector sections, logs). It is
// made on first use and removed when the program that made it exits, so no
// test leaves files wherever it happened to be started.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vqtest {

inline const std::string& TempDir() {
  static const std::string folder = [] {
    std::string pattern = ::testing::TempDir() + "vq_test_XXXXXX";
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    static std::string made;
    static pid_t maker;
    made = pattern;
    maker = getpid();
    // Only the process that made it removes it: forked children that exit
    // must not take it away from their parent.
    std::atexit([] {
      if (getpid() != maker) return;
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return pattern;
  }();
  return folder;
}

// The path of a file of that name in the program's temporary folder.
inline std::string TempPath(const std::string& name) {
  return TempDir() + "/" + name;
}

}  // namespace vqtest
