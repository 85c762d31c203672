#include "show_commands.hpp"

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "owl_client.hpp"
#include "session.hpp"
#include "temp_dir.hpp"

// The commands on the built-in simulated units (SIM0001 with 10 channels, SIM0002 with 8),
// through the same engine owlctl runs.
namespace owl::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Units = std::map<std::string, UiSettings>;
using testing_support::read_file;

// The engine starts once per process; ctest runs each case in a process of its own.
Session& simulator() {
  static Session* session = [] {
    auto* started = new Session;
    started->start(true);
    started->wait_for_units(true, {}, {}, Clock::now() + std::chrono::seconds(20));
    return started;
  }();
  return *session;
}

Units units() {
  Units out;
  for (const auto& unit : client::Client::instance().units_wait()) out[unit.key] = *unit.settings;
  return out;
}

class ShowCommands : public ::testing::Test {
 protected:
  // Every command run so far in this case, its output kept for checks.
  int run(const std::function<int(CommandContext&)>& command) {
    out.str("");
    err.str("");
    return command(context);
  }

  // The exit status and message of a command that must refuse.
  int refused(const std::function<int(CommandContext&)>& command) {
    try {
      run(command);
    } catch (const CliError& error) {
      err << error.what();
      return error.status();
    }
    ADD_FAILURE() << "not refused; out: " << out.str() << " err: " << err.str();
    return EXIT_OK;
  }

  bool written_since(std::size_t cursor) {
    return simulator()
        .wait_for(
            cursor,
            [](const UiEvent& event) {
              return std::holds_alternative<ui_event::WriteResult>(event);
            },
            Clock::now())
        .has_value();
  }

  bool any_backup() {
    std::error_code error;
    return fs::exists(dir / "backups", error) && !fs::is_empty(dir / "backups", error);
  }

  // A show saved from the units as they are now, as JSON to edit.
  Json saved_show() {
    EXPECT_EQ(run([&](auto& c) { return save_all(c, (dir / "base.json").string(), "Friday"); }),
              EXIT_OK);
    return Json::parse(read_file(dir / "base.json"));
  }

  // Before the context, which keeps its backups in it.
  const testing_support::TempDir folder{"owlctl-show"};
  const fs::path dir = folder.path;
  std::ostringstream out;
  std::ostringstream err;
  CommandContext context{simulator(),
                         [](const std::vector<std::string>&) {},
                         [] { return no_unit("no unit found"); },
                         dir / "backups",
                         true,
                         out,
                         err};
};

