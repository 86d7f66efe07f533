// High-definition movie playback. Not built yet (placeholder).
#include "video/MovieHD.h"

// Not built yet: no high-definition movie plays.
int MovieHD_IsActive(void) {
  return 0;
}
