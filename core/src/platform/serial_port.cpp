#include "platform/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_calls.hpp"

namespace owl {

namespace {

using SteadyTime = std::chrono::steady_clock;

Unexpected<std::string> system_failure(int error_number) {
  return Unexpected{LinkError::from_errno(error_number).text};
}

// Waits until the descriptor is ready for `events`, resuming after signals with the time left.
std::optional<LinkError> wait_ready(int fd, short events) {
  const auto deadline = SteadyTime::now() + SERIAL_TIMEOUT;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyTime::now());
    if (left.count() <= 0) return LinkError::timed_out();
    pollfd entry{fd, events, 0};
    const int ready = sys::calls().poll.load()(&entry, 1, static_cast<int>(left.count()));
    if (ready > 0) return std::nullopt;
    if (ready == 0) return LinkError::timed_out();
    if (errno != EINTR) return LinkError::from_errno(errno);
  }
}

bool same_flags(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag;
}

}  // namespace

SerialPort::~SerialPort() {
  // The claim belongs to the terminal, not to our descriptor, so closing alone would keep
  // everyone else locked out.
  if (claimed_) sys::calls().ioctl.load()(fd_, TIOCNXCL, nullptr);
  ::close(fd_);
}

Expected<std::size_t, LinkError> SerialPort::read(std::span<std::uint8_t> buffer) {
  if (auto failure = wait_ready(fd_, POLLIN)) return Unexpected{std::move(*failure)};
  for (;;) {
    const ssize_t count = sys::calls().read.load()(fd_, buffer.data(), buffer.size());
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return Unexpected{LinkError::from_errno(errno)};
  }
}

std::optional<LinkError> SerialPort::write_all(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (auto failure = wait_ready(fd_, POLLOUT)) return failure;
    const ssize_t count = sys::calls().write.load()(fd_, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return LinkError::from_errno(errno);
    }
    if (count == 0) return LinkError{LinkError::Kind::WriteZero, "failed to write whole buffer"};
    bytes = bytes.subspan(static_cast<std::size_t>(count));
  }
  return std::nullopt;
}

std::optional<LinkError> SerialPort::flush() {
  const auto deadline = SteadyTime::now() + SERIAL_TIMEOUT;
  while (sys::calls().tcdrain.load()(fd_) != 0) {
    if (errno != EINTR) return LinkError{LinkError::Kind::Other, "flush failed"};
    if (SteadyTime::now() >= deadline) {
      return LinkError{LinkError::Kind::TimedOut, "timeout for retrying flush reached"};
    }
  }
  return std::nullopt;
}

Expected<std::unique_ptr<ByteLink>, std::string> open_unit_port(const std::string& path) {
  const int fd = sys::calls().open.load()(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return system_failure(errno);
  // From here on every early return drops the port, which releases the claim and closes.
  std::unique_ptr<SerialPort> port(new SerialPort(fd));

  if (sys::calls().ioctl.load()(fd, TIOCEXCL, nullptr) != 0) return system_failure(errno);
  port->claimed_ = true;

  if (sys::calls().flock.load()(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return Unexpected{std::string("Unable to acquire exclusive lock on serial port")};
    }
    return system_failure(errno);
  }

  termios raw{};
  if (sys::calls().tcgetattr.load()(fd, &raw) != 0) return system_failure(errno);
  raw.c_cflag |= CREAD | CLOCAL;
  ::cfmakeraw(&raw);
  if (sys::calls().tcsetattr.load()(fd, TCSANOW, &raw) != 0) return system_failure(errno);
  // tcsetattr succeeds if any part of the request applied, so only a read-back tells.
  termios applied{};
  if (sys::calls().tcgetattr.load()(fd, &applied) != 0) return system_failure(errno);
  if (!same_flags(raw, applied)) {
    return Unexpected{std::string("Settings did not apply correctly")};
  }

  if (sys::calls().tcflush.load()(fd, TCIOFLUSH) != 0) return system_failure(errno);

  // Non-blocking was only needed so that the open could not hang on carrier detect.
  const int status_flags = sys::calls().fcntl.load()(fd, F_GETFL, 0);
  if (status_flags < 0) return system_failure(errno);
  if (sys::calls().fcntl.load()(fd, F_SETFL, status_flags & ~O_NONBLOCK) != 0)
    return system_failure(errno);

  termios line{};
  if (sys::calls().tcgetattr.load()(fd, &line) != 0) return system_failure(errno);
  line.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB | CSIZE | CRTSCTS);
  line.c_cflag |= CS8;
  line.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK | IXON | IXOFF | IXANY);
  if (::cfsetispeed(&line, B115200) != 0 || ::cfsetospeed(&line, B115200) != 0) {
    return system_failure(errno);
  }
  if (sys::calls().tcsetattr.load()(fd, TCSANOW, &line) != 0) return system_failure(errno);

  // Devices without modem-control lines (pseudo-terminals, some adapters) cannot take DTR, and
  // a unit on such a line still talks.
  int dtr = TIOCM_DTR;
  if (sys::calls().ioctl.load()(fd, TIOCMBIS, &dtr) != 0 && errno != ENOTTY && errno != EINVAL) {
    return system_failure(errno);
  }

  return std::unique_ptr<ByteLink>(std::move(port));
}

}  // namespace owl
