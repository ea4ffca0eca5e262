#include "guide/event_descriptors.h"

#include <algorithm>
#include <string>
#include <vector>

#include "dvb/dvb_text.h"

namespace vantiro {
namespace {

constexpr std::size_t kDescriptorHeaderBytes = 2;
constexpr std::size_t kLanguageBytes = 3;
constexpr std::uint8_t kIso8859PartSelector = 0x10;
constexpr std::uint8_t kLastSelector = 0x1F;
constexpr int kLowestAgeRating = 0x01;
constexpr int kHighestAgeRating = 0x0F;
constexpr int kAgeOffset = 3;

// A language or country code as broadcast, lower bytes outside printable ASCII dropped.
std::string asciiCode(const std::uint8_t* p) {
    std::string code;
    for (std::size_t i = 0; i < kLanguageBytes; ++i)
        if (p[i] >= 0x20 && p[i] < 0x7F) code += static_cast<char>(p[i]);
    return code;
}

// Reads a length-prefixed text at `pos`; false when it runs past `end`.
bool readLengthText(const std::uint8_t* p, std::size_t& pos, std::size_t end, std::string& out) {
    if (pos >= end) return false;
    std::size_t length = p[pos];
    if (pos + 1 + length > end) return false;
    out = decodeDvbText(p + pos + 1, length);
    pos += 1 + length;
    return true;
}

void shortEvent(const std::uint8_t* p, std::size_t n, EitEvent& event) {
    if (!event.title.empty() || n < kLanguageBytes + 1) return;  // the first one counts
    std::size_t pos = kLanguageBytes;
    std::string title;
    std::string text;
    if (!readLengthText(p, pos, n, title)) return;
    readLengthText(p, pos, n, text);  // a missing text leaves the title standing
    event.language = asciiCode(p);
    event.title = std::move(title);
    event.shortText = std::move(text);
}

// One extended event descriptor: its number, language, items and raw text bytes.
struct ExtendedPiece {
    int number = 0;
    std::string language;
    std::vector<std::string> items;
    std::vector<std::uint8_t> text;
};

bool extendedPiece(const std::uint8_t* p, std::size_t n, ExtendedPiece& piece) {
    if (n < 1 + kLanguageBytes + 1) return false;
    piece.number = p[0] >> 4;
    piece.language = asciiCode(p + 1);
    std::size_t pos = 1 + kLanguageBytes;
    std::size_t itemsEnd = pos + 1 + p[pos];
    if (itemsEnd > n) return false;
    ++pos;
    while (pos < itemsEnd) {
        std::string description;
        std::string item;
        if (!readLengthText(p, pos, itemsEnd, description) || !readLengthText(p, pos, itemsEnd, item)) return false;
        piece.items.push_back(description.empty() ? item : description + ": " + item);
    }
    if (pos >= n) return true;
    std::size_t length = p[pos];
    if (pos + 1 + length > n) return false;
    piece.text.assign(p + pos + 1, p + pos + 1 + length);
    return true;
}

// Bytes of the character table selector at the start of a text piece.
std::size_t selectorBytes(const std::vector<std::uint8_t>& text) {
    if (text.empty() || text[0] > kLastSelector || text[0] == 0) return 0;
    if (text[0] == kIso8859PartSelector) return std::min<std::size_t>(3, text.size());
    return 1;
}

// The pieces of one language, in descriptor number order: the items as lines, then the
// text. Text pieces are joined before decoding, because a broadcaster may split one
// character's bytes between two descriptors; later pieces lose their own selector.
std::string joinExtended(std::vector<ExtendedPiece> pieces) {
    if (pieces.empty()) return {};
    const std::string language = pieces.front().language;
    std::erase_if(pieces, [&](const ExtendedPiece& piece) { return piece.language != language; });
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const ExtendedPiece& a, const ExtendedPiece& b) { return a.number < b.number; });
    std::string out;
    std::vector<std::uint8_t> text;
    for (const ExtendedPiece& piece : pieces) {
        for (const std::string& item : piece.items) out += item + "\n";
        std::size_t skip = text.empty() ? 0 : selectorBytes(piece.text);
        text.insert(text.end(), piece.text.begin() + static_cast<std::ptrdiff_t>(skip), piece.text.end());
    }
    return out + decodeDvbText(text.data(), text.size());
}

void content(const std::uint8_t* p, std::size_t n, EitEvent& event) {
    for (std::size_t i = 0; i + 1 < n; i += 2) event.contentNibbles.push_back(p[i]);
}

void parentalRating(const std::uint8_t* p, std::size_t n, EitEvent& event) {
    for (std::size_t i = 0; i + 3 < n && !event.rating; i += 4) {
        int rating = p[i + 3];
        if (rating < kLowestAgeRating || rating > kHighestAgeRating) continue;
        event.rating = ParentalRating{asciiCode(p + i), rating + kAgeOffset};
    }
}

}  // namespace

void decodeEventDescriptors(const std::uint8_t* p, std::size_t length, EitEvent& event) {
    std::vector<ExtendedPiece> extended;
    std::size_t pos = 0;
    while (pos + kDescriptorHeaderBytes <= length) {
        std::uint8_t tag = p[pos];
        std::size_t size = p[pos + 1];
        const std::uint8_t* payload = p + pos + kDescriptorHeaderBytes;
        if (pos + kDescriptorHeaderBytes + size > length) break;
        switch (tag) {
            case kShortEventDescriptorTag: shortEvent(payload, size, event); break;
            case kExtendedEventDescriptorTag: {
                ExtendedPiece piece;
                if (extendedPiece(payload, size, piece)) extended.push_back(std::move(piece));
                break;
            }
            case kContentDescriptorTag: content(payload, size, event); break;
            case kParentalRatingDescriptorTag: parentalRating(payload, size, event); break;
            default: break;
        }
        pos += kDescriptorHeaderBytes + size;
    }
    event.extendedText = joinExtended(std::move(extended));
}

}  // namespace vantiro
