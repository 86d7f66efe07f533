// The VIMA ADPCM codec (see MelosVima.h).
#include "melos/MelosVima.h"

#include <array>
#include <vector>

const int16_t kVimaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

namespace {

// Index change by magnitude for code widths 4..7.
constexpr int8_t kAdjust4[8] = {-1, -1, -1, -1, 1, 2, 4, 6};
constexpr int8_t kAdjust5[16] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 2, 2, 4, 5, 6};
constexpr std::array<int8_t, 32> MakeAdjust6() {
  std::array<int8_t, 32> a{};
  int k = 0;
  for (int i = 0; i < 16; ++i) a[k++] = -1;
  for (int i = 0; i < 5; ++i) a[k++] = 1;
  for (int i = 0; i < 4; ++i) a[k++] = 2;
  for (int i = 0; i < 3; ++i) a[k++] = 4;
  for (int i = 0; i < 2; ++i) a[k++] = 5;
  for (int i = 0; i < 2; ++i) a[k++] = 6;
  return a;
}
constexpr std::array<int8_t, 64> MakeAdjust7() {
  std::array<int8_t, 64> a{};
  int k = 0;
  for (int i = 0; i < 32; ++i) a[k++] = -1;
  for (int i = 0; i < 10; ++i) a[k++] = 1;
  for (int i = 0; i < 8; ++i) a[k++] = 2;
  for (int i = 0; i < 6; ++i) a[k++] = 4;
  for (int i = 0; i < 4; ++i) a[k++] = 5;
  for (int i = 0; i < 4; ++i) a[k++] = 6;
  return a;
}
constexpr std::array<int8_t, 32> kAdjust6 = MakeAdjust6();
constexpr std::array<int8_t, 64> kAdjust7 = MakeAdjust7();

int Adjust(int width, int magnitude) {
  switch (width) {
    case 4:
      return kAdjust4[magnitude];
    case 5:
      return kAdjust5[magnitude];
    case 6:
      return kAdjust6[magnitude];
    default:
      return kAdjust7[magnitude];
  }
}

int Width(int index) {
  if (index <= 44) return 4;
  if (index <= 58) return 5;
  if (index <= 73) return 6;
  return 7;
}

// Reconstruction table: the sum of step >> k over the set bits of a 6-bit
// value, bit 5 taking k = 0 and bit 0 taking k = 5.
struct Table {
  int16_t t[89][64];
  Table() {
    for (int i = 0; i < 89; ++i) {
      for (int b = 0; b < 64; ++b) {
        int sum = 0;
        for (int bit = 5; bit >= 0; --bit) {
          if (b & (1 << bit)) sum += kVimaStep[i] >> (5 - bit);
        }
        t[i][b] = static_cast<int16_t>(sum);
      }
    }
  }
};
const Table& Reconstruction() {
  static const Table table;
  return table;
}

int Clamp16(int v) {
  return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}
int ClampIndex(int i) {
  return i < 0 ? 0 : (i > VIMA_MAX_INDEX ? VIMA_MAX_INDEX : i);
}

// The delta that magnitude m stands for at index i and width w.
int Delta(int i, int w, int m) {
  int delta = Reconstruction().t[i][m << (7 - w)];
  if (m != 0) delta += kVimaStep[i] >> (w - 1);
  return delta;
}

struct BitReader {
  const uint8_t* data;
  size_t size;
  bool zeroPastEnd;
  size_t bit = 0;
  // Returns false when the stream holds fewer than n bits, unless the missing
  // bits read as 0.
  bool Read(int n, uint32_t* out) {
    if (bit + static_cast<size_t>(n) > size * 8 && !zeroPastEnd) return false;
    uint32_t v = 0;
    for (int k = 0; k < n; ++k, ++bit) {
      const uint32_t b = (bit >> 3) < size ? (data[bit >> 3] >> (7 - (bit & 7))) & 1 : 0;
      v = v << 1 | b;
    }
    *out = v;
    return true;
  }
};

struct BitWriter {
  uint8_t* data;
  size_t room;
  size_t bit = 0;
  bool ok = true;
  void Write(int n, uint32_t v) {
    for (int k = n - 1; k >= 0; --k, ++bit) {
      if ((bit >> 3) >= room) {
        ok = false;
        return;
      }
      if ((bit & 7) == 0) data[bit >> 3] = 0;
      if ((v >> k) & 1) data[bit >> 3] |= static_cast<uint8_t>(0x80 >> (bit & 7));
    }
  }
};

}  // namespace

