// The control module: the handler list, the per-frame update, the controls'
// enabled bits, the clamped axis and the developer field-of-view keys, over
// the input layer driven by a scripted fake of its devices.
#include "presentation/drevControl.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "quadrix/qxCamera.h"
#include "script/drevLua.h"
#include "std/std.h"
#include "std/stdInput.h"

namespace {

struct FakeDevices {
  static inline uint32_t ticks = 1000;
  static inline int reads = 0;  // how often the layer read the devices
  static inline int stick = 0;  // raw value of joystick 1's x axis
  static constexpr stdInputDevices kTable = {[] { return ticks; },
                                             [](int, int axis) { return axis == 0 ? stick : 0; },
                                             [](int, int) { return 0; },
                                             [](int) { return 14; },
                                             [](int id) { return id; },
                                             [] { return 1; },
                                             [](int* x, int* y) { *x = *y = 0; },
                                             [](int* w, int* h) { *w = 1920, *h = 1080; },
                                             [](int) { return 0; },
                                             [] { ++reads; }};
};

std::vector<int> g_calls;
int g_takenBy = -1;  // the handler that answers 1, -1 for none

template <int N>
int Recorder(float) {
  g_calls.push_back(N);
  return N == g_takenBy ? 1 : 0;
}

constexpr ControlHandlerFn kRecorders[] = {Recorder<0>, Recorder<1>, Recorder<2>,
                                           Recorder<3>, Recorder<4>, Recorder<5>,
                                           Recorder<6>, Recorder<7>, Recorder<8>};

qxCamera g_camera;
qxCamera* TestCamera() {
  return &g_camera;
}

class DrevControl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
  }
  void SetUp() override {
    FakeDevices::ticks += 1000;  // never a frame time of an earlier test
    FakeDevices::reads = 0;
    FakeDevices::stick = 0;
    g_calls.clear();
    g_takenBy = -1;
    stdInput_SetDevices(&FakeDevices::kTable);
    ASSERT_EQ(0, drevControl_Initialize(&hs_, &desc_));
    ASSERT_EQ(drevControl_Initialize, desc_.initialize);
    ASSERT_EQ(nullptr, desc_.save);
    ASSERT_EQ(0, desc_.startup());
    ASSERT_EQ(1, desc_.startup()) << "already started";
    ASSERT_EQ(1, drevControl_GetHandlerCount()) << "its own field-of-view keys";
    ASSERT_EQ(1, drevControl_Activate());
    drevLua_SetDebugKeysEnabled(0);
    drevControl_SetCameraQuery(TestCamera);
    g_camera = qxCamera{};
    g_camera.fov = 60.0f;
  }
  void TearDown() override {
    drevControl_Deactivate();
    desc_.shutdown();
    drevControl_RemoveAllHandlers();
    desc_.uninitialize();
    drevControl_SetCameraQuery(nullptr);
    drevLua_SetDebugKeysEnabled(0);
    stdInput_SetDevices(nullptr);
  }
  void Frame() {
    FakeDevices::ticks += 16;
    drevControl_Update(0.016f, 16);
  }
  static inline HostServices hs_;
  ModuleDescriptor desc_{};
};

TEST_F(DrevControl, WithoutHandlersTheInputIsNotRead) {
  drevControl_RemoveAllHandlers();
  Frame();
  EXPECT_EQ(0, FakeDevices::reads);
  drevControl_AddHandler(kRecorders[0]);
  Frame();
  EXPECT_EQ(1, FakeDevices::reads);
  EXPECT_EQ(std::vector<int>{0}, g_calls);
}

TEST_F(DrevControl, HandlersRunInOrderUntilOneTakesTheInput) {
  drevControl_RemoveAllHandlers();
  for (int i = 0; i < 3; ++i) drevControl_AddHandler(kRecorders[i]);
  g_takenBy = 1;
  Frame();
  EXPECT_EQ((std::vector<int>{0, 1}), g_calls);
}

