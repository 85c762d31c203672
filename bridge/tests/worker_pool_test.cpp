#include "worker_pool.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "fault.hpp"

namespace owl::bridge {
namespace {

std::mutex faults_mutex;
std::condition_variable fault_recorded;
std::vector<std::string> faults;

void record_fault(std::string_view where, std::string_view what) {
  const std::lock_guard<std::mutex> lock(faults_mutex);
  faults.push_back(std::string(where) + ": " + std::string(what));
  fault_recorded.notify_all();
}

TEST(WorkerPool, AJobThatThrowsCostsNoPoolThread) {
  set_fault_sink(&record_fault);
  // More throwing jobs than the pool has threads: a pool that lost a thread to each would
  // never run the job after them.
  const long threads = sysconf(_SC_NPROCESSORS_CONF);
  for (long i = 0; i < threads + 1; ++i) {
    execute_on_pool([] { throw std::runtime_error("no memory for the answer"); });
  }
  std::promise<void> ran;
  execute_on_pool([&ran] { ran.set_value(); });
  EXPECT_EQ(ran.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  // The last throwing jobs may still be reporting on other threads when that job has run.
  std::unique_lock<std::mutex> lock(faults_mutex);
  EXPECT_TRUE(fault_recorded.wait_for(lock, std::chrono::seconds(30), [&] {
    return faults.size() == static_cast<std::size_t>(threads + 1);
  }));
  lock.unlock();
  set_fault_sink(nullptr);
  lock.lock();
  ASSERT_FALSE(faults.empty());
  for (const std::string& fault : faults) EXPECT_EQ(fault, "owl-pool: no memory for the answer");
}

}  // namespace
}  // namespace owl::bridge
