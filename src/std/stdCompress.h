// The general library's LZ coder and decompression cache. Not built yet: a
// placeholder with the one call the engine core makes.
#pragma once

void stdCompress_FlushCache(void);
