#include <cstring>
#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/kv_Input.h"
#include "std/stdInput.h"

namespace {

// A thin fake of the devices behind the input layer, driven by the test.
struct FakeDevices {
  static inline uint32_t ticks = 1000;
  static inline int buttons[2][KV_INPUT_BUTTON_COUNT] = {};
  static inline int axes[2][2] = {};
  static inline int mouseX = 0, mouseY = 0, windowW = 1920, windowH = 1080;
  static inline int mouseButtons[6] = {};
  static void Reset() {
    ticks = 1000;
    std::memset(buttons, 0, sizeof buttons);
    std::memset(axes, 0, sizeof axes);
    std::memset(mouseButtons, 0, sizeof mouseButtons);
    mouseX = mouseY = 0;
    windowW = 1920;
    windowH = 1080;
  }
  static constexpr stdInputDevices kTable = {
      [] { return ticks; },
      [](int id, int axis) { return axes[id][axis]; },
      [](int id, int index) { return buttons[id][index]; },
      [](int) { return 14; },
      [](int id) { return id; },
      [] { return 2; },
      [](int* x, int* y) { *x = mouseX, *y = mouseY; },
      [](int* w, int* h) { *w = windowW, *h = windowH; },
      [](int n) { return mouseButtons[n]; },
      [] {}};
};

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    FakeDevices::Reset();
    stdInput_SetDevices(&FakeDevices::kTable);
    stdInput_Open();
    stdInput_Startup();
    stdInput_ClearKeyEvents();
    kv_Input_ResetKeyBindings();
  }
  void TearDown() override {
    stdInput_Shutdown();
    stdInput_CloseGameControllers();
    stdInput_SetDevices(nullptr);
  }
  // One frame at the given time.
  void Frame(uint32_t time) {
    FakeDevices::ticks = time;
    stdInput_ReadControls();
  }
  struct Read {
    int latched, presses, doublePress, held;
  };
  Read ReadKey(int32_t code) {
    Read r{};
    r.latched = stdInput_ReadKey(code, &r.presses, &r.doublePress, &r.held);
    return r;
  }
};

constexpr int kButtonA = STDINPUT_FIRST_BUTTON;  // controller 0, button 0
constexpr int kMouseLeft = STDINPUT_FIRST_MOUSE;

TEST_F(InputTest, ControllerButtonHeldOverThreeFrames) {
  stdInput_EnableAxis(0);  // joystick 0 in use
  FakeDevices::buttons[0][0] = 1;
  const int expectedPresses[] = {1, 0, 0};
  for (int f = 0; f < 3; ++f) {
    Frame(2000 + 16 * f);
    const Read r = ReadKey(kButtonA);
    EXPECT_EQ(r.latched, 1) << f;
    EXPECT_EQ(r.presses, expectedPresses[f]) << f;
    EXPECT_EQ(r.held, 0) << "controller buttons never report a hold";
  }
}

TEST_F(InputTest, DoublePressWithin200ms) {
  stdInput_EnableAxis(0);
  const struct {
    uint32_t gap;
    int doublePress;
  } cases[] = {{150, 1}, {250, 0}};
  uint32_t t = 5000;
  for (const auto& c : cases) {
    FakeDevices::buttons[0][0] = 1;
    Frame(t);  // last sampled down at t
    FakeDevices::buttons[0][0] = 0;
    Frame(t + 16);
    FakeDevices::buttons[0][0] = 1;
    Frame(t + c.gap);
    EXPECT_EQ(ReadKey(kButtonA).doublePress, c.doublePress) << c.gap;
    FakeDevices::buttons[0][0] = 0;
    Frame(t + c.gap + 16);
    t += 10000;
  }
}

TEST_F(InputTest, MouseHoldReportedOnceWhileDown) {
  stdInput_ToggleMouse();
  FakeDevices::mouseButtons[1] = 1;
  Frame(3000);
  EXPECT_EQ(ReadKey(kMouseLeft).held, 0);
  Frame(3401);
  EXPECT_EQ(ReadKey(kMouseLeft).held, 1);
  EXPECT_EQ(ReadKey(kMouseLeft).held, 0) << "reported once";
  // A released button reports no hold.
  FakeDevices::mouseButtons[1] = 0;
  Frame(4000);
  FakeDevices::mouseButtons[1] = 1;
  Frame(4016);
  FakeDevices::mouseButtons[1] = 0;
  Frame(4032);
  Frame(5000);
  EXPECT_EQ(ReadKey(kMouseLeft).held, 0);
}

TEST_F(InputTest, StickDeadZoneAndFullScale) {
  stdInput_EnableAxis(0);
  const struct {
    int raw;
    float value;
  } cases[] = {{5000, 0.0f}, {32767, 1.0f}, {-32767, -1.0f}};
  uint32_t t = 100;
  for (const auto& c : cases) {
    FakeDevices::axes[0][0] = c.raw;
    Frame(t += 16);
    EXPECT_FLOAT_EQ(stdInput_GetAxis(0), c.value) << c.raw;
  }
}

