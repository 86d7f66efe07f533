// The scripting runtime's interface to the engine: module operations,
// libraries and registration, the object stack with its blocks, calls,
// tables, references and diagnostics.
#include "script/runtime/lua31.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "script/runtime/lua31_Code.h"
#include "script/runtime/lua31_State.h"

int lua_assume_binary = 0;
lua_SaveHookFn lua_savehook = nullptr;
lua_RestoreHookFn lua_restorehook = nullptr;

namespace lua31 {

State* g_state = nullptr;

namespace {

// The engine function behind a native record: its arguments become the
// objects of a new frame of the object stack, its pushes its results.
int ApiTrampoline(Args& a) {
  State* L = a.L;
  Thread* th = L->cur;
  CFunction* cf = th->stack[a.base - 1].cf;
  const ApiFrame saved = L->frame;
  const size_t savedBlocks = L->blocks.size();
  const size_t savedFloor = L->blockFloor;
  const uint32_t oldTop = static_cast<uint32_t>(L->S.size() - 1);
  struct Restore {
    State* L;
    ApiFrame frame;
    size_t blocks, floor;
    uint32_t top;
    ~Restore() {
      L->blocks.resize(blocks);
      L->blockFloor = floor;
      L->S.resize(top + 1);
      L->frame = frame;
    }
  } restore{L, saved, savedBlocks, savedFloor, oldTop};
  for (int i = 1; i <= a.n; ++i) L->S.push_back(a.at(i));
  L->frame.lua2C = oldTop + 1;
  L->frame.num = static_cast<uint32_t>(a.n);
  L->frame.base = oldTop + static_cast<uint32_t>(a.n);
  L->blockFloor = savedBlocks;
  cf->api();
  L->blocks.resize(savedBlocks);
  const uint32_t first = L->frame.base + 1;
  const uint32_t top = static_cast<uint32_t>(L->S.size() - 1);
  int n = 0;
  for (uint32_t i = first; i <= top; ++i, ++n) Push(L, L->S[i]);
  return n;
}

bool Valid(lua_Object o) {
  return g_state && o >= 1 && o < g_state->S.size();
}

const Value* Get(lua_Object o) {
  return Valid(o) ? &g_state->S[o] : nullptr;
}

uint8_t KindOf(lua_Object o) {
  const Value* v = Get(o);
  return v ? v->tt : 0xFF;
}

uint32_t Top() {
  return static_cast<uint32_t>(g_state->S.size() - 1);
}

// Makes v an object of the current frame, below the pending pushes.
lua_Object PutObject(const Value& v) {
  State* L = g_state;
  const uint32_t at = L->frame.base + 1;
  L->S.insert(L->S.begin() + at, v);
  L->frame.base = at;
  return at;
}

// Takes the last pending push (nil when there is none).
Value PopPush() {
  State* L = g_state;
  if (Top() <= L->frame.base) return NilValue();
  const Value v = L->S.back();
  L->S.pop_back();
  return v;
}

// Runs an operation that may call tag methods; a script error in it is
// contained (the error method has reported it) and answers false.
template <typename Op>
bool Protected(Op op) {
  State* L = g_state;
  Thread* th = L->cur;
  const uint32_t top = th->top;
  const size_t frames = th->ci.size();
  const int nC = th->nCcalls;
  try {
    op();
    return true;
  } catch (const ScriptError&) {
  } catch (const std::bad_alloc&) {
    LogLine("error: not enough memory");
  }
  th->top = top;
  th->ci.resize(frames);
  th->nCcalls = nC;
  return false;
}

void RegisterRows(const lua_Reg* table, int count, bool asGlobals) {
  State* L = g_state;
  if (!L || !table) return;
  for (int i = 0; i < count; ++i) {
    if (!table[i].name || !table[i].func) continue;
    CFunction* f = FindOrMakeApiFunction(L, table[i].func, table[i].name);
    if (asGlobals) TableSetStr(L, L->globals, NewString(L, table[i].name), CFunctionValue(f));
  }
}

int Startup() {
  if (g_state) CloseState(g_state);
  g_state = NewState();
  g_state->S.push_back(NilValue());  // handle 0 is no object
  OpenBaseLib(g_state);
  OpenTaskLib(g_state);
  return 0;
}

int Shutdown() {
  if (g_state) CloseState(g_state);
  g_state = nullptr;
  return 0;
}

void Uninitialize() {
  Shutdown();
  g_services = nullptr;
}

}  // namespace

CFunction* FindOrMakeApiFunction(State* L, lua_CFunc api, const char* name) {
  CRegistry& r = L->creg;
  auto it = r.byApi.find(api);
  if (it != r.byApi.end()) {
    // A later registration of an unnamed function names it.
    if (it->second->name.empty() && name && *name && !r.byName.count(name)) {
      it->second->name = name;
      r.byName[name] = it->second;
    }
    return it->second;
  }
  auto f = std::make_unique<CFunction>();
  f->native = ApiTrampoline;
  f->api = api;
  if (name && *name) {
    // The first name a function is registered under names it in saves;
    // a name already taken by another function gets a number.
    std::string unique = name;
    for (int n = 2; r.byName.count(unique); ++n)
      unique = std::string(name) + "#" + std::to_string(n);
    f->name = unique;
    r.byName[unique] = f.get();
  }
  CFunction* raw = f.get();
  r.byApi[api] = raw;
  r.owned.push_back(std::move(f));
  return raw;
}

}  // namespace lua31

