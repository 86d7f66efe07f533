#include "std/stdCompress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// A small reference of the packed format, written from its description and
// kept apart from the engine's coder: a decoder that reads the stream as a
// list of tokens, and an encoder that finds matches by brute force.

// Reference decoder; returns false on any malformed stream.
bool RefDecode(const Bytes& in, Bytes& out) {
  size_t pos = 0;
  auto byte = [&](int& v) {
    if (pos >= in.size()) return false;
    v = in[pos++];
    return true;
  };
  int lo, hi;
  if (!byte(lo) || !byte(hi)) return false;
  unsigned word = static_cast<unsigned>(lo | hi << 8);
  int taken = 0;
  auto bit = [&](int& b) {
    b = (word >> taken) & 1;
    if (++taken == 16) {
      if (!byte(lo) || !byte(hi)) return false;
      word = static_cast<unsigned>(lo | hi << 8);
      taken = 0;
    }
    return true;
  };
  auto copy = [&](size_t back, size_t n) {
    if (back == 0 || back > out.size()) return false;
    for (size_t i = 0; i < n; ++i) out.push_back(out[out.size() - back]);
    return true;
  };
  for (;;) {
    int b, v;
    if (!bit(b)) return false;
    if (b == 1) {
      if (!byte(v)) return false;
      out.push_back(static_cast<uint8_t>(v));
      continue;
    }
    if (!bit(b)) return false;
    if (b == 0) {
      int h, l;
      if (!bit(h) || !bit(l) || !byte(v)) return false;
      if (!copy(256 - v, 2 * h + l + 3)) return false;
      continue;
    }
    int b0, b1, e;
    if (!byte(b0) || !byte(b1)) return false;
    const size_t back = 4096 - (b0 + 256 * (b1 >> 4));
    if ((b1 & 15) != 0) {
      if (!copy(back, (b1 & 15) + 3)) return false;
      continue;
    }
    if (!byte(e)) return false;
    if (e == 0) return true;
    if (!copy(back, e + 1)) return false;
  }
}

// Reference encoder: greedy longest match by brute force (the nearest
// position among equals), tokens written as described: flag bits gathered in
// words, each word followed by the data bytes of the tokens whose last bit
// lies in it.
Bytes RefEncode(const Bytes& in, bool useExtraLength = false) {
  Bytes out;
  std::vector<int> bits;
  std::vector<std::vector<uint8_t>> tokenData;  // per token
  std::vector<size_t> tokenLastBit;
  auto token = [&](std::initializer_list<int> b, std::initializer_list<uint8_t> d) {
    bits.insert(bits.end(), b);
    tokenLastBit.push_back(bits.size() - 1);
    tokenData.emplace_back(d);
  };
  size_t i = 0;
  while (i < in.size()) {
    size_t best = 0, bestBack = 0;
    const size_t maxLen = useExtraLength ? 256 : 18;
    for (size_t back = 1; back <= 4095 && back <= i; ++back) {
      size_t n = 0;
      while (n < maxLen && i + n < in.size() && in[i + n] == in[i + n - back]) ++n;
      if (n > best) best = n, bestBack = back;
    }
    if (best < 3) {
      token({1}, {in[i]});
      i += 1;
    } else if (bestBack <= 255 && best <= 6) {
      const int n = static_cast<int>(best) - 3;
      token({0, 0, n >> 1, n & 1}, {static_cast<uint8_t>(256 - bestBack)});
      i += best;
    } else {
      const size_t d = 4096 - bestBack;
      const uint8_t b0 = d & 0xFF;
      const uint8_t b1hi = static_cast<uint8_t>(((d >> 8) & 15) << 4);
      if (best <= 18 && best >= 4) {
        token({0, 1}, {b0, static_cast<uint8_t>(b1hi | (best - 3))});
      } else {
        token({0, 1}, {b0, b1hi, static_cast<uint8_t>(best - 1)});
      }
      i += best;
    }
  }
  token({0, 1}, {0, 0, 0});
  // Lay out: word k, then the data of tokens whose last bit is in word k - 1
  // ... as the decoder reads it: data after the word that holds the token's
  // last bit, except that a token ending on bit 15 puts its data after the
  // next word.
  const size_t words = bits.size() / 16 + 1;
  std::vector<Bytes> after(words);
  for (size_t t = 0; t < tokenData.size(); ++t) {
    const size_t w = (tokenLastBit[t] + 1) / 16;  // word loaded when the data is read
    after[w].insert(after[w].end(), tokenData[t].begin(), tokenData[t].end());
  }
  for (size_t w = 0; w < words; ++w) {
    unsigned word = 0;
    for (size_t k = 0; k < 16 && w * 16 + k < bits.size(); ++k) word |= bits[w * 16 + k] << k;
    out.push_back(word & 0xFF);
    out.push_back(word >> 8);
    out.insert(out.end(), after[w].begin(), after[w].end());
  }
  return out;
}

