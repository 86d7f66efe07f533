// The scripting runtime's whole-state save and restore.
//
// `lua_Save` writes everything reachable from the globals, the references,
// the tag methods, the error method and the tasks. `lua_Restore` reads the
// stream into a new state, checks all of it (a save game is untrusted) and
// replaces the running state only when all of it is sound; otherwise nothing
// changes. No bytecode is ever written or read: a closure is saved as the
// source text of its chunk (compiled again on restore, with the outcomes of
// its `$if name` directives replayed), the index of its prototype and its
// up-values.
//
// Stream format, version 1 (integers little-endian, numbers IEEE doubles):
//
//   u32 magic "VQ31", u32 version
//   i32 last tag made by newtag, i32 tag of the io library's files (0: none)
//   u32 next task id, u64 random generator state
//   value  error method
//   u32 T, then T x { i32 tag, u32 event mask, one value per set bit in
//                     event order (gettable settable index getglobal
//                     setglobal add sub mul div pow unm lt le gt ge concat
//                     gc function) }
//   u32 R, then R x { u32 reference, u8 locked, value }
//   u32 F, then F x u32 free reference numbers (the next ones lua_ref hands out)
//   value  globals (a table)
//   u32 K, then K x task, in creation order:
//     u32 id, u8 started, u32 S, S x value (the task's stack from slot 0),
//     u32 N, N x frame { u32 closure (object number), u32 pc, u32 base }
//     (not started: N = 0 and the stack holds the function and its
//     arguments; started: frame 0 is the function the task started with,
//     each frame's pc is just after the call it waits on, each frame's base
//     is its caller's call register + 1 and S is the innermost frame's
//     base + its prototype's register count)
//   object bodies, in object number order, until every object that a value
//   introduced has its body:
//     table   : i32 tag, u32 A, A x value (keys 1..A), u32 H,
//               H x { value key, value value } (a nil value keeps a cleared
//               field in its place, so traversal can continue from it)
//     closure : U x value (its up-values; U is given where it was introduced)
//   u32 end marker "VQ3E"
//
// A value is a u8 kind, then:
//   0 nil
//   1 number: 8 bytes
//   2 string met for the first time: u32 length, bytes (it gets the next
//     string number, from 0)
//   3 string met before: u32 string number
//   4 table met for the first time (it gets the next object number, from 0;
//     its body follows later)
//   5 closure met for the first time (the next object number): chunk,
//     u32 prototype index, u32 up-value count U; the chunk is u8 0 and
//     u32 chunk number (a chunk met before), or u8 1 and a new chunk: value
//     name (a string), u32 D, D x u8 directive outcomes, u32 L, L bytes of
//     source text (chunks are numbered from 0)
//   6 object met before: u32 object number
//   7 native function: value (a string) the name it was registered under;
//     a name the running state does not know restores as nil (logged)
//   8 user datum: i32 tag, u32 low, u32 high (what lua_savehook answered;
//     lua_restorehook rebuilds it)
//   9 io library file: u8 0 stdin, 1 stdout, 2 stderr, 3 another file
//     (restored closed)
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>

#include "script/runtime/lua31.h"
#include "script/runtime/lua31_Code.h"
#include "script/runtime/lua31_State.h"

namespace lua31 {
namespace {

constexpr uint32_t kMagic = 0x31335156;     // "VQ31"
constexpr uint32_t kEndMagic = 0x45335156;  // "VQ3E"
constexpr uint32_t kVersion = 1;
constexpr uint32_t kMaxString = 64u << 20;
constexpr uint32_t kMaxSlots = 1u << 20;
constexpr uint32_t kMaxFrames = 20000;
constexpr uint32_t kMaxRef = 1u << 24;
constexpr int32_t kMinTag = -(1 << 20);

enum : uint8_t {
  V_NIL,
  V_NUMBER,
  V_NEWSTRING,
  V_STRING,
  V_NEWTABLE,
  V_NEWCLOSURE,
  V_OBJECT,
  V_NATIVE,
  V_USERDATA,
  V_FILE,
};

// ---- Save --------------------------------------------------------------------------

class Writer {
 public:
  Writer(State* L, lua_Transfer out) : L_(L), out_(out) {}

