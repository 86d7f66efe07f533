// Operation tables that the codec library's modules share through the
// registry: memory (MEMORY=vembra), the chained file table (FILIO) and its
// stdio-like extension (FILE=vembra_stdfile).
#pragma once

#include <cstddef>
#include <cstdint>

// MEMORY=vembra: allocations carry the caller's source file and line.
struct VembraMemory {
  void* (*Alloc)(size_t size, const char* file, int line);
  void (*Free)(void* pointer, const char* file, int line);
  void* (*Realloc)(void* pointer, size_t size, const char* file, int line);
};

// A handle of a file table: opaque, null for none.
using VembraFileHandle = void*;

// FILIO: the seven-operation file table of every file module.
struct VembraFilio {
  VembraFileHandle (*Open)(const char* path, const char* mode);
  int (*Close)(VembraFileHandle handle);
  int32_t (*Read)(VembraFileHandle handle, void* buffer, int32_t count);
  int32_t (*Write)(VembraFileHandle handle, const void* buffer, int32_t count);
  int32_t (*Tell)(VembraFileHandle handle);
  int32_t (*Seek)(VembraFileHandle handle, int32_t offset, int origin);
  int (*Flush)(VembraFileHandle handle);
};

// FILE=vembra_stdfile: FILIO followed by six conveniences.
struct VembraFile {
  VembraFilio io;
  int32_t (*Size)(VembraFileHandle handle);
  char* (*Gets)(VembraFileHandle handle, char* buffer, int n);
  int (*Eof)(VembraFileHandle handle);
  int (*Printf)(VembraFileHandle handle, const char* format, ...);
  int (*Getc)(VembraFileHandle handle);
  int (*Putc)(VembraFileHandle handle, int c);
};

// VIRTHERC.debug: the diagnostic text output (no module of the engine
// publishes it, so diagnostics stay off).
struct VembraDebugPrint {
  int (*Print)(const char* format, ...);
};

#define VEMBRA_ALLOC(memory, size) (memory)->Alloc((size), __FILE__, __LINE__)
#define VEMBRA_FREE(memory, pointer) (memory)->Free((pointer), __FILE__, __LINE__)
