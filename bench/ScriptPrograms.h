// The script programs that the scripting runtime's benchmark runs on our
// runtime (bench/lua31_programs.cpp) and on Debian's Lua 5.4
// (bench/lua54_programs.cpp), written in the subset both languages accept:
// no `for`, no library calls, nothing that adjusts value lists differently.
// The two runtimes cannot share a program (their C names clash), so each
// benchmark program includes these texts.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace scriptbench {

// Each function runs its loop n times.
constexpr const char* kPrograms = R"(
function add(a, b) return a + b end

function calls(n)
  local i = 0
  local s = 0
  while i < n do
    s = add(s, i)
    i = i + 1
  end
  return s
end

function tables(n)
  local t = {x = 0, y = 0, name = "point"}
  local key = "y"
  local i = 0
  while i < n do
    t.x = t.x + 1
    t[key] = t.x + t.y
    local o = {x = i, y = t.y, name = t.name}
    t.last = o.x + o.y
    i = i + 1
  end
  return t.x
end

function strings(n)
  local i = 0
  local last = ""
  while i < n do
    local s = "line " .. i .. ":"
    local j = 0
    while j < 8 do
      s = s .. " w" .. j
      j = j + 1
    end
    last = s
    i = i + 1
  end
  return last
end

count = 0
function worker()
  while 1 do
    count = count + 1
    break_here()
  end
end
)";

// Loop counts per benchmark iteration, and the number of tasks switched
// once per iteration ("frame").
constexpr int kLoop = 1000;
constexpr int kTasks = 100;

// Each benchmark runs this many times; the ratio uses the fastest run.
constexpr int kRepetitions = 5;

// The console reporter that also keeps each benchmark's fastest repetition
// (CPU time per iteration, in the benchmark's unit).
class FastestReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      const std::string name = r.run_name.function_name;
      const double t = r.GetAdjustedCPUTime();
      auto it = times.find(name);
      if (it == times.end() || t < it->second) times[name] = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace scriptbench
