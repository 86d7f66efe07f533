// Fuzz target for music.txt: the input read as the music script's tables,
// then every state and sequence they hold set in turn (the library is not
// started, so the changes over find no music playing).
#include <cstddef>
#include <cstdint>
#include <string>

#include "melos/Melos.h"
#include "melos/MelosScript.h"

namespace {
int32_t g_next = 10001;
int32_t Open(const char*, int32_t hint) {
  if (hint) return hint;
  g_next = g_next == 10004 ? 10001 : g_next + 1;
  return g_next;
}
int Close(int32_t) {
  return 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MelosScript_BeginTables();
  std::string line;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      MelosScript_TableLine(line.c_str(), nullptr);
      line.clear();
    } else if (data[i]) {
      line += static_cast<char>(data[i]);
    }
  }
  MelosScript_EndTables(nullptr);
  const MelosScriptHost host{Open, Close, Open, Close, 1};
  Melos_Script(MELOS_SCRIPT_INIT, reinterpret_cast<intptr_t>(&host));
  for (int i = 0; i < MelosScript_StateCount(); ++i) Melos_SetState(MelosScript_State(i)->id);
  for (int i = 0; i < MelosScript_SequenceCount(); ++i)
    Melos_SetSequence(MelosScript_Sequence(i)->id);
  Melos_SetSequence(0);
  Melos_Script(MELOS_SCRIPT_TICK);
  char names[4096];
  Melos_Script(MELOS_SCRIPT_ATTRIBUTE, MELOS_ATTR_NAMES, reinterpret_cast<intptr_t>(names),
               sizeof names);
  Melos_Script(MELOS_SCRIPT_SHUTDOWN);
  return 0;
}
