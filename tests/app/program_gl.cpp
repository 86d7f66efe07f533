// The program as the shell sees it, under Xvfb: a start-up failure ends it
// with a non-zero status (-? with the usage on standard error), and SIGTERM
// (which SDL turns into the quit event) and SIGHUP run the normal shutdown and
// end it with 0; the demo game's script tasks go on across a save and a load
// of the running program; when the X server dies under it, it shuts down in
// order with status 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

namespace fs = std::filesystem;

// A game folder of the test's own: the staged one linked file by file (the
// program finds its library and data beside itself), without the files a run
// writes, so its Saves/ and log are not shared with other tests.
std::string OwnGame(const std::string& name) {
  const fs::path folder = fs::current_path() / name;
  fs::remove_all(folder);
  std::error_code error;
  fs::copy(GameDir(), folder, fs::copy_options::recursive | fs::copy_options::create_hard_links,
           error);
  if (error) {
    fs::remove_all(folder);
    fs::copy(GameDir(), folder, fs::copy_options::recursive);
  }
  for (const char* written : {"Saves", "Vosk.log", "debug.log", "resource.log", "assert.txt",
                              "program_gl_messages.txt"}) {
    fs::remove_all(folder / written);
  }
  return folder.string();
}

// Starts the program of a game folder with -log and the arguments, its
// standard error in the file `messages`; `display` replaces DISPLAY.
pid_t StartIn(const std::string& game, std::vector<const char*> arguments,
              const std::string& messages, const std::string& display = "") {
  const std::string program = game + "/VoskQuorvale";
  arguments.insert(arguments.begin(), {program.c_str(), "-log"});
  arguments.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // The log is in Vosk.log; its echo on standard output is not needed.
    const int fd = open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_WRONLY);
    if (fd < 0 || dup2(fd, 2) < 0 || null < 0 || dup2(null, 1) < 0) _exit(126);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    execv(program.c_str(), const_cast<char* const*>(arguments.data()));
    _exit(127);
  }
  return pid;
}

bool Ended(pid_t pid) {
  siginfo_t info{};
  // Looks without reaping: Wait still gets the status.
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid != 0;
}

// Waits (with a safety net, not a speed check) until `done` holds; false when
// the process ended first or the net was reached.
template <typename Done>
bool WaitUntil(pid_t pid, Done done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (!done()) {
    if (Ended(pid) || std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// What a sanitizer or Xlib's own fatal-error path would have printed.
bool HasFaultReport(const std::string& text) {
  return text.find("Sanitizer") != std::string::npos ||
         text.find("runtime error:") != std::string::npos || text.find("XIO:") != std::string::npos;
}

std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
    }
  }
  return files;
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

// SIGHUP (the terminal or session going away) takes the same orderly path as
// SIGTERM: the quit event, the engine's shutdown, status 0.
TEST(Program, HangupSignalQuitsNormally) {
  const std::string game = OwnGame("hangup");
  const std::string messages = game + "/messages.txt";
  const pid_t pid = StartIn(game, {"-w"}, messages);
  ASSERT_GT(pid, 0);
  if (!WaitUntil(pid, [&] {
        return ReadFile(game + "/Vosk.log").find("Initializing game") != std::string::npos;
      })) {
    kill(pid, SIGKILL);
    Wait(pid);
    FAIL() << "no start-up\n" << ReadFile(messages);
  }
  kill(pid, SIGHUP);
  EXPECT_EQ(Wait(pid), 0) << ReadFile(messages);
  EXPECT_FALSE(HasFaultReport(ReadFile(messages))) << ReadFile(messages);
}

// A boot script that does not run fails the start-up after the engine's
// modules (and their music and sound threads) have started: the program
// takes them down again and ends with status 1, with no fault reported.
TEST(Program, AFailedStartUpAfterTheEngineStartedEndsCleanly) {
  const std::string game = OwnGame("noboot");
  fs::remove(game + "/_system.lua");
  const std::string messages = game + "/messages.txt";
  const pid_t pid = StartIn(game, {"-w"}, messages);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), 1) << ReadFile(messages);
  EXPECT_NE(ReadFile(game + "/Vosk.log").find("Unable to initialize game!"), std::string::npos);
  EXPECT_FALSE(HasFaultReport(ReadFile(messages))) << ReadFile(messages);
}

// The X server dies under the running game (music playing, a save written
// and loaded): the program logs it, shuts the engine down in order (every
// thread joined) and ends with status 1; no sanitizer report, and the files
// in Saves/ are as they were.
TEST(Program, ALostDisplayShutsDownInOrder) {
  const std::string game = OwnGame("lostdisplay");
  // An X server of the test's own, on the first free display.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t server = fork();
  if (server == 0) {
    close(ready[0]);
    const std::string fd = std::to_string(ready[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  ASSERT_GT(server, 0);
  std::string number;
  char c = 0;
  while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
  close(ready[0]);
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";

  const std::string messages = game + "/messages.txt";
  const pid_t pid = StartIn(game, {"-w", "-b", "saveload"}, messages, ":" + number);
  ASSERT_GT(pid, 0);
  const bool loaded = WaitUntil(pid, [&] {
    return ReadFile(game + "/Vosk.log").find("[Load] - successfully loaded save game!") !=
           std::string::npos;
  });
  if (!loaded) {
    kill(pid, SIGKILL);
    kill(server, SIGKILL);
    Wait(pid);
    Wait(server);
    FAIL() << "no load\n" << ReadFile(messages);
  }
  const auto saves = FilesUnder(game + "/Saves");
  ASSERT_FALSE(saves.empty());

  kill(server, SIGTERM);
  Wait(server);
  // An end that never comes fails the test instead of hanging it.
  if (WaitUntil(pid, [] { return false; }) || !Ended(pid)) {
    kill(pid, SIGKILL);
    Wait(pid);
    FAIL() << "the program did not end after its display was lost\n" << ReadFile(messages);
  }
  const int status = Wait(pid);
  const std::string text = ReadFile(messages);
  EXPECT_EQ(status, 1) << text;
  EXPECT_FALSE(HasFaultReport(text)) << text;
  const std::string log = ReadFile(game + "/Vosk.log");
  EXPECT_NE(log.find("[Platform] - the connection to the display was lost: shutting down"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[Platform] - shutdown complete after the lost display"), std::string::npos)
      << log;
  EXPECT_EQ(FilesUnder(game + "/Saves"), saves);
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
