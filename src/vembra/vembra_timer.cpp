// The codec library's timer module.
#include "vembra/vembra_timer.h"

#include <array>
#include <atomic>
#include <cstdio>

#include "platform/kv_Thread.h"
#include "vembra/vembra_Services.h"

namespace {

// Every field the timer thread reads is an atomic: the main thread and the
// sound engine change slots while the thread serves them.
struct TimerSlot {
  std::atomic<VembraTimerCallback> callback{nullptr};
  std::atomic<int32_t> period{0};
  std::atomic<uint32_t> flags{0};
  std::atomic<void*> context{nullptr};
  std::atomic<bool> busy{false};
  std::atomic<int32_t> accA{0};
  std::atomic<bool> inService{false};
  std::atomic<int32_t> accB{0};
};

struct TimerState {
  std::array<TimerSlot, kVembraTimerSlots + 1> slots;  // ids 1..19
  std::atomic<uint32_t> total{0};
  std::atomic<int32_t> increment{kVembraTimerIncrement};
  std::atomic<int> suspend{0};
  int starts = 0;
  std::atomic<bool> started{false};
  kv_Mutex mutex = nullptr;
  kv_Thread* thread = nullptr;
  bool thirdPassRunning = false;
  VembraMemory* memory = nullptr;
  OrnShareServices* services = nullptr;
};

TimerState g_timer;

const char kModuleKey[] = "ORNMODULE=vembra_timer";
const char kTimerKey[] = "TIMER=vembra";

class ModuleLock {
 public:
  ModuleLock() : mutex_(g_timer.mutex) {
    if (mutex_) kv_Mutex_Lock(mutex_);
  }
  ~ModuleLock() {
    if (mutex_) kv_Mutex_Unlock(mutex_);
  }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;

 private:
  kv_Mutex mutex_;
};

bool ValidId(int id) {
  return id >= 1 && id <= kVembraTimerSlots;
}

void ClearSlot(TimerSlot& s) {
  s.callback = nullptr;
  s.period = 0;
  s.flags = 0;
  s.context = nullptr;
  s.busy = false;
  s.accA = 0;
  s.inService = false;
  s.accB = 0;
}

// Fires the slot while its accumulator holds a whole period. A period of 0 (or
// below, which could never be used up) does not fire; a callback that deletes
// its own timer ends the loop.
void FireLoop(TimerSlot& s, int id) {
  for (;;) {
    int32_t period = s.period;
    if (period <= 0) return;
    int32_t a = s.accA;
    if (a < period) return;
    s.accA = a - period;
    VembraTimerCallback cb = s.callback;
    if (!cb) return;
    if (s.flags & kVembraTimerOneShot) {
      s.period = 0;
      cb(id, s.context);
      return;
    }
    cb(id, s.context);
  }
}

int Create(VembraTimerCallback callback, int32_t period, uint32_t flags, void* context) {
  if (!callback) return 0;
  ModuleLock lock;
  for (int id = 1; id <= kVembraTimerSlots; ++id) {
    TimerSlot& s = g_timer.slots[id];
    if (s.callback) continue;
    s.period = period;
    s.flags = flags;
    s.context = context;
    s.busy = false;
    s.accA = 0;
    s.inService = false;
    s.accB = 0;
    s.callback = callback;  // last: the slot is used from here on
    return id;
  }
  return 0;
}

void Delete(int id) {
  if (!ValidId(id)) return;
  ModuleLock lock;
  ClearSlot(g_timer.slots[id]);
}

void Suspend(void) {
  g_timer.suspend++;
}

void Resume(void) {
  g_timer.suspend--;
}

void SetPeriod(int id, int32_t period) {
  if (!ValidId(id)) return;
  ModuleLock lock;
  g_timer.slots[id].period = period;
  g_timer.slots[id].accA = 0;
}

void Wait(int32_t units) {
  if (!g_timer.started) return;
  uint32_t start = g_timer.total;
  while (g_timer.started && int64_t(uint32_t(g_timer.total - start)) < int64_t(units))
    kv_Platform_Delay(1);
}

int32_t GetTime(void) {
  return int32_t(g_timer.total.load());
}

int32_t GetIncrement(void) {
  return g_timer.increment;
}

void Adjust(int32_t elapsed) {
  ModuleLock lock;
  for (int id = 1; id <= kVembraTimerSlots; ++id) {
    TimerSlot& s = g_timer.slots[id];
    if (!s.callback || !(s.flags & kVembraTimerExternalSync)) continue;
    if (elapsed > 0) s.accA = s.accA + elapsed - s.accB;
    s.accB = 0;
  }
}

VembraTimerTable g_table = {Create, Delete,  Suspend,      Resume, SetPeriod,
                            Wait,   GetTime, GetIncrement, Adjust, 0};

int TimerThread(void* record) {
  auto* thread = static_cast<kv_Thread*>(record);
  kv_Thread_ApplyPriority(thread);
  uint32_t last = kv_Platform_GetTicks();
  while (g_timer.started && kv_Thread_IsRunning(thread)) {
    uint32_t elapsed = kv_Platform_GetTicks() - last;
    if (elapsed <= 16) {
      kv_Platform_Delay(elapsed == 16 ? 1 : (16 - elapsed < 10 ? 16 - elapsed : 10));
    } else {
      last += 16;
      vembra_timer_Tick();
      kv_Platform_Delay(10);
    }
  }
  return 0;
}

int Startup(void) {
  g_timer.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  if (!g_timer.memory) {
    OrnShare_GetErrorPrinter()("Timer Module: Cannot allocate memory services.");
    return -1;
  }
  return vembra_timer_Start(true);
}

void Shutdown(void) {
  if (g_timer.memory) OrnShare_Unsubscribe(g_timer.memory);
  g_timer.memory = nullptr;
  vembra_timer_Stop();
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kTimerKey);
}

