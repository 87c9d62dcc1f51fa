// In-place complex discrete Fourier transform (split-radix, decimation in
// frequency), used once per worker cycle by the band analyser.
//
//   X[k] = sum over j of x[j] * exp(-2*pi*i*j*k/n), unnormalised, natural order.
//
// data:   2n doubles, n complex values as re, im pairs; overwritten by the result.
// work:   at least 2 + sqrt(n) ints. work[0] is the quarter data length (n/2)
//         the tables were built for; 0 means "not built".
// table:  at least n doubles: cos/sin pairs of 2*pi*m/n for m < n/2.
// The caller owns all three arrays; the transform allocates nothing and
// rebuilds its table only when data_length > 4 * work[0].
#pragma once

namespace fulgora {

// data_length is 2n; n must be a power of two, at least 1.
void complex_fft(int data_length, double* data, int* work, double* table);

}  // namespace fulgora
