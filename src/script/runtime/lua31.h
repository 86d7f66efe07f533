// The scripting runtime layer (Lua 3.1-style interface over Lua 5.4).
//
// Not built yet: a placeholder with the calls the engine core makes.
#pragma once

#include <cstdint>

using lua_Object = uint32_t;

void lua_collectgarbage(int limit);
void lua_pushnil(void);
void lua_pushstring(const char* text);
lua_Object lua_getglobal(const char* name);
int lua_callfunction(lua_Object function);
