// The scripting runtime's objects: interned strings, tables, closures,
// chunks, user data, native function records, tags, number conversions and
// the mark-and-sweep collector.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "script/runtime/lua31_State.h"

namespace lua31 {

const char* const kEventNames[EV_COUNT] = {
    "gettable", "settable", "index", "getglobal", "setglobal", "add", "sub",    "mul", "div",
    "pow",      "unm",      "lt",    "le",        "gt",        "ge",  "concat", "gc",  "function"};

namespace {

constexpr size_t kMinThreshold = 20000;

void Link(State* L, GCObject* o, uint8_t kind) {
  o->kind = kind;
  o->gcnext = L->allgc;
  L->allgc = o;
  ++L->gcCount;
}

uint32_t Mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return static_cast<uint32_t>(x);
}

}  // namespace

// ---- Strings -----------------------------------------------------------------

uint32_t HashBytes(const char* s, size_t len) {
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ len;
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    std::memcpy(&w, s + i, 8);
    h = (h ^ w) * 0xff51afd7ed558ccdULL;
    h ^= h >> 32;
  }
  uint64_t w = 0;
  std::memcpy(&w, s + i, len - i);
  h = (h ^ w) * 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 29;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

static void ResizeStrings(StringTable& st, size_t n) {
  std::vector<TString*> buckets(n, nullptr);
  for (TString* s : st.buckets) {
    while (s) {
      TString* next = s->hnext;
      TString*& head = buckets[s->hash & (n - 1)];
      s->hnext = head;
      head = s;
      s = next;
    }
  }
  st.buckets.swap(buckets);
}

TString* NewString(State* L, const char* s, size_t len) {
  StringTable& st = L->strings;
  if (st.buckets.empty()) ResizeStrings(st, 256);
  const uint32_t h = HashBytes(s, len);
  for (TString* t = st.buckets[h & (st.buckets.size() - 1)]; t; t = t->hnext) {
    if (t->hash == h && t->len == len && std::memcmp(t->data(), s, len) == 0) return t;
  }
  void* memory = ::operator new(sizeof(TString) + len + 1);
  TString* t = new (memory) TString;
  t->kind = OSTRING;
  t->hash = h;
  t->len = static_cast<uint32_t>(len);
  if (len) std::memcpy(t->data(), s, len);
  t->data()[len] = 0;
  TString*& head = st.buckets[h & (st.buckets.size() - 1)];
  t->hnext = head;
  head = t;
  ++st.count;
  ++L->gcCount;
  if (st.count > st.buckets.size()) ResizeStrings(st, st.buckets.size() * 2);
  return t;
}

TString* NewString(State* L, const char* s) {
  return NewString(L, s, std::strlen(s));
}

static void FreeString(TString* s) {
  s->~TString();
  ::operator delete(s);
}

// ---- Tables --------------------------------------------------------------------

