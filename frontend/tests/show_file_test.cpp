#include "show_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "temp_dir.hpp"

namespace owl::frontend {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using testing_support::read_file;
using testing_support::TempDir;

// Stands in for owlctl's settings-file reader: a few fields, unknown ones refused.
std::vector<ShowProblem> check_settings(const Json& settings) {
  std::vector<ShowProblem> problems;
  for (const auto& item : settings.items()) {
    const std::string& key = item.key();
    if (key != "unit_name" && key != "serial" && key != "delay_ms" && key != "min_freq" &&
        key != "max_freq" && key != "channels") {
      problems.push_back({key, "unknown field"});
    }
  }
  if (settings.contains("channels") && !settings["channels"].is_array()) {
    problems.push_back({"channels", "must be an array"});
  }
  return problems;
}

std::vector<std::string> problem_texts(const ShowReadResult& result) {
  std::vector<std::string> out;
  if (const auto* problems = std::get_if<std::vector<ShowProblem>>(&result)) {
    for (const auto& problem : *problems) out.push_back(problem.text());
  }
  return out;
}

Json unit_settings(const std::string& name, std::uint32_t serial) {
  return Json{{"unit_name", name},  {"serial", serial},
              {"delay_ms", 0},      {"min_freq", 470000},
              {"max_freq", 608000}, {"channels", Json::array({{{"frequency", 482350}}})}};
}

Show full_show() {
  Show show;
  show.name = "Bühne, Friday";
  show.profile = {400, 150, 50, 25};
  show.exclusions = {{470000, 476000, "TV 21"}};
  show.other_carriers = {{482350, "house intercom"}};
  show.scan = ScanRef{"venue-scan.csv", -80};
  show.units = {{"SIM0001", false, unit_settings("Vox 1", 1)},
                {"SIM0002", true, unit_settings("Vox 2", 2)}};
  return show;
}

constexpr const char* FULL_TEXT = R"({
  "format": "owl-show",
  "version": 1,
  "name": "Bühne, Friday",
  "profile": {
    "carrier_spacing_khz": 400,
    "im3_2tone_khz": 150,
    "im3_3tone_khz": 50,
    "im5_2tone_khz": 25
  },
  "exclusions": [
    {
      "from_khz": 470000,
      "to_khz": 476000,
      "note": "TV 21"
    }
  ],
  "other_carriers": [
    {
      "frequency_khz": 482350,
      "note": "house intercom"
    }
  ],
  "scan": {
    "path": "venue-scan.csv",
    "threshold_dbm": -80
  },
  "units": [
    {
      "key": "SIM0001",
      "locked": false,
      "settings": {
        "unit_name": "Vox 1",
        "serial": 1,
        "delay_ms": 0,
        "min_freq": 470000,
        "max_freq": 608000,
        "channels": [
          {
            "frequency": 482350
          }
        ]
      }
    },
    {
      "key": "SIM0002",
      "locked": true,
      "settings": {
        "unit_name": "Vox 2",
        "serial": 2,
        "delay_ms": 0,
        "min_freq": 470000,
        "max_freq": 608000,
        "channels": [
          {
            "frequency": 482350
          }
        ]
      }
    }
  ]
}
)";

TEST(ShowFile, RoundTripIsByteExact) {
  const TempDir dir;
  const fs::path path = dir.path / "show.json";
  const Show show = full_show();
  ASSERT_EQ(write_show(path, show), std::nullopt);
  EXPECT_EQ(read_file(path), FULL_TEXT);
  const ShowReadResult read = read_show(path, check_settings);
  ASSERT_TRUE(std::holds_alternative<Show>(read)) << problem_texts(read).front();
  EXPECT_EQ(std::get<Show>(read), show);
  EXPECT_EQ(show_to_text(std::get<Show>(read)), FULL_TEXT);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"show.json"});  // no temporary left
}

