#include "tools/play/plot.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "tools/play/plot_clicks.h"

namespace fulgora_play {
namespace {

const char* const colours[3] = {"#d62728", "#2ca02c", "#1f77b4"};
const char* const tints[3] = {"#f2b8b8", "#b8e0b8", "#b8d0ea"};
const char* const band_names[3] = {"low", "mid", "high"};

// The sheet: channel lanes on top, band lanes below, the time axis last.
struct sheet {
  double w = 1000, left = 100, right = 20, top = 50;
  double lane = 110, band_top = 410, band_lane = 90;
  double axis_y = 410 + 3 * 90 + 5;
  double h = axis_y + 50;
  double span = 1;
  double plot_w() const { return w - left - right; }
  double x_of(double t) const { return left + plot_w() * std::min(t, span) / span; }
};

std::string escape_xml(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

void lane_frame(std::ostream& svg, const sheet& s, double y0, double height, const char* colour,
                const std::string& name, const std::string& label) {
  svg << "<rect x=\"" << s.left << "\" y=\"" << y0 + 10 << "\" width=\"" << s.plot_w()
      << "\" height=\"" << height - 25 << "\" fill=\"#f4f4f4\"/>\n"
      << "<text x=\"10\" y=\"" << y0 + height / 2 - 5 << "\" fill=\"" << colour << "\">"
      << escape_xml(name) << "</text>\n"
      << "<text x=\"10\" y=\"" << y0 + height / 2 + 10 << "\" fill=\"" << colour
      << "\" font-size=\"10\">" << escape_xml(label) << "</text>\n";
}

void scale_marks(std::ostream& svg, const sheet& s, double base, double y_top, const char* low,
                 const char* high) {
  svg << "<text x=\"" << s.left - 8 << "\" y=\"" << base << "\" text-anchor=\"end\">" << low
      << "</text>\n<text x=\"" << s.left - 8 << "\" y=\"" << y_top << "\" text-anchor=\"end\">"
      << high << "</text>\n";
}

// A step line: each byte holds until the next command.
void channel_lane(std::ostream& svg, const sheet& s, int c, const plot_data& d) {
  const double y0 = s.top + c * s.lane, base = y0 + s.lane - 15;
  const double scale = (s.lane - 25) / 255.0;
  lane_frame(svg, s, y0, s.lane, colours[c], "ch" + std::to_string(c), channel_bands(c, d.routing));
  scale_marks(svg, s, base, y0 + 20, "0", "255");
  svg << "<polyline fill=\"none\" stroke=\"" << colours[c] << "\" stroke-width=\"1.5\" points=\"";
  double last_y = base;
  svg << s.left << ',' << base;
  for (const board_record& r : d.records) {
    const double x = s.x_of(r.track_s), y = base - r.ch[c] * scale;
    svg << ' ' << x << ',' << last_y << ' ' << x << ',' << y;
    last_y = y;
  }
  svg << ' ' << s.x_of(s.span) << ',' << last_y << "\"/>\n";
}

// The band's level as an area, tinted as the channel that shows it, scaled
// to the band's loudest moment: the quieter bands' shapes stay visible.
void band_lane(std::ostream& svg, const sheet& s, int b, const plot_data& d) {
  const double y0 = s.band_top + b * s.band_lane, base = y0 + s.band_lane - 15;
  double peak = 1e-9;
  for (const band_sample& p : d.bands) peak = std::max(peak, p.level[b]);
  const double scale = (s.band_lane - 25) / peak;
  const int channel = d.routing[b];
  const bool shown = channel >= 0 && channel < 3;
  const std::string where = shown ? "on ch" + std::to_string(channel) : "on no channel";
  lane_frame(svg, s, y0, s.band_lane, shown ? colours[channel] : "#666",
             std::string(band_names[b]) + " band", where);
  scale_marks(svg, s, base, y0 + 20, "0", "loudest");
  svg << "<polygon fill=\"" << (shown ? tints[channel] : "#cccccc") << "\" stroke=\""
      << (shown ? colours[channel] : "#666") << "\" stroke-width=\"0.5\" points=\"" << s.left << ','
      << base;
  for (const band_sample& p : d.bands)
    svg << ' ' << s.x_of(p.track_s) << ',' << base - std::max(p.level[b], 0.0) * scale;
  const double end_x = d.bands.empty() ? s.left : s.x_of(d.bands.back().track_s);
  svg << ' ' << end_x << ',' << base << "\"/>\n";
}

// A tick every 1, 2, 5, 10... seconds.
void time_axis(std::ostream& svg, const sheet& s) {
  const double step = tick_step(s.span);
  svg << "<line x1=\"" << s.left << "\" y1=\"" << s.axis_y << "\" x2=\"" << s.left + s.plot_w()
      << "\" y2=\"" << s.axis_y << "\" stroke=\"#000\"/>\n";
  for (int k = 0; k * step <= s.span + 1e-9; ++k) {
    const double t = std::round(k * step * 10) / 10;  // no 0.30000000000000004
    const double x = s.x_of(t);
    svg << "<line x1=\"" << x << "\" y1=\"" << s.axis_y << "\" x2=\"" << x << "\" y2=\""
        << s.axis_y + 5 << "\" stroke=\"#000\"/>\n<text x=\"" << x << "\" y=\"" << s.axis_y + 18
        << "\" text-anchor=\"middle\">" << t << "</text>\n";
  }
  svg << "<text x=\"" << s.left + s.plot_w() / 2 << "\" y=\"" << s.axis_y + 36
      << "\" text-anchor=\"middle\">track time (s)</text>\n";
}

}  // namespace

double tick_step(double span) {
  double step = 0.1;
  for (int i = 0; span / step > 12; ++i) step *= i % 3 == 1 ? 2.5 : 2;  // 0.1 0.2 0.5 1 2 5...
  return step;
}

bool write_plot(const std::string& path, const plot_data& d) {
  std::ofstream svg(path);
  if (!svg) return false;
  sheet s;
  s.span = std::max(d.total_s, 1e-3);
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << s.w << "\" height=\"" << s.h
      << "\" viewBox=\"0 0 " << s.w << ' ' << s.h
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << s.left << "\" y=\"28\" font-size=\"16\">" << escape_xml(d.title)
      << "</text>\n<text x=\"" << s.left + s.plot_w() << "\" y=\"28\" text-anchor=\"end\">"
      << "the bytes the board received</text>\n";
  for (int c = 0; c < 3; ++c) channel_lane(svg, s, c, d);
  // A calibration track: each click and the first lit command, and the ms between.
  draw_clicks(svg, find_clicks(d), s.left, s.plot_w(), s.span, s.top + 12, s.axis_y);
  svg << "<text x=\"" << s.left + s.plot_w() << "\" y=\"" << s.band_top
      << "\" text-anchor=\"end\">the track's band levels, as the component measures them "
         "(each to its loudest)</text>\n";
  for (int b = 0; b < 3; ++b) band_lane(svg, s, b, d);
  time_axis(svg, s);
  svg << "</svg>\n";
  return static_cast<bool>(svg);
}

}  // namespace fulgora_play