namespace {

inline bool ArrayIndex(double d, uint32_t* out) {
  if (!(d >= 1.0 && d <= 4294967295.0)) return false;
  const uint32_t u = static_cast<uint32_t>(d);
  if (static_cast<double>(u) != d) return false;
  *out = u;
  return true;
}

inline uint32_t KeyHash(const Value& k) {
  switch (k.tt) {
    case TSTRING:
      return k.s->hash;
    case TNUMBER: {
      double d = k.n;
      if (d == 0) d = 0;  // +0 and -0 are one key
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      return Mix(bits);
    }
    default:
      return Mix(reinterpret_cast<uintptr_t>(k.p));
  }
}

inline bool KeyEqual(const Value& a, const Value& b) {
  if (a.tt != b.tt) return false;
  if (a.tt == TNUMBER) return a.n == b.n;
  return a.p == b.p;  // dead keys never match: no key has that kind
}

int64_t FindEntry(const Table* t, const Value& key) {
  if (!t->index) return -1;
  uint32_t i = KeyHash(key) & t->imask;
  for (;;) {
    const uint32_t e = t->index[i];
    if (!e) return -1;
    if (KeyEqual(t->node[e - 1].key, key)) return e - 1;
    i = (i + 1) & t->imask;
  }
}

void PlaceInIndex(Table* t, uint32_t entry) {
  uint32_t i = KeyHash(t->node[entry].key) & t->imask;
  while (t->index[i]) i = (i + 1) & t->imask;
  t->index[i] = entry + 1;
}

// Rebuilds the hash part with room for `extra` more entries. Dead entries
// go; tombstones go too unless `keepTombstones` (a restore places them).
void ResizeHash(Table* t, uint32_t extra, bool keepTombstones) {
  auto keep = [&](const Node& n) {
    return n.key.tt != TDEADKEY && (keepTombstones || n.val.tt != TNIL);
  };
  uint32_t kept = 0;
  for (uint32_t j = 0; j < t->ncount; ++j) kept += keep(t->node[j]);
  const uint32_t cap = std::max<uint32_t>(4, (kept + extra) * 2);
  uint32_t slots = 8;
  while (slots < cap * 2) slots <<= 1;
  // One block: the entries, then the index of the open-addressing slots.
  Node* node = static_cast<Node*>(::operator new(cap * sizeof(Node) + slots * sizeof(uint32_t)));
  uint32_t count = 0;
  for (uint32_t j = 0; j < t->ncount; ++j) {
    if (keep(t->node[j])) node[count++] = t->node[j];
  }
  if (!t->inlineHash) ::operator delete(t->node);
  t->inlineHash = false;
  t->node = node;
  t->ncount = count;
  t->ncap = cap;
  t->index = reinterpret_cast<uint32_t*>(node + cap);
  std::memset(t->index, 0, slots * sizeof(uint32_t));
  t->imask = slots - 1;
  for (uint32_t j = 0; j < count; ++j) PlaceInIndex(t, j);
}

void InsertNew(Table* t, const Value& key, const Value& val, bool keepTombstones) {
  if (t->ncount >= t->ncap) ResizeHash(t, 1, keepTombstones);
  const uint32_t e = t->ncount++;
  t->node[e].key = key;
  t->node[e].val = val;
  PlaceInIndex(t, e);
}

void GrowArray(Table* t, uint32_t need) {
  if (need <= t->acap) return;
  uint32_t cap = std::max<uint32_t>(4, t->acap);
  while (cap < need) cap *= 2;
  Value* a = new Value[cap];
  for (uint32_t i = 0; i < t->asize; ++i) a[i] = t->array[i];
  for (uint32_t i = t->asize; i < cap; ++i) a[i] = NilValue();
  delete[] t->array;
  t->array = a;
  t->acap = cap;
}

// Appends to the array part, then moves the keys that now follow it out of
// the hash part.
void Append(Table* t, const Value& val) {
  GrowArray(t, t->asize + 1);
  t->array[t->asize++] = val;
  for (;;) {
    const int64_t e = FindEntry(t, NumberValue(static_cast<double>(t->asize) + 1));
    if (e < 0) return;
    Node& n = t->node[e];
    const Value moved = n.val;
    n.key.tt = TDEADKEY;
    n.key.p = nullptr;
    n.val = NilValue();
    if (moved.tt == TNIL) return;
    GrowArray(t, t->asize + 1);
    t->array[t->asize++] = moved;
  }
}

}  // namespace

// A table made with a hash size gets its first hash block in the same
// allocation (the common constructor {x = ..., y = ...} costs one).
Table* NewTable(State* L, uint32_t narray, uint32_t nhash) {
  uint32_t cap = 0, slots = 0;
  if (nhash) {
    cap = std::max<uint32_t>(4, nhash * 2);
    slots = 8;
    while (slots < cap * 2) slots <<= 1;
  }
  void* memory = ::operator new(sizeof(Table) + cap * sizeof(Node) + slots * sizeof(uint32_t));
  Table* t = new (memory) Table;
  t->tag = TAG_TABLE;
  Link(L, t, OTABLE);
  if (narray) GrowArray(t, narray);
  if (nhash) {
    t->node = reinterpret_cast<Node*>(t + 1);
    t->ncap = cap;
    t->index = reinterpret_cast<uint32_t*>(t->node + cap);
    std::memset(t->index, 0, slots * sizeof(uint32_t));
    t->imask = slots - 1;
    t->inlineHash = true;
  }
  return t;
}

