// Our FFT beside FFTW and a textbook radix-2 FFT, and one whole measuring
// block (capture + analyze + shape), all in one run; prints the ratios.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/band_analyzer.h"
#include "analysis/fft.h"
#include "analysis/fft_internal.h"
#include "engine/measure.h"
#include "host/audio_chunk.h"

namespace {

std::vector<double> random_data(int n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> v(2 * n);
  for (double& x : v) x = d(rng);
  return v;
}

// Every run starts from the same input (repeated transforms would grow the
// values to infinity and NaN). The copy is timed with it and measured on its
// own by bm_copy, which the ratios subtract.
void fresh_input(benchmark::State&, double* data, const double* input, size_t count) {
  std::memcpy(data, input, count * sizeof(double));
}

void bm_copy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> input = random_data(n);
  std::vector<double> data(input.size());
  for (auto _ : state) {
    fresh_input(state, data.data(), input.data(), data.size());
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
}

// The component's FFT as dispatched, or its portable SSE2 path alone.
template <bool sse2_only>
void bm_ours_path(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> input = random_data(n);
  std::vector<double> data = input;
  std::vector<int> work(2 + static_cast<int>(std::sqrt(2.0 * n)), 0);
  std::vector<double> table(n);
  for (auto _ : state) {
    fresh_input(state, data.data(), input.data(), data.size());
    if (sse2_only)
      fulgora::fft_detail::complex_fft_variant(2 * n, data.data(), work.data(), table.data(),
                                               false);
    else
      fulgora::complex_fft(2 * n, data.data(), work.data(), table.data());
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
}
void bm_ours(benchmark::State& state) { bm_ours_path<false>(state); }
void bm_ours_sse2(benchmark::State& state) { bm_ours_path<true>(state); }

void bm_fftw(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto* buffer = fftw_alloc_complex(n);
  fftw_plan plan = fftw_plan_dft_1d(n, buffer, buffer, FFTW_FORWARD, FFTW_MEASURE);
  const std::vector<double> data = random_data(n);
  for (int i = 0; i < n; ++i) {
    buffer[i][0] = data[2 * i];
    buffer[i][1] = data[2 * i + 1];
  }
  std::vector<double> input(2 * n);
  std::memcpy(input.data(), buffer, sizeof(double) * 2 * n);
  for (auto _ : state) {
    fresh_input(state, reinterpret_cast<double*>(buffer), input.data(), input.size());
    fftw_execute(plan);
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(buffer);
}

// The textbook iterative radix-2 decimation-in-time FFT.
void radix2(std::vector<std::complex<double>>& a, const std::vector<std::complex<double>>& w) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const size_t step = n / len;
    for (size_t i = 0; i < n; i += len)
      for (size_t k = 0; k < len / 2; ++k) {
        // Written out: std::complex's operator* checks for NaN on every call.
        const auto u = a[i + k], b = a[i + k + len / 2], t = w[k * step];
        const std::complex<double> v(b.real() * t.real() - b.imag() * t.imag(),
                                     b.real() * t.imag() + b.imag() * t.real());
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
  }
}

void bm_radix2(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::complex<double>> a(n), w(n / 2);
  const std::vector<double> data = random_data(n);
  for (int i = 0; i < n; ++i) a[i] = {data[2 * i], data[2 * i + 1]};
  for (int k = 0; k < n / 2; ++k) w[k] = std::polar(1.0, -2 * 3.14159265358979323846 * k / n);
  const std::vector<std::complex<double>> input = a;
  for (auto _ : state) {
    fresh_input(state, reinterpret_cast<double*>(a.data()),
                reinterpret_cast<const double*>(input.data()), 2 * a.size());
    radix2(a, w);
    benchmark::DoNotOptimize(a.data());
    benchmark::ClobberMemory();
  }
}

void bm_block(benchmark::State& state) {
  const unsigned n = 4096;
  std::vector<audio_sample> samples(2 * n);
  for (unsigned i = 0; i < n; ++i)
    samples[2 * i] = samples[2 * i + 1] = static_cast<audio_sample>(0.5 * std::sin(0.1 * i));
  const audio_chunk_impl chunk(samples.data(), n, 2, 44100);
  fulgora::band_analyzer analyzer;
  fulgora::led_settings settings;  // in-memory defaults: enhancer on
  fulgora::level_history history;
  uint8_t channels[3] = {};
  for (auto _ : state) {
    capture_chunk(analyzer, chunk);
    benchmark::DoNotOptimize(fulgora::measure_block(analyzer, settings, history, channels));
  }
}

BENCHMARK(bm_copy)->Arg(1024)->Arg(4096)->Arg(16384);
BENCHMARK(bm_ours)->Arg(1024)->Arg(4096)->Arg(16384);
BENCHMARK(bm_ours_sse2)->Arg(1024)->Arg(4096)->Arg(16384);
BENCHMARK(bm_fftw)->Arg(1024)->Arg(4096)->Arg(16384);
BENCHMARK(bm_radix2)->Arg(1024)->Arg(4096)->Arg(16384);
BENCHMARK(bm_block);

// Console output plus the side-by-side ratios at the end.
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
        times_[r.run_name.str()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-8s %14s %14s %14s %14s\n", "n", "ours/fftw", "sse2/fftw", "radix2/fftw",
                "ours/radix2");
    for (const char* n : {"1024", "4096", "16384"}) {
      const std::string at = "/" + std::string(n);
      const double ours = net("bm_ours" + at, n), fftw = net("bm_fftw" + at, n);
      const double r2 = net("bm_radix2" + at, n), sse2 = net("bm_ours_sse2" + at, n);
      std::printf("%-8s %14s %14s %14s %14s\n", n, ratio(ours, fftw).c_str(),
                  ratio(sse2, fftw).c_str(), ratio(r2, fftw).c_str(), ratio(ours, r2).c_str());
    }
    const auto block = times_.find("bm_block");
    std::printf(
        "block (capture+analyze+shape, 4096) / fftw(4096): %s\n",
        ratio(block == times_.end() ? -1 : block->second, net("bm_fftw/4096", "4096")).c_str());
    std::printf(
        "(transform times less the input copy, bm_copy; - where a filter left a run out)\n");
  }

 private:
  // A run's time less the input copy; -1 when either was not run.
  double net(const std::string& name, const char* n) const {
    const auto run = times_.find(name), copy = times_.find("bm_copy/" + std::string(n));
    if (run == times_.end() || copy == times_.end()) return -1;
    return run->second - copy->second;
  }
  static std::string ratio(double a, double b) {
    if (!(a > 0) || !(b > 0)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", a / b);
    return text;
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
