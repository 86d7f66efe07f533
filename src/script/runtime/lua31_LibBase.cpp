// The scripting runtime's built-in functions: calls and chunks, traversal,
// conversions, tags and tag methods, fallbacks, errors and collection.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/runtime/lua31_State.h"
#include "std/std.h"

namespace lua31 {

HostServices* g_services = nullptr;

namespace {

OutputSink g_sink = nullptr;

void DefaultSink(const char* text, size_t length) {
  std::string line(text, length);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  LogLine("%s", line.c_str());
}

}  // namespace

void SetOutputSink(OutputSink sink) {
  g_sink = sink;
}

void WriteOutput(const char* text, size_t length) {
  (g_sink ? g_sink : DefaultSink)(text, length);
}

bool ReadScriptFile(const char* name, std::string& out, std::string* error, bool* opened) {
  HostServices* hs = g_services ? g_services : std_pHS;
  out.clear();
  stdFile_t file = hs && hs->fileOpen && name ? hs->fileOpen(name, "rb") : 0;
  if (opened) *opened = file != 0;
  if (!file) {
    if (error) *error = std::string("cannot open ") + (name ? name : "(null)");
    return false;
  }
  // Read up to one byte past the limit: a file that never ends (a device, a
  // pipe) or is too large stops there.
  char buffer[8192];
  bool tooLarge = false;
  for (;;) {
    const size_t room = kMaxScriptFileBytes + 1 - out.size();
    const size_t got = hs->fileRead(file, buffer, room < sizeof buffer ? room : sizeof buffer);
    if (got == 0) break;
    out.append(buffer, got);
    if (out.size() > kMaxScriptFileBytes) {
      tooLarge = true;
      break;
    }
  }
  hs->fileClose(file);
  if (!tooLarge) return true;
  out.clear();
  if (error) {
    *error = std::string(name) + " is larger than " +
             std::to_string(kMaxScriptFileBytes >> 20) + " MB, the most a script reads";
  }
  return false;
}

// ---- Argument checks ------------------------------------------------------------------

[[noreturn]] static void BadArgument(Args& a, int i, const char* fname, const char* expected) {
  RunError(a.L, "bad argument #%d to function '%s' (%s expected)", i, fname, expected);
}

double CheckNumber(Args& a, int i, const char* fname) {
  double d;
  if (!ToNumber(a.at(i), &d)) BadArgument(a, i, fname, "number");
  return d;
}

double OptNumber(Args& a, int i, double def, const char* fname) {
  if (i > a.n || IsNil(a.at(i))) return def;
  return CheckNumber(a, i, fname);
}

TString* CheckString(Args& a, int i, const char* fname) {
  Value& v = a.at(i);
  if (i > a.n || !ToStringInPlace(a.L, &v)) BadArgument(a, i, fname, "string");
  return v.s;
}

Table* CheckTable(Args& a, int i, const char* fname) {
  const Value& v = a.at(i);
  if (v.tt != TTABLE) BadArgument(a, i, fname, "table");
  return v.h;
}

static void CheckAny(Args& a, int i, const char* fname) {
  if (i > a.n) BadArgument(a, i, fname, "value");
}

void Register(State* L, const char* name, NativeFn fn) {
  const std::string key = std::string("lua.") + name;
  CFunction* f = RegisterNative(L, key.c_str(), fn);
  TableSetStr(L, L->globals, NewString(L, name), CFunctionValue(f));
}

namespace {

int Results(State* L, uint32_t from) {
  return static_cast<int>(L->cur->top - from);
}

// ---- Calls and chunks -----------------------------------------------------------------

int B_call(Args& a) {
  State* L = a.L;
  Thread* th = L->cur;
  const Value f = a.at(1);
  Table* t = CheckTable(a, 2, "call");
  bool pack = false, protect = false;
  if (a.n >= 3 && !IsNil(a.at(3))) {
    TString* mode = CheckString(a, 3, "call");
    pack = std::strchr(mode->data(), 'p') != nullptr;
    protect = std::strchr(mode->data(), 'x') != nullptr;
  }
  const bool hasErrm = a.n >= 4;
  const Value errm = a.at(4);
  uint32_t count = 0;
  if (const Value* n = TableGetStr(t, L->nameN); n && n->tt == TNUMBER && n->n >= 0) {
    count = n->n > 1e6 ? 1000000u : static_cast<uint32_t>(n->n);
  } else {
    while (TableGetNum(t, count + 1.0)) ++count;
  }
  // The error method to put back stays on the stack (alive) meanwhile.
  const uint32_t anchor = th->top;
  Push(L, L->errorMethod);
  const uint32_t func = th->top;
  Push(L, f);
  EnsureStack(L, count);
  for (uint32_t j = 1; j <= count; ++j) {
    const Value* v = TableGetNum(t, j);
    th->stack[th->top++] = v ? *v : NilValue();
  }
  if (hasErrm) L->errorMethod = errm;
  int status = 0;
  if (protect) {
    status = PCall(L, func, -1);
  } else {
    try {
      Call(L, func, -1);
    } catch (...) {
      if (hasErrm) L->errorMethod = L->cur->stack[anchor];
      throw;
    }
  }
  if (hasErrm) L->errorMethod = th->stack[anchor];
  if (status != 0) {
    th->top = func;
    Push(L, NilValue());
    return 1;
  }
  const int n = Results(L, func);
  if (!pack) return n;
  Table* r = NewTable(L, static_cast<uint32_t>(n), 1);
  for (int j = 0; j < n; ++j) TableSetListItem(L, r, j + 1, th->stack[func + j]);
  TableSetStr(L, r, L->nameN, NumberValue(n));
  th->top = func;
  Push(L, TableValue(r));
  return 1;
}

int ChunkResults(State* L, int status, uint32_t from) {
  Thread* th = L->cur;
  if (status != 0) {
    th->top = from;
    Push(L, NilValue());
    return 1;
  }
  if (th->top == from) {
    Push(L, NumberValue(1));
    return 1;
  }
  return Results(L, from);
}

int B_dofile(Args& a) {
  State* L = a.L;
  if (a.n < 1 || IsNil(a.at(1))) {
    LogLine("dofile: reading standard input is not offered to scripts");
    Push(L, NilValue());
    return 1;
  }
  TString* name = CheckString(a, 1, "dofile");
  std::string text, error;
  if (!ReadScriptFile(name->data(), text, &error)) {
    LogLine("dofile: %s", error.c_str());
    Push(L, NilValue());
    return 1;
  }
  if (IsBinaryChunk(text.data(), text.size())) {
    LogLine("dofile: %s is a precompiled chunk, which is not supported", name->data());
    Push(L, NilValue());
    return 1;
  }
  const uint32_t from = L->cur->top;
  const int status = DoChunk(L, text.data(), text.size(), name->data(), nullptr);
  return ChunkResults(L, status, from);
}

std::string StringChunkName(const TString* s) {
  std::string name(s->data(), s->len);
  const size_t eol = name.find('\n');
  if (eol != std::string::npos) name.resize(eol);
  if (name.size() > 40) {
    name.resize(37);
    name += "...";
  }
  return name;
}

int B_dostring(Args& a) {
  State* L = a.L;
  TString* s = CheckString(a, 1, "dostring");
  const std::string name = a.n >= 2 && !IsNil(a.at(2))
                               ? std::string(CheckString(a, 2, "dostring")->data())
                               : StringChunkName(s);
  const uint32_t from = L->cur->top;
  // The text is copied: the chunk keeps its own source.
  const std::string text(s->data(), s->len);
  const int status = DoChunk(L, text.data(), text.size(), name.c_str(), nullptr);
  return ChunkResults(L, status, from);
}

// ---- Traversal -------------------------------------------------------------------------

int B_next(Args& a) {
  State* L = a.L;
  Table* t = CheckTable(a, 1, "next");
  uint32_t pos;
  if (!TablePositionAfter(t, a.at(2), &pos)) RunError(L, "invalid key to 'next'");
  Value key, val;
  if (!TableNext(t, pos, &key, &val)) {
    Push(L, NilValue());
    return 1;
  }
  Push(L, key);
  Push(L, val);
  return 2;
}

int B_nextvar(Args& a) {
  State* L = a.L;
  Value k = a.at(1);
  if (!IsNil(k) && !ToStringInPlace(L, &k)) BadArgument(a, 1, "nextvar", "string");
  uint32_t pos;
  if (!TablePositionAfter(L->globals, k, &pos)) RunError(L, "invalid key to 'nextvar'");
  Value key, val;
  if (!TableNext(L->globals, pos, &key, &val)) {
    Push(L, NilValue());
    return 1;
  }
  Push(L, key);
  Push(L, val);
  return 2;
}

// Calls f(k, v) for each pair of t until one answers non-nil.
int ForEach(State* L, Table* t, uint32_t tableSlot, const Value& f) {
  Thread* th = L->cur;
  uint32_t pos = 0;
  Value key, val;
  for (;;) {
    // The table is re-read from its argument slot: the stack may move.
    t = th->stack[tableSlot].h;
    pos = TableNext(t, pos, &key, &val);
    if (!pos) break;
    const uint32_t func = th->top;
    Push(L, f);
    Push(L, key);
    Push(L, val);
    Call(L, func, 1);
    if (!IsNil(th->stack[func])) return 1;
    th->top = func;
  }
  return 0;
}

int B_foreach(Args& a) {
  Table* t = CheckTable(a, 1, "foreach");
  const Value f = a.at(2);
  if (!IsFunction(f)) BadArgument(a, 2, "foreach", "function");
  return ForEach(a.L, t, a.base, f);
}

int B_foreachvar(Args& a) {
  State* L = a.L;
  const Value f = a.at(1);
  if (!IsFunction(f)) BadArgument(a, 1, "foreachvar", "function");
  const uint32_t slot = L->cur->top;
  Push(L, TableValue(L->globals));
  const int n = ForEach(L, L->globals, slot, f);
  if (n == 0) return 0;
  // Drop the anchor below the result.
  Thread* th = L->cur;
  th->stack[slot] = th->stack[th->top - 1];
  th->top = slot + 1;
  return 1;
}

// ---- Conversions and types -------------------------------------------------------------

int B_tostring(Args& a) {
  CheckAny(a, 1, "tostring");
  const Value v = a.at(1);
  if (v.tt == TSTRING) {
    Push(a.L, v);
  } else {
    Push(a.L, StringValue(NewString(a.L, ToText(a.L, v))));
  }
  return 1;
}

int B_print(Args& a) {
  std::string line;
  for (int i = 1; i <= a.n; ++i) {
    if (i > 1) line += '\t';
    line += ToText(a.L, a.at(i));
  }
  line += '\n';
  WriteOutput(line.data(), line.size());
  return 0;
}

int B_tonumber(Args& a) {
  State* L = a.L;
  CheckAny(a, 1, "tonumber");
  const int b = static_cast<int>(OptNumber(a, 2, 10, "tonumber"));
  const Value v = a.at(1);
  if (b == 10) {
    double d;
    Push(L, ToNumber(v, &d) ? NumberValue(d) : NilValue());
    return 1;
  }
  if (b < 2 || b > 36) RunError(L, "bad argument #2 to function 'tonumber' (base out of range)");
  if (v.tt != TSTRING) {
    Push(L, NilValue());
    return 1;
  }
  const char* s = v.s->data();
  const char* end = s + v.s->len;
  while (s < end && std::strchr(" \t\n\r\f\v", *s)) ++s;
  bool negative = false;
  if (s < end && *s == '-') {
    negative = true;
    ++s;
  }
  double n = 0;
  int digits = 0;
  for (; s < end; ++s) {
    const char c = *s;
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'z') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'Z') {
      d = c - 'A' + 10;
    } else {
      break;
    }
    if (d >= b) break;
    n = n * b + d;
    ++digits;
  }
  while (s < end && std::strchr(" \t\n\r\f\v", *s)) ++s;
  Push(L, digits > 0 && s == end ? NumberValue(negative ? -n : n) : NilValue());
  return 1;
}

