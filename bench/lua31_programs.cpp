// The scripting runtime against Debian's Lua 5.4 on the same script
// programs (ScriptPrograms.h): function calls, table reads and writes with
// string keys, string building, and one task switch per frame for 100 tasks.
// Lua 5.4 runs in its own program, bench_lua54_programs (the two runtimes'
// C names clash); this one runs it after its own benchmarks and prints the
// time ratio ours / Lua 5.4 for each program, from the fastest of each
// benchmark's repetitions (the least disturbed by other load on the
// machine). The aim is at most 2.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "ScriptPrograms.h"
#include "script/runtime/lua31.h"
#include "std/std.h"

namespace {

using namespace scriptbench;

void Start() {
  static bool started = false;
  if (started) return;
  started = true;
  static HostServices hs;
  static lua_Descriptor desc;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  lua_Initialize(&hs, &desc);
  desc.startup();
  FILE* f = std::fopen("bench_lua31_programs.lua", "wb");
  std::fputs(kPrograms, f);
  std::fclose(f);
  if (lua_dofile("bench_lua31_programs.lua") != 0)
    std::fprintf(stderr, "the programs did not load\n");
  std::remove("bench_lua31_programs.lua");
  for (int i = 0; i < kTasks; ++i) {
    lua_beginblock();
    lua_pushobject(lua_getglobal("worker"));
    lua_callfunction(lua_getglobal("start_task"));
    lua_endblock();
  }
}

void Loop(benchmark::State& state, const char* name) {
  Start();
  for (auto _ : state) {
    lua_beginblock();
    lua_pushnumber(kLoop);
    lua_callfunction(lua_getglobal(name));
    lua_endblock();
  }
  state.SetItemsProcessed(state.iterations() * kLoop);
}
BENCHMARK_CAPTURE(Loop, calls, "calls")->Name("script/calls")->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Loop, tables, "tables")->Name("script/tables")->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Loop, strings, "strings")->Name("script/strings")->Repetitions(kRepetitions);

void Tasks(benchmark::State& state) {
  Start();
  for (auto _ : state) lua_updatetasks(0);
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(Tasks)->Name("script/tasks")->Repetitions(kRepetitions);

// Runs the Lua 5.4 program beside this one and reads its times.
std::map<std::string, double> ReferenceTimes(const char* self) {
  std::map<std::string, double> times;
  std::string dir = self;
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  const std::string command = dir + "/bench_lua54_programs --times";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return times;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    char name[256];
    double time;
    const char* at = std::strstr(line, "TIME ");  // after the console's colour codes
    if (at && std::sscanf(at, "TIME %255s %lf", name, &time) == 2) times[name] = time;
  }
  pclose(p);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  FastestReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const std::map<std::string, double> lua54 = ReferenceTimes(argv[0]);
  for (const char* name : {"script/calls", "script/tables", "script/strings", "script/tasks"}) {
    auto ours = reporter.times.find(name);
    auto theirs = lua54.find(name);
    if (ours == reporter.times.end() || theirs == lua54.end() || theirs->second <= 0) {
      std::printf("%-16s time ours / Lua 5.4: (no Lua 5.4 time)\n", name);
      continue;
    }
    std::printf("%-16s time ours / Lua 5.4: %.2f\n", name, ours->second / theirs->second);
  }
  return 0;
}
