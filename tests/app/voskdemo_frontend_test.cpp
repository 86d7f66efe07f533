// The front end against a fake display layer, a recording engine and fake
// tool libraries: the display choice and opening, start-up failing at each
// step, the shutdown order, the logging switch and printers, and the chore
// tool.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/voskdemo.h"
#include "engine/Res.h"
#include "platform/kv_Language.h"
#include "platform/kv_Platform.h"

namespace {

// ---- The fake display layer and the recording engine ------------------------------

constexpr ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
constexpr ColorFormat k8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

struct Fake {
  std::vector<std::string> log;  // every call, in order
  DisplayDevice device{};
  std::vector<VideoMode> modes;
  std::vector<stdDevice3DRecord> devices3D;
  int chosenDevice = 0;
  int chooseCriteria[5] = {};
  int openDevice = -1;
  int setMode = -1;
  DisplayBuffer* attachedDisplay = nullptr;
  DisplayBuffer* attachedZ = nullptr;
  DisplayBuffer* freed = nullptr;
  drevPresentHandler present = nullptr;
  std::string failing;  // the step that fails
  int engineFailResult = 1;
  ModuleDescriptor* engineDescriptor = nullptr;
  std::vector<void*> costumes;
  std::vector<int> paused;

  bool Record(const std::string& what) {
    log.push_back(what);
    return what == failing;
  }
  int Count(const std::string& what) const {
    return static_cast<int>(std::count(log.begin(), log.end(), what));
  }
};
Fake* g_fake = nullptr;

void InstallFakes() {
  voskdemoCalls& c = voskdemo_Calls();
  c.qxStartup = [](HostServices*) { return g_fake->Record("qxStartup") ? 0 : 1; };
  c.qxOpen = [](int) { return g_fake->Record("qxOpen") ? 0 : 1; };
  c.qxClose = [] { g_fake->Record("qxClose"); };
  c.qxShutdown = [] { g_fake->Record("qxShutdown"); };
  c.displayStartup = [] { return g_fake->Record("displayStartup") ? 0 : 1; };
  c.displayShutdown = [] { g_fake->Record("displayShutdown"); };
  c.engineInitialize = [](HostServices*, ModuleDescriptor* d) {
    g_fake->engineDescriptor = d;
    d->startup = [] { return g_fake->Record("engineStartup") ? 1 : 0; };
    d->shutdown = [] { g_fake->Record("engineShutdown"); };
    d->uninitialize = [] { g_fake->Record("engineUninitialize"); };
    return g_fake->Record("engineInitialize") ? 1 : 0;
  };
  c.setQuitHandler = [](drevQuitHandler) { g_fake->Record("setQuitHandler"); };
  c.setDisplayHandler = [](drevPaletteHandler) { g_fake->Record("setDisplayHandler"); };
  c.setPresentHandler = [](drevPresentHandler h) {
    g_fake->present = h;
    g_fake->Record("setPresentHandler");
  };
  c.setLogToggleHandler = [](drevLogToggleHandler) { g_fake->Record("setLogToggleHandler"); };
  c.scanDataDirectories = [] { g_fake->Record("scanDataDirectories"); };
  c.startScripts = [] { return g_fake->Record("startScripts") ? 1 : 0; };
  c.startGame = [](int, const char*) { return g_fake->Record("startGame") ? 1 : 0; };
  c.stopGame = [] { g_fake->Record("stopGame"); };
  c.spewStop = [] {
    g_fake->Record("spewStop");
    return 0;
  };

  c.displayNumDevices = [] { return g_fake->Record("numDevices") ? 0 : 1; };
  c.displayGetDevice = [](int i) -> const DisplayDevice* {
    return i == 0 ? &g_fake->device : nullptr;
  };
  c.display3DDevices = [](int, const stdDevice3DRecord** records) {
    *records = g_fake->devices3D.data();
    return static_cast<int>(g_fake->devices3D.size());
  };
  c.displayOpen = [](int i) {
    if (g_fake->Record("open") || g_fake->openDevice >= 0 || i != 0) return 0;
    g_fake->openDevice = i;
    return 1;
  };
  c.displayClose = [] {
    g_fake->Record("close");
    g_fake->openDevice = -1;
    g_fake->setMode = -1;
  };
  c.displayNumModes = [] { return static_cast<int>(g_fake->modes.size()); };
  c.displayGetMode = [](int i) -> const VideoMode* { return &g_fake->modes.at(i); };
  c.displaySetMode = [](int mode, uint8_t*, int) {
    if (g_fake->Record("setMode") || g_fake->openDevice < 0) return 0;
    g_fake->setMode = mode;
    return 1;
  };
  c.displayResetMode = [] {
    g_fake->Record("resetMode");
    g_fake->setMode = -1;
  };
  c.displayFlip = [] {
    g_fake->Record("flip");
    return 1;
  };
  c.displayChooseDevice = [](const int criteria[5]) {
    g_fake->Record("choose");
    std::copy(criteria, criteria + 5, g_fake->chooseCriteria);
    return g_fake->chosenDevice;
  };
  // A real search: the first mode of the wanted size and colour format.
  c.displayFindMode = [](const VideoMode* wanted, const VideoMode* modes, int count) {
    for (int i = 0; i < count; ++i) {
      if (modes[i].format.width == wanted->format.width &&
          modes[i].format.height == wanted->format.height &&
          std::memcmp(&modes[i].format.format, &wanted->format.format, sizeof(ColorFormat)) == 0)
        return i;
    }
    return -1;
  };
  c.fillBuffer = [](DisplayBuffer* buffer, uint32_t value, const stdRect*) {
    g_fake->Record(buffer == &stdDisplay_frontBuffer && value == 0 ? "fillFront" : "fill?");
    return 1;
  };
  c.newBuffer = [](const BufferFormat* format, int a, int b, uint8_t* palette) {
    g_fake->Record("newBuffer");
    return stdDisplay_NewBuffer(format, a, b, palette);
  };
  c.freeBuffer = [](DisplayBuffer* buffer) {
    g_fake->Record("freeBuffer");
    g_fake->freed = buffer;
    stdDisplay_FreeBuffer(buffer);
  };
  c.attachDisplay = [](DisplayBuffer* display, DisplayBuffer* z) {
    g_fake->Record("attach");
    g_fake->attachedDisplay = display;
    g_fake->attachedZ = z;
    return 0;
  };
  c.detachDisplay = [] {
    g_fake->Record("detach");
    return 0;
  };
  c.openResourceLog = [](const char* name) { g_fake->Record(std::string("resourceLog ") + name); };
  c.loadLibrary = [](const char* name) -> void* {
    g_fake->Record(std::string("load ") + name);
    return nullptr;
  };
  c.applyToolCostume = [](void* costume) {
    g_fake->Record("applyToolCostume");
    g_fake->costumes.push_back(costume);
  };
  c.endToolCostume = [] { g_fake->Record("endToolCostume"); };
  c.tick = [] { g_fake->Record("tick"); };
  c.setPaused = [](int pause) {
    g_fake->paused.push_back(pause);
    return 1;
  };
}

VideoMode Mode(int width, int height, const ColorFormat& format) {
  VideoMode mode{0, 1.0f, {width, height, 0, 0, 0, format}};
  stdDisplay_ComputeFormatSizes(&mode.format);
  return mode;
}

// The identity of a device record: its last 16 bytes.
void RememberDevice(const DisplayDevice& device) {
  std::memcpy(voskdemo_GetState()->rememberedDevice,
              reinterpret_cast<const uint8_t*>(&device + 1) - 16, 16);
}

class FrontEnd : public testing::Test {
 protected:
  void SetUp() override {
    std_DefaultServices(&std_Services);
    std_Startup(&std_Services);
    voskdemo_ResetForTest();
    voskdemo_ResetCalls();
    stdDevice3D_ResetForTest();
    kv_Language_Set(0);
    kvPlatformState* platform = kv_Platform_GetState();
    for (auto& entry : platform->handlers) entry = {};
    platform->handlerCount = 0;
    g_fake = &fake_;
    std::snprintf(fake_.device.name, sizeof fake_.device.name, "Fake Display Device");
    fake_.device.reserved2 = 1;
    fake_.device.reserved3 = fake_.device.reserved4 = 2000000;
    fake_.modes = {Mode(320, 200, k8), Mode(640, 480, k565)};
    InstallFakes();
  }
  void TearDown() override {
    voskdemo_CloseDisplay();
    voskdemo_FreeDisplayInfo();
    voskdemo_ResetCalls();
    voskdemo_ResetForTest();
    stdDevice3D_ResetForTest();
    std_DefaultServices(&std_Services);
    g_fake = nullptr;
  }
  void With3DDevices() {
    fake_.device.has3DDevice = 1;
    // The first shares no capability with the wanted device; the second does.
    fake_.devices3D = {{4, 1, 1, 0, 0, 0, 4, 4000000}, {9, 1, 1, 1, 0, 0, 2, 8000000}};
  }
  Fake fake_;
  voskdemo_State* state_ = voskdemo_GetState();
};

// ---- Display choice and opening ----------------------------------------------------

struct DisplayCase {
  const char* name;
  bool has3D;
  bool hardware;
  bool rememberDevice;    // the remembered identity is the device's
  int remembered3D;       // remembered 3D identity
  bool chooses;           // the display layer was asked to choose
  const char* debugText;  // what went to the debugger output
  int device3D;           // the 3D device in use (-1 none)
  int windowed;
};

TEST_F(FrontEnd, DisplayIsChosenAndOpenedWithItsZBuffer) {
  const DisplayCase cases[] = {
      {"default display", false, false, true, 0, false, "", -1, 1},
      {"no matching device", false, false, false, 0, true,
       "voskdemo_DefaultDisplay: Could not find matching device.\n", -1, 1},
      {"3D device, hardware asked", true, true, false, 0, true,
       "voskdemo_DefaultDisplay: Could not find matching device.\n", 1, 0},
      {"3D device, not asked", true, false, false, 0, true,
       "voskdemo_DefaultDisplay: Could not find matching device.\n", -1, 0},
      {"remembered 3D device", true, false, true, 9, false, "", 1, 0},
      {"remembered 3D device gone", true, true, true, 5, true,
       "voskdemo_DefaultDisplay: 3D device no longer present.\n", 1, 0},
  };
  for (const DisplayCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    fake_ = Fake{};
    SetUp();
    if (c.has3D) With3DDevices();
    if (c.rememberDevice) RememberDevice(fake_.device);
    state_->remembered3DDevice = c.remembered3D;
    state_->hardware = c.hardware ? 1 : 0;

    ASSERT_EQ(voskdemo_BuildDisplayInfo(), 1);
    ASSERT_EQ(state_->numDisplayInfo, 1);
    EXPECT_EQ(state_->displayInfo[0].numModes, 2);
    EXPECT_EQ(state_->displayInfo[0].num3DDevices, c.has3D ? 2 : 0);
    EXPECT_EQ(fake_.openDevice, -1);  // the table is built with the device closed again

    fake_.log.clear();
    testing::internal::CaptureStderr();
    ASSERT_EQ(voskdemo_OpenDisplay(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.debugText);
    EXPECT_EQ(fake_.Count("choose"), c.chooses ? 1 : 0);
    if (c.chooses) {
      EXPECT_EQ(fake_.chooseCriteria[2], c.hardware ? 1 : 0);
      EXPECT_EQ(fake_.chooseCriteria[3], c.hardware ? 0 : 1);
    }
    // The 640x480 5-6-5 mode; a device with 3D devices is opened twice.
    EXPECT_EQ(fake_.setMode, 1);
    EXPECT_EQ(fake_.Count("open"), c.has3D ? 2 : 1);
    // The front buffer is cleared, shown and cleared again.
    std::vector<std::string> frame;
    for (const std::string& call : fake_.log) {
      if (call == "fillFront" || call == "flip") frame.push_back(call);
    }
    EXPECT_EQ(frame, (std::vector<std::string>{"fillFront", "flip", "fillFront"}));
    // The z-buffer: 16 bits at the display's size, attached with the back buffer.
    ASSERT_NE(state_->zBuffer, nullptr);
    EXPECT_STREQ(state_->zBuffer->name, "voskdemo_pZBuffer");
    EXPECT_EQ(state_->zBuffer->format.format.bitsPerPixel, 16);
    EXPECT_EQ(state_->zBuffer->format.width, 640);
    EXPECT_EQ(fake_.attachedZ, state_->zBuffer);
    EXPECT_EQ(fake_.attachedDisplay, &stdDisplay_backBuffer);
    EXPECT_EQ(drevMain_GetDisplayColorFormat()->greenBits, 6);
    EXPECT_EQ(state_->windowed, c.windowed);
    if (c.device3D < 0) {
      EXPECT_EQ(stdDevice3D_GetCurrentDevice(), nullptr);
    } else {
      ASSERT_NE(stdDevice3D_GetCurrentDevice(), nullptr);
      EXPECT_EQ(stdDevice3D_GetCurrentDevice()->identity, fake_.devices3D[c.device3D].identity);
    }
  }
}

TEST_F(FrontEnd, ClosingDetachesAndFreesAndASecondModeClosesTheFirst) {
  ASSERT_EQ(voskdemo_BuildDisplayInfo(), 1);
  ASSERT_EQ(voskdemo_SetDisplayMode(0, 1), 1);
  DisplayBuffer* first = state_->zBuffer;
  fake_.log.clear();
  ASSERT_EQ(voskdemo_SetDisplayMode(0, 1), 1);
  ASSERT_GE(fake_.log.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(fake_.log.begin(), fake_.log.begin() + 5),
            (std::vector<std::string>{"detach", "freeBuffer", "resetMode", "close", "open"}));
  EXPECT_EQ(fake_.freed, first);

  fake_.log.clear();
  voskdemo_CloseDisplay();
  EXPECT_EQ(fake_.log, (std::vector<std::string>{"detach", "freeBuffer", "resetMode", "close"}));
  EXPECT_EQ(state_->zBuffer, nullptr);
  EXPECT_EQ(state_->displayOpen, 0);
  fake_.log.clear();
  voskdemo_CloseDisplay();  // nothing open: nothing happens
  EXPECT_TRUE(fake_.log.empty());
}

TEST_F(FrontEnd, DisplayFailures) {
  // No mode of the wanted format.
  fake_.modes = {Mode(320, 200, k8)};
  RememberDevice(fake_.device);
  ASSERT_EQ(voskdemo_BuildDisplayInfo(), 1);
  EXPECT_EQ(voskdemo_OpenDisplay(), 0);
  EXPECT_EQ(state_->displayOpen, 0);

  // The mode cannot be set: the device is closed again.
  fake_.modes = {Mode(640, 480, k565)};
  ASSERT_EQ(voskdemo_BuildDisplayInfo(), 1);
  fake_.failing = "setMode";
  EXPECT_EQ(voskdemo_OpenDisplay(), 0);
  EXPECT_EQ(fake_.openDevice, -1);

  // A device that lists another number of modes when opened again fails
  // without stopping the program.
  fake_.failing.clear();
  With3DDevices();
  ASSERT_EQ(voskdemo_BuildDisplayInfo(), 1);
  fake_.modes.push_back(Mode(800, 600, k565));
  EXPECT_EQ(voskdemo_SetDisplayMode(0, 0), 0);
  EXPECT_EQ(fake_.openDevice, -1);
  EXPECT_EQ(state_->zBuffer, nullptr);

  // The display layer chooses a device that is not there.
  fake_.chosenDevice = 3;
  std::memset(state_->rememberedDevice, 0x55, 16);
  testing::internal::CaptureStderr();
  EXPECT_EQ(voskdemo_OpenDisplay(), 0);
  testing::internal::GetCapturedStderr();
}

TEST_F(FrontEnd, PaletteGoesToTheDeviceOnlyWhileOneIsInUse) {
  uint8_t palette[768] = {};
  palette[3] = 200;
  EXPECT_EQ(voskdemo_ApplyPalette(palette, 90), 1);
  EXPECT_EQ(stdDevice3D_GetPalette()[3], 0);
  stdDevice3DRecord device{};
  stdDevice3D_SetCurrentDevice(&device);
  EXPECT_EQ(voskdemo_ApplyPalette(palette, 90), 1);
  EXPECT_EQ(stdDevice3D_GetPalette()[3], 200);
}

// ---- Start-up and shutdown ---------------------------------------------------------

TEST_F(FrontEnd, StartUpStopsAtTheFirstFailingStep) {
  // The recorded steps of a start-up that succeeds, in order.
  const std::vector<std::string> steps = {"qxStartup",
                                          "qxOpen",
                                          "displayStartup",
                                          "numDevices",
                                          "setMode",
                                          "engineInitialize",
                                          "engineStartup",
                                          "setQuitHandler",
                                          "setDisplayHandler",
                                          "setPresentHandler",
                                          "setLogToggleHandler",
                                          "scanDataDirectories",
                                          "startScripts",
                                          "startGame"};
  const std::vector<std::string> failing = {"qxStartup",     "qxOpen",       "displayStartup",
                                            "numDevices",    "setMode",      "engineInitialize",
                                            "engineStartup", "startScripts", "startGame"};
  auto stepsIn = [&](const std::vector<std::string>& log) {
    std::vector<std::string> seen;
    for (const std::string& call : log) {
      if (std::find(steps.begin(), steps.end(), call) != steps.end()) seen.push_back(call);
    }
    return seen;
  };
  for (const std::string& step : failing) {
    SCOPED_TRACE(step);
    TearDown();
    fake_ = Fake{};
    SetUp();
    RememberDevice(fake_.device);
    fake_.failing = step;
    EXPECT_EQ(voskdemo_Init(""), 0);
    const std::vector<std::string> seen = stepsIn(fake_.log);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), step);  // nothing after the failing step
    const size_t at =
        static_cast<size_t>(std::find(steps.begin(), steps.end(), step) - steps.begin());
    EXPECT_EQ(seen, std::vector<std::string>(steps.begin(), steps.begin() + at + 1));
  }

