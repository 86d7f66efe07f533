// The scripting runtime's interface: objects and blocks, calls, handles,
// references, dofile, fallbacks, tasks, whole-state save and restore (compared
// through a dump of the whole state), and restores of damaged streams.
#include "script/runtime/lua31.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/kv_Log.h"
#include "script/runtime/lua31_State.h"
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

// A user datum of any tag: (value, tag).
void EngUserdata() {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(lua_lua2C(1)))),
                  static_cast<int32_t>(lua_getnumber(lua_lua2C(2))));
}

void EngHandleValue() {
  lua_Object h = lua_lua2C(1);
  if (!lua_isuserdata(h)) return;
  lua_pushnumber(static_cast<float>(reinterpret_cast<intptr_t>(lua_getuserdata(h))));
  lua_pushnumber(static_cast<float>(lua_tag(h)));
}

// Calls its first argument with the second and returns the first result
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
    {"Add", EngAdd},           {"Probe", EngProbe},       {"Actor", EngActor},
    {"Color", EngColor},       {"Userdata", EngUserdata}, {"HandleValue", EngHandleValue},
    {"CallBack", EngCallBack}, {"Plus", EngAdd},
};

// ---- fixture ---------------------------------------------------------------

HostServices g_hs;
lua_Descriptor g_desc;

// A system script that every runtime runs first, as the engine runs
// _system.lua before a restore. The runtime collects at every point where it
// may (collectgarbage(1)), so a value the runtime still uses but does not
// hold where the collector looks is freed at once, and ASan sees it.
const char* kSystem = R"(
collectgarbage(1)
counter = {n = 0}
function inc() counter.n = counter.n + 1 return counter.n end
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

int RunLua(const std::string& code) {
  return lua_dofile(WriteFile("snippet.lua", code).c_str());
}

void StartRuntime() {
  ASSERT_EQ(0, lua_Initialize(&g_hs, &g_desc));
  ASSERT_EQ(0, g_desc.startup());
  lua_iolibopen();
  lua_strlibopen();
  lua_mathlibopen();
  lua_openlib(kTable, static_cast<int>(std::size(kTable)));
  // As the engine does: a function installed as a value is registered first.
  const lua_Reg recognized[] = {{"  testconcat", EngConcat}};
  lua_recognizelib(recognized, 1);
  lua_Object old = lua_setfallback("concat", EngConcat);
  lua_pushobject(old);
  g_oldConcat = lua_ref(1);
  ASSERT_EQ(0, lua_dofile(WriteFile("system.lua", kSystem).c_str()));
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
     "local n, t = type(Actor(1)) assert(n == 'userdata' and t == 1381253953)\n"
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
    {"no precompiled chunks", "assert(dostring(strchar(27) .. 'Lua') == nil)"},
    {"host-reaching io answers nil",
     "assert(execute('true') == nil and remove('x') == nil and rename('a', 'b') == nil)\n"
     "assert(tmpname() == nil and getenv('HOME') == nil and exit(0) == nil)\n"
     "assert(writeto('out.txt') == nil and readfrom('|ls') == nil and appendto('x') == nil)"},
    {"files are read through the engine's file services",
     "assert(readfrom('system.lua') ~= nil)\n"
     "assert(read() == '' and read() == 'collectgarbage(1)')\n"
     "assert(strfind(read('.*'), 'handler'))\n"
     "readfrom() assert(read() == nil)"},
};

TEST_F(LuaRuntime, Snippets) {
  for (const Snippet& s : kSnippets) EXPECT_EQ(0, RunLua(s.code)) << s.name;
}

// Writes to standard output and error that do not end in a newline go out
// when the output is closed and when the runtime shuts down.
TEST_F(LuaRuntime, OutputWithoutAFinalNewlineIsNotLost) {
  static std::string out, log;
  out.clear();
  log.clear();
  lua31::SetOutputSink([](const char* text, size_t length) { out.append(text, length); });
  lua31::SetLogSink([](const char* text, size_t length) { log.append(text, length); });
  ASSERT_EQ(0, RunLua("write('one\\ntwo') writeto() write('three') write(_STDERR, 'oops')"));
  EXPECT_EQ(out, "one\ntwo");
  g_desc.shutdown();
  lua31::SetOutputSink(nullptr);
  lua31::SetLogSink(nullptr);
  EXPECT_EQ(out, "one\ntwothree");
  EXPECT_NE(log.find("oops"), std::string::npos) << log;
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
  EXPECT_STREQ("42", lua_getstring(a));
  lua_endblock();
  EXPECT_FALSE(lua_isnumber(a));
  EXPECT_FALSE(lua_isnil(0));
  EXPECT_FALSE(lua_isnumber(0));
  EXPECT_EQ(LUA_T_OTHER, lua_tag(0));
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
  lua_pushnumber(5);
  lua_setglobal("fromEngine");
  lua_endblock();
  EXPECT_EQ(0, RunLua("assert(system.frameTime == 33 and fromEngine == 5)"));
}

