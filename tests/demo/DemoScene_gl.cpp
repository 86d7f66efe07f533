// The demo game played end to end, under Xvfb, once with the new (hardware)
// rendering and once with the classic (software) rendering: real pointer,
// button and key events through the window system and the input layer walk
// Quill to the door and onto the porch (the camera changes setup), make him
// look at the window and talk, save in the middle of a walk and load it
// again, watch the sunset movie and the road cutscene, and switch the
// rendering mode; C plays the director's commentary. A shorter play started
// with -nofmv watches the sunset as the classic cutscene. Further plays
// resume the latest save when started with -s (after a save that could not
// be written, which the scene reports on screen), and start with a shader of
// the new rendering missing (the classic picture shows). At each point the engine's screenshot is compared
// with the expected picture in tests/fixtures/demo/, and at some of them
// what the window shows (as the X server has it after the frame's present)
// with the expected picture in tests/fixtures/demo/window/
// (tests/fixtures/README.md says what each picture shows); the scene's
// messages and the program log are checked for the expected lines and for no
// error line.
//
// Frames are driven by hand with a game clock of 33 ms a frame, so walks,
// turns, chores and the iris look the same on every machine. The classic
// cutscenes run on that clock too, and the high-definition movie's clock is
// held and let go by the test, so every picture of a movie shows the same
// frame. Voices, music and the rest of a movie play in real time on their
// own threads: the test waits for their end by the scene's messages, never
// by a frame count, and takes no picture while they decide what is shown.
//
// Each play runs in a child process of its own (the engine starts once per
// process). VQ_UPDATE_PICTURES=1 writes the pictures of a run into the
// fixtures folder in place of comparing them.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "XTestInput.h"
#include "actors/drevActor.h"
#include "app/voskdemo.h"
#include "engine/drevMain_Save.h"
#include "engine/drevTime.h"
#include "melos/MelosScript.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Input.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Registry.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Save.h"
#include "presentation/drevMouse.h"
#include "presentation/drevRender.h"
#include "render/HardwareOverlay.h"
#include "std/stdInput.h"
#include "vembra/vembra_animplay.h"
#include "vembra/vembra_timer.h"
#include "video/KineVideoClip.h"
#include "video/MovieHD.h"
#include "video/kvaudio_AudioInterface.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFrameMs = 33;

// ---- The game clock -----------------------------------------------------------------

uint32_t g_now = 1000;
uint32_t GameTicks() { return g_now; }
double GameTimeMs() { return g_now; }

// The classic cutscene player's clock: its timer module is started here
// without its thread (the engine's start then finds it running) and ticks
// twice in every frame, and its pacing takes the frames it decoded as the
// time of the movie's sound, so the picture is never behind. A cutscene then
// shows the same frame on the same frame of the game on every machine.
int32_t CutsceneSoundMs(int /*voice*/) {
  return static_cast<int32_t>(int64_t{Vembra_DecodedFrames()} * 1000 / 15);
}
void UseCutsceneClock() {
  vembra_timer_Start(false);
  vembra_animplay_SetVoiceClock(CutsceneSoundMs);
}
void EndCutsceneClock() {
  vembra_animplay_SetVoiceClock(nullptr);
  vembra_timer_Stop();
}

// The high-definition movie's clock moves only with the movie's sound handed
// to the device, one 32 ms block at a time. While the test holds it, a block
// goes only when the test allows one: -1 lets every block go.
std::atomic<int> g_movieBlocks{-1};
void HeldWaitFree(int channel) {
  for (;;) {
    int allowed = g_movieBlocks.load();
    if (allowed < 0) break;
    if (allowed > 0 && g_movieBlocks.compare_exchange_weak(allowed, allowed - 1)) break;
    SDL_Delay(1);
  }
  AudioChannel_WaitFree(channel);
}
const kvaudio_Channel kHeldMovieChannel = {HeldWaitFree,
                                           AudioChannel_Lock,
                                           AudioChannel_Unlock,
                                           AudioChannel_GetBuffer,
                                           AudioChannel_GetWriteBlock,
                                           AudioChannel_CommitBlock,
                                           AudioChannel_SignalFilled,
                                           AudioChannel_IsActive};

void WindowSize(int* width, int* height) {
  SDL_GetWindowSize(kv_Platform_GetWindowState()->window, width, height);
}

