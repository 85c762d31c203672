#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "udev_rule.hpp"

// `owlctl doctor`: what on this machine keeps the user from reaching the units, found without
// starting the engine.
namespace owl::cli {

// Where the machine is looked at. Tests point these at fake trees.
struct DoctorRoots {
  std::filesystem::path sysfs = "/sys";
  std::filesystem::path dev = "/dev";
  std::filesystem::path proc = "/proc";
  std::vector<std::filesystem::path> udev_rule_dirs = frontend::udev_rule_dirs();
  // Decides which copy of the rule the advice names (build tree or installation).
  std::filesystem::path program_dir = frontend::running_program_dir();
};

// The defaults, overridden by OWLCTL_SYSFS_ROOT, OWLCTL_DEV_ROOT, OWLCTL_PROC_ROOT and
// OWLCTL_UDEV_RULES_DIRS (colon-separated).
DoctorRoots doctor_roots_from_environment();

struct Finding {
  bool problem = false;
  std::string text;
  std::string action;  // what to do; empty when nothing needs doing
};

// Answers whether the user may open the device for reading and writing; errno-style result
// (0 = yes). Injected so that tests do not depend on who runs them.
using AccessCheck = std::function<int(const std::filesystem::path&)>;
int real_access_check(const std::filesystem::path& path);

std::vector<Finding> run_doctor(const DoctorRoots& roots, const AccessCheck& may_open);

std::string format_findings(const std::vector<Finding>& findings);

}  // namespace owl::cli
