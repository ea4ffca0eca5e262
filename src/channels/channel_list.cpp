#include "channels/channel_list.h"
#include "system/file_replace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace vantiro {
namespace {

constexpr const char* kFileName = "/vantiro/channels.tsv";
constexpr const char* kHeader = "vantiro-1";
constexpr std::string_view kHeaderPrefix = "vantiro";
constexpr int kFieldCount = 8;

std::string nonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Splits at tabs the way reading eight tab-terminated fields does: a field
// may be empty, but the line must not end before the eighth field starts.
std::optional<std::vector<std::string>> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        if (pos >= line.size()) return std::nullopt;
        std::size_t tab = line.find('\t', pos);
        if (tab == std::string::npos) tab = line.size();
        fields.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    return fields;
}

// C-library base-10 conversion: leading blanks skipped, stops at the first
// non-digit, 0 without digits; the caller cuts the value to its width.
unsigned long parseUnsigned(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 10); }
long parseSigned(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

std::optional<Channel> parseRecord(const std::string& line) {
    auto fields = splitFields(line);
    if (!fields) return std::nullopt;
    const auto& f = *fields;
    Channel ch;
    ch.name = f[0];
    ch.frequency = static_cast<std::uint32_t>(parseUnsigned(f[1]));
    ch.deliverySystem = static_cast<std::int32_t>(parseSigned(f[2]));
    ch.serviceId = static_cast<std::uint16_t>(parseSigned(f[3]));
    ch.pmtPid = static_cast<std::uint16_t>(parseSigned(f[4]));
    ch.videoPid = static_cast<std::uint16_t>(parseSigned(f[5]));
    ch.audioPid = static_cast<std::uint16_t>(parseSigned(f[6]));
    ch.pcrPid = static_cast<std::uint16_t>(parseSigned(f[7]));
    if (ch.frequency == 0) return std::nullopt;
    return ch;
}

std::string serialise(const std::vector<Channel>& channels) {
    std::string out = std::string(kHeader) + "\n";
    for (const Channel& ch : channels) {
        out += singleLineField(ch.name);
        for (long long value : {(long long)ch.frequency, (long long)ch.deliverySystem,
                                (long long)ch.serviceId, (long long)ch.pmtPid,
                                (long long)ch.videoPid, (long long)ch.audioPid,
                                (long long)ch.pcrPid}) {
            out += '\t';
            out += std::to_string(value);
        }
        out += '\n';
    }
    return out;
}

}  // namespace

std::string singleLineField(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

std::string channelListPath() {
    std::string xdg = nonEmptyEnv("XDG_CONFIG_HOME");
    if (!xdg.empty()) return xdg + kFileName;
    std::string home = nonEmptyEnv("HOME");
    if (!home.empty()) return home + "/.config" + kFileName;
    return std::string(".") + kFileName;
}

std::vector<Channel> loadChannelList(const std::string& path, std::string* error) {
    std::vector<Channel> channels;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "no channel list at " + path;
        return channels;
    }
    // A directory opens like a file and reads as nothing: say so rather than
    // report an empty list with no reason.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(EISDIR);
        return channels;
    }
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        bool isHeader = first && line.compare(0, kHeaderPrefix.size(), kHeaderPrefix) == 0;
        first = false;
        if (isHeader || line.empty()) continue;
        if (auto ch = parseRecord(line)) channels.push_back(std::move(*ch));
    }
    return channels;
}

// Replaced atomically, so a crash or a full disk while saving never costs the
// user the list they had.
bool saveChannelList(const std::string& path, const std::vector<Channel>& channels,
                     std::string* error) {
    return replaceFile(path, serialise(channels), error);
}

}  // namespace vantiro