static void FreeTable(Table* t) {
  delete[] t->array;
  if (!t->inlineHash) ::operator delete(t->node);
  t->~Table();
  ::operator delete(t);
}

const Value* TableGetNumSlow(const Table* t, double key) {
  uint32_t i;
  if (ArrayIndex(key, &i) && i <= t->asize) {
    return t->array[i - 1].tt == TNIL ? nullptr : &t->array[i - 1];
  }
  if (std::isnan(key)) return nullptr;
  const int64_t e = FindEntry(t, NumberValue(key));
  if (e < 0 || t->node[e].val.tt == TNIL) return nullptr;
  return &t->node[e].val;
}

const Value* TableGet(const Table* t, const Value& key) {
  switch (key.tt) {
    case TSTRING:
      return TableGetStr(t, key.s);
    case TNUMBER:
      return TableGetNum(t, key.n);
    case TNIL:
      return nullptr;
    default: {
      const int64_t e = FindEntry(t, key);
      if (e < 0 || t->node[e].val.tt == TNIL) return nullptr;
      return &t->node[e].val;
    }
  }
}

void TableSetNum(State* L, Table* t, double key, const Value& val) {
  uint32_t i;
  if (ArrayIndex(key, &i) && i <= t->asize + 1) {
    if (i <= t->asize) {
      t->array[i - 1] = val;
    } else if (val.tt != TNIL) {
      Append(t, val);
    }
    return;
  }
  TableSet(L, t, NumberValue(key), val);
}

void TableSet(State* L, Table* t, const Value& key, const Value& val) {
  if (key.tt == TNIL || key.tt == TDEADKEY) return;
  if (key.tt == TNUMBER) {
    if (std::isnan(key.n)) return;
    uint32_t i;
    if (ArrayIndex(key.n, &i) && i <= t->asize + 1) {
      TableSetNum(L, t, key.n, val);
      return;
    }
  }
  Value k = key;
  if (k.tt == TNUMBER && k.n == 0) k.n = 0;  // one key for +0 and -0
  const int64_t e = FindEntry(t, k);
  if (e >= 0) {
    t->node[e].val = val;
    return;
  }
  if (val.tt == TNIL) return;
  InsertNew(t, k, val, false);
}

void TableInsertStr(State*, Table* t, TString* key, const Value& val) {
  InsertNew(t, StringValue(key), val, false);
}

void TableSetListItem(State* L, Table* t, uint32_t n, const Value& val) {
  if (n == t->asize + 1) {
    Append(t, val);
  } else if (n >= 1 && n <= t->asize) {
    t->array[n - 1] = val;
  } else {
    TableSetNum(L, t, n, val);
  }
}

uint32_t TableNext(const Table* t, uint32_t pos, Value* key, Value* val) {
  for (; pos < t->asize; ++pos) {
    if (t->array[pos].tt != TNIL) {
      *key = NumberValue(static_cast<double>(pos) + 1);
      *val = t->array[pos];
      return pos + 1;
    }
  }
  for (uint32_t j = pos - t->asize; j < t->ncount; ++j) {
    const Node& n = t->node[j];
    if (n.key.tt != TDEADKEY && n.val.tt != TNIL) {
      *key = n.key;
      *val = n.val;
      return t->asize + j + 1;
    }
  }
  return 0;
}