TEST(ShowFile, AbsentPartsTakeDefaultsAndAreWrittenOut) {
  const auto read = parse_show(R"({"format": "owl-show", "version": 1, "name": "", "units": []})",
                               check_settings);
  ASSERT_TRUE(std::holds_alternative<Show>(read));
  const Show& show = std::get<Show>(read);
  EXPECT_EQ(show.profile, (CoordinationProfile{300, 100, 50, 0}));
  EXPECT_FALSE(show.scan.has_value());
  EXPECT_EQ(show_to_text(show), R"({
  "format": "owl-show",
  "version": 1,
  "name": "",
  "profile": {
    "carrier_spacing_khz": 300,
    "im3_2tone_khz": 100,
    "im3_3tone_khz": 50,
    "im5_2tone_khz": 0
  },
  "exclusions": [],
  "other_carriers": [],
  "units": []
}
)");
  // A partial profile keeps the defaults of the members it leaves out; notes may be left out.
  const auto partial = parse_show(
      R"({"format": "owl-show", "version": 1, "name": "x", "profile": {"im3_3tone_khz": 60},
          "exclusions": [{"from_khz": 5, "to_khz": 5}], "units": []})",
      check_settings);
  ASSERT_TRUE(std::holds_alternative<Show>(partial));
  EXPECT_EQ(std::get<Show>(partial).profile, (CoordinationProfile{300, 100, 60, 0}));
  EXPECT_EQ(std::get<Show>(partial).exclusions, (std::vector<Exclusion>{{5, 5, "", false}}));
}

TEST(ShowFile, WritesInvalidUtf8FromAUnitAsReplacementCharacters) {
  Show show;
  show.name = "Vox\xff 1";
  const std::string text = show_to_text(show);
  EXPECT_NE(text.find("\"name\": \"Vox\xEF\xBF\xBD 1\""), std::string::npos);
  const auto read = parse_show(text, check_settings);
  ASSERT_TRUE(std::holds_alternative<Show>(read));
  EXPECT_EQ(std::get<Show>(read).name, "Vox\xEF\xBF\xBD 1");
}

TEST(ShowFile, ScanPathIsRelativeToTheShowFile) {
  Show show;
  EXPECT_EQ(scan_file(show, "/shows/a/main.json"), std::nullopt);
  show.scan = ScanRef{"scans/venue.csv", -80};
  EXPECT_EQ(scan_file(show, "/shows/a/main.json"), fs::path("/shows/a/scans/venue.csv"));
  EXPECT_EQ(scan_file(show, "main.json"), fs::path("scans/venue.csv"));
  show.scan->path = "/data/venue.csv";
  EXPECT_EQ(scan_file(show, "/shows/a/main.json"), fs::path("/data/venue.csv"));

  // A level between whole dBm survives the round trip; a whole one is written without ".0".
  show.scan->threshold_dbm = -82.5;
  const std::string text = show_to_text(show);
  EXPECT_NE(text.find("\"threshold_dbm\": -82.5\n"), std::string::npos);
  const auto read = parse_show(text, check_settings);
  ASSERT_TRUE(std::holds_alternative<Show>(read));
  EXPECT_EQ(std::get<Show>(read), show);
}

// A valid show with one unit, with `units_tail` appended inside the units array and `extra`
// appended to the top-level object.
std::string show_text(const std::string& units_tail, const std::string& extra = "") {
  return R"({"format": "owl-show", "version": 1, "name": "n", "units": [
    {"key": "A", "locked": false,
     "settings": {"unit_name": "a", "serial": 1, "min_freq": 1, "max_freq": 2}})" +
         units_tail + "]" + extra + "}";
}