  // -? fails before any of them.
  TearDown();
  fake_ = Fake{};
  SetUp();
  EXPECT_EQ(voskdemo_Init("-?"), 0);
  EXPECT_TRUE(fake_.log.empty());

  // All succeed: every step in order, the present handler is the flip.
  TearDown();
  fake_ = Fake{};
  SetUp();
  RememberDevice(fake_.device);
  EXPECT_EQ(voskdemo_Init(""), 1);
  EXPECT_EQ(stepsIn(fake_.log), steps);
  EXPECT_EQ(fake_.present, stdDisplay_Flip);
  EXPECT_EQ(state_->loggingSetUp, 1);
}

// Once the engine's modules have started (they run the music, sound and
// cutscene threads), a start-up that fails later takes the engine down again:
// no engine thread is left running when the program ends. Before that point
// nothing of the engine is running and nothing is shut down.
TEST_F(FrontEnd, AFailedStartUpAfterTheEngineStartedShutsItDown) {
  const struct {
    const char* failing;
    bool engineDown;
  } cases[] = {{"engineStartup", false}, {"startScripts", true}, {"startGame", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    TearDown();
    fake_ = Fake{};
    SetUp();
    RememberDevice(fake_.device);
    fake_.failing = c.failing;
    EXPECT_EQ(voskdemo_Init(""), 0);
    const auto failedAt = std::find(fake_.log.begin(), fake_.log.end(), c.failing);
    ASSERT_NE(failedAt, fake_.log.end());
    const std::vector<std::string> after(failedAt + 1, fake_.log.end());
    auto has = [&](const char* call) {
      return std::find(after.begin(), after.end(), call) != after.end();
    };
    EXPECT_EQ(has("engineShutdown"), c.engineDown);
    EXPECT_EQ(has("engineUninitialize"), c.engineDown);
    EXPECT_EQ(has("close"), c.engineDown);  // the display with it
  }
}

TEST_F(FrontEnd, ShutdownTakesEverythingDownInOrder) {
  RememberDevice(fake_.device);
  ASSERT_EQ(voskdemo_Init(""), 1);
  DisplayBuffer* zBuffer = state_->zBuffer;
  fake_.log.clear();
  voskdemo_Shutdown();
  EXPECT_EQ(fake_.log,
            (std::vector<std::string>{"spewStop", "stopGame", "engineShutdown",
                                      "engineUninitialize", "qxClose", "qxShutdown", "detach",
                                      "freeBuffer", "resetMode", "close", "displayShutdown"}));
  EXPECT_EQ(fake_.freed, zBuffer);
  EXPECT_EQ(state_->zBuffer, nullptr);
  EXPECT_EQ(state_->displayInfo, nullptr);
  EXPECT_EQ(state_->displayOpen, 0);
}

// ---- Logging -----------------------------------------------------------------------

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Logging : public FrontEnd {
 protected:
  void SetUp() override {
    FrontEnd::SetUp();
    std::remove("debug.log");
    rmdir("debug.log");
    std::remove("resource.log");
  }
  void TearDown() override {
    voskdemo_SetLogging(0);
    Res_OpenLog(nullptr);
    std::remove("debug.log");
    rmdir("debug.log");
    std::remove("resource.log");
    FrontEnd::TearDown();
  }
  static bool Exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
  }
};

