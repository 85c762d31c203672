#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "records.hpp"
#include "settings_file.hpp"

// Copies of a unit's settings taken before each write, so that any write can be undone. owlctl
// and the desktop use the same folder and names, so either can restore the other's backups.
namespace owl::frontend {

// $XDG_DATA_HOME/owl/backups, or ~/.local/share/owl/backups; a relative XDG_DATA_HOME is ignored
// as the XDG rules require. Empty when neither variable gives a place.
std::filesystem::path backup_root(const char* xdg_data_home, const char* home);

// A unit key as a single safe path component: keys are USB serial numbers and may hold anything.
std::string key_directory_name(std::string_view key);

// "20261206T211500Z.json" for the first backup of a second, "20261206T211500Z-2.json" for the
// second one, and so on.
std::string backup_file_name(std::time_t utc_time, unsigned sequence);

// Writes the settings in the file form under root/<key>/ with a fresh time-stamped name; never
// replaces an existing file. Returns the path; failures throw UserError (status 1).
std::filesystem::path write_backup(const std::filesystem::path& root, std::string_view key,
                                   const UiSettings& settings, std::time_t now);

struct BackupEntry {
  std::filesystem::path path;
  std::time_t time = 0;  // UTC, from the file name

  friend bool operator==(const BackupEntry&, const BackupEntry&) = default;
};

// One unit's backups, newest first (same second: the higher sequence first). Files whose names
// are not backup names are ignored; a missing folder means no backups.
std::vector<BackupEntry> list_backups(const std::filesystem::path& root, std::string_view key);

// Reads one backup file; failures (missing, unreadable, not a settings file) throw UserError.
SettingsFile read_backup(const std::filesystem::path& path);

}  // namespace owl::frontend
