// The scripting runtime: our own interpreter of the 3.1 language, with a
// Lua 3.1-style interface extended with cooperative tasks, whole-state save
// and restore, library registration and fallbacks.
//
// The engine talks to its scripts through this header only. Every operation
// has C++ linkage.
//
// Objects. A `lua_Object` is a handle to a script value. It stays valid until
// the enclosing `lua_endblock` (or, for the arguments and objects of an engine
// function, until that function returns). 0 is "no object": every type test
// answers false for it and every getter answers 0 / null.
//
// Engine functions (`lua_CFunc`) take no C arguments: they read the script's
// arguments with `lua_lua2C(1..n)` and push their results with the pushers.
// Before `lua_callfunction`, pushes are the call's arguments; after it,
// `lua_lua2C(n)` is its n-th result. Objects made while pushes are pending
// (`lua_getglobal`, `lua_gettable` ...) do not disturb those pushes.
//
// Values follow the 3.1 language: nil is the only false value, numbers are
// doubles (floats at this interface), tables and user data carry tags.
// `lua_tag` answers LUA_T_* for the built-in kinds, a negative number made by
// `newtag` for tagged tables, and the user datum's own tag (0 or the engine's
// four-character codes) for user data.
//
// Script tasks. A task is an interpreter state of its own (a stack of call
// frames); each `lua_updatetasks(0)` resumes every live task once, in
// creation order (tasks started during an update first run in the next). The
// scripts get these functions (global names):
//   start_task(f, ...)   starts a task running f(...) from the next update;
//                        returns the task's id (a number)
//   break_here()         suspends the calling task until the next update; an
//                        error outside a task or below an engine function
//                        that called back into the scripts
//   stop_task(id)        ends a task (a task may stop itself)
//   is_task_alive(id)    1 when the task is alive, else nil
//   current_task()       the running task's id, or nil outside a task
// A script error inside a task ends that task with a log line naming the
// chunk and line. Handlers that the engine calls (`lua_callfunction`) run as
// protected calls; their errors go to the error method (the program log by
// default) and the call reports failure.
//
// Saved state. `lua_Save` writes everything reachable from the globals, the
// references, the tag methods, the error method and the tasks, with each
// task's frames; `lua_Restore` reads it back into a new state, checks it
// (a save game is untrusted) and replaces the running state only when all of
// it is sound; on failure nothing changes. Closures are saved as the source
// text of their chunk, the index of their prototype and their up-values (no
// bytecode is ever written or read); engine functions by the names they were
// registered under; user data through `lua_savehook` / `lua_restorehook`.
// The stream format is described at the top of lua31_Save.cpp.
//
// Chunks are always source text: `lua_dofile` of a precompiled chunk fails.
#pragma once

#include <cstddef>
#include <cstdint>

struct HostServices;

using lua_Object = uint32_t;
using lua_CFunc = void (*)(void);

// One row of a script-function table: the global name and its engine function.
struct lua_Reg {
  const char* name;
  lua_CFunc func;
};

// The runtime's module descriptor: initialise, uninitialise, startup, shutdown.
struct lua_Descriptor {
  int (*initialize)(HostServices* services, lua_Descriptor* descriptor);
  void (*uninitialize)(void);
  int (*startup)(void);   // makes a fresh runtime state; 0 = success
  int (*shutdown)(void);  // closes the state (gc tag methods run); 0 = success
};

// The save transfer function: (data, length) -> 0 when the bytes were
// written (while saving) or read (while restoring), non-zero on failure.
using lua_Transfer = int (*)(void* data, size_t length);

// Value kept in a save game for a user datum (tag, value).
using lua_SaveHookFn = int64_t (*)(int32_t tag, void* value);
// Value rebuilt from the stored (low, high) words of a user datum.
using lua_RestoreHookFn = void* (*)(int32_t tag, uint32_t low, uint32_t high);

