#include "std/std.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/kv_Thread.h"
#include "platform/stdByteOrder.h"
#include "std/stdMemory.h"

HostServices std_Services;
HostServices* std_pHS = nullptr;

namespace {

bool g_started = false;
std::atomic<int> g_assertUnderWay{0};

FILE* AsFile(stdFile_t file) {
  return reinterpret_cast<FILE*>(file);
}

// Each thread formats into its own buffer: messages from concurrent threads
// never overwrite each other's text.
constexpr size_t kPrintBufferSize = 1024;
thread_local char t_printBuffer[kPrintBufferSize];

int PrintTo(FILE* stream, const char* prefix, const char* format, va_list args) {
  const int length = std::vsnprintf(t_printBuffer, sizeof t_printBuffer, format, args);
  std::fprintf(stream, "%s%s", prefix, t_printBuffer);
  return length < 0 ? 0 : std::min(length, static_cast<int>(kPrintBufferSize) - 1);
}

#define DEFINE_PRINTER(name, prefix)                     \
  int name(const char* format, ...) {                    \
    va_list args;                                        \
    va_start(args, format);                              \
    const int n = PrintTo(stdout, prefix, format, args); \
    va_end(args);                                        \
    return n;                                            \
  }
DEFINE_PRINTER(DefaultPrint, "")
DEFINE_PRINTER(DefaultWarning, "WARNING: ")
DEFINE_PRINTER(DefaultError, "ERROR: ")
DEFINE_PRINTER(DefaultDebug, "DEBUG: ")
#undef DEFINE_PRINTER

void DefaultAssert(const char* message, const char* sourceFile, int line) {
  std::printf("ASSERT! (%s:%d) %s", sourceFile, line, message);
  std::fflush(stdout);
  std::exit(1);
}

int DefaultAtExit(void (*function)(void)) {
  return std::atexit(function);
}
void* DefaultAlloc(size_t size, const char*, int) {
  return std::malloc(size);
}
void DefaultFree(void* pointer) {
  std::free(pointer);
}
void* DefaultRealloc(void* pointer, size_t size, const char*, int) {
  return std::realloc(pointer, size);
}

// A monotonic millisecond tick (the runtime's clock() would be CPU time).
uint32_t DefaultTicks(void) {
  return kv_Platform_GetTicks();
}

stdFile_t FileOpen(const char* path, const char* mode) {
  return reinterpret_cast<stdFile_t>(std::fopen(path, mode));
}
int FileClose(stdFile_t file) {
  return file ? std::fclose(AsFile(file)) : -1;
}
size_t FileRead(stdFile_t file, void* buffer, size_t count) {
  return file ? std::fread(buffer, 1, count, AsFile(file)) : 0;
}

// Reads one line; a '\r' standing before the line's '\n' is removed, so text
// files written on Windows read as they did there.
char* FileGets(stdFile_t file, char* buffer, int size) {
  if (!file || !buffer || size <= 0) return nullptr;
  char* line = std::fgets(buffer, size, AsFile(file));
  if (!line) return nullptr;
  const size_t length = std::strlen(line);
  if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n') {
    line[length - 2] = '\n';
    line[length - 1] = '\0';
  }
  return line;
}

size_t FileWrite(stdFile_t file, const void* data, size_t count) {
  return file ? std::fwrite(data, 1, count, AsFile(file)) : 0;
}
int FileEof(stdFile_t file) {
  return file ? std::feof(AsFile(file)) : 1;
}
int64_t FileTell(stdFile_t file) {
  return file ? std::ftell(AsFile(file)) : -1;
}
int FileSeek(stdFile_t file, int64_t offset, int origin) {
  return file ? std::fseek(AsFile(file), static_cast<long>(offset), origin) : -1;
}

int64_t SizeOf(const char* path, const char* mode) {
  FILE* file = std::fopen(path, mode);
  if (!file) return 0;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size < 0 ? 0 : size;
}
int64_t DefaultFileSize(const char* path) {
  return SizeOf(path, "r");
}
int64_t StdFileSize(const char* path) {
  return SizeOf(path, "rb");
}

int DefaultFilePrintf(stdFile_t file, const char* format, ...) {
  if (!file) return -1;
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(AsFile(file), format, args);
  va_end(args);
  return n;
}

int StdFilePrintf(stdFile_t file, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(t_printBuffer, sizeof t_printBuffer, format, args);
  va_end(args);
  if (file && length > 0) {
    std::fwrite(t_printBuffer, 1, std::min<size_t>(length, kPrintBufferSize - 1), AsFile(file));
  }
  return 0;
}

char16_t* DefaultGetws(stdFile_t, char16_t*, int) {
  return nullptr;
}

// Reads one line of UTF-16LE characters (up to and including '\n').
char16_t* StdGetws(stdFile_t file, char16_t* buffer, int size) {
  if (!file || !buffer || size <= 0) return nullptr;
  return stdLE_ReadUtf16Line(
      buffer, size, [file](uint8_t* pair) { return std::fread(pair, 1, 2, AsFile(file)) == 2; });
}

