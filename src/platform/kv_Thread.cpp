#include "platform/kv_Thread.h"

#include <SDL.h>

#include <new>

#include "platform/kv_Platform.h"

namespace {

enum Lifetime : int { kAttached = 0, kDetached = 1, kBodyEnded = 2 };

int RunBody(void* data) {
  auto* record = static_cast<kv_Thread*>(data);
  // The crash guard's handlers run on an alternate stack; each thread needs
  // its own, or a stack overflow here would write no crash report.
  void* crashStack = kv_Platform_InstallThreadCrashStack();
  const int status = record->body(record);
  kv_Platform_RemoveThreadCrashStack(crashStack);
  // A detached record is freed by whichever of the two ends comes last.
  if (record->lifetime.exchange(kBodyEnded) == kDetached) delete record;
  return status;
}

}  // namespace

kv_Thread* kv_Thread_Create(kv_ThreadBody body, const char* name, void* userData, int /*unused*/,
                            int priority) {
  auto* record = new (std::nothrow) kv_Thread{};
  if (!record) return nullptr;
  record->priority = priority;
  record->running = 1;
  record->userData = userData;
  record->body = body;
  record->thread = SDL_CreateThread(RunBody, name, record);
  if (!record->thread) {
    // A thread that did not start is a failure, not a record to wait on.
    delete record;
    return nullptr;
  }
  return record;
}

int kv_Thread_Join(kv_Thread* thread) {
  if (!thread) return 0;
  thread->running = 0;
  int status = 0;
  SDL_WaitThread(thread->thread, &status);
  delete thread;
  return status;
}

void kv_Thread_Detach(kv_Thread* thread) {
  if (!thread) return;
  SDL_DetachThread(thread->thread);
  if (thread->lifetime.exchange(kDetached) == kBodyEnded) delete thread;
}

int kv_Thread_IsRunning(const kv_Thread* thread) {
  return thread ? thread->running.load() : 0;
}

void* kv_Thread_GetUserData(const kv_Thread* thread) {
  return thread ? thread->userData : nullptr;
}

static SDL_ThreadPriority MapPriority(int priority) {
  switch (priority) {
    case 0:
      return SDL_THREAD_PRIORITY_LOW;
    case 2:
      return SDL_THREAD_PRIORITY_HIGH;
    default:
      return SDL_THREAD_PRIORITY_NORMAL;
  }
}

void kv_Thread_ApplyPriority(const kv_Thread* thread) {
  // Raising priority may need privileges on Linux; the thread runs on regardless.
  if (thread) SDL_SetThreadPriority(MapPriority(thread->priority));
}

void kv_Thread_SetCurrentPriority(int priority) {
  SDL_SetThreadPriority(MapPriority(priority));
}

void kv_Platform_Delay(uint32_t milliseconds) {
  SDL_Delay(milliseconds);
}

kv_Mutex kv_Mutex_Create(void) {
  return SDL_CreateMutex();
}
kv_Mutex kv_Mutex_Create2(void) {
  return SDL_CreateMutex();
}
void kv_Mutex_Destroy(kv_Mutex mutex) {
  if (mutex) SDL_DestroyMutex(static_cast<SDL_mutex*>(mutex));
}
void kv_Mutex_Lock(kv_Mutex mutex) {
  SDL_LockMutex(static_cast<SDL_mutex*>(mutex));
}
void kv_Mutex_Unlock(kv_Mutex mutex) {
  SDL_UnlockMutex(static_cast<SDL_mutex*>(mutex));
}

kv_Semaphore kv_Semaphore_Create(uint32_t initialCount) {
  return SDL_CreateSemaphore(initialCount);
}
void kv_Semaphore_Destroy(kv_Semaphore semaphore) {
  if (semaphore) SDL_DestroySemaphore(static_cast<SDL_sem*>(semaphore));
}
void kv_Semaphore_Post(kv_Semaphore semaphore, int) {
  SDL_SemPost(static_cast<SDL_sem*>(semaphore));
}
void kv_Semaphore_Wait(kv_Semaphore semaphore, int) {
  SDL_SemWait(static_cast<SDL_sem*>(semaphore));
}
int kv_Semaphore_TryWait(kv_Semaphore semaphore, int) {
  return SDL_SemTryWait(static_cast<SDL_sem*>(semaphore));
}

uint32_t kv_Platform_GetTicks(void) {
  return SDL_GetTicks();
}

double kv_Platform_GetTimeMs(void) {
  const uint64_t counter = SDL_GetPerformanceCounter();
  const uint64_t frequency = SDL_GetPerformanceFrequency();
  return static_cast<double>(counter) / static_cast<double>(frequency) * 1000.0;
}

void kv_Platform_LocalTime(const time_t* time, struct tm* out) {
  localtime_r(time, out);
}
void kv_Platform_Time(time_t* out) {
  ::time(out);
}

void kv_Profile_NewFrame(void) {}
void kv_Profile_Begin(const char*) {}
void kv_Profile_End(void) {}
void kv_Platform_OnFrameStart(void) {}
int kv_Platform_DebugQuery(void) {
  return 0;
}
