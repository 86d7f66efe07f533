// vembra_directory: Windows-style path helpers of the codec library. No module
// of the engine uses them; they keep the '\' separators of the original.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kv_PlatformFile.h"
#include "std/stdFileUtil.h"
#include "vembra/vembra_zfilio.h"

namespace {

VembraFile* g_file = nullptr;
const char* g_context = nullptr;

const char kModuleKey[] = "ORNMODULE=vembra_directory";
const char kDirectoryKey[] = "DIRECTORY=vembra_directory";

int ReturnsZero(void) {
  return 0;
}

int GetCurrentDir(char* buffer, int size) {
  if (!buffer || size <= 0) return 1;
  std::string cwd;
  char path[4096];
  if (!getcwd(path, sizeof path)) return 1;
  cwd = path;
  if (int(cwd.size()) >= size) return 1;
  char last = cwd.empty() ? 0 : cwd.back();
  if (last != '/' && last != ':' && last != '\\' && int(cwd.size()) + 1 < size) cwd += '\\';
  memcpy(buffer, cwd.c_str(), cwd.size() + 1);
  return 0;
}

int ParentDir(char* out, const char* path) {
  if (!out || !path) return -1;
  size_t len = strlen(path);
  if (len < 3 || path[len - 1] != '\\' || path[len - 2] == ':') return -1;
  size_t cut = len - 1;
  while (cut > 0 && path[cut - 1] != '\\' && path[cut - 1] != ':') --cut;
  if (cut == 0) return -1;
  memmove(out, path, cut);
  out[cut] = '\0';
  return 0;
}

// The drive part of a start directory ("D:\"), or the root.
std::string DrivePart(const std::string& start) {
  if (start.size() >= 2 && isalpha(static_cast<unsigned char>(start[0])) && start[1] == ':')
    return start.substr(0, 2) + "\\";
  return "\\";
}

void GoUp(std::string* dir) {
  // "D:\a\b\" -> "D:\a\"; never above the drive or the root.
  if (dir->size() < 2) return;
  size_t cut = dir->size() - 1;
  while (cut > 0 && (*dir)[cut - 1] != '\\' && (*dir)[cut - 1] != ':') --cut;
  if (cut > 0 && (*dir)[cut - 1] != ':') dir->resize(cut);
}

int MakePath(char* buffer, const char* base, const char* path, int size) {
  if (!buffer || !path || size <= 0) return -1;
  std::string dir;
  const char* p = path;
  if (isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    char cwd[4096];
    if (GetCurrentDir(cwd, sizeof cwd) != 0) return -1;
    dir = cwd;
    p += 2;
  } else {
    dir = base ? base : "";
  }
  if (!dir.empty() && dir.back() != '\\' && dir.back() != ':' && dir.back() != '/') dir += '\\';
  if (p[0] == '\\' && p[1] != '\\') {
    dir = DrivePart(dir);
    ++p;
  }
  while (*p) {
    const char* end = strchr(p, '\\');
    std::string part = end ? std::string(p, end) : std::string(p);
    p = end ? end + 1 : p + part.size();
    if (part.empty()) continue;
    if (part == "..")
      GoUp(&dir);
    else if (part[0] != '.')
      dir += part + "\\";
  }
  if (int(dir.size()) >= size) return -1;
  memcpy(buffer, dir.c_str(), dir.size() + 1);
  return 0;
}

int Exists(const char* path) {
  return path && kv_Platform_FileExists(path, "r") ? 1 : 0;
}

// The path resolver caches folder listings: tell it what changed.
int Rename(const char* from, const char* to) {
  if (!from || !to) return -1;
  int result = std::rename(from, to);
  stdFileUtil_NoteEntryChanged(from);
  stdFileUtil_NoteEntryChanged(to);
  return result;
}

int Remove(const char* path) {
  if (!path) return -1;
  int result = std::remove(path);
  stdFileUtil_NoteEntryChanged(path);
  return result;
}

VembraDirectory g_table = {ReturnsZero, GetCurrentDir, ParentDir, MakePath,
                           ReturnsZero, Exists,        Rename,    Remove};

int Startup(void) {
  g_file = static_cast<VembraFile*>(OrnShare_Subscribe("FILE.io", g_context));
  if (!g_file) {
    OrnShare_GetErrorPrinter()("Directory Module: Cannot allocate file services.");
    return -1;
  }
  return 0;
}

void Shutdown(void) {
  if (g_file) OrnShare_Unsubscribe(g_file);
  g_file = nullptr;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kDirectoryKey);
}

OrnModuleTable g_module = {vembra_directory_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_directory_Register(OrnShareServices* services, const char* context) {
  g_context = context;
  services->Publish(kModuleKey, &g_module);
  services->Publish(kDirectoryKey, &g_table);
  return 0;
}

VembraDirectory* vembra_directory_Table(void) {
  return &g_table;
}
