// Triggers (commands run at a sound's markers), deferred commands (run after
// a number of heartbeats) and parameter fades, with their save tables. The
// main thread changes the tables and the heartbeat steps them, both under the
// music lock.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "melos/MelosBytes.h"
#include "melos/MelosInternal.h"
#include "platform/kv_Log.h"

namespace {

constexpr int kTriggers = 8;
constexpr int kDeferred = 8;
constexpr int kFades = 16;
constexpr int kMarker = 256;
constexpr int kHandlers = 16;
// Every fadable parameter lies within -9216..9216, so a fade's value and step
// do too; a restored fade outside is damage.
constexpr int32_t kFadeRange = 20000;

struct Trigger {
  int32_t sound;  // 0 = free
  char marker[kMarker];
  int32_t command;
  int32_t args[10];
  int32_t removed;
};
struct Deferred {
  int32_t ticks;  // 0 = free
  int32_t command;
  int32_t args[10];
};
struct Fade {
  int32_t active, sound, param, current, remaining, total, step, remainder, accumulator, sign;
};

Trigger g_triggers[kTriggers];
Deferred g_deferred[kDeferred];
Fade g_fades[kFades];
bool g_fadePending = false;
bool g_deferredPending = false;
int g_nesting = 0;
char g_marker[kMarker];
MelosCommandHandler g_handlers[kHandlers];

// Commands whose arguments include pointers: the tables hold 32-bit integers.
bool TakesPointer(int32_t command) {
  return command == 5 || command == 6 || (command >= 17 && command <= 19) || command == 28 ||
         command == 29;
}

void CopyArgs(int32_t* to, const int32_t* from) {
  for (int i = 0; i < 10; ++i) to[i] = from ? from[i] : 0;
}

void ApplyFade(const Fade& f, int32_t value) {
  if (f.param == MELOS_PARAM_VOLUME && value == 0)
    Melos_StopSound(f.sound);
  else
    Melos_SetParam(f.sound, f.param, value);
}

}  // namespace

void MelosTimed_Init(void) {
  MelosLockGuard lock;
  std::memset(g_triggers, 0, sizeof g_triggers);
  std::memset(g_deferred, 0, sizeof g_deferred);
  std::memset(g_fades, 0, sizeof g_fades);
  g_fadePending = g_deferredPending = false;
  g_nesting = 0;
  g_marker[0] = 0;
}

int Melos_RegisterCommand(MelosCommandHandler handler) {
  if (!handler) return -5;
  MelosLockGuard lock;
  for (int i = 0; i < kHandlers; ++i) {
    if (g_handlers[i] == handler) return 30 + i;
    if (!g_handlers[i]) {
      g_handlers[i] = handler;
      return 30 + i;
    }
  }
  return -6;
}

int MelosTimed_Run(int32_t command, const char* marker, const int32_t* args, bool trigger) {
  if (command == 0) {
    MelosHost_Trigger(trigger ? marker : nullptr, args);
    return 0;
  }
  if (command >= 1 && command <= 29) {
    if (TakesPointer(command)) return -5;
    intptr_t wide[13] = {};
    for (int i = 0; i < 10; ++i) wide[i] = args[i];
    return Melos_CommandV(command, wide, 10);
  }
  if (command >= 30 && command < 30 + kHandlers && g_handlers[command - 30]) {
    g_handlers[command - 30](trigger ? marker : nullptr, args);
    return 0;
  }
  kv_Log_Printf("[Melos] - command %d is not known", command);
  return -1;
}

// --- triggers ------------------------------------------------------------------

int Melos_SetTrigger(int32_t sound, const char* marker, int32_t command, const int32_t* args) {
  if (sound == 0) return -5;
  if (!marker) marker = "";
  if (std::strlen(marker) >= kMarker || TakesPointer(command) || command < 0) return -5;
  MelosLockGuard lock;
  for (Trigger& t : g_triggers) {
    if (t.sound != 0) continue;
    t.sound = sound;
    std::strcpy(t.marker, marker);
    t.command = command;
    CopyArgs(t.args, args);
    t.removed = 0;
    return 0;
  }
  return -6;
}

namespace {
bool TriggerMatches(const Trigger& t, int32_t sound, const char* marker, int32_t command) {
  return t.sound != 0 && !t.removed && (sound == -1 || t.sound == sound) &&
         (command == -1 || t.command == command) &&
         (!marker || reinterpret_cast<intptr_t>(marker) == -1 ||
          std::strcmp(t.marker, marker) == 0);
}
}  // namespace

int Melos_CountTriggers(int32_t sound, const char* marker, int32_t command) {
  MelosLockGuard lock;
  int n = 0;
  for (const Trigger& t : g_triggers)
    if (TriggerMatches(t, sound, marker, command)) ++n;
  return n;
}