  bool Run() {
    U32(kMagic);
    U32(kVersion);
    I32(L_->lastTag);
    I32(L_->ioTag);
    U32(static_cast<uint32_t>(L_->nextTaskId));
    Bytes(&L_->rng, 8);
    Val(L_->errorMethod);
    Tags();
    Refs();
    Val(TableValue(L_->globals));
    Tasks();
    for (size_t i = 0; i < queue_.size() && ok_; ++i) Body(queue_[i]);
    U32(kEndMagic);
    Flush();
    return ok_;
  }

 private:
  void Flush() {
    if (!buffer_.empty() && ok_ && out_(buffer_.data(), buffer_.size()) != 0) ok_ = false;
    buffer_.clear();
  }
  void Bytes(const void* data, size_t length) {
    buffer_.append(static_cast<const char*>(data), length);
    if (buffer_.size() >= (1u << 20)) Flush();
  }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }

  void Str(const TString* s) {
    auto it = strings_.find(s);
    if (it != strings_.end()) {
      U8(V_STRING);
      U32(it->second);
      return;
    }
    strings_[s] = static_cast<uint32_t>(strings_.size());
    U8(V_NEWSTRING);
    U32(s->len);
    Bytes(s->data(), s->len);
  }

  // Numbers an object met for the first time and queues its body.
  bool Introduce(GCObject* o, uint8_t kind) {
    auto it = objects_.find(o);
    if (it != objects_.end()) {
      U8(V_OBJECT);
      U32(it->second);
      return false;
    }
    objects_[o] = static_cast<uint32_t>(objects_.size());
    queue_.push_back(o);
    U8(kind);
    return true;
  }

  void Val(const Value& v) {
    switch (v.tt) {
      case TNUMBER:
        U8(V_NUMBER);
        Bytes(&v.n, 8);
        return;
      case TSTRING:
        Str(v.s);
        return;
      case TTABLE:
        Introduce(v.h, V_NEWTABLE);
        return;
      case TLFUNC:
        if (Introduce(v.cl, V_NEWCLOSURE)) {
          Chunk* c = v.cl->p->chunk;
          auto it = chunks_.find(c);
          if (it != chunks_.end()) {
            U8(0);
            U32(it->second);
          } else {
            chunks_[c] = static_cast<uint32_t>(chunks_.size());
            U8(1);
            Str(c->name);
            U32(static_cast<uint32_t>(c->directives.size()));
            Bytes(c->directives.data(), c->directives.size());
            U32(static_cast<uint32_t>(c->source.size()));
            Bytes(c->source.data(), c->source.size());
          }
          U32(v.cl->p->index);
          U32(v.cl->nup);
        }
        return;
      case TCFUNC:
        if (v.cf->name.empty()) {
          LogLine("lua_Save: a native function that was never registered is saved as nil");
          U8(V_NIL);
          return;
        }
        U8(V_NATIVE);
        Str(NewString(L_, v.cf->name));
        return;
      case TUSERDATA: {
        auto it = L_->ioFiles.find(v.u);
        if (it != L_->ioFiles.end()) {
          U8(V_FILE);
          U8(static_cast<uint8_t>(it->second->kind <= 2 ? it->second->kind : 3));
          return;
        }
        const int64_t stored = lua_savehook
                                   ? lua_savehook(v.u->tag, v.u->value)
                                   : static_cast<int64_t>(reinterpret_cast<intptr_t>(v.u->value));
        U8(V_USERDATA);
        I32(v.u->tag);
        U32(static_cast<uint32_t>(static_cast<uint64_t>(stored)));
        U32(static_cast<uint32_t>(static_cast<uint64_t>(stored) >> 32));
        return;
      }
      default:
        U8(V_NIL);
        return;
    }
  }

  void Tags() {
    std::vector<std::pair<int32_t, const TagMethods*>> tags;
    for (size_t slot = 0; slot < L_->tags.size(); ++slot) {
      if (L_->tags[slot].mask) tags.emplace_back(-static_cast<int32_t>(slot), &L_->tags[slot]);
    }
    for (const auto& [tag, index] : L_->hostTags) {
      if (L_->hostTagMethods[index].mask) tags.emplace_back(tag, &L_->hostTagMethods[index]);
    }
    U32(static_cast<uint32_t>(tags.size()));
    for (const auto& [tag, t] : tags) {
      I32(tag);
      U32(t->mask);
      for (int e = 0; e < EV_COUNT; ++e) {
        if (t->mask >> e & 1) Val(t->tm[e]);
      }
    }
  }

