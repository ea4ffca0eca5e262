#pragma once
#include <functional>
#include <string>

namespace vantiro {

inline constexpr const char* kBrowserOfflineText = "Offline - connect to use Lunaricast";
inline constexpr const char* kBrowserOpeningText = "Opening Lunaricast in the browser";
inline constexpr const char* kBrowserFailedText = "Could not open the browser";
inline constexpr double kBrowserToastSeconds = 3.0;

using ToastSink = std::function<void(const std::string& text, double seconds)>;

// Opens `url` with the desktop's xdg-open (found on PATH) in a child process and
// reports the outcome through `toast`. Waits up to about 3 s: an xdg-open that
// is still running then counts as success and is reaped in the background.
// Offline, it only shows the offline toast and starts nothing.
void launchBrowser(bool onlineAvailable, const std::string& url, const ToastSink& toast);

}  // namespace vantiro
