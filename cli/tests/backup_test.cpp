#include "backup.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <set>

#include "errors.hpp"
#include "form.hpp"

namespace owl::cli {
namespace {

namespace fs = std::filesystem;

// 2026-12-06 21:15:00 UTC
constexpr std::time_t SOME_TIME = 1796591700;

struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/owlctl-backup-XXXXXX";
    path = ::mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

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
  std::ifstream in(*paths.begin());
  EXPECT_EQ(settings_from_json_text(std::string(std::istreambuf_iterator<char>(in), {}), "backup")
                .settings,
            settings);
}

TEST(Backup, EveryFailureSaysHowToWriteWithoutABackup) {
  TempDir dir;
  std::ofstream(dir.path / "file") << "x";
  // No place at all, and a directory that cannot be made because its parent is a file.
  const fs::path roots[] = {{}, dir.path / "file"};
  for (const auto& root : roots) {
    try {
      write_backup(root, "SIM0001", UiSettings{}, SOME_TIME);
      ADD_FAILURE() << "no error for " << root;
    } catch (const CliError& error) {
      EXPECT_EQ(error.status(), EXIT_FAILED);
      EXPECT_NE(std::string(error.what()).find("(use --no-backup to write without a backup)"),
                std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
}  // namespace owl::cli
