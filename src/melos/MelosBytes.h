// Byte-order helpers of the music system's file formats: Melo, MCMP, VIMA and
// AIFF fields are big-endian, RIFF WAVE and save records little-endian.
#pragma once

#include <cstdint>
#include <cstring>

inline uint32_t Melos_BE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint16_t Melos_BE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t Melos_LE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | p[0];
}
inline uint16_t Melos_LE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[1] << 8 | p[0]);
}
inline void Melos_PutBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline void Melos_PutBE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void Melos_PutLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void Melos_PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Melos_PutLE64(uint8_t* p, uint64_t v) {
  Melos_PutLE32(p, static_cast<uint32_t>(v));
  Melos_PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline bool Melos_Tag(const uint8_t* p, const char* tag) {
  return std::memcmp(p, tag, 4) == 0;
}
