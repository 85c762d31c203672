#include "platform/serial_port.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock.hpp"
#include "device/worker.hpp"
#include "platform/system_calls.hpp"
#include "seams.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

// A pseudo-terminal pair: the slave stands in for a unit's serial device, the master for the
// unit at the other end of the line.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    std::array<char, PATH_MAX> name{};
    if (::ptsname_r(master_, name.data(), name.size()) != 0) return;
    slave_path_ = name.data();
  }
  ~PseudoTerminal() { close_master(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ready() const { return master_ >= 0 && !slave_path_.empty(); }
  const std::string& slave_path() const { return slave_path_; }

  void close_master() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // Collects what the link sent, waiting up to a second for each piece.
  std::vector<std::uint8_t> receive(std::size_t count) const {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < count) {
      pollfd entry{master_, POLLIN, 0};
      if (::poll(&entry, 1, 1000) <= 0) break;
      std::array<std::uint8_t, 64> chunk{};
      const ssize_t got = ::read(master_, chunk.data(), chunk.size());
      if (got <= 0) break;
      bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
    return bytes;
  }

  bool send(const std::vector<std::uint8_t>& bytes) const {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

 private:
  int master_ = -1;
  std::string slave_path_;
};

constexpr int CANNOT_DROP_PRIVILEGES = 77;

// Root may open a terminal despite its exclusive claim, so checks of the claim run in a child that
// has given up root. Returns the child's exit code, or nothing when privileges cannot be dropped.
std::optional<int> run_unprivileged(const std::string& slave_path,
                                    const std::function<int()>& body) {
  const bool root = ::geteuid() == 0;
  if (root && ::chmod(slave_path.c_str(), 0666) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(CANNOT_DROP_PRIVILEGES);
    }
    ::_exit(body());
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (!WIFEXITED(status)) return -1;
  if (WEXITSTATUS(status) == CANNOT_DROP_PRIVILEGES) return std::nullopt;
  return WEXITSTATUS(status);
}

// 0 when another process may open the device now, 1 otherwise.
int plain_open_succeeds(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    std::perror("open");
    return 1;
  }
  ::close(fd);
  return 0;
}

// Each case opens the slave side of a fresh pseudo-terminal as a unit port.
class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ready()); }
  std::unique_ptr<ByteLink> open() {
    auto opened = open_unit_port(pty.slave_path());
    EXPECT_TRUE(opened) << opened.error();
    return opened ? std::move(opened.value()) : nullptr;
  }
  PseudoTerminal pty;
};

TEST_F(SerialPortTest, OpenSetsUnitLineParameters) {
  // Leave the line as a previous user might have: every setting the open must change is wrong.
  // The master keeps the terminal, and so these settings, alive across the close.
  {
    const int previous = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(previous, 0);
    termios wrong{};
    ASSERT_EQ(::tcgetattr(previous, &wrong), 0);
    wrong.c_cflag |= CSTOPB | CRTSCTS;
    wrong.c_cflag &= ~static_cast<tcflag_t>(CREAD | CLOCAL);
    wrong.c_iflag |= INPCK | PARMRK | IXON | IXOFF | IXANY | ICRNL;
    ASSERT_EQ(::cfsetspeed(&wrong, B9600), 0);
    ASSERT_EQ(::tcsetattr(previous, TCSANOW, &wrong), 0);
    ::close(previous);
  }
  auto link = open();
  ASSERT_TRUE(link);
  const int fd = dynamic_cast<SerialPort&>(*link).native_handle();

  termios line{};
  ASSERT_EQ(::tcgetattr(fd, &line), 0);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | INPCK | PARMRK), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  // The kernel forces a pseudo-terminal to 8 data bits without parity, so those two settings
  // cannot be observed here.
  EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B115200));
  EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B115200));

  // Reads wait in poll, so the descriptor itself must block; and no child process inherits it.
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(SerialPortTest, CarriesBytesBothWaysPacedUntilHangup) {
  auto link = open();
  ASSERT_TRUE(link);
  std::array<std::uint8_t, 512> buffer{};
  const auto began = std::chrono::steady_clock::now();
  auto idle = link->read(buffer);
  const auto took = std::chrono::steady_clock::now() - began;
  ASSERT_FALSE(idle);
  EXPECT_EQ(idle.error().kind, LinkError::Kind::TimedOut);
  EXPECT_EQ(idle.error().text, "Operation timed out");
  EXPECT_TRUE(idle.error().is_idle());
  EXPECT_GE(took, 15ms);
  EXPECT_LT(took, 1s);

  // Raw mode: a line feed and a carriage return pass through untranslated.
  const std::vector<std::uint8_t> request{0xAA, 0x2E, 0x04, 0x00, 0x0A, 0x0D, 0x03, 0x11};
  ManualClock clock;
  EXPECT_EQ(send_bytes(*link, "unit-1", request, clock), std::nullopt);
  EXPECT_EQ(pty.receive(request.size()), request);

  const std::vector<std::uint8_t> answer{0xAA, 0x0D, 0x0A, 0x7F, 0x03, 0x13, 0x11, 0x00, 0xFF};
  ASSERT_TRUE(pty.send(answer));
  std::vector<std::uint8_t> received;
  std::array<std::uint8_t, 4> small{};
  for (int attempt = 0; attempt < 50 && received.size() < answer.size(); ++attempt) {
    auto got = link->read(small);
    if (!got && got.error().is_idle()) continue;
    ASSERT_TRUE(got) << got.error().text;
    ASSERT_GE(*got, 1u);
    ASSERT_LE(*got, small.size());
    received.insert(received.end(), small.begin(), small.begin() + static_cast<long>(*got));
  }
  EXPECT_EQ(received, answer);

  // Linux hangs the slave up when the master closes; a hung-up terminal reads as end of file.
  pty.close_master();
  auto got = link->read(buffer);
  if (got) {
    EXPECT_EQ(*got, 0u);
  } else {
    EXPECT_FALSE(got.error().is_idle()) << got.error().text;
  }
}

