// The program as the shell sees it, under Xvfb: a start-up failure ends it
// with a non-zero status (-? with the usage on standard error), and SIGTERM
// (which SDL turns into the quit event) runs the normal shutdown and ends it
// with 0; the demo game's script tasks go on across a save and a load of the
// running program.
#include <fcntl.h>
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
#include <vector>

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

// Starts the program with -log and the arguments; its standard error goes to
// the file `messages` when one is named.
pid_t Start(std::vector<const char*> arguments, const std::string& messages = "") {
  const std::string program = GameDir() + "/VoskQuorvale";
  arguments.insert(arguments.begin(), {program.c_str(), "-log"});
  arguments.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!messages.empty()) {
      const int fd = open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 2) < 0) _exit(126);
    }
    execv(program.c_str(), const_cast<char* const*>(arguments.data()));
    _exit(127);
  }
  return pid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Program, StartUpFailureEndsWithStatusOne) {
  const std::string messages = GameDir() + "/program_gl_usage.txt";
  const pid_t pid = Start({"-?"}, messages);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), 1);
  EXPECT_NE(ReadLog().find("Unable to initialize game!"), std::string::npos);
  // -? asks for the usage: it is on standard error.
  const std::string usage = ReadFile(messages);
  std::remove(messages.c_str());
  EXPECT_NE(usage.find("usage: VoskQuorvale"), std::string::npos) << usage;
  EXPECT_NE(usage.find("-m "), std::string::npos) << usage;
}

TEST(Program, TermSignalQuitsNormally) {
  std::remove((GameDir() + "/Vosk.log").c_str());
  const pid_t pid = Start({"-w"});
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

// The demo game's heartbeat task goes on counting across a save and a load:
// with the boot parameter "saveload" the demo saves to slot 1 after 30 frames
// and loads it 60 frames later, and the task, restored in the middle of its
// loop, reports the frame it was saved at (not 1 again, nor the frame of the
// load).
TEST(Program, DemoHeartbeatCountsOnAcrossASaveAndALoad) {
  const std::string messages = GameDir() + "/program_gl_messages.txt";
  const pid_t pid = Start({"-w", "-b", "saveload"}, messages);
  ASSERT_GT(pid, 0);
  const std::string loadedLine = " (just loaded)";
  // A safety net, not a speed check: a load that never comes fails the test
  // instead of hanging it.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (ReadFile(messages).find(loadedLine) == std::string::npos) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the program ended before the load\n"
                                                 << ReadFile(messages);
    if (std::chrono::steady_clock::now() > giveUp) {
      kill(pid, SIGTERM);
      Wait(pid);
      FAIL() << "no load after three minutes\n" << ReadFile(messages);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGTERM);
  EXPECT_EQ(Wait(pid), 0);
  const std::string text = ReadFile(messages);
  std::remove(messages.c_str());
  EXPECT_NE(text.find("[Demo] - saving to slot 1"), std::string::npos) << text;
  EXPECT_NE(text.find("[Demo] - loading slot 1"), std::string::npos) << text;
  const std::string prefix = "[Demo] - heartbeat task: frame ";
  const size_t end = text.find(loadedLine);
  const size_t start = text.rfind(prefix, end);
  ASSERT_NE(start, std::string::npos) << text;
  const int frame = std::atoi(text.c_str() + start + prefix.size());
  EXPECT_GT(frame, 3) << text;
  EXPECT_LT(frame, 90) << text;
  // It never started again from its first frame.
  EXPECT_EQ(text.find(prefix + "1\n", text.find(prefix + "1\n") + 1), std::string::npos) << text;
  const std::string log = ReadLog();
  EXPECT_NE(log.find("[Save] - successfully wrote save game to disk"), std::string::npos);
  EXPECT_NE(log.find("[Load] - successfully loaded save game!"), std::string::npos);
}

}  // namespace
