#include "tools/play/second_chain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "tools/play/player_host.h"

namespace fulgora_play {

void second_chain::start(dsp_entry& entry, const dsp_preset& preset, double seconds) {
  join();
  ended_ = cut_ = false;
  thread_ = std::thread([this, &entry, &preset, seconds] { convert(entry, preset, seconds); });
}

bool second_chain::join(bool cut) {
  cut_ = cut_ || cut;
  if (thread_.joinable()) thread_.join();
  return made_;
}

void second_chain::convert(dsp_entry& entry, const dsp_preset& preset, double seconds) {
  constexpr unsigned rate = 44100, frames = 4096;
  std::vector<audio_sample> tone(2 * frames);
  audio_chunk_impl chunk;
  chunk_list list;
  service_ptr_t<dsp> instance;
  made_ = entry.instantiate(instance, preset);
  const auto start = std::chrono::steady_clock::now();
  const auto total = static_cast<size_t>(seconds * rate);
  for (size_t at = 0; made_ && !cut_ && at < total; at += frames) {
    const size_t n = std::min<size_t>(frames, total - at);
    for (size_t i = 0; i < n; ++i) {
      const double phase = 2 * 3.14159265358979324 * second_chain_tone_hz * (at + i) / rate;
      tone[2 * i] = tone[2 * i + 1] = static_cast<audio_sample>(0.5 * std::sin(phase));
    }
    chunk.set_data(tone.data(), n, 2, rate);
    list.set(&chunk);
    const bool last = at + n >= total;
    instance->run(&list, metadb_handle_ptr(), last ? dsp::END_OF_TRACK | dsp::FLUSH : 0);
    const std::chrono::duration<double> due((at + n) / (second_chain_speed * rate));
    std::this_thread::sleep_until(start + due);
  }
  instance.release();
  ended_ = true;
}

}  // namespace fulgora_play
