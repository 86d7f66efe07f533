// The music system's sound file formats: the Melo container (event map and
// PCM), RIFF WAVE, AIFF, headerless PCM, the MCMP block container with VIMA
// blocks, and SYNC lip-sync tracks. Every reader checks each length against
// the bytes it is given.
#pragma once

#include <cstdint>
#include <vector>

// Sound type codes of Sound_ReadHeader.
enum SoundType : int {
  SOUND_UNKNOWN = 0,
  SOUND_RAW_LE = 1,
  SOUND_RAW_BE = 2,
  SOUND_MELO = 3,
  SOUND_MCMP_MELO = 4,
  SOUND_WAVE = 5,
  SOUND_MCMP_WAVE = 6,
  SOUND_AIFF = 7,
};

struct SoundHeader {
  int type;
  int rate;
  int bits;
  int channels;
  int littleEndian;        // 1 little-endian samples; 0 for Melo and AIFF
  uint32_t dataSize;       // cut to the bytes present
  const uint8_t* samples;  // first sample, null when not recognised
};

// Reads the header of a sound file held in buffer[0..size). Returns the type
// (0 when not recognised) and fills header.
int Sound_ReadHeader(const uint8_t* buffer, uint32_t size, SoundHeader* header);

// Writes the header of type 3 (80-byte Melo), 5 (44-byte WAVE) or 7 (54-byte
// AIFF) for dataSize bytes of PCM; returns its length, 0 for other types.
int MeloHeader_Write(uint8_t* out, int type, int rate, int bits, int channels, uint32_t dataSize);

// Headerless PCM recognition over the first 8192 bytes.
struct RawGuess {
  int bits;
  int channels;
  int littleEndian;
};
RawGuess Sound_GuessRawFormat(const uint8_t* data, uint32_t size);

// The n-th event (from 0) with the given tag in a "MAP " chunk of mapSize
// bytes (header included); null when there is none.
const uint8_t* Melo_FindEvent(const uint8_t* map, uint32_t mapSize, const char* tag, int n);

// Estimated size of a sound converted to type (3..7); 0 for other types or an
// unrecognised source. A zero rate, bits or channels keeps the source's.
uint32_t Sound_ConvertedSize(int type, int rate, int bits, int channels, const uint8_t* data,
                             uint32_t size);

// MCMP container: a table of blocks whose decoded contents make one stream.
// The source is read through readAt(user, offset, buffer, count) -> bytes.
using McmpReadAt = int (*)(void* user, uint32_t offset, void* buffer, uint32_t count);
struct McmpBlock {
  bool vima;
  uint32_t start;       // offset in the decoded stream
  uint32_t size;        // decoded size
  uint32_t source;      // offset of the compressed bytes in the file
  uint32_t sourceSize;  // compressed size
};
struct McmpFile {
  McmpReadAt readAt = nullptr;
  void* user = nullptr;
  std::vector<McmpBlock> blocks;
  uint32_t totalSize = 0;
  uint32_t position = 0;
  int cached = -1;  // index of the block held in decoded
  std::vector<uint8_t> decoded;
  std::vector<uint8_t> compressed;
};
// Reads the block table; -1 when the file is not a sound MCMP file.
int Mcmp_Open(McmpFile* file, McmpReadAt readAt, void* user, uint32_t fileSize);
// Reads count decoded bytes at the current position; returns the bytes read
// (cut at the data's end; a block that fails to decode ends the read there).
int Mcmp_Read(McmpFile* file, void* buffer, uint32_t count);
void Mcmp_Seek(McmpFile* file, uint32_t position);

// SYNC tracks: (A, B) at time t ms; 0, or -1 when there is no entry.
int Sync_Lookup(const uint8_t* sync, uint32_t size, uint32_t t, int* a, int* b);
// Builds a SYNC track from a 16-bit mono sound file at r windows a second;
// returns its length (0 on failure).
int Sync_Build(uint8_t* out, uint32_t room, const uint8_t* sound, uint32_t soundSize, int r,
               int levelsA, int levelsB);
