// The writer of cutscene movies (see SnmWriter.h).
#include "SnmWriter.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "melos/MelosVima.h"
#include "vembra/vembra_blocky16.h"

namespace snm {

void PutBE32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutLE16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void PutLE32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Append(Bytes& to, const Bytes& more) {
  to.insert(to.end(), more.begin(), more.end());
}

Bytes Block(const char* tag, const Bytes& payload) {
  Bytes b(tag, tag + 4);
  PutBE32(b, uint32_t(payload.size()));
  Append(b, payload);
  if (payload.size() & 1) b.push_back(0);
  return b;
}

Bytes Movie::ShdrPayload(const Header& h, uint32_t largestFrame) {
  Bytes p;
  PutLE16(p, 0);
  PutLE16(p, uint16_t(h.frameCount));
  PutLE16(p, uint16_t(h.x));
  PutLE16(p, uint16_t(h.y));
  PutLE16(p, uint16_t(h.width));
  PutLE16(p, uint16_t(h.height));
  PutLE16(p, 0);
  PutLE32(p, h.periodUs);
  PutLE32(p, largestFrame);
  Bytes palette = h.palette;
  palette.resize(1024, 0);
  Append(p, palette);
  PutLE16(p, 0);
  return p;
}

Bytes Movie::Build() const {
  uint32_t largest = 0;
  for (const Entry& e : blocks_)
    if (e.tag == "FRME") largest = std::max(largest, uint32_t(e.payload.size() + 8));
  Bytes body = Block("SHDR", ShdrPayload(header_, std::max(largest, 1u)));
  for (const Entry& e : blocks_) Append(body, Block(e.tag.c_str(), e.payload));
  Bytes file = {'S', 'A', 'N', 'M'};
  PutBE32(file, uint32_t(body.size()));
  Append(file, body);
  return file;
}

// ---- Blocky16 -------------------------------------------------------------------

Bytes Bl16Payload(const Bl16Frame& f) {
  Bytes p(8, 0);
  PutLE16(p, uint16_t(f.width));
  PutLE16(p, 0);
  PutLE16(p, uint16_t(f.height));
  PutLE16(p, 0);
  PutLE16(p, uint16_t(f.sequence));
  p.push_back(f.method);
  p.push_back(f.rotation);
  PutLE32(p, 0);
  for (uint16_t c : f.cache) PutLE16(p, c);
  PutLE16(p, f.background);
  PutLE16(p, 0);
  PutLE32(p, f.rleBytes);
  for (int i = 0; i < 256; ++i) PutLE16(p, i < int(f.table.size()) ? f.table[size_t(i)] : 0);
  PutLE16(p, uint16_t(f.bitmapType));
  p.resize(560, 0);
  Append(p, f.data);
  return p;
}

Bytes Bl16FlhdPayload(int16_t width, int16_t height, int16_t bitmapType) {
  Bytes p;
  PutLE16(p, 0);
  PutLE16(p, uint16_t(width));
  PutLE16(p, uint16_t(height));
  PutLE16(p, uint16_t(bitmapType));
  return p;
}

namespace {

int SizeSlot(int n) {
  return n == 8 ? 0 : n == 4 ? 1 : 2;
}

}  // namespace

// One frame's block coder over the encoder's model of the decoder buffers.
struct Bl16Encoder::Impl {
  Bl16Encoder& e;
  const std::vector<uint16_t>& picture;
  uint16_t* current;
  const uint16_t* reference2;
  const uint16_t* reference1;
  int w, h, pixels;
  std::vector<int32_t> motion;
  std::map<uint16_t, int> tableIndex;
  uint16_t cache[4];
  Bytes out;

