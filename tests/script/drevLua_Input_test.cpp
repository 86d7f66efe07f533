// The script interface's input: control dispatch to the scripts' handlers,
// the control functions, the mouse speed and key remapping, driven from a
// test script that records its handler calls, over the input layer with a
// scripted fake of its devices.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"
#include "platform/kv_Input.h"
#include "platform/kv_Registry.h"
#include "presentation/drevControl.h"
#include "script/drevLua.h"
#include "script/drevLua_KeyMapping.h"
#include "std/stdInput.h"

namespace {

struct FakeDevices {
  static inline uint32_t ticks = 1000;
  static inline int button = 0;  // joystick 1, button 1
  static inline int mouseX = 960, mouseY = 540;
  static inline int mouseLeft = 0;
  static constexpr stdInputDevices kTable = {
      [] { return ticks; },
      [](int, int) { return 0; },
      [](int id, int index) { return id == 0 && index == 0 ? button : 0; },
      [](int) { return 14; },
      [](int id) { return id; },
      [] { return 1; },
      [](int* x, int* y) { *x = mouseX, *y = mouseY; },
      [](int* w, int* h) { *w = 1920, *h = 1080; },
      [](int n) { return n == 1 ? mouseLeft : 0; },
      [] {}};
};

// Each handler call appends itself to the global "log".
const char* kRecordingSystem = R"lua(
log = ""
function system.buttonHandler(index, down, presses, double)
  log = log .. "b(" .. index .. "," .. tostring(down) .. "," .. presses .. "," .. double .. ")"
end
function system.axisHandler(index, value)
  log = log .. "a(" .. index .. ")"
end
function system.inputModeHandler(new, old)
  log = log .. "m(" .. new .. "," .. old .. ")"
end
function system.NotifyKeyMapped(result)
  log = log .. "k(" .. result .. ")"
end
)lua";

uint32_t Control(const char* name) {
  uint32_t found = UINT32_MAX;
  for (uint32_t i = 0; i < static_cast<uint32_t>(kControlCount); ++i) {
    if (std::strcmp(drevControl_Controls[i].name, name) == 0) found = i;
  }
  return found;
}

class ScriptInput : public ScriptModuleTest {
 protected:
  const char* System() const override { return kRecordingSystem; }
  void SetUp() override {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    FakeDevices::ticks += 1000;
    FakeDevices::button = FakeDevices::mouseLeft = 0;
    FakeDevices::mouseX = 960;
    FakeDevices::mouseY = 540;
    stdInput_SetDevices(&FakeDevices::kTable);
    stdInput_Open();
    stdInput_Startup();
    stdInput_ClearKeyEvents();
    drevControl_ResetControls();
    drevLua_SetInputMode(0);
    kv_Input_ResetKeyBindings();
    ScriptModuleTest::SetUp();
  }
  void TearDown() override {
    ScriptModuleTest::TearDown();
    kv_Input_ResetKeyBindings();
    stdInput_Shutdown();
    stdInput_CloseGameControllers();
    stdInput_SetDevices(nullptr);
  }
  void Enable(const char* name) { drevControl_EnableControl(Control(name)); }
  void Key(int32_t code, int down) { stdInput_KeyEvent(code, down, FakeDevices::ticks + 1, 0); }
  // One engine frame of the input step; answers what the handlers logged.
  std::string Frame(uint32_t ms = 16) {
    FakeDevices::ticks += ms;
    stdInput_ReadControls();
    EXPECT_EQ(0, drevLua_ControlHandler(ms / 1000.0f));
    return TakeLog();
  }
  std::string TakeLog() {
    std::string log = GlobalText("log");
    RunLua("log = ''");
    return log;
  }
};

TEST_F(ScriptInput, AHeldKeyCallsOnceDownAndOnceUp) {
  Enable("KEY_A");
  Key(SDLK_a, 1);
  EXPECT_EQ("m(2,0)b(29,1,1,0)", Frame());
  for (int i = 0; i < 10; ++i) EXPECT_EQ("", Frame()) << i;
  Key(SDLK_a, 0);
  EXPECT_EQ("b(29,nil,0,0)", Frame());
  EXPECT_EQ("", Frame());
}

TEST_F(ScriptInput, TheInputModeChangesBeforeTheButtonCall) {
  Enable("KEY_A");
  Enable("KEY_JOY1_B1");
  stdInput_EnableAxis(0);  // joystick 1 in use
  const std::string joystick = std::to_string(Control("KEY_JOY1_B1"));
  Key(SDLK_a, 1);
  EXPECT_EQ("m(2,0)b(29,1,1,0)", Frame());
  FakeDevices::button = 1;
  EXPECT_EQ("m(1,2)b(" + joystick + ",1,1,0)", Frame());
  // The input layer sees a sampled button's release one frame late.
  FakeDevices::button = 0;
  EXPECT_EQ("b(" + joystick + ",nil,0,0)", Frame() + Frame()) << "no mode change on release";
}

