#include "platform/system_log.hpp"

#include <gtest/gtest.h>
#include <syslog.h>

#include <string>

// glibc copies each entry that passes its mask to standard error when the log is opened with
// LOG_PERROR, which lets a test see what reached the system log. Each case runs in its own
// process (ctest), since the installed logger is process-wide.
namespace owl::bridge {
namespace {

constexpr const char* MODULE = "owl_engine::bridge";

void echo_entries_to_stderr() {
  openlog("frb_user", LOG_PERROR, LOG_USER);
}

std::string logged(LogLevel level, const std::string& message) {
  testing::internal::CaptureStderr();
  log_record(level, MODULE, message);
  return testing::internal::GetCapturedStderr();
}

TEST(SystemLog, RecordsGoNowhereUntilInstalled) {
  echo_entries_to_stderr();
  EXPECT_EQ(logged(LogLevel::Error, "early"), "");
  install_system_log();
  echo_entries_to_stderr();  // installing opened the log afresh, without the copy
  EXPECT_EQ(logged(LogLevel::Error, "late"), "frb_user: [owl_engine::bridge] late\n");
}

TEST(SystemLog, EachLevelIsWrittenAtItsPriorityOnlyWhenThatIsEnabled) {
  install_system_log();
  echo_entries_to_stderr();
  const std::pair<LogLevel, int> levels[] = {{LogLevel::Error, LOG_CRIT},
                                             {LogLevel::Warn, LOG_ERR},
                                             {LogLevel::Info, LOG_NOTICE},
                                             {LogLevel::Debug, LOG_INFO},
                                             {LogLevel::Trace, LOG_DEBUG}};
  const int everything = setlogmask(0);
  for (const auto& [enabled, priority] : levels) {
    setlogmask(LOG_MASK(priority));
    for (const auto& [level, _] : levels) {
      const std::string text = "level " + std::to_string(static_cast<int>(level));
      EXPECT_EQ(logged(level, text) != "", level == enabled) << text << " at " << priority;
    }
  }
  setlogmask(everything);
  // A level from a newer caller than this build knows is still written, at the lowest priority.
  EXPECT_EQ(syslog_priority(static_cast<LogLevel>(99)), LOG_DEBUG);
  // A category with a percent sign is text, not a format.
  testing::internal::CaptureStderr();
  log_record(LogLevel::Info, "a%sb", "100% sure");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "frb_user: [a%sb] 100% sure\n");
}

}  // namespace
}  // namespace owl::bridge