TEST_F(LuaRuntime, HandlerErrorIsContained) {
  lua_beginblock();
  EXPECT_EQ(1, lua_callfunction(lua_getglobal("fails")));
  EXPECT_EQ(0u, lua_lua2C(1));
  EXPECT_EQ(1, lua_callfunction(lua_getglobal("missing")));
  // Yielding outside a task is an error of that call only.
  EXPECT_EQ(1, lua_callfunction(lua_getglobal("break_here")));
  lua_pushnumber(2);
  EXPECT_EQ(0, lua_callfunction(lua_getglobal("twice")));
  EXPECT_EQ(4.0f, lua_getnumber(lua_lua2C(1)));
  lua_endblock();
}

TEST_F(LuaRuntime, References) {
  ASSERT_EQ(0, RunLua("kept = {v = 1} weak = {}"));
  lua_beginblock();
  lua_pushobject(lua_getglobal("kept"));
  const int ref = lua_ref(1);
  lua_pushobject(lua_getglobal("weak"));
  const int unlocked = lua_ref(0);
  lua_pushnil();
  EXPECT_EQ(-1, lua_ref(1));
  EXPECT_TRUE(lua_isnil(lua_getref(-1)));
  lua_endblock();
  ASSERT_EQ(0, RunLua("kept = nil weak = nil collectgarbage()"));
  lua_beginblock();
  EXPECT_EQ(0u, lua_getref(unlocked));  // collected
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
      {"binary.lua", std::string("\x1bLua\x31\x00", 6), 1},
  };
  for (const Case& c : cases) {
    WriteFile(c.name, c.content);
    EXPECT_EQ(c.expected, lua_dofile(c.name)) << c.name;
  }
  EXPECT_EQ(2, lua_dofile("no_such_file.lua"));
  EXPECT_EQ(0, RunLua("assert(x == 1 and dofile('no_such_file.lua') == nil)"));
  EXPECT_EQ(0, RunLua("assert(dofile('ok.lua') == 1 and dofile('binary.lua') == nil)"));
}

// Scripts read files up to 16 MB: a larger file, or one that never ends,
// answers nil with a message that says so, and nothing runs.
TEST_F(LuaRuntime, FilesLargerThanTheLimitAreRefused) {
  // Sparse files: nothing of their size reaches the disk.
  for (const char* name : {"big.dat", "big.lua", "limit.dat"}) {
    WriteFile(name, "ran = 1\n");
    std::filesystem::resize_file(name, (std::uintmax_t{16} << 20) + 1);
  }
  std::filesystem::resize_file("limit.dat", std::uintmax_t{16} << 20);
  EXPECT_EQ(0, RunLua("local h, message = readfrom('big.dat')\n"
                      "assert(h == nil and strfind(message, 'big.dat is larger than 16 MB'))\n"
                      "assert(readfrom('/dev/zero') == nil)\n"
                      "assert(dofile('big.lua') == nil and ran == nil)\n"
                      "assert(readfrom('limit.dat') ~= nil)"));
  EXPECT_EQ(2, lua_dofile("big.lua"));
  EXPECT_EQ(0, RunLua("assert(ran == nil)"));
  for (const char* name : {"big.dat", "big.lua", "limit.dat"}) std::filesystem::remove(name);
}

