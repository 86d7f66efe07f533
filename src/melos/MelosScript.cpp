// The music script (see MelosScript.h): the state and sequence tables, the
// transitions between them, the attributes, the tick, the save block and the
// library's message buffer.
//
// Everything here runs on the main thread except the trigger callback, which
// a "_end" marker fires from the heartbeat's mix: it touches only the end
// attribute (the attributes are atomics) and the message buffer (under a lock
// of its own that nothing else is taken under).
#include "melos/MelosScript.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "melos/Melos.h"
#include "melos/MelosBytes.h"
#include "melos/MelosInternal.h"
#include "platform/kv_Log.h"

namespace {

// ---- tables ------------------------------------------------------------------

struct NameEntry {
  char name[32];
  char file[32];
};

struct Tables {
  MelosTransition states[MELOS_STATES];
  int stateCount;
  MelosTransition sequences[MELOS_SEQUENCES];
  int sequenceCount;
  NameEntry names[MELOS_NAMES];
  int nameCount;
};

Tables g_tables;
Tables g_staging;  // the tables of the file being read
bool g_stagingBad = false;

MelosTransition NullRow(int32_t id, const char* name) {
  MelosTransition t{};
  t.id = id;
  std::snprintf(t.name, sizeof t.name, "%s", name);
  return t;
}

void NullTables(Tables& t) {
  std::memset(static_cast<void*>(&t), 0, sizeof t);
  t.states[0] = NullRow(MELOS_STATE_NULL, "STATE_NULL");
  t.stateCount = 1;
  t.sequences[0] = NullRow(MELOS_SEQ_NULL, "SEQ_NULL");
  t.sequenceCount = 1;
}

// Splits a line into blank-separated words; false when there are too many.
int SplitWords(const char* line, char words[][40], int max, bool* tooLong) {
  int n = 0;
  *tooLong = false;
  const char* p = line;
  while (*p) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (!*p) break;
    const char* start = p;
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') ++p;
    const size_t length = static_cast<size_t>(p - start);
    if (n == max) return max + 1;
    if (length >= 40) {
      *tooLong = true;
      return n;
    }
    std::memcpy(words[n], start, length);
    words[n][length] = 0;
    ++n;
  }
  return n;
}

