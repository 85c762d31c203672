#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace owl {

// Names the calling thread; the kernel keeps only the first 15 bytes.
void set_thread_name(std::string_view name);

namespace detail {

struct ThreadBody {
  virtual ~ThreadBody() = default;
  virtual void run() = 0;
  std::string name;
};

template <class F>
struct ThreadBodyOf final : ThreadBody {
  explicit ThreadBodyOf(F f) : body(std::move(f)) {}
  void run() override { body(); }
  F body;
};

// Starts the body on a detached thread that owns and deletes it. Throws std::system_error when no
// thread can be created; the body is then destroyed here, with everything it holds.
void start_detached(std::unique_ptr<ThreadBody> body);

}  // namespace detail

// Runs body on a new detached thread, named name unless that is empty. Throws std::system_error
// when the thread cannot be created.
template <class F>
void spawn_detached(std::string name, F body) {
  auto boxed = std::make_unique<detail::ThreadBodyOf<F>>(std::move(body));
  boxed->name = std::move(name);
  detail::start_detached(std::move(boxed));
}

}  // namespace owl
