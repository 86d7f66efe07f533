// The resource manager. Not built yet (placeholder).
#include "engine/Res.h"

// Not built yet: no resource is ever loaded, so there is nothing to free.
void Res_FreeAll(void) {}