TEST_F(SerialPortTest, AdvisoryLockHeldElsewhereRefusesOpenAndLeavesNoClaim) {
  const int holder = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  auto refused = open_unit_port(pty.slave_path());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), "Unable to acquire exclusive lock on serial port");

  // The failed open must have given back the claim it took before trying the lock.
  const auto others_may_open =
      run_unprivileged(pty.slave_path(), [&] { return plain_open_succeeds(pty.slave_path()); });
  if (others_may_open) {
    EXPECT_EQ(*others_may_open, 0);
  }

  ::close(holder);
  EXPECT_TRUE(open());
  if (!others_may_open) GTEST_SKIP() << "cannot drop root privileges to check the claim";
}

TEST_F(SerialPortTest, ExclusiveClaimRefusesSecondOpenUntilPortIsDropped) {
  auto link = open();
  ASSERT_TRUE(link);
  const std::string path = pty.slave_path();
  const auto second_open = run_unprivileged(path, [&] {
    auto again = open_unit_port(path);
    if (again) return 2;
    if (again.error() == "Device or resource busy") return 0;
    std::fprintf(stderr, "second open: %s\n", again.error().c_str());
    return 1;
  });
  if (!second_open) GTEST_SKIP() << "cannot drop root privileges; root ignores the claim";
  EXPECT_EQ(*second_open, 0) << "2: opened despite the claim, 1: another error";

  link.reset();
  EXPECT_EQ(run_unprivileged(path, [&] { return plain_open_succeeds(path); }), 0);
}

TEST(SerialPort, OpenFailuresGiveTheSystemText) {
  EXPECT_EQ(open_unit_port("/dev/owl-no-such-port").error(), "No such file or directory");
  // Not a terminal: the exclusive claim is the first step that fails.
  EXPECT_EQ(open_unit_port("/dev/null").error(), "Inappropriate ioctl for device");
}

// Scripted failures for the port's system calls: each call takes the next step meant for it, and
// a call with no step left is passed on to the system.
struct Step {
  int error = 0;       // fail with this error number
  ssize_t limit = -1;  // otherwise pass on, capped at this many bytes (or a "success" of 0)
  bool forever = false;
};

struct Script {
  std::map<std::string, std::deque<Step>> steps;
  std::vector<std::string> calls;
  unsigned long ioctl_request = 0;  // ioctl fails only for this request

  // The next step of this call, or nothing; records the call with its detail.
  std::optional<Step> take(const std::string& call, const std::string& detail = "") {
    calls.push_back(detail.empty() ? call : call + " " + detail);
    auto& queue = steps[call];
    if (queue.empty()) return std::nullopt;
    const Step step = queue.front();
    if (!step.forever) queue.pop_front();
    if (step.error != 0) errno = step.error;
    return step;
  }
};

