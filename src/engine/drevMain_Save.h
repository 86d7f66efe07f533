// Saving, loading and erasing games.
//
// Script functions only record requests; the engine frame serves them in the
// next frame in which no save operation runs. Serialising and deserialising
// run on the main thread inside the frame; only the disk work runs on
// short-lived detached threads ("save_thread", "load_thread",
// "erase_thread"). The frame and the threads cooperate through the save-I/O
// state and the request flags, which are atomics; a thread's outcome (the
// status for the scripts, the slot to record as "LastSavedGame") is posted
// back and applied by the frame on the main thread.
//
// Game-state stream (uncompressed, every number a little-endian u32, every
// magic the four bytes that spell it):
//   version 4
//   "LCBS" u32 N, N bytes of the scripts' save data, "LCBE"
//   "COSS" chore library "COSE"      "RESS" resources "RESE"
//   "TEXS" text objects "TEXE"       "ROMS" sets "ROME"
//   "COMS" commentary "COME"         "ACTS" actors "ACTE"
//   "RNDS" render module "RNDE"      "PRMS" primitives "PRME"
//   "TLVS" cutscene glue "TLVE"      "OVRS" overlays "OVRE"
//   "DLGS" dialogue log "DLGE"       "HOTS" mouse and hotspots "HOTE"
//   the render-mode-user value
//   "LUAS" the scripting runtime's whole state "LUAE"
//   "MELS" music system "MELE", only when the sound module saves
// Each module block is written and read by the module's save and restore
// slot; a module without a slot gives an empty block. The stream is
// compressed whole with zlib; the slot's game-state file holds exactly the
// compressed bytes.
//
// A load never leaves a half-restored game: the load thread rejects a damaged
// file or an unknown version before anything is touched; the frame then
// serialises the running game into a rollback buffer of its own before it
// frees anything, and any later failure restores that rollback (a new game
// starts only when the rollback fails too).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

struct DisplayBuffer;

enum SaveIoState : int {
  kSaveIoIdle = 0,
  kSaveIoSerialising = 1,
  kSaveIoWriting = 2,
  kSaveIoReading = 3,
  kSaveIoReadDone = 4,
  kSaveIoDeserialising = 5,
  kSaveIoReadFailedBoot = 6,
  kSaveIoErasing = 7,
};

constexpr uint32_t kSaveVersion = 4;
constexpr size_t kSaveBufferSize = 16777216;
constexpr size_t kSaveCompressedSize = 4194304;
constexpr size_t kMelosSnapshotSize = 51200;

// Save statuses the scripts see (GetSaveStatus): 0 success, a slot
// operation's own code, 1 for a failure of the engine's own, 5 for a save
// game of an older version.
constexpr int kSaveStatusOk = 0;
constexpr int kSaveStatusFailed = 1;
constexpr int kSaveStatusOutOfDate = 5;

// The thumbnail of a save file: 250 x 188 pixels, RGB 5-6-5.
constexpr int kSaveImageWidth = 250;
constexpr int kSaveImageHeight = 188;

extern std::atomic<int> drevMain_saveIoState;
extern std::atomic<int> drevMain_saveRequest;
extern std::atomic<int> drevMain_loadRequest;
extern std::atomic<int> drevMain_eraseRequest;
extern std::atomic<int> drevMain_newGameRequest;

// ---- Requests (script functions) ------------------------------------------------

// Texts are copied (at most 127 characters each).
void drevMain_RequestSave(int slot, const char* progressText, int number, const char* title);
void drevMain_RequestLoad(int slot, int bootOnFailure);
void drevMain_RequestErase(int slot);
void drevMain_RequestNewGame(void);
// 1 once after a save game was loaded, then 0.
int drevMain_TakeJustLoaded(void);
// Keeps the music system's state in a buffer of its own (at most 51200
// bytes) and puts it back; both do nothing while a save or load runs or when
// the sound module has no save (restore) slot.
void drevMain_SnapshotMelos(void);
void drevMain_RestoreMelosSnapshot(void);
// The thumbnail of a save file as a new 250 x 188 RGB 5-6-5 buffer, or null
// when the file does not open, its offset or byte count is wrong or it ends
// early.
DisplayBuffer* drevMain_LoadSaveImage(const char* path);

// ---- Dispatch (the engine frame) ---------------------------------------------------

// Applies what a finished thread posted, then, when the state is idle, looks
// at the save, load, erase and new-game requests in this order, each only
// while the state is still idle; finishes a load whose reading is done.
void drevMain_SaveDispatch(void);
// Serialising (state 0 and a save request) and deserialising (state 4).
void drevMain_Serialize(void);
void drevMain_Deserialize(void);
// The thread bodies.
int drevMain_SaveThread(void* thread);
int drevMain_LoadThread(void* thread);
int drevMain_EraseThread(void* thread);

// ---- The save transfer function ----------------------------------------------------

// Append length bytes at the position / copy the next length bytes out. 0 on
// success; 1 when the write would pass the 16 MB capacity or the read the
// end of the stream (nothing is written; a read's destination is zeroed).
int drevMain_SaveWrite(void* data, size_t length);
int drevMain_SaveRead(void* data, size_t length);

// Serialises the running game as the rollback of a load does (the scripts'
// block empty, no progress bar). 0 on success. Tests compare two of these.
int drevMain_SerializeState(std::vector<uint8_t>* out);
// Frees the buffers kept between operations (tests and shutdown); waits for
// a thread still at work first.
void drevMain_ResetSaveState(void);
// Waits for the save, load or erase thread last started (at once when it has
// ended) and applies what it posted. The engine's shutdown calls it, so a save
// being written is finished, and recorded, before the program ends.
void drevMain_JoinDiskThread(void);
