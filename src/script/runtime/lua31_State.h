// The scripting runtime's inner state: values, objects, threads, tags and the
// state that owns them. Private to src/script/runtime/.
//
// Values are tagged unions of 16 bytes: numbers are held in place (no heap
// allocation), every other kind is a pointer. Strings are interned, so two
// equal strings are one object and a table looks a string key up by pointer
// with the hash computed once when the string was made.
//
// Every collectable object (string, table, closure, user datum, chunk) is
// owned by one state; a state is freed with everything it owns. The
// collector is mark and sweep and runs only at known points (the interpreter
// after it made objects, the C interface's block ends, `collectgarbage`), so
// the runtime's own C++ code may hold object pointers between those points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/runtime/lua31.h"

namespace lua31 {

struct GCObject;
struct TString;
struct Table;
struct Closure;
struct CFunction;
struct Udata;
struct Chunk;
struct Proto;
struct State;

// ---- Values -------------------------------------------------------------------

enum : uint8_t {
  TNIL = 0,
  TNUMBER,
  TSTRING,
  TTABLE,
  TLFUNC,     // a script function (closure)
  TCFUNC,     // a native function (runtime library or engine)
  TUSERDATA,  // a host pointer with a tag
  TDEADKEY,   // table keys only: an entry whose key the collector removed
};

struct Value {
  union {
    double n;
    TString* s;
    Table* h;
    Closure* cl;
    CFunction* cf;
    Udata* u;
    void* p;
  };
  uint8_t tt;
};

inline Value NilValue() {
  Value v;
  v.p = nullptr;
  v.tt = TNIL;
  return v;
}
inline Value NumberValue(double n) {
  Value v;
  v.n = n;
  v.tt = TNUMBER;
  return v;
}
inline Value StringValue(TString* s) {
  Value v;
  v.s = s;
  v.tt = TSTRING;
  return v;
}
inline Value TableValue(Table* h) {
  Value v;
  v.h = h;
  v.tt = TTABLE;
  return v;
}
inline Value ClosureValue(Closure* cl) {
  Value v;
  v.cl = cl;
  v.tt = TLFUNC;
  return v;
}
inline Value CFunctionValue(CFunction* cf) {
  Value v;
  v.cf = cf;
  v.tt = TCFUNC;
  return v;
}
inline Value UdataValue(Udata* u) {
  Value v;
  v.u = u;
  v.tt = TUSERDATA;
  return v;
}

inline bool IsNil(const Value& v) {
  return v.tt == TNIL;
}
inline bool IsCollectable(uint8_t tt) {
  return tt == TSTRING || tt == TTABLE || tt == TLFUNC || tt == TUSERDATA;
}
inline bool IsFunction(const Value& v) {
  return v.tt == TLFUNC || v.tt == TCFUNC;
}
// ---- Objects --------------------------------------------------------------------

enum : uint8_t { OSTRING = 1, OTABLE, OCLOSURE, OUDATA, OCHUNK };

struct GCObject {
  GCObject* gcnext = nullptr;
  uint8_t kind = 0;
  uint8_t marked = 0;
  uint8_t finalized = 0;  // its `gc` tag method has run
};

// An interned string; its bytes (zero-terminated) follow the record.
struct TString : GCObject {
  TString* hnext = nullptr;  // next in the string table's bucket
  uint32_t hash = 0;
  uint32_t len = 0;
  char* data() { return reinterpret_cast<char*>(this + 1); }
  const char* data() const { return reinterpret_cast<const char*>(this + 1); }
};

struct Node {
  Value key;
  Value val;
};

// A table: an array part for the keys 1..asize and a hash part whose entries
// keep their insertion order (so traversal order depends on no address and a
// restore can reproduce it). An entry whose value became nil stays as a
// tombstone, so traversal can continue from a field just cleared; the hash
// part never holds a whole-number key in 1..asize+1.
struct Table : GCObject {
  int32_t tag = 0;
  bool inlineHash = false;  // the first hash block shares the table's allocation
  uint32_t asize = 0, acap = 0;
  Value* array = nullptr;
  Node* node = nullptr;  // entries in insertion order
  uint32_t ncount = 0, ncap = 0;
  uint32_t* index = nullptr;  // open addressing: entry number + 1, 0 = empty
  uint32_t imask = 0;         // slots - 1; index is null while ncap is 0
};

// Up-value sources of a function prototype: a register of the enclosing
// function or a global's value, copied when the closure is made.
struct UpvalDesc {
  TString* global = nullptr;  // null: the enclosing function's register `reg`
  uint8_t reg = 0;
};

using Instr = uint32_t;

// A compiled function. Prototypes belong to their chunk and are numbered in
// the order the compiler met them (0 = the chunk itself).
struct Proto {
  Chunk* chunk = nullptr;
  uint32_t index = 0;
  std::vector<Instr> code;
  std::vector<int32_t> lines;  // source line of each instruction
  std::vector<Value> k;        // constants: nil, numbers, strings
  std::vector<Proto*> children;
  std::vector<UpvalDesc> upvals;
  uint8_t numparams = 0;
  uint8_t isVararg = 0;
  uint8_t maxstack = 2;
  int32_t linedefined = 0;
};

// A chunk: its name, its source text (kept while any of its functions lives,
// so a save can hold it) and its prototypes.
struct Chunk : GCObject {
  TString* name = nullptr;
  std::string source;
  std::vector<uint8_t> directives;  // outcomes of its `$if name` tests, in order
  std::vector<std::unique_ptr<Proto>> protos;
};

struct Closure : GCObject {
  Proto* p = nullptr;
  uint32_t nup = 0;
  Value* up() { return reinterpret_cast<Value*>(this + 1); }
};

struct Udata : GCObject {
  void* value = nullptr;
  int32_t tag = 0;
};

// The collected object of a value whose kind IsCollectable, converted from
// the member its kind wrote.
inline GCObject* GcOf(const Value& v) {
  switch (v.tt) {
    case TSTRING:
      return v.s;
    case TTABLE:
      return v.h;
    case TLFUNC:
      return v.cl;
    case TUSERDATA:
      return v.u;
    default:
      return nullptr;
  }
}

// The object a value refers to, read through the member its kind wrote (a
// union member that was not written is never read). Nil, numbers and dead
// keys give their `p`, which only NilValue and the collector write.
inline const void* Identity(const Value& v) {
  if (IsCollectable(v.tt)) return GcOf(v);
  return v.tt == TCFUNC ? static_cast<const void*>(v.cf) : v.p;
}
// Equality without coercion: same kind and same number or same object.
inline bool RawEqual(const Value& a, const Value& b) {
  if (a.tt != b.tt) return false;
  if (a.tt == TNUMBER) return a.n == b.n;
  return a.tt == TNIL || Identity(a) == Identity(b);
}

// ---- Native functions ----------------------------------------------------------

struct Args;
using NativeFn = int (*)(Args& args);

// A native function: a library function of the runtime (`native`) or an
// engine function of the C interface (`api`, run through `native` too). The
// state owns these records; a save names them by `name`.
struct CFunction {
  NativeFn native = nullptr;
  lua_CFunc api = nullptr;
  std::string name;  // empty: never registered (cannot be saved)
};

// ---- Threads and tasks ----------------------------------------------------------

struct CallInfo {
  Closure* cl = nullptr;  // null for a native function
  uint32_t func = 0;      // stack index of the called value
  uint32_t base = 0;      // first register / argument
  uint32_t savedpc = 0;   // next instruction (script functions)
  int32_t nresults = 0;   // results the caller wants, -1 = all
};

struct Task;

// A stack of values and of call frames. The main thread runs what the engine
// calls; each task has one of its own.
struct Thread {
  Value* stack = nullptr;
  uint32_t size = 0;
  uint32_t top = 0;  // end of the live part of the stack
  std::vector<CallInfo> ci;
  int nCcalls = 0;  // nested interpreter entries (native code calling scripts)
  Task* task = nullptr;
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() { delete[] stack; }
};

struct Task {
  int id = 0;
  bool started = false;  // false: stack holds the function and its arguments
  bool dead = false;
  Thread th;
};

// ---- Tags -------------------------------------------------------------------

enum Event : uint8_t {
  EV_GETTABLE = 0,
  EV_SETTABLE,
  EV_INDEX,
  EV_GETGLOBAL,
  EV_SETGLOBAL,
  EV_ADD,
  EV_SUB,
  EV_MUL,
  EV_DIV,
  EV_POW,
  EV_UNM,
  EV_LT,
  EV_LE,
  EV_GT,
  EV_GE,
  EV_CONCAT,
  EV_GC,
  EV_FUNCTION,
  EV_COUNT
};
extern const char* const kEventNames[EV_COUNT];

// Built-in tags (negative, as the tags that `newtag` makes); user data have 0
// or any tag the host picks.
constexpr int32_t TAG_USERDATA = 0;
constexpr int32_t TAG_NIL = LUA_T_NIL;
constexpr int32_t TAG_NUMBER = LUA_T_NUMBER;
constexpr int32_t TAG_STRING = LUA_T_STRING;
constexpr int32_t TAG_TABLE = LUA_T_TABLE;
constexpr int32_t TAG_LFUNC = LUA_T_FUNCTION;
constexpr int32_t TAG_CFUNC = -6;
constexpr int32_t TAG_FIRST_NEW = -8;  // the first tag `newtag` hands out

struct TagMethods {
  Value tm[EV_COUNT];
  uint32_t mask = 0;  // bit e set when tm[e] is not nil
};

// ---- The C interface's object stack ----------------------------------------------

// S[1..base] are live objects, S[base+1..] pending pushes; the current engine
// function's arguments (or the last call's results) are S[lua2C .. lua2C+num-1].
struct ApiFrame {
  uint32_t base = 0;
  uint32_t lua2C = 0;
  uint32_t num = 0;
};

struct Ref {
  Value v;
  bool used = false;
  bool locked = false;
};

// A file handle of the input/output library (reads are whole files read
// through the engine's file services).
struct IoFile {
  int kind = 0;  // 0 stdin, 1 stdout, 2 stderr, 3 file read into memory, 4 closed
  std::string data;
  size_t pos = 0;
  std::string pending;  // output not yet ended by a newline
};

struct UdKey {
  void* value;
  int32_t tag;
  bool operator==(const UdKey& o) const { return value == o.value && tag == o.tag; }
};
struct UdKeyHash {
  size_t operator()(const UdKey& k) const {
    return std::hash<void*>()(k.value) ^ (static_cast<size_t>(static_cast<uint32_t>(k.tag)) << 7);
  }
};

// Native functions the state knows, by name (for saves) and by engine function.
struct CRegistry {
  std::vector<std::unique_ptr<CFunction>> owned;
  std::unordered_map<std::string, CFunction*> byName;
  std::unordered_map<lua_CFunc, CFunction*> byApi;
  std::unordered_map<NativeFn, CFunction*> byNative;
};

struct StringTable {
  std::vector<TString*> buckets;
  uint32_t count = 0;
};

struct State {
  // Objects.
  GCObject* allgc = nullptr;
  size_t gcCount = 0;      // collectable objects alive (strings included)
  size_t gcThreshold = 0;  // collect when gcCount reaches it
  size_t gcLimit = 0;      // user limit from collectgarbage(n), 0 = adaptive
  bool gcRunning = false;
  StringTable strings;
  std::unordered_map<UdKey, Udata*, UdKeyHash> udata;
  Table* globals = nullptr;
  CRegistry creg;

