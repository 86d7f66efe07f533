// The scripting runtime layer: objects and blocks, calls, handles, references,
// dofile, fallbacks, tasks, and whole-state save and restore.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "script/runtime/lua31.h"
#include "std/std.h"

namespace {

constexpr int32_t kActr = lua_MakeTag("ACTR");
constexpr int32_t kColr = lua_MakeTag("COLR");

// ---- engine functions the tests register ---------------------------------

void EngAdd() {
  lua_Object a = lua_lua2C(1), b = lua_lua2C(2);
  if (!lua_isnumber(a) || !lua_isnumber(b)) return;
  lua_pushnumber(lua_getnumber(a) + lua_getnumber(b));
  lua_pushstring("sum");
}

// Reports what it received: count of present arguments and whether the
// third is absent (0) rather than nil.
void EngProbe() {
  int present = 0;
  while (lua_lua2C(present + 1) != 0) ++present;
  lua_pushnumber(static_cast<float>(present));
  lua_pushnumber(lua_lua2C(3) == 0 ? 1.0f : 0.0f);
  lua_pushnumber(lua_isnil(lua_lua2C(3)) ? 1.0f : 0.0f);
}

void EngActor() {
  lua_Object n = lua_lua2C(1);
  if (!lua_isnumber(n)) return;
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(n))), kActr);
}

void EngColor() {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(lua_lua2C(1)))),
                  kColr);
}

void EngHandleValue() {
  lua_Object h = lua_lua2C(1);
  if (!lua_isuserdata(h)) return;
  lua_pushnumber(static_cast<float>(reinterpret_cast<intptr_t>(lua_getuserdata(h))));
  lua_pushnumber(static_cast<float>(lua_tag(h)));
}

// Calls its first argument with the rest and returns the first result
// (a call from the engine nested inside a script call).
void EngCallBack() {
  lua_Object f = lua_lua2C(1);
  lua_Object arg = lua_lua2C(2);
  if (!lua_isfunction(f)) return;
  lua_pushobject(arg);
  if (lua_callfunction(f) != 0) {
    lua_pushstring("failed");
    return;
  }
  lua_pushobject(lua_lua2C(1));
}

// Concat fallback: strings and numbers verbatim, nil as "(nil)", actor
// handles as "(actor N)"; anything else goes to the previous fallback.
int g_oldConcat = -1;
void EngConcat() {
  std::string text;
  for (int i = 1; i <= 2; ++i) {
    lua_Object o = lua_lua2C(i);
    if (lua_isnil(o)) {
      text += "(nil)";
    } else if (lua_isstring(o)) {
      text += lua_getstring(o);
    } else if (lua_isuserdata(o) && lua_tag(o) == kActr) {
      text += "(actor " + std::to_string(reinterpret_cast<intptr_t>(lua_getuserdata(o))) + ")";
    } else {
      lua_pushobject(lua_lua2C(1));
      lua_pushobject(lua_lua2C(2));
      lua_callfunction(lua_getref(g_oldConcat));
      lua_pushobject(lua_lua2C(1));
      return;
    }
  }
  lua_pushstring(text.c_str());
}

const lua_Reg kTable[] = {
    {"Add", EngAdd},           {"Probe", EngProbe},     {"Actor", EngActor},
    {"Color", EngColor},       {"HandleValue", EngHandleValue},
    {"CallBack", EngCallBack}, {"Plus", EngAdd},
};

// ---- fixture ---------------------------------------------------------------

HostServices g_hs;
lua_Descriptor g_desc;

// A system script that every runtime runs first, as the engine runs
// _system.lua before a restore.
const char* kSystem = R"(
do
  local n = 0
  function inc() n = n + 1 return n end
  function get() return n end
end
function worker(a, b)
  progress = a
  break_here()
  progress = b
  break_here()
  progress = "done"
end
function fails() error("handler broke") end
function twice(x) return x * 2, x * 3 end
system = { handler = function(self, v) return v + 1 end }
)";

