// Calls between the engine and the scripts through the scripting runtime,
// against the natural reference: a script calling one of the runtime's own
// library functions (max) in the same loop. The "ratio" counter is
// ours / reference.
#include "script/runtime/lua31.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "std/std.h"

namespace {

void Add() {
  lua_Object a = lua_lua2C(1), b = lua_lua2C(2);
  if (!lua_isnumber(a) || !lua_isnumber(b)) return;
  lua_pushnumber(lua_getnumber(a) + lua_getnumber(b));
}

const lua_Reg kRows[] = {{"Add", Add}};
constexpr int kCalls = 1000;

void Start() {
  static bool started = false;
  if (started) return;
  static HostServices hs;
  static lua_Descriptor desc;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  lua_Initialize(&hs, &desc);
  desc.startup();
  lua_mathlibopen();
  lua_openlib(kRows, 1);
  FILE* f = std::fopen("bench_lua31.lua", "wb");
  std::fputs(
      "function viaEngine(n) local s = 0 local i = 1 while i <= n do s = s + Add(i, 1) i = i + 1 "
      "end return s end\n"
      "function viaLibrary(n) local s = 0 local i = 1 while i <= n do s = s + max(i, 1) i = i + 1 "
      "end return s end\n"
      "function handler(a, b) return a end\n",
      f);
  std::fclose(f);
  lua_dofile("bench_lua31.lua");
  std::remove("bench_lua31.lua");
  started = true;
}

void CallLoop(const char* name) {
  lua_beginblock();
  lua_pushnumber(kCalls);
  lua_callfunction(lua_getglobal(name));
  benchmark::DoNotOptimize(lua_getnumber(lua_lua2C(1)));
  lua_endblock();
}

double SecondsPerLoop(const char* name) {
  constexpr int kRuns = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRuns; ++i) CallLoop(name);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kRuns;
}

// A script calling an engine function (1000 calls per iteration).
void BM_ScriptCallsEngineFunction(benchmark::State& state) {
  Start();
  for (auto _ : state) CallLoop("viaEngine");
  state.counters["ratio"] = SecondsPerLoop("viaEngine") / SecondsPerLoop("viaLibrary");
  state.SetItemsProcessed(state.iterations() * kCalls);
}
BENCHMARK(BM_ScriptCallsEngineFunction);

void BM_ScriptCallsLibraryFunction(benchmark::State& state) {
  Start();
  for (auto _ : state) CallLoop("viaLibrary");
  state.SetItemsProcessed(state.iterations() * kCalls);
}
BENCHMARK(BM_ScriptCallsLibraryFunction);

// The engine calling a script handler with two arguments, as every handler
// call does: block, lookup, pushes, call.
void BM_EngineCallsHandler(benchmark::State& state) {
  Start();
  for (auto _ : state) {
    lua_beginblock();
    lua_pushnumber(1);
    lua_pushnumber(2);
    lua_callfunction(lua_getglobal("handler"));
    benchmark::DoNotOptimize(lua_lua2C(1));
    lua_endblock();
  }
}
BENCHMARK(BM_EngineCallsHandler);

}  // namespace

BENCHMARK_MAIN();