TEST_F(ScriptInput, MovingTheMouseAfterALoadReportsTheMouseMode) {
  Enable("AXIS_MOUSE_X");
  EXPECT_EQ("", Frame()) << "the mouse at the centre is no change";
  drevLua_SetInputMode(2);
  drevLua_SetInputMode(0);  // what a completed load does
  FakeDevices::mouseX = 1200;
  EXPECT_EQ("m(3,0)a(160)", Frame());
  EXPECT_EQ(3, drevLua_GetInputMode());
  EXPECT_EQ("", Frame()) << "an unchanged value";
}

TEST_F(ScriptInput, ThePingComesEveryFifthFrame) {
  Enable("KEY_MOUSE_PING");
  std::vector<int> pings;
  for (int frame = 1; frame <= 15; ++frame) {
    if (Frame() == "b(147,1,0,0)") pings.push_back(frame);
  }
  ASSERT_EQ(3u, pings.size());
  EXPECT_EQ(pings[0] + 5, pings[1]);
  EXPECT_EQ(pings[1] + 5, pings[2]);
}

TEST_F(ScriptInput, TheLongPressComesOncePerHold) {
  Enable("KEY_MOUSE_LONG");
  FakeDevices::mouseLeft = 1;
  std::string log;
  for (int i = 0; i < 40; ++i) log += Frame(20) + "|";  // 800 ms held
  const std::string call = "b(146,nil,0,0)";
  ASSERT_NE(std::string::npos, log.find(call));
  EXPECT_EQ(log.find(call), log.rfind(call)) << "once per hold";
  EXPECT_GE(std::count(log.begin(), log.begin() + log.find(call), '|'), 19) << "after 400 ms";
}

TEST_F(ScriptInput, ADisabledControlIsSilentAndKeepsItsState) {
  Enable("KEY_B");
  const uint32_t b = Control("KEY_B");
  Key(SDLK_b, 1);
  EXPECT_EQ("m(2,0)b(47,1,1,0)", Frame());
  ASSERT_EQ(0, RunLua("DisableControl(system.controls.KEY_B)"));
  Key(SDLK_b, 0);
  EXPECT_EQ("", Frame());
  EXPECT_EQ(1u, drevControl_Controls[b].lastDown) << "not updated while disabled";
  ASSERT_EQ(0, RunLua("EnableControl(system.controls.KEY_B)"));
  EXPECT_EQ("b(47,nil,0,0)", Frame());
}

TEST_F(ScriptInput, GetControlStateReadsKeysAndAxes) {
  Key(SDLK_a, 1);
  Frame();
  EXPECT_EQ(0, RunLua("local down, double = GetControlState(system.controls.KEY_A)\n"
                      "assert(down == 1 and double == nil)"));
  EXPECT_EQ(0, RunLua("assert(GetControlState(system.controls.KEY_B) == nil)"));
  EXPECT_EQ(0, RunLua("assert(GetControlState(163) == nil and GetControlState(-1) == nil and "
                      "GetControlState('KEY_A') == nil)"));
  ASSERT_EQ(0, RunLua("EnableControl(system.controls.AXIS_MOUSE_X)"));
  FakeDevices::mouseX = 1680;  // the right edge of the 4:3 area: game x 640
  Frame();
  EXPECT_EQ(0, RunLua("assert(GetControlState(system.controls.AXIS_MOUSE_X) == 1)"));
}

// An argument that is no number answers one nil; an index past the table
// answers nothing.
TEST_F(ScriptInput, ControlFunctionsAnswerNilForANameAndNothingPastTheTable) {
  EXPECT_EQ(0, RunLua("foreach({EnableControl, DisableControl, GetControlState}, function(i, f)\n"
                      "  local answer = call(f, {'KEY_A'}, 'p')\n"
                      "  assert(answer.n == 1 and answer[1] == nil)\n"
                      "end)\n"
                      "assert(call(GetControlState, {163}, 'p').n == 0)"));
}

TEST_F(ScriptInput, MouseSpeedScaleFollowsItsCurve) {
  const struct {
    const char* argument;
    float factor;
  } cases[] = {{"0", 0.1f}, {"64", 1.0157f}, {"127", 3.0f}, {"-5", 0.1f}, {"500", 3.0f}};
  for (const auto& c : cases) {
    kv_Input_SetMouseSpeedScale(7.0f);
    ASSERT_EQ(0, RunLua(std::string("SetMouseSpeedScale(") + c.argument + ")"));
    EXPECT_NEAR(c.factor, kv_Input_GetMouseSpeedScale(), 0.0005f) << c.argument;
  }
  ASSERT_EQ(0, RunLua("SetMouseSpeedScale('fast')"));
  EXPECT_EQ(3.0f, kv_Input_GetMouseSpeedScale()) << "a non-number changes nothing";
}