std::string WriteFile(const std::string& name, const std::string& text) {
  FILE* f = std::fopen(name.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return name;
}

int RunLua(const std::string& code) { return lua_dofile(WriteFile("snippet.lua", code).c_str()); }

void StartRuntime() {
  ASSERT_EQ(0, lua_Initialize(&g_hs, &g_desc));
  ASSERT_EQ(0, g_desc.startup());
  lua_iolibopen();
  lua_strlibopen();
  lua_mathlibopen();
  lua_openlib(kTable, static_cast<int>(std::size(kTable)));
  lua_Object old = lua_setfallback("concat", EngConcat);
  lua_pushobject(old);
  g_oldConcat = lua_ref(1);
  ASSERT_EQ(0, RunLua(kSystem));
}

class LuaRuntime : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
  }
  void SetUp() override { StartRuntime(); }
  void TearDown() override {
    lua_savehook = nullptr;
    lua_restorehook = nullptr;
    g_desc.shutdown();
    g_desc.uninitialize();
  }
};

// ---- snippets ----------------------------------------------------------------

struct Snippet {
  const char* name;
  const char* code;
};

const Snippet kSnippets[] = {
    {"arguments and results",
     "local a, b = Add(2, 3) assert(a == 5 and b == 'sum')\n"
     "assert(Add(2) == nil)\n"
     "local n, absent, isnil = Probe(1, nil) assert(n == 2 and absent == 1 and isnil == 0)"},
    {"second name shares the function", "assert(Plus == Add and Plus(1, 1) == 2)"},
    {"handles interned and usable as keys",
     "local a, b = Actor(3), Actor(3) assert(a == b and Actor(4) ~= a)\n"
     "local t = {} t[a] = 'x' assert(t[Actor(3)] == 'x')\n"
     "assert(Color(3) ~= a)\n"
     "assert(HandleValue(a) == 3)"},
    {"type answers name and tag",
     "local n, t = type(Actor(1)) assert(n == 'userdata' and t == 0x52544341)\n"
     "assert(type(1) == 'number' and type('') == 'string' and type({}) == 'table')"},
    {"nested engine and script calls",
     "assert(CallBack(twice, 5) == 10)\n"
     "assert(CallBack(function(x) return CallBack(twice, x) + 1 end, 4) == 9)\n"
     "assert(CallBack(fails, 1) == 'failed')"},
    {"concat fallback",
     "assert('a' .. nil == 'a(nil)')\n"
     "assert(nil .. Actor(3) == '(nil)(actor 3)')\n"
     "assert(1 .. 2 == '12')\n"
     "assert(('a' .. {}) == nil)  -- the built-in fallback's error is reported, the result is nil"},
    {"no binary chunks", "assert(load(string.char(27) .. 'Lua') == nil and string.dump == nil)"},
};

TEST_F(LuaRuntime, Snippets) {
  for (const Snippet& s : kSnippets) {
    EXPECT_EQ(0, RunLua(s.code)) << s.name;
  }
}

TEST_F(LuaRuntime, BlockLifetime) {
  ASSERT_EQ(0, RunLua("answer = 42 name = 'vosk'"));
  lua_beginblock();
  lua_Object a = lua_getglobal("answer");
  lua_beginblock();
  lua_Object b = lua_getglobal("name");
  EXPECT_TRUE(lua_isstring(b));
  EXPECT_STREQ("vosk", lua_getstring(b));
  lua_endblock();
  EXPECT_TRUE(lua_isnumber(a));
  EXPECT_FALSE(lua_isstring(b));  // released with its block
  EXPECT_EQ(42.0f, lua_getnumber(a));
  lua_endblock();
  EXPECT_FALSE(lua_isnumber(a));
  EXPECT_FALSE(lua_isnil(0));
  EXPECT_FALSE(lua_isnumber(0));
}

