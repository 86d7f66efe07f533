// The music system. Not built yet (placeholder): no music plays.
#include "melos/Melos.h"

#include "platform/kv_Log.h"

void Melos_SetState(int) {}
void Melos_Pause(void) {}
void Melos_Resume(void) {}
void Melos_StopAllSounds(void) {}

namespace {
// The library's answer while it is not initialised.
constexpr int kNotStarted = -1;

void ReportNotBuilt(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Melos] - %s: not built yet", what);
}
}  // namespace

int Melos_GroupVolume(int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Melos_GroupVolume");
  return kNotStarted;
}
int Melos_SetSequence(int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Melos_SetSequence");
  return kNotStarted;
}
void Melos_SetCuePoint(int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Melos_SetCuePoint");
}
int Melos_SetAttribute(int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Melos_SetAttribute");
  return kNotStarted;
}
void Melos_StartRecording(const char*, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Melos_StartRecording");
}
void Melos_StopRecording(void) {
  static bool reported = false;
  ReportNotBuilt(reported, "Melos_StopRecording");
}
