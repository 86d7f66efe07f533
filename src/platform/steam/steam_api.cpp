#include "platform/steam/steam_api.h"

#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

struct Registration {
  CCallbackBase* callback;
  int id;
};
// Callbacks are registered and run on the main thread only.
std::vector<Registration>& Registrations() {
  static std::vector<Registration> list;
  return list;
}

ISteamUserStats* g_userStats = nullptr;
ISteamUser* g_user = nullptr;
ISteamUtils* g_utils = nullptr;

char g_comment[2048];

void WriteText(int fd, const char* text) {
  size_t length = 0;
  while (text[length]) ++length;
  while (length > 0) {
    const ssize_t n = write(fd, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void WriteNumber(int fd, uint32_t value) {
  char digits[16];
  int i = sizeof digits - 1;
  digits[i] = '\0';
  do {
    digits[--i] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value && i > 0);
  WriteText(fd, digits + i);
}

}  // namespace

void SteamAPI_RegisterCallback(CCallbackBase* callback, int id) {
  callback->m_iCallback = id;
  Registrations().push_back({callback, id});
}

void SteamAPI_UnregisterCallback(CCallbackBase* callback) {
  auto& list = Registrations();
  list.erase(std::remove_if(list.begin(), list.end(),
                            [callback](const Registration& r) { return r.callback == callback; }),
             list.end());
}

bool SteamAPI_Init(void) {
  return false;
}
void SteamAPI_Shutdown(void) {}
void SteamAPI_RunCallbacks(void) {}
ISteamUserStats* SteamUserStats(void) {
  return g_userStats;
}
ISteamUser* SteamUser(void) {
  return g_user;
}
ISteamUtils* SteamUtils(void) {
  return g_utils;
}

void SteamAPI_SetMiniDumpComment(const char* comment) {
  size_t i = 0;
  if (comment) {
    for (; comment[i] && i < sizeof g_comment - 1; ++i) g_comment[i] = comment[i];
  }
  g_comment[i] = '\0';
}

void SteamAPI_WriteMiniDump(uint32_t exceptionCode, void*, uint32_t) {
  const int fd = open(kSteamStandIn_CrashFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  WriteText(fd, "Crash: signal ");
  WriteNumber(fd, exceptionCode);
  WriteText(fd, "\n");
  if (g_comment[0]) {
    WriteText(fd, g_comment);
    WriteText(fd, "\n");
  }
  WriteText(fd, "Backtrace:\n");
  void* frames[64];
  const int count = backtrace(frames, 64);
  backtrace_symbols_fd(frames, count, fd);
  close(fd);
}

void SteamStandIn_SetInterfaces(ISteamUserStats* userStats, ISteamUser* user, ISteamUtils* utils) {
  g_userStats = userStats;
  g_user = user;
  g_utils = utils;
}

void SteamStandIn_Dispatch(int id, void* data) {
  // Copy first: a handler may register or unregister listeners.
  const std::vector<Registration> list = Registrations();
  for (const Registration& r : list) {
    if (r.id == id) r.callback->Run(data);
  }
}
