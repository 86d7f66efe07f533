// High-definition movie playback. Not built yet (placeholder).
#include "video/MovieHD.h"

#include "platform/kv_Log.h"

namespace {
void ReportNotBuilt(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[MovieHD] - %s: not built yet; no high-definition movie plays", what);
}
}  // namespace

// Not built yet: no high-definition movie plays.
int MovieHD_IsActive(void) {
  static bool reported = false;
  ReportNotBuilt(reported, "MovieHD_IsActive");
  return 0;
}
int MovieHD_IsRunning(void) {
  static bool reported = false;
  ReportNotBuilt(reported, "MovieHD_IsRunning");
  return 0;
}
