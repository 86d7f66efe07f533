// Placeholder: not built yet (the 3D library's primitives build this module).
// No line is drawn and no point is projected: the results say so.
#include "quadrix/qxPrimitive.h"

#include "platform/kv_Log.h"

int qxPrimitive_DrawLine2(qxCanvas* /*canvas*/, int /*x0*/, int /*y0*/, int /*x1*/, int /*y1*/,
                          int /*colour*/, int /*pattern*/) {
  return 0;
}

int qxPrimitive_DrawLine2Clipped(qxCanvas* /*canvas*/, int /*x0*/, int /*y0*/, int /*x1*/,
                                 int /*y1*/, int /*colour*/, int /*pattern*/) {
  return 0;
}

int qxPrimitive_DrawLine3(const qxVector3* /*a*/, const qxVector3* /*b*/, qxScreenPoint* /*outA*/,
                          qxScreenPoint* /*outB*/, int* /*movedA*/, int* /*movedB*/, int /*colour*/,
                          int /*pattern*/) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Quadrix] - qxPrimitive_DrawLine3: not built yet");
  }
  return 0;
}

int qxPrimitive_ProjectPoint3(const qxVector3* /*point*/, qxScreenPoint* /*out*/) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Quadrix] - qxPrimitive_ProjectPoint3: not built yet");
  }
  return 0;
}
