#include "platform/port_listing.hpp"

#include <gtest/gtest.h>

#include <fstream>

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

TEST(PortListing, OddEntriesAreListedWithoutIdentityOrLeftOut) {
  FakeSysfs tree;
  // Ids only count where both are: an interface with a vendor id alone is passed over.
  tree.add_usb_port("ttyACM0", {});
  const fs::path acm0 = fs::canonical(tree.sysfs() / "class" / "tty" / "ttyACM0" / "device");
  FakeSysfs::write(acm0 / "idVendor", "1234");
  // An empty id and one with trailing junk read as 0; an attribute without its line feed is whole.
  tree.add_usb_port("ttyACM1", {.vid = "", .pid = "12g4"});
  tree.add_usb_port("ttyACM2", {.serial = std::nullopt});
  const fs::path acm2 = fs::canonical(tree.sysfs() / "class" / "tty" / "ttyACM2" / "device");
  std::ofstream(acm2.parent_path() / "serial") << "K9";
  // A device link that leads nowhere, and a device that is not a link.
  tree.add_virtual_tty("ttyACM3");
  fs::create_symlink("../../devices/gone", tree.sysfs() / "devices/virtual/tty/ttyACM3/device");
  fs::create_directories(tree.sysfs() / "class" / "tty" / "ttyS1" / "device");

  EXPECT_EQ(tree.list().value(),
            (std::vector<SerialPortInfo>{
                {tree.dev_path("ttyACM0"), UsbIdentity{0x2E8A, 0x000A, "K1", "Quillon", "OWL"}},
                {tree.dev_path("ttyACM1"), UsbIdentity{0, 0, "K1", "Quillon", "OWL"}},
                {tree.dev_path("ttyACM2"), UsbIdentity{0x2E8A, 0x000A, "K9", "Quillon", "OWL"}},
                {tree.dev_path("ttyACM3"), std::nullopt},
            }));
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
