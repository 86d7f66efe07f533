// Not built yet: the debug-output loader replaces this file. Nothing is ever
// loaded, so there is nothing to stop.
#include "engine/SpewLib.h"

int SpewLib_Stop(void) {
  return 0;
}
