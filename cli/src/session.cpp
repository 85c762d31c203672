#include "session.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <set>
#include <thread>
#include <variant>

#include "owl_client.hpp"

namespace owl::cli {
namespace {

const std::vector<std::string> BUILT_IN_UNITS = {"SIM0001", "SIM0002"};
constexpr auto PORT_LOOK_INTERVAL = std::chrono::milliseconds(250);

}  // namespace

void Session::start(bool simulator, Tap tap) {
  tap_ = std::move(tap);
  auto& client = client::Client::instance();
  client.initialize_wait();
  client.start_wait(simulator);
  std::promise<void> subscribed;
  auto done = subscribed.get_future();
  client.event_stream([this](UiEvent event) { on_event(std::move(event)); }, [this] { on_close(); },
                      [&subscribed](client::Result<client::Nothing>) { subscribed.set_value(); });
  done.wait();
}

void Session::on_event(UiEvent event) {
  if (tap_) tap_(event);
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  changed_.notify_all();
}

void Session::on_close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

std::size_t Session::cursor() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

bool Session::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

std::vector<std::string> Session::port_problems() const {
  std::lock_guard lock(mutex_);
  for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
    if (const auto* problems = std::get_if<ui_event::PortProblems>(&*it)) return problems->lines;
  }
  return {};
}

std::optional<UiEvent> Session::wait_for(std::size_t& cursor,
                                         const std::function<bool(const UiEvent&)>& match,
                                         Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  while (true) {
    for (; cursor < events_.size(); ++cursor) {
      if (match(events_[cursor])) return events_[cursor++];
    }
    if (closed_) return std::nullopt;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
        cursor == events_.size()) {
      return std::nullopt;
    }
  }
}

void Session::wait_for_units(bool simulator, const std::vector<std::string>& wanted,
                             const PortLister& list_ports, Clock::time_point deadline) {
  // Simulated units all exist from the start, so waiting for any other key would be in vain.
  const std::vector<std::string>& needed = simulator ? BUILT_IN_UNITS : wanted;
  WaitProgress progress;
  std::size_t seen = 0;
  while (true) {
    // Looking at the ports reads files; the engine must not wait for that to deliver events.
    if (!simulator && list_ports) progress.candidates = list_ports();
    std::unique_lock lock(mutex_);
    for (; seen < events_.size(); ++seen) {
      if (const auto* settings = std::get_if<ui_event::Settings>(&events_[seen])) {
        progress.reported.insert(settings->key);
      } else if (std::holds_alternative<ui_event::Announced>(events_[seen])) {
        progress.last_announce = Clock::now();
      }
    }
    const auto now = Clock::now();
    if (simulator) {
      const bool all = std::all_of(needed.begin(), needed.end(), [&](const std::string& key) {
        return progress.reported.count(key) > 0;
      });
      if (all) return;
    } else if (waiting_is_over(needed, progress, now)) {
      return;
    }
    if (closed_ || now >= deadline) return;
    auto wake = std::min(deadline, now + PORT_LOOK_INTERVAL);
    if (needed.empty() && progress.last_announce) {
      wake = std::min(wake, *progress.last_announce + SETTLE_TIME);
    }
    changed_.wait_until(lock, wake);
  }
}

struct Spinner::State {
  std::string text;
  std::mutex mutex;
  std::condition_variable stop_requested;
  bool stop = false;
  std::thread thread;
};

Spinner::Spinner(std::string text) {
  if (::isatty(STDERR_FILENO) == 0) return;
  state_ = std::make_unique<State>();
  state_->text = std::move(text);
  state_->thread = std::thread([state = state_.get()] {
    static constexpr char FRAMES[] = {'|', '/', '-', '\\'};
    std::unique_lock lock(state->mutex);
    for (std::size_t frame = 0; !state->stop; ++frame) {
      std::fprintf(stderr, "\r%c %s", FRAMES[frame % 4], state->text.c_str());
      std::fflush(stderr);
      state->stop_requested.wait_for(lock, std::chrono::milliseconds(100));
    }
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
  });
}

Spinner::~Spinner() {
  if (!state_) return;
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->stop_requested.notify_all();
  state_->thread.join();
}

Confirmations await_confirmations(Session& session, const std::vector<std::string>& keys,
                                  std::size_t start) {
  Confirmations done;
  const auto deadline = Clock::now() + OUTCOME_TIMEOUT;
  for (const auto& key : keys) {
    std::size_t cursor = start;
    const auto outcome = session.wait_for(
        cursor,
        [&](const UiEvent& event) {
          if (const auto* result = std::get_if<ui_event::WriteResult>(&event)) {
            return result->key == key;
          }
          const auto* stopped = std::get_if<ui_event::Stopped>(&event);
          return stopped != nullptr && stopped->key == key;
        },
        deadline);
    if (!outcome) {
      done.failures.push_back(key + ": no confirmation arrived");
      continue;
    }
    if (const auto* stopped = std::get_if<ui_event::Stopped>(&*outcome)) {
      done.failures.push_back(key + ": the unit went away: " + stopped->reason);
      continue;
    }
    if (const auto& result = std::get<ui_event::WriteResult>(*outcome); !result.ok) {
      done.failures.push_back(key + ": " + result.message);
      continue;
    }
    auto is_report = [&](const UiEvent& event) {
      const auto* settings = std::get_if<ui_event::Settings>(&event);
      return settings != nullptr && settings->key == key;
    };
    auto report = session.wait_for(cursor, is_report, Clock::now() + REPORT_TIMEOUT);
    if (!report) {
      client::Client::instance().refresh_unit_wait(key);
      report = session.wait_for(cursor, is_report, Clock::now() + REPORT_TIMEOUT);
    }
    if (report) done.reported[key] = std::get<ui_event::Settings>(*report).settings;
  }
  return done;
}

}  // namespace owl::cli
