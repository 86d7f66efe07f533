// The general library's services record and small utilities.
//
// Every engine module, the general library, the 3D library, the music system
// and the chore library reach time, messages, assertions, memory and files
// through one table of function pointers, the services record. There is
// exactly one live record; modules keep a pointer to it (not a copy), so the
// later layers of start-up (the resource layer's archive-aware file
// operations, the front end's printers) reach every module that holds it.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file of the services record: an opaque pointer-sized value, 0 = none.
using stdFile_t = intptr_t;

// A movable memory block of the handle slots; the defaults never move memory
// and lock a handle as its own address.
using stdHandle_t = void*;

// The services record: 29 consecutive slots. Slot 0 is a float, the others
// are functions. Keep the order: it is the one layout every user reads and
// every filler writes.
struct HostServices {
  float ticksPerSecond;                                                       // 0
  int (*printMessage)(const char* format, ...);                               // 1
  int (*printStatus)(const char* format, ...);                                // 2
  int (*printWarning)(const char* format, ...);                               // 3
  int (*printError)(const char* format, ...);                                 // 4
  int (*printDebug)(const char* format, ...);                                 // 5 (may be null)
  void (*assertFail)(const char* message, const char* sourceFile, int line);  // 6, does not return
  int (*atExit)(void (*function)(void));                                      // 7 (may be null)
  void* (*memAlloc)(size_t size, const char* sourceFile, int line);           // 8
  void (*memFree)(void* pointer);                                             // 9
  void* (*memRealloc)(void* pointer, size_t size, const char* sourceFile, int line);  // 10
  uint32_t (*getTicks)(void);                                                         // 11
  stdFile_t (*fileOpen)(const char* path, const char* mode);                          // 12
  int (*fileClose)(stdFile_t file);                                                   // 13
  size_t (*fileRead)(stdFile_t file, void* buffer, size_t count);                     // 14
  char* (*fileGets)(stdFile_t file, char* buffer, int size);                          // 15
  size_t (*fileWrite)(stdFile_t file, const void* data, size_t count);                // 16
  int (*fileEof)(stdFile_t file);                                                     // 17
  int64_t (*fileTell)(stdFile_t file);                                                // 18
  int (*fileSeek)(stdFile_t file, int64_t offset, int origin);                        // 19
  int64_t (*fileSize)(const char* path);                                              // 20
  int (*filePrintf)(stdFile_t file, const char* format, ...);                         // 21
  char16_t* (*fileGetws)(stdFile_t file, char16_t* buffer, int size);                 // 22
  int (*fileSetPrivate)(stdFile_t file);                                              // 23
  stdHandle_t (*handleAlloc)(size_t size);                                            // 24
  void (*handleFree)(stdHandle_t handle);                                             // 25
  stdHandle_t (*handleRealloc)(stdHandle_t handle, size_t size);                      // 26
  void* (*handleLock)(stdHandle_t handle);                                            // 27
  void (*handleUnlock)(stdHandle_t handle);                                           // 28
};

// The program's one live record, filled by the front end at start-up.
extern HostServices std_Services;
// The general library's own pointer to the live record (set by std_Startup).
extern HostServices* std_pHS;

// Copies the static default table (plain runtime-library services) into the record.
void HostServices_CopyDefaults(HostServices* record);
// Writes the general library's defaults into every slot but 23; returns the record.
HostServices* std_FillServices(HostServices* record);
HostServices* std_DefaultServices(HostServices* record);
void std_Startup(HostServices* record);
void std_Shutdown(void);
bool std_IsStarted(void);

// The general library's assertion report: writes "%s(%d):  %s\n" to assert.txt
// and ends the process through the crash path.
[[noreturn]] void std_AssertFail(const char* message, const char* sourceFile, int line);

