// The gzip (RFC 1952) stream layer under vembra_zfilio: reads and writes gzip
// files through a chained FILIO table, with zlib doing raw inflate and deflate
// and the CRC-32. Unlike a plain gzip reader it refuses data that is not gzip,
// so that the file module can open such a file plainly.
#pragma once

#include <cstdint>

#include "vembra/vembra_Services.h"

struct VembraGzStream;

// Mode: 'r' reads, 'w' or 'a' writes; a digit sets the level, 'f' filtered,
// 'h' Huffman only; the other characters go to the chained Open. Null on any
// failure, and for data that is not gzip.
VembraGzStream* vembra_gz_Open(const VembraFilio* io, const char* path, const char* mode);
// Bytes produced; -2 when not reading; -1 after a data or file error; 0 at the
// end of the stream.
int32_t vembra_gz_Read(VembraGzStream* s, void* buffer, int32_t count);
// Bytes consumed; -2 when not writing.
int32_t vembra_gz_Write(VembraGzStream* s, const void* buffer, int32_t count);
// New position in the uncompressed data, or -1. Origin 2 is not supported.
int32_t vembra_gz_Seek(VembraGzStream* s, int32_t offset, int origin);
// Writes out pending output for the zlib flush mode, then flushes the file.
int vembra_gz_Flush(VembraGzStream* s, int flushMode);
// Finishes a written stream with its trailer, closes and frees everything.
int vembra_gz_Close(VembraGzStream* s);
// "" without error, "stream error" without a stream, else "path: message".
const char* vembra_gz_Error(VembraGzStream* s, int* code);
