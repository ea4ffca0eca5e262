#include "support/dvbsim_harness.h"

#include <gtest/gtest.h>
#include <link.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace vantiro::test {

namespace {

constexpr const char* kChildMarker = "VANTIRO_DVBSIM_CHILD";
constexpr auto kChildTimeLimit = std::chrono::seconds(240);

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Path of a loaded shared object whose file name starts with `prefix`
// (the sanitizer runtime this test binary runs with), or empty.
std::string loadedLibrary(const std::string& prefix) {
    struct Search {
        std::string prefix, found;
    } search{prefix, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            std::string name = info->dlpi_name ? info->dlpi_name : "";
            auto slash = name.rfind('/');
            if (name.compare(slash == std::string::npos ? 0 : slash + 1, s->prefix.size(), s->prefix) == 0) {
                s->found = name;
                return 1;
            }
            return 0;
        },
        &search);
    return search.found;
}

std::string preloadList(const std::string& lib) {
    std::string list;
    for (const char* runtime : {"libasan.so", "libtsan.so"}) {
        std::string path = loadedLibrary(runtime);
        if (!path.empty()) list += path + ":";
    }
    return list + lib;
}

std::string currentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::string standardBandDir() {
    std::string build = envOr("VANTIRO_BUILD_DIR", "");
    return build.empty() ? std::string() : build + "/dvbsim-band";
}

std::string standardBandPath() {
    std::string source = envOr("VANTIRO_SOURCE_DIR", "");
    std::string dir = standardBandDir();
    if (source.empty() || dir.empty()) return {};
    std::string band = dir + "/band.conf";
    // make-band returns at once when the band is already there and current.
    std::string command = "'" + source + "/tools/dvbsim/make-band' '" + dir + "' >/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return band;
}

bool runUnderDvbsim(const std::string& bandPath) {
    if (std::getenv(kChildMarker)) return true;
    std::string lib = envOr("DVBSIM_LIB", "");
    if (lib.empty()) {
        [] { GTEST_SKIP() << "DVBSIM_LIB is not set (the simulated adapter is not built)"; }();
        return false;
    }
    if (bandPath.empty()) {
        ADD_FAILURE() << "no band file for the simulated adapter";
        return false;
    }
    char outputTemplate[] = "/tmp/dvbsim-child-XXXXXX";
    int outputFd = mkstemp(outputTemplate);
    if (outputFd < 0) {
        ADD_FAILURE() << "cannot create a file for the child's output";
        return false;
    }
    std::string exe = "/proc/self/exe";
    std::string filter = "--gtest_filter=" + currentTestName();
    std::string preload = preloadList(lib);
    pid_t child = fork();
    if (child == 0) {
        dup2(outputFd, 1);
        dup2(outputFd, 2);
        setenv(kChildMarker, "1", 1);
        setenv("DVBSIM_BAND", bandPath.c_str(), 1);
        setenv("LD_PRELOAD", preload.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), filter.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outputFd);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + kChildTimeLimit;
    bool timedOut = false;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string output = readAll(outputTemplate);
    std::remove(outputTemplate);
    if (timedOut) {
        ADD_FAILURE() << "the test under the simulated adapter did not finish:\n" << output;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the test failed under the simulated adapter (status " << status << "):\n" << output;
    } else if (output.find("[  SKIPPED ]") != std::string::npos) {
        [&] { GTEST_SKIP() << "skipped under the simulated adapter:\n" << output; }();
    }
    return false;
}

}  // namespace vantiro::test
