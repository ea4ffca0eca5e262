#pragma once
#include <cstddef>
#include <span>
#include <string>

namespace vantiro {

inline constexpr const char* kFirmwareTargetPath = "/lib/firmware/dvb-demod-si2168-d60-01.fw";
inline constexpr const char* kFirmwareTempTemplate = "/tmp/vantiro-si2168-XXXXXX.fw";

// Whether this build was given a firmware image to carry.
bool hasEmbeddedFirmware();

// Installs the embedded Si2168 firmware through pkexec and reloads the
// dvb_usb_dvbsky driver. Blocks while the user answers the authorisation.
bool installFirmware(std::string* error = nullptr);

// What installFirmware does, with the image and paths as parameters so the
// steps can be exercised without touching /lib/firmware.
struct FirmwareInstallPlan {
    std::span<const unsigned char> image;
    std::string targetPath = kFirmwareTargetPath;
    std::string tempTemplate = kFirmwareTempTemplate;  // must end in ".fw"
};
bool installFirmwareImage(const FirmwareInstallPlan& plan, std::string* error = nullptr);

// The privileged shell command that installs `tempPath` as `targetPath`.
std::string firmwareInstallCommand(const std::string& tempPath, const std::string& targetPath);

}  // namespace vantiro
