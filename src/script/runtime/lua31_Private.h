// Private to the scripting runtime layer: Lua 5.4's headers and the layer's
// inner state. Nothing outside src/script/runtime/ includes this file.
#pragma once

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

// Lua 5.4 defines these as macros; the layer's header declares functions of
// the same names with the 3.1-style meaning.
#undef lua_isnil
#undef lua_istable
#undef lua_isfunction

#include <string>
#include <unordered_map>
#include <vector>

#include "script/runtime/lua31.h"

namespace luart {

// The C-call frame of the 3.1-style interface, on the object stack S:
// S[1..base] are live objects, S[base+1..top] are pending pushes; the current
// engine function's arguments (or the last call's results) are
// S[lua2C .. lua2C+num-1].
struct Frame {
  int base = 0;
  int lua2C = 0;
  int num = 0;
  lua_State* thread = nullptr;  // the thread running the current engine function
};

struct Task {
  int id = 0;
  lua_State* thread = nullptr;
  bool started = false;  // resumed at least once
};

struct Runtime {
  HostServices* services = nullptr;
  lua_State* L = nullptr;  // main state
  lua_State* S = nullptr;  // the object stack (never runs code)
  Frame frame;
  std::vector<Frame> blocks;
  size_t blockFloor = 0;  // blocks of outer frames, which an engine function cannot end
  // Engine functions: names under which they were registered.
  std::unordered_map<lua_CFunc, std::string> cnames;
  // Tasks, in id order of creation.
  std::vector<Task> tasks;
  int nextTaskId = 1;
  int currentTask = 0;
  bool updating = false;
  // References: free numbers to reuse.
  std::vector<int> freeRefs;
  int nextRef = 1;
  std::string objName;  // lua_getobjname's answer
};

extern Runtime g_rt;

// Registry keys of the layer's tables.
inline constexpr const char* kRegRefs = "vq.refs";          // ref number -> value
inline constexpr const char* kRegCFuncs = "vq.cfuncs";      // name -> engine closure
inline constexpr const char* kRegTasks = "vq.tasks";        // id -> {thread, f, args...}
inline constexpr const char* kRegIntern = "vq.intern";      // tag -> weak {value -> udata}
inline constexpr const char* kRegTagMeta = "vq.tagmeta";    // tag -> metatable
inline constexpr const char* kRegFallbacks = "vq.fallbacks";  // name -> function

// Lua 5.4's type tests, under names that do not collide with the layer's.
inline bool IsNil(lua_State* L, int index) { return lua_type(L, index) == LUA_TNIL; }
inline bool IsTable(lua_State* L, int index) { return lua_type(L, index) == LUA_TTABLE; }

// User datum of the layer: an engine handle.
struct UserTag {
  int64_t value;
  int32_t tag;
};

void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Pushes the registry table named key onto L (created when missing).
void PushRegTable(lua_State* L, const char* key);
// The engine trampoline: the closure that runs a lua_CFunc.
int Trampoline(lua_State* L);
// Pushes (onto L) the interned user datum for (value, tag).
void PushUserTag(lua_State* L, int64_t value, int32_t tag);
// The user datum at index, or null when it is not one of ours.
UserTag* ToUserTag(lua_State* L, int index);
// The engine function of a trampoline closure at index, or null.
lua_CFunc ToEngineFunction(lua_State* L, int index);
// Pushes the closure of an engine function onto L (the registered one when
// it has a name).
void PushEngineFunction(lua_State* L, lua_CFunc function);
// Makes the value on top of S an object; returns its handle.
lua_Object PutObject();

// Tasks.
void OpenTaskLib(lua_State* L);
void CloseTasks();
// Starts a task of f(args) on L: the function and args are the top n+1 values
// of `from`; returns its id (0 on failure). With id > 0 that id is used.
int CreateTask(lua_State* from, int nargs, int id);

}  // namespace luart
