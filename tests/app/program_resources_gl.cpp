// The program scans its own folder and the -p folder at start-up: a boot
// script inside an archive of the -p folder is found before the game
// folder's loose one and runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "../engine/LabnWriter.h"

namespace {

std::string GameDir() {
  const char* dir = std::getenv("VQ_GAME_DIR");
  return dir ? dir : "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ProgramResources, BootScriptFromAnArchiveOfTheDataPath) {
  char folder[] = "/tmp/vq_datapath_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  WriteWhole(std::string(folder) + "/Boot.LAB",
             LabnBuild({{"_system.lua",
                         "function BOOT(resume, parameter)\n"
                         "  PrintMessage(\"[Demo] - boot script from the archive\\n\")\n"
                         "end\n"}}));
  // The boot script's message goes to the program's standard error.
  const std::string output = std::string(folder) + "/output.txt";
  const std::string program = GameDir() + "/VoskQuorvale";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    FILE* out = std::fopen(output.c_str(), "w");
    if (!out) _exit(126);
    dup2(fileno(out), 1);
    dup2(fileno(out), 2);
    execl(program.c_str(), program.c_str(), "-log", "-w", "-p", folder,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  bool ended = false;
  while (ReadAll(output).find("boot script from the archive") == std::string::npos) {
    // The game folder's own boot script ran instead: no need to wait longer.
    EXPECT_EQ(ReadAll(output).find("[Demo] - BOOT ("), std::string::npos);
    if (HasFailure()) break;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != 0) {
      ended = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(ended) << "the program ended during start-up:\n" << ReadAll(output);
  if (!ended) {  // also after a failure: the program is ended either way
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
