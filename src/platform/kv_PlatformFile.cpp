#include "platform/kv_PlatformFile.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kv_Log.h"
#include "std/stdFileUtil.h"

namespace {

std::atomic<unsigned> g_tempCounter{0};

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
      stdFileUtil_NoteEntryChanged(folder.c_str());
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

int kv_Platform_MakeDirectory(const char* path) {
  if (!path || !*path) return 0;
  std::string host;
  stdFileUtil_ResolveWritePath(path, &host);
  return !host.empty() && MakeFolders(host) ? 1 : 0;
}

int kv_Platform_WriteFile(const void* data, size_t size, const char* path) {
  if (!data || size == 0 || !path || !*path || IsSeparator(path[std::strlen(path) - 1])) return 0;
  std::string host;
  stdFileUtil_ResolveWritePath(path, &host);
  if (host.empty()) return 0;  // a name the resolver refused
  const size_t slash = host.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(host.substr(0, slash))) return 0;

  // A temporary name of its own per write: two writers never share one.
  const std::string temp =
      host + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(g_tempCounter.fetch_add(1));
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    kv_Log_Printf("Unable to write %s: %s", path, std::strerror(errno));
    return 0;
  }
  bool ok = WriteAll(fd, static_cast<const unsigned char*>(data), size);
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), host.c_str()) != 0) ok = false;
  if (!ok) {
    kv_Log_Printf("Unable to write %s: %s", path, std::strerror(errno));
    unlink(temp.c_str());
  }
  stdFileUtil_NoteEntryChanged(host.c_str());
  return ok ? 1 : 0;
}

int kv_Platform_FileExists(const char* path, const char* mode) {
  if (!path || !mode) return 0;
  std::string host;
  stdFileUtil_ResolvePath(path, &host);
  // Only a regular file counts: a folder opens as a stream here but is no
  // file (nor on Windows), and opening a pipe would wait for a writer.
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  SDL_RWops* stream = SDL_RWFromFile(host.c_str(), mode);
  if (!stream) return 0;
  SDL_RWclose(stream);
  return 1;
}
