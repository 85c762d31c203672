#include "backup.hpp"

#include <gtest/gtest.h>

#include <set>

#include "settings_file.hpp"
#include "temp_dir.hpp"
#include "user_error.hpp"

namespace owl::frontend {
namespace {

namespace fs = std::filesystem;

// 2026-12-06 21:15:00 UTC
constexpr std::time_t SOME_TIME = 1796591700;

using testing_support::TempDir;

TEST(Backup, RootFollowsXdgDataHome) {
  EXPECT_EQ(backup_root("/data", "/home/u"), fs::path("/data/owl/backups"));
  EXPECT_EQ(backup_root(nullptr, "/home/u"), fs::path("/home/u/.local/share/owl/backups"));
  EXPECT_EQ(backup_root("relative", "/home/u"), fs::path("/home/u/.local/share/owl/backups"));
  EXPECT_EQ(backup_root("", "/home/u"), fs::path("/home/u/.local/share/owl/backups"));
  EXPECT_TRUE(backup_root(nullptr, nullptr).empty());
}

TEST(Backup, NamesAreUtcTimeStampsAndSafeKeys) {
  EXPECT_EQ(backup_file_name(SOME_TIME, 1), "20261206T211500Z.json");
  EXPECT_EQ(backup_file_name(SOME_TIME, 2), "20261206T211500Z-2.json");
  EXPECT_EQ(backup_file_name(0, 1), "19700101T000000Z.json");
  const std::pair<std::string, std::string> cases[] = {
      {"SIM0001", "SIM0001"}, {"a/b", "a_b"}, {"..", "_.."}, {".", "_."}, {"", "_"},
      {"x y", "x_y"}};
  for (const auto& [key, name] : cases) EXPECT_EQ(key_directory_name(key), name) << key;
}

TEST(Backup, WritesTheFileFormAndNeverOverwrites) {
  TempDir dir;
  UiSettings settings;
  settings.unit_name = "A";
  settings.delay_ms = 7;
  std::set<fs::path> paths;
  for (int i = 0; i < 3; ++i) paths.insert(write_backup(dir.path, "SIM0001", settings, SOME_TIME));
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_TRUE(paths.count(dir.path / "SIM0001" / "20261206T211500Z.json"));
  EXPECT_TRUE(paths.count(dir.path / "SIM0001" / "20261206T211500Z-3.json"));
  EXPECT_EQ(settings_from_json_text(testing_support::read_file(*paths.begin()), "backup").settings,
            settings);
}

TEST(Backup, FailuresAreUserErrors) {
  TempDir dir;
  dir.write("file", "x");
  // No place at all, and a directory that cannot be made because its parent is a file.
  const fs::path roots[] = {{}, dir.path / "file"};
  for (const auto& root : roots) {
    try {
      write_backup(root, "SIM0001", UiSettings{}, SOME_TIME);
      ADD_FAILURE() << "no error for " << root;
    } catch (const UserError& error) {
      EXPECT_EQ(error.status(), STATUS_FAILED);
      EXPECT_NE(std::string(error.what()).find("cannot"), std::string::npos) << error.what();
    }
  }
}

TEST(Backup, ListedNewestFirstAndReadBack) {
  TempDir dir;
  UiSettings settings;
  settings.unit_name = "A";
  const auto first = write_backup(dir.path, "SIM0001", settings, SOME_TIME);
  settings.delay_ms = 7;
  const auto second = write_backup(dir.path, "SIM0001", settings, SOME_TIME);
  settings.delay_ms = 9;
  const auto third = write_backup(dir.path, "SIM0001", settings, SOME_TIME + 60);
  // Not backups: another name, a folder with a backup's name.
  dir.write("SIM0001/notes.json", "{}");
  fs::create_directory(dir.path / "SIM0001" / "20200101T000000Z.json");

  const auto entries = list_backups(dir.path, "SIM0001");
  ASSERT_EQ(entries.size(), 3U);
  EXPECT_EQ(entries[0].path, third);
  EXPECT_EQ(entries[1].path, second);
  EXPECT_EQ(entries[2].path, first);
  EXPECT_EQ(entries[0].time, SOME_TIME + 60);
  EXPECT_EQ(entries[2].time, SOME_TIME);
  EXPECT_EQ(read_backup(entries[1].path).settings.delay_ms, 7);
  EXPECT_TRUE(list_backups(dir.path, "SIM0009").empty());

  EXPECT_THROW(read_backup(dir.write("SIM0001/20300101T000000Z.json", "{\"delay_ms\": 1}")),
               UserError);
  EXPECT_THROW(read_backup(dir.path / "absent.json"), UserError);
}

}  // namespace
}  // namespace owl::frontend