TEST_F(LuaRuntime, CallWithPushedArgumentsAndObjectsBetween) {
  lua_beginblock();
  lua_pushnumber(7);
  lua_Object f = lua_getglobal("twice");  // made after a push: does not disturb it
  ASSERT_EQ(0, lua_callfunction(f));
  EXPECT_EQ(14.0f, lua_getnumber(lua_lua2C(1)));
  EXPECT_EQ(21.0f, lua_getnumber(lua_lua2C(2)));
  EXPECT_EQ(0u, lua_lua2C(3));
  // A table handler called with self.
  lua_Object sys = lua_getglobal("system");
  lua_pushobject(sys);
  lua_pushstring("handler");
  lua_Object h = lua_gettable();
  ASSERT_TRUE(lua_isfunction(h));
  lua_pushobject(sys);
  lua_pushnumber(1);
  ASSERT_EQ(0, lua_callfunction(h));
  EXPECT_EQ(2.0f, lua_getnumber(lua_lua2C(1)));
  // settable then gettable.
  lua_pushobject(sys);
  lua_pushstring("frameTime");
  lua_pushnumber(33);
  lua_settable();
  lua_endblock();
  EXPECT_EQ(0, RunLua("assert(system.frameTime == 33)"));
}

TEST_F(LuaRuntime, HandlerErrorIsContained) {
  lua_beginblock();
  EXPECT_EQ(1, lua_callfunction(lua_getglobal("fails")));
  EXPECT_EQ(0u, lua_lua2C(1));
  EXPECT_EQ(1, lua_callfunction(lua_getglobal("missing")));
  // Yielding inside a handler is an error of that handler only.
  EXPECT_EQ(1, lua_callfunction(lua_getglobal("break_here")));
  lua_pushnumber(2);
  EXPECT_EQ(0, lua_callfunction(lua_getglobal("twice")));
  EXPECT_EQ(4.0f, lua_getnumber(lua_lua2C(1)));
  lua_endblock();
}

TEST_F(LuaRuntime, References) {
  ASSERT_EQ(0, RunLua("kept = {v = 1}"));
  lua_beginblock();
  lua_pushobject(lua_getglobal("kept"));
  const int ref = lua_ref(1);
  lua_pushnil();
  EXPECT_EQ(-1, lua_ref(1));
  lua_endblock();
  ASSERT_EQ(0, RunLua("kept = nil collectgarbage()"));
  lua_beginblock();
  lua_Object t = lua_getref(ref);
  ASSERT_TRUE(lua_istable(t));
  lua_pushobject(t);
  lua_pushstring("v");
  EXPECT_EQ(1.0f, lua_getnumber(lua_gettable()));
  lua_unref(ref);
  EXPECT_EQ(0u, lua_getref(ref));
  lua_endblock();
}

TEST_F(LuaRuntime, DofileResults) {
  struct Case {
    const char* name;
    std::string content;
    int expected;
  };
  const Case cases[] = {
      {"ok.lua", "x = 1", 0},
      {"syntax.lua", "x = = 1", 1},
      {"runtime.lua", "error('boom')", 1},
      {"binary.lua", std::string("\x1bLua\x54\x00", 6), 1},
  };
  for (const Case& c : cases) {
    WriteFile(c.name, c.content);
    EXPECT_EQ(c.expected, lua_dofile(c.name)) << c.name;
  }
  EXPECT_EQ(2, lua_dofile("no_such_file.lua"));
  EXPECT_EQ(0, RunLua("assert(x == 1)"));
}

TEST_F(LuaRuntime, TaskYieldsAndResumesOverFrames) {
  ASSERT_EQ(0, RunLua("tid = start_task(worker, 'first', 'second') seen = current_task()"));
  ASSERT_EQ(0, RunLua("assert(progress == nil and is_task_alive(tid) == 1 and seen == nil)"));
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(progress == 'first')"));
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(progress == 'second')"));
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(progress == 'done' and is_task_alive(tid) == nil)"));
  // A failing task ends alone; a task can stop itself; an engine call
  // inside a task sees the task.
  ASSERT_EQ(0, RunLua("start_task(function() break_here() error('task broke') end)\n"
                   "start_task(function() me = current_task() stop_task(me) gone = 1 end)\n"
                   "survivor = start_task(function() while true do ticks = (ticks or 0) + 1 "
                   "break_here() end end)"));
  lua_updatetasks(0);
  lua_updatetasks(0);
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(ticks == 3 and gone == nil and is_task_alive(survivor) == 1)"));
  EXPECT_EQ(0, lua_currenttask());
}

