#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// By path rather than include directory, so that owl_ports' users see this one platform header
// and not the engine's others beside it.
#include "../platform/port_listing.hpp"

// Which serial ports are units: the one rule the engine's scanner and owlctl's doctor share.
namespace owl {

// The units' USB identity. The ids belong to the microcontroller maker and are shared with other
// boards built on it, so the manufacturer and product strings decide.
inline constexpr std::uint16_t UNIT_USB_VID = 0x2E8A;
inline constexpr std::uint16_t UNIT_USB_PID = 0x000A;
inline constexpr std::string_view UNIT_USB_MANUFACTURER = "Quillon";
inline constexpr std::string_view UNIT_USB_PRODUCT = "OWL";

// Whether a USB identity marks its port as a unit port: the ids exactly, the two strings ignoring
// ASCII letter case and nothing else (no trimming). The serial number is not looked at.
bool is_unit_port(const UsbIdentity& usb);

// The key of the unit behind a port that the engine opens: a unit port with a serial number, and
// not the dial-in twin of a call-out device (which would block until carrier). None otherwise.
std::optional<std::string> unit_key(const SerialPortInfo& port);

}  // namespace owl
