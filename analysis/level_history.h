// Ring of the last few cycles' band levels, for the enhancer's moving mean.
// Used by the worker only; resize() runs while the engine is built, before
// the worker can be woken.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace fulgora {

struct band_levels {
  double low = 0.0;
  double mid = 0.0;
  double high = 0.0;
};

struct level_history {
  struct free_entries {
    void operator()(band_levels* p) const { std::free(p); }
  };
  std::unique_ptr<band_levels[], free_entries> entries;
  int32_t capacity = 0;
  int32_t write_position = 0;
  bool full = false;

  level_history() { resize(8); }
  level_history(const level_history&) = delete;
  level_history& operator=(const level_history&) = delete;

  // Discards all entries and starts over with count zero entries. A count of
  // 0 gives one entry, so push() always has a place to write. False, with
  // the old entries kept, when count is negative or its entries cannot be
  // had.
  bool resize(int32_t count);

  // Mean of the entries written so far, or of all once the ring has wrapped.
  band_levels mean() const;

  // A value with a level that is not finite is left out.
  void push(const band_levels& value);
};

}  // namespace fulgora
