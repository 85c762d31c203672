#pragma once

#include <chrono>
#include <mutex>
#include <vector>

namespace owl {

using TimePoint = std::chrono::steady_clock::time_point;
using Duration = std::chrono::steady_clock::duration;

// The monotonic clock as a parameter, so timing rules run under test in virtual time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint now() = 0;
  virtual void sleep_for(Duration d) = 0;
};

class SteadyClock final : public Clock {
 public:
  TimePoint now() override { return std::chrono::steady_clock::now(); }
  // std::this_thread::sleep_for resumes after signals until the whole time has passed.
  void sleep_for(Duration d) override;
  static SteadyClock& instance();
};

// Virtual time: advances only when told to, or by the sleeps it is asked for.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(TimePoint start = TimePoint{} + std::chrono::hours(1)) : now_(start) {}
  TimePoint now() override {
    const std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void sleep_for(Duration d) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(d);
    now_ += d;
  }
  void advance(Duration d) {
    const std::lock_guard<std::mutex> lock(mutex_);
    now_ += d;
  }
  std::vector<Duration> sleeps() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  TimePoint now_;
  std::vector<Duration> sleeps_;
};

}  // namespace owl
