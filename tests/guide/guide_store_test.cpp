// The guide from sections to the store and through a restart: versions, schedule
// segments, now/next, stale events and the disk cache (also a corrupt one).
#include "guide/guide_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "guide/guide_cache.h"
#include "guide/guide_collector.h"
#include "support/eit_builder.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using test::Bytes;
using test::bytesOf;

constexpr std::uint32_t kMux = 474000000;
const UnixSeconds kEight = test::utcTime(2026, 12, 8, 20, 0);

Bytes titled(const std::string& title) { return test::shortEventDescriptor("eng", bytesOf(title), {}); }

void feed(GuideCollector& collector, const Bytes& section) { collector.pushSection(section); }

TEST(GuideStore, VersionsRepeatsAndNowNext) {
    GuideStore store;
    GuideCollector collector(store, kMux);
    test::EitHeader h;
    h.serviceId = 1025;
    h.lastSectionNumber = 1;
    h.segmentLastSectionNumber = 1;
    Bytes present = test::makeEit(h, {test::eitEvent(1, kEight, 3600, titled("News"))});
    h.sectionNumber = 1;
    Bytes following = test::makeEit(h, {test::eitEvent(2, kEight + 3600, 1800, titled("Film"))});
    feed(collector, present);
    const auto revision = store.revision();
    feed(collector, present);  // a repeat
    EXPECT_EQ(store.revision(), revision);
    EXPECT_FALSE(store.complete(kMux));
    feed(collector, following);
    EXPECT_TRUE(store.complete(kMux));

    NowNext at = store.nowNext({kMux, 1025}, kEight + 10);
    ASSERT_TRUE(at.now && at.next);
    EXPECT_EQ(at.now->title, "News");
    EXPECT_EQ(at.next->title, "Film");
    EXPECT_FALSE(store.nowNext({kMux, 1026}, kEight).now);
    EXPECT_FALSE(store.nowNext({522000000, 1025}, kEight).now);

    // Version 1: the present event has ended, the film runs, a new one follows.
    h.version = 1;
    h.sectionNumber = 0;
    feed(collector, test::makeEit(h, {test::eitEvent(2, kEight + 3600, 1800, titled("Film"))}));
    h.sectionNumber = 1;
    feed(collector, test::makeEit(h, {test::eitEvent(3, kEight + 5400, 600, titled("Weather"))}));
    auto events = store.events({kMux, 1025});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].title, "Film");
    EXPECT_EQ(events[1].title, "Weather");
    at = store.nowNext({kMux, 1025}, kEight + 5400);
    EXPECT_EQ(at.now->title, "Weather");
    EXPECT_FALSE(at.next);
    // In a gap there is no "now", only the next event.
    at = store.nowNext({kMux, 1025}, kEight - 60);
    EXPECT_FALSE(at.now);
    EXPECT_EQ(at.next->title, "Film");

    // Tables of other multiplexes are not taken.
    EXPECT_EQ(store.snapshot().size(), 1u);
    feed(collector, test::makeEit({.tableId = 0x4F, .serviceId = 77}, {test::eitEvent(9, kEight, 60, titled("X"))}));
    EXPECT_EQ(store.snapshot().size(), 1u);
}

TEST(GuideStore, ScheduleSegmentsDecideCompleteness) {
    GuideStore store;
    GuideCollector collector(store, kMux);
    test::EitHeader pf{.serviceId = 1};
    feed(collector, test::makeEit(pf, {test::eitEvent(1, kEight, 60, titled("Now"))}));
    EXPECT_TRUE(store.complete(kMux));
    // Schedule 0x50 with segments 1 (sections 8-9) and 2 (section 16), last table 0x51.
    auto schedule = [](std::uint8_t table, std::uint8_t number, std::uint8_t segmentLast, UnixSeconds start) {
        test::EitHeader h{.tableId = table, .serviceId = 1, .sectionNumber = number, .lastSectionNumber = 16,
                          .segmentLastSectionNumber = segmentLast, .lastTableId = 0x51};
        return test::makeEit(h, {test::eitEvent(static_cast<std::uint16_t>(table * 256 + number), start, 60,
                                                titled("Slot"))});
    };
    feed(collector, schedule(0x50, 8, 9, kEight + 600));
    EXPECT_FALSE(store.complete(kMux));
    feed(collector, schedule(0x50, 16, 16, kEight + 1200));
    feed(collector, schedule(0x50, 9, 9, kEight + 900));
    // Every segment sent is whole (segment 0, the past, was never sent), but only a
    // repeat shows that the carousel went round: until then more may come.
    EXPECT_FALSE(store.complete(kMux));
    feed(collector, schedule(0x50, 8, 9, kEight + 600));
    EXPECT_FALSE(store.complete(kMux));  // table 0x51 is still missing
    for (std::uint8_t s : {0, 8, 16}) feed(collector, schedule(0x51, s, s, kEight + 86400 * 4 + s * 60));
    feed(collector, schedule(0x51, 0, 0, kEight + 86400 * 4));
    EXPECT_TRUE(store.complete(kMux));
    EXPECT_TRUE(store.hasSchedule(kMux));
    EXPECT_EQ(store.events({kMux, 1}).size(), 7u);
}

