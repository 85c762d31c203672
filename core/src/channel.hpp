#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace owl {

// Unbounded FIFO with any number of senders and one receiver. Each side notices when the other is
// gone: a send says whether the receiver still exists, a receive says when every sender is gone.
template <class T>
class Sender;
template <class T>
class Receiver;

namespace detail {
template <class T>
struct ChannelState {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<T> queue;
  std::size_t senders = 1;
  bool receiver_alive = true;
};
}  // namespace detail

enum class RecvStatus { Value, Timeout, Disconnected };

template <class T>
struct RecvResult {
  RecvStatus status = RecvStatus::Timeout;
  std::optional<T> value;
};

template <class T>
class Sender {
 public:
  Sender() = default;
  Sender(const Sender& other) : state_(other.state_) { attach(); }
  Sender(Sender&& other) noexcept : state_(std::move(other.state_)) {}
  Sender& operator=(const Sender& other) {
    if (this != &other) {
      detach();
      state_ = other.state_;
      attach();
    }
    return *this;
  }
  Sender& operator=(Sender&& other) noexcept {
    if (this != &other) {
      detach();
      state_ = std::move(other.state_);
    }
    return *this;
  }
  ~Sender() { detach(); }

  // False when the receiver is gone for good; the value is then dropped.
  bool send(T value) const {
    if (!state_) return false;
    {
      const std::lock_guard<std::mutex> lock(state_->mutex);
      if (!state_->receiver_alive) return false;
      state_->queue.push_back(std::move(value));
    }
    state_->ready.notify_one();
    return true;
  }

  void reset() {
    detach();
    state_.reset();
  }

 private:
  template <class U>
  friend std::pair<Sender<U>, Receiver<U>> make_channel();
  explicit Sender(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}

  void attach() {
    if (!state_) return;
    const std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->senders;
  }
  void detach() {
    if (!state_) return;
    bool last = false;
    {
      const std::lock_guard<std::mutex> lock(state_->mutex);
      last = --state_->senders == 0;
    }
    if (last) state_->ready.notify_all();
    state_.reset();
  }

  std::shared_ptr<detail::ChannelState<T>> state_;
};

template <class T>
class Receiver {
 public:
  Receiver() = default;
  Receiver(Receiver&&) noexcept = default;
  Receiver& operator=(Receiver&& other) noexcept {
    if (this != &other) {
      close();
      state_ = std::move(other.state_);
    }
    return *this;
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  ~Receiver() { close(); }

  // Blocks until a value arrives; nullopt once every sender is gone and the queue is empty.
  std::optional<T> recv() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->ready.wait(lock, [&] { return !state_->queue.empty() || state_->senders == 0; });
    return take(lock).value;
  }

  RecvResult<T> recv_until(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->ready.wait_until(lock, deadline,
                             [&] { return !state_->queue.empty() || state_->senders == 0; });
    return take(lock);
  }

  RecvResult<T> try_recv() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return take(lock);
  }

 private:
  template <class U>
  friend std::pair<Sender<U>, Receiver<U>> make_channel();
  explicit Receiver(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}

  RecvResult<T> take(std::unique_lock<std::mutex>&) {
    if (!state_->queue.empty()) {
      RecvResult<T> r{RecvStatus::Value, std::move(state_->queue.front())};
      state_->queue.pop_front();
      return r;
    }
    if (state_->senders == 0) return {RecvStatus::Disconnected, std::nullopt};
    return {RecvStatus::Timeout, std::nullopt};
  }

  void close() {
    if (!state_) return;
    std::deque<T> dropped;
    {
      const std::lock_guard<std::mutex> lock(state_->mutex);
      state_->receiver_alive = false;
      dropped.swap(state_->queue);
    }
    state_.reset();
  }

  std::shared_ptr<detail::ChannelState<T>> state_;
};

template <class T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
  auto state = std::make_shared<detail::ChannelState<T>>();
  return {Sender<T>(state), Receiver<T>(state)};
}

}  // namespace owl