TEST_F(LuaRuntime, FallbacksAnswerThePreviousHandler) {
  lua_beginblock();
  // The concat fallback installed at start-up comes back; an unknown name is 0.
  lua_Object previous = lua_setfallback("concat", EngConcat);
  const char* name = nullptr;
  EXPECT_STREQ("tag-method", lua_getobjname(previous, &name));
  EXPECT_STREQ("concat", name);
  EXPECT_EQ(0u, lua_setfallback("nosuch", EngConcat));
  EXPECT_NE(0u, lua_setfallback("index", EngConcat));
  lua_endblock();
  EXPECT_EQ(0, RunLua("local t = {} assert(t.missing == nil)"));
}

int g_counted = 0;
void EngCount() {
  ++g_counted;
}

TEST_F(LuaRuntime, GcTagMethodOfUserData) {
  const lua_Reg rows[] = {{"Count", EngCount}};
  lua_openlib(rows, 1);
  g_counted = 0;
  ASSERT_EQ(0, RunLua(R"(
    U = newtag()
    freed = {}
    settagmethod(U, "gc", function(u) freed[HandleValue(u)] = 1 Count() end)
    function make() Userdata(10, U) kept = Userdata(11, U) end
    make()
    collectgarbage()
    assert(freed[10] == 1 and freed[11] == nil)
  )"));
  EXPECT_EQ(1, g_counted);
  // Closing the state runs the methods of what is left.
  g_desc.shutdown();
  EXPECT_EQ(2, g_counted);
  StartRuntime();
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
  // A failing task ends alone; a task can stop itself; a task started
  // during an update first runs in the next one; break_here below an engine
  // function is an error of that call.
  ASSERT_EQ(0, RunLua("start_task(function() break_here() error('task broke') end)\n"
                      "start_task(function() me = current_task() stop_task(me) gone = 1 end)\n"
                      "survivor = start_task(function() while 1 do ticks = (ticks or 0) + 1 "
                      "if ticks == 1 then late = start_task(function() lateRan = ticks end) end "
                      "break_here() end end)\n"
                      "start_task(function() inner = CallBack(break_here, 1) after = 1 end)"));
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(lateRan == nil and inner == 'failed' and after == 1)"));
  lua_updatetasks(0);
  lua_updatetasks(0);
  EXPECT_EQ(0, RunLua("assert(ticks == 3 and gone == nil and is_task_alive(survivor) == 1)"));
  EXPECT_EQ(0, RunLua("assert(lateRan == 2 and is_task_alive(late) == nil)"));
  EXPECT_EQ(0, lua_currenttask());
}

TEST_F(LuaRuntime, TaskErrorIsLoggedWithChunkAndLine) {
  kv_Log_ResetForTest();
  std::remove("Vosk.log");
  ASSERT_EQ(1, kv_Log_Open("Vosk.log"));
  ASSERT_EQ(0, RunLua("start_task(function()\n  break_here()\n  local x = nil + 1\nend)"));
  lua_updatetasks(0);
  lua_updatetasks(0);
  kv_Log_ResetForTest();
  std::ifstream log("Vosk.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(std::string::npos,
            text.str().find("unexpected type at arithmetic operation (at snippet.lua:3)"))
      << text.str();
  EXPECT_NE(std::string::npos, text.str().find("task 1 ended by an error"));
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
  return reinterpret_cast<void*>(static_cast<intptr_t>(tag == kActr ? v - 1000 : v));
}

// A text dump of the whole state: every value reachable from the globals,
// the references, the tag methods and the tasks (with their frames), objects
// numbered in the order they are met, so two states that hold the same
// values in the same shape dump the same text.
std::string DumpState() {
  using namespace lua31;
  State* L = g_state;
  std::string out;
  std::unordered_map<const void*, int> ids;
  std::vector<Value> queue;
  auto name = [&](const Value& v) -> std::string {
    char b[64];
    switch (v.tt) {
      case TNIL:
        return "nil";
      case TNUMBER:
        std::snprintf(b, sizeof b, "%.17g", v.n);
        return b;
      case TSTRING:
        return "\"" + std::string(v.s->data(), v.s->len) + "\"";
      case TTABLE:
      case TLFUNC: {
        auto [it, fresh] = ids.emplace(v.p, static_cast<int>(ids.size()));
        if (fresh) queue.push_back(v);
        return "#" + std::to_string(it->second);
      }
      case TCFUNC:
        return "native " + v.cf->name;
      case TUSERDATA:
        if (auto it = L->ioFiles.find(v.u); it != L->ioFiles.end()) {
          return "file " + std::to_string(it->second->kind);
        }
        std::snprintf(b, sizeof b, "udata(%d, %lld)", v.u->tag,
                      static_cast<long long>(reinterpret_cast<intptr_t>(v.u->value)));
        return b;
      default:
        return "?";
    }
  };
  out +=
      "globals " + name(TableValue(L->globals)) + "\nerror method " + name(L->errorMethod) + "\n";
  for (size_t i = 0; i < L->refs.size(); ++i) {
    if (L->refs[i].used) {
      out += "ref " + std::to_string(i) + (L->refs[i].locked ? " locked " : " ") +
             name(L->refs[i].v) + "\n";
    }
  }
  for (size_t slot = 0; slot < L->tags.size(); ++slot) {
    for (int e = 0; e < EV_COUNT; ++e) {
      if (L->tags[slot].mask >> e & 1) {
        out += "tag -" + std::to_string(slot) + " " + kEventNames[e] + " " +
               name(L->tags[slot].tm[e]) + "\n";
      }
    }
  }
  for (const auto& t : L->tasks) {
    out += "task " + std::to_string(t->id) + (t->started ? " started" : " waiting") + "\n";
    for (const CallInfo& ci : t->th.ci) {
      const char* chunk;
      int line;
      FrameInfo(ci, &chunk, &line);
      out += "  frame " + name(ClosureValue(ci.cl)) + " at " + chunk + ":" + std::to_string(line) +
             " base " + std::to_string(ci.base) + "\n";
    }
    out += "  slots";
    const uint32_t n =
        t->th.ci.empty() ? t->th.top : t->th.ci.back().base + t->th.ci.back().cl->p->maxstack;
    for (uint32_t i = 0; i < n; ++i) out += " " + name(t->th.stack[i]);
    out += "\n";
  }
  for (size_t q = 0; q < queue.size(); ++q) {
    const Value v = queue[q];
    out += "#" + std::to_string(ids[v.p]);
    if (v.tt == TTABLE) {
      out += " table tag " + std::to_string(v.h->tag) + " [";
      for (uint32_t i = 0; i < v.h->asize; ++i) out += " " + name(v.h->array[i]);
      out += " ] {";
      for (uint32_t j = 0; j < v.h->ncount; ++j) {
        const Node& nd = v.h->node[j];
        if (nd.key.tt == TDEADKEY) continue;
        out += " " + name(nd.key) + "=" + name(nd.val);
      }
      out += " }\n";
    } else {
      const Proto* p = v.cl->p;
      out += " function " + std::string(p->chunk->name->data()) + ":" +
             std::to_string(p->linedefined) + " proto " + std::to_string(p->index) + " up [";
      for (uint32_t i = 0; i < v.cl->nup; ++i) out += " " + name(v.cl->up()[i]);
      out += " ]\n";
    }
  }
  return out;
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
  const char* build;  // run, then the given number of task updates
  int updates;
  const char* check;  // after the restore, then one more update
  const char* after;
};

const Round kRounds[] = {
    {"a counting task saved at 3 resumes at 4",
     "start_task(function() count = 0 while 1 do count = count + 1 break_here() end end)", 3,
     "assert(count == 3)", "assert(count == 4)"},
    {"nested calls in a task",
     "function leaf(x) trail = trail .. 'L' .. x break_here() trail = trail .. 'l' return x * 2 "
     "end\n"
     "function mid(x) trail = trail .. 'M' local r = leaf(x + 1) trail = trail .. 'm' .. r return "
     "r end\n"
     "trail = '' start_task(function() local r = mid(1) trail = trail .. 'T' .. r end)",
     1, "assert(trail == 'ML2')", "assert(trail == 'ML2lm4T4')"},
    {"a closure held only by a task",
     "start_task(function() local f = function() return 'only ' .. %gx end break_here() held = f() "
     "end)\n"
     "gx = 'captured'",
     1, "assert(held == nil)", "assert(held == 'only captured')"},
    {"two closures sharing an up-value source",
     "local t = {n = 0} bump = function() %t.n = %t.n + 1 return %t.n end look = function() return "
     "%t.n end\n"
     "bump() bump()",
     0, "assert(look() == 2 and bump() == 3 and look() == 3)", "assert(look() == 3)"},
    {"a handler reassigned after boot", "system.handler = function(self, v) return v * 100 end", 0,
     "assert(system.handler(system, 2) == 200)", "assert(system.handler(system, 3) == 300)"},
    {"a table keyed by a run-time function",
     "local f = function() return 'key' end byFn = {[f] = 'value'} keyFn = f", 0,
     "assert(byFn[keyFn] == 'value' and keyFn() == 'key')", "assert(next(byFn) == keyFn)"},
    {"a chunk loaded with dostring after boot",
     "dostring('function fromString(x) return \"dostring \" .. x end', 'late chunk')", 0,
     "assert(fromString(1) == 'dostring 1')", "assert(fromString(2) == 'dostring 2')"},
    {"user data through the hooks", "hero = Actor(3) paint = Color(5) byHandle = {[hero] = 'me'}",
     0,
     "assert(HandleValue(hero) == 3 and hero == Actor(3) and byHandle[Actor(3)] == 'me')\n"
     "assert(HandleValue(paint) == 5 and 'x' .. hero == 'x(actor 3)')",
     "assert(byHandle[hero] == 'me')"},
    {"cycles of tables", "t = {} t.self = t t[1] = {back = t} t[1][t] = t[1] kept = t[1]", 0,
     "assert(t.self == t and t[1].back == t and kept == t[1] and t[1][t] == kept)",
     "assert(t.self.self == t)"},
    {"tags, tag methods, references and the error method",
     "T = newtag() obj = settag({v = 4}, T)\n"
     "settagmethod(T, 'index', function(t, k) return 'idx ' .. k end)\n"
     "seterrormethod(function(m) lastError = m end)",
     0, "assert(tag(obj) == T and obj.missing == 'idx missing' and newtag() < T)",
     "assert(call(error, {'e'}, 'x') == nil and lastError == 'e')"},
    {"a cleared field keeps its place for traversal",
     "t = {a = 1, b = 2, c = 3} t.a = nil\n"
     "start_task(function() local k = next(t, nil) seen = k t[k] = nil break_here() seen = seen .. "
     "next(t, k) end)",
     1, "assert(seen == 'b')", "assert(seen == 'bc')"},
    {"the tasks' order and the next task id",
     "start_task(worker, 'w1', 'w2') start_task(function() while 1 do order = (order or '') .. 'B' "
     "break_here() end end)",
     1, "assert(progress == 'w1' and order == 'B')",
     "assert(progress == 'w2' and order == 'BB' and start_task(fails) == 3)"},
    {"a task waiting in a small function called low in a frame of many registers",
     "function pause() break_here() end\n"
     "start_task(function() local t = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, "
     "18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40} "
     "pause() done = t[40] .. format(' %d %d %d', 1, 2, 3) end)",
     1, "assert(done == nil)", "assert(done == '40 1 2 3')"},
};

TEST_F(LuaRuntime, PersistenceRoundTrips) {
  for (const Round& round : kRounds) {
    lua_savehook = SaveHook;
    lua_restorehook = RestoreHook;
    ASSERT_EQ(0, RunLua(round.build)) << round.name;
    for (int i = 0; i < round.updates; ++i) lua_updatetasks(0);
    const std::string before = DumpState();
    ASSERT_EQ(0, SaveAndRestoreFresh()) << round.name;
    EXPECT_EQ(before, DumpState()) << round.name;
    // Saving the restored state gives the same stream again.
    const std::vector<uint8_t> first = g_stream;
    g_stream.clear();
    ASSERT_EQ(0, lua_Save(WriteStream));
    EXPECT_EQ(first, g_stream) << round.name;
    EXPECT_EQ(0, RunLua(round.check)) << round.name;
    lua_updatetasks(0);
    EXPECT_EQ(0, RunLua(round.after)) << round.name;
    g_desc.shutdown();
    StartRuntime();
  }
}

TEST_F(LuaRuntime, RestoreChecksEngineFunctionNames) {
  ASSERT_EQ(0, RunLua("fns = {add = Add, plus = Plus, fmt = format, pr = print, color = Color}"));
  g_stream.clear();
  ASSERT_EQ(0, lua_Save(WriteStream));
  // A runtime that lacks one of the engine functions: that value is nil.
  g_desc.shutdown();
  ASSERT_EQ(0, g_desc.startup());
  lua_strlibopen();
  const lua_Reg onlyAdd[] = {{"Add", EngAdd}};
  lua_openlib(onlyAdd, 1);
  g_readAt = 0;
  g_readLimit = g_stream.size();
  ASSERT_EQ(0, lua_Restore(ReadStream));
  EXPECT_EQ(
      0,
      RunLua(
          "assert(fns.add == Add and fns.plus == Add and fns.fmt == format and fns.pr == print)"));
  EXPECT_EQ(0, RunLua("assert(fns.color == nil and Color == nil)"));
  g_desc.shutdown();
  StartRuntime();
  g_readAt = 0;
  ASSERT_EQ(0, lua_Restore(ReadStream));
}

TEST_F(LuaRuntime, SaveAndRestoreRefuseWhileAScriptRuns) {
  static int saveResult = -1;
  static int restoreResult = -1;
  const lua_Reg rows[] = {{"SaveNow", [] {
                             g_stream.clear();
                             saveResult = lua_Save(WriteStream);
                             restoreResult = lua_Restore(ReadStream);
                           }}};
  lua_openlib(rows, 1);
  ASSERT_EQ(0, RunLua("SaveNow() start_task(function() SaveNow() end)"));
  EXPECT_EQ(1, saveResult);
  EXPECT_EQ(1, restoreResult);
  saveResult = restoreResult = -1;
  lua_updatetasks(0);
  EXPECT_EQ(1, saveResult);
  EXPECT_EQ(1, restoreResult);
}

// Every stream of the round trips, cut at every byte and with every byte
// inverted: the restore fails and changes nothing, or gives a state that
// runs. The streams come from a lean runtime (the base library and the test
// functions), each round in a fresh one.
void StartLeanRuntime() {
  ASSERT_EQ(0, lua_Initialize(&g_hs, &g_desc));
  ASSERT_EQ(0, g_desc.startup());
  lua_openlib(kTable, static_cast<int>(std::size(kTable)));
  ASSERT_EQ(0, RunLua("function worker(a, b) progress = a break_here() progress = b break_here() "
                      "progress = 'done' end system = {}"));
}

void Quiet(const char*, size_t) {}

TEST_F(LuaRuntime, DamagedStreamsNeverHurt) {
  lua_savehook = SaveHook;
  lua_restorehook = RestoreHook;
  std::vector<std::vector<uint8_t>> streams;
  for (const Round& round : kRounds) {
    g_desc.shutdown();
    StartLeanRuntime();
    ASSERT_EQ(0, RunLua(round.build)) << round.name;
    for (int i = 0; i < round.updates; ++i) lua_updatetasks(0);
    g_stream.clear();
    ASSERT_EQ(0, lua_Save(WriteStream));
    streams.push_back(g_stream);
  }
  ASSERT_EQ(0, RunLua("sentinel = 'before'"));
  const std::string before = DumpState();
  g_stream.clear();
  ASSERT_EQ(0, lua_Save(WriteStream));
  const std::vector<uint8_t> reference = g_stream;
  lua31::SetLogSink(Quiet);
  for (const std::vector<uint8_t>& good : streams) {
    for (size_t cut = 0; cut < good.size(); ++cut) {
      g_stream = good;
      g_readAt = 0;
      g_readLimit = cut;
      ASSERT_NE(0, lua_Restore(ReadStream)) << "cut at " << cut;
    }
    for (size_t at = 0; at < good.size(); ++at) {
      g_stream = good;
      g_stream[at] ^= 0xFF;
      g_readAt = 0;
      g_readLimit = g_stream.size();
      if (lua_Restore(ReadStream) != 0) continue;
      // A restore that succeeded gives a state that runs; then the test
      // state comes back.
      for (int i = 0; i < 3; ++i) lua_updatetasks(0);
      lua_collectgarbage(0);
      g_stream = reference;
      g_readAt = 0;
      g_readLimit = g_stream.size();
      ASSERT_EQ(0, lua_Restore(ReadStream));
    }
  }
  lua31::SetLogSink(nullptr);
  EXPECT_EQ(before, DumpState());
}

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
  lua_funcinfo(lua_getglobal("Add"), &source, &line);
  EXPECT_STREQ("(C)", source);
  EXPECT_EQ(-1, line);
  lua_endblock();
  lua_printstack(0);
  lua_PrintGlobals();
}

}  // namespace
