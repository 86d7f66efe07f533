// Fuzz target: the scripting runtime's compiler on arbitrary source text
// (scripts come from data files). Only compiles; nothing runs.
// Seeds (corpus/lua_compile/): the demo game's boot script and a program
// that uses every construct of the language, with directives.
#include <cstdint>
#include <string>

#include "script/runtime/lua31_State.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lua31::State* L = lua31::NewState();
  std::string error;
  lua31::Compile(L, reinterpret_cast<const char*>(data), size, lua31::NewString(L, "fuzz"), nullptr,
                 &error);
  lua31::FreeState(L);
  return 0;
}
