// Debian's Lua 5.4 on the scripting runtime benchmark's programs
// (ScriptPrograms.h), the reference that bench_lua31_programs compares our
// runtime with. break_here is coroutine.yield; each task switch resumes the
// 100 coroutines once from C, as our runtime's update does. With --times it
// prints one "TIME <benchmark> <CPU time per iteration, ns>" line per program
// (the fastest of its repetitions)
// for bench_lua31_programs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ScriptPrograms.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {

using namespace scriptbench;

lua_State* g_L = nullptr;
std::vector<lua_State*> g_tasks;

void Start() {
  if (g_L) return;
  g_L = luaL_newstate();
  luaL_openlibs(g_L);
  if (luaL_dostring(g_L, kPrograms) != LUA_OK) std::fprintf(stderr, "%s\n", lua_tostring(g_L, -1));
  lua_getglobal(g_L, "coroutine");
  lua_getfield(g_L, -1, "yield");
  lua_setglobal(g_L, "break_here");
  lua_pop(g_L, 1);
  for (int i = 0; i < kTasks; ++i) {
    lua_State* co = lua_newthread(g_L);
    luaL_ref(g_L, LUA_REGISTRYINDEX);  // keeps the thread
    lua_getglobal(co, "worker");
    g_tasks.push_back(co);
  }
}

void Loop(benchmark::State& state, const char* name) {
  Start();
  for (auto _ : state) {
    lua_getglobal(g_L, name);
    lua_pushinteger(g_L, kLoop);
    lua_pcall(g_L, 1, 1, 0);
    lua_pop(g_L, 1);
  }
  state.SetItemsProcessed(state.iterations() * kLoop);
}
BENCHMARK_CAPTURE(Loop, calls, "calls")->Name("script/calls")->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Loop, tables, "tables")->Name("script/tables")->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Loop, strings, "strings")->Name("script/strings")->Repetitions(kRepetitions);

void Tasks(benchmark::State& state) {
  Start();
  for (auto _ : state) {
    for (lua_State* co : g_tasks) {
      int results = 0;
      lua_resume(co, g_L, 0, &results);
      lua_pop(co, results);
    }
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(Tasks)->Name("script/tasks")->Repetitions(kRepetitions);

// Prints, for bench_lua31_programs, the fastest repetition of each benchmark.
class TimesReporter : public FastestReporter {
 public:
  void Finalize() override {
    FastestReporter::Finalize();
    for (const auto& [name, time] : times) std::printf("TIME %s %.12g\n", name.c_str(), time);
  }
};

}  // namespace

int main(int argc, char** argv) {
  bool times = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--times") == 0) {
      times = true;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (times) {
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } else {
    FastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  benchmark::Shutdown();
  return 0;
}
