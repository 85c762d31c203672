#include "manager/port_listing.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace owl {
namespace {

namespace fs = std::filesystem;

struct UsbAttributes {
  std::optional<std::string> vid = "2e8a";
  std::optional<std::string> pid = "000a";
  std::optional<std::string> serial = "E6614C311B";
  std::optional<std::string> manufacturer = "Quillon";
  std::optional<std::string> product = "OWL";
};

// A sysfs tree laid out like the kernel's: class/tty entries are links into devices/, and each
// tty's device link points at the USB interface below the USB device that holds the ids.
class FakeSysfs {
 public:
  FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "owl-listing-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    fs::create_directories(sysfs() / "class" / "tty");
    // The root hub is a USB device too; a port must take the identity of the nearest one.
    write(hub_dir() / "idVendor", "1d6b");
    write(hub_dir() / "idProduct", "0002");
    write(hub_dir() / "manufacturer", "Linux 6.1.0 xhci-hcd");
    write(hub_dir() / "product", "xHCI Host Controller");
  }
  ~FakeSysfs() { fs::remove_all(base_); }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  fs::path base() const { return base_; }
  fs::path sysfs() const { return base_ / "sys"; }

  // A CDC-ACM port: devices/.../usb1/1-<port>/1-<port>:1.0/tty/<name>.
  void add_acm_port(const std::string& name, int port, const UsbAttributes& usb) {
    const std::string device = "1-" + std::to_string(port);
    const fs::path usb_dir = hub_dir() / device;
    write_usb(usb_dir, usb);
    add_tty(usb_dir / (device + ":1.0"), name, "../../../" + device + ":1.0");
  }

  // A USB-serial converter: one level more between the interface and the tty.
  void add_converter_port(const std::string& name, int port, const UsbAttributes& usb) {
    const std::string device = "1-" + std::to_string(port);
    const fs::path usb_dir = hub_dir() / device;
    write_usb(usb_dir, usb);
    add_tty(usb_dir / (device + ":1.0") / name, name, "../../../" + name);
  }

  void add_platform_port(const std::string& name) {
    add_tty(sysfs() / "devices" / "platform" / "serial8250", name, "../../../serial8250");
  }

  void add_virtual_tty(const std::string& name) {
    const fs::path dir = sysfs() / "devices" / "virtual" / "tty" / name;
    fs::create_directories(dir);
    fs::create_symlink("../../devices/virtual/tty/" + name, sysfs() / "class" / "tty" / name);
  }

  static void write(const fs::path& file, const std::string& value) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << value << '\n';
  }

 private:
  fs::path hub_dir() const { return sysfs() / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1"; }

  static void write_usb(const fs::path& dir, const UsbAttributes& usb) {
    fs::create_directories(dir);
    if (usb.vid) write(dir / "idVendor", *usb.vid);
    if (usb.pid) write(dir / "idProduct", *usb.pid);
    if (usb.serial) write(dir / "serial", *usb.serial);
    if (usb.manufacturer) write(dir / "manufacturer", *usb.manufacturer);
    if (usb.product) write(dir / "product", *usb.product);
  }

  void add_tty(const fs::path& parent, const std::string& name, const std::string& device_link) {
    const fs::path dir = parent / "tty" / name;
    fs::create_directories(dir);
    fs::create_symlink(device_link, dir / "device");
    fs::create_symlink(fs::relative(dir, sysfs() / "class" / "tty"),
                       sysfs() / "class" / "tty" / name);
  }

  fs::path base_;
};

TEST(PortListing, ReadsTheIdentityOfTheNearestUsbDevice) {
  FakeSysfs tree;
  tree.add_acm_port("ttyACM0", 1, {});
  tree.add_acm_port("ttyACM1", 2, {.serial = "", .manufacturer = "QUILLON ", .product = "OWL\tv2"});
  tree.add_converter_port("ttyUSB0", 3,
                          {.vid = "0403",
                           .pid = "6001",
                           .serial = std::nullopt,
                           .manufacturer = std::nullopt,
                           .product = std::nullopt});
  tree.add_acm_port("ttyACM2", 4, {.vid = "not hex", .pid = "1234"});
  tree.add_platform_port("ttyS0");
  tree.add_virtual_tty("tty0");

  const PortListing listing = list_serial_ports(tree.sysfs().string(), "/devroot");
  ASSERT_TRUE(listing.has_value()) << listing.error();
  const std::vector<SerialPortInfo> expected = {
      {"/devroot/ttyACM0", UsbIdentity{0x2E8A, 0x000A, "E6614C311B", "Quillon", "OWL"}},
      // Only the line feed sysfs appends is dropped; other white space is part of the value.
      {"/devroot/ttyACM1", UsbIdentity{0x2E8A, 0x000A, "", "QUILLON ", "OWL\tv2"}},
      {"/devroot/ttyACM2", UsbIdentity{0, 0x1234, "E6614C311B", "Quillon", "OWL"}},
      {"/devroot/ttyS0", std::nullopt},
      {"/devroot/ttyUSB0", UsbIdentity{0x0403, 0x6001, std::nullopt, std::nullopt, std::nullopt}},
  };
  EXPECT_EQ(listing.value(), expected);
}

TEST(PortListing, IdentityIsSoughtOnlyInsideTheSysfsTree) {
  FakeSysfs tree;
  tree.add_platform_port("ttyS0");
  // Ids above the tree's root belong to nothing the tree describes.
  FakeSysfs::write(tree.base() / "idVendor", "2e8a");
  FakeSysfs::write(tree.base() / "idProduct", "000a");

  const PortListing listing = list_serial_ports(tree.sysfs().string(), "/dev");
  ASSERT_TRUE(listing.has_value());
  ASSERT_EQ(listing.value().size(), 1u);
  EXPECT_EQ(listing.value()[0].device_path, "/dev/ttyS0");
  EXPECT_FALSE(listing.value()[0].usb.has_value());
}

TEST(PortListing, UnreadableTtyClassFailsTheListing) {
  FakeSysfs tree;
  fs::remove_all(tree.sysfs() / "class");
  EXPECT_FALSE(list_serial_ports(tree.sysfs().string(), "/dev").has_value());
  EXPECT_FALSE(list_serial_ports((tree.base() / "missing").string(), "/dev").has_value());

  // An empty class is a machine without serial ports, not a failure.
  fs::create_directories(tree.sysfs() / "class" / "tty");
  const PortListing empty = list_serial_ports(tree.sysfs().string(), "/dev");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty.value().empty());
}

}  // namespace
}  // namespace owl
