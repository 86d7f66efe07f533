#include "std/stdInput.h"

#include <SDL.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "platform/kv_Input.h"
#include "platform/kv_Thread.h"

namespace {

stdInputMappingCalls g_mapping{};

constexpr uint32_t kDoublePressMs = 200;
constexpr uint32_t kHoldMs = 400;

struct Layer {
  bool started = false;
  bool enabled = false;
  bool opened = false;
  uint32_t frameTime = 0;
  uint32_t previousFrameTime = 0;
  std::array<bool, 2> joystickPresent{};
  std::array<int, 2> joystickButtons{};
  std::array<bool, 2> joystickInUse{};
  bool mouseInUse = false;
};

Layer g_layer;
std::array<KeyState, STDINPUT_NUM_KEYS> g_keys{};
// Keyboard presses since the last frame roll-over: the roll-over would
// otherwise wipe a key pressed and released between two frames.
std::array<int32_t, STDINPUT_NUM_KEYS> g_pendingPresses{};
std::array<InputAxis, STDINPUT_NUM_AXES> g_axes{};
std::array<int, STDINPUT_NUM_AXES> g_raw{};

int JoystickCount() { return SDL_NumJoysticks(); }
void UpdateDevices() {
  SDL_JoystickUpdate();
  SDL_GameControllerUpdate();
}
void WindowSize(int* width, int* height) {
  SDL_Window* window = SDL_GetMouseFocus();
  if (!window) window = SDL_GetKeyboardFocus();
  if (window) {
    SDL_GetWindowSize(window, width, height);
  } else {
    *width = 1920;
    *height = 1080;
  }
}

constexpr stdInputDevices kPlatformDevices = {
    kv_Platform_GetTicks,  kv_Input_GetControllerAxis, kv_Input_GetControllerButton,
    kv_Input_GetControllerButtonCount, kv_Input_OpenController, JoystickCount,
    kv_Input_GetMouseState, WindowSize, kv_Input_GetMouseButton, UpdateDevices};
stdInputDevices g_devices = kPlatformDevices;

// Record index of a code: codes with bit 30 use the second bank; a code whose
// record would lie beyond the table has none.
int RecordIndex(int32_t code) {
  int64_t index = code;
  if (code & STDINPUT_CODE_BANK_BIT) index = (code & ~STDINPUT_CODE_BANK_BIT) + STDINPUT_SECOND_BANK;
  if (index < 0 || index >= STDINPUT_NUM_KEYS) return -1;
  return static_cast<int>(index);
}

bool IsDeviceCode(int32_t code) {
  return code >= STDINPUT_FIRST_BUTTON && code <= STDINPUT_LAST_DEVICE_CODE;
}

// Steps 1 to 5 of a key event; returns the record of a recorded press, or -1.
int ApplyKeyEvent(int32_t code, int state, uint32_t time, int holdFlag) {
  const bool mapping = g_mapping.isMappingMode && g_mapping.isMappingMode() != 0;
  if (!mapping && kv_Input_IsRemapped()) code = kv_Input_RemapKey(code);
  const int index = RecordIndex(code);
  if (index < 0) return -1;
  KeyState& key = g_keys[index];
  key.time = static_cast<int32_t>(time);
  if ((state != 0) == (key.state != 0)) {
    if (state) key.pressTime = static_cast<int32_t>(time);  // key repeat
    return -1;
  }
  if (mapping && state && !IsDeviceCode(code)) {
    if (g_mapping.keyMapped) g_mapping.keyMapped(code);
    return -1;
  }
  if (state && time - static_cast<uint32_t>(key.pressTime) < kDoublePressMs) key.doublePress = 1;
  key.state = state;
  key.changeTime = static_cast<int32_t>(time);
  if (state) {
    ++key.pressCount;
    key.latched = state;
    key.pressTime = static_cast<int32_t>(time);
    key.holdReported = holdFlag == 0 ? 1 : 0;
    return index;
  }
  return -1;
}

// Samples one device button after the roll-over.
void SampleButton(int32_t code, int down, int holdFlag) {
  ApplyKeyEvent(code, down, g_layer.frameTime, holdFlag);
}

}  // namespace

void stdInput_SetMappingCalls(const stdInputMappingCalls* calls) {
  g_mapping = calls ? *calls : stdInputMappingCalls{};
}

void stdInput_SetDevices(const stdInputDevices* devices) {
  g_devices = devices ? *devices : kPlatformDevices;
}

int stdInput_Open(void) {
  g_axes = {};
  g_raw = {};
  kv_Input_Init();
  // The first two joysticks, opened as game controllers.
  const int count = g_devices.joystickCount();
  for (int j = 0; j < 2 && j < count; ++j) {
    g_layer.joystickPresent[j] = false;
    if (g_devices.openController(j) < 0) continue;
    g_layer.joystickPresent[j] = true;
    const int buttons = g_devices.getControllerButtonCount(j);
    g_layer.joystickButtons[j] = buttons > 14 ? 14 : buttons;
    stdInput_SetAxisRange(6 * j, 32767, -32768, 0.2f);
    stdInput_SetAxisRange(6 * j + 1, 32767, -32768, 0.2f);
  }
  stdInput_ResetMouseAxes();
  stdInput_ResetState();
  g_layer.opened = true;
  return 1;
}