int Melos_ClearTriggers(int32_t sound, const char* marker, int32_t command) {
  MelosLockGuard lock;
  for (Trigger& t : g_triggers) {
    if (!TriggerMatches(t, sound, marker, command)) continue;
    if (g_nesting > 0)
      t.removed = 1;
    else
      t = Trigger{};
  }
  return 0;
}

void Melos_RemoveTriggers(int32_t sound) {
  Melos_ClearTriggers(sound, nullptr, -1);
}

void Melos_FireTriggers(int32_t sound, const char* text) {
  if (!text || std::strlen(text) >= kMarker) return;
  MelosLockGuard lock;
  std::strcpy(g_marker, text);
  ++g_nesting;
  for (Trigger& t : g_triggers) {
    if (t.sound == 0 || t.removed || t.sound != sound) continue;
    if (t.marker[0] != 0 && std::strcmp(t.marker, g_marker) != 0) continue;
    char saved[kMarker];
    std::strcpy(saved, g_marker);
    const Trigger fired = t;
    t = Trigger{};  // triggers fire once
    MelosTimed_Run(fired.command, g_marker, fired.args, true);
    std::strcpy(g_marker, saved);
  }
  if (--g_nesting == 0) {
    for (Trigger& t : g_triggers)
      if (t.removed) t = Trigger{};
  }
}

// --- deferred commands -----------------------------------------------------------

int Melos_DeferCommand(int32_t ticks, int32_t command, const int32_t* args) {
  if (ticks <= 0 || command < 0 || TakesPointer(command)) return -5;
  MelosLockGuard lock;
  for (Deferred& d : g_deferred) {
    if (d.ticks != 0) continue;
    d.ticks = ticks;
    d.command = command;
    CopyArgs(d.args, args);
    g_deferredPending = true;
    return 0;
  }
  return -6;
}

void MelosDeferred_Step(void) {
  MelosLockGuard lock;
  if (!g_deferredPending) return;
  g_deferredPending = false;
  for (Deferred& d : g_deferred) {
    if (d.ticks <= 0) continue;
    g_deferredPending = true;
    if (--d.ticks == 0) {
      const Deferred run = d;
      MelosTimed_Run(run.command, nullptr, run.args, false);
    }
  }
}

int Melos_PendingStarts(int32_t sound) {
  MelosLockGuard lock;
  int n = 0;
  for (const Trigger& t : g_triggers)
    if (t.sound != 0 &&
        ((t.command == 8 && t.args[0] == sound) || (t.command == 26 && t.args[1] == sound)))
      ++n;
  for (const Deferred& d : g_deferred)
    if (d.ticks > 0 &&
        ((d.command == 8 && d.args[0] == sound) || (d.command == 26 && d.args[1] == sound)))
      ++n;
  return n;
}

// --- fades -----------------------------------------------------------------------

void Melos_RemoveFades(int32_t sound, int32_t param) {
  MelosLockGuard lock;
  for (Fade& f : g_fades)
    if (f.active && f.sound == sound && (param == -1 || f.param == param)) f = Fade{};
}

int Melos_FadeParam(int32_t sound, int32_t param, int32_t target, int32_t ticks) {
  if (sound == 0 || ticks < 0) return -5;
  if (param != MELOS_PARAM_PRIORITY && param != MELOS_PARAM_VOLUME && param != MELOS_PARAM_PAN &&
      param != MELOS_PARAM_DETUNE)
    return -5;
  MelosLockGuard lock;
  Melos_RemoveFades(sound, param);
  ticks = static_cast<int32_t>(static_cast<int64_t>(ticks) * 5 / 6);
  if (ticks == 0) {
    if (param == MELOS_PARAM_VOLUME && target == 0)
      Melos_StopSound(sound);
    else
      Melos_SetParam(sound, param, target);
    return 0;
  }
  for (Fade& f : g_fades) {
    if (f.active) continue;
    f.current = Melos_GetParam(sound, param);
    f.sound = sound;
    f.param = param;
    f.total = f.remaining = ticks;
    const int64_t delta = static_cast<int64_t>(target) - f.current;
    f.sign = delta < 0 ? -1 : 1;
    f.step = static_cast<int32_t>(delta / ticks);
    f.remainder = static_cast<int32_t>((delta < 0 ? -delta : delta) % ticks);
    f.accumulator = 0;
    f.active = 1;
    g_fadePending = true;
    return 0;
  }
  return -6;
}

