// The service filter on crafted multiplexes: which packets leave, and the PAT it writes.
#include "dvb/service_filter.h"

#include <map>
#include <set>

#include <gtest/gtest.h>

#include "dvb/crc32_mpeg.h"
#include "dvb/pat.h"
#include "support/psi_builder.h"
#include "support/ts_packets.h"
#include "support/ts_sections.h"

namespace vantiro {
namespace {

using test::Bytes;

constexpr std::uint16_t kTsid = 0x77;
const Bytes kSubtitling{0x59, 0x08, 'e', 'n', 'g', 0x10, 0x00, 0x01, 0x00, 0x01};
const Bytes kTeletext{0x56, 0x05, 'e', 'n', 'g', 0x09, 0x00};
const Bytes kAc3{0x6A, 0x01, 0x00};

// A multiplex of two programs, written packet by packet with running counters.
class Mux {
public:
    std::string pat(const std::vector<test::PatProgram>& programs, std::uint8_t version = 0) {
        return test::sectionPackets(0, test::withVersion(test::makePat(programs, kTsid), version), counters_[0]);
    }
    std::string standardPat() { return pat({{1, 0x100}, {2, 0x200}}); }
    std::string pmt(std::uint16_t pid, std::uint16_t program, std::uint16_t pcr,
                    const std::vector<test::PmtStream>& streams, std::uint8_t version = 0) {
        return test::sectionPackets(pid, test::withVersion(test::makePmt(program, pcr, streams), version), counters_[pid]);
    }
    // Program 1: video, two audio languages, AC-3 as private data, subtitles,
    // teletext, and two streams no player uses.
    std::string programOnePmt(std::uint16_t pid = 0x100) {
        return pmt(pid, 1, 0x101,
                   {{0x1B, 0x101}, {0x03, 0x102}, {0x0F, 0x103}, {0x06, 0x109, kAc3}, {0x06, 0x104, kSubtitling},
                    {0x06, 0x105, kTeletext}, {0x06, 0x106}, {0x05, 0x107}});
    }
    std::string programTwoPmt() { return pmt(0x200, 2, 0x201, {{0x02, 0x201}, {0x04, 0x202}}); }
    std::string packets(const std::vector<std::uint16_t>& pids) {
        std::string out;
        for (std::uint16_t pid : pids) out += test::countedPacket(pid, counters_[pid]++, static_cast<std::uint8_t>(pid));
        return out;
    }
    std::string everyStream() {
        return packets({0x101, 0x102, 0x103, 0x109, 0x104, 0x105, 0x106, 0x107, 0x201, 0x202, 0x11, 0x12, 0x1FFF});
    }

private:
    std::map<std::uint16_t, std::uint8_t> counters_;
};

// Feeds `input` to the filter in one go and returns everything it put out.
std::string filtered(ServiceFilter& filter, PacketQueue& queue, const std::string& input) {
    filter.onPackets({reinterpret_cast<const std::uint8_t*>(input.data()), input.size()});
    std::string out;
    std::vector<std::uint8_t> block;
    while (queue.take(block, std::chrono::milliseconds(0)) == PacketQueue::Status::Data)
        out.append(reinterpret_cast<const char*>(block.data()), block.size());
    return out;
}

std::set<std::uint16_t> pidSet(const std::string& stream) {
    std::vector<std::uint16_t> pids = test::tsPids(stream);
    return {pids.begin(), pids.end()};
}

struct Harness {
    explicit Harness(ServiceSpec wanted) : queue(std::make_shared<PacketQueue>()), filter(std::move(wanted), queue) {}
    std::string run(const std::string& input) { return filtered(filter, *queue, input); }
    std::shared_ptr<PacketQueue> queue;
    ServiceFilter filter;
};

TEST(ServiceFilter, PassesThePmtPcrAndEveryPlayableStreamOfItsProgramOnly) {
    Mux mux;
    Harness h({1, 0x100, {}});
    std::string out = h.run(mux.standardPat() + mux.programOnePmt() + mux.programTwoPmt() + mux.everyStream() +
                            mux.everyStream());
    EXPECT_EQ(pidSet(out), (std::set<std::uint16_t>{0, 0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x109}));
    EXPECT_EQ(h.filter.pmtVersion(), 0);
    ASSERT_TRUE(h.filter.currentPmt());
    EXPECT_EQ(h.filter.currentPmt()->streams.size(), 8u);
}

TEST(ServiceFilter, WritesASingleProgramPatWithItsOwnCounterAndCrc) {
    Mux mux;
    Harness h({1, 0x100, {}});
    std::string input;
    for (int i = 0; i < 20; ++i) input += mux.standardPat() + mux.everyStream();
    std::string out = h.run(input);
    std::vector<Bytes> pats = test::sectionsOn(out, 0);
    ASSERT_GE(pats.size(), 20u);
    for (const Bytes& section : pats) {
        EXPECT_EQ(crc32Mpeg(section.data(), section.size()), 0u);
        std::optional<Pat> pat = parsePat(section);
        ASSERT_TRUE(pat);
        ASSERT_EQ(pat->programs.size(), 1u);
        EXPECT_EQ(pat->programs[0].programNumber, 1);
        EXPECT_EQ(pat->programs[0].pmtPid, 0x100);
        EXPECT_EQ((section[5] >> 1) & 0x1F, 0);  // one version throughout
    }
    // Its own continuity counter: one step per PAT packet, whatever the multiplex's did.
    std::uint8_t expected = 0;
    for (std::size_t i = 0; i + 188 <= out.size(); i += 188) {
        if (test::tsPid(out, i) != 0) continue;
        EXPECT_EQ(out[i + 3] & 0x0F, expected);
        expected = (expected + 1) & 0x0F;
    }
}

// A packet of `pid` whose adaptation field carries a PCR of `base` (90 kHz).
std::string pcrPacket(std::uint16_t pid, std::uint8_t counter, std::uint64_t base) {
    std::string packet = test::countedPacket(pid, counter, 0xAA);
    packet[3] = static_cast<char>(0x30 | (counter & 0x0F));
    packet[4] = 7;
    packet[5] = 0x10;
    for (int i = 0; i < 4; ++i) packet[6 + i] = static_cast<char>(base >> (25 - 8 * i));
    packet[10] = static_cast<char>(((base & 1) << 7) | 0x7E);
    packet[11] = 0;
    return packet;
}

// For each PAT packet of `stream`, the PCR (90 kHz) of the first packet after
// it that carries one; -1 when none follows.
std::vector<std::int64_t> pcrAfterEachPat(const std::string& stream) {
    std::vector<std::int64_t> after;
    std::size_t waiting = 0;
    for (std::size_t i = 0; i + 188 <= stream.size(); i += 188) {
        auto* packet = reinterpret_cast<const std::uint8_t*>(stream.data() + i);
        if (test::tsPid(stream, i) == 0) {
            after.push_back(-1);
            ++waiting;
        } else if (std::uint64_t base = 0; waiting > 0 && tsPcrBase(packet, base)) {
            for (std::size_t k = after.size() - waiting; k < after.size(); ++k) after[k] = static_cast<std::int64_t>(base);
            waiting = 0;
        }
    }
    return after;
}

// A multiplex without a PAT: the program's PAT opens the stream from the stored
// PMT PID and comes again every half second of the program's clock, however few
// of the multiplex's packets the demux lets through; with the multiplex's PAT
// there is no extra one.
TEST(ServiceFilter, WithoutTheMultiplexsPatItsOwnComesEveryHalfSecondOfItsClock) {
    Mux mux;
    Harness h({1, 0x100, {0x101}});
    std::string input = mux.programOnePmt();
    std::uint8_t counter = 0;
    for (int tenth = 0; tenth <= 30; ++tenth) {  // 3 s, a PCR every 0.1 s
        input += pcrPacket(0x101, counter++, 1000000 + static_cast<std::uint64_t>(tenth) * 9000);
        input += mux.packets({0x102, 0x102});
    }
    std::vector<std::int64_t> pats = pcrAfterEachPat(h.run(input));
    EXPECT_EQ(pats, (std::vector<std::int64_t>{1000000, 1045000, 1090000, 1135000, 1180000, 1225000, 1270000}));

    Harness withPat({1, 0x100, {0x101}});
    input = mux.programOnePmt();
    for (int tenth = 0; tenth <= 30; ++tenth) {
        if (tenth % 4 == 0) input += mux.standardPat();  // every 0.4 s
        input += pcrPacket(0x101, counter++, 5000000 + static_cast<std::uint64_t>(tenth) * 9000);
    }
    EXPECT_EQ(pcrAfterEachPat(withPat.run(input)).size(), 1u + 8u) << "the opening PAT and one per PAT read";
}

TEST(ServiceFilter, AChannelStoredWithoutPidsPlaysOnceItsPmtArrives) {
    Mux mux;
    Harness h({1, 0, {}});
    EXPECT_EQ(h.run(mux.everyStream()), "") << "nothing is known yet";
    std::string pat = h.run(mux.standardPat() + mux.everyStream());
    EXPECT_EQ(pidSet(pat), (std::set<std::uint16_t>{0})) << "the PAT names the PMT, the streams wait for it";
    EXPECT_EQ(h.filter.pmtPid(), 0x100);
    std::string out = h.run(mux.programOnePmt() + mux.everyStream());
    std::vector<std::uint16_t> pids = test::tsPids(out);
    ASSERT_FALSE(pids.empty());
    EXPECT_EQ(pids.front(), 0x100) << "the PMT comes before the streams it announces";
    EXPECT_EQ(pidSet(out), (std::set<std::uint16_t>{0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x109}));
}

TEST(ServiceFilter, ProgramNumberZeroTakesTheProgramOfTheStoredPmtPid) {
    Mux mux;
    Harness h({0, 0x200, {}});
    std::string out = h.run(mux.standardPat() + mux.programOnePmt() + mux.programTwoPmt() + mux.everyStream());
    EXPECT_EQ(h.filter.programNumber(), 2);
    EXPECT_EQ(pidSet(out), (std::set<std::uint16_t>{0, 0x200, 0x201, 0x202}));
}

TEST(ServiceFilter, StoredPidsAreAFirstGuessUntilThePmtSaysOtherwise) {
    Mux mux;
    Harness h({1, 0x100, {0x101, 0x106, 0}});
    EXPECT_EQ(pidSet(h.run(mux.everyStream())), (std::set<std::uint16_t>{0, 0x101, 0x106}));
    std::string out = h.run(mux.standardPat() + mux.programOnePmt() + mux.everyStream());
    EXPECT_EQ(pidSet(out).count(0x106), 0u) << "not a playable stream once the PMT is known";
    EXPECT_EQ(pidSet(out).count(0x102), 1u);
}

TEST(ServiceFilter, ANewPmtVersionChangesThePidSetWithoutAGap) {
    Mux mux;
    Harness h({1, 0x100, {}});
    std::string before = mux.standardPat() + mux.pmt(0x100, 1, 0x101, {{0x1B, 0x101}, {0x03, 0x102}});
    for (int i = 0; i < 10; ++i) before += mux.packets({0x101, 0x102, 0x108});
    std::string after = mux.pmt(0x100, 1, 0x101, {{0x1B, 0x101}, {0x03, 0x108}}, 1);
    for (int i = 0; i < 10; ++i) after += mux.packets({0x101, 0x102, 0x108});

    std::string out = h.run(before + after);
    EXPECT_EQ(h.filter.pmtVersion(), 1);
    std::vector<std::uint16_t> pids = test::tsPids(out);
    std::size_t change = out.size() / 188;  // index of the second PMT packet in the output
    int pmts = 0;
    for (std::size_t i = 0; i < pids.size(); ++i)
        if (pids[i] == 0x100 && ++pmts == 2) change = i;
    ASSERT_EQ(pmts, 2);
    std::vector<std::uint16_t> head(pids.begin(), pids.begin() + static_cast<std::ptrdiff_t>(change));
    std::vector<std::uint16_t> tail(pids.begin() + static_cast<std::ptrdiff_t>(change) + 1, pids.end());
    EXPECT_EQ(std::count(head.begin(), head.end(), 0x102), 10);
    EXPECT_EQ(std::count(head.begin(), head.end(), 0x108), 0);
    EXPECT_EQ(std::count(tail.begin(), tail.end(), 0x102), 0);
    EXPECT_EQ(std::count(tail.begin(), tail.end(), 0x108), 10);
    EXPECT_EQ(std::count(pids.begin(), pids.end(), 0x101), 20) << "the video never missed a packet";
}

TEST(ServiceFilter, APmtMovedByTheMultiplexRaisesThePatVersion) {
    Mux mux;
    Harness h({1, 0x100, {}});
    h.run(mux.standardPat() + mux.programOnePmt() + mux.everyStream());
    EXPECT_EQ(h.filter.patVersion(), 0);
    std::string out = h.run(mux.pat({{1, 0x300}, {2, 0x200}}, 1) + mux.programOnePmt() +
                            mux.pmt(0x300, 1, 0x101, {{0x1B, 0x101}}) + mux.everyStream());
    EXPECT_EQ(h.filter.pmtPid(), 0x300);
    EXPECT_EQ(h.filter.patVersion(), 1);
    EXPECT_EQ(pidSet(out), (std::set<std::uint16_t>{0, 0x300, 0x101}));
    std::vector<Bytes> pats = test::sectionsOn(out, 0);
    ASSERT_EQ(pats.size(), 1u);
    EXPECT_EQ(parsePat(pats[0])->programs[0].pmtPid, 0x300);
}

TEST(ServiceFilter, SectionsWithABadCrcAreIgnored) {
    Mux mux;
    Harness h({1, 0, {}});
    Bytes broken = test::makePat({{1, 0x100}}, kTsid);
    broken.back() ^= 0xFF;
    std::uint8_t counter = 9;
    EXPECT_EQ(h.run(test::sectionPackets(0, broken, counter) + mux.everyStream()), "");
    EXPECT_EQ(h.filter.pmtPid(), 0);
}

TEST(ServiceFilter, APmtSpanningPacketsIsReadWhole) {
    Mux mux;
    std::vector<test::PmtStream> many;
    for (std::uint16_t pid = 0x400; pid < 0x440; ++pid) many.push_back({0x03, pid, Bytes(6, 0x0A)});
    Harness h({1, 0x100, {}});
    std::string out = h.run(mux.standardPat() + mux.pmt(0x100, 1, 0x400, many) + mux.packets({0x43F, 0x440}));
    EXPECT_EQ(pidSet(out), (std::set<std::uint16_t>{0, 0x100, 0x43F}));
}

}  // namespace
}  // namespace vantiro
