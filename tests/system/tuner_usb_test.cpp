#include "system/tuner_usb.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::TempDir;
using test::writeFile;

void addDevice(const TempDir& sysfs, const std::string& entry, const std::string& vendor,
               const std::string& product) {
    std::filesystem::create_directories(sysfs.path() / entry);
    writeFile(sysfs.file(entry + "/idVendor"), vendor);
    writeFile(sysfs.file(entry + "/idProduct"), product);
}

TEST(TunerUsb, FindsEitherProductIdOfTheStick) {
    for (const char* product : {"c688\n", "c689\n"}) {
        TempDir sysfs;
        addDevice(sysfs, "usb1", "1d6b\n", "0002\n");
        std::filesystem::create_directories(sysfs.path() / "1-2:1.0");  // an interface entry
        addDevice(sysfs, "1-2", "0572\n", product);
        EXPECT_TRUE(findTunerUsb(sysfs.path().string())) << product;
    }
}

TEST(TunerUsb, IdsMustMatchExactly) {
    TempDir sysfs;
    addDevice(sysfs, "1-1", "0572\n", "C688\n");    // upper case
    addDevice(sysfs, "1-2", "0572 \n", "c688\n");   // trailing space
    addDevice(sysfs, "1-3", "0572\n", "c688 \n");
    addDevice(sysfs, "1-4", "0572\n", "c690\n");    // another product of the vendor
    EXPECT_FALSE(findTunerUsb(sysfs.path().string()));
}

TEST(TunerUsb, MissingDirectoryMeansNoStick) {
    TempDir dir;
    EXPECT_FALSE(findTunerUsb(dir.file("no/such/dir")));
}

TEST(SysfsText, ReadsTheFirstLineWithoutItsLineFeed) {
    TempDir dir;
    writeFile(dir.file("product"), "T230C\nsecond line\n");
    writeFile(dir.file("empty"), "");
    EXPECT_EQ(readSysfsText(dir.path().string(), "product"), "T230C");
    EXPECT_EQ(readSysfsText(dir.path().string(), "empty"), "");
    EXPECT_EQ(readSysfsText(dir.path().string(), "absent"), "");
}

}  // namespace
}  // namespace vantiro
