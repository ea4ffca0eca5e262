#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantiro {
namespace {

ServeOptions parse(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return parseServeOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(ServeOptions, DefaultsAndBothValues) {
    ServeOptions none = parse({"vantiro", "serve"});
    EXPECT_EQ(none.port, 8090);
    EXPECT_EQ(none.demoPath, "");
    ServeOptions both = parse({"vantiro", "serve", "--demo", "clip.ts", "--port", "9000"});
    EXPECT_EQ(both.port, 9000);
    EXPECT_EQ(both.demoPath, "clip.ts");
}

TEST(ServeOptions, OptionAsLastArgumentKeepsTheDefault) {
    EXPECT_EQ(parse({"vantiro", "serve", "--port"}).port, 8090);
    ServeOptions demoLast = parse({"vantiro", "serve", "--port", "8100", "--demo"});
    EXPECT_EQ(demoLast.port, 8100);
    EXPECT_EQ(demoLast.demoPath, "");
}

TEST(ServeOptions, PortIsParsedLikeStrtolAndOthersAreSkipped) {
    EXPECT_EQ(parse({"vantiro", "serve", "x", "--port", "12abc"}).port, 12);
    EXPECT_EQ(parse({"vantiro", "serve", "--port", "abc"}).port, 0);
    EXPECT_EQ(parse({"vantiro", "serve", "--verbose", "--port", " 8091"}).port, 8091);
    // "serve" itself is argument 1 and is never read as an option.
    EXPECT_EQ(parse({"--port", "serve", "1"}).port, 8090);
}

}  // namespace
}  // namespace vantiro