using namespace lua31;

// ---- Module ------------------------------------------------------------------

int lua_Initialize(HostServices* services, lua_Descriptor* descriptor) {
  if (!services || !descriptor) return 1;
  g_services = services;
  descriptor->initialize = lua_Initialize;
  descriptor->uninitialize = Uninitialize;
  descriptor->startup = Startup;
  descriptor->shutdown = Shutdown;
  return 0;
}

// ---- Libraries ----------------------------------------------------------------

void lua_iolibopen(void) {
  if (g_state) OpenIoLib(g_state);
}

void lua_strlibopen(void) {
  if (g_state) OpenStringLib(g_state);
}

void lua_mathlibopen(void) {
  if (g_state) OpenMathLib(g_state);
}

void lua_openlib(const lua_Reg* table, int count) {
  RegisterRows(table, count, true);
}

void lua_recognizelib(const lua_Reg* table, int count) {
  RegisterRows(table, count, false);
}

lua_Object lua_setfallback(const char* name, lua_CFunc function) {
  State* L = g_state;
  if (!L || !name) return 0;
  const Value f = function ? CFunctionValue(FindOrMakeApiFunction(L, function, "")) : NilValue();
  Value previous;
  if (!SetFallback(L, name, f, &previous)) {
    LogLine("lua_setfallback: unknown fallback \"%s\"", name);
    return 0;
  }
  return PutObject(previous);
}

void lua_pushCclosure(lua_CFunc function, int upvalues) {
  State* L = g_state;
  if (!L) return;
  if (upvalues > 0) {
    LogLine("lua_pushCclosure: up-values of engine functions are not supported; dropped");
    for (int i = 0; i < upvalues; ++i) PopPush();
  }
  L->S.push_back(function ? CFunctionValue(FindOrMakeApiFunction(L, function, "")) : NilValue());
}

// ---- Running code --------------------------------------------------------------

int lua_dofile(const char* name) {
  State* L = g_state;
  if (!L || !name) return 1;
  std::string text, error;
  bool opened = false;
  if (!ReadScriptFile(name, text, &error, &opened)) {
    if (opened) LogLine("%s", error.c_str());
    return 2;
  }
  if (IsBinaryChunk(text.data(), text.size())) {
    LogLine("cannot load %s: precompiled chunks are not supported", name);
    return 1;
  }
  Thread* th = L->cur;
  const uint32_t top = th->top;
  int status;
  try {
    status = DoChunk(L, text.data(), text.size(), name, nullptr);
  } catch (const ScriptError&) {
    status = 1;
  } catch (const std::bad_alloc&) {
    LogLine("error: not enough memory");
    status = 1;
  }
  th->top = top;  // the chunk's results are dropped
  CheckGC(L);
  return status;
}

lua_Object lua_getglobal(const char* name) {
  State* L = g_state;
  if (!L || !name) return 0;
  Value v = NilValue();
  TString* s = NewString(L, name);
  Protected([&] { v = GetGlobal(L, s); });
  return PutObject(v);
}

void lua_setglobal(const char* name) {
  State* L = g_state;
  if (!L || !name) return;
  const Value v = PopPush();
  TString* s = NewString(L, name);
  Protected([&] { SetGlobal(L, s, v); });
}