  void Refs() {
    uint32_t count = 0;
    for (const Ref& r : L_->refs) count += r.used;
    U32(count);
    for (size_t i = 0; i < L_->refs.size(); ++i) {
      const Ref& r = L_->refs[i];
      if (!r.used) continue;
      U32(static_cast<uint32_t>(i));
      U8(r.locked);
      Val(r.v);
    }
    U32(static_cast<uint32_t>(L_->freeRefs.size()));
    for (int f : L_->freeRefs) U32(static_cast<uint32_t>(f));
  }

  void Tasks() {
    uint32_t count = 0;
    for (const auto& t : L_->tasks) count += !t->dead;
    U32(count);
    for (const auto& t : L_->tasks) {
      if (t->dead) continue;
      const Thread& th = t->th;
      U32(static_cast<uint32_t>(t->id));
      U8(t->started);
      uint32_t slots = th.top;
      if (!th.ci.empty()) slots = th.ci.back().base + th.ci.back().cl->p->maxstack;
      U32(slots);
      for (uint32_t i = 0; i < slots; ++i) Val(th.stack[i]);
      U32(static_cast<uint32_t>(th.ci.size()));
      for (const CallInfo& ci : th.ci) {
        // The frame's function sits in the slot below its base: numbered.
        auto it = objects_.find(ci.cl);
        U32(it != objects_.end() ? it->second : 0xFFFFFFFFu);
        U32(ci.savedpc);
        U32(ci.base);
      }
    }
  }

  void Body(GCObject* o) {
    if (o->kind == OTABLE) {
      const Table* t = static_cast<Table*>(o);
      I32(t->tag);
      U32(t->asize);
      for (uint32_t i = 0; i < t->asize; ++i) Val(t->array[i]);
      uint32_t entries = 0;
      for (uint32_t j = 0; j < t->ncount; ++j) entries += t->node[j].key.tt != TDEADKEY;
      U32(entries);
      for (uint32_t j = 0; j < t->ncount; ++j) {
        const Node& n = t->node[j];
        if (n.key.tt == TDEADKEY) continue;
        Val(n.key);
        Val(n.val);
      }
    } else {
      Closure* cl = static_cast<Closure*>(o);
      for (uint32_t i = 0; i < cl->nup; ++i) Val(cl->up()[i]);
    }
  }

  State* L_;
  lua_Transfer out_;
  bool ok_ = true;
  std::string buffer_;
  std::unordered_map<const TString*, uint32_t> strings_;
  std::unordered_map<const GCObject*, uint32_t> objects_;
  std::unordered_map<const Chunk*, uint32_t> chunks_;
  std::vector<GCObject*> queue_;
};

// ---- Restore ---------------------------------------------------------------------------

struct SavedFrame {
  uint32_t closure;
  uint32_t pc;
  uint32_t base;
};

struct SavedTask {
  int id;
  bool started;
  std::vector<Value> slots;
  std::vector<SavedFrame> frames;
};

class Reader {
 public:
  Reader(State* live, lua_Transfer in) : live_(live), in_(in) {}

  // Builds the new state; null (with the reason logged) on any failure.
  State* Run() {
    N_ = NewState();
    try {
      Read();
    } catch (const std::bad_alloc&) {
      Fail("not enough memory");
    } catch (const ScriptError&) {
      Fail("stack overflow");
    }
    if (!ok_) {
      FreeState(N_);
      LogLine("lua_Restore: the saved state is not sound (%s); nothing was changed", why_.c_str());
      return nullptr;
    }
    return N_;
  }

 private:
  bool Fail(const char* why) {
    if (ok_) why_ = why;
    ok_ = false;
    return false;
  }

