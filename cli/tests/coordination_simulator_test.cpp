#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "backup.hpp"
#include "coordination_command.hpp"
#include "errors.hpp"
#include "owl_client.hpp"

// The commands on the engine's simulated units, in this process; each test runs in a process of
// its own, as the engine starts once per process.
namespace owl::cli {
namespace {

namespace fs = std::filesystem;
using frontend::backup_root;
using frontend::key_directory_name;
using nlohmann::json;

std::uint32_t frequency_of(const std::string& key) {
  for (const auto& unit : client::Client::instance().units_wait()) {
    if (unit.key == key) return unit.settings->channels.at(0).frequency;
  }
  ADD_FAILURE() << "no unit " << key;
  return 0;
}

TEST(CoordinationSimulator, ApplyMovesTheUnitThatSharesAFrequencyAfterABackup) {
  const fs::path data =
      fs::temp_directory_path() / ("owlctl-coord-sim-" + std::to_string(::getpid()));
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  // The engine calls into the session until the process ends, so the session is never destroyed.
  Session& session = *new Session;
  session.start(true);
  session.wait_for_units(true, {}, {}, Clock::now() + std::chrono::seconds(10));
  // Same range and channel plan as SIM0001, so its channel 1 shares 215.180 MHz with it.
  auto& client = client::Client::instance();
  std::size_t cursor = session.cursor();
  client.sim_add_unit_wait("SIM0003", 1003, 215000, 217000, 10);
  ASSERT_TRUE(session.wait_for(
      cursor,
      [](const UiEvent& event) {
        const auto* settings = std::get_if<ui_event::Settings>(&event);
        return settings != nullptr && settings->key == "SIM0003";
      },
      Clock::now() + std::chrono::seconds(10)));
  Connection connection{session, true, 0, true};
  std::ostringstream out;
  std::ostringstream err;

  CoordinationOptions plan;
  plan.json = true;
  EXPECT_EQ(run_plan(plan, connection, out, err), EXIT_OK);  // shared is no conflict
  EXPECT_EQ(json::parse(out.str())["shared"],
            json::parse(R"([{"frequency_khz": 215180, "units": [{"key": "SIM0001", "channel": 1},
                                                               {"key": "SIM0003", "channel": 1}]}])"));

  CoordinationOptions options;
  options.apply = true;
  options.dry_run = true;
  out.str("");
  EXPECT_EQ(run_coordinate(options, connection, out, err), EXIT_OK);
  EXPECT_EQ(frequency_of("SIM0003"), 215180u);
  EXPECT_FALSE(fs::exists(data / "owl"));

  options.dry_run = false;
  options.json = true;
  out.str("");
  EXPECT_EQ(run_coordinate(options, connection, out, err), EXIT_OK) << err.str();
  std::uint32_t moved_to = 0;
  const json proposal = json::parse(out.str());
  for (const auto& a : proposal["assignments"]) {
    if (a["key"] == "SIM0003") {
      moved_to = a["to_khz"];
    } else {
      EXPECT_EQ(a["from_khz"], a["to_khz"]);
    }
  }
  EXPECT_NE(moved_to, 215180u);
  EXPECT_EQ(frequency_of("SIM0003"), moved_to);
  EXPECT_EQ(frequency_of("SIM0001"), 215180u);

  // A backup of the unit that changed, none of those that did not.
  const auto root = backup_root(data.c_str(), nullptr);
  const auto backups = root / key_directory_name("SIM0003");
  ASSERT_TRUE(fs::is_directory(backups));
  EXPECT_EQ(std::distance(fs::directory_iterator(backups), fs::directory_iterator()), 1);
  EXPECT_FALSE(fs::exists(root / key_directory_name("SIM0001")));
  fs::remove_all(data);
}

}  // namespace
}  // namespace owl::cli
