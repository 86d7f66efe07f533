// The music host module of the engine. Not built yet (placeholder).
#include "melos/Sounds.h"

#include "platform/kv_Log.h"

int SoundsInitialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void Sounds_SetConfig(int, int, int, int, int, int, int, int, int, int, int, int) {}
void Sounds_Update(void) {}

// Not built yet: there is no voice stream to release.
void Sounds_ReleaseVoice(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Sounds] - Sounds_ReleaseVoice: not built yet");
  }
}