int B_type(Args& a) {
  CheckAny(a, 1, "type");
  const Value v = a.at(1);
  Push(a.L, StringValue(NewString(a.L, TypeName(v))));
  Push(a.L, NumberValue(TagOf(v)));
  return 2;
}

int B_tag(Args& a) {
  CheckAny(a, 1, "tag");
  Push(a.L, NumberValue(TagOf(a.at(1))));
  return 1;
}

int32_t CheckTag(Args& a, int i, const char* fname) {
  const double d = CheckNumber(a, i, fname);
  if (!(d >= -2147483648.0 && d <= 2147483647.0) || d != std::floor(d) ||
      !ValidTag(a.L, static_cast<int32_t>(d))) {
    RunError(a.L, "%s: invalid tag %g", fname, d);
  }
  return static_cast<int32_t>(d);
}

int B_newtag(Args& a) {
  State* L = a.L;
  if (L->lastTag <= -(1 << 20)) RunError(L, "too many tags");
  --L->lastTag;
  L->tags.resize(static_cast<size_t>(-static_cast<int64_t>(L->lastTag)) + 1);
  Push(L, NumberValue(L->lastTag));
  return 1;
}

int B_settag(Args& a) {
  State* L = a.L;
  Table* t = CheckTable(a, 1, "settag");
  const int32_t tag = CheckTag(a, 2, "settag");
  if (tag != TAG_TABLE && tag > TAG_FIRST_NEW) RunError(L, "settag: tag %d is not for tables", tag);
  t->tag = tag;
  Push(L, TableValue(t));
  return 1;
}

