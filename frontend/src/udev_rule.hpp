#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Where the udev rule for OWL units is, where to install it from, and what to tell the user about
// it. owlctl doctor and the desktop's port-problem banner both give this advice, so it lives here.
namespace owl::frontend {

inline constexpr const char* UDEV_RULE_NAME = "70-owl-units.rules";

// The directories udev reads rules from, under root ("/" on a real machine). A rule in /etc
// overrides one of the same name in /usr/lib or /lib, so /etc comes first.
std::vector<std::filesystem::path> udev_rule_dirs(const std::filesystem::path& root = "/");

// Where the running program came from decides which copy of the rule and of the guide to name.
struct ProgramOrigin {
  enum class Kind {
    BuildTree,  // built from a checkout: the rule and the guide are in the source tree
    Installed,  // installed with its rule beside it (package or cmake --install)
    Unknown,    // neither found, for example an installed rule that was deleted
  };
  Kind kind = Kind::Unknown;
  std::filesystem::path rule;   // copy of the rule to install from; empty when Unknown
  std::filesystem::path guide;  // the hardware guide (docs/hardware.md)
};

// program_dir is the directory of the running executable. A build tree is recognised by the
// CMakeCache.txt of its build directory, which names the source tree.
ProgramOrigin program_origin(const std::filesystem::path& program_dir);

struct RuleStatus {
  std::optional<std::filesystem::path> installed;  // the rule udev reads, if any
  ProgramOrigin origin;
};

RuleStatus find_udev_rule(const std::vector<std::filesystem::path>& rule_dirs,
                          const std::filesystem::path& program_dir);

// One sentence, lower case first: how to install the rule, or, when it is installed, that the
// unit must be replugged for it to apply.
std::string rule_advice(const RuleStatus& status);

// The directory of the running executable (empty if the system does not say).
std::filesystem::path running_program_dir();

}  // namespace owl::frontend
