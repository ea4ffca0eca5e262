// EIT sections as a broadcaster sends them, including the awkward ones: events
// across midnight UTC, dates past the 32-bit time limit, BCD garbage and
// descriptors cut short.
#include "guide/eit.h"

#include <gtest/gtest.h>

#include "guide/genre.h"
#include "support/eit_builder.h"
#include "support/utf8_check.h"

namespace vantiro {
namespace {

using test::Bytes;
using test::bytesOf;

const Bytes kThaiNews{0x07, 0xA2, 0xE8, 0xD2, 0xC7};  // "ข่าว" in ISO/IEC 8859-11

Bytes utf8(const std::string& text) {
    Bytes out{0x15};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

TEST(EitSection, HeaderAndThaiAndUtf8Titles) {
    test::EitHeader header;
    header.tableId = 0x50;
    header.serviceId = 1025;
    header.version = 7;
    header.sectionNumber = 9;
    header.lastSectionNumber = 17;
    header.segmentLastSectionNumber = 10;
    header.lastTableId = 0x51;
    const auto start = test::utcTime(2026, 12, 8, 20, 0);
    Bytes section = test::makeEit(
        header, {test::eitEvent(1, start, 1800, test::shortEventDescriptor("tha", kThaiNews, bytesOf("today"))),
                 test::eitEvent(2, start + 1800, 5400,
                                test::shortEventDescriptor("eng", utf8("Café Noir"), utf8("Ein Krimi")))});
    auto eit = parseEitSection(section);
    ASSERT_TRUE(eit);
    EXPECT_EQ(eit->tableId, 0x50);
    EXPECT_EQ(eit->serviceId, 1025);
    EXPECT_EQ(eit->version, 7);
    EXPECT_EQ(eit->sectionNumber, 9);
    EXPECT_EQ(eit->lastSectionNumber, 17);
    EXPECT_EQ(eit->segmentLastSectionNumber, 10);
    EXPECT_EQ(eit->lastTableId, 0x51);
    EXPECT_EQ(eit->originalNetworkId, 0x2174);
    EXPECT_TRUE(eit->actual());
    ASSERT_EQ(eit->events.size(), 2u);
    EXPECT_EQ(eit->events[0].title, "\xE0\xB8\x82\xE0\xB9\x88\xE0\xB8\xB2\xE0\xB8\xA7");
    EXPECT_EQ(eit->events[0].language, "tha");
    EXPECT_EQ(eit->events[0].shortText, "today");
    EXPECT_EQ(eit->events[0].runningStatus, 4);
    EXPECT_EQ(eit->events[1].title, "Caf\xC3\xA9 Noir");
    EXPECT_EQ(*eit->events[1].start, start + 1800);
    EXPECT_EQ(*eit->events[1].duration, 5400);
}

TEST(EitSection, NotAnEitSection) {
    EXPECT_FALSE(parseEitSection(test::makeSdt({})));
    Bytes section = test::makeEit({}, {});
    EXPECT_FALSE(parseEitSection(SectionBytes(section.data(), 13)));
    EXPECT_TRUE(parseEitSection(section));
}

TEST(DvbTime, EventAcrossMidnightUtc) {
    // 2026-12-31 23:30 UTC for 1 h: MJD 61405, ends in the next year.
    const Bytes start{0xEF, 0xDD, 0x23, 0x30, 0x00};
    const Bytes duration{0x01, 0x00, 0x00};
    Bytes section = test::makeEit({}, {test::eitEventRaw(5, start, duration, {})});
    auto eit = parseEitSection(section);
    ASSERT_TRUE(eit && eit->events.size() == 1);
    EXPECT_EQ(*eit->events[0].start, test::utcTime(2026, 12, 31, 23, 30));
    EXPECT_EQ(eit->events[0].end(), test::utcTime(2027, 1, 1, 0, 30));
}

TEST(DvbTime, DatesPastThe32BitLimit) {
    // The last day 16-bit MJD can name, 2038-04-22, lies past 2038-01-19 03:14:07.
    const std::uint8_t last[5] = {0xFF, 0xFF, 0x23, 0x59, 0x59};
    EXPECT_EQ(*decodeMjdUtc(last), test::utcTime(2038, 4, 22, 23, 59, 59));
    EXPECT_GT(*decodeMjdUtc(last), 0x7FFFFFFFLL);
    const UnixSeconds pastLimit = test::utcTime(2038, 1, 19, 3, 14, 8);
    std::uint8_t bytes[5];
    encodeMjdUtc(pastLimit, bytes);
    EXPECT_EQ(*decodeMjdUtc(bytes), pastLimit);
    // 1970-01-01 is MJD 40587 (0x9E8B).
    const std::uint8_t epoch[5] = {0x9E, 0x8B, 0x00, 0x00, 0x00};
    EXPECT_EQ(*decodeMjdUtc(epoch), 0);
}

TEST(DvbTime, BcdGarbageAndUndefined) {
    const std::uint8_t undefinedStart[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::uint8_t hexDigit[5] = {0xEF, 0xDD, 0x2A, 0x00, 0x00};
    const std::uint8_t hour24[5] = {0xEF, 0xDD, 0x24, 0x00, 0x00};
    const std::uint8_t minute60[5] = {0xEF, 0xDD, 0x12, 0x60, 0x00};
    EXPECT_FALSE(decodeMjdUtc(undefinedStart));
    EXPECT_FALSE(decodeMjdUtc(hexDigit));
    EXPECT_FALSE(decodeMjdUtc(hour24));
    EXPECT_FALSE(decodeMjdUtc(minute60));
    const std::uint8_t undefinedDuration[3] = {0xFF, 0xFF, 0xFF};
    const std::uint8_t badDuration[3] = {0x01, 0x9A, 0x00};
    const std::uint8_t longDuration[3] = {0x25, 0x30, 0x00};
    EXPECT_FALSE(decodeBcdDuration(undefinedDuration));
    EXPECT_FALSE(decodeBcdDuration(badDuration));
    EXPECT_EQ(*decodeBcdDuration(longDuration), 25 * 3600 + 30 * 60);

    // An event with garbage keeps its text but is not timed.
    Bytes section = test::makeEit(
        {}, {test::eitEventRaw(9, {0xEF, 0xDD, 0x1F, 0x00, 0x00}, {0x00, 0x30, 0x00},
                               test::shortEventDescriptor("eng", bytesOf("Bad clock"), {}))});
    auto eit = parseEitSection(section);
    ASSERT_TRUE(eit && eit->events.size() == 1);
    EXPECT_EQ(eit->events[0].title, "Bad clock");
    EXPECT_FALSE(eit->events[0].timed());
}

TEST(EitDescriptors, ExtendedTextInDescriptorOrderContentAndRating) {
    // Pieces sent out of order; the UTF-8 "é" is split between pieces 1 and 2.
    Bytes descriptors = test::extendedEventDescriptor(1, 2, "eng", {}, Bytes{0x15, 'c', 'a', 'f', 0xC3});
    for (std::uint8_t b : test::extendedEventDescriptor(0, 2, "eng", {{bytesOf("Director"), bytesOf("Ann Lee")}},
                                                        utf8("A long night at the ")))
        descriptors.push_back(b);
    for (std::uint8_t b : test::extendedEventDescriptor(2, 2, "eng", {}, Bytes{0x15, 0xA9, '.'}))
        descriptors.push_back(b);
    for (std::uint8_t b : test::contentDescriptor({0x14, 0xB3, 0xF0})) descriptors.push_back(b);
    for (std::uint8_t b : test::parentalRatingDescriptor("THA", 0x00)) descriptors.push_back(b);
    for (std::uint8_t b : test::parentalRatingDescriptor("THA", 0x0C)) descriptors.push_back(b);
    for (std::uint8_t b : test::shortEventDescriptor("eng", bytesOf("Night"), {})) descriptors.push_back(b);

    Bytes section = test::makeEit({}, {test::eitEvent(3, 0, 60, descriptors)});
    auto eit = parseEitSection(section);
    ASSERT_TRUE(eit && eit->events.size() == 1);
    const EitEvent& event = eit->events[0];
    EXPECT_EQ(event.extendedText, "Director: Ann Lee\nA long night at the caf\xC3\xA9.");
    ASSERT_EQ(event.contentNibbles, (std::vector<std::uint8_t>{0x14, 0xB3, 0xF0}));
    EXPECT_EQ(genreName(0x14), "Comedy");
    EXPECT_EQ(genreName(0xB3), "Unpublished");
    EXPECT_EQ(genreName(0x1F), "Movie/Drama");
    EXPECT_EQ(genreName(0xF0), "");
    EXPECT_EQ(genreName(0x00), "");
    ASSERT_TRUE(event.rating);
    EXPECT_EQ(event.rating->country, "THA");
    EXPECT_EQ(event.rating->minimumAge, 15);
    EXPECT_EQ(event.title, "Night");
}

TEST(EitDescriptors, TruncatedDescriptorsAndEvents) {
    // A short event whose name length runs past the descriptor: no title, no crash.
    Bytes lying = test::shortEventDescriptor("eng", bytesOf("Title"), bytesOf("text"));
    lying[5] = 200;
    // A descriptor whose length runs past the event's loop: the loop ends there.
    Bytes overrun = test::shortEventDescriptor("eng", bytesOf("Kept?"), {});
    overrun[1] = 90;
    Bytes first = test::eitEvent(1, 0, 60, lying);
    Bytes second = test::eitEvent(2, 60, 60, overrun);
    // A last event whose descriptor loop claims more than the section holds.
    Bytes third = test::eitEvent(3, 120, 60, test::shortEventDescriptor("eng", bytesOf("Cut"), {}));
    third[11] = 0xF0;
    Bytes section = test::makeEit({}, {first, second, third});
    auto eit = parseEitSection(section);
    ASSERT_TRUE(eit);
    ASSERT_EQ(eit->events.size(), 2u);
    EXPECT_EQ(eit->events[0].title, "");
    EXPECT_EQ(eit->events[1].title, "");
    EXPECT_EQ(eit->events[1].eventId, 2);

    // Every cut of a full section parses without reading past it, texts valid UTF-8.
    Bytes full = test::makeEit({}, {test::eitEvent(4, 0, 60,
                                                   test::extendedEventDescriptor(0, 0, "tha", {{kThaiNews, kThaiNews}},
                                                                                 kThaiNews))});
    for (std::size_t n = 0; n <= full.size(); ++n) {
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        if (auto parsed = parseEitSection(cut)) {
            for (const EitEvent& e : parsed->events) EXPECT_TRUE(test::isValidUtf8(e.extendedText));
        }
    }
}

}  // namespace
}  // namespace vantiro
