#include "port_listing.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace owl {

namespace fs = std::filesystem;

namespace {

// Sysfs attributes end with a line feed that is not part of the value.
std::optional<std::string> read_attribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::uint16_t read_hex_id(const fs::path& file) {
  const std::optional<std::string> text = read_attribute(file);
  if (!text || text->empty()) return 0;
  std::uint16_t value = 0;
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, value, 16);
  if (ec != std::errc() || ptr != end) return 0;
  return value;
}

bool is_file(const fs::path& file) {
  std::error_code ec;
  return fs::is_regular_file(file, ec);
}

bool is_below(const fs::path& dir, const fs::path& root) {
  const auto [root_end, dir_at] = std::mismatch(root.begin(), root.end(), dir.begin(), dir.end());
  return root_end == root.end() && dir_at != dir.end();
}

// The USB device is the nearest ancestor of the tty's device (usually a USB interface) that
// carries the vendor and product ids. The walk stays inside the sysfs tree.
std::optional<UsbIdentity> usb_identity(const fs::path& device_link, const fs::path& root) {
  std::error_code ec;
  fs::path dir = fs::canonical(device_link, ec);
  if (ec) return std::nullopt;
  for (; is_below(dir, root); dir = dir.parent_path()) {
    if (!is_file(dir / "idVendor") || !is_file(dir / "idProduct")) continue;
    UsbIdentity identity;
    identity.vid = read_hex_id(dir / "idVendor");
    identity.pid = read_hex_id(dir / "idProduct");
    identity.serial_number = read_attribute(dir / "serial");
    identity.manufacturer = read_attribute(dir / "manufacturer");
    identity.product = read_attribute(dir / "product");
    return identity;
  }
  return std::nullopt;
}

}  // namespace

PortListing list_serial_ports(const std::string& sysfs_root, const std::string& dev_root) {
  const fs::path class_dir = fs::path(sysfs_root) / "class" / "tty";
  std::error_code ec;
  const fs::path root = fs::canonical(sysfs_root, ec);
  if (ec) return Unexpected{class_dir.string() + ": " + ec.message()};

  std::vector<std::string> names;
  fs::directory_iterator it(class_dir, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) return Unexpected{class_dir.string() + ": " + ec.message()};
  std::sort(names.begin(), names.end());

  std::vector<SerialPortInfo> ports;
  for (const std::string& name : names) {
    // Virtual terminals and pseudo-terminals have no device behind them.
    const fs::path device_link = class_dir / name / "device";
    std::error_code link_ec;
    const fs::file_status link = fs::symlink_status(device_link, link_ec);
    if (link_ec || !fs::is_symlink(link)) continue;
    ports.push_back({(fs::path(dev_root) / name).string(), usb_identity(device_link, root)});
  }
  return ports;
}

}  // namespace owl
