// The scripting runtime layer: whole-state save and restore.
//
// Stream layout (little-endian):
//   u32 'VQLS', u32 version 1
//   globals: table body (pairs, nil key, metatable)
//   u32 reference count, then (i32 reference, value) each
//   u32 task count, then (i32 id, value function, u32 argument count, values) each
//   i32 next task id
//   u32 'VQLE'
// Values: u8 kind, then
//   0 nil, 1 false, 2 true, 3 f64, 4 i64, 5 string (u32 length, bytes),
//   6 new table (id = next id; pairs up to a nil key; then its metatable),
//   7 earlier table or function (u32 id),
//   8 user datum (i32 tag, u32 low, u32 high: the save hook's value),
//   9 value by name path (id = next id; u8 root 0 globals / 1 reference,
//     i32 reference, u32 count, strings; u32 upvalue count, then per upvalue
//     u32 group, u8 mode 0 shared with an earlier one / 1 value follows /
//     2 keep the restored-into value),
//   10 engine function (string: the name it was registered under).
// Id 1 is the globals table.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "script/runtime/lua31_Private.h"

namespace luart {
namespace {

constexpr uint32_t kMagic = 0x534C5156;     // "VQLS"
constexpr uint32_t kEndMagic = 0x454C5156;  // "VQLE"
constexpr uint32_t kVersion = 1;
constexpr int kMaxDepth = 1000;
constexpr uint32_t kMaxString = 64u << 20;
constexpr uint32_t kMaxPathParts = 64;
constexpr uint32_t kMaxUpvalues = 255;
constexpr uint32_t kMaxCount = 1u << 24;

enum Kind : uint8_t {
  kNil = 0,
  kFalse,
  kTrue,
  kFloat,
  kInteger,
  kString,
  kTable,
  kBackRef,
  kUserTag,
  kByPath,
  kEngineFunction,
};

// ---------------------------------------------------------------------------
// Save

struct Writer {
  lua_Transfer out = nullptr;
  lua_State* L = nullptr;
  bool ok = true;
  std::string buffer;
  int idsIdx = 0;    // value -> id
  int pathsIdx = 0;  // value -> path table {root, ref, parts...}
  uint32_t nextId = 2;
  std::unordered_map<const void*, uint32_t> upvalueGroups;
  std::vector<std::string> where;
  int depth = 0;