uint32_t std_GetTicks(void);
// Total physical memory in bytes, clamped to the unsigned 32-bit range.
uint32_t std_GetPhysicalMemory(void);
// The text after the last backslash of a name, or the whole name. Names from
// data files and scripts use a backslash; a forward slash is not a separator here.
const char* std_PathTail(const char* path);
// The base name of a host path: the text after the last slash or backslash.
const char* std_HostPathTail(const char* path);
int std_Log2(int n);
int std_ReadFileInto(const char* path, void* buffer, size_t count);
int std_ReadByte(stdFile_t file);
void std_WriteByte(int byte, stdFile_t file);
// Writes formatted text to the debugger output (standard error on Linux).
int std_DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Further utilities (nothing in the game calls them) -------------------------

// The local date and time as "%d/%d/%02d %d:%02d%s" (month, day, year, hour,
// minute, "am" or "pm"): hours above 12 less 12 with "pm", hours 0 to 12 as
// they are with "am" (noon is "12:00am"). Cut to size - 1, always terminated.
void std_FormatLocalTime(char* buffer, int size);
// The same for a given broken-down time.
void std_FormatTime(const struct tm* time, char* buffer, int size);

// A block whose size is kept in the 4 bytes before it and whose bytes are
// filled with 0xDD; freeing fills the whole block with 0xBB first. Null when
// the services cannot allocate it.
void* std_GuardedAlloc(size_t size);
// Resizes such a block (null: a new one) and fills all its bytes with 0xDD.
void* std_GuardedRealloc(void* pointer, size_t size);
void std_GuardedFree(void* pointer);

// Formats "<base name of sourceFile>(<line>): " and the text into one line
// and hands it to the printer; nothing happens without a printer. Returns 0.
using std_Printer = int (*)(const char* format, ...);
int std_AssertPrintf(std_Printer printer, const char* sourceFile, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Prints "[ASSERT] %s(%d): %s\n" (source file, line, message) to standard output.
void std_PrintAssert(const char* message, const char* sourceFile, int line);

// Busy-waits until the services' tick count reaches its start value plus
// seconds x ticks per second (to the nearest tick); returns the last tick.
uint32_t std_WaitSeconds(float seconds);

// The next line of a configuration file that is not empty and not a comment
// (the first character after blanks and tabs is '#' or the line end), without
// its line end, in capitals. 1, or 0 at the end of the file.
int std_ReadConfigLine(stdFile_t file, char* buffer, int size);

// A code and its text.
struct stdErrorText {
  int32_t code;
  const char* text;
};
// The text of the code in the table, which is also remembered; when nothing
// matches, the text remembered last ("Unknown Error" at first).
const char* std_LookupErrorText(int32_t code, const stdErrorText* table, int count);

// Every display device with a copy of its modes and of its 3D devices (the
// display layer lists none), made through the services' allocation (the types
// are in std/stdDisplay.h). Opens and closes each device in turn: call it
// while no display is open. Null when a device cannot be opened or memory
// runs out (nothing is kept).
struct stdDisplayDeviceList;
stdDisplayDeviceList* std_ListDisplayDevices(void);
// Frees each entry's 3D devices and modes, the entries and the list.
void std_FreeDisplayDeviceList(stdDisplayDeviceList* list);

// ---- Image files by extension --------------------------------------------------
//
// The reader or writer is chosen by the extension: lbm (and names without
// one), pcx, gif, bm and zbm (the BM format; zbm saves set colour mode 5, for
// depth images), pic (load only) and bmp. The path is the caller's buffer of
// the given capacity: a name without any dot gets ".lbm" appended there when
// it fits (else the call fails), and the longer name stays in the buffer.

struct Bitmap;
// A new bitmap, or null (unknown extension, missing or bad file).
Bitmap* std_LoadImage(char* path, size_t capacity, int arg0, int arg1);
// std_LoadImage, then every frame unpacked.
Bitmap* std_LoadImageUnpacked(char* path, size_t capacity, int arg0, int arg1);
// 1 when the chosen writer wrote the file, else 0. Unless the extension is bm
// or zbm, the bitmap's frames are unpacked first (also when the save then fails).
int std_SaveImage(char* path, size_t capacity, Bitmap* bitmap);

// Assertion through the live services record: reports expression, file and line.
#define STD_ASSERT(expr)                                         \
  do {                                                           \
    if (!(expr)) std_pHS->assertFail(#expr, __FILE__, __LINE__); \
  } while (0)
