#include "analysis/level_history.h"

#include <cmath>

namespace fulgora {

bool level_history::resize(int32_t count) {
  if (count < 0) return false;
  if (count == 0) count = 1;
  // calloc: all-zero bits are zero levels, and a large ring costs nothing
  // until its entries are written.
  auto* fresh =
      static_cast<band_levels*>(std::calloc(static_cast<size_t>(count), sizeof(band_levels)));
  if (fresh == nullptr) return false;
  entries.reset(fresh);
  capacity = count;
  write_position = 0;
  full = false;
  return true;
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
  // One NaN would keep the mean, and so the lights, dark for a whole ring.
  if (!std::isfinite(value.low) || !std::isfinite(value.mid) || !std::isfinite(value.high)) return;
  entries[write_position] = value;
  if (++write_position == capacity) {
    write_position = 0;
    full = true;
  }
}

}  // namespace fulgora
