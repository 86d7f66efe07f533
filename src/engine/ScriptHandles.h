// How the engine's objects travel to the scripts: the tags of their handles
// and the small helpers that every module's script functions share.
//
// Engine objects travel to the scripts as tagged handles (lua_pushusertag):
// ACTR actor index, COLR packed colour, TEXT text object, FONT font, STAT
// object state, VBUF image buffer, NIOP cached screen rectangle, the cutscene
// tag (TOLV with its bytes reversed); the type override also names SET, COST
// and KEYF.
//
// Any module that hands objects to the scripts includes this header alone;
// the script interface module (script/drevLua.h) includes it too.
#pragma once

#include <cmath>
#include <cstdint>

#include "script/runtime/lua31.h"

// Handle tags.
constexpr int32_t kTagActor = lua_MakeTag("ACTR");
constexpr int32_t kTagColor = lua_MakeTag("COLR");
constexpr int32_t kTagText = lua_MakeTag("TEXT");
constexpr int32_t kTagFont = lua_MakeTag("FONT");
constexpr int32_t kTagObjectState = lua_MakeTag("STAT");
constexpr int32_t kTagImage = lua_MakeTag("VBUF");
constexpr int32_t kTagCachedRect = lua_MakeTag("NIOP");
constexpr int32_t kTagCutscene = lua_MakeTag("VLOT");  // "TOLV" stored in reverse order
constexpr int32_t kTagSet = lua_MakeTag("SET ");
constexpr int32_t kTagCostume = lua_MakeTag("COST");
constexpr int32_t kTagKeyframe = lua_MakeTag("KEYF");

// ---- Arguments and results ----------------------------------------------------------

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
