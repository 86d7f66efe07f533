// The file-search module over std::filesystem, with the pattern rules of the data files:
// "*.*" lists every entry (names without a dot too), "*.ext" the entries
// whose extension is ext, ignoring case.
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "std/std.h"
#include "std/stdFileUtil.h"

namespace fs = std::filesystem;

struct FileUtilFind {
  int delivered;          // results handed out so far
  char pattern[512];      // the pattern as built from path and mode
  std::string directory;  // host directory to list
  std::string extension;  // wanted extension without the dot; empty = all
  bool valid;             // false: the mode finds nothing
  fs::directory_iterator it;
  bool open;
};

namespace {

HostServices* gServices = nullptr;
int gInitialized = 0;
int gStarted = 0;

// The record may go away after this: forget it, so later searches use the
// general library's live record.
void Uninitialize() {
  gInitialized = 0;
  gServices = nullptr;
}
int Startup() {
  if (!gInitialized || gStarted) return 1;
  gStarted = 1;
  return 0;
}
void Shutdown() {
  gStarted = 0;
}
int Pause() {
  return 0;
}
int Resume() {
  return 0;
}
int SaveNothing(SaveTransferFn) {
  return 0;
}

bool Matches(const FileUtilFind* find, const fs::directory_entry& entry) {
  if (find->extension.empty()) return true;
  const std::string name = entry.path().filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  return strcasecmp(name.c_str() + dot + 1, find->extension.c_str()) == 0;
}

}  // namespace

int FileUtil_SysInitialize(HostServices* services, ModuleDescriptor* descriptor) {
  gServices = services;
  descriptor->uninitialize = Uninitialize;
  descriptor->startup = Startup;
  descriptor->shutdown = Shutdown;
  descriptor->save = SaveNothing;
  descriptor->restore = SaveNothing;
  descriptor->pause = Pause;
  descriptor->resume = Resume;
  gInitialized = 1;
  return 0;
}

FileUtilFind* FileUtil_NewFind(const char* directory, int mode, const char* extension) {
  HostServices* hs = gServices ? gServices : std_pHS;
  void* memory = hs->memAlloc(sizeof(FileUtilFind), __FILE__, __LINE__);
  if (!memory) return nullptr;
  auto* find = new (memory) FileUtilFind{};
  find->directory = directory && *directory ? directory : ".";
  for (char& c : find->directory)
    if (c == '\\') c = '/';
  const char* ext = extension ? extension : "";
  if (*ext == '.') ext++;
  if (mode >= 0 && mode <= 2) {
    std::snprintf(find->pattern, sizeof find->pattern, "%s*.*", directory ? directory : "");
    find->valid = true;
  } else if (mode == kFileUtilFindExtension) {
    std::snprintf(find->pattern, sizeof find->pattern, "%s*.%s", directory ? directory : "", ext);
    find->extension = ext;
    find->valid = true;
  }
  return find;
}

int FileUtil_FindNext(FileUtilFind* find, FileUtilFindResult* result) {
  if (!find || !result || !find->valid) return 0;
  std::error_code ec;
  if (!find->open) {
    find->it = fs::directory_iterator(find->directory, ec);
    if (ec) return 0;
    find->open = true;
  } else {
    if (find->it == fs::directory_iterator()) return 0;
    find->it.increment(ec);
    if (ec) return 0;
  }
  for (; find->it != fs::directory_iterator(); find->it.increment(ec)) {
    if (ec) return 0;
    const fs::directory_entry& entry = *find->it;
    if (!Matches(find, entry)) continue;
    std::memset(result, 0, sizeof *result);
    std::snprintf(result->name, sizeof result->name, "%s", entry.path().filename().c_str());
    result->attributes = entry.is_directory(ec) ? kFileUtilDirectoryFlag : 0;
    const auto written = entry.last_write_time(ec);
    if (!ec) {
      const auto since = written.time_since_epoch();
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
      result->timeLow = static_cast<uint32_t>(static_cast<uint64_t>(seconds));
    }
    find->delivered++;
    return 1;
  }
  return 0;
}

void FileUtil_ResetFind(FileUtilFind* find) {
  if (!find) return;
  find->it = fs::directory_iterator();
  find->open = false;
  find->delivered = 0;
}

void FileUtil_DisposeFind(FileUtilFind* find) {
  if (!find) return;
  HostServices* hs = gServices ? gServices : std_pHS;
  find->~FileUtilFind();
  hs->memFree(find);
}