bool ParseInt(const char* word, int32_t low, int32_t high, int32_t* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(word, &end, 10);
  if (errno || end == word || *end || v < low || v > high) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool CopyName(char* to, size_t room, const char* word) {
  if (std::strlen(word) >= room) return false;
  std::snprintf(to, room, "%s", std::strcmp(word, "-") == 0 ? "" : word);
  return true;
}

// A state or sequence row: index id name music type hook cycle fade volume pan.
const char* ParseRow(char words[][40], int count, bool state) {
  MelosTransition* table = state ? g_staging.states : g_staging.sequences;
  int& loaded = state ? g_staging.stateCount : g_staging.sequenceCount;
  const int room = state ? MELOS_STATES : MELOS_SEQUENCES;
  if (count != 11) return "a state or sequence row has 10 fields";
  int32_t index = 0;
  if (!ParseInt(words[1], 0, room - 1, &index)) return "the row's index is out of range";
  if (index != loaded) return "the rows are not in index order";
  MelosTransition t{};
  const int32_t lowId = state ? 1000 : 2000;
  const int32_t highId = state ? 1999 : 2399;
  if (!ParseInt(words[2], lowId, highId, &t.id)) return "the row's id is out of range";
  if (!CopyName(t.name, sizeof t.name, words[3])) return "the name is longer than 23 characters";
  if (!CopyName(t.music, sizeof t.music, words[4]))
    return "the music name is longer than 31 characters";
  if (!ParseInt(words[5], INT32_MIN, INT32_MAX, &t.type) ||
      !ParseInt(words[6], 0, MELOS_ATTRIBUTES - 4, &t.hookAttribute) ||
      !ParseInt(words[7], 0, INT32_MAX, &t.hookCycle) ||
      !ParseInt(words[8], 0, 1000000, &t.fadeMs) || !ParseInt(words[9], 0, 127, &t.volume) ||
      !ParseInt(words[10], 0, 127, &t.pan))
    return "a number of the row is out of range";
  for (int i = 0; i < loaded; ++i)
    if (table[i].id == t.id) return "an id is used twice";
  if (state && index == 0 && (t.id != MELOS_STATE_NULL || std::strcmp(t.name, "STATE_NULL")))
    return "state 0 must be STATE_NULL, id 1000";
  if (state && index == 1 && t.id != 1999) return "state 1 must have id 1999";
  if (!state && index == 0 && (t.id != MELOS_SEQ_NULL || std::strcmp(t.name, "SEQ_NULL")))
    return "sequence 0 must be SEQ_NULL, id 2000";
  table[loaded++] = t;
  return nullptr;
}

// ---- script state ----------------------------------------------------------------

struct Script {
  bool initialized;
  int32_t enabled;
  int current;   // state index
  int sequence;  // sequence index, 0 = none
  int next;      // queued sequence index, 0 = none
  char music[32];
};
Script g_script{};
std::atomic<int32_t> g_attributes[MELOS_ATTRIBUTES];

MelosScriptCalls g_calls{};
MelosScriptCalls g_installed{};

void ClearAttributes() {
  for (auto& a : g_attributes) a.store(0);
}

// ---- message buffer ----------------------------------------------------------------

std::mutex g_messageLock;
char g_message[512];

void FormatMessage(bool log, const char* format, va_list args) {
  std::lock_guard<std::mutex> lock(g_messageLock);
  std::vsnprintf(g_message, sizeof g_message, format, args);
  if (log) kv_Log_Printf("[Melos] - %s", g_message);
}

// ---- transitions ------------------------------------------------------------------

// Finds the first playing sound for which match(sound) holds; 0 when none.
template <typename Match>
int32_t FindPlaying(Match match) {
  for (int32_t s = g_calls.nextSound(0); s > 0; s = g_calls.nextSound(s))
    if (match(s)) return s;
  return 0;
}

bool IsMusicStream(int32_t s) {
  return g_calls.getParam(s, MELOS_PARAM_STREAMED) == 1 &&
         g_calls.getParam(s, MELOS_PARAM_BLOCK) == 2;
}

void Trigger(int32_t sound, const char* marker, int32_t command,
             std::initializer_list<int32_t> args) {
  int32_t a[10] = {};
  std::copy(args.begin(), args.end(), a);
  g_calls.setTrigger(sound, marker, command, a);
}

// The five triggers that change over to f at marker m of d.
void ExitTriggers(int32_t d, int32_t f, const char* m, int32_t fadeMs, const MelosTransition& r,
                  int32_t ticks, int32_t hook) {
  Trigger(d, m, 26, {d, f, fadeMs, 1, 0});
  Trigger(d, m, 14, {f, MELOS_PARAM_VOLUME, r.volume, ticks});
  Trigger(d, m, 14, {f, MELOS_PARAM_PAN, r.pan, ticks});
  Trigger(d, m, 12, {f, MELOS_PARAM_GROUP, 4});
  Trigger(d, m, 15, {f, hook});
}

// The music name of a record mapped through the name table.
void MapMusicName(const MelosTransition& r) {
  std::snprintf(g_script.music, sizeof g_script.music, "%s", r.music);
  for (int i = 0; i < g_tables.nameCount; ++i) {
    if (std::strcmp(g_tables.names[i].name, r.music) == 0) {
      std::snprintf(g_script.music, sizeof g_script.music, "%s", g_tables.names[i].file);
      return;
    }
  }
}

// The hook of a state's transition, stepping its hook counter.
int32_t StateHook(int s, const MelosTransition& r) {
  const int a = r.hookAttribute ? r.hookAttribute : s;
  std::atomic<int32_t>& counter = g_attributes[a + 3];
  const int32_t h = counter.load();
  const int32_t c = r.hookCycle;
  int32_t hook = h;
  if (c > 0) {
    if (h == 0 && c > 1) {
      counter = 2;
      hook = 100;
    } else {
      counter = h + 1 > c ? 1 : h + 1;
    }
  }
  return hook == 0 ? 100 : hook;
}

// The transition to state s (0 for a sequence) with record r (or none); q is
// 1 for a sequence change.
void Transition(int s, const MelosTransition* r, int q) {
  if (!g_script.enabled) return;
  int32_t hook = 100;
  if (r) MapMusicName(*r);
  if (r && s > 0) hook = StateHook(s, *r);

  // Resident music of group 4 fades out.
  for (int32_t x = g_calls.nextSound(0); x > 0; x = g_calls.nextSound(x)) {
    if (g_calls.getParam(x, MELOS_PARAM_GROUP) == 4 &&
        g_calls.getParam(x, MELOS_PARAM_STREAMED) == 0)
      g_calls.fadeParam(x, MELOS_PARAM_VOLUME, 0, 120);
  }
  const int32_t d = FindPlaying(IsMusicStream);
  if (!r) {
    if (d) g_calls.fadeParam(d, MELOS_PARAM_VOLUME, 0, 120);
    return;
  }
  const int32_t fadeMs = r->fadeMs ? r->fadeMs : 1000;
  const int32_t ticks = fadeMs * 3 / 50;
  switch (r->type) {
    case 0:
      Melos_Message("Trans null...");
      return;
    case 5:
      return;
    case 7:
      if (d) g_calls.fadeParam(d, MELOS_PARAM_VOLUME, 0, 60);
      return;
    case 8:
      if (d) g_calls.setHook(d, 100);
      return;
    case 9:
      if (d) {
        g_calls.setHook(d, 99);
        g_attributes[MELOS_ATTR_END] = 0;
        Trigger(d, "_end", 0, {});
      }
      return;
    case 6:
      g_attributes[MELOS_ATTR_END] = 0;
      Trigger(12345680, "_end", 0, {});
      return;
    case 2:
    case 3:
    case 4:
    case 10:
    case 11:
    case 12:
      break;
    default:
      Melos_Complain("SCRIPT ERR: bogus trans type...");
      return;
  }

  Melos_Message("opening %.255s...", g_script.music);
  const int32_t f = MelosFiles_Open(g_script.music, 0);
  if (f == 0) {
    Melos_Complain("SCRIPT ERR: Unable to open %.255s...", g_script.music);
    if (d) g_calls.fadeParam(d, MELOS_PARAM_VOLUME, 0, 60);
    return;
  }
  if (r->type == 4) {
    g_attributes[MELOS_ATTR_END] = 0;
    Trigger(f, "_end", 0, {});
  }
  Melos_Message("HOOK=%lu...", static_cast<unsigned long>(hook));

  // Fades the new music to the record's volume and pan and makes it the
  // playing music with its hook.
  const auto fadeIn = [&] {
    g_calls.fadeParam(f, MELOS_PARAM_VOLUME, r->volume, ticks);
    g_calls.fadeParam(f, MELOS_PARAM_PAN, r->pan, ticks);
  };
  if (d) {
    const MelosTransition& current = g_tables.states[g_script.current];
    if (r->type == 2) {
      g_calls.switchStream(d, f, fadeMs, 0, 0);
      Melos_Message("FADE=%lu...", static_cast<unsigned long>(fadeMs));
      Melos_Message("vol=%lu...", static_cast<unsigned long>(r->volume));
      fadeIn();
      g_calls.setParam(f, MELOS_PARAM_GROUP, 4);
      g_calls.setHook(f, hook);
      g_calls.serviceStreams();
    } else if (d == f) {
      Melos_Message("fading VOL=%lu...", static_cast<unsigned long>(r->volume));
      g_calls.fadeParam(f, MELOS_PARAM_VOLUME, r->volume, ticks);
      if (r->pan) {
        Melos_Message("and PAN=%lu...", static_cast<unsigned long>(r->pan));
        g_calls.fadeParam(f, MELOS_PARAM_PAN, r->pan, ticks);
      }
    } else if (q == 0 && r->hookAttribute != 0 && r->hookAttribute == current.hookAttribute) {
      g_calls.switchStream(d, f, fadeMs, 0, 1);
      fadeIn();
      g_calls.setParam(f, MELOS_PARAM_GROUP, 4);
      if (hook == 100) g_calls.setHook(f, 100);
      g_calls.serviceStreams();
    } else if (r->type == 10 || r->type == 11) {
      ExitTriggers(d, f, r->type == 10 ? "exit" : "exit2", fadeMs, *r, ticks, hook);
      g_calls.serviceStreams();
    } else if (r->type == 12) {
      g_calls.setHook(d, 99);
      Trigger(d, "clear", 15, {d, 128});
      ExitTriggers(d, f, "exit", fadeMs, *r, ticks, hook);
      Melos_Message("HOOK=%lu...", static_cast<unsigned long>(hook));
      g_calls.serviceStreams();
    } else {
      g_calls.switchStream(d, f, fadeMs, 0, 0);
      Melos_Message("FADE=%lu...", static_cast<unsigned long>(fadeMs));
      Melos_Message("vol=%lu...", static_cast<unsigned long>(r->volume));
      fadeIn();
      Melos_Message("set pan=%lu...", static_cast<unsigned long>(r->pan));
      g_calls.setParam(f, MELOS_PARAM_GROUP, 4);
      g_calls.setHook(f, hook);
      g_calls.serviceStreams();
    }
  } else {
    Melos_Message("No stream sound...");
    if (g_calls.startStream(f, 126, 2) != 0) {
      Melos_Complain("SCRIPT ERR: failed start stream...");
    } else {
      g_calls.setParam(f, MELOS_PARAM_VOLUME, 0);
      g_calls.fadeParam(f, MELOS_PARAM_VOLUME, r->volume, ticks);
      g_calls.setParam(f, MELOS_PARAM_PAN, r->pan);
      g_calls.setParam(f, MELOS_PARAM_GROUP, 4);
      g_calls.setHook(f, hook);
    }
  }
  MelosFiles_ReleaseOpened(f);
  g_calls.setParam(f, MELOS_PARAM_GROUP, 4);
}

// ---- opcodes ------------------------------------------------------------------------

int SetState(int32_t id) {
  if (id == -1) return g_tables.states[g_script.current].id;
  int index = -1;
  for (int i = 0; i < g_tables.stateCount; ++i) {
    if (g_tables.states[i].id == id) {
      index = i;
      break;
    }
  }
  if (index < 0) return 0;
  Melos_Message("%s...", g_tables.states[index].name);
  if (index != g_script.current && g_script.sequence == 0)
    Transition(index, index == 0 ? nullptr : &g_tables.states[index], 0);
  g_script.current = index;
  return id;
}

// Starts sequence index (> 0).
int StartSequence(int index) {
  Transition(0, &g_tables.sequences[index], 1);
  g_script.sequence = index;
  g_attributes[185 + index] = 1;
  g_script.next = 0;
  return g_tables.sequences[index].id;
}

int SetSequence(int32_t id) {
  if (id == 0) id = MELOS_SEQ_NULL;
  if (id == -1) return g_tables.sequences[g_script.sequence].id;
  int index = -1;
  for (int i = 0; i < g_tables.sequenceCount; ++i) {
    if (g_tables.sequences[i].id == id) {
      index = i;
      break;
    }
  }
  if (index < 0) {
    Melos_Complain("ERR: bogus sequence...");
    return -1;
  }
  Melos_Message("%s...", g_tables.sequences[index].name);
  if (index == g_script.sequence) return id;
  if (index > 0) {
    const MelosTransition& current = g_tables.sequences[g_script.sequence];
    if (g_script.sequence != 0 && (current.type == 4 || current.type == 6)) {
      g_script.next = index;
      return current.id;
    }
    return StartSequence(index);
  }
  if (g_script.next != 0) return StartSequence(g_script.next);
  Transition(g_script.current, &g_tables.states[g_script.current], 1);
  g_script.sequence = 0;
  return MELOS_SEQ_NULL;
}

int Tick() {
  if (g_attributes[MELOS_ATTR_END].load()) {
    SetSequence(0);
    g_attributes[MELOS_ATTR_END] = 0;
  }
  if (FindPlaying(IsMusicStream)) {
    MelosFiles_Collect();
    return 0;
  }
  if (g_script.sequence != 0) SetSequence(0);
  MelosFiles_Collect();
  return 0;
}

int Attribute(int32_t index, intptr_t value, intptr_t room) {
  if (index == -1) {
    if (value == 0) g_calls.pause();
    if (value == 1) g_calls.resume();
    if (value == -1) ClearAttributes();
    return 0;
  }
  if (index == MELOS_ATTR_NAMES) {
    // The names of all states, then all sequences, each zero-terminated;
    // names that do not fit the room are left out.
    char* out = reinterpret_cast<char*>(value);
    size_t left = out && room > 0 ? static_cast<size_t>(room) : 0;
    const auto put = [&](const MelosTransition& t) {
      const size_t n = std::strlen(t.name) + 1;
      if (n > left) return;
      std::memcpy(out, t.name, n);
      out += n;
      left -= n;
    };
    for (int i = 0; i < g_tables.stateCount; ++i) put(g_tables.states[i]);
    for (int i = 0; i < g_tables.sequenceCount; ++i) put(g_tables.sequences[i]);
    return g_tables.stateCount + g_tables.sequenceCount;
  }
  if (index < -1 || index >= MELOS_ATTRIBUTES) {
    Melos_Complain("ERR: bogus attribute...");
    return 0;
  }
  if (value != -1) {
    g_attributes[index] = static_cast<int32_t>(value);
    Melos_Message("Set attr %lu to %lu...", static_cast<unsigned long>(index),
                  static_cast<unsigned long>(static_cast<uint32_t>(value)));
  }
  return g_attributes[index].load();
}

int Save(uint8_t* buffer, intptr_t room) {
  if (!buffer || room < MELOS_SCRIPT_SAVE) {
    Melos_Complain("SCRIPT ERR: save buffer too small...");
    return -1;
  }
  Melos_PutLE32(buffer, static_cast<uint32_t>(g_script.current));
  Melos_PutLE32(buffer + 4, static_cast<uint32_t>(g_script.sequence));
  Melos_PutLE32(buffer + 8, static_cast<uint32_t>(g_script.next));
  for (int i = 0; i < MELOS_ATTRIBUTES; ++i)
    Melos_PutLE32(buffer + 12 + 4 * i, static_cast<uint32_t>(g_attributes[i].load()));
  const int list = MelosFiles_Save(
      buffer + MELOS_SCRIPT_SAVE,
      static_cast<int32_t>(std::min<intptr_t>(room - MELOS_SCRIPT_SAVE, INT32_MAX)));
  return list <= 0 ? list : MELOS_SCRIPT_SAVE + list;
}

int Restore(const uint8_t* buffer, intptr_t size) {
  MelosFiles_ReleaseAllLoaded();
  MelosFiles_ReleaseAllOpened();
  if (!buffer || size < MELOS_SCRIPT_SAVE) return 0;
  const uint32_t current = Melos_LE32(buffer);
  const uint32_t sequence = Melos_LE32(buffer + 4);
  const uint32_t next = Melos_LE32(buffer + 8);
  if (current >= static_cast<uint32_t>(g_tables.stateCount) ||
      sequence >= static_cast<uint32_t>(g_tables.sequenceCount) ||
      next >= static_cast<uint32_t>(g_tables.sequenceCount)) {
    Melos_Complain("SCRIPT ERR: the saved state or sequence is not in the tables...");
    return 0;
  }
  g_script.current = static_cast<int>(current);
  g_script.sequence = static_cast<int>(sequence);
  g_script.next = static_cast<int>(next);
  for (int i = 0; i < MELOS_ATTRIBUTES; ++i)
    g_attributes[i] = static_cast<int32_t>(Melos_LE32(buffer + 12 + 4 * i));
  return MELOS_SCRIPT_SAVE +
         MelosFiles_Restore(buffer + MELOS_SCRIPT_SAVE, static_cast<uint32_t>(std::min<intptr_t>(
                                                            size - MELOS_SCRIPT_SAVE, UINT32_MAX)));
}

int Init(const MelosScriptHost* host) {
  if (g_script.initialized) {
    Melos_Complain("ERROR:script already initialized...");
    return -1;
  }
  {
    // The heartbeat reads the callback table under the music lock.
    MelosLockGuard lock;
    Melos_HostCallbacks()->trigger = MelosScript_Callback;
  }
  const MelosScriptHost none{};
  if (!host) host = &none;
  g_script.enabled = host->enabled;
  MelosFiles_Init(host->load, host->free, host->open, host->close);
  ClearAttributes();
  g_script.current = g_script.sequence = g_script.next = 0;
  g_script.music[0] = 0;
  g_script.initialized = true;
  return 0;
}

int Shutdown() {
  g_script.initialized = false;
  if (g_script.enabled) {
    g_calls.stopAllSounds();
    MelosFiles_ReleaseAllLoaded();
    MelosFiles_ReleaseAllOpened();
  }
  ClearAttributes();
  g_script.current = g_script.sequence = g_script.next = 0;
  return 0;
}

}  // namespace

