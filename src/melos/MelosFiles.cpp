// The sound file list (see MelosFiles.h). One pool of 10 entries serves both
// lists; the lists are linked by pool index, newest first.
#include "melos/MelosFiles.h"

#include <cstring>

#include "melos/Melos.h"
#include "melos/MelosBytes.h"
#include "melos/MelosScript.h"

namespace {

constexpr int kNone = -1;

struct Entry {
  int prev;        // pool index, kNone
  int next;        // pool index, kNone
  int32_t handle;  // 0 = free
  char name[MELOS_FILE_NAME + 1];
  int32_t references;
  bool linked;
};

// One of the two lists with its pair of callbacks.
struct List {
  int head;
  MelosFileOpenFn open;
  MelosFileCloseFn close;
  bool Usable() const { return open && close; }
};

Entry g_pool[MELOS_FILE_ENTRIES];
List g_loaded{kNone, nullptr, nullptr};
List g_opened{kNone, nullptr, nullptr};
bool g_ready = false;

void ClearPool() {
  for (Entry& e : g_pool) e = Entry{kNone, kNone, 0, {}, 0, false};
  g_loaded.head = g_opened.head = kNone;
}

int IndexOf(const Entry& e) {
  return static_cast<int>(&e - g_pool);
}

void Insert(List& list, Entry& e) {
  if (e.linked) {
    Melos_Complain("MELOS: list arg err when adding...");
    return;
  }
  e.prev = kNone;
  e.next = list.head;
  if (list.head != kNone) g_pool[list.head].prev = IndexOf(e);
  list.head = IndexOf(e);
  e.linked = true;
}

void Remove(List& list, Entry& e) {
  if (!e.linked || list.head == kNone) {
    Melos_Complain("MELOS: list arg err when removing...");
    return;
  }
  int at = list.head;
  while (at != kNone && at != IndexOf(e)) at = g_pool[at].next;
  if (at == kNone) {
    Melos_Complain("MELOS: item not on list...");
    return;
  }
  if (e.prev != kNone)
    g_pool[e.prev].next = e.next;
  else
    list.head = e.next;
  if (e.next != kNone) g_pool[e.next].prev = e.prev;
  e.prev = e.next = kNone;
  e.linked = false;
}

Entry* FindIn(const List& list, int32_t handle) {
  for (int at = list.head; at != kNone; at = g_pool[at].next)
    if (g_pool[at].handle == handle) return &g_pool[at];
  return nullptr;
}

Entry* FindNamed(const List& list, const char* name) {
  for (int at = list.head; at != kNone; at = g_pool[at].next)
    if (std::strcmp(g_pool[at].name, name) == 0) return &g_pool[at];
  return nullptr;
}

int Count(const List& list) {
  int n = 0;
  for (int at = list.head; at != kNone; at = g_pool[at].next) ++n;
  return n;
}

int32_t Add(List& list, const char* name, int32_t hint, bool load) {
  if (!g_ready || !list.Usable() || !name || !name[0]) return 0;
  if (const int32_t listed = MelosFiles_Find(name)) {
    if (Entry* e = FindIn(list, listed)) {
      ++e->references;
      return listed;
    }
  }
  Entry* free = nullptr;
  for (Entry& e : g_pool) {
    if (e.handle == 0) {
      free = &e;
      break;
    }
  }
  if (!free) {
    Melos_Complain("Sound List FULL!...");
    return 0;
  }
  // The name is checked before the file is opened, so a name that does not
  // fit never leaves a file open behind it.
  if (std::strlen(name) > MELOS_FILE_NAME) {
    Melos_Complain("Name too int: %.255s...", name);
    return 0;
  }
  const int32_t handle = list.open(name, hint);
  if (handle == 0) {
    if (load) Melos_Complain("Host couldn't load sound %.255s...", name);
    return 0;
  }
  std::strcpy(free->name, name);
  free->handle = handle;
  free->references = 1;
  Insert(list, *free);
  return handle;
}

void Release(const List& list, int32_t handle) {
  if (!g_ready || !list.Usable()) return;
  if (Entry* e = FindIn(list, handle)) {
    if (e->references > 0) --e->references;
  }
  MelosFiles_Collect();
}

void ReleaseAll(const List& list) {
  if (!g_ready || !list.Usable()) return;
  for (int at = list.head; at != kNone; at = g_pool[at].next) g_pool[at].references = 0;
  MelosFiles_Collect();
}

void CollectList(List& list) {
  if (!list.Usable()) return;
  const MelosScriptCalls& calls = MelosScript_Calls();
  int at = list.head;
  while (at != kNone) {
    Entry& e = g_pool[at];
    at = e.next;
    if (e.references != 0) continue;
    if (calls.getParam(e.handle, MELOS_PARAM_PLAYING) > 0 ||
        calls.getParam(e.handle, MELOS_PARAM_PENDING) > 0)
      continue;
    list.close(e.handle);
    e.handle = 0;
    Remove(list, e);
  }
}

// The 57-byte record of an entry.
void PutRecord(uint8_t* p, const Entry& e) {
  std::memset(p, 0, MELOS_FILE_RECORD);
  // The two list links were in-memory addresses of no use to a reader: 0.
  Melos_PutLE32(p + 16, static_cast<uint32_t>(e.handle));
  std::memcpy(p + 20, e.name, sizeof e.name);
  Melos_PutLE32(p + 53, static_cast<uint32_t>(e.references));
}

int SaveList(const List& list, uint8_t* p) {
  int n = 0;
  for (int at = list.head; at != kNone; at = g_pool[at].next, ++n)
    PutRecord(p + n * MELOS_FILE_RECORD, g_pool[at]);
  return n * MELOS_FILE_RECORD;
}

// Reopens `count` saved entries of one list; false at the first failure.
bool RestoreList(List& list, const uint8_t* p, uint32_t count, bool load) {
  for (uint32_t k = 0; k < count; ++k, p += MELOS_FILE_RECORD) {
    const int32_t handle = static_cast<int32_t>(Melos_LE32(p + 16));
    char name[MELOS_FILE_NAME + 1];
    std::memcpy(name, p + 20, sizeof name);
    name[MELOS_FILE_NAME] = 0;
    const int32_t references = static_cast<int32_t>(Melos_LE32(p + 53));
    if (Add(list, name, handle, load) == 0) {
      if (load) {
        Melos_Complain("ERR: MelosRestoreFilelist() couldn't load file %.255s...", name);
        return false;
      }
      Melos_Complain("ERR: MelosRestoreFilelist() couldn't open file %.255s...", name);
    }
    if (list.head == kNone || g_pool[list.head].handle != handle) {
      Melos_Complain("ERR: MelosRestoreFilelist() detected modified sound number...");
      return false;
    }
    g_pool[list.head].references = references < 0 ? 0 : references;
  }
  return true;
}

}  // namespace

