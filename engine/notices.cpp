#include "engine/notices.h"

#include <cstdio>

namespace fulgora {
namespace {

const char* edge_key(int edge) {
  static const char* const keys[3] = {"LOW_FREQ", "MID_FREQ", "HI_FREQ"};
  return keys[edge < 0 || edge > 2 ? 0 : edge];
}

double edge_value(const band_analyzer& a, int edge) {
  return edge == 0 ? a.low_edge : edge == 1 ? a.mid_edge : a.high_edge;
}

constexpr size_t line_size = 200;

}  // namespace

void channels_text(unsigned channels, char* out, size_t size) {
  if (channels == 1)
    std::snprintf(out, size, "mono, only stereo is measured");
  else
    std::snprintf(out, size, "%u channels, only stereo is measured", channels);
}

bool no_levels_text(const band_analyzer& a, char* out, size_t size) {
  const int e = a.fault_edge;
  const double edge = edge_value(a, e);
  switch (a.fault) {
    case analysis_fault::out_of_range:
      if (edge > 0.0 && a.sample_rate > 0.0)
        std::snprintf(out, size, "%s %g Hz above half of %g Hz", edge_key(e), edge, a.sample_rate);
      else
        std::snprintf(out, size, "%s %g Hz is no frequency", edge_key(e), edge);
      return true;
    case analysis_fault::below_one_bin:
      std::snprintf(out, size, "%s %g Hz below one bin at %g Hz", edge_key(e), edge, a.sample_rate);
      return true;
    case analysis_fault::same_bin:
      std::snprintf(out, size, "%s %g Hz in the bin of %s %g Hz", edge_key(e), edge,
                    edge_key(e - 1), edge_value(a, e - 1));
      return true;
    default:
      return false;
  }
}

void key_text(const wchar_t* key, char* out, size_t size) {
  if (size == 0) return;
  size_t i = 0;
  for (; key && key[i] && i + 1 < size; ++i) out[i] = static_cast<char>(key[i]);  // keys are ASCII
  out[i] = 0;
}

void settings_fault_text(const settings_fault& fault, char* out, size_t size) {
  char key[64];
  key_text(fault.key, key, sizeof key);
  std::snprintf(out, size, "%s %s, %s", key,
                fault.empty       ? "empty"
                : fault.too_large ? "too large"
                                  : "malformed",
                fault.ignored ? "ignored" : "built-in defaults used");
}

void engine_notices::tell_channels() {
  if (told_channels_) return;
  const unsigned channels = unmeasured_channels_.load(std::memory_order_relaxed);
  if (channels == no_count) return;
  told_channels_ = true;
  char text[line_size], line[line_size + 16];
  channels_text(channels, text, sizeof text);
  std::snprintf(line, sizeof line, "audio: %s.", text);
  tell(line);
}

void engine_notices::tell_failed_analysis(const band_analyzer& analyzer) {
  char text[line_size], line[line_size + 32];
  // Bins narrow as blocks grow: a fault of the bin width counts only when
  // the longest block seen shows it. Edges beyond half the rate fail at any.
  const bool bin_width =
      analyzer.fault == analysis_fault::below_one_bin || analyzer.fault == analysis_fault::same_bin;
  if (bin_width && analyzer.block_length < analyzer.longest_block) return;
  if (told_edges_ || !no_levels_text(analyzer, text, sizeof text)) return;
  told_edges_ = true;
  std::snprintf(line, sizeof line, "analysis: %s, nothing sent.", text);
  tell(line);
}

void engine_notices::tell_settings_fault(const settings_fault& fault) const {
  char text[line_size], line[line_size + 16];
  settings_fault_text(fault, text, sizeof text);
  std::snprintf(line, sizeof line, "settings: %s.", text);
  tell(line);
}

void engine_notices::tell_other_bad_keys(const settings_record& record) const {
  for (size_t i = 0; i < record.bad_key_count; ++i) {
    settings_fault bad = record.bad_keys[i];
    if (bad.key == record.fault.key) continue;  // said already, with its consequence
    bad.ignored = true;
    tell_settings_fault(bad);
  }
}

void engine_notices::tell_no_settings_file() const {
  tell("settings: no foo_Fulgora.ini found, lights off.");
}

}  // namespace fulgora