// ---- Tag methods ----------------------------------------------------------------------

Event CheckEvent(Args& a, int i, const char* fname) {
  TString* name = CheckString(a, i, fname);
  for (int e = 0; e < EV_COUNT; ++e) {
    if (std::strcmp(name->data(), kEventNames[e]) == 0) return static_cast<Event>(e);
  }
  RunError(a.L, "%s: invalid event name '%s'", fname, name->data());
}

bool EventAllowed(int32_t tag, Event e) {
  const bool userDefault = tag == TAG_USERDATA;
  const bool newTag = tag <= TAG_FIRST_NEW || tag > 0;
  switch (e) {
    case EV_GETGLOBAL:
      return tag == TAG_NIL || newTag;
    case EV_SETGLOBAL:
      return !(tag == TAG_NUMBER || tag == TAG_STRING || tag == TAG_TABLE || userDefault);
    case EV_GETTABLE:
    case EV_SETTABLE:
      return tag != TAG_TABLE;
    case EV_GC:
      return !(tag == TAG_STRING || tag == TAG_NUMBER || tag == TAG_LFUNC || tag == TAG_CFUNC ||
               userDefault);
    default:
      return true;
  }
}

int B_settagmethod(Args& a) {
  State* L = a.L;
  const int32_t tag = CheckTag(a, 1, "settagmethod");
  const Event e = CheckEvent(a, 2, "settagmethod");
  const Value f = a.at(3);
  if (!IsNil(f) && !IsFunction(f)) {
    RunError(L, "settagmethod: the method must be a function or nil");
  }
  if (!EventAllowed(tag, e)) {
    RunError(L, "settagmethod: cannot change the '%s' method of tag %d", kEventNames[e], tag);
  }
  const Value* old = TagMethod(L, tag, e);
  Push(L, old ? *old : NilValue());
  SetTagMethodRaw(L, tag, e, f);
  return 1;
}

