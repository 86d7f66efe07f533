// Game controllers, mouse state and the player's key remapping: the
// platform's input back end under the general library's input layer.
//
// Remapping works by translation: a key bound to an action is turned into
// that action's default key before it reaches the input state, so the game
// only ever sees default keys.
#pragma once

#include <cstdint>

constexpr int KV_INPUT_MAX_CONTROLLERS = 4;
constexpr int KV_INPUT_BUTTON_COUNT = 12;   // the game's controller button indexes
constexpr int KV_INPUT_BINDING_COUNT = 13;  // remappable game actions

// Rebinding results of kv_Input_ValidateBinding.
enum : int {
  KV_BIND_ACCEPTED = 0,
  KV_BIND_RESERVED = 1,
  KV_BIND_BAD_ACTION = 2,
  KV_BIND_DUPLICATE = 3,
  KV_BIND_ESCAPE = 4,
};

void kv_Input_Init(void);
int kv_Input_OpenController(int id);
int kv_Input_CloseController(int id);
void kv_Input_CloseControllers(void);
int kv_Input_GetControllerAxis(int id, int axis);
int kv_Input_GetControllerButton(int id, int index);
int kv_Input_GetControllerButtonCount(int id);
int kv_Input_GetControllerHat(int id, int hat);
int kv_Input_GetMouseButton(int n);
void kv_Input_GetMouseState(int* x, int* y);
void kv_Input_SetMouseSpeedScale(float factor);
float kv_Input_GetMouseSpeedScale(void);

int kv_Input_GetKeyBindingCount(void);
int kv_Input_GetKeyBinding(int index);        // 0 for an index outside 0..12
void kv_Input_SetKeyBinding(int index, int key);  // ignores an index outside 0..12
int kv_Input_GetDefaultKey(int index);
void kv_Input_ResetKeyBindings(void);
int kv_Input_RemapKey(int key);
int kv_Input_IsRemapped(void);
int kv_Input_ValidateBinding(int index, int key);

const char* kv_Input_GetKeyName(int key);
const char* kv_Input_GetKeyHintText(int key);
const char* kv_Input_GetKeyHintImage(int key);
int kv_Input_IsReservedKey(int key);
int kv_Input_IsUsableKey(int key);