int lua_callfunction(lua_Object function) {
  State* L = g_state;
  if (!L) return 1;
  const uint32_t base = L->frame.base;
  const Value* f = Get(function);
  if (!f) {
    L->S.resize(base + 1);
    L->frame.lua2C = base + 1;
    L->frame.num = 0;
    return 1;
  }
  Thread* th = L->cur;
  const uint32_t func = th->top;
  int status = 1;
  try {
    Push(L, *f);
    for (uint32_t i = base + 1; i < L->S.size(); ++i) Push(L, L->S[i]);
    L->S.resize(base + 1);
    status = PCall(L, func, -1);
  } catch (const ScriptError&) {
  } catch (const std::bad_alloc&) {
    LogLine("error: not enough memory");
  }
  L->S.resize(base + 1);
  L->frame.lua2C = base + 1;
  L->frame.num = 0;
  if (status != 0) {
    th->top = func;
    return 1;
  }
  for (uint32_t i = func; i < th->top; ++i) L->S.push_back(th->stack[i]);
  L->frame.num = th->top - func;
  L->frame.base = base + L->frame.num;
  th->top = func;
  return 0;
}

void lua_beginblock(void) {
  if (g_state) g_state->blocks.push_back(g_state->frame);
}

void lua_endblock(void) {
  State* L = g_state;
  if (!L || L->blocks.size() <= L->blockFloor) return;  // no block of this frame is open
  L->frame = L->blocks.back();
  L->blocks.pop_back();
  if (L->S.size() > L->frame.base + 1) L->S.resize(L->frame.base + 1);
  CheckGC(L);
}

// ---- Arguments, tests, getters and pushers --------------------------------------

lua_Object lua_lua2C(int number) {
  if (!g_state) return 0;
  const ApiFrame& f = g_state->frame;
  if (number < 1 || static_cast<uint32_t>(number) > f.num) return 0;
  return f.lua2C + static_cast<uint32_t>(number) - 1;
}

int lua_isnil(lua_Object object) {
  return KindOf(object) == TNIL;
}

int lua_isnumber(lua_Object object) {
  const Value* v = Get(object);
  double d;
  return v && ToNumber(*v, &d);
}

int lua_isstring(lua_Object object) {
  const uint8_t k = KindOf(object);
  return k == TSTRING || k == TNUMBER;
}

int lua_istable(lua_Object object) {
  return KindOf(object) == TTABLE;
}

int lua_isfunction(lua_Object object) {
  const uint8_t k = KindOf(object);
  return k == TLFUNC || k == TCFUNC;
}

int lua_isuserdata(lua_Object object) {
  return KindOf(object) == TUSERDATA;
}

float lua_getnumber(lua_Object object) {
  const Value* v = Get(object);
  double d;
  return v && ToNumber(*v, &d) ? static_cast<float>(d) : 0.0f;
}

const char* lua_getstring(lua_Object object) {
  if (!Valid(object)) return nullptr;
  Value& v = g_state->S[object];
  return ToStringInPlace(g_state, &v) ? v.s->data() : nullptr;
}

void* lua_getuserdata(lua_Object object) {
  const Value* v = Get(object);
  return v && v->tt == TUSERDATA ? v->u->value : nullptr;
}

int32_t lua_tag(lua_Object object) {
  const Value* v = Get(object);
  return v ? TagOf(*v) : LUA_T_OTHER;
}

void lua_pushnumber(float number) {
  if (g_state) g_state->S.push_back(NumberValue(number));
}

void lua_pushstring(const char* text) {
  if (!g_state) return;
  g_state->S.push_back(text ? StringValue(NewString(g_state, text)) : NilValue());
}

void lua_pushnil(void) {
  if (g_state) g_state->S.push_back(NilValue());
}

void lua_pushobject(lua_Object object) {
  if (!g_state) return;
  const Value* v = Get(object);
  g_state->S.push_back(v ? *v : NilValue());
}

void lua_pushusertag(void* value, int32_t tag) {
  if (g_state) g_state->S.push_back(UdataValue(PushedUdata(g_state, value, tag)));
}

// ---- Tables ------------------------------------------------------------------------

lua_Object lua_createtable(void) {
  if (!g_state) return 0;
  return PutObject(TableValue(NewTable(g_state, 0, 0)));
}