int B_gettagmethod(Args& a) {
  const int32_t tag = CheckTag(a, 1, "gettagmethod");
  const Event e = CheckEvent(a, 2, "gettagmethod");
  const Value* m = TagMethod(a.L, tag, e);
  Push(a.L, m ? *m : NilValue());
  return 1;
}

int B_copytagmethods(Args& a) {
  State* L = a.L;
  const int32_t to = CheckTag(a, 1, "copytagmethods");
  const int32_t from = CheckTag(a, 2, "copytagmethods");
  for (int e = 0; e < EV_COUNT; ++e) {
    const Value* m = TagMethod(L, from, static_cast<Event>(e));
    if (EventAllowed(to, static_cast<Event>(e))) {
      SetTagMethodRaw(L, to, static_cast<Event>(e), m ? *m : NilValue());
    }
  }
  Push(L, NumberValue(to));
  return 1;
}

// ---- Errors -----------------------------------------------------------------------------

int B_assert(Args& a) {
  if (IsNil(a.at(1))) {
    std::string message = "assertion failed!  ";
    if (a.n >= 2 && !IsNil(a.at(2))) message += CheckString(a, 2, "assert")->data();
    RaiseValue(a.L, StringValue(NewString(a.L, message)));
  }
  return 0;
}

int B_error(Args& a) {
  RaiseValue(a.L, a.at(1));
}

