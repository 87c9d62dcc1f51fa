// The LED board's serial port and its command protocol, for one engine.
//
// Not thread-safe and needs no lock: one thread at a time is the link's user.
// open() runs on the thread that starts the engine, before the worker exists;
// the worker alone uses the link while the engine runs; the closing command
// and close() run after the worker has ended (or during a failed start, when
// there is none). The one call from another thread is cancel_writes, by the
// thread that stops the worker. Every outcome is reported with a fixed
// console line, through the sink its owner gives it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/serial_port.h"

namespace fulgora {

constexpr int reply_buffer_size = 256;
constexpr int level_pass_limit = 10;
constexpr int closing_pass_limit = 100;
// The closing command runs on the player's thread that releases the
// instance: its write and its reply wait are bounded in time as well, so that
// a stuck line or a coarse system timer cannot stall the player.
constexpr unsigned closing_write_timeout_ms = 100;
constexpr unsigned long long closing_reply_limit_ms = 150;

// Where the lines below the component go: its owner hands one down (the
// engine gives the player's console); null drops them.
typedef void (*line_sink)(const char* line);
inline void say_line(line_sink sink, const char* line) {
  if (sink) sink(line);
}

class serial_link {
 public:
  explicit serial_link(serial_port_api& port_api = system_serial_port(), line_sink say = nullptr)
      : api_(&port_api), say_(say) {}
  serial_link(const serial_link&) = delete;
  serial_link& operator=(const serial_link&) = delete;

  // Opens the port exactly as named, 38400 baud 8N1, drops waiting input.
  // On failure the link is closed again.
  bool open(const wchar_t* port_name) { return open_port(port_name, true, true); }
  // The same, for trying a vanished port again: only a success is printed,
  // and not even that when say_success is false.
  bool reopen(const wchar_t* port_name, bool say_success = true) {
    return open_port(port_name, false, say_success);
  }
  void close() { close_port(true); }
  // Without its console lines when report is false.
  void close_port(bool report);
  bool is_open() const { return handle_ != invalid_port; }
  bool drain_input();

  // "SDxx,xx,xx\r\n" with values 0, 1, 2; waits for the reply (11 polls).
  bool send_level_command(const uint8_t values[3]);
  // "LD\r\n"; waits for the reply (101 polls, at most closing_reply_limit_ms).
  // Given up, without a wait, when the line is stuck.
  bool send_closing_command();
  // Collects one reply line into buffer (reply_buffer_size bytes, zeroed by
  // the caller); true when it begins with OK. Polls at most pass_limit + 1
  // times, and not past limit_ms when that is not 0.
  bool read_reply(char* buffer, int pass_limit, unsigned long long limit_ms = 0);

  // The link's user: the last command's write or status query failed (the device went away, most
  // likely); cleared when the next command or open starts.
  bool failed() const { return failed_; }
  // The same: the last write could not finish while the port still answered
  // (the board stopped reading, or flow control holds the line). Said once.
  bool stuck() const { return stuck_; }
  // Where its lines go (null: dropped).
  line_sink sink() const { return say_; }
  // The port layer and the open port, for the link's user to reach the port
  // beside the link (a raw write, a look at what waits).
  serial_port_api& api() const { return *api_; }
  port_handle handle() const { return handle_; }

  // The thread that stops the link's user: on, a write in progress ends
  // within port_write_grace_ms (a reply wait runs its bounded course: the
  // cycle ends with it, or its late reply would answer the closing command);
  // off again once that user has ended.
  void cancel_writes(bool on) { cancel_.store(on, std::memory_order_release); }
  // The link's user, before its commands: the "recv ..." lines (a failing
  // reply together with its text) at most once per gap_ms; 0, the default:
  // every one (the default mode's one command per cycle).
  void set_reply_line_gap(unsigned gap_ms) { recv_line_gap_ms_ = gap_ms; }
  // The link's user, before the closing command: its reply wait ends after
  // limit_ms even before its 101st poll (a system whose 1 ms pause lasts
  // 15.6 ms); 0: polls only. closing_reply_limit_ms by default.
  void set_closing_reply_limit(unsigned long long limit_ms) { closing_reply_time_ms_ = limit_ms; }

 private:
  static constexpr uint32_t scratch_size = 256;
  void print(const char* line) const { say_line(say_, line); }
  // A "recv ..." line and, when given, the reply it is about: both or none.
  void print_recv(const char* line, const char* reply = nullptr);
  serial_port_api* api_;
  line_sink say_;  // null: the lines are dropped
  port_handle handle_ = invalid_port;
  bool failed_ = false;
  bool stuck_ = false;
  bool said_stuck_ = false;
  std::atomic<bool> cancel_{false};  // set and cleared by the stopping thread
  unsigned long long closing_reply_time_ms_ = closing_reply_limit_ms;
  unsigned recv_line_gap_ms_ = 0;
  unsigned long long last_recv_line_ms_ = 0;
  bool said_recv_ = false;
  bool open_port(const wchar_t* port_name, bool report_failure, bool report_success);
  bool send_command(const char* command, uint32_t length, int pass_limit, const write_limit& limit,
                    unsigned long long reply_limit_ms);
  // Reads at most scratch_size of the waiting bytes; counts them off waiting.
  uint32_t read_piece(char* scratch, uint32_t& waiting, bool& ok);
  // Once a wait has ended, the rest of what its poll reported goes the way
  // of the bytes after the LF in the same read: a flood must not spoil the
  // replies that follow it.
  void drop_waiting(char* scratch, uint32_t& waiting);
};

// The 12 bytes of a level command.
void format_level_command(const uint8_t values[3], char out[12]);

}  // namespace fulgora
