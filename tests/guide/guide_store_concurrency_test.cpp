// The collector adds on the relay's thread while the window and the server read.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "guide/guide_collector.h"
#include "guide/guide_store.h"
#include "guide/xmltv_writer.h"
#include "support/eit_builder.h"

namespace vantiro {
namespace {

TEST(GuideStoreConcurrency, CollectorWritesWhileReadersRead) {
    GuideStore store;
    constexpr std::uint32_t kMux = 474000000;
    const UnixSeconds start = test::utcTime(2026, 12, 8, 20, 0);
    std::vector<test::Bytes> sections;
    for (std::uint8_t version = 0; version < 32; ++version)
        sections.push_back(test::makeEit(
            {.serviceId = static_cast<std::uint16_t>(version % 4), .version = version},
            {test::eitEvent(version, start + version * 60, 60, test::shortEventDescriptor("eng", test::bytesOf("T"), {}))}));

    std::atomic<bool> done{false};
    std::thread collector([&] {
        GuideCollector feed(store, kMux);
        for (int round = 0; round < 20; ++round)
            for (const test::Bytes& section : sections) feed.pushSection(section);
        done.store(true);
    });
    std::vector<std::thread> readers;
    std::atomic<std::size_t> seen{0};
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            const std::vector<GuideChannel> channels = {{{kMux, 0}, "A"}, {{kMux, 1}, "B"}};
            while (!done.load()) {
                seen += store.nowNext({kMux, 1}, start + 90).now.has_value();
                seen += writeXmltv(channels, store).size() > 0;
                store.dropEndedBefore(start - 1);
            }
        });
    collector.join();
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(store.snapshot(kMux).size(), 4u);
    EXPECT_GT(seen.load(), 0u);
}

}  // namespace
}  // namespace vantiro
