// The music host module of the engine. Not built yet (placeholder).
#include "melos/Sounds.h"

#include "platform/kv_Log.h"

int SoundsInitialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void Sounds_SetConfig(int, int, int, int, int, int, int, int, int, int, int, int) {}
void Sounds_Update(void) {}

namespace {
void ReportNotBuilt(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Sounds] - %s: not built yet", what);
}
}  // namespace

bool Sounds_IsSoundPlaying(const char*) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_IsSoundPlaying");
  return false;
}
void Sounds_SetParam(const char*, int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_SetParam");
}
void Sounds_FillStreams(void) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_FillStreams");
}

// Not built yet: nothing starts or stops.
int Sounds_StartSound(const char*, int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_StartSound");
  return 0;
}
int Sounds_StartSpeechSound(const char*, int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_StartSpeechSound");
  return 0;
}
int Sounds_StartVoice(const char*, int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_StartVoice");
  return 1;
}
int Sounds_StopSound(const char*) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_StopSound");
  return 0;
}
void Sounds_StopVoice(void) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_StopVoice");
}
int Sounds_SetHook(const char*, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_SetHook");
  return -1;
}
uint32_t Sounds_GetLipSyncShape(int, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_GetLipSyncShape");
  return 0;
}

// Not built yet: there is no voice stream to release.
void Sounds_ReleaseVoice(void) {
  static bool reported = false;
  ReportNotBuilt(reported, "Sounds_ReleaseVoice");
}
