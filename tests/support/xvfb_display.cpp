#include "support/xvfb_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vantiro::test {

XvfbDisplay::XvfbDisplay() {
    if (const char* old = std::getenv("DISPLAY")) {
        hadDisplay_ = true;
        previousDisplay_ = old;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_t child = ::fork();
    if (child == 0) {
        if (fds[1] == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(fds[1], 3);
        int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 2);
        // A test under the simulated adapter (or a sanitizer) preloads it; the
        // X server is no user of either.
        ::unsetenv("LD_PRELOAD");
        ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return;
    }
    pid_ = child;
    std::string number;
    char c;
    pollfd readable{fds[0], POLLIN, 0};
    while (::poll(&readable, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    ::setenv("DISPLAY", display_.c_str(), 1);
}

XvfbDisplay::~XvfbDisplay() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    if (hadDisplay_)
        ::setenv("DISPLAY", previousDisplay_.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

}  // namespace vantiro::test
