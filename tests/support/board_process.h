// Runs fulgora-board as a child process for a test; stops it on destruction.
// Not the stand-in's board_child: tests choose the board's arguments and
// check its exit status, which that one fixes and keeps to itself.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fulgora_test {

class board_process {
 public:
  explicit board_process(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      static std::string path = FULGORA_BOARD_PATH;
      argv.push_back(&path[0]);
      args.push_back("--quiet");
      for (auto& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    // First line: PORTNAME=/dev/pts/N
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    stdout_fd_ = out[0];
    const std::string prefix = "PORTNAME=";
    if (line.compare(0, prefix.size(), prefix) == 0) device = line.substr(prefix.size());
    for (char ch : device) wide_device += static_cast<wchar_t>(ch);
  }
  ~board_process() { stop(); }
  board_process(const board_process&) = delete;
  board_process& operator=(const board_process&) = delete;

  // Ends the board (SIGTERM) and waits for it; returns its exit status.
  int stop() {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (stdout_fd_ >= 0) close(stdout_fd_);
    stdout_fd_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  std::string device;
  std::wstring wide_device;

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  int status_ = -1;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace fulgora_test