// Tags that `lua_tag` answers for values other than user data and tables
// made with `newtag` (tables of the default tag answer LUA_T_TABLE).
enum : int32_t {
  LUA_T_NIL = -1,
  LUA_T_NUMBER = -2,
  LUA_T_STRING = -3,
  LUA_T_TABLE = -4,
  LUA_T_FUNCTION = -5,   // script functions
  LUA_T_CFUNCTION = -6,  // engine and library functions
  LUA_T_OTHER = -7,      // what lua_tag answers for no object
};

// A four-character tag whose bytes in memory spell the code ("ACTR").
constexpr int32_t lua_MakeTag(const char (&code)[5]) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24);
}

// Data the engine writes.
extern int lua_assume_binary;  // kept for the engine; precompiled chunks are never loaded
extern lua_SaveHookFn lua_savehook;
extern lua_RestoreHookFn lua_restorehook;

// Module.
int lua_Initialize(HostServices* services, lua_Descriptor* descriptor);

// Libraries.
void lua_iolibopen(void);
void lua_strlibopen(void);
void lua_mathlibopen(void);
void lua_openlib(const lua_Reg* table, int count);
// Makes the runtime know engine functions installed as values (their names
// name them in save games).
void lua_recognizelib(const lua_Reg* table, int count);
// Installs a fallback ("arith", "order", "concat", "index", "getglobal",
// "gettable", "settable", "function", "gc", "error") and returns the previous
// one as an object: a function that does the default when none was set, 0
// for an unknown name.
lua_Object lua_setfallback(const char* name, lua_CFunc function);
// Pushes an engine function (up-values are not supported: with upvalues > 0
// that many pushes are dropped and a line is logged).
void lua_pushCclosure(lua_CFunc function, int upvalues);

// Running code.
// 0 = success, 2 = the file was not found, 1 = it did not load or run.
int lua_dofile(const char* name);
lua_Object lua_getglobal(const char* name);
void lua_setglobal(const char* name);  // takes the last push (nil when none)
// 0 on success (results then through lua_lua2C), 1 on error.
int lua_callfunction(lua_Object function);
void lua_beginblock(void);
void lua_endblock(void);

// Arguments, tests, getters and pushers.
lua_Object lua_lua2C(int number);
int lua_isnil(lua_Object object);
int lua_isnumber(lua_Object object);  // numbers and numeric strings
int lua_isstring(lua_Object object);  // strings and numbers
int lua_istable(lua_Object object);
int lua_isfunction(lua_Object object);
int lua_isuserdata(lua_Object object);
float lua_getnumber(lua_Object object);
const char* lua_getstring(lua_Object object);  // valid while the object is
void* lua_getuserdata(lua_Object object);
int32_t lua_tag(lua_Object object);
void lua_pushnumber(float number);
void lua_pushstring(const char* text);  // copies; null pushes nil
void lua_pushnil(void);
void lua_pushobject(lua_Object object);
// Pushes the user datum (value, tag); equal pairs give the same script value.
void lua_pushusertag(void* value, int32_t tag);

// Tables: gettable takes a pushed table and key; settable a table, key, value.
// Both go through the tag methods.
lua_Object lua_createtable(void);
lua_Object lua_gettable(void);
void lua_settable(void);

// References: lua_ref takes the last push (-1 for nil, which lua_getref
// answers as a nil object); a true `lock` keeps the object alive, otherwise
// lua_getref answers 0 once it was collected.
int lua_ref(int lock);
lua_Object lua_getref(int reference);
void lua_unref(int reference);

// Tasks.
void lua_updatetasks(int unused);
int lua_currenttask(void);    // id of the running task, 0 outside a task
void lua_pushtask(int task);  // pushes a task id (nil for 0)

// State.
int lua_Save(lua_Transfer writer);     // 0 on success
int lua_Restore(lua_Transfer reader);  // 0 on success; on failure nothing changed
void lua_collectgarbage(int limit);

// Diagnostics (debugger output is standard error).
void lua_printstack(int unused);
void lua_funcinfo(lua_Object function, const char** source, int* line);
// Returns "tag-method" (name: the event) or "global" (name: the global's
// name) or "" (name "").
const char* lua_getobjname(lua_Object function, const char** name);
void lua_PrintGlobals(void);