// ---- tables -----------------------------------------------------------------------------

void MelosScript_BeginTables(void) {
  std::memset(static_cast<void*>(&g_staging), 0, sizeof g_staging);
  g_stagingBad = false;
}

int MelosScript_TableLine(const char* line, const char** why) {
  static const char* unused;
  if (!why) why = &unused;
  *why = nullptr;
  if (g_stagingBad) return -1;
  const char* first = line ? line : "";
  while (*first == ' ' || *first == '\t') ++first;
  if (*first == '#') return 0;
  char words[12][40];
  bool tooLong = false;
  const int n = line ? SplitWords(line, words, 11, &tooLong) : 0;
  const char* fault = nullptr;
  if (tooLong) {
    fault = "a word is longer than 39 characters";
  } else if (n > 11) {
    fault = "the line has too many words";
  } else if (n == 0) {
    return 0;
  } else if (std::strcmp(words[0], "state") == 0) {
    fault = ParseRow(words, n, true);
  } else if (std::strcmp(words[0], "sequence") == 0) {
    fault = ParseRow(words, n, false);
  } else if (std::strcmp(words[0], "name") == 0) {
    if (n != 3) {
      fault = "a name row has 2 fields";
    } else if (g_staging.nameCount == MELOS_NAMES) {
      fault = "more than 170 names";
    } else {
      NameEntry& e = g_staging.names[g_staging.nameCount];
      if (!CopyName(e.name, sizeof e.name, words[1]) || !CopyName(e.file, sizeof e.file, words[2]))
        fault = "a name is longer than 31 characters";
      else
        ++g_staging.nameCount;
    }
  } else {
    fault = "the line is not a state, sequence or name row";
  }
  if (!fault) return 0;
  *why = fault;
  g_stagingBad = true;
  return -1;
}