TEST(ShowFile, RefusalsNameTheOffendingValue) {
  const std::string unit =
      R"(, {"key": "B", "settings": {"serial": 1, "min_freq": 1, "max_freq": 2)";
  const struct {
    std::string text;
    std::vector<std::string> problems;
  } cases[] = {
      // Syntax, with line and column.
      {"{\"format\": \"owl-show\",\n  \"version\": 1,\n  \"name\": x}",
       {"bad JSON at line 3, column 11: syntax error while parsing value - invalid literal; "
        "last read: '\"name\": x'"}},
      {"",
       {"bad JSON at line 1, column 1: syntax error while parsing value - unexpected end of "
        "input; expected '[', '{', or a literal"}},
      {"{\"name\": \"\xff\"}",
       {"bad JSON at line 1, column 11: syntax error while parsing value - invalid string: "
        "ill-formed UTF-8 byte; last read: '\"\xff'"}},
      {"{\"format\": \"owl-show\",\n \"version\": 1e999}",
       {"bad JSON at line 2, column 17: number overflow parsing '1e999'"}},
      {"{\"name\": \"a\nb\"}",
       {"bad JSON at line 2, column 0: syntax error while parsing value - "
        "invalid string: control character U+000A (LF) must be escaped to "
        "\\u000A or \\n; last read: '\"a<U+000A>'"}},
      // Duplicate object keys, anywhere, also inside a refused duplicate.
      {R"({"a": 1, "a": {"b": 1, "b": 2, "c": 3}, "a": [{"d": 1, "d": 2}]})",
       {"a: duplicate key", "a.b: duplicate key", "a: duplicate key", "a[0].d: duplicate key",
        "format: missing field; this is not a show file"}},
      {show_text("", R"(, "name": "again")"), {"name: duplicate key"}},
      {show_text(unit + R"(, "serial": 2}})"), {"units[1].settings.serial: duplicate key"}},
      // What the file is.
      {R"({"unit_name": "a", "channels": []})",
       {"this is a single-unit settings file (as `owlctl save` writes), not a show file"}},
      {R"({"units": []})", {"format: missing field; this is not a show file"}},
      {R"([1])", {"expected a JSON object: a show file"}},
      {R"({"format": "owl-shows", "version": 1})",
       {R"(format: must be "owl-show", not "owl-shows")"}},
      {R"({"format": "owl-show", "version": 2, "colour": 1})",
       {"version: 2 is newer than this program reads (1); update OWL Configurator"}},
      {R"({"format": "owl-show", "version": 0})",
       {"version: must be a whole number from 1, not 0"}},
      {R"({"format": "owl-show", "version": 1.0})",
       {"version: must be a whole number from 1, not 1.0"}},
      // Fields: unknown, missing, wrong types, all listed at once.
      {show_text("", R"(, "colour": "red", "profile": {"im7_khz": 1, "im3_2tone_khz": -1})"),
       {"colour: unknown field", "profile.im7_khz: unknown field",
        "profile.im3_2tone_khz: must be a whole number from 0 to 4294967295, not -1"}},
      {R"({"format": "owl-show", "version": 1, "name": 5, "exclusions": {}, "scan": null})",
       {"name: must be a string, not 5", "exclusions: must be an array, not {}",
        "scan: must be an object, not null", "units: missing field"}},
      {show_text("", R"(, "exclusions": [{"from_khz": 1.5, "to_khz": 4294967296, "note": 3}, 7])"),
       {"exclusions[0].from_khz: must be a whole number from 0 to 4294967295, not 1.5",
        "exclusions[0].to_khz: must be a whole number from 0 to 4294967295, not 4294967296",
        "exclusions[0].note: must be a string, not 3", "exclusions[1]: must be an object, not 7"}},
      {show_text("", R"(, "exclusions": [{"from_khz": 9, "to_khz": 8}])"),
       {"exclusions[0].to_khz: below from_khz (9)"}},
      {show_text(
           "",
           R"(, "other_carriers": [{"note": "x"}], "scan": {"path": "", "threshold_dbm": "-80"})"),
       {"other_carriers[0].frequency_khz: missing field", "scan.path: must not be empty",
        R"(scan.threshold_dbm: must be a number, not "-80")"}},
      // Units.
      {show_text(R"(, {"key": "A", "locked": "no", "settings": []}, {"key": ""}, "B")"),
       {R"(units[1].key: duplicate unit key "A" (also units[0]))",
        R"(units[1].locked: must be true or false, not "no")",
        "units[1].settings: must be an object, not []", "units[2].key: must not be empty",
        "units[2].settings: missing field", R"(units[3]: must be an object, not "B")"}},
      {show_text(unit + R"(}, "sort": 1})"), {"units[1].sort: unknown field"}},
      {show_text(R"(, {"key": "B", "settings": {"unit_name": "b", "max_freq": 2}})"),
       {"units[1].settings.serial: missing field", "units[1].settings.min_freq: missing field"}},
      // The settings reader's own problems, under the unit's path.
      {show_text(unit + R"(, "dely_ms": 1, "channels": 3}})"),
       {"units[1].settings.dely_ms: unknown field",
        "units[1].settings.channels: must be an array"}},
      // Nesting no show has.
      {show_text("", R"(, "name2": )" + std::string(40, '[') + std::string(40, ']')),
       {"name2[0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0][0]"
        "[0][0][0][0]: nested deeper than 32 levels"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(problem_texts(parse_show(c.text, check_settings)), c.problems) << c.text;
  }
}

TEST(ShowFile, ListsAtMostAHundredProblems) {
  std::string extra;
  for (int i = 0; i < 150; ++i) extra += ", \"x" + std::to_string(i) + "\": 0";
  const auto problems = problem_texts(parse_show(show_text("", extra), check_settings));
  ASSERT_EQ(problems.size(), 101U);
  EXPECT_EQ(problems[99], "x99: unknown field");
  EXPECT_EQ(problems[100], "more problems not listed");
}

TEST(ShowFile, SettingsCheckSeesOnlyCompleteSettingsObjects) {
  std::vector<Json> seen;
  const SettingsCheck spy = [&](const Json& settings) {
    seen.push_back(settings);
    return std::vector<ShowProblem>{{"", "refused as a whole"}};
  };
  EXPECT_EQ(problem_texts(parse_show(show_text(R"(, {"key": "B", "settings": {}})"), spy)),
            (std::vector<std::string>{"units[0].settings: refused as a whole",
                                      "units[1].settings.serial: missing field",
                                      "units[1].settings.min_freq: missing field",
                                      "units[1].settings.max_freq: missing field"}));
  ASSERT_EQ(seen.size(), 1U);
  EXPECT_EQ(seen[0]["unit_name"], "a");
  EXPECT_THROW(parse_show("{}", SettingsCheck{}), std::invalid_argument);
}

TEST(ShowFile, TellsShowFilesFromSettingsFiles) {
  EXPECT_TRUE(is_show_document(nlohmann::json::parse(show_text(""))));
  EXPECT_TRUE(is_show_document(nlohmann::json::parse(R"({"format": "owl-show", "version": 9})")));
  EXPECT_FALSE(is_show_document(nlohmann::json::parse(R"({"unit_name": "a", "channels": []})")));
  EXPECT_FALSE(is_show_document(nlohmann::json::parse(R"({"format": "other"})")));
  EXPECT_FALSE(is_show_document(nlohmann::json::parse(R"(["owl-show"])")));
}

TEST(ShowFile, RefusesWhatIsNotAShowFileBeforeReadingIt) {
  const TempDir dir;
  const fs::path fifo = dir.path / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Nobody writes to the FIFO: a blocking open or read would hang the test here.
  EXPECT_EQ(problem_texts(read_show(fifo, check_settings)),
            std::vector<std::string>{"not a regular file; a show is read from a file"});
  EXPECT_EQ(problem_texts(read_show(dir.path, check_settings)),
            std::vector<std::string>{"a folder, not a show file"});
  EXPECT_EQ(problem_texts(read_show(dir.path / "absent.json", check_settings)),
            std::vector<std::string>{"cannot read: No such file or directory"});

  const std::string too_large = "larger than 4 MiB; a show file is far smaller, so this is not one";
  // Sparse: the size alone must refuse it.
  const fs::path big = dir.write("big.json", "");
  fs::resize_file(big, MAX_SHOW_BYTES + 1);
  EXPECT_EQ(problem_texts(read_show(big, check_settings)), std::vector<std::string>{too_large});
  // Exactly at the limit is read.
  std::string padded = show_text("");
  padded.resize(MAX_SHOW_BYTES, ' ');
  const ShowReadResult at_limit = read_show(dir.write("limit.json", padded), check_settings);
  EXPECT_TRUE(std::holds_alternative<Show>(at_limit));
  padded.push_back(' ');
  EXPECT_EQ(problem_texts(parse_show(padded, check_settings)), std::vector<std::string>{too_large});
}

TEST(ShowFile, FailedWriteLeavesTheOldFileIntact) {
  const TempDir dir;
  const fs::path path = dir.write("show.json", "old show\n");
  ::chmod(path.c_str(), 0640);

  // The file size limit makes write() fail with EFBIG, as a full disk would with ENOSPC.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto failure = write_show(path, full_show());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(failure, "cannot write " + path.string() + ": File too large");
  EXPECT_EQ(read_file(path), "old show\n");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"show.json"});

  // A folder or a pipe under the name is refused and stays as it was, also behind a link.
  fs::create_directories(dir.path / "taken" / "inside");
  EXPECT_EQ(write_show(dir.path / "taken", full_show()),
            "cannot write " + (dir.path / "taken").string() + ": not a regular file");
  EXPECT_TRUE(fs::is_directory(dir.path / "taken" / "inside"));
  ASSERT_EQ(::mkfifo((dir.path / "pipe").c_str(), 0600), 0);
  fs::create_symlink("pipe", dir.path / "to-pipe");
  EXPECT_EQ(write_show(dir.path / "to-pipe", full_show()),
            "cannot write " + (dir.path / "to-pipe").string() + ": not a regular file");
  EXPECT_TRUE(fs::is_fifo(dir.path / "pipe"));
  EXPECT_TRUE(fs::is_symlink(dir.path / "to-pipe"));
  fs::remove(dir.path / "pipe");
  fs::remove(dir.path / "to-pipe");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"show.json", "taken"}));

  // A successful replacement keeps the permissions the user gave the file.
  ASSERT_EQ(write_show(path, full_show()), std::nullopt);
  EXPECT_EQ(read_file(path), FULL_TEXT);
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Saved through a link, the file it points to is replaced and the link stays a link.
  const fs::path real = dir.write("shows/friday.json", "old show\n");
  fs::create_symlink("shows/friday.json", dir.path / "current.json");
  ASSERT_EQ(write_show(dir.path / "current.json", full_show()), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(dir.path / "current.json"));
  EXPECT_EQ(read_file(real), FULL_TEXT);
  // A link to nothing yet: the file is made where it points.
  fs::create_symlink("shows/saturday.json", dir.path / "next.json");
  ASSERT_EQ(write_show(dir.path / "next.json", full_show()), std::nullopt);
  EXPECT_EQ(read_file(dir.path / "shows" / "saturday.json"), FULL_TEXT);
}

TEST(ShowFile, WritingAShowTheReaderWouldRefuseIsAProgramFault) {
  const std::function<void(Show&)> spoils[] = {
      [](Show& s) { s.units[1].key = "SIM0001"; },
      [](Show& s) { s.units[0].settings.erase("max_freq"); },
      [](Show& s) { s.exclusions[0].to_khz = 1; }};
  for (const auto& spoil : spoils) {
    Show show = full_show();
    spoil(show);
    EXPECT_THROW(show_to_text(show), std::invalid_argument);
    const TempDir dir;
    EXPECT_THROW(write_show(dir.path / "x.json", show), std::invalid_argument);
    EXPECT_TRUE(dir.names().empty());
  }
}

}  // namespace
}  // namespace owl::frontend
