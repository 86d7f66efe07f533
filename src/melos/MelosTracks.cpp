// Music tracks: the track table, the playing list with priority stealing, the
// track records of the save, and the device fill that mixes every playing
// track into one block of audio channel 0.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "melos/MelosBytes.h"
#include "melos/MelosInternal.h"
#include "melos/MelosMixer.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Thread.h"

namespace {

MelosTrack g_tracks[MELOS_MAX_TRACKS];
MelosTrack* g_head = nullptr;
int g_count = 0;
std::atomic<int> g_paused{0};
int g_fillPhase = 0;

int ListInsert(MelosTrack* t) {
  if (!t || t->prev || t->next || t == g_head) return -5;
  t->next = g_head;
  if (g_head) g_head->prev = t;
  g_head = t;
  return 0;
}

int ListRemove(MelosTrack* t) {
  if (!t || !g_head) return -5;
  MelosTrack* at = g_head;
  while (at && at != t) at = at->next;
  if (!at) return -3;
  if (t->prev)
    t->prev->next = t->next;
  else
    g_head = t->next;
  if (t->next) t->next->prev = t->prev;
  t->prev = t->next = nullptr;
  return 0;
}

void ClearTrack(MelosTrack* t, int index) {
  t->prev = t->next = nullptr;
  t->dispatch = MelosDispatch_Get(index);
  t->dispatch->track = t;
  t->sound = 0;
}

MelosTrack* Allocate(int32_t priority) {
  for (int i = 0; i < g_count; ++i)
    if (g_tracks[i].sound == 0) return &g_tracks[i];
  int m = 127;
  MelosTrack* candidate = nullptr;
  for (MelosTrack* t = g_head; t; t = t->next) {
    if (t->priority <= m) candidate = t;
    m = std::min(m, t->priority);
  }
  if (!candidate || priority < m) return nullptr;
  MelosTracks_Release(candidate);
  return candidate;
}

}  // namespace

int MelosTracks_Init(void) {
  g_count = Melos_Config()[MELOS_CFG_TRACKS];
  if (g_count < 1 || g_count > MELOS_MAX_TRACKS) {
    kv_Log_Printf("[Melos] - %d tracks asked for: 1 to 16 are possible", g_count);
    return -1;
  }
  if (MelosOutput_Open(AUDIO_SAMPLE_RATE) != 0) return -1;
  if (MelosMixer_Init(g_count) != 0 || MelosDispatch_Init() != 0) {
    MelosOutput_Close();
    MelosMixer_Free();
    return -1;
  }
  g_head = nullptr;
  g_paused = 0;
  g_fillPhase = 0;
  for (int i = 0; i < MELOS_MAX_TRACKS; ++i) ClearTrack(&g_tracks[i], i);
  return 0;
}

void MelosTracks_Terminate(void) {
  {
    MelosLockGuard lock;
    while (g_head) MelosTracks_Release(g_head);
  }
  MelosOutput_Close();
  MelosDispatch_Free();
  MelosMixer_Free();
}

int MelosTracks_Count(void) {
  return g_count;
}
MelosTrack* MelosTracks_Get(int index) {
  return &g_tracks[index];
}
MelosTrack* MelosTracks_Head(void) {
  return g_head;
}

MelosTrack* MelosTracks_Find(int32_t sound) {
  for (MelosTrack* t = g_head; t; t = t->next)
    if (t->sound == sound) return t;
  return nullptr;
}

int MelosTracks_Start(int32_t sound, int32_t priority, int32_t block) {
  priority = std::clamp(priority, 0, 127);
  MelosLockGuard lock;
  MelosTrack* t = Allocate(priority);
  if (!t) return -6;
  t->sound = sound;
  t->reserved = 0;
  t->group = 0;
  t->priority = priority;
  t->volume = 127;
  t->effectiveVolume = MelosGroups_Effective(0);
  t->pan = 64;
  t->detune = 0;
  t->transpose = 0;
  t->pitch = 256;
  t->mailbox = 0;
  t->hook = 0;
  if (MelosDispatch_Start(t, block) != 0) {
    t->sound = 0;
    return -1;
  }
  // A marker at the very start may have run commands that released the track.
  if (t->sound != sound) return 0;
  ListInsert(t);
  return 0;
}

void MelosTracks_Release(MelosTrack* track) {
  if (!track) return;
  MelosLockGuard lock;
  const int32_t sound = track->sound;
  ListRemove(track);
  MelosDispatch_Release(track->dispatch);
  track->sound = 0;
  if (sound) {
    Melos_RemoveFades(sound, -1);
    Melos_RemoveTriggers(sound);
  }
}