Script& script() {
  static Script s;
  return s;
}

// Whether this call fails now (errno is then set).
bool fails(const std::string& call) {
  auto step = script().take(call);
  return step && step->error != 0;
}

// The name of a call, as a template argument.
template <std::size_t N>
struct CallName {
  constexpr CallName(const char (&name)[N]) { std::copy_n(name, N, text); }
  char text[N];
};

// A call with no special rule fails when the script says so and is otherwise passed on.
template <CallName call, auto real, class... Args>
auto scripted(Args... args) -> decltype(real(args...)) {
  return fails(call.text) ? -1 : real(args...);
}

ssize_t scripted_write(int fd, const void* data, size_t size) {
  auto step = script().take("write", std::to_string(size));
  if (step && step->error != 0) return -1;
  if (step) size = std::min(size, static_cast<size_t>(step->limit));
  return size == 0 ? 0 : ::write(fd, data, size);
}
int scripted_poll(pollfd* fds, nfds_t count, int timeout_ms) {
  auto step = script().take("poll");
  if (step) return step->error != 0 ? -1 : static_cast<int>(step->limit);
  return ::poll(fds, count, timeout_ms);
}
int scripted_ioctl(int fd, unsigned long request, void* arg) {
  if (request == script().ioctl_request && fails("ioctl")) return -1;
  return ::ioctl(fd, request, arg);
}
// A limit of 0 claims success without applying anything.
int scripted_tcsetattr(int fd, int actions, const termios* attributes) {
  auto step = script().take("tcsetattr");
  if (step && step->error != 0) return -1;
  if (step && step->limit == 0) return 0;
  return ::tcsetattr(fd, actions, attributes);
}

class ScriptedPortTest : public SerialPortTest {
 protected:
  ScriptedPortTest() {
    script() = Script{};
    sys::SystemCalls& calls = sys::calls();
    calls.write = &scripted_write;
    calls.read = &scripted<"read", ::read>;
    calls.poll = &scripted_poll;
    calls.tcdrain = &scripted<"tcdrain", ::tcdrain>;
    calls.open = &scripted<"open", ::open>;
    calls.flock = &scripted<"flock", ::flock>;
    calls.ioctl = &scripted_ioctl;
    calls.tcsetattr = &scripted_tcsetattr;
    calls.tcgetattr = &scripted<"tcgetattr", ::tcgetattr>;
    calls.tcflush = &scripted<"tcflush", ::tcflush>;
    calls.fcntl = &scripted<"fcntl", ::fcntl>;
  }
  void expect(std::initializer_list<std::pair<const std::string, std::deque<Step>>> steps) {
    script() = Script{};
    script().steps = steps;
  }
  testing_support::SeamGuard seams;
};

TEST_F(ScriptedPortTest, WritesResumeAfterSignalsAndShortWrites) {
  auto link = open();
  ASSERT_TRUE(link);
  const std::vector<std::uint8_t> frame = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  expect({{"write", {{EINTR}, {0, 3}, {0, 4}}}});
  EXPECT_EQ(link->write_all(frame), std::nullopt);
  EXPECT_EQ(pty.receive(10), frame);
  EXPECT_EQ(script().calls, (std::vector<std::string>{"poll", "write 10", "poll", "write 10",
                                                      "poll", "write 7", "poll", "write 3"}));
}

TEST_F(ScriptedPortTest, WriteFailuresEndTheWriteWithTheirKind) {
  auto link = open();
  ASSERT_TRUE(link);
  const std::vector<std::uint8_t> frame(10, 0xAA);
  const std::pair<std::deque<Step>, LinkError> cases[] = {
      {{{EAGAIN}}, {LinkError::Kind::WouldBlock, "Resource temporarily unavailable"}},
      {{{0, 0}}, {LinkError::Kind::WriteZero, "failed to write whole buffer"}},
      // The line fails part way through a frame: what was written stays written.
      {{{0, 4}, {EIO}}, {LinkError::Kind::Uncategorized, "Input/output error"}},
  };
  for (const auto& [steps, error] : cases) {
    expect({{"write", steps}});
    EXPECT_EQ(link->write_all(frame), error) << error.text;
  }
  EXPECT_EQ(pty.receive(4), std::vector<std::uint8_t>(4, 0xAA));

  expect({{"poll", {{0, 0}}}});
  EXPECT_EQ(link->write_all(frame), LinkError::timed_out());
  expect({{"poll", {{EBADF}}}});
  EXPECT_EQ(link->write_all(frame), LinkError::from_errno(EBADF));
}