TEST_F(ShowCommands, RoundTripRestoresEveryUnitAndUndoCanBeUndone) {
  const Units before = units();
  const Json saved = saved_show();
  ASSERT_EQ(saved["units"].size(), 2U);
  for (const auto& unit : saved["units"]) {
    EXPECT_EQ(unit["locked"], false);
    EXPECT_EQ(unit["settings"]["serial"], before.at(unit["key"]).serial);
  }
  const std::string show = (dir / "base.json").string();

  ASSERT_EQ(run([](auto& c) {
              return set_all(c,
                             {"delay_ms=120", "unit_name=Changed", "channel.2.frequency=216000",
                              "gain_boost=true"},
                             {});
            }),
            EXIT_OK);
  const Units changed = units();
  for (const auto& [key, settings] : before) EXPECT_NE(changed.at(key), settings) << key;

  // A dry run says what the load would change and leaves the units alone.
  std::size_t cursor = simulator().cursor();
  ASSERT_EQ(run([&](auto& c) { return load_show(c, show, {}, {.dry_run = true}); }), EXIT_OK);
  EXPECT_NE(out.str().find("SIM0002: unit_name: Changed -> " + before.at("SIM0002").unit_name),
            std::string::npos)
      << out.str();
  EXPECT_FALSE(written_since(cursor));
  EXPECT_EQ(units(), changed);

  ASSERT_EQ(run([&](auto& c) { return load_show(c, show, {}, {}); }), EXIT_OK);
  EXPECT_EQ(units(), before);
  EXPECT_EQ(run([&](auto& c) { return diff_show(c, show, false); }), EXIT_OK) << out.str();

  // The newest backup is the one load took: undo gives the changed settings back, and a second
  // undo (of the undo) the loaded ones.
  ASSERT_EQ(run([](auto& c) { return undo(c, "SIM0001", {}); }), EXIT_OK);
  EXPECT_EQ(units().at("SIM0001"), changed.at("SIM0001"));
  EXPECT_EQ(units().at("SIM0002"), before.at("SIM0002"));
  EXPECT_EQ(run([&](auto& c) { return diff_show(c, show, false); }), EXIT_DIFFERENT);
  EXPECT_NE(out.str().find("SIM0001: delay_ms: 120 | " +
                           std::to_string(before.at("SIM0001").delay_ms) + "\n"),
            std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find("SIM0002:"), std::string::npos) << out.str();

  cursor = simulator().cursor();
  ASSERT_EQ(run([](auto& c) { return undo(c, "SIM0001", {.dry_run = true}); }), EXIT_OK);
  EXPECT_NE(out.str().find("SIM0001: delay_ms: 120 -> "), std::string::npos) << out.str();
  EXPECT_FALSE(written_since(cursor));

  ASSERT_EQ(run([](auto& c) { return undo(c, "SIM0001", {}); }), EXIT_OK);
  EXPECT_EQ(units(), before);

  // Four backups within a second or two: newest first, each with what restoring it changes.
  ASSERT_EQ(run([](auto& c) { return list_backups_command(c, "SIM0001"); }), EXIT_OK);
  const std::string listing = out.str();
  const auto first = listing.find("\n  20");
  const auto second = listing.find("\n  20", first + 1);
  ASSERT_NE(second, std::string::npos) << listing;
  EXPECT_NE(listing.substr(first, second - first)
                .find("delay_ms: " + std::to_string(before.at("SIM0001").delay_ms) + " -> 120"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.substr(second).find("    same as the unit now"), std::string::npos) << listing;
}

TEST_F(ShowCommands, SetAllChangesOnlyTheNamedFieldsOnEveryUnitOrNone) {
  const Units before = units();
  std::size_t cursor = simulator().cursor();
  // What the dry run prints is pinned down by owlctl's own test of the bulk forms.
  ASSERT_EQ(run([](auto& c) { return set_all(c, {"delay_ms=120"}, {.dry_run = true}); }), EXIT_OK);
  EXPECT_FALSE(written_since(cursor));
  EXPECT_FALSE(any_backup());

  // Over the maximum on every unit, and a channel SIM0002 lacks: each is named, none written.
  for (const std::vector<std::string>& asked :
       {std::vector<std::string>{"delay_ms=450"},
        std::vector<std::string>{"delay_ms=120", "channel.9.enable=true"}}) {
    cursor = simulator().cursor();
    EXPECT_NE(refused([&](auto& c) { return set_all(c, asked, {}); }), EXIT_OK);
    EXPECT_NE(err.str().find("SIM0002: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("nothing was written"), std::string::npos) << err.str();
    EXPECT_FALSE(written_since(cursor));
    EXPECT_FALSE(any_backup());
    EXPECT_EQ(units(), before);
  }

  ASSERT_EQ(run([](auto& c) { return set_all(c, {"delay_ms=120"}, {}); }), EXIT_OK);
  for (const auto& [key, settings] : units()) {
    UiSettings expected = before.at(key);
    expected.delay_ms = 120;
    EXPECT_EQ(settings, expected) << key;
  }
}

TEST_F(ShowCommands, RefusedShowsNameTheOffendingValueAndWriteNothing) {
  Json unknown_field = saved_show();
  unknown_field["units"][1]["settings"]["dely_ms"] = 5;
  const fs::path fifo = dir / "fifo.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Each refusal's text is the show reader's, pinned down by its own test; here, that load and
  // diff use it with the settings check, and open nothing that is no show file.
  const std::pair<fs::path, std::string> cases[] = {
      {folder.write("unknown-field.json", unknown_field.dump(2)),
       ": units[1].settings.dely_ms: unknown field"},
      {fifo, ": not a regular file"},
  };
  const Units before = units();
  const std::size_t cursor = simulator().cursor();
  for (const auto& [file, expected] : cases) {
    const std::string path = file.string();
    SCOPED_TRACE(path);
    EXPECT_EQ(refused([&](auto& c) { return load_show(c, path, {}, {}); }), EXIT_FAILED);
    EXPECT_NE(err.str().find("owlctl: " + path + expected), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("nothing was written"), std::string::npos);
    // diff says trouble with the file apart from "they differ".
    EXPECT_EQ(refused([&](auto& c) { return diff_show(c, path, false); }), EXIT_USAGE);
  }
  // And the other way round: a show where one unit's settings file is expected.
  CommandWords words;
  words.args = {"SIM0001", (dir / "base.json").string()};
  EXPECT_EQ(refused([&](auto& c) { return load_dry_run(c, words); }), EXIT_FAILED);
  EXPECT_NE(err.str().find("this is a show file, not a single-unit settings file"),
            std::string::npos)
      << err.str();
  EXPECT_FALSE(written_since(cursor));
  EXPECT_FALSE(any_backup());
  EXPECT_EQ(units(), before);
}

TEST_F(ShowCommands, LoadShowNamesUnitsOnOneSideOnlyAndIsAllOrNothing) {
  const Units before = units();
  Json show = saved_show();
  show["units"][0]["settings"]["delay_ms"] = 50;
  show["units"][1]["settings"]["delay_ms"] = 450;
  Json absent = show["units"][0];
  absent["key"] = "SIM0009";
  show["units"].push_back(absent);
  const std::string path = folder.write("show.json", show.dump(2)).string();

  std::size_t cursor = simulator().cursor();
  EXPECT_EQ(refused([&](auto& c) { return load_show(c, path, {}, {}); }), EXIT_FAILED);
  EXPECT_NE(err.str().find("SIM0002: delay"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("SIM0009: in the show, not connected"), std::string::npos) << err.str();
  EXPECT_FALSE(written_since(cursor));
  EXPECT_FALSE(any_backup());

  EXPECT_EQ(refused([&](auto& c) { return load_show(c, path, {"SIM0009"}, {}); }), EXIT_NO_UNIT);
  EXPECT_EQ(refused([&](auto& c) { return load_show(c, path, {"SIM0077"}, {}); }), EXIT_USAGE);
  EXPECT_FALSE(written_since(cursor));

  // A unit keeps its own number of channels: the dry run says what the write then does.
  Json short_plan = show;
  Json& channels = short_plan["units"][0]["settings"]["channels"];
  channels.erase(channels.begin() + 3, channels.end());
  short_plan["units"][0]["settings"]["channels"][0]["frequency"] = 216500;
  const std::string short_path = folder.write("short.json", short_plan.dump(2)).string();
  ASSERT_EQ(run([&](auto& c) { return load_show(c, short_path, {"SIM0001"}, {.dry_run = true}); }),
            EXIT_OK);
  EXPECT_EQ(out.str(), "SIM0001: delay_ms: " + std::to_string(before.at("SIM0001").delay_ms) +
                           " -> 50\nSIM0001: channel.1.frequency: " +
                           std::to_string(before.at("SIM0001").channels[0].frequency) +
                           " -> 216500\n");
  EXPECT_NE(err.str().find("channels 4-10 keep the unit's values"), std::string::npos);
  ASSERT_EQ(run([&](auto& c) { return load_show(c, short_path, {"SIM0001"}, {}); }), EXIT_OK);
  UiSettings expected = before.at("SIM0001");
  expected.delay_ms = 50;
  expected.channels[0].frequency = 216500;
  EXPECT_EQ(units().at("SIM0001"), expected);

  ASSERT_EQ(run([&](auto& c) { return load_show(c, path, {"SIM0001"}, {}); }), EXIT_OK);
  UiSettings loaded = before.at("SIM0001");
  loaded.delay_ms = 50;
  EXPECT_EQ(units().at("SIM0001"), loaded);
  EXPECT_EQ(units().at("SIM0002"), before.at("SIM0002"));

  show["units"].erase(1);
  folder.write("show.json", show.dump(2));
  EXPECT_EQ(run([&](auto& c) { return diff_show(c, path, true); }), EXIT_DIFFERENT);
  const auto report = nlohmann::json::parse(out.str());
  ASSERT_EQ(report.size(), 3U);
  EXPECT_EQ(report[0]["key"], "SIM0001");
  EXPECT_EQ(report[0]["state"], "same");
  EXPECT_EQ(report[1]["key"], "SIM0009");
  EXPECT_EQ(report[1]["state"], "not connected");
  EXPECT_EQ(report[2]["key"], "SIM0002");
  EXPECT_EQ(report[2]["state"], "not in show");

  ASSERT_EQ(run([](auto& c) { return check_json(c, "SIM0001", {"delay_ms=450"}, {}); }),
            EXIT_FAILED);
  const auto check = nlohmann::json::parse(out.str());
  EXPECT_EQ(check["acceptable"], false);
  EXPECT_EQ(check["problems"].size(), 1U);
}

TEST_F(ShowCommands, SavingOntoAShowUpdatesItAndKeepsThePlan) {
  Json show = saved_show();
  show["profile"]["carrier_spacing_khz"] = 400;
  show["exclusions"] = Json::parse(R"([{"from_khz": 470000, "to_khz": 476000, "note": "TV 21"}])");
  show["units"][0]["locked"] = true;
  show["units"][0]["settings"]["delay_ms"] = 333;
  Json offline = show["units"][1];
  offline["key"] = "SIM0009";
  show["units"].push_back(offline);
  const fs::path path = folder.write("friday.json", show.dump(2));

  // The connected units' settings are taken from the units; the rest of the plan stays.
  ASSERT_EQ(run([&](auto& c) { return save_all(c, path.string(), ""); }), EXIT_OK);
  EXPECT_NE(err.str().find("kept as they were in the show (not connected): SIM0009"),
            std::string::npos)
      << err.str();
  const Json saved = Json::parse(read_file(path));
  EXPECT_EQ(saved["name"], "Friday");
  EXPECT_EQ(saved["profile"]["carrier_spacing_khz"], 400);
  EXPECT_EQ(saved["exclusions"], show["exclusions"]);
  ASSERT_EQ(saved["units"].size(), 3U);
  EXPECT_EQ(saved["units"][0]["locked"], true);
  EXPECT_EQ(saved["units"][0]["settings"]["delay_ms"],
            units().at(saved["units"][0]["key"]).delay_ms);
  EXPECT_EQ(saved["units"][2], offline);

  // A file under the name that is not a show is not overwritten.
  const fs::path other = folder.write("notes.json", "{\"todo\": 1}\n");
  EXPECT_EQ(refused([&](auto& c) { return save_all(c, other.string(), ""); }), EXIT_FAILED);
  EXPECT_NE(err.str().find("is not a show that can be updated"), std::string::npos) << err.str();
  EXPECT_EQ(read_file(other), "{\"todo\": 1}\n");
}

}  // namespace
}  // namespace owl::cli
