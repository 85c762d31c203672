#include "backup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "errors.hpp"
#include "form.hpp"
#include "records_json.hpp"

namespace owl::cli {
namespace {

constexpr const char* NO_BACKUP_ADVICE = " (use --no-backup to write without a backup)";

CliError backup_failure(const std::string& problem) {
  return failure(problem + NO_BACKUP_ADVICE);
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
  const std::string text = dump_json(settings_to_json(settings), 2) + "\n";
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

}  // namespace owl::cli
