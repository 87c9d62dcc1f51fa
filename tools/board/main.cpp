// fulgora-board: an LED driver board simulator on a pseudo-terminal.
// Prints the device to put into PORTNAME, answers each command line, shows the
// three channels live on a terminal and can log every line as CSV.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "tools/board/board.h"
#include "tools/common/outputs.h"

namespace {

volatile sig_atomic_t stop_requested = 0;
void on_signal(int) { stop_requested = 1; }

double now_s() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

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
          {}, error)) {
    std::fprintf(stderr, "fulgora-board: %s\n", error.c_str());
    return 1;
  }

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::fprintf(stderr, "fulgora-board: cannot create a pseudo-terminal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  const std::string device = ptsname(master);
  // Hold the device open ourselves so the line stays up between programs
  // that open and close it; make it raw so nothing is echoed or translated.
  const int keeper = open(device.c_str(), O_RDWR | O_NOCTTY);
  termios t;
  if (keeper >= 0 && tcgetattr(keeper, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    tcsetattr(keeper, TCSANOW, &t);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  if (!o.link.empty() && !fulgora_tools::place_link(o.link, device, error)) {
    std::fprintf(stderr, "fulgora-board: %s\n", error.c_str());
    return 1;
  }
  FILE* csv = nullptr;
  if (!o.csv.empty()) {
    csv = fulgora_tools::open_output(o.csv, error);
    if (!csv) {
      std::fprintf(stderr, "fulgora-board: %s\n", error.c_str());
      if (!o.link.empty()) fulgora_tools::remove_own_link(o.link, device);
      return 1;
    }
    std::fputs(fulgora_tools::board_log_header, csv);
    std::fflush(csv);
  }

  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::printf("PORTNAME=%s\n", device.c_str());
  std::fflush(stdout);
  const bool live = !o.quiet && isatty(STDOUT_FILENO);

  fulgora_board::board board;
  std::deque<pending_write> out;
  const double start = now_s();
  double last_draw = 0;
  char buffer[512];
  while (!stop_requested) {
    const double now = now_s();
    if (o.seconds > 0 && now - start >= o.seconds) break;
    if (o.count > 0 && board.stats.lines >= o.count && out.empty()) break;
    while (!out.empty() && out.front().due <= now) {
      const std::string& b = out.front().bytes;
      if (write(master, b.data(), b.size()) < 0 && errno == EAGAIN) break;
      out.pop_front();
    }
    pollfd p = {master, static_cast<short>(o.no_read ? 0 : POLLIN), 0};
    const int timeout = out.empty() ? 20 : 1;
    if (poll(&p, 1, timeout) < 0 && errno != EINTR) break;
    if (!o.no_read && (p.revents & POLLIN)) {
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) {
        for (const fulgora_board::received& r : board.feed(buffer, static_cast<size_t>(n))) {
          const double t_rx = now_s() - (o.monotonic ? 0.0 : start);
          if (csv) {
            const std::string quoted = fulgora_board::csv_quote(r.text);
            if (r.is_level)
              std::fprintf(csv, "%.6f,%s,%u,%u,%u\n", t_rx, quoted.c_str(), r.ch[0], r.ch[1],
                           r.ch[2]);
            else
              std::fprintf(csv, "%.6f,%s,,,\n", t_rx, quoted.c_str());
            std::fflush(csv);
          }
          for (const fulgora_board::piece& pc : fulgora_board::answer_for(r, o))
            out.push_back({now_s() + pc.delay_s, pc.bytes});
        }
      }
    }
    if (live && now - last_draw > 0.04) {
      last_draw = now;
      std::fputs(fulgora_board::bars(board).c_str(), stdout);
      std::fflush(stdout);
    }
  }
  if (live) std::fputs("\n", stdout);
  std::fprintf(
      stderr, "fulgora-board: %ld lines: %ld level commands, %ld closing commands, %ld malformed\n",
      board.stats.lines, board.stats.levels, board.stats.closings, board.stats.malformed);
  if (csv) std::fclose(csv);
  if (!o.link.empty()) fulgora_tools::remove_own_link(o.link, device);
  if (keeper >= 0) close(keeper);
  close(master);
  return 0;
}