// ---- persistence -----------------------------------------------------------

std::vector<uint8_t> g_stream;
size_t g_readAt = 0;
size_t g_readLimit = 0;

int WriteStream(void* data, size_t length) {
  auto* p = static_cast<uint8_t*>(data);
  g_stream.insert(g_stream.end(), p, p + length);
  return 0;
}

int ReadStream(void* data, size_t length) {
  if (g_readAt + length > g_readLimit) return 1;
  std::memcpy(data, g_stream.data() + g_readAt, length);
  g_readAt += length;
  return 0;
}

int64_t SaveHook(int32_t tag, void* value) {
  const int64_t v = reinterpret_cast<intptr_t>(value);
  return tag == kActr ? v + 1000 : v;
}

void* RestoreHook(int32_t tag, uint32_t low, uint32_t high) {
  const int64_t v = static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
  return reinterpret_cast<void*>(static_cast<intptr_t>(tag == kActr ? v - 1000 : v + 1));
}

// Saves the current runtime, starts a fresh one (system script included)
// and restores into it. Returns lua_Restore's result.
int SaveAndRestoreFresh() {
  g_stream.clear();
  EXPECT_EQ(0, lua_Save(WriteStream));
  g_desc.shutdown();
  StartRuntime();
  g_readAt = 0;
  g_readLimit = g_stream.size();
  return lua_Restore(ReadStream);
}

struct Round {
  const char* name;
  const char* build;
  const char* check;
};

const Round kRounds[] = {
    {"plain values",
     "n, f, s, b, z = 7, 2.5, 'a\\0b', false, nil big = 2^40 + 1",
     "assert(n == 7 and math.type(n) == 'integer' and f == 2.5 and s == 'a\\0b' and b == false)\n"
     "assert(big == 2^40 + 1)"},
    {"cycles", "t = {} t.self = t t[1] = {back = t}",
     "assert(t.self == t and t[1].back == t)"},
    {"shared tables", "a = {x = 1} b = {a, a, [a] = 'key'}",
     "assert(b[1] == a and b[2] == a and b[a] == 'key' and a.x == 1)"},
    {"metatables", "mt = {__index = {hi = 'there'}} obj = setmetatable({}, mt)",
     "assert(getmetatable(obj) == mt and obj.hi == 'there')"},
    {"closures sharing an upvalue", "inc() inc() inc()",
     "assert(get() == 3) inc() assert(get() == 4)"},
    {"tagged user data through the hooks",
     "hero = Actor(3) paint = Color(5) byHandle = {[hero] = 'me'}",
     "assert(HandleValue(hero) == 3 and hero == Actor(3) and byHandle[Actor(3)] == 'me')\n"
     "assert(HandleValue(paint) == 6)"},
    {"engine and library functions", "fns = {add = Add, plus = Plus, fmt = string.format, out = io.stdout}",
     "assert(fns.add == Add and fns.plus == Add and fns.add(1, 2) == 3)\n"
     "assert(fns.fmt == string.format and fns.out == io.stdout)"},
    {"functions bound by name path", "keep = {w = worker, h = system.handler}",
     "assert(keep.w == worker and keep.h == system.handler)"},
    {"a function no name reaches is nil",
     "lost = {f = function() end} lost[function() end] = 1",
     "assert(type(lost) == 'table' and lost.f == nil and next(lost) == nil)"},
    {"globals replaced", "newcomer = 1 inc = nil", "assert(newcomer == 1 and inc == nil)"},
};

TEST_F(LuaRuntime, PersistenceRoundTrips) {
  lua_savehook = SaveHook;
  lua_restorehook = RestoreHook;
  for (const Round& round : kRounds) {
    ASSERT_EQ(0, RunLua(round.build)) << round.name;
    ASSERT_EQ(0, SaveAndRestoreFresh()) << round.name;
    EXPECT_EQ(0, RunLua(round.check)) << round.name;
    lua_savehook = SaveHook;
    lua_restorehook = RestoreHook;
  }
}

