// The light manager in the running demo, under Xvfb, in the classic
// rendering (whose actors the set's lights shade): F8 opens its window beside
// the game's; real pointer, button and key events through the window system
// select the sun, nudge and turn it with the arrow and keypad keys (the set's
// light and every setup camera's copy follow, and the picture on the screen
// changes), rename it (a second light may not take the name), add lights up
// to 64 (the 65th is refused), save the lights into a new set file (read
// back through the set reader), take up the set of a game loaded meanwhile,
// and F8 in the game's window closes the tool, which hides its marker. The
// message boxes are answered here.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "XTestInput.h"
#include "actors/drevActor.h"
#include "app/voskdemo.h"
#include "engine/LightMgr.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Registry.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Save.h"
#include "platform/kv_ToolWindow.h"
#include "quadrix/qxCamera.h"

namespace fs = std::filesystem;

namespace {

// The game clock: 33 ms a frame.
uint32_t g_now = 1000;
uint32_t GameTicks() {
  return g_now;
}

std::vector<std::string> g_boxes;  // "title: text"
int AnswerBox(const SDL_MessageBoxData* data, int* button) {
  g_boxes.push_back(std::string(data->title) + ": " + data->message);
  *button = 0;
  return 0;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Game {
 public:
  ~Game() {
    if (started_) {
      xtest::AutoRepeat(true);
      kv_Platform_PostQuit();
      while (!kv_Platform_GetState()->quit) kv_Platform_RunOnce();
      kv_Platform_Shutdown();
    }
  }

  // The staged game in a folder of its own, started as the program does, in
  // the classic rendering.
  bool Start() {
    const char* staged = std::getenv("VQ_GAME_DIR");
    if (!staged) return false;
    const fs::path work = fs::current_path() / "game_lights";
    fs::remove_all(work);
    fs::create_directories(work);
    for (const auto& entry : fs::directory_iterator(staged)) {
      const std::string name = entry.path().filename();
      if (name == "VoskQuorvale" || name == "Saves" || name.ends_with(".log")) continue;
      fs::copy(entry.path(), work / name, fs::copy_options::recursive);
    }
    fs::current_path(work);
    if (!std::freopen("messages.txt", "w", stderr)) return false;
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    drevTime_SetTickSource(GameTicks);
    kv_Platform_SetMessageBoxHandler(AnswerBox);
    kv_Log_Open("Vosk.log");
    kv_Save_InitWriteDirectory();
    if (!kv_Platform_InitWindow()) return false;
    voskdemo_InitRenderBackends();
    if (!kv_Platform_GetGameHooks()->init("-log")) return false;
    kv_Platform_GetState()->loopRunning = 1;
    started_ = true;
    kv_Registry_WriteFloat("RenderingMode", 1.0f);
    if (xtest::Open(Window()) != 1) return false;
    // Held keys repeat only as this test says (see Hold).
    xtest::AutoRepeat(false);
    return true;
  }

  static SDL_Window* Window() { return kv_Platform_GetWindowState()->window; }

  void Frame() {
    g_now += 33;
    kv_Platform_PumpEvents();
    kv_Platform_GetGameHooks()->tick();
  }
  void Frames(int count) {
    for (int i = 0; i < count; ++i) Frame();
  }
  bool Said(const std::string& text) const {
    return ReadAll("messages.txt").find("[Demo] - " + text) != std::string::npos;
  }
  // Runs frames until the scene says the text (at most `frames`).
  bool Await(const std::string& text, int frames) {
    for (int i = 0; i < frames && !Said(text); ++i) Frame();
    return Said(text);
  }

  // A key in the window that has the keyboard focus.
  void Press(SDL_Keycode key) {
    xtest::Key(key, true);
    Frame();
    xtest::Key(key, false);
    Frame();
  }
  // A key held down in the tool window while it repeats `repeats` times.
  // The repeats are the key events SDL delivers for the window system's
  // auto-repeat, pushed here: the X server's own repeats (switched off for
  // the play) run on its clock.
  void Hold(SDL_Keycode key, SDL_Scancode code, int repeats) {
    xtest::Key(key, true);
    Frame();
    SDL_Event repeat{};
    repeat.type = SDL_KEYDOWN;
    repeat.key.windowID = SDL_GetWindowID(kv_ToolWindow_GetWindow());
    repeat.key.state = SDL_PRESSED;
    repeat.key.repeat = 1;
    repeat.key.keysym.scancode = code;
    repeat.key.keysym.sym = key;
    for (int i = 0; i < repeats; ++i) {
      SDL_PushEvent(&repeat);
      Frame();
    }
    xtest::Key(key, false);
    Frame();
  }
  void Type(const std::string& text) {
    for (char c : text) Press(c == ' ' ? SDLK_SPACE : static_cast<SDL_Keycode>(c));
  }
  // A left click on a control of the tool window (as it was last drawn).
  ::testing::AssertionResult Click(int control) {
    SDL_Rect rect;
    if (!kv_ToolWindow_GetControlRect(control, &rect))
      return ::testing::AssertionFailure() << "the tool window shows no control " << control;
    SDL_WarpMouseInWindow(kv_ToolWindow_GetWindow(), rect.x + rect.w / 2, rect.y + rect.h / 2);
    Frame();
    xtest::Button(1, true);
    Frame();
    xtest::Button(1, false);
    Frame();
    Frame();  // what the click opened is drawn
    return ::testing::AssertionSuccess();
  }

 private:
  bool started_ = false;
};

struct Picture {
  int width = 0, height = 0;
  std::string rgb;  // 3 bytes a pixel
};

// What the screen shows over the game's window.
Picture Screen() {
  Picture p;
  xtest::CaptureWindow(&p.rgb, &p.width, &p.height);
  return p;
}

// The mean difference of two pictures over the game's window left of the
// tool window (which stands at the top right of the screen).
double Difference(const Picture& a, const Picture& b) {
  if (a.rgb.empty() || a.width != b.width || a.height != b.height) return -1;
  const int right = a.width - 460;
  double sum = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < right; ++x)
      for (int c = 0; c < 3; ++c) {
        const size_t at = (static_cast<size_t>(y) * a.width + x) * 3 + c;
        sum +=
            std::abs(static_cast<unsigned char>(a.rgb[at]) - static_cast<unsigned char>(b.rgb[at]));
      }
  return sum / (3.0 * right * a.height);
}

Actor* MarkerActor() {
  return drevActor_FromIndex(LightMgr_GetMarker());
}

bool InRoster(const char* setName, const Actor* actor) {
  for (const RosterNode* n = drevRoom_GetSetActors(setName); n; n = n->next)
    if (drevActor_FromIndex(static_cast<int>(n->actor)) == actor) return true;
  return false;
}

void Play() {
  Game game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.Await("the yard is ready", 10));
  game.Frames(150);  // the iris has opened, the title has gone

