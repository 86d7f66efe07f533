// Fuzz target: restoring the scripting runtime's state from arbitrary bytes
// (a save game is untrusted input). Restore failures are logged to standard
// error; with libFuzzer pass -close_fd_mask=2 to keep its output readable.
// Seeds: small.bin and closures.bin are lua_Save output of small states
// (tables with cycles, library and engine functions, a task; closures sharing
// an upvalue, a metatable) made with this layer; deep.bin (tables nested past
// the reader's limit) and nan_key.bin (a NaN table key) are written by hand.
#include <cstdint>
#include <cstring>

#include "script/runtime/lua31.h"
#include "std/std.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;

int Read(void* out, size_t length) {
  if (g_size - g_at < length) return 1;
  std::memcpy(out, g_data + g_at, length);
  g_at += length;
  return 0;
}

void EngNothing() {}
const lua_Reg kRows[] = {{"EngineFunction", EngNothing}};

HostServices g_hs;
lua_Descriptor g_desc;

void Start() {
  lua_Initialize(&g_hs, &g_desc);
  g_desc.startup();
  lua_iolibopen();
  lua_strlibopen();
  lua_mathlibopen();
  lua_openlib(kRows, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
    started = true;
  }
  Start();
  g_data = data;
  g_size = size;
  g_at = 0;
  if (lua_Restore(Read) == 0) {
    lua_updatetasks(0);
    lua_collectgarbage(0);
  }
  g_desc.shutdown();
  return 0;
}