// Every clock of the frame reads the game clock: the engine frame, the input
// layer, the cursor's animation and the rendering-mode fade.
void UseGameClock() {
  drevTime_SetTickSource(GameTicks);
  static const stdInputDevices devices = {
      GameTicks,          kv_Input_GetControllerAxis, kv_Input_GetControllerButton,
      kv_Input_GetControllerButtonCount, kv_Input_OpenController, SDL_NumJoysticks,
      kv_Input_GetMouseState, WindowSize, kv_Input_GetMouseButton,
      [] {
        SDL_JoystickUpdate();
        SDL_GameControllerUpdate();
      }};
  stdInput_SetDevices(&devices);
  static const drevMouseSource mouse = {kv_Input_GetMouseState, GameTicks};
  drevMouse_SetSource(&mouse);
  static const kvRenderHooksHost host = {GameTimeMs, nullptr, drevRender_GetResolutionScaling,
                                         nullptr};
  kv_RenderHooks_SetHost(&host);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- Pictures -----------------------------------------------------------------------

struct Picture {
  int width = 0, height = 0;
  std::string rgb;  // 3 bytes a pixel
};

Picture LoadPicture(const fs::path& path) {
  Picture picture;
  int channels = 0;
  unsigned char* pixels = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 3);
  if (!pixels) return {};
  picture.rgb.assign(reinterpret_cast<char*>(pixels),
                     static_cast<size_t>(picture.width) * picture.height * 3);
  stbi_image_free(pixels);
  return picture;
}

// The picture a quarter of the size in each direction, each pixel the mean
// of a 4x4 block: small enough to commit, fine enough to show a line of text
// or a movie frame.
Picture QuarterSize(const Picture& full) {
  Picture small;
  small.width = full.width / 4;
  small.height = full.height / 4;
  small.rgb.resize(static_cast<size_t>(small.width) * small.height * 3);
  for (int y = 0; y < small.height; ++y) {
    for (int x = 0; x < small.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int dy = 0; dy < 4; ++dy) {
          for (int dx = 0; dx < 4; ++dx) {
            const size_t at = (static_cast<size_t>(4 * y + dy) * full.width + 4 * x + dx) * 3 + c;
            sum += static_cast<unsigned char>(full.rgb[at]);
          }
        }
        small.rgb[(static_cast<size_t>(y) * small.width + x) * 3 + c] =
            static_cast<char>((sum + 8) / 16);
      }
    }
  }
  return small;
}

// Pictures match when they differ by little on average and in few places.
// The engine's screenshots allow a mean of 2 and 1% of the pixels far off: a
// mouth shape or a cursor frame may differ, a moved actor may not. The
// window's pictures are a quarter of the size, where a line of text covers
// less than 1%: they allow a mean of 1 and 0.1%.
struct Tolerance {
  double mean;
  double farPercent;
};
constexpr Tolerance kScreenshotTolerance = {2.0, 1.0};
constexpr Tolerance kWindowTolerance = {1.0, 0.1};

::testing::AssertionResult Matches(const Picture& actual, const Picture& expected,
                                   const Tolerance& tolerance) {
  if (actual.width != expected.width || actual.height != expected.height) {
    return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height
                                         << ", expected " << expected.width << "x"
                                         << expected.height;
  }
  const size_t pixels = static_cast<size_t>(actual.width) * actual.height;
  double sum = 0;
  size_t far = 0;
  for (size_t p = 0; p < pixels; ++p) {
    int most = 0;
    for (size_t c = 3 * p; c < 3 * p + 3; ++c) {
      const int d = std::abs(static_cast<unsigned char>(actual.rgb[c]) -
                             static_cast<unsigned char>(expected.rgb[c]));
      sum += d;
      most = std::max(most, d);
    }
    if (most > 48) ++far;
  }
  const double mean = sum / (3.0 * pixels);
  const double farPercent = 100.0 * static_cast<double>(far) / pixels;
  if (mean <= tolerance.mean && farPercent <= tolerance.farPercent) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "mean difference " << mean << " (at most " << tolerance.mean << "), " << farPercent
         << "% of the pixels far off (at most " << tolerance.farPercent << "%)";
}

