#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fake_machine.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A running owlctl with its standard output and error on pipes.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) std::abort();
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env.count(entry.substr(0, entry.find('='))) == 0) env_text.push_back(entry);
    }
    for (const auto& [name, value] : env) env_text.push_back(name + "=" + value);
    std::vector<std::string> argv_text{OWLCTL_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out_pipe[1], STDOUT_FILENO);
      ::dup2(err_pipe[1], STDERR_FILENO);
      const int null_in = ::open("/dev/null", O_RDONLY);
      ::dup2(null_in, STDIN_FILENO);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
  }

  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) ::close(out_fd_);
    if (err_fd_ >= 0) ::close(err_fd_);
  }

  // Reads until `text` appears on standard output, the pipes close or the deadline passes.
  bool read_until(const std::string& text, Clock::time_point deadline) {
    while (run_.out.find(text) == std::string::npos) {
      if (!pump(deadline)) return false;
    }
    return true;
  }

  void signal(int number) { ::kill(pid_, number); }

  Outcome finish(Clock::time_point deadline) {
    while (pump(deadline)) {
    }
    if (Clock::now() >= deadline) ::kill(pid_, SIGKILL);
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    reaped_ = true;
    run_.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return run_;
  }

 private:
  // One round of reading; false once both pipes are closed or the deadline passed.
  bool pump(Clock::time_point deadline) {
    if (out_fd_ < 0 && err_fd_ < 0) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) return Clock::now() < deadline;
    auto drain = [](pollfd& fd, int& owned, std::string& into) {
      if (fd.fd < 0 || fd.revents == 0) return;
      char buffer[4096];
      const ssize_t n = ::read(owned, buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(owned);
        owned = -1;
      }
    };
    drain(fds[0], out_fd_, run_.out);
    drain(fds[1], err_fd_, run_.err);
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  bool reaped_ = false;
  Outcome run_;
};

