#pragma once
#include <string>

namespace vantiro {

inline constexpr const char* kUsbDevicesDir = "/sys/bus/usb/devices";

// Whether a MyGica T230C (USB 0572:c688 or 0572:c689) is plugged in.
bool findTunerUsb(const std::string& usbDevicesDir = kUsbDevicesDir);

// First line of `entry`/`attribute` without its line feed; "" when unreadable.
std::string readSysfsText(const std::string& entry, const std::string& attribute);

}  // namespace vantiro
