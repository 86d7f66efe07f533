// The Melos library core: start and end, the music lock, the nested pause, the
// volume groups, the sound parameters, the numbered commands, the heartbeat
// step and the library block of the save.
#include "melos/Melos.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "melos/MelosBytes.h"
#include "melos/MelosInternal.h"
#include "melos/MelosMixer.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"

namespace {

int32_t g_config[MELOS_CFG_COUNT] = {176000, 44000, 88000, 528000, 44000, 352000,  700000,
                                     1,      48000, 4,     300000, 8,     1048576, 1};
MelosHostCallbacks g_host{};

std::atomic<bool> g_started{false};
kv_Mutex g_lock = nullptr;
std::atomic<int> g_holders{0};
std::atomic<int> g_pauseDepth{0};
uint32_t g_fadeAccumulator = 0;
uint32_t g_duckAccumulator = 0;
std::atomic<uint32_t> g_lastBeat{0};
std::atomic<int> g_inHeartbeat{0};

std::atomic<int> g_groupSetting[16];
std::atomic<int> g_groupEffective[16];

bool ValidId(int32_t sound) {
  return sound != 0 && static_cast<uint32_t>(sound) < 0xFFFFFFF0u;
}

void RecomputeGroups() {
  const int master = g_groupSetting[0].load();
  g_groupEffective[0] = master;
  for (int g = 1; g < 16; ++g) g_groupEffective[g] = (g_groupSetting[g].load() + 1) * master >> 7;
}

}  // namespace

int32_t* Melos_Config(void) {
  return g_config;
}
MelosHostCallbacks* Melos_HostCallbacks(void) {
  return &g_host;
}
bool Melos_IsStarted(void) {
  return g_started.load();
}

// --- lock ----------------------------------------------------------------------

void MelosLock_Create(void) {
  if (!g_lock) g_lock = kv_Mutex_Create();
  g_holders = 0;
}
void MelosLock_Destroy(void) {
  kv_Mutex_Destroy(g_lock);
  g_lock = nullptr;
}
void MelosLock_Enter(void) {
  if (!g_lock) return;
  kv_Mutex_Lock(g_lock);
  ++g_holders;
}
void MelosLock_Leave(void) {
  if (!g_lock) return;
  if (g_holders.load() > 0) --g_holders;
  kv_Mutex_Unlock(g_lock);
}
int MelosLock_Holders(void) {
  return g_holders.load();
}

int MelosGroups_Effective(int group) {
  return group >= 0 && group < 16 ? g_groupEffective[group].load() : 0;
}

// --- host guards -----------------------------------------------------------------

const uint8_t* MelosHost_Header(int32_t sound, uint32_t* size) {
  *size = 0;
  if (!g_host.header || !ValidId(sound)) return nullptr;
  const uint8_t* h = g_host.header(sound, size);
  if (!h) *size = 0;
  return h;
}
const uint8_t* MelosHost_SampleBase(int32_t sound, uint32_t* loadedSize) {
  *loadedSize = 0;
  if (!g_host.sampleBase || !ValidId(sound)) return nullptr;
  const uint8_t* b = g_host.sampleBase(sound, loadedSize);
  if (!b) *loadedSize = 0;
  return b;
}
void MelosHost_Trigger(const char* marker, const int32_t* args) {
  if (g_host.trigger) g_host.trigger(marker, args);
}
int32_t MelosHost_Seek(int32_t sound, int32_t offset, int32_t whence) {
  if (!g_host.seek || !ValidId(sound)) return 0;
  return g_host.seek(sound, offset, whence);
}
int32_t MelosHost_Read(int32_t sound, void* buffer, int32_t count) {
  if (!g_host.read || !ValidId(sound)) return 0;
  return g_host.read(sound, buffer, count);
}
MelosMemoryBlock* MelosHost_Block(int32_t index) {
  if (!g_host.memoryBlock || index == 0) return nullptr;
  return g_host.memoryBlock(index);
}

// --- start and end ---------------------------------------------------------------

int Melos_Init(void) {
  if (g_started.load()) return -1;
  g_fadeAccumulator = g_duckAccumulator = 0;
  for (int g = 0; g < 16; ++g) g_groupSetting[g] = 127;
  RecomputeGroups();
  MelosTimed_Init();
  if (MelosTracks_Init() != 0) return -1;
  MelosLock_Create();
  g_inHeartbeat = 0;
  g_pauseDepth = 0;
  g_started = true;
  return MELOS_SAVE_VERSION;
}

