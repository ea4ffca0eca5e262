#include "system/firmware_installer.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "system/firmware_image.h"
#include "system/system_root.h"

namespace vantiro {
namespace {

constexpr int kTempSuffixLength = 3;  // ".fw"
constexpr const char* kCannotCreate = "cannot create a temporary firmware file";
constexpr const char* kCannotWrite = "cannot write the temporary firmware file";
constexpr const char* kFailed = "firmware installation was cancelled or failed";
constexpr const char* kNoImage = "this build carries no firmware image";

bool fail(std::string* error, const char* message) {
    if (error) *error = message;
    return false;
}

bool writeImage(int fd, std::span<const unsigned char> image) {
    std::size_t written = 0;
    while (written < image.size()) {
        ssize_t n = ::write(fd, image.data() + written, image.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool hasEmbeddedFirmware() { return kFirmwareImageSize > 0; }

std::string firmwareInstallCommand(const std::string& tempPath, const std::string& targetPath) {
    // The temporary path comes from a fixed template, so it holds no quotes.
    return "pkexec sh -c 'install -Dm644 \"" + tempPath + "\" " + targetPath +
           "; modprobe -r dvb_usb_dvbsky 2>/dev/null; sleep 1; modprobe dvb_usb_dvbsky'";
}

bool installFirmwareImage(const FirmwareInstallPlan& plan, std::string* error) {
    std::string tempPath = plan.tempTemplate;
    int fd = ::mkstemps(tempPath.data(), kTempSuffixLength);
    if (fd < 0) return fail(error, kCannotCreate);

    bool written = writeImage(fd, plan.image);
    bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(tempPath.c_str());
        return fail(error, kCannotWrite);
    }

    int status = std::system(firmwareInstallCommand(tempPath, plan.targetPath).c_str());
    ::unlink(tempPath.c_str());
    if (status != 0) return fail(error, kFailed);
    if (::access(plan.targetPath.c_str(), R_OK) != 0) return fail(error, kFailed);
    return true;
}

bool installFirmware(std::string* error) {
    if (!hasEmbeddedFirmware()) return fail(error, kNoImage);
    FirmwareInstallPlan plan;
    plan.targetPath = underSystemRoot(kFirmwareTargetPath);
    plan.image = {kFirmwareImage, static_cast<std::size_t>(kFirmwareImageSize)};
    return installFirmwareImage(plan, error);
}

}  // namespace vantiro
