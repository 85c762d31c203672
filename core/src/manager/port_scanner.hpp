#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/byte_link.hpp"
#include "expected.hpp"
#include "manager/manager.hpp"
#include "platform/port_listing.hpp"
#include "ports/unit_port.hpp"
#include "timings.hpp"

namespace owl {

struct PortProblemTable;

struct ScannerConfig {
  std::string sysfs_root = "/sys";
  std::string dev_root = "/dev";
};

using PortOpener =
    std::function<Expected<std::unique_ptr<ByteLink>, std::string>(const std::string& path)>;

// "path: text" per problem, sorted byte-wise.
[[nodiscard]] std::vector<std::string> port_problem_lines(
    const std::map<std::string, std::string>& problems);

// Some("text") with quotes, backslashes and control characters escaped, or None.
std::string debug_quoted(const std::optional<std::string>& text);

// One scanning pass over a listing: opens every unit port whose key is not registered yet, starts
// its worker, and publishes the open failures through the manager's event channel whenever they
// differ from the last published ones. A failed listing changes nothing.
void run_scan_pass(const PortListing& listing, Manager& manager, PortProblemTable& published,
                   const PortOpener& open_port);

// Starts the detached thread "owl-scan" that brings unit ports into service once a second.
// Throws Panic("spawn scan thread") if it cannot be started.
void spawn_port_scanner(Manager& manager, std::shared_ptr<PortProblemTable> port_problems,
                        ScannerConfig config);

}  // namespace owl