int Melos_Terminate(void) {
  if (!g_started.load()) return -1;
  g_started = false;
  MelosTracks_Terminate();
  MelosRecorder_Finish();
  MelosLock_Destroy();
  return 0;
}

int Melos_Pause(void) {
  const int depth = ++g_pauseDepth;
  if (depth == 1 && g_started.load()) MelosTracks_SetPaused(1);
  return depth;
}

int Melos_Resume(void) {
  int depth = g_pauseDepth.load();
  while (depth > 0 && !g_pauseDepth.compare_exchange_weak(depth, depth - 1)) {
  }
  if (depth <= 0) return 0;
  if (depth == 1 && g_started.load()) MelosTracks_SetPaused(0);
  return depth - 1;
}

int Melos_GroupVolume(int32_t group, int32_t value) {
  if (group < 0 || group > 15) return -5;
  if (value == -1) return g_groupSetting[group].load();
  if (value < 0 || value > 127) return -5;
  const int previous = g_groupSetting[group].exchange(value);
  RecomputeGroups();
  if (g_started.load()) MelosTracks_RecomputeVolumes();
  return previous;
}

// --- sounds ------------------------------------------------------------------------

int Melos_StartSound(int32_t sound, int32_t priority) {
  if (!g_started.load()) return -1;
  MelosLockGuard lock;
  uint32_t size = 0;
  const uint8_t* h = MelosHost_Header(sound, &size);
  if (!h || size < 4 || !Melos_Tag(h, "Melo")) return -1;
  return MelosTracks_Start(sound, priority, 0);
}

int Melos_StartStream(int32_t sound, int32_t priority, int32_t block) {
  if (!g_started.load() || !ValidId(sound)) return -1;
  return MelosTracks_Start(sound, priority, block);
}

int Melos_StopSound(int32_t sound) {
  if (!g_started.load()) return -1;
  MelosLockGuard lock;
  int stopped = 0;
  while (MelosTrack* t = MelosTracks_Find(sound)) {
    MelosTracks_Release(t);
    ++stopped;
  }
  return stopped ? 0 : -1;
}

int Melos_StopAllSounds(void) {
  if (!g_started.load()) return 0;
  MelosLockGuard lock;
  while (MelosTrack* t = MelosTracks_Head()) MelosTracks_Release(t);
  return 0;
}

int Melos_NextSound(int32_t sound) {
  if (!g_started.load()) return 0;
  MelosLockGuard lock;
  int32_t best = 0;
  for (MelosTrack* t = MelosTracks_Head(); t; t = t->next)
    if (t->sound > sound && (best == 0 || t->sound < best)) best = t->sound;
  return best;
}

int Melos_GetParam(int32_t sound, int32_t param) {
  if (param == MELOS_PARAM_VERSION) return 2;
  if (param == MELOS_PARAM_PENDING) return Melos_PendingStarts(sound);
  if (!g_started.load()) return param == MELOS_PARAM_PLAYING ? 0 : -1;
  MelosLockGuard lock;
  if (param == MELOS_PARAM_PLAYING) {
    int n = 0;
    for (MelosTrack* t = MelosTracks_Head(); t; t = t->next)
      if (t->sound == sound) ++n;
    return n;
  }
  switch (param) {
    case MELOS_PARAM_RESERVED:
    case MELOS_PARAM_GROUP:
    case MELOS_PARAM_PRIORITY:
    case MELOS_PARAM_VOLUME:
    case MELOS_PARAM_PAN:
    case MELOS_PARAM_DETUNE:
    case MELOS_PARAM_TRANSPOSE:
    case MELOS_PARAM_MAILBOX:
    case MELOS_PARAM_STREAMED:
    case MELOS_PARAM_BLOCK:
    case MELOS_PARAM_POSITION:
      break;
    default:
      return -5;
  }
  MelosTrack* t = MelosTracks_Find(sound);
  if (!t) return -4;
  const MelosDispatch* d = t->dispatch;
  switch (param) {
    case MELOS_PARAM_RESERVED:
      return t->reserved;
    case MELOS_PARAM_GROUP:
      return t->group;
    case MELOS_PARAM_PRIORITY:
      return t->priority;
    case MELOS_PARAM_VOLUME:
      return t->volume;
    case MELOS_PARAM_PAN:
      return t->pan;
    case MELOS_PARAM_DETUNE:
      return t->detune;
    case MELOS_PARAM_TRANSPOSE:
      return t->transpose;
    case MELOS_PARAM_MAILBOX:
      return t->mailbox;
    case MELOS_PARAM_STREAMED:
      return d->stream ? 1 : 0;
    case MELOS_PARAM_BLOCK:
      return d->stream ? d->streamBlock : 0;
    default: {
      const int64_t perFive = static_cast<int64_t>(d->bits / 8) * d->rate * d->channels / 200;
      if (perFive <= 0) return 0;
      return static_cast<int>(static_cast<int64_t>(d->position) * 5 / perFive);
    }
  }
}

