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

// x multiplied by itself n - 1 times (x for n of 1 or less).
float stdMath_PowInt(float x, int n);
// The angle in [0, 360); a non-finite angle gives 0.
float stdMath_NormalizeAngle(float angle);
// The angle in (-180, 180].
float stdMath_NormalizeAngleSigned(float angle);
// b - a, both normalised first, folded into [-180, 180].
float stdMath_AngleDiff(float a, float b);
void stdMath_SinCos(float angle, float* sine, float* cosine);
float stdMath_Tan(float angle);
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
