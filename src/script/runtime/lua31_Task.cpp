// The scripting runtime layer: script tasks (coroutines the layer schedules)
// and the small task library the scripts use.
#include <algorithm>

#include "script/runtime/lua31_Private.h"

namespace luart {

namespace {

Task* FindTask(int id) {
  for (Task& task : g_rt.tasks) {
    if (task.id == id) return &task;
  }
  return nullptr;
}

void RemoveTask(lua_State* L, int id) {
  auto& tasks = g_rt.tasks;
  tasks.erase(std::remove_if(tasks.begin(), tasks.end(), [id](const Task& t) { return t.id == id; }),
              tasks.end());
  lua_checkstack(L, 2);
  PushRegTable(L, kRegTasks);
  lua_pushnil(L);
  lua_rawseti(L, -2, id);
  lua_pop(L, 1);
}

int ScriptStartTask(lua_State* L) {
  luaL_checktype(L, 1, LUA_TFUNCTION);
  const int id = CreateTask(L, lua_gettop(L) - 1, 0);
  if (id == 0) return luaL_error(L, "start_task: cannot start a task");
  lua_pushinteger(L, id);
  return 1;
}

int ScriptBreakHere(lua_State* L) {
  if (g_rt.currentTask == 0 || !lua_isyieldable(L)) {
    return luaL_error(L, "break_here: not called from a task");
  }
  return lua_yield(L, 0);
}

int ScriptStopTask(lua_State* L) {
  const int id = static_cast<int>(luaL_optinteger(L, 1, 0));
  if (!FindTask(id)) return 0;
  RemoveTask(L, id);
  if (id == g_rt.currentTask && lua_isyieldable(L)) return lua_yield(L, 0);
  return 0;
}

int ScriptIsTaskAlive(lua_State* L) {
  const int id = lua_isinteger(L, 1) ? static_cast<int>(lua_tointeger(L, 1)) : 0;
  if (FindTask(id)) {
    lua_pushinteger(L, 1);
  } else {
    lua_pushnil(L);
  }
  return 1;
}

int ScriptCurrentTask(lua_State* L) {
  if (g_rt.currentTask) {
    lua_pushinteger(L, g_rt.currentTask);
  } else {
    lua_pushnil(L);
  }
  return 1;
}

}  // namespace

void OpenTaskLib(lua_State* L) {
  static const luaL_Reg functions[] = {
      {"start_task", ScriptStartTask},   {"break_here", ScriptBreakHere},
      {"stop_task", ScriptStopTask},     {"is_task_alive", ScriptIsTaskAlive},
      {"current_task", ScriptCurrentTask}, {nullptr, nullptr}};
  lua_pushglobaltable(L);
  luaL_setfuncs(L, functions, 0);
  lua_pop(L, 1);
}

void CloseTasks() {
  g_rt.tasks.clear();
  g_rt.currentTask = 0;
  g_rt.nextTaskId = 1;
  g_rt.updating = false;
}

int CreateTask(lua_State* L, int nargs, int id) {
  const int fidx = lua_gettop(L) - nargs;
  if (fidx < 1 || lua_type(L, fidx) != LUA_TFUNCTION) return 0;
  if (!lua_checkstack(L, 6)) return 0;
  if (id <= 0) {
    id = g_rt.nextTaskId++;
  } else {
    g_rt.nextTaskId = std::max(g_rt.nextTaskId, id + 1);
  }
  // The record keeps what a save game needs: the thread, the function and
  // the arguments the task was started with.
  PushRegTable(L, kRegTasks);
  lua_createtable(L, 3, 0);
  lua_State* co = lua_newthread(L);
  lua_rawseti(L, -2, 1);
  lua_pushvalue(L, fidx);
  lua_rawseti(L, -2, 2);
  lua_createtable(L, nargs, 1);
  for (int i = 1; i <= nargs; ++i) {
    lua_pushvalue(L, fidx + i);
    lua_rawseti(L, -2, i);
  }
  lua_pushinteger(L, nargs);
  lua_setfield(L, -2, "n");
  lua_rawseti(L, -2, 3);
  lua_rawseti(L, -2, id);
  lua_pop(L, 1);
  if (!lua_checkstack(co, nargs + 1)) return 0;
  for (int i = 0; i <= nargs; ++i) {
    lua_pushvalue(L, fidx + i);
    lua_xmove(L, co, 1);
  }
  lua_pop(L, nargs + 1);
  g_rt.tasks.push_back(Task{id, co, false});
  return id;
}

}  // namespace luart

using namespace luart;

void lua_updatetasks(int /*unused*/) {
  Runtime& rt = g_rt;
  lua_State* L = rt.L;
  if (!L || rt.updating) return;
  rt.updating = true;
  // Tasks started during this pass first run in the next one.
  std::vector<int> ids;
  ids.reserve(rt.tasks.size());
  for (const Task& task : rt.tasks) ids.push_back(task.id);
  for (int id : ids) {
    Task* task = FindTask(id);
    if (!task) continue;
    lua_State* co = task->thread;
    const int nargs = task->started ? 0 : lua_gettop(co) - 1;
    task->started = true;
    const int savedCurrent = rt.currentTask;
    rt.currentTask = id;
    int nresults = 0;
    const int status = lua_resume(co, L, nargs, &nresults);
    rt.currentTask = savedCurrent;
    if (status == LUA_YIELD) {
      lua_pop(co, nresults);
      continue;
    }
    if (status != LUA_OK) {
      lua_checkstack(L, 2);
      luaL_traceback(L, co, lua_tostring(co, -1) ? lua_tostring(co, -1) : "error", 0);
      LogLine("task %d ended with an error: %s", id, lua_tostring(L, -1));
      lua_pop(L, 1);
    }
    if (FindTask(id)) RemoveTask(L, id);
  }
  rt.updating = false;
}

int lua_currenttask(void) { return g_rt.currentTask; }

void lua_pushtask(int task) {
  if (!g_rt.S) return;
  lua_checkstack(g_rt.S, 1);
  if (task) {
    lua_pushinteger(g_rt.S, task);
  } else {
    lua_pushnil(g_rt.S);
  }
}
