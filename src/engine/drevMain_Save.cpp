// Saving, loading and erasing games: the requests, the frame's dispatch, the
// game-state stream and its transfer functions, the three disk threads, the
// music snapshot and the save thumbnail.
#include "engine/drevMain_Save.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "chore/costume.h"
#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "platform/kv_Registry.h"
#include "platform/kv_Save.h"
#include "platform/kv_Thread.h"
#include "platform/stdByteOrder.h"
#include "std/std.h"
#include "std/stdDisplay.h"

std::atomic<int> drevMain_saveIoState{kSaveIoIdle};
std::atomic<int> drevMain_saveRequest{0};
std::atomic<int> drevMain_loadRequest{0};
std::atomic<int> drevMain_eraseRequest{0};
std::atomic<int> drevMain_newGameRequest{0};

namespace {

constexpr char kPatchScript[] = "patch_v2_or_v3_to_v4.bin";
constexpr char kLastSavedSetting[] = "LastSavedGame";
constexpr int kNoReport = -1000;

// One stream of the transfer functions: written up to a capacity, read up to
// its length (the bytes held).
struct SaveStream {
  std::vector<uint8_t> bytes;
  size_t capacity = kSaveBufferSize;
  size_t pos = 0;
  bool overrun = false;

  void Start(size_t maximum) {
    bytes.clear();
    capacity = maximum;
    pos = 0;
    overrun = false;
  }
  void Rewind() {
    pos = 0;
    overrun = false;
  }
};

// What the script functions asked for (main thread only). Each request keeps
// its own slot: a save and a load asked for in one frame must not share one.
struct Request {
  int saveSlot = 0;
  int loadSlot = 0;
  int eraseSlot = 0;
  int number = 0;
  char progress[kSaveTextSize] = {};
  char title[kSaveTextSize] = {};
};

// What a thread works on: copied from the request before it starts, and not
// touched by the main thread until the state is idle again.
struct Job {
  uint32_t slot = 0;
  uint32_t number = 0;
  char progress[kSaveTextSize] = {};
  char title[kSaveTextSize] = {};
};

struct SaveModule {
  Request request;
  Job job;
  SaveStream save;      // the game-state stream of a save or a load
  SaveStream rollback;  // the running game, kept while a load restores
  std::vector<uint8_t> compressed;
  SaveStream* active = nullptr;  // the stream the transfer functions use
  int justLoaded = 0;
  // The music snapshot: its own bytes, never the save buffer.
  std::vector<uint8_t> melos;
};
SaveModule g;

std::atomic<int> gBootOnFailure{0};
// The save, load or erase thread last started. It is joined before the next
// one starts and when the engine shuts down, so a write under way always
// completes and no thread outlives the program.
kv_Thread* gDiskThread = nullptr;
// Posted by a thread before it sets the state back to idle.
std::atomic<int> gPostedStatus{kNoReport};
std::atomic<int> gPostedLastSaved{-1};

void Copy(char (&target)[kSaveTextSize], const char* text) {
  std::memset(target, 0, sizeof target);
  if (text) std::strncpy(target, text, sizeof target - 1);
}

// ---- Stream writing --------------------------------------------------------------

constexpr uint32_t Magic(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// A module block of the stream and the module table entry that fills it.
struct ModuleBlock {
  const char start[5];
  const char end[5];
  int group;
  int index;
};
constexpr ModuleBlock kModuleBlocks[] = {
    {"RESS", "RESE", 0, 7},  // resource binding
    {"TEXS", "TEXE", 1, 3},  // text objects
    {"ROMS", "ROME", 0, 2},  // sets
    {"COMS", "COME", 0, 8},  // commentary
    {"ACTS", "ACTE", 0, 6},  // actors
    {"RNDS", "RNDE", 1, 2},  // render module
    {"PRMS", "PRME", 1, 4},  // primitives
    {"TLVS", "TLVE", 1, 5},  // cutscene glue
    {"OVRS", "OVRE", 1, 6},  // overlays
    {"DLGS", "DLGE", 1, 7},  // dialogue log
    {"HOTS", "HOTE", 1, 8},  // mouse and hotspots
};
constexpr int kSoundGroup = 1;
constexpr int kSoundIndex = 1;

ModuleDescriptor* Descriptor(int group, int index) {
  return drevMain_GetModuleDescriptor(group, index);
}

bool WriteU32(uint32_t value) {
  uint8_t bytes[4];
  stdLE_PutU32(bytes, value);
  return drevMain_SaveWrite(bytes, 4) == 0;
}

bool ReadU32(uint32_t* value) {
  uint8_t bytes[4];
  if (drevMain_SaveRead(bytes, 4) != 0) return false;
  *value = stdLE_GetU32(bytes);
  return true;
}

// Writes the stream into the active stream. `scripts` calls the scripts' save
// callback for the "LCBS" block (else it is empty); `progress` draws the
// progress bar. On failure *failure names the block and the reason.
bool WriteStream(bool scripts, bool progress, std::string* failure) {
  drevMainCalls& calls = drevMain_Calls();
  auto bar = [&](float fraction) {
    if (progress) calls.renderDrawProgressBar(fraction);
  };
  // A block whose writer failed, or that did not fit, fails the save.
  auto block = [&](const char* name, uint32_t start, uint32_t end, auto&& body) {
    if (!WriteU32(start)) {
      *failure = std::string(name) + " does not fit the save buffer";
      return false;
    }
    if (!body() || g.active->overrun) {
      *failure = std::string(name) +
                 (g.active->overrun ? " does not fit the save buffer" : " save failed");
      return false;
    }
    if (!WriteU32(end)) {
      *failure = std::string(name) + " does not fit the save buffer";
      return false;
    }
    return true;
  };
  auto moduleSave = [](int group, int index) {
    ModuleDescriptor* d = Descriptor(group, index);
    return !d || !d->save || d->save(drevMain_SaveWrite) == 0;
  };

  bar(0.1f);
  if (!WriteU32(kSaveVersion)) {
    *failure = "version does not fit the save buffer";
    return false;
  }
  if (!block("LCBS", Magic("LCBS"), Magic("LCBE"), [&] {
        if (scripts) {
          calls.luaSaveGameCallback(drevMain_SaveWrite);
          return true;
        }
        return WriteU32(0);
      })) {
    return false;
  }
  bar(0.2f);
  if (!block("COSS", Magic("COSS"), Magic("COSE"),
             [&] { return calls.cosSave(drevMain_SaveWrite) == 0; })) {
    return false;
  }
  for (const ModuleBlock& b : kModuleBlocks) {
    const uint32_t start = Magic(b.start);
    if (start == Magic("RESS")) bar(0.3f);
    if (start == Magic("TEXS")) bar(0.4f);
    if (start == Magic("ACTS")) bar(0.5f);
    if (!block(b.start, start, Magic(b.end), [&] { return moduleSave(b.group, b.index); })) {
      return false;
    }
  }
  if (!WriteU32(static_cast<uint32_t>(drevMain_GetRenderModeUser()))) {
    *failure = "render mode does not fit the save buffer";
    return false;
  }
  bar(0.75f);
  if (!block("LUAS", Magic("LUAS"), Magic("LUAE"),
             [&] { return calls.luaSave(drevMain_SaveWrite) == 0; })) {
    return false;
  }
  bar(1.0f);
  ModuleDescriptor* sound = Descriptor(kSoundGroup, kSoundIndex);
  if (sound && sound->save && !block("MELS", Magic("MELS"), Magic("MELE"), [&] {
        return moduleSave(kSoundGroup, kSoundIndex);
      })) {
    return false;
  }
  return true;
}

// ---- Stream reading --------------------------------------------------------------

// Reads the blocks after the version word from the active stream, stopping
// at the first fault.
bool ReadStream(bool progress, std::string* failure) {
  drevMainCalls& calls = drevMain_Calls();
  auto bar = [&](float fraction) {
    if (progress) calls.renderDrawProgressBar(fraction);
  };
  auto fail = [&](const char* name, const char* reason) {
    *failure = std::string(name) + " " + reason;
    return false;
  };
  auto block = [&](const char* name, uint32_t start, uint32_t end, auto&& body) {
    uint32_t magic = 0;
    if (!ReadU32(&magic)) return fail(name, "read past the end of the save");
    if (magic != start) return fail(name, "wrong start magic");
    const bool ok = body();
    if (g.active->overrun) return fail(name, "read past the end of the save");
    if (!ok) return fail(name, "restore failed");
    if (!ReadU32(&magic)) return fail(name, "read past the end of the save");
    if (magic != end) return fail(name, "wrong end magic");
    return true;
  };
  auto moduleRestore = [](int group, int index) {
    ModuleDescriptor* d = Descriptor(group, index);
    return !d || !d->restore || d->restore(drevMain_SaveRead) == 0;
  };

  // The scripts fetch their data themselves: the block is skipped.
  if (!block("LCBS", Magic("LCBS"), Magic("LCBE"), [&] {
        uint32_t count = 0;
        if (!ReadU32(&count)) return false;
        SaveStream& s = *g.active;
        if (count > s.bytes.size() - s.pos) {
          s.overrun = true;
          return false;
        }
        s.pos += count;
        return true;
      })) {
    return false;
  }
  bar(0.2f);
  if (!block("COSS", Magic("COSS"), Magic("COSE"),
             [&] { return calls.cosRestore(drevMain_SaveRead) == 0; })) {
    return false;
  }
  bar(0.3f);
  for (const ModuleBlock& b : kModuleBlocks) {
    if (!block(b.start, Magic(b.start), Magic(b.end),
               [&] { return moduleRestore(b.group, b.index); })) {
      return false;
    }
    if (Magic(b.start) == Magic("TEXS")) bar(0.4f);
  }
  uint32_t renderMode = 0;
  if (!ReadU32(&renderMode)) return fail("render mode", "read past the end of the save");
  if (renderMode > kGameNoRender) return fail("render mode", "out of range");
  drevMain_SetRenderModeUser(static_cast<int>(renderMode));
  bar(0.75f);
  if (!block("LUAS", Magic("LUAS"), Magic("LUAE"),
             [&] { return calls.luaRestore(drevMain_SaveRead) == 0; })) {
    return false;
  }
  bar(1.0f);
  ModuleDescriptor* sound = Descriptor(kSoundGroup, kSoundIndex);
  if (sound && sound->restore && !block("MELS", Magic("MELS"), Magic("MELE"), [&] {
        return moduleRestore(kSoundGroup, kSoundIndex);
      })) {
    return false;
  }
  return true;
}

// Step 3 of a load: nothing of the running game may act while its modules
// are replaced.
void PrepareForRestore(bool progress) {
  drevMainCalls& calls = drevMain_Calls();
  calls.renderSetWaitTimerEnabled(0);
  if (progress) calls.renderDrawProgressBar(0.1f);
  drevMain_SetScriptUpdate(0);
  calls.melosStopAllSounds();
  calls.tolveStop();
  calls.tolveUpdate();
  calls.resourceFreeAll();
  calls.forgetShadowMaterial();
  calls.resourceSetRestoring(1);
  calls.resourcesReleased();
  calls.luaCollectGarbage();
}

// What every load does once its blocks are in: the set's view is prepared
// and the whole screen redrawn from the clean buffer.
void FinishRestore() {
  drevMainCalls& calls = drevMain_Calls();
  Room* room = calls.roomGetCurrent();
  calls.renderPrepareSetup(room, room ? static_cast<int>(room->currentSetup) : 0);
  static const int kScreen[4] = {0, 0, 640, 480};
  calls.renderInvalidateRectAllBuffers(kScreen, 1);
}

// Ends an operation on the main thread: the status for the scripts, then idle.
void Finish(int status) {
  if (status != kNoReport) drevMain_Calls().luaSetSaveStatus(status);
  drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
}

// A thread's outcome: posted before the state goes back to idle, applied by
// the frame.
void Post(int status) {
  gPostedStatus.store(status, std::memory_order_relaxed);
  drevMain_saveIoState.store(kSaveIoIdle, std::memory_order_release);
}

void ApplyPosted() {
  const int status = gPostedStatus.exchange(kNoReport, std::memory_order_relaxed);
  const int lastSaved = gPostedLastSaved.exchange(-1, std::memory_order_relaxed);
  if (lastSaved >= 0) {
    kv_Registry_WriteInt(kLastSavedSetting, lastSaved);
    if (kv_Registry_Save() != 0) kv_Log_Printf("[Save] - the settings file could not be written");
  }
  if (status != kNoReport) drevMain_Calls().luaSetSaveStatus(status);
}

void JoinDiskThread() {
  if (!gDiskThread) return;
  kv_Thread_Join(gDiskThread);
  gDiskThread = nullptr;
}

// The state is set before the thread starts, so the next frame already sees
// the operation running.
bool StartThread(int (*body)(void*), const char* name, int state) {
  drevMain_saveIoState.store(state, std::memory_order_release);
  JoinDiskThread();  // long done: the state was idle
  gDiskThread = kv_Thread_Create(body, name, nullptr, 0, 1);
  if (gDiskThread) return true;
  kv_Log_Printf("[Save] - could not start %s", name);
  return false;
}

// The stream's version word: 0 when the stream is shorter.
uint32_t StreamVersion(const SaveStream& s) {
  return s.bytes.size() >= 4 ? stdLE_GetU32(s.bytes.data()) : 0;
}

// Uncompresses a whole zlib stream into out, which grows with the output up
// to maximum bytes: Z_OK, or zlib's error (Z_BUF_ERROR when the stream holds
// more than maximum bytes or ends early). out is empty on failure.
int Uncompress(const std::vector<uint8_t>& in, size_t maximum, std::vector<uint8_t>* out) {
  out->clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return Z_MEM_ERROR;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  size_t size = in.size() * 4 > (size_t{64} << 10) ? in.size() * 4 : size_t{64} << 10;
  int result = Z_OK;
  while (result == Z_OK) {
    if (size > maximum) size = maximum;
    out->resize(size);
    z.next_out = out->data() + z.total_out;
    z.avail_out = static_cast<uInt>(size - z.total_out);
    result = inflate(&z, Z_FINISH);
    if (result == Z_BUF_ERROR && z.avail_out == 0 && size < maximum) {
      size *= 2;  // more output than room: grow and go on
      result = Z_OK;
    } else if (result == Z_BUF_ERROR || result == Z_OK) {
      result = Z_BUF_ERROR;  // the stream ends early, or holds more than maximum
    }
  }
  const size_t produced = z.total_out;
  inflateEnd(&z);
  if (result != Z_STREAM_END) {
    std::vector<uint8_t>().swap(*out);
    return result;
  }
  out->resize(produced);
  return Z_OK;
}

// A failed load thread: BOOTTWO in the next frame with boot on failure, else
// the code goes to the scripts.
void LoadThreadFailed(int code) {
  kv_Log_Printf("[Load] - failed! reason: %d", code);
  if (gBootOnFailure.exchange(0)) {
    drevMain_saveIoState.store(kSaveIoReadFailedBoot, std::memory_order_release);
    return;
  }
  drevMain_loadRequest.store(0, std::memory_order_release);
  Post(code);
}

}  // namespace

// ---- Transfer functions ------------------------------------------------------------

int drevMain_SaveWrite(void* data, size_t length) {
  if (length == 0) return 0;
  SaveStream* s = g.active;
  if (!s || !data || length > s->capacity - s->pos) {
    if (s) s->overrun = true;
    return 1;
  }
  if (s->bytes.size() < s->pos + length) s->bytes.resize(s->pos + length);
  std::memcpy(s->bytes.data() + s->pos, data, length);
  s->pos += length;
  return 0;
}

int drevMain_SaveRead(void* data, size_t length) {
  if (length == 0) return 0;
  SaveStream* s = g.active;
  if (!s || !data || length > s->bytes.size() - s->pos) {
    if (s) s->overrun = true;
    if (data) std::memset(data, 0, length);
    return 1;
  }
  std::memcpy(data, s->bytes.data() + s->pos, length);
  s->pos += length;
  return 0;
}

int drevMain_SerializeState(std::vector<uint8_t>* out) {
  SaveStream stream;
  SaveStream* previous = g.active;
  g.active = &stream;
  std::string failure;
  const bool ok = WriteStream(false, false, &failure);
  g.active = previous;
  if (!ok) {
    kv_Log_Printf("[Save] - serialising the game failed: %s", failure.c_str());
    return 1;
  }
  if (out) *out = std::move(stream.bytes);
  return 0;
}

void drevMain_JoinDiskThread(void) {
  if (!gDiskThread) return;
  JoinDiskThread();
  // What it posted (the slot it saved to goes into the settings) is not left
  // for a frame that may never come.
  ApplyPosted();
}

void drevMain_ResetSaveState(void) {
  JoinDiskThread();
  g.save = SaveStream{};
  g.rollback = SaveStream{};
  std::vector<uint8_t>().swap(g.compressed);
  std::vector<uint8_t>().swap(g.melos);
  g.active = nullptr;
  g.justLoaded = 0;
  g.request = Request{};
  gBootOnFailure.store(0);
  gPostedStatus.store(kNoReport);
  gPostedLastSaved.store(-1);
  drevMain_saveIoState.store(kSaveIoIdle);
  drevMain_saveRequest.store(0);
  drevMain_loadRequest.store(0);
  drevMain_eraseRequest.store(0);
  drevMain_newGameRequest.store(0);
}

// ---- Requests ----------------------------------------------------------------------

void drevMain_RequestSave(int slot, const char* progressText, int number, const char* title) {
  g.request.saveSlot = slot;
  g.request.number = number;
  Copy(g.request.progress, progressText);
  Copy(g.request.title, title);
  drevMain_saveRequest.store(1, std::memory_order_release);
}
void drevMain_RequestLoad(int slot, int bootOnFailure) {
  g.request.loadSlot = slot;
  gBootOnFailure.store(bootOnFailure ? 1 : 0);
  drevMain_loadRequest.store(1, std::memory_order_release);
}
void drevMain_RequestErase(int slot) {
  g.request.eraseSlot = slot;
  drevMain_eraseRequest.store(1, std::memory_order_release);
}
void drevMain_RequestNewGame(void) {
  drevMain_newGameRequest.store(1, std::memory_order_release);
}

int drevMain_TakeJustLoaded(void) {
  const int loaded = g.justLoaded;
  g.justLoaded = 0;
  return loaded;
}

// ---- Dispatch ----------------------------------------------------------------------

void drevMain_SaveDispatch(void) {
  const int state = drevMain_saveIoState.load(std::memory_order_acquire);
  ApplyPosted();
  if (state == kSaveIoIdle) {
    auto idle = [] { return drevMain_saveIoState.load(std::memory_order_acquire) == kSaveIoIdle; };
    if (drevMain_saveRequest.load(std::memory_order_acquire)) drevMain_Serialize();
    if (idle() && drevMain_loadRequest.load(std::memory_order_acquire)) {
      g.job = Job{};
      g.job.slot = static_cast<uint32_t>(g.request.loadSlot);
      if (!StartThread(drevMain_LoadThread, "load_thread", kSaveIoReading)) {
        drevMain_loadRequest.store(0, std::memory_order_release);
        Finish(kSaveStatusFailed);
      }
    }
    if (idle() && drevMain_eraseRequest.load(std::memory_order_acquire)) {
      g.job = Job{};
      g.job.slot = static_cast<uint32_t>(g.request.eraseSlot);
      if (!StartThread(drevMain_EraseThread, "erase_thread", kSaveIoErasing)) {
        drevMain_eraseRequest.store(0, std::memory_order_release);
        Finish(kSaveStatusFailed);
      }
    }
    if (idle() && drevMain_newGameRequest.load(std::memory_order_acquire)) {
      drevMain_RestartNewGame();
    }
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

// ---- Serialising ---------------------------------------------------------------------

void drevMain_Serialize(void) {
  drevMainCalls& calls = drevMain_Calls();
  kv_Log_Printf("[Save] - starting save serialization");
  drevMain_saveIoState.store(kSaveIoSerialising, std::memory_order_release);
  drevMain_saveRequest.store(0, std::memory_order_release);
  g.save.Start(kSaveBufferSize);
  g.compressed.clear();
  calls.luaCollectGarbage();
  calls.renderSetWaitTimerEnabled(0);

  g.active = &g.save;
  std::string failure;
  const bool written = WriteStream(true, true, &failure);
  g.active = nullptr;
  calls.renderSetWaitTimerEnabled(1);
  if (!written) {
    // Nothing reaches the disk: the slot and "LastSavedGame" stay as they were.
    kv_Log_Printf("[Save] - failed: %s", failure.c_str());
    g.save = SaveStream{};
    Finish(kSaveStatusFailed);
    return;
  }

  kv_Log_Printf("[Save] - compressing...");
  // Room for the worst case of this stream, within the limit of a save.
  const uLong bound = compressBound(static_cast<uLong>(g.save.pos));
  g.compressed.resize(bound < kSaveCompressedSize ? bound : kSaveCompressedSize);
  uLongf size = static_cast<uLongf>(g.compressed.size());
  const int result =
      compress(g.compressed.data(), &size, g.save.bytes.data(), static_cast<uLong>(g.save.pos));
  g.save = SaveStream{};
  if (result != Z_OK) {
    kv_Log_Printf("[Save] - failed: the game does not compress into %zu bytes (zlib %d)",
                  kSaveCompressedSize, result);
    std::vector<uint8_t>().swap(g.compressed);
    Finish(kSaveStatusFailed);
    return;
  }
  g.compressed.resize(size);

  g.job = Job{};
  g.job.slot = static_cast<uint32_t>(g.request.saveSlot);
  g.job.number = static_cast<uint32_t>(g.request.number);
  std::memcpy(g.job.progress, g.request.progress, sizeof g.job.progress);
  std::memcpy(g.job.title, g.request.title, sizeof g.job.title);
  kv_Log_Printf("[Save] - starting save IO thread...");
  if (!StartThread(drevMain_SaveThread, "save_thread", kSaveIoWriting)) {
    std::vector<uint8_t>().swap(g.compressed);
    Finish(kSaveStatusFailed);
  }
}

// ---- Threads -------------------------------------------------------------------------

int drevMain_SaveThread(void*) {
  drevMain_saveIoState.store(kSaveIoWriting, std::memory_order_release);
  const int code =
      kv_Save_WriteSlot(g.job.slot, g.compressed.data(), static_cast<uint32_t>(g.compressed.size()),
                        g.job.title, g.job.number, g.job.progress);
  if (code != 0) {
    kv_Log_Printf("[Save] - failed to write save to disk. reason: %d", code);
  } else {
    kv_Log_Printf("[Save] - successfully wrote save game to disk");
    // The settings belong to the main thread: the frame records the slot.
    gPostedLastSaved.store(static_cast<int>(g.job.slot), std::memory_order_relaxed);
  }
  std::vector<uint8_t>().swap(g.compressed);
  Post(code);
  return 0;
}

int drevMain_LoadThread(void*) {
  drevMain_saveIoState.store(kSaveIoReading, std::memory_order_release);
  kv_Log_Printf("[Load] - beginning load of slot: %d", static_cast<int>(g.job.slot));
  // The buffers are sized from the file and the stream, not to their limits.
  const int code = kv_Save_ReadSlotBytes(g.job.slot, kSaveCompressedSize, &g.compressed);
  if (code != 0) {
    std::vector<uint8_t>().swap(g.compressed);
    LoadThreadFailed(code);
    return 0;
  }
  kv_Log_Printf("[Load] - load complete, preparing to deserialize");

  // Everything that can be checked before the running game is touched is
  // checked here: zlib's checksum catches a damaged file.
  kv_Log_Printf("[Load] - uncompressing...");
  g.save.Start(kSaveBufferSize);
  const int result = Uncompress(g.compressed, kSaveBufferSize, &g.save.bytes);
  std::vector<uint8_t>().swap(g.compressed);
  const char* refusal = nullptr;
  if (result != Z_OK) {
    refusal = "the save game is damaged";
  } else if (g.save.bytes.size() < 4) {
    refusal = "the save game holds no version";
  } else if (StreamVersion(g.save) > kSaveVersion) {
    refusal = "the save game is of a later version";
  }
  if (refusal) {
    kv_Log_Printf("[Load] - %s (zlib %d, %zu bytes)", refusal, result, g.save.bytes.size());
    g.save = SaveStream{};
    LoadThreadFailed(kSaveStatusFailed);
    return 0;
  }
  drevMain_saveIoState.store(kSaveIoReadDone, std::memory_order_release);
  return 0;
}

int drevMain_EraseThread(void*) {
  drevMain_saveIoState.store(kSaveIoErasing, std::memory_order_release);
  drevMain_eraseRequest.store(0, std::memory_order_release);
  Post(kv_Save_EraseSlot(g.job.slot));
  return 0;
}

// ---- Deserialising -------------------------------------------------------------------

void drevMain_Deserialize(void) {
  drevMainCalls& calls = drevMain_Calls();
  drevMain_saveIoState.store(kSaveIoDeserialising, std::memory_order_release);
  drevMain_loadRequest.store(0, std::memory_order_release);
  kv_Log_Printf("[Load] - deserializing...");
  g.save.Rewind();
  const uint32_t version = StreamVersion(g.save);
  if (version <= 2) {
    kv_Save_ShowOutOfDateMessage();
    kv_Log_Printf("[Load] - error - found old invalid save version. starting new game...");
    g.save = SaveStream{};
    drevMain_newGameRequest.store(1, std::memory_order_release);
    Finish(gBootOnFailure.exchange(0) ? kNoReport : kSaveStatusOutOfDate);
    return;
  }

  // The running game, kept until the load has succeeded.
  g.rollback.Start(kSaveBufferSize);
  g.active = &g.rollback;
  std::string failure;
  if (!WriteStream(false, false, &failure)) {
    g.active = nullptr;
    kv_Log_Printf("[Load] - failed: rollback %s", failure.c_str());
    g.save = SaveStream{};
    g.rollback = SaveStream{};
    gBootOnFailure.store(0);
    Finish(kSaveStatusFailed);
    return;
  }
  const int gameStateBefore = GameState;

  PrepareForRestore(true);
  g.active = &g.save;
  g.save.pos = 4;
  const bool loaded = ReadStream(true, &failure);
  if (!loaded) {
    kv_Log_Printf("[Load] - failed: %s", failure.c_str());
    // Back to the game as it was before the load.
    PrepareForRestore(false);
    g.rollback.Rewind();
    g.rollback.pos = 4;
    g.active = &g.rollback;
    std::string rollbackFailure;
    if (!ReadStream(false, &rollbackFailure)) {
      kv_Log_Printf(
          "[Load] - the game before the load could not be restored: %s. starting new game...",
          rollbackFailure.c_str());
      drevMain_newGameRequest.store(1, std::memory_order_release);
    }
  }
  g.active = nullptr;
  g.save = SaveStream{};
  g.rollback = SaveStream{};
  calls.resourceSetRestoring(0);

  if (loaded && version != kSaveVersion) {
    kv_Log_Printf("[Load] - applying Lua patch");
    if (version == 3) calls.luaDoFile(kPatchScript);
  }
  FinishRestore();
  calls.renderSetWaitTimerEnabled(1);
  gBootOnFailure.store(0);
  if (loaded) {
    g.justLoaded = 1;
    GameState = kGameRunning;
    calls.overlaySetVirtualScreenAspect(1.3333334f);
    calls.luaSetInputMode(0);
  } else {
    GameState = gameStateBefore;
  }
  drevMain_SetScriptUpdate(1);
  Finish(loaded ? kSaveStatusOk : kSaveStatusFailed);
  if (loaded) kv_Log_Printf("[Load] - successfully loaded save game!");
}

// ---- Music snapshot ------------------------------------------------------------------

void drevMain_SnapshotMelos(void) {
  if (drevMain_saveIoState.load(std::memory_order_acquire) != kSaveIoIdle) return;
  ModuleDescriptor* sound = Descriptor(kSoundGroup, kSoundIndex);
  if (!sound || !sound->save) return;
  SaveStream stream;
  stream.Start(kMelosSnapshotSize);
  SaveStream* previous = g.active;
  g.active = &stream;
  const int result = sound->save(drevMain_SaveWrite);
  g.active = previous;
  if (result != 0 || stream.overrun) {
    kv_Log_Printf("[Save] - the music state does not fit its %zu-byte snapshot; kept the last one",
                  kMelosSnapshotSize);
    return;
  }
  g.melos = std::move(stream.bytes);
}

void drevMain_RestoreMelosSnapshot(void) {
  if (drevMain_saveIoState.load(std::memory_order_acquire) != kSaveIoIdle) return;
  ModuleDescriptor* sound = Descriptor(kSoundGroup, kSoundIndex);
  if (!sound || !sound->restore || g.melos.empty()) return;
  SaveStream stream;
  stream.bytes = g.melos;
  SaveStream* previous = g.active;
  g.active = &stream;
  drevMain_Calls().melosStopAllSounds();
  if (sound->restore(drevMain_SaveRead) != 0 || stream.overrun)
    kv_Log_Printf("[Load] - the music snapshot could not be restored");
  g.active = previous;
}

// ---- Thumbnail -------------------------------------------------------------------------

DisplayBuffer* drevMain_LoadSaveImage(const char* path) {
  HostServices* hs = std_pHS;
  if (!path || !hs || !hs->fileOpen) return nullptr;
  const stdFile_t file = hs->fileOpen(path, "rb");
  if (!file) return nullptr;
  static const BufferFormat kFormat = {
      kSaveImageWidth, kSaveImageHeight, 0, 0, 0, {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0}};
  DisplayBuffer* image = nullptr;
  uint8_t word[4];
  if (hs->fileRead(file, word, 4) == 4 && hs->fileSeek(file, stdLE_GetU32(word), SEEK_SET) == 0 &&
      hs->fileRead(file, word, 4) == 4) {
    image = stdDisplay_NewBuffer(&kFormat, 0, 0, nullptr);
    const uint32_t count = stdLE_GetU32(word);
    if (image && (count != static_cast<uint32_t>(image->format.byteSize) ||
                  hs->fileRead(file, image->pixels, count) != count)) {
      stdDisplay_FreeBuffer(image);
      image = nullptr;
    }
  }
  hs->fileClose(file);
  return image;
}
