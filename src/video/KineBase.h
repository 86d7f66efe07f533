// The small pieces every class of the video-clip player uses: its exception,
// its replaceable log function, the mutex holder behind every lock of the
// player, and the thread base class of the decoding workers.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

// The player's log function: one process-wide pointer taking a text.
using KineLogFunctionPtr = void (*)(const std::string& text);
// The default: the text and a newline on standard output.
void KineLogFunction(const std::string& text);
void KineLog(const std::string& text);
void KineSetLogFunction(KineLogFunctionPtr function);

// A recursive mutex: its holder may lock it again, as with a Win32 mutex.
class KineMutex {
 public:
  void Lock() { mutex.lock(); }
  void Unlock() { mutex.unlock(); }

 private:
  std::recursive_mutex mutex;
};

// A scoped lock over a KineMutex.
class KineLock {
 public:
  explicit KineLock(KineMutex& m) : mutex(m) { mutex.Lock(); }
  ~KineLock() { mutex.Unlock(); }
  KineLock(const KineLock&) = delete;
  KineLock& operator=(const KineLock&) = delete;

 private:
  KineMutex& mutex;
};

class KineThread {
 public:
  KineThread() = default;
  virtual ~KineThread();
  KineThread(const KineThread&) = delete;
  KineThread& operator=(const KineThread&) = delete;

  virtual void Execute() = 0;
  // running = 1, then starts the thread that calls Execute.
  void Start();
  // running = 0, then waits for the thread; at once when its body has returned.
  void Join();
  bool IsRunning() const { return running.load(); }

 protected:
  std::atomic<bool> running{false};

 private:
  std::thread thread;
};

class _KineGenericException : public std::exception {
 public:
  // The stored file is the part of the path after the first "src" and the
  // one character that follows it; without "src" the whole path.
  _KineGenericException(const std::string& message, const std::string& sourcePath, int line,
                        const std::string& type = "KineGenericException");
  // type ": " "[" file ":" line "] - " message, each part only when present.
  virtual std::string GetFullText() const;
  virtual std::string GetMessageText() const { return message; }
  // Logs the framed full text through the log function.
  void Report() const;
  const char* what() const noexcept override { return message.c_str(); }

  std::string message;
  std::string file;
  std::string type;
  int line;
};

#define KINE_EXCEPTION(msg) _KineGenericException((msg), __FILE__, __LINE__)
