#include "platform/kv_Input.h"

#include <SDL.h>

#include <array>
#include <cstring>

#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Save.h"

namespace {

std::array<SDL_GameController*, KV_INPUT_MAX_CONTROLLERS> g_controllers{};
float g_mouseSpeed = 1.0f;
// Where the pointer last was over the game's window.
int g_lastMouseX = 0, g_lastMouseY = 0;

// The pointer is over another window of the program (a developer tool's):
// the game sees neither its position nor its buttons there.
bool PointerInOtherWindow() {
  SDL_Window* focus = SDL_GetMouseFocus();
  return focus && focus != kv_Platform_GetWindowState()->window;
}

constexpr std::array<SDL_GameControllerButton, KV_INPUT_BUTTON_COUNT> kButtonMap = {
    SDL_CONTROLLER_BUTTON_A,          SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,          SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_DPAD_UP,    SDL_CONTROLLER_BUTTON_DPAD_DOWN,
    SDL_CONTROLLER_BUTTON_DPAD_LEFT,  SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_START,      SDL_CONTROLLER_BUTTON_RIGHTSTICK};

constexpr std::array<int, KV_INPUT_BINDING_COUNT> kDefaultKeys = {
    SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT, SDLK_LSHIFT, SDLK_e,         SDLK_u,
    SDLK_p,  SDLK_i,    SDLK_DELETE, SDLK_PERIOD, SDLK_BACKSPACE, SDLK_z};
std::array<int, KV_INPUT_BINDING_COUNT> g_keys = kDefaultKeys;

struct KeyHint {
  int key;
  const char* image;
  const char* text;
};

// Searched in order; the first match counts.
constexpr KeyHint kHints[] = {
    {SDLK_BACKSPACE, "key_bs.png", ""},      {SDLK_CAPSLOCK, "key_caps.png", ""},
    {SDLK_DELETE, "key_del.png", ""},        {SDLK_DOWN, "key_down.png", ""},
    {SDLK_END, "key_end.png", ""},           {SDLK_ESCAPE, "key_esc.png", ""},
    {SDLK_RETURN, "key_enter.png", ""},      {SDLK_HOME, "key_home.png", ""},
    {SDLK_INSERT, "key_ins.png", ""},        {SDLK_LALT, "key_lalt.png", ""},
    {SDLK_LCTRL, "key_lctrl.png", ""},       {SDLK_LEFT, "key_left.png", ""},
    {SDLK_LSHIFT, "key_lshift.png", ""},     {SDLK_KP_ENTER, "key_numenter.png", ""},
    {SDLK_PAGEUP, "key_pgup.png", ""},       {SDLK_PAGEDOWN, "key_pgdn.png", ""},
    {SDLK_RALT, "key_ralt.png", ""},         {SDLK_RCTRL, "key_rctrl.png", ""},
    {SDLK_RIGHT, "key_right.png", ""},       {SDLK_RSHIFT, "key_rshift.png", ""},
    {SDLK_SPACE, "key_space.png", ""},       {SDLK_TAB, "key_tab.png", ""},
    {SDLK_UP, "key_up.png", ""},             {SDLK_KP_0, "key_numpad.png", "0"},
    {SDLK_KP_1, "key_numpad.png", "1"},      {SDLK_KP_2, "key_numpad.png", "2"},
    {SDLK_KP_3, "key_numpad.png", "3"},      {SDLK_KP_4, "key_numpad.png", "4"},
    {SDLK_KP_5, "key_numpad.png", "5"},      {SDLK_KP_6, "key_numpad.png", "6"},
    {SDLK_KP_7, "key_numpad.png", "7"},      {SDLK_KP_8, "key_numpad.png", "8"},
    {SDLK_KP_9, "key_numpad.png", "9"},      {SDLK_KP_0, "key_numpad.png", "0"},
    {SDLK_KP_PLUS, "key_numpad.png", "+"},   {SDLK_KP_MINUS, "key_numpad.png", "="},
    {SDLK_KP_DIVIDE, "key_numpad.png", "/"}, {SDLK_KP_MULTIPLY, "key_numpad.png", "*"},
    {SDLK_KP_PERIOD, "key_numpad.png", "."},
};
static_assert(sizeof kHints / sizeof kHints[0] == 39);

// Keys that can be bound only to the action whose default they are.
constexpr int kReserved[] = {SDLK_RETURN, SDLK_ESCAPE, SDLK_MINUS, SDLK_0,     SDLK_1,
                             SDLK_2,      SDLK_3,      SDLK_4,     SDLK_5,     SDLK_6,
                             SDLK_7,      SDLK_8,      SDLK_9,     SDLK_EQUALS, SDLK_PRINTSCREEN,
                             SDLK_UP,     SDLK_DOWN,   SDLK_LEFT,  SDLK_RIGHT};

const KeyHint* FindHint(int key) {
  for (const KeyHint& hint : kHints) {
    if (hint.key == key) return &hint;
  }
  return nullptr;
}

bool ValidIndex(int index) { return index >= 0 && index < KV_INPUT_BINDING_COUNT; }

SDL_GameController* Slot(int id) {
  return id >= 0 && id < KV_INPUT_MAX_CONTROLLERS ? g_controllers[id] : nullptr;
}

}  // namespace

void kv_Input_Init(void) {
  g_controllers.fill(nullptr);
  kv_Log_Printf("[Input] Initializing controller system");
  SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK);
  kv_Log_Printf("[Input] Loading controller definitions");
  SDL_GameControllerAddMappingsFromFile("controllerdef.txt");  // a missing file adds nothing
  g_keys = kDefaultKeys;
}

