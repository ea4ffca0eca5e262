#include "server/http_request.h"

#include <cctype>
#include <cstdlib>

namespace vantiro {
namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr std::string_view kIndexKey = "index=";
constexpr std::string_view kWatchPrefix = "/watch/";
constexpr std::string_view kWatchSuffix = ".ts";

// strtol over the two characters of one escape; nothing when no digit is there.
std::optional<char> decodeEscape(char high, char low) {
    const char digits[3] = {high, low, '\0'};
    char* end = nullptr;
    long value = std::strtol(digits, &end, 16);
    if (end == digits) return std::nullopt;
    return static_cast<char>(value);
}

// The decimal value of `text` the way strtol reads it, or -1 when it holds no
// number or one outside 0..kMaxChannelIndex.
long parseIndexValue(const std::string& text) {
    const char* start = text.c_str();
    char* end = nullptr;
    long value = std::strtol(start, &end, 10);
    if (end == start) return -1;
    if (static_cast<unsigned long>(value) > static_cast<unsigned long>(kMaxChannelIndex)) return -1;
    return value;
}

}  // namespace

bool requestHeadComplete(std::string_view received) {
    return received.find(kHeadEnd) != std::string_view::npos;
}

std::optional<RequestLine> parseRequestLine(std::string_view head) {
    std::string_view line = head.substr(0, head.find("\r\n"));
    std::size_t firstBlank = line.find(' ');
    if (firstBlank == std::string_view::npos) return std::nullopt;
    std::size_t secondBlank = line.find(' ', firstBlank + 1);
    if (secondBlank == std::string_view::npos) return std::nullopt;
    return RequestLine{std::string(line.substr(0, firstBlank)),
                       std::string(line.substr(firstBlank + 1, secondBlank - firstBlank - 1))};
}

std::optional<std::string> urlDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            std::optional<char> byte = decodeEscape(text[i + 1], text[i + 2]);
            if (!byte) return std::nullopt;
            out += *byte;
            i += 2;
        } else if (c == '+') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

long channelIndexFromTarget(std::string_view target) {
    std::size_t question = target.find('?');
    if (question == std::string_view::npos) return -1;
    std::string_view query = target.substr(question + 1);
    long index = -1;
    for (;;) {
        std::size_t amp = query.find('&');
        std::string_view piece = query.substr(0, amp);
        if (piece.substr(0, kIndexKey.size()) == kIndexKey) {
            std::optional<std::string> value = urlDecode(piece.substr(kIndexKey.size()));
            index = value ? parseIndexValue(*value) : -1;
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return index;
}

bool isWatchTarget(std::string_view target) { return target.substr(0, kWatchPrefix.size()) == kWatchPrefix; }

long watchIndexFromTarget(std::string_view target) {
    if (!isWatchTarget(target)) return -1;
    std::string_view path = target.substr(0, target.find('?'));
    path.remove_prefix(kWatchPrefix.size());
    if (path.size() <= kWatchSuffix.size() || path.substr(path.size() - kWatchSuffix.size()) != kWatchSuffix)
        return -1;
    std::string_view digits = path.substr(0, path.size() - kWatchSuffix.size());
    // Digits only: no sign, no blanks, no second spelling of the same channel.
    if (digits.size() > 6) return -1;
    for (char c : digits)
        if (c < '0' || c > '9') return -1;
    return parseIndexValue(std::string(digits));
}

std::string headerValue(std::string_view head, std::string_view name) {
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos) {
        std::size_t start = at + 2;
        std::size_t end = head.find("\r\n", start);
        std::string_view line = head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (line.empty()) break;  // the blank line that ends the head
        std::size_t colon = line.find(':');
        if (colon == name.size()) {
            bool same = true;
            for (std::size_t i = 0; i < colon && same; ++i)
                same = std::tolower(static_cast<unsigned char>(line[i])) ==
                       std::tolower(static_cast<unsigned char>(name[i]));
            if (same) {
                std::string_view value = line.substr(colon + 1);
                while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
                while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
                return std::string(value);
            }
        }
        at = end;
    }
    return {};
}

}  // namespace vantiro
