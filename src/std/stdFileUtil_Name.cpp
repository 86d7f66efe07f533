// File-name helpers: taking names apart and putting them together with the
// backslash as separator. They never touch the disk.
#include <cstring>

#include "std/stdFileUtil.h"

namespace {

// Copies at most size - 1 characters and terminates (nothing when size is 0).
void CopyBounded(char* destination, size_t size, const char* source) {
  if (!destination || size == 0) return;
  if (!source) source = "";
  size_t length = std::strlen(source);
  if (length > size - 1) length = size - 1;
  std::memmove(destination, source, length);
  destination[length] = '\0';
}

// The dot that starts the extension of the file-name part, or null.
const char* ExtensionDot(const char* path) {
  return std::strrchr(stdFileName_GetFileName(path), '.');
}

}  // namespace

const char* stdFileName_GetFileName(const char* path) {
  if (!path) return nullptr;
  const char* last = std::strrchr(path, '\\');
  return last ? last + 1 : path;
}

const char* stdFileName_GetExtension(const char* path) {
  if (!path) return nullptr;
  const char* dot = ExtensionDot(path);
  return dot ? dot + 1 : nullptr;
}

int stdFileName_AddDefaultExtension(char* path, size_t size, const char* extension) {
  if (!path || !extension || ExtensionDot(path)) return 0;
  const size_t length = std::strlen(path);
  const size_t added = 1 + std::strlen(extension);
  if (length + added + 1 > size) return 0;
  path[length] = '.';
  std::memcpy(path + length + 1, extension, added);  // text and terminator
  return 1;
}

int stdFileName_ChangeExtension(char* path, size_t size, const char* extension) {
  if (!path || !extension) return 0;
  const char* dot = ExtensionDot(path);
  const size_t kept = dot ? static_cast<size_t>(dot - path) : std::strlen(path);
  const size_t extensionLength = std::strlen(extension);
  if (kept + 1 + extensionLength + 1 > size) return 0;
  path[kept] = '.';
  std::memcpy(path + kept + 1, extension, extensionLength + 1);
  return 1;
}

char* stdFileName_StripExtension(char* path) {
  if (!path) return nullptr;
  char* dot = const_cast<char*>(ExtensionDot(path));
  if (!dot) return nullptr;
  *dot = '\0';
  return dot + 1;
}

char* stdFileName_ClearExtension(char* path) {
  if (!path) return nullptr;
  char* dot = const_cast<char*>(ExtensionDot(path));
  if (!dot) return nullptr;
  dot[1] = '\0';
  return dot + 1;
}

void stdFileName_MakeBaseName(char* path) {
  if (!path) return;
  const char* start = path;
  if (const char* colon = std::strrchr(start, ':')) start = colon + 1;
  if (const char* slash = std::strrchr(start, '\\')) start = slash + 1;
  size_t length = std::strlen(start);
  if (const char* dot = std::strrchr(start, '.')) length = static_cast<size_t>(dot - start);
  std::memmove(path, start, length);
  path[length] = '\0';
}

int stdFileName_CopyExtension(char* destination, size_t size, const char* path) {
  const char* extension = stdFileName_GetExtension(path);
  CopyBounded(destination, size, extension ? extension : "");
  return extension ? 1 : 0;
}

void stdFileName_CopyFileName(char* destination, size_t size, const char* path) {
  CopyBounded(destination, size, path ? stdFileName_GetFileName(path) : "");
}

void stdFileName_CopyDirectory(char* destination, size_t size, const char* path) {
  CopyBounded(destination, size, path);
  if (!destination || size == 0) return;
  if (char* slash = std::strrchr(destination, '\\')) *slash = '\0';
}

void stdFileName_CopyBaseName(char* destination, size_t size, const char* path) {
  stdFileName_CopyFileName(destination, size, path);
  if (!destination || size == 0) return;
  if (char* dot = std::strrchr(destination, '.')) *dot = '\0';
}

void stdFileName_AppendPath(char* destination, const char* part, size_t size) {
  if (!destination || size == 0) return;
  size_t length = strnlen(destination, size);
  if (length >= size) {  // an unterminated destination: terminate it first
    length = size - 1;
    destination[length] = '\0';
  }
  if (length > 0 && destination[length - 1] != '\\' && length + 1 < size) {
    destination[length++] = '\\';
    destination[length] = '\0';
  }
  CopyBounded(destination + length, size - length, part);
}

void stdFileName_JoinPath(char* destination, size_t size, const char* first, const char* second) {
  CopyBounded(destination, size, first);
  stdFileName_AppendPath(destination, second, size);
}

void stdFileName_JoinPath3(char* destination, size_t size, const char* first, const char* second,
                           const char* third) {
  stdFileName_JoinPath(destination, size, first, second);
  stdFileName_AppendPath(destination, third, size);
}