class Owlctl : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/owlctl-test-XXXXXX";
    home_ = ::mkdtemp(pattern);
    data_ = home_ / "data";
    env_ = {{"XDG_DATA_HOME", data_.string()}, {"HOME", home_.string()}};
  }
  void TearDown() override { fs::remove_all(home_); }

  Outcome run(const std::vector<std::string>& args) {
    Child child(args, env_);
    return child.finish(Clock::now() + std::chrono::seconds(60));
  }

  Outcome sim(std::vector<std::string> args) {
    args.insert(args.begin(), "--simulator");
    return run(args);
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
    std::ifstream in(path);
    return nlohmann::json::parse(in);
  }

  fs::path home_;
  fs::path data_;
  std::map<std::string, std::string> env_;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(Owlctl, ListShowsBothSimulatedUnits) {
  const auto r = sim({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0].rfind("SIM0001  SIM-1001  simulator", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("10 channels"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].rfind("SIM0002  SIM-1002  simulator", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("8 channels"), std::string::npos) << lines[1];
}

TEST_F(Owlctl, ListJsonParses) {
  const auto r = sim({"list", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto json = nlohmann::json::parse(r.out);
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["key"], "SIM0001");
  EXPECT_EQ(json[0]["label"], "simulator");
  EXPECT_EQ(json[1]["settings"]["serial"], 1002);
  EXPECT_EQ(json[1]["settings"]["channels"].size(), 8u);
}

TEST_F(Owlctl, ShowPrintsTheEngineJsonText) {
  const auto listed = nlohmann::json::parse(sim({"list", "--json"}).out);
  const auto r = sim({"show", "SIM0002"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, listed[1]["settings_json"].get<std::string>() + "\n");
  const auto json = nlohmann::json::parse(r.out);
  EXPECT_EQ(json["unitName"], "SIM-1002");
  EXPECT_EQ(json["unitSerialNum"], 1002);
}

TEST_F(Owlctl, SetConfirmsAndPrintsWhatTheUnitReported) {
  const auto r = sim({"set", "SIM0001", "delay_ms=120"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "delay_ms=120\n");
  // Not a terminal: no spinner.
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  const auto files = backups("SIM0001");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(r.err.find(files[0].string()), std::string::npos) << r.err;
  EXPECT_EQ(read_json(files[0])["delay_ms"], 0);
}

TEST_F(Owlctl, SetPrintsValuesAsTheUnitKeptThem) {
  const auto r = sim(
      {"set", "SIM0001", "hph_mode=stereo", "channel.3.frequency=216000", "channel.2.enable=true"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "hph_mode=STEREO\nchannel.3.frequency=216000\nchannel.2.enable=true\n");
}

TEST_F(Owlctl, SetWithoutBackupLeavesNoFile) {
  const auto r = sim({"set", "--no-backup", "SIM0001", "delay_ms=120"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(backups("SIM0001").empty());
  EXPECT_FALSE(fs::exists(data_ / "owl"));
}

TEST_F(Owlctl, BackupFallsBackToHome) {
  env_.erase("XDG_DATA_HOME");
  ASSERT_EQ(sim({"set", "SIM0002", "led=dim"}).status, 0);
  const fs::path dir = home_ / ".local" / "share" / "owl" / "backups" / "SIM0002";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(Owlctl, SetOverTheMaximumIsRefused) {
  const auto r = sim({"set", "SIM0001", "delay_ms=450"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("delay 450 ms is over the 400 ms maximum"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_TRUE(backups("SIM0001").empty());
}

TEST_F(Owlctl, EngineConversionErrorsAreRefusals) {
  const auto r = sim({"set", "SIM0001", "hph_mode=loud"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("headphone mode has an invalid value: loud"), std::string::npos) << r.err;
}

TEST_F(Owlctl, CheckAcceptsAndRefusesWithoutWriting) {
  const auto ok = sim({"check", "SIM0001", "delay_ms=400"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("acceptable"), std::string::npos);
  const auto bad = sim({"check", "SIM0002", "channel.1.frequency=230000"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("channel 1: 230000 kHz is outside"), std::string::npos) << bad.err;
  EXPECT_FALSE(fs::exists(data_ / "owl"));
}

TEST_F(Owlctl, ReadOnlyFieldsAreRefused) {
  for (const char* assignment : {"serial=5", "min_freq=100", "max_freq=300000"}) {
    const auto r = sim({"set", "SIM0001", assignment});
    EXPECT_EQ(r.status, 2) << assignment;
    EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(data_ / "owl"));
}

TEST_F(Owlctl, UnknownKeyExits3) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"show", "SIM0009"}, {"set", "SIM0009", "delay_ms=1"}, {"save", "SIM0009", "x"}}) {
    const auto r = sim(args);
    EXPECT_EQ(r.status, 3) << args[0];
    EXPECT_NE(r.err.find("SIM0009"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("SIM0001, SIM0002"), std::string::npos) << r.err;
  }
}

TEST_F(Owlctl, NoUnitInTimeExits3) {
  // Hardware mode in a test machine finds no unit.
  const auto start = Clock::now();
  const auto r = run({"--wait", "0.5", "list"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("no unit found"), std::string::npos) << r.err;
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST_F(Owlctl, UsageErrorsExit2) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"--simulator", "set", "SIM0001"},
      {"--simulator", "set", "SIM0001", "delay_ms"},
      {"--simulator", "set", "SIM0001", "delay_ms=12x"},
      {"--simulator", "set", "SIM0001", "volume=3"},
      {"--simulator", "set", "SIM0001", "channel.11.enable=true"},
      {"--wait", "-1", "list"},
      {"--wait", "soon", "list"},
      {"--simulator", "load", "SIM0001"},
      {"--simulator", "load", "--all", "a.json", "b.json"},
      {"list", "--colour"},
  };
  for (const auto& args : cases) {
    const auto r = run(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined << r.err;
    EXPECT_FALSE(r.err.empty()) << joined;
  }
}

TEST_F(Owlctl, HelpIsAManualPagePerCommand) {
  for (const char* command :
       {"list", "show", "check", "set", "save", "load", "watch", "diff", "doctor"}) {
    const auto r = run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    for (const char* section :
         {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES"}) {
      EXPECT_NE(r.out.find(section), std::string::npos) << command << " lacks " << section;
    }
    EXPECT_NE(r.out.find(std::string("owlctl ") + command), std::string::npos) << r.out;
  }
}

TEST_F(Owlctl, SaveThenLoadConfirms) {
  const fs::path file = home_ / "unit.json";
  const auto saved = sim({"save", "SIM0001", file.string()});
  ASSERT_EQ(saved.status, 0) << saved.err;
  auto json = read_json(file);
  EXPECT_EQ(json["unit_name"], "SIM-1001");
  json["delay_ms"] = 200;
  std::ofstream(file) << json.dump(2);
  const auto loaded = sim({"load", "SIM0001", file.string()});
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_EQ(loaded.out, "SIM0001: confirmed\n");
  EXPECT_EQ(backups("SIM0001").size(), 1u);
}

TEST_F(Owlctl, SavedSettingsLoadedToAllUnitsConfirmOnBoth) {
  // SIM0001's channels lie inside SIM0002's band too; SIM0002 keeps its own channel count.
  const fs::path file = home_ / "all.json";
  ASSERT_EQ(sim({"save", "SIM0001", file.string()}).status, 0);
  auto json = read_json(file);
  json["delay_ms"] = 80;
  std::ofstream(file) << json.dump(2);
  const auto r = sim({"load", "--all", file.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "SIM0001: confirmed\nSIM0002: confirmed\n");
  EXPECT_EQ(backups("SIM0001").size(), 1u);
  EXPECT_EQ(backups("SIM0002").size(), 1u);
}

TEST_F(Owlctl, LoadAllIsAllOrNothing) {
  // SIM0002's channels lie outside SIM0001's band: the write to all units is refused as a whole
  // and nothing is written or backed up.
  const fs::path file = home_ / "all.json";
  ASSERT_EQ(sim({"save", "SIM0002", file.string()}).status, 0);
  const auto r = sim({"load", "--all", file.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find("SIM0001: channel 1: 194775 kHz is outside this unit's 215000-217000 kHz range"),
      std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_TRUE(backups("SIM0001").empty());
  EXPECT_TRUE(backups("SIM0002").empty());
}

TEST_F(Owlctl, MalformedFileIsRefusedBeforeAnyWrite) {
  const fs::path file = home_ / "bad.json";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"unit_name\": ", "not valid JSON"},
      {"[]", "expected a JSON object"},
  };
  for (const auto& [text, problem] : cases) {
    std::ofstream(file) << text;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"load", "SIM0001", file.string()}, {"load", "--all", file.string()}}) {
      const auto r = sim(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
    }
  }
  ASSERT_EQ(sim({"save", "SIM0001", file.string()}).status, 0);
  auto json = read_json(file);
  json["delay_ms"] = "fast";
  std::ofstream(file) << json.dump();
  const auto wrong_type = sim({"load", "SIM0001", file.string()});
  EXPECT_EQ(wrong_type.status, 1);
  EXPECT_NE(wrong_type.err.find("'delay_ms' must be a whole number"), std::string::npos);
  json["delay_ms"] = 5;
  json.erase("squelch");
  std::ofstream(file) << json.dump();
  const auto missing = sim({"load", "SIM0001", file.string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("missing field 'squelch'"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(data_ / "owl"));
  EXPECT_EQ(sim({"load", "SIM0001", (home_ / "absent.json").string()}).status, 1);
}

TEST_F(Owlctl, DiffAgainstAFileAndAnotherUnit) {
  const fs::path file = home_ / "unit.json";
  ASSERT_EQ(sim({"save", "SIM0001", file.string()}).status, 0);
  const auto same = sim({"diff", "SIM0001", file.string()});
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(same.out, "");
  auto json = read_json(file);
  json["delay_ms"] = 120;
  std::ofstream(file) << json.dump();
  const auto changed = sim({"diff", "SIM0001", file.string()});
  EXPECT_EQ(changed.out, "delay_ms: 0 | 120\n");
  const auto units = sim({"diff", "SIM0001", "SIM0002"});
  EXPECT_EQ(units.status, 0) << units.err;
  EXPECT_NE(units.out.find("unit_name: SIM-1001 | SIM-1002\n"), std::string::npos) << units.out;
  EXPECT_NE(units.out.find("channel_count: 10 | 8\n"), std::string::npos) << units.out;
  EXPECT_NE(units.out.find("channel.9.frequency: "), std::string::npos) << units.out;
  EXPECT_EQ(sim({"diff", "SIM0001", "SIM0007"}).status, 3);
}

TEST_F(Owlctl, WatchPrintsEventsUntilInterrupted) {
  for (int signal_number : {SIGINT, SIGTERM}) {
    Child child({"--simulator", "watch", "--json"}, env_);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    ASSERT_TRUE(child.read_until("\"event\":\"identity\"", deadline));
    child.signal(signal_number);
    const auto r = child.finish(deadline);
    EXPECT_EQ(r.status, 0) << r.err;
    bool announced = false;
    for (const auto& line : lines_of(r.out)) {
      const auto event = nlohmann::json::parse(line);
      ASSERT_TRUE(event.contains("event")) << line;
      announced = announced || event["event"] == "announced";
    }
    EXPECT_TRUE(announced) << r.out;
  }
}

TEST_F(Owlctl, WatchTextHasOneLinePerEvent) {
  Child child({"--simulator", "watch"}, env_);
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  ASSERT_TRUE(child.read_until("identity SIM0002: ", deadline));
  child.signal(SIGINT);
  const auto r = child.finish(deadline);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("announced SIM0001 at simulator\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("settings SIM0002 {"), std::string::npos) << r.out;
}

TEST_F(Owlctl, DoctorReportsAUnitPortAndWhatToDo) {
  owl::cli::testing::FakeMachine machine;
  machine.add_usb_tty("ttyACM0", "2e8a", "000a", "Quillon", "OWL", "0001A3F2", false);
  machine.add_process(812, "ModemManager");
  env_["OWLCTL_SYSFS_ROOT"] = (machine.root / "sys").string();
  env_["OWLCTL_DEV_ROOT"] = (machine.root / "dev").string();
  env_["OWLCTL_PROC_ROOT"] = (machine.root / "proc").string();
  env_["OWLCTL_UDEV_RULES_DIRS"] =
      (machine.root / "etc-rules").string() + ":" + (machine.root / "lib-rules").string();
  const auto r = run({"doctor"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string node = (machine.root / "dev" / "ttyACM0").string();
  EXPECT_NE(r.out.find("ok: unit port " + node + ": Quillon OWL, serial 0001A3F2"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("problem: " + node + " does not exist"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("problem: the udev rule 70-owl-units.rules is not installed\n"
                       "  what to do: install the rule"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("problem: ModemManager is running"), std::string::npos) << r.out;

  machine.install_rule();
  owl::cli::testing::FakeMachine::write(machine.root / "dev" / "ttyACM0", "");
  const auto fixed = run({"doctor"});
  EXPECT_EQ(fixed.status, 0) << fixed.out;
  EXPECT_NE(fixed.out.find("ok: you may open " + node), std::string::npos) << fixed.out;
}

}  // namespace