  // Tags and tag methods.
  std::vector<TagMethods> tags;                    // slot -tag for tags <= 0
  std::unordered_map<int32_t, uint32_t> hostTags;  // positive tags -> hostTagMethods
  std::vector<TagMethods> hostTagMethods;
  int32_t lastTag = TAG_FIRST_NEW + 1;  // last tag newtag handed out
  uint32_t getglobalMethods = 0;        // how many tags have one
  uint32_t setglobalMethods = 0;
  Value errorMethod;
  TString* eventNames[EV_COUNT] = {};

  // References.
  std::vector<Ref> refs;  // index = reference number (0 unused)
  std::vector<int> freeRefs;

  // Threads and tasks.
  Thread main;
  Thread* cur = &main;
  std::vector<std::unique_ptr<Task>> tasks;  // in creation order
  int nextTaskId = 1;
  Task* running = nullptr;
  bool updating = false;

  // Input/output library.
  int32_t ioTag = 0;  // 0 until the library is opened
  std::unordered_map<Udata*, std::unique_ptr<IoFile>> ioFiles;
  Udata* stdio[3] = {};

  uint64_t rng = 0x2545F4914F6CDD1DULL;
  bool yieldRequested = false;  // break_here asked the running task to yield
  bool inErrorMethod = false;
  TString* nameN = nullptr;  // "n", the field count of `arg` tables