  bool Get(void* data, size_t length) {
    if (!ok_) return false;
    if (length && in_(data, length) != 0) return Fail("the stream ends early");
    return true;
  }
  uint8_t U8() {
    uint8_t v = 0;
    Get(&v, 1);
    return v;
  }
  uint32_t U32() {
    uint8_t b[4] = {};
    Get(b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }

  bool Text(uint32_t length, std::string& out) {
    if (length > kMaxString) return Fail("a string is too long");
    out.clear();
    char piece[4096];
    while (ok_ && out.size() < length) {
      const size_t n = std::min<size_t>(sizeof piece, length - out.size());
      if (Get(piece, n)) out.append(piece, n);
    }
    return ok_;
  }

  TString* StringValue() {
    const Value v = Val();
    if (!ok_) return nullptr;
    if (v.tt != TSTRING) {
      Fail("a string was expected");
      return nullptr;
    }
    return v.s;
  }

  Chunk* ReadChunk() {
    const uint8_t fresh = U8();
    if (fresh == 0) {
      const uint32_t id = U32();
      if (ok_ && id >= chunks_.size()) Fail("a chunk number is out of range");
      return ok_ ? chunks_[id] : nullptr;
    }
    if (fresh != 1) {
      Fail("bad chunk mark");
      return nullptr;
    }
    TString* name = StringValue();
    const uint32_t nd = U32();
    if (ok_ && nd > (1u << 20)) Fail("too many directive outcomes");
    std::string directives;
    if (!Text(nd, directives)) return nullptr;
    const uint32_t length = U32();
    std::string source;
    if (!ok_ || !Text(length, source)) return nullptr;
    std::vector<uint8_t> replay(directives.begin(), directives.end());
    std::string error;
    Chunk* c = Compile(N_, source.data(), source.size(), name, &replay, &error);
    if (!c) {
      LogLine("lua_Restore: a saved chunk does not compile: %s", error.c_str());
      Fail("a saved chunk does not compile");
      return nullptr;
    }
    chunks_.push_back(c);
    return c;
  }

  Value Val() {
    const uint8_t kind = U8();
    if (!ok_) return NilValue();
    switch (kind) {
      case V_NIL:
        return NilValue();
      case V_NUMBER: {
        double d = 0;
        Get(&d, 8);
        return NumberValue(d);
      }
      case V_NEWSTRING: {
        std::string text;
        if (!Text(U32(), text)) return NilValue();
        TString* s = NewString(N_, text);
        strings_.push_back(s);
        return lua31::StringValue(s);
      }
      case V_STRING: {
        const uint32_t id = U32();
        if (ok_ && id >= strings_.size()) Fail("a string number is out of range");
        return ok_ ? lua31::StringValue(strings_[id]) : NilValue();
      }
      case V_NEWTABLE: {
        Table* t = NewTable(N_, 0, 0);
        objects_.push_back(t);
        return TableValue(t);
      }
      case V_NEWCLOSURE: {
        Chunk* c = ReadChunk();
        const uint32_t index = U32();
        const uint32_t nup = U32();
        if (!ok_) return NilValue();
        if (index >= c->protos.size()) {
          Fail("a prototype index is out of range");
          return NilValue();
        }
        Proto* p = c->protos[index].get();
        if (nup != p->upvals.size()) {
          Fail("an up-value count does not match its prototype");
          return NilValue();
        }
        Closure* cl = NewClosure(N_, p);
        objects_.push_back(cl);
        return ClosureValue(cl);
      }
      case V_OBJECT: {
        const uint32_t id = U32();
        if (ok_ && id >= objects_.size()) Fail("an object number is out of range");
        if (!ok_) return NilValue();
        GCObject* o = objects_[id];
        return o->kind == OTABLE ? TableValue(static_cast<Table*>(o))
                                 : ClosureValue(static_cast<Closure*>(o));
      }
      case V_NATIVE: {
        TString* name = StringValue();
        if (!ok_) return NilValue();
        auto it = live_->creg.byName.find(std::string(name->data(), name->len));
        if (it == live_->creg.byName.end()) {
          LogLine("lua_Restore: unknown native function \"%s\" restored as nil", name->data());
          return NilValue();
        }
        return CFunctionValue(it->second);
      }
      case V_USERDATA: {
        const int32_t tag = I32();
        const uint32_t low = U32();
        const uint32_t high = U32();
        if (!ok_) return NilValue();
        if ((tag < 0 && (tag > TAG_FIRST_NEW || tag < N_->lastTag)) ||
            (tag != 0 && tag == N_->ioTag)) {
          Fail("a user datum has an invalid tag");
          return NilValue();
        }
        void* value = lua_restorehook
                          ? lua_restorehook(tag, low, high)
                          : reinterpret_cast<void*>(static_cast<intptr_t>(
                                static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low)));
        return UdataValue(PushedUdata(N_, value, tag));
      }
      case V_FILE: {
        const uint8_t which = U8();
        if (!ok_) return NilValue();
        if (N_->ioTag == 0 || which > 3) {
          Fail("a file handle without the io library");
          return NilValue();
        }
        if (which <= 2) return UdataValue(N_->stdio[which]);
        auto file = std::make_unique<IoFile>();
        file->kind = 4;
        Udata* u = PushedUdata(N_, file.get(), N_->ioTag);
        N_->ioFiles[u] = std::move(file);
        return UdataValue(u);
      }
      default:
        Fail("bad value kind");
        return NilValue();
    }
  }

