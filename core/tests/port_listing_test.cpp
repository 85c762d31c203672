#include "manager/port_listing.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_sysfs.hpp"

namespace owl {
namespace {

using testing_support::FakeSysfs;
namespace fs = std::filesystem;

TEST(PortListing, ReadsTheIdentityOfTheNearestUsbDevice) {
  FakeSysfs tree;
  tree.add_usb_port("ttyACM0", {});
  tree.add_usb_port("ttyACM1", {.serial = "", .manufacturer = "QUILLON ", .product = "OWL\tv2"});
  tree.add_usb_port("ttyUSB0",
                    {.vid = "0403",
                     .pid = "6001",
                     .serial = std::nullopt,
                     .manufacturer = std::nullopt,
                     .product = std::nullopt},
                    true);
  tree.add_usb_port("ttyACM2", {.vid = "not hex", .pid = "1234"});
  tree.add_platform_port("ttyS0");
  tree.add_virtual_tty("tty0");

  const PortListing listing = list_serial_ports(tree.sysfs().string(), "/devroot");
  ASSERT_TRUE(listing.has_value()) << listing.error();
  const std::vector<SerialPortInfo> expected = {
      {"/devroot/ttyACM0", UsbIdentity{0x2E8A, 0x000A, "K1", "Quillon", "OWL"}},
      // Only the line feed sysfs appends is dropped; other white space is part of the value.
      {"/devroot/ttyACM1", UsbIdentity{0x2E8A, 0x000A, "", "QUILLON ", "OWL\tv2"}},
      {"/devroot/ttyACM2", UsbIdentity{0, 0x1234, "K1", "Quillon", "OWL"}},
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
  EXPECT_EQ(list_serial_ports(tree.sysfs().string(), "/dev").value(),
            (std::vector<SerialPortInfo>{{"/dev/ttyS0", std::nullopt}}));
}

TEST(PortListing, UnreadableTtyClassFailsTheListing) {
  FakeSysfs tree;
  fs::remove_all(tree.sysfs() / "class");
  EXPECT_FALSE(list_serial_ports(tree.sysfs().string(), "/dev").has_value());
  EXPECT_FALSE(list_serial_ports((tree.base() / "missing").string(), "/dev").has_value());

  // An empty class is a machine without serial ports, not a failure.
  fs::create_directories(tree.sysfs() / "class" / "tty");
  EXPECT_EQ(list_serial_ports(tree.sysfs().string(), "/dev").value(),
            std::vector<SerialPortInfo>{});
}

}  // namespace
}  // namespace owl
