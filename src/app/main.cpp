// Program entry: make the executable's folder the current directory (every
// relative path of the game hangs on it), join the arguments into the one
// command line the front end parses, install the program's calls into the
// lower modules, and run the platform main under the crash guard.
#include <unistd.h>

#include <string>
#include <vector>

#include "app/voskdemo.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Save.h"

int main(int argc, char** argv) {
  std::vector<char> path(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) break;
    if (static_cast<size_t>(length) < path.size()) {
      std::string exe(path.data(), static_cast<size_t>(length));
      const size_t slash = exe.rfind('/');
      if (slash != std::string::npos) {
        const std::string folder = slash == 0 ? "/" : exe.substr(0, slash);
        if (chdir(folder.c_str()) != 0) break;
      }
      break;
    }
    path.resize(path.size() * 2);
  }

  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  // A start-up failure is a failure for the shell too; only a normal quit is
  // 0. Leaving through the out-of-date save message's "Exit" is not one.
  voskdemo_InstallCalls();
  if (kv_Platform_RunProtected(commandLine.c_str()) != 0) return 1;
  return kv_Save_ExitStatusRequested() ? 1 : 0;
}
