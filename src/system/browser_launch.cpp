#include "system/browser_launch.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <system_error>
#include <thread>

namespace vantiro {
namespace {

constexpr int kWaitAttempts = 30;
constexpr useconds_t kWaitStepMicros = 100000;
constexpr int kExecFailedStatus = 127;
// Exit code and terminating signal of a wait status, without the core-dump bit.
constexpr int kStatusOutcomeMask = 0xff7f;

[[noreturn]] void execBrowserInChild(const char* url) {
    // The browser outlives this program's devices and pipes; it must not hold them open.
    ::close_range(3, UINT_MAX, 0);
    std::signal(SIGPIPE, SIG_DFL);
    ::execlp("xdg-open", "xdg-open", url, static_cast<char*>(nullptr));
    ::_exit(kExecFailedStatus);
}

// A child still running when we stop waiting is reaped whenever it ends, so
// that it does not linger as a zombie.
void reapInBackground(pid_t child) {
    try {
        std::thread([child] {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child stays a zombie until this program ends.
    }
}

}  // namespace

void launchBrowser(bool onlineAvailable, const std::string& url, const ToastSink& toast) {
    if (!onlineAvailable) {
        toast(kBrowserOfflineText, kBrowserToastSeconds);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) execBrowserInChild(url.c_str());
    if (child < 0) {
        toast(kBrowserFailedText, kBrowserToastSeconds);
        return;
    }
    for (int attempt = 0; attempt < kWaitAttempts; ++attempt) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            toast((status & kStatusOutcomeMask) == 0 ? kBrowserOpeningText : kBrowserFailedText,
                  kBrowserToastSeconds);
            return;
        }
        if (ended < 0 && errno != EINTR) {
            toast(kBrowserFailedText, kBrowserToastSeconds);
            return;
        }
        ::usleep(kWaitStepMicros);
    }
    reapInBackground(child);
    toast(kBrowserOpeningText, kBrowserToastSeconds);
}

}  // namespace vantiro