  Value FunctionOrNil() {
    const Value v = Val();
    if (ok_ && !IsNil(v) && !IsFunction(v)) Fail("a method is not a function");
    return v;
  }

  void Read() {
    const uint32_t magic = U32();
    const uint32_t version = U32();
    if (ok_ && (magic != kMagic || version != kVersion)) {
      Fail("not a runtime state of this version");
      return;
    }
    State* N = N_;
    N->lastTag = I32();
    N->ioTag = I32();
    const uint32_t nextTask = U32();
    Get(&N->rng, 8);
    if (!ok_) return;
    if (N->lastTag > TAG_FIRST_NEW + 1 || N->lastTag < kMinTag) {
      Fail("bad tag count");
      return;
    }
    if (N->ioTag != 0 && (N->ioTag > TAG_FIRST_NEW || N->ioTag < N->lastTag)) {
      Fail("bad io tag");
      return;
    }
    if (nextTask < 1 || nextTask > 2147483647u) {
      Fail("bad task number");
      return;
    }
    N->nextTaskId = static_cast<int>(nextTask);
    N->tags.resize(static_cast<size_t>(-static_cast<int64_t>(N->lastTag)) + 1);
    if (N->ioTag != 0) {
      for (int k = 0; k < 3; ++k) {
        auto file = std::make_unique<IoFile>();
        file->kind = k;
        Udata* u = PushedUdata(N, file.get(), N->ioTag);
        N->ioFiles[u] = std::move(file);
        N->stdio[k] = u;
      }
    }
    N->errorMethod = FunctionOrNil();
    // Tag methods.
    const uint32_t ntags = U32();
    for (uint32_t i = 0; i < ntags && ok_; ++i) {
      const int32_t tag = I32();
      const uint32_t mask = U32();
      if (!ok_) return;
      if (!ValidTag(N, tag) || (mask >> EV_COUNT) != 0) {
        Fail("bad tag method entry");
        return;
      }
      for (int e = 0; e < EV_COUNT && ok_; ++e) {
        if (!(mask >> e & 1)) continue;
        const Value f = FunctionOrNil();
        if (ok_ && !IsNil(f)) SetTagMethodRaw(N, tag, static_cast<Event>(e), f);
      }
    }
    // References: the used and the free numbers together must be exactly
    // 1..R+F (lua_ref hands them out in order), so nothing is sized from a
    // number alone.
    const uint32_t nrefs = U32();
    if (ok_ && nrefs >= kMaxRef) Fail("too many references");
    std::vector<std::pair<uint32_t, Ref>> used;
    for (uint32_t i = 0; i < nrefs && ok_; ++i) {
      const uint32_t ref = U32();
      const uint8_t locked = U8();
      if (ok_ && locked > 1) Fail("bad reference");
      // nil: an unlocked reference whose object was collected, or a native
      // function this runtime does not know.
      const Value v = Val();
      used.emplace_back(ref, Ref{v, true, locked != 0});
    }
    const uint32_t nfree = U32();
    if (ok_ && nfree >= kMaxRef) Fail("too many free references");
    std::vector<uint32_t> free;
    for (uint32_t i = 0; i < nfree && ok_; ++i) free.push_back(U32());
    if (!ok_) return;
    const uint64_t total = static_cast<uint64_t>(used.size()) + free.size();
    std::vector<uint8_t> seen(total + 1, 0);
    auto claim = [&](uint32_t ref) {
      if (ref < 1 || ref > total || seen[ref]) return Fail("bad reference numbers");
      seen[ref] = 1;
      return true;
    };
    for (const auto& u : used) claim(u.first);
    for (uint32_t f : free) claim(f);
    if (!ok_) return;
    if (total) N->refs.resize(total + 1);
    for (const auto& u : used) N->refs[u.first] = u.second;
    for (uint32_t f : free) N->freeRefs.push_back(static_cast<int>(f));
    // Globals.
    const Value g = Val();
    if (ok_ && g.tt != TTABLE) Fail("the globals are not a table");
    if (!ok_) return;
    N->globals = g.h;
    // Tasks.
    std::vector<SavedTask> tasks;
    const uint32_t ntasks = U32();
    for (uint32_t i = 0; i < ntasks && ok_; ++i) {
      SavedTask t;
      const uint32_t id = U32();
      const uint8_t started = U8();
      const uint32_t nslots = U32();
      if (!ok_) return;
      if (id < 1 || id >= nextTask || (!tasks.empty() && static_cast<int>(id) <= tasks.back().id) ||
          started > 1 || nslots > kMaxSlots) {
        Fail("bad task");
        return;
      }
      t.id = static_cast<int>(id);
      t.started = started != 0;
      for (uint32_t s = 0; s < nslots && ok_; ++s) t.slots.push_back(Val());
      const uint32_t nframes = U32();
      if (ok_ && nframes > kMaxFrames) Fail("too many frames");
      for (uint32_t f = 0; f < nframes && ok_; ++f) {
        SavedFrame frame;
        frame.closure = U32();
        frame.pc = U32();
        frame.base = U32();
        t.frames.push_back(frame);
      }
      tasks.push_back(std::move(t));
    }
    // Object bodies.
    for (size_t i = 0; i < objects_.size() && ok_; ++i) Body(objects_[i]);
    if (ok_ && U32() != kEndMagic) Fail("the end marker is missing");
    for (SavedTask& t : tasks) {
      if (!ok_) return;
      MakeTask(t);
    }
  }

