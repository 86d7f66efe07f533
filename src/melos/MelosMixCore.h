// The mixing core that the music mixer and the cutscene sound mixer share:
// the 17x17 pan table, the pan law of a mono source, and the loop that adds
// one piece of PCM into a 32-bit stereo accumulator with its three exact rate
// paths (doubling, one to one, halving) and nearest-sample stepping for any
// other ratio. The sample reader is a template parameter, so every format
// gets a loop of its own without a per-sample branch.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace mixcore {

using PanTable = uint8_t[17][17];

// Entry [g][j] = truncate(8 x (g x sin(j x 3.1415 / 32) + 0.5)): 3.1415 as
// the original wrote it, not pi. Every entry is at least 4.
inline void BuildPanTable(PanTable table) {
  for (int g = 0; g <= 16; ++g)
    for (int j = 0; j <= 16; ++j)
      table[g][j] = static_cast<uint8_t>(8.0 * (g * std::sin(j * 3.1415 / 32.0) + 0.5));
}

// The left and right multipliers of a mono source: row g from the volume
// (row 0 for volume 0), column 8 -/+ k from the pan 0..127 (64 = centre).
inline void MonoMultipliers(const PanTable table, int volume, int pan, int* left, int* right) {
  const int g = volume > 0 ? std::min((volume >> 3) + 1, 16) : 0;
  const int k = std::clamp((pan >> 3) - 8 + (pan > 64 ? 1 : 0), -8, 8);
  *left = table[g][8 - k];
  *right = table[g][8 + k];
}

// Sample readers: Bytes per sample and the sample as a signed 16-bit value.
struct Signed16LE {
  static constexpr int kBytes = 2;
  static int Read(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);  // the host is little-endian
    return v;
  }
};
struct Signed16BE {
  static constexpr int kBytes = 2;
  static int Read(const uint8_t* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }
};
struct Unsigned16LE {
  static constexpr int kBytes = 2;
  static int Read(const uint8_t* p) { return (p[0] | p[1] << 8) - 32768; }
};
// 8-bit unsigned: (byte XOR 0x80) as a signed byte, x 256. The average of two
// such samples, (a + b) >> 1, equals the 8-bit rule ((b0 + b1) << 7) XOR 0x8000.
struct Unsigned8 {
  static constexpr int kBytes = 1;
  static int Read(const uint8_t* p) { return static_cast<int8_t>(p[0] ^ 0x80) * 256; }
};

// Adds one piece of n source frames of Ch channels, stretched over m output
// frames, into acc (already at the output offset): acc gets multiplier x
// sample per side. ratio = n x 65536 / m. Never reads past frame n - 1.
template <int Ch, class Sample>
void MixPiece(const uint8_t* src, int n, int m, int32_t* acc, int left, int right, uint32_t ratio) {
  constexpr int kFrame = Ch * Sample::kBytes;
  const auto frame = [src](int i, int* l, int* r) {
    const uint8_t* p = src + static_cast<size_t>(i) * kFrame;
    *l = Sample::Read(p);
    *r = Ch == 2 ? Sample::Read(p + Sample::kBytes) : *l;
  };
  const auto add = [left, right](int32_t* a, int l, int r) {
    a[0] += left * l;
    a[1] += right * r;
  };
  if (ratio == 0x10000) {
    for (int i = 0; i < m && i < n; ++i) {
      int l, r;
      frame(i, &l, &r);
      add(acc + 2 * i, l, r);
    }
  } else if (ratio == 0x8000) {
    // Each frame, then the average of it and the next; the last frame twice.
    for (int i = 0, o = 0; i < n && o < m; ++i) {
      int l, r;
      frame(i, &l, &r);
      add(acc + 2 * o++, l, r);
      if (o >= m) break;
      if (i + 1 < n) {
        int l2, r2;
        frame(i + 1, &l2, &r2);
        add(acc + 2 * o++, (l + l2) >> 1, (r + r2) >> 1);
      } else {
        add(acc + 2 * o++, l, r);
      }
    }
  } else if (ratio == 0x20000) {
    for (int i = 0; i < m && 2 * i < n; ++i) {
      int l, r;
      frame(2 * i, &l, &r);
      add(acc + 2 * i, l, r);
    }
  } else {
    uint32_t at = 0;
    uint32_t f = 0;
    for (int i = 0; i < m && at < static_cast<uint32_t>(n); ++i) {
      int l, r;
      frame(static_cast<int>(at), &l, &r);
      add(acc + 2 * i, l, r);
      const uint32_t step = ratio + f;
      at += step >> 16;
      f = step & 0xFFFF;
    }
  }
}

}  // namespace mixcore
