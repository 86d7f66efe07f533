// Our stand-in for the Steamworks calls the engine makes. It behaves as a
// machine without the Steam client: SteamAPI_Init fails, the interface
// accessors answer null, callbacks never fire on their own, and achievements
// stay locked. The crash report that the SDK would write as a mini-dump is a
// small text file here (see SteamAPI_WriteMiniDump).
//
// Tests drive the achievement logic through fakes of the same interfaces:
// SteamStandIn_SetInterfaces installs them and SteamStandIn_Dispatch delivers
// a callback to the registered listeners, as SteamAPI_RunCallbacks would.
#pragma once

#include <cstdint>

// Callback identifiers.
constexpr int k_iGameOverlayActivated = 331;
constexpr int k_iUserStatsReceived = 1101;
constexpr int k_iUserStatsStored = 1102;
constexpr int k_iUserAchievementStored = 1103;

enum EResult : int { k_EResultOK = 1, k_EResultFail = 2 };

struct GameOverlayActivated_t {
  enum { k_iCallback = k_iGameOverlayActivated };
  uint8_t m_bActive;
};
struct UserStatsReceived_t {
  enum { k_iCallback = k_iUserStatsReceived };
  uint64_t m_nGameID;
  EResult m_eResult;
};
struct UserStatsStored_t {
  enum { k_iCallback = k_iUserStatsStored };
  uint64_t m_nGameID;
  EResult m_eResult;
};
struct UserAchievementStored_t {
  enum { k_iCallback = k_iUserAchievementStored };
  uint64_t m_nGameID;
};

// The receiver of one callback identifier.
class CCallbackBase {
 public:
  virtual ~CCallbackBase() = default;
  virtual void Run(void* param, bool ioFailure, uint64_t apiCall) = 0;
  virtual void Run(void* param) = 0;
  virtual int GetCallbackSizeBytes() = 0;
  int m_iCallback = 0;
};

void SteamAPI_RegisterCallback(CCallbackBase* callback, int id);
void SteamAPI_UnregisterCallback(CCallbackBase* callback);

// Calls object->handler(data) for callback P; registers on construction.
template <class T, class P, bool GameServer = false>
class CCallback : public CCallbackBase {
 public:
  using Handler = void (T::*)(P*);
  CCallback(T* object, Handler handler) : object_(object), handler_(handler) {
    SteamAPI_RegisterCallback(this, P::k_iCallback);
  }
  ~CCallback() override { SteamAPI_UnregisterCallback(this); }
  CCallback(const CCallback&) = delete;
  CCallback& operator=(const CCallback&) = delete;
  void Run(void* param, bool, uint64_t) override { Run(param); }
  void Run(void* param) override { (object_->*handler_)(static_cast<P*>(param)); }
  int GetCallbackSizeBytes() override { return sizeof(P); }

 private:
  T* object_;
  Handler handler_;
};

class ISteamUserStats {
 public:
  virtual ~ISteamUserStats() = default;
  virtual bool RequestCurrentStats() = 0;
  virtual bool GetAchievement(const char* name, bool* achieved) = 0;
  virtual bool SetAchievement(const char* name) = 0;
  virtual bool StoreStats() = 0;
  virtual const char* GetAchievementDisplayAttribute(const char* name, const char* key) = 0;
};
class ISteamUser {
 public:
  virtual ~ISteamUser() = default;
  virtual bool BLoggedOn() = 0;
};
class ISteamUtils {
 public:
  virtual ~ISteamUtils() = default;
  virtual uint32_t GetAppID() = 0;
};

// Always false here: there is no Steam client.
bool SteamAPI_Init(void);
void SteamAPI_Shutdown(void);
// Does nothing: no callback is ever queued by a client.
void SteamAPI_RunCallbacks(void);
ISteamUserStats* SteamUserStats(void);
ISteamUser* SteamUser(void);
ISteamUtils* SteamUtils(void);

// Crash reports. Both are async-signal-safe: they are called from the crash
// guard's signal handler. The comment is kept (cut to 2047 bytes) and written
// into the next report; WriteMiniDump writes "crash_dump.txt" in the current
// directory with the signal number, the comment and a backtrace.
void SteamAPI_SetMiniDumpComment(const char* comment);
void SteamAPI_WriteMiniDump(uint32_t exceptionCode, void* exceptionInfo, uint32_t buildId);
// The name of the crash report file.
constexpr const char* kSteamStandIn_CrashFile = "crash_dump.txt";

// Test support: install fake interfaces (null = none) and deliver a callback
// to every listener registered for its identifier.
void SteamStandIn_SetInterfaces(ISteamUserStats* userStats, ISteamUser* user, ISteamUtils* utils);
void SteamStandIn_Dispatch(int id, void* data);
