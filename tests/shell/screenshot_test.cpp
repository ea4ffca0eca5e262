#include "shell/screenshot.h"

#include <gtest/gtest.h>

#include "shell/ui_fonts.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

TEST(Screenshot, WritesTheTopRowFirstWithoutAlpha) {
    test::TempDir dir;
    // Two rows as OpenGL reads them: the bottom row (red) first, then the top row (blue).
    std::vector<unsigned char> rgba = {255, 0, 0, 255, 254, 1, 2, 255,  //
                                       0, 0, 255, 255, 3, 4, 253, 255};
    ASSERT_TRUE(writePpmScreenshot(dir.file("shot.ppm"), 2, 2, rgba));
    EXPECT_EQ(test::readFile(dir.file("shot.ppm")),
              std::string("P6\n2 2\n255\n") + std::string("\0\0\xff\x03\x04\xfd\xff\0\0\xfe\x01\x02", 12));
}

TEST(Screenshot, A1280x720PictureHasTheExactSize) {
    test::TempDir dir;
    std::vector<unsigned char> rgba(1280u * 720u * 4u, 7);
    ASSERT_TRUE(writePpmScreenshot(dir.file("big.ppm"), 1280, 720, rgba));
    EXPECT_EQ(test::readFile(dir.file("big.ppm")).size(), 16u + 1280u * 720u * 3u);
}

TEST(Screenshot, AnUnwritablePathFails) {
    std::vector<unsigned char> rgba(4, 0);
    EXPECT_FALSE(writePpmScreenshot("/nonexistent-dir/shot.ppm", 1, 1, rgba));
}

TEST(FontLookup, FirstExistingPathTakesAnyKindOfEntry) {
    test::TempDir dir;
    test::writeFile(dir.file("b.ttf"), "x");
    EXPECT_EQ(firstExistingPath({dir.file("a.ttf"), dir.path().string(), dir.file("b.ttf")}), dir.path().string());
    EXPECT_EQ(firstExistingPath({dir.file("a.ttf"), dir.file("b.ttf")}), dir.file("b.ttf"));
    EXPECT_EQ(firstExistingPath({dir.file("a.ttf")}), "");
}

TEST(FontLookup, TheExecutablesDirectoryComesFirst) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "fonts");
    test::writeFile(dir.file("fonts/NotoSans-Regular.ttf"), "x");
    FontFiles files = findFontFiles(dir.path().string() + "/");
    EXPECT_EQ(files.main, dir.path().string() + "/fonts/NotoSans-Regular.ttf");
}

}  // namespace
}  // namespace vantiro
