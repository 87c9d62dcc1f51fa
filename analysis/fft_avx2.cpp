// The AVX2+FMA path of the FFT: the same split-radix recursion, with the
// L-step loop on two complex values per register. Only called where the
// processor has AVX2 and FMA (fft_detail::cpu_has_avx2). Keep these
// functions small enough to stay in registers: GCC for Windows does not align
// the stack for 32-byte spills (the library test checks the DLL for them).
#pragma GCC target("avx2,fma")

#include <immintrin.h>

#include "analysis/fft_internal.h"
#include "analysis/fft_kernels.h"

namespace fulgora {
namespace {

// Twiddle (cos, sin) at table index m of 3k*s, folded back below n/2.
inline __m128d twiddle3(const double* table, int m, int half) {
  return m < half ? _mm_loadu_pd(table + 2 * m)
                  : _mm_sub_pd(_mm_setzero_pd(), _mm_loadu_pd(table + 2 * (m - half)));
}

// z * exp(-i*theta) for w = (cos, sin) pairs: (re*c + im*s, im*c - re*s).
inline __m256d rotate(__m256d z, __m256d w) {
  const __m256d c = _mm256_movedup_pd(w);
  const __m256d s = _mm256_permute_pd(w, 0xf);
  return _mm256_fmsubadd_pd(z, c, _mm256_mul_pd(_mm256_permute_pd(z, 0x5), s));
}

void l_steps_avx2(double* x, int len, int s, const double* table, int n) {
  const int q = len / 4;  // at least 8, so k runs in pairs
  double* x1 = x + 2 * q;
  double* x2 = x + 4 * q;
  double* x3 = x + 6 * q;
  const int half = n / 2;
  const __m256d flip = _mm256_setr_pd(1.0, -1.0, 1.0, -1.0);
  for (int k = 0; k < q; k += 2) {
    const int j = 2 * k;
    const __m256d a = _mm256_loadu_pd(x + j), b = _mm256_loadu_pd(x1 + j);
    const __m256d c = _mm256_loadu_pd(x2 + j), d = _mm256_loadu_pd(x3 + j);
    const __m256d t1 = _mm256_sub_pd(a, c);
    const __m256d t2 = _mm256_mul_pd(_mm256_permute_pd(_mm256_sub_pd(b, d), 0x5), flip);
    _mm256_storeu_pd(x + j, _mm256_add_pd(a, c));
    _mm256_storeu_pd(x1 + j, _mm256_add_pd(b, d));
    const __m256d w1 = _mm256_set_m128d(_mm_loadu_pd(table + 2 * ((k + 1) * s)),
                                        _mm_loadu_pd(table + 2 * (k * s)));
    const __m256d w3 =
        _mm256_set_m128d(twiddle3(table, 3 * (k + 1) * s, half), twiddle3(table, 3 * k * s, half));
    _mm256_storeu_pd(x2 + j, rotate(_mm256_add_pd(t1, t2), w1));
    _mm256_storeu_pd(x3 + j, rotate(_mm256_sub_pd(t1, t2), w3));
  }
}

}  // namespace

namespace fft_detail {

void split_radix_avx2(double* x, int len, int s, const double* table, int n) {
  split_radix<l_steps_avx2>(x, len, s, table, n);
}

}  // namespace fft_detail
}  // namespace fulgora
