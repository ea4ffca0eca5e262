#include "system/firmware_installer.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "system/firmware_image.h"

namespace vantiro {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A stand-in for pkexec, first on PATH: it records its arguments, keeps a copy
// of the file it was handed, "installs" it when told to, and exits as told.
constexpr const char* kFakePkexec = R"SH(#!/bin/sh
printf '%s\n' "$@" > "$FAKE_DIR/args"
tmp=$(printf '%s' "$3" | sed -n 's/^install -Dm644 "\([^"]*\)".*/\1/p')
cp "$tmp" "$FAKE_DIR/handed-over"
[ "$FAKE_INSTALL" = yes ] && cp "$tmp" "$FAKE_TARGET"
exit "$FAKE_EXIT"
)SH";

class FirmwareInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(fake.path() / "bin");
        writeFile(fake.file("bin/pkexec"), kFakePkexec);
        chmod(fake.file("bin/pkexec").c_str(), 0755);
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (fake.file("bin") + ":" + oldPath).c_str(), 1);
        setenv("FAKE_DIR", fake.path().c_str(), 1);
        setenv("FAKE_TARGET", fake.file("target.fw").c_str(), 1);
        plan.image = image;
        plan.targetPath = fake.file("target.fw");
        plan.tempTemplate = temp.file("vantiro-si2168-XXXXXX.fw");
    }
    void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }

    bool install(const char* exitCode, const char* installs, std::string* error) {
        setenv("FAKE_EXIT", exitCode, 1);
        setenv("FAKE_INSTALL", installs, 1);
        return installFirmwareImage(plan, error);
    }
    bool tempDirIsEmpty() const { return std::filesystem::is_empty(temp.path()); }

    TempDir fake, temp;
    std::string oldPath;
    std::vector<unsigned char> image = std::vector<unsigned char>(10829);
    FirmwareInstallPlan plan;

    void fillImage() {
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
        plan.image = image;
    }
};

TEST_F(FirmwareInstallerTest, HandsTheWholeImageToPkexecAndSucceeds) {
    fillImage();
    std::string error = "untouched";
    EXPECT_TRUE(install("0", "yes", &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(readFile(fake.file("handed-over")), std::string(image.begin(), image.end()));
    std::string args = readFile(fake.file("args"));
    EXPECT_EQ(args.substr(0, 6), "sh\n-c\n");
    EXPECT_NE(args.find("modprobe -r dvb_usb_dvbsky 2>/dev/null; sleep 1; modprobe dvb_usb_dvbsky"),
              std::string::npos);
    EXPECT_TRUE(tempDirIsEmpty());
}

TEST_F(FirmwareInstallerTest, CancelledOrFailedAuthorisation) {
    for (const char* code : {"1", "126"}) {
        std::string error;
        EXPECT_FALSE(install(code, "no", &error)) << code;
        EXPECT_EQ(error, "firmware installation was cancelled or failed");
        EXPECT_TRUE(tempDirIsEmpty());
    }
}

TEST_F(FirmwareInstallerTest, SuccessWithoutTheFileInPlaceIsAFailure) {
    std::string error;
    EXPECT_FALSE(install("0", "no", &error));
    EXPECT_EQ(error, "firmware installation was cancelled or failed");
}

TEST_F(FirmwareInstallerTest, DriverReloadFailureAfterInstallIsReported) {
    std::string error;
    EXPECT_FALSE(install("1", "yes", &error));  // file copied, last modprobe failed
    EXPECT_EQ(error, "firmware installation was cancelled or failed");
    EXPECT_TRUE(tempDirIsEmpty());
}

TEST_F(FirmwareInstallerTest, TemporaryFileThatCannotBeCreated) {
    plan.tempTemplate = temp.file("missing-dir/vantiro-si2168-XXXXXX.fw");
    std::string error;
    EXPECT_FALSE(installFirmwareImage(plan, &error));
    EXPECT_EQ(error, "cannot create a temporary firmware file");
}

TEST_F(FirmwareInstallerTest, TemporaryFileThatCannotBeWrittenIsRemoved) {
    pid_t child = fork();
    if (child == 0) {
        struct rlimit limit {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        std::string error;
        bool ok = installFirmwareImage(plan, &error);
        _exit(!ok && error == "cannot write the temporary firmware file" ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(tempDirIsEmpty());
}

TEST(FirmwareInstallCommand, QuotesTheTemporaryPathInsideTheScript) {
    EXPECT_EQ(firmwareInstallCommand("/tmp/vantiro-si2168-abcdef.fw", kFirmwareTargetPath),
              "pkexec sh -c 'install -Dm644 \"/tmp/vantiro-si2168-abcdef.fw\" "
              "/lib/firmware/dvb-demod-si2168-d60-01.fw; modprobe -r dvb_usb_dvbsky 2>/dev/null; "
              "sleep 1; modprobe dvb_usb_dvbsky'");
}

TEST(EmbeddedFirmware, BuildWithoutAnImageSaysSo) {
    std::string error;
    if (hasEmbeddedFirmware()) {
        EXPECT_EQ(kFirmwareImageSize, 10829u) << "the Si2168-D60 image is 10829 bytes";
    } else {
        EXPECT_FALSE(installFirmware(&error));
        EXPECT_EQ(error, "this build carries no firmware image");
    }
}

}  // namespace
}  // namespace vantiro