TEST_F(Logging, DebugLogOnlyWithTheDeveloperFlag) {
  state_->logToFile = 1;
  voskdemo_SetLogging(1);
  EXPECT_FALSE(Exists("debug.log"));
  EXPECT_EQ(std_Services.printMessage, voskdemo_PrintMessage);
  EXPECT_EQ(std_Services.printStatus, voskdemo_PrintStatus);
  EXPECT_EQ(std_Services.printWarning, voskdemo_PrintWarning);
  EXPECT_EQ(std_Services.printError, voskdemo_PrintError);
  EXPECT_EQ(std_Services.printDebug, voskdemo_PrintDebug);
}

TEST_F(Logging, PrintersWriteTextAsTextToStandardErrorAndDebugLog) {
  state_->logToFile = 1;
  state_->developer = 1;
  voskdemo_SetLogging(1);
  ASSERT_NE(state_->debugLog, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(std_Services.printMessage("one %d\n", 1), 6);
  EXPECT_EQ(std_Services.printError("%s", "two %s %n\n"), 10);  // not a format again
  const std::string long2000(2000, 'x');
  EXPECT_EQ(voskdemo_PrintDebug("%s", long2000.c_str()), 1023);
  EXPECT_EQ(voskdemo_LogFilePrintf("%d%%\n", 5), 3);  // debug.log only
  const std::string printed = testing::internal::GetCapturedStderr();
  voskdemo_SetLogging(0);  // closes debug.log; the printers stay
  EXPECT_EQ(state_->debugLog, 0);
  EXPECT_EQ(std_Services.printMessage, voskdemo_PrintMessage);
  const std::string expected = "one 1\ntwo %s %n\n" + long2000.substr(0, 1023);
  EXPECT_EQ(printed, expected);
  EXPECT_EQ(ReadFile("debug.log"), expected + "5%\n");
  EXPECT_EQ(voskdemo_LogFilePrintf("closed\n"), 0);
}

TEST_F(Logging, AnUnopenableDebugLogKeepsThePrintersAndTheResourceLog) {
  ASSERT_EQ(mkdir("debug.log", 0755), 0);
  state_->logToFile = 1;
  state_->developer = 1;
  state_->logResources = 1;
  voskdemo_ResetCalls();  // the real resource log
  voskdemo_SetLogging(1);
  EXPECT_EQ(state_->debugLog, 0);
  EXPECT_EQ(state_->loggingSetUp, 1);
  EXPECT_EQ(std_Services.printWarning, voskdemo_PrintWarning);
  EXPECT_TRUE(Exists("resource.log"));
}

// A fake debug-log window library.
std::string g_tallowinText;
int g_tallowinShown = 0;
int TallowinPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char text[2048];
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  g_tallowinText += text;
  return 0;
}
int TallowinShow(const char* title, int show, void* window) {
  g_tallowinShown = std::string(title) == "Vosk Debug" && show == 1 && window == nullptr;
  return 1;
}