TEST_F(ScriptedPortTest, ReadsAndWaitsResumeAfterSignals) {
  auto link = open();
  ASSERT_TRUE(link);
  ASSERT_TRUE(pty.send({0x42}));
  std::array<std::uint8_t, 8> buffer{};
  expect({{"poll", {{EINTR}}}, {"read", {{EINTR}}}});
  auto got = link->read(buffer);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, 1u);
  EXPECT_EQ(buffer[0], 0x42);
  EXPECT_EQ(script().calls, (std::vector<std::string>{"poll", "poll", "read", "read"}));

  ASSERT_TRUE(pty.send({0x43}));
  expect({{"read", {{EIO}}}});
  got = link->read(buffer);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error(), (LinkError{LinkError::Kind::Uncategorized, "Input/output error"}));
}

TEST_F(ScriptedPortTest, FlushRetriesSignalsWithinItsTimeout) {
  auto link = open();
  ASSERT_TRUE(link);
  expect({{"tcdrain", {{EINTR}, {EINTR}}}});
  EXPECT_EQ(link->flush(), std::nullopt);
  EXPECT_EQ(script().calls.size(), 3u);
  expect({{"tcdrain", {{EIO}}}});
  EXPECT_EQ(link->flush(), (LinkError{LinkError::Kind::Other, "flush failed"}));
  // Interrupted for longer than the port's timeout.
  expect({{"tcdrain", {{EINTR, -1, true}}}});
  EXPECT_EQ(link->flush(),
            (LinkError{LinkError::Kind::TimedOut, "timeout for retrying flush reached"}));
}

TEST_F(ScriptedPortTest, EachOpenStepFailsWithItsOwnText) {
  const auto open_error =
      [&](std::initializer_list<std::pair<const std::string, std::deque<Step>>> steps,
          unsigned long ioctl_request = 0) -> std::string {
    expect(steps);
    script().ioctl_request = ioctl_request;
    auto opened = open_unit_port(pty.slave_path());
    return opened ? std::string("opened") : opened.error();
  };
  EXPECT_EQ(open_error({{"open", {{EACCES}}}}), "Permission denied");
  EXPECT_EQ(open_error({{"ioctl", {{EBUSY}}}}, TIOCEXCL), "Device or resource busy");
  EXPECT_EQ(open_error({{"flock", {{EWOULDBLOCK}}}}),
            "Unable to acquire exclusive lock on serial port");
  EXPECT_EQ(open_error({{"flock", {{ENOLCK}}}}), "No locks available");
  EXPECT_EQ(open_error({{"tcsetattr", {{EIO}}}}), "Input/output error");
  EXPECT_EQ(open_error({{"tcsetattr", {{0, 0}}}}), "Settings did not apply correctly");
  EXPECT_EQ(open_error({{"tcsetattr", {{}, {EINVAL}}}}), "Invalid argument");
  EXPECT_EQ(open_error({{"ioctl", {{EIO}}}}, TIOCMBIS), "Input/output error");
  // The attributes are read three times: before the raw mode, to check it, before the speed.
  for (std::size_t failing = 0; failing < 3; ++failing) {
    std::deque<Step> steps(failing, Step{});
    steps.push_back(Step{EIO});
    EXPECT_EQ(open_error({{"tcgetattr", steps}}), "Input/output error") << failing;
  }
  EXPECT_EQ(open_error({{"tcflush", {{EIO}}}}), "Input/output error");
  EXPECT_EQ(open_error({{"fcntl", {{EBADF}}}}), "Bad file descriptor");
  EXPECT_EQ(open_error({{"fcntl", {{}, {EINVAL}}}}), "Invalid argument");
  // A line without modem control (EINVAL like ENOTTY) is used without DTR.
  EXPECT_EQ(open_error({{"ioctl", {{EINVAL}}}}, TIOCMBIS), "opened");
}

}  // namespace
}  // namespace owl
