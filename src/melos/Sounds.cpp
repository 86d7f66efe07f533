// The music host module (see Sounds.h): its lifecycle with the heartbeat
// thread, the resolution of sound names, the by-name operations, the frame's
// update and the MELS save block.
#include "melos/Sounds.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "melos/Melos.h"
#include "melos/MelosBytes.h"
#include "melos/MelosInternal.h"
#include "melos/MelosScript.h"
#include "melos/SoundsInternal.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"

namespace {

constexpr uint32_t kWorkBuffer = 131072;
constexpr int kMaxPriority = 124;
constexpr int kHeartbeatMs = 16;
constexpr char kMusicTable[] = "music.txt";

HostServices* g_services = nullptr;
std::atomic<int> g_started{0};
kv_Thread* g_heartbeat = nullptr;
std::atomic<uint32_t> g_beats{0};
std::atomic<int> g_inHeartbeat{0};
int g_savedMaster = 127;
MelosMemoryBlock g_blocks[3];  // indexed from 1

// ---- host callbacks -------------------------------------------------------------

MelosMemoryBlock* MemoryBlock(int32_t index) {
  return index >= 1 && index <= 2 && g_blocks[index].buffer ? &g_blocks[index] : nullptr;
}

int32_t StreamSeek(int32_t sound, int32_t offset, int32_t whence) {
  return Sounds_StreamFileSeek(sound, offset, whence);
}
int32_t StreamRead(int32_t sound, void* buffer, int32_t count) {
  return Sounds_StreamFileRead(sound, buffer, count);
}

// The music script's loaded-file callbacks: this host loads no music whole.
int32_t LoadStub(const char*, int32_t) {
  return 0;
}
int FreeStub(int32_t) {
  return 0;
}
int CloseStreamFile(int32_t id) {
  return Sounds_StreamFileClose(id);
}

void FreeBlocks() {
  for (int i = 1; i <= 2; ++i) {
    MelosMemoryBlock freed{};
    {
      MelosLockGuard lock;
      std::swap(freed, g_blocks[i]);
    }
    if (freed.buffer) Sounds_Services()->memFree(freed.buffer);
  }
}

bool AllocateBlock(int index, int32_t size, int32_t chunk, int32_t refill) {
  if (size <= 0) return false;
  auto* buffer = static_cast<uint8_t*>(Sounds_Services()->memAlloc(size, __FILE__, __LINE__));
  if (!buffer) return false;
  MelosLockGuard lock;
  g_blocks[index] = {buffer, size, chunk, refill};
  return true;
}

// ---- the heartbeat ---------------------------------------------------------------

int Heartbeat(void* record) {
  const auto* thread = static_cast<const kv_Thread*>(record);
  kv_Thread_ApplyPriority(thread);
  while (kv_Thread_IsRunning(thread)) {
    ++g_beats;
    g_inHeartbeat = 1;
    Melos_Heartbeat();
    g_inHeartbeat = 0;
    kv_Platform_Delay(kHeartbeatMs);
  }
  return 0;
}

// ---- the music table ---------------------------------------------------------------

// Reads music.txt from the game folder into the music script's tables; a
// missing or bad file leaves only the null rows.
void LoadMusicTable() {
  HostServices* hs = Sounds_Services();
  const stdFile_t file = hs->fileOpen ? hs->fileOpen(kMusicTable, "rb") : 0;
  if (!file) {
    kv_Log_Printf("[Sounds] - %s not found: the music script has no states or sequences",
                  kMusicTable);
    MelosScript_NullTables();
    return;
  }
  MelosScript_BeginTables();
  char line[512];
  int number = 0;
  const char* why = nullptr;
  while (!why && hs->fileGets(file, line, sizeof line)) {
    ++number;
    if (!std::strchr(line, '\n') && !hs->fileEof(file)) {
      why = "the line is too long";
      break;
    }
    MelosScript_TableLine(line, &why);
  }
  hs->fileClose(file);
  if (why) {
    kv_Log_Printf("[Sounds] - %s line %d: %s; only the null state and sequence remain", kMusicTable,
                  number, why);
    MelosScript_NullTables();
    return;
  }
  if (MelosScript_EndTables(&why) != 0) {
    kv_Log_Printf("[Sounds] - %s: %s; only the null state and sequence remain", kMusicTable, why);
    return;
  }
  kv_Log_Printf("[Sounds] - %s: %d states, %d sequences", kMusicTable, MelosScript_StateCount(),
                MelosScript_SequenceCount());
}

// ---- by-name helpers --------------------------------------------------------------

// The slot of a resolved slot id, or null (the voice, nothing).
SoundSlot* SlotOf(int32_t id) {
  return Sounds_Slot(id - SOUNDS_SLOT_ID);
}

bool ParseShortNumber(const char* text, int32_t* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool IsScriptId(int32_t n) {
  return n >= SOUNDS_FIRST_SCRIPT_ID && n <= SOUNDS_LAST_SCRIPT_ID;
}

// A resident sound that the save keeps: playing, loaded as a Melo file of its
// own (converted sounds carry the 56-byte map of the converter's header).
bool Saved(int i) {
  const SoundSlot& s = *Sounds_Slot(i);
  if (!s.name[0] || !s.buffer || !s.header || s.headerSize < 16) return false;
  if (Melos_GetParam(i + SOUNDS_SLOT_ID, MELOS_PARAM_PLAYING) <= 0) return false;
  return Melos_Tag(s.header, "Melo") && Melos_BE32(s.header + 12) != 56;
}

int32_t StartResident(SoundName name, int priority, int group, bool speech) {
  const int32_t id = Sounds_ResolveSound(name);
  SoundSlot* slot = SlotOf(id);
  if (!slot) return 0;
  priority = std::min(priority, kMaxPriority);
  if (speech) slot->lastUse = kv_Platform_GetTicks();
  Melos_StartSound(id, priority);
  Melos_SetParam(id, MELOS_PARAM_GROUP, group);
  slot->priority = priority;
  return slot->scriptId;
}

bool MusicHungryOrShort(int32_t music) {
  int32_t size = 0, buffered = 0, end = 0;
  if (Melos_GetStreamInfo(music, &size, nullptr, &buffered, &end) != 0) return false;
  return !end && buffered <= size - Melos_Config()[MELOS_CFG_MUSIC_CHUNK];
}

bool Write(SaveTransferFn write, const void* data, size_t length) {
  return write(const_cast<void*>(data), length) == 0;
}
bool WriteU32(SaveTransferFn write, uint32_t v) {
  uint8_t b[4];
  Melos_PutLE32(b, v);
  return Write(write, b, 4);
}
bool ReadU32(SaveTransferFn read, uint32_t* v) {
  uint8_t b[4];
  if (read(b, 4) != 0) return false;
  *v = Melos_LE32(b);
  return true;
}

// The work buffer of a save or restore, freed on every path.
struct WorkBuffer {
  uint8_t* bytes =
      static_cast<uint8_t*>(Sounds_Services()->memAlloc(kWorkBuffer, __FILE__, __LINE__));
  ~WorkBuffer() {
    if (bytes) Sounds_Services()->memFree(bytes);
  }
};

// Reads a length and that many bytes of a block into the work buffer.
bool ReadBlock(SaveTransferFn read, uint8_t* work, uint32_t* length, const char* what) {
  if (!ReadU32(read, length)) return false;
  if (*length > kWorkBuffer) {
    kv_Log_Printf("[Sounds] - restore: the %s block of %u bytes does not fit %u", what, *length,
                  kWorkBuffer);
    return false;
  }
  return read(work, *length) == 0;
}

}  // namespace

HostServices* Sounds_Services(void) {
  return g_services ? g_services : std_pHS;
}

// ---- module lifecycle ----------------------------------------------------------------

int SoundsInitialize(HostServices* services, ModuleDescriptor* descriptor) {
  g_services = services;
  if (!descriptor) return 0;
  *descriptor = ModuleDescriptor{};
  descriptor->initialize = SoundsInitialize;
  descriptor->startup = Sounds_Startup;
  descriptor->shutdown = Sounds_Shutdown;
  descriptor->save = Sounds_Save;
  descriptor->restore = Sounds_Restore;
  descriptor->pause = Sounds_Pause;
  descriptor->resume = Sounds_Resume;
  return 0;
}

void Sounds_SetConfig(int v0, int v1, int v2, int v3, int v4, int v5, int v6, int v7, int v8,
                      int v9, int v10, int v11) {
  const int v[12] = {v0, v1, v2, v3, v4, v5, v6, v7, v8, v9, v10, v11};
  int32_t* config = Melos_Config();
  std::copy(v, v + 12, config);
  config[MELOS_CFG_VOICE_EFFECT] = 150000;
}

void Sounds_SetScriptEnabled(int value) {
  Melos_Config()[MELOS_CFG_SCRIPT_ENABLED] = value;
}

int Sounds_Startup(void) {
  if (g_started.load()) return 0;
  if (!Sounds_Services()) {
    kv_Log_Printf("[Sounds] - no services record: the music host cannot start");
    return -1;
  }
  Sounds_FreeTracked();
  Sounds_FreeAllSlots();
  Sounds_CloseStreamFiles();
  MelosHostCallbacks* host = Melos_HostCallbacks();
  host->header = Sounds_GetSlotHeader;
  host->sampleBase = Sounds_GetSlotSampleBase;
  host->seek = StreamSeek;
  host->read = StreamRead;
  host->memoryBlock = MemoryBlock;
  if (Melos_Init() < 0) {
    kv_Log_Printf("[Sounds] - the music library did not start");
    return -1;
  }
  g_beats = 0;
  g_heartbeat = kv_Thread_Create(Heartbeat, "HeartbeatStart", nullptr, 0, 1);
  const int32_t* config = Melos_Config();
  if (!g_heartbeat ||
      !AllocateBlock(2, config[MELOS_CFG_MUSIC_RING], config[MELOS_CFG_MUSIC_CHUNK],
                     config[MELOS_CFG_MUSIC_REFILL]) ||
      !AllocateBlock(1, config[MELOS_CFG_VOICE_RING], config[MELOS_CFG_VOICE_CHUNK],
                     config[MELOS_CFG_VOICE_REFILL])) {
    kv_Log_Printf("[Sounds] - the heartbeat thread or the stream memory could not be made");
    if (g_heartbeat) kv_Thread_Join(g_heartbeat);
    g_heartbeat = nullptr;
    FreeBlocks();
    Melos_Terminate();
    return -1;
  }
  LoadMusicTable();
  const MelosScriptHost script{LoadStub, FreeStub, Sounds_StreamFileOpen, CloseStreamFile,
                               config[MELOS_CFG_SCRIPT_ENABLED]};
  Melos_Script(MELOS_SCRIPT_INIT, reinterpret_cast<intptr_t>(&script));
  g_started = 1;
  return 0;
}

void Sounds_Shutdown(void) {
  if (!g_started.load()) return;
  if (g_heartbeat) {
    const int code = kv_Thread_Join(g_heartbeat);
    g_heartbeat = nullptr;
    if (code != 0) std::printf("ERROR timer_callback thread returned with code 0x%0X\n", code);
  }
  Melos_StopAllSounds();
  Melos_Script(MELOS_SCRIPT_TICK);
  Melos_Heartbeat();
  // The script lets go of its files, so a restart starts it afresh.
  Melos_Script(MELOS_SCRIPT_SHUTDOWN);
  Sounds_CloseStreamFiles();
  g_started = 0;
  FreeBlocks();
  Melos_Terminate();
  {
    MelosLockGuard lock;
    *Melos_HostCallbacks() = MelosHostCallbacks{};
  }
  Sounds_FreeAllSlots();
  Sounds_FreeTracked();
  // The module has no uninitialise step: the record it was given is let go
  // here, and a start after this one works with the program's live record.
  g_services = nullptr;
}

int Sounds_IsStarted(void) {
  return g_started.load();
}

uint32_t Sounds_HeartbeatCount(void) {
  return g_beats.load();
}

int Sounds_Pause(void) {
  Melos_Pause();
  g_savedMaster = Melos_GroupVolume(0, -1);
  Melos_GroupVolume(0, 0);
  Melos_Script(MELOS_SCRIPT_ATTRIBUTE, -1, 0);
  return 0;
}

int Sounds_Resume(void) {
  Melos_GroupVolume(0, g_savedMaster);
  Melos_Resume();
  Melos_Script(MELOS_SCRIPT_ATTRIBUTE, -1, 1);
  return 0;
}

// ---- name resolution -----------------------------------------------------------------

int32_t Sounds_ResolveSound(SoundName name) {
  if (!name.text) {
    if (name.number == SOUNDS_VOICE) return SOUNDS_VOICE;
    if (!IsScriptId(name.number)) return 0;
    for (int i = 0; i < SOUNDS_SLOTS; ++i) {
      const SoundSlot& s = *Sounds_Slot(i);
      if (s.name[0] && s.scriptId == name.number) return i + SOUNDS_SLOT_ID;
    }
    return 0;
  }
  const char* text = name.text;
  if (std::strcmp(text, "10000") == 0) return SOUNDS_VOICE;
  int32_t number = 0;
  if (std::strlen(text) <= 4 && ParseShortNumber(text, &number) && IsScriptId(number)) return 0;
  if (!text[0]) return 0;
  if (std::strlen(text) >= SOUNDS_NAME) {
    kv_Log_Printf("[Sounds] - %s: a sound name has at most %d characters", text, SOUNDS_NAME - 1);
    return 0;
  }
  int empty = -1;
  for (int i = SOUNDS_SLOTS - 1; i >= 0; --i) {
    SoundSlot& s = *Sounds_Slot(i);
    if (!s.name[0]) {
      empty = i;
      continue;
    }
    if (strcasecmp(s.name, text) != 0) continue;
    if (s.buffer) return i + SOUNDS_SLOT_ID;
    return Sounds_LoadIntoSlot(i);
  }
  if (empty < 0) empty = Sounds_EvictSlot();
  if (empty < 0) return 0;
  SoundSlot& s = *Sounds_Slot(empty);
  std::snprintf(s.name, sizeof s.name, "%s", text);
  s.scriptId = Sounds_NewScriptId();
  return Sounds_LoadIntoSlot(empty);
}

// ---- by-name operations -----------------------------------------------------------------

int Sounds_StartSound(SoundName name, int priority, int group) {
  return StartResident(name, priority, group, false);
}

int Sounds_StartSpeechSound(SoundName name, int priority, int group) {
  // The voice effect is never on: the speech plays as recorded.
  return StartResident(name, priority, group, true);
}

int Sounds_StopSound(SoundName name) {
  const int32_t id = Sounds_ResolveSound(name);
  return id ? Melos_StopSound(id) : 0;
}

int Sounds_GetParam(SoundName name, int param) {
  const int32_t id = Sounds_ResolveSound(name);
  return id ? Melos_GetParam(id, param) : 1;
}

int Sounds_SetParam(SoundName name, int param, int value) {
  const int32_t id = Sounds_ResolveSound(name);
  return id ? Melos_SetParam(id, param, value) : 0;
}

int Sounds_FadeParam(SoundName name, int param, int target, int milliseconds) {
  const int32_t id = Sounds_ResolveSound(name);
  if (!id) return 1;
  return Melos_FadeParam(id, param, target,
                         static_cast<int32_t>(static_cast<int64_t>(milliseconds) * 60 / 1000));
}

int Sounds_IsSoundPlaying(SoundName name) {
  const int32_t id = Sounds_ResolveSound(name);
  return id && Melos_GetParam(id, MELOS_PARAM_PLAYING) > 0 ? 1 : 0;
}

int Sounds_SetHook(SoundName name, int hook) {
  const int32_t id = Sounds_ResolveSound(name);
  return id ? Melos_SetHook(id, hook) : -1;
}

int Sounds_GetHook(SoundName name) {
  const int32_t id = Sounds_ResolveSound(name);
  return id ? Melos_GetHook(id) : -1;
}

int Sounds_IsLoaded(SoundName name) {
  const int32_t id = Sounds_ResolveSound(name);
  const SoundSlot* s = SlotOf(id);
  if (!s || !s->name[0] || !s->buffer) return 0;
  return Melos_GetParam(id, MELOS_PARAM_PLAYING) >= 1 || Melos_GetParam(id, MELOS_PARAM_PENDING) > 0
             ? 1
             : 0;
}

uint32_t Sounds_GetMemoryFootprint(void) {
  return 0;
}
uint32_t Sounds_GetSoundCacheSize(void) {
  return 0;
}

// ---- the frame -------------------------------------------------------------------------

void Sounds_Update(void) {
  if (!g_started.load()) return;
  Melos_ServiceStreams();
  Melos_Script(MELOS_SCRIPT_TICK);
  Sounds_EnforceBudget();
}

int32_t Sounds_MusicStream(void) {
  for (int32_t s = Melos_NextSound(0); s > 0; s = Melos_NextSound(s)) {
    if (Melos_GetParam(s, MELOS_PARAM_STREAMED) != 1) continue;
    const int group = Melos_GetParam(s, MELOS_PARAM_GROUP);
    if (group == 3 || group == 4) return s;
  }
  return 0;
}

void Sounds_ServiceWhile(bool (*keepGoing)(int32_t sound), int32_t sound) {
  // The streams are serviced in turn; two services in a row that read nothing
  // mean the file gives no more (a read error), and the wait ends.
  int idle = 0;
  int32_t before = -1;
  while (keepGoing(sound) && idle < 2) {
    Melos_ServiceStreams();
    int32_t buffered = 0;
    Melos_GetStreamInfo(sound, nullptr, nullptr, &buffered, nullptr);
    idle = buffered == before ? idle + 1 : 0;
    before = buffered;
  }
}

void Sounds_FillStreams(void) {
  if (!g_started.load()) return;
  if (const int32_t music = Sounds_MusicStream()) Sounds_ServiceWhile(MusicHungryOrShort, music);
}

int Sounds_GetMusicPosition(void) {
  for (int32_t s = Melos_NextSound(0); s > 0; s = Melos_NextSound(s)) {
    if (Melos_GetParam(s, MELOS_PARAM_STREAMED) == 1 && Melos_GetParam(s, MELOS_PARAM_BLOCK) == 2)
      return Melos_GetParam(s, MELOS_PARAM_POSITION);
  }
  return 0;
}

int Sounds_StreamHungry(void) {
  const int32_t music = Sounds_MusicStream();
  int32_t refill = 0, buffered = 0, end = 0;
  if (!music || Melos_GetStreamInfo(music, nullptr, &refill, &buffered, &end) != 0) return 0;
  return !end && buffered <= refill ? 1 : 0;
}

int Sounds_StreamFull(void) {
  const int32_t music = Sounds_MusicStream();
  int32_t size = 0, buffered = 0, end = 0;
  if (!music || Melos_GetStreamInfo(music, &size, nullptr, &buffered, &end) != 0) return 1;
  return end || buffered > size - Melos_Config()[MELOS_CFG_MUSIC_CHUNK] ? 1 : 0;
}

// ---- save and restore ------------------------------------------------------------------

int Sounds_Save(SaveTransferFn write) {
  WorkBuffer work;
  if (!work.bytes) return 1;
  char effect[40] = {};
  std::snprintf(effect, sizeof effect, "%s", Sounds_VoiceEffectName());
  Sounds_ForgetVoiceName();
  if (!Write(write, effect, sizeof effect)) return 1;

  const int library = Melos_Save(work.bytes, kWorkBuffer);
  if (library <= 0) {
    kv_Log_Printf("[Sounds] - save: the music library's block failed (%d)", library);
    return 1;
  }
  if (!WriteU32(write, static_cast<uint32_t>(library)) || !Write(write, work.bytes, library))
    return 1;
  const int script =
      Melos_Script(MELOS_SCRIPT_SAVE_BLOCK, reinterpret_cast<intptr_t>(work.bytes), kWorkBuffer);
  if (script <= 0) {
    kv_Log_Printf("[Sounds] - save: the music script's block failed (%d)", script);
    return 1;
  }
  if (!WriteU32(write, static_cast<uint32_t>(script)) || !Write(write, work.bytes, script))
    return 1;

  int saved[SOUNDS_SLOTS];
  uint32_t n = 0;
  for (int i = 0; i < SOUNDS_SLOTS; ++i)
    if (Saved(i)) saved[n++] = i;
  if (!WriteU32(write, n)) return 1;
  for (uint32_t k = 0; k < n; ++k) {
    const SoundSlot& s = *Sounds_Slot(saved[k]);
    char name[SOUNDS_NAME] = {};
    std::snprintf(name, sizeof name, "%s", s.name);
    if (!Write(write, name, sizeof name) || !WriteU32(write, static_cast<uint32_t>(s.scriptId)) ||
        !WriteU32(write, static_cast<uint32_t>(s.priority)))
      return 1;
  }
  for (uint32_t k = 0; k < n; ++k) {
    const int32_t id = Sounds_Slot(saved[k])->scriptId;
    if (!WriteU32(write, static_cast<uint32_t>(id)) ||
        !WriteU32(write, static_cast<uint32_t>(Sounds_GetParam(id, MELOS_PARAM_VOLUME))) ||
        !WriteU32(write, static_cast<uint32_t>(Sounds_GetParam(id, MELOS_PARAM_PAN))))
      return 1;
  }
  for (uint32_t k = 0; k < n; ++k) {
    const int32_t id = Sounds_Slot(saved[k])->scriptId;
    if (!WriteU32(write, static_cast<uint32_t>(id)) ||
        !WriteU32(write, static_cast<uint32_t>(Sounds_GetHook(id))))
      return 1;
  }
  return 0;
}

int Sounds_Restore(SaveTransferFn read) {
  WorkBuffer work;
  if (!work.bytes) return 1;
  char effect[40];
  if (read(effect, sizeof effect) != 0) return 1;
  effect[sizeof effect - 1] = 0;
  Melos_StopAllSounds();
  MelosFiles_Collect();
  Sounds_ReleaseVoice();
  Sounds_FreeAllSlots();
  Sounds_SetVoiceEffect(effect);
  Sounds_ForgetVoiceName();

  uint32_t length = 0;
  if (!ReadBlock(read, work.bytes, &length, "library")) return 1;
  if (Melos_Restore(work.bytes, length) <= 0) return 1;
  if (!ReadBlock(read, work.bytes, &length, "music script")) return 1;
  if (Melos_Script(MELOS_SCRIPT_RESTORE, reinterpret_cast<intptr_t>(work.bytes), length) == 0)
    return 1;
  // The restored resident sounds and the voice start again below; the music
  // script's streams (10001..10004) play on.
  for (int32_t s = Melos_NextSound(0); s > 0 && s <= SOUNDS_VOICE; s = Melos_NextSound(0))
    Melos_StopSound(s);
  Sounds_ReleaseVoice();

  uint32_t n = 0;
  if (!ReadU32(read, &n) || n == 0) return 0;
  if (n > SOUNDS_SLOTS) {
    kv_Log_Printf("[Sounds] - restore: %u resident sounds saved, at most %d exist", n,
                  SOUNDS_SLOTS);
    return 0;
  }
  for (uint32_t k = 0; k < n; ++k) {
    char name[SOUNDS_NAME];
    uint32_t id = 0, priority = 0;
    if (read(name, sizeof name) != 0 || !ReadU32(read, &id) || !ReadU32(read, &priority)) return 0;
    name[SOUNDS_NAME - 1] = 0;
    const auto scriptId = static_cast<int32_t>(id);
    if (!IsScriptId(scriptId)) continue;
    Sounds_SetScriptIdCounter(static_cast<uint32_t>(scriptId - SOUNDS_FIRST_SCRIPT_ID));
    Sounds_StartSound(name, static_cast<int>(priority), 1);
  }
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t id = 0, volume = 0, pan = 0;
    if (!ReadU32(read, &id) || !ReadU32(read, &volume) || !ReadU32(read, &pan)) return 0;
    Sounds_SetParam(static_cast<int32_t>(id), MELOS_PARAM_VOLUME, static_cast<int>(volume));
    Sounds_SetParam(static_cast<int32_t>(id), MELOS_PARAM_PAN, static_cast<int>(pan));
  }
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t id = 0, hook = 0;
    if (!ReadU32(read, &id) || !ReadU32(read, &hook)) return 0;
    Sounds_SetHook(static_cast<int32_t>(id), static_cast<int>(hook));
  }
  return 0;
}
