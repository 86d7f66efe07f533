// Threads, locks, semaphores and time: a thin layer over SDL so that the rest
// of the engine never names SDL for them.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

struct SDL_Thread;

using kv_ThreadBody = int (*)(void* record);

struct kv_Thread {
  SDL_Thread* thread;
  int priority;                  // 0 low, 1 normal, 2 high
  std::atomic<uint8_t> running;  // 1 while the owner wants the thread to go on
  void* userData;
  // Private to this layer: the body, and who frees the record of a detached
  // thread (the body's end or kv_Thread_Detach, whichever comes last).
  kv_ThreadBody body;
  std::atomic<int> lifetime;
};
using kv_Mutex = void*;      // opaque
using kv_Semaphore = void*;  // opaque

// Starts body(record) on a new thread. Returns null when the record cannot be
// allocated or the thread could not be started.
kv_Thread* kv_Thread_Create(kv_ThreadBody body, const char* name, void* userData, int unused,
                            int priority);
// Clears the running flag, waits for the thread, frees the record; returns the
// thread's exit status.
int kv_Thread_Join(kv_Thread* thread);
// For a thread its owner never joins: the record is freed when the body has
// returned (at once when it already has). The record must not be used after.
void kv_Thread_Detach(kv_Thread* thread);
int kv_Thread_IsRunning(const kv_Thread* thread);
void* kv_Thread_GetUserData(const kv_Thread* thread);
void kv_Thread_ApplyPriority(const kv_Thread* thread);
void kv_Thread_SetCurrentPriority(int priority);
void kv_Platform_Delay(uint32_t milliseconds);

kv_Mutex kv_Mutex_Create(void);
kv_Mutex kv_Mutex_Create2(void);
void kv_Mutex_Destroy(kv_Mutex mutex);
void kv_Mutex_Lock(kv_Mutex mutex);
void kv_Mutex_Unlock(kv_Mutex mutex);

kv_Semaphore kv_Semaphore_Create(uint32_t initialCount);
void kv_Semaphore_Destroy(kv_Semaphore semaphore);
void kv_Semaphore_Post(kv_Semaphore semaphore, int unused = 0);
void kv_Semaphore_Wait(kv_Semaphore semaphore, int unused = 0);
// Returns 0 when the count was taken.
int kv_Semaphore_TryWait(kv_Semaphore semaphore, int unused = 0);

// Milliseconds since SDL started (32-bit, wraps).
uint32_t kv_Platform_GetTicks(void);
// Milliseconds from the performance counter.
double kv_Platform_GetTimeMs(void);
void kv_Platform_LocalTime(const time_t* time, struct tm* out);
void kv_Platform_Time(time_t* out);

// Empty profiling and frame hooks that the engine and the renderer call.
void kv_Profile_NewFrame(void);
void kv_Profile_Begin(const char* name);
void kv_Profile_End(void);
void kv_Platform_OnFrameStart(void);
int kv_Platform_DebugQuery(void);