  // F8 in the game's window opens the tool: the set's two lights, the first
  // selected, its marker at the light.
  game.Press(SDLK_F8);
  game.Frames(2);
  ASSERT_TRUE(LightMgr_IsOpen());
  ASSERT_NE(kv_ToolWindow_GetWindow(), nullptr);
  Room* room = drevRoom_GetCurrent();
  ASSERT_NE(room, nullptr);
  ASSERT_EQ(room->numLights, 2u);
  ASSERT_NE(MarkerActor(), nullptr);
  EXPECT_TRUE(InRoster("demo.set", MarkerActor()));

  // Select the lamp, then the sun: the marker follows the selection.
  ASSERT_TRUE(game.Click(kLightMgrRow + 1));
  EXPECT_EQ(LightMgr_GetSelected(), 1);
  EXPECT_FLOAT_EQ(MarkerActor()->position.z, room->lights[1].position.z);
  EXPECT_FALSE(MarkerActor()->flags & ACTOR_HIDDEN);
  ASSERT_TRUE(game.Click(kLightMgrRow + 0));
  ASSERT_EQ(LightMgr_GetSelected(), 0);
  ASSERT_STREQ(room->lights[0].name, "sun");
  game.Frames(3);
  const Picture before = Screen();
  ASSERT_FALSE(before.rgb.empty()) << "no picture of the screen";
  game.Frames(3);
  EXPECT_LT(Difference(before, Screen()), 0.05) << "the picture changes by itself";

  // The tool window has the keyboard focus (as a click gives it with a
  // window manager). Right held: 20 steps growing from 0.01 by 0.005; keypad
  // 6 held: the y angle turns by 1, 1.5, ... 10.5 degrees.
  SDL_SetWindowInputFocus(kv_ToolWindow_GetWindow());
  game.Frames(2);
  const qxVector3 start = room->lights[0].position;
  const qxVector3 direction = room->lights[0].light.direction;
  game.Hold(SDLK_RIGHT, SDL_SCANCODE_RIGHT, 19);
  EXPECT_NEAR(room->lights[0].position.x, start.x + 1.15f, 1e-3);
  EXPECT_FLOAT_EQ(room->lights[0].position.y, start.y);
  for (uint32_t s = 0; s < room->numSetups; ++s) {
    ASSERT_NE(room->setups[s].camera, nullptr);
    EXPECT_NEAR(room->setups[s].camera->lightPositions[0].x, start.x + 1.15f, 1e-3) << s;
  }
  qxVector3 angles{};
  LightMgr_GetAngles(&angles);
  const float yaw = angles.y;
  game.Hold(SDLK_KP_6, SDL_SCANCODE_KP_6, 19);
  LightMgr_GetAngles(&angles);
  EXPECT_NEAR(angles.y, yaw + 115.0f > 360.0f ? yaw - 245.0f : yaw + 115.0f, 1e-3);
  EXPECT_GT(std::fabs(room->lights[0].light.direction.x - direction.x) +
                std::fabs(room->lights[0].light.direction.y - direction.y),
            0.5f);
  EXPECT_NEAR(MarkerActor()->position.x, room->lights[0].position.x, 1e-5);
  game.Frames(3);
  const double changed = Difference(before, Screen());
  EXPECT_GT(changed, 0.5) << "the turned sun did not change the picture";

