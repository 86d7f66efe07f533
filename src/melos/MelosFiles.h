// The sound file list: the music script names its music by file, and the list
// turns such names into sound ids through the host and keeps each file open
// while anything needs it. Up to 10 named files on two lists: files loaded
// whole (load and free callbacks) and files opened for streaming (open and
// close callbacks). Each entry counts references; a collection pass closes
// every file that nobody references and that no track plays or is about to
// start. Messages go to the library's message buffer (Melos_Message).
#pragma once

#include <cstdint>

// load(name, hint) and open(name, hint) return a handle or 0; a non-zero hint
// asks for that very id. free(handle) and close(handle) end it.
using MelosFileOpenFn = int32_t (*)(const char* name, int32_t hint);
using MelosFileCloseFn = int (*)(int32_t handle);

constexpr int MELOS_FILE_ENTRIES = 10;
constexpr int MELOS_FILE_NAME = 32;  // characters, plus the terminating byte
constexpr int MELOS_FILE_RECORD = 57;
constexpr int MELOS_FILE_SAVE_ROOM = 8 + MELOS_FILE_ENTRIES * MELOS_FILE_RECORD;  // 578

// Stores the callbacks, clears the 10 entries and makes the list ready.
void MelosFiles_Init(MelosFileOpenFn load, MelosFileCloseFn free, MelosFileOpenFn open,
                     MelosFileCloseFn close);
// The handle of the entry with exactly that name (loaded list first); 0 when none.
int32_t MelosFiles_Find(const char* name);
// A listed name gains a reference; a new one is loaded (opened) and listed
// with one reference. The handle, or 0.
int32_t MelosFiles_Load(const char* name, int32_t hint);
int32_t MelosFiles_Open(const char* name, int32_t hint);
// One reference less (never below 0), then a collection.
void MelosFiles_ReleaseLoaded(int32_t handle);
void MelosFiles_ReleaseOpened(int32_t handle);
// Every reference of that list dropped, then a collection.
void MelosFiles_ReleaseAllLoaded(void);
void MelosFiles_ReleaseAllOpened(void);
// Frees (closes) every entry without references whose sound neither plays
// nor is about to start.
void MelosFiles_Collect(void);
// The list's save block: 8 + 57 bytes an entry; 0 when room is below 578.
int MelosFiles_Save(uint8_t* buffer, int32_t room);
// Reopens every saved file under its old id; the bytes read, or 0.
int MelosFiles_Restore(const uint8_t* buffer, uint32_t size);
// The reference count of the listed entry with that handle, -1 when none.
int MelosFiles_References(int32_t handle);
