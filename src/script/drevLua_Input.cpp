// The script interface's control functions: EnableControl, DisableControl,
// GetControlState, SetMouseSpeedScale and FlushControls.
#include "platform/kv_Input.h"
#include "presentation/drevControl.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"
#include "std/stdInput.h"

namespace {

// EnableControl(index), DisableControl(index): the scripts listen to a
// control or stop listening.
// EnableControl(index), DisableControl(index): nil when the index is no
// number.
void ApplyToControl(void (*apply)(uint32_t index)) {
  lua_Object index = lua_lua2C(1);
  if (!lua_isnumber(index)) {
    lua_pushnil();
    return;
  }
  apply(drevLua_ToIndex(lua_getnumber(index)));
}

void EnableControl() {
  ApplyToControl(drevControl_EnableControl);
}

void DisableControl() {
  ApplyToControl(drevControl_DisableControl);
}

// GetControlState(index): a key control answers down (1 or nil) and double
// press (1 or nil); an axis control its value, negated when inverted. Nil
// when the index is no number; nothing for an index past the table.
void GetControlState() {
  lua_Object argument = lua_lua2C(1);
  if (!lua_isnumber(argument)) {
    lua_pushnil();
    return;
  }
  const uint32_t index = drevLua_ToIndex(lua_getnumber(argument));
  if (index >= static_cast<uint32_t>(kControlCount)) return;
  const ControlRecord& control = drevControl_Controls[index];
  if (control.flags & kControlAxis) {
    const float value = stdInput_GetAxis(static_cast<int>(control.code));
    lua_pushnumber((control.flags & kControlInverted) ? -value : value);
    return;
  }
  int doublePress = 0;
  const int down =
      stdInput_ReadKey(static_cast<int32_t>(control.code), nullptr, &doublePress, nullptr);
  for (int flag : {down, doublePress}) {
    if (flag) {
      lua_pushnumber(1);
    } else {
      lua_pushnil();
    }
  }
}

// SetMouseSpeedScale(n), n from 0 to 127: the factor runs from 0.1 at 0
// through 1.0 at the middle to 3.0 at 127.
void SetMouseSpeedScale() {
  lua_Object argument = lua_lua2C(1);
  if (!lua_isnumber(argument)) return;
  float s = static_cast<float>(drevLua_ToInt(lua_getnumber(argument))) / 127.0f;
  if (s < 0.0f) s = 0.0f;
  if (s > 1.0f) s = 1.0f;
  float factor;
  if (s <= 0.5f) {
    factor = 2.0f * s + (1.0f - 2.0f * s) * 0.1f;
  } else {
    const float d = (s - 0.5f) * 2.0f;
    factor = (1.0f - d) + 3.0f * d;
  }
  kv_Input_SetMouseSpeedScale(factor);
}

void FlushControls() {
  stdInput_FlushControls();
}

constexpr lua_Reg kRows[] = {
    {"EnableControl", EnableControl},     {"DisableControl", DisableControl},
    {"GetControlState", GetControlState}, {"SetMouseSpeedScale", SetMouseSpeedScale},
    {"FlushControls", FlushControls},
};

}  // namespace

std::span<const lua_Reg> drevLua_InputRows(void) {
  return kRows;
}