  // Whether the visible pixels of the block equal those of `source` at offset.
  bool Matches(int32_t o, int n, int cols, const uint16_t* source, int64_t offset) const {
    const int64_t first = o + offset, last = first + int64_t(n - 1) * w + cols - 1;
    if (first < 0 || last >= pixels) return false;
    for (int r = 0; r < n; ++r) {
      const int32_t row = o + r * w;
      if (row / w >= h) break;
      for (int c = 0; c < cols; ++c)
        if (source[row + offset + c] != picture[size_t(row + c)]) return false;
    }
    return true;
  }
  void ApplyCopy(int32_t o, int n, int cols, const uint16_t* source, int64_t offset) {
    for (int r = 0; r < n; ++r)
      memmove(current + o + r * w, source + o + offset + r * w, size_t(cols) * 2);
  }
  void ApplyMask(int32_t o, int n, int cols, uint64_t mask, uint16_t a, uint16_t b) {
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < cols; ++c) current[o + r * w + c] = (mask >> (r * n + c)) & 1 ? a : b;
  }
  // The distinct visible colours of the block, up to three.
  std::vector<uint16_t> Colours(int32_t o, int n, int cols) const {
    std::vector<uint16_t> found;
    for (int r = 0; r < n; ++r) {
      const int32_t row = o + r * w;
      if (row / w >= h) break;
      for (int c = 0; c < cols; ++c) {
        const uint16_t v = picture[size_t(row + c)];
        if (std::find(found.begin(), found.end(), v) == found.end()) {
          found.push_back(v);
          if (found.size() > 2) return found;
        }
      }
    }
    return found;
  }
  // The pattern whose list A holds exactly the visible pixels of colour a.
  int FindPattern(int32_t o, int n, int cols, uint16_t a) const {
    for (int p = 0; p < 256; ++p) {
      const uint64_t mask = Blocky16_PatternMask(n, p);
      bool ok = true;
      for (int r = 0; r < n && ok; ++r) {
        const int32_t row = o + r * w;
        if (row / w >= h) break;
        for (int c = 0; c < cols && ok; ++c)
          ok = (((mask >> (r * n + c)) & 1) != 0) == (picture[size_t(row + c)] == a);
      }
      if (ok) return p;
    }
    return -1;
  }
  void Emit(int n, uint8_t op) {
    out.push_back(op);
    e.uses_[size_t(SizeSlot(n) * 256 + op)]++;
  }
  void Word(uint16_t v) { PutLE16(out, v); }
  int Index(uint16_t v) const {
    auto it = tableIndex.find(v);
    return it == tableIndex.end() ? -1 : it->second;
  }

  void EncodeBlock(int32_t o, int x, int n) {
    const int cols = std::min(n, w - x);
    if (cols <= 0) {  // wholly beyond the right edge: any opcode will do
      Emit(n, 0);
      return;
    }
    // Unchanged from the previous picture.
    if (Matches(o, n, cols, reference2, 0)) {
      Emit(n, 0);
      ApplyCopy(o, n, cols, reference2, 0);
      return;
    }
    const std::vector<uint16_t> colours = Colours(o, n, cols);
    if (colours.size() == 1) {
      const uint16_t c = colours[0];
      const uint16_t* hit = std::find(cache, cache + 4, c);
      if (hit != cache + 4) {
        Emit(n, uint8_t(249 + (hit - cache)));
      } else if (Index(c) >= 0) {
        Emit(n, 253);
        out.push_back(uint8_t(Index(c)));
      } else {
        Emit(n, 254);
        Word(c);
      }
      ApplyMask(o, n, cols, 0, c, c);
      return;
    }
    if (Matches(o, n, cols, reference1, 0)) {
      Emit(n, 246);
      ApplyCopy(o, n, cols, reference1, 0);
      return;
    }
    for (int v = 1; v < kBl16MotionVectors; ++v) {
      if (Matches(o, n, cols, reference2, motion[size_t(v)])) {
        Emit(n, uint8_t(v));
        ApplyCopy(o, n, cols, reference2, motion[size_t(v)]);
        return;
      }
    }
    // Moves beyond the table: whole blocks up, down, left or right.
    for (int64_t offset : {int64_t(-8) * w, int64_t(8) * w, int64_t(-8), int64_t(8),
                           int64_t(-16) * w, int64_t(16) * w, int64_t(-64), int64_t(64)}) {
      if (offset < -32768 || offset > 32767) continue;
      if (Matches(o, n, cols, reference2, offset)) {
        Emit(n, 245);
        Word(uint16_t(int16_t(offset)));
        ApplyCopy(o, n, cols, reference2, offset);
        return;
      }
    }
    if (n == 2) {
      uint16_t p[4];
      for (int k = 0; k < 4; ++k) {
        const int r = k / 2, c = std::min(k % 2, cols - 1);
        const int32_t at = o + r * w + c;
        p[k] = at / w < h ? picture[size_t(at)] : current[at];
      }
      const bool indexed = std::all_of(p, p + 4, [&](uint16_t v) { return Index(v) >= 0; });
      if (indexed) {
        Emit(n, 247);
        for (uint16_t v : p) out.push_back(uint8_t(Index(v)));
      } else {
        Emit(n, colours.size() == 2 ? 248 : 255);
        for (uint16_t v : p) Word(v);
      }
      current[o] = p[0];
      current[o + w] = p[2];
      if (cols > 1) {
        current[o + 1] = p[1];
        current[o + w + 1] = p[3];
      }
      return;
    }
    if (colours.size() == 2) {
      for (int swap = 0; swap < 2; ++swap) {
        const uint16_t a = colours[size_t(swap)], b = colours[size_t(1 - swap)];
        const int pattern = FindPattern(o, n, cols, a);
        if (pattern < 0) continue;
        if (Index(a) >= 0 && Index(b) >= 0) {
          Emit(n, 247);
          out.push_back(uint8_t(pattern));
          out.push_back(uint8_t(Index(a)));
          out.push_back(uint8_t(Index(b)));
        } else {
          Emit(n, 248);
          out.push_back(uint8_t(pattern));
          Word(a);
          Word(b);
        }
        ApplyMask(o, n, cols, Blocky16_PatternMask(n, pattern), a, b);
        return;
      }
    }
    Emit(n, 255);
    const int half = n / 2;
    EncodeBlock(o, x, half);
    EncodeBlock(o + half, x + half, half);
    EncodeBlock(o + half * w, x, half);
    EncodeBlock(o + half * w + half, x + half, half);
  }
};