TEST(GuideStore, StaleEventsAndOverlapsGo) {
    GuideStore store;
    GuideCollector collector(store, kMux);
    store.setCachedEvents({kMux, 5}, {[] {
        EitEvent e;
        e.eventId = 50;
        e.start = kEight - 600;
        e.duration = 1200;  // overlaps the live event below
        e.title = "Old plan";
        return e;
    }()});
    EXPECT_EQ(store.events({kMux, 5})[0].title, "Old plan");
    feed(collector, test::makeEit({.serviceId = 5}, {test::eitEvent(1, kEight, 60, titled("Live"))}));
    auto events = store.events({kMux, 5});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].title, "Live");
    store.dropEndedBefore(kEight + 60);
    EXPECT_TRUE(store.empty());
    EXPECT_FALSE(store.nowNext({kMux, 5}, kEight + 30).now);
}

TEST(GuideCache, SurvivesARestartAndIgnoresACorruptFile) {
    test::TempDir home;
    test::ScopedEnv cache("XDG_CACHE_HOME", home.path().c_str());
    const std::string directory = guideCacheDirectory();
    EXPECT_EQ(directory, home.file("vantiro"));
    {
        GuideStore store;
        GuideCollector collector(store, kMux);
        Bytes thai{0x07, 0xA2, 0xE8, 0xD2, 0xC7};
        Bytes descriptors = test::shortEventDescriptor("tha", thai, bytesOf("tab\there"));
        for (std::uint8_t b : test::contentDescriptor({0x20})) descriptors.push_back(b);
        for (std::uint8_t b : test::parentalRatingDescriptor("THA", 3)) descriptors.push_back(b);
        for (std::uint8_t b : test::extendedEventDescriptor(0, 0, "tha", {}, bytesOf("line\nbreak \\ slash")))
            descriptors.push_back(b);
        feed(collector, test::makeEit({.serviceId = 1025}, {test::eitEvent(1, kEight, 3600, descriptors)}));
        ASSERT_TRUE(saveGuideCache(directory, store, kMux));
    }
    // A corrupt file of another multiplex beside it, and no leftover temporary file.
    test::writeFile(guideCacheFile(directory, 522000000), "vantiro-guide-1\n1\t2\tnot a number\n");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) files += entry.is_regular_file();
    EXPECT_EQ(files, 2u);

    GuideStore restarted;
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadGuideCache(directory, restarted), 1u);
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(warnings, "vantiro: ignoring guide cache " + guideCacheFile(directory, 522000000) + ": corrupt\n");
    NowNext at = restarted.nowNext({kMux, 1025}, kEight + 5);
    ASSERT_TRUE(at.now);
    EXPECT_EQ(at.now->title, "\xE0\xB8\x82\xE0\xB9\x88\xE0\xB8\xB2\xE0\xB8\xA7");
    EXPECT_EQ(at.now->shortText, "tab\there");
    EXPECT_EQ(at.now->extendedText, "line\nbreak \\ slash");
    EXPECT_EQ(at.now->language, "tha");
    EXPECT_EQ(at.now->contentNibbles, std::vector<std::uint8_t>{0x20});
    ASSERT_TRUE(at.now->rating);
    EXPECT_EQ(at.now->rating->minimumAge, 6);

    // Every cut of a good file is either the whole guide or rejected: never half read.
    const std::string text = test::readFile(guideCacheFile(directory, kMux));
    for (std::size_t n = 0; n < text.size(); ++n) {
        auto parsed = parseGuide(std::string_view(text).substr(0, n), kMux);
        EXPECT_FALSE(parsed && !parsed->empty()) << n;
    }
    // A file past the size bound is not read.
    test::writeFile(guideCacheFile(directory, 530000000), std::string(kMaxGuideCacheBytes + 1, 'x'));
    GuideStore third;
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadGuideCache(directory, third), 1u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("too large"), std::string::npos);
}

}  // namespace
}  // namespace vantiro
