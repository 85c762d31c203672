#include "clock.hpp"

#include <thread>

namespace owl {

void SteadyClock::sleep_for(Duration d) {
  std::this_thread::sleep_for(d);
}

SteadyClock& SteadyClock::instance() {
  // Never destroyed: detached threads may still use it while the process exits.
  static SteadyClock* const clock = new SteadyClock;
  return *clock;
}

}  // namespace owl