int kv_Input_OpenController(int id) {
  if (id < 0 || id >= KV_INPUT_MAX_CONTROLLERS) return -1;
  if (g_controllers[id]) return 0;
  kv_Log_Printf("[Input] Attempting to init game controller with ID: %d", id);
  if (!SDL_IsGameController(id)) return -1;
  SDL_GameController* controller = SDL_GameControllerOpen(id);
  if (!controller) return -1;
  g_controllers[id] = controller;
  const char* name = SDL_GameControllerName(controller);
  kv_Log_Printf("[Input] Found game controller with name: %s", name ? name : "");
  return id;
}

int kv_Input_CloseController(int id) {
  SDL_GameController* controller = Slot(id);
  if (!controller) return -1;
  SDL_GameControllerClose(controller);
  g_controllers[id] = nullptr;
  return 0;
}

void kv_Input_CloseControllers(void) {
  for (int id = 0; id < KV_INPUT_MAX_CONTROLLERS; ++id) kv_Input_CloseController(id);
}

int kv_Input_GetControllerAxis(int id, int axis) {
  SDL_GameController* controller = Slot(id);
  if (!controller) return 0;
  const int value = SDL_GameControllerGetAxis(controller, static_cast<SDL_GameControllerAxis>(axis));
  return (value > 4095 || value < -4095) ? value : 0;
}

int kv_Input_GetControllerButton(int id, int index) {
  SDL_GameController* controller = Slot(id);
  if (!controller || index < 0 || index >= KV_INPUT_BUTTON_COUNT) return 0;
  return SDL_GameControllerGetButton(controller, kButtonMap[index]);
}

int kv_Input_GetControllerButtonCount(int id) {
  SDL_GameController* controller = Slot(id);
  if (!controller) return 0;
  return SDL_JoystickNumButtons(SDL_GameControllerGetJoystick(controller));
}

int kv_Input_GetControllerHat(int id, int hat) {
  SDL_GameController* controller = Slot(id);
  if (!controller) return 0;
  return SDL_JoystickGetHat(SDL_GameControllerGetJoystick(controller), hat);
}

int kv_Input_GetMouseButton(int n) {
  if (n < 1 || n > 5 || PointerInOtherWindow()) return 0;
  return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON(n)) ? 1 : 0;
}

void kv_Input_GetMouseState(int* x, int* y) {
  if (!x || !y) return;
  if (PointerInOtherWindow()) {
    *x = g_lastMouseX;
    *y = g_lastMouseY;
    return;
  }
  SDL_GetMouseState(x, y);
  g_lastMouseX = *x;
  g_lastMouseY = *y;
}

void kv_Input_SetMouseSpeedScale(float factor) { g_mouseSpeed = factor < 0.0f ? 0.0f : factor; }
float kv_Input_GetMouseSpeedScale(void) { return g_mouseSpeed; }

int kv_Input_GetKeyBindingCount(void) { return KV_INPUT_BINDING_COUNT; }
int kv_Input_GetKeyBinding(int index) { return ValidIndex(index) ? g_keys[index] : 0; }
void kv_Input_SetKeyBinding(int index, int key) {
  if (ValidIndex(index)) g_keys[index] = key;
}
int kv_Input_GetDefaultKey(int index) { return ValidIndex(index) ? kDefaultKeys[index] : 0; }
void kv_Input_ResetKeyBindings(void) { g_keys = kDefaultKeys; }

int kv_Input_RemapKey(int key) {
  for (int i = 0; i < KV_INPUT_BINDING_COUNT; ++i) {
    if (g_keys[i] == key) return kDefaultKeys[i];
  }
  return key;
}

int kv_Input_IsRemapped(void) { return g_keys != kDefaultKeys ? 1 : 0; }

int kv_Input_ValidateBinding(int index, int key) {
  if (!ValidIndex(index)) return KV_BIND_BAD_ACTION;
  if (key == SDLK_ESCAPE) return KV_BIND_ESCAPE;
  if ((kv_Input_IsReservedKey(key) && key != kDefaultKeys[index]) || !kv_Input_IsUsableKey(key)) {
    return KV_BIND_RESERVED;
  }
  for (int i = 0; i < KV_INPUT_BINDING_COUNT; ++i) {
    if (i != index && g_keys[i] == key) return KV_BIND_DUPLICATE;
  }
  return KV_BIND_ACCEPTED;
}

const char* kv_Input_GetKeyName(int key) {
  static char name[256];
  std::memset(name, 0, sizeof name);
  Utf8ToLatin1(SDL_GetKeyName(static_cast<SDL_Keycode>(key)), name, sizeof name);
  return name;
}

const char* kv_Input_GetKeyHintText(int key) {
  const KeyHint* hint = FindHint(key);
  return hint ? hint->text : kv_Input_GetKeyName(key);
}

const char* kv_Input_GetKeyHintImage(int key) {
  const KeyHint* hint = FindHint(key);
  return hint ? hint->image : "key_empty.png";
}

int kv_Input_IsReservedKey(int key) {
  for (int reserved : kReserved) {
    if (reserved == key) return 1;
  }
  return 0;
}

int kv_Input_IsUsableKey(int key) {
  if (FindHint(key)) return 1;
  return std::strlen(kv_Input_GetKeyName(key)) == 1 ? 1 : 0;
}
