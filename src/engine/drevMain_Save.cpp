// The save/load/erase requests and their dispatch from the engine frame.
//
// The serialising, the deserialising and the disk work of the three threads
// are not built yet: a request is answered by a log line and nothing is
// written or read.
#include "engine/drevMain_Save.h"

#include "engine/drevMain.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"

std::atomic<int> drevMain_saveIoState{kSaveIoIdle};
std::atomic<int> drevMain_saveRequest{0};
std::atomic<int> drevMain_loadRequest{0};
std::atomic<int> drevMain_eraseRequest{0};
std::atomic<int> drevMain_newGameRequest{0};

namespace {
std::atomic<int> gSlot{0};
std::atomic<int> gBootOnFailure{0};

void StartThread(int (*body)(void*), const char* name) {
  kv_Thread* thread = kv_Thread_Create(reinterpret_cast<kv_ThreadBody>(body), name, nullptr, 0, 1);
  if (thread) {
    kv_Thread_Detach(thread);
  } else {
    kv_Log_Printf("[Save] - could not start %s", name);
    drevMain_loadRequest.store(0, std::memory_order_release);
    drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
  }
}
}  // namespace

void drevMain_RequestSave(int slot, const char*, int, const char*) {
  gSlot.store(slot);
  drevMain_saveRequest.store(1, std::memory_order_release);
}
void drevMain_RequestLoad(int slot, int bootOnFailure) {
  gSlot.store(slot);
  gBootOnFailure.store(bootOnFailure);
  drevMain_loadRequest.store(1, std::memory_order_release);
}
void drevMain_RequestErase(int slot) {
  gSlot.store(slot);
  drevMain_eraseRequest.store(1, std::memory_order_release);
}
void drevMain_RequestNewGame(void) {
  drevMain_newGameRequest.store(1, std::memory_order_release);
}

void drevMain_SaveDispatch(void) {
  const int state = drevMain_saveIoState.load(std::memory_order_acquire);
  if (state == kSaveIoIdle) {
    // All four requests are looked at in one frame, in this order.
    if (drevMain_saveRequest.load(std::memory_order_acquire)) drevMain_Serialize();
    if (drevMain_loadRequest.load(std::memory_order_acquire)) {
      // The thread counts as running before it starts.
      drevMain_saveIoState.store(kSaveIoReading, std::memory_order_release);
      StartThread(drevMain_LoadThread, "load_thread");
    }
    if (drevMain_eraseRequest.load(std::memory_order_acquire)) {
      drevMain_saveIoState.store(kSaveIoErasing, std::memory_order_release);
      StartThread(drevMain_EraseThread, "erase_thread");
    }
    if (drevMain_newGameRequest.load(std::memory_order_acquire)) drevMain_RestartNewGame();
    return;
  }
  if (!drevMain_loadRequest.load(std::memory_order_acquire)) return;
  if (state == kSaveIoReadDone) {
    drevMain_Deserialize();
  } else if (state == kSaveIoReadFailedBoot) {
    drevMain_Calls().luaCallGlobal("BOOTTWO", "mo.set");
    drevMain_loadRequest.store(0, std::memory_order_release);
    drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
  }
}

// Not built yet: the game state is not serialised; the request is dropped.
void drevMain_Serialize(void) {
  drevMain_saveRequest.store(0, std::memory_order_release);
  kv_Log_Printf("[Save] - saving games is not built yet");
}

// Not built yet: nothing is restored.
void drevMain_Deserialize(void) {
  drevMain_loadRequest.store(0, std::memory_order_release);
  drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
}

// Not built yet: no slot is read; the load fails.
int drevMain_LoadThread(void*) {
  kv_Log_Printf("[Load] - loading games is not built yet");
  drevMain_loadRequest.store(0, std::memory_order_release);
  drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
  return 0;
}

// Not built yet: no slot is erased.
int drevMain_EraseThread(void*) {
  drevMain_eraseRequest.store(0, std::memory_order_release);
  drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
  return 0;
}

// Not built yet: no snapshot is kept.
void drevMain_SnapshotMelos(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Save] - the music snapshot is not built yet");
  }
}

// Not built yet: there is no snapshot to restore.
void drevMain_RestoreMelosSnapshot(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Load] - restoring the music snapshot is not built yet");
  }
}
