// What a fake board received: each level command with the moment it was
// written and the moment of the last closing command, in seconds since t0.
// It answers every command with OK.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/fake_port.h"

namespace fulgora_test {

const std::string dark = "SD00,00,00\r\n";

inline double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct board_record {
  struct write {
    double at;
    std::string bytes;
  };
  std::mutex m;
  std::vector<write> writes;
  double closed_at = -1;  // the last closing command
  std::chrono::steady_clock::time_point t0 = std::chrono::steady_clock::now();
  void attach(fake_port& port) {
    port.on_write = [this, &port](const std::string& bytes) {
      if (bytes.size() == 12 && bytes[0] == 'S') {
        std::lock_guard<std::mutex> lock(m);
        writes.push_back({since(t0), bytes});
      } else if (bytes == "LD\r\n") {
        std::lock_guard<std::mutex> lock(m);
        closed_at = since(t0);
      }
      port.answer("OK\r\n");
    };
  }
  std::vector<write> now() {
    std::lock_guard<std::mutex> lock(m);
    return writes;
  }
  // The first write at or after `from` that satisfies f; at < 0 when none.
  template <typename F>
  write first(double from, F f) {
    for (const write& w : now())
      if (w.at >= from && f(w.bytes)) return w;
    return {-1.0, ""};
  }
};

}  // namespace fulgora_test