int B_seterrormethod(Args& a) {
  State* L = a.L;
  const Value f = a.at(1);
  if (!IsNil(f) && !IsFunction(f)) BadArgument(a, 1, "seterrormethod", "function");
  Push(L, L->errorMethod);
  L->errorMethod = f;
  return 1;
}

// The default error method: the message and where it happened, to the log.
int B_errormethod(Args& a) {
  State* L = a.L;
  Thread* th = L->cur;
  std::string text = "error: ";
  const Value m = a.at(1);
  text += m.tt == TSTRING ? std::string(m.s->data(), m.s->len) : ToText(L, m);
  // The frames below this call, innermost first.
  int shown = 0;
  for (size_t j = th->ci.size(); j-- > 0 && shown < 8;) {
    const CallInfo& ci = th->ci[j];
    if (!ci.cl) continue;
    const char* chunk;
    int line;
    FrameInfo(ci, &chunk, &line);
    text += shown == 0 ? " (at " : ", called from ";
    text += chunk;
    text += ':';
    text += std::to_string(line);
    ++shown;
  }
  if (shown) text += ")";
  LogLine("%s", text.c_str());
  return 0;
}

// ---- Raw access and globals ----------------------------------------------------------

Value CheckKey(Args& a, int i, const char* fname) {
  const Value k = a.at(i);
  if (IsNil(k)) BadArgument(a, i, fname, "non-nil key");
  if (k.tt == TNUMBER && std::isnan(k.n)) RunError(a.L, "%s: table index is NaN", fname);
  return k;
}

int B_rawgettable(Args& a) {
  Table* t = CheckTable(a, 1, "rawgettable");
  const Value* v = TableGet(t, CheckKey(a, 2, "rawgettable"));
  Push(a.L, v ? *v : NilValue());
  return 1;
}

int B_rawsettable(Args& a) {
  Table* t = CheckTable(a, 1, "rawsettable");
  TableSet(a.L, t, CheckKey(a, 2, "rawsettable"), a.at(3));
  return 0;
}

int B_rawgetglobal(Args& a) {
  const Value* v = TableGetStr(a.L->globals, CheckString(a, 1, "rawgetglobal"));
  Push(a.L, v ? *v : NilValue());
  return 1;
}

int B_rawsetglobal(Args& a) {
  TString* name = CheckString(a, 1, "rawsetglobal");
  const Value v = a.at(2);
  TableSetStr(a.L, a.L->globals, name, v);
  Push(a.L, v);
  return 1;
}

int B_getglobal(Args& a) {
  TString* name = CheckString(a, 1, "getglobal");
  const Value v = GetGlobal(a.L, name);
  Push(a.L, v);
  return 1;
}

int B_setglobal(Args& a) {
  TString* name = CheckString(a, 1, "setglobal");
  const Value v = a.at(2);
  SetGlobal(a.L, name, v);
  Push(a.L, v);
  return 1;
}

int B_collectgarbage(Args& a) {
  State* L = a.L;
  const double limit = OptNumber(a, 1, 0, "collectgarbage");
  L->gcLimit = limit > 0 && limit < 1e9 ? static_cast<size_t>(limit) : 0;
  const size_t freed = FullCollect(L);
  Push(L, NumberValue(static_cast<double>(freed)));
  return 1;
}

// ---- Fallbacks ---------------------------------------------------------------------------

int F_arith(Args& a) {
  RunError(a.L, "unexpected type at arithmetic operation");
}
int F_order(Args& a) {
  RunError(a.L, "unexpected type at comparison");
}
int F_concat(Args& a) {
  RunError(a.L, "unexpected type for concatenation");
}
int F_index(Args& a) {
  Push(a.L, NilValue());
  return 1;
}
int F_table(Args& a) {
  RunError(a.L, "indexed expression not a table");
}
int F_function(Args& a) {
  RunError(a.L, "call expression not a function");
}
int F_nothing(Args&) {
  return 0;
}

struct Fallback {
  const char* name;
  NativeFn byDefault;
  std::initializer_list<int32_t> tags;
  std::initializer_list<Event> events;
};

