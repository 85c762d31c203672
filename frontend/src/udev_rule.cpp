#include "udev_rule.hpp"

#include <fstream>
#include <string_view>

namespace owl::frontend {
namespace {

namespace fs = std::filesystem;

// How far below its build directory a program or test binary sits (build/x/host/tests/...).
constexpr int BUILD_TREE_DEPTH = 3;
constexpr std::string_view HOME_KEY = "CMAKE_HOME_DIRECTORY:INTERNAL=";
constexpr const char* RELOAD =
    " && sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=tty";

bool is_file(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// Paths go into commands the user copies, so anything beyond plain characters is quoted.
std::string shell_quoted(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789/._-+,:@%") == std::string::npos) {
    return text;
  }
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::optional<fs::path> source_dir_of_build(const fs::path& cache) {
  std::ifstream in(cache);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(HOME_KEY, 0) == 0) return fs::path(line.substr(HOME_KEY.size()));
  }
  return std::nullopt;
}

}  // namespace

std::vector<fs::path> udev_rule_dirs(const fs::path& root) {
  return {root / "etc/udev/rules.d", root / "usr/lib/udev/rules.d", root / "lib/udev/rules.d"};
}

ProgramOrigin program_origin(const fs::path& program_dir) {
  if (program_dir.empty()) return {};
  fs::path dir = program_dir;
  for (int level = 0; level <= BUILD_TREE_DEPTH && !dir.empty(); ++level) {
    if (is_file(dir / "CMakeCache.txt")) {
      const auto source = source_dir_of_build(dir / "CMakeCache.txt");
      if (source && is_file(*source / "packaging" / UDEV_RULE_NAME)) {
        return {ProgramOrigin::Kind::BuildTree, *source / "packaging" / UDEV_RULE_NAME,
                *source / "docs" / "hardware.md"};
      }
      break;
    }
    if (dir == dir.parent_path()) break;
    dir = dir.parent_path();
  }
  // The paths from the program's folder to the rule and the docs in the installed layout.
  const fs::path rule = (program_dir / OWL_BINDIR_TO_RULES / UDEV_RULE_NAME).lexically_normal();
  const fs::path guide = (program_dir / OWL_BINDIR_TO_DOCS / "docs/hardware.md").lexically_normal();
  if (is_file(rule)) return {ProgramOrigin::Kind::Installed, rule, guide};
  return {ProgramOrigin::Kind::Unknown, {}, is_file(guide) ? guide : fs::path(OWL_PACKAGE_GUIDE)};
}

RuleStatus find_udev_rule(const std::vector<fs::path>& rule_dirs, const fs::path& program_dir) {
  RuleStatus status;
  for (const auto& dir : rule_dirs) {
    if (is_file(dir / UDEV_RULE_NAME)) {
      status.installed = dir / UDEV_RULE_NAME;
      break;
    }
  }
  status.origin = program_origin(program_dir);
  return status;
}

std::string rule_advice(const RuleStatus& status) {
  if (status.installed) {
    return "the udev rule is installed (" + status.installed->string() +
           "): unplug and replug the unit so that it applies";
  }
  if (status.origin.kind == ProgramOrigin::Kind::Unknown) {
    return std::string(
        "install the rule: sudo apt install --reinstall owl-configurator puts it in "
        "/usr/lib/udev/rules.d/ and reloads udev; then unplug and replug the unit");
  }
  return "install the rule: sudo cp " + shell_quoted(status.origin.rule.string()) +
         " /etc/udev/rules.d/" + RELOAD + "; then unplug and replug the unit";
}

fs::path running_program_dir() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : exe.parent_path();
}

}  // namespace owl::frontend