int MelosScript_EndTables(const char** why) {
  static const char* unused;
  if (!why) why = &unused;
  *why = nullptr;
  if (!g_stagingBad && g_staging.stateCount < 2) *why = "states 0 and 1 are missing";
  if (!g_stagingBad && g_staging.sequenceCount < 1) *why = "sequence 0 is missing";
  if (g_stagingBad || *why) {
    if (!*why) *why = "the file is bad";
    NullTables(g_tables);
    return -1;
  }
  g_tables = g_staging;
  return 0;
}

void MelosScript_NullTables(void) {
  NullTables(g_tables);
}
int MelosScript_StateCount(void) {
  return g_tables.stateCount;
}
int MelosScript_SequenceCount(void) {
  return g_tables.sequenceCount;
}
const MelosTransition* MelosScript_State(int index) {
  return index >= 0 && index < g_tables.stateCount ? &g_tables.states[index] : nullptr;
}
const MelosTransition* MelosScript_Sequence(int index) {
  return index >= 0 && index < g_tables.sequenceCount ? &g_tables.sequences[index] : nullptr;
}

// ---- the script -----------------------------------------------------------------------

int Melos_Script(int32_t opcode, intptr_t a0, intptr_t a1, intptr_t a2) {
  if (g_tables.stateCount == 0) NullTables(g_tables);
  if (opcode == MELOS_SCRIPT_INIT) return Init(reinterpret_cast<const MelosScriptHost*>(a0));
  if (!g_script.initialized) {
    Melos_Complain("ERROR:script not initialized...");
    return -1;
  }
  switch (opcode) {
    case MELOS_SCRIPT_SHUTDOWN:
      return Shutdown();
    case MELOS_SCRIPT_SAVE_BLOCK:
      return Save(reinterpret_cast<uint8_t*>(a0), a1);
    case MELOS_SCRIPT_RESTORE:
      return Restore(reinterpret_cast<const uint8_t*>(a0), a1);
    case MELOS_SCRIPT_TICK:
      return Tick();
    case MELOS_SCRIPT_SET_STATE:
      return SetState(static_cast<int32_t>(a0));
    case MELOS_SCRIPT_SET_SEQUENCE:
      return SetSequence(static_cast<int32_t>(a0));
    case MELOS_SCRIPT_SET_CUE_POINT:
      return 0;
    case MELOS_SCRIPT_ATTRIBUTE:
      return Attribute(static_cast<int32_t>(a0), a1, a2);
    default:
      Melos_Complain("ERROR:unrecognized opcode in script...");
      return -1;
  }
}

