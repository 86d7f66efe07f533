// Save slots on disk: the write directory "Saves/" beside the program, one
// folder "savedata%04u" per slot with the compressed game state "vosk.gsv"
// and the 132-byte metadata file "meta.gsv", the settings file
// "registry.sav", the list of saves for the load screen, the out-of-date-save
// message, the packing of the scripts' progress string and Latin-1/UTF-8
// conversion.
//
// These functions run on the save, load, erase and save-list threads; every
// path is built in a string of the caller's own.
//
// meta.gsv, little-endian, 132 bytes:
//   0  u32 packed: bits 24-31 the save's number, 22-23 the progress class,
//      0-21 the progress window (PackFlagString)
//   4  title, 128 bytes: at most 127 characters, NUL-padded
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kSaveMetaSize = 132;
constexpr int kSaveTextSize = 128;
constexpr int kSaveProgressLength = 60;
constexpr uint32_t kSaveLoadBufferSize = 4194304;  // what the load thread reads into

struct SaveListEntry {
  int32_t slot;                  // the number in the folder name
  int32_t number;                // bits 24-31 of the packed value
  char title[kSaveTextSize];     // from meta.gsv
  char progress[kSaveTextSize];  // the 60-character "0"/"1" string, terminated
  char date[kSaveTextSize];      // last-write time of meta.gsv, local time, "%x %H:%M"
};

// Sets the write directory ("Saves/") and logs "Write directory: %s".
void kv_Save_InitWriteDirectory(void);
std::string kv_Save_GetWriteDirectory(void);

// Takes the advisory lock on the write directory (creating it), which this
// program then holds until it ends, so that no second program writes the same
// save slots and settings. 0 when another program holds it: the message then
// went to standard error and the log, and this program must end. 1 otherwise
// (also when the folder cannot be made or locked: each write then says why).
int kv_Save_LockWriteDirectory(void);

// Slots run from 0 to 9999 (four digits in the folder name); every slot
// operation refuses any other number with a log line and answers 1.
//
// 0 on success, 1 on failure. Writes the game state and the metadata to
// temporary files, then puts the game state in place, then the metadata: the
// slot holds the old pair or the new one. What a save that was cut short left
// in the slot (its temporary files) is settled first: a metadata file whose
// game state reached its place is put in place too, everything else removed.
int kv_Save_WriteSlot(uint32_t slot, const void* data, uint32_t size, const char* title,
                      uint32_t number, const char* progress);
// 0 and the file's size after copying the game state into the destination;
// 1 when it is missing, empty, unreadable or larger than the capacity (then
// nothing is copied and the size is 0).
int kv_Save_ReadSlot(uint32_t slot, void* destination, uint32_t capacity, uint32_t* size);
// Removes the metadata file, the game-state file and the slot folder. 0 when
// the slot is gone (also when one of its files was missing already), 1 when
// there was no slot or something could not be removed.
int kv_Save_EraseSlot(uint32_t slot);
// Fills at most maximum entries from the save folders found, in the order of
// the directory; folders without a valid 132-byte meta.gsv are skipped. Each
// slot folder is settled first, as kv_Save_WriteSlot does.
int kv_Save_ListSlots(SaveListEntry* entries, int maximum);

// 0 when registry.sav was written whole.
int kv_Save_WriteRegistryFile(const void* data, uint32_t size);
// 0 when the file had data (at most size bytes copied, the rest zero);
// else the buffer is zero-filled, the file size reported as 0 and 1 returned.
int kv_Save_ReadRegistryFile(void* buffer, uint32_t size, uint32_t* fileSize);

std::string kv_Save_GetSlotFolder(uint32_t slot);
std::string kv_Save_GetGameStatePath(uint32_t slot);
std::string kv_Save_GetMetaPath(uint32_t slot);
std::string kv_Save_GetRegistryPath(void);

// There is no save-error dialog: both answer 0.
int kv_Save_ErrorDialogSupported(void);
int kv_Save_ErrorDialogPending(void);

// The message box for a save of an older build: "Exit" (0) posts the quit
// event, so the normal shutdown runs, and asks for exit status 1 (see
// kv_Save_ExitStatusRequested); "Start new game" answers 1; -1 when the box
// could not be shown.
int kv_Save_ShowOutOfDateMessage(void);
// 1 after the player chose "Exit" in the out-of-date message: the program
// must end with status 1 once its normal shutdown is done.
int kv_Save_ExitStatusRequested(void);

// The message box used by kv_Save_ShowOutOfDateMessage (tests put a fake in
// its place; a box must never block a test). Null restores the platform's.
using kv_Save_MessageBoxFunction = int (*)(const char* text, const char* title, int buttonCount,
                                           const char* const* labels, int defaultIndex);
void kv_Save_SetMessageBoxFunction(kv_Save_MessageBoxFunction function);

// Packs the number (low 8 bits) and the 60-character progress string.
uint32_t PackFlagString(uint32_t number, const char* progress);
// Rebuilds the number and the progress string (60 characters and a
// terminator, cut to size - 1 characters when the buffer is smaller).
void UnpackFlagString(uint32_t packed, uint32_t* number, char* buffer, size_t size);

// Latin-1 to UTF-8; stops once count bytes were written (a two-byte character
// only when both bytes fit); adds no terminator. Returns the position after
// the last byte written, null when a pointer is null.
char* Latin1ToUtf8(const char* text, char* buffer, size_t count);
// UTF-8 to Latin-1 (code points above 255 are dropped) into a buffer of count
// bytes: at most count - 1 characters and always a terminator. Returns the
// position of the terminator, null when a pointer is null or count is 0.
char* Utf8ToLatin1(const char* text, char* buffer, size_t count);
