// The general library's input layer: per-frame records of every key and
// button (state, press count, double press, hold) and 15 axes (two joysticks
// of six axes each, then the mouse), polled by the engine's control module.
//
// Keyboard keys arrive as events from the event pump; controller buttons,
// sticks and the mouse are sampled once per frame. Key codes go through the
// player's key remapping first, so the game always sees its default keys.
#pragma once

#include <cstdint>

// One record per key or button code.
struct KeyState {
  int32_t latched;      // state at the last press, or after the frame roll-over
  int32_t time;         // time of the last update
  int32_t state;        // 0 up, non-zero down
  int32_t changeTime;   // time of the last change of state
  int32_t pressTime;    // time of the last press (refreshed while held)
  int32_t pressCount;   // presses since the last frame roll-over
  int32_t doublePress;  // a press less than 200 ms after the previous one
  int32_t holdReported;
};

struct InputAxis {
  int flags;  // INPUTAXIS_*
  int minimum;
  int maximum;
  int centre;
  int deadZone;
  float scale;
};

enum : int { INPUTAXIS_PRESENT = 1, INPUTAXIS_ENABLED = 2, INPUTAXIS_NO_DEADZONE = 8 };

constexpr int STDINPUT_NUM_KEYS = 546;
constexpr int STDINPUT_NUM_AXES = 15;
constexpr int STDINPUT_FIRST_BUTTON = 256;  // 256-283 controller buttons
constexpr int STDINPUT_FIRST_MOUSE = 284;   // 284-287 mouse buttons, 288 left again
constexpr int STDINPUT_LAST_DEVICE_CODE = 289;
constexpr int STDINPUT_SECOND_BANK = 290;   // codes with bit 30 start here
constexpr int32_t STDINPUT_CODE_BANK_BIT = 1 << 30;

int stdInput_Open(void);
void stdInput_CloseGameControllers(void);
int stdInput_Startup(void);
int stdInput_Shutdown(void);
void stdInput_SetEnabled(int flag);
int stdInput_IsOpen(void);
void stdInput_ResetState(void);
void stdInput_ToggleMouse(void);
int stdInput_EnableAxis(int n);
void stdInput_SetAxisRange(int axis, int maximum, int minimum, float deadZoneFactor);
void stdInput_ResetMouseAxes(void);
void stdInput_SetMouseRange(float xFactor, float yFactor);
// The event pump's entry for key downs and ups of the keyboard.
void stdInput_KeyEvent(int32_t code, int state, uint32_t time, int holdFlag);
uint32_t stdInput_ReadControls(void);
int stdInput_ReadKey(int32_t code, int* pressCount, int* doublePress, int* held);
void stdInput_ClearKeyEvents(void);
float stdInput_GetAxis(int n);
int stdInput_GetAxisRaw(int n);
int stdInput_IsAxisActive(int n);
// Sets the frame's time stamp to the current ticks (the script function FlushControls).
void stdInput_FlushControls(void);
// Empty hooks that the front end calls around display changes and at shutdown.
int stdInput_DisplayHook(int flag);

// Maps a mouse position in window pixels to the 1920x1080 virtual screen
// (aspect kept, letterboxed) and then to the 640x480 game space.
void stdInput_MapMouse(int windowX, int windowY, int windowWidth, int windowHeight, int* gameX,
                       int* gameY);

// The devices behind the layer. The defaults are the platform's controller
// and mouse functions and its tick source; tests put in a thin fake.
struct stdInputDevices {
  uint32_t (*getTicks)(void);
  int (*getControllerAxis)(int id, int axis);
  int (*getControllerButton)(int id, int index);
  int (*getControllerButtonCount)(int id);
  int (*openController)(int id);
  int (*joystickCount)(void);
  void (*getMouseState)(int* x, int* y);  // window pixels
  void (*getWindowSize)(int* width, int* height);
  int (*getMouseButton)(int n);
  void (*updateDevices)(void);
};
void stdInput_SetDevices(const stdInputDevices* devices);  // null restores the defaults

// The scripts' key mapping. While isMappingMode answers non-zero, key
// remapping is skipped and the next keyboard press goes to keyMapped instead
// of being recorded. The table starts empty (never in mapping mode); the
// program installs the script module's.
struct stdInputMappingCalls {
  int (*isMappingMode)(void);
  void (*keyMapped)(int code);
};
// Copies the table in (null empties it).
void stdInput_SetMappingCalls(const stdInputMappingCalls* calls);
const KeyState* stdInput_GetKeyRecord(int32_t code);
const InputAxis* stdInput_GetAxisRecord(int n);
