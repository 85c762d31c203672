#include "manager/port_scanner.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include "device/worker.hpp"
#include "error.hpp"
#include "fault.hpp"
#include "manager/engine.hpp"
#include "platform/serial_port.hpp"
#include "trace.hpp"

namespace owl {

std::vector<std::string> port_problem_lines(const std::map<std::string, std::string>& problems) {
  std::vector<std::string> lines;
  lines.reserve(problems.size());
  for (const auto& [path, text] : problems) lines.push_back(path + ": " + text);
  // std::string compares as unsigned bytes, and a prefix sorts first.
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string debug_quoted(const std::optional<std::string>& text) {
  if (!text) return "None";
  std::string out = "Some(\"";
  for (const char c : *text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(byte));
          out += escaped;
        } else {
          out += c;
        }
      }
    }
  }
  out += "\")";
  return out;
}

void run_scan_pass(const PortListing& listing, Manager& manager, PortProblemTable& published,
                   const PortOpener& open_port) {
  if (!listing) return;
  std::map<std::string, std::string> problems;
  for (const SerialPortInfo& port : listing.value()) {
    const std::optional<std::string> unit = unit_key(port);
    if (!unit) continue;
    const UsbIdentity& usb = *port.usb;
    const std::string& key = *unit;
    if (manager.registry->contains(key)) continue;

    auto opened = open_port(port.device_path);
    if (opened) {
      if (trace_enabled()) {
        trace(key + " opened " + port.device_path + " (" + debug_quoted(usb.manufacturer) + " " +
              debug_quoted(usb.product) + ")");
      }
      try {
        spawn_device_worker(manager, key, port.device_path, std::move(opened.value()));
      } catch (const Panic& failure) {
        // The port was closed again and its unit is not registered: the next pass tries anew.
        problems[port.device_path] = failure.what();
      }
    } else {
      if (trace_enabled()) {
        trace(key + " could not open " + port.device_path + ": " + opened.error());
      }
      problems[port.device_path] = opened.error();
    }
  }

  const std::lock_guard<std::mutex> lock(published.mutex);
  if (problems == published.problems) return;
  std::vector<std::string> lines = port_problem_lines(problems);
  published.problems = std::move(problems);
  manager.events.send(event::PortProblems{std::move(lines)});
}

void spawn_port_scanner(Manager& manager, std::shared_ptr<PortProblemTable> port_problems,
                        ScannerConfig config) {
  try {
    spawn_detached("owl-scan", [manager = manager, port_problems = std::move(port_problems),
                                config = std::move(config)]() mutable {
      const PortOpener open_port = [](const std::string& path) { return open_unit_port(path); };
      for (;;) {
        try {
          run_scan_pass(list_serial_ports(config.sysfs_root, config.dev_root), manager,
                        *port_problems, open_port);
        } catch (const std::exception& e) {
          // Costs this pass, not the scanner: a poisoned registry, say, fails every pass alike.
          report_fault("owl-scan", e.what());
        }
        manager.clock->sleep_for(SCAN_INTERVAL);
      }
    });
  } catch (const std::system_error&) {
    throw Panic("spawn scan thread");
  }
}

}  // namespace owl
