#include "worker_pool.hpp"

#include <unistd.h>

#include "channel.hpp"
#include "device/worker.hpp"
#include "error.hpp"
#include "fault.hpp"
#include "platform/thread.hpp"

namespace owl::bridge {

namespace {

struct Pool {
  Sender<std::function<void()>> jobs;
};

Pool& pool() {
  // Never destroyed: its threads run until the process ends.
  static Pool* const instance = [] {
    auto [sender, receiver] = make_channel<std::function<void()>>();
    auto shared = std::make_shared<Receiver<std::function<void()>>>(std::move(receiver));
    auto jobs_lock = std::make_shared<std::mutex>();
    const long processors = sysconf(_SC_NPROCESSORS_CONF);
    const long count = processors < 1 ? 1 : processors;
    for (long i = 0; i < count; ++i) {
      spawn_detached("owl-pool", [shared, jobs_lock] {
        for (;;) {
          std::optional<std::function<void()>> job;
          {
            // The channel has one receiver; the workers take turns at it.
            const std::lock_guard<std::mutex> lock(*jobs_lock);
            job = shared->recv();
          }
          if (!job) return;
          // A job that throws (posting its answer can run out of memory) costs that answer,
          // not a pool thread: the callers of every later job still need one.
          try {
            (*job)();
          } catch (const std::exception& error) {
            report_fault("owl-pool", error.what());
          } catch (...) {
            report_fault("owl-pool", "unknown exception");
          }
        }
      });
    }
    return new Pool{std::move(sender)};
  }();
  return *instance;
}

}  // namespace

void execute_on_pool(std::function<void()> job) {
  if (!pool().jobs.send(std::move(job))) {
    throw Panic("ThreadPool::execute unable to send job into queue.");
  }
}

}  // namespace owl::bridge
