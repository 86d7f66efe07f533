// The general library's LZ coder and its decompression cache.
//
// Packed streams are an LZSS variant over a 4096-byte window with no preset
// content. 16-bit little-endian flag words hand out their bits from bit 0; the
// next flag word is read as soon as the 16th bit of the previous one is taken.
// Tokens, by flag bits (data bytes follow all of a token's flag bits):
//   1             V           literal V
//   0 0 h l       B           length 2h + l + 3 (3..6), B - 256 bytes back (1..256)
//   0 1           B0 B1       length (B1 & 15) + 3 (4..18) when B1 & 15 != 0,
//                             D - 4096 bytes back, D = B0 + 256 * (B1 >> 4)
//   0 1           B0 B1 E     B1 & 15 == 0: E == 0 ends the stream, else length E + 1
// Backgrounds and BM frames are packed off-line; unpacking runs on the drawing
// path and is served from a 100-entry cache of recent results, keyed by the
// packed block's address and size. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// Packs size bytes of input into output, which holds size bytes and is never
// written past. Returns the packed length; a value not below size means the
// packed form is not smaller and output holds nothing useful.
int stdCompress_Compress(void* output, const void* input, int size);

// Unpacks the stream of packedSize bytes into output, which holds capacity
// bytes. Returns the unpacked length, or -1 when the stream reaches before the
// start of the output, would write past its end, or ends without an end token
// (nothing is cached then). Results are cached by (packed address, packedSize).
int stdCompress_Decompress(void* output, size_t capacity, const void* packed, int packedSize);

// Frees every cached result.
void stdCompress_FlushCache(void);

// Forgets the cached results of a packed block that is being freed or
// replaced, so that a block packed later at the same address is never served
// the old bytes.
void stdCompress_DropCached(const void* packed);

// Inner steps, exposed for tests and the benchmark.
// Decodes without the cache; same results as stdCompress_Decompress.
int stdCompress_Decode(void* output, size_t capacity, const void* packed, size_t packedSize);
// Number of cache entries in use.
int stdCompress_CacheCount(void);