int Melos_SetParam(int32_t sound, int32_t param, int32_t value) {
  if (!g_started.load()) return -1;
  struct Range {
    int32_t param, low, high;
  };
  static const Range kRanges[] = {{MELOS_PARAM_GROUP, 0, 15},
                                  {MELOS_PARAM_PRIORITY, 0, 127},
                                  {MELOS_PARAM_VOLUME, 0, 127},
                                  {MELOS_PARAM_PAN, 0, 127},
                                  {MELOS_PARAM_DETUNE, -9216, 9216},
                                  {MELOS_PARAM_TRANSPOSE, 0, 4095},
                                  {MELOS_PARAM_MAILBOX, INT32_MIN, INT32_MAX}};
  const Range* range = nullptr;
  for (const Range& r : kRanges)
    if (r.param == param) range = &r;
  if (!range || value < range->low || value > range->high) return -5;
  MelosLockGuard lock;
  MelosTrack* t = MelosTracks_Find(sound);
  if (!t) return -4;
  switch (param) {
    case MELOS_PARAM_GROUP:
      t->group = value;
      t->effectiveVolume = MelosGroups_Effective(t->group) * (t->volume + 1) >> 7;
      break;
    case MELOS_PARAM_PRIORITY:
      t->priority = value;
      break;
    case MELOS_PARAM_VOLUME:
      t->volume = value;
      t->effectiveVolume = MelosGroups_Effective(t->group) * (t->volume + 1) >> 7;
      break;
    case MELOS_PARAM_PAN:
      t->pan = value;
      break;
    case MELOS_PARAM_DETUNE:
      t->detune = value;
      t->pitch = value + 256 * t->transpose;
      break;
    case MELOS_PARAM_TRANSPOSE:
      t->transpose = value;
      t->pitch = value;
      break;
    default:
      t->mailbox = value;
      break;
  }
  return 0;
}

int Melos_SetHook(int32_t sound, int32_t hook) {
  if (hook < 0 || hook > 128) return -5;
  if (!g_started.load()) return -1;
  MelosLockGuard lock;
  MelosTrack* t = MelosTracks_Find(sound);
  if (!t) return -4;
  t->hook = hook;
  return 0;
}

int Melos_GetHook(int32_t sound) {
  if (!g_started.load()) return -1;
  MelosLockGuard lock;
  MelosTrack* t = MelosTracks_Find(sound);
  return t ? t->hook.load() : -4;
}

// --- heartbeat ----------------------------------------------------------------------

void Melos_Heartbeat(void) {
  if (!g_started.load()) return;
  g_lastBeat = kv_Platform_GetTicks();
  g_inHeartbeat = 1;
  if (MelosLock_Holders() == 0) MelosTracks_DeviceFill();
  if (g_pauseDepth.load() == 0) {
    g_fadeAccumulator += 20000;
    while (g_fadeAccumulator >= 20000) {
      g_fadeAccumulator -= 20000;
      MelosFades_Step();
      MelosDeferred_Step();
    }
    g_duckAccumulator += 20000;
    while (g_duckAccumulator >= 200000) {
      g_duckAccumulator -= 200000;
      // Duck the playing music (group 4) under speech (a group-2 sound).
      int target = g_groupSetting[3].load();
      for (int32_t s = Melos_NextSound(0); s != 0; s = Melos_NextSound(s)) {
        if (Melos_GetParam(s, MELOS_PARAM_GROUP) == 2) {
          target = target * 77 >> 7;
          break;
        }
      }
      const int current = g_groupSetting[4].load();
      int next = current;
      if (current > target)
        next = std::max(current - 36, target);
      else if (current < target)
        next = std::min(current + 1, target);
      next = std::min(next, g_groupSetting[3].load());
      if (current != target) Melos_GroupVolume(4, next);
    }
  }
  g_inHeartbeat = 0;
}

// --- save and restore --------------------------------------------------------------

