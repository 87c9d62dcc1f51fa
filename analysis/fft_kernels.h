// The FFT's small kernels, shared by its SSE2 and AVX2 translation units.
// Everything here has internal linkage, so each unit keeps its own copy
// compiled for its own instruction set.
#pragma once

namespace fulgora {
namespace {

// One complex value in an SSE2 register (GCC vector extension); unaligned,
// since the caller's buffers need only be aligned for double.
typedef double v2d __attribute__((vector_size(16), aligned(8)));

inline v2d load(const double* p) { return *reinterpret_cast<const v2d*>(p); }
inline void store(double* p, v2d v) { *reinterpret_cast<v2d*>(p) = v; }
typedef long long v2i __attribute__((vector_size(16)));
inline v2d swap_parts(v2d v) { return __builtin_shuffle(v, v2i{1, 0}); }

// z * w for a constant w = (wr, wi).
inline v2d mul(v2d z, double wr, double wi) {
  return z * v2d{wr, wr} + swap_parts(z) * v2d{-wi, wi};
}
// -i * z.
inline v2d mul_minus_i(v2d z) { return swap_parts(z) * v2d{1.0, -1.0}; }

// The L-shaped step on four values: sums stay, differences turn into the
// two quarter sequences (before their twiddles).
inline void l_step(v2d& a, v2d& b, v2d& c, v2d& d) {
  const v2d t1 = a - c, t2 = mul_minus_i(b - d);
  a = a + c;
  b = b + d;
  c = t1 + t2;
  d = t1 - t2;
}

inline void dft2(v2d& a, v2d& b) {
  const v2d t = a - b;
  a = a + b;
  b = t;
}

inline void dft4(v2d& a, v2d& b, v2d& c, v2d& d) {
  l_step(a, b, c, d);
  dft2(a, b);
}

// Sizes 4 and 8: natural in, bit-reversed out.
inline void leaf4(double* x) {
  v2d a = load(x), b = load(x + 2), c = load(x + 4), d = load(x + 6);
  dft4(a, b, c, d);
  store(x, a);
  store(x + 2, b);
  store(x + 4, c);
  store(x + 6, d);
}

inline void leaf8(double* x) {
  constexpr double h = 0.70710678118654752440084436210485;
  v2d z[8];
  for (int i = 0; i < 8; ++i) z[i] = load(x + 2 * i);
  l_step(z[0], z[2], z[4], z[6]);
  l_step(z[1], z[3], z[5], z[7]);
  z[5] = mul(z[5], h, -h);
  z[7] = mul(z[7], -h, -h);
  dft4(z[0], z[1], z[2], z[3]);
  dft2(z[4], z[5]);
  dft2(z[6], z[7]);
  for (int i = 0; i < 8; ++i) store(x + 2 * i, z[i]);
}

// Size 16 in registers: natural in, bit-reversed out.
inline void leaf16(double* x) {
  constexpr double h = 0.70710678118654752440084436210485;
  constexpr double c1 = 0.92387953251128675612818318939679;  // cos(pi/8)
  constexpr double s1 = 0.38268343236508977172845998403040;  // sin(pi/8)
  v2d z[16];
  for (int i = 0; i < 16; ++i) z[i] = load(x + 2 * i);
  for (int k = 0; k < 4; ++k) l_step(z[k], z[k + 4], z[k + 8], z[k + 12]);
  z[9] = mul(z[9], c1, -s1);
  z[10] = mul(z[10], h, -h);
  z[11] = mul(z[11], s1, -c1);
  z[13] = mul(z[13], s1, -c1);
  z[14] = mul(z[14], -h, -h);
  z[15] = mul(z[15], -c1, s1);
  // Size 8 on z[0..7].
  l_step(z[0], z[2], z[4], z[6]);
  l_step(z[1], z[3], z[5], z[7]);
  z[5] = mul(z[5], h, -h);
  z[7] = mul(z[7], -h, -h);
  dft4(z[0], z[1], z[2], z[3]);
  dft2(z[4], z[5]);
  dft2(z[6], z[7]);
  // Size 4 on each quarter.
  dft4(z[8], z[9], z[10], z[11]);
  dft4(z[12], z[13], z[14], z[15]);
  for (int i = 0; i < 16; ++i) store(x + 2 * i, z[i]);
}

// The split-radix recursion (decimation in frequency, output in bit-reversed
// order) around an L-step loop: step(x, len, s, table, n) applies the
// L-shaped butterflies of size len with table stride s = n / len.
template <void (*step)(double*, int, int, const double*, int)>
void split_radix(double* x, int len, int s, const double* table, int n) {
  step(x, len, s, table, n);
  const int q = len / 4;
  if (len == 32) {
    leaf16(x);
    leaf8(x + 4 * q);
    leaf8(x + 6 * q);
  } else {
    split_radix<step>(x, len / 2, s * 2, table, n);
    if (q == 16) {
      leaf16(x + 4 * q);
      leaf16(x + 6 * q);
    } else {
      split_radix<step>(x + 4 * q, q, s * 4, table, n);
      split_radix<step>(x + 6 * q, q, s * 4, table, n);
    }
  }
}

}  // namespace
}  // namespace fulgora
