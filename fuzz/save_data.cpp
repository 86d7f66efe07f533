// The scripts' data block of a save file as GetSaveGameData reads it: any
// bytes as the file, read through the script function.
#include <cstdint>
#include <cstdio>

#include "script/drevLua.h"
#include "std/std.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    static ModuleDescriptor lua;
    drevLua_Initialize(&hs, &lua);
    lua.startup();
    ready = true;
  }
  const char* name = "fuzz_save_data.tmp";
  FILE* f = std::fopen(name, "wb");
  if (!f) return 0;
  if (data && size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  lua_beginblock();
  lua_pushstring(name);
  lua_callfunction(lua_getglobal("GetSaveGameData"));
  lua_endblock();
  std::remove(name);
  return 0;
}