int Melos_Save(uint8_t* buffer, int32_t room) {
  if (!buffer || room < MELOS_SAVE_ROOM) return -1;
  Melos_PutLE32(buffer, MELOS_SAVE_VERSION);
  int32_t at = 4;
  int n = MelosTimed_SaveFades(buffer + at, room - at);
  if (n < 0) return n;
  at += n;
  n = MelosTimed_SaveTriggers(buffer + at, room - at);
  if (n < 0) return n;
  at += n;
  n = MelosTracks_Save(buffer + at, room - at);
  if (n < 0) return n;
  return at + n;
}

int Melos_Restore(const uint8_t* buffer, uint32_t size) {
  if (!g_started.load() || !buffer) return -1;
  MelosLockGuard lock;
  while (MelosTrack* t = MelosTracks_Head()) MelosTracks_Release(t);
  constexpr uint32_t kTotal =
      4 + MELOS_FADE_BLOCK + MELOS_TRIGGER_BLOCK + MELOS_DISPATCH_BLOCK + MELOS_TRACK_BLOCK;
  if (size < 4 || Melos_LE32(buffer) != static_cast<uint32_t>(MELOS_SAVE_VERSION)) {
    kv_Log_Printf("[Melos] - restore: not a version 49 library block");
    return -1;
  }
  if (size < kTotal) {
    kv_Log_Printf("[Melos] - restore: the library block is cut short (%u bytes)", size);
    return -1;
  }
  uint32_t at = 4;
  MelosTimed_RestoreFades(buffer + at, size - at);
  at += MELOS_FADE_BLOCK;
  MelosTimed_RestoreTriggers(buffer + at, size - at);
  at += MELOS_TRIGGER_BLOCK;
  const int n = MelosTracks_Restore(buffer + at, size - at);
  if (n < 0) return -1;
  return static_cast<int>(at) + n;
}

// --- numbered commands ----------------------------------------------------------------

int Melos_CommandV(int32_t code, const intptr_t* args, int count) {
  if (!g_started.load()) return -1;
  intptr_t a[13] = {};
  for (int i = 0; i < std::min(count, 13); ++i) a[i] = args[i];
  const auto i32 = [&](int k) { return static_cast<int32_t>(a[k]); };
  int32_t rest[10];
  for (int k = 0; k < 10; ++k) rest[k] = i32(3 + k);
  int32_t deferArgs[10];
  for (int k = 0; k < 10; ++k) deferArgs[k] = i32(2 + k);
  switch (code) {
    case 0:
      return Melos_Init();
    case 1:
      return Melos_Terminate();
    case 2:
      return 0;
    case 3:
      return Melos_Pause();
    case 4:
      return Melos_Resume();
    case 5:
      return Melos_Save(reinterpret_cast<uint8_t*>(a[0]), i32(1));
    case 6:
      return Melos_Restore(reinterpret_cast<const uint8_t*>(a[0]), static_cast<uint32_t>(a[1]));
    case 7:
      return Melos_GroupVolume(i32(0), i32(1));
    case 8:
      return Melos_StartSound(i32(0), i32(1));
    case 9:
      return Melos_StopSound(i32(0));
    case 10:
      return Melos_StopAllSounds();
    case 11:
      return Melos_NextSound(i32(0));
    case 12:
      return Melos_SetParam(i32(0), i32(1), i32(2));
    case 13:
      return Melos_GetParam(i32(0), i32(1));
    case 14:
      return Melos_FadeParam(i32(0), i32(1), i32(2), i32(3));
    case 15:
      return Melos_SetHook(i32(0), i32(1));
    case 16:
      return Melos_GetHook(i32(0));
    case 17:
      return Melos_SetTrigger(i32(0), reinterpret_cast<const char*>(a[1]), i32(2), rest);
    case 18:
      return Melos_CountTriggers(i32(0), reinterpret_cast<const char*>(a[1]), i32(2));
    case 19:
      return Melos_ClearTriggers(i32(0), reinterpret_cast<const char*>(a[1]), i32(2));
    case 20:
      return Melos_DeferCommand(i32(0), i32(1), deferArgs);
    case 25:
      return Melos_StartStream(i32(0), i32(1), i32(2));
    case 26:
      return Melos_SwitchStream(i32(0), i32(1), i32(2), i32(3), i32(4));
    case 27:
      return Melos_ServiceStreams();
    case 28:
      return Melos_GetStreamInfo(i32(0), reinterpret_cast<int32_t*>(a[1]),
                                 reinterpret_cast<int32_t*>(a[2]), reinterpret_cast<int32_t*>(a[3]),
                                 reinterpret_cast<int32_t*>(a[4]));
    case 29:
      return Melos_FeedStream(i32(0), reinterpret_cast<const uint8_t*>(a[1]), i32(2), i32(3));
    default:
      return -1;
  }
}