lua_Object lua_gettable(void) {
  State* L = g_state;
  if (!L) return 0;
  const Value key = PopPush();
  const Value t = PopPush();
  Value v = NilValue();
  Protected([&] { v = GetTable(L, t, key); });
  return PutObject(v);
}

void lua_settable(void) {
  State* L = g_state;
  if (!L) return;
  const Value v = PopPush();
  const Value key = PopPush();
  const Value t = PopPush();
  Protected([&] { SetTable(L, t, key, v); });
}

// ---- References --------------------------------------------------------------------

int lua_ref(int lock) {
  State* L = g_state;
  if (!L) return -1;
  const Value v = PopPush();
  if (IsNil(v)) return -1;
  int ref;
  if (!L->freeRefs.empty()) {
    ref = L->freeRefs.back();
    L->freeRefs.pop_back();
  } else {
    if (L->refs.empty()) L->refs.emplace_back();  // 0 is not a reference
    ref = static_cast<int>(L->refs.size());
    L->refs.emplace_back();
  }
  Ref& r = L->refs[static_cast<size_t>(ref)];
  r.v = v;
  r.used = true;
  r.locked = lock != 0;
  return ref;
}

lua_Object lua_getref(int reference) {
  State* L = g_state;
  if (!L) return 0;
  if (reference == -1) return PutObject(NilValue());
  if (reference < 1 || static_cast<size_t>(reference) >= L->refs.size()) return 0;
  const Ref& r = L->refs[static_cast<size_t>(reference)];
  if (!r.used || IsNil(r.v)) return 0;
  return PutObject(r.v);
}

void lua_unref(int reference) {
  State* L = g_state;
  if (!L || reference < 1 || static_cast<size_t>(reference) >= L->refs.size()) return;
  Ref& r = L->refs[static_cast<size_t>(reference)];
  if (!r.used) return;
  r = Ref{};
  L->freeRefs.push_back(reference);
}

// ---- State and diagnostics -----------------------------------------------------------

void lua_collectgarbage(int limit) {
  State* L = g_state;
  if (!L) return;
  L->gcLimit = limit > 0 ? static_cast<size_t>(limit) : 0;
  FullCollect(L);
}

void lua_printstack(int /*unused*/) {
  State* L = g_state;
  if (!L) return;
  Thread* th = L->cur;
  std::fprintf(stderr, "script stack:\n");
  for (size_t j = th->ci.size(); j-- > 0;) {
    const char* chunk;
    int line;
    FrameInfo(th->ci[j], &chunk, &line);
    if (th->ci[j].cl) {
      std::fprintf(stderr, "  %s:%d\n", chunk, line);
    } else {
      std::fprintf(stderr, "  (C)\n");
    }
  }
}

void lua_funcinfo(lua_Object function, const char** source, int* line) {
  if (source) *source = "(C)";
  if (line) *line = -1;
  const Value* v = Get(function);
  if (!v || v->tt != TLFUNC) return;
  const Proto* p = v->cl->p;
  if (source) *source = p->chunk && p->chunk->name ? p->chunk->name->data() : "?";
  if (line) *line = p->linedefined;
}

const char* lua_getobjname(lua_Object function, const char** name) {
  if (name) *name = "";
  State* L = g_state;
  const Value* v = Get(function);
  if (!v || !IsFunction(*v)) return "";
  auto inTags = [&](const std::vector<TagMethods>& tags) {
    for (const TagMethods& t : tags) {
      for (int e = 0; e < EV_COUNT; ++e) {
        if ((t.mask >> e & 1) && RawEqual(t.tm[e], *v)) {
          if (name) *name = kEventNames[e];
          return true;
        }
      }
    }
    return false;
  };
  if (inTags(L->tags) || inTags(L->hostTagMethods)) return "tag-method";
  uint32_t pos = 0;
  Value key, val;
  while ((pos = TableNext(L->globals, pos, &key, &val))) {
    if (key.tt == TSTRING && RawEqual(val, *v)) {
      L->objName.assign(key.s->data(), key.s->len);
      if (name) *name = L->objName.c_str();
      return "global";
    }
  }
  return "";
}

void lua_PrintGlobals(void) {
  State* L = g_state;
  if (!L) return;
  uint32_t pos = 0;
  Value key, val;
  while ((pos = TableNext(L->globals, pos, &key, &val))) {
    if (key.tt == TSTRING) std::fprintf(stderr, "%s: %s\n", key.s->data(), TypeName(val));
  }
}
