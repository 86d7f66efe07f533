// Fuzz target for the music script's save block and its file list: the input
// restored into a script over a small table, then ticked and saved again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "melos/Melos.h"
#include "melos/MelosScript.h"

namespace {
int32_t Open(const char*, int32_t hint) {
  return hint >= 10000 && hint <= 10004 ? hint : 10001;
}
int Close(int32_t) {
  return 0;
}
const char* const kTable[] = {
    "state 0 1000 STATE_NULL - 0 0 0 0 0 0",      "state 1 1999 town town 2 0 0 500 100 64",
    "state 2 1001 forest forest 3 7 4 0 90 32",   "sequence 0 2000 SEQ_NULL - 0 0 0 0 0 0",
    "sequence 1 2001 chase chase 4 0 0 0 127 64", "name town town.mlc"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MelosScript_BeginTables();
  for (const char* line : kTable) MelosScript_TableLine(line, nullptr);
  if (MelosScript_EndTables(nullptr) != 0) __builtin_trap();
  const MelosScriptHost host{Open, Close, Open, Close, 1};
  Melos_Script(MELOS_SCRIPT_INIT, reinterpret_cast<intptr_t>(&host));
  Melos_Script(MELOS_SCRIPT_RESTORE, reinterpret_cast<intptr_t>(data), static_cast<intptr_t>(size));
  Melos_Script(MELOS_SCRIPT_TICK);
  Melos_SetState(1001);
  Melos_SetSequence(2001);
  std::vector<uint8_t> out(MELOS_SCRIPT_SAVE + MELOS_FILE_SAVE_ROOM);
  Melos_Script(MELOS_SCRIPT_SAVE_BLOCK, reinterpret_cast<intptr_t>(out.data()),
               static_cast<intptr_t>(out.size()));
  Melos_Script(MELOS_SCRIPT_SHUTDOWN);
  return 0;
}
