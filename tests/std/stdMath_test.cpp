#include "std/stdMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

TEST(StdMath, NormalizeAngles) {
  const std::pair<float, float> plain[] = {{-90.0f, 270.0f}, {720.0f, 0.0f}, {-720.0f, 0.0f},
                                           {359.5f, 359.5f}, {360.0f, 0.0f}, {0.0f, 0.0f},
                                           {-360.0f, 0.0f},  {725.0f, 5.0f}};
  for (auto [in, out] : plain) EXPECT_FLOAT_EQ(stdMath_NormalizeAngle(in), out) << in;
  const std::pair<float, float> sign[] = {{270.0f, -90.0f}, {180.0f, 180.0f}, {-180.0f, 180.0f}};
  for (auto [in, out] : sign) EXPECT_FLOAT_EQ(stdMath_NormalizeAngleSigned(in), out) << in;
  EXPECT_FLOAT_EQ(stdMath_AngleDiff(350.0f, 10.0f), 20.0f);
  EXPECT_FLOAT_EQ(stdMath_AngleDiff(10.0f, 350.0f), -20.0f);
  // Bad angles stay on the circle instead of indexing outside the tables.
  EXPECT_EQ(stdMath_NormalizeAngle(NAN), 0.0f);
  EXPECT_EQ(stdMath_NormalizeAngle(INFINITY), 0.0f);
  const float big = stdMath_NormalizeAngle(1e30f);
  EXPECT_TRUE(big >= 0.0f && big < 360.0f);
}

TEST(StdMath, SinCosKeepsTheMirroredCosine) {
  struct Case {
    float angle, sine, cosine;
  };
  const Case cases[] = {
      {0, 0, 1},    {90, 1, 0}, {180, 0, -1}, {270, -1, 0}, {45, 0.707107f, 0.706836f},
      {-90, -1, 0}, {360, 0, 1}};
  for (const Case& c : cases) {
    float s, co;
    stdMath_SinCos(c.angle, &s, &co);
    EXPECT_NEAR(s, c.sine, 1e-6) << c.angle;
    EXPECT_NEAR(co, c.cosine, 1e-6) << c.angle;
  }
  float s, co;
  stdMath_SinCos(60.0f, &s, &co);
  EXPECT_NEAR(co, 0.499668f, 2e-6);
  // The worst error of the table against the true function stays within one step.
  for (float a = -400.0f; a < 400.0f; a += 0.37f) {
    stdMath_SinCos(a, &s, &co);
    const double r = a * 3.14159265358979 / 180.0;
    EXPECT_NEAR(s, std::sin(r), 4e-4) << a;
    EXPECT_NEAR(co, std::cos(r), 4e-4) << a;
  }
}

TEST(StdMath, Tangent) {
  EXPECT_FLOAT_EQ(stdMath_Tan(45.0f), 1.0f);
  EXPECT_NEAR(stdMath_Tan(135.0f), -0.999233f, 1e-6);
  EXPECT_NEAR(stdMath_Tan(30.0f), 0.57735f, 1e-4);
  // The mirrored quadrant reads one step early: tan 330 is about -tan 29.99.
  EXPECT_NEAR(stdMath_Tan(-30.0f), -0.576839f, 1e-5);
  EXPECT_NEAR(stdMath_Tan(225.0f), 1.0f, 1e-6);
  // Halfway between steps 4095 and 4096 the interpolation passes through 0.
  EXPECT_NEAR(stdMath_Tan(4095.5f * 90.0f / 4096.0f), 0.0f, 2.0f);
  const float* t = stdMath_GetTanTable();
  EXPECT_EQ(t[0], 0.0f);
  EXPECT_EQ(t[2048], 1.0f);
  EXPECT_NEAR(t[1024], 0.414214f, 1e-6);  // tan 22.5
}

