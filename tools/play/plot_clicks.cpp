#include "tools/play/plot_clicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace fulgora_play {

std::vector<click_mark> find_clicks(const plot_data& d) {
  std::vector<click_mark> out;
  double peak = 0;
  for (const band_sample& b : d.bands) peak = std::max(peak, b.level[0] + b.level[1] + b.level[2]);
  if (peak <= 0 || d.bands.size() < 2) return out;
  bool quiet = true;
  for (const band_sample& b : d.bands) {
    const double level = b.level[0] + b.level[1] + b.level[2];
    if (quiet && level > 0.5 * peak) {
      // A level is drawn at the end of the sound it measures: the click is
      // the whole second just before.
      const double second = std::floor(b.track_s + 1e-6);
      if (b.track_s - second > 0.5) return {};  // no calibration track
      // A click heard again after a seek back is marked once.
      if (std::none_of(out.begin(), out.end(),
                       [&](const click_mark& m) { return m.click_s == second; }))
        out.push_back({second, -1});
    }
    quiet = level < 0.1 * peak;
  }
  // The first lit command after the dark before each click: up to half a
  // second early (a negative offset) or late.
  for (click_mark& m : out) {
    bool dark = false;
    for (const board_record& r : d.records) {
      if (r.track_s < m.click_s - 0.5) continue;
      if (r.track_s > m.click_s + 0.5) break;
      const bool lit = r.ch[0] + r.ch[1] + r.ch[2] > 0;
      if (lit && dark) {
        m.lit_s = r.track_s;
        break;
      }
      dark = dark || !lit;
    }
  }
  return out.size() >= 3 ? out : std::vector<click_mark>{};
}

void draw_clicks(std::ostream& svg, const std::vector<click_mark>& marks, double left, double width,
                 double span, double top, double bottom) {
  auto x_of = [&](double t) { return left + width * std::min(t, span) / span; };
  // Two rows of labels, each at least its width from the one before; one
  // that fits in neither is left out, and the count said.
  double row_end[2] = {-1e9, -1e9};
  int left_out = 0;
  for (size_t i = 0; i < marks.size(); ++i) {
    const click_mark& m = marks[i];
    svg << "<line x1=\"" << x_of(m.click_s) << "\" y1=\"" << top << "\" x2=\"" << x_of(m.click_s)
        << "\" y2=\"" << bottom << "\" stroke=\"#000\" stroke-dasharray=\"3,3\"/>\n";
    if (m.lit_s < 0) continue;
    char ms[32];
    std::snprintf(ms, sizeof ms, "%+.0f ms", 1000 * (m.lit_s - m.click_s));
    svg << "<line x1=\"" << x_of(m.lit_s) << "\" y1=\"" << top << "\" x2=\"" << x_of(m.lit_s)
        << "\" y2=\"" << bottom << "\" stroke=\"#ff7f0e\"/>\n";
    const double x = x_of(m.click_s) + 2, label_w = 5.5 * static_cast<double>(std::strlen(ms));
    const int row = x >= row_end[0] + 3 ? 0 : x >= row_end[1] + 3 ? 1 : -1;
    if (row < 0) {
      ++left_out;
      continue;
    }
    row_end[row] = x + label_w;
    char offset[32];
    std::snprintf(offset, sizeof offset, "%.3f", 1000 * (m.lit_s - m.click_s));
    svg << "<text class=\"offset\" data-click-s=\"" << m.click_s << "\" data-offset-ms=\"" << offset
        << "\" x=\"" << x << "\" y=\"" << top - 4 - 11 * row << "\" font-size=\"9\">" << ms
        << "</text>\n";
  }
  if (left_out > 0)
    svg << "<text x=\"" << left + width << "\" y=\"" << top - 26
        << "\" text-anchor=\"end\" font-size=\"10\">" << left_out
        << (left_out == 1 ? " offset" : " offsets")
        << " left out where they would overlap (the --log has every one)</text>\n";
}

}  // namespace fulgora_play
