// The FFT's two code paths, for the dispatcher and for tests that check both.
#pragma once

namespace fulgora {
namespace fft_detail {

// True when the processor (and the system) can run the AVX2+FMA path.
bool cpu_has_avx2();

// complex_fft with a chosen path; avx2 only where cpu_has_avx2().
void complex_fft_variant(int data_length, double* data, int* work, double* table, bool avx2);

// The split-radix recursion with AVX2 L-steps, two complex values a register.
void split_radix_avx2(double* x, int len, int s, const double* table, int n);

}  // namespace fft_detail
}  // namespace fulgora
