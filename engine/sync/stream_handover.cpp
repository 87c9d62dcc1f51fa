#include "engine/sync/stream_handover.h"

#include <new>
#include <utility>

#include "platform/threads.h"

namespace fulgora {
namespace {

struct entry {
  std::string port;
  stream_handover h;
};

// Touched only under the lock.
std::vector<entry>& entries() {
  static std::vector<entry> list;
  return list;
}

}  // namespace

void leave_handover(const std::string& port, stream_handover&& h) {
  try {
    entry e{port, std::move(h)};
    shared_records_lock lock;
    for (entry& old : entries())
      if (old.port == port) {
        old.h = std::move(e.h);
        return;
      }
    entries().push_back(std::move(e));
  } catch (const std::bad_alloc&) {
    // Not left: the next instance finds its place on its own.
  }
}

bool take_handover(const std::string& port, uint64_t from, stream_handover& out) {
  shared_records_lock lock;
  std::vector<entry>& list = entries();
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].port != port) continue;
    // Another's: left for whoever got the port after that one.
    const bool ours = from != 0 && list[i].h.from == from;
    if (ours) {
      out = std::move(list[i].h);  // moves a vector: no allocation
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return ours;
  }
  return false;
}

}  // namespace fulgora
