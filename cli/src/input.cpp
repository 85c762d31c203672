#include "input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "errors.hpp"

namespace owl::cli {
namespace {

CliError too_large(const std::string& name) {
  return failure(name + ": more than 1 MiB; a settings file has a few KB, so this is not one");
}

// Reads until end of file, but never more than one byte past the limit.
std::string read_bounded(int fd, const std::string& name) {
  std::string text;
  char buffer[64 * 1024];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw failure("cannot read " + name + ": " + std::strerror(errno));
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > MAX_INPUT_BYTES) throw too_large(name);
  }
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string input_name(const std::string& path) {
  return path == "-" ? "standard input" : path;
}

std::string read_input(const std::string& path, int stdin_fd) {
  if (path == "-") return read_bounded(stdin_fd, input_name(path));
  // O_NONBLOCK: opening a FIFO that nobody writes to would otherwise wait for a writer.
  const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) throw failure("cannot read " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    throw failure("cannot read " + path + ": " + std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) throw failure(path + ": is a directory, not a settings file");
  if (!S_ISREG(info.st_mode)) {
    throw failure(path +
                  ": not a regular file; settings are read from a regular file of at most 1 MiB, "
                  "or from standard input with -");
  }
  if (static_cast<std::size_t>(info.st_size) > MAX_INPUT_BYTES) throw too_large(path);
  return read_bounded(fd.get(), path);
}

}  // namespace owl::cli