bool TablePositionAfter(const Table* t, const Value& key, uint32_t* position) {
  if (key.tt == TNIL) {
    *position = 0;
    return true;
  }
  uint32_t i;
  if (key.tt == TNUMBER && ArrayIndex(key.n, &i) && i <= t->asize) {
    *position = i;
    return true;
  }
  if (key.tt == TNUMBER && std::isnan(key.n)) return false;
  Value k = key;
  if (k.tt == TNUMBER && k.n == 0) k.n = 0;
  const int64_t e = FindEntry(t, k);
  if (e < 0) return false;
  *position = t->asize + static_cast<uint32_t>(e) + 1;
  return true;
}

void TableRestoreArray(State*, Table* t, uint32_t n) {
  GrowArray(t, std::min<uint32_t>(n, 4096));
}

bool TableRestoreArrayItem(Table* t, const Value& val) {
  GrowArray(t, t->asize + 1);
  t->array[t->asize++] = val;
  return true;
}

bool TableRestoreEntry(State*, Table* t, const Value& key, const Value& val) {
  if (key.tt == TNIL || key.tt == TDEADKEY) return false;
  if (key.tt == TNUMBER) {
    if (std::isnan(key.n)) return false;
    uint32_t i;
    if (ArrayIndex(key.n, &i) && i <= t->asize + 1) return false;
  }
  Value k = key;
  if (k.tt == TNUMBER && k.n == 0) k.n = 0;
  if (FindEntry(t, k) >= 0) return false;
  InsertNew(t, k, val, true);
  return true;
}

// ---- Functions, chunks, user data ------------------------------------------------

Closure* NewClosure(State* L, Proto* p) {
  const size_t nup = p->upvals.size();
  void* memory = ::operator new(sizeof(Closure) + nup * sizeof(Value));
  Closure* cl = new (memory) Closure;
  cl->p = p;
  cl->nup = static_cast<uint32_t>(nup);
  for (size_t i = 0; i < nup; ++i) cl->up()[i] = NilValue();
  Link(L, cl, OCLOSURE);
  return cl;
}

static void FreeClosure(Closure* cl) {
  cl->~Closure();
  ::operator delete(cl);
}

Chunk* NewChunk(State* L) {
  Chunk* c = new Chunk;
  Link(L, c, OCHUNK);
  return c;
}

Udata* PushedUdata(State* L, void* value, int32_t tag) {
  const UdKey key{value, tag};
  auto it = L->udata.find(key);
  if (it != L->udata.end() && !it->second->finalized) return it->second;
  Udata* u = new Udata;
  u->value = value;
  u->tag = tag;
  Link(L, u, OUDATA);
  L->udata[key] = u;
  return u;
}

static void FreeUdata(State* L, Udata* u) {
  auto it = L->udata.find(UdKey{u->value, u->tag});
  if (it != L->udata.end() && it->second == u) L->udata.erase(it);
  L->ioFiles.erase(u);
  delete u;
}

CFunction* RegisterNative(State* L, const char* name, NativeFn fn) {
  CRegistry& r = L->creg;
  auto it = r.byName.find(name);
  if (it != r.byName.end()) return it->second;
  auto f = std::make_unique<CFunction>();
  f->native = fn;
  f->name = name;
  CFunction* raw = f.get();
  r.owned.push_back(std::move(f));
  r.byName[name] = raw;
  r.byNative.emplace(fn, raw);
  return raw;
}

// ---- Tags ---------------------------------------------------------------------

int32_t TagOf(const Value& v) {
  switch (v.tt) {
    case TNIL:
      return TAG_NIL;
    case TNUMBER:
      return TAG_NUMBER;
    case TSTRING:
      return TAG_STRING;
    case TTABLE:
      return v.h->tag;
    case TLFUNC:
      return TAG_LFUNC;
    case TCFUNC:
      return TAG_CFUNC;
    case TUSERDATA:
      return v.u->tag;
    default:
      return TAG_NIL;
  }
}

bool ValidTag(State* L, int32_t tag) {
  if (tag >= 0) return true;
  if (tag >= TAG_CFUNC) return true;
  return tag <= TAG_FIRST_NEW && tag >= L->lastTag;
}