TEST(InputMapping, MouseWindowToGameSpace) {
  const struct {
    int x, w, h, expected;
  } cases[] = {{240, 1920, 1080, 0},  {1680, 1920, 1080, 640}, {960, 1920, 1080, 320},
               {120, 960, 540, 0},    {840, 960, 540, 640},    {160, 1280, 1024, 0},
               {640, 1280, 1024, 320}};
  for (const auto& c : cases) {
    int gx = -1, gy = -1;
    stdInput_MapMouse(c.x, c.h / 2, c.w, c.h, &gx, &gy);
    EXPECT_EQ(gx, c.expected) << c.x << " in " << c.w << "x" << c.h;
    EXPECT_EQ(gy, 240) << c.w << "x" << c.h;
  }
}

TEST_F(InputTest, DisabledLayerReadsZero) {
  stdInput_EnableAxis(0);
  FakeDevices::buttons[0][0] = 1;
  FakeDevices::axes[0][0] = 32767;
  Frame(700);
  stdInput_SetEnabled(0);
  const Read r = ReadKey(kButtonA);
  EXPECT_EQ(r.latched + r.presses + r.doublePress + r.held, 0);
  EXPECT_EQ(stdInput_GetAxis(0), 0.0f);
  stdInput_SetEnabled(1);
}

TEST_F(InputTest, KeyPressedAndReleasedBetweenFramesIsSeen) {
  Frame(1000);
  stdInput_KeyEvent(SDLK_a, 1, 1005, 0);
  stdInput_KeyEvent(SDLK_a, 0, 1010, 0);
  Frame(1016);
  const Read r = ReadKey(SDLK_a);
  EXPECT_EQ(r.latched, 1);
  EXPECT_EQ(r.presses, 1);
  EXPECT_EQ(r.doublePress, 0);
  Frame(1032);
  EXPECT_EQ(ReadKey(SDLK_a).latched, 0);
}

TEST_F(InputTest, KeyboardCodesNeverReachDeviceRecords) {
  const int code = STDINPUT_FIRST_BUTTON + 14 + 5;  // controller 1, D-pad down
  Frame(1000);
  stdInput_KeyEvent(code, 1, 1005, 0);
  Frame(1016);
  EXPECT_EQ(ReadKey(code).latched, 0);
}

TEST_F(InputTest, RemappedKeyReachesTheGameAsItsDefault) {
  kv_Input_SetKeyBinding(5, SDLK_w);  // action 5 ("e") bound to "w"
  Frame(1000);
  stdInput_KeyEvent(SDLK_w, 1, 1001, 0);
  Frame(1016);
  EXPECT_EQ(ReadKey(SDLK_e).presses, 1);
  EXPECT_EQ(ReadKey(SDLK_w).presses, 0);
  stdInput_KeyEvent(SDLK_w, 0, 1020, 0);
  stdInput_KeyEvent(SDLK_e, 1, 1021, 0);
  Frame(1032);
  EXPECT_EQ(ReadKey(SDLK_e).presses, 1) << "the original key still works";
}

TEST(InputAxis, RangeWithoutExtentIsAbsent) {
  stdInput_SetAxisRange(3, 10, 10, 0.2f);
  EXPECT_EQ(stdInput_GetAxisRecord(3)->flags & INPUTAXIS_PRESENT, 0);
  EXPECT_EQ(stdInput_EnableAxis(3), 0);
  stdInput_SetAxisRange(3, 32767, -32768, 0.2f);
  const InputAxis* axis = stdInput_GetAxisRecord(3);
  EXPECT_EQ(axis->centre, 0);
  EXPECT_EQ(axis->deadZone, 6553);
}

TEST(KeyBindings, ValidateBindingResults) {
  kv_Input_ResetKeyBindings();
  kv_Input_SetKeyBinding(6, SDLK_w);
  const struct {
    int index, key, expected;
  } cases[] = {
      {0, SDLK_UP, KV_BIND_ACCEPTED},   {5, SDLK_UP, KV_BIND_RESERVED},
      {5, SDLK_w, KV_BIND_DUPLICATE},   {5, SDLK_ESCAPE, KV_BIND_ESCAPE},
      {13, SDLK_a, KV_BIND_BAD_ACTION}, {-1, SDLK_a, KV_BIND_BAD_ACTION},
      {5, SDLK_KP_5, KV_BIND_ACCEPTED}, {5, SDLK_F1, KV_BIND_RESERVED},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kv_Input_ValidateBinding(c.index, c.key), c.expected) << c.index << " " << c.key;
  }
  // Out-of-range indexes are refused everywhere.
  kv_Input_SetKeyBinding(13, SDLK_a);
  kv_Input_SetKeyBinding(-1, SDLK_a);
  EXPECT_EQ(kv_Input_GetKeyBinding(13), 0);
  EXPECT_EQ(kv_Input_GetKeyBinding(-1), 0);
  kv_Input_ResetKeyBindings();
}

TEST(KeyBindings, HintsAndNames) {
  EXPECT_STREQ(kv_Input_GetKeyHintImage(SDLK_KP_5), "key_numpad.png");
  EXPECT_STREQ(kv_Input_GetKeyHintText(SDLK_KP_5), "5");
  EXPECT_STREQ(kv_Input_GetKeyHintImage(SDLK_F1), "key_empty.png");
  EXPECT_STREQ(kv_Input_GetKeyHintText(SDLK_F1), "F1");
  EXPECT_STREQ(kv_Input_GetKeyHintText(SDLK_KP_MINUS), "=");
}

}  // namespace
