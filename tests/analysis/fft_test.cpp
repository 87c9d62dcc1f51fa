#include "analysis/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "analysis/fft_internal.h"

namespace fulgora {
namespace {

using cplx = std::complex<double>;

struct fft_arrays {
  explicit fft_arrays(int n)
      : data(2 * n), work(2 + static_cast<int>(std::sqrt(2.0 * n)), 0), table(n) {}
  std::vector<double> data;
  std::vector<int> work;
  std::vector<double> table;
  void run() { complex_fft(static_cast<int>(data.size()), data.data(), work.data(), table.data()); }
  cplx at(int k) const { return {data[2 * k], data[2 * k + 1]}; }
};

std::vector<cplx> direct_dft(const std::vector<cplx>& x) {
  const size_t n = x.size();
  std::vector<long double> c(n), s(n);
  for (size_t m = 0; m < n; ++m) {
    const long double angle = -2.0L * 3.141592653589793238462643383279502884L * m / n;
    c[m] = cosl(angle);
    s[m] = sinl(angle);
  }
  std::vector<cplx> out(n);
  for (size_t k = 0; k < n; ++k) {
    long double re = 0, im = 0;
    for (size_t j = 0; j < n; ++j) {
      const size_t m = (j * k) % n;  // keeps the angle exact
      re += x[j].real() * c[m] - x[j].imag() * s[m];
      im += x[j].real() * s[m] + x[j].imag() * c[m];
    }
    out[k] = {static_cast<double>(re), static_cast<double>(im)};
  }
  return out;
}

TEST(complex_fft, matches_direct_dft_for_every_power_of_two_on_both_paths) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<bool> paths = {false};
  if (fft_detail::cpu_has_avx2()) paths.push_back(true);
  for (const bool avx2 : paths)
    for (int n = 2; n <= 4096; n *= 2) {
      fft_arrays a(n);
      std::vector<cplx> x(n);
      double largest = 0;
      for (int j = 0; j < n; ++j) {
        x[j] = {dist(rng), dist(rng)};
        a.data[2 * j] = x[j].real();
        a.data[2 * j + 1] = x[j].imag();
        largest = std::max({largest, std::abs(x[j].real()), std::abs(x[j].imag())});
      }
      fft_detail::complex_fft_variant(2 * n, a.data.data(), a.work.data(), a.table.data(), avx2);
      const std::vector<cplx> expected = direct_dft(x);
      double worst = 0;
      for (int k = 0; k < n; ++k) worst = std::max(worst, std::abs(a.at(k) - expected[k]));
      EXPECT_LT(worst / (n * largest), 1e-12) << "n = " << n << (avx2 ? " (AVX2)" : " (SSE2)");
    }
}

// A table built on every call would cost the worker a rebuild per block; one
// never built is caught by every other test (their work starts at 0).
TEST(complex_fft, builds_its_table_once_per_size_and_reuses_it) {
  fft_arrays a(64);
  a.run();
  a.table[2] = 12345.0;  // a rebuild would overwrite this
  a.run();
  EXPECT_EQ(a.table[2], 12345.0);
}

TEST(complex_fft, tables_of_a_larger_size_serve_a_smaller_one) {
  // The analyser may hand a smaller n with tables built for a larger one.
  fft_arrays big(256);
  big.run();
  const int n = 64;
  std::vector<cplx> x(n);
  std::vector<double> data(2 * n);
  for (int j = 0; j < n; ++j) {
    x[j] = {std::cos(j * 0.7), std::sin(j * 1.3)};
    data[2 * j] = x[j].real();
    data[2 * j + 1] = x[j].imag();
  }
  std::vector<double> other = data;
  complex_fft(2 * n, data.data(), big.work.data(), big.table.data());
  EXPECT_EQ(big.work[0], 128) << "no rebuild for a smaller size";
  fft_detail::complex_fft_variant(2 * n, other.data(), big.work.data(), big.table.data(), false);
  for (int k = 0; k < 2 * n; ++k) EXPECT_NEAR(other[k], data[k], 1e-12) << "SSE2 path, " << k;
  const std::vector<cplx> expected = direct_dft(x);
  for (int k = 0; k < n; ++k) {
    EXPECT_NEAR(data[2 * k], expected[k].real(), 1e-12) << k;
    EXPECT_NEAR(data[2 * k + 1], expected[k].imag(), 1e-12) << k;
  }
}

}  // namespace
}  // namespace fulgora
