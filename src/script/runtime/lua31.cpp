// The scripting runtime layer: state, objects, blocks, calls, tables,
// references, tagged user data and fallbacks.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/kv_Log.h"
#include "script/runtime/lua31_Private.h"
#include "std/std.h"

int lua_assume_binary = 0;
lua_SaveHookFn lua_savehook = nullptr;
lua_RestoreHookFn lua_restorehook = nullptr;

namespace luart {

Runtime g_rt;

void LogLine(const char* format, ...) {
  char stack[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(stack, sizeof stack, format, args);
  va_end(args);
  if (length < 0) return;
  std::string text;
  if (length < static_cast<int>(sizeof stack)) {
    text = stack;
  } else {
    text.resize(static_cast<size_t>(length) + 1);
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
  }
  // The program log when it is open, else the debugger output: a script
  // error is never silent.
  if (kv_Log_IsOpen()) {
    kv_Log_Printf("[Lua] - %s", text.c_str());
  } else {
    std::fprintf(stderr, "[Lua] - %s\n", text.c_str());
  }
}

void PushRegTable(lua_State* L, const char* key) {
  if (lua_getfield(L, LUA_REGISTRYINDEX, key) != LUA_TTABLE) {
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, key);
  }
}

namespace {

// Keeps the frame of one engine-function call and restores it on return.
int RunEngineFunction(lua_State* T, lua_CFunc function) {
  Runtime& rt = g_rt;
  lua_State* S = rt.S;
  const Frame saved = rt.frame;
  const size_t savedBlocks = rt.blocks.size();
  const size_t savedFloor = rt.blockFloor;
  const int nargs = lua_gettop(T);
  const int oldTop = lua_gettop(S);
  if (!lua_checkstack(S, nargs + LUA_MINSTACK)) {
    LogLine("object stack overflow calling an engine function");
    return 0;
  }
  // The arguments become the first objects of the new frame, above
  // everything of the outer frame (which stays as it is).
  lua_xmove(T, S, nargs);
  rt.frame.lua2C = oldTop + 1;
  rt.frame.num = nargs;
  rt.frame.base = oldTop + nargs;
  rt.frame.thread = T;
  rt.blockFloor = savedBlocks;
  function();
  // Blocks left open by the function end with it.
  rt.blocks.resize(savedBlocks);
  rt.blockFloor = savedFloor;
  const int results = lua_gettop(S) - rt.frame.base;
  int moved = 0;
  if (results > 0 && lua_checkstack(T, results)) {
    lua_xmove(S, T, results);
    moved = results;
  }
  lua_settop(S, oldTop);
  rt.frame = saved;
  return moved;
}

int TracebackHandler(lua_State* L) {
  const char* message = lua_tostring(L, 1);
  if (!message) {
    message = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
  }
  luaL_traceback(L, L, message, 1);
  return 1;
}

lua_State* ExecThread() {
  return g_rt.frame.thread ? g_rt.frame.thread : g_rt.L;
}

bool ValidObject(lua_Object object) {
  return g_rt.S && object >= 1 && static_cast<int>(object) <= lua_gettop(g_rt.S);
}

int ObjectType(lua_Object object) {
  return ValidObject(object) ? lua_type(g_rt.S, static_cast<int>(object)) : LUA_TNONE;
}

// Runs `op` protected on the executing thread with the top `nargs` values of
// S as arguments; its `nresults` results replace them on S. Returns false
// (and logs) on error, with nresults nils on S.
bool ProtectedOp(lua_CFunction op, int nargs, int nresults, const char* what) {
  lua_State* S = g_rt.S;
  lua_State* T = ExecThread();
  if (!lua_checkstack(T, nargs + 2)) {
    lua_pop(S, nargs);
    for (int i = 0; i < nresults; ++i) lua_pushnil(S);
    return false;
  }
  lua_pushcfunction(T, op);
  lua_xmove(S, T, nargs);
  if (lua_pcall(T, nargs, nresults, 0) != LUA_OK) {
    LogLine("error in %s: %s", what, lua_tostring(T, -1) ? lua_tostring(T, -1) : "?");
    lua_pop(T, 1);
    for (int i = 0; i < nresults; ++i) lua_pushnil(S);
    return false;
  }
  lua_xmove(T, S, nresults);
  return true;
}

int OpGetTable(lua_State* L) {
  lua_gettable(L, 1);
  return 1;
}

int OpSetTable(lua_State* L) {
  lua_settable(L, 1);
  return 0;
}

// The base library's `type`, 3.1-style: the type name and a tag number.
int ScriptType(lua_State* L) {
  luaL_checkany(L, 1);
  lua_pushstring(L, luaL_typename(L, 1));
  if (UserTag* u = ToUserTag(L, 1)) {
    lua_pushinteger(L, u->tag);
  } else {
    int32_t code = LUA_T_OTHER;
    switch (lua_type(L, 1)) {
      case LUA_TNIL:
        code = LUA_T_NIL;
        break;
      case LUA_TNUMBER:
        code = LUA_T_NUMBER;
        break;
      case LUA_TSTRING:
        code = LUA_T_STRING;
        break;
      case LUA_TTABLE:
        code = LUA_T_TABLE;
        break;
      case LUA_TFUNCTION:
        code = LUA_T_FUNCTION;
        break;
      case LUA_TBOOLEAN:
        code = LUA_T_BOOLEAN;
        break;
      default:
        break;
    }
    lua_pushinteger(L, code);
  }
  return 2;
}

// load() in text mode only.
int ScriptLoad(lua_State* L) {
  const int top = lua_gettop(L);
  if (top >= 3) {
    lua_pushliteral(L, "t");
    lua_replace(L, 3);
  } else {
    lua_settop(L, 2);
    lua_pushliteral(L, "t");
  }
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_insert(L, 1);
  lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
  return lua_gettop(L);
}

// Reads a whole file through the services record (archives work once the
// file layer installs its operations there). Returns false when it does not open.
bool ReadWholeFile(const char* name, std::string& out) {
  HostServices* hs = g_rt.services ? g_rt.services : std_pHS;
  if (!hs || !hs->fileOpen) return false;
  stdFile_t file = hs->fileOpen(name, "rb");
  if (!file) return false;
  out.clear();
  char buffer[8192];
  for (;;) {
    const size_t got = hs->fileRead(file, buffer, sizeof buffer);
    if (got == 0) break;
    out.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  hs->fileClose(file);
  return true;
}

// Loads a file as a text chunk onto L. 0 loaded, 2 not found, 1 failed (message on L).
int LoadTextFile(lua_State* L, const char* name) {
  std::string text;
  if (!ReadWholeFile(name, text)) return 2;
  std::string chunkName = std::string("@") + name;
  if (luaL_loadbufferx(L, text.data(), text.size(), chunkName.c_str(), "t") != LUA_OK) return 1;
  return 0;
}

// dofile() of the scripts: through the services record, text chunks only.
int ScriptDofile(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  lua_settop(L, 1);
  const int result = LoadTextFile(L, name);
  if (result == 2) return luaL_error(L, "cannot open %s", name);
  if (result != 0) return lua_error(L);
  lua_call(L, 0, LUA_MULTRET);
  return lua_gettop(L) - 1;
}

// The "concat" dispatcher installed as __concat: calls the current fallback
// with both operands and answers its first result.
int ConcatDispatch(lua_State* L) {
  lua_settop(L, 2);
  PushRegTable(L, kRegFallbacks);
  lua_getfield(L, -1, "concat");
  lua_remove(L, -2);
  lua_insert(L, 1);
  lua_call(L, 2, 1);
  return 1;
}

// The built-in "concat" fallback: an error, as for any other bad operand.
int DefaultConcat(lua_State* L) {
  return luaL_error(L, "attempt to concatenate a %s value with a %s value", luaL_typename(L, 1),
                    luaL_typename(L, 2));
}

int UserTagToString(lua_State* L) {
  UserTag* u = ToUserTag(L, 1);
  if (!u) return luaL_tolstring(L, 1, nullptr), 1;
  char code[5];
  std::memcpy(code, &u->tag, 4);
  code[4] = 0;
  for (int i = 0; i < 4; ++i) {
    if (code[i] < 32 || code[i] > 126) code[i] = '?';
  }
  lua_pushfstring(L, "userdata: %s %I", code, static_cast<lua_Integer>(u->value));
  return 1;
}

void SetTypeConcat(lua_State* L) {
  // Strings, nil, booleans and functions find the fallback through __concat;
  // strings keep the string library's __index.
  lua_pushliteral(L, "");
  if (!lua_getmetatable(L, -1)) lua_newtable(L);
  lua_pushcfunction(L, ConcatDispatch);
  lua_setfield(L, -2, "__concat");
  lua_setmetatable(L, -2);
  lua_pop(L, 1);
  auto setFor = [L](void (*push)(lua_State*)) {
    push(L);
    lua_newtable(L);
    lua_pushcfunction(L, ConcatDispatch);
    lua_setfield(L, -2, "__concat");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
  };
  setFor([](lua_State* s) { lua_pushnil(s); });
  setFor([](lua_State* s) { lua_pushboolean(s, 0); });
  setFor([](lua_State* s) { lua_pushcfunction(s, DefaultConcat); });
}

int Panic(lua_State* L) {
  LogLine("unprotected error: %s", lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
  std::abort();
}

void CloseState() {
  Runtime& rt = g_rt;
  if (!rt.L) return;
  CloseTasks();
  lua_close(rt.L);
  rt.L = nullptr;
  rt.S = nullptr;
  rt.frame = Frame{};
  rt.blocks.clear();
  rt.blockFloor = 0;
  rt.cnames.clear();
  rt.freeRefs.clear();
  rt.nextRef = 1;
}

int RuntimeStartup() {
  Runtime& rt = g_rt;
  CloseState();
  lua_State* L = luaL_newstate();
  if (!L) return 1;
  lua_atpanic(L, Panic);
  rt.L = L;
  rt.S = lua_newthread(L);
  lua_setfield(L, LUA_REGISTRYINDEX, "vq.objects");
  // Base library, with text-only loading and our own type and dofile.
  luaL_requiref(L, LUA_GNAME, luaopen_base, 1);
  lua_pop(L, 1);
  lua_pushglobaltable(L);
  lua_getfield(L, -1, "load");
  lua_pushcclosure(L, ScriptLoad, 1);
  lua_setfield(L, -2, "load");
  lua_pushnil(L);
  lua_setfield(L, -2, "loadfile");
  lua_pushcfunction(L, ScriptDofile);
  lua_setfield(L, -2, "dofile");
  lua_pushcfunction(L, ScriptType);
  lua_setfield(L, -2, "type");
  lua_pop(L, 1);
  // The "concat" fallback and the metatables that reach it.
  PushRegTable(L, kRegFallbacks);
  lua_pushcfunction(L, DefaultConcat);
  lua_setfield(L, -2, "concat");
  lua_pop(L, 1);
  SetTypeConcat(L);
  OpenTaskLib(L);
  rt.frame = Frame{};
  rt.frame.thread = nullptr;
  return 0;
}

int RuntimeShutdown() {
  CloseState();
  return 0;
}

void RuntimeUninitialize() {
  CloseState();
  g_rt.services = nullptr;
}

}  // namespace

int Trampoline(lua_State* L) {
  auto function = reinterpret_cast<lua_CFunc>(lua_touserdata(L, lua_upvalueindex(1)));
  if (!function) return 0;
  return RunEngineFunction(L, function);
}

lua_CFunc ToEngineFunction(lua_State* L, int index) {
  if (lua_tocfunction(L, index) != Trampoline) return nullptr;
  if (!lua_getupvalue(L, index, 1)) return nullptr;
  auto function = reinterpret_cast<lua_CFunc>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return function;
}

void PushEngineFunction(lua_State* L, lua_CFunc function) {
  auto it = g_rt.cnames.find(function);
  if (it != g_rt.cnames.end()) {
    PushRegTable(L, kRegCFuncs);
    if (lua_getfield(L, -1, it->second.c_str()) == LUA_TFUNCTION) {
      lua_remove(L, -2);
      return;
    }
    lua_pop(L, 2);
  }
  lua_pushlightuserdata(L, reinterpret_cast<void*>(function));
  lua_pushcclosure(L, Trampoline, 1);
}

UserTag* ToUserTag(lua_State* L, int index) {
  if (lua_type(L, index) != LUA_TUSERDATA) return nullptr;
  if (lua_rawlen(L, index) != sizeof(UserTag)) return nullptr;
  if (!lua_getmetatable(L, index)) return nullptr;
  const bool ours = lua_getfield(L, -1, "__vqtag") == LUA_TBOOLEAN;
  lua_pop(L, 2);
  return ours ? static_cast<UserTag*>(lua_touserdata(L, index)) : nullptr;
}

void PushUserTag(lua_State* L, int64_t value, int32_t tag) {
  lua_checkstack(L, 6);
  PushRegTable(L, kRegIntern);
  if (lua_rawgeti(L, -1, tag) != LUA_TTABLE) {
    lua_pop(L, 1);
    lua_newtable(L);
    lua_newtable(L);
    lua_pushliteral(L, "v");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_pushvalue(L, -1);
    lua_rawseti(L, -3, tag);
  }
  lua_remove(L, -2);  // intern table for the tag
  if (lua_rawgeti(L, -1, value) == LUA_TUSERDATA) {
    lua_remove(L, -2);
    return;
  }
  lua_pop(L, 1);
  auto* u = static_cast<UserTag*>(lua_newuserdatauv(L, sizeof(UserTag), 0));
  u->value = value;
  u->tag = tag;
  PushRegTable(L, kRegTagMeta);
  if (lua_rawgeti(L, -1, tag) != LUA_TTABLE) {
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushboolean(L, 1);
    lua_setfield(L, -2, "__vqtag");
    lua_pushcfunction(L, ConcatDispatch);
    lua_setfield(L, -2, "__concat");
    lua_pushcfunction(L, UserTagToString);
    lua_setfield(L, -2, "__tostring");
    lua_pushvalue(L, -1);
    lua_rawseti(L, -3, tag);
  }
  lua_remove(L, -2);
  lua_setmetatable(L, -2);
  lua_pushvalue(L, -1);
  lua_rawseti(L, -3, value);
  lua_remove(L, -2);
}

lua_Object PutObject() {
  Runtime& rt = g_rt;
  lua_State* S = rt.S;
  const int top = lua_gettop(S);
  if (top > rt.frame.base + 1) lua_rotate(S, rt.frame.base + 1, 1);
  rt.frame.base += 1;
  return static_cast<lua_Object>(rt.frame.base);
}

}  // namespace luart

using namespace luart;

// ---------------------------------------------------------------------------
// Module

int lua_Initialize(HostServices* services, lua_Descriptor* descriptor) {
  if (!services || !descriptor) return 1;
  g_rt.services = services;
  descriptor->initialize = lua_Initialize;
  descriptor->uninitialize = RuntimeUninitialize;
  descriptor->startup = RuntimeStartup;
  descriptor->shutdown = RuntimeShutdown;
  return 0;
}

// ---------------------------------------------------------------------------
// Libraries

void lua_iolibopen(void) {
  if (!g_rt.L) return;
  luaL_requiref(g_rt.L, LUA_IOLIBNAME, luaopen_io, 1);
  lua_pop(g_rt.L, 1);
}

void lua_strlibopen(void) {
  lua_State* L = g_rt.L;
  if (!L) return;
  luaL_requiref(L, LUA_STRLIBNAME, luaopen_string, 1);
  // string.dump makes binary chunks, which nothing here loads.
  lua_pushnil(L);
  lua_setfield(L, -2, "dump");
  lua_pop(L, 1);
  // The string library set a fresh metatable for strings: put __concat back.
  lua_pushliteral(L, "");
  if (lua_getmetatable(L, -1)) {
    lua_pushcfunction(L, ConcatDispatch);
    lua_setfield(L, -2, "__concat");
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
}

void lua_mathlibopen(void) {
  if (!g_rt.L) return;
  luaL_requiref(g_rt.L, LUA_MATHLIBNAME, luaopen_math, 1);
  lua_pop(g_rt.L, 1);
}

static void RegisterRows(const lua_Reg* table, int count, bool asGlobals) {
  lua_State* L = g_rt.L;
  if (!L || !table) return;
  for (int i = 0; i < count; ++i) {
    if (!table[i].name || !table[i].func) continue;
    // The first name an engine function is registered under is its name in
    // save games; a second name shares the same closure.
    auto [it, fresh] = g_rt.cnames.emplace(table[i].func, table[i].name);
    PushRegTable(L, kRegCFuncs);
    if (fresh) {
      lua_pushlightuserdata(L, reinterpret_cast<void*>(table[i].func));
      lua_pushcclosure(L, Trampoline, 1);
      lua_setfield(L, -2, table[i].name);
    }
    lua_getfield(L, -1, it->second.c_str());
    if (std::strcmp(it->second.c_str(), table[i].name) != 0) {
      lua_pushvalue(L, -1);
      lua_setfield(L, -3, table[i].name);
    }
    if (asGlobals) {
      lua_setglobal(L, table[i].name);
    } else {
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
  }
}

void lua_openlib(const lua_Reg* table, int count) {
  RegisterRows(table, count, true);
}

void lua_recognizelib(const lua_Reg* table, int count) {
  RegisterRows(table, count, false);
}

lua_Object lua_setfallback(const char* name, lua_CFunc function) {
  lua_State* S = g_rt.S;
  if (!S || !name) return 0;
  if (std::strcmp(name, "concat") != 0) {
    LogLine("fallback \"%s\" is not supported", name);
    return 0;
  }
  lua_checkstack(S, 4);
  PushRegTable(S, kRegFallbacks);
  lua_getfield(S, -1, name);
  PushEngineFunction(S, function);
  lua_setfield(S, -3, name);
  lua_remove(S, -2);
  return PutObject();
}

void lua_pushCclosure(lua_CFunc function, int upvalues) {
  if (!g_rt.S) return;
  if (upvalues != 0) LogLine("closures with upvalues are not supported; pushed without");
  lua_checkstack(g_rt.S, 2);
  if (function) {
    PushEngineFunction(g_rt.S, function);
  } else {
    lua_pushnil(g_rt.S);
  }
}

// ---------------------------------------------------------------------------
// Running code

int lua_dofile(const char* name) {
  Runtime& rt = g_rt;
  if (!rt.S || !name) return 1;
  lua_State* T = ExecThread();
  lua_checkstack(T, 3);
  const int base = lua_gettop(T);
  lua_pushcfunction(T, TracebackHandler);
  const int loaded = LoadTextFile(T, name);
  if (loaded == 2) {
    lua_settop(T, base);
    return 2;
  }
  if (loaded != 0) {
    LogLine("cannot load %s: %s", name, lua_tostring(T, -1) ? lua_tostring(T, -1) : "?");
    lua_settop(T, base);
    return 1;
  }
  if (lua_pcall(T, 0, LUA_MULTRET, base + 1) != LUA_OK) {
    LogLine("error in %s: %s", name, lua_tostring(T, -1) ? lua_tostring(T, -1) : "?");
    lua_settop(T, base);
    return 1;
  }
  // The chunk's results are dropped; pending pushes stay for the next call.
  lua_settop(T, base);
  return 0;
}

lua_Object lua_getglobal(const char* name) {
  lua_State* S = g_rt.S;
  if (!S || !name) return 0;
  lua_checkstack(S, 2);
  lua_pushglobaltable(S);
  lua_getfield(S, -1, name);  // the globals table carries no metatable of ours
  lua_remove(S, -2);
  return PutObject();
}

void lua_setglobal(const char* name) {
  lua_State* S = g_rt.S;
  if (!S || !name) return;
  lua_checkstack(S, 2);
  if (lua_gettop(S) <= g_rt.frame.base) lua_pushnil(S);
  lua_pushglobaltable(S);
  lua_insert(S, -2);
  lua_pushstring(S, name);
  lua_insert(S, -2);
  lua_rawset(S, -3);
  lua_pop(S, 1);
}

int lua_callfunction(lua_Object function) {
  Runtime& rt = g_rt;
  lua_State* S = rt.S;
  if (!S) return 1;
  const int nargs = lua_gettop(S) - rt.frame.base;
  if (!ValidObject(function)) {
    lua_settop(S, rt.frame.base);
    return 1;
  }
  lua_State* T = ExecThread();
  if (!lua_checkstack(T, nargs + 3)) {
    lua_settop(S, rt.frame.base);
    LogLine("stack overflow calling a script function");
    return 1;
  }
  const int tbase = lua_gettop(T);
  lua_pushcfunction(T, TracebackHandler);
  lua_pushvalue(S, static_cast<int>(function));
  lua_xmove(S, T, 1);
  lua_xmove(S, T, nargs);
  if (lua_pcall(T, nargs, LUA_MULTRET, tbase + 1) != LUA_OK) {
    LogLine("%s", lua_tostring(T, -1) ? lua_tostring(T, -1) : "error in a script function");
    lua_settop(T, tbase);
    rt.frame.lua2C = rt.frame.base + 1;
    rt.frame.num = 0;
    return 1;
  }
  const int results = lua_gettop(T) - tbase - 1;
  if (!lua_checkstack(S, results + LUA_MINSTACK)) {
    lua_settop(T, tbase);
    rt.frame.lua2C = rt.frame.base + 1;
    rt.frame.num = 0;
    return 1;
  }
  lua_xmove(T, S, results);
  lua_settop(T, tbase);
  rt.frame.lua2C = rt.frame.base + 1;
  rt.frame.num = results;
  rt.frame.base += results;
  return 0;
}

void lua_beginblock(void) {
  g_rt.blocks.push_back(g_rt.frame);
}

void lua_endblock(void) {
  Runtime& rt = g_rt;
  if (rt.blocks.size() <= rt.blockFloor) return;  // no block of this frame is open
  rt.frame = rt.blocks.back();
  rt.blocks.pop_back();
  if (rt.S && lua_gettop(rt.S) > rt.frame.base) lua_settop(rt.S, rt.frame.base);
}

// ---------------------------------------------------------------------------
// Arguments, tests, getters and pushers

lua_Object lua_lua2C(int number) {
  const Frame& f = g_rt.frame;
  if (number < 1 || number > f.num) return 0;
  return static_cast<lua_Object>(f.lua2C + number - 1);
}

int lua_isnil(lua_Object object) {
  return ObjectType(object) == LUA_TNIL;
}

int lua_isnumber(lua_Object object) {
  return ValidObject(object) && lua_isnumber(g_rt.S, static_cast<int>(object));
}

int lua_isstring(lua_Object object) {
  return ValidObject(object) && lua_isstring(g_rt.S, static_cast<int>(object));
}

int lua_istable(lua_Object object) {
  return ObjectType(object) == LUA_TTABLE;
}

int lua_isfunction(lua_Object object) {
  return ObjectType(object) == LUA_TFUNCTION;
}

int lua_isuserdata(lua_Object object) {
  const int type = ObjectType(object);
  return type == LUA_TUSERDATA || type == LUA_TLIGHTUSERDATA;
}

float lua_getnumber(lua_Object object) {
  if (!ValidObject(object)) return 0.0f;
  return static_cast<float>(lua_tonumber(g_rt.S, static_cast<int>(object)));
}

const char* lua_getstring(lua_Object object) {
  if (!ValidObject(object)) return nullptr;
  return lua_tostring(g_rt.S, static_cast<int>(object));
}

void* lua_getuserdata(lua_Object object) {
  if (!ValidObject(object)) return nullptr;
  lua_State* S = g_rt.S;
  if (UserTag* u = ToUserTag(S, static_cast<int>(object))) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(u->value));
  }
  if (lua_type(S, static_cast<int>(object)) == LUA_TLIGHTUSERDATA) {
    return lua_touserdata(S, static_cast<int>(object));
  }
  return nullptr;
}

int32_t lua_tag(lua_Object object) {
  if (!ValidObject(object)) return LUA_T_OTHER;
  lua_State* S = g_rt.S;
  if (UserTag* u = ToUserTag(S, static_cast<int>(object))) return u->tag;
  switch (lua_type(S, static_cast<int>(object))) {
    case LUA_TNIL:
      return LUA_T_NIL;
    case LUA_TNUMBER:
      return LUA_T_NUMBER;
    case LUA_TSTRING:
      return LUA_T_STRING;
    case LUA_TTABLE:
      return LUA_T_TABLE;
    case LUA_TFUNCTION:
      return LUA_T_FUNCTION;
    case LUA_TBOOLEAN:
      return LUA_T_BOOLEAN;
    default:
      return LUA_T_OTHER;
  }
}

void lua_pushnumber(float number) {
  if (!g_rt.S) return;
  lua_checkstack(g_rt.S, 1);
  // A whole float is pushed as an integer so that scripts index tables with it.
  const double value = number;
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15) {
    lua_pushinteger(g_rt.S, static_cast<lua_Integer>(value));
  } else {
    lua_pushnumber(g_rt.S, value);
  }
}

void lua_pushstring(const char* text) {
  if (!g_rt.S) return;
  lua_checkstack(g_rt.S, 1);
  if (text) {
    lua_pushstring(g_rt.S, text);
  } else {
    lua_pushnil(g_rt.S);
  }
}

void lua_pushnil(void) {
  if (!g_rt.S) return;
  lua_checkstack(g_rt.S, 1);
  lua_pushnil(g_rt.S);
}

void lua_pushobject(lua_Object object) {
  if (!g_rt.S) return;
  lua_checkstack(g_rt.S, 1);
  if (ValidObject(object)) {
    lua_pushvalue(g_rt.S, static_cast<int>(object));
  } else {
    lua_pushnil(g_rt.S);
  }
}

void lua_pushusertag(void* value, int32_t tag) {
  if (!g_rt.S) return;
  PushUserTag(g_rt.S, static_cast<int64_t>(reinterpret_cast<intptr_t>(value)), tag);
}

// ---------------------------------------------------------------------------
// Tables

lua_Object lua_createtable(void) {
  if (!g_rt.S) return 0;
  lua_checkstack(g_rt.S, 1);
  lua_newtable(g_rt.S);
  return PutObject();
}

lua_Object lua_gettable(void) {
  lua_State* S = g_rt.S;
  if (!S) return 0;
  lua_checkstack(S, 2);
  while (lua_gettop(S) < g_rt.frame.base + 2) lua_pushnil(S);
  if (lua_type(S, -2) == LUA_TTABLE && !lua_getmetatable(S, -2)) {
    lua_rawget(S, -2);
    lua_remove(S, -2);
  } else {
    if (lua_type(S, -2) == LUA_TTABLE) lua_pop(S, 1);  // the metatable
    ProtectedOp(OpGetTable, 2, 1, "gettable");
  }
  return PutObject();
}

void lua_settable(void) {
  lua_State* S = g_rt.S;
  if (!S) return;
  lua_checkstack(S, 3);
  while (lua_gettop(S) < g_rt.frame.base + 3) lua_pushnil(S);
  if (lua_type(S, -3) == LUA_TTABLE && !lua_getmetatable(S, -3)) {
    if (IsNil(S, -2) || (lua_type(S, -2) == LUA_TNUMBER && std::isnan(lua_tonumber(S, -2)))) {
      LogLine("settable: invalid key");
      lua_pop(S, 3);
      return;
    }
    lua_rawset(S, -3);
    lua_pop(S, 1);
  } else {
    if (lua_type(S, -3) == LUA_TTABLE) lua_pop(S, 1);  // the metatable
    ProtectedOp(OpSetTable, 3, 0, "settable");
  }
}

// ---------------------------------------------------------------------------
// References

int lua_ref(int /*lock*/) {
  Runtime& rt = g_rt;
  lua_State* S = rt.S;
  if (!S) return -1;
  if (lua_gettop(S) <= rt.frame.base) return -1;
  if (IsNil(S, -1)) {
    lua_pop(S, 1);
    return -1;
  }
  int ref;
  if (!rt.freeRefs.empty()) {
    ref = rt.freeRefs.back();
    rt.freeRefs.pop_back();
  } else {
    ref = rt.nextRef++;
  }
  lua_checkstack(S, 2);
  PushRegTable(S, kRegRefs);
  lua_insert(S, -2);
  lua_rawseti(S, -2, ref);
  lua_pop(S, 1);
  return ref;
}

lua_Object lua_getref(int reference) {
  lua_State* S = g_rt.S;
  if (!S || reference < 1) return 0;
  lua_checkstack(S, 2);
  PushRegTable(S, kRegRefs);
  if (lua_rawgeti(S, -1, reference) == LUA_TNIL) {
    lua_pop(S, 2);
    return 0;
  }
  lua_remove(S, -2);
  return PutObject();
}

void lua_unref(int reference) {
  lua_State* S = g_rt.S;
  if (!S || reference < 1) return;
  lua_checkstack(S, 2);
  PushRegTable(S, kRegRefs);
  const bool live = lua_rawgeti(S, -1, reference) != LUA_TNIL;
  lua_pop(S, 1);
  if (live) {
    lua_pushnil(S);
    lua_rawseti(S, -2, reference);
    g_rt.freeRefs.push_back(reference);
  }
  lua_pop(S, 1);
}

// ---------------------------------------------------------------------------
// State and diagnostics

void lua_collectgarbage(int /*limit*/) {
  if (g_rt.L) lua_gc(g_rt.L, LUA_GCCOLLECT);
}

void lua_printstack(int /*unused*/) {
  if (!g_rt.L) return;
  lua_State* T = ExecThread();
  lua_checkstack(g_rt.S, 1);
  luaL_traceback(g_rt.S, T, "script stack:", 0);
  std::fprintf(stderr, "%s\n", lua_tostring(g_rt.S, -1));
  lua_pop(g_rt.S, 1);
}

void lua_funcinfo(lua_Object function, const char** source, int* line) {
  if (source) *source = "(C)";
  if (line) *line = -1;
  if (ObjectType(function) != LUA_TFUNCTION) return;
  lua_State* S = g_rt.S;
  lua_Debug ar;
  lua_pushvalue(S, static_cast<int>(function));
  if (lua_getinfo(S, ">S", &ar)) {
    // The chunk name without Lua's '@' (file) or '=' (literal) mark; it is
    // interned in the function's prototype.
    const char* name = ar.source;
    if (name && (name[0] == '@' || name[0] == '=')) ++name;
    if (source) *source = name;
    if (line) *line = ar.linedefined;
  }
}

// Looks through the table on top of the stack for a string key whose value
// is the value at `index`, and pops the table. The key is kept in the
// runtime's name buffer and handed out through `name`.
static bool FindStringKeyOf(lua_State* S, int index, const char** name) {
  lua_pushnil(S);
  while (lua_next(S, -2)) {
    if (lua_type(S, -2) == LUA_TSTRING && lua_rawequal(S, -1, index)) {
      g_rt.objName = lua_tostring(S, -2);
      lua_pop(S, 3);
      if (name) *name = g_rt.objName.c_str();
      return true;
    }
    lua_pop(S, 1);
  }
  lua_pop(S, 1);
  return false;
}

const char* lua_getobjname(lua_Object function, const char** name) {
  Runtime& rt = g_rt;
  if (name) *name = "";
  if (ObjectType(function) != LUA_TFUNCTION) return "";
  lua_State* S = rt.S;
  lua_checkstack(S, 4);
  // A global whose value is the function, else a fallback.
  lua_pushglobaltable(S);
  if (FindStringKeyOf(S, static_cast<int>(function), name)) return "global";
  PushRegTable(S, kRegFallbacks);
  if (FindStringKeyOf(S, static_cast<int>(function), name)) return "tag method";
  return "";
}

void lua_PrintGlobals(void) {
  lua_State* S = g_rt.S;
  if (!S) return;
  lua_checkstack(S, 4);
  lua_pushglobaltable(S);
  lua_pushnil(S);
  while (lua_next(S, -2)) {
    if (lua_type(S, -2) == LUA_TSTRING) {
      std::fprintf(stderr, "%s: %s\n", lua_tostring(S, -2), luaL_typename(S, -1));
    }
    lua_pop(S, 1);
  }
  lua_pop(S, 1);
}
