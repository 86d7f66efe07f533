// qxMatrix34 against the same operations written with GLM, in one run:
// building a placement from angles and a position, multiplying two
// placements, and transforming a list of points. Prints ours / GLM per pair.
#include <benchmark/benchmark.h>

#include "BenchRatio.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <cstdio>
#include <glm/glm.hpp>
#include <glm/gtx/euler_angles.hpp>
#include <map>
#include <string>
#include <vector>

#include "quadrix/qxMatrix.h"

namespace {

constexpr int kPoints = 1024;

std::vector<qxVector3> MakePoints() {
  std::vector<qxVector3> p(kPoints);
  for (int i = 0; i < kPoints; ++i) p[i] = {i * 0.5f, i * -0.25f, i * 0.125f};
  return p;
}

// Both sides take all three angles from memory every time: with constant
// pitch and roll the compiler would fold GLM's sines and cosines of them at
// compile time and leave it one sincosf call, while ours computes three.
void BM_Build_qx(benchmark::State& state) {
  qxVector3 a = {10, 20, 30};
  const qxVector3 p = {1, 2, 3};
  qxMatrix34 m;
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    qxMatrix34_Build(&m, &a, &p);
    benchmark::DoNotOptimize(m);
    a.y += 0.5f;
  }
}

void BM_Build_glm(benchmark::State& state) {
  glm::vec3 a = {10, 20, 30};
  const glm::vec3 p = {1, 2, 3};
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    // R = Rz(yaw) Rx(pitch) Ry(roll), the library's convention.
    glm::mat4 m = glm::eulerAngleZXY(glm::radians(a.y), glm::radians(a.x), glm::radians(a.z));
    m[3] = glm::vec4(p, 1.0f);
    benchmark::DoNotOptimize(m);
    a.y += 0.5f;
  }
}

void BM_Multiply_qx(benchmark::State& state) {
  const qxVector3 a = {10, 20, 30}, b = {-5, 40, 3}, p = {1, 2, 3};
  qxMatrix34 ma, mb, out;
  qxMatrix34_Build(&ma, &a, &p);
  qxMatrix34_Build(&mb, &b, &p);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ma);  // the inputs are not loop constants
    benchmark::DoNotOptimize(mb);
    qxMatrix34_Multiply(&out, &ma, &mb);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void BM_Multiply_glm(benchmark::State& state) {
  glm::mat4 ma = glm::eulerAngleZXY(0.3f, 0.2f, 0.5f);
  glm::mat4 mb = glm::eulerAngleZXY(0.7f, -0.1f, 0.05f);
  ma[3] = mb[3] = glm::vec4(1, 2, 3, 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ma);
    benchmark::DoNotOptimize(mb);
    glm::mat4 out = ma * mb;
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void BM_TransformPoints_qx(benchmark::State& state) {
  const std::vector<qxVector3> in = MakePoints();
  std::vector<qxVector3> out(kPoints);
  const qxVector3 a = {10, 20, 30}, p = {1, 2, 3};
  qxMatrix34 m;
  qxMatrix34_Build(&m, &a, &p);
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    qxMatrix34_TransformPointList(&m, in.data(), out.data(), kPoints);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_TransformPoints_glm(benchmark::State& state) {
  std::vector<glm::vec3> in(kPoints), out(kPoints);
  for (int i = 0; i < kPoints; ++i) in[i] = {i * 0.5f, i * -0.25f, i * 0.125f};
  glm::mat4 m = glm::eulerAngleZXY(0.3f, 0.2f, 0.5f);
  m[3] = glm::vec4(1, 2, 3, 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    for (int i = 0; i < kPoints; ++i) out[i] = glm::vec3(m * glm::vec4(in[i], 1.0f));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

// Each pair runs five times; the ratio takes the fastest run of each side.
BENCHMARK(BM_Build_qx)->Repetitions(5);
BENCHMARK(BM_Build_glm)->Repetitions(5);
BENCHMARK(BM_Multiply_qx)->Repetitions(5);
BENCHMARK(BM_Multiply_glm)->Repetitions(5);
BENCHMARK(BM_TransformPoints_qx)->Repetitions(5);
BENCHMARK(BM_TransformPoints_glm)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* op : {"Build", "Multiply", "TransformPoints"}) {
    reporter.PrintRatio(std::string("BM_") + op + "_qx", std::string("BM_") + op + "_glm", op,
                        "qxMatrix34 / GLM time ratio");
  }
  benchmark::Shutdown();
  return 0;
}
