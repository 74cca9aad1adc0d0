#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hopster::testing {

// A program run as a child process with its data in `home` (XDG folders
// inside it), its standard output and error read line by line, and standard
// input from /dev/null. Killed when the object goes.
class ChildProgram {
 public:
  struct Options {
    bool offscreenWindow = false;          // QT_QPA_PLATFORM=offscreen
    rlim_t fileSizeLimit = RLIM_INFINITY;  // a "full disk" for its files
  };

  ChildProgram(const std::filesystem::path& binary, const std::filesystem::path& home,
               const std::vector<std::string>& args, Options options);
  ChildProgram(const std::filesystem::path& binary, const std::filesystem::path& home,
               const std::vector<std::string>& args)
      : ChildProgram(binary, home, args, Options{}) {}
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // Reads output until a line matches the regular expression `pattern`;
  // returns that line, or nothing after `seconds`.
  std::optional<std::string> waitFor(const std::string& pattern, double seconds = 30.0);
  // Sends `signal` and waits for the exit status (128 + signal when killed
  // by one, -1 after a timeout).
  int stop(int signal, double seconds = 30.0);
  int wait(double seconds = 60.0);
  [[nodiscard]] const std::string& output() const { return output_; }
  [[nodiscard]] pid_t pid() const { return pid_; }

 private:
  bool readSome(int timeoutMs);

  pid_t pid_ = -1;
  int fd_ = -1;
  std::string output_;
  std::size_t lines_ = 0;
};

}  // namespace hopster::testing
