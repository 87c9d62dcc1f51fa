// The operating system's serial port, as the serial link uses it: a handle
// based layer with the meaning of CreateFileW (exclusive), GetCommState,
// SetCommState, ClearCommError, ReadFile, WriteFile and CloseHandle.
// Tests put a scripted fake in its place. No OS types appear here.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace fulgora {

typedef intptr_t port_handle;
constexpr port_handle invalid_port = -1;

// The line settings record: four fields the link changes, and the device's
// own record (DCB, termios) kept whole so every other field goes back as read.
struct comm_state {
  uint32_t baud_rate = 0;
  uint8_t byte_size = 0;
  uint8_t parity = 0;     // 0 none, 1 odd, 2 even
  uint8_t stop_bits = 0;  // 0 one, 1 one and a half, 2 two
  alignas(8) unsigned char native[256] = {};
};

// A write that has not finished after this long fails (a board that stops
// reading, or flow control holding the line, must not hang the caller).
constexpr unsigned port_write_timeout_ms = 1000;
// Once `cancel` is set, a write still in progress has this much longer: a
// board that reads finishes a command in a few milliseconds, a stuck line
// does not, and the player's thread that releases an instance must not wait.
constexpr unsigned port_write_grace_ms = 20;

struct write_limit {
  unsigned timeout_ms = port_write_timeout_ms;
  const std::atomic<bool>* cancel = nullptr;  // set by another thread
};

class serial_port_api {
 public:
  virtual ~serial_port_api() = default;
  // Opens an existing port for reading and writing, refusing any other open
  // of it; invalid_port on any failure.
  virtual port_handle create_file(const wchar_t* name) = 0;
  virtual bool get_comm_state(port_handle h, comm_state& state) = 0;
  virtual bool set_comm_state(port_handle h, const comm_state& state) = 0;
  // Clears the error state and reports how many received bytes wait; false
  // when the device cannot be queried (including a device that hung up).
  virtual bool clear_comm_error(port_handle h, uint32_t& waiting) = 0;
  // Reads up to count waiting bytes without waiting for more.
  virtual bool read_file(port_handle h, void* buffer, uint32_t count, uint32_t& got) = 0;
  // Writes all bytes, or fails after limit.timeout_ms, or port_write_grace_ms
  // after limit.cancel is found set.
  virtual bool write_file(port_handle h, const void* data, uint32_t count, uint32_t& written,
                          const write_limit& limit = write_limit()) = 0;
  virtual bool close_handle(port_handle h) = 0;
};

// The operating system's ports.
serial_port_api& system_serial_port();

// The port as the system knows it, so that two spellings of one port compare
// equal: on Windows without a \\.\ prefix and in upper case (COM3 is
// \\.\com3); elsewhere the device's real path (symbolic links resolved),
// or the name as given when it cannot be resolved. UTF-8.
std::string port_identity(const wchar_t* name);

}  // namespace fulgora
