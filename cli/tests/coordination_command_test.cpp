#include "coordination_command.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis.hpp"
#include "errors.hpp"

// Offline use only: this test program does not link the engine, so a command that started it
// by mistake would fail here.
namespace owl::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json unit(const std::string& key, std::uint32_t frequency, bool locked = false) {
  json channels = json::array();
  for (std::uint32_t f : {frequency, frequency + 5000}) {
    channels.push_back({{"frequency", f},
                        {"delay_enable", false},
                        {"voting_enable", false},
                        {"channel_enable", f == frequency}});
  }
  json settings = json::parse(R"({"serial": 1, "voice_prompts": "OFF", "boot_announce": false,
      "delay_ms": 0, "hph_mode": "MONO", "led": "ON", "charge": "SLOW", "squelch": "MED",
      "ab_button": "CHANNEL", "star_button": "ANNOUNCE", "rf_mode": "DIGITAL", "compander": "OFF",
      "battery_type": "ALKALINE", "encryption": "000000", "audio_eq": "NORMAL",
      "gain_boost": false, "min_freq": 470000, "max_freq": 494000})");
  settings["unit_name"] = "Pack " + key;
  settings["channels"] = channels;
  return {{"key", key}, {"locked", locked}, {"settings", settings}};
}

class CoordinationCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("owlctl-coord-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // SIM0001 (locked) 480.000, SIM0002 481.000, SIM0003 and SIM0004 sharing 482.000 and SIM0005
  // at 475.000 inside TV 21: 2*481 - 482 = 480 and 2*481 - 480 = 482 are two-tone hits.
  std::string write_show(const std::string& name, json extra = json::object()) {
    json show = {{"format", "owl-show"},
                 {"version", 1},
                 {"name", "test"},
                 {"exclusions", {{{"from_khz", 470000}, {"to_khz", 476000}, {"note", "TV 21"}}}},
                 {"units",
                  {unit("SIM0001", 480000, true), unit("SIM0002", 481000), unit("SIM0003", 482000),
                   unit("SIM0004", 482000), unit("SIM0005", 475000)}}};
    show.update(extra);
    return write_file(name, show.dump(2));
  }

  std::string write_file(const std::string& name, const std::string& text) {
    const auto path = dir_ / name;
    std::ofstream(path) << text;
    return path.string();
  }

  // Runs "plan ..." or "coordinate ..." as owlctl parses it; words are split at spaces.
  int run(const std::string& command_line) {
    std::vector<std::string> words;
    std::istringstream in(command_line);
    for (std::string word; in >> word;) words.push_back(word);
    const bool plan = !words.empty() && words.front() == "plan";
    std::reverse(words.begin(), words.end());  // CLI11 takes the arguments last first
    CLI::App app;
    ManHelp help;
    CoordinationOptions options;
    add_coordination_commands(app, help, options);
    app.parse(words);
    out_.str("");
    err_.str("");
    Connection connection{session_, false, 0};
    return plan ? run_plan(options, connection, out_, err_)
                : run_coordinate(options, connection, out_, err_);
  }

  json out_json() const { return json::parse(out_.str()); }

  fs::path dir_;
  Session session_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(CoordinationCommand, OfflinePlanReportsCarriersSharedAndConflicts) {
  const std::string show = write_show("show.json");
  EXPECT_EQ(run("plan --json --show " + show), EXIT_FAILED);
  const json expected = json::parse(R"({
    "carriers": [
      {"frequency_khz": 475000, "units": [{"key": "SIM0005", "channel": 1}]},
      {"frequency_khz": 480000, "units": [{"key": "SIM0001", "channel": 1}]},
      {"frequency_khz": 481000, "units": [{"key": "SIM0002", "channel": 1}]},
      {"frequency_khz": 482000,
       "units": [{"key": "SIM0003", "channel": 1}, {"key": "SIM0004", "channel": 1}]}],
    "shared": [
      {"frequency_khz": 482000,
       "units": [{"key": "SIM0003", "channel": 1}, {"key": "SIM0004", "channel": 1}]}],
    "conflicts": [
      {"kind": "exclusion", "victim_khz": 475000, "generators_khz": []},
      {"kind": "im3_2tone", "victim_khz": 480000, "product_khz": 480000,
       "generators_khz": [481000, 482000]},
      {"kind": "im3_2tone", "victim_khz": 482000, "product_khz": 482000,
       "generators_khz": [481000, 480000]}]})");
  EXPECT_EQ(out_json(), expected);

  EXPECT_EQ(run("plan --show " + show), EXIT_FAILED);
  EXPECT_NE(out_.str().find("  482.000 MHz  SIM0003 channel 1, SIM0004 channel 1\n"),
            std::string::npos)
      << out_.str();
  EXPECT_NE(out_.str().find("conflicts (3):\n  exclusion 475.000 MHz is inside"), std::string::npos)
      << out_.str();
}