// The sine table against an independent listing: the long-double sine of
// each step printed to six decimals and read back.
TEST(StdMath, SineTableMatchesSixDecimalListing) {
  const float* s = stdMath_GetSinTable();
  int mismatches = 0;
  for (int k = 0; k < STDMATH_TABLE_SIZE; ++k) {
    const long double radians = (static_cast<long double>(k) * 90.0L / 4096.0L) *
                                (3.141592653589793238462643383279L / 180.0L);
    char text[32];
    std::snprintf(text, sizeof text, "%.6Lf", std::sin(radians));
    const float expected = std::strtof(text, nullptr);
    if (s[k] != expected) {
      ++mismatches;
      ADD_FAILURE() << "entry " << k << ": " << s[k] << " != " << text;
      if (mismatches > 5) break;
    }
  }
  EXPECT_EQ(s[0], 0.0f);
  EXPECT_EQ(s[2048], 0.707107f);
  EXPECT_EQ(s[4094], 1.0f);
  EXPECT_EQ(s[4095], 1.0f);
}

TEST(StdMath, ArcFunctions) {
  // The series are short: at t = 1 the four-term one gives 45.094.
  EXPECT_NEAR(stdMath_ArcTan4(1, 1), -45.0f, 0.1f);
  EXPECT_NEAR(stdMath_ArcTan4(1, -1), 45.0f, 0.1f);
  EXPECT_NEAR(stdMath_ArcTan4(-1, 1), -135.0f, 0.1f);
  EXPECT_FLOAT_EQ(stdMath_ArcTan4(-1, 0), -180.0f);
  EXPECT_EQ(stdMath_ArcTan4(0, 0), 0.0f);
  EXPECT_NEAR(stdMath_ArcTan4(0, 1), -90.0f, 0.01f);
  EXPECT_NEAR(stdMath_ArcTan1(1, 1), -45.0f, 1.0f);
  EXPECT_NEAR(stdMath_ArcTan2(1, 1), -45.0f, 1.0f);
  EXPECT_NEAR(stdMath_ArcTan3(1, 1), -45.0f, 1.0f);
  EXPECT_NEAR(stdMath_ArcTan4(2, -1), 26.565f, 0.01f);
  EXPECT_FLOAT_EQ(stdMath_ArcSin3(1.0f), 90.0f);
  EXPECT_NEAR(stdMath_ArcSin3(-0.5f), -30.0f, 0.01f);
  EXPECT_NEAR(stdMath_ArcSin1(0.5f), 30.0f, 0.5f);
  EXPECT_NEAR(stdMath_ArcSin2(0.9f), 64.158f, 0.1f);
  // Slightly outside the domain (rounding of a dot product) stays finite.
  EXPECT_FLOAT_EQ(stdMath_ArcSin3(1.0000001f), 90.0f);
}

TEST(StdMath, FloorDivModAndLengths) {
  struct Case {
    int a, b, q, r;
  };
  const Case cases[] = {{-7, 3, -3, 2}, {7, 3, 2, 1}, {-6, 3, -2, 0}, {0, 5, 0, 0}};
  for (const Case& c : cases) {
    int32_t q, r;
    stdMath_FloorDivMod(c.a, c.b, &q, &r);
    EXPECT_EQ(q, c.q) << c.a;
    EXPECT_EQ(r, c.r) << c.a;
  }
  EXPECT_FLOAT_EQ(stdMath_Dist3D1(0, 1, 5), stdMath_Dist3D1(5, 1, 0));
  EXPECT_FLOAT_EQ(stdMath_Dist3D1(-5, 1, 2), 6.5f);
  EXPECT_FLOAT_EQ(stdMath_Dist3D3(4, 3, 0), 4 + 0.34375f * 3);
  EXPECT_FLOAT_EQ(stdMath_Dist2D1(3, -4), 5.5f);
  EXPECT_FLOAT_EQ(stdMath_Dist2D4(10, 0), 10.0f);
  EXPECT_FLOAT_EQ(stdMath_PowInt(2.0f, 5), 32.0f);
  EXPECT_FLOAT_EQ(stdMath_PowInt(3.0f, 0), 3.0f);
}

}  // namespace
