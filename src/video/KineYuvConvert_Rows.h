// The row-pair converter of the four-byte RGB modes without alpha, in 16-bit
// lanes. KineYuvConvert.cpp includes this file once per instruction set, each
// time inside a namespace of its own and with KINE_ROWS_BITS the width of its
// vectors: 128 (SSE2, 16 columns a step), 256 (AVX2, 32 columns) and 512
// (AVX-512BW, 64 columns), the last two inside regions compiled for them and
// called only on processors that have them. No include guard.
//
// Every table entry T is split as 8192 x high + low, so that a channel,
// clamp((L + C) >> 13), is high(L) + high(C) + ((low(L) + low(C)) >> 13) in
// 16-bit lanes, clamped by the unsigned saturation of the byte pack. The
// entries are computed rather than looked up, with results equal to the
// tables': for a sample with offset o and factor k, d = sample - o and
// T = d (K + 1) + p, K the integer part of k and p = floor(d (k - K - 1)) plus
// 1 for a negative d, which is the high half of d times the scaled fraction.
// Then high = floor(d (K + 1) / 8192) and low = (d (K + 1) mod 8192) + p, both
// small enough for 16 bits; the sums of lows stay within -16.5K .. 16.5K.
//
// The even and the odd columns of a row go through separately, each lane
// holding the column of one chroma block. The byte interleaves that make the
// pixels work within each 128-bit lane, so the wider loads spread a step over
// the lanes for the stores to be whole runs of pixels: with n lanes, lane j
// takes the groups of four columns j, j + n, j + 2n and j + 3n.

// What differs between the widths: the vector type, the name prefix of the
// intrinsics, and the loads and stores.
#if KINE_ROWS_BITS == 512
#define KINE_OP(name) _mm512_##name
using V = __m512i;
// The groups of four columns, or the pairs of chroma samples, of each lane.
inline V LanePermutation() {
  return _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
}
inline V And(V a, V b) {
  return _mm512_and_si512(a, b);
}
// The zero-masking forms with every lane kept: the plain ones start from an
// undefined vector that g++ 12 warns about.
constexpr __mmask16 kEveryLane = 0xFFFF;
inline V LoadBytes(const uint8_t* p) {
  return _mm512_maskz_permutexvar_epi32(kEveryLane, LanePermutation(), _mm512_loadu_si512(p));
}
// The chroma samples of a step as 16-bit lanes.
inline V LoadChroma(const uint8_t* p) {
  return _mm512_maskz_permutexvar_epi32(
      kEveryLane, LanePermutation(),
      _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
}
inline V InterleaveLow32(V a, V b) {
  return _mm512_maskz_unpacklo_epi32(kEveryLane, a, b);
}
inline V InterleaveHigh32(V a, V b) {
  return _mm512_maskz_unpackhi_epi32(kEveryLane, a, b);
}
inline void Store(uint8_t* p, V v) {
  _mm512_storeu_si512(p, v);
}
#elif KINE_ROWS_BITS == 256
#define KINE_OP(name) _mm256_##name
using V = __m256i;
inline V LanePermutation() {
  return _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
}
inline V And(V a, V b) {
  return _mm256_and_si256(a, b);
}
inline V LoadBytes(const uint8_t* p) {
  return _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const V*>(p)),
                                     LanePermutation());
}
inline V LoadChroma(const uint8_t* p) {
  return _mm256_permutevar8x32_epi32(
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      LanePermutation());
}
inline V InterleaveLow32(V a, V b) {
  return _mm256_unpacklo_epi32(a, b);
}
inline V InterleaveHigh32(V a, V b) {
  return _mm256_unpackhi_epi32(a, b);
}
inline void Store(uint8_t* p, V v) {
  _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
}
#else
#define KINE_OP(name) _mm_##name
using V = __m128i;
inline V And(V a, V b) {
  return _mm_and_si128(a, b);
}
inline V LoadBytes(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const V*>(p));
}
inline V LoadChroma(const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const V*>(p)), _mm_setzero_si128());
}
inline V InterleaveLow32(V a, V b) {
  return _mm_unpacklo_epi32(a, b);
}
inline V InterleaveHigh32(V a, V b) {
  return _mm_unpackhi_epi32(a, b);
}
inline void Store(uint8_t* p, V v) {
  _mm_storeu_si128(reinterpret_cast<V*>(p), v);
}
#endif

constexpr int kStep = static_cast<int>(sizeof(V));  // columns (and luma bytes) per step
template <int16_t Value>
inline V Set() {
  return KINE_OP(set1_epi16)(Value);
}
inline V AllOnes() {
  return KINE_OP(set1_epi32)(-1);
}
inline V Add(V a, V b) {
  return KINE_OP(add_epi16)(a, b);
}
inline V Sub(V a, V b) {
  return KINE_OP(sub_epi16)(a, b);
}
inline V MulHi(V a, V b) {
  return KINE_OP(mulhi_epi16)(a, b);
}
inline V MulLo(V a, V b) {
  return KINE_OP(mullo_epi16)(a, b);
}
inline V Negative(V a) {
  return KINE_OP(srai_epi16)(a, 15);
}
inline V Times8(V a) {
  return KINE_OP(slli_epi16)(a, 3);
}
inline V Carry(V a) {
  return KINE_OP(srai_epi16)(a, 13);
}
inline V HighBytes(V a) {
  return KINE_OP(srli_epi16)(a, 8);
}
inline V PackBytes(V a, V b) {
  return KINE_OP(packus_epi16)(a, b);
}
inline V InterleaveLow8(V a, V b) {
  return KINE_OP(unpacklo_epi8)(a, b);
}
inline V InterleaveHigh8(V a, V b) {
  return KINE_OP(unpackhi_epi8)(a, b);
}
inline V InterleaveLow16(V a, V b) {
  return KINE_OP(unpacklo_epi16)(a, b);
}
inline V InterleaveHigh16(V a, V b) {
  return KINE_OP(unpackhi_epi16)(a, b);
}
#undef KINE_OP