TEST_F(Logging, WindowedPrintersGoToTallowinWhenItIsThere) {
  g_tallowinText.clear();
  g_tallowinShown = 0;
  static int library;
  voskdemo_Calls().loadLibrary = [](const char* name) -> void* {
    return std::string(name) == "libtallowin.so" ? &library : nullptr;
  };
  voskdemo_Calls().findSymbol = [](void*, const char* name) -> void* {
    if (std::string(name) == "_logPrintf") return reinterpret_cast<void*>(TallowinPrint);
    if (std::string(name) == "_ShowTallowin") return reinterpret_cast<void*>(TallowinShow);
    return nullptr;
  };
  state_->windowed = 1;
  voskdemo_SetLogging(1);
  EXPECT_EQ(state_->tallowinActive, 1);
  EXPECT_EQ(g_tallowinShown, 1);
  testing::internal::CaptureStderr();
  voskdemo_PrintStatus("to the %s\n", "window");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(g_tallowinText, "to the window\n");
}

TEST_F(Logging, NotWindowedNoTallowin) {
  voskdemo_SetLogging(1);
  EXPECT_EQ(state_->tallowinActive, 0);
  EXPECT_EQ(fake_.Count("load libtallowin.so"), 0);
  EXPECT_EQ(fake_.Count("resourceLog resource.log"), 0);
}

