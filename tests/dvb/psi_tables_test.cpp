#include <gtest/gtest.h>

#include <cstring>

#include "dvb/crc32_mpeg.h"
#include "dvb/pat.h"
#include "dvb/pmt.h"
#include "dvb/sdt.h"
#include "support/psi_bounds.h"
#include "support/psi_builder.h"

namespace vantiro {
namespace {

using namespace vantiro::test;

TEST(Crc32Mpeg, MatchesTheStandardCheckValueAndClosesASection) {
    const char* check = "123456789";
    EXPECT_EQ(crc32Mpeg(reinterpret_cast<const std::uint8_t*>(check), std::strlen(check)), 0x0376E6E7u);
    Bytes pat = makePat({{1, 0x100}});
    EXPECT_EQ(crc32Mpeg(pat.data(), pat.size()), 0u);
    EXPECT_EQ(crc32Mpeg(nullptr, 0), 0xFFFFFFFFu);
}

TEST(Pat, ListsProgramsInSectionOrderWithoutTheNetworkEntry) {
    auto pat = parsePat(makePat({{0, 0x10}, {1026, 0x102}, {1025, 0x101}}, 0x2A));
    ASSERT_TRUE(pat);
    EXPECT_EQ(pat->transportStreamId, 0x2A);
    ASSERT_EQ(pat->programs.size(), 2u);
    EXPECT_EQ(pat->programs[0].programNumber, 1026);
    EXPECT_EQ(pat->programs[0].pmtPid, 0x102);
    EXPECT_EQ(pat->programs[1].programNumber, 1025);
}

TEST(Pat, OnlyTheNetworkEntryGivesNoPrograms) {
    auto pat = parsePat(makePat({{0, 0x10}}));
    ASSERT_TRUE(pat);
    EXPECT_TRUE(pat->programs.empty());
}

TEST(Pat, RejectsWrongTableAndShortOrLyingSections) {
    Bytes pat = makePat({{1, 0x100}});
    Bytes other = pat;
    other[0] = 0x02;
    EXPECT_FALSE(parsePat(other));
    EXPECT_FALSE(parsePat(Bytes(pat.begin(), pat.begin() + 11)));
    EXPECT_FALSE(parsePat(makePat({})));  // 12 bytes: header and CRC only
    // A section length far past the buffer is cut to the bytes held.
    Bytes lying = makePat({{1, 0x100}, {2, 0x200}});
    lying[1] = 0xBF;
    lying[2] = 0xFF;
    auto parsed = parsePat(lying);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->programs.size(), 2u);
}

TEST(Pmt, FirstVideoAndFirstAudioInSectionOrder) {
    auto pmt = parsePmt(makePmt(7, 0x1FF, {{0x06, 0x300}, {0x1B, 0x200}, {0x03, 0x201}, {0x81, 0x202}, {0x24, 0x203}},
                                {0x09, 0x02, 0x00, 0x00}));
    ASSERT_TRUE(pmt);
    EXPECT_EQ(pmt->programNumber, 7);
    EXPECT_EQ(pmt->pcrPid, 0x1FF);
    EXPECT_EQ(pmt->streams.size(), 5u);
    EXPECT_EQ(pmt->firstVideoPid(), 0x200);
    EXPECT_EQ(pmt->firstAudioPid(), 0x201);
}

TEST(Pmt, PrivateDataIsNeitherVideoNorAudio) {
    auto pmt = parsePmt(makePmt(1, 0x200, {{0x06, 0x300}, {0x1B, 0x200}}));
    ASSERT_TRUE(pmt);
    EXPECT_EQ(pmt->firstVideoPid(), 0x200);
    EXPECT_EQ(pmt->firstAudioPid(), 0);
}

TEST(Pmt, StreamTypeTables) {
    for (int t : {0x01, 0x02, 0x10, 0x1B, 0x24, 0x42, 0xD1, 0xEA}) EXPECT_TRUE(isVideoStreamType(t)) << t;
    for (int t : {0x03, 0x04, 0x0F, 0x11, 0x81, 0x84, 0x87}) EXPECT_TRUE(isAudioStreamType(t)) << t;
    int kinds = 0;
    for (int t = 0; t < 256; ++t) kinds += isVideoStreamType(t) + isAudioStreamType(t);
    EXPECT_EQ(kinds, 15);
}

TEST(Pmt, LoopsThatOverrunStopAtTheCrc) {
    Bytes pmt = makePmt(1, 0x100, {{0x1B, 0x100, Bytes(4, 0)}, {0x03, 0x101}});
    pmt[12 + 3] = 0xFF;  // first stream's ES info length runs past the section
    auto parsed = parsePmt(pmt);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->streams.size(), 1u);
    Bytes bigInfo = makePmt(1, 0x100, {{0x1B, 0x100}});
    bigInfo[10] = 0xFF;
    bigInfo[11] = 0xFF;  // program info length past the end
    parsed = parsePmt(bigInfo);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->streams.empty());
    EXPECT_FALSE(parsePmt(Bytes(bigInfo.begin(), bigInfo.begin() + 15)));
}

