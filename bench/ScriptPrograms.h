// The script programs that the scripting runtime's benchmark runs on our
// runtime (bench/lua31_programs.cpp) and on Debian's Lua 5.4
// (bench/lua54_programs.cpp), written in the subset both languages accept:
// no `for`, no library calls, nothing that adjusts value lists differently.
// The two runtimes cannot share a program (their C names clash), so each
// benchmark program includes these texts.
#pragma once

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

// The benchmarks, by name: the three loops, then the task switch.
constexpr const char* kLoops[] = {"calls", "tables", "strings"};

}  // namespace scriptbench
