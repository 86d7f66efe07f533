// The general library's further utilities: local time text, guarded memory
// blocks, assertion printers, a busy wait, the configuration line reader, the
// error-text table and the display-device list. Nothing in the game calls
// them; they are here for tools and debugging.
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/kv_Thread.h"
#include "std/std.h"
#include "std/stdDevice3D.h"
#include "std/stdDisplay.h"

namespace {

constexpr uint8_t kGuardFill = 0xDD;
constexpr uint8_t kGuardFreed = 0xBB;
constexpr size_t kGuardSize = 4;  // the size word in front of the block

HostServices* Services() {
  return std_pHS ? std_pHS : &std_Services;
}

uint8_t* GuardHeader(void* pointer) {
  return static_cast<uint8_t*>(pointer) - kGuardSize;
}

uint32_t GuardedSize(const uint8_t* header) {
  uint32_t size;
  std::memcpy(&size, header, sizeof size);
  return size;
}

void* FinishGuarded(uint8_t* header, size_t size) {
  const auto stored = static_cast<uint32_t>(size);
  std::memcpy(header, &stored, sizeof stored);
  std::memset(header + kGuardSize, kGuardFill, size);
  return header + kGuardSize;
}

std::atomic<const char*> g_lastErrorText{"Unknown Error"};

}  // namespace

void std_FormatTime(const struct tm* time, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  if (!time) {
    buffer[0] = '\0';
    return;
  }
  int hour = time->tm_hour;
  const char* half = "am";
  if (hour > 12) {
    hour -= 12;
    half = "pm";
  }
  std::snprintf(buffer, static_cast<size_t>(size), "%d/%d/%02d %d:%02d%s", time->tm_mon + 1,
                time->tm_mday, time->tm_year + 1900, hour, time->tm_min, half);
}

void std_FormatLocalTime(char* buffer, int size) {
  time_t now;
  kv_Platform_Time(&now);
  struct tm local;
  kv_Platform_LocalTime(&now, &local);
  std_FormatTime(&local, buffer, size);
}

void* std_GuardedAlloc(size_t size) {
  if (size > UINT32_MAX - kGuardSize) return nullptr;
  auto* header = static_cast<uint8_t*>(Services()->memAlloc(size + kGuardSize, __FILE__, __LINE__));
  return header ? FinishGuarded(header, size) : nullptr;
}

void* std_GuardedRealloc(void* pointer, size_t size) {
  if (!pointer) return std_GuardedAlloc(size);
  if (size > UINT32_MAX - kGuardSize) return nullptr;
  auto* header = static_cast<uint8_t*>(
      Services()->memRealloc(GuardHeader(pointer), size + kGuardSize, __FILE__, __LINE__));
  return header ? FinishGuarded(header, size) : nullptr;
}

void std_GuardedFree(void* pointer) {
  if (!pointer) return;
  uint8_t* header = GuardHeader(pointer);
  std::memset(header, kGuardFreed, GuardedSize(header) + kGuardSize);
  Services()->memFree(header);
}

int std_AssertPrintf(std_Printer printer, const char* sourceFile, int line, const char* format,
                     ...) {
  if (!printer) return 0;
  char text[1024];
  const int prefix = std::snprintf(
      text, sizeof text, "%s(%d): ", std_HostPathTail(sourceFile ? sourceFile : ""), line);
  if (prefix > 0 && static_cast<size_t>(prefix) < sizeof text && format) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + prefix, sizeof text - static_cast<size_t>(prefix), format, args);
    va_end(args);
  }
  printer("%s", text);
  return 0;
}

void std_PrintAssert(const char* message, const char* sourceFile, int line) {
  std::printf("[ASSERT] %s(%d): %s\n", sourceFile ? sourceFile : "", line, message ? message : "");
  std::fflush(stdout);
}

uint32_t std_WaitSeconds(float seconds) {
  HostServices* services = Services();
  const uint32_t start = static_cast<uint32_t>(services->getTicks());
  const auto wait = static_cast<int64_t>(std::lround(seconds * services->ticksPerSecond));
  const uint32_t target = start + static_cast<uint32_t>(wait > 0 ? wait : 0);
  uint32_t now = start;
  // Compared as a signed distance, so the tick count may wrap meanwhile.
  while (static_cast<int32_t>(target - now) > 0) {
    now = static_cast<uint32_t>(services->getTicks());
  }
  return now;
}

int std_ReadConfigLine(stdFile_t file, char* buffer, int size) {
  if (!file || !buffer || size <= 0) return 0;
  HostServices* services = Services();
  while (services->fileGets(file, buffer, size)) {
    const char* first = buffer;
    while (*first == ' ' || *first == '\t') ++first;
    // A line end, '#' or nothing at all (a last line of blanks) is no value.
    if (*first == '\n' || *first == '\r' || *first == '#' || *first == '\0') continue;
    size_t length = std::strlen(buffer);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
    buffer[length] = '\0';
    for (char* c = buffer; *c; ++c)
      *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    return 1;
  }
  return 0;
}

const char* std_LookupErrorText(int32_t code, const stdErrorText* table, int count) {
  for (int i = 0; table && i < count; ++i) {
    if (table[i].code == code) {
      g_lastErrorText.store(table[i].text);
      return table[i].text;
    }
  }
  return g_lastErrorText.load();
}

stdDisplayDeviceList* std_ListDisplayDevices(void) {
  HostServices* services = Services();
  auto* list = static_cast<stdDisplayDeviceList*>(
      services->memAlloc(sizeof(stdDisplayDeviceList), __FILE__, __LINE__));
  if (!list) return nullptr;
  list->count = 0;
  list->entries = nullptr;
  const int count = stdDisplay_GetNumDevices();
  if (count > 0) {
    const size_t bytes = sizeof(stdDisplayDeviceEntry) * static_cast<size_t>(count);
    list->entries =
        static_cast<stdDisplayDeviceEntry*>(services->memAlloc(bytes, __FILE__, __LINE__));
    if (!list->entries) {
      std_FreeDisplayDeviceList(list);
      return nullptr;
    }
    std::memset(list->entries, 0, bytes);
    list->count = count;
  }
  for (int i = 0; i < count; ++i) {
    stdDisplayDeviceEntry& entry = list->entries[i];
    const DisplayDevice* device = stdDisplay_GetDevice(i);
    if (!device || !stdDisplay_Open(i)) {
      std_FreeDisplayDeviceList(list);
      return nullptr;
    }
    entry.device = *device;
    const int modes = stdDisplay_numVideoModes;
    if (modes > 0) {
      entry.modes = static_cast<VideoMode*>(
          services->memAlloc(sizeof(VideoMode) * static_cast<size_t>(modes), __FILE__, __LINE__));
      if (!entry.modes) {
        stdDisplay_Close();
        std_FreeDisplayDeviceList(list);
        return nullptr;
      }
      for (int m = 0; m < modes; ++m) {
        const VideoMode* mode = stdDisplay_GetVideoMode(m);
        entry.modes[m] = mode ? *mode : VideoMode{};
      }
      entry.numModes = modes;
    }
    // The display layer offers no 3D devices: a device that says it has
    // some still lists none here.
    stdDisplay_Close();
  }
  return list;
}

void std_FreeDisplayDeviceList(stdDisplayDeviceList* list) {
  if (!list) return;
  HostServices* services = Services();
  for (int i = 0; list->entries && i < list->count; ++i) {
    if (list->entries[i].devices3D) services->memFree(list->entries[i].devices3D);
    if (list->entries[i].modes) services->memFree(list->entries[i].modes);
  }
  if (list->entries) services->memFree(list->entries);
  services->memFree(list);
}
