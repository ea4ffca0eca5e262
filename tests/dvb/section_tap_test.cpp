// Sections collected from the relayed multiplex: the guide's EIT tap and the
// assembler under it.
#include "dvb/section_tap.h"

#include <gtest/gtest.h>

#include "support/psi_builder.h"
#include "support/ts_sections.h"

namespace vantiro {
namespace {

using test::Bytes;

struct Collected {
    std::uint16_t pid;
    Bytes section;
};

class TapHarness {
public:
    explicit TapHarness(std::vector<std::uint16_t> pids, bool checkCrc = true)
        : tap(pids, [this](std::uint16_t pid, SectionBytes s) { got.push_back({pid, Bytes(s.begin(), s.end())}); },
              checkCrc) {}
    void feed(const std::string& stream) {
        tap.onPackets({reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()});
    }
    SectionTap tap;
    std::vector<Collected> got;
};

// An EIT-like section of `size` bytes in all (table 0x4E, service `id`).
Bytes eit(std::uint16_t id, std::size_t size) {
    return test::makeSection(0x4E, id, Bytes(size - 12, static_cast<std::uint8_t>(id)));
}

// Packs several sections back to back into packets of `pid`, the way a
// multiplexer fills packets: a new section starts right after the last one.
std::string packed(std::uint16_t pid, const std::vector<Bytes>& sections, std::uint8_t& counter) {
    Bytes all;
    for (const Bytes& s : sections) all.insert(all.end(), s.begin(), s.end());
    return test::sectionPackets(pid, all, counter);
}

TEST(SectionTap, CollectsWholeSectionsOfTheTappedPidsOnly) {
    TapHarness h({0x12});
    std::uint8_t eitCounter = 0, sdtCounter = 0;
    Bytes big = eit(1, 1000);  // six packets
    h.feed(test::sectionPackets(0x12, big, eitCounter) +
           test::sectionPackets(0x11, test::makeSection(0x42, 1, Bytes(20, 1)), sdtCounter));
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].pid, 0x12);
    EXPECT_EQ(h.got[0].section, big);
}

TEST(SectionTap, SeveralSectionsInOnePacketAndAcrossPackets) {
    TapHarness h({0x12});
    std::uint8_t counter = 3;
    std::vector<Bytes> sections{eit(1, 40), eit(2, 300), eit(3, 30), eit(4, 60)};
    h.feed(packed(0x12, sections, counter));
    ASSERT_EQ(h.got.size(), 4u);
    for (std::size_t i = 0; i < sections.size(); ++i) EXPECT_EQ(h.got[i].section, sections[i]);
}

TEST(SectionTap, ALostPacketDropsOnlyTheSectionItBelongedTo) {
    TapHarness h({0x12});
    std::uint8_t counter = 0;
    std::string first = test::sectionPackets(0x12, eit(1, 500), counter);  // three packets
    std::string second = test::sectionPackets(0x12, eit(2, 100), counter);
    h.feed(first.substr(0, 188) + first.substr(376) + second);  // the middle packet is gone
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].section, eit(2, 100));
}

TEST(SectionTap, ARepeatedPacketIsIgnoredAndABadCrcIsDropped) {
    TapHarness h({0x12});
    std::uint8_t counter = 0;
    std::string packets = test::sectionPackets(0x12, eit(1, 300), counter);
    Bytes broken = eit(2, 50);
    broken[20] ^= 1;
    h.feed(packets.substr(0, 188) + packets.substr(0, 188) + packets.substr(188) +
           test::sectionPackets(0x12, broken, counter));
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].section, eit(1, 300));
}

TEST(SectionTap, ADiscontinuityForgetsTheHalfSection) {
    TapHarness h({0x12});
    std::uint8_t counter = 0;
    std::string first = test::sectionPackets(0x12, eit(1, 500), counter);
    h.feed(first.substr(0, 376));
    h.tap.onDiscontinuity();
    counter = 0;
    h.feed(first.substr(376) + test::sectionPackets(0x12, eit(2, 100), counter));
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].section, eit(2, 100));
}

}  // namespace
}  // namespace vantiro