TEST_F(CoordinationCommand, ShowScanIsReadBesideTheShowAndOverriddenFromTheCommandLine) {
  write_file("venue.csv", "MHz,dBm\n481.000,-60\n490.000,-95\n");
  const std::string show = write_show(
      "show.json",
      {{"scan", {{"path", "venue.csv"}, {"threshold_dbm", -80}}}, {"exclusions", json::array()}});
  // Run from another folder: the show's relative scan path is the show's, not the caller's.
  const auto cwd = fs::current_path();
  fs::current_path("/");
  EXPECT_EQ(run("plan --json --show " + show), EXIT_FAILED);
  fs::current_path(cwd);
  const json first = out_json()["conflicts"];
  EXPECT_TRUE(std::any_of(first.begin(), first.end(), [](const json& c) {
    return c["kind"] == "scan" && c["victim_khz"] == 481000;
  })) << out_.str();

  run("plan --json --show " + show + " --scan " + (dir_ / "venue.csv").string() +
      " --threshold -50");
  const json second = out_json();
  for (const auto& conflict : second["conflicts"]) EXPECT_NE(conflict["kind"], "scan");
}

TEST_F(CoordinationCommand, CoordinateOutWritesAShowWithoutConflicts) {
  const std::string out = (dir_ / "coordinated.json").string();
  EXPECT_EQ(run("coordinate --json --show " + write_show("show.json") + " --out " + out), EXIT_OK);
  const json proposal = out_json();
  EXPECT_EQ(proposal["unplaced"], json::array());
  EXPECT_EQ(proposal["conflicts"], json::array());
  ASSERT_EQ(proposal["assignments"].size(), 4u);  // every unit but the locked one
  for (const auto& a : proposal["assignments"]) EXPECT_NE(a["key"], "SIM0001");

  EXPECT_EQ(run("plan --json --show " + out), EXIT_OK);
  EXPECT_EQ(out_json()["conflicts"], json::array());
  EXPECT_EQ(out_json()["shared"], json::array());

  // Only frequencies change: the rest of the show is as it was.
  std::ifstream in(out);
  const json written = json::parse(in);
  EXPECT_EQ(written["exclusions"][0]["note"], "TV 21");
  EXPECT_EQ(written["units"][0]["locked"], true);
  EXPECT_EQ(written["units"][0]["settings"]["channels"][0]["frequency"], 480000);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(written["units"][i]["settings"]["unit_name"],
              "Pack " + written["units"][i]["key"].get<std::string>());
  }
  for (const auto& a : proposal["assignments"]) {
    const auto index = std::stoul(a["key"].get<std::string>().substr(3)) - 1;
    EXPECT_EQ(written["units"][index]["settings"]["channels"][0]["frequency"], a["to_khz"]);
  }
}

TEST_F(CoordinationCommand, ChannelsThatDoNotFitAreListedWithTheirReason) {
  json show = json::parse(std::ifstream(write_show("show.json")));
  // 479.600-480.400 MHz leaves room for the locked 480.000 and one more 300 kHz away at most.
  for (auto& u : show["units"]) {
    u["settings"]["min_freq"] = 479600;
    u["settings"]["max_freq"] = 480400;
  }
  EXPECT_EQ(run("coordinate --json --show " + write_file("tight.json", show.dump())), EXIT_FAILED);
  const json proposal = out_json();
  EXPECT_EQ(proposal["assignments"].size() + proposal["unplaced"].size(), 4u);
  ASSERT_GE(proposal["unplaced"].size(), 2u);
  EXPECT_NE(proposal["unplaced"][0]["reason"].get<std::string>().find("blocked by spacing"),
            std::string::npos)
      << proposal;
}

TEST_F(CoordinationCommand, MaxFindsACompatibleSetInTheRange) {
  EXPECT_EQ(run("plan --max --from 470000 --to 476000 --json"), EXIT_OK);
  const json result = out_json();
  const auto frequencies = result["frequencies_khz"].get<std::vector<std::uint32_t>>();
  EXPECT_EQ(result["count"], frequencies.size());
  EXPECT_GE(frequencies.size(), 10u);
  coord::Scenario scenario;
  for (const auto f : frequencies) {
    EXPECT_TRUE(f >= 470000 && f <= 476000 && f % 25 == 0) << f;
    scenario.other_carriers.push_back({f, ""});
  }
  EXPECT_TRUE(coord::analyse(scenario).conflicts.empty());
}

TEST_F(CoordinationCommand, BadInputIsAUsageError) {
  const std::string show = write_show("show.json");
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Why a show or scan file is refused is its reader's test; here, that it is a usage error.
      {"plan --show " + (dir_ / "missing.json").string(), "missing.json"},
      {"plan --show " + show + " --scan " + (dir_ / "missing.csv").string(), "missing.csv"},
      {"plan --show " + show + " --threshold -70", "--threshold goes with --scan"},
      {"plan --max --from 476000 --to 470000", "above --to"},
      {"plan --max --from 470000", "--max needs --from KHZ and --to KHZ"},
      {"plan --max --from 470.000 --to 476000", "a frequency in kHz"},
      {"plan --max --from 470000 --to 476000 --step 12", "multiple of 5"},
      {"plan --from 470000 --to 476000", "--from and --to go with --max"},
      {"coordinate --show " + show + " --out x.json --apply", "--out and --apply"},
      {"coordinate --show " + show + " --apply", "--apply writes the connected units"},
      {"coordinate --show " + show + " --keep SIM0001 --keep SIM0009",
       "--keep SIM0009: no such unit (units: SIM0001, SIM0002, SIM0003, SIM0004, SIM0005)"},
  };
  for (const auto& [command_line, message] : cases) {
    try {
      run(command_line);
      ADD_FAILURE() << "accepted: " << command_line;
    } catch (const CliError& error) {
      EXPECT_EQ(error.status(), EXIT_USAGE) << error.what();
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace owl::cli
