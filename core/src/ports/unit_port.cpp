#include "unit_port.hpp"

#include "text.hpp"

namespace owl {

namespace {

bool matches(const std::optional<std::string>& text, std::string_view expected) {
  return text.has_value() && equal_ignoring_ascii_case(*text, expected);
}

}  // namespace

bool is_unit_port(const UsbIdentity& usb) {
  return usb.vid == UNIT_USB_VID && usb.pid == UNIT_USB_PID &&
         matches(usb.manufacturer, UNIT_USB_MANUFACTURER) && matches(usb.product, UNIT_USB_PRODUCT);
}

std::optional<std::string> unit_key(const SerialPortInfo& port) {
  if (!port.usb || !is_unit_port(*port.usb) || !port.usb->serial_number) return std::nullopt;
  if (std::string_view(port.device_path).substr(0, 9) == "/dev/tty.") return std::nullopt;
  return port.usb->serial_number;
}

}  // namespace owl