// A table entry of each lane's sample as its high and low parts. d is the
// sample less the offset; d8 is 8 d and negative its sign mask, shared by
// the two tables of a sample.
struct Split {
  V high, low;
};
template <const TableFormula& F>
inline Split Entry(V d, V d8, V negative) {
  const V p = Sub(MulHi(d, Set<F.fraction>()), negative);
  return {MulHi(d8, Set<F.kPlusOne>()), Add(And(MulLo(d, Set<F.kPlusOne>()), Set<8191>()), p)};
}

// The chroma parts of a step: per block, lane for lane with the luma of its
// even or its odd columns.
struct ChromaParts {
  Split red, green, blue;
};

// The red, green and blue lanes of the luma samples ySamples (16-bit lanes).
struct Channels {
  V red, green, blue;
};
inline Channels Pixels(V ySamples, const ChromaParts& c) {
  const V d = Sub(ySamples, Set<kLumaFormula.offset>());
  const Split luma = Entry<kLumaFormula>(d, Times8(d), Negative(d));
  return {Add(Add(luma.high, c.red.high), Carry(Add(luma.low, c.red.low))),
          Add(Sub(luma.high, c.green.high), Carry(Sub(luma.low, c.green.low))),
          Add(Add(luma.high, c.blue.high), Carry(Add(luma.low, c.blue.low)))};
}

// One row of a step: its even and odd columns, then the bytes in the mode's
// order, the spare byte written as the 255 that the frame buffer holds there.
template <int R, int G, int B>
inline void StoreRow(uint8_t* out, const uint8_t* yRow, const ChromaParts& chroma) {
  const V y = LoadBytes(yRow);
  const Channels even = Pixels(And(y, Set<0xFF>()), chroma);
  const Channels odd = Pixels(HighBytes(y), chroma);
  // Per 128-bit lane: the even columns' bytes, then the odd columns'.
  V bytes[4];
  bytes[R] = PackBytes(even.red, odd.red);
  bytes[G] = PackBytes(even.green, odd.green);
  bytes[B] = PackBytes(even.blue, odd.blue);
  bytes[6 - R - G - B] = AllOnes();
  // Bytes 0-1 and 2-3 of the even and of the odd pixels, then whole pixels.
  const V even01 = InterleaveLow8(bytes[0], bytes[1]), odd01 = InterleaveHigh8(bytes[0], bytes[1]);
  const V even23 = InterleaveLow8(bytes[2], bytes[3]), odd23 = InterleaveHigh8(bytes[2], bytes[3]);
  const V evenFirst = InterleaveLow16(even01, even23), evenLast = InterleaveHigh16(even01, even23);
  const V oddFirst = InterleaveLow16(odd01, odd23), oddLast = InterleaveHigh16(odd01, odd23);
  Store(out, InterleaveLow32(evenFirst, oddFirst));
  Store(out + kStep, InterleaveHigh32(evenFirst, oddFirst));
  Store(out + 2 * kStep, InterleaveLow32(evenLast, oddLast));
  Store(out + 3 * kStep, InterleaveHigh32(evenLast, oddLast));
}

// Converts the columns of a row pair from column x on, a step at a time;
// returns the first column left.
template <int R, int G, int B>
int RgbRowPair(const uint8_t* cbRow, const uint8_t* crRow, const uint8_t* y0, const uint8_t* y1,
               uint8_t* out0, uint8_t* out1, int x, int w) {
  for (; x + kStep <= w; x += kStep) {
    const V u = Sub(LoadChroma(cbRow + x / 2), Set<kBlueFromCbFormula.offset>());
    const V v = Sub(LoadChroma(crRow + x / 2), Set<kRedFromCrFormula.offset>());
    const V u8 = Times8(u), v8 = Times8(v), uNegative = Negative(u), vNegative = Negative(v);
    const Split greenU = Entry<kGreenFromCbFormula>(u, u8, uNegative);
    const Split greenV = Entry<kGreenFromCrFormula>(v, v8, vNegative);
    const ChromaParts chroma = {Entry<kRedFromCrFormula>(v, v8, vNegative),
                                {Add(greenU.high, greenV.high), Add(greenU.low, greenV.low)},
                                Entry<kBlueFromCbFormula>(u, u8, uNegative)};
    StoreRow<R, G, B>(out0 + x * 4, y0 + x, chroma);
    StoreRow<R, G, B>(out1 + x * 4, y1 + x, chroma);
  }
  return x;
}
