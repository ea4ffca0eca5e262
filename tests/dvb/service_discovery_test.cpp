#include "dvb/service_discovery.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "support/psi_builder.h"

namespace vantiro {
namespace {

using namespace vantiro::test;

// A multiplex as a set of tables: each read of a PID gets the next queued section
// for it (the last one repeats), and every read is logged.
class FakeMultiplex {
public:
    void add(std::uint16_t pid, Bytes section) { tables_[pid].push_back(std::move(section)); }

    SectionSource source() {
        return [this](const SectionFilter& filter, int timeoutMs, std::vector<std::uint8_t>& out) {
            reads.push_back(filter);
            timeouts.push_back(timeoutMs);
            auto& queue = tables_[filter.pid];
            for (std::size_t i = 0; i < queue.size(); ++i) {
                const Bytes& s = queue[i];
                if (s.empty() || s[0] != filter.tableId) continue;
                if (filter.tableIdExtension && (s.size() < 5 || ((s[3] << 8) | s[4]) != *filter.tableIdExtension))
                    continue;
                out = s;
                if (queue.size() > 1) queue.erase(queue.begin() + static_cast<long>(i));
                return true;
            }
            return false;
        };
    }

    int readsOf(std::uint16_t pid) const {
        int n = 0;
        for (const auto& f : reads) n += f.pid == pid;
        return n;
    }

    std::vector<SectionFilter> reads;
    std::vector<int> timeouts;

private:
    std::map<std::uint16_t, std::deque<Bytes>> tables_;
};

TEST(DiscoverServices, NamesAndPidsInPatOrder) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{0, 0x10}, {1025, 0x100}, {1026, 0x110}}));
    mux.add(0x0011, makeSdt({{1026, serviceDescriptor({}, bytesOf("Radio"))},
                             {1025, serviceDescriptor(bytesOf("P"), Bytes{0x07, 0xA1})}}));
    mux.add(0x100, makePmt(1025, 0x101, {{0x1B, 0x101}, {0x0F, 0x102}}));
    mux.add(0x110, makePmt(1026, 0x111, {{0x04, 0x111}}));
    auto services = discoverServices(mux.source(), 1500);
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services[0].serviceId, 1025);
    EXPECT_EQ(services[0].pmtPid, 0x100);
    EXPECT_EQ(services[0].name, "\xE0\xB8\x81");
    EXPECT_EQ(services[0].videoPid, 0x101);
    EXPECT_EQ(services[0].audioPid, 0x102);
    EXPECT_EQ(services[0].pcrPid, 0x101);
    EXPECT_EQ(services[1].name, "Radio");
    EXPECT_EQ(services[1].videoPid, 0);
    EXPECT_EQ(services[1].audioPid, 0x111);
    EXPECT_EQ(services[1].pcrPid, 0x111);
    for (int t : mux.timeouts) EXPECT_EQ(t, 1500);
}

TEST(DiscoverServices, NoPatOrOnlyTheNetworkEntryGivesNothing) {
    FakeMultiplex none;
    EXPECT_TRUE(discoverServices(none.source(), 10).empty());
    EXPECT_EQ(none.reads.size(), 1u);

    FakeMultiplex networkOnly;
    networkOnly.add(0x0000, makePat({{0, 0x10}}));
    EXPECT_TRUE(discoverServices(networkOnly.source(), 10).empty());
    EXPECT_EQ(networkOnly.reads.size(), 1u);
}

TEST(DiscoverServices, UnnamedProgramGetsANumberedName) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1025, 0x100}, {1026, 0x110}}));
    mux.add(0x0011, makeSdt({{1025, serviceDescriptor({}, bytesOf("Named"))}}));
    auto services = discoverServices(mux.source(), 10);
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services[0].name, "Named");
    EXPECT_EQ(services[1].name, "Service 1026");
}

TEST(DiscoverServices, MissingPmtLeavesPidsZeroButListsTheService) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1, 0x100}, {2, 0x200}}));
    mux.add(0x200, makePmt(2, 0x201, {{0x02, 0x201}}));
    auto services = discoverServices(mux.source(), 10);
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services[0].name, "Service 1");
    EXPECT_EQ(services[0].videoPid + services[0].audioPid + services[0].pcrPid, 0);
    EXPECT_EQ(services[1].videoPid, 0x201);
}

TEST(DiscoverServices, PmtWithoutVideoOrAudioLeavesThePcrAtZero) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1, 0x100}}));
    mux.add(0x100, makePmt(1, 0x101, {{0x06, 0x101}}));
    auto services = discoverServices(mux.source(), 10);
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].pcrPid, 0);
}

TEST(DiscoverServices, ProgramsSharingOnePmtPidEachGetTheirOwn) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1, 0x100}, {2, 0x100}}));
    mux.add(0x100, makePmt(1, 0x101, {{0x1B, 0x101}}));
    mux.add(0x100, makePmt(2, 0x201, {{0x1B, 0x201}}));
    auto services = discoverServices(mux.source(), 10);
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services[0].videoPid, 0x101);
    EXPECT_EQ(services[1].videoPid, 0x201);
    ASSERT_TRUE(mux.reads.back().tableIdExtension);
    EXPECT_EQ(*mux.reads.back().tableIdExtension, 2);
}

TEST(DiscoverServices, SdtInTwoSectionsStopsOnceBothAreSeen) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1, 0x100}, {2, 0x200}}));
    mux.add(0x0011, makeSdt({{1, serviceDescriptor({}, bytesOf("One"))}}, 0, 1));
    mux.add(0x0011, makeSdt({{1, serviceDescriptor({}, bytesOf("One"))}}, 0, 1));  // repeats first
    mux.add(0x0011, makeSdt({{2, serviceDescriptor({}, bytesOf("Two"))}}, 1, 1));
    auto services = discoverServices(mux.source(), 10);
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services[0].name, "One");
    EXPECT_EQ(services[1].name, "Two");
    EXPECT_EQ(mux.readsOf(0x0011), 3);
}

TEST(DiscoverServices, SdtReadsAreCappedAtFour) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1, 0x100}}));
    mux.add(0x0011, makeSdt({{1, serviceDescriptor({}, bytesOf("One"))}}, 0, 7));
    discoverServices(mux.source(), 10);
    EXPECT_EQ(mux.readsOf(0x0011), kMaxSdtSections);
}

TEST(DiscoverServices, SingleSectionSdtIsReadOnce) {
    FakeMultiplex mux;
    mux.add(0x0000, makePat({{1, 0x100}}));
    mux.add(0x0011, makeSdt({{1, serviceDescriptor({}, bytesOf("One"))}}));
    discoverServices(mux.source(), 10);
    EXPECT_EQ(mux.readsOf(0x0011), 1);
}

}  // namespace
}  // namespace vantiro