void MelosScript_Callback(const char* marker, const int32_t*) {
  Melos_Message("CALLBACK:");
  if (marker && marker[0] == '_')
    g_attributes[MELOS_ATTR_END] = 1;
  else
    Melos_Complain("ERR:callback got marker != '_end'...");
}

int MelosScript_CurrentState(void) {
  return g_script.current;
}
int MelosScript_CurrentSequence(void) {
  return g_script.sequence;
}
int MelosScript_NextSequence(void) {
  return g_script.next;
}
int32_t MelosScript_Attribute(int index) {
  return index >= 0 && index < MELOS_ATTRIBUTES ? g_attributes[index].load() : 0;
}

MelosScriptCalls& MelosScript_Calls(void) {
  return g_calls;
}

void MelosScript_SetCalls(const MelosScriptCalls* calls) {
  g_installed = calls ? *calls : MelosScriptCalls{};
  g_calls = g_installed;
}

void MelosScript_ResetCalls(void) {
  g_calls = g_installed;
}

// ---- messages ------------------------------------------------------------------------

void Melos_Message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatMessage(false, format, args);
  va_end(args);
}

void Melos_Complain(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatMessage(true, format, args);
  va_end(args);
}

void Melos_LastMessage(char* out, int room) {
  if (!out || room <= 0) return;
  std::lock_guard<std::mutex> lock(g_messageLock);
  std::snprintf(out, static_cast<size_t>(room), "%s", g_message);
}

// ---- the engine's wrappers --------------------------------------------------------------

int Melos_SetState(int state) {
  return Melos_Script(MELOS_SCRIPT_SET_STATE, state);
}
int Melos_SetSequence(int sequence) {
  return Melos_Script(MELOS_SCRIPT_SET_SEQUENCE, sequence);
}
int Melos_SetCuePoint(int cue) {
  return Melos_Script(MELOS_SCRIPT_SET_CUE_POINT, cue);
}
int Melos_SetAttribute(int attribute, int value) {
  // The names' buffer cannot travel in an integer: without one nothing is written.
  if (attribute == MELOS_ATTR_NAMES) return Melos_Script(MELOS_SCRIPT_ATTRIBUTE, attribute, 0, 0);
  return Melos_Script(MELOS_SCRIPT_ATTRIBUTE, attribute, value);
}
