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

// Split-radix step on size len (>= 16) with table stride s = n / len;
// leaves the output in bit-reversed order.
void split_radix(double* x, int len, int s, const double* table, int n) {
  const int q = len / 4;
  double* x1 = x + 2 * q;
  double* x2 = x + 4 * q;
  double* x3 = x + 6 * q;
  const int k_split = (len + 5) / 6;  // 3k * s < n/2 below this
  const int half = n / 2;
  for (int k = 0; k < q; ++k) {
    const int j = 2 * k;
    const double t1r = x[j] - x2[j], t1i = x[j + 1] - x2[j + 1];
    const double t2r = x1[j] - x3[j], t2i = x1[j + 1] - x3[j + 1];
    x[j] += x2[j];
    x[j + 1] += x2[j + 1];
    x1[j] += x3[j];
    x1[j + 1] += x3[j + 1];
    const double ur = t1r + t2i, ui = t1i - t2r;
    const double vr = t1r - t2i, vi = t1i + t2r;
    const double* w1 = table + 2 * (k * s);
    const double c1 = w1[0], s1 = w1[1];
    int m3 = 3 * k * s;
    double c3, s3;
    if (k < k_split) {
      c3 = table[2 * m3];
      s3 = table[2 * m3 + 1];
    } else {
      m3 -= half;
      c3 = -table[2 * m3];
      s3 = -table[2 * m3 + 1];
    }
    // Multiply by exp(-i*theta) = (c, -s).
    x2[j] = ur * c1 + ui * s1;
    x2[j + 1] = ui * c1 - ur * s1;
    x3[j] = vr * c3 + vi * s3;
    x3[j + 1] = vi * c3 - vr * s3;
  }
  if (len == 16) {
    leaf8(x);
    leaf4(x2);
    leaf4(x3);
  } else {
    split_radix(x, len / 2, s * 2, table, n);
    if (q == 8) {
      leaf8(x2);
      leaf8(x3);
    } else {
      split_radix(x2, q, s * 4, table, n);
      split_radix(x3, q, s * 4, table, n);
    }
  }
}

void bit_reverse(double* x, int n) {
  for (int i = 0, j = 0; i < n; ++i) {
    if (i < j) {
      std::swap(x[2 * i], x[2 * j]);
      std::swap(x[2 * i + 1], x[2 * j + 1]);
    }
    int m = n >> 1;
    while (m > 0 && (j & m)) {
      j ^= m;
      m >>= 1;
    }
    j |= m;
  }
}

}  // namespace

void complex_fft(int data_length, double* data, int* work, double* table) {
  const int n = data_length / 2;
  if (n < 1) return;
  if (data_length > 4 * work[0]) {
    build_table(n, table);
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
    default:
      split_radix(data, n, stride, table, table_n);
      break;
  }
  bit_reverse(data, n);
}

}  // namespace fulgora
