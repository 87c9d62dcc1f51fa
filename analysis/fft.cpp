#include "analysis/fft.h"

#include <cmath>

#include "analysis/fft_internal.h"
#include "analysis/fft_kernels.h"

namespace fulgora {
namespace {

constexpr double two_pi = 6.283185307179586476925286766559;

// table[2m], table[2m+1] = cos, sin of 2*pi*m/n for m < n/2.
void build_table(int n, double* table) {
  const double step = two_pi / n;
  for (int m = 0; m < n / 2; ++m) {
    table[2 * m] = std::cos(step * m);
    table[2 * m + 1] = std::sin(step * m);
  }
}

// The L-step loop, one complex value per SSE2 register.
void l_steps_sse2(double* x, int len, int s, const double* table, int n) {
  const int q = len / 4;
  double* x1 = x + 2 * q;
  double* x2 = x + 4 * q;
  double* x3 = x + 6 * q;
  const int k_split = (len + 5) / 6;  // 3k * s < n/2 below this
  const int half = n / 2;
  auto step = [&](int k, v2d w1, v2d w3) {
    const int j = 2 * k;
    v2d a = load(x + j), b = load(x1 + j), c = load(x2 + j), d = load(x3 + j);
    l_step(a, b, c, d);
    store(x + j, a);
    store(x1 + j, b);
    // Multiply by exp(-i*theta), w = (cos, sin): (re*c + im*s, im*c - re*s).
    store(x2 + j, mul(c, w1[0], -w1[1]));
    store(x3 + j, mul(d, w3[0], -w3[1]));
  };
  int k = 0;
  for (; k < k_split && k < q; ++k)
    step(k, load(table + 2 * (k * s)), load(table + 2 * (3 * k * s)));
  for (; k < q; ++k) step(k, load(table + 2 * (k * s)), -load(table + 2 * (3 * k * s - half)));
}

int log2_of(int n) {
  int m = 0;
  while ((1 << m) < n) ++m;
  return m;
}

// work[1] = m, the bit count of the size the tables were built for;
// work[2 ..] = bit reversal of floor(m/2) bits: at most sqrt(n) entries,
// which fits the work area.
void build_bit_reversal(int n, int* work) {
  const int m = log2_of(n);
  const int k = m / 2;
  int* r = work + 2;
  work[1] = m;
  for (int i = 0; i < (1 << k); ++i) {
    int v = 0;
    for (int b = 0; b < k; ++b) v |= ((i >> b) & 1) << (k - 1 - b);
    r[i] = v;
  }
}

void swap_complex(double* x, int i, int j) {
  const v2d a = load(x + 2 * i);
  store(x + 2 * i, load(x + 2 * j));
  store(x + 2 * j, a);
}

// An index of m bits is a (k high bits), mid (m - 2k bits: none or one) and
// b (k low bits); its reversal is rev(b), mid, rev(a). The pairs with
// i < j are exactly those with a < rev(b), so the loops visit only pairs
// that swap, without a test per index.
void bit_reverse(double* x, int n, const int* work) {
  const int m = log2_of(n);
  if (m != work[1]) {  // tables of a larger size: count in reverse instead
    for (int i = 0, j = 0; i < n; ++i) {
      if (i < j) swap_complex(x, i, j);
      int bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j |= bit;
    }
    return;
  }
  const int k = m / 2, shift = m - k;
  const int* r = work + 2;
  for (int mid = 0; mid < (1 << (m - 2 * k)); ++mid) {
    for (int b = 0; b < (1 << k); ++b) {
      const int low = (mid << k) | b;
      const int high = (r[b] << shift) | (mid << k);
      for (int a = 0; a < r[b]; ++a) swap_complex(x, (a << shift) | low, high | r[a]);
    }
  }
}

}  // namespace

namespace fft_detail {

bool cpu_has_avx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return has;
}

void complex_fft_variant(int data_length, double* data, int* work, double* table, bool avx2) {
  const int n = data_length / 2;
  if (n < 1) return;
  if (data_length > 4 * work[0]) {
    build_table(n, table);
    build_bit_reversal(n, work);
    work[0] = data_length / 4;
  }
  // The table may have been built for a larger n: step through it.
  const int table_n = 2 * work[0];
  const int stride = table_n / n;
  switch (n) {
    case 1:
      return;
    case 2: {
      v2d a = load(data), b = load(data + 2);
      dft2(a, b);
      store(data, a);
      store(data + 2, b);
      return;
    }
    case 4:
      leaf4(data);
      break;
    case 8:
      leaf8(data);
      break;
    case 16:
      leaf16(data);
      break;
    default:
      if (avx2)
        split_radix_avx2(data, n, stride, table, table_n);
      else
        split_radix<l_steps_sse2>(data, n, stride, table, table_n);
      break;
  }
  bit_reverse(data, n, work);
}

}  // namespace fft_detail

void complex_fft(int data_length, double* data, int* work, double* table) {
  fft_detail::complex_fft_variant(data_length, data, work, table, fft_detail::cpu_has_avx2());
}

}  // namespace fulgora
