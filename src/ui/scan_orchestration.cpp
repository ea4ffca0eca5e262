// The background scan of the window. Placeholder until the scan panel lands:
// a scan request only says that it is not available yet.
#include "shell/app.h"

namespace vantiro {

void App::startScan() {
    if (scanning.load()) return;
    showToast("Scanning from the window is not available yet - run: vantiro scan", kErrorToastSeconds);
}

void App::finishScan() {
    if (scanThread.joinable()) scanThread.join();
}

}  // namespace vantiro
