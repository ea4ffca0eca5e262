#include "dvb/dvb_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/utf8_check.h"

namespace vantiro {
namespace {

using test::isValidUtf8;

std::string decode(const std::vector<std::uint8_t>& bytes) { return decodeDvbText(bytes.data(), bytes.size()); }
std::string nameOf(const std::vector<std::uint8_t>& payload) {
    return serviceNameFromDescriptor(payload.data(), payload.size());
}

TEST(DecodeDvbText, PlainTextAndLatin1) {
    EXPECT_EQ(decode({}), "");
    EXPECT_EQ(decode({'T', 'h', 'a', 'i', ' ', 'P', 'B', 'S'}), "Thai PBS");
    EXPECT_EQ(decode({0xE9}), "\xC3\xA9");
    EXPECT_EQ(decode({'a', 0x00, 'b'}), "a");  // NUL ends the name
    // Control codes stay as their U+0080 block characters.
    EXPECT_EQ(decode({0x86, 'x', 0x87}), "\xC2\x86x\xC2\x87");
}

TEST(DecodeDvbText, Utf8Selector) {
    EXPECT_EQ(decode({0x15, 0xE0, 0xB8, 0x81, 'A'}), "\xE0\xB8\x81" "A");
    EXPECT_EQ(decode({0x15, 'a', 0x00, 'b'}), std::string("a\0b", 3));  // kept byte for byte
    EXPECT_EQ(decode({0x15, 0xE9}), "\xC3\xA9");                         // not UTF-8: Latin-1
    EXPECT_EQ(decode({0x15}), "");
    // Structurally shaped but not UTF-8: overlong, surrogate, past U+10FFFF.
    EXPECT_EQ(decode({0x15, 0xC0, 0xAF}), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(decode({0x15, 0xED, 0xA0, 0x80}), "\xC3\xAD\xC2\xA0\xC2\x80");
    EXPECT_TRUE(isValidUtf8(decode({0x15, 0xF5, 0x80, 0x80, 0x80})));
    EXPECT_TRUE(isValidUtf8(decode({0x15, 0xE0, 0xB8})));  // cut short
}

TEST(DecodeDvbText, ThaiTable) {
    EXPECT_EQ(decode({0x07, 0xA1, 0xB2}), "\xE0\xB8\x81\xE0\xB8\x92");  // U+0E01 U+0E12
    EXPECT_EQ(decode({0x07, 0xFB}), "\xE0\xB9\x9B");                    // U+0E5B
    EXPECT_EQ(decode({0x07, 'A', 0xA0, 0xFC}), "A\xC2\xA0\xC3\xBC");
    EXPECT_EQ(decode({0x07, 0x80, 0x9F, 0xA1}), "\xE0\xB8\x81");  // C1 codes dropped
    EXPECT_EQ(decode({0x07}), "");
}

TEST(DecodeDvbText, OtherSelectors) {
    EXPECT_EQ(decode({0x05, 0xE9}), "\xC3\xA9");  // any other table reads as Latin-1
    EXPECT_EQ(decode({0x1F, 'x'}), "x");
    // Three-byte ISO/IEC 8859 selection: part 11 is Thai, others Latin-1.
    EXPECT_EQ(decode({0x10, 0x00, 0x0B, 0xA1}), "\xE0\xB8\x81");
    EXPECT_EQ(decode({0x10, 0x00, 0x01, 0xE9}), "\xC3\xA9");
    EXPECT_EQ(decode({0x10, 0x00}), "");
    // 16-bit big-endian units; an odd last byte is ignored, surrogates replaced.
    EXPECT_EQ(decode({0x11, 0x0E, 0x01, 0x00, 'A', 0x42}), "\xE0\xB8\x81" "A");
    EXPECT_EQ(decode({0x11, 0xD8, 0x00}), "\xEF\xBF\xBD");
    EXPECT_EQ(decode({0x11, 0x00, 'a', 0x00, 0x00, 0x00, 'b'}), "a");
}

TEST(DecodeDvbText, EveryTwoByteInputGivesValidUtf8) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            std::vector<std::uint8_t> in{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), 0xE9, 0x80};
            ASSERT_TRUE(isValidUtf8(decode(in))) << a << " " << b;
        }
    }
}

TEST(ServiceNameFromDescriptor, TakesTheNameAfterTheProvider) {
    EXPECT_EQ(nameOf({0x01, 3, 'P', 'r', 'v', 4, 'N', 'a', 'm', 'e'}), "Name");
    EXPECT_EQ(nameOf({0x01, 0, 4, 'N', 'a', 'm', 'e'}), "Name");
    EXPECT_EQ(nameOf({0x01, 0, 9, 'N', 'a'}), "Na");  // cut to the payload
    EXPECT_EQ(nameOf({0x01, 0, 2, 0x07, 0xA1}), "\xE0\xB8\x81");
}

TEST(ServiceNameFromDescriptor, LengthsPastThePayloadGiveNoName) {
    std::vector<std::uint8_t> payload(20, 'x');
    payload[1] = 200;  // provider length far past the 20 bytes
    EXPECT_EQ(nameOf(payload), "");
    EXPECT_EQ(nameOf({0x01, 1, 'P'}), "");  // no room for the name length
    EXPECT_EQ(nameOf({0x01, 0}), "");
    EXPECT_EQ(nameOf({0x01, 0, 0}), "");
    EXPECT_EQ(serviceNameFromDescriptor(nullptr, 0), "");
}

}  // namespace
}  // namespace vantiro
