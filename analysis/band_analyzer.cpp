#include "analysis/band_analyzer.h"

#include <cmath>
#include <limits>
#include <new>

#include "analysis/fft.h"

namespace fulgora {
namespace {

// Band index for an edge: truncated toward zero, valid only within 0..n/2.
bool band_index(double edge, double bins_per_hz, uint32_t n, uint32_t& index) {
  const double product = std::trunc(edge * bins_per_hz);
  if (std::isnan(product) || product < 0.0 || product > n / 2) return false;
  index = static_cast<uint32_t>(product);
  return true;
}

// Null when the storage cannot be had. GCC throws bad_array_new_length even
// from a nothrow new whose size overflows, so the size is checked first.
template <typename T>
std::unique_ptr<T[]> try_allocate(size_t count) {
  if (count > std::numeric_limits<size_t>::max() / sizeof(T)) return nullptr;
  return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// Buffers for a block of n at the stored rate; reallocated when n or the rate
// changed. All four first, then swap: a failed allocation leaves the old
// block whole.
bool make_room(band_analyzer& a, uint32_t n, bool rate_changed) {
  if (n == a.block_length && !rate_changed) return true;
  const size_t work_size = 2 + static_cast<size_t>(std::sqrt(static_cast<double>(2 * n)));
  std::unique_ptr<double[]> new_samples = try_allocate<double>(2 * size_t{n});
  std::unique_ptr<int32_t[]> new_work = try_allocate<int32_t>(work_size);
  std::unique_ptr<double[]> new_table = try_allocate<double>(n);
  std::unique_ptr<double[]> new_bins = try_allocate<double>(n / 2);
  if (!new_samples || !new_work || !new_table || !new_bins) return false;
  new_work[0] = 0;
  a.block_length = n;
  a.data_length = static_cast<int32_t>(2 * n);
  a.samples = std::move(new_samples);
  a.work = std::move(new_work);
  a.table = std::move(new_table);
  a.bin_levels = std::move(new_bins);
  return true;
}

double mean_of(const double* bins, uint32_t from, uint32_t to) {
  double sum = 0.0;
  for (uint32_t i = from; i < to; ++i) sum += bins[i];
  return sum / static_cast<double>(to - from);
}

}  // namespace

band_analyzer::~band_analyzer() {
  bin_levels.reset();
  table.reset();
  work.reset();
  samples.reset();
}

uint32_t block_length_for(uint32_t frames) {
  uint32_t n = 1;
  while (n <= frames / 2) n <<= 1;
  return n;
}

template <typename sample>
capture_result band_analyzer::capture_samples(unsigned srate, size_t frames, const sample* data) {
  bool rate_changed = false;
  const double rate = static_cast<double>(srate);
  if (rate != sample_rate) {
    sample_rate = rate;
    rate_changed = true;
  }
  if (frames < 2) {
    fresh = false;
    return capture_result::too_short;
  }
  // 2n must fit the transform's signed 32-bit length.
  constexpr uint32_t largest_block = uint32_t{1} << 30;
  const uint32_t n = frames >= 2 * size_t{largest_block}
                         ? 2 * largest_block
                         : block_length_for(static_cast<uint32_t>(frames));
  if (n > largest_block) {
    fresh = false;
    return capture_result::no_room;
  }
  if (!make_room(*this, n, rate_changed)) {
    fresh = false;
    return capture_result::no_room;
  }
  double* out = samples.get();
  for (uint32_t i = 0; i < n; ++i) {
    out[2 * i] = static_cast<double>(mono_of(data + 2 * i));
    out[2 * i + 1] = 0.0;
  }
  fresh = true;
  return capture_result::stored;
}

template capture_result band_analyzer::capture_samples(unsigned, size_t, const float*);
template capture_result band_analyzer::capture_samples(unsigned, size_t, const double*);

capture_result band_analyzer::load_mono(unsigned srate, uint32_t n, size_t before,
                                        const float* first, size_t first_count,
                                        const float* second) {
  const double rate = static_cast<double>(srate);
  const bool rate_changed = rate != sample_rate;
  sample_rate = rate;
  if (!make_room(*this, n, rate_changed)) {
    fresh = false;
    return capture_result::no_room;
  }
  double* out = samples.get();
  for (uint32_t i = 0; i < n; ++i) {
    const float mono = i < before                 ? 0.0f
                       : i - before < first_count ? first[i - before]
                                                  : second[i - before - first_count];
    out[2 * i] = static_cast<double>(mono);
    out[2 * i + 1] = 0.0;
  }
  fresh = true;
  return capture_result::stored;
}

bool band_analyzer::analyze() {
  if (block_length == 0 || !fresh) return failed(analysis_fault::no_block, 0);
  fresh = false;
  fault = analysis_fault::none;
  const uint32_t n = block_length;
  if (n > longest_block) longest_block = n;
  complex_fft(data_length, samples.get(), work.get(), table.get());

  // Magnitudes first, in a loop the compiler can vectorise, then the levels.
  const double scale = 2.0 / n;
  const double* x = samples.get();
  double* bins = bin_levels.get();
  for (uint32_t i = 0; i < n / 2; ++i)
    bins[i] = std::sqrt(x[2 * i] * x[2 * i] + x[2 * i + 1] * x[2 * i + 1]);
  for (uint32_t i = 0; i < n / 2; ++i) {
    const double level = (std::log10(bins[i] * scale) + 3.0) / 3.0;
    bins[i] = level < 0.0 ? 0.0 : level;
  }

  low_level = mid_level = high_level = 0.0;
  const double r = n / sample_rate;
  uint32_t low = 0, mid = 0, high = 0;
  // The edges against the rate first: that fault holds at every block
  // length, the bin width's below do not (a short block has wide bins).
  if (!band_index(low_edge, r, n, low)) return failed(analysis_fault::out_of_range, 0);
  if (!band_index(mid_edge, r, n, mid)) return failed(analysis_fault::out_of_range, 1);
  if (!band_index(high_edge, r, n, high)) return failed(analysis_fault::out_of_range, 2);
  if (low == 0) return failed(analysis_fault::below_one_bin, 0);
  low_level = mean_of(bins, 0, low);
  if (mid == low) return failed(analysis_fault::same_bin, 1);
  if (low < mid) mid_level = mean_of(bins, low, mid);
  if (high == mid) return failed(analysis_fault::same_bin, 2);
  if (mid < high) high_level = mean_of(bins, mid, high);
  return true;
}

bool band_analyzer::failed(analysis_fault why, int edge) {
  fault = why;
  fault_edge = edge;
  return false;
}

}  // namespace fulgora
