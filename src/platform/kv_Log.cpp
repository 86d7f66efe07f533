#include "platform/kv_Log.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kv_Thread.h"

namespace {
// One lock: lines from two threads never interleave and the file is never
// open twice at once.
std::mutex g_lock;
bool g_open = false;
std::string g_path;

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (buffer.size() > 65536) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

void WriteLine(const char* text) {
  FILE* file = std::fopen(g_path.c_str(), "a+");
  if (!file) return;  // the line is dropped
  std::fprintf(file, "%s\n", text);
  std::fclose(file);
  std::fprintf(stdout, "%s\n", text);
  std::fflush(stdout);
}

void WriteFormatted(const char* format, va_list args) {
  char stack[256];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(stack, sizeof stack, format, copy);
  va_end(copy);
  if (length < 0) return;
  if (length < 255) {
    WriteLine(stack);
  } else {
    std::vector<char> heap(static_cast<size_t>(length) + 2);
    std::vsnprintf(heap.data(), heap.size(), format, args);
    WriteLine(heap.data());
  }
}

void WriteFormattedf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
}
}  // namespace

int kv_Log_Open(const char* name) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_open || !g_path.empty()) return 0;
  const std::string cwd = CurrentDirectory();
  const std::string path = cwd + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fclose(file);
  g_path = path;
  g_open = true;
  time_t now;
  kv_Platform_Time(&now);
  struct tm local;
  kv_Platform_LocalTime(&now, &local);
  char startLine[64];
  kv_Log_FormatStartLine(&local, startLine, sizeof startLine);
  WriteLine(startLine);
  WriteFormattedf("Working directory: %s", cwd.c_str());
  return 1;
}

void kv_Log_Printf(const char* format, ...) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_open) return;
  va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
}

void kv_Log_FormatStartLine(const struct tm* local, char* buffer, int size) {
  std::snprintf(buffer, static_cast<size_t>(size), "Log started: %i/%02i/%02i @ %02i:%02i:%02i",
                local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                local->tm_min, local->tm_sec);
}

int kv_Log_IsOpen(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_open ? 1 : 0;
}

void kv_Log_ResetForTest(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_open = false;
  g_path.clear();
}