int Vima_Decode(const uint8_t* bits, size_t bitBytes, VimaState* states, int channels,
                int samplesPerChannel, int16_t* out, bool zeroPastEnd) {
  BitReader reader{bits, bitBytes, zeroPastEnd};
  for (int c = 0; c < channels; ++c) {
    VimaState& s = states[c];
    if (s.index < 0 || s.index > VIMA_MAX_INDEX) return -1;
    for (int n = 0; n < samplesPerChannel; ++n) {
      const int w = Width(s.index);
      uint32_t code = 0;
      if (!reader.Read(w, &code)) return -1;
      const int sign = static_cast<int>(code >> (w - 1)) & 1;
      const int m = static_cast<int>(code) & ((1 << (w - 1)) - 1);
      if (m == (1 << (w - 1)) - 1) {
        uint32_t literal = 0;
        if (!reader.Read(16, &literal)) return -1;
        s.predictor = static_cast<int16_t>(literal);
      } else {
        const int delta = Delta(s.index, w, m);
        s.predictor = Clamp16(sign ? s.predictor - delta : s.predictor + delta);
      }
      out[static_cast<size_t>(n) * channels + c] = static_cast<int16_t>(s.predictor);
      s.index = ClampIndex(s.index + Adjust(w, m));
    }
  }
  return 0;
}

int Vima_DecodeBlock(const uint8_t* in, size_t inSize, uint8_t* out, size_t outBytes) {
  if (inSize < 3) return -1;
  VimaState states[2]{};
  int channels = 1;
  size_t at = 0;
  int first = in[at++];
  if (first & 0x80) {
    first = ~first & 0xFF;
    channels = 2;
  }
  states[0].index = first;
  states[0].predictor = static_cast<int16_t>(in[at] << 8 | in[at + 1]);
  at += 2;
  if (channels == 2) {
    if (inSize < at + 3) return -1;
    states[1].index = in[at++];
    states[1].predictor = static_cast<int16_t>(in[at] << 8 | in[at + 1]);
    at += 2;
  }
  const int perChannel = static_cast<int>(outBytes / (2 * static_cast<size_t>(channels)));
  std::vector<int16_t> pcm(static_cast<size_t>(perChannel) * channels);
  const int result = Vima_Decode(in + at, inSize - at, states, channels, perChannel, pcm.data());
  if (result != 0) return -1;
  for (size_t k = 0; k < pcm.size(); ++k) {
    out[2 * k] = static_cast<uint8_t>(pcm[k]);
    out[2 * k + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[k]) >> 8);
  }
  // Bytes past the whole frames (an odd block size) are left as zero.
  for (size_t k = pcm.size() * 2; k < outBytes; ++k) out[k] = 0;
  return static_cast<int>(outBytes);
}

int Vima_EncodeBlock(const int16_t* samples, int channels, int samplesPerChannel, uint8_t* out,
                     size_t room) {
  if (channels < 1 || channels > 2 || samplesPerChannel < 0) return -1;
  const size_t header = channels == 2 ? 6 : 3;
  if (room < header) return -1;
  out[0] = channels == 2 ? 0xFF : 0x00;  // index 0, complemented for stereo
  out[1] = out[2] = 0;                   // predictor 0
  if (channels == 2) out[3] = out[4] = out[5] = 0;
  BitWriter writer{out + header, room - header};
  for (int c = 0; c < channels; ++c) {
    VimaState s{0, 0};
    for (int n = 0; n < samplesPerChannel; ++n) {
      const int sample = samples[static_cast<size_t>(n) * channels + c];
      const int w = Width(s.index);
      int delta = sample - s.predictor;
      const int sign = delta < 0 ? 1 : 0;
      if (delta < 0) delta = -delta;
      int m = 0;
      for (int k = 0; k < w - 1; ++k) {
        const int threshold = kVimaStep[s.index] >> k;
        m <<= 1;
        if (delta >= threshold) {
          m |= 1;
          delta -= threshold;
        }
      }
      const int escape = (1 << (w - 1)) - 1;
      writer.Write(w, static_cast<uint32_t>(sign << (w - 1) | m));
      if (m == escape) {
        writer.Write(16, static_cast<uint16_t>(sample));
        s.predictor = sample;
      } else {
        const int d = Delta(s.index, w, m);
        s.predictor = Clamp16(sign ? s.predictor - d : s.predictor + d);
      }
      s.index = ClampIndex(s.index + Adjust(w, m));
    }
  }
  if (!writer.ok) return -1;
  return static_cast<int>(header + (writer.bit + 7) / 8);
}
