#include "std/stdMath.h"

#include <algorithm>
#include <cmath>

#include "std/std.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr int kCircleSteps = 4 * STDMATH_TABLE_SIZE;

inline float SineAt(const float* s, int q, int k);
inline float CosineAt(const float* s, int q, int k);

// The quarter-wave tables: entry k holds the function at k x 90 / 4096
// degrees. The sine is rounded to six decimal places, the tangent kept to
// single precision. Sine and cosine are also laid out over the whole circle
// by the mirror rules of the quarter table (the same values, so no result
// changes), each step with the differences to the next step (the circle's
// last step goes on to its first), so that a lookup is one index and one
// 16-byte record.
struct MathTables {
  float sine[STDMATH_TABLE_SIZE];
  float tangent[STDMATH_TABLE_SIZE];
  stdMathSinCos circle[kCircleSteps + 1];
  MathTables() {
    for (int k = 0; k < STDMATH_TABLE_SIZE; ++k) {
      const double radians = (k * 90.0 / STDMATH_TABLE_SIZE) * (kPi / 180.0);
      sine[k] = static_cast<float>(std::round(std::sin(radians) * 1e6) / 1e6);
      tangent[k] = static_cast<float>(std::tan(radians));
    }
    for (int q = 0; q < 4; ++q) {
      for (int k = 0; k < STDMATH_TABLE_SIZE; ++k) {
        circle[q * STDMATH_TABLE_SIZE + k] = {SineAt(sine, q, k), CosineAt(sine, q, k), 0, 0};
      }
    }
    circle[kCircleSteps] = circle[0];  // only for the last step's differences
    for (int i = 0; i < kCircleSteps; ++i) {
      circle[i].sineStep = circle[i + 1].sine - circle[i].sine;
      circle[i].cosineStep = circle[i + 1].cosine - circle[i].cosine;
    }
  }
};

const MathTables& Tables() {
  static const MathTables tables;
  return tables;
}

constexpr float kRadToDeg = 57.295784f;

// Step, quadrant, index within the quadrant and fraction of a normalised angle.
struct CircleIndex {
  int q;
  int k;
  float f;
};

CircleIndex IndexOf(float a, float t) {
  CircleIndex ci;
  const int i = static_cast<int>(t);
  ci.f = t - std::floor(t);
  ci.q = a < 90.0f ? 0 : a < 180.0f ? 1 : a < 270.0f ? 2 : 3;
  ci.k = std::clamp(i - 4096 * ci.q, 0, STDMATH_TABLE_SIZE - 1);
  return ci;
}

// Sine and cosine at step (q, k) by the mirror rules of the table.
inline float SineAt(const float* s, int q, int k) {
  switch (q) {
    case 0:
      return s[k];
    case 1:
      return s[4095 - k];
    case 2:
      return -s[k];
    default:
      return -s[4095 - k];
  }
}

inline float CosineAt(const float* s, int q, int k) {
  switch (q) {
    case 0:
      return s[4095 - k];
    case 1:
      return -s[k];
    case 2:
      return -s[4095 - k];
    default:
      return s[k];
  }
}

inline float TangentAt(const float* t, int q, int k) {
  return (q & 1) ? -t[4095 - k] : t[k];
}

// The step after (q, k): past the end of a quadrant, the next quadrant's step 0.
inline void NextStep(int q, int k, int* nq, int* nk) {
  if (k + 1 < STDMATH_TABLE_SIZE) {
    *nq = q;
    *nk = k + 1;
  } else {
    *nq = (q + 1) & 3;
    *nk = 0;
  }
}

float ArcSinWith(float x, float (*poly)(float)) {
  const bool negative = x < 0.0f;
  x = std::fabs(x);
  if (!(x <= 1.0f)) x = 1.0f;  // out of range (or NaN): the end of the domain
  float r;
  if (x <= 0.70710677f) {
    r = poly(x) * kRadToDeg;
  } else {
    r = 90.0f - poly(std::sqrt(1.0f - x * x)) * kRadToDeg;
  }
  return negative ? -r : r;
}

float ArcTanWith(float x, float y, float (*poly)(float)) {
  if (x == 0.0f && y == 0.0f) return 0.0f;
  const bool xNegative = x < 0.0f;
  const bool yNegative = y < 0.0f;
  x = std::fabs(x);
  y = std::fabs(y);
  const float t = x >= y ? y / x : x / y;
  float r = poly(t) * kRadToDeg;
  if (y > x) r = 90.0f - r;
  if (xNegative) r = 180.0f - r;
  if (!yNegative) r = -r;
  return r;
}

}  // namespace

const float* stdMath_GetSinTable(void) {
  return Tables().sine;
}
const float* stdMath_GetTanTable(void) {
  return Tables().tangent;
}

float stdMath_PowInt(float x, int n) {
  float r = x;
  for (int i = 1; i < n; ++i) r = r * x;
  return r;
}

