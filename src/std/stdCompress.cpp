// LZ coder. Not built yet (placeholder): there is no cache to empty.
#include "std/stdCompress.h"

void stdCompress_FlushCache(void) {}
