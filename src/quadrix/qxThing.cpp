// Things. Not built yet (placeholder): no thing is ever made.
#include "quadrix/qxThing.h"

#include "platform/kv_Log.h"

qxThing* qxThing_New(int32_t) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[qxThing] - qxThing_New: not built yet");
  }
  return nullptr;
}

int qxThing_SetCamera(qxThing*, qxCamera*) {
  return 0;
}

void qxThing_Free(qxThing*) {}