TEST_F(DrevControl, TheNinthHandlerIsIgnored) {
  drevControl_RemoveAllHandlers();
  for (ControlHandlerFn handler : kRecorders) drevControl_AddHandler(handler);
  EXPECT_EQ(8, drevControl_GetHandlerCount());
  Frame();
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}), g_calls);
}

TEST_F(DrevControl, EnablingAnAxisControlEnablesItsAxis) {
  constexpr uint32_t kMouseX = 160;  // AXIS_MOUSE_X, input axis 12
  ASSERT_EQ(12u, drevControl_Controls[kMouseX].code);
  EXPECT_EQ(0, stdInput_GetAxisRecord(12)->flags & INPUTAXIS_ENABLED) << "reset at startup";
  drevControl_EnableControl(kMouseX);
  EXPECT_NE(0u, drevControl_Controls[kMouseX].flags & kControlEnabled);
  EXPECT_NE(0, stdInput_GetAxisRecord(12)->flags & INPUTAXIS_ENABLED);
  drevControl_DisableControl(kMouseX);
  EXPECT_EQ(0u, drevControl_Controls[kMouseX].flags & kControlEnabled);
  EXPECT_NE(0, stdInput_GetAxisRecord(12)->flags & INPUTAXIS_ENABLED) << "the axis stays";
  // Indices not below the control count change nothing.
  drevControl_EnableControl(163);
  drevControl_EnableControl(UINT32_MAX);
  drevControl_ResetControls();
  for (const ControlRecord& control : drevControl_Controls) {
    EXPECT_EQ(0u, control.flags & (kControlEnabled | kControlInverted)) << control.name;
  }
}

TEST_F(DrevControl, AxisIsClampedToOne) {
  stdInput_SetAxisRange(0, 1, -1, 0.0f);  // one unit per raw step
  stdInput_EnableAxis(0);
  const struct {
    int raw, negate;
    float expected;
  } cases[] = {{5, 0, 1.0f}, {-5, 0, -1.0f}, {5, 1, -1.0f}, {-5, 1, 1.0f}, {0, 0, 0.0f}};
  for (const auto& c : cases) {
    FakeDevices::stick = c.raw;
    Frame();
    EXPECT_EQ(c.expected, drevControl_GetAxisClamped(0, c.negate)) << c.raw << " " << c.negate;
  }
}

TEST_F(DrevControl, FieldOfViewKeysNeedTheDebugKeys) {
  drevControl_AddHandler(kRecorders[0]);  // after the module's own handler
  const struct {
    int debugKeys;
    int32_t modifier, key;
    float start, expected;
    bool taken;
  } cases[] = {
      {1, 224, 87, 60.0f, 60.5f, true},   {1, 224, 86, 60.0f, 59.5f, true},
      {1, 224, 87, 179.0f, 179.0f, true}, {1, 224, 86, 5.0f, 5.0f, true},
      {0, 224, 87, 60.0f, 60.0f, false},  {1, 0, 87, 60.0f, 60.0f, false},
      {1, 224, 0, 60.0f, 60.0f, false},
  };
  for (const auto& c : cases) {
    drevLua_SetDebugKeysEnabled(c.debugKeys);
    g_camera.fov = c.start;
    g_calls.clear();
    for (int32_t code : {c.modifier, c.key}) {
      if (code) stdInput_KeyEvent(code, 1, FakeDevices::ticks + 1, 0);
    }
    Frame();
    EXPECT_EQ(c.expected, g_camera.fov) << c.modifier << "+" << c.key << " from " << c.start;
    EXPECT_EQ(c.taken, g_calls.empty()) << "a change takes the input";
    for (int32_t code : {c.modifier, c.key}) {
      if (code) stdInput_KeyEvent(code, 0, FakeDevices::ticks + 1, 0);
    }
    Frame();
  }
}

}  // namespace
