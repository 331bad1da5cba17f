// The 4 by 4 product, written out element by element, against the textbook triple loop.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "Engine/FastMath.h"

namespace {

// A ring of varied matrices, so that neither the inputs nor the branch history repeat every
// iteration and the compiler cannot fold the product.
std::vector<Matrix> MakeInputs() {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> value(-3.0f, 3.0f);
  std::vector<Matrix> inputs(64);
  for (Matrix& m : inputs)
    for (float& e : m.m) e = value(rng);
  return inputs;
}

void NaiveMultiply(const Matrix& a, const Matrix& b, Matrix& out) {
  Matrix r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.m[row * 4 + k] * b.m[k * 4 + col];
      r.m[row * 4 + col] = sum;
    }
  out = r;
}

void BM_MatrixMultiply(benchmark::State& state) {
  const std::vector<Matrix> inputs = MakeInputs();
  Matrix out;
  size_t i = 0;
  for (auto _ : state) {
    const Matrix& a = inputs[i & 63];
    const Matrix& b = inputs[(i * 7 + 3) & 63];
    benchmark::DoNotOptimize(&a);
    benchmark::DoNotOptimize(&b);
    Multiply(a, b, out);
    benchmark::DoNotOptimize(out.m);
    benchmark::ClobberMemory();
    ++i;
  }
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixMultiplyNaiveLoop(benchmark::State& state) {
  const std::vector<Matrix> inputs = MakeInputs();
  Matrix out;
  size_t i = 0;
  for (auto _ : state) {
    const Matrix& a = inputs[i & 63];
    const Matrix& b = inputs[(i * 7 + 3) & 63];
    benchmark::DoNotOptimize(&a);
    benchmark::DoNotOptimize(&b);
    NaiveMultiply(a, b, out);
    benchmark::DoNotOptimize(out.m);
    benchmark::ClobberMemory();
    ++i;
  }
}
BENCHMARK(BM_MatrixMultiplyNaiveLoop);

}  // namespace

BENCHMARK_MAIN();
