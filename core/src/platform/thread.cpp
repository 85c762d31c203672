#include "platform/thread.hpp"

#include <pthread.h>

#include <exception>

#include "fault.hpp"
#include "platform/system_calls.hpp"

namespace owl {

void set_thread_name(std::string_view name) {
  std::string shortened(name.substr(0, 15));
  shortened = shortened.c_str();  // a NUL inside the key ends the name there
  pthread_setname_np(pthread_self(), shortened.c_str());
}

namespace detail {

namespace {

void* run_body(void* argument) {
  std::unique_ptr<ThreadBody> body(static_cast<ThreadBody*>(argument));
  if (!body->name.empty()) set_thread_name(body->name);
  // The last barrier: an exception leaving a thread would terminate the whole process.
  const std::string where = body->name.empty() ? std::string("thread") : body->name;
  try {
    body->run();
  } catch (const std::exception& e) {
    report_fault(where, e.what());
  } catch (...) {
    report_fault(where, "unknown failure");
  }
  return nullptr;
}

}  // namespace

void start_detached(std::unique_ptr<ThreadBody> body) {
  pthread_t thread{};
  const int error = sys::calls().pthread_create.load()(&thread, nullptr, &run_body, body.get());
  if (error != 0) throw std::system_error(error, std::generic_category(), "thread creation");
  // From here on the thread owns the body.
  body.release();
  pthread_detach(thread);
}

}  // namespace detail

}  // namespace owl