  void Flush() {
    if (!buffer.empty() && ok) {
      size_t at = 0;
      while (at < buffer.size()) {
        const size_t chunk = std::min<size_t>(buffer.size() - at, 1u << 20);
        if (out(buffer.data() + at, chunk) != 0) {
          ok = false;
          break;
        }
        at += chunk;
      }
    }
    buffer.clear();
  }
  void Bytes(const void* data, size_t length) {
    buffer.append(static_cast<const char*>(data), length);
    if (buffer.size() >= (1u << 20)) Flush();
  }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U32(uint32_t v) { Bytes(&v, 4); }
  void I32(int32_t v) { Bytes(&v, 4); }
  void Str(const char* s, size_t length) {
    U32(static_cast<uint32_t>(length));
    Bytes(s, length);
  }
  std::string Where() const {
    std::string text;
    for (const std::string& part : where) {
      if (!text.empty() && part[0] != '[') text += '.';
      text += part;
    }
    return text;
  }
};

bool IsForeign(lua_State* L, int idx) {
  const int type = lua_type(L, idx);
  if (type == LUA_TFUNCTION) return true;
  if (type == LUA_TUSERDATA) return !ToUserTag(L, idx);
  return type == LUA_TLIGHTUSERDATA || type == LUA_TTHREAD;
}

// Records a name path for every function and foreign value reachable from
// the globals (breadth first, so the shortest path wins), then from the
// references. Leaves the paths table on L.
void BuildPaths(lua_State* L) {
  lua_newtable(L);
  const int paths = lua_gettop(L);
  lua_newtable(L);
  const int visited = lua_gettop(L);
  lua_newtable(L);
  const int queue = lua_gettop(L);
  int head = 1, tail = 0;
  auto enqueue = [&](int tableIdx, int pathIdx) {
    lua_pushvalue(L, tableIdx);
    lua_pushboolean(L, 1);
    lua_rawset(L, visited);
    lua_createtable(L, 2, 0);
    lua_pushvalue(L, tableIdx);
    lua_rawseti(L, -2, 1);
    lua_pushvalue(L, pathIdx);
    lua_rawseti(L, -2, 2);
    lua_rawseti(L, queue, ++tail);
  };
  auto drain = [&]() {
    while (head <= tail) {
      lua_rawgeti(L, queue, head);
      lua_pushnil(L);
      lua_rawseti(L, queue, head++);
      lua_rawgeti(L, -1, 1);
      const int table = lua_gettop(L);
      lua_rawgeti(L, -2, 2);
      const int path = lua_gettop(L);
      const int parts = static_cast<int>(lua_rawlen(L, path));
      lua_pushnil(L);
      while (lua_next(L, table)) {
        if (lua_type(L, -2) == LUA_TSTRING && parts < static_cast<int>(kMaxPathParts)) {
          const int vtype = lua_type(L, -1);
          const bool foreign = IsForeign(L, -1);
          bool want = false;
          if (foreign) {
            lua_pushvalue(L, -1);
            want = lua_rawget(L, paths) == LUA_TNIL;
            lua_pop(L, 1);
          } else if (vtype == LUA_TTABLE) {
            lua_pushvalue(L, -1);
            want = lua_rawget(L, visited) == LUA_TNIL;
            lua_pop(L, 1);
          }
          if (want) {
            lua_createtable(L, parts + 1, 0);
            for (int i = 1; i <= parts; ++i) {
              lua_rawgeti(L, path, i);
              lua_rawseti(L, -2, i);
            }
            lua_pushvalue(L, -3);  // the key
            lua_rawseti(L, -2, parts + 1);
            if (foreign) {
              lua_pushvalue(L, -2);
              lua_insert(L, -2);
              lua_rawset(L, paths);
            } else {
              enqueue(lua_gettop(L) - 1, lua_gettop(L));
              lua_pop(L, 1);
            }
          }
        }
        lua_pop(L, 1);
      }
      lua_pop(L, 3);
    }
  };
  // Path tables: {root, reference, part1, part2, ...} with the parts from
  // index 3; the root pair occupies the first two slots.
  lua_pushglobaltable(L);
  lua_createtable(L, 2, 0);
  lua_pushinteger(L, 0);
  lua_rawseti(L, -2, 1);
  lua_pushinteger(L, 0);
  lua_rawseti(L, -2, 2);
  enqueue(lua_gettop(L) - 1, lua_gettop(L));
  lua_pop(L, 2);
  drain();
  PushRegTable(L, kRegRefs);
  const int refs = lua_gettop(L);
  lua_pushnil(L);
  while (lua_next(L, refs)) {
    if (lua_isinteger(L, -2)) {
      lua_createtable(L, 2, 0);
      lua_pushinteger(L, 1);
      lua_rawseti(L, -2, 1);
      lua_pushvalue(L, -3);
      lua_rawseti(L, -2, 2);
      const int path = lua_gettop(L);
      if (lua_type(L, -2) == LUA_TTABLE) {
        lua_pushvalue(L, -2);
        if (lua_rawget(L, visited) == LUA_TNIL) enqueue(path - 1, path);
        lua_pop(L, 1);
      } else if (IsForeign(L, -2)) {
        lua_pushvalue(L, -2);
        if (lua_rawget(L, paths) == LUA_TNIL) {
          lua_pushvalue(L, -3);
          lua_pushvalue(L, path);
          lua_rawset(L, paths);
        }
        lua_pop(L, 1);
      }
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
  drain();
  lua_pop(L, 2);  // visited, queue
}

bool WriteValue(Writer& w, int idx);

// Whether a value can be written as something other than nil.
bool Writable(Writer& w, int idx) {
  lua_State* L = w.L;
  if (!IsForeign(L, idx)) return true;
  if (lua_type(L, idx) == LUA_TFUNCTION) {
    lua_CFunc engine = ToEngineFunction(L, idx);
    if (engine && g_rt.cnames.count(engine)) return true;
  }
  lua_pushvalue(L, idx);
  const bool named = lua_rawget(L, w.pathsIdx) != LUA_TNIL;
  lua_pop(L, 1);
  return named;
}

void WriteTableBody(Writer& w, int t) {
  lua_State* L = w.L;
  lua_pushnil(L);
  while (w.ok && lua_next(L, t)) {
    const int key = lua_gettop(L) - 1;
    if (Writable(w, key)) {
      if (lua_type(L, key) == LUA_TSTRING) {
        w.where.emplace_back(lua_tostring(L, key));
      } else if (lua_isinteger(L, key)) {
        std::string index = std::to_string(lua_tointeger(L, key));
        index.insert(index.begin(), '[');
        index.push_back(']');
        w.where.push_back(std::move(index));
      } else {
        w.where.emplace_back("[?]");
      }
      WriteValue(w, key);
      WriteValue(w, key + 1);
      w.where.pop_back();
    } else {
      LogLine("save: a table key that no name reaches is left out (in %s)", w.Where().c_str());
    }
    lua_pop(L, 1);
  }
  w.U8(kNil);
  if (lua_getmetatable(L, t)) {
    w.where.emplace_back("(metatable)");
    WriteValue(w, lua_gettop(L));
    w.where.pop_back();
    lua_pop(L, 1);
  } else {
    w.U8(kNil);
  }
}

bool WriteValue(Writer& w, int idx) {
  lua_State* L = w.L;
  idx = lua_absindex(L, idx);
  if (!w.ok) return false;
  if (!lua_checkstack(L, 8) || w.depth >= kMaxDepth) {
    LogLine("save: values nest too deeply (at %s)", w.Where().c_str());
    w.ok = false;
    return false;
  }
  switch (lua_type(L, idx)) {
    case LUA_TNIL: w.U8(kNil); return true;
    case LUA_TBOOLEAN: w.U8(lua_toboolean(L, idx) ? kTrue : kFalse); return true;
    case LUA_TNUMBER:
      if (lua_isinteger(L, idx)) {
        const int64_t v = lua_tointeger(L, idx);
        w.U8(kInteger);
        w.Bytes(&v, 8);
      } else {
        const double v = lua_tonumber(L, idx);
        w.U8(kFloat);
        w.Bytes(&v, 8);
      }
      return true;
    case LUA_TSTRING: {
      size_t length = 0;
      const char* s = lua_tolstring(L, idx, &length);
      w.U8(kString);
      w.Str(s, length);
      return true;
    }
    default: break;
  }
  // Shared values: tables, and functions or foreign values written by path.
  lua_pushvalue(L, idx);
  if (lua_rawget(L, w.idsIdx) == LUA_TNUMBER) {
    w.U8(kBackRef);
    w.U32(static_cast<uint32_t>(lua_tointeger(L, -1)));
    lua_pop(L, 1);
    return true;
  }
  lua_pop(L, 1);
  if (lua_type(L, idx) == LUA_TTABLE) {
    lua_pushvalue(L, idx);
    lua_pushinteger(L, w.nextId++);
    lua_rawset(L, w.idsIdx);
    w.U8(kTable);
    ++w.depth;
    WriteTableBody(w, idx);
    --w.depth;
    return w.ok;
  }
  if (UserTag* u = ToUserTag(L, idx)) {
    int64_t stored = u->value;
    if (lua_savehook) stored = lua_savehook(u->tag, reinterpret_cast<void*>(static_cast<intptr_t>(u->value)));
    w.U8(kUserTag);
    w.I32(u->tag);
    w.U32(static_cast<uint32_t>(static_cast<uint64_t>(stored)));
    w.U32(static_cast<uint32_t>(static_cast<uint64_t>(stored) >> 32));
    return true;
  }
  if (lua_type(L, idx) == LUA_TFUNCTION) {
    lua_CFunc engine = ToEngineFunction(L, idx);
    if (engine) {
      auto it = g_rt.cnames.find(engine);
      if (it != g_rt.cnames.end()) {
        w.U8(kEngineFunction);
        w.Str(it->second.data(), it->second.size());
        return true;
      }
    }
  }
  lua_pushvalue(L, idx);
  if (lua_rawget(L, w.pathsIdx) != LUA_TTABLE) {
    lua_pop(L, 1);
    LogLine("save: a %s that no name reaches is saved as nil (at %s)", luaL_typename(L, idx),
            w.Where().c_str());
    w.U8(kNil);
    return true;
  }
  const int path = lua_gettop(L);
  lua_pushvalue(L, idx);
  lua_pushinteger(L, w.nextId++);
  lua_rawset(L, w.idsIdx);
  w.U8(kByPath);
  lua_rawgeti(L, path, 1);
  w.U8(static_cast<uint8_t>(lua_tointeger(L, -1)));
  lua_rawgeti(L, path, 2);
  w.I32(static_cast<int32_t>(lua_tointeger(L, -1)));
  lua_pop(L, 2);
  const int parts = static_cast<int>(lua_rawlen(L, path));
  w.U32(static_cast<uint32_t>(parts > 2 ? parts - 2 : 0));
  for (int i = 3; i <= parts; ++i) {
    lua_rawgeti(L, path, i);
    size_t length = 0;
    const char* s = lua_tolstring(L, -1, &length);
    w.Str(s, length);
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
  // The upvalues of a Lua function: their values, and which are shared.
  if (lua_type(L, idx) != LUA_TFUNCTION || lua_iscfunction(L, idx)) {
    w.U32(0);
    return true;
  }
  lua_Debug ar;
  lua_pushvalue(L, idx);
  lua_getinfo(L, ">u", &ar);
  const int nups = ar.nups;
  w.U32(static_cast<uint32_t>(nups));
  ++w.depth;
  for (int i = 1; i <= nups && w.ok; ++i) {
    const void* id = lua_upvalueid(L, idx, i);
    auto [it, fresh] = w.upvalueGroups.emplace(id, static_cast<uint32_t>(w.upvalueGroups.size() + 1));
    w.U32(it->second);
    if (!fresh) {
      w.U8(0);
      continue;
    }
    const char* name = lua_getupvalue(L, idx, i);
    if (!Writable(w, lua_gettop(L))) {
      w.U8(2);  // an unnamed function: the restored-into one keeps its own
    } else {
      w.U8(1);
      w.where.push_back(std::string("(upvalue ") + (name ? name : "?") + ")");
      WriteValue(w, lua_gettop(L));
      w.where.pop_back();
    }
    lua_pop(L, 1);
  }
  --w.depth;
  return w.ok;
}

// ---------------------------------------------------------------------------
// Restore

struct Reader {
  lua_Transfer in = nullptr;
  lua_State* L = nullptr;
  bool ok = true;
  int objsIdx = 0;     // id -> value
  int actsIdx = 0;     // upvalue actions
  int actCount = 0;
  uint32_t nextId = 2;
  uint32_t groupCount = 0;
  int depth = 0;
  std::string text;

  bool Bytes(void* data, uint32_t length) {
    if (!ok) return false;
    if (length == 0) return true;
    if (in(data, length) != 0) ok = false;
    return ok;
  }
  bool U8(uint8_t& v) { return Bytes(&v, 1); }
  bool U32(uint32_t& v) { return Bytes(&v, 4); }
  bool I32(int32_t& v) { return Bytes(&v, 4); }
  // Reads a string into `text`, in bounded pieces.
  bool Str(uint32_t limit) {
    uint32_t length = 0;
    if (!U32(length)) return false;
    if (length > limit) return Fail("a string is too long");
    text.clear();
    while (length > 0 && ok) {
      const uint32_t piece = std::min<uint32_t>(length, 1u << 16);
      const size_t at = text.size();
      text.resize(at + piece);
      Bytes(text.data() + at, piece);
      length -= piece;
    }
    return ok;
  }
  bool Fail(const char* why) {
    if (ok) LogLine("restore: %s", why);
    ok = false;
    return false;
  }
};

bool ReadValue(Reader& r);

// Reads a table body (pairs, end, metatable) into the table at t.
// The metatable is left on the stack.
bool ReadTableBody(Reader& r, int t) {
  lua_State* L = r.L;
  for (;;) {
    if (!ReadValue(r)) return false;
    if (IsNil(L, -1)) {
      lua_pop(L, 1);
      break;
    }
    if (lua_type(L, -1) == LUA_TNUMBER && std::isnan(lua_tonumber(L, -1))) {
      return r.Fail("a table key is not a number");
    }
    if (!ReadValue(r)) return false;
    lua_rawset(L, t);
  }
  if (!ReadValue(r)) return false;
  if (!IsNil(L, -1) && lua_type(L, -1) != LUA_TTABLE) return r.Fail("a metatable is not a table");
  return true;
}

// Finds a saved name path in the state being restored into.
void ResolvePath(Reader& r, uint8_t root, int32_t ref, const std::vector<std::string>& parts) {
  lua_State* L = r.L;
  if (root == 0) {
    lua_pushglobaltable(L);
  } else {
    PushRegTable(L, kRegRefs);
    lua_rawgeti(L, -1, ref);
    lua_remove(L, -2);
  }
  for (const std::string& part : parts) {
    if (lua_type(L, -1) != LUA_TTABLE) {
      lua_pop(L, 1);
      lua_pushnil(L);
      break;
    }
    lua_pushlstring(L, part.data(), part.size());
    lua_rawget(L, -2);
    lua_remove(L, -2);
  }
  if (!IsForeign(L, -1)) {
    std::string name = root == 0 ? "" : "ref " + std::to_string(ref) + ":";
    for (size_t i = 0; i < parts.size(); ++i) name += (i ? "." : "") + parts[i];
    LogLine("restore: %s is not found; restored as nil", name.c_str());
    lua_pop(L, 1);
    lua_pushnil(L);
  }
}

bool ReadValue(Reader& r) {
  lua_State* L = r.L;
  if (!r.ok) return false;
  if (!lua_checkstack(L, 8) || r.depth >= kMaxDepth) return r.Fail("values nest too deeply");
  uint8_t kind = 0;
  if (!r.U8(kind)) return r.Fail("the stream ends early");
  switch (kind) {
    case kNil: lua_pushnil(L); return true;
    case kFalse: lua_pushboolean(L, 0); return true;
    case kTrue: lua_pushboolean(L, 1); return true;
    case kFloat: {
      double v = 0;
      if (!r.Bytes(&v, 8)) return r.Fail("the stream ends early");
      lua_pushnumber(L, v);
      return true;
    }
    case kInteger: {
      int64_t v = 0;
      if (!r.Bytes(&v, 8)) return r.Fail("the stream ends early");
      lua_pushinteger(L, v);
      return true;
    }
    case kString:
      if (!r.Str(kMaxString)) return r.Fail("the stream ends early");
      lua_pushlstring(L, r.text.data(), r.text.size());
      return true;
    case kTable: {
      if (r.nextId >= kMaxCount) return r.Fail("too many objects");
      const uint32_t id = r.nextId++;
      lua_newtable(L);
      const int t = lua_gettop(L);
      lua_pushvalue(L, t);
      lua_rawseti(L, r.objsIdx, id);
      ++r.depth;
      const bool ok = ReadTableBody(r, t);
      --r.depth;
      if (!ok) return false;
      if (IsTable(L, -1)) {
        lua_setmetatable(L, t);
      } else {
        lua_pop(L, 1);
      }
      return true;
    }
    case kBackRef: {
      uint32_t id = 0;
      if (!r.U32(id)) return r.Fail("the stream ends early");
      if (id < 1 || id >= r.nextId) return r.Fail("a reference to an unknown object");
      lua_rawgeti(L, r.objsIdx, id);
      return true;
    }
    case kUserTag: {
      int32_t tag = 0;
      uint32_t low = 0, high = 0;
      if (!r.I32(tag) || !r.U32(low) || !r.U32(high)) return r.Fail("the stream ends early");
      int64_t value;
      if (lua_restorehook) {
        value = static_cast<int64_t>(reinterpret_cast<intptr_t>(lua_restorehook(tag, low, high)));
      } else {
        value = static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
      }
      PushUserTag(L, value, tag);
      return true;
    }
    case kByPath: {
      if (r.nextId >= kMaxCount) return r.Fail("too many objects");
      const uint32_t id = r.nextId++;
      uint8_t root = 0;
      int32_t ref = 0;
      uint32_t count = 0;
      if (!r.U8(root) || !r.I32(ref) || !r.U32(count)) return r.Fail("the stream ends early");
      if (root > 1 || count > kMaxPathParts) return r.Fail("a malformed name path");
      std::vector<std::string> parts;
      for (uint32_t i = 0; i < count; ++i) {
        if (!r.Str(4096)) return r.Fail("a malformed name path");
        parts.push_back(r.text);
      }
      ResolvePath(r, root, ref, parts);
      const int f = lua_gettop(L);
      lua_pushvalue(L, f);
      lua_rawseti(L, r.objsIdx, id);
      uint32_t nups = 0;
      if (!r.U32(nups)) return r.Fail("the stream ends early");
      if (nups > kMaxUpvalues) return r.Fail("too many upvalues");
      ++r.depth;
      for (uint32_t i = 1; i <= nups; ++i) {
        uint32_t group = 0;
        uint8_t mode = 0;
        if (!r.U32(group) || !r.U8(mode)) return r.Fail("the stream ends early");
        if (mode > 2) return r.Fail("a malformed upvalue");
        if (mode == 0 ? (group < 1 || group > r.groupCount) : group != r.groupCount + 1) {
          return r.Fail("a malformed upvalue group");
        }
        if (mode != 0) ++r.groupCount;
        // Action: {function, index, group, mode, value}
        lua_createtable(L, 5, 0);
        lua_pushvalue(L, f);
        lua_rawseti(L, -2, 1);
        lua_pushinteger(L, i);
        lua_rawseti(L, -2, 2);
        lua_pushinteger(L, group);
        lua_rawseti(L, -2, 3);
        lua_pushinteger(L, mode);
        lua_rawseti(L, -2, 4);
        if (mode == 1) {
          if (!ReadValue(r)) return false;
          lua_rawseti(L, -2, 5);
        }
        lua_rawseti(L, r.actsIdx, ++r.actCount);
      }
      --r.depth;
      return true;
    }
    case kEngineFunction: {
      if (!r.Str(4096)) return r.Fail("the stream ends early");
      PushRegTable(L, kRegCFuncs);
      if (lua_getfield(L, -1, r.text.c_str()) != LUA_TFUNCTION) {
        LogLine("restore: engine function %s is not registered; restored as nil", r.text.c_str());
        lua_pop(L, 1);
        lua_pushnil(L);
      }
      lua_remove(L, -2);
      return true;
    }
    default: return r.Fail("an unknown value kind");
  }
}

void ApplyUpvalues(Reader& r) {
  lua_State* L = r.L;
  // group -> {function, index} of its first member
  lua_newtable(L);
  const int groups = lua_gettop(L);
  for (int k = 1; k <= r.actCount; ++k) {
    lua_rawgeti(L, r.actsIdx, k);
    const int act = lua_gettop(L);
    lua_rawgeti(L, act, 1);
    const int f = lua_gettop(L);
    lua_rawgeti(L, act, 2);
    const int index = static_cast<int>(lua_tointeger(L, -1));
    lua_rawgeti(L, act, 3);
    const lua_Integer group = lua_tointeger(L, -1);
    lua_rawgeti(L, act, 4);
    const lua_Integer mode = lua_tointeger(L, -1);
    lua_pop(L, 3);
    const bool usable = lua_type(L, f) == LUA_TFUNCTION && !lua_iscfunction(L, f) &&
                        lua_getupvalue(L, f, index) != nullptr;
    if (usable) lua_pop(L, 1);
    if (usable && mode != 0) {
      lua_createtable(L, 2, 0);
      lua_pushvalue(L, f);
      lua_rawseti(L, -2, 1);
      lua_pushinteger(L, index);
      lua_rawseti(L, -2, 2);
      lua_rawseti(L, groups, group);
      if (mode == 1) {
        lua_rawgeti(L, act, 5);
        if (!lua_setupvalue(L, f, index)) lua_pop(L, 1);
      }
    } else if (usable && mode == 0) {
      if (lua_rawgeti(L, groups, group) == LUA_TTABLE) {
        lua_rawgeti(L, -1, 1);
        lua_rawgeti(L, -2, 2);
        const int firstIndex = static_cast<int>(lua_tointeger(L, -1));
        const int first = lua_gettop(L) - 1;
        if (lua_getupvalue(L, first, firstIndex)) {
          lua_pop(L, 1);
          lua_upvaluejoin(L, f, index, first, firstIndex);
        }
        lua_pop(L, 2);
      }
      lua_pop(L, 1);
    }
    lua_pop(L, 2);  // f, act
  }
  lua_pop(L, 1);
}

}  // namespace
}  // namespace luart

using namespace luart;

int lua_Save(lua_Transfer writer) {
  Runtime& rt = g_rt;
  if (!rt.S || !writer) return 1;
  lua_State* L = rt.S;
  const int top = lua_gettop(L);
  if (!lua_checkstack(L, 32)) return 1;
  Writer w;
  w.out = writer;
  w.L = L;
  BuildPaths(L);
  w.pathsIdx = lua_gettop(L);
  lua_newtable(L);
  w.idsIdx = lua_gettop(L);
  lua_pushglobaltable(L);
  const int globals = lua_gettop(L);
  lua_pushvalue(L, globals);
  lua_pushinteger(L, 1);
  lua_rawset(L, w.idsIdx);

  w.U32(kMagic);
  w.U32(kVersion);
  w.where.emplace_back("globals");
  WriteTableBody(w, globals);
  w.where.pop_back();
  // References, in number order.
  PushRegTable(L, kRegRefs);
  const int refs = lua_gettop(L);
  std::vector<lua_Integer> numbers;
  lua_pushnil(L);
  while (lua_next(L, refs)) {
    if (lua_isinteger(L, -2)) numbers.push_back(lua_tointeger(L, -2));
    lua_pop(L, 1);
  }
  std::sort(numbers.begin(), numbers.end());
  w.U32(static_cast<uint32_t>(numbers.size()));
  for (lua_Integer n : numbers) {
    w.I32(static_cast<int32_t>(n));
    lua_rawgeti(L, refs, n);
    w.where.push_back("ref " + std::to_string(n));
    WriteValue(w, -1);
    w.where.pop_back();
    lua_pop(L, 1);
  }
  // Tasks: function and arguments.
  PushRegTable(L, kRegTasks);
  const int tasks = lua_gettop(L);
  w.U32(static_cast<uint32_t>(rt.tasks.size()));
  for (const Task& task : rt.tasks) {
    w.I32(task.id);
    lua_rawgeti(L, tasks, task.id);
    const int record = lua_gettop(L);
    lua_rawgeti(L, record, 2);
    w.where.push_back("task " + std::to_string(task.id));
    if (!Writable(w, -1)) {
      LogLine("save: task %d runs a function that no name reaches; it will not be restored", task.id);
    }
    WriteValue(w, -1);
    lua_pop(L, 1);
    lua_rawgeti(L, record, 3);
    const int args = lua_gettop(L);
    lua_getfield(L, args, "n");
    const int nargs = static_cast<int>(lua_tointeger(L, -1));
    lua_pop(L, 1);
    w.U32(static_cast<uint32_t>(nargs));
    for (int i = 1; i <= nargs; ++i) {
      lua_rawgeti(L, args, i);
      WriteValue(w, -1);
      lua_pop(L, 1);
    }
    w.where.pop_back();
    lua_pop(L, 2);
  }
  w.I32(rt.nextTaskId);
  w.U32(kEndMagic);
  w.Flush();
  lua_settop(L, top);
  if (!w.ok) LogLine("save: the runtime state was not written");
  return w.ok ? 0 : 1;
}

int lua_Restore(lua_Transfer reader) {
  Runtime& rt = g_rt;
  if (!rt.S || !reader) return 1;
  if (rt.updating) {
    LogLine("restore: not possible while tasks run");
    return 1;
  }
  lua_State* L = rt.S;
  const int top = lua_gettop(L);
  if (!lua_checkstack(L, 32)) return 1;
  Reader r;
  r.in = reader;
  r.L = L;
  lua_newtable(L);
  r.objsIdx = lua_gettop(L);
  lua_newtable(L);
  r.actsIdx = lua_gettop(L);
  lua_pushglobaltable(L);
  lua_rawseti(L, r.objsIdx, 1);

  uint32_t magic = 0, version = 0;
  if (!r.U32(magic) || !r.U32(version) || magic != kMagic || version != kVersion) {
    r.Fail("not a runtime state of this version");
  }
  // The globals' new contents, then their metatable.
  lua_newtable(L);
  const int globals = lua_gettop(L);
  if (r.ok) ReadTableBody(r, globals);
  if (!r.ok) {
    lua_settop(L, top);
    return 1;
  }
  const int globalsMeta = lua_gettop(L);
  // References.
  lua_newtable(L);
  const int refs = lua_gettop(L);
  uint32_t count = 0;
  int maxRef = 0;
  if (r.U32(count) && count > kMaxCount) r.Fail("too many references");
  for (uint32_t i = 0; i < count && r.ok; ++i) {
    int32_t n = 0;
    if (!r.I32(n)) break;
    if (n < 1) {
      r.Fail("a bad reference number");
      break;
    }
    if (!ReadValue(r)) break;
    lua_rawseti(L, refs, n);
    maxRef = std::max(maxRef, n);
  }
  // Tasks: {id, function, args...}
  lua_newtable(L);
  const int tasks = lua_gettop(L);
  uint32_t taskCount = 0;
  if (r.ok && r.U32(taskCount) && taskCount > kMaxCount) r.Fail("too many tasks");
  for (uint32_t i = 0; i < taskCount && r.ok; ++i) {
    int32_t id = 0;
    uint32_t nargs = 0;
    if (!r.I32(id)) break;
    if (id < 1) {
      r.Fail("a bad task id");
      break;
    }
    lua_newtable(L);
    lua_pushinteger(L, id);
    lua_rawseti(L, -2, 1);
    if (!ReadValue(r)) break;
    lua_rawseti(L, -2, 2);
    if (!r.U32(nargs)) break;
    if (nargs > 250) {
      r.Fail("too many task arguments");
      break;
    }
    lua_pushinteger(L, nargs);
    lua_rawseti(L, -2, 3);
    for (uint32_t a = 0; a < nargs && r.ok; ++a) {
      if (!ReadValue(r)) break;
      lua_rawseti(L, -2, 4 + static_cast<int>(a));
    }
    lua_rawseti(L, tasks, static_cast<int>(i) + 1);
  }
  int32_t nextTask = 1;
  uint32_t end = 0;
  if (r.ok && (!r.I32(nextTask) || !r.U32(end) || end != kEndMagic || nextTask < 1)) {
    r.Fail("the stream does not end where it should");
  }
  if (!r.ok) {
    lua_settop(L, top);
    LogLine("restore: the runtime state is unchanged");
    return 1;
  }

  // Everything read: replace the state.
  lua_pushglobaltable(L);
  const int live = lua_gettop(L);
  lua_pushnil(L);
  while (lua_next(L, live)) {
    lua_pop(L, 1);
    lua_pushvalue(L, -1);
    lua_pushnil(L);
    lua_rawset(L, live);
  }
  lua_pushnil(L);
  while (lua_next(L, globals)) {
    lua_pushvalue(L, -2);
    lua_insert(L, -2);
    lua_rawset(L, live);
  }
  lua_pushvalue(L, globalsMeta);
  lua_setmetatable(L, live);
  lua_pop(L, 1);

  lua_pushvalue(L, refs);
  lua_setfield(L, LUA_REGISTRYINDEX, kRegRefs);
  rt.freeRefs.clear();
  for (int n = 1; n <= maxRef; ++n) {
    if (lua_rawgeti(L, refs, n) == LUA_TNIL) rt.freeRefs.push_back(n);
    lua_pop(L, 1);
  }
  std::reverse(rt.freeRefs.begin(), rt.freeRefs.end());
  rt.nextRef = maxRef + 1;

  ApplyUpvalues(r);

  CloseTasks();
  lua_newtable(L);
  lua_setfield(L, LUA_REGISTRYINDEX, kRegTasks);
  for (uint32_t i = 1; i <= taskCount; ++i) {
    lua_rawgeti(L, tasks, static_cast<int>(i));
    const int record = lua_gettop(L);
    lua_rawgeti(L, record, 1);
    const int id = static_cast<int>(lua_tointeger(L, -1));
    lua_rawgeti(L, record, 3);
    const int nargs = static_cast<int>(lua_tointeger(L, -1));
    lua_pop(L, 2);
    lua_rawgeti(L, record, 2);
    if (lua_type(L, -1) != LUA_TFUNCTION) {
      LogLine("restore: task %d is not restored: its function has no name", id);
      lua_pop(L, 2);
      continue;
    }
    lua_checkstack(L, nargs + 4);
    for (int a = 0; a < nargs; ++a) lua_rawgeti(L, record, 4 + a);
    CreateTask(L, nargs, id);
    lua_pop(L, 1);
  }
  rt.nextTaskId = std::max(rt.nextTaskId, static_cast<int>(nextTask));
  lua_settop(L, top);
  return 0;
}