void MelosFiles_Init(MelosFileOpenFn load, MelosFileCloseFn free, MelosFileOpenFn open,
                     MelosFileCloseFn close) {
  g_loaded.open = load;
  g_loaded.close = free;
  g_opened.open = open;
  g_opened.close = close;
  ClearPool();
  g_ready = true;
}

int32_t MelosFiles_Find(const char* name) {
  if (!g_ready || !name) return 0;
  if (const Entry* e = FindNamed(g_loaded, name)) return e->handle;
  if (const Entry* e = FindNamed(g_opened, name)) return e->handle;
  return 0;
}

int32_t MelosFiles_Load(const char* name, int32_t hint) {
  return Add(g_loaded, name, hint, true);
}
int32_t MelosFiles_Open(const char* name, int32_t hint) {
  return Add(g_opened, name, hint, false);
}

void MelosFiles_ReleaseLoaded(int32_t handle) {
  Release(g_loaded, handle);
}
void MelosFiles_ReleaseOpened(int32_t handle) {
  Release(g_opened, handle);
}
void MelosFiles_ReleaseAllLoaded(void) {
  ReleaseAll(g_loaded);
}
void MelosFiles_ReleaseAllOpened(void) {
  ReleaseAll(g_opened);
}

void MelosFiles_Collect(void) {
  if (!g_ready) return;
  CollectList(g_loaded);
  CollectList(g_opened);
}

int MelosFiles_Save(uint8_t* buffer, int32_t room) {
  if (!g_ready) return 0;
  if (!buffer || room < MELOS_FILE_SAVE_ROOM) {
    Melos_Complain("ERR: filelist save too big...");
    return 0;
  }
  Melos_PutLE32(buffer, static_cast<uint32_t>(Count(g_loaded)));
  Melos_PutLE32(buffer + 4, static_cast<uint32_t>(Count(g_opened)));
  int at = 8;
  at += SaveList(g_loaded, buffer + at);
  at += SaveList(g_opened, buffer + at);
  return at;
}

int MelosFiles_Restore(const uint8_t* buffer, uint32_t size) {
  if (!g_ready || !buffer || size < 8) return 0;
  const uint32_t loaded = Melos_LE32(buffer);
  const uint32_t opened = Melos_LE32(buffer + 4);
  const uint64_t entries = static_cast<uint64_t>(loaded) + opened;
  if (entries > MELOS_FILE_ENTRIES || 8 + entries * MELOS_FILE_RECORD > size) {
    Melos_Complain("ERR: MelosRestoreFilelist() found a damaged file list...");
    return 0;
  }
  ClearPool();
  const uint8_t* p = buffer + 8;
  if (!RestoreList(g_loaded, p, loaded, true)) return 0;
  if (!RestoreList(g_opened, p + loaded * MELOS_FILE_RECORD, opened, false)) return 0;
  return static_cast<int>(8 + entries * MELOS_FILE_RECORD);
}

int MelosFiles_References(int32_t handle) {
  if (handle == 0) return -1;
  for (const Entry& e : g_pool)
    if (e.handle == handle) return e.references;
  return -1;
}