float stdMath_AngleDiff(float a, float b) {
  float d = stdMath_NormalizeAngle(b) - stdMath_NormalizeAngle(a);
  if (d < -180.0f)
    d += 360.0f;
  else if (d > 180.0f)
    d -= 360.0f;
  return d;
}

const stdMathSinCos* stdMath_GetSinCosCircle(void) {
  return Tables().circle;
}

void stdMath_SinCos(float angle, float* sine, float* cosine) {
  stdMath_SinCosFrom(Tables().circle, angle, sine, cosine);
}

float stdMath_Tan(float angle) {
  const float* tt = Tables().tangent;
  const float a = stdMath_NormalizeAngle(angle);
  const float t = (a / 360.0f) * 16384.0f;
  const CircleIndex ci = IndexOf(a, t);
  int nq, nk;
  NextStep(ci.q, ci.k, &nq, &nk);
  const float v0 = TangentAt(tt, ci.q, ci.k);
  const float v1 = TangentAt(tt, nq, nk);
  return v0 + (v1 - v0) * ci.f;
}

float stdMath_ArcSin1(float x) {
  return ArcSinWith(x, [](float v) { return v + 0.212749f * v * v * v; });
}

float stdMath_ArcSin2(float x) {
  return ArcSinWith(x, [](float v) {
    const float v3 = v * v * v;
    return v + v3 / 6.0f + 0.105502f * v3 * v * v;
  });
}

float stdMath_ArcSin3(float x) {
  return ArcSinWith(x, [](float v) {
    const float v2 = v * v;
    const float v3 = v2 * v;
    const float v5 = v3 * v2;
    return v + v3 / 6.0f + 0.075f * v5 + 0.066797f * v5 * v2;
  });
}

float stdMath_ArcTan1(float x, float y) {
  return ArcTanWith(x, y, [](float t) { return t - 0.22629f * t * t * t; });
}

float stdMath_ArcTan2(float x, float y) {
  return ArcTanWith(x, y, [](float t) {
    const float t3 = t * t * t;
    return t - t3 / 3.0f + 0.12366f * t3 * t * t;
  });
}

float stdMath_ArcTan3(float x, float y) {
  return ArcTanWith(x, y, [](float t) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float t5 = t3 * t2;
    return t - t3 / 3.0f + t5 / 5.0f - 0.08392f * t5 * t2;
  });
}

float stdMath_ArcTan4(float x, float y) {
  return ArcTanWith(x, y, [](float t) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float t5 = t3 * t2;
    const float t7 = t5 * t2;
    return t - t3 / 3.0f + t5 / 5.0f - t7 / 7.0f + 0.063235f * t7 * t2;
  });
}

void stdMath_FloorDivMod(int32_t a, int32_t b, int32_t* quotient, int32_t* remainder) {
  STD_ASSERT(b > 0);
  if (a >= 0) {
    *quotient = a / b;
    *remainder = a % b;
    return;
  }
  // -a in 64 bits so that the most negative value does not overflow.
  const int64_t m = -static_cast<int64_t>(a);
  int64_t q = -(m / b);
  int64_t r = m % b;
  if (r != 0) {
    q -= 1;
    r = b - r;
  }
  *quotient = static_cast<int32_t>(q);
  *remainder = static_cast<int32_t>(r);
}

namespace {

void Sort2(float x, float y, float* big, float* small) {
  x = std::fabs(x);
  y = std::fabs(y);
  *big = std::max(x, y);
  *small = std::min(x, y);
}

void Sort3(float x, float y, float z, float* big, float* mid, float* small) {
  float v[3] = {std::fabs(x), std::fabs(y), std::fabs(z)};
  std::sort(v, v + 3);
  *small = v[0];
  *mid = v[1];
  *big = v[2];
}

}  // namespace

float stdMath_Dist2D1(float x, float y) {
  float M, m;
  Sort2(x, y, &M, &m);
  return M + m / 2.0f;
}

float stdMath_Dist2D2(float x, float y) {
  float M, m;
  Sort2(x, y, &M, &m);
  return M + m / 4.0f;
}

float stdMath_Dist2D3(float x, float y) {
  float M, m;
  Sort2(x, y, &M, &m);
  return M + 0.375f * m;
}

float stdMath_Dist2D4(float x, float y) {
  float M, m;
  Sort2(x, y, &M, &m);
  return std::max(M, 0.875f * M + m / 2.0f);
}

float stdMath_Dist3D1(float x, float y, float z) {
  float M, m2, m;
  Sort3(x, y, z, &M, &m2, &m);
  return M + m2 / 2.0f + m / 2.0f;
}

float stdMath_Dist3D2(float x, float y, float z) {
  float M, m2, m;
  Sort3(x, y, z, &M, &m2, &m);
  return M + 0.3125f * m2 + m / 2.0f;
}

float stdMath_Dist3D3(float x, float y, float z) {
  float M, m2, m;
  Sort3(x, y, z, &M, &m2, &m);
  return M + 0.34375f * m2 + m / 2.0f;
}
