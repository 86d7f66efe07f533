// The localised text table.
#include "engine/Polyglot.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "std/std.h"

namespace {

HostServices* gServices = nullptr;
char* gText = nullptr;  // the body, zero-terminated, keys and texts in place
struct Entry {
  char* key;   // upper-cased, zero-terminated inside the body
  char* text;  // the text after the tab; empty for a line without a tab
};
Entry* gKeys = nullptr;  // sorted by the keys' unsigned bytes
int gCount = 0;

HostServices* Services() {
  return gServices ? gServices : std_pHS;
}

int Startup() {
  return 0;
}

bool IsEntryLine(const char* line) {
  return *line != '#' && *line != '\r' && *line != '\n' && *line != '\0';
}

// Walks the zero-terminated body line by line; `visit` gets each line start
// and its end (the CR, LF or terminator).
template <typename Visit>
void ForEachLine(char* body, Visit visit) {
  char* p = body;
  while (*p) {
    char* end = p;
    while (*end && *end != '\r' && *end != '\n') end++;
    char* next = end;
    if (*next == '\r') next++;
    if (*next == '\n') next++;
    visit(p, end);
    p = next;
  }
}

bool KeyLess(const Entry& a, const Entry& b) {
  return std::strcmp(a.key, b.key) < 0;  // strcmp compares as unsigned bytes
}

}  // namespace

int Polyglot_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  gServices = services;
  descriptor->startup = Startup;
  descriptor->shutdown = Polyglot_Shutdown;
  return 0;
}

void Polyglot_Shutdown(void) {
  if (gText) Services()->memFree(gText);
  if (gKeys) Services()->memFree(gKeys);
  gText = nullptr;
  gKeys = nullptr;
  gCount = 0;
}

int Polyglot_LoadTable(const char* fileName) {
  if (!fileName) return 0;
  HostServices* hs = Services();
  char cwd[4096];
  std::string path = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + fileName : fileName;
  if (fileName[0] == '/') path = fileName;
  const stdFile_t file = hs->fileOpen(path.c_str(), "rb");
  if (!file) return 0;
  hs->fileSeek(file, 0, SEEK_END);
  const int64_t size = hs->fileTell(file);
  hs->fileSeek(file, 0, SEEK_SET);
  if (size < 0) {
    hs->fileClose(file);
    return 0;
  }
  char* block = static_cast<char*>(hs->memAlloc(static_cast<size_t>(size) + 1, __FILE__, __LINE__));
  if (!block) {
    hs->fileClose(file);
    return 0;
  }
  const size_t got = size > 0 ? hs->fileRead(file, block, static_cast<size_t>(size)) : 0;
  hs->fileClose(file);
  size_t length = got;
  if (length >= 4 && std::memcmp(block, "RCNE", 4) == 0) {
    length -= 4;
    for (size_t i = 0; i < length; i++)
      block[i] = static_cast<char>(block[i + 4] ^ kPolyglotScrambleKey);
  }
  block[length] = '\0';
  // A zero byte inside the body ends it there.
  int count = 0;
  ForEachLine(block, [&](char* line, char*) {
    if (IsEntryLine(line)) count++;
  });
  Entry* keys =
      static_cast<Entry*>(hs->memAlloc(sizeof(Entry) * (count ? count : 1), __FILE__, __LINE__));
  if (!keys) {
    hs->memFree(block);
    return 0;
  }
  int stored = 0;
  ForEachLine(block, [&](char* line, char* end) {
    if (!IsEntryLine(line)) return;
    *end = '\0';
    char* tab = std::strchr(line, '\t');
    if (tab) *tab = '\0';
    for (char* c = line; *c; c++)
      *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    keys[stored++] = Entry{line, tab ? tab + 1 : end};
  });
  std::sort(keys, keys + stored, KeyLess);
  // The new table replaces the previous one.
  Polyglot_Shutdown();
  gText = block;
  gKeys = keys;
  gCount = stored;
  return 1;
}

const char* Polyglot_Translate(const char* text) {
  if (!text) return nullptr;
  if (text[0] != '/') return text;
  const char* second = std::strchr(text + 1, '/');
  if (!second) return text;
  const char* fallback = second + 1;
  if (!gKeys) return fallback;
  char key[256];
  size_t n = std::min<size_t>(static_cast<size_t>(second - (text + 1)), sizeof key - 1);
  for (size_t i = 0; i < n; i++)
    key[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1 + i])));
  key[n] = '\0';
  int lo = 0, hi = gCount - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int cmp = std::strcmp(key, gKeys[mid].key);
    if (cmp == 0) return *gKeys[mid].text ? gKeys[mid].text : text;
    if (cmp < 0)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return fallback;
}

int Polyglot_GetCount(void) {
  return gCount;
}
