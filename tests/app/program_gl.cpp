// The program as the shell sees it, under Xvfb: a start-up failure ends it
// with a non-zero status, and SIGTERM (which SDL turns into the quit event)
// runs the normal shutdown and ends it with 0.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string GameDir() {
  const char* dir = std::getenv("VQ_GAME_DIR");
  return dir ? dir : "";
}

std::string ReadLog() {
  std::ifstream in(GameDir() + "/Vosk.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

pid_t Start(const char* argument) {
  const std::string program = GameDir() + "/VoskQuorvale";
  const pid_t pid = fork();
  if (pid == 0) {
    execl(program.c_str(), program.c_str(), "-log", argument, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Program, StartUpFailureEndsWithStatusOne) {
  const pid_t pid = Start("-?");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), 1);
  EXPECT_NE(ReadLog().find("Unable to initialize game!"), std::string::npos);
}

TEST(Program, TermSignalQuitsNormally) {
  std::remove((GameDir() + "/Vosk.log").c_str());
  const pid_t pid = Start("-w");
  ASSERT_GT(pid, 0);
  // Wait (without a deadline of our own: ctest's timeout ends a hang) until
  // SDL is up, then ask the program to end: SDL queues the quit event, which
  // the main loop handles once start-up is through.
  while (ReadLog().find("Initializing game") == std::string::npos) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the program ended during start-up";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGTERM);
  EXPECT_EQ(Wait(pid), 0);
}

}  // namespace