OrnModuleTable g_module = {vembra_timer_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_timer_Register(OrnShareServices* services, const char*) {
  g_timer.services = services;
  services->Publish(kModuleKey, &g_module);
  services->Publish(kTimerKey, &g_table);
  return 0;
}

int vembra_timer_Start(bool withThread) {
  if (g_timer.starts++ > 0) return 0;
  for (int id = 1; id <= kVembraTimerSlots; ++id) ClearSlot(g_timer.slots[id]);
  g_timer.increment = kVembraTimerIncrement;
  g_timer.suspend = 0;
  g_timer.thirdPassRunning = false;
  g_timer.mutex = kv_Mutex_Create();
  g_table.marker = -1;
  g_timer.started = true;
  if (withThread) {
    g_timer.thread = kv_Thread_Create(TimerThread, "pctime_kv", nullptr, 0, 1);
    if (!g_timer.thread) {
      OrnShare_GetErrorPrinter()("Timer Module: Cannot start the timer thread.");
      g_timer.started = false;
      g_timer.starts = 0;
      kv_Mutex_Destroy(g_timer.mutex);
      g_timer.mutex = nullptr;
      return -1;
    }
  }
  return 0;
}

void vembra_timer_Stop(void) {
  if (g_timer.starts <= 0) return;
  if (--g_timer.starts > 0) return;
  g_timer.started = false;
  if (g_timer.thread) {
    int result = kv_Thread_Join(g_timer.thread);
    g_timer.thread = nullptr;
    if (result != 0) printf("ERROR timer_thread returned with non-zero value of 0x%0X\n", result);
  }
  kv_Mutex_Destroy(g_timer.mutex);
  g_timer.mutex = nullptr;
}

void vembra_timer_Tick(void) {
  ModuleLock lock;
  const int32_t inc = g_timer.increment;
  g_timer.total += uint32_t(inc);
  if (g_timer.suspend != 0) return;
  auto& slots = g_timer.slots;
  for (int id = 1; id <= kVembraTimerSlots; ++id) {
    TimerSlot& s = slots[id];
    if (!s.callback) continue;
    s.accA += inc;
    s.accB += inc;
    if ((s.flags & 5) == kVembraTimerFirstPass) FireLoop(s, id);
  }
  for (int id = 1; id <= kVembraTimerSlots; ++id) {
    TimerSlot& s = slots[id];
    if (!s.callback || (s.flags & 5) != 0 || s.busy) continue;
    s.busy = true;
    FireLoop(s, id);
    s.busy = false;
  }
  if (g_timer.thirdPassRunning) return;
  g_timer.thirdPassRunning = true;
  for (int id = 1; id <= kVembraTimerSlots; ++id) slots[id].inService = true;
  for (int id = 1; id <= kVembraTimerSlots; ++id) {
    TimerSlot& s = slots[id];
    if (s.callback && (s.flags & 5) == kVembraTimerThirdPass) FireLoop(s, id);
  }
  for (int id = 1; id <= kVembraTimerSlots; ++id) slots[id].inService = false;
  g_timer.thirdPassRunning = false;
}

VembraTimerTable* vembra_timer_Table(void) {
  return &g_table;
}
