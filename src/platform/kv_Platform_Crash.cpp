// The crash guard: signal handlers that write a crash report through the
// Steam layer's mini-dump call and then let the signal take its course.
#include <execinfo.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/kv_Platform.h"
#include "platform/steam/steam_api.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_previous[kSignalCount];
bool g_installed = false;

// The GL debug tag names the GL step in progress. The render context writes
// it from the main thread; the crash report reads it from whichever thread
// faults, inside a signal handler, so it is a sequence lock over lock-free
// atomics: the writer makes the sequence odd while it changes the three
// values, and a reader keeps the copy it took while the sequence stayed even
// and unchanged.
struct DebugTag {
  std::atomic<uint32_t> sequence{0};
  std::atomic<const char*> context{""};
  std::atomic<const char*> function{""};
  std::atomic<int> line{-1};
};
DebugTag g_tag;
static_assert(std::atomic<const char*>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free);
// Set while this thread is inside a write: a crash there is reported from the
// same thread, which must not wait for a write it interrupted.
constinit thread_local std::atomic<int> t_writingTag{0};

// The main thread's handlers run here, so a stack overflow can still be
// reported; other threads get one of their own (kv_Platform_InstallThreadCrashStack).
alignas(16) char g_alternateStack[kv_Platform_kCrashStackSize];

// A thread's own alternate stack and the one it had before (a sanitizer may
// give every thread a smaller one and unmaps it itself when the thread ends).
struct ThreadCrashStack {
  void* memory;
  stack_t previous;
};

// Appends text to a bounded buffer (async-signal-safe).
void Append(char* buffer, size_t size, size_t* used, const char* text) {
  while (text && *text && *used + 1 < size) buffer[(*used)++] = *text++;
  buffer[*used] = '\0';
}

void AppendInt(char* buffer, size_t size, size_t* used, int value) {
  char digits[16];
  int i = sizeof digits - 1;
  digits[i] = '\0';
  const bool negative = value < 0;
  unsigned magnitude = negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[--i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude && i > 1);
  if (negative) digits[--i] = '-';
  Append(buffer, size, used, digits + i);
}

void OnCrashSignal(int signalNumber, siginfo_t* info, void*) {
  kv_Platform_WriteCrashDump(signalNumber, info);
  // Hand the signal to whoever handled it before us (a sanitizer, or the
  // default action): a fault repeats when this handler returns, and a raised
  // signal is delivered once the handler has returned.
  for (int i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] == signalNumber) sigaction(signalNumber, &g_previous[i], nullptr);
  }
  if (signalNumber == SIGABRT || (info && info->si_code <= 0)) raise(signalNumber);
}

}  // namespace

void kv_GL_SetDebugTag(const char* context, const char* function, int line) {
  t_writingTag.store(1, std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  // One writer at a time (the thread that owns the context), so the sequence
  // needs no read-modify-write.
  const uint32_t sequence = g_tag.sequence.load(std::memory_order_relaxed);
  g_tag.sequence.store(sequence + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  g_tag.context.store(context ? context : "", std::memory_order_relaxed);
  g_tag.function.store(function ? function : "", std::memory_order_relaxed);
  g_tag.line.store(line, std::memory_order_relaxed);
  g_tag.sequence.store(sequence + 2, std::memory_order_release);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_writingTag.store(0, std::memory_order_relaxed);
}

void kv_GL_GetDebugTag(const char** context, const char** function, int* line) {
  const char* c = "";
  const char* f = "";
  int l = -1;
  for (;;) {
    const uint32_t before = g_tag.sequence.load(std::memory_order_acquire);
    c = g_tag.context.load(std::memory_order_relaxed);
    f = g_tag.function.load(std::memory_order_relaxed);
    l = g_tag.line.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if ((before & 1u) == 0 && g_tag.sequence.load(std::memory_order_relaxed) == before) break;
    // A write this thread interrupted never completes: take what is there
    // (each value on its own is one that was written). Any other thread's
    // write ends within a few instructions.
    if (t_writingTag.load(std::memory_order_relaxed)) break;
  }
  if (context) *context = c;
  if (function) *function = f;
  if (line) *line = l;
}

void kv_Platform_WriteCrashDump(int signalNumber, void* signalInfo) {
  const char* context = nullptr;
  const char* function = nullptr;
  int line = -1;
  kv_GL_GetDebugTag(&context, &function, &line);
  const bool tagged = (context && *context) || (function && *function) || line != -1;
  if (tagged) {
    char comment[2048];
    size_t used = 0;
    Append(comment, sizeof comment, &used, "GL context: ");
    Append(comment, sizeof comment, &used, context);
    Append(comment, sizeof comment, &used, " | Function: ");
    Append(comment, sizeof comment, &used, function);
    Append(comment, sizeof comment, &used, " | Line: ");
    AppendInt(comment, sizeof comment, &used, line);
    SteamAPI_SetMiniDumpComment(comment);
  } else {
    SteamAPI_SetMiniDumpComment(nullptr);
  }
  SteamAPI_WriteMiniDump(static_cast<uint32_t>(signalNumber), signalInfo, 0);
  const struct timespec pause = {0, 250 * 1000 * 1000};
  nanosleep(&pause, nullptr);
}

void* kv_Platform_InstallThreadCrashStack(void) {
  auto* token = new (std::nothrow) ThreadCrashStack{};
  if (!token) return nullptr;
  token->memory = mmap(nullptr, kv_Platform_kCrashStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (token->memory == MAP_FAILED) {
    delete token;
    return nullptr;
  }
  stack_t stack{};
  stack.ss_sp = token->memory;
  stack.ss_size = kv_Platform_kCrashStackSize;
  if (sigaltstack(&stack, &token->previous) != 0) {
    munmap(token->memory, kv_Platform_kCrashStackSize);
    delete token;
    return nullptr;
  }
  return token;
}

void kv_Platform_RemoveThreadCrashStack(void* token) {
  auto* own = static_cast<ThreadCrashStack*>(token);
  if (!own) return;
  // Put back what the thread had, so its owner finds its own stack again.
  stack_t previous = own->previous;
  if (previous.ss_flags & SS_DISABLE) {
    previous = stack_t{};
    previous.ss_flags = SS_DISABLE;
  }
  sigaltstack(&previous, nullptr);
  munmap(own->memory, kv_Platform_kCrashStackSize);
  delete own;
}

void kv_Platform_InstallCrashGuard(void) {
  if (g_installed) return;
  g_installed = true;
  // backtrace() may allocate on its first call: do that now, not in a handler.
  void* warmUp[4];
  backtrace(warmUp, 4);

  stack_t stack{};
  stack.ss_sp = g_alternateStack;
  stack.ss_size = sizeof g_alternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = OnCrashSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}
