#include "tools/play/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "tools/common/output_file.h"
#include "tools/play/plot_clicks.h"

namespace fulgora_play {
namespace {

const char* const colours[3] = {"#d62728", "#2ca02c", "#1f77b4"};
const char* const tints[3] = {"#f2b8b8", "#b8e0b8", "#b8d0ea"};
const char* const band_names[3] = {"low", "mid", "high"};

// The sheet: channel lanes on top, band lanes below, the time axis last.
struct sheet {
  double w = 1000, left = 100, right = 20, top = 65;
  double lane = 110, band_top = 65 + 3 * 110 + 30, band_lane = 90;
  double axis_y = band_top + 3 * band_lane + 5;
  double h = axis_y + 102;  // the axis, then three rows of event labels
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

// Channel c's bytes as step lines, each byte held until the next command,
// between base and base - height. A jump in track time (a seek) starts a
// new line instead of drawing one across; the passes after a seek back are
// dashed, so that both can be read where they overlap.
void byte_steps(std::ostream& svg, const sheet& s, int c, const plot_data& d, double base,
                double height, const std::string& look) {
  const double scale = height / 255.0;
  const std::vector<board_record>& rs = d.records;
  bool again = false;
  for (size_t i = 0; i < rs.size();) {
    size_t j = i + 1;
    while (j < rs.size() && rs[j].track_s >= rs[j - 1].track_s - 0.05 &&
           rs[j].track_s <= rs[j - 1].track_s + 0.5)
      ++j;
    // The last byte holds until the jump, or to the end of the run.
    double until = j < rs.size() ? rs[j - 1].track_s : s.span;
    for (const play_event& e : d.events)
      if (j < rs.size() && e.kind == play_event::seek && e.at_s >= rs[j - 1].track_s &&
          e.at_s < rs[j - 1].track_s + 0.5)
        until = e.at_s;
    svg << "<polyline fill=\"none\" " << look << (again ? " stroke-dasharray=\"5,3\"" : "")
        << " points=\"";
    double y = base;
    double x = i == 0 ? s.left : s.x_of(rs[i].track_s);
    svg << x << ',' << (i == 0 ? base : base - rs[i].ch[c] * scale);
    for (size_t k = i; k < j; ++k) {
      x = s.x_of(rs[k].track_s);
      svg << ' ' << x << ',' << y;
      y = base - rs[k].ch[c] * scale;
      svg << ' ' << x << ',' << y;
    }
    svg << ' ' << s.x_of(std::max(until, rs[j - 1].track_s)) << ',' << y << "\"/>\n";
    if (j < rs.size() && rs[j].track_s < rs[j - 1].track_s) again = true;
    i = j;
  }
}

void channel_lane(std::ostream& svg, const sheet& s, int c, const plot_data& d) {
  const double y0 = s.top + c * s.lane, base = y0 + s.lane - 15;
  lane_frame(svg, s, y0, s.lane, colours[c], "ch" + std::to_string(c), channel_bands(c, d.routing));
  scale_marks(svg, s, base, y0 + 20, "0", "255");
  byte_steps(svg, s, c, d, base, s.lane - 25,
             std::string("stroke=\"") + colours[c] + "\" stroke-width=\"1.5\"");
}

// The band's level as an area, from -60 dB up to the loudest moment of any
// band (one scale in every band lane, so that a quiet band looks quiet),
// tinted as the channel that shows it, with that channel's bytes drawn over
// it.
void band_lane(std::ostream& svg, const sheet& s, int b, const plot_data& d) {
  const double y0 = s.band_top + b * s.band_lane, base = y0 + s.band_lane - 15;
  double peak = 1e-3;
  for (const band_sample& p : d.bands) peak = std::max({peak, p.level[0], p.level[1], p.level[2]});
  peak = std::min(peak, 1.0);
  const double scale = (s.band_lane - 25) / peak;
  char top[24];
  std::snprintf(top, sizeof top, "%.0f dB", 60 * (peak - 1));  // levels: 0 at -60 dB, 1 at 0
  const int channel = d.routing[b];
  const bool shown = channel >= 0 && channel < 3;
  const std::string where = shown ? "on ch" + std::to_string(channel) : "on no channel";
  lane_frame(svg, s, y0, s.band_lane, shown ? colours[channel] : "#666",
             std::string(band_names[b]) + " band", where);
  scale_marks(svg, s, base, y0 + 20, "-60 dB", top);
  // One area per stretch between seeks; a stretch heard again after a seek
  // back is an outline, dashed as the bytes are, so that both can be read.
  double heard_to = -1e300;
  for (size_t i = 0; i < d.bands.size();) {
    size_t j = i + 1;
    while (j < d.bands.size() && !d.bands[j].after_seek) ++j;
    const bool again = d.bands[i].track_s < heard_to - 1e-6;
    svg << "<polygon fill=\""
        << (again   ? "none"
            : shown ? tints[channel]
                    : "#cccccc")
        << "\" stroke=\"" << (shown ? colours[channel] : "#666") << "\" stroke-width=\""
        << (again ? "1\" stroke-dasharray=\"5,3" : "0.5") << "\" points=\""
        << (i == 0 ? s.left : s.x_of(d.bands[i].track_s)) << ',' << base;
    for (size_t k = i; k < j; ++k)
      svg << ' ' << s.x_of(d.bands[k].track_s) << ','
          << base - std::min(std::max(d.bands[k].level[b], 0.0), peak) * scale;
    svg << ' ' << s.x_of(d.bands[j - 1].track_s) << ',' << base << "\"/>\n";
    heard_to = std::max(heard_to, d.bands[j - 1].track_s);
    i = j;
  }
  if (shown)
    byte_steps(
        svg, s, channel, d, base, s.band_lane - 25,
        std::string("stroke=\"") + colours[channel] + "\" stroke-width=\"1\" opacity=\"0.7\"");
}

// Labels in rows: each goes into the first row where it does not run into
// the one before it; one that fits in no row is left out and counted.
struct label_rows {
  std::vector<double> ends;
  int left_out = 0;
  explicit label_rows(int rows) : ends(static_cast<size_t>(rows), -1e9) {}
  // The row for a label from x on of chars characters at font size px; -1: none.
  int place(double x, size_t chars, double px) {
    for (size_t r = 0; r < ends.size(); ++r)
      if (x >= ends[r] + 4) {
        ends[r] = x + 0.6 * px * static_cast<double>(chars);
        return static_cast<int>(r);
      }
    ++left_out;
    return -1;
  }
};

// While paused the heard position stands still, so whatever the board got
// then (a fade) sits on one point of track time: an inset shows those
// bytes over wall time, from a little before the pause to a little after.
void pause_inset(std::ostream& svg, const sheet& s, const plot_data& d, const play_event& e,
                 double x) {
  const double from = e.wall_s - 0.2, to = e.wall_s + e.to_s + 0.3, w = 170, h = 64;
  const double left = std::min(x + 6, s.left + s.plot_w() - w), top = s.top + 2 * s.lane + 14;
  svg << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << w << "\" height=\"" << h
      << "\" fill=\"#ffffff\" stroke=\"#7b3fa0\"/>\n<text x=\"" << left + 4 << "\" y=\"" << top + 11
      << "\" fill=\"#7b3fa0\" font-size=\"9\">the pause over wall time (" << to - from
      << " s)</text>\n";
  const double base = top + h - 4, scale = (h - 18) / 255.0;
  for (int c = 0; c < 3; ++c) {
    svg << "<polyline fill=\"none\" stroke=\"" << colours[c] << "\" points=\"";
    double y = base;
    bool any = false;
    for (const board_record& r : d.records) {
      if (r.wall_s < from) {
        y = base - r.ch[c] * scale;
        continue;
      }
      if (r.wall_s > to) break;
      const double rx = left + w * (r.wall_s - from) / (to - from);
      svg << (any ? " " : "") << rx << ',' << y << ' ' << rx << ',' << base - r.ch[c] * scale;
      y = base - r.ch[c] * scale;
      any = true;
    }
    svg << (any ? " " : "") << left + w << ',' << y << "\"/>\n";
  }
}

// Seeks, pauses, swaps and reloads: a line through every lane and a label
// under the time axis.
void event_marks(std::ostream& svg, const sheet& s, const plot_data& d) {
  label_rows rows(3);
  // Left to right, so that each label takes the first row free at its place.
  std::vector<play_event> events = d.events;
  std::stable_sort(events.begin(), events.end(),
                   [](const play_event& a, const play_event& b) { return a.at_s < b.at_s; });
  for (const play_event& e : events) {
    char label[160];
    const char* colour = e.kind == play_event::seek    ? "#e67e00"
                         : e.kind == play_event::pause ? "#7b3fa0"
                         : e.kind == play_event::swap  ? "#444444"
                                                       : "#008080";
    if (e.kind == play_event::seek)
      std::snprintf(label, sizeof label, "seek %.1f\u2192%.1f s%s", e.at_s, e.to_s,
                    e.to_s < e.at_s ? " (the lines after it dashed)" : "");
    else if (e.kind == play_event::pause)
      std::snprintf(label, sizeof label, "pause %.1f s", e.to_s);
    else if (e.kind == play_event::swap)
      std::snprintf(label, sizeof label, "chain swap");
    else
      std::snprintf(label, sizeof label, "%s", e.note.c_str());
    const double x = s.x_of(e.at_s);
    svg << "<line x1=\"" << x << "\" y1=\"" << s.top + 8 << "\" x2=\"" << x << "\" y2=\""
        << s.axis_y + 5 << "\" stroke=\"" << colour << "\" stroke-dasharray=\"6,3\"/>\n";
    // A label that would run past the right edge ends there instead.
    const double width = 0.6 * 11 * static_cast<double>(std::string(label).size());
    const double from = std::max(s.left, std::min(x + 3, s.left + s.plot_w() - width));
    const int row = rows.place(from, std::string(label).size(), 11);
    if (row >= 0)
      svg << "<text x=\"" << from << "\" y=\"" << s.axis_y + 54 + 14 * row << "\" fill=\"" << colour
          << "\" font-size=\"11\">" << escape_xml(label) << "</text>\n";
    if (e.kind == play_event::seek) {  // where the seek landed
      const double to = s.x_of(e.to_s);
      svg << "<path d=\"M" << to << ',' << s.axis_y << " l-5,-9 h10 z\" fill=\"" << colour
          << "\"/>\n";
    }
    if (e.kind == play_event::pause) pause_inset(svg, s, d, e, x);
  }
  if (rows.left_out > 0)
    svg << "<text x=\"" << s.left + s.plot_w() << "\" y=\"" << s.axis_y + 96
        << "\" text-anchor=\"end\" font-size=\"10\">" << rows.left_out
        << (rows.left_out == 1 ? " mark" : " marks")
        << " left unlabelled: the label would overlap another</text>\n";
}

// A run whose board received nothing says why, over the empty lanes.
void silence_note(std::ostream& svg, const sheet& s, const plot_data& d) {
  if (!d.records.empty()) return;
  double y = s.top + s.lane;
  svg << "<text x=\"" << s.left + 20 << "\" y=\"" << y << "\" font-size=\"16\" fill=\"#b00\">"
      << "The board received no level command.</text>\n";
  std::vector<std::string> lines = {d.console.empty()
                                        ? "The component said nothing: no port in the settings?"
                                        : "The component said:"};
  for (const std::string& l : d.console) lines.push_back("  " + l.substr(0, l.find('\n')));
  for (const std::string& l : lines)
    svg << "<text x=\"" << s.left + 20 << "\" y=\"" << (y += 20) << "\" fill=\"#b00\" "
        << "xml:space=\"preserve\">" << escape_xml(l) << "</text>\n";
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
  std::ostringstream svg;
  sheet s;
  s.span = std::max(d.total_s, 1e-3);
  svg << fulgora_tools::picture_header << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
      << s.w << "\" height=\"" << s.h << "\" viewBox=\"0 0 " << s.w << ' ' << s.h
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << s.left << "\" y=\"24\" font-size=\"16\">" << escape_xml(d.title)
      << "</text>\n<text x=\"" << s.left << "\" y=\"42\">" << escape_xml(d.mode)
      << "</text>\n<text x=\"" << s.left + s.plot_w() << "\" y=\"24\" text-anchor=\"end\">"
      << "the bytes the board received</text>\n";
  for (int c = 0; c < 3; ++c) channel_lane(svg, s, c, d);
  // A calibration track: each click and the first lit command, and the ms between.
  draw_clicks(svg, find_clicks(d), s.left, s.plot_w(), s.span, s.top + 12, s.axis_y);
  svg << "<text x=\"" << s.left + s.plot_w() << "\" y=\"" << s.band_top << "\" text-anchor=\"end\">"
      << escape_xml(d.bands_from) << ", with the bytes of each band's channel over them</text>\n";
  for (int b = 0; b < 3; ++b) band_lane(svg, s, b, d);
  time_axis(svg, s);
  event_marks(svg, s, d);
  silence_note(svg, s, d);
  svg << "</svg>\n";
  return fulgora_tools::write_output(path, svg.str());
}

}  // namespace fulgora_play
