#include "analysis/fft.h"

#include <cmath>
#include <utility>

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

// Size 4: natural in, bit-reversed out (X0, X2, X1, X3).
inline void leaf4(double* x) {
  const double ar = x[0], ai = x[1], br = x[2], bi = x[3];
  const double cr = x[4], ci = x[5], dr = x[6], di = x[7];
  const double s0r = ar + cr, s0i = ai + ci, s1r = br + dr, s1i = bi + di;
  const double t1r = ar - cr, t1i = ai - ci, t2r = br - dr, t2i = bi - di;
  x[0] = s0r + s1r;
  x[1] = s0i + s1i;
  x[2] = s0r - s1r;
  x[3] = s0i - s1i;
  x[4] = t1r + t2i;
  x[5] = t1i - t2r;
  x[6] = t1r - t2i;
  x[7] = t1i + t2r;
}

// Size 8, the same L-shaped step unrolled with its two fixed twiddles.
inline void leaf8(double* x) {
  constexpr double h = 0.70710678118654752440084436210485;
  double u[4], v[4];
  for (int k = 0; k < 2; ++k) {
    double* a = x + 2 * k;
    double* b = a + 4;
    double* c = a + 8;
    double* d = a + 12;
    const double t1r = a[0] - c[0], t1i = a[1] - c[1];
    const double t2r = b[0] - d[0], t2i = b[1] - d[1];
    a[0] += c[0];
    a[1] += c[1];
    b[0] += d[0];
    b[1] += d[1];
    u[2 * k] = t1r + t2i;
    u[2 * k + 1] = t1i - t2r;
    v[2 * k] = t1r - t2i;
    v[2 * k + 1] = t1i + t2r;
  }
  // k = 1: u * w^1 with w = exp(-i*pi/4); v * w^3.
  const double u1r = (u[2] + u[3]) * h, u1i = (u[3] - u[2]) * h;
  const double v1r = (v[3] - v[2]) * h, v1i = -(v[2] + v[3]) * h;
  // Two size-2 transforms for the quarters.
  x[8] = u[0] + u1r;
  x[9] = u[1] + u1i;
  x[10] = u[0] - u1r;
  x[11] = u[1] - u1i;
  x[12] = v[0] + v1r;
  x[13] = v[1] + v1i;
  x[14] = v[0] - v1r;
  x[15] = v[1] - v1i;
  leaf4(x);
}

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

// Split-radix step on size len (>= 32) with table stride s = n / len;
// leaves the output in bit-reversed order.
void split_radix(double* x, int len, int s, const double* table, int n) {
  const int q = len / 4;
  double* x1 = x + 2 * q;
  double* x2 = x + 4 * q;
  double* x3 = x + 6 * q;
  const int k_split = (len + 5) / 6;  // 3k * s < n/2 below this
  const int half = n / 2;
  const v2d flip = {1.0, -1.0};
  auto step = [&](int k, v2d w1, v2d w3) {
    const int j = 2 * k;
    const v2d a = load(x + j), b = load(x1 + j), c = load(x2 + j), d = load(x3 + j);
    const v2d t1 = a - c;
    const v2d t2 = swap_parts(b - d) * flip;  // -i * (b - d)
    store(x + j, a + c);
    store(x1 + j, b + d);
    const v2d u = t1 + t2, v = t1 - t2;
    // Multiply by exp(-i*theta), w = (cos, sin): (re*c + im*s, im*c - re*s).
    const v2d c1 = {w1[0], w1[0]}, s1 = {w1[1], -w1[1]};
    const v2d c3 = {w3[0], w3[0]}, s3 = {w3[1], -w3[1]};
    store(x2 + j, u * c1 + swap_parts(u) * s1);
    store(x3 + j, v * c3 + swap_parts(v) * s3);
  };
  int k = 0;
  for (; k < k_split && k < q; ++k) step(k, load(table + 2 * (k * s)), load(table + 2 * (3 * k * s)));
  for (; k < q; ++k) step(k, load(table + 2 * (k * s)), -load(table + 2 * (3 * k * s - half)));
  if (len == 32) {
    leaf16(x);
    leaf8(x2);
    leaf8(x3);
  } else {
    split_radix(x, len / 2, s * 2, table, n);
    if (q == 16) {
      leaf16(x2);
      leaf16(x3);
    } else {
      split_radix(x2, q, s * 4, table, n);
      split_radix(x3, q, s * 4, table, n);
    }
  }
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
  std::swap(x[2 * i], x[2 * j]);
  std::swap(x[2 * i + 1], x[2 * j + 1]);
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

void complex_fft(int data_length, double* data, int* work, double* table) {
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
      const double r = data[0] - data[2], i = data[1] - data[3];
      data[0] += data[2];
      data[1] += data[3];
      data[2] = r;
      data[3] = i;
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
      split_radix(data, n, stride, table, table_n);
      break;
  }
  bit_reverse(data, n, work);
}

}  // namespace fulgora
