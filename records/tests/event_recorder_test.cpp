#include "event_recorder.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace owl::test_events {
namespace {

using namespace std::chrono_literals;

TEST(EventRecorder, WaitsFromACursorForEventsFromAnotherThread) {
  EventRecorder events;
  events.record(ui_event::Settings{"A", {}});
  const std::size_t mark = events.mark();
  std::thread producer([sink = events.on_event(), close = events.on_close()] {
    sink(ui_event::Announced{"B", "sim"});
    sink(ui_event::Settings{"A", {}});
    sink(ui_event::Settings{"B", {}});
    close();
  });
  // The one recorded before the mark is not seen again; the later one is, after B's announcement.
  const auto a = events.wait(is<ui_event::Settings>("A"), mark);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->next, 3u);
  const auto b = events.wait(is<ui_event::Settings>("B"), a->next);
  ASSERT_TRUE(b);
  EXPECT_EQ(std::get<ui_event::Settings>(b->event).key, "B");
  EXPECT_TRUE(events.wait_closed());
  producer.join();

  EXPECT_FALSE(events.wait(is<ui_event::Settings>("A"), a->next, 0ms));
  EXPECT_FALSE(events.wait(is<ui_event::Stopped>(), 0, 0ms));
  EXPECT_EQ(events.wait(is<ui_event::Announced>(), 0, 0ms)->next, 2u);
  EXPECT_EQ(events.all().size(), 4u);
  EXPECT_EQ(events.closes(), 1);
}

}  // namespace
}  // namespace owl::test_events