// ---- Chore tool --------------------------------------------------------------------

struct FakeTool {
  int initializeResult = 0;
  int startupResult = 0;
  int hideResult = 1;
  std::vector<std::string> log;
  voskdemo_ChoreToolCommandFn callback = nullptr;
};
FakeTool* g_tool = nullptr;
int g_toolLibrary;

void* ToolSymbol(void*, const char* name) {
  const std::string n = name;
  if (n == "_ShowVantrel") {
    return reinterpret_cast<void*>(+[](void*) {
      g_tool->log.push_back("show");
      return 1;
    });
  }
  if (n == "_HideVantrel") {
    return reinterpret_cast<void*>(+[] {
      g_tool->log.push_back("hide");
      return g_tool->hideResult;
    });
  }
  if (n == "_RegisterCommandCallback") {
    return reinterpret_cast<void*>(+[](voskdemo_ChoreToolCommandFn callback) {
      g_tool->callback = callback;
      return 1;
    });
  }
  if (n == "_vantrel_Initialize") {
    return reinterpret_cast<void*>(+[](HostServices*, ModuleDescriptor* d) {
      d->startup = [] {
        g_tool->log.push_back("startup");
        return g_tool->startupResult;
      };
      d->shutdown = [] { g_tool->log.push_back("shutdown"); };
      d->uninitialize = [] { g_tool->log.push_back("uninitialize"); };
      return g_tool->initializeResult;
    });
  }
  return nullptr;
}