void MelosFades_Step(void) {
  MelosLockGuard lock;
  if (!g_fadePending) return;
  g_fadePending = false;
  for (Fade& f : g_fades) {
    if (!f.active) continue;
    g_fadePending = true;
    f.remaining -= 1;
    int64_t value = static_cast<int64_t>(f.current) + f.step;
    f.accumulator += f.remainder;
    if (f.accumulator >= f.total) {
      f.accumulator -= f.total;
      value += f.sign;
    }
    if (value != f.current) {
      f.current = static_cast<int32_t>(value);
      // Applying may stop the sound, which removes its fades: work on a copy.
      const Fade at = f;
      if (at.remaining <= 0) f = Fade{};
      if (at.remaining % 5 == 0) ApplyFade(at, at.current);
    } else if (f.remaining <= 0) {
      f = Fade{};
    }
  }
}

// --- save and restore -------------------------------------------------------------

int MelosTimed_SaveFades(uint8_t* buffer, int32_t room) {
  if (room < MELOS_FADE_BLOCK) return -5;
  MelosLockGuard lock;
  uint8_t* p = buffer;
  for (const Fade& f : g_fades) {
    const int32_t w[10] = {f.active, f.sound, f.param,     f.current,     f.remaining,
                           f.total,  f.step,  f.remainder, f.accumulator, f.sign};
    for (int k = 0; k < 10; ++k, p += 4) Melos_PutLE32(p, static_cast<uint32_t>(w[k]));
  }
  return MELOS_FADE_BLOCK;
}

int MelosTimed_SaveTriggers(uint8_t* buffer, int32_t room) {
  if (room < MELOS_TRIGGER_BLOCK) return -5;
  MelosLockGuard lock;
  uint8_t* p = buffer;
  for (const Trigger& t : g_triggers) {
    Melos_PutLE32(p, static_cast<uint32_t>(t.sound));
    std::memcpy(p + 4, t.marker, kMarker);
    Melos_PutLE32(p + 260, static_cast<uint32_t>(t.command));
    for (int k = 0; k < 10; ++k) Melos_PutLE32(p + 264 + 4 * k, static_cast<uint32_t>(t.args[k]));
    Melos_PutLE32(p + 304, static_cast<uint32_t>(t.removed));
    p += 308;
  }
  for (const Deferred& d : g_deferred) {
    Melos_PutLE32(p, static_cast<uint32_t>(d.ticks));
    Melos_PutLE32(p + 4, static_cast<uint32_t>(d.command));
    for (int k = 0; k < 10; ++k) Melos_PutLE32(p + 8 + 4 * k, static_cast<uint32_t>(d.args[k]));
    p += 48;
  }
  return MELOS_TRIGGER_BLOCK;
}

int MelosTimed_RestoreFades(const uint8_t* buffer, uint32_t size) {
  if (size < static_cast<uint32_t>(MELOS_FADE_BLOCK)) return -1;
  MelosLockGuard lock;
  const uint8_t* p = buffer;
  for (Fade& f : g_fades) {
    int32_t w[10];
    for (int k = 0; k < 10; ++k, p += 4) w[k] = static_cast<int32_t>(Melos_LE32(p));
    f = Fade{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9]};
    const bool sane = (f.param == MELOS_PARAM_PRIORITY || f.param == MELOS_PARAM_VOLUME ||
                       f.param == MELOS_PARAM_PAN || f.param == MELOS_PARAM_DETUNE) &&
                      f.total > 0 && f.remaining > 0 && f.remaining <= f.total &&
                      f.remainder >= 0 && f.remainder < f.total && f.accumulator >= 0 &&
                      f.accumulator < f.total && (f.sign == 1 || f.sign == -1) &&
                      std::abs(f.step) <= kFadeRange && std::abs(f.current) <= kFadeRange;
    if (!f.active || !sane) f = Fade{};
  }
  g_fadePending = true;
  return MELOS_FADE_BLOCK;
}

int MelosTimed_RestoreTriggers(const uint8_t* buffer, uint32_t size) {
  if (size < static_cast<uint32_t>(MELOS_TRIGGER_BLOCK)) return -1;
  MelosLockGuard lock;
  const uint8_t* p = buffer;
  for (Trigger& t : g_triggers) {
    t.sound = static_cast<int32_t>(Melos_LE32(p));
    std::memcpy(t.marker, p + 4, kMarker);
    t.marker[kMarker - 1] = 0;
    t.command = static_cast<int32_t>(Melos_LE32(p + 260));
    for (int k = 0; k < 10; ++k) t.args[k] = static_cast<int32_t>(Melos_LE32(p + 264 + 4 * k));
    t.removed = 0;
    p += 308;
  }
  for (Deferred& d : g_deferred) {
    d.ticks = std::max(0, static_cast<int32_t>(Melos_LE32(p)));
    d.command = static_cast<int32_t>(Melos_LE32(p + 4));
    for (int k = 0; k < 10; ++k) d.args[k] = static_cast<int32_t>(Melos_LE32(p + 8 + 4 * k));
    p += 48;
  }
  g_nesting = 0;
  g_fadePending = g_deferredPending = true;
  return MELOS_TRIGGER_BLOCK;
}
