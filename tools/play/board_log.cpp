#include "tools/play/board_log.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/common/output_file.h"
#include "tools/play/board_csv.h"

namespace fulgora_play {

void board_log::poll(std::vector<board_record>& out) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  in.seekg(offset_);
  std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  offset_ += static_cast<long>(chunk.size());
  partial_ += chunk;
  // Only whole rows: the board may be half-way through writing the last.
  const size_t whole = partial_.rfind('\n');
  if (whole == std::string::npos) return;
  const char* p = partial_.data();
  const char* const end = p + whole + 1;
  for (fulgora_board_csv::row r; p < end; ++p) {
    const char* row_end = fulgora_board_csv::row_end(p, end);
    const bool record = fulgora_board_csv::read_row(p, row_end, r);
    p = row_end;
    if (!record) continue;
    if (r.level) {
      ++levels;
      board_record b;
      const double at = static_cast<double>(r.seconds) + static_cast<double>(r.micros) / 1e6;
      b.track_s = track_of(at);
      b.wall_s = at - start_s;
      for (int c = 0; c < 3; ++c) b.ch[c] = r.ch[c];
      out.push_back(b);
    } else if (r.closing()) {
      ++closings;
    } else {
      ++others;
    }
  }
  partial_.erase(0, whole + 1);
}

bool write_heard_log(const board_log& log, const std::string& path) {
  std::ifstream in(log.path(), std::ios::binary);
  std::ostringstream out;
  out << fulgora_tools::heard_log_header;
  std::string row;
  for (fulgora_board_csv::row r; std::getline(in, row);) {
    const char* const end = row.data() + row.size();
    if (!fulgora_board_csv::read_row(row.data(), end, r)) continue;
    const double at = static_cast<double>(r.seconds) + static_cast<double>(r.micros) / 1e6;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%.6f,%.6f", at - log.start_s, log.track_of(at));
    out << stamp << std::string(r.after_time, end) << "\n";
  }
  return fulgora_tools::write_output(path, out.str());
}

}  // namespace fulgora_play
