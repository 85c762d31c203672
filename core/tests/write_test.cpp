#include "manager/write.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/simulated_port.hpp"

namespace owl {
namespace {

const UnitSettings CURRENT = simulated_unit_settings(1001, 215000, 217000, 10);

Unit unit(std::optional<UnitSettings> settings, bool confirming) {
  Unit u;
  u.key = "SIM0001";
  u.label = "simulator";
  u.settings = std::move(settings);
  u.confirming = confirming;
  u.announced = true;
  return u;
}

template <class R>
const R* rejected_as(const Expected<UnitSettings, WriteRejection>& r) {
  return r ? nullptr : std::get_if<R>(&r.error());
}

TEST(PrepareWrite, RefusesInOrderOfConnectionConfirmationSettingsAndValidity) {
  UnitMap units;
  UnitSettings bad = CURRENT;
  bad.delayMs = 450;
  bad.channels[2].frequency = 192000;

  auto r = prepare_write(units, "SIM0001", CURRENT, false, false);
  EXPECT_EQ(rejection_texts(r.error()),
            (std::vector<std::string>{"unit SIM0001 is not connected"}));

  // Confirming is checked before the missing settings and before validity.
  const std::vector<std::string> busy{"unit SIM0001 is still confirming the previous write"};
  units.emplace("SIM0001", unit(std::nullopt, true));
  EXPECT_EQ(rejection_texts(prepare_write(units, "SIM0001", bad, false, false).error()), busy);
  units.at("SIM0001").settings = CURRENT;
  EXPECT_EQ(rejection_texts(prepare_write(units, "SIM0001", bad, false, false).error()), busy);

  units.at("SIM0001") = unit(std::nullopt, false);
  r = prepare_write(units, "SIM0001", bad, false, false);
  EXPECT_EQ(rejection_texts(r.error()),
            (std::vector<std::string>{"unit SIM0001 has not reported its settings yet"}));

  units.at("SIM0001").settings = CURRENT;
  r = prepare_write(units, "SIM0001", bad, false, false);
  const auto* invalid = rejected_as<rejection::Invalid>(r);
  ASSERT_NE(invalid, nullptr);
  EXPECT_EQ(invalid->key, "SIM0001");
  EXPECT_EQ(rejection_texts(r.error()),
            (std::vector<std::string>{
                "delay 450 ms is over the 400 ms maximum",
                "channel 3: 192000 kHz is outside this unit's 215000-217000 kHz range"}));
  EXPECT_FALSE(units.at("SIM0001").confirming);
}

TEST(PrepareWrite, AcceptsTheMergedRecord) {
  UnitMap units;
  units.emplace("SIM0001", unit(CURRENT, false));
  UnitSettings requested = CURRENT;
  requested.unitName = "Stage-Left";
  requested.charge = ChargeMode::FAST;
  requested.delayMs = 120;
  requested.rfMode = RfMode::FM_ANALOG;
  requested.unitSerialNum = 77;
  requested.channels.push_back(requested.channels.back());
  requested.channels.push_back(requested.channels.back());

  const auto r = prepare_write(units, "SIM0001", requested, false, true);
  ASSERT_TRUE(r);
  // Identity, range and RF mode come from the unit, charge is kept, the channel list is cut.
  UnitSettings expected = CURRENT;
  expected.unitName = "Stage-Left";
  expected.delayMs = 120;
  EXPECT_EQ(*r, expected);
  EXPECT_FALSE(units.at("SIM0001").confirming);
}

TEST(QueueWrite, MarksConfirmingAndSendsTheRecord) {
  auto [tx, rx] = make_channel<UnitCommand>();
  Unit u = unit(CURRENT, false);
  u.commands = std::move(tx);
  UnitSettings record = CURRENT;
  record.delayMs = 40;
  queue_write(u, record);
  EXPECT_TRUE(u.confirming);
  RecvResult<UnitCommand> got = rx.try_recv();
  ASSERT_EQ(got.status, RecvStatus::Value);
  ASSERT_TRUE(std::holds_alternative<command::Write>(*got.value));
  EXPECT_EQ(std::get<command::Write>(*got.value).settings, record);

  // A worker that has ended is no error: its Stopped event removes the unit.
  { auto gone = std::move(rx); }
  u.confirming = false;
  queue_write(u, record);
  EXPECT_TRUE(u.confirming);
}

}  // namespace
}  // namespace owl
