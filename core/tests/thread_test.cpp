#include "platform/thread.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <stdexcept>

#include "seams.hpp"

namespace owl {
namespace {

using testing_support::FaultLog;

TEST(SpawnDetached, AnExceptionEscapingTheBodyIsReportedNotFatal) {
  testing_support::SeamGuard seams;
  set_fault_sink(&FaultLog::sink);
  std::promise<void> first_done;
  std::promise<void> second_done;
  struct SignalOnExit {
    std::promise<void>* done;
    ~SignalOnExit() { done->set_value(); }
  };
  spawn_detached("owl-test", [&] {
    SignalOnExit signal{&first_done};
    throw std::runtime_error("body failed");
  });
  spawn_detached("", [&] {
    SignalOnExit signal{&second_done};
    throw 7;
  });
  first_done.get_future().wait();
  second_done.get_future().wait();
  // The report comes after the body's own clean-up.
  EXPECT_TRUE(testing_support::eventually([] { return FaultLog::seen().size() == 2; }));
  std::vector<std::string> seen = FaultLog::seen();
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"owl-test: body failed", "thread: unknown failure"}));
}

TEST(SpawnDetached, ABodyThatCannotStartIsDestroyedAndTheFailureThrown) {
  testing_support::SeamGuard seams;
  sys::calls().pthread_create = &testing_support::refuse_thread;
  auto held = std::make_shared<int>(1);
  EXPECT_THROW(spawn_detached("owl-x", [held] {}), std::system_error);
  EXPECT_EQ(held.use_count(), 1);
}

// The trace switch is read once per process; ctest runs each case in its own.
TEST(ReportFault, WithoutASinkAFaultGoesToTheTrace) {
  ::setenv("OWL_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  report_fault("owl-scan", "out of memory");
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(" owl-scan failed: out of memory\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace owl
