#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "frame.hpp"
#include "settings/payload.hpp"

namespace owl {

// A unit at the far end of a pseudo-terminal: answers settings requests and keeps what is
// written, as the firmware does. Hanging up closes the line under the engine's feet. Shared by
// the hardware-mode tests and the soak run.
class PtyUnit {
 public:
  explicit PtyUnit(UnitSettings settings) : settings_(std::move(settings)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::array<char, PATH_MAX> name{};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name.data(), name.size()) != 0) {
      if (master_ >= 0) ::close(master_);
      throw std::runtime_error("no pseudo-terminal");
    }
    slave_path_ = name.data();
    thread_ = std::thread([this] { run(); });
  }
  ~PtyUnit() { hang_up(); }
  PtyUnit(const PtyUnit&) = delete;
  PtyUnit& operator=(const PtyUnit&) = delete;

  const std::string& slave_path() const { return slave_path_; }

  UnitSettings settings() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
  }

  void hang_up() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  void run() {
    FrameDecoder decoder;
    while (!stop_) {
      pollfd entry{master_, POLLIN, 0};
      if (::poll(&entry, 1, 20) <= 0) continue;
      std::array<std::uint8_t, 256> chunk{};
      const ssize_t got = ::read(master_, chunk.data(), chunk.size());
      if (got <= 0) {
        // Until the engine opens the other side the master reports a hang-up.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      for (const Frame& frame :
           decoder.push(std::span(chunk.data(), static_cast<std::size_t>(got)))) {
        handle(frame);
      }
    }
  }

  void handle(const Frame& frame) {
    if (frame.cmd != CMD_SETTINGS || frame.payload.size() < 4 ||
        read_u32_le(frame.payload.data()) != SETTINGS_STRUCT_TYPE) {
      return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (frame.payload.size() > 4) {
      if (auto written = decode_settings(frame.payload)) settings_ = written.value();
      return;
    }
    const std::vector<std::uint8_t> reply =
        encode_frame(CMD_SETTINGS, encode_settings(settings_), 0x00, 0xFF);
    std::size_t sent = 0;
    while (sent < reply.size() && !stop_) {
      const ssize_t n = ::write(master_, reply.data() + sent, reply.size() - sent);
      if (n <= 0) return;  // the engine closed its side; it will ask again when it reopens
      sent += static_cast<std::size_t>(n);
    }
  }

  int master_ = -1;
  std::string slave_path_;
  std::mutex mutex_;
  UnitSettings settings_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

}  // namespace owl