TEST_F(LuaRuntime, ReferencesSurviveRestore) {
  ASSERT_EQ(0, RunLua("held = {v = 9}"));
  lua_beginblock();
  lua_pushobject(lua_getglobal("held"));
  const int ref = lua_ref(1);
  lua_endblock();
  ASSERT_EQ(0, SaveAndRestoreFresh());
  lua_beginblock();
  lua_Object t = lua_getref(ref);
  ASSERT_TRUE(lua_istable(t));
  lua_pushobject(t);
  lua_pushobject(lua_getglobal("held"));
  EXPECT_EQ(0, lua_callfunction(lua_getglobal("rawequal")));
  EXPECT_FALSE(lua_isnil(lua_lua2C(1)));
  lua_endblock();
}

TEST_F(LuaRuntime, TaskRestartedWithItsArguments) {
  ASSERT_EQ(0, RunLua("tid = start_task(worker, 'one', 'two') start_task(function() break_here() end)"));
  lua_updatetasks(0);
  lua_updatetasks(0);
  ASSERT_EQ(0, RunLua("assert(progress == 'two')"));
  ASSERT_EQ(0, SaveAndRestoreFresh());
  // The named task starts again from its beginning; the unnamed one is gone.
  EXPECT_EQ(0, RunLua("assert(progress == 'two' and is_task_alive(tid) == 1)"));
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(progress == 'one')"));
  EXPECT_EQ(0, RunLua("assert(start_task(worker) > tid)"));
}

TEST_F(LuaRuntime, TruncatedOrCorruptStreamFailsAndChangesNothing) {
  ASSERT_EQ(0, RunLua("t = {1, 2, {3}} t.self = t s = string.rep('x', 100) h = Actor(2)"));
  g_stream.clear();
  ASSERT_EQ(0, lua_Save(WriteStream));
  const std::vector<uint8_t> good = g_stream;
  ASSERT_EQ(0, RunLua("sentinel = 'before'"));
  for (size_t cut : {size_t{0}, size_t{3}, size_t{8}, good.size() / 2, good.size() - 1}) {
    g_stream = good;
    g_readAt = 0;
    g_readLimit = cut;
    EXPECT_NE(0, lua_Restore(ReadStream)) << "cut at " << cut;
    EXPECT_EQ(0, RunLua("assert(sentinel == 'before')")) << "cut at " << cut;
  }
  // Flipped bytes never crash; a failure leaves the state as it was.
  for (size_t at = 0; at < good.size(); at += 7) {
    g_desc.shutdown();
    StartRuntime();
    ASSERT_EQ(0, RunLua("sentinel = 'before'"));
    g_stream = good;
    g_stream[at] ^= 0x5A;
    g_readAt = 0;
    g_readLimit = g_stream.size();
    if (lua_Restore(ReadStream) != 0) {
      lua_beginblock();
      const char* text = lua_getstring(lua_getglobal("sentinel"));
      EXPECT_STREQ("before", text ? text : "") << "flip at " << at;
      lua_endblock();
    }
  }
}

}  // namespace

namespace {

TEST_F(LuaRuntime, Diagnostics) {
  ASSERT_EQ(0, RunLua("function namedFn()\n  return 1\nend"));
  lua_beginblock();
  lua_Object f = lua_getglobal("namedFn");
  const char* source = nullptr;
  int line = 0;
  lua_funcinfo(f, &source, &line);
  EXPECT_STREQ("snippet.lua", source);
  EXPECT_EQ(1, line);
  const char* name = nullptr;
  EXPECT_STREQ("global", lua_getobjname(f, &name));
  EXPECT_STREQ("namedFn", name);
  // A function that is neither a global nor an installed fallback.
  lua_Object previous = lua_setfallback("concat", EngConcat);
  EXPECT_STREQ("", lua_getobjname(previous, &name));
  EXPECT_EQ(0u, lua_setfallback("index", EngConcat));  // only "concat" is known
  lua_endblock();
  lua_printstack(0);
  lua_PrintGlobals();
}

}  // namespace
