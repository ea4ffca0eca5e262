#include "channels/channel_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace vantiro {
namespace {

constexpr const char* kFileName = "/vantiro/channels.tsv";
constexpr const char* kHeader = "vantiro-1";
constexpr std::string_view kHeaderPrefix = "vantiro";
constexpr int kFieldCount = 8;
constexpr mode_t kNewFileMode = 0644;

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

std::string storedName(std::string name) {
    for (char& c : name)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return name;
}

std::string serialise(const std::vector<Channel>& channels) {
    std::string out = std::string(kHeader) + "\n";
    for (const Channel& ch : channels) {
        out += storedName(ch.name);
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

bool writeAll(int fd, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

mode_t modeToKeep(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    return kNewFileMode;
}

}  // namespace

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

// Written to a temporary file beside the list and renamed over it, so a crash
// or a full disk while saving never costs the user the list they had.
bool saveChannelList(const std::string& path, const std::vector<Channel>& channels,
                     std::string* error) {
    std::filesystem::path target(path);
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);

    std::string tmpl = path + ".XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    bool ok = ::fchmod(fd, modeToKeep(path)) == 0 && writeAll(fd, serialise(channels)) &&
              ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmpl.c_str(), path.c_str()) == 0) return true;
    ::unlink(tmpl.c_str());
    // Every failure names the file, so a caller never reports an empty reason.
    if (error) *error = "cannot write " + path;
    return false;
}

}  // namespace vantiro
