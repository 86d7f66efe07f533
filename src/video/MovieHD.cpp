// High-definition movie playback. Not built yet (placeholders).
#include "video/MovieHD.h"

#include <atomic>

#include "platform/kv_Log.h"

namespace {
void ReportNotBuilt(std::atomic<bool>& reported, const char* what) {
  if (reported.exchange(true)) return;
  kv_Log_Printf("[MovieHD] - %s: not built yet; no high-definition movie plays", what);
}
}  // namespace

// Not built yet: no high-definition movie plays, so the classic one does.
int MovieHD_Start(const char*, int) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_Start");
  return 0;
}
void MovieHD_Update(int) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_Update");
}
void MovieHD_Stop(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_Stop");
}
int MovieHD_IsActive(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_IsActive");
  return 0;
}
int MovieHD_IsRunning(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_IsRunning");
  return 0;
}
float MovieHD_GetLastClipTime(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_GetLastClipTime");
  return 0.0f;
}
void MovieHD_OnStopRequest(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_OnStopRequest");
}
int MovieHD_OnCutscenePlayerStart(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_OnCutscenePlayerStart");
  return 1;
}
int MovieHD_OnCutscenePlayerStop(void) {
  static std::atomic<bool> reported{false};
  ReportNotBuilt(reported, "MovieHD_OnCutscenePlayerStop");
  return 1;
}
