// Linked into every test program. CTest starts each program in a working
// folder of its own under the build folder (VQ_TEST_WORKDIR names it), where
// the files a test writes stay for inspection. A program started by hand
// anywhere else (the source tree, say) moves into a temporary folder of its
// own before any test runs, so it never writes into the folder it was
// started from.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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

}  // namespace
