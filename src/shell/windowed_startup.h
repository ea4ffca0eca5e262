#pragma once
#include <functional>
#include <string>

#include "system/firmware_installer.h"
#include "system/system_root.h"
#include "system/tuner_usb.h"

namespace vantiro {

class App;

// The parts of the system the start-up looks at before the window opens.
struct StartupSystem {
    std::string firmwarePath = underSystemRoot(kFirmwareTargetPath);
    std::string usbDevicesDir = underSystemRoot(kUsbDevicesDir);
    std::function<bool(std::string* error)> installFirmware = [](std::string* error) {
        return vantiro::installFirmware(error);
    };
};

// Everything before the window: channel list, tuner, the firmware offer, the
// online channels and the status line.
void prepareWindowedApp(App& app, const StartupSystem& system = {});

// The windowed player with its options (argv[1] on); the result is the exit code.
int runWindowedPlayer(int argc, char** argv);

}  // namespace vantiro
