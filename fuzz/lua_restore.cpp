// Fuzz target: restoring the scripting runtime's whole state from arbitrary
// bytes (a save game is untrusted input), over a runtime that ran a real
// script: the script below, with tasks suspended in nested calls, closures
// with up-values, tagged tables with tag methods and cycles, user data, a
// chunk made by dostring and engine references. A restore that succeeds is
// run for a few frames and collected. Restore failures are logged to
// standard error; with libFuzzer pass -close_fd_mask=2.
// Seeds (corpus/lua_restore/): the streams lua_Save wrote for this script
// after 0, 1 and 4 frames, made by running this target with VQ_LUA_SEEDS set
// to a folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/runtime/lua31.h"
#include "std/std.h"

namespace {

const char* kScript = R"(
Counter = newtag()
settagmethod(Counter, "add", function(c, n) c.value = c.value + n return c end)
settagmethod(Counter, "index", function(t, k) return "no " .. k end)
shared = {hits = 0}
function hit(n) %shared.hits = %shared.hits + n return %shared.hits end
function leaf(x) local t = {x, x * 2; name = "leaf"} break_here() return t[2] + x end
function middle(x) local r = leaf(x + 1) trail = (trail or "") .. r return r end
function counter()
  local c = settag({value = 0}, Counter)
  local prefix = "tick "
  local say = function(n) last = %prefix .. n end
  while 1 do
    c = c + 1
    say(c.value)
    if mod(c.value, 3) == 0 then middle(c.value) end
    break_here()
  end
end
ring = {} ring.next = {back = ring} ring.next.next = ring
byFunction = {[hit] = "hit"}
hero = Handle(3)
heroes = {[hero] = strrep("x", 5)}
dostring("function late(n) return format('%d late', n) end", "late chunk")
start_task(counter)
start_task(function() local i = 0 while i < 2 do i = i + 1 break_here() end done = 1 end)
)";

void Handle() {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(lua_lua2C(1)))),
                  lua_MakeTag("ACTR"));
}
void Concat() {
  lua_pushstring("joined");
}

const lua_Reg kRows[] = {{"Handle", Handle}};
const lua_Reg kValues[] = {{"  concat", Concat}};

int64_t SaveHook(int32_t, void* value) {
  return reinterpret_cast<intptr_t>(value);
}
void* RestoreHook(int32_t, uint32_t low, uint32_t) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(low & 0xFFFF));
}

HostServices g_hs;
lua_Descriptor g_desc;

void Start() {
  lua_Initialize(&g_hs, &g_desc);
  g_desc.startup();
  lua_iolibopen();
  lua_strlibopen();
  lua_mathlibopen();
  lua_openlib(kRows, 1);
  lua_recognizelib(kValues, 1);
  lua_beginblock();
  lua_pushobject(lua_setfallback("concat", Concat));
  lua_ref(1);
  lua_pushstring(kScript);
  lua_callfunction(lua_getglobal("dostring"));
  lua_endblock();
}

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;

int Read(void* out, size_t length) {
  if (g_size - g_at < length) return 1;
  std::memcpy(out, g_data + g_at, length);
  g_at += length;
  return 0;
}

std::vector<uint8_t> g_seed;
int Write(void* data, size_t length) {
  g_seed.insert(g_seed.end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + length);
  return 0;
}

void WriteSeeds(const char* dir) {
  Start();
  int frames = 0;
  for (int wanted : {0, 1, 4}) {
    while (frames < wanted) {
      lua_updatetasks(0);
      ++frames;
    }
    g_seed.clear();
    lua_Save(Write);
    const std::string name = std::string(dir) + "/frames" + std::to_string(wanted) + ".bin";
    if (FILE* f = std::fopen(name.c_str(), "wb")) {
      std::fwrite(g_seed.data(), 1, g_seed.size(), f);
      std::fclose(f);
    }
  }
  g_desc.shutdown();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
    lua_savehook = SaveHook;
    lua_restorehook = RestoreHook;
    if (const char* dir = std::getenv("VQ_LUA_SEEDS")) WriteSeeds(dir);
    started = true;
  }
  Start();
  g_data = data;
  g_size = size;
  g_at = 0;
  if (lua_Restore(Read) == 0) {
    for (int i = 0; i < 3; ++i) lua_updatetasks(0);
    lua_collectgarbage(0);
  }
  g_desc.shutdown();
  return 0;
}
