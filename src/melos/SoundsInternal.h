// What the music host's modules share among themselves (and with the tests):
// the resident sound slots, the file layer that reads MCMP files as plain
// decompressed streams, the stream files and the lip-sync bindings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "melos/Sounds.h"
#include "std/std.h"

constexpr int SOUNDS_SLOTS = 32;
constexpr int32_t SOUNDS_SLOT_ID = 100;  // slot + 100
constexpr int32_t SOUNDS_FIRST_SCRIPT_ID = 1111;
constexpr int32_t SOUNDS_LAST_SCRIPT_ID = 1366;
constexpr int32_t SOUNDS_VOICE = 10000;
constexpr int SOUNDS_STREAM_FILES = 5;  // 10000..10004
constexpr int SOUNDS_NAME = 32;         // 31 characters and the terminating zero
// Room kept in front of a slot's file, so that the sample base of converted
// data (80 bytes before the first sample) still points into the buffer.
constexpr uint32_t SOUNDS_FRONT_ROOM = 80;
constexpr uint32_t SOUNDS_MELO_HEADER = 80;

// The services record the module was given (the general library's otherwise).
HostServices* Sounds_Services(void);
// Heartbeats run since the module started.
uint32_t Sounds_HeartbeatCount(void);

// ---- resident sound slots --------------------------------------------------------

struct SoundSlot {
  char name[SOUNDS_NAME];  // empty: a free slot
  int32_t scriptId;        // 1111..1366
  uint32_t lastUse;        // platform ms of the last load or speech start
  uint8_t* buffer;         // the allocation (owned), null without data
  const uint8_t* header;   // the Melo header playback reads
  uint32_t headerSize;
  const uint8_t* sampleBase;  // sample base + file position = sample
  uint32_t loadedSize;        // positions below it hold samples
  uint32_t fileSize;          // bytes of the file as loaded (converted data included)
  int32_t effectApplied;
  int32_t priority;
};

SoundSlot* Sounds_Slot(int index);
// Loads the named slot's file; slot + 100, or 0 (the slot is cleared).
int Sounds_LoadIntoSlot(int slot);
// Frees the least recently used idle slot; its index, else a free slot's, else -1.
int Sounds_EvictSlot(void);
// Evicts one slot when the loaded sizes pass the cache budget.
void Sounds_EnforceBudget(void);
void Sounds_FreeAllSlots(void);
// Host callback entries 0 and 1: ids 100..131, null for others.
const uint8_t* Sounds_GetSlotHeader(int32_t id, uint32_t* size);
const uint8_t* Sounds_GetSlotSampleBase(int32_t id, uint32_t* loadedSize);
// The resolution of a name or number: a slot id (100..131), 10000, or 0.
int32_t Sounds_ResolveSound(SoundName name);
// The counter from which new script ids are made, and the next id that no
// named slot holds (1111 + counter modulo 256, the counter stepped).
void Sounds_SetScriptIdCounter(uint32_t counter);
int32_t Sounds_NewScriptId(void);

// ---- the file layer ---------------------------------------------------------------

// An open file: an entry of the table of MCMP files, or a plain host file.
struct McmpHandle {
  int32_t entry = -1;  // MCMP table entry, -1 for a plain file
  stdFile_t file = 0;  // the plain file
  bool IsOpen() const { return entry >= 0 || file != 0; }
};
McmpHandle Mcmp_Open(const char* path, const char* mode);
int Mcmp_Read(McmpHandle handle, void* buffer, uint32_t count);
// whence 0 start, 1 current, 2 end; 0 on success.
int Mcmp_Seek(McmpHandle handle, int64_t offset, int whence);
int64_t Mcmp_Tell(McmpHandle handle);
void Mcmp_Close(McmpHandle handle);
// The decompressed size (seek to the end, tell, back to the start); -1 on failure.
int64_t Mcmp_Size(McmpHandle handle);

// Tracked allocations, freed together at shutdown.
void* Sounds_TrackAlloc(size_t size);
void Sounds_TrackFree(void* pointer);
void Sounds_FreeTracked(void);

// ---- stream files and lip sync -----------------------------------------------------

int32_t Sounds_StreamFileOpen(const char* name, int32_t hint);
int Sounds_StreamFileClose(int32_t id);
int32_t Sounds_StreamFileSeek(int32_t id, int32_t offset, int32_t whence);
int32_t Sounds_StreamFileRead(int32_t id, void* buffer, int32_t count);
// Closes every stream file (module start and end).
void Sounds_CloseStreamFiles(void);
// 1 when the stream file of that id is open.
int Sounds_StreamFileIsOpen(int32_t id);

void Sounds_BindLipSync(const char* lipFile, int32_t id);
void Sounds_UnbindLipSync(int32_t id);
// The name with its extension replaced by ".lip".
void Sounds_LipName(const char* name, char* out, size_t room);
// The voice file name remembered by Sounds_StartVoice.
void Sounds_ForgetVoiceName(void);
// The voice-effect name as saved ("OFF" while the effect is off).
const char* Sounds_VoiceEffectName(void);

// The music stream that Sounds_FillStreams tops up (group 3 or 4), or 0.
int32_t Sounds_MusicStream(void);
// Services the streams while keepGoing() holds and each service still moves
// data; gives up after two services in a row that read nothing.
void Sounds_ServiceWhile(bool (*keepGoing)(int32_t sound), int32_t sound);
