#include "support/child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <regex>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace hopster::testing {

using Clock = std::chrono::steady_clock;

ChildProgram::ChildProgram(const std::filesystem::path& binary, const std::filesystem::path& home,
                           const std::vector<std::string>& args, Options options) {
  // Everything the child needs is made here, before the fork: the tests
  // start children from several threads at once, and a child of a threaded
  // process may only make async-signal-safe calls until it executes the
  // program (an allocation there can wait forever on a lock another thread
  // held at the fork).
  std::vector<std::string> environment;
  const std::vector<std::pair<std::string, std::string>> overrides{
      {"XDG_DATA_HOME", (home / "data").string()},
      {"XDG_CONFIG_HOME", (home / "config").string()},
      {"XDG_CACHE_HOME", (home / "cache").string()},
      {"XDG_RUNTIME_DIR", home.string()},
      {"HOME", home.string()},
      {"QT_QPA_PLATFORM", options.offscreenWindow ? "offscreen" : ""}};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    const bool replaced = std::any_of(overrides.begin(), overrides.end(), [&](const auto& set) {
      return variable.starts_with(set.first + "=") && !set.second.empty();
    });
    if (!replaced) environment.emplace_back(variable);
  }
  for (const auto& [name, value] : overrides) {
    if (!value.empty()) environment.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<char*> argv{const_cast<char*>(binary.c_str())};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    const int none = ::open("/dev/null", O_RDONLY);
    ::dup2(none, STDIN_FILENO);
    if (options.fileSizeLimit != RLIM_INFINITY) {
      // A full disk: writes past the limit fail with EFBIG instead of killing.
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ::sigaction(SIGXFSZ, &ignore, nullptr);
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execve(binary.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  fd_ = out[0];
}

ChildProgram::~ChildProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(fd_);
}

std::optional<std::string> ChildProgram::waitFor(const std::string& pattern, double seconds) {
  const std::regex wanted(pattern);
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    while (lines_ < output_.size()) {
      const auto end = output_.find('\n', lines_);
      if (end == std::string::npos) break;
      std::string line = output_.substr(lines_, end - lines_);
      lines_ = end + 1;
      if (std::regex_search(line, wanted)) return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !readSome(static_cast<int>(left))) return std::nullopt;
  }
}

int ChildProgram::stop(int signal, double seconds) {
  ::kill(pid_, signal);
  return wait(seconds);
}

int ChildProgram::wait(double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < deadline) {
    readSome(50);
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      while (readSome(0)) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
  return -1;
}

bool ChildProgram::readSome(int timeoutMs) {
  pollfd wait{fd_, POLLIN, 0};
  if (::poll(&wait, 1, timeoutMs) <= 0) return false;
  char buffer[4096];
  const ssize_t got = ::read(fd_, buffer, sizeof buffer);
  if (got <= 0) return false;
  output_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

}  // namespace hopster::testing
