// Linked into every test program. CTest starts each program in a working
// folder of its own under the build folder (VQ_TEST_WORKDIR names it), where
// the files a test writes stay for inspection. A program started by hand
// anywhere else (the source tree, say) moves into a temporary folder of its
// own before any test runs, so it never writes into the folder it was
// started from. It also checks that no test leaves a thread running.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "TestTempDir.h"

namespace {

const bool gMoved = [] {
  if (std::getenv("VQ_TEST_WORKDIR")) return false;
  const std::string& folder = vqtest::TempDir();
  if (chdir(folder.c_str()) != 0) {
    std::perror("chdir");
    std::abort();
  }
  std::fprintf(stderr, "[test] not started by CTest: working in %s\n", folder.c_str());
  return true;
}();

// Every test program ends with no thread of its own still running: a thread
// that the engine, SDL on its behalf, or a test started is joined before the
// program ends (one still running while static objects are destroyed at exit
// may use what they free, and stops the leak checker's tracer). The GL
// driver's threads are the driver's to end; threads that were there before the
// first test (a sanitizer's) are not looked at.
std::map<pid_t, std::string> LiveThreads() {
  std::map<pid_t, std::string> threads;
  const pid_t self = getpid();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
    const pid_t tid = static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
    if (tid <= 0 || tid == self) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    std::getline(comm, name);
    threads[tid] = name;
  }
  return threads;
}

// Mesa names its work-queue threads "<program>:<queue>" (the shader disk
// cache's "disk$0" among them) and its rasterizer threads "llvmpipe-<n>".
bool DriverThread(const std::string& name) {
  return name.find(':') != std::string::npos || name.rfind("llvmpipe", 0) == 0;
}

class NoThreadLeftBehind : public testing::Environment {
 public:
  void SetUp() override {
    // ThreadSanitizer starts a thread of its own with the first thread a
    // program creates: start one now, so that it is there before the count.
    std::thread([] {}).join();
    before_ = LiveThreads();
  }
  void TearDown() override {
    // A thread just joined may still be leaving the kernel's task list.
    std::string left;
    for (int attempt = 0; attempt < 500; ++attempt) {
      left.clear();
      for (const auto& [tid, name] : LiveThreads()) {
        if (!before_.count(tid) && !DriverThread(name)) left += " '" + name + "'";
      }
      if (left.empty()) return;
      usleep(10000);
    }
    ADD_FAILURE() << "threads still running when the tests ended:" << left;
  }

 private:
  std::map<pid_t, std::string> before_;
};

testing::Environment* const gThreadCheck =
    testing::AddGlobalTestEnvironment(new NoThreadLeftBehind);

}  // namespace
