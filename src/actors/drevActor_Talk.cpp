// Actor talking and voice. Not built yet (placeholder): the talk step,
// starting and ending a line log "not built yet" once and do nothing, and
// no actor is counted as talking.
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "platform/kv_Log.h"

void drevActor_UpdateTalking(float) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Actor] - drevActor_UpdateTalking: not built yet");
}

void drevActor_ShutUp(Actor*) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Actor] - drevActor_ShutUp: not built yet");
}

void drevActor_SayLine(Actor*, const char* text, int, int, int, int, int) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Actor] - drevActor_SayLine: not built yet; \"%s\" is not said", text ? text : "");
}

int drevActor_CountTalking(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_CountTalking: not built yet; no actor talks");
  }
  return 0;
}

// Not built yet: the talk settings belong to the actors' talking.
int drevActor_SetTextSpeed(int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_SetTextSpeed: not built yet");
  }
  return 0;
}

int drevActor_GetTextSpeed(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_GetTextSpeed: not built yet");
  }
  return 0;
}

// The speech mode: bit 0 text, bit 1 voice. A mode with neither bit is
// ignored, as is the mode already in force.
int drevActor_SetSpeechMode(int mode) {
  ActorModule& g = drevActor_State();
  if (mode != g.speechMode && (mode & 3) != 0) g.speechMode = mode;
  return g.speechMode;
}

int drevActor_GetSpeechMode(void) {
  return drevActor_State().speechMode;
}
