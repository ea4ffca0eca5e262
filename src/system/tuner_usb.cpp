#include "system/tuner_usb.h"

#include <filesystem>
#include <fstream>

namespace vantiro {
namespace {

constexpr const char* kVendorId = "0572";
constexpr const char* kProductIds[] = {"c688", "c689"};

bool isTunerProduct(const std::string& productId) {
    for (const char* id : kProductIds)
        if (productId == id) return true;
    return false;
}

}  // namespace

std::string readSysfsText(const std::string& entry, const std::string& attribute) {
    std::ifstream in(std::filesystem::path(entry) / attribute);
    std::string line;
    if (!in || !std::getline(in, line)) return "";
    return line;
}

bool findTunerUsb(const std::string& usbDevicesDir) {
    std::error_code ec;
    std::filesystem::directory_iterator it(usbDevicesDir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().string();
        if (readSysfsText(entry, "idVendor") != kVendorId) continue;
        if (isTunerProduct(readSysfsText(entry, "idProduct"))) return true;
    }
    return false;
}

}  // namespace vantiro
