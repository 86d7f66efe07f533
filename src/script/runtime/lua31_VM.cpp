// The scripting runtime's interpreter: the instruction loop, calls and
// returns, tag methods and the events that reach them, errors and the error
// method, protected calls and chunks.
//
// Script-to-script calls never nest on the C stack: a call pushes a frame
// and the loop goes on in the callee, so a task can be suspended (and saved)
// with any number of script frames active. Native code that calls back into
// the scripts (tag methods, `call`, the engine) enters the loop again; a
// task cannot yield below such an entry.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/kv_Log.h"
#include "script/runtime/lua31_Code.h"

namespace lua31 {

namespace {

constexpr uint32_t kMaxStack = 1u << 20;  // values per thread
constexpr size_t kMaxFrames = 20000;
constexpr int kMaxCcalls = 180;

const Value kNil = NilValue();

}  // namespace

namespace {
OutputSink g_logSink = nullptr;
}  // namespace

void SetLogSink(OutputSink sink) {
  g_logSink = sink;
}

void LogLine(const char* format, ...) {
  char stack[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(stack, sizeof stack, format, args);
  va_end(args);
  if (length < 0) return;
  std::string text;
  if (length < static_cast<int>(sizeof stack)) {
    text = stack;
  } else {
    text.resize(static_cast<size_t>(length) + 1);
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
  }
  // The program log when it is open, else standard error: a script error is
  // never silent.
  if (g_logSink) {
    g_logSink(text.data(), text.size());
  } else if (kv_Log_IsOpen()) {
    kv_Log_Printf("[Lua] - %s", text.c_str());
  } else {
    std::fprintf(stderr, "[Lua] - %s\n", text.c_str());
  }
}

Value& Args::at(int i) {
  if (i < 1 || i > n) {
    static thread_local Value nil;
    nil = NilValue();
    return nil;
  }
  return L->cur->stack[base + static_cast<uint32_t>(i) - 1];
}

void EnsureStack(State* L, uint32_t needed) {
  Thread* th = L->cur;
  if (static_cast<uint64_t>(th->top) + needed <= th->size) return;
  const uint64_t want = static_cast<uint64_t>(th->top) + needed;
  const uint64_t limit = kMaxStack + (L->inErrorMethod ? 4096 : 0);
  if (want > limit) RunError(L, "stack overflow");
  uint64_t size = th->size ? th->size : 32;
  while (size < want + 16) size *= 2;
  if (size > limit + 64) size = limit + 64;
  Value* stack = new Value[size];
  for (uint32_t i = 0; i < th->top; ++i) stack[i] = th->stack[i];
  for (uint64_t i = th->top; i < size; ++i) stack[i] = NilValue();
  delete[] th->stack;
  th->stack = stack;
  th->size = static_cast<uint32_t>(size);
}

// ---- Errors -----------------------------------------------------------------------

void FrameInfo(const CallInfo& ci, const char** chunk, int* line) {
  *chunk = "(C)";
  *line = -1;
  if (!ci.cl) return;
  const Proto* p = ci.cl->p;
  *chunk = p->chunk && p->chunk->name ? p->chunk->name->data() : "?";
  if (ci.savedpc >= 1 && ci.savedpc <= p->lines.size()) {
    *line = p->lines[ci.savedpc - 1];
  } else {
    *line = p->linedefined;
  }
}

namespace {

// Calls the error method with the message, at the point of the error (the
// failing frames are still there for a traceback). Its own errors are
// ignored.
void CallErrorMethod(State* L, const Value& message) {
  if (IsNil(L->errorMethod) || L->inErrorMethod) return;
  Thread* th = L->cur;
  const uint32_t top = th->top;
  const size_t frames = th->ci.size();
  const int nC = th->nCcalls;
  L->inErrorMethod = true;
  try {
    Push(L, L->errorMethod);
    Push(L, message);
    Call(L, top, 0);
  } catch (const ScriptError&) {
  } catch (const std::bad_alloc&) {
  }
  L->inErrorMethod = false;
  th->ci.resize(frames);
  th->nCcalls = nC;
  th->top = top;
}

}  // namespace

void RaiseValue(State* L, const Value& message) {
  if (message.tt == TSTRING) {
    L->errorText.assign(message.s->data(), message.s->len);
  } else {
    L->errorText = IsNil(message) ? "(no message)" : "(error object is not a string)";
  }
  if (!IsNil(message)) CallErrorMethod(L, message);
  throw ScriptError{};
}

void RunError(State* L, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  RaiseValue(L, StringValue(NewString(L, text)));
}

// ---- Calls --------------------------------------------------------------------------

// Sets up the frame of a script function at stack index func with nargs
// arguments above it: missing parameters become nil, a vararg function's
// extra arguments go into its `arg` table.
void PushLuaFrame(State* L, uint32_t func, int nargs, int nresults) {
  Thread* th = L->cur;
  if (th->ci.size() >= kMaxFrames + (L->inErrorMethod ? 64 : 0)) RunError(L, "stack overflow");
  Closure* cl = th->stack[func].cl;
  const Proto* p = cl->p;
  const uint32_t base = func + 1;
  th->top = base + static_cast<uint32_t>(nargs);
  if (base + p->maxstack > th->top) EnsureStack(L, base + p->maxstack - th->top);
  Value* stack = th->stack;
  const int np = p->numparams;
  if (p->isVararg) {
    const int extra = nargs > np ? nargs - np : 0;
    Table* arg = NewTable(L, static_cast<uint32_t>(extra), 1);
    for (int j = 0; j < extra; ++j) TableSetListItem(L, arg, j + 1, stack[base + np + j]);
    TableSetStr(L, arg, L->nameN, NumberValue(extra));
    for (int j = nargs; j < np; ++j) stack[base + j] = NilValue();
    stack[base + np] = TableValue(arg);
  } else {
    for (int j = nargs; j < np; ++j) stack[base + j] = NilValue();
  }
  CallInfo ci;
  ci.cl = cl;
  ci.func = func;
  ci.base = base;
  ci.savedpc = 0;
  ci.nresults = nresults;
  th->ci.push_back(ci);
  th->top = base + p->maxstack;
}

namespace {

// Moves n results from the top of the stack to func and adjusts them to
// nresults (-1: all); top ends after them.
void MoveResults(State* L, uint32_t func, int n, int nresults) {
  Thread* th = L->cur;
  const uint32_t src = th->top - static_cast<uint32_t>(n);
  const int wanted = nresults < 0 ? n : nresults;
  if (func + static_cast<uint32_t>(wanted) > th->size) {
    th->top = func;
    EnsureStack(L, static_cast<uint32_t>(wanted));
  }
  Value* stack = th->stack;
  const int copy = n < wanted ? n : wanted;
  for (int j = 0; j < copy; ++j) stack[func + j] = stack[src + j];
  for (int j = copy; j < wanted; ++j) stack[func + j] = NilValue();
  th->top = func + static_cast<uint32_t>(wanted);
}

int CallNative(State* L, uint32_t func, int nargs, int nresults) {
  Thread* th = L->cur;
  CFunction* cf = th->stack[func].cf;
  CallInfo ci;
  ci.func = func;
  ci.base = func + 1;
  ci.nresults = nresults;
  th->ci.push_back(ci);
  Args a{L, func + 1, nargs};
  const int n = cf->native(a);
  th->ci.pop_back();
  return n;
}

// A call of a value that is not a function goes to its `function` tag
// method, which gets the value as its first argument.
void CallFunctionEvent(State* L, uint32_t func, int* nargs) {
  Thread* th = L->cur;
  const Value* tm = TagMethod(L, TagOf(th->stack[func]), EV_FUNCTION);
  if (!tm) RunError(L, "call expression not a function");
  const Value m = *tm;
  th->top = func + 1 + static_cast<uint32_t>(*nargs);
  EnsureStack(L, 1);
  Value* stack = th->stack;
  for (uint32_t j = th->top; j > func; --j) stack[j] = stack[j - 1];
  stack[func] = m;
  ++th->top;
  ++*nargs;
}

Value CallTM(State* L, const Value& f, const Value& a, const Value& b, const Value* c) {
  Thread* th = L->cur;
  const uint32_t func = th->top;
  Push(L, f);
  Push(L, a);
  Push(L, b);
  if (c) Push(L, *c);
  Call(L, func, 1);
  const Value r = th->stack[func];
  th->top = func;
  return r;
}

Value EventName(State* L, Event e) {
  return StringValue(L->eventNames[e]);
}

const Value* BinTM(State* L, const Value& a, const Value& b, Event e) {
  const Value* m = TagMethod(L, TagOf(a), e);
  if (!m) m = TagMethod(L, TagOf(b), e);
  if (!m) m = TagMethod(L, TAG_USERDATA, e);
  return m;
}

}  // namespace

void Call(State* L, uint32_t func, int nresults) {
  Thread* th = L->cur;
  if (th->nCcalls >= kMaxCcalls + (L->inErrorMethod ? 8 : 0))
    RunError(L, "stack overflow (nested calls)");
  ++th->nCcalls;
  int nargs = static_cast<int>(th->top - func - 1);
  for (;;) {
    const uint8_t tt = th->stack[func].tt;
    if (tt == TLFUNC) {
      const size_t floor = th->ci.size();
      PushLuaFrame(L, func, nargs, nresults);
      Execute(L, floor);
      break;
    }
    if (tt == TCFUNC) {
      const int n = CallNative(L, func, nargs, nresults);
      MoveResults(L, func, n, nresults);
      break;
    }
    CallFunctionEvent(L, func, &nargs);
  }
  --th->nCcalls;
}

int PCall(State* L, uint32_t func, int nresults) {
  Thread* th = L->cur;
  const size_t frames = th->ci.size();
  const int nC = th->nCcalls;
  try {
    Call(L, func, nresults);
    return 0;
  } catch (const ScriptError&) {
  } catch (const std::bad_alloc&) {
    L->errorText = "not enough memory";
    LogLine("error: not enough memory");
  }
  th->ci.resize(frames);
  th->nCcalls = nC;
  th->top = func;
  L->yieldRequested = false;
  return 1;
}

// ---- Events -----------------------------------------------------------------------------

const char* TypeName(const Value& v) {
  switch (v.tt) {
    case TNIL:
      return "nil";
    case TNUMBER:
      return "number";
    case TSTRING:
      return "string";
    case TTABLE:
      return "table";
    case TLFUNC:
    case TCFUNC:
      return "function";
    case TUSERDATA:
      return "userdata";
    default:
      return "?";
  }
}

Value GetTable(State* L, const Value& t, const Value& key) {
  if (t.tt == TTABLE) {
    const int32_t tag = t.h->tag;
    if (const Value* m = TagMethod(L, tag, EV_GETTABLE)) return CallTM(L, *m, t, key, nullptr);
    if (const Value* v = TableGet(t.h, key)) return *v;
    if (const Value* m = TagMethod(L, tag, EV_INDEX)) return CallTM(L, *m, t, key, nullptr);
    return NilValue();
  }
  if (const Value* m = TagMethod(L, TagOf(t), EV_GETTABLE)) return CallTM(L, *m, t, key, nullptr);
  RunError(L, "indexed expression not a table");
}

void SetTable(State* L, const Value& t, const Value& key, const Value& val) {
  if (t.tt == TTABLE) {
    if (const Value* m = TagMethod(L, t.h->tag, EV_SETTABLE)) {
      CallTM(L, *m, t, key, &val);
      return;
    }
    if (key.tt == TNIL) RunError(L, "table index is nil");
    if (key.tt == TNUMBER && std::isnan(key.n)) RunError(L, "table index is NaN");
    TableSet(L, t.h, key, val);
    return;
  }
  if (const Value* m = TagMethod(L, TagOf(t), EV_SETTABLE)) {
    CallTM(L, *m, t, key, &val);
    return;
  }
  RunError(L, "indexed expression not a table");
}

Value GetGlobal(State* L, TString* name) {
  const Value* raw = TableGetStr(L->globals, name);
  const Value v = raw ? *raw : NilValue();
  if (L->getglobalMethods) {
    if (const Value* m = TagMethod(L, TagOf(v), EV_GETGLOBAL)) {
      Thread* th = L->cur;
      const uint32_t func = th->top;
      Push(L, *m);
      Push(L, StringValue(name));
      Push(L, v);
      Call(L, func, 1);
      const Value r = th->stack[func];
      th->top = func;
      return r;
    }
  }
  return v;
}

void SetGlobal(State* L, TString* name, const Value& val) {
  if (L->setglobalMethods) {
    const Value* raw = TableGetStr(L->globals, name);
    const Value old = raw ? *raw : NilValue();
    if (const Value* m = TagMethod(L, TagOf(old), EV_SETGLOBAL)) {
      CallTM(L, *m, StringValue(name), old, &val);
      return;
    }
  }
  TableSetStr(L, L->globals, name, val);
}

namespace {

Value Arith(State* L, const Value& a, const Value& b, Event e) {
  if (e != EV_POW) {
    double x, y;
    if (ToNumber(a, &x) && ToNumber(b, &y)) {
      switch (e) {
        case EV_ADD:
          return NumberValue(x + y);
        case EV_SUB:
          return NumberValue(x - y);
        case EV_MUL:
          return NumberValue(x * y);
        default:
          return NumberValue(x / y);
      }
    }
  }
  const Value* m = BinTM(L, a, b, e);
  if (!m) RunError(L, "unexpected type at arithmetic operation");
  const Value name = EventName(L, e);
  return CallTM(L, *m, a, b, &name);
}

Value Negate(State* L, const Value& a) {
  double x;
  if (ToNumber(a, &x)) return NumberValue(-x);
  const Value* m = TagMethod(L, TagOf(a), EV_UNM);
  if (!m) m = TagMethod(L, TAG_USERDATA, EV_UNM);
  if (!m) RunError(L, "unexpected type at arithmetic operation");
  const Value name = EventName(L, EV_UNM);
  return CallTM(L, *m, a, NilValue(), &name);
}

int StringCompare(const TString* a, const TString* b) {
  const size_t n = a->len < b->len ? a->len : b->len;
  const int c = std::memcmp(a->data(), b->data(), n);
  if (c != 0) return c;
  return a->len < b->len ? -1 : (a->len > b->len ? 1 : 0);
}

// < <= > >=: two numbers or two strings compare directly (1 or nil);
// anything else goes to the event of that operator (never swapped), whose
// result is answered as it is.
Value OrderValue(State* L, const Value& a, const Value& b, Event e) {
  int c;
  if (a.tt == TNUMBER && b.tt == TNUMBER) {
    c = a.n < b.n ? -1 : (a.n > b.n ? 1 : (a.n == b.n ? 0 : 2));
  } else if (a.tt == TSTRING && b.tt == TSTRING) {
    c = StringCompare(a.s, b.s);
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
  } else {
    const Value* m = BinTM(L, a, b, e);
    if (!m) RunError(L, "unexpected type at comparison");
    const Value name = EventName(L, e);
    return CallTM(L, *m, a, b, &name);
  }
  bool r;
  switch (e) {
    case EV_LT:
      r = c == -1;
      break;
    case EV_LE:
      r = c == -1 || c == 0;
      break;
    case EV_GT:
      r = c == 1;
      break;
    default:
      r = c == 1 || c == 0;
      break;
  }
  return r ? NumberValue(1) : NilValue();
}

bool Order(State* L, const Value& a, const Value& b, Event e) {
  return !IsNil(OrderValue(L, a, b, e));
}

bool Concatenable(const Value& v) {
  return v.tt == TSTRING || v.tt == TNUMBER;
}

void AppendText(std::string& out, const Value& v) {
  if (v.tt == TSTRING) {
    out.append(v.s->data(), v.s->len);
  } else {
    char b[32];
    out.append(b, static_cast<size_t>(NumberToText(v.n, b)));
  }
}

}  // namespace

Value Concat2(State* L, const Value& a, const Value& b) {
  if (Concatenable(a) && Concatenable(b)) {
    std::string& s = L->buffer;
    s.clear();
    AppendText(s, a);
    AppendText(s, b);
    return StringValue(NewString(L, s));
  }
  const Value* m = BinTM(L, a, b, EV_CONCAT);
  if (!m) RunError(L, "unexpected type for concatenation");
  const Value name = EventName(L, EV_CONCAT);
  return CallTM(L, *m, a, b, &name);
}

std::string ToText(State* L, const Value& v) {
  (void)L;
  char b[64];
  switch (v.tt) {
    case TNIL:
      return "nil";
    case TNUMBER:
      NumberToText(v.n, b);
      return b;
    case TSTRING:
      return std::string(v.s->data(), v.s->len);
    case TTABLE:
      std::snprintf(b, sizeof b, "table: %p", Identity(v));
      return b;
    case TLFUNC:
    case TCFUNC:
      std::snprintf(b, sizeof b, "function: %p", Identity(v));
      return b;
    case TUSERDATA:
      std::snprintf(b, sizeof b, "userdata: %p", v.u->value);
      return b;
    default:
      return "?";
  }
}

// ---- Finalizers -----------------------------------------------------------------------

void RunFinalizers(State* L, std::vector<Value>& pending) {
  Thread* th = L->cur;
  auto run = [&](const Value& m, const Value& arg) {
    const uint32_t func = th->top;
    Push(L, m);
    Push(L, arg);
    if (PCall(L, func, 0) != 0) LogLine("error in a gc tag method: %s", L->errorText.c_str());
    th->top = func;
  };
  for (const Value& v : pending) {
    if (const Value* m = TagMethod(L, TagOf(v), EV_GC)) run(*m, v);
  }
  if (const Value* m = TagMethod(L, TAG_NIL, EV_GC)) run(*m, NilValue());
}

// ---- The instruction loop ---------------------------------------------------------------

// A table read that needs no tag method (the table's tag has neither a
// `gettable` nor, when the field is missing, an `index` method): stores the
// value and answers true; false sends the read to GetTable.
template <typename Lookup>
inline bool FastRead(State* L, const Value& t, Lookup lookup, Value* out) {
  if (t.tt != TTABLE) return false;
  const uint32_t mask = L->tags[static_cast<uint32_t>(-t.h->tag)].mask;
  if (mask & (1u << EV_GETTABLE)) return false;
  if (const Value* v = lookup(t.h)) {
    *out = *v;
    return true;
  }
  if (mask & (1u << EV_INDEX)) return false;
  *out = NilValue();
  return true;
}

#define PROTECT(x)                                  \
  do {                                              \
    ci->savedpc = static_cast<uint32_t>(pc - code); \
    x;                                              \
    ci = &th->ci.back();                            \
    base = th->stack + ci->base;                    \
  } while (0)

#define GCCHECK()                       \
  do {                                  \
    if (L->gcCount >= L->gcThreshold) { \
      th->top = ci->base + p->maxstack; \
      PROTECT(FullCollect(L));          \
    }                                   \
  } while (0)

#define JUMP_IF(cond)       \
  do {                      \
    if (cond) {             \
      pc += GetSJ(*pc) + 1; \
    } else {                \
      ++pc;                 \
    }                       \
  } while (0)

bool Execute(State* L, size_t floor) {
  Thread* th = L->cur;
newframe:
  CallInfo* ci = &th->ci.back();
  Closure* cl = ci->cl;
  Proto* p = cl->p;
  const Value* k = p->k.data();
  const Instr* code = p->code.data();
  const Instr* pc = code + ci->savedpc;
  Value* base = th->stack + ci->base;
  for (;;) {
    const Instr i = *pc++;
    switch (GetOp(i)) {
      case OP_MOVE:
        base[GetA(i)] = base[GetB(i)];
        break;
      case OP_LOADK:
        base[GetA(i)] = k[GetBx(i)];
        break;
      case OP_LOADNUM:
        base[GetA(i)] = NumberValue(static_cast<double>(static_cast<int32_t>(GetBx(i)) - 32767));
        break;
      case OP_LOADNIL: {
        Value* r = base + GetA(i);
        for (uint32_t j = 0; j <= GetB(i); ++j) r[j] = NilValue();
        break;
      }
      case OP_GETUPVAL:
        base[GetA(i)] = cl->up()[GetB(i)];
        break;
      case OP_GETGLOBAL: {
        TString* name = k[GetBx(i)].s;
        if (!L->getglobalMethods) {
          const Value* v = TableGetStr(L->globals, name);
          base[GetA(i)] = v ? *v : NilValue();
        } else {
          Value r;
          PROTECT(r = GetGlobal(L, name));
          base[GetA(i)] = r;
        }
        break;
      }
      case OP_SETGLOBAL: {
        TString* name = k[GetBx(i)].s;
        const Value v = base[GetA(i)];
        if (!L->setglobalMethods) {
          TableSetStr(L, L->globals, name, v);
        } else {
          PROTECT(SetGlobal(L, name, v));
        }
        break;
      }
      case OP_GETFIELD: {
        const Value t = base[GetB(i)];
        TString* key = k[GetC(i)].s;
        if (!FastRead(
                L, t, [key](const Table* h) { return TableGetStr(h, key); }, base + GetA(i))) {
          Value r;
          PROTECT(r = GetTable(L, t, StringValue(key)));
          base[GetA(i)] = r;
        }
        break;
      }
      case OP_GETTABLE: {
        const Value t = base[GetB(i)];
        const Value key = base[GetC(i)];
        auto lookup = [&key](const Table* h) {
          return key.tt == TNUMBER ? TableGetNum(h, key.n) : TableGet(h, key);
        };
        if (!FastRead(L, t, lookup, base + GetA(i))) {
          Value r;
          PROTECT(r = GetTable(L, t, key));
          base[GetA(i)] = r;
        }
        break;
      }
      case OP_SETFIELD: {
        const Value t = base[GetA(i)];
        TString* key = k[GetB(i)].s;
        if (t.tt == TTABLE &&
            !(L->tags[static_cast<uint32_t>(-t.h->tag)].mask & (1u << EV_SETTABLE))) {
          TableSetStr(L, t.h, key, base[GetC(i)]);
          break;
        }
        const Value v = base[GetC(i)];
        PROTECT(SetTable(L, t, StringValue(key), v));
        break;
      }
      case OP_SETTABLE: {
        const Value t = base[GetA(i)];
        const Value key = base[GetB(i)];
        const Value v = base[GetC(i)];
        if (t.tt == TTABLE &&
            !(L->tags[static_cast<uint32_t>(-t.h->tag)].mask & (1u << EV_SETTABLE)) &&
            key.tt == TSTRING) {
          TableSetStr(L, t.h, key.s, v);
          break;
        }
        PROTECT(SetTable(L, t, key, v));
        break;
      }
      case OP_NEWTABLE:
        base[GetA(i)] = TableValue(NewTable(L, GetB(i), GetC(i)));
        GCCHECK();
        break;
      case OP_SETLIST: {
        const Value t = base[GetA(i)];
        if (t.tt != TTABLE) PROTECT(RunError(L, "table constructor lost its table"));
        const uint32_t n = GetBx(i) & 63;
        const uint32_t first = (GetBx(i) >> 6) * kListBlock;
        for (uint32_t j = 1; j <= n; ++j) TableSetListItem(L, t.h, first + j, base[GetA(i) + j]);
        break;
      }
      case OP_SELF: {
        const Value obj = base[GetB(i)];
        TString* key = k[GetC(i)].s;
        base[GetA(i) + 1] = obj;
        if (!FastRead(
                L, obj, [key](const Table* h) { return TableGetStr(h, key); }, base + GetA(i))) {
          Value r;
          PROTECT(r = GetTable(L, obj, StringValue(key)));
          base[GetA(i)] = r;
        }
        break;
      }
#define ARITH(OPR, OPK, EV, EXPR)             \
  case OPR: {                                 \
    const Value& b = base[GetB(i)];           \
    const Value& c = base[GetC(i)];           \
    if (b.tt == TNUMBER && c.tt == TNUMBER) { \
      const double x = b.n, y = c.n;          \
      base[GetA(i)] = NumberValue(EXPR);      \
    } else {                                  \
      const Value bb = b, cc = c;             \
      Value r;                                \
      PROTECT(r = Arith(L, bb, cc, EV));      \
      base[GetA(i)] = r;                      \
    }                                         \
    break;                                    \
  }                                           \
  case OPK: {                                 \
    const Value& b = base[GetB(i)];           \
    const Value& c = k[GetC(i)];              \
    if (b.tt == TNUMBER) {                    \
      const double x = b.n, y = c.n;          \
      base[GetA(i)] = NumberValue(EXPR);      \
    } else {                                  \
      const Value bb = b, cc = c;             \
      Value r;                                \
      PROTECT(r = Arith(L, bb, cc, EV));      \
      base[GetA(i)] = r;                      \
    }                                         \
    break;                                    \
  }
        ARITH(OP_ADD, OP_ADDK, EV_ADD, x + y)
        ARITH(OP_SUB, OP_SUBK, EV_SUB, x - y)
        ARITH(OP_MUL, OP_MULK, EV_MUL, x * y)
        ARITH(OP_DIV, OP_DIVK, EV_DIV, x / y)
#undef ARITH
      case OP_POW: {
        const Value b = base[GetB(i)], c = base[GetC(i)];
        Value r;
        PROTECT(r = Arith(L, b, c, EV_POW));
        base[GetA(i)] = r;
        break;
      }
      case OP_UNM: {
        const Value b = base[GetB(i)];
        if (b.tt == TNUMBER) {
          base[GetA(i)] = NumberValue(-b.n);
        } else {
          Value r;
          PROTECT(r = Negate(L, b));
          base[GetA(i)] = r;
        }
        break;
      }
      case OP_NOT:
        base[GetA(i)] = base[GetB(i)].tt == TNIL ? NumberValue(1) : NilValue();
        break;
      case OP_CONCAT: {
        const uint32_t first = GetB(i), last = GetC(i);
        bool plain = true;
        for (uint32_t j = first; j <= last; ++j) {
          if (!Concatenable(base[j])) {
            plain = false;
            break;
          }
        }
        if (plain) {
          std::string& s = L->buffer;
          s.clear();
          for (uint32_t j = first; j <= last; ++j) AppendText(s, base[j]);
          base[GetA(i)] = StringValue(NewString(L, s));
        } else {
          // Left to right, one pair at a time, each through the event
          // when needed; the running value stays in the first register.
          for (uint32_t j = first + 1; j <= last; ++j) {
            const Value a = base[first], b = base[j];
            Value r;
            PROTECT(r = Concat2(L, a, b));
            base[first] = r;
          }
          base[GetA(i)] = base[first];
        }
        GCCHECK();
        break;
      }
      case OP_JMP:
        pc += GetSJ(i);
        break;
      case OP_TEST:
        JUMP_IF((base[GetA(i)].tt != TNIL) == (GetC(i) != 0));
        break;
      case OP_EQ:
        JUMP_IF(RawEqual(base[GetB(i)], base[GetC(i)]) == (GetA(i) != 0));
        break;
      case OP_EQK:
        JUMP_IF(RawEqual(base[GetB(i)], k[GetC(i)]) == (GetA(i) != 0));
        break;
#define ORDER(OPR, OPK, EV, CMP)                                   \
  case OPR:                                                        \
  case OPK: {                                                      \
    const Value& b = base[GetB(i)];                                \
    const Value& c = GetOp(i) == OPR ? base[GetC(i)] : k[GetC(i)]; \
    bool res;                                                      \
    if (b.tt == TNUMBER && c.tt == TNUMBER) {                      \
      res = b.n CMP c.n;                                           \
    } else {                                                       \
      const Value bb = b, cc = c;                                  \
      PROTECT(res = Order(L, bb, cc, EV));                         \
    }                                                              \
    JUMP_IF(res == (GetA(i) != 0));                                \
    break;                                                         \
  }
        ORDER(OP_LT, OP_LTK, EV_LT, <)
        ORDER(OP_LE, OP_LEK, EV_LE, <=)
        ORDER(OP_GT, OP_GTK, EV_GT, >)
        ORDER(OP_GE, OP_GEK, EV_GE, >=)
#undef ORDER
      case OP_LTV:
      case OP_LEV:
      case OP_GTV:
      case OP_GEV: {
        const Value b = base[GetB(i)], c = base[GetC(i)];
        static const Event events[] = {EV_LT, EV_LE, EV_GT, EV_GE};
        Value r;
        PROTECT(r = OrderValue(L, b, c, events[GetOp(i) - OP_LTV]));
        base[GetA(i)] = r;
        break;
      }
      case OP_CALL: {
        const uint32_t func = ci->base + GetA(i);
        int nargs = GetB(i) ? static_cast<int>(GetB(i)) - 1 : static_cast<int>(th->top - func - 1);
        const int nresults = static_cast<int>(GetC(i)) - 1;
        ci->savedpc = static_cast<uint32_t>(pc - code);
        for (;;) {
          const uint8_t tt = th->stack[func].tt;
          if (tt == TLFUNC) {
            PushLuaFrame(L, func, nargs, nresults);
            goto newframe;
          }
          if (tt == TCFUNC) break;
          PROTECT(CallFunctionEvent(L, func, &nargs));
        }
        th->top = func + 1 + static_cast<uint32_t>(nargs);
        int n;
        PROTECT(n = CallNative(L, func, nargs, nresults));
        MoveResults(L, func, n, nresults);
        ci = &th->ci.back();
        base = th->stack + ci->base;
        if (nresults >= 0) th->top = ci->base + p->maxstack;
        if (th->task && th->nCcalls == 0 && (L->yieldRequested || th->task->dead)) {
          L->yieldRequested = false;
          return false;
        }
        if (nresults >= 0) GCCHECK();
        break;
      }
      case OP_RETURN: {
        const uint32_t from = ci->base + GetA(i);
        const int n = GetB(i) ? static_cast<int>(GetB(i)) - 1 : static_cast<int>(th->top - from);
        const uint32_t dst = ci->func;
        const int asked = ci->nresults;
        const int wanted = asked < 0 ? n : asked;
        th->ci.pop_back();
        if (dst + static_cast<uint32_t>(wanted) > th->size) {
          th->top = from + static_cast<uint32_t>(n);
          EnsureStack(L, static_cast<uint32_t>(wanted));
        }
        Value* stack = th->stack;
        const int copy = n < wanted ? n : wanted;
        for (int j = 0; j < copy; ++j) stack[dst + j] = stack[from + j];
        for (int j = copy; j < wanted; ++j) stack[dst + j] = NilValue();
        th->top = dst + static_cast<uint32_t>(wanted);
        if (th->ci.size() <= floor) return true;
        ci = &th->ci.back();
        if (asked >= 0) th->top = ci->base + ci->cl->p->maxstack;
        goto newframe;
      }
      case OP_CLOSURE: {
        Proto* child = p->children[GetBx(i)];
        Closure* ncl = NewClosure(L, child);
        Value* up = ncl->up();
        for (size_t j = 0; j < child->upvals.size(); ++j) {
          const UpvalDesc& d = child->upvals[j];
          if (!d.global) {
            up[j] = base[d.reg];
          } else if (!L->getglobalMethods) {
            const Value* v = TableGetStr(L->globals, d.global);
            up[j] = v ? *v : NilValue();
          } else {
            // The closure is anchored in its register while the event runs.
            base[GetA(i)] = ClosureValue(ncl);
            Value r;
            PROTECT(r = GetGlobal(L, d.global));
            up = ncl->up();
            up[j] = r;
          }
        }
        base[GetA(i)] = ClosureValue(ncl);
        GCCHECK();
        break;
      }
      default:
        PROTECT(RunError(L, "invalid instruction"));
    }
  }
}

// ---- Chunks ------------------------------------------------------------------------------

int DoChunk(State* L, const char* source, size_t length, const char* name, int* nresults) {
  Thread* th = L->cur;
  std::string error;
  Chunk* chunk = Compile(L, source, length, NewString(L, name), nullptr, &error);
  if (!chunk) {
    L->errorText = error;
    CallErrorMethod(L, StringValue(NewString(L, error)));
    return 1;
  }
  Closure* cl = NewClosure(L, chunk->protos[0].get());
  const uint32_t func = th->top;
  Push(L, ClosureValue(cl));
  if (PCall(L, func, -1) != 0) return 1;
  if (nresults) *nresults = static_cast<int>(th->top - func);
  return 0;
}

}  // namespace lua31
