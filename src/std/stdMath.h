// The general library's angle arithmetic.
//
// Angles are single-precision degrees. Sine and cosine come from a
// quarter-wave sine table, tangent from a quarter-wave tangent table (4096
// entries each), read with linear interpolation over a circle of 16384 steps;
// arcsine and arctangent are short polynomial series. The 3D library's
// matrices and cameras and the engine's actor and walking code take their
// trigonometry from here, so the table rules below decide their numbers:
//  - the mirrored quadrants read entry 4095 - K (not 4096 - K): the falling
//    half of each curve runs one step early, so cos 45 = 0.706836 while
//    sin 45 = 0.707107, and cos 60 = 0.499668;
//  - the tangent interpolates from T[4095] to -T[4095] just below 90 (and
//    270) degrees, passing through 0 halfway.
// Both are kept on purpose: recorded numbers of other modules depend on them.
#pragma once

#include <cstdint>

constexpr int STDMATH_TABLE_SIZE = 4096;

// The two quarter-wave tables (4096 entries each), built once on first use.
const float* stdMath_GetSinTable(void);
const float* stdMath_GetTanTable(void);

// Sine and cosine at one step of the circle, with the differences to the
// next step (computed once in single precision, as the interpolation would).
struct stdMathSinCos {
  float sine;
  float cosine;
  float sineStep;    // the next step's sine minus this one's
  float cosineStep;  // the same for the cosine
};
// Sine and cosine at every step of the circle (16384, then the first step
// again), laid out from the quarter-wave sine table by its mirror rules (the
// very same values), built once on first use.
const stdMathSinCos* stdMath_GetSinCosCircle(void);

// x multiplied by itself n - 1 times (x for n of 1 or less).
float stdMath_PowInt(float x, int n);
// The floor of a value that is not negative (nor NaN), as std::floor gives
// it: from 2^23 on every float is whole already.
inline float stdMath_FloorPositive(float v) {
  return v < 8388608.0f ? static_cast<float>(static_cast<int32_t>(v)) : v;
}

// The angle in [0, 360); a non-finite angle gives 0. Inline: the placements
// of the 3D library normalise three angles at a time.
inline float stdMath_NormalizeAngle(float x) {
  if (x >= 0.0f && x < 360.0f) return x;
  float r;
  if (x >= 0.0f) {
    r = x - 360.0f * stdMath_FloorPositive(x / 360.0f);
  } else {
    const float m = -x;
    if (m < 360.0f) {
      r = 360.0f - m;
    } else {
      r = 360.0f - (m - 360.0f * stdMath_FloorPositive(m / 360.0f));
    }
  }
  if (r == 360.0f) r = 0.0f;
  // Non-finite angles and the rounding of very large ones must not leave the
  // circle: the table index is taken from the result.
  if (!(r >= 0.0f && r < 360.0f)) r = 0.0f;
  return r;
}

// The angle in (-180, 180]. Inline too: a puppet wraps nine angles per node.
inline float stdMath_NormalizeAngleSigned(float angle) {
  const float a = stdMath_NormalizeAngle(angle);
  return a > 180.0f ? a - 360.0f : a;
}
// b - a, both normalised first, folded into [-180, 180].
float stdMath_AngleDiff(float a, float b);
void stdMath_SinCos(float angle, float* sine, float* cosine);
float stdMath_Tan(float angle);

// stdMath_SinCos over a circle table fetched once, for callers that take
// several at a time (a placement from three angles): the same arithmetic,
// inline, so independent angles overlap.
inline void stdMath_SinCosFrom(const stdMathSinCos* circle, float angle, float* sine,
                               float* cosine) {
  constexpr float kStepScale = 45.511112f;  // 16384 / 360 in single precision
  const float a = stdMath_NormalizeAngle(angle);
  const float t = a * kStepScale;
  const int i = static_cast<int>(t);  // t is in [0, 16384]: its floor
  const float f = t - static_cast<float>(i);
  // The quadrant comes from the angle, not from the step number, and the step
  // within it is clamped: where a * 16384 / 360 rounds up onto the next
  // quadrant's first step, the quadrant's last step is used.
  const int q = (a >= 90.0f) + (a >= 180.0f) + (a >= 270.0f);
  int k = i - STDMATH_TABLE_SIZE * q;
  k = k < 0 ? 0 : k > STDMATH_TABLE_SIZE - 1 ? STDMATH_TABLE_SIZE - 1 : k;
  const stdMathSinCos* p = circle + STDMATH_TABLE_SIZE * q + k;
  *sine = p->sine + p->sineStep * f;
  *cosine = p->cosine + p->cosineStep * f;
}

// Arcsine in degrees, three precisions; x is clamped to [-1, 1].
float stdMath_ArcSin1(float x);
float stdMath_ArcSin2(float x);
float stdMath_ArcSin3(float x);
// Minus the counter-clockwise angle of the vector (x, y) from the +x axis, in
// degrees, four precisions; (0, 0) gives 0.
float stdMath_ArcTan1(float x, float y);
float stdMath_ArcTan2(float x, float y);
float stdMath_ArcTan3(float x, float y);
float stdMath_ArcTan4(float x, float y);
// Quotient rounded down and a remainder that is never negative; b must be above 0.
void stdMath_FloorDivMod(int32_t a, int32_t b, int32_t* quotient, int32_t* remainder);
// Approximate lengths.
float stdMath_Dist2D1(float x, float y);
float stdMath_Dist2D2(float x, float y);
float stdMath_Dist2D3(float x, float y);
float stdMath_Dist2D4(float x, float y);
float stdMath_Dist3D1(float x, float y, float z);
float stdMath_Dist3D2(float x, float y, float z);
float stdMath_Dist3D3(float x, float y, float z);
