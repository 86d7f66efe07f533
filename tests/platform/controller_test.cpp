#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/kv_Input.h"

namespace {

// A virtual game controller under the dummy video driver: SDL maps a virtual
// joystick with the standard axis and button layout as a game controller.
class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    kv_Input_Init();
    deviceIndex_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                             SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(deviceIndex_, 0) << SDL_GetError();
    ASSERT_EQ(kv_Input_OpenController(deviceIndex_), deviceIndex_);
    joystick_ = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(deviceIndex_));
    ASSERT_NE(joystick_, nullptr);
  }
  void TearDown() override {
    kv_Input_CloseControllers();
    SDL_JoystickDetachVirtual(deviceIndex_);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK);
  }
  void Update() { SDL_GameControllerUpdate(); }
  int deviceIndex_ = -1;
  SDL_Joystick* joystick_ = nullptr;
};

TEST_F(ControllerTest, AxisDeadZoneAndButtonMap) {
  const struct {
    int16_t raw;
    int expected;
  } cases[] = {{4000, 0}, {4096, 4096}, {-4095, 0}, {-20000, -20000}};
  for (const auto& c : cases) {
    SDL_JoystickSetVirtualAxis(joystick_, SDL_CONTROLLER_AXIS_LEFTX, c.raw);
    Update();
    EXPECT_EQ(kv_Input_GetControllerAxis(deviceIndex_, 0), c.expected) << c.raw;
  }
  SDL_JoystickSetVirtualButton(joystick_, SDL_CONTROLLER_BUTTON_START, 1);
  Update();
  EXPECT_EQ(kv_Input_GetControllerButton(deviceIndex_, 10), 1);  // game index 10 is Start
  EXPECT_EQ(kv_Input_GetControllerButton(deviceIndex_, 0), 0);
  EXPECT_EQ(kv_Input_GetControllerButton(deviceIndex_, 12), 0) << "no game button 12";
  EXPECT_EQ(kv_Input_OpenController(deviceIndex_), 0) << "slot already open";
  EXPECT_EQ(kv_Input_OpenController(4), -1);
  EXPECT_EQ(kv_Input_GetControllerAxis(3, 0), 0) << "closed slot";
}

}  // namespace
