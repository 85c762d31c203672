#include "scan.hpp"

#include <gtest/gtest.h>

#include <string>

#include "temp_dir.hpp"

namespace owl::coord {
namespace {

using Points = std::vector<ScanPoint>;

TEST(ScanCsv, ReadsTheCommonLayouts) {
  const struct {
    const char* name;
    const char* text;
    Points want;
  } cases[] = {
      {"MHz with header, comment and CRLF",
       "Frequency (MHz),Level (dBm)\r\n# venue scan\r\n470.000,-95.5\r\n470.025, -72\r\n",
       {{470000, -95.5}, {470025, -72.0}}},
      {"kHz integers, semicolons and decimal commas",
       "470000;-90,5\n470125;-60\n",
       {{470000, -90.5}, {470125, -60.0}}},
      {"MHz with decimal comma and semicolons", "470,125;-85,5\n", {{470125, -85.5}}},
      {"tabs, quotes and extra columns", "\"470.100\"\t\"-60.0\"\t\"-58.0\"\n", {{470100, -60.0}}},
      {"spaces", "  470.125   -70.0\n", {{470125, -70.0}}},
      {"analyser preamble and byte-order mark",
       "\xEF\xBB\xBFRF Explorer CSV data file: v1\nSample Points,112\n2026-12-07,10:00\n"
       "470.1,-80\n",
       {{470100, -80.0}}},
      {"MHz rounded to the nearest kHz",
       "470.0004,-1\n470.0005,+2\n",
       {{470000, -1.0}, {470001, 2.0}}},
  };
  for (const auto& c : cases) {
    const ScanRead r = parse_scan_csv(c.text);
    EXPECT_EQ(r.error, "") << c.name;
    EXPECT_EQ(r.points, c.want) << c.name;
  }
}

TEST(ScanCsv, RefusesDataItCannotRead) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "no scan points found"},
      {"Frequency,Level\n# nothing\n", "no scan points found"},
      {"470.000,-90\n470.025,abc\n", "line 2: no level in dBm after the frequency"},
      {"470.000\n", "line 1: no level in dBm after the frequency"},
      {"470.000,nan\n", "line 1: no level in dBm after the frequency"},
  };
  for (const auto& c : cases) {
    const ScanRead r = parse_scan_csv(c.text);
    EXPECT_EQ(r.error, c.error) << c.text;
    EXPECT_TRUE(r.points.empty()) << c.text;
  }
}

TEST(ScanCsv, ReadsOnlyRegularFilesAndNamesThePath) {
  const testing_support::TempDir dir;
  const std::string path = dir.write("scan.csv", "470.000,-70\n").string();
  EXPECT_EQ(read_scan_csv(path).points, (Points{{470000, -70.0}}));
  EXPECT_EQ(read_scan_csv(dir.path.string()).error, dir.path.string() + ": not a regular file");
  EXPECT_EQ(read_scan_csv(path + ".missing").error, path + ".missing: cannot be read");
  dir.write("scan.csv", "header only\n");
  EXPECT_EQ(read_scan_csv(path).error, path + ": no scan points found");
}

TEST(ScanExclusions, PointsAtOrAboveThresholdWidenedByHalfAStep) {
  const Points points = {{480000, -80.0}, {470000, -79.9}, {470020, -60.0},
                         {490000, -80.1}, {475000, -81.0}, {475025, -50.0}};
  // 470000 and 470020 overlap and merge; 475025 alone; -80.1 and -81 stay below.
  EXPECT_EQ(scan_exclusions(points, -80.0, 25),
            (std::vector<Exclusion>{{469988, 470032, "scan peak -60.0 dBm", true},
                                    {475013, 475037, "scan peak -50.0 dBm", true},
                                    {479988, 480012, "scan peak -80.0 dBm", true}}));
  EXPECT_EQ(scan_exclusions(Points{{5, 0.0}}, -80.0, 50)[0].from_khz, 0u);
}

}  // namespace
}  // namespace owl::coord