Bytes Pack(const Bytes& in) {
  Bytes out(in.size());
  const int n = stdCompress_Compress(out.data(), in.data(), static_cast<int>(in.size()));
  out.resize(n < static_cast<int>(in.size()) ? static_cast<size_t>(n) : 0);
  return n < static_cast<int>(in.size()) ? out : Bytes{};
}

int Unpack(const Bytes& packed, Bytes& out, size_t capacity) {
  out.assign(capacity, 0xEE);
  const int n = stdCompress_Decode(out.data(), capacity, packed.data(), packed.size());
  if (n >= 0) out.resize(static_cast<size_t>(n));
  return n;
}

Bytes Random(size_t n, uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng() % static_cast<unsigned>(alphabet));
  return b;
}

// Picture-like data: rows of a gradient with repeats and noise.
Bytes Structured(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    b[i] = static_cast<uint8_t>((i % 640) / 7 + ((rng() % 16) == 0 ? rng() % 4 : 0));
  }
  return b;
}

TEST(Compress, FewDistinctBytesAreLiteralsAndDoNotShrink) {
  Bytes in(18);
  for (int i = 0; i < 18; ++i) in[i] = static_cast<uint8_t>(i * 13);
  Bytes out(in.size());
  EXPECT_GE(stdCompress_Compress(out.data(), in.data(), 18), 18);
  // The reference shows what the stream is: 18 literals and the end token.
  Bytes ref = RefEncode(in), back;
  ASSERT_TRUE(RefDecode(ref, back));
  EXPECT_EQ(back, in);
  EXPECT_GT(ref.size(), in.size());
}

TEST(Compress, LongRunIsOneLiteralThenEighteenByteMatches) {
  const Bytes in(1000, 0x5A);
  const Bytes packed = Pack(in);
  ASSERT_FALSE(packed.empty());
  // First flag word: bit 0 literal (1), then long matches (0, 1) ...
  const unsigned word = packed[0] | packed[1] << 8;
  EXPECT_EQ(word & 1u, 1u);
  EXPECT_EQ((word >> 1) & 3u, 2u);  // bits 0 then 1
  EXPECT_EQ(packed[2], 0x5A);
  // ... at distance 1 (D = 4095: B0 0xFF, B1 high nibble 0xF) and length 18.
  EXPECT_EQ(packed[3], 0xFF);
  EXPECT_EQ(packed[4], 0xF0 | 15);
  Bytes out;
  ASSERT_EQ(Unpack(packed, out, in.size()), 1000);
  EXPECT_EQ(out, in);
  Bytes ref;
  ASSERT_TRUE(RefDecode(packed, ref));
  EXPECT_EQ(ref, in);
}

