// Save, load and erase requests and the save-I/O state that the engine frame
// dispatches. The save, load and erase threads write the state and the
// request flags while the frame reads them, so both are atomics.
#pragma once

#include <atomic>

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

extern std::atomic<int> drevMain_saveIoState;
extern std::atomic<int> drevMain_saveRequest;
extern std::atomic<int> drevMain_loadRequest;
extern std::atomic<int> drevMain_eraseRequest;
extern std::atomic<int> drevMain_newGameRequest;

void drevMain_RequestSave(int slot, const char* progressText, int number, const char* title);
void drevMain_RequestLoad(int slot, int bootOnFailure);
void drevMain_RequestErase(int slot);
void drevMain_RequestNewGame(void);

// The frame's save/load/erase dispatch: looks at the save, load, erase and
// new-game requests in this order when the state is idle, and finishes a load
// whose reading is done.
void drevMain_SaveDispatch(void);

// Serialising and deserialising (main thread) and the thread bodies.
void drevMain_Serialize(void);
void drevMain_Deserialize(void);
int drevMain_LoadThread(void* thread);
int drevMain_EraseThread(void* thread);

// Keeps a snapshot of the music system's saved state; restoring stops all
// music and restores the snapshot. Not built yet: each logs once and does
// nothing.
void drevMain_SnapshotMelos(void);
void drevMain_RestoreMelosSnapshot(void);