const Fallback kFallbacks[] = {
    {"arith", F_arith, {TAG_USERDATA}, {EV_ADD, EV_SUB, EV_MUL, EV_DIV, EV_POW, EV_UNM}},
    {"order", F_order, {TAG_USERDATA}, {EV_LT, EV_LE, EV_GT, EV_GE}},
    {"concat", F_concat, {TAG_USERDATA}, {EV_CONCAT}},
    {"index", F_index, {TAG_TABLE}, {EV_INDEX}},
    {"getglobal", F_index, {TAG_NIL}, {EV_GETGLOBAL}},
    {"gettable",
     F_table,
     {TAG_NIL, TAG_NUMBER, TAG_STRING, TAG_LFUNC, TAG_CFUNC, TAG_USERDATA},
     {EV_GETTABLE}},
    {"settable",
     F_table,
     {TAG_NIL, TAG_NUMBER, TAG_STRING, TAG_LFUNC, TAG_CFUNC, TAG_USERDATA},
     {EV_SETTABLE}},
    {"function",
     F_function,
     {TAG_NIL, TAG_NUMBER, TAG_STRING, TAG_TABLE, TAG_USERDATA},
     {EV_FUNCTION}},
    {"gc", F_nothing, {TAG_TABLE, TAG_NIL}, {EV_GC}},
};

}  // namespace

// Installs f as a 2.5-style fallback and answers the previous one (a
// function performing the default when none was set), or false for an
// unknown name.
bool SetFallback(State* L, const char* name, const Value& f, Value* previous) {
  if (std::strcmp(name, "error") == 0) {
    *previous = L->errorMethod;
    L->errorMethod = f;
    return true;
  }
  for (const Fallback& fb : kFallbacks) {
    if (std::strcmp(fb.name, name) != 0) continue;
    const Value* old = TagMethod(L, *fb.tags.begin(), *fb.events.begin());
    if (old) {
      *previous = *old;
    } else {
      const std::string key = std::string("fallback.") + name;
      *previous = CFunctionValue(RegisterNative(L, key.c_str(), fb.byDefault));
    }
    for (int32_t tag : fb.tags) {
      for (Event e : fb.events) SetTagMethodRaw(L, tag, e, f);
    }
    return true;
  }
  return false;
}

namespace {

int B_setfallback(Args& a) {
  State* L = a.L;
  TString* name = CheckString(a, 1, "setfallback");
  const Value f = a.at(2);
  if (!IsNil(f) && !IsFunction(f)) BadArgument(a, 2, "setfallback", "function");
  Value previous;
  if (!SetFallback(L, name->data(), f, &previous)) {
    RunError(L, "setfallback: invalid fallback name '%s'", name->data());
  }
  Push(L, previous);
  return 1;
}

}  // namespace

void OpenBaseLib(State* L) {
  static const struct {
    const char* name;
    NativeFn fn;
  } kFunctions[] = {
      {"call", B_call},
      {"collectgarbage", B_collectgarbage},
      {"dofile", B_dofile},
      {"dostring", B_dostring},
      {"newtag", B_newtag},
      {"next", B_next},
      {"nextvar", B_nextvar},
      {"foreach", B_foreach},
      {"foreachvar", B_foreachvar},
      {"tostring", B_tostring},
      {"print", B_print},
      {"tonumber", B_tonumber},
      {"type", B_type},
      {"tag", B_tag},
      {"settag", B_settag},
      {"assert", B_assert},
      {"error", B_error},
      {"rawgettable", B_rawgettable},
      {"rawsettable", B_rawsettable},
      {"rawgetglobal", B_rawgetglobal},
      {"rawsetglobal", B_rawsetglobal},
      {"getglobal", B_getglobal},
      {"setglobal", B_setglobal},
      {"seterrormethod", B_seterrormethod},
      {"settagmethod", B_settagmethod},
      {"gettagmethod", B_gettagmethod},
      {"copytagmethods", B_copytagmethods},
      {"setfallback", B_setfallback},
  };
  for (const auto& f : kFunctions) Register(L, f.name, f.fn);
  L->errorMethod = CFunctionValue(RegisterNative(L, "lua.errormethod", B_errormethod));
}

}  // namespace lua31
