// The script interface module's own families of core-table rows, kept in
// their own files; drevLua_Core puts them in the core table by name. Also the
// argument helpers they share.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "script/runtime/lua31.h"

// System and engine functions (drevLua_System.cpp).
std::span<const lua_Reg> drevLua_SystemRows(void);
// Controls, mouse speed and FlushControls (drevLua_Input.cpp).
std::span<const lua_Reg> drevLua_InputRows(void);
// Key remapping (drevLua_KeyMapping.cpp).
std::span<const lua_Reg> drevLua_KeyMappingRows(void);
// SubmitSaveGameData and GetSaveGameData (drevLua_SaveGame.cpp).
std::span<const lua_Reg> drevLua_SaveGameDataRows(void);
// The actor chore functions (drevLua_Chore.cpp).
std::span<const lua_Reg> drevLua_ChoreRows(void);

struct Actor;
// The actor of an ACTR handle argument, or null for any other value or a
// freed actor.
Actor* drevLua_ActorArg(int n);
// Save games, settings and files (drevLua_SaveFiles.cpp), and what their
// shutdown ends: a save-list search still running, an open file search.
std::span<const lua_Reg> drevLua_SaveFileRows(void);
void drevLua_ShutdownSaveFiles(void);

// A number truncated toward zero as an unsigned index; UINT32_MAX (never a
// valid index) for a negative number, NaN or one beyond the unsigned range.
inline uint32_t drevLua_ToIndex(float number) {
  const float t = std::trunc(number);
  if (!(t >= 0.0f) || t >= 4294967296.0f) return UINT32_MAX;
  return static_cast<uint32_t>(t);
}

// A number truncated toward zero as an int, saturated at the int range (NaN
// gives 0), so no value converts out of range.
inline int32_t drevLua_ToInt(float number) {
  if (!(number == number)) return 0;
  if (number >= 2147483648.0f) return INT32_MAX;
  if (number <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(number);
}

// table[key] := a number or a string (the key a string).
inline void drevLua_SetField(lua_Object table, const char* key, float number) {
  lua_pushobject(table);
  lua_pushstring(key);
  lua_pushnumber(number);
  lua_settable();
}
inline void drevLua_SetField(lua_Object table, const char* key, const char* text) {
  lua_pushobject(table);
  lua_pushstring(key);
  lua_pushstring(text);
  lua_settable();
}