// Relative luminance of an sRGB pixel (0 black to 1 white).
double Luminance(const Picture& p, size_t pixel) {
  double channel[3];
  for (int c = 0; c < 3; ++c) {
    const double v = static_cast<unsigned char>(p.rgb[3 * pixel + c]) / 255.0;
    channel[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  }
  return 0.2126 * channel[0] + 0.7152 * channel[1] + 0.0722 * channel[2];
}

// How a line of light text stands out from what lies behind it: within the
// window rectangle of the line, the contrast ratio (L1 + 0.05) / (L2 + 0.05)
// of its brightest pixels (the text's own, the 98th percentile) and the
// median (the background behind the text, which covers most of the
// rectangle).
double TextContrast(const Picture& window, int x0, int y0, int x1, int y1) {
  std::vector<double> values;
  for (int y = std::max(0, y0); y < std::min(window.height, y1); ++y) {
    for (int x = std::max(0, x0); x < std::min(window.width, x1); ++x) {
      values.push_back(Luminance(window, static_cast<size_t>(y) * window.width + x));
    }
  }
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double text = values[values.size() * 98 / 100];
  const double background = values[values.size() / 2];
  return (text + 0.05) / (background + 0.05);
}

// ---- The scene ----------------------------------------------------------------------

class Scene {
 public:
  // The mode names the expected pictures; the play runs in the folder
  // game_<folder> (game_<mode> when none is given).
  explicit Scene(const char* mode, const char* folder = nullptr)
      : mode_(mode), folder_(folder ? folder : mode) {}
  // A play that failed half-way still shuts the engine down, so no thread
  // of it outlives the process's exit.
  ~Scene() {
    if (started_) Stop();
  }

  // Copies the staged game into a folder of its own, starts the engine there
  // as the program does, with the given rendering setting, and shows the
  // window.
  // A play that goes on in the folder of an earlier one (its saves and
  // settings kept) passes again = true. A file named in leaveOut (relative
  // to the game folder) is not copied.
  bool Start(int classic, const char* commandLine = "-log", bool again = false,
             const char* leaveOut = nullptr) {
    const char* staged = std::getenv("VQ_GAME_DIR");
    if (!staged) return false;
    const fs::path work = fs::current_path() / ("game_" + folder_);
    if (!again) {
      fs::remove_all(work);
      fs::create_directories(work / "shots");
      for (const auto& entry : fs::directory_iterator(staged)) {
        const std::string name = entry.path().filename();
        if (name == "VoskQuorvale" || name == "Saves" || name.ends_with(".log")) continue;
        fs::copy(entry.path(), work / name, fs::copy_options::recursive);
      }
      if (leaveOut && !fs::remove(work / leaveOut)) return false;
    }
    fs::current_path(work);
    // The scene's messages go to standard error.
    if (!std::freopen("messages.txt", "w", stderr)) return false;
    std::setvbuf(stderr, nullptr, _IONBF, 0);

    voskdemo_InstallCalls();
    UseGameClock();
    UseCutsceneClock();
    kvaudio_SetChannel(&kHeldMovieChannel);
    kv_Log_Open("Vosk.log");
    kv_Save_InitWriteDirectory();
    if (!kv_Platform_InitWindow()) return false;
    kv_Platform_GetGameHooks()->initRenderBackends();
    if (!kv_Platform_GetGameHooks()->init(commandLine)) return false;
    kv_Platform_GetState()->loopRunning = 1;
    started_ = true;
    kv_Registry_WriteFloat("RenderingMode", static_cast<float>(classic));
    return xtest::Open(kv_Platform_GetWindowState()->window) == 1;
  }

  void Stop() {
    started_ = false;
    ReleaseMovieClock();
    kv_Platform_PostQuit();
    while (!kv_Platform_GetState()->quit) kv_Platform_RunOnce();
    kv_Platform_Shutdown();
    kvaudio_SetChannel(nullptr);
    EndCutsceneClock();
  }

  // One pass of the main loop with 33 ms of game time: the cutscene clock's
  // two ticks, the events, then the tick. The save, load and erase threads
  // work in real time: a frame first waits for the one at work, so the game
  // sees it finish at the same frame on a fast or a slow, busy machine (the
  // wall-clock guard only ends a hang).
  void Frame() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      const int io = drevMain_saveIoState.load();
      if (io != kSaveIoWriting && io != kSaveIoReading && io != kSaveIoErasing) break;
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    g_now += kFrameMs;
    vembra_timer_Tick();
    vembra_timer_Tick();
    kv_Platform_PumpEvents();
    kv_Platform_GetGameHooks()->tick();
  }
  void Frames(int count) {
    for (int i = 0; i < count; ++i) Frame();
  }

  // Runs frames until the scene says "[Demo] - <text>" after what was already
  // seen. Game-time events must come within the given frames; events of the
  // real-time threads (voices, movies) get real time: each frame then waits a
  // little, and only the wall-clock guard ends a hang.
  ::testing::AssertionResult Await(const std::string& text, int frames) {
    const std::string line = "[Demo] - " + text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (int n = 0; frames <= 0 || n < frames; ++n) {
      const std::string messages = ReadAll("messages.txt");
      const size_t at = messages.find(line, seen_);
      if (at != std::string::npos) {
        seen_ = at + line.size();
        return ::testing::AssertionSuccess();
      }
      if (frames <= 0) {
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      Frame();
    }
    return ::testing::AssertionFailure() << "the scene did not say \"" << line << "\"";
  }
  // The rest of the message line the last Await found.
  std::string RestOfLine() const {
    const std::string messages = ReadAll("messages.txt");
    const size_t end = messages.find('\n', seen_);
    return messages.substr(seen_, end == std::string::npos ? std::string::npos : end - seen_);
  }

  // The window pixel of a point of the game's 640x480 picture (the 4:3 area
  // of the back buffer).
  static void WindowPoint(int x, int y, int* wx, int* wy) {
    float sx = 1, sy = 1, ox = 0, oy = 0;
    kv_Platform_AspectFitToBackBuffer(kv_RenderHooks_IsWidescreen(), 1440, 1080, &sx, &sy, &ox,
                                      &oy);
    *wx = static_cast<int>(std::lround(ox + (x + 0.5f) * 2.25f * sx));
    *wy = static_cast<int>(std::lround(oy + (y + 0.5f) * 2.25f * sy));
  }
  void Point(int x, int y) {
    int wx = 0, wy = 0;
    WindowPoint(x, y, &wx, &wy);
    xtest::MovePointer(wx, wy);
    Frame();
  }
  // Points at (x, y) and clicks: the button is down for one frame.
  void Click(int x, int y, int button) {
    Point(x, y);
    xtest::Button(button, true);
    Frame();
    xtest::Button(button, false);
    Frame();
  }
  void Press(SDL_Keycode key) {
    xtest::Key(key, true);
    Frame();
    xtest::Key(key, false);
    Frame();
  }
  // F5: the save is made in the frame after the key's, and written on a
  // thread of its own; the test waits for the thread in real time, so the
  // frame that brings its result is always the next one.
  void PressSave() {
    Press(SDLK_F5);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (drevMain_saveIoState.load() != kSaveIoIdle &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // The high-definition movie's clock stops where it is (before the movie
  // starts: at its beginning) until ShowMovieFrame or ReleaseMovieClock.
  void HoldMovieClock() { g_movieBlocks = 0; }
  void ReleaseMovieClock() { g_movieBlocks = -1; }
  // Lets the held movie clock run into the given frame's time and runs
  // frames until the movie shows that frame: the decoding runs on the video
  // player's own thread, so this waits in real time, but the frame shown is
  // always the same.
  ::testing::AssertionResult ShowMovieFrame(int frame) {
    KineVideoClip* clip = MovieHD_GetState().clip;
    if (!clip || clip->GetFps() <= 0) {
      return ::testing::AssertionFailure() << "no high-definition movie plays";
    }
    constexpr float kBlockSeconds = KVAUDIO_BLOCK_BYTES / (KVAUDIO_RATE * 4.0f);
    const float start = static_cast<float>(frame) / clip->GetFps();
    g_movieBlocks = static_cast<int>(start / kBlockSeconds) + 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
      Frame();
      clip = MovieHD_GetState().clip;
      if (!clip) return ::testing::AssertionFailure() << "the movie ended before frame " << frame;
      // Every frame before it was shown or passed over; it is not over yet.
      if (g_movieBlocks == 0 && clip->GetDisplayedFrames() == frame + 1) {
        return ::testing::AssertionSuccess();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ::testing::AssertionFailure()
           << "the movie did not show frame " << frame << " (clock at " << clip->GetTime() << " s, "
           << clip->GetDisplayedFrames() << " frames shown)";
  }

  // What the window shows now, at full size.
  static Picture Window() {
    Picture full;
    if (!xtest::CaptureWindow(&full.rgb, &full.width, &full.height)) return {};
    return full;
  }

  // The engine's screenshot of the picture, compared with the expected one
  // (or written as the expected one).
  ::testing::AssertionResult Shot(const std::string& name) {
    const std::string file = std::string(mode_) + "_" + name;
    const fs::path taken = fs::path("shots") / (file + ".bmp");
    drevRender_SaveScreenImage(taken.c_str());
    const Picture actual = LoadPicture(taken);
    if (actual.rgb.empty()) return ::testing::AssertionFailure() << "no screenshot " << taken;
    return Compare(actual, fs::path("demo") / file, file, kScreenshotTolerance);
  }

  // What the window shows after the last frame's present, as the X server
  // has it, at a quarter of its size, compared with the expected picture in
  // the fixtures' demo/window folder (or written as that picture).
  ::testing::AssertionResult WindowShot(const std::string& name) {
    Picture full;
    if (!xtest::CaptureWindow(&full.rgb, &full.width, &full.height)) {
      return ::testing::AssertionFailure() << "the X server gave no picture of the window";
    }
    const std::string file = std::string(mode_) + "_" + name;
    return Compare(QuarterSize(full), fs::path("demo") / "window" / file, "window_" + file,
                   kWindowTolerance);
  }

 private:
  // The picture against fixtures/<fixture>.png; one that differs is kept as
  // shots/<kept>.png.
  static ::testing::AssertionResult Compare(const Picture& actual, const fs::path& fixture,
                                            const std::string& kept, const Tolerance& tolerance) {
    const fs::path expected = fs::path(std::getenv("VQ_FIXTURES")) / (fixture.string() + ".png");
    const char* update = std::getenv("VQ_UPDATE_PICTURES");
    if (update && *update == '1') {
      fs::create_directories(expected.parent_path());
      stbi_write_png(expected.c_str(), actual.width, actual.height, 3, actual.rgb.data(),
                     actual.width * 3);
      return ::testing::AssertionSuccess();
    }
    const auto result = Matches(actual, LoadPicture(expected), tolerance);
    if (!result) {
      const fs::path taken = fs::path("shots") / (kept + ".png");
      stbi_write_png(taken.c_str(), actual.width, actual.height, 3, actual.rgb.data(),
                     actual.width * 3);
      return ::testing::AssertionFailure() << kept << ": " << result.message()
                                           << "; the picture taken is " << fs::absolute(taken);
    }
    return result;
  }

  const char* mode_;
  std::string folder_;
  size_t seen_ = 0;
  bool started_ = false;
};

// Lines of the program log or the scene's messages that report a failure,
// less those this machine gives by design: no Steam client, no remembered
// display device on a first start, no debug-log window library, and the
// OpenGL checks that found no error.
std::string ErrorLines(const std::string& text) {
  std::string found;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::string lower = line;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool expected = false;
    for (const char* known : {"failed initializing steam api", "could not find matching device",
                              "libtallowin.so not found", "no error", "no_error"}) {
      expected = expected || lower.find(known) != std::string::npos;
    }
    if (expected) continue;
    for (const char* word : {"error", "fail", "not built yet", "could not", "cannot", "not found",
                             "missing", "assert", "sanitizer"}) {
      if (lower.find(word) != std::string::npos) {
        found += line + "\n";
        break;
      }
    }
  }
  return found;
}

// The contrast of a line of text in a rectangle of the game's 640x480
// picture, as the window shows it now: at least the given ratio (3 for the
// large title, 4.5 for the small help line).
void ExpectReadable(const char* what, int x0, int y0, int x1, int y1, double least) {
  const Picture window = Scene::Window();
  ASSERT_FALSE(window.rgb.empty()) << "the X server gave no picture of the window";
  int wx0 = 0, wy0 = 0, wx1 = 0, wy1 = 0;
  Scene::WindowPoint(x0, y0, &wx0, &wy0);
  Scene::WindowPoint(x1, y1, &wx1, &wy1);
  const double contrast = TextContrast(window, wx0, wy0, wx1, wy1);
  std::printf("contrast of the %s: %.1f\n", what, contrast);
  EXPECT_GE(contrast, least) << "the " << what << " can hardly be read";
}

// Mean relative luminance of a rectangle of a picture.
double MeanLuminance(const Picture& p, int x0, int y0, int x1, int y1) {
  double sum = 0;
  int count = 0;
  for (int y = std::max(0, y0); y < std::min(p.height, y1); ++y) {
    for (int x = std::max(0, x0); x < std::min(p.width, x1); ++x, ++count) {
      sum += Luminance(p, static_cast<size_t>(y) * p.width + x);
    }
  }
  return count ? sum / count : 0.0;
}

// Quill's shadow on the ground in a rectangle of the game's 640x480 picture,
// as the window shows it now: the ground there is at most `most` times as
// bright as the bare background (the new rendering's screenshot of the yard,
// which holds the set's background alone).
void ExpectShadow(int x0, int y0, int x1, int y1, double most) {
  const Picture window = Scene::Window();
  ASSERT_FALSE(window.rgb.empty()) << "the X server gave no picture of the window";
  const Picture ground =
      LoadPicture(fs::path(std::getenv("VQ_FIXTURES")) / "demo" / "new_yard.png");
  ASSERT_EQ(ground.width, 640);
  int wx0 = 0, wy0 = 0, wx1 = 0, wy1 = 0;
  Scene::WindowPoint(x0, y0, &wx0, &wy0);
  Scene::WindowPoint(x1, y1, &wx1, &wy1);
  const double shaded = MeanLuminance(window, wx0, wy0, wx1, wy1);
  const double bare = MeanLuminance(ground, x0, y0, x1, y1);
  std::printf("ground under the shadow: %.4f, bare: %.4f\n", shaded, bare);
  EXPECT_LE(shaded, most * bare) << "no shadow on the ground";
}

// A click on a thing (within the given frames Quill looks at it) and the
// line he says about it, which Escape cuts short.
void LookAndCutLine(Scene& scene, int x, int y, int button, const std::string& thing,
                    const std::string& line, int frames) {
  scene.Click(x, y, button);
  ASSERT_TRUE(scene.Await("Quill looks at the " + thing, frames));
  ASSERT_TRUE(scene.Await("Quill says /" + line + "/", 1));
  scene.Press(SDLK_ESCAPE);
  ASSERT_TRUE(scene.Await("the line is over", 2));
}

// A right click on the sun: after Quill's line the sunset movie starts.
void StartSunset(Scene& scene) {
  ASSERT_NO_FATAL_FAILURE(LookAndCutLine(scene, 530, 80, 3, "sun", "SUN01", 120));
  ASSERT_TRUE(scene.Await("the sunset movie starts", 1));
}

// The whole play in one rendering mode.
void Play(const char* mode, int classic) {
  Scene scene(mode);
  ASSERT_TRUE(scene.Start(classic));

  // The yard at dusk: the iris opens, the title shows, Quill rests.
  ASSERT_TRUE(scene.Await("the yard is ready", 1));
  scene.Frames(45);
  EXPECT_TRUE(scene.Shot("yard"));
  EXPECT_TRUE(scene.WindowShot("yard"));
  ExpectReadable("title", 170, 28, 470, 50, 3.0);
  ExpectReadable("help line", 40, 460, 600, 476, 4.5);
  // Quill's shadow falls from his feet toward the lower left, away from the
  // low sun (the classic rendering's planar shadow).
  if (classic) ExpectShadow(356, 364, 380, 380, 0.6);

  // C plays the director's commentary: its strip and first subtitle show;
  // C again stops it.
  scene.Press(SDLK_c);
  const auto commentaryStart = std::chrono::steady_clock::now();
  ASSERT_TRUE(scene.Await("commentary 1", 2));
  // The strip is in after 300 ms of game time; the subtitles follow the
  // commentary's sound, in real time: the picture comes well before the
  // second one (4.3 s in) unless the machine is very slow (a sanitizer build
  // under load); then the picture may hold either subtitle and is not
  // compared, which the test says.
  scene.Frames(10);
  const auto shot = scene.WindowShot("commentary");
  const double commentarySeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - commentaryStart).count();
  if (commentarySeconds < 4.0) {
    EXPECT_TRUE(shot);
  } else {
    std::printf("the commentary's picture came %.1f s in, past its first subtitle: not compared\n",
                commentarySeconds);
  }
  scene.Press(SDLK_c);
  ASSERT_TRUE(scene.Await("commentary 0", 2));

  // A click on the door: Quill walks there, the camera follows him onto the
  // porch, he looks at the door and says his line (the picture is taken on
  // the line's first frame).
  scene.Click(197, 230, 1);
  ASSERT_TRUE(scene.Await("Quill walks to -1.40 2.45", 10));
  ASSERT_TRUE(scene.Await("camera setup 1", 300));
  ASSERT_TRUE(scene.Await("music state 1002", 1));
  ASSERT_TRUE(scene.Await("Quill stops at", 300));
  ASSERT_TRUE(scene.Await("Quill looks at the door", 120));
  ASSERT_TRUE(scene.Await("Quill says /DOOR01/", 1));
  EXPECT_TRUE(scene.Shot("porch_door"));
  // The line shows as text too (the demo gives lines as text and voice).
  EXPECT_TRUE(scene.WindowShot("porch_door"));
  ExpectReadable("help line on the porch", 40, 460, 600, 476, 4.5);
  ASSERT_TRUE(scene.Await("the line is over", 0));

  // A right click on the window of the porch view: look and talk.
  scene.Click(465, 190, 3);
  ASSERT_TRUE(scene.Await("Quill looks at the window", 120));
  ASSERT_TRUE(scene.Await("Quill says /WINDOW01/", 1));
  EXPECT_TRUE(scene.Shot("porch_window"));
  // Escape cuts a line short.
  scene.Press(SDLK_ESCAPE);
  ASSERT_TRUE(scene.Await("the line is over", 2));

  // A click on the floor of the porch view's foreground sends Quill back
  // into the yard; in the middle of the walk F5 saves the game.
  scene.Click(440, 440, 1);
  ASSERT_TRUE(scene.Await("Quill walks to", 10));
  ASSERT_TRUE(scene.Await("camera setup 0", 300));
  scene.Frames(10);
  scene.PressSave();
  ASSERT_TRUE(scene.Await("saving to slot 1", 1));
  ASSERT_TRUE(scene.Await("saved: ", 2));
  const std::string saved = scene.RestOfLine();
  const int savedMusic = MelosScript_CurrentState();
  EXPECT_TRUE(scene.Shot("walk_saved"));
  ASSERT_TRUE(scene.Await("Quill stops at ", 300));
  const std::string stop = scene.RestOfLine();
  scene.Frames(20);

  // F9 loads it: Quill is back where he was, in the middle of his walk with
  // the same chores and music, and the walk's task goes on to the same end.
  scene.Press(SDLK_F9);
  ASSERT_TRUE(scene.Await("game loaded: ", 60));
  EXPECT_EQ(scene.RestOfLine(), saved);
  EXPECT_EQ(MelosScript_CurrentState(), savedMusic);
  EXPECT_TRUE(scene.Shot("walk_loaded"));
  ASSERT_TRUE(scene.Await("Quill stops at ", 300));
  EXPECT_EQ(scene.RestOfLine(), stop);

  // The sunset movie (the high-definition replacement of intro.snm) brings
  // the night. Its clock is held from its start; a second into it the
  // picture is taken.
  scene.HoldMovieClock();
  ASSERT_NO_FATAL_FAILURE(StartSunset(scene));
  EXPECT_TRUE(scene.ShowMovieFrame(25));
  EXPECT_TRUE(scene.WindowShot("sunset_movie"));
  scene.ReleaseMovieClock();
  ASSERT_TRUE(scene.Await("the sunset movie is over", 0));
  ASSERT_TRUE(scene.Await("music state 1999", 1));
  ASSERT_TRUE(scene.Await("Quill says /NIGHT01/", 1));
  // The frame in which a movie ends draws no actors: the picture waits a
  // few frames.
  scene.Frames(10);
  EXPECT_TRUE(scene.Shot("night"));
  scene.Press(SDLK_ESCAPE);
  ASSERT_TRUE(scene.Await("the line is over", 2));

  // A click on the gate: Quill walks out through it and the classic cutscene
  // of the road plays; he comes back.
  ASSERT_NO_FATAL_FAILURE(LookAndCutLine(scene, 580, 260, 1, "gate", "GATE01", 600));
  ASSERT_TRUE(scene.Await("Quill leaves through the gate", 300));
  ASSERT_TRUE(scene.Await("the road cutscene starts", 1));
  scene.Frames(20);
  EXPECT_TRUE(scene.WindowShot("road_cutscene"));
  ASSERT_TRUE(scene.Await("the road cutscene is over", 0));
  ASSERT_TRUE(scene.Await("Quill says /BACK01/", 1));
  scene.Frames(10);
  EXPECT_TRUE(scene.Shot("back"));
  scene.Press(SDLK_ESCAPE);
  ASSERT_TRUE(scene.Await("the line is over", 2));

  // F2 switches the rendering mode.
  scene.Press(SDLK_F2);
  ASSERT_TRUE(scene.Await(classic ? "new rendering" : "classic rendering", 1));
  scene.Frames(30);
  EXPECT_TRUE(scene.Shot("switched"));

  scene.Stop();
  EXPECT_EQ(ErrorLines(ReadAll("messages.txt")), "");
  EXPECT_EQ(ErrorLines(ReadAll("Vosk.log")), "");
}

// The sunset in a program started with -nofmv: the classic cutscene
// intro.snm plays in place of the high-definition movie.
void PlaySunsetWithoutMovies(const char* mode, int classic) {
  Scene scene(mode);
  ASSERT_TRUE(scene.Start(classic, "-log -nofmv"));
  ASSERT_TRUE(scene.Await("the yard is ready", 1));
  scene.Frames(45);
  ASSERT_NO_FATAL_FAILURE(StartSunset(scene));
  scene.Frames(20);
  EXPECT_TRUE(scene.WindowShot("sunset_cutscene"));
  // Escape cuts the cutscene short.
  scene.Press(SDLK_ESCAPE);
  ASSERT_TRUE(scene.Await("the sunset movie is over", 10));
  scene.Stop();
  EXPECT_EQ(ErrorLines(ReadAll("messages.txt")), "");
  EXPECT_EQ(ErrorLines(ReadAll("Vosk.log")), "");
}

// A save, then one that cannot be written (the slot's folder is a file in
// this play, so that it fails for root too): the scene says so on screen and
// in its messages. The first save is put back in place, and a start with -s
// (ResumeWithS) finds Quill where it saved him.
constexpr char kResumeFolder[] = "resume";
constexpr char kSavedStateFile[] = "saved_state.txt";

void SaveAndFailToSave(const char* mode, int classic) {
  Scene scene(mode, kResumeFolder);
  ASSERT_TRUE(scene.Start(classic));
  ASSERT_TRUE(scene.Await("the yard is ready", 1));
  scene.Frames(45);
  scene.Click(300, 420, 1);
  ASSERT_TRUE(scene.Await("Quill stops at", 300));
  scene.PressSave();
  ASSERT_TRUE(scene.Await("saved: ", 2));
  std::ofstream(kSavedStateFile) << scene.RestOfLine();

  const fs::path slot = "Saves/savedata0001";
  fs::rename(slot, "slot_kept");
  std::ofstream(slot) << "in the way";
  scene.Click(420, 380, 1);
  ASSERT_TRUE(scene.Await("Quill stops at", 300));
  scene.PressSave();
  ASSERT_TRUE(scene.Await("could not save (status ", 2));
  scene.Frames(5);
  EXPECT_TRUE(scene.WindowShot("could_not_save"));
  fs::remove(slot);
  fs::rename("slot_kept", slot);
  scene.Stop();
  EXPECT_EQ(ErrorLines(ReadAll("messages.txt")), "[Demo] - could not save (status 1)\n");
}

void ResumeWithS(const char* mode, int classic) {
  Scene scene(mode, kResumeFolder);
  ASSERT_TRUE(scene.Start(classic, "-log -s", true));
  ASSERT_TRUE(scene.Await("resuming the save of slot 1", 1));
  ASSERT_TRUE(scene.Await("game loaded: ", 60));
  EXPECT_EQ(scene.RestOfLine(), ReadAll(kSavedStateFile));
  scene.Stop();
  // The second start in this folder: the programs that the first one linked
  // come from the program cache instead of the compiler.
  EXPECT_NE(ReadAll("Vosk.log").find(
                "[OpenGL] Program cache: linked programs are loaded from Saves/ProgramCache/"),
            std::string::npos);
}

// The new rendering with one of its shaders missing: the classic picture
// shows, the log says why, and F2 stays with the classic rendering.
void PlayWithoutADeferredShader(const char*, int) {
  Scene scene("classic", "no_deferred");
  ASSERT_TRUE(scene.Start(0, "-log", false, "x86/shaders/compiled/deferred_resolve_p.glsl"));
  ASSERT_TRUE(scene.Await("the yard is ready", 1));
  scene.Frames(45);
  EXPECT_TRUE(scene.WindowShot("yard"));
  scene.Press(SDLK_F2);
  ASSERT_TRUE(scene.Await("the new rendering is not available: the classic rendering stays", 1));
  scene.Stop();
  const std::string log = ReadAll("Vosk.log");
  EXPECT_NE(log.find("The new rendering is not available: showing the classic rendering."),
            std::string::npos)
      << log;
}

// The engine starts once per process: each play runs in a child.
void PlayInChild(void (*play)(const char* mode, int classic), int classic) {
  const char* mode = classic ? "classic" : "new";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    play(mode, classic);
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the " << mode << " rendering's play failed (its messages are above)";
}

class DemoScene : public ::testing::TestWithParam<int> {};

TEST_P(DemoScene, PlaysEndToEnd) {
  PlayInChild(Play, GetParam());
}

TEST_P(DemoScene, PlaysSunsetWithoutMovies) {
  PlayInChild(PlaySunsetWithoutMovies, GetParam());
}

TEST(DemoSave, ReportsAFailedSaveAndResumesTheLatestWithS) {
  PlayInChild(SaveAndFailToSave, 0);
  PlayInChild(ResumeWithS, 0);
}

TEST(DemoRendering, FallsBackToTheClassicRenderingWithoutADeferredShader) {
  PlayInChild(PlayWithoutADeferredShader, 0);
}

INSTANTIATE_TEST_SUITE_P(Rendering, DemoScene, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "Classic" : "New"; });

}  // namespace