class ChoreTool : public FrontEnd {
 protected:
  void SetUp() override {
    FrontEnd::SetUp();
    g_tool = &tool_;
    voskdemoCalls& c = voskdemo_Calls();
    c.loadLibrary = [](const char* name) -> void* {
      g_fake->Record(std::string("load ") + name);
      return &g_toolLibrary;
    };
    c.findSymbol = ToolSymbol;
    c.unloadLibrary = [](void*) { g_fake->Record("unload"); };
  }
  void TearDown() override {
    g_tool = nullptr;
    FrontEnd::TearDown();
  }
  FakeTool tool_;
};

TEST_F(ChoreTool, AMissingLibraryAnswersZero) {
  voskdemo_Calls().loadLibrary = [](const char*) -> void* { return nullptr; };
  EXPECT_EQ(voskdemo_ToggleChoreTool(1), 0);
  EXPECT_EQ(state_->choreTool.loaded, 0);
}

TEST_F(ChoreTool, AFailingInitialiseOrStartupUnloadsIt) {
  tool_.initializeResult = 1;
  EXPECT_EQ(voskdemo_ToggleChoreTool(1), 0);
  EXPECT_EQ(fake_.Count("unload"), 1);
  tool_.initializeResult = 0;
  tool_.startupResult = 1;
  EXPECT_EQ(voskdemo_ToggleChoreTool(1), 0);
  EXPECT_EQ(fake_.Count("unload"), 2);
  EXPECT_EQ(state_->choreTool.loaded, 0);
  EXPECT_EQ(tool_.callback, nullptr);
}

