#include "backup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "settings_file.hpp"
#include "user_error.hpp"

namespace owl::frontend {
namespace {

UserError backup_failure(const std::string& problem) {
  return failure(problem);
}

// Backups are our own small files; anything much larger in the folder is not one.
constexpr std::uintmax_t MAX_BACKUP_BYTES = std::uintmax_t{1} << 20U;

struct ParsedName {
  std::time_t time;
  unsigned sequence;
};

// The inverse of backup_file_name; nullopt for any other name.
std::optional<ParsedName> parse_backup_name(const std::string& name) {
  std::tm parts{};
  char rest[32] = {};
  if (name.size() < 21 || name.size() > 30) return std::nullopt;
  const char* end = strptime(name.c_str(), "%Y%m%dT%H%M%SZ", &parts);
  if (end == nullptr || end != name.c_str() + 16) return std::nullopt;
  unsigned sequence = 1;
  const std::string tail(end);
  if (tail != ".json") {
    if (std::sscanf(tail.c_str(), "-%u%31s", &sequence, rest) != 2 ||
        std::string(rest) != ".json" || sequence < 2) {
      return std::nullopt;
    }
  }
  return ParsedName{timegm(&parts), sequence};
}

}  // namespace

std::filesystem::path backup_root(const char* xdg_data_home, const char* home) {
  std::filesystem::path base;
  if (xdg_data_home != nullptr && xdg_data_home[0] == '/') {
    base = xdg_data_home;
  } else if (home != nullptr && home[0] != '\0') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return base / "owl" / "backups";
}

std::string key_directory_name(std::string_view key) {
  std::string out;
  for (char c : key) {
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    out += safe ? c : '_';
  }
  // "", "." and ".." would name the backups directory itself or its parent.
  if (out.empty() || out.find_first_not_of('.') == std::string::npos) out = "_" + out;
  return out;
}

std::string backup_file_name(std::time_t utc_time, unsigned sequence) {
  std::tm parts{};
  gmtime_r(&utc_time, &parts);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &parts);
  std::string name = stamp;
  if (sequence > 1) name += "-" + std::to_string(sequence);
  return name + ".json";
}

std::filesystem::path write_backup(const std::filesystem::path& root, std::string_view key,
                                   const UiSettings& settings, std::time_t now) {
  if (root.empty()) {
    throw backup_failure("cannot back up the settings: neither XDG_DATA_HOME nor HOME is set");
  }
  const std::filesystem::path dir = root / key_directory_name(key);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    throw backup_failure("cannot create the backup directory " + dir.string() + ": " +
                         error.message());
  }
  const std::string text = settings_to_json(settings).dump(
                               2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                           "\n";
  for (unsigned sequence = 1; sequence < 10000; ++sequence) {
    const std::filesystem::path path = dir / backup_file_name(now, sequence);
    // O_EXCL: two owlctl runs in the same second must not overwrite each other's backup.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      throw backup_failure("cannot write the backup " + path.string() + ": " +
                           std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        throw backup_failure("cannot write the backup " + path.string() + ": " + reason);
      }
      done += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const std::string reason = std::strerror(errno);
    if (::close(fd) != 0 || !synced) {
      ::unlink(path.c_str());
      throw backup_failure("cannot write the backup " + path.string() + ": " + reason);
    }
    return path;
  }
  throw backup_failure("cannot find a free backup name in " + dir.string());
}

std::vector<BackupEntry> list_backups(const std::filesystem::path& root, std::string_view key) {
  std::vector<std::tuple<std::time_t, unsigned, std::filesystem::path>> found;
  std::error_code error;
  const std::filesystem::path dir = root / key_directory_name(key);
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    if (const auto parsed = parse_backup_name(it->path().filename().string())) {
      found.emplace_back(parsed->time, parsed->sequence, it->path());
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a)) > std::tie(std::get<0>(b), std::get<1>(b));
  });
  std::vector<BackupEntry> out;
  for (auto& [time, sequence, path] : found) out.push_back({std::move(path), time});
  return out;
}

SettingsFile read_backup(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) throw failure("cannot read the backup " + path.string() + ": " + error.message());
  if (size > MAX_BACKUP_BYTES) throw failure(path.string() + ": too large for a backup");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) throw failure("cannot read the backup " + path.string());
  return settings_from_json_text(text.str(), path.string());
}

}  // namespace owl::frontend