  void Body(GCObject* o) {
    if (o->kind == OCLOSURE) {
      Closure* cl = static_cast<Closure*>(o);
      for (uint32_t i = 0; i < cl->nup && ok_; ++i) cl->up()[i] = Val();
      return;
    }
    Table* t = static_cast<Table*>(o);
    const int32_t tag = I32();
    if (!ok_) return;
    if (tag != TAG_TABLE && (tag > TAG_FIRST_NEW || tag < N_->lastTag)) {
      Fail("a table has an invalid tag");
      return;
    }
    t->tag = tag;
    const uint32_t asize = U32();
    TableRestoreArray(N_, t, asize);
    for (uint32_t i = 0; i < asize && ok_; ++i) {
      const Value v = Val();
      if (ok_) TableRestoreArrayItem(t, v);
    }
    const uint32_t entries = U32();
    for (uint32_t j = 0; j < entries && ok_; ++j) {
      const Value key = Val();
      const Value val = Val();
      if (ok_ && !TableRestoreEntry(N_, t, key, val)) Fail("a table entry cannot be placed");
    }
  }

  // Checks a task's frames against the prototypes compiled from the saved
  // texts and builds its thread.
  void MakeTask(SavedTask& saved) {
    auto task = std::make_unique<Task>();
    task->id = saved.id;
    task->started = saved.started;
    Thread& th = task->th;
    th.task = task.get();
    const uint32_t nslots = static_cast<uint32_t>(saved.slots.size());
    if (!saved.started) {
      if (!saved.frames.empty() || nslots < 1) {
        Fail("a task that has not started has frames");
        return;
      }
    } else if (saved.frames.empty()) {
      Fail("a started task has no frames");
      return;
    }
    uint32_t top = nslots;
    uint64_t registers = nslots;
    for (size_t f = 0; f < saved.frames.size(); ++f) {
      const SavedFrame& fr = saved.frames[f];
      if (fr.closure >= objects_.size() || objects_[fr.closure]->kind != OCLOSURE) {
        Fail("a frame's function is not a script function");
        return;
      }
      Closure* cl = static_cast<Closure*>(objects_[fr.closure]);
      const Proto* p = cl->p;
      // Each frame waits just after a call.
      if (fr.pc < 1 || fr.pc > p->code.size() || GetOp(p->code[fr.pc - 1]) != OP_CALL) {
        Fail("a frame is not at a call");
        return;
      }
      const Instr call = p->code[fr.pc - 1];
      // The stack is saved up to the innermost frame's registers; an outer
      // frame's registers above the call it waits in hold nothing live, so
      // only its base and that call must lie within the saved slots.
      if (fr.base < 1 || static_cast<uint64_t>(fr.base) + GetA(call) + 1 > nslots ||
          saved.slots[fr.base - 1].tt != TLFUNC || saved.slots[fr.base - 1].cl != cl) {
        Fail("a frame's base does not fit its stack");
        return;
      }
      if (GetA(call) >= p->maxstack) {
        Fail("a frame's call is outside its registers");
        return;
      }
      // Every frame gets all its registers back when the calls above it
      // return.
      registers = std::max<uint64_t>(registers, static_cast<uint64_t>(fr.base) + p->maxstack);
      CallInfo ci;
      ci.cl = cl;
      ci.func = fr.base - 1;
      ci.base = fr.base;
      ci.savedpc = fr.pc;
      ci.nresults = 0;
      if (f == 0) {
        if (fr.base != 1) {
          Fail("the first frame is not the task's function");
          return;
        }
      } else {
        const CallInfo& caller = th.ci.back();
        const Instr callerCall = caller.cl->p->code[caller.savedpc - 1];
        if (fr.base != caller.base + GetA(callerCall) + 1) {
          Fail("a frame does not sit where its caller called it");
          return;
        }
        ci.nresults = static_cast<int32_t>(GetC(callerCall)) - 1;
      }
      th.ci.push_back(ci);
      if (f + 1 == saved.frames.size()) {
        if (nslots != fr.base + p->maxstack) {
          Fail("the stack does not end with the innermost frame");
          return;
        }
        // The call it yielded in has completed: top follows its results.
        top = GetC(call) == 0 ? fr.base + GetA(call) : fr.base + p->maxstack;
      }
    }
    th.size = static_cast<uint32_t>(registers) + 16;
    th.stack = new Value[th.size];
    for (uint32_t i = 0; i < th.size; ++i) th.stack[i] = i < nslots ? saved.slots[i] : NilValue();
    th.top = top;
    N_->tasks.push_back(std::move(task));
  }

