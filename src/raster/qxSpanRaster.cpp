// Not built yet: no edge lists, nothing is drawn.
#include "raster/qxSpanRaster.h"

#include "platform/kv_Log.h"

void qxSpanRaster_ResetStats(void) {}

void qxSpanRaster_Reset(void) {}

// Not built yet: the faces of the cache are dropped (logged once).
void qxSpanRaster_Run(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Raster] - qxSpanRaster_Run: not built yet; occlusion method 1 draws nothing");
  }
}
