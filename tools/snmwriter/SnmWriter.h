// The writer of cutscene movies (.snm): the block container, `Bl16` video
// frames (raw, and block coded by an encoder that models the decoder's three
// buffers and uses every opcode family) and `Wave` audio blocks coded with
// the shared ADPCM encoder. The tests, the fuzz corpus, the benchmark and the
// demo game's data make their movies with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snm {

using Bytes = std::vector<uint8_t>;

void PutBE32(Bytes& b, uint32_t v);
void PutLE16(Bytes& b, uint16_t v);
void PutLE32(Bytes& b, uint32_t v);
// A block: tag, big-endian payload size, payload, a pad byte after an odd size.
Bytes Block(const char* tag, const Bytes& payload);
void Append(Bytes& to, const Bytes& more);

// The stream header's fields.
struct Header {
  int16_t frameCount = 0;
  int16_t x = 0, y = 0;
  int16_t width = 0, height = 0;
  uint32_t periodUs = 66667;  // 15 frames a second
  std::vector<uint8_t> palette = std::vector<uint8_t>(1024, 0);
};

// A movie: SHDR first (its largest-frame field is filled in by Build), then
// the blocks in the order they were added.
class Movie {
 public:
  explicit Movie(const Header& header) : header_(header) {}
  void Add(const char* tag, const Bytes& payload) { blocks_.push_back({tag, payload}); }
  void Flhd(const Bytes& subBlocks) { Add("FLHD", subBlocks); }
  void Frame(const Bytes& subBlocks) { Add("FRME", subBlocks); }
  void Anno(const std::string& text) { Add("ANNO", Bytes(text.begin(), text.end())); }
  Bytes Build() const;
  static Bytes ShdrPayload(const Header& header, uint32_t largestFrame);

 private:
  struct Entry {
    std::string tag;
    Bytes payload;
  };
  Header header_;
  std::vector<Entry> blocks_;
};

// ---- Blocky16 -------------------------------------------------------------------

struct Bl16Frame {
  int16_t width = 0, height = 0;
  int16_t sequence = 0;
  uint8_t method = 0;
  uint8_t rotation = 0;
  uint16_t cache[4] = {};
  uint16_t background = 0;
  uint32_t rleBytes = 0;
  std::vector<uint16_t> table = std::vector<uint16_t>(256, 0);
  int16_t bitmapType = 3;  // 5-6-5, red at the top
  Bytes data;              // the coded data after the 560-byte header
};
Bytes Bl16Payload(const Bl16Frame& frame);
// The FLHD sub-block payload announcing a movie's pictures.
Bytes Bl16FlhdPayload(int16_t width, int16_t height, int16_t bitmapType = 3);

// Encodes pictures (width x height 16-bit pixels, row after row) in order:
// the first as a raw frame (method 0) that starts the sequence, later ones
// block coded (method 2) against the previous pictures, losslessly. Every
// frame rotates the buffers (rotation 2).
class Bl16Encoder {
 public:
  Bl16Encoder(int width, int height);
  Bytes Encode(const std::vector<uint16_t>& picture, bool raw = false);
  // Opcodes used so far by family, for tests: copies (0..246), patterns
  // (247, 248), fills (249..254) and subdivisions (255), at 8x8, 4x4 and 2x2.
  int Uses(int size, int opcode) const;

 private:
  struct Impl;
  int width_, height_, rows_;
  std::vector<std::vector<uint16_t>> buffers_;
  int current_ = 0, reference2_ = 1, reference1_ = 2;
  int16_t sequence_ = 0;
  std::vector<int> uses_;
};

// ---- Wave -----------------------------------------------------------------------

// A short-form block of interleaved 16-bit samples (1 or 2 channels).
Bytes WavePayload(const std::vector<int16_t>& samples, int channels);
// The extended form with a stream id.
Bytes WaveExtendedPayload(uint32_t stream, const std::vector<int16_t>& samples, int channels);
// The FLHD sub-block payload announcing the stream's total audio bytes.
Bytes WaveFlhdPayload(uint32_t totalAudioBytes);

}  // namespace snm
