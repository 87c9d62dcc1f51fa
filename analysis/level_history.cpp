#include "analysis/level_history.h"

namespace fulgora {

void level_history::resize(int32_t count) {
  if (count < 1) count = 1;
  entries.reset(new band_levels[static_cast<size_t>(count)]());
  capacity = count;
  write_position = 0;
  full = false;
}

band_levels level_history::mean() const {
  const int32_t count = full ? capacity : write_position;
  band_levels m;
  if (count == 0) return m;
  for (int32_t i = 0; i < count; ++i) {
    m.low += entries[i].low;
    m.mid += entries[i].mid;
    m.high += entries[i].high;
  }
  const double d = static_cast<double>(count);
  m.low /= d;
  m.mid /= d;
  m.high /= d;
  return m;
}

void level_history::push(const band_levels& value) {
  entries[write_position] = value;
  if (++write_position == capacity) {
    write_position = 0;
    full = true;
  }
}

}  // namespace fulgora