void MelosTracks_RecomputeVolumes(void) {
  MelosLockGuard lock;
  for (MelosTrack* t = g_head; t; t = t->next)
    t->effectiveVolume = MelosGroups_Effective(t->group) * (t->volume + 1) >> 7;
}

void MelosTracks_SetPaused(int paused) {
  MelosLockGuard lock;
  g_paused = paused ? 1 : 0;
}

void MelosTracks_DeviceFill(void) {
  if (!AudioChannel_GetBuffer(0)) return;
  // Without a device the channel is never drained; one block every second
  // heartbeat keeps the play positions in real time (a block is 32 ms).
  if (!AudioChannel_IsActive(0)) {
    g_fillPhase ^= 1;
    if (g_fillPhase) return;
  }
  if (AudioChannel_TryTakeFree(0) != 0) return;
  {
    MelosLockGuard lock;
    MelosDispatch_ProcessJumps();
    uint8_t* block = nullptr;
    int frames = 0;
    int rate = 0;
    MelosOutput_GetBlock(&block, &frames, &rate);
    if (frames > 0) {
      MelosMixer_Clear();
      if (kv_Platform_IsWindowShown() && !g_paused.load()) {
        MelosTrack* t = g_head;
        while (t) {
          // The mix may release the track (its sound ended).
          MelosTrack* next = t->next;
          MelosDispatch_Mix(t, frames, rate);
          t = next;
        }
      }
      MelosMixer_Output(block, frames);
      MelosOutput_ReleaseBlock();
    }
  }
  AudioChannel_CommitBlock(0);
  AudioChannel_SignalFilled(0);
  kv_Platform_Delay(1);
}

int MelosTracks_Save(uint8_t* buffer, int32_t room) {
  MelosLockGuard lock;
  const int dispatchBytes = MelosDispatch_Save(buffer, room);
  if (dispatchBytes < 0) return dispatchBytes;
  if (room - dispatchBytes < MELOS_TRACK_BLOCK) return -5;
  uint8_t* p = buffer + dispatchBytes;
  for (int i = 0; i < MELOS_MAX_TRACKS; ++i, p += MELOS_TRACK_RECORD) {
    const MelosTrack& t = g_tracks[i];
    // The links are in-memory values of no use to a reader: stored as 0.
    Melos_PutLE64(p, 0);
    Melos_PutLE64(p + 8, 0);
    Melos_PutLE64(p + 16, 0);
    const int32_t fields[12] = {t.sound,     t.reserved,        t.group,   t.priority,
                                t.volume,    t.effectiveVolume, t.pan,     t.detune,
                                t.transpose, t.pitch,           t.mailbox, t.hook.load()};
    for (int f = 0; f < 12; ++f) Melos_PutLE32(p + 24 + 4 * f, static_cast<uint32_t>(fields[f]));
  }
  return dispatchBytes + MELOS_TRACK_BLOCK;
}

int MelosTracks_Restore(const uint8_t* buffer, uint32_t size) {
  MelosLockGuard lock;
  while (g_head) MelosTracks_Release(g_head);
  if (size < static_cast<uint32_t>(MELOS_DISPATCH_BLOCK + MELOS_TRACK_BLOCK)) return -1;
  if (MelosDispatch_Restore(buffer, size) < 0) return -1;
  const uint8_t* p = buffer + MELOS_DISPATCH_BLOCK;
  for (int i = 0; i < MELOS_MAX_TRACKS; ++i, p += MELOS_TRACK_RECORD) {
    MelosTrack& t = g_tracks[i];
    int32_t f[12];
    for (int k = 0; k < 12; ++k) f[k] = static_cast<int32_t>(Melos_LE32(p + 24 + 4 * k));
    if (i >= g_count) continue;
    ClearTrack(&t, i);
    const bool sane = f[2] >= 0 && f[2] <= 15 && f[3] >= 0 && f[3] <= 127 && f[4] >= 0 &&
                      f[4] <= 127 && f[6] >= 0 && f[6] <= 127 && f[11] >= 0 && f[11] <= 128;
    if (f[0] == 0 || !sane || !MelosDispatch_RecordSound(i)) continue;
    t.sound = f[0];
    t.reserved = f[1];
    t.group = f[2];
    t.priority = f[3];
    t.volume = f[4];
    t.effectiveVolume = MelosGroups_Effective(t.group) * (t.volume + 1) >> 7;
    t.pan = f[6];
    t.detune = f[7];
    t.transpose = f[8];
    t.pitch = f[9];
    t.mailbox = f[10];
    t.hook = f[11];
    ListInsert(&t);
  }
  MelosDispatch_Reopen();
  return MELOS_DISPATCH_BLOCK + MELOS_TRACK_BLOCK;
}
