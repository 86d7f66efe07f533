// Little-endian field access for the engine's file formats and save blocks:
// every field is read and written byte by byte, never through a struct, so
// the layout on disk is the same on any host.
#pragma once

#include <cstdint>

inline uint32_t stdLE_GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A four-character code as the word whose bytes in memory spell it, low byte
// first ("MAT " -> 'M','A','T',' '): the tags of resources and file chunks.
constexpr uint32_t stdLE_Tag(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

inline int32_t stdLE_GetI32(const uint8_t* p) {
  return static_cast<int32_t>(stdLE_GetU32(p));
}

inline void stdLE_PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Reads one line of UTF-16LE characters, up to and including a line feed, at
// most size - 1 of them, and terminates it. readPair(bytes) reads the next two
// bytes and answers whether it got both. Null when nothing was read.
template <class ReadPair>
char16_t* stdLE_ReadUtf16Line(char16_t* buffer, int size, ReadPair readPair) {
  int count = 0;
  while (count < size - 1) {
    uint8_t pair[2];
    if (!readPair(pair)) break;
    const char16_t c = static_cast<char16_t>(pair[0] | (pair[1] << 8));
    buffer[count++] = c;
    if (c == u'\n') break;
  }
  if (count == 0) return nullptr;
  buffer[count] = 0;
  return buffer;
}