void stdInput_CloseGameControllers(void) {
  if (!g_layer.opened) return;
  g_layer.opened = false;
  kv_Input_CloseControllers();
}

int stdInput_Startup(void) {
  g_layer.started = true;
  g_layer.enabled = true;
  return 1;
}

int stdInput_Shutdown(void) {
  if (!g_layer.started) return 0;
  g_layer.started = false;
  g_layer.enabled = false;
  return 1;
}

void stdInput_SetEnabled(int flag) {
  if (g_layer.started) g_layer.enabled = flag != 0;
}

int stdInput_IsOpen(void) { return g_layer.opened ? 1 : 0; }

void stdInput_ResetState(void) {
  g_layer.joystickInUse = {};
  g_layer.mouseInUse = false;
  for (InputAxis& axis : g_axes) axis.flags &= ~INPUTAXIS_ENABLED;
}

void stdInput_ToggleMouse(void) { g_layer.mouseInUse = !g_layer.mouseInUse; }

int stdInput_EnableAxis(int n) {
  if (n < 0 || n >= STDINPUT_NUM_AXES || !(g_axes[n].flags & INPUTAXIS_PRESENT)) return 0;
  g_axes[n].flags |= INPUTAXIS_ENABLED;
  if (n >= 12) {
    g_layer.mouseInUse = true;
  } else {
    g_layer.joystickInUse[n / 6] = true;
  }
  return 1;
}

void stdInput_SetAxisRange(int axisIndex, int maximum, int minimum, float deadZoneFactor) {
  if (axisIndex < 0 || axisIndex >= STDINPUT_NUM_AXES) return;
  InputAxis& axis = g_axes[axisIndex];
  axis.minimum = minimum;
  axis.maximum = maximum;
  axis.centre = minimum + (maximum - minimum + 1) / 2;
  const int span = maximum - axis.centre;
  if (span == 0) {
    // A range with no extent gives no usable axis: treat it as absent.
    axis.flags &= ~(INPUTAXIS_PRESENT | INPUTAXIS_ENABLED);
    axis.scale = 0.0f;
    axis.deadZone = 0;
    return;
  }
  axis.flags |= INPUTAXIS_PRESENT;
  axis.scale = 1.0f / static_cast<float>(span);
  axis.deadZone = deadZoneFactor == 0.0f ? 0 : static_cast<int>(span * deadZoneFactor);
}

void stdInput_ResetMouseAxes(void) {
  stdInput_SetAxisRange(12, 640, 0, 0.0f);
  stdInput_SetAxisRange(13, 480, 0, 0.0f);
  g_axes[12].flags |= INPUTAXIS_NO_DEADZONE;
  g_axes[13].flags |= INPUTAXIS_NO_DEADZONE;
}

void stdInput_SetMouseRange(float xFactor, float yFactor) {
  const float factors[2] = {xFactor, yFactor};
  const int extents[2] = {250, 200};
  for (int i = 0; i < 2; ++i) {
    if (!(g_axes[12 + i].flags & INPUTAXIS_PRESENT)) continue;
    const int extent = static_cast<int>(extents[i] * factors[i]);
    stdInput_SetAxisRange(12 + i, extent, -extent, 0.0f);
    g_axes[12 + i].flags |= INPUTAXIS_NO_DEADZONE;
  }
}

void stdInput_KeyEvent(int32_t code, int state, uint32_t time, int holdFlag) {
  // Codes of the controller and mouse records never come from the keyboard.
  if (IsDeviceCode(code)) return;
  const int pressed = ApplyKeyEvent(code, state, time, holdFlag);
  if (pressed >= 0) ++g_pendingPresses[pressed];
}

void stdInput_MapMouse(int windowX, int windowY, int windowWidth, int windowHeight, int* gameX,
                       int* gameY) {
  // Window pixels -> the 1920x1080 virtual screen, fitted with its aspect kept.
  int vx = windowX;
  int vy = windowY;
  if (windowWidth > 0 && windowHeight > 0) {
    const double scale = std::fmin(windowWidth / 1920.0, windowHeight / 1080.0);
    const double ox = (windowWidth - 1920.0 * scale) / 2.0;
    const double oy = (windowHeight - 1080.0 * scale) / 2.0;
    vx = static_cast<int>(std::lround((windowX - ox) / scale));
    vy = static_cast<int>(std::lround((windowY - oy) / scale));
  }
  // The centred 1440x1080 area of the virtual screen -> 640x480.
  *gameX = (vx * 640 - 153600) / 1440;
  *gameY = vy * 480 / 1080;
}

