#include "platform/kv_PlatformFile.h"

#include <SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/kv_Log.h"

namespace {

// The rows the platform calls through and the rows the program installed.
kvPlatformFileCalls g_calls{};
kvPlatformFileCalls g_installedCalls{};

int NoResolver(const char* name, std::string* hostPath) {
  if (hostPath) hostPath->clear();
  kv_Log_Printf("No path resolver installed: %s cannot be found", name ? name : "(null)");
  return 0;
}

std::atomic<unsigned> g_tempCounter{0};

// Temporary files of the writes under way in this program (host paths).
std::mutex g_underWayMutex;
std::set<std::string> g_underWay;

void NoteUnderWay(const std::string& temp, bool underWay) {
  std::lock_guard<std::mutex> lock(g_underWayMutex);
  if (underWay) {
    g_underWay.insert(temp);
  } else {
    g_underWay.erase(temp);
  }
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Creates each folder along a host path ('/' separators); existing ones are fine.
bool MakeFolders(const std::string& host) {
  for (size_t pos = 1; pos <= host.size(); ++pos) {
    if (pos != host.size() && host[pos] != '/') continue;
    const std::string folder = host.substr(0, pos);
    if (folder == "." || folder == ".." || folder.back() == '/') continue;
    if (mkdir(folder.c_str(), 0777) == 0) {
      kv_PlatformFile_NoteEntryChanged(folder.c_str());
      continue;
    }
    struct stat st;
    if (errno != EEXIST || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      kv_Log_Printf("Unable to create directory %s: %s", folder.c_str(), std::strerror(errno));
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

kvPlatformFileCalls& kv_PlatformFile_Calls(void) {
  return g_calls;
}

void kv_PlatformFile_SetCalls(const kvPlatformFileCalls* calls) {
  g_installedCalls = calls ? *calls : kvPlatformFileCalls{};
  g_calls = g_installedCalls;
}

void kv_PlatformFile_ResetCalls(void) {
  g_calls = g_installedCalls;
}

int kv_PlatformFile_ResolvePath(const char* name, std::string* hostPath) {
  return g_calls.resolvePath ? g_calls.resolvePath(name, hostPath) : NoResolver(name, hostPath);
}

int kv_PlatformFile_ResolveWritePath(const char* name, std::string* hostPath) {
  return g_calls.resolveWritePath ? g_calls.resolveWritePath(name, hostPath)
                                  : NoResolver(name, hostPath);
}

void kv_PlatformFile_NoteEntryChanged(const char* hostPath) {
  if (g_calls.noteEntryChanged) g_calls.noteEntryChanged(hostPath);
}

int kv_Platform_MakeDirectory(const char* path) {
  if (!path || !*path) return 0;
  std::string host;
  kv_PlatformFile_ResolveWritePath(path, &host);
  return !host.empty() && MakeFolders(host) ? 1 : 0;
}

std::string kv_Platform_NewWriteToken(void) {
  return std::to_string(getpid()) + "_" + std::to_string(g_tempCounter.fetch_add(1));
}

std::string kv_Platform_TemporaryPrefix(const std::string& file) {
  return file + ".tmp";
}

bool kv_Platform_WriteUnderWay(const std::string& tempHost) {
  std::lock_guard<std::mutex> lock(g_underWayMutex);
  return g_underWay.count(tempHost) != 0;
}

int kv_Platform_WritePending(const void* data, size_t size, const char* path,
                             const std::string& token, kv_PendingFile* pending) {
  pending->host.clear();
  pending->temp.clear();
  pending->name = path ? path : "";
  if (!data || size == 0 || !path || !*path || IsSeparator(path[std::strlen(path) - 1])) return 0;
  std::string host;
  kv_PlatformFile_ResolveWritePath(path, &host);
  if (host.empty()) return 0;  // a name the resolver refused
  const size_t slash = host.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(host.substr(0, slash))) return 0;

  const std::string temp = kv_Platform_TemporaryPrefix(host) + token;
  NoteUnderWay(temp, true);
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    kv_Log_Printf("Unable to write %s: %s", path, std::strerror(errno));
    NoteUnderWay(temp, false);
    return 0;
  }
  bool ok = WriteAll(fd, static_cast<const unsigned char*>(data), size);
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  pending->host = host;
  pending->temp = temp;
  if (!ok) {
    kv_Log_Printf("Unable to write %s: %s", path, std::strerror(errno));
    kv_Platform_DiscardPending(pending);
    return 0;
  }
  return 1;
}

int kv_Platform_CommitPending(kv_PendingFile* pending) {
  if (pending->temp.empty()) return 0;
  const bool ok = rename(pending->temp.c_str(), pending->host.c_str()) == 0;
  if (!ok) {
    kv_Log_Printf("Unable to write %s: %s", pending->name.c_str(), std::strerror(errno));
  } else {
    NoteUnderWay(pending->temp, false);
    pending->temp.clear();
  }
  kv_PlatformFile_NoteEntryChanged(pending->host.c_str());
  return ok ? 1 : 0;
}

void kv_Platform_DiscardPending(kv_PendingFile* pending) {
  if (pending->temp.empty()) return;
  unlink(pending->temp.c_str());
  NoteUnderWay(pending->temp, false);
  pending->temp.clear();
}

void kv_Platform_KeepPending(kv_PendingFile* pending) {
  if (pending->temp.empty()) return;
  NoteUnderWay(pending->temp, false);
  pending->temp.clear();
}

void kv_Platform_RemoveStaleTemporaries(const std::string& host) {
  const size_t slash = host.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : host.substr(0, slash ? slash : 1);
  const std::string prefix =
      kv_Platform_TemporaryPrefix(slash == std::string::npos ? host : host.substr(slash + 1));
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  bool removed = false;
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    // Spelled as the writer spells its temporary files.
    const std::string temp =
        (slash == std::string::npos ? std::string() : host.substr(0, slash + 1)) + entry->d_name;
    if (kv_Platform_WriteUnderWay(temp)) continue;
    if (unlink(temp.c_str()) == 0) {
      kv_Log_Printf("Removed %s, left by a write that was cut short", temp.c_str());
      removed = true;
    }
  }
  closedir(dir);
  if (removed) kv_PlatformFile_NoteEntryChanged(host.c_str());
}

int kv_Platform_WriteFile(const void* data, size_t size, const char* path) {
  std::string host;
  if (path && kv_PlatformFile_ResolveWritePath(path, &host)) {
    kv_Platform_RemoveStaleTemporaries(host);
  }
  kv_PendingFile pending;
  if (!kv_Platform_WritePending(data, size, path, kv_Platform_NewWriteToken(), &pending)) return 0;
  if (kv_Platform_CommitPending(&pending)) return 1;
  kv_Platform_DiscardPending(&pending);
  return 0;
}

int kv_Platform_FileExists(const char* path, const char* mode) {
  if (!path || !mode) return 0;
  std::string host;
  kv_PlatformFile_ResolvePath(path, &host);
  // Only a regular file counts: a folder opens as a stream here but is no
  // file (nor on Windows), and opening a pipe would wait for a writer.
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  SDL_RWops* stream = SDL_RWFromFile(host.c_str(), mode);
  if (!stream) return 0;
  SDL_RWclose(stream);
  return 1;
}
