#include "channel.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace owl {
namespace {

TEST(Channel, DeliversInSendingOrder) {
  auto [tx, rx] = make_channel<int>();
  Sender<int> copy = tx;
  for (int i = 0; i < 5; ++i) EXPECT_TRUE((i % 2 == 0 ? tx : copy).send(i));
  for (int i = 0; i < 5; ++i) {
    RecvResult<int> r = rx.try_recv();
    ASSERT_EQ(r.status, RecvStatus::Value);
    EXPECT_EQ(r.value, i);
  }
  EXPECT_EQ(rx.try_recv().status, RecvStatus::Timeout);
}

TEST(Channel, SendFailsOnceTheReceiverIsGoneAndQueuedValuesAreReleased) {
  auto [tx, rx] = make_channel<std::shared_ptr<std::string>>();
  auto value = std::make_shared<std::string>("queued");
  EXPECT_TRUE(tx.send(value));
  EXPECT_EQ(value.use_count(), 2);
  { auto gone = std::move(rx); }
  EXPECT_EQ(value.use_count(), 1);
  EXPECT_FALSE(tx.send(value));
  EXPECT_EQ(value.use_count(), 1);
  EXPECT_FALSE(Sender<int>().send(1));
}

TEST(Channel, DisconnectsWhenEverySenderIsGoneAndTheQueueIsDrained) {
  auto [tx, rx] = make_channel<int>();
  Sender<int> copy = tx;
  Sender<int> assigned;
  assigned = copy;
  Sender<int> moved = std::move(tx);
  tx.reset();  // a moved-from sender counts for nothing
  moved.reset();
  copy.reset();
  EXPECT_EQ(rx.try_recv().status, RecvStatus::Timeout);
  EXPECT_TRUE(assigned.send(7));
  assigned.reset();

  EXPECT_EQ(rx.recv(), 7);
  EXPECT_EQ(rx.recv(), std::nullopt);
  EXPECT_EQ(rx.try_recv().status, RecvStatus::Disconnected);
  EXPECT_EQ(rx.recv_until(std::chrono::steady_clock::now() + 1h).status, RecvStatus::Disconnected);
}

TEST(Channel, RecvUntilTimesOutOrWakesForAnotherThread) {
  auto [tx, rx] = make_channel<int>();
  // A deadline already passed answers at once.
  RecvResult<int> r = rx.recv_until(std::chrono::steady_clock::now());
  EXPECT_EQ(r.status, RecvStatus::Timeout);
  EXPECT_FALSE(r.value.has_value());

  std::thread sender([tx = std::move(tx)] { EXPECT_TRUE(tx.send(3)); });
  r = rx.recv_until(std::chrono::steady_clock::now() + 10s);
  sender.join();
  EXPECT_EQ(r.status, RecvStatus::Value);
  EXPECT_EQ(r.value, 3);
  // The thread's sender went with it.
  EXPECT_EQ(rx.recv_until(std::chrono::steady_clock::now() + 10s).status, RecvStatus::Disconnected);
}

}  // namespace
}  // namespace owl
