// What tells that a file was saved again: its change time, size and identity,
// read without opening it. The live settings look at this a few times a
// second on the worker, so it costs one metadata call and no handle.
//
// Threads: any; holds no state.
#pragma once

#include <cstdint>
#include <string>

namespace fulgora {

struct file_stamp {
  uint64_t changed = 0;  // change time, in the system's own ticks
  uint64_t size = 0;
  uint64_t identity = 0;  // a file put in its place by a rename differs here
  bool operator==(const file_stamp& o) const {
    return changed == o.changed && size == o.size && identity == o.identity;
  }
  bool operator!=(const file_stamp& o) const { return !(*this == o); }
};

// The stamp of the regular file at path (UTF-8); false when there is none
// (an editor that saves by rename may leave a moment without one).
bool stamp_of(const std::string& path, file_stamp& out);

}  // namespace fulgora
