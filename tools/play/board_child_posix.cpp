#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "tools/play/board_child.h"

namespace fulgora_play {

bool board_child::start(const std::string& program, const std::string& csv_path,
                        std::string& device, std::string& error) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) {
    error = "cannot create a pipe";
    return false;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error = "cannot start the board simulator";
    return false;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    setpgid(0, 0);  // Ctrl-C goes to the stand-in, which ends the board in order
    // A stand-in killed outright (kill -9) takes its board with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    execl(program.c_str(), program.c_str(), "--quiet", "--monotonic", "--csv", csv_path.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  pid_ = pid;
  close(out[1]);
  close(err[1]);
  err_fd_ = err[0];
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const std::string prefix = "PORTNAME=";
  if (line.rfind(prefix, 0) != 0) {
    stop();
    error = "the board simulator did not start (" + program + ")";
    return false;
  }
  device = line.substr(prefix.size());
  return true;
}

void board_child::stop() {
  if (pid_ <= 0) return;
  kill(static_cast<pid_t>(pid_), SIGTERM);
  waitpid(static_cast<pid_t>(pid_), nullptr, 0);
  pid_ = -1;
  char buffer[512];
  ssize_t n;
  while ((n = read(err_fd_, buffer, sizeof buffer)) > 0)
    summary.append(buffer, static_cast<size_t>(n));
  close(err_fd_);
  err_fd_ = -1;
  while (!summary.empty() && summary.back() == '\n') summary.pop_back();
}

}  // namespace fulgora_play
