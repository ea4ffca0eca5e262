#include "system/browser_launch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* kUrl = "https://tv.example/play/";

struct Toast {
    std::string text;
    double seconds = 0;
};

// Puts a stand-in xdg-open first on PATH (or no xdg-open at all) for one test.
class BrowserLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        std::filesystem::create_directories(dir.path() / "bin");
        setenv("STUB_DIR", dir.path().c_str(), 1);
    }
    void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }

    void installStub(const std::string& body) {
        const std::string path = dir.file("bin/xdg-open");
        writeFile(path, "#!/bin/sh\necho $$ > \"$STUB_DIR/pid\"\nprintf '%s\\n' \"$@\" > \"$STUB_DIR/args\"\n" + body);
        chmod(path.c_str(), 0755);
        setenv("PATH", (dir.file("bin") + ":" + oldPath).c_str(), 1);
    }
    void onlyEmptyPath() { setenv("PATH", dir.file("bin").c_str(), 1); }

    std::vector<Toast> launch(bool online) {
        std::vector<Toast> toasts;
        launchBrowser(online, kUrl, [&](const std::string& text, double seconds) { toasts.push_back({text, seconds}); });
        return toasts;
    }

    TempDir dir;
    std::string oldPath;
};

TEST_F(BrowserLaunchTest, SuccessfulXdgOpenGetsTheUrlAndTheOpeningToast) {
    installStub("exit 0\n");
    const auto toasts = launch(true);
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Opening Lunaricast in the browser");
    EXPECT_EQ(toasts[0].seconds, 3.0);
    EXPECT_EQ(readFile(dir.file("args")), std::string(kUrl) + "\n");
}

TEST_F(BrowserLaunchTest, FailingXdgOpenReportsFailure) {
    installStub("exit 1\n");
    const auto toasts = launch(true);
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Could not open the browser");
}

TEST_F(BrowserLaunchTest, KilledXdgOpenReportsFailure) {
    installStub("kill -TERM $$\n");
    const auto toasts = launch(true);
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Could not open the browser");
}

TEST_F(BrowserLaunchTest, MissingXdgOpenReportsFailure) {
    onlyEmptyPath();
    const auto toasts = launch(true);
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Could not open the browser");
}

TEST_F(BrowserLaunchTest, OfflineStartsNothing) {
    installStub("exit 0\n");
    const auto toasts = launch(false);
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Offline - connect to use Lunaricast");
    EXPECT_EQ(toasts[0].seconds, 3.0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("args")));
}

TEST_F(BrowserLaunchTest, SlowBrowserCountsAsOpenedAndIsReapedLater) {
    installStub("touch \"$STUB_DIR/go-wait\"; while [ ! -e \"$STUB_DIR/go\" ]; do sleep 0.05; done\nexit 0\n");
    const auto toasts = launch(true);
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Opening Lunaricast in the browser");

    const std::string pid = readFile(dir.file("pid"));
    const std::string proc = "/proc/" + pid.substr(0, pid.find('\n'));
    EXPECT_TRUE(std::filesystem::exists(proc));
    writeFile(dir.file("go"), "");
    // Once it ends, nobody but the background reaper can collect it: no zombie stays.
    for (int i = 0; i < 200 && std::filesystem::exists(proc); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(std::filesystem::exists(proc));
}

TEST_F(BrowserLaunchTest, BrowserDoesNotInheritOpenDescriptors) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);  // deliberately without close-on-exec
    installStub("ls /proc/$$/fd > \"$STUB_DIR/fds\"\nexit 0\n");
    launch(true);
    close(fds[0]);
    close(fds[1]);
    const std::string fdList = readFile(dir.file("fds"));
    EXPECT_EQ(fdList.find(std::to_string(fds[0]) + "\n"), std::string::npos) << fdList;
    EXPECT_EQ(fdList.find(std::to_string(fds[1]) + "\n"), std::string::npos) << fdList;
}

}  // namespace
}  // namespace vantiro
