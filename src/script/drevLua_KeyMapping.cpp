// The script interface's key remapping: the key-mapping mode, its end in
// drevLua_KeyMapped, and the script functions SetKeyMappingMode,
// ResetKeyMappingToDefault, GetRemappedKeyName, GetRemappedKeyHint,
// LoadRemappedKeys and SaveRemappedKeys.
#include "script/drevLua_KeyMapping.h"

#include <array>
#include <cstdio>

#include "platform/kv_Input.h"
#include "platform/kv_Registry.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"

namespace {

int g_mappingFlag = 0;
int g_mappingAction = -1;

// The action index of a script argument, -1 unless it is a number naming one
// of the rebindable actions.
int ActionArgument(lua_Object value) {
  if (!lua_isnumber(value)) return -1;
  const int32_t action = drevLua_ToInt(lua_getnumber(value));
  return action >= 0 && action < kv_Input_GetKeyBindingCount() ? action : -1;
}

void RemapSettingName(int action, char (&name)[16]) {
  std::snprintf(name, sizeof name, "Remap%d", action);
}

// SetKeyMappingMode(action): arms the mode for the next key press.
void SetKeyMappingMode() {
  drevLua_ArmKeyMapping(ActionArgument(lua_lua2C(1)));
}

void ResetKeyMappingToDefault() {
  kv_Input_ResetKeyBindings();
}

// GetRemappedKeyName(action): the bound key's display name; nil for an
// action that does not exist.
void GetRemappedKeyName() {
  const int action = ActionArgument(lua_lua2C(1));
  if (action < 0) {
    lua_pushnil();
    return;
  }
  lua_pushstring(kv_Input_GetKeyName(kv_Input_GetKeyBinding(action)));
}

// GetRemappedKeyHint(action): the bound key's hint image and hint text.
void GetRemappedKeyHint() {
  const int action = ActionArgument(lua_lua2C(1));
  if (action < 0) {
    lua_pushnil();
    return;
  }
  const int key = kv_Input_GetKeyBinding(action);
  lua_pushstring(kv_Input_GetKeyHintImage(key));
  lua_pushstring(kv_Input_GetKeyHintText(key));
}

// LoadRemappedKeys(): the settings "Remap0" to "Remap12". A stored value
// other than 0 is taken only when the binding check accepts it; the check
// compares with the other actions' keys, so every stored value is put in
// place first (a stored swap of two keys is accepted), and any that fails
// gets its earlier key back, again until every binding passes.
void LoadRemappedKeys() {
  const int count = kv_Input_GetKeyBindingCount();
  std::array<int, KV_INPUT_BINDING_COUNT> earlier{};
  std::array<bool, KV_INPUT_BINDING_COUNT> stored{};
  for (int i = 0; i < count; ++i) {
    char name[16];
    RemapSettingName(i, name);
    earlier[i] = kv_Input_GetKeyBinding(i);
    const int value = kv_Registry_ReadInt(name, 0);
    stored[i] = value != 0;
    if (stored[i]) kv_Input_SetKeyBinding(i, value);
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (int i = 0; i < count; ++i) {
      const int key = kv_Input_GetKeyBinding(i);
      if (!stored[i] || key == earlier[i]) continue;
      if (kv_Input_ValidateBinding(i, key) != KV_BIND_ACCEPTED) {
        kv_Input_SetKeyBinding(i, earlier[i]);
        changed = true;
      }
    }
  }
}

// SaveRemappedKeys(): the current bindings into the settings (the settings
// file itself is written by SaveRegistryToDisk).
void SaveRemappedKeys() {
  for (int i = 0; i < kv_Input_GetKeyBindingCount(); ++i) {
    char name[16];
    RemapSettingName(i, name);
    kv_Registry_WriteInt(name, kv_Input_GetKeyBinding(i));
  }
}

constexpr lua_Reg kRows[] = {
    {"SetKeyMappingMode", SetKeyMappingMode},
    {"ResetKeyMappingToDefault", ResetKeyMappingToDefault},
    {"GetRemappedKeyName", GetRemappedKeyName},
    {"GetRemappedKeyHint", GetRemappedKeyHint},
    {"LoadRemappedKeys", LoadRemappedKeys},
    {"SaveRemappedKeys", SaveRemappedKeys},
};

}  // namespace

std::span<const lua_Reg> drevLua_KeyMappingRows(void) {
  return kRows;
}

int drevLua_IsKeyMappingMode(void) {
  return g_mappingFlag;
}
int drevLua_GetKeyMappingAction(void) {
  return g_mappingAction;
}

void drevLua_ArmKeyMapping(int action) {
  if (action < 0 || action >= kv_Input_GetKeyBindingCount()) return;
  g_mappingAction = action;
  g_mappingFlag = 1;
}

void drevLua_KeyMapped(int key) {
  if (!g_mappingFlag || g_mappingAction < 0) return;
  const int action = g_mappingAction;
  g_mappingFlag = 0;
  g_mappingAction = -1;
  const int result = kv_Input_ValidateBinding(action, key);
  if (result == KV_BIND_ACCEPTED) kv_Input_SetKeyBinding(action, key);
  drevLua_CallNotifyKeyMapped(result);
}
