// The cutscene codec library's module registry.
#include "vembra/OrnShare.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr size_t kMaxKey = 99;
constexpr size_t kMaxConfig = 8191;

struct OrnShareEntry {
  const char* key;  // null when the slot is free
  void* table;
  int32_t refs;
};

int SilentPrinter(const char*, ...) {
  return 0;
}

struct EnumCursor {
  bool valid = false;
  std::string name;  // empty for "any"
  bool any = false;
  int n = 0;
  int slot = 0;
};

struct OrnShareState {
  bool initialised = false;
  const char* defaultConfig = nullptr;
  const char* overrideConfig = nullptr;
  int used = 0;          // high-water mark of slots in use
  int lastStarted = -1;  // slot of the last module started, -1 for none
  std::array<OrnShareEntry, kOrnShareSlots> entries{};
  EnumCursor cursor;
};

OrnShareState g_state;

OrnShareServices g_services = {
    OrnShare_Publish,     OrnShare_Unpublish,      OrnShare_Subscribe,
    OrnShare_Unsubscribe, OrnShare_BatchSubscribe, OrnShare_BatchUnsubscribe,
    OrnShare_Enumerate,   OrnShare_Count,          SilentPrinter,
};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The name part of a key: the text before the first '.' or '=', without the
// blanks, controls, bytes above '~', ',' and ';' that directly precede it.
std::string_view NamePart(const char* key) {
  std::string_view k(key);
  size_t end = k.find_first_of(".=");
  if (end == std::string_view::npos) end = k.size();
  while (end > 0) {
    unsigned char c = static_cast<unsigned char>(k[end - 1]);
    if (c < '!' || c > '~' || c == ',' || c == ';')
      --end;
    else
      break;
  }
  return k.substr(0, end);
}

bool IsSeparator(unsigned char c) {
  return c <= ' ' || c == ',' || c == ';' || c == 0x7F;
}

bool EndsValue(unsigned char c) {
  return c <= ' ' || c >= 0x80 || c == ',' || c == ';' || c == 0x7F;
}

// Looks a request (NAME or NAME.purpose) up in one configuration string: the
// first item whose key is the whole request wins; otherwise, for a request with
// a purpose, the last item keyed NAME alone. Items without '=' are skipped.
bool LookupConfig(const char* config, std::string_view request, std::string* value) {
  if (!config) return false;
  std::string copy(config, strnlen(config, kMaxConfig));
  size_t dot = request.find('.');
  std::string_view name = request.substr(0, dot);
  bool hasPurpose = dot != std::string_view::npos;
  bool haveFallback = false;
  std::string fallback;
  size_t i = 0;
  const size_t n = copy.size();
  while (i < n) {
    while (i < n && IsSeparator(static_cast<unsigned char>(copy[i]))) ++i;
    if (i >= n) break;
    size_t start = i;
    while (i < n && copy[i] != '=' && !IsSeparator(static_cast<unsigned char>(copy[i]))) ++i;
    if (i >= n || copy[i] != '=') continue;  // an item without '='
    std::string_view key(copy.data() + start, i - start);
    ++i;
    size_t vstart = i;
    while (i < n && !EndsValue(static_cast<unsigned char>(copy[i]))) ++i;
    std::string_view val(copy.data() + vstart, i - vstart);
    if (EqualNoCase(key, request)) {
      value->assign(val);
      return true;
    }
    if (hasPurpose && EqualNoCase(key, name)) {
      fallback.assign(val);
      haveFallback = true;
    }
  }
  if (haveFallback) *value = fallback;
  return haveFallback;
}

int FindKeyFromTop(std::string_view key) {
  for (int s = g_state.used - 1; s >= 0; --s) {
    const OrnShareEntry& e = g_state.entries[s];
    if (e.key && EqualNoCase(e.key, key)) return s;
  }
  return -1;
}

int FindTableFromTop(const void* table) {
  for (int s = g_state.used - 1; s >= 0; --s) {
    const OrnShareEntry& e = g_state.entries[s];
    if (e.key && e.table == table) return s;
  }
  return -1;
}

bool Matches(const OrnShareEntry& e, const char* name) {
  return e.key && (!name || EqualNoCase(NamePart(e.key), name));
}

bool IsModuleEntry(const OrnShareEntry& e) {
  return e.key && EqualNoCase(NamePart(e.key), "ORNMODULE");
}

}  // namespace

OrnShareServices* OrnShare_Init(OrnErrorPrinter printer, const OrnModuleListEntry* modules,
                                const char* defaultConfig, const char* overrideConfig) {
  g_state = OrnShareState{};
  g_state.defaultConfig = defaultConfig;
  g_state.overrideConfig = overrideConfig;
  g_services.ErrorPrinter = printer ? printer : SilentPrinter;
  for (const OrnModuleListEntry* m = modules; m && m->Register; ++m)
    m->Register(&g_services, m->context);
  g_state.initialised = true;
  return &g_services;
}

OrnErrorPrinter OrnShare_GetErrorPrinter(void) {
  return g_services.ErrorPrinter;
}

int OrnShare_Publish(const char* key, void* table) {
  if (!key) return 1;
  int slot = -1;
  for (int s = g_state.used - 1; s >= 0; --s) {
    if (!g_state.entries[s].key) {
      slot = s;
      break;
    }
  }
  if (slot < 0) {
    if (g_state.used >= kOrnShareSlots) return 1;
    slot = g_state.used++;
  }
  g_state.entries[slot] = OrnShareEntry{key, table, 0};
  g_state.cursor.valid = false;
  return 0;
}

