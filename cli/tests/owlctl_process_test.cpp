#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_sysfs.hpp"
#include "temp_dir.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Args = std::vector<std::string>;
using owl::testing_support::read_file;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A running owlctl whose standard output and error go to files, so neither is a terminal.
class Child {
 public:
  // The environment is this process's own: each case runs in a process of its own.
  Child(const Args& args, const fs::path& dir, const std::string& input = "/dev/null")
      : out_(dir / "stdout"), err_(dir / "stderr") {
    Args argv_text{OWLCTL_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&files);
  }

  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool read_until(const std::string& text, Clock::time_point deadline) {
    while (read_file(out_).find(text) == std::string::npos) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  void signal(int number) { ::kill(pid_, number); }

  Outcome finish(Clock::time_point deadline) {
    int raw = 0;
    while (::waitpid(pid_, &raw, WNOHANG) == 0) {
      if (Clock::now() > deadline) ::kill(pid_, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), read_file(out_),
            read_file(err_)};
  }

 private:
  fs::path out_;
  fs::path err_;
  pid_t pid_ = -1;
};

class Owlctl : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
    ::setenv("HOME", home_.c_str(), 1);
  }

  Outcome run(const Args& args, const std::string& input = "/dev/null") {
    return Child(args, home_, input).finish(Clock::now() + std::chrono::seconds(60));
  }

  Outcome sim(Args args, const std::string& input = "/dev/null") {
    args.insert(args.begin(), "--simulator");
    return run(args, input);
  }

  std::vector<fs::path> backups(const std::string& key) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(data_ / "owl" / "backups" / key, error)) {
      files.push_back(entry.path());
    }
    return files;
  }

  static nlohmann::json read_json(const fs::path& path) {
    return nlohmann::json::parse(read_file(path));
  }

  const owl::testing_support::TempDir home_dir_{"owlctl-test"};
  const fs::path home_ = home_dir_.path;
  const fs::path data_ = home_ / "data";
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(Owlctl, ListAndShow) {
  const auto r = sim({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0].rfind("SIM0001  SIM-1001  simulator", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("SIM0002  SIM-1002  simulator", 0), 0u) << lines[1];

  const auto listed = sim({"list", "--json"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const auto json = nlohmann::json::parse(listed.out);
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["key"], "SIM0001");
  EXPECT_EQ(json[1]["settings"]["unit_name"], "SIM-1002");

  const auto shown = sim({"show", "SIM0002"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out, json[1]["settings_json"].get<std::string>() + "\n");
  EXPECT_EQ(nlohmann::json::parse(shown.out)["unitName"], "SIM-1002");
}

// The forms that share a command with another form: what each takes is counted when run.
TEST_F(Owlctl, ShowAndBulkFormsOnTheCommandLine) {
  const std::string show = (home_ / "show.json").string();
  const auto saved = sim({"save", "--all", "--name", "Friday", show});
  ASSERT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(read_json(show)["name"], "Friday");
  const auto same = sim({"diff", "--show", show});
  EXPECT_EQ(same.status, 0) << same.out << same.err;
  const auto dry = sim({"set", "--all", "--dry-run", "delay_ms=120"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "SIM0001: delay_ms: 0 -> 120\nSIM0002: delay_ms: 0 -> 120\n");
  const auto loaded = sim({"load", "--show", show, "--only", "SIM0002"});
  EXPECT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_NE(loaded.err.find("SIM0002: already as in the show; not written"), std::string::npos);
  EXPECT_TRUE(backups("SIM0002").empty());
  for (const Args& args :
       {Args{"save", "--all"}, Args{"save", "--all", show, "x.json"}, Args{"save", "SIM0001"},
        Args{"set", "--all"}, Args{"diff", "SIM0001"}, Args{"diff", "--show", show, "SIM0001"},
        Args{"load", "--show", show, "SIM0001", "x.json"},
        Args{"load", "--only", "SIM0001", "SIM0001", show}, Args{"undo"}}) {
    const auto r = sim(args);
    EXPECT_EQ(r.status, 2) << args.front() << " (" << args.size() << " words): " << r.err;
  }
}

TEST_F(Owlctl, SetBacksUpThenPrintsWhatTheUnitReported) {
  const auto r = sim({"set", "SIM0001", "delay_ms=120", "hph_mode=stereo",
                      "channel.3.frequency=216000", "channel.2.enable=true"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "delay_ms=120\nhph_mode=STEREO\nchannel.3.frequency=216000\nchannel.2.enable=true\n");
  EXPECT_EQ(r.err.find('\r'), std::string::npos);  // not a terminal: no spinner
  const auto files = backups("SIM0001");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(r.err.find(files[0].string()), std::string::npos) << r.err;
  EXPECT_EQ(read_json(files[0])["delay_ms"], 0);
  EXPECT_NE(r.err.find("note: simulated units start afresh in every run of owlctl"),
            std::string::npos)
      << r.err;

  ASSERT_EQ(sim({"set", "--no-backup", "SIM0002", "delay_ms=120"}).status, 0);
  EXPECT_TRUE(backups("SIM0002").empty());
  ::unsetenv("XDG_DATA_HOME");
  ASSERT_EQ(sim({"set", "SIM0002", "led=dim"}).status, 0);
  const fs::path dir = home_ / ".local" / "share" / "owl" / "backups" / "SIM0002";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(Owlctl, RefusalsAndExitStatuses) {
  const std::string s = "--simulator";
  const std::string absent = "no unit SIM0009 found (units: SIM0001, SIM0002)";
  struct Case {
    Args args;
    int status;
    std::string says;  // on standard output when it succeeds, else on standard error
  };
  const Case cases[] = {
      {{s, "check", "SIM0001", "delay_ms=400"}, 0, "acceptable"},
      {{s, "check", "SIM0002", "channel.1.frequency=230000"},
       1,
       "channel 1: 230000 kHz is outside"},
      {{s, "set", "SIM0001", "delay_ms=450"}, 1, "delay 450 ms is over the 400 ms maximum"},
      {{s, "set", "SIM0001", "rf_mode=FM_ANALOG"}, 2, "rf_mode is read-only"},
      {{s, "check", "SIM0001", "rf_mode=FM_ANALOG"}, 2, "rf_mode is read-only"},
      {{s, "show", "SIM0009"}, 3, absent},
      {{s, "set", "SIM0009", "delay_ms=1"}, 3, absent},
      {{s, "save", "SIM0009", "x"}, 3, absent},
      {{s, "diff", "SIM0001", "SIM0009"}, 3, absent},
      {{"--version"}, 0, "owlctl 0.1.0 (engine 0.1.0)\n"},
      {{}, 2, "no command given; commands are list, show,"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'; commands are list, show,"},
      {{s, "lst"}, 2, "unknown command 'lst' (did you mean 'list'?)"},
      {{"--wait", "3", "sett", "K", "a=1"}, 2, "unknown command 'sett' (did you mean 'set'?)"},
      {{s, "set", "SIM0001"}, 2, ""},
      {{"--wait", "-1", "list"}, 2, "--wait takes a number of seconds from 0 to 3600, not '-1'"},
      {{"--wait", "soon", "list"}, 2, "not 'soon'"},
      {{"--wait", "", s, "list"}, 2, "not ''"},
      {{"--wait", "1e300", "list"}, 2, "not '1e300'"},
      {{s, "load", "SIM0001"}, 2, "load takes KEY FILE, or --all FILE, not 1 argument"},
      {{s, "load", "a", "b", "c"}, 2, "load takes KEY FILE, or --all FILE, not 3 arguments"},
      {{s, "load", "--all", "a.json", "b.json"}, 2, "not 2 arguments"},
      {{"list", "--colour"}, 2, "unexpected argument '--colour' (see owlctl list --help)"},
      {{s, "show", "SIM0001", "b", "c"}, 2, "unexpected arguments 'b c' (see owlctl show --help)"},
      {{"--wait"}, 2, "--wait needs a value (see owlctl --help)"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const auto started = Clock::now();
    const auto r = run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.says), std::string::npos) << r.out << r.err;
    if (c.status != 0) {
      EXPECT_FALSE(r.err.empty());
      EXPECT_EQ(r.out, "");
    }
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
  }
  EXPECT_FALSE(fs::exists(data_ / "owl"));  // none of them wrote or backed up anything
}

TEST_F(Owlctl, HelpIsAManualPagePerCommand) {
  for (const char* command : {"list", "show", "check", "set", "save", "load", "watch", "diff",
                              "doctor", "backups", "undo"}) {
    const auto r = run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    for (const char* section :
         {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES"}) {
      EXPECT_NE(r.out.find(section), std::string::npos) << command << " lacks " << section;
    }
    EXPECT_NE(r.out.find(std::string("owlctl ") + command), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--help  "), std::string::npos) << r.out;
    for (const char* noise : {"ARGS", "(1x)", "TEXT", "REQUIRED", "FLOAT", "Print this help"}) {
      EXPECT_EQ(r.out.find(noise), std::string::npos) << command << " shows " << noise;
    }
  }
  const auto load = run({"load", "--help"});
  EXPECT_NE(load.out.find("SYNOPSIS\n    owlctl load [OPTIONS] KEY FILE\n"
                          "    owlctl load [OPTIONS] --all FILE\n"),
            std::string::npos)
      << load.out;
}

TEST_F(Owlctl, SaveDiffAndLoad) {
  const fs::path file = home_ / "unit.json";
  ASSERT_EQ(sim({"save", "SIM0001", file.string()}).status, 0);
  const auto same = sim({"diff", "SIM0001", file.string()});
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(same.out, "");
  auto json = read_json(file);
  EXPECT_EQ(json["unit_name"], "SIM-1001");
  // diff compares as load reads: in any case, and without the read-only fields.
  json["hph_mode"] = "mono";
  json.erase("serial");
  json.erase("rf_mode");
  std::ofstream(file) << json.dump();
  const auto canonical = sim({"diff", "SIM0001", file.string()});
  EXPECT_EQ(canonical.status, 0) << canonical.out << canonical.err;
  EXPECT_EQ(canonical.out, "");
  json["hph_mode"] = "stereo";
  std::ofstream(file) << json.dump();
  const auto piped = sim({"diff", "SIM0001", "-"}, file.string());
  EXPECT_EQ(piped.status, 1) << piped.err;
  EXPECT_EQ(piped.out, "hph_mode: MONO | STEREO\n");
  EXPECT_EQ(sim({"diff", "SIM0001", "./absent.json"}).status, 2);  // trouble, not "different"
  json["hph_mode"] = "MONO";
  json["delay_ms"] = 120;
  std::ofstream(file) << json.dump(2);
  const auto one = sim({"load", "SIM0001", file.string()});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, "SIM0001: confirmed\n");
  // SIM0001's channels lie inside SIM0002's band too; SIM0002 keeps its own channel count.
  const auto all = sim({"load", "--all", file.string()});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, "SIM0001: confirmed\nSIM0002: confirmed\n");
  EXPECT_EQ(backups("SIM0001").size(), 2u);
  EXPECT_EQ(backups("SIM0002").size(), 1u);

  const auto units = sim({"diff", "SIM0001", "SIM0002"});
  EXPECT_EQ(units.status, 1) << units.err;
  // The rows of a difference in channel count are Form.DiffListsChangedFieldsInOrder's.
  EXPECT_NE(units.out.find("unit_name: SIM-1001 | SIM-1002\n"), std::string::npos) << units.out;

  // SIM0002's channels lie outside SIM0001's band: a write to all units is refused as a whole.
  ASSERT_EQ(sim({"save", "SIM0002", file.string()}).status, 0);
  const auto refused = sim({"load", "--all", file.string()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(
                "SIM0001: channel 1: 194775 kHz is outside this unit's 215000-217000 kHz range"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("nothing was written"), std::string::npos) << refused.err;
  EXPECT_TRUE(refused.out.empty());
  EXPECT_EQ(backups("SIM0001").size(), 2u);
  EXPECT_EQ(backups("SIM0002").size(), 1u);
}

TEST_F(Owlctl, SaveWritesThroughLinksAndIntoFifosWithoutReplacingThem) {
  const fs::path real = home_ / "real.json";
  const fs::path link = home_ / "link.json";
  fs::create_symlink(real, link);
  ASSERT_EQ(sim({"save", "SIM0001", link.string()}).status, 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_json(real)["unit_name"], "SIM-1001");

  // Stands in for a device such as /dev/null, which a test must not risk.
  const fs::path fifo = home_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const auto r = sim({"save", "SIM0001", fifo.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_fifo(fifo));
  char buffer[256] = {};
  EXPECT_GT(::read(reader, buffer, sizeof buffer - 1), 0);
  EXPECT_EQ(std::string(buffer).rfind("{\n  \"unit_name\": \"SIM-1001\"", 0), 0u) << buffer;
  ::close(reader);
}

// Each field's own complaints are checked with the file reader, and each kind of file it
// refuses with the input reader; here, that both loads and diff use them, before any write.
TEST_F(Owlctl, WhatIsNoSettingsFileIsRefusedAtOnce) {
  const auto put = [&](const std::string& name, const std::string& text) {
    return home_dir_.write(name, text).string();
  };
  ASSERT_EQ(sim({"save", "SIM0001", (home_ / "unit.json").string()}).status, 0);
  auto missing = read_json(home_ / "unit.json");
  missing.erase("squelch");
  const std::string fifo = (home_ / "fifo").string();  // nobody ever writes to it
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    Args args;
    std::string input;
    std::string says;
  };
  std::vector<Case> cases = {
      {{"load", "--all", "/dev/urandom"}, "/dev/null", "/dev/urandom: not a regular file"},
      {{"load", "SIM0001", fifo}, "/dev/null", fifo + ": not a regular file"},
      {{"load", "SIM0001", put("shown.json", sim({"show", "SIM0001"}).out)},
       "/dev/null",
       "shown.json: this is `owlctl show` output; save a settings file with `owlctl save`"},
      // Standard input is named so, and the parser's own codes stay out of every message.
      {{"load", "SIM0001", "-"},
       "/dev/null",
       "owlctl: standard input: not valid JSON: parse error at line 1"},
  };
  // What else the file reader refuses is its own test's; one such file for each load form.
  const std::string file = put("bad.json", missing.dump());
  for (const char* target : {"SIM0001", "--all"})
    cases.push_back({{"load", target, file}, "/dev/null", "squelch: missing field"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2] + " < " + c.input + ": " + c.says);
    const auto started = Clock::now();
    const auto r = sim(c.args, c.input);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    if (c.args[2] != "-") {
      EXPECT_NE(r.err.find(c.args[2]), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.err.find("json.exception"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));  // a hang, not a speed goal
  }
  const auto diffed = sim({"diff", "SIM0001", "/dev/zero"});
  EXPECT_EQ(diffed.status, 2);
  EXPECT_NE(diffed.err.find("/dev/zero: not a regular file"), std::string::npos) << diffed.err;
  EXPECT_FALSE(fs::exists(data_ / "owl"));
}

TEST_F(Owlctl, LoadSaysBeforeWritingWhatTheFileCannotChange) {
  const fs::path file = home_ / "unit.json";
  ASSERT_EQ(sim({"save", "SIM0001", file.string()}).status, 0);
  auto json = read_json(file);
  auto twelve = json;
  twelve["channels"].push_back(json["channels"][0]);
  twelve["channels"].push_back(json["channels"][1]);
  std::ofstream(file) << twelve.dump();
  const auto more = sim({"load", "SIM0001", file.string()});
  EXPECT_EQ(more.status, 0) << more.err;
  const std::string dropped =
      "SIM0001: file has 12 channels, SIM0001 has 10: channels 11-12 are not written\n";
  EXPECT_NE(more.err.find(dropped), std::string::npos) << more.err;
  EXPECT_LT(more.err.find(dropped), more.err.find("saved the settings")) << more.err;

  auto three = json;
  three["channels"].erase(three["channels"].begin() + 3, three["channels"].end());
  three["rf_mode"] = "FM_ANALOG";
  std::ofstream(file) << three.dump();
  const auto fewer = sim({"load", "--json", "SIM0001", file.string()});
  ASSERT_EQ(fewer.status, 0) << fewer.err;
  const std::vector<std::string> warnings = {
      "the file asks for rf_mode FM_ANALOG, but the RF mode cannot be changed: SIM0001 keeps "
      "DIGITAL",
      "file has 3 channels, SIM0001 has 10: channels 4-10 keep the unit's values"};
  for (const auto& warning : warnings) {
    EXPECT_NE(fewer.err.find("SIM0001: " + warning + "\n"), std::string::npos) << fewer.err;
  }
  const auto report = nlohmann::json::parse(fewer.out);
  ASSERT_EQ(report.size(), 1u);
  EXPECT_EQ(report[0]["key"], "SIM0001");
  EXPECT_EQ(report[0]["confirmed"], true);
  EXPECT_EQ(report[0]["warnings"].get<std::vector<std::string>>(), warnings);
  EXPECT_TRUE(fs::exists(report[0]["backup"].get<std::string>()));
}

TEST_F(Owlctl, AFileFromAnotherUnitIsLoadedOnlyWhenMeant) {
  const fs::path file = home_ / "sim1.json";
  ASSERT_EQ(sim({"save", "SIM0001", file.string()}).status, 0);
  auto json = read_json(file);
  // SIM0002 has 8 channels, and its band holds SIM0001's frequencies.
  json["channels"].erase(json["channels"].begin() + 8, json["channels"].end());
  std::ofstream(file) << json.dump();
  const auto refused = sim({"load", "SIM0002", file.string()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("SIM0002: the file was saved from the unit with serial 1001, but "
                             "SIM0002 has serial 1002"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("nothing was written"), std::string::npos) << refused.err;
  EXPECT_TRUE(backups("SIM0002").empty());
  EXPECT_EQ(sim({"load", "--keep-name", "SIM0002", file.string()}).status, 0);
  EXPECT_EQ(sim({"load", "--any-unit", "SIM0002", file.string()}).status, 0);
  // Every unit keeps its own name in a load into all units, which is what copying a plan means.
  EXPECT_EQ(sim({"load", "--all", file.string()}).status, 0);
}

TEST_F(Owlctl, HardwareListWithoutUnitsAnswersAtOnceAndSaysWhereToTurn) {
  owl::testing_support::FakeSysfs machine;  // no unit port at all
  machine.add_usb_port("ttyUSB0", {"0403", "6001", "A1", "FTDI", "FT232R"}, true);
  ::setenv("OWLCTL_SYSFS_ROOT", machine.sysfs().c_str(), 1);
  const auto started = Clock::now();
  const auto r = run({"--wait", "60", "list"});
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(r.status, 3);
  for (const char* pointer :
       {"no unit found", "owlctl doctor", "docs/hardware.md", "--simulator"}) {
    EXPECT_NE(r.err.find(pointer), std::string::npos) << pointer << "\n" << r.err;
  }
}

TEST_F(Owlctl, WatchPrintsEventsUntilInterrupted) {
  // Events of the two units interleave in any order: each case waits for each one it names.
  const std::vector<std::string> json = {"\"event\":\"announced\"", "\"event\":\"identity\""};
  const std::vector<std::string> text = {" announced SIM0001 at simulator\n", " settings SIM0002 {",
                                         "identity SIM0002: "};
  const std::tuple<bool, int, std::vector<std::string>> cases[] = {
      {true, SIGINT, json}, {true, SIGTERM, json}, {false, SIGINT, text}};
  for (const auto& [as_json, signal_number, awaited] : cases) {
    SCOPED_TRACE(std::string(as_json ? "--json " : "") + ::strsignal(signal_number));
    Child child(as_json ? Args{"--simulator", "watch", "--json"} : Args{"--simulator", "watch"},
                home_);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (const auto& line : awaited) ASSERT_TRUE(child.read_until(line, deadline)) << line;
    child.signal(signal_number);
    const auto r = child.finish(deadline);
    EXPECT_EQ(r.status, 0) << r.err;
    // Each line starts with the time stamp, whose exact form is
    // RecordsJson.WatchLinesStartWithTheLocalTime's: "2026-12-07T03:41:56.123+01:00 announced ...".
    for (const auto& line : lines_of(r.out)) {
      if (as_json) {
        EXPECT_EQ(nlohmann::ordered_json::parse(line).begin().key(), "time") << line;
      } else {
        EXPECT_TRUE(line.size() > 30 && line[10] == 'T' && line[19] == '.' && line[29] == ' ')
            << line;
      }
    }
  }
}

TEST_F(Owlctl, DoctorReportsAUnitPortAndWhatToDo) {
  owl::testing_support::FakeSysfs machine;
  machine.add_usb_port("ttyACM0", {"2e8a", "000a", "0001A3F2"});  // no device node yet
  machine.write(machine.base() / "proc" / "812" / "comm", "ModemManager");
  ::setenv("OWLCTL_SYSFS_ROOT", machine.sysfs().c_str(), 1);
  ::setenv("OWLCTL_DEV_ROOT", machine.dev().c_str(), 1);
  ::setenv("OWLCTL_PROC_ROOT", (machine.base() / "proc").c_str(), 1);
  const std::string rules =
      (machine.base() / "etc-rules").string() + ":" + (machine.base() / "lib-rules").string();
  ::setenv("OWLCTL_UDEV_RULES_DIRS", rules.c_str(), 1);
  const auto r = run({"doctor"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string node = machine.dev_path("ttyACM0");
  for (const std::string& line :
       {"ok: unit port " + node + ": Quillon OWL, serial 0001A3F2",
        "problem: " + node + " does not exist",
        std::string("problem: the udev rule 70-owl-units.rules is not installed\n"
                    "  what to do: install the rule"),
        std::string("problem: ModemManager is running")}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  machine.write(machine.base() / "lib-rules" / "70-owl-units.rules", "# rule");
  machine.write(node, "");
  const auto fixed = run({"doctor"});
  EXPECT_EQ(fixed.status, 0) << fixed.out;
  EXPECT_NE(fixed.out.find("ok: you may open " + node), std::string::npos) << fixed.out;
}

}  // namespace