  State* live_;
  lua_Transfer in_;
  State* N_ = nullptr;
  bool ok_ = true;
  std::string why_;
  std::vector<TString*> strings_;
  std::vector<GCObject*> objects_;
  std::vector<Chunk*> chunks_;
};

// Saving and restoring need the runtime at rest: no script running and no
// task in the middle of its turn.
bool AtRest(State* L, const char* what) {
  bool busy = L->running || L->updating || !L->main.ci.empty() || L->main.nCcalls;
  for (const auto& t : L->tasks) {
    for (const CallInfo& ci : t->th.ci) busy = busy || !ci.cl;
  }
  if (busy) LogLine("%s: not possible while a script runs", what);
  return !busy;
}

}  // namespace
}  // namespace lua31

using namespace lua31;

int lua_Save(lua_Transfer writer) {
  State* L = g_state;
  if (!L || !writer || !AtRest(L, "lua_Save")) return 1;
  Writer w(L, writer);
  if (!w.Run()) {
    LogLine("lua_Save: the writer failed");
    return 1;
  }
  return 0;
}

int lua_Restore(lua_Transfer reader) {
  State* L = g_state;
  if (!L || !reader || !AtRest(L, "lua_Restore")) return 1;
  Reader r(L, reader);
  State* N = r.Run();
  if (!N) return 1;
  // The new state takes over the engine's side: the native functions, the
  // object stack (its handles stay valid and read nil) and the hooks.
  N->creg = std::move(L->creg);
  N->S = std::move(L->S);
  for (Value& v : N->S) v = NilValue();
  N->frame = L->frame;
  N->blocks = std::move(L->blocks);
  N->blockFloor = L->blockFloor;
  g_state = N;
  FlushIo(L);  // the replaced state's unended output is not lost
  FreeState(L);
  return 0;
}