Bl16Encoder::Bl16Encoder(int width, int height)
    : width_(width), height_(height), rows_((height + 7) & ~7) {
  buffers_.assign(3, std::vector<uint16_t>(size_t(width) * size_t(rows_), 0));
  uses_.assign(3 * 256, 0);
}

int Bl16Encoder::Uses(int size, int opcode) const {
  return uses_[size_t(SizeSlot(size) * 256 + (opcode & 255))];
}

Bytes Bl16Encoder::Encode(const std::vector<uint16_t>& picture, bool raw) {
  Bl16Frame f;
  f.width = int16_t(width_);
  f.height = int16_t(height_);
  f.sequence = sequence_;
  f.rotation = 2;
  if (sequence_ == 0) {
    // A new sequence: both references hold the background colour.
    std::fill(buffers_[size_t(reference1_)].begin(), buffers_[size_t(reference1_)].end(), 0);
    std::fill(buffers_[size_t(reference2_)].begin(), buffers_[size_t(reference2_)].end(), 0);
  }
  std::vector<uint16_t>& current = buffers_[size_t(current_)];
  if (raw || sequence_ == 0) {
    f.method = 0;
    for (int i = 0; i < width_ * height_; ++i) PutLE16(f.data, picture[size_t(i)]);
    std::copy(picture.begin(), picture.begin() + width_ * height_, current.begin());
  } else {
    f.method = 2;
    // The colour table holds the frame's most frequent colours, the cache the
    // first four of them.
    std::map<uint16_t, int> counts;
    for (int i = 0; i < width_ * height_; ++i) counts[picture[size_t(i)]]++;
    std::vector<std::pair<int, uint16_t>> byCount;
    for (const auto& [colour, count] : counts) byCount.push_back({-count, colour});
    std::sort(byCount.begin(), byCount.end());
    Impl impl{*this, picture, current.data(), buffers_[size_t(reference2_)].data(),
              buffers_[size_t(reference1_)].data(), width_, height_, width_ * rows_, {}, {},
              {}, {}};
    for (size_t i = 0; i < byCount.size() && i < 256; ++i) {
      f.table[i] = byCount[i].second;
      impl.tableIndex[byCount[i].second] = int(i);
    }
    for (int i = 0; i < 4; ++i) f.cache[i] = f.table[size_t(i)];
    std::copy(f.cache, f.cache + 4, impl.cache);
    for (int v = 0; v < kBl16MotionVectors; ++v) {
      int dx, dy;
      Blocky16_MotionVector(v, &dx, &dy);
      impl.motion.push_back(dy * width_ + dx);
    }
    for (int y = 0; y < rows_; y += 8)
      for (int x = 0; x < width_; x += 8) impl.EncodeBlock(y * width_ + x, x, 8);
    f.data = std::move(impl.out);
  }
  // Rotation 2: reference 2 becomes reference 1, the current picture
  // reference 2, and the old reference 1 is decoded into next.
  const int oldReference1 = reference1_;
  reference1_ = reference2_;
  reference2_ = current_;
  current_ = oldReference1;
  sequence_++;
  return Bl16Payload(f);
}

// ---- Wave -----------------------------------------------------------------------

namespace {

Bytes WaveCoded(const std::vector<int16_t>& samples, int channels) {
  const int perChannel = int(samples.size()) / channels;
  Bytes coded(samples.size() * 2 + 64);
  const int n = Vima_EncodeBlock(samples.data(), channels, perChannel, coded.data(), coded.size());
  coded.resize(n > 0 ? size_t(n) : 0);
  return coded;
}

}  // namespace

Bytes WavePayload(const std::vector<int16_t>& samples, int channels) {
  Bytes p;
  PutBE32(p, uint32_t(samples.size() / size_t(channels)));
  Append(p, WaveCoded(samples, channels));
  return p;
}

Bytes WaveExtendedPayload(uint32_t stream, const std::vector<int16_t>& samples, int channels) {
  Bytes p;
  PutBE32(p, 0x80000000u);
  PutBE32(p, stream);
  PutBE32(p, uint32_t(samples.size() / size_t(channels)));
  Append(p, WaveCoded(samples, channels));
  return p;
}

Bytes WaveFlhdPayload(uint32_t totalAudioBytes) {
  Bytes p(8, 0);
  PutLE32(p, totalAudioBytes);
  return p;
}

}  // namespace snm
