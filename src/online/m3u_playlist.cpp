#include "online/m3u_playlist.h"

#include "online/readable_file.h"

namespace vantiro {
namespace {

constexpr std::string_view kEntryMarker = "#EXTINF:";

bool isTrimmedByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmedView(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isTrimmedByte(text[begin])) ++begin;
    while (end > begin && isTrimmedByte(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Title of an "#EXTINF:" line: whatever follows the line's first comma, so the
// duration and attributes before it are never read.
std::string_view entryTitle(std::string_view line) {
    size_t comma = line.find(',');
    if (comma == std::string_view::npos) return {};
    return trimmedView(line.substr(comma + 1));
}

Channel onlineChannel(std::string_view title, std::string_view url) {
    Channel channel;
    channel.name = std::string(title);
    channel.url = std::string(url);
    channel.deliverySystem = 0;
    return channel;
}

}  // namespace

std::string trimWhitespace(std::string_view text) { return std::string(trimmedView(text)); }

std::vector<Channel> parseM3u(std::string_view text) {
    std::vector<Channel> channels;
    std::string_view pendingTitle;  // views into `text`, which outlives the loop
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        std::string_view line = trimmedView(text.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;

        if (line.empty()) continue;
        if (line.starts_with(kEntryMarker)) {
            pendingTitle = entryTitle(line);
        } else if (line.front() == '#') {
            continue;
        } else if (!pendingTitle.empty()) {
            channels.push_back(onlineChannel(pendingTitle, line));
            pendingTitle = {};
        }
    }
    return channels;
}

std::vector<Channel> loadM3uFile(const std::string& path, std::string* error) {
    ReadableFile file(path);
    if (!file.isOpen()) {
        if (error) *error = "cannot open " + path;
        return {};
    }
    std::string content = file.readAll();
    if (error) error->clear();
    return parseM3u(content);
}

}  // namespace vantiro
