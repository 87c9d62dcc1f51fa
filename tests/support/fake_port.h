// A scripted serial port: delivers chosen bytes in chosen pieces, fails
// chosen calls, records every write and every read request.
#pragma once

#include <deque>
#include <functional>
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
    opened_names.push_back(name);
    if (fail_create) return fulgora::invalid_port;
    open = true;
    return 42;
  }
  bool get_comm_state(fulgora::port_handle, fulgora::comm_state& s) override {
    if (fail_get) return false;
    s.baud_rate = 9600;
    s.byte_size = 7;
    s.parity = 2;
    s.stop_bits = 2;
    s.native[0] = 0x5a;  // stands for flow control and the other fields
    return true;
  }
  bool set_comm_state(fulgora::port_handle, const fulgora::comm_state& s) override {
    ++set_calls;
    last_set = s;
    return !fail_set;
  }
  bool clear_comm_error(fulgora::port_handle, uint32_t& waiting) override {
    if (clear_calls++ == fail_clear_at) return false;
    if (!arrivals.empty()) {
      input += arrivals.front();
      arrivals.pop_front();
    }
    waiting = static_cast<uint32_t>(input.size());
    return true;
  }
  bool read_file(fulgora::port_handle, void* buffer, uint32_t count, uint32_t& got) override {
    read_requests.push_back(count);
    got = count < input.size() ? count : static_cast<uint32_t>(input.size());
    input.copy(static_cast<char*>(buffer), got);
    input.erase(0, got);
    return true;
  }
  bool write_file(fulgora::port_handle, const void* data, uint32_t count,
                  uint32_t& written) override {
    writes.emplace_back(static_cast<const char*>(data), count);
    written = fail_write ? 0 : count;
    if (on_write) on_write(writes.back());
    return !fail_write;
  }
  bool close_handle(fulgora::port_handle) override {
    ++close_calls;
    open = false;
    return !fail_close;
  }
  // Polls counted by reads (one read request or more per poll).
  int polls() const { return clear_calls; }
};

}  // namespace fulgora_test