TEST_F(ScriptInput, RemappingTellsTheScriptsTheResult) {
  const struct {
    int action;
    int32_t key;
    const char* notified;
    int32_t bound;
  } cases[] = {
      {5, SDLK_w, "k(0)", SDLK_w},       // accepted
      {5, SDLK_1, "k(1)", SDLK_e},       // reserved
      {5, SDLK_u, "k(3)", SDLK_e},       // used by action 6
      {5, SDLK_ESCAPE, "k(4)", SDLK_e},  // Escape keeps the old binding
  };
  for (const auto& c : cases) {
    kv_Input_ResetKeyBindings();
    ASSERT_EQ(0, RunLua("SetKeyMappingMode(" + std::to_string(c.action) + ")"));
    ASSERT_EQ(1, drevLua_IsKeyMappingMode());
    Key(c.key, 1);
    Key(c.key, 0);
    EXPECT_EQ(c.notified, TakeLog()) << c.key;
    EXPECT_EQ(0, drevLua_IsKeyMappingMode());
    EXPECT_EQ(c.bound, kv_Input_GetKeyBinding(c.action)) << c.key;
  }
  // An action that does not exist arms nothing: the key is an ordinary press.
  for (const char* action : {"13", "-1", "'e'"}) {
    ASSERT_EQ(0, RunLua(std::string("SetKeyMappingMode(") + action + ")"));
    EXPECT_EQ(0, drevLua_IsKeyMappingMode()) << action;
  }
  Key(SDLK_x, 1);
  Key(SDLK_x, 0);
  EXPECT_EQ("", TakeLog());
  // Without an armed action a handed-over key does nothing.
  drevLua_KeyMapped(SDLK_x);
  EXPECT_EQ("", TakeLog());
  EXPECT_EQ(SDLK_e, kv_Input_GetKeyBinding(5));
}

TEST_F(ScriptInput, RemappedKeyNamesAndHints) {
  kv_Input_SetKeyBinding(5, SDLK_KP_5);
  EXPECT_EQ(0, RunLua("assert(GetRemappedKeyName(0) == 'Up')\n"
                      "local image, text = GetRemappedKeyHint(5)\n"
                      "assert(image == 'key_numpad.png' and text == '5')\n"
                      "assert(GetRemappedKeyName(13) == nil and GetRemappedKeyHint(-1) == nil)\n"
                      "assert(GetRemappedKeyName('Up') == nil)"));
  ASSERT_EQ(0, RunLua("ResetKeyMappingToDefault()"));
  EXPECT_EQ(SDLK_e, kv_Input_GetKeyBinding(5));
}

TEST_F(ScriptInput, RemappedKeysRoundTripThroughTheSettingsFile) {
  kv_Registry_ResetForTest();
  kv_Input_SetKeyBinding(5, SDLK_u);  // e and u swapped
  kv_Input_SetKeyBinding(6, SDLK_e);
  kv_Input_SetKeyBinding(7, SDLK_w);
  ASSERT_EQ(0, RunLua("SaveRemappedKeys()"));
  // Values the binding check refuses keep the key the action had: Escape, a
  // reserved key, and action 12's key stored for two more actions (neither
  // of them is trusted).
  kv_Registry_WriteInt("Remap8", SDLK_ESCAPE);
  kv_Registry_WriteInt("Remap9", SDLK_RETURN);
  kv_Registry_WriteInt("Remap10", SDLK_z);
  kv_Registry_WriteInt("Remap11", SDLK_z);
  ASSERT_EQ(0, kv_Registry_Save());
  kv_Registry_ResetForTest();
  kv_Input_ResetKeyBindings();
  kv_Registry_Load();
  ASSERT_EQ(0, RunLua("LoadRemappedKeys()"));
  const int32_t expected[KV_INPUT_BINDING_COUNT] = {
      SDLK_UP, SDLK_DOWN, SDLK_LEFT,   SDLK_RIGHT,  SDLK_LSHIFT,    SDLK_u, SDLK_e,
      SDLK_w,  SDLK_i,    SDLK_DELETE, SDLK_PERIOD, SDLK_BACKSPACE, SDLK_z};
  for (int i = 0; i < KV_INPUT_BINDING_COUNT; ++i) {
    EXPECT_EQ(expected[i], kv_Input_GetKeyBinding(i)) << i;
  }
  kv_Registry_ResetForTest();
}

}  // namespace