TEST(Sdt, NamesFromServiceDescriptors) {
    Bytes sdt = makeSdt({
        {1025, serviceDescriptor(bytesOf("Prov"), bytesOf("One"))},
        {1026, Bytes{0x4A, 0x00}},  // only a linkage descriptor: no name
        {1027, serviceDescriptor({}, Bytes{0x07, 0xA1, 0xB2})},
    }, 1, 3);
    auto parsed = parseSdt(sdt);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->sectionNumber, 1);
    EXPECT_EQ(parsed->lastSectionNumber, 3);
    ASSERT_EQ(parsed->services.size(), 2u);
    EXPECT_EQ(parsed->services[0].serviceId, 1025);
    EXPECT_EQ(parsed->services[0].name, "One");
    EXPECT_EQ(parsed->services[1].serviceId, 1027);
    EXPECT_EQ(parsed->services[1].name, "\xE0\xB8\x81\xE0\xB8\x92");
}

TEST(Sdt, LaterDescriptorReplacesEarlierAndEmptyNamesAreSkipped) {
    Bytes descriptors = serviceDescriptor({}, bytesOf("First"));
    Bytes second = serviceDescriptor({}, bytesOf("Second"));
    Bytes empty = serviceDescriptor({}, {});
    descriptors.insert(descriptors.end(), second.begin(), second.end());
    descriptors.insert(descriptors.end(), empty.begin(), empty.end());
    auto parsed = parseSdt(makeSdt({{5, descriptors}}));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->services.size(), 1u);
    EXPECT_EQ(parsed->services[0].name, "Second");
}

TEST(Sdt, ProviderLengthPastThePayloadGivesNoName) {
    Bytes d = serviceDescriptor(bytesOf("Provider name"), bytesOf("Name"));
    d[3] = 200;
    auto parsed = parseSdt(makeSdt({{1, d}}));
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->services.empty());
}

TEST(Sdt, DescriptorPastItsLoopEndsTheEntryNotTheSection) {
    Bytes bad = serviceDescriptor({}, bytesOf("Lost"));
    bad[1] = 0xF0;  // payload would pass the descriptor loop
    auto parsed = parseSdt(makeSdt({{1, bad}, {2, serviceDescriptor({}, bytesOf("Kept"))}}));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->services.size(), 1u);
    EXPECT_EQ(parsed->services[0].name, "Kept");
}

TEST(Sdt, ShortSectionsKeepTheirNumbersOnly) {
    Bytes sdt = makeSdt({{1, serviceDescriptor({}, bytesOf("X"))}}, 2, 5);
    EXPECT_FALSE(parseSdt(Bytes(sdt.begin(), sdt.begin() + 7)));
    auto numbersOnly = parseSdt(Bytes(sdt.begin(), sdt.begin() + 14));
    ASSERT_TRUE(numbersOnly);
    EXPECT_EQ(numbersOnly->sectionNumber, 2);
    EXPECT_EQ(numbersOnly->lastSectionNumber, 5);
    EXPECT_TRUE(numbersOnly->services.empty());
    Bytes other = sdt;
    other[0] = 0x4A;
    EXPECT_TRUE(parseSdt(other)->services.empty());
    Bytes zeroLength = sdt;
    zeroLength[1] = 0xF0;
    zeroLength[2] = 0x00;  // section length 0
    EXPECT_TRUE(parseSdt(zeroLength)->services.empty());
}

// Every cut and every single-byte change of real sections must parse without reading
// outside the buffer (the sanitizer build checks the reads).
TEST(PsiTables, TruncatedAndCorruptedSectionsAreSafe) {
    Bytes d = serviceDescriptor(bytesOf("P"), Bytes{0x15, 0xE0, 0xB8, 0x81});
    std::vector<Bytes> sections = {
        makePat({{0, 0x10}, {1, 0x100}, {2, 0x200}}),
        makePmt(1, 0x100, {{0x1B, 0x100, Bytes{0x52, 0x01, 0x00}}, {0x03, 0x101}}),
        makeSdt({{1, d}, {2, d}}),
    };
    // The whole sections parse; no cut or changed byte makes a parser read
    // outside the bytes, invent entries, or hand out a broken name.
    ASSERT_TRUE(parsePat(sections[0]) && parsePat(sections[0])->programs.size() == 2);
    ASSERT_TRUE(parsePmt(sections[1]) && parsePmt(sections[1])->streams.size() == 2);
    ASSERT_TRUE(parseSdt(sections[2]) && parseSdt(sections[2])->services.size() == 2);
    std::size_t checked = 0;
    for (const Bytes& original : sections) {
        for (std::size_t cut = 0; cut <= original.size(); ++cut) {
            Bytes part(original.begin(), original.begin() + cut);
            EXPECT_EQ(psiPromiseBroken(part), "") << "cut at " << cut;
            ++checked;
        }
        for (std::size_t i = 0; i < original.size(); ++i) {
            for (int value : {0x00, 0x7F, 0xFF}) {
                Bytes changed = original;
                changed[i] = static_cast<std::uint8_t>(value);
                EXPECT_EQ(psiPromiseBroken(changed), "") << "byte " << i << " = " << value;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 100u);
}

}  // namespace
}  // namespace vantiro
