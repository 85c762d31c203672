#include "trace.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace owl {
namespace {

TEST(TraceSwitch, OffOnlyForUnsetEmptyOrZero) {
  EXPECT_FALSE(trace_switch_value(nullptr));
  EXPECT_FALSE(trace_switch_value(""));
  EXPECT_FALSE(trace_switch_value("0"));
  EXPECT_TRUE(trace_switch_value("1"));
  EXPECT_TRUE(trace_switch_value("00"));
  EXPECT_TRUE(trace_switch_value(" 0"));
  EXPECT_TRUE(trace_switch_value("false"));
}

TEST(TraceLine, SecondsRightAlignedAndMillisecondsPadded) {
  EXPECT_EQ(format_trace_line(61500ms, "k tx aa"), "owl   61.500 k tx aa\n");
  EXPECT_EQ(format_trace_line(0ns, "m"), "owl    0.000 m\n");
  EXPECT_EQ(format_trace_line(999'999'999ns, "m"), "owl    0.999 m\n");
  EXPECT_EQ(format_trace_line(9999s + 7ms, "m"), "owl 9999.007 m\n");
  EXPECT_EQ(format_trace_line(10000s + 12ms, "m"), "owl 10000.012 m\n");
  EXPECT_EQ(format_trace_line(-5s, "m"), "owl    0.000 m\n");
}

TEST(HexDump, LowerCaseSpaceSeparated) {
  const std::vector<std::uint8_t> bytes{0xAA, 0x2E, 0x04, 0x00, 0x0F, 0xF0};
  EXPECT_EQ(hex_dump(bytes), "aa 2e 04 00 0f f0");
  EXPECT_EQ(hex_dump({}), "");
  const std::vector<std::uint8_t> one{0x7};
  EXPECT_EQ(hex_dump(one), "07");
}

// The switch is read once per process; ctest runs each case in its own process.
TEST(TraceOutput, SilentWhenSwitchedOff) {
  ::setenv("OWL_TRACE", "0", 1);
  testing::internal::CaptureStderr();
  trace("SIM0001 tx aa");
  ::setenv("OWL_TRACE", "1", 1);  // later changes have no effect
  trace("SIM0001 tx bb");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(trace_enabled());
}

TEST(TraceOutput, WholeLinesFromManyThreadsWhenOn) {
  ::setenv("OWL_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) trace("unit" + std::to_string(t) + " rx 01 02 03 04 05 06");
    });
  }
  for (auto& th : threads) th.join();
  const std::string out = testing::internal::GetCapturedStderr();
  std::size_t lines = 0;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = out.substr(start, end - start);
    EXPECT_EQ(line.rfind("owl ", 0), 0u) << line;
    EXPECT_EQ(line[8], '.') << line;
    EXPECT_NE(line.find(" rx 01 02 03 04 05 06"), std::string::npos) << line;
    EXPECT_EQ(line.size(), 13 + std::string("unit0 rx 01 02 03 04 05 06").size()) << line;
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, 200u);
}

}  // namespace
}  // namespace owl