  // The C interface.
  std::vector<Value> S;
  ApiFrame frame;
  std::vector<ApiFrame> blocks;
  size_t blockFloor = 0;
  std::string objName;

  // Scratch.
  std::string buffer;
  std::string errorText;  // message of the error being raised

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
};

// ---- Raised errors ----------------------------------------------------------------

// Thrown to unwind to the nearest protected call; the error method has run.
struct ScriptError {};

// ---- Objects (lua31_Object.cpp) ---------------------------------------------------

State* NewState();
// Runs the `gc` tag method of every object that has one, then frees all.
void CloseState(State* L);
// Frees the state and everything it owns, running no script code.
void FreeState(State* L);

TString* NewString(State* L, const char* s, size_t len);
TString* NewString(State* L, const char* s);
inline TString* NewString(State* L, const std::string& s) {
  return NewString(L, s.data(), s.size());
}
uint32_t HashBytes(const char* s, size_t len);

Table* NewTable(State* L, uint32_t narray, uint32_t nhash);
// Raw reads: null when the key is absent (or its value nil).
inline const Value* TableGetStr(const Table* t, const TString* key) {
  if (!t->index) return nullptr;
  uint32_t i = key->hash & t->imask;
  for (;;) {
    const uint32_t e = t->index[i];
    if (!e) return nullptr;
    const Node& n = t->node[e - 1];
    if (n.key.s == key && n.key.tt == TSTRING) return n.val.tt == TNIL ? nullptr : &n.val;
    i = (i + 1) & t->imask;
  }
}
const Value* TableGetNumSlow(const Table* t, double key);
inline const Value* TableGetNum(const Table* t, double key) {
  if (key >= 1.0 && key <= static_cast<double>(t->asize)) {
    const uint32_t i = static_cast<uint32_t>(key);
    if (static_cast<double>(i) == key) {
      return t->array[i - 1].tt == TNIL ? nullptr : &t->array[i - 1];
    }
  }
  return TableGetNumSlow(t, key);
}
const Value* TableGet(const Table* t, const Value& key);
// Raw write; the key must not be nil or NaN (checked by the callers).
void TableSet(State* L, Table* t, const Value& key, const Value& val);
void TableInsertStr(State* L, Table* t, TString* key, const Value& val);
inline void TableSetStr(State* L, Table* t, TString* key, const Value& val) {
  if (t->index) {
    uint32_t i = key->hash & t->imask;
    for (;;) {
      const uint32_t e = t->index[i];
      if (!e) break;
      Node& n = t->node[e - 1];
      if (n.key.s == key && n.key.tt == TSTRING) {
        n.val = val;
        return;
      }
      i = (i + 1) & t->imask;
    }
  }
  if (val.tt != TNIL) TableInsertStr(L, t, key, val);
}
void TableSetNum(State* L, Table* t, double key, const Value& val);
// Stores list item `n` of a constructor (keeps nil items in the array part).
void TableSetListItem(State* L, Table* t, uint32_t n, const Value& val);
// Traversal: position 0 starts; answers the next position (>0) and fills the
// pair, or 0 at the end.
uint32_t TableNext(const Table* t, uint32_t position, Value* key, Value* val);
// Position just after `key` for TableNext; false when key is not in t.
bool TablePositionAfter(const Table* t, const Value& key, uint32_t* position);
// Restore: appends an entry as the save listed it (value nil = tombstone);
// false when the key cannot be placed (nil, NaN, duplicate, array range).
bool TableRestoreEntry(State* L, Table* t, const Value& key, const Value& val);
void TableRestoreArray(State* L, Table* t, uint32_t n);  // reserves room only
bool TableRestoreArrayItem(Table* t, const Value& val);

Closure* NewClosure(State* L, Proto* p);
Chunk* NewChunk(State* L);
Udata* PushedUdata(State* L, void* value, int32_t tag);  // interned per (value, tag)
CFunction* RegisterNative(State* L, const char* name, NativeFn fn);
CFunction* FindOrMakeApiFunction(State* L, lua_CFunc api, const char* name);

// Tags.
TagMethods* TagSlot(State* L, int32_t tag, bool create);
int32_t TagOf(const Value& v);
bool ValidTag(State* L, int32_t tag);
inline const Value* TagMethod(State* L, int32_t tag, Event e) {
  TagMethods* t = TagSlot(L, tag, false);
  return t && (t->mask >> e & 1) ? &t->tm[e] : nullptr;
}
void SetTagMethodRaw(State* L, int32_t tag, Event e, const Value& f);

// Collection.
size_t FullCollect(State* L);  // answers how many objects were freed
inline void CheckGC(State* L) {
  if (L->gcCount >= L->gcThreshold && !L->gcRunning) FullCollect(L);
}

// Number and string conversions.
bool StringToNumber(const char* s, size_t len, double* out);
// Writes the text of a number: integral values that fit an int like %d,
// others with %g. Returns the length.
int NumberToText(double n, char* buffer);
TString* NumberToString(State* L, double n);
// Converts in place a number to a string; false for other kinds.
bool ToStringInPlace(State* L, Value* v);
bool ToNumber(const Value& v, double* out);

// ---- Compiler (lua31_Lex.cpp, lua31_Parse.cpp, lua31_Code.cpp) ---------------------

// Tells whether a global is set, for `$if name` directives.
using GlobalTest = bool (*)(State* L, TString* name);
// Compiles a chunk. On failure answers null and sets `error`. With
// `replay` (a restore) the `$if name` outcomes come from it instead of the
// globals, and must all be used.
Chunk* Compile(State* L, const char* source, size_t length, TString* name,
               const std::vector<uint8_t>* replay, std::string* error);

// ---- Interpreter (lua31_VM.cpp) -----------------------------------------------------

struct Args {
  State* L;
  uint32_t base;
  int n;
  Value& at(int i);  // 1-based argument; a nil value past the end
  Thread* th() const { return L->cur; }
};

// Makes room for `needed` values above the current thread's top.
void EnsureStack(State* L, uint32_t needed);
inline void Push(State* L, const Value& v) {
  Thread* th = L->cur;
  if (th->top >= th->size) EnsureStack(L, 1);
  th->stack[th->top++] = v;
}

// Raises a script error: runs the error method, then unwinds.
[[noreturn]] void RunError(State* L, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Raises an error whose message is the value `message` (nil skips the method).
[[noreturn]] void RaiseValue(State* L, const Value& message);

// Calls the value at stack index `func` with the values above it up to top
// as arguments; leaves `nresults` results (-1: all) from `func` on and sets
// top after them.
void Call(State* L, uint32_t func, int nresults);
// Protected call: 0 on success; on error the stack and frames are put back
// (top = func) and the answer is 1.
int PCall(State* L, uint32_t func, int nresults);
// Sets up the frame of the script function at stack index func with nargs
// arguments above it (parameters adjusted, `arg` made for varargs).
void PushLuaFrame(State* L, uint32_t func, int nargs, int nresults);
// Runs the script frames of the current thread until the frame count drops
// back to `floor`. Answers false when the task asked to yield or was stopped.
bool Execute(State* L, size_t floor);

// Access with tag methods.
Value GetTable(State* L, const Value& t, const Value& key);
void SetTable(State* L, const Value& t, const Value& key, const Value& val);
Value GetGlobal(State* L, TString* name);
void SetGlobal(State* L, TString* name, const Value& val);
// Concatenation of two values with the `concat` event.
Value Concat2(State* L, const Value& a, const Value& b);
const char* TypeName(const Value& v);
// The text `tostring` gives a value.
std::string ToText(State* L, const Value& v);
// Compiles and runs a chunk protected; 0 ok (results on the stack from
// `*first`), 1 error. The caller's top marks where results start.
int DoChunk(State* L, const char* source, size_t length, const char* name, int* nresults);
// Chunk name and current line of a call frame (line -1 when unknown).
void FrameInfo(const CallInfo& ci, const char** chunk, int* line);
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The state the engine's interface works on (null before startup).
extern State* g_state;

// ---- Libraries --------------------------------------------------------------------

void OpenBaseLib(State* L);
// Installs a 2.5-style fallback ("arith", "order", "concat", "index",
// "getglobal", "gettable", "settable", "function", "gc", "error") as the tag
// methods of the built-in tags; answers the previous handler (a function
// performing the default when none was set). False for an unknown name.
bool SetFallback(State* L, const char* name, const Value& f, Value* previous);
void OpenStringLib(State* L);
void OpenMathLib(State* L);
void OpenIoLib(State* L);
// Sends out what standard output and error hold without a final newline.
void FlushIo(State* L);
void OpenTaskLib(State* L);
// Where print and writes to standard output go (the program log by default).
using OutputSink = void (*)(const char* text, size_t length);
void SetOutputSink(OutputSink sink);
// Where the runtime's log lines go (the program log by default; tests that
// provoke thousands of failures may silence them).
void SetLogSink(OutputSink sink);
void WriteOutput(const char* text, size_t length);

// The largest file that a script reads whole (dofile, readfrom): 16 MB.
constexpr size_t kMaxScriptFileBytes = size_t{16} << 20;
// Reads a whole script file through the engine's file services. False when it
// does not open or holds more than kMaxScriptFileBytes; the error then says
// which, with the name, and opened tells the two apart.
bool ReadScriptFile(const char* name, std::string& out, std::string* error = nullptr,
                    bool* opened = nullptr);
extern HostServices* g_services;
// True when a chunk is precompiled (which the runtime never loads).
inline bool IsBinaryChunk(const char* text, size_t length) {
  return length > 0 && text[0] == 27;
}

// One class of a 3.1 pattern (for the read patterns of the io library):
// where the class at p ends, and whether character c matches it.
const char* PatternClassEnd(State* L, const char* p, const char* end);
bool PatternSingleMatch(int c, const char* p, const char* ep);

// Library argument checks (raise "bad argument" errors).
double CheckNumber(Args& a, int i, const char* fname);
double OptNumber(Args& a, int i, double def, const char* fname);
TString* CheckString(Args& a, int i, const char* fname);
Table* CheckTable(Args& a, int i, const char* fname);
void Register(State* L, const char* name, NativeFn fn);

}  // namespace lua31
