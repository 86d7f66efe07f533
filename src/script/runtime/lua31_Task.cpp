// The scripting runtime's cooperative tasks: the task functions the scripts
// call and the per-frame update that resumes every live task once.
//
// A task is a thread of its own (a value stack and a stack of call frames).
// Until it first runs, its stack holds the function and its arguments.
// `break_here` asks the interpreter to return from the task's outermost
// entry with the frames kept; the next update continues right after that
// call. A task cannot be suspended while native code that called back into
// the scripts is active on its stack (that C frame could be neither
// suspended nor saved): break_here there is an error.
#include <algorithm>
#include <cmath>
#include <new>

#include "script/runtime/lua31.h"
#include "script/runtime/lua31_State.h"

namespace lua31 {

Task* FindTask(State* L, int id) {
  for (auto& t : L->tasks) {
    if (t->id == id && !t->dead) return t.get();
  }
  return nullptr;
}

namespace {

int TaskId(Args& a, int i) {
  double d;
  if (!ToNumber(a.at(i), &d) || !(d >= 1 && d <= 2147483647.0)) return 0;
  return static_cast<int>(d);
}

int T_start_task(Args& a) {
  State* L = a.L;
  const Value f = a.at(1);
  if (a.n < 1 || !IsFunction(f))
    RunError(L, "bad argument #1 to function 'start_task' (function expected)");
  if (L->nextTaskId >= 2147483647) RunError(L, "start_task: too many tasks");
  auto task = std::make_unique<Task>();
  task->id = L->nextTaskId++;
  Thread* th = &task->th;
  // The new task's stack: the function and its arguments.
  Thread* cur = L->cur;
  L->cur = th;
  try {
    EnsureStack(L, static_cast<uint32_t>(a.n) + 8);
  } catch (...) {
    L->cur = cur;
    throw;
  }
  L->cur = cur;
  for (int i = 1; i <= a.n; ++i) th->stack[th->top++] = a.at(i);
  th->task = task.get();
  const int id = task->id;
  L->tasks.push_back(std::move(task));
  Push(L, NumberValue(id));
  return 1;
}

int T_break_here(Args& a) {
  State* L = a.L;
  Thread* th = L->cur;
  if (!L->running || th != &L->running->th) RunError(L, "break_here: not called from a task");
  // The frame below this call must be a script frame of the task's own run.
  const size_t n = th->ci.size();
  if (th->nCcalls != 0 || n < 2 || !th->ci[n - 2].cl) {
    RunError(L, "break_here: a task cannot be suspended inside a call from native code");
  }
  L->yieldRequested = true;
  return 0;
}

int T_stop_task(Args& a) {
  if (Task* t = FindTask(a.L, TaskId(a, 1))) t->dead = true;
  return 0;
}

int T_is_task_alive(Args& a) {
  Push(a.L, FindTask(a.L, TaskId(a, 1)) ? NumberValue(1) : NilValue());
  return 1;
}

int T_current_task(Args& a) {
  Push(a.L, a.L->running ? NumberValue(a.L->running->id) : NilValue());
  return 1;
}

// Runs a task until it yields, ends or fails. Answers true when it is over.
bool Resume(State* L, Task* t) {
  Thread* savedCur = L->cur;
  Task* savedRunning = L->running;
  Thread* th = &t->th;
  L->cur = th;
  L->running = t;
  L->yieldRequested = false;
  bool over;
  try {
    th->nCcalls = 0;
    if (!t->started) {
      t->started = true;
      const int nargs = static_cast<int>(th->top) - 1;
      if (th->stack[0].tt == TLFUNC) {
        PushLuaFrame(L, 0, nargs, 0);
        over = Execute(L, 0);
      } else {
        Call(L, 0, 0);
        over = true;
      }
    } else {
      over = Execute(L, 0);
    }
    if (t->dead) over = true;
  } catch (const ScriptError&) {
    LogLine("task %d ended by an error: %s", t->id, L->errorText.c_str());
    over = true;
  } catch (const std::bad_alloc&) {
    LogLine("task %d ended: not enough memory", t->id);
    over = true;
  }
  L->cur = savedCur;
  L->running = savedRunning;
  L->yieldRequested = false;
  return over;
}

}  // namespace

void OpenTaskLib(State* L) {
  Register(L, "start_task", T_start_task);
  Register(L, "break_here", T_break_here);
  Register(L, "stop_task", T_stop_task);
  Register(L, "is_task_alive", T_is_task_alive);
  Register(L, "current_task", T_current_task);
}

}  // namespace lua31

using namespace lua31;

void lua_updatetasks(int /*unused*/) {
  State* L = g_state;
  if (!L || L->updating) return;
  L->updating = true;
  // Tasks started during this pass first run in the next one.
  const size_t count = L->tasks.size();
  for (size_t i = 0; i < count && g_state == L; ++i) {
    Task* t = L->tasks[i].get();
    if (t->dead) continue;
    if (Resume(L, t)) t->dead = true;
  }
  auto& tasks = L->tasks;
  tasks.erase(std::remove_if(tasks.begin(), tasks.end(), [](const auto& t) { return t->dead; }),
              tasks.end());
  L->updating = false;
  CheckGC(L);
}

int lua_currenttask(void) {
  return g_state && g_state->running ? g_state->running->id : 0;
}

void lua_pushtask(int task) {
  if (!g_state) return;
  g_state->S.push_back(task ? NumberValue(task) : NilValue());
}
