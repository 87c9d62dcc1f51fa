#include "serial/serial_link.h"

#include <cstring>

#include "platform/clock.h"

namespace fulgora {
namespace {

// Closes the port on every way out of open() but success, exceptions included.
struct close_unless_opened {
  serial_link& link;
  bool report;
  bool opened = false;
  ~close_unless_opened() {
    if (!opened) link.close_port(report);
  }
};

}  // namespace

uint32_t serial_link::read_piece(char* scratch, uint32_t& waiting, bool& ok) {
  const uint32_t want = waiting < scratch_size ? waiting : scratch_size;
  uint32_t got = 0;
  ok = api_->read_file(handle_, scratch, want, got);
  if (got > want) got = want;  // never trust a count past the scratch buffer
  waiting -= got < waiting ? got : waiting;
  return got;
}

bool serial_link::open_port(const wchar_t* port_name, bool report_failure, bool report_success) {
  close_unless_opened guard{*this, report_failure};
  failed_ = false;
  handle_ = api_->create_file(port_name);
  const char* outcome = "successful com open.";
  comm_state state;
  if (handle_ == invalid_port) {
    outcome = "failed CreateFile.";
  } else {
    drain_input();
    if (!api_->get_comm_state(handle_, state)) {
      outcome = "failed GetCommState.";
    } else {
      state.baud_rate = 38400;
      state.byte_size = 8;
      state.parity = 0;
      state.stop_bits = 0;
      if (!api_->set_comm_state(handle_, state))
        outcome = "failed SetCommState.";
      else
        guard.opened = true;
    }
  }
  if (guard.opened ? report_success : report_failure) print(outcome);
  return guard.opened;
}

void serial_link::close_port(bool report) {
  if (handle_ == invalid_port) return;
  const bool closed = api_->close_handle(handle_);
  handle_ = invalid_port;
  if (!report) return;
  if (!closed) print("failed CloseHandle.");
  print("successful com close.");
}

bool serial_link::drain_input() {
  uint32_t waiting = 0;
  if (!api_->clear_comm_error(handle_, waiting)) return false;
  // Pieces of at most the scratch size, until all that waited is gone.
  char scratch[scratch_size];
  bool ok = true;
  while (read_piece(scratch, waiting, ok) > 0 && ok && waiting > 0) {
  }
  return ok;
}

void format_level_command(const uint8_t values[3], char out[12]) {
  static const char digits[] = "0123456789abcdef";
  out[0] = 'S';
  out[1] = 'D';
  for (int i = 0; i < 3; ++i) {
    out[2 + 3 * i] = digits[values[i] >> 4];
    out[3 + 3 * i] = digits[values[i] & 0xf];
    if (i < 2) out[4 + 3 * i] = ',';
  }
  out[10] = '\r';
  out[11] = '\n';
}

bool serial_link::send_level_command(const uint8_t values[3]) {
  char command[12];
  format_level_command(values, command);
  write_limit limit;
  limit.cancel = &cancel_;
  return send_command(command, sizeof command, level_pass_limit, limit, 0);
}

bool serial_link::send_closing_command() {
  if (stuck_) {
    // Its write would only run into the same wall.
    if (!said_stuck_) print("failed WriteFile.");
    said_stuck_ = true;
    return false;
  }
  write_limit limit;
  limit.timeout_ms = closing_write_timeout_ms;
  return send_command("LD\r\n", 4, closing_pass_limit, limit, closing_reply_time_ms_);
}

bool serial_link::send_command(const char* command, uint32_t length, int pass_limit,
                               const write_limit& limit, unsigned long long reply_limit_ms) {
  char reply[reply_buffer_size];
  std::memset(reply, 0, sizeof reply);
  if (!is_open()) return false;
  uint32_t written = 0;
  failed_ = false;
  stuck_ = false;
  // A failed write still waits; it is only remembered.
  if (!api_->write_file(handle_, command, length, written, limit)) {
    failed_ = true;
    uint32_t waiting = 0;
    stuck_ = written < length && api_->clear_comm_error(handle_, waiting);
    if (stuck_ && !said_stuck_) print("failed WriteFile.");
    said_stuck_ = said_stuck_ || stuck_;
    // Nothing more can come of a closing command (the one write without a
    // cancel) that did not go out.
    if (stuck_ && limit.cancel == nullptr) return false;
  }
  return read_reply(reply, pass_limit, reply_limit_ms);
}

bool serial_link::read_reply(char* buffer, int pass_limit, unsigned long long limit_ms) {
  const unsigned long long deadline = limit_ms != 0 ? monotonic_ms() + limit_ms : 0;
  int stored = 0;
  bool after_cr = false;
  int passes = 0;
  char scratch[scratch_size];
  for (;;) {
    uint32_t waiting = 0;
    if (!api_->clear_comm_error(handle_, waiting)) {
      failed_ = true;
      print_recv("recv failed ClearCommError!");
      return false;
    }
    // Everything waiting, in pieces that fit the scratch buffer.
    do {
      bool ok;  // a failed read is not examined: it delivered nothing
      const uint32_t got = read_piece(scratch, waiting, ok);
      for (uint32_t i = 0; i < got; ++i) {
        const char byte = scratch[i];
        buffer[stored++] = byte;
        if (stored == reply_buffer_size) {
          drop_waiting(scratch, waiting);
          print_recv("recv buffer over!");
          return false;
        }
        if (!after_cr) {
          after_cr = byte == '\r';
        } else if (byte == '\n') {
          drop_waiting(scratch, waiting);
          if (buffer[0] == 'O' && buffer[1] == 'K') return true;
          print_recv("recv res err!", buffer);
          return false;
        } else {
          after_cr = false;
        }
      }
      if (got == 0) break;
    } while (waiting > 0);
    sleep_ms(1);
    if (++passes > pass_limit) return false;
    if (deadline != 0 && monotonic_ms() >= deadline) return false;
  }
}

void serial_link::print_recv(const char* line, const char* reply) {
  if (recv_line_gap_ms_ != 0) {
    const unsigned long long now = monotonic_ms();
    if (said_recv_ && now - last_recv_line_ms_ < recv_line_gap_ms_) return;
    said_recv_ = true;
    last_recv_line_ms_ = now;
  }
  print(line);
  if (reply) print(reply);
}

void serial_link::drop_waiting(char* scratch, uint32_t& waiting) {
  bool ok = true;
  while (waiting > 0 && read_piece(scratch, waiting, ok) > 0 && ok) {
  }
}

}  // namespace fulgora
