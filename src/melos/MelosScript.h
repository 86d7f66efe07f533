// The music script: the game sets a music state (a place or a situation) and,
// for scripted moments, a sequence; each names a music file and how to change
// over to it (cross-fade at once, keep the musical position, or wait for an
// "exit" marker in the playing music). It keeps 228 integer attributes (hook
// counters, sequence-played flags and an end flag), saves and restores itself
// with the file list, and runs once per frame from the host's update.
//
// The state, sequence and name tables are game data: the host reads them from
// music.txt at its start (MelosScript_BeginTables and the following calls).
#pragma once

#include <cstdint>

#include "melos/MelosFiles.h"

constexpr int MELOS_STATES = 181;
constexpr int MELOS_SEQUENCES = 41;
constexpr int MELOS_NAMES = 170;
constexpr int MELOS_ATTRIBUTES = 228;
constexpr int MELOS_SCRIPT_SAVE = 12 + 4 * MELOS_ATTRIBUTES;  // 924
constexpr int32_t MELOS_STATE_NULL = 1000;
constexpr int32_t MELOS_SEQ_NULL = 2000;
// The attribute that a "_end" marker sets and the next tick consumes.
constexpr int MELOS_ATTR_END = 227;
// The attribute index that writes out the names of all states and sequences.
constexpr int MELOS_ATTR_NAMES = 10000;

// One state or sequence.
struct MelosTransition {
  char music[32];  // music name, looked up in the name table
  int32_t type;    // 0..12
  int32_t id;
  char name[24];
  int32_t hookAttribute;  // 0: the state's own index
  int32_t hookCycle;      // 0: no cycling
  int32_t fadeMs;         // 0: 1000
  int32_t volume;         // 0..127
  int32_t pan;            // 0..127
};

// Table loading, one line of music.txt at a time (comments and blank lines
// are skipped). A line that breaks the rules makes the whole file bad;
// MelosScript_EndTables then keeps only the null rows. Returns 0, or -1 with
// the reason in why.
void MelosScript_BeginTables(void);
int MelosScript_TableLine(const char* line, const char** why);
int MelosScript_EndTables(const char** why);
// Only STATE_NULL and SEQ_NULL.
void MelosScript_NullTables(void);
int MelosScript_StateCount(void);
int MelosScript_SequenceCount(void);
const MelosTransition* MelosScript_State(int index);
const MelosTransition* MelosScript_Sequence(int index);

// What the host hands the script at its start (opcode 0).
struct MelosScriptHost {
  MelosFileOpenFn load;
  MelosFileCloseFn free;
  MelosFileOpenFn open;
  MelosFileCloseFn close;
  int32_t enabled;  // the music script's configuration word
};

enum MelosScriptOpcode : int32_t {
  MELOS_SCRIPT_INIT = 0,  // a0: const MelosScriptHost*
  MELOS_SCRIPT_SHUTDOWN = 1,
  MELOS_SCRIPT_SAVE_BLOCK = 2,  // a0: buffer, a1: room
  MELOS_SCRIPT_RESTORE = 3,     // a0: buffer, a1: size
  MELOS_SCRIPT_TICK = 4,
  MELOS_SCRIPT_SET_STATE = 5,      // a0: id
  MELOS_SCRIPT_SET_SEQUENCE = 6,   // a0: id
  MELOS_SCRIPT_SET_CUE_POINT = 7,  // a0: ignored
  MELOS_SCRIPT_ATTRIBUTE = 8,      // a0: index, a1: value (10000: buffer), a2: room
};
int Melos_Script(int32_t opcode, intptr_t a0 = 0, intptr_t a1 = 0, intptr_t a2 = 0);

// The script's trigger callback (command 0 of triggers): a marker beginning
// with '_' sets the end attribute.
void MelosScript_Callback(const char* marker, const int32_t* args);

// The state of the script, for tests and diagnostics.
int MelosScript_CurrentState(void);     // index
int MelosScript_CurrentSequence(void);  // index, 0 = none
int MelosScript_NextSequence(void);     // index, 0 = none
int32_t MelosScript_Attribute(int index);

// The library operations the script and the file list use. The table starts
// empty; the program installs the library's own functions
// (MelosScript_SetCalls); tests put a recording fake in their place and
// restore the installed table with MelosScript_ResetCalls.
struct MelosScriptCalls {
  int (*getParam)(int32_t sound, int32_t param);
  int (*setParam)(int32_t sound, int32_t param, int32_t value);
  int (*fadeParam)(int32_t sound, int32_t param, int32_t target, int32_t ticks);
  int (*setHook)(int32_t sound, int32_t hook);
  int (*setTrigger)(int32_t sound, const char* marker, int32_t command, const int32_t* args);
  int (*switchStream)(int32_t oldSound, int32_t newSound, int32_t fadeMs, int32_t keepA,
                      int32_t keepB);
  int (*serviceStreams)(void);
  int (*startStream)(int32_t sound, int32_t priority, int32_t block);
  int (*stopAllSounds)(void);
  int (*nextSound)(int32_t sound);
  int (*pause)(void);
  int (*resume)(void);
};
MelosScriptCalls& MelosScript_Calls(void);
void MelosScript_SetCalls(const MelosScriptCalls* calls);
void MelosScript_ResetCalls(void);

// The library's diagnostic message buffer: each message is formatted into it
// printf-style (room for a 255-character name); nothing displays it.
// Melos_Complain also writes the message to the program log.
void Melos_Message(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Melos_Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A copy of the last message.
void Melos_LastMessage(char* out, int room);
