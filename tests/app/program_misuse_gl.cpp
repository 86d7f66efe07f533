// The program misused, as the shell sees it, under Xvfb: a boot script that
// tries to reach files outside the game folder finds none of them, and a
// second program started in the same game folder ends at once with status 1
// while the first one plays on. Each test runs the program in a game folder
// of its own: the staged one, hard-linked file by file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
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
#include <vector>

#include "../TestTempDir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A game folder of the test's own, made of hard links to the staged one (no
// copies of the large program), without the staged folder's saves and logs.
std::string PrivateGame(const std::string& name) {
  const char* staged = std::getenv("VQ_GAME_DIR");
  const fs::path game = fs::current_path() / name;
  fs::remove_all(game);
  fs::create_directories(game);
  for (const auto& entry : fs::directory_iterator(staged ? staged : "")) {
    const std::string file = entry.path().filename();
    if (file == "Saves" || file.ends_with(".log")) continue;
    fs::copy(entry.path(), game / file,
             fs::copy_options::recursive | fs::copy_options::create_hard_links);
  }
  return game.string();
}

// Starts the game folder's program; its standard output and error go to the
// file `output`.
pid_t Start(const std::string& game, std::vector<const char*> arguments,
            const std::string& output) {
  const std::string program = game + "/VoskQuorvale";
  arguments.insert(arguments.begin(), program.c_str());
  arguments.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* out = std::fopen(output.c_str(), "w");
    if (!out) _exit(126);
    dup2(fileno(out), 1);
    dup2(fileno(out), 2);
    execv(program.c_str(), const_cast<char* const*>(arguments.data()));
    _exit(127);
  }
  return pid;
}

int StatusOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits until the text appears in the file or the program ends; a safety net,
// not a speed check: after three minutes the program is killed. True when the
// text appeared while the program ran.
bool WaitFor(pid_t pid, const std::string& file, const std::string& text, int* status) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (ReadAll(file).find(text) == std::string::npos) {
    if (waitpid(pid, status, WNOHANG) != 0) return false;
    if (std::chrono::steady_clock::now() > giveUp) {
      kill(pid, SIGKILL);
      waitpid(pid, status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Waits for the text as WaitFor does, then ends the program with SIGTERM
// (the normal quit) when it is still running. The exit status (or 128 + the
// signal) goes to *exitStatus.
bool EndAfter(pid_t pid, const std::string& file, const std::string& text, int* exitStatus) {
  int status = 0;
  const bool appeared = WaitFor(pid, file, text, &status);
  if (appeared) {
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
  }
  *exitStatus = StatusOf(status);
  return appeared;
}

// The boot script tries every way out of the game folder that scripts have;
// the files it is after lie in a folder outside it (SECRET).
const char kHostileScript[] = R"(
function try(what, got)
  if got then
    PrintMessage("ESCAPE: " .. what .. "\n")
  else
    PrintMessage("held: " .. what .. "\n")
  end
end

function BOOT(resume, parameter)
  local secret = "SECRET"
  try("absolute path", readfrom(secret .. "/secret.txt"))
  try("absolute path with backslashes", readfrom(gsub(secret, "/", "\\") .. "\\secret.txt"))
  try("/proc", readfrom("/proc/self/environ"))
  try("/dev/zero", readfrom("/dev/zero"))
  try("pipe", readfrom("pipe"))
  try("link to a file", readfrom("link.txt"))
  try("link to a folder", readfrom("linkdir\\secret.txt"))
  try("..", readfrom("..\\..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd"))
  try("dofile", dofile(secret .. "/evil.lua"))
  try("dofile through a link", dofile("linkdir/evil.lua"))
  try("CheckForFile", CheckForFile(secret .. "/secret.txt"))
  try("GetSaveGameData", GetSaveGameData(secret .. "/secret.txt"))
  try("FileFindFirst", FileFindFirst("*.txt", secret))
  try("FileFindFirst through a link", FileFindFirst("*.txt", "linkdir"))
  SaveScreen(secret .. "/shot.bmp")
  SaveScreen("linkdir/shot2.bmp")
  MelosStartRecording(secret .. "/recording.wav")
  MelosStopRecording()
  PrintMessage("hostile script done\n")
end
)";

TEST(ProgramMisuse, AHostileBootScriptFindsNoWayOut) {
  const std::string secret = vqtest::TempPath("secret");
  fs::create_directories(secret);
  WriteText(secret + "/secret.txt", "the secret\n");
  WriteText(secret + "/evil.lua", "PrintMessage(\"ESCAPE: outside code ran\\n\")\n");
  const std::string game = PrivateGame("hostile_game");
  std::string script = kHostileScript;
  script.replace(script.find("SECRET"), 6, secret);
  fs::remove(game + "/_system.lua");  // a hard link: never write through it
  WriteText(game + "/_system.lua", script);
  ASSERT_EQ(mkfifo((game + "/pipe").c_str(), 0600), 0);
  fs::create_symlink(secret + "/secret.txt", game + "/link.txt");
  fs::create_directory_symlink(secret, game + "/linkdir");

  const std::string output = game + "/output.txt";
  const pid_t pid = Start(game, {"-log", "-w"}, output);
  ASSERT_GT(pid, 0);
  int status = 0;
  const bool done = EndAfter(pid, output, "hostile script done", &status);
  const std::string text = ReadAll(output);
  EXPECT_TRUE(done) << "the script did not get through:\n" << text;
  EXPECT_EQ(status, 0) << text;
  EXPECT_EQ(text.find("ESCAPE"), std::string::npos) << text;
  EXPECT_NE(text.find("held: FileFindFirst through a link"), std::string::npos) << text;
  EXPECT_EQ(ReadAll(secret + "/secret.txt"), "the secret\n");
  for (const char* made : {"shot.bmp", "shot2.bmp", "recording.wav"}) {
    EXPECT_FALSE(fs::exists(secret + "/" + made)) << made;
  }
  fs::remove_all(game);
  fs::remove_all(secret);
}

TEST(ProgramMisuse, ASecondProgramInTheSameGameFolderEnds) {
  const std::string game = PrivateGame("shared_game");
  const std::string firstOutput = game + "/first.txt";
  const pid_t first = Start(game, {"-log", "-w"}, firstOutput);
  ASSERT_GT(first, 0);
  int status = 0;
  ASSERT_TRUE(WaitFor(first, game + "/Vosk.log", "Initializing game", &status))
      << ReadAll(firstOutput);

  const std::string secondOutput = game + "/second.txt";
  const pid_t second = Start(game, {"-log", "-w"}, secondOutput);
  ASSERT_GT(second, 0);
  int secondStatus = 0;
  EXPECT_FALSE(EndAfter(second, secondOutput, "Initializing game", &secondStatus))
      << "the second program went on";
  EXPECT_EQ(secondStatus, 1);
  EXPECT_NE(ReadAll(secondOutput).find("is in use by another copy of the game"),
            std::string::npos)
      << ReadAll(secondOutput);
  // The first one plays on, its log untouched by the second.
  EXPECT_EQ(waitpid(first, &status, WNOHANG), 0);
  EXPECT_NE(ReadAll(game + "/Vosk.log").find("Initializing game"), std::string::npos);
  kill(first, SIGTERM);
  waitpid(first, &status, 0);
  EXPECT_EQ(StatusOf(status), 0);
  fs::remove_all(game);
}

}  // namespace
