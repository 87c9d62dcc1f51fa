// fulgora-board: an LED driver board simulator on a pseudo-terminal.
// Prints the device to put into PORTNAME, answers each command line, shows the
// three channels live on a terminal and can log every line as CSV.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "platform/clock.h"
#include "tools/board/board.h"
#include "tools/common/outputs.h"

namespace {

volatile sig_atomic_t stop_requested = 0;
void on_signal(int) { stop_requested = 1; }

void usage(FILE* to) {
  std::fputs(
      "usage: fulgora-board [options]\n"
      "Simulates an LED driver board on a pseudo-terminal and prints its device\n"
      "path as PORTNAME=... on the first line.\n"
      "  --reply ok|error|silent  how to answer each command line (default ok)\n"
      "  --late MS                answer MS milliseconds late\n"
      "  --split                  send each answer in two pieces (OK CR, then LF)\n"
      "  --flood                  answer with 300 bytes of garbage instead\n"
      "  --line-speed             behave like a real 38400-baud line (a 12-byte\n"
      "                           command takes 3.1 ms, a 4-byte reply 1.0 ms)\n"
      "  --no-read                never read the line (a board that hangs)\n"
      "  --csv FILE               log every received line: time_s,line,ch0,ch1,ch2\n"
      "  --monotonic              time_s on the system's monotonic clock, not since\n"
      "                           the start (to join the log with another program's)\n"
      "  --link PATH              also make PATH a symbolic link to the device\n"
      "                           (for Wine: $WINEPREFIX/dosdevices/com5); PATH must\n"
      "                           be free or the link of a board that is gone\n"
      "  --count N                end after N command lines\n"
      "  --seconds S              end after S seconds\n"
      "  --quiet                  no live view\n",
      to);
}

struct pending_write {
  double due;
  std::string bytes;
};

// What the board holds while it runs: the line and its log.
struct line_end {
  int master = -1;
  int keeper = -1;
  std::string device;
  FILE* csv = nullptr;
};

bool fail(const std::string& error) {
  std::fprintf(stderr, "fulgora-board: %s\n", error.c_str());
  return false;
}

// A pseudo-terminal whose far end the board holds open itself, so the line
// stays up between programs that open and close it; raw, so nothing is
// echoed or translated.
bool open_line(line_end& line) {
  line.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (line.master < 0 || grantpt(line.master) != 0 || unlockpt(line.master) != 0)
    return fail(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
  line.device = ptsname(line.master);
  line.keeper = open(line.device.c_str(), O_RDWR | O_NOCTTY);
  termios t;
  if (line.keeper >= 0 && tcgetattr(line.keeper, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    tcsetattr(line.keeper, TCSANOW, &t);
  }
  fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
  return true;
}

// The link and the log the options ask for, each through the tools' gate.
bool open_outputs(const fulgora_board::options& o, line_end& line) {
  std::string error;
  if (!o.link.empty() && !fulgora_tools::place_link(o.link, line.device, error)) return fail(error);
  if (o.csv.empty()) return true;
  line.csv = fulgora_tools::open_output(o.csv, error);
  if (!line.csv) {
    fail(error);
    if (!o.link.empty()) fulgora_tools::remove_own_link(o.link, line.device);
    return false;
  }
  std::fputs(fulgora_tools::board_log_header, line.csv);
  std::fflush(line.csv);
  return true;
}

void catch_signals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void log_line(FILE* csv, double t_rx, const fulgora_board::received& r) {
  const std::string quoted = fulgora_board::csv_quote(r.text);
  if (r.is_level)
    std::fprintf(csv, "%.6f,%s,%u,%u,%u\n", t_rx, quoted.c_str(), r.ch[0], r.ch[1], r.ch[2]);
  else
    std::fprintf(csv, "%.6f,%s,,,\n", t_rx, quoted.c_str());
  std::fflush(csv);
}

// The answers whose moment has come, as far as the line takes them.
void write_due(int master, std::deque<pending_write>& out, double now) {
  while (!out.empty() && out.front().due <= now) {
    const std::string& b = out.front().bytes;
    if (write(master, b.data(), b.size()) < 0 && errno == EAGAIN) break;
    out.pop_front();
  }
}

// Reads what came, logs each line and queues its answer.
void read_lines(const fulgora_board::options& o, const line_end& line, double start,
                fulgora_board::board& board, std::deque<pending_write>& out) {
  char buffer[512];
  const ssize_t n = read(line.master, buffer, sizeof buffer);
  if (n <= 0) return;
  for (const fulgora_board::received& r : board.feed(buffer, static_cast<size_t>(n))) {
    if (line.csv) log_line(line.csv, fulgora::monotonic_seconds() - (o.monotonic ? 0.0 : start), r);
    for (const fulgora_board::piece& pc : fulgora_board::answer_for(r, o))
      out.push_back({fulgora::monotonic_seconds() + pc.delay_s, pc.bytes});
  }
}

// Answers until a signal, the time or the count ends it.
void serve(const fulgora_board::options& o, const line_end& line, fulgora_board::board& board) {
  const bool live = !o.quiet && isatty(STDOUT_FILENO);
  std::deque<pending_write> out;
  const double start = fulgora::monotonic_seconds();
  double last_draw = 0;
  while (!stop_requested) {
    const double now = fulgora::monotonic_seconds();
    if (o.seconds > 0 && now - start >= o.seconds) break;
    if (o.count > 0 && board.stats.lines >= o.count && out.empty()) break;
    write_due(line.master, out, now);
    pollfd p = {line.master, static_cast<short>(o.no_read ? 0 : POLLIN), 0};
    if (poll(&p, 1, out.empty() ? 20 : 1) < 0 && errno != EINTR) break;
    if (!o.no_read && (p.revents & POLLIN)) read_lines(o, line, start, board, out);
    if (live && now - last_draw > 0.04) {
      last_draw = now;
      std::fputs(fulgora_board::bars(board).c_str(), stdout);
      std::fflush(stdout);
    }
  }
  if (live) std::fputs("\n", stdout);
}

}  // namespace

int main(int argc, char** argv) {
  fulgora_board::options o;
  if (!fulgora_board::parse_options(argc, argv, o)) return 2;  // it named the bad option
  if (o.help) {
    usage(stdout);
    return 0;
  }
  std::string error;
  if (!fulgora_tools::outputs_allowed(
          {{o.csv, &fulgora_tools::board_outputs[0]}, {o.link, &fulgora_tools::board_outputs[1]}},
          {}, error))
    return fail(error), 1;
  line_end line;
  if (!open_line(line) || !open_outputs(o, line)) return 1;
  catch_signals();
  std::printf("PORTNAME=%s\n", line.device.c_str());
  std::fflush(stdout);

  fulgora_board::board board;
  serve(o, line, board);
  std::fprintf(
      stderr, "fulgora-board: %ld lines: %ld level commands, %ld closing commands, %ld malformed\n",
      board.stats.lines, board.stats.levels, board.stats.closings, board.stats.malformed);
  if (line.csv) std::fclose(line.csv);
  if (!o.link.empty()) fulgora_tools::remove_own_link(o.link, line.device);
  if (line.keeper >= 0) close(line.keeper);
  close(line.master);
  return 0;
}