TEST(Compress, ThreeByteMatchFarBackUsesTheExtraByte) {
  // "xyz" then 300 bytes that share nothing with it, then "xyz" again.
  Bytes in = {'x', 'y', 'z'};
  for (int i = 0; i < 300; ++i) in.push_back(static_cast<uint8_t>(0x80 + (i * 7) % 97));
  // Make the filler incompressible for matches of 3: a de Bruijn-free walk.
  std::mt19937 rng(7);
  for (size_t i = 3; i < in.size(); ++i) in[i] = static_cast<uint8_t>(0x80 + rng() % 120);
  in.insert(in.end(), {'x', 'y', 'z'});
  in.resize(in.size() + 2000, 0);  // a long tail so the whole packs smaller
  const Bytes packed = Pack(in);
  ASSERT_FALSE(packed.empty());
  // Find the long token with the extra byte 2: B1 low nibble 0 and E = 2.
  // Walk the stream with the reference token reader.
  Bytes out;
  ASSERT_EQ(Unpack(packed, out, in.size()), static_cast<int>(in.size()));
  EXPECT_EQ(out, in);
  // The match of "xyz" is 303 bytes back: D = 4096 - 303 = 3793 = 0xED1.
  const uint8_t pattern[] = {0xD1, 0xE0, 0x02};
  EXPECT_NE(std::search(packed.begin(), packed.end(), pattern, pattern + 3), packed.end());
}

TEST(Compress, EndTokenOnTheSixteenthBitIsFollowedByAZeroWord) {
  // Seven literals use bits 0..6; seven more make 14 bits; then the end token
  // takes bits 14 and 15.
  Bytes in(14);
  for (int i = 0; i < 14; ++i) in[i] = static_cast<uint8_t>(i + 1);
  const Bytes ref = RefEncode(in);
  // word, 14 literals, zero word, 0 0 0.
  ASSERT_EQ(ref.size(), 2u + 14 + 2 + 3);
  EXPECT_EQ(ref[0] | ref[1] << 8, 0x3FFF | 0x8000);
  EXPECT_EQ(ref[16], 0);
  EXPECT_EQ(ref[17], 0);
  Bytes out;
  ASSERT_EQ(Unpack(ref, out, 14), 14);
  EXPECT_EQ(out, in);
  // The engine's encoder: one literal 'B', one literal 'A' and six 18-byte
  // matches take bits 0..13; the end token takes 14 and 15.
  Bytes run = {'B'};
  run.insert(run.end(), 109, 'A');
  const Bytes packed = Pack(run);
  ASSERT_EQ(packed.size(), 21u);
  EXPECT_EQ(packed, RefEncode(run));
  EXPECT_EQ(packed[16] | packed[17] << 8, 0);
  EXPECT_EQ(Bytes(packed.end() - 3, packed.end()), Bytes(3, 0));
}

TEST(Compress, RoundTripsAgainstTheReference) {
  const std::vector<Bytes> inputs = {
      Random(5000, 1, 4), Random(20000, 2, 3), Structured(640 * 40, 3), Structured(70000, 4),
      Bytes(4200, 0),     Random(100, 5, 2),   Random(4096 * 3, 6, 3),
  };
  for (size_t k = 0; k < inputs.size(); ++k) {
    const Bytes& in = inputs[k];
    const Bytes packed = Pack(in);
    ASSERT_FALSE(packed.empty()) << k;
    Bytes ours, ref;
    ASSERT_EQ(Unpack(packed, ours, in.size()), static_cast<int>(in.size())) << k;
    EXPECT_EQ(ours, in) << k;
    ASSERT_TRUE(RefDecode(packed, ref)) << k;
    EXPECT_EQ(ref, in) << k;
    // And the other way: the reference encoder's stream through our decoder,
    // with long lengths (the extra-byte form up to 256) too.
    for (bool extra : {false, true}) {
      if (in.size() > 20000) continue;  // brute force is slow
      const Bytes refPacked = RefEncode(in, extra);
      ASSERT_EQ(Unpack(refPacked, ours, in.size()), static_cast<int>(in.size())) << k;
      EXPECT_EQ(ours, in) << k;
    }
  }
}

TEST(Compress, RandomBytesDoNotShrinkAndNeverOverrun) {
  for (size_t n : {0u, 1u, 17u, 300u, 5000u}) {
    const Bytes in = Random(n, 9);
    Bytes out(n + 8, 0xCC);
    const int len = stdCompress_Compress(out.data(), in.data(), static_cast<int>(n));
    EXPECT_GE(len, static_cast<int>(n)) << n;
    for (size_t i = n; i < n + 8; ++i) EXPECT_EQ(out[i], 0xCC) << n;
  }
}