TagMethods* TagSlot(State* L, int32_t tag, bool create) {
  if (tag > 0) {
    auto it = L->hostTags.find(tag);
    if (it != L->hostTags.end()) return &L->hostTagMethods[it->second];
    if (!create) return nullptr;
    L->hostTags[tag] = static_cast<uint32_t>(L->hostTagMethods.size());
    L->hostTagMethods.emplace_back();
    return &L->hostTagMethods.back();
  }
  const uint32_t slot = static_cast<uint32_t>(-static_cast<int64_t>(tag));
  if (slot < L->tags.size()) return &L->tags[slot];
  if (!create || !ValidTag(L, tag)) return nullptr;
  L->tags.resize(slot + 1);
  return &L->tags[slot];
}

void SetTagMethodRaw(State* L, int32_t tag, Event e, const Value& f) {
  TagMethods* t = TagSlot(L, tag, !IsNil(f));
  if (!t) return;
  const bool had = t->mask >> e & 1;
  const bool has = !IsNil(f);
  t->tm[e] = f;
  if (has) {
    t->mask |= 1u << e;
  } else {
    t->mask &= ~(1u << e);
  }
  if (had != has) {
    const int delta = has ? 1 : -1;
    if (e == EV_GETGLOBAL) L->getglobalMethods += delta;
    if (e == EV_SETGLOBAL) L->setglobalMethods += delta;
  }
}

// ---- Number conversions --------------------------------------------------------

static bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool StringToNumber(const char* s, size_t len, double* out) {
  size_t i = 0;
  while (i < len && IsBlank(s[i])) ++i;
  const size_t start = i;
  if (i < len && (s[i] == '-' || s[i] == '+')) ++i;
  size_t digits = 0;
  while (i < len && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < len && s[i] == '.') {
    ++i;
    while (i < len && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < len && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < len && (s[i] == '-' || s[i] == '+')) ++i;
    size_t exp = 0;
    while (i < len && s[i] >= '0' && s[i] <= '9') ++i, ++exp;
    if (exp == 0) return false;
  }
  const size_t end = i;
  while (i < len && IsBlank(s[i])) ++i;
  if (i != len) return false;
  char small[64];
  std::string big;
  const char* text;
  if (end - start < sizeof small) {
    std::memcpy(small, s + start, end - start);
    small[end - start] = 0;
    text = small;
  } else {
    big.assign(s + start, end - start);
    text = big.c_str();
  }
  *out = std::strtod(text, nullptr);
  return true;
}

int NumberToText(double n, char* buffer) {
  if (n >= -2147483648.0 && n <= 2147483647.0) {
    const int i = static_cast<int>(n);
    if (static_cast<double>(i) == n) {
      // Whole numbers that fit an int print as %d.
      char digits[12];
      int len = 0;
      unsigned u = i < 0 ? 0u - static_cast<unsigned>(i) : static_cast<unsigned>(i);
      do {
        digits[len++] = static_cast<char>('0' + u % 10);
        u /= 10;
      } while (u);
      int at = 0;
      if (i < 0) buffer[at++] = '-';
      while (len) buffer[at++] = digits[--len];
      buffer[at] = 0;
      return at;
    }
  }
  return std::snprintf(buffer, 32, "%g", n);
}

TString* NumberToString(State* L, double n) {
  char buffer[32];
  const int len = NumberToText(n, buffer);
  return NewString(L, buffer, static_cast<size_t>(len));
}

bool ToStringInPlace(State* L, Value* v) {
  if (v->tt == TSTRING) return true;
  if (v->tt != TNUMBER) return false;
  *v = StringValue(NumberToString(L, v->n));
  return true;
}

bool ToNumber(const Value& v, double* out) {
  if (v.tt == TNUMBER) {
    *out = v.n;
    return true;
  }
  if (v.tt == TSTRING) return StringToNumber(v.s->data(), v.s->len, out);
  return false;
}

