// vembra_timer: up to 19 software timers of the codec library, driven by the
// thread "pctime_kv" that ticks every 16 ms. Time counts in units of
// 1/1193180 s; every tick adds 19886 units.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"

using VembraTimerCallback = void (*)(int id, void* context);

// Timer flags.
constexpr uint32_t kVembraTimerFirstPass = 1;
constexpr uint32_t kVembraTimerOneShot = 2;
constexpr uint32_t kVembraTimerThirdPass = 4;
constexpr uint32_t kVembraTimerExternalSync = 8;

constexpr int kVembraTimerSlots = 19;
constexpr int32_t kVembraTimerIncrement = 19886;

// TIMER=vembra.
struct VembraTimerTable {
  int (*Create)(VembraTimerCallback callback, int32_t period, uint32_t flags, void* context);
  void (*Delete)(int id);
  void (*Suspend)(void);
  void (*Resume)(void);
  void (*SetPeriod)(int id, int32_t period);
  void (*Wait)(int32_t units);
  int32_t (*GetTime)(void);
  int32_t (*GetIncrement)(void);
  void (*Adjust)(int32_t elapsed);
  int32_t marker;  // -1 once started; nothing reads it
};

// Register operation for the module list.
int vembra_timer_Register(OrnShareServices* services, const char* context);

// The module's start and stop below its lifecycle table (counted). Tests start
// it without the thread and drive vembra_timer_Tick themselves.
int vembra_timer_Start(bool withThread);
void vembra_timer_Stop(void);
// One 16 ms tick: advances the total and serves the timers.
void vembra_timer_Tick(void);
VembraTimerTable* vembra_timer_Table(void);