uint32_t stdInput_ReadControls(void) {
  if (!g_layer.enabled) return g_layer.frameTime;
  g_devices.updateDevices();
  g_layer.frameTime = g_devices.getTicks();
  if (g_layer.frameTime == g_layer.previousFrameTime) return g_layer.frameTime;
  g_raw = {};
  for (KeyState& key : g_keys) {
    key.latched = key.state;
    key.time = static_cast<int32_t>(g_layer.frameTime);
    key.pressCount = 0;
    key.doublePress = 0;
  }
  // Keyboard presses since the last frame count for this one.
  for (int i = 0; i < STDINPUT_NUM_KEYS; ++i) {
    if (g_pendingPresses[i]) {
      g_keys[i].pressCount = g_pendingPresses[i];
      g_keys[i].latched = 1;
      g_pendingPresses[i] = 0;
    }
  }
  if (g_layer.joystickInUse[0] || g_layer.joystickInUse[1]) {
    for (int j = 0; j < 2; ++j) {
      if (!g_layer.joystickPresent[j] || !g_layer.joystickInUse[j]) continue;
      g_raw[6 * j] = g_devices.getControllerAxis(j, 0);
      g_raw[6 * j + 1] = g_devices.getControllerAxis(j, 1);
      for (int b = 0; b < KV_INPUT_BUTTON_COUNT; ++b) {
        SampleButton(STDINPUT_FIRST_BUTTON + 14 * j + b, g_devices.getControllerButton(j, b), 0);
      }
    }
  }
  if (g_layer.mouseInUse) {
    int x = 0, y = 0, width = 0, height = 0;
    g_devices.getMouseState(&x, &y);
    g_devices.getWindowSize(&width, &height);
    stdInput_MapMouse(x, y, width, height, &g_raw[12], &g_raw[13]);
    g_raw[14] = 0;
    for (int n = 1; n <= 4; ++n) {
      SampleButton(STDINPUT_FIRST_MOUSE + n - 1, g_devices.getMouseButton(n), 1);
    }
    SampleButton(STDINPUT_FIRST_MOUSE + 4, g_devices.getMouseButton(1), 1);
  }
  g_layer.previousFrameTime = g_layer.frameTime;
  return g_layer.frameTime;
}

int stdInput_ReadKey(int32_t code, int* pressCount, int* doublePress, int* held) {
  if (pressCount) *pressCount = 0;
  if (doublePress) *doublePress = 0;
  if (held) *held = 0;
  const int index = RecordIndex(code);
  if (!g_layer.enabled || index < 0) return 0;
  KeyState& key = g_keys[index];
  if (pressCount) *pressCount = key.pressCount;
  if (doublePress) *doublePress = key.doublePress;
  // A hold is reported once, and only while the button is still down.
  if (!key.holdReported && key.state &&
      static_cast<uint32_t>(key.time) - static_cast<uint32_t>(key.changeTime) > kHoldMs) {
    key.holdReported = 1;
    if (held) *held = 1;
  }
  return key.latched;
}

void stdInput_ClearKeyEvents(void) {
  for (KeyState& key : g_keys) {
    key.doublePress = 0;
    key.pressTime = 0;
    key.holdReported = 1;
  }
}

float stdInput_GetAxis(int n) {
  if (!g_layer.enabled || n < 0 || n >= STDINPUT_NUM_AXES) return 0.0f;
  const InputAxis& axis = g_axes[n];
  if (!(axis.flags & INPUTAXIS_ENABLED)) return 0.0f;
  const int v = g_raw[n] - axis.centre;
  if (v == 0) return 0.0f;
  if (!(axis.flags & INPUTAXIS_NO_DEADZONE) && axis.deadZone != 0 && std::abs(v) < axis.deadZone) {
    return 0.0f;
  }
  const float r = axis.scale * static_cast<float>(v);
  return std::fabs(r) > 0.00001f ? r : 0.0f;
}

int stdInput_GetAxisRaw(int n) {
  if (!g_layer.enabled || n < 0 || n >= STDINPUT_NUM_AXES) return 0;
  if (!(g_axes[n].flags & INPUTAXIS_ENABLED)) return 0;
  return g_raw[n] - g_axes[n].centre;
}

int stdInput_IsAxisActive(int n) { return std::fabs(stdInput_GetAxis(n)) > 0.5f ? 1 : 0; }

void stdInput_FlushControls(void) { g_layer.frameTime = g_devices.getTicks(); }

int stdInput_DisplayHook(int) { return 0; }

const KeyState* stdInput_GetKeyRecord(int32_t code) {
  const int index = RecordIndex(code);
  return index < 0 ? nullptr : &g_keys[index];
}

const InputAxis* stdInput_GetAxisRecord(int n) {
  return n >= 0 && n < STDINPUT_NUM_AXES ? &g_axes[n] : nullptr;
}