TEST_F(ChoreTool, LoadShowHideAndUnload) {
  EXPECT_EQ(voskdemo_ToggleChoreTool(1), 1);
  EXPECT_EQ(fake_.Count("load libvantrel.so"), 1);
  EXPECT_EQ(tool_.callback, voskdemo_ChoreToolCommand);
  EXPECT_EQ(voskdemo_ToggleChoreTool(1), 1);  // shown again, not loaded again
  EXPECT_EQ(fake_.Count("load libvantrel.so"), 1);

  tool_.hideResult = 0;  // the tool refuses to hide: everything stays
  EXPECT_EQ(voskdemo_ToggleChoreTool(0), 0);
  EXPECT_EQ(state_->choreTool.loaded, 1);
  tool_.hideResult = 1;
  EXPECT_EQ(voskdemo_ToggleChoreTool(0), 1);
  EXPECT_EQ(state_->choreTool.loaded, 0);
  EXPECT_EQ(fake_.Count("unload"), 1);
  EXPECT_EQ(tool_.log, (std::vector<std::string>{"startup", "show", "show", "hide", "hide",
                                                 "shutdown", "uninitialize"}));
}

TEST_F(ChoreTool, CommandsDriveTheEngine) {
  With3DDevices();  // an opened display is not windowed
  RememberDevice(fake_.device);
  ASSERT_EQ(voskdemo_BuildDisplayInfo(), 1);
  ASSERT_EQ(voskdemo_OpenDisplay(), 1);
  ASSERT_EQ(voskdemo_ToggleChoreTool(1), 1);
  voskdemo_ChoreToolCommandFn command = tool_.callback;
  int costume = 0;

  fake_.log.clear();
  command(&costume, 0);
  command(&costume, 1);
  command(&costume, 2);
  command(&costume, 3);
  command(&costume, 6);
  EXPECT_EQ(fake_.log, (std::vector<std::string>{"applyToolCostume", "tick"}));
  EXPECT_EQ(fake_.costumes, (std::vector<void*>{&costume}));
  EXPECT_EQ(fake_.paused, (std::vector<int>{1, 0}));

  // 5 leaves windowed mode (re-opening the display), then gives the costume;
  // 4 restores the windowed flag (re-opening again) and ends the override.
  state_->windowed = 1;
  fake_.log.clear();
  command(&costume, 5);
  EXPECT_EQ(state_->windowedBeforeTool, 1);
  EXPECT_EQ(fake_.Count("open"), 1);
  EXPECT_EQ(fake_.log.back(), "applyToolCostume");
  EXPECT_EQ(state_->windowed, 0);
  fake_.log.clear();
  command(&costume, 4);
  EXPECT_EQ(fake_.Count("open"), 1);
  EXPECT_EQ(fake_.log.back(), "endToolCostume");
  fake_.log.clear();
  state_->windowedBeforeTool = 0;
  command(&costume, 4);  // unchanged flag: no re-opening
  EXPECT_EQ(fake_.log, (std::vector<std::string>{"endToolCostume"}));

  // 7 and above: a forced step for the next frame.
  command(&costume, 7);
  EXPECT_EQ(state_->pendingForcedStep, 0);
  command(&costume, 40);
  EXPECT_EQ(state_->pendingForcedStep, 33);
}

}  // namespace