int OrnShare_Unpublish(const char* key) {
  if (!key) return 1;
  int s = FindKeyFromTop(key);
  if (s < 0) return 1;
  int refs = g_state.entries[s].refs;
  g_state.entries[s] = OrnShareEntry{};
  g_state.cursor.valid = false;
  return refs;
}

void* OrnShare_Subscribe(const char* request, const char* defaults) {
  if (!g_state.initialised || !request) return nullptr;
  std::string_view req(request);
  std::string value;
  bool haveValue = LookupConfig(g_state.overrideConfig, req, &value) ||
                   LookupConfig(defaults, req, &value) ||
                   LookupConfig(g_state.defaultConfig, req, &value);
  std::string key(NamePart(request));
  if (key.size() > kMaxKey) key.resize(kMaxKey);
  int answer = -1;
  if (haveValue) {
    key += '=';
    key += value;
    if (key.size() > kMaxKey) key.resize(kMaxKey);
    answer = FindKeyFromTop(key);
  } else {
    for (int s = 0; s < g_state.used; ++s)
      if (Matches(g_state.entries[s], key.c_str())) answer = s;
  }
  if (answer < 0) return nullptr;
  g_state.entries[answer].refs++;
  return g_state.entries[answer].table;
}

int OrnShare_Unsubscribe(void* table) {
  int s = FindTableFromTop(table);
  if (s < 0) return 1;
  g_state.entries[s].refs--;
  return 0;
}

int OrnShare_BatchSubscribe(OrnBatchItem* items, const char* defaults) {
  for (OrnBatchItem* it = items; it && it->table; ++it) {
    void* t = nullptr;
    if (it->defaults && *it->defaults) t = OrnShare_Subscribe(it->request, it->defaults);
    if (!t && defaults && *defaults) t = OrnShare_Subscribe(it->request, defaults);
    if (!t) t = OrnShare_Subscribe(it->request, nullptr);
    *it->table = t;
    if (!t) {
      g_services.ErrorPrinter("OrnShare:BatchSubscribe Couldn't subscribe to %s interface.",
                              it->request ? it->request : "");
      return 1;
    }
  }
  return 0;
}

int OrnShare_BatchUnsubscribe(OrnBatchItem* items) {
  if (!items) return 0;
  int count = 0;
  while (items[count].table) ++count;
  for (int i = count - 1; i >= 0; --i) {
    OrnBatchItem& it = items[i];
    int s = FindTableFromTop(*it.table);
    if (s < 0) {
      g_services.ErrorPrinter("OrnShare:BatchUnsubscribe Couldn't unsubscribe from %s interface.",
                              it.request ? it.request : "");
      return 1;
    }
    g_state.entries[s].refs--;
    *it.table = nullptr;
  }
  return 0;
}

const char* OrnShare_Enumerate(const char* name, int n) {
  if (n < 0 || g_state.used == 0) return nullptr;
  EnumCursor& c = g_state.cursor;
  bool same = c.valid && c.any == (name == nullptr) && (!name || EqualNoCase(c.name, name));
  if (name && strlen(name) > kMaxKey) same = false;
  int slot = 0;
  int k = 0;
  if (same) {
    // Continue from the cursor, forward or backward.
    slot = c.slot;
    k = c.n;
    while (k > n) {
      do {
        --slot;
      } while (slot >= 0 && !Matches(g_state.entries[slot], name));
      if (slot < 0) break;
      --k;
    }
    if (slot < 0) {
      slot = 0;
      k = 0;
      same = false;
    }
  }
  if (!same) {
    slot = 0;
    while (slot < g_state.used && !Matches(g_state.entries[slot], name)) ++slot;
    k = 0;
  }
  while (slot < g_state.used && k < n) {
    ++slot;
    while (slot < g_state.used && !Matches(g_state.entries[slot], name)) ++slot;
    ++k;
  }
  if (slot >= g_state.used) return nullptr;
  c.valid = true;
  c.any = name == nullptr;
  c.name = name ? name : "";
  c.n = n;
  c.slot = slot;
  return g_state.entries[slot].key;
}

int OrnShare_Count(const char* name) {
  int count = 0;
  for (int s = 0; s < g_state.used; ++s)
    if (Matches(g_state.entries[s], name)) ++count;
  return count;
}

int OrnShare_Startup(void) {
  g_state.lastStarted = -1;
  for (int s = 0; s < g_state.used; ++s) {
    const OrnShareEntry& e = g_state.entries[s];
    if (!IsModuleEntry(e)) continue;
    auto* module = static_cast<OrnModuleTable*>(e.table);
    int result = (module && module->Startup) ? module->Startup() : 0;
    if (result != 0) {
      g_services.ErrorPrinter("OrnShare_Startup: Failed with module %s.", e.key);
      OrnShare_Shutdown();
      return result;
    }
    g_state.lastStarted = s;
  }
  return 0;
}

int OrnShare_Shutdown(void) {
  if (g_state.lastStarted < 0) return 1;
  for (int s = g_state.lastStarted; s >= 0; --s) {
    const OrnShareEntry& e = g_state.entries[s];
    if (!IsModuleEntry(e)) continue;
    auto* module = static_cast<OrnModuleTable*>(e.table);
    if (module && module->Shutdown) module->Shutdown();
  }
  g_state.lastStarted = -1;
  return 0;
}

int OrnShare_UnregisterAll(void) {
  for (int s = g_state.used - 1; s >= 0; --s) {
    const OrnShareEntry& e = g_state.entries[s];
    if (!IsModuleEntry(e)) continue;
    auto* module = static_cast<OrnModuleTable*>(e.table);
    if (module && module->Unregister) module->Unregister();
  }
  g_state.initialised = false;
  return 0;
}
