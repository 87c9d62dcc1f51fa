// A scripted serial port: delivers chosen bytes in chosen pieces, fails
// chosen calls, records every write and every read request. Its own lock makes
// it safe to inspect while an engine's worker uses it; on_write runs outside
// the lock, so it may block to hold the worker in a cycle.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace fulgora_test {

class fake_port : public fulgora::serial_port_api {
 public:
  // Pieces that arrive one per status query, in order ("" for a quiet poll).
  std::deque<std::string> arrivals;
  // Called with each write; may push arrivals (a board that answers).
  std::function<void(const std::string&)> on_write;
  std::string input;  // bytes waiting now

  bool fail_create = false, fail_get = false, fail_set = false, fail_close = false,
       fail_write = false;
  int fail_clear_at = -1;  // index of the status query that fails

  std::vector<std::wstring> opened_names;
  std::vector<std::string> writes;
  std::vector<uint32_t> read_requests;
  int clear_calls = 0, close_calls = 0, set_calls = 0;
  fulgora::comm_state last_set;
  bool open = false;

  fulgora::port_handle create_file(const wchar_t* name) override {
    std::lock_guard<std::recursive_mutex> lock(m);
    opened_names.push_back(name);
    if (fail_create) return fulgora::invalid_port;
    open = true;
    return 42;
  }
  bool get_comm_state(fulgora::port_handle, fulgora::comm_state& s) override {
    std::lock_guard<std::recursive_mutex> lock(m);
    if (fail_get) return false;
    s.baud_rate = 9600;
    s.byte_size = 7;
    s.parity = 2;
    s.stop_bits = 2;
    s.native[0] = 0x5a;  // stands for flow control and the other fields
    return true;
  }
  bool set_comm_state(fulgora::port_handle, const fulgora::comm_state& s) override {
    std::lock_guard<std::recursive_mutex> lock(m);
    ++set_calls;
    last_set = s;
    return !fail_set;
  }
  bool clear_comm_error(fulgora::port_handle, uint32_t& waiting) override {
    std::lock_guard<std::recursive_mutex> lock(m);
    if (clear_calls++ == fail_clear_at) return false;
    if (!arrivals.empty()) {
      input += arrivals.front();
      arrivals.pop_front();
    }
    waiting = static_cast<uint32_t>(input.size());
    return true;
  }
  bool read_file(fulgora::port_handle, void* buffer, uint32_t count, uint32_t& got) override {
    std::lock_guard<std::recursive_mutex> lock(m);
    read_requests.push_back(count);
    got = count < input.size() ? count : static_cast<uint32_t>(input.size());
    input.copy(static_cast<char*>(buffer), got);
    input.erase(0, got);
    return true;
  }
  bool write_file(fulgora::port_handle, const void* data, uint32_t count, uint32_t& written,
                  const fulgora::write_limit&) override {
    const std::string bytes(static_cast<const char*>(data), count);
    {
      std::lock_guard<std::recursive_mutex> lock(m);
      writes.push_back(bytes);
      written = fail_write ? 0 : count;
    }
    if (on_write) on_write(bytes);
    return !fail_write;
  }
  bool close_handle(fulgora::port_handle) override {
    std::lock_guard<std::recursive_mutex> lock(m);
    ++close_calls;
    open = false;
    return !fail_close;
  }
  std::vector<std::string> writes_now() {
    std::lock_guard<std::recursive_mutex> lock(m);
    return writes;
  }
  // The level commands among them ('S' and three channels, 12 bytes).
  std::vector<std::string> level_writes() {
    std::vector<std::string> out;
    for (const auto& w : writes_now())
      if (w.size() == 12 && w[0] == 'S') out.push_back(w);
    return out;
  }
  void answer(const std::string& bytes) {
    std::lock_guard<std::recursive_mutex> lock(m);
    arrivals.push_back(bytes);
  }
  // A board that answers every command line with OK.
  void answer_ok() {
    on_write = [this](const std::string&) { answer("OK\r\n"); };
  }

  std::recursive_mutex m;
};

}  // namespace fulgora_test