// ---- Collection --------------------------------------------------------------------

namespace {

struct Marker {
  State* L;
  std::vector<GCObject*> gray;
  std::vector<Table*> withTombstones;

  void Mark(GCObject* o) {
    if (o->marked) return;
    o->marked = 1;
    if (o->kind != OSTRING && o->kind != OUDATA) gray.push_back(o);
  }
  void MarkValue(const Value& v) {
    if (IsCollectable(v.tt)) Mark(v.gc);
  }
  void Propagate() {
    while (!gray.empty()) {
      GCObject* o = gray.back();
      gray.pop_back();
      switch (o->kind) {
        case OTABLE: {
          Table* t = static_cast<Table*>(o);
          for (uint32_t i = 0; i < t->asize; ++i) MarkValue(t->array[i]);
          bool tombstones = false;
          for (uint32_t j = 0; j < t->ncount; ++j) {
            const Node& n = t->node[j];
            if (n.key.tt == TDEADKEY) continue;
            if (n.val.tt == TNIL) {
              tombstones = true;  // its key does not keep anything alive
              continue;
            }
            MarkValue(n.key);
            MarkValue(n.val);
          }
          if (tombstones) withTombstones.push_back(t);
          break;
        }
        case OCLOSURE: {
          Closure* cl = static_cast<Closure*>(o);
          Mark(cl->p->chunk);
          for (uint32_t i = 0; i < cl->nup; ++i) MarkValue(cl->up()[i]);
          break;
        }
        case OCHUNK: {
          Chunk* c = static_cast<Chunk*>(o);
          if (c->name) Mark(c->name);
          for (const auto& p : c->protos) {
            for (const Value& k : p->k) MarkValue(k);
            for (const UpvalDesc& u : p->upvals) {
              if (u.global) Mark(u.global);
            }
          }
          break;
        }
        default:
          break;
      }
    }
  }
  void MarkThread(Thread& th) {
    for (uint32_t i = 0; i < th.top; ++i) MarkValue(th.stack[i]);
    for (uint32_t i = th.top; i < th.size; ++i) th.stack[i] = NilValue();
    for (const CallInfo& ci : th.ci) {
      if (ci.cl) Mark(ci.cl);
    }
  }
};

bool WillDie(const Value& v) {
  return IsCollectable(v.tt) && !v.gc->marked;
}

void FreeObject(State* L, GCObject* o) {
  switch (o->kind) {
    case OTABLE:
      FreeTable(static_cast<Table*>(o));
      break;
    case OCLOSURE:
      FreeClosure(static_cast<Closure*>(o));
      break;
    case OCHUNK:
      delete static_cast<Chunk*>(o);
      break;
    case OUDATA:
      FreeUdata(L, static_cast<Udata*>(o));
      break;
    default:
      break;
  }
}

}  // namespace

void RunFinalizers(State* L, std::vector<Value>& pending);  // lua31_VM.cpp