  // Rename: blanks become '_'; the lamp may not take the sun's new name.
  ASSERT_TRUE(game.Click(kLightMgrRename));
  game.Type("big sun");
  ASSERT_TRUE(game.Click(kLightMgrRenameOk));
  EXPECT_STREQ(room->lights[0].name, "big_sun");
  ASSERT_TRUE(game.Click(kLightMgrRow + 1));
  ASSERT_TRUE(game.Click(kLightMgrRename));
  game.Type("big sun");
  ASSERT_TRUE(game.Click(kLightMgrRenameOk));
  EXPECT_STREQ(room->lights[1].name, "door_lamp");
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Duplicate light name: That name is already being "
                                              "used.  Enter a different one."});

  // Add lights up to 64; the 65th is refused.
  for (int n = 2; n < 64; ++n) ASSERT_TRUE(game.Click(kLightMgrAdd));
  EXPECT_EQ(room->numLights, 64u);
  EXPECT_STREQ(room->lights[63].name, "newlight63");
  EXPECT_EQ(room->setups[1].camera->lightCount, 64);
  g_boxes.clear();
  ASSERT_TRUE(game.Click(kLightMgrAdd));
  EXPECT_EQ(room->numLights, 64u);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Can't Add Light: Maximum number of lights already "
                                              "in room.  Try deleting a few."});

  // Save into a new set file "lit" (the extension comes by default), read
  // back through the set reader.
  ASSERT_TRUE(game.Click(kLightMgrSave));
  game.Type("lit");
  ASSERT_TRUE(game.Click(kLightMgrSaveOk));
  ASSERT_TRUE(fs::exists("lit.set"));
  Room* saved = drevRoom_Create("lit.set");
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->numLights, 64u);
  EXPECT_STREQ(saved->lights[0].name, "big_sun");
  EXPECT_NEAR(saved->lights[0].position.x, room->lights[0].position.x, 1e-3);
  EXPECT_STREQ(saved->lights[1].name, "door_lamp");
  EXPECT_STREQ(saved->lights[63].name, "newlight63");
  EXPECT_EQ(saved->numSetups, room->numSetups);
  drevRoom_Destroy(saved);

  // Nothing done in the tool window reached the game: no click walked Quill.
  EXPECT_FALSE(game.Said("Quill walks to"));

  // A game saved (F5) and loaded (F9) while the tool is open: the set is
  // made anew, and the tool takes it up with its marker, which came back
  // with the loaded game.
  SDL_SetWindowInputFocus(Game::Window());
  game.Frames(2);
  const int marker = LightMgr_GetMarker();
  game.Press(SDLK_F5);
  ASSERT_TRUE(game.Await("saved: ", 60));
  game.Press(SDLK_F9);
  ASSERT_TRUE(game.Await("game loaded: ", 120));
  game.Frames(2);
  room = drevRoom_GetCurrent();
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(LightMgr_GetRoom(), room);
  EXPECT_EQ(LightMgr_GetSelected(), 0);
  EXPECT_EQ(LightMgr_GetMarker(), marker);
  EXPECT_TRUE(InRoster("demo.set", MarkerActor()));
  EXPECT_NEAR(MarkerActor()->position.x, room->lights[0].position.x, 1e-5);

  // F8 in the game's window closes the tool; the marker is hidden and out of
  // the set.
  game.Press(SDLK_F8);
  EXPECT_FALSE(LightMgr_IsOpen());
  EXPECT_EQ(kv_ToolWindow_GetWindow(), nullptr);
  ASSERT_NE(MarkerActor(), nullptr);
  EXPECT_TRUE(MarkerActor()->flags & ACTOR_HIDDEN);
  EXPECT_FALSE(InRoster("demo.set", MarkerActor()));
  game.Frames(2);
}

// The engine starts once per process: the play runs in a child.
TEST(LightManager, PlacesTheDemoSetsLightsInItsWindow) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Play();
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the light manager's play failed (its messages are above)";
}

}  // namespace