TEST(Decode, RejectsMalformedStreams) {
  const Bytes good = RefEncode(Bytes(50, 7));
  struct Case {
    const char* what;
    Bytes stream;
    size_t capacity;
  } cases[] = {
      {"reference before the start", {0x00, 0x00, 0xFF, 0x01}, 100},  // short match first
      {"long reference before start", {0x03, 0x00, 'a', 0xFE, 0xF1}, 100},
      {"no end token", {0xFF, 0xFF, 'a', 'b'}, 100},
      {"empty", {}, 100},
      {"one byte", {0x01}, 100},
      {"output too small", good, 49},
      {"truncated", Bytes(good.begin(), good.end() - 1), 100},
  };
  for (const auto& c : cases) {
    Bytes out;
    EXPECT_EQ(Unpack(c.stream, out, c.capacity), -1) << c.what;
  }
  Bytes out;
  EXPECT_EQ(Unpack(good, out, 50), 50);
}

TEST(Cache, HitFlushDropAndReplacement) {
  stdCompress_FlushCache();
  const Bytes in = Structured(4000, 11);
  Bytes packed = Pack(in);
  ASSERT_FALSE(packed.empty());
  Bytes out(in.size());
  const int size = static_cast<int>(packed.size());
  ASSERT_EQ(stdCompress_Decompress(out.data(), out.size(), packed.data(), size), 4000);
  EXPECT_EQ(stdCompress_CacheCount(), 1);

  // A hit is served from the cache even when the packed bytes changed.
  const Bytes saved = packed;
  std::fill(packed.begin(), packed.end(), 0);
  std::fill(out.begin(), out.end(), 0);
  ASSERT_EQ(stdCompress_Decompress(out.data(), out.size(), packed.data(), size), 4000);
  EXPECT_EQ(out, in);
  // A hit never copies more than the output holds.
  Bytes small(100, 0xAB);
  EXPECT_EQ(stdCompress_Decompress(small.data(), small.size(), packed.data(), size), -1);
  EXPECT_EQ(small, Bytes(100, 0xAB));
  // Dropped (the block was freed): decoded again, and now it fails.
  stdCompress_DropCached(packed.data());
  EXPECT_EQ(stdCompress_CacheCount(), 0);
  EXPECT_EQ(stdCompress_Decompress(out.data(), out.size(), packed.data(), size), -1);
  packed = saved;
  ASSERT_EQ(stdCompress_Decompress(out.data(), out.size(), packed.data(), size), 4000);
  stdCompress_FlushCache();
  EXPECT_EQ(stdCompress_CacheCount(), 0);

  // 100 distinct blocks fill the cache; touching the first keeps it, so the
  // 101st replaces the second, the least recently used.
  std::vector<Bytes> blocks(101);
  for (size_t i = 0; i < blocks.size(); ++i) {
    blocks[i] = Pack(Bytes(64 + i, static_cast<uint8_t>(i)));
    ASSERT_FALSE(blocks[i].empty());
  }
  auto unpack = [&](size_t i) {
    Bytes o(64 + i);
    return stdCompress_Decompress(o.data(), o.size(), blocks[i].data(),
                                  static_cast<int>(blocks[i].size()));
  };
  for (size_t i = 0; i < 100; ++i) ASSERT_EQ(unpack(i), static_cast<int>(64 + i));
  EXPECT_EQ(stdCompress_CacheCount(), 100);
  ASSERT_EQ(unpack(0), 64);
  ASSERT_EQ(unpack(100), 164);
  EXPECT_EQ(stdCompress_CacheCount(), 100);
  // Block 1 is gone: spoil its bytes and it no longer unpacks.
  std::fill(blocks[1].begin(), blocks[1].end(), 0);
  EXPECT_EQ(unpack(1), -1);
  // Block 0 and block 2 are still cached.
  std::fill(blocks[0].begin(), blocks[0].end(), 0);
  std::fill(blocks[2].begin(), blocks[2].end(), 0);
  EXPECT_EQ(unpack(0), 64);
  EXPECT_EQ(unpack(2), 66);
  stdCompress_FlushCache();
}

}  // namespace