int DefaultSetPrivate(stdFile_t) {
  return 0;
}
stdHandle_t HandleAlloc(size_t size) {
  return std::malloc(size);
}
void HandleFree(stdHandle_t handle) {
  std::free(handle);
}
stdHandle_t HandleRealloc(stdHandle_t handle, size_t size) {
  return std::realloc(handle, size);
}
void* HandleLock(stdHandle_t handle) {
  return handle;
}
void HandleUnlock(stdHandle_t) {}

constexpr HostServices kDefaults = {
    1000.0f,         DefaultPrint,      DefaultPrint,  DefaultWarning,    DefaultError,
    DefaultDebug,    DefaultAssert,     DefaultAtExit, DefaultAlloc,      DefaultFree,
    DefaultRealloc,  DefaultTicks,      FileOpen,      FileClose,         FileRead,
    FileGets,        FileWrite,         FileEof,       FileTell,          FileSeek,
    DefaultFileSize, DefaultFilePrintf, DefaultGetws,  DefaultSetPrivate, HandleAlloc,
    HandleFree,      HandleRealloc,     HandleLock,    HandleUnlock};

}  // namespace

void HostServices_CopyDefaults(HostServices* record) {
  *record = kDefaults;
}

HostServices* std_FillServices(HostServices* record) {
  const auto keepPrivate = record->fileSetPrivate;  // slot 23 keeps its value
  record->ticksPerSecond = 1000.0f;
  record->printMessage = std_DebugPrintf;
  record->printStatus = std_DebugPrintf;
  record->printWarning = std_DebugPrintf;
  record->printError = std_DebugPrintf;
  record->printDebug = nullptr;
  record->assertFail = std_AssertFail;
  record->atExit = nullptr;
  record->memAlloc = stdMemory_Alloc;
  record->memFree = stdMemory_Free;
  record->memRealloc = stdMemory_Realloc;
  record->getTicks = std_GetTicks;
  record->fileOpen = FileOpen;
  record->fileClose = FileClose;
  record->fileRead = FileRead;
  record->fileGets = FileGets;
  record->fileWrite = FileWrite;
  record->fileEof = FileEof;
  record->fileTell = FileTell;
  record->fileSeek = FileSeek;
  record->fileSize = StdFileSize;
  record->filePrintf = StdFilePrintf;
  record->fileGetws = StdGetws;
  record->fileSetPrivate = keepPrivate;
  record->handleAlloc = HandleAlloc;
  record->handleFree = HandleFree;
  record->handleRealloc = HandleRealloc;
  record->handleLock = HandleLock;
  record->handleUnlock = HandleUnlock;
  return record;
}

HostServices* std_DefaultServices(HostServices* record) {
  return std_FillServices(record);
}

void std_Startup(HostServices* record) {
  std_pHS = record;
  g_started = true;
}

void std_Shutdown(void) {
  g_started = false;
}

bool std_IsStarted(void) {
  return g_started;
}

int std_DebugPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(t_printBuffer, sizeof t_printBuffer, format, args);
  va_end(args);
  std::fputs(t_printBuffer, stderr);
  return 1;
}

void std_AssertFail(const char* message, const char* sourceFile, int line) {
  // An assertion inside the report stops at once, without a second write.
  if (g_assertUnderWay.exchange(1)) std::abort();
  char text[512];
  // The source file is a host path (__FILE__): keep its base name only.
  std::snprintf(text, sizeof text, "%s(%d):  %s\n", std_HostPathTail(sourceFile ? sourceFile : ""),
                line, message ? message : "");
  if (FILE* file = std::fopen("assert.txt", "wt")) {
    std::fputs(text, file);
    std::fclose(file);
  }
  // The crash path: SIGABRT reaches the crash guard, which writes the dump.
  std::abort();
}

uint32_t std_GetTicks(void) {
  return kv_Platform_GetTicks();
}

uint32_t std_GetPhysicalMemory(void) {
  struct sysinfo info;
  if (sysinfo(&info) != 0) return 0;
  const uint64_t bytes = static_cast<uint64_t>(info.totalram) * info.mem_unit;
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

const char* std_PathTail(const char* path) {
  const char* last = std::strrchr(path, '\\');
  return last ? last + 1 : path;
}

const char* std_HostPathTail(const char* path) {
  const char* tail = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') tail = p + 1;
  }
  return tail;
}

int std_Log2(int n) {
  int count = 0;
  while (n > 1) {
    n >>= 1;
    ++count;
  }
  return count;
}

int std_ReadFileInto(const char* path, void* buffer, size_t count) {
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return 0;
  std_pHS->fileRead(file, buffer, count);
  std_pHS->fileClose(file);
  return 1;
}

int std_ReadByte(stdFile_t file) {
  unsigned char byte = 0;
  std_pHS->fileRead(file, &byte, 1);
  return byte;
}

void std_WriteByte(int byte, stdFile_t file) {
  const unsigned char value = static_cast<unsigned char>(byte);
  std_pHS->fileWrite(file, &value, 1);
}
