// The hardware renderer's 4x4 matrices against GLM, in one run: the product
// and the inverse (adjugate over determinant, with its singular check).
// Prints ours / GLM per operation.
#include "render/kv_Math.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <glm/glm.hpp>
#include <map>
#include <string>
#include <vector>

#include "BenchRatio.h"

namespace {

kvMatrix4F Sample(float k) {
  kvMatrix4F m{};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m[i][j] = (i == j ? 2.0f : 0.0f) + 0.1f * k * (i - j) + 0.01f * j;
  }
  return m;
}

glm::mat4 ToGlm(const kvMatrix4F& m) {
  glm::mat4 g;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) g[i][j] = m[i][j];
  }
  return g;
}

void BM_Multiply_kv(benchmark::State& state) {
  kvMatrix4F a = Sample(1), b = Sample(2), out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    kv_Matrix4_Multiply(a, b, &out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void BM_Multiply_glm(benchmark::State& state) {
  glm::mat4 a = ToGlm(Sample(1)), b = ToGlm(Sample(2));
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    glm::mat4 out = a * b;
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void BM_Invert_kv(benchmark::State& state) {
  kvMatrix4F m = Sample(3), out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    kv_Matrix4_Invert(m, &out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void BM_Invert_glm(benchmark::State& state) {
  glm::mat4 m = ToGlm(Sample(3));
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    glm::mat4 out = glm::inverse(m);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_Multiply_kv);
BENCHMARK(BM_Multiply_glm);
BENCHMARK(BM_Invert_kv);
BENCHMARK(BM_Invert_glm);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* op : {"Multiply", "Invert"}) {
    reporter.PrintRatio(std::string("BM_") + op + "_kv", std::string("BM_") + op + "_glm", op,
                        "kvMatrix4F / GLM time ratio");
  }
  benchmark::Shutdown();
  return 0;
}