size_t FullCollect(State* L) {
  if (L->gcRunning) return 0;
  L->gcRunning = true;
  Marker m{L, {}, {}};
  // Roots.
  if (L->globals) m.Mark(L->globals);
  m.MarkValue(L->errorMethod);
  for (const TagMethods& t : L->tags) {
    for (const Value& v : t.tm) m.MarkValue(v);
  }
  for (const TagMethods& t : L->hostTagMethods) {
    for (const Value& v : t.tm) m.MarkValue(v);
  }
  for (const Ref& r : L->refs) {
    if (r.used && r.locked) m.MarkValue(r.v);
  }
  m.MarkThread(L->main);
  for (auto& task : L->tasks) m.MarkThread(task->th);
  for (const Value& v : L->S) m.MarkValue(v);
  for (Udata* u : L->stdio) {
    if (u) m.Mark(u);
  }
  for (TString* s : L->eventNames) {
    if (s) m.Mark(s);
  }
  if (L->nameN) m.Mark(L->nameN);
  m.Propagate();
  // Unlocked references do not keep their object.
  for (Ref& r : L->refs) {
    if (r.used && !r.locked && WillDie(r.v)) r.v = NilValue();
  }
  // Objects with a `gc` tag method live one more cycle for it to run.
  std::vector<Value> pending;
  for (GCObject* o = L->allgc; o; o = o->gcnext) {
    if (o->marked || o->finalized) continue;
    Value v;
    if (o->kind == OUDATA) {
      v = UdataValue(static_cast<Udata*>(o));
    } else if (o->kind == OTABLE) {
      v = TableValue(static_cast<Table*>(o));
    } else {
      continue;
    }
    if (!TagMethod(L, TagOf(v), EV_GC)) continue;
    o->finalized = 1;
    pending.push_back(v);
  }
  for (const Value& v : pending) m.MarkValue(v);
  m.Propagate();
  // Tombstone keys whose objects die become dead keys.
  for (Table* t : m.withTombstones) {
    for (uint32_t j = 0; j < t->ncount; ++j) {
      Node& n = t->node[j];
      if (n.val.tt == TNIL && WillDie(n.key)) {
        n.key.tt = TDEADKEY;
        n.key.p = nullptr;
      }
    }
  }
  // Sweep.
  size_t freed = 0;
  GCObject** link = &L->allgc;
  while (GCObject* o = *link) {
    if (o->marked) {
      o->marked = 0;
      link = &o->gcnext;
    } else {
      *link = o->gcnext;
      FreeObject(L, o);
      ++freed;
    }
  }
  for (TString*& head : L->strings.buckets) {
    TString** sl = &head;
    while (TString* s = *sl) {
      if (s->marked) {
        s->marked = 0;
        sl = &s->hnext;
      } else {
        *sl = s->hnext;
        FreeString(s);
        --L->strings.count;
        ++freed;
      }
    }
  }
  L->gcCount -= freed;
  L->gcThreshold = L->gcLimit ? L->gcCount + L->gcLimit : std::max(kMinThreshold, 2 * L->gcCount);
  RunFinalizers(L, pending);
  L->gcRunning = false;
  return freed;
}

// ---- States -------------------------------------------------------------------

State* NewState() {
  State* L = new State;
  L->gcThreshold = kMinThreshold;
  L->errorMethod = NilValue();
  L->tags.resize(static_cast<size_t>(-TAG_FIRST_NEW));
  for (int e = 0; e < EV_COUNT; ++e) L->eventNames[e] = NewString(L, kEventNames[e]);
  L->nameN = NewString(L, "n");
  L->globals = NewTable(L, 0, 64);
  EnsureStack(L, 64);
  return L;
}

void CloseState(State* L) {
  if (!L) return;
  // Every object with a `gc` tag method gets it called once, then all goes.
  std::vector<Value> pending;
  for (GCObject* o = L->allgc; o; o = o->gcnext) {
    if (o->finalized || (o->kind != OUDATA && o->kind != OTABLE)) continue;
    const Value v =
        o->kind == OUDATA ? UdataValue(static_cast<Udata*>(o)) : TableValue(static_cast<Table*>(o));
    if (!TagMethod(L, TagOf(v), EV_GC)) continue;
    o->finalized = 1;
    pending.push_back(v);
  }
  L->gcRunning = true;
  L->cur = &L->main;
  RunFinalizers(L, pending);
  FlushIo(L);  // output the scripts left without a final newline
  FreeState(L);
}

void FreeState(State* L) {
  if (!L) return;
  L->tasks.clear();
  GCObject* o = L->allgc;
  while (o) {
    GCObject* next = o->gcnext;
    FreeObject(L, o);
    o = next;
  }
  L->allgc = nullptr;
  for (TString* head : L->strings.buckets) {
    while (head) {
      TString* next = head->hnext;
      FreeString(head);
      head = next;
    }
  }
  L->strings.buckets.clear();
  delete L;
}

}  // namespace lua31
