// XMLTV from a store filled with crafted sections, judged by tv_validate_file
// (xmltv-util), the reference checker XMLTV consumers rely on.
#include "guide/xmltv_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "guide/guide_collector.h"
#include "guide/now_next_text.h"
#include "support/eit_builder.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::Bytes;
using test::bytesOf;

constexpr std::uint32_t kMux = 474000000;
const UnixSeconds kStart = test::utcTime(2026, 12, 31, 23, 30);

Bytes descriptorsOf(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

void fill(GuideStore& store) {
    GuideCollector collector(store, kMux);
    const Bytes thai{0x07, 0xA2, 0xE8, 0xD2, 0xC7};
    const Bytes awkward = bytesOf("Tom & Jerry <live> \"quoted\" 'single'\x86\x87");
    collector.pushSection(test::makeEit(
        {.serviceId = 1025, .lastSectionNumber = 1, .segmentLastSectionNumber = 1},
        {test::eitEvent(1, kStart, 3600,
                        descriptorsOf({test::shortEventDescriptor("tha", thai, bytesOf("Evening \x8Anews")),
                                       test::contentDescriptor({0x21}),
                                       test::parentalRatingDescriptor("THA", 0x09)}))}));
    collector.pushSection(test::makeEit(
        {.serviceId = 1025, .sectionNumber = 1, .lastSectionNumber = 1, .segmentLastSectionNumber = 1},
        {test::eitEvent(2, kStart + 3600, 1800, test::shortEventDescriptor("eng", awkward, bytesOf(" ")))}));
    collector.pushSection(test::makeEit(
        {.serviceId = 1026}, {test::eitEvent(7, test::utcTime(2038, 4, 22, 23, 0), 3540,
                                             test::shortEventDescriptor("deu", bytesOf("Late"), {}))}));
    // No title: not a programme XMLTV can hold.
    collector.pushSection(test::makeEit({.serviceId = 1027}, {test::eitEvent(8, kStart, 60, {})}));
}

const std::vector<GuideChannel> kChannels = {{{kMux, 1025}, "Alpha TV"},
                                             {{kMux, 1026}, "Beta & Co"},
                                             {{kMux, 1027}, "Radio Gamma"},
                                             {{522000000, 2049}, "Delta TV"},
                                             {{474166000, 9}, "Offset"}};

TEST(Xmltv, IdsTimesAndEscaping) {
    EXPECT_EQ(xmltvChannelId({474000000, 1025}), "474.1025.vantiro");
    EXPECT_EQ(xmltvChannelId({474166000, 9}), "474166k.9.vantiro");
    EXPECT_EQ(xmltvTime(test::utcTime(2038, 4, 22, 23, 59, 59)), "20380422235959 +0000");
    EXPECT_EQ(xmlText("a&b<c>\"d'\x01\t\xC2\x86x\xC2\x8Ay"), "a&amp;b&lt;c&gt;&quot;d&apos;\tx\ny");

    GuideStore store;
    fill(store);
    const std::string xml = writeXmltv(kChannels, store);
    EXPECT_NE(xml.find("<channel id=\"474.1025.vantiro\">\n    <display-name>Alpha TV</display-name>"),
              std::string::npos);
    EXPECT_NE(xml.find("<display-name>Beta &amp; Co</display-name>"), std::string::npos);
    EXPECT_EQ(xml.find("474.1027.vantiro"), std::string::npos);  // nothing to list
    EXPECT_EQ(xml.find("522.2049"), std::string::npos);
    EXPECT_NE(xml.find("<programme start=\"20261231233000 +0000\" stop=\"20270101003000 +0000\" "
                       "channel=\"474.1025.vantiro\">\n    <title lang=\"th\">\xE0\xB8\x82\xE0\xB9\x88\xE0\xB8\xB2"
                       "\xE0\xB8\xA7</title>\n    <desc lang=\"th\">Evening \nnews</desc>\n"
                       "    <category lang=\"en\">News/Weather report</category>\n"
                       "    <rating system=\"THA\">\n      <value>12</value>\n    </rating>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<title lang=\"en\">Tom &amp; Jerry &lt;live&gt; &quot;quoted&quot; &apos;single&apos;</title>"
                       "\n  </programme>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("start=\"20380422230000 +0000\" stop=\"20380422235900 +0000\""), std::string::npos);
}

TEST(Xmltv, TvValidateFileAcceptsIt) {
    if (std::system("command -v tv_validate_file >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmltv-util missing";
    GuideStore store;
    fill(store);
    test::TempDir dir;
    const std::string path = dir.file("epg.xml");
    test::writeFile(path, writeXmltv(kChannels, store));
    test::ScopedEnv supplement("XMLTV_SUPPLEMENT", "/usr/share/xmltv");
    const std::string command = "tv_validate_file " + path + " >" + dir.file("out.txt") + " 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << test::readFile(dir.file("out.txt"));
}

TEST(NowNextText, TableOfChannels) {
    test::ScopedEnv tz("TZ", "UTC");
    GuideStore store;
    fill(store);
    const std::string text = nowNextText(kChannels, store, kStart + 60);
    EXPECT_EQ(text.substr(0, text.find("Beta")),
              "Alpha TV  474 MHz\n"
              "  now   23:30-00:30  \xE0\xB8\x82\xE0\xB9\x88\xE0\xB8\xB2\xE0\xB8\xA7\n"
              "  next  00:30-01:00  Tom & Jerry <live> \"quoted\" 'single'\xC2\x86\xC2\x87\n");
    EXPECT_NE(text.find("Radio Gamma  474 MHz\n  (no guide data)\n"), std::string::npos);
}

}  // namespace
}  // namespace vantiro
