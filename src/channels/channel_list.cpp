#include "channels/channel_list.h"
#include "system/write_all.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

namespace vantiro {
namespace {

constexpr const char* kFileName = "/vantiro/channels.tsv";
constexpr const char* kHeader = "vantiro-1";
constexpr std::string_view kHeaderPrefix = "vantiro";
constexpr int kFieldCount = 8;
constexpr int kMaxLinkHops = 40;  // as the kernel's own limit on nested links
constexpr std::size_t kTemporarySuffixLength = 6;
constexpr int kTemporaryAttempts = 100;
// A save takes milliseconds; a temporary this old was left by one that crashed.
constexpr auto kStaleTemporaryAge = std::chrono::minutes(10);

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

// The mode of the list being replaced; nothing for a new file, which gets what
// the umask leaves of 0666 like any file the user creates.
std::optional<mode_t> existingMode(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    return std::nullopt;
}

// A list kept as a symbolic link (dotfile managers do that) is saved into the
// file the link names, so the link stays and its target is the one updated.
std::filesystem::path fileBehindLinks(const std::filesystem::path& path) {
    std::filesystem::path current = path;
    for (int hops = 0; hops < kMaxLinkHops; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(current, ec)) return current;
        std::filesystem::path next = std::filesystem::read_symlink(current, ec);
        if (ec) return current;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current;
}

bool isTemporaryOf(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 1 + kTemporarySuffixLength) return false;
    if (name.compare(0, base.size() + 1, base + ".") != 0) return false;
    for (std::size_t i = base.size() + 1; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Temporaries left by a save that crashed. A recent one may belong to a save
// running right now in another process, so only old ones go.
void removeStaleTemporaries(const std::filesystem::path& target) {
    const std::string base = target.filename().string();
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    std::error_code ec;
    auto now = std::filesystem::file_time_type::clock::now();
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTemporaryOf(it->path().filename().string(), base)) continue;
        std::error_code entryError;
        if (!it->is_regular_file(entryError) || entryError) continue;
        auto written = std::filesystem::last_write_time(it->path(), entryError);
        if (entryError || now - written < kStaleTemporaryAge) continue;
        std::filesystem::remove(it->path(), entryError);
    }
}

// Creates "<target>.XXXXXX" like mkstemp, but with the mode 0666 less the
// umask: mkstemp's fixed 0600 would make every new list private.
int createTemporaryBeside(const std::filesystem::path& target, std::string& temporary) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        temporary = target.string() + ".";
        for (std::size_t i = 0; i < kTemporarySuffixLength; ++i) temporary += kLetters[pick(random)];
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The rename is durable only once the directory entry is on disk too.
void syncDirectory(const std::filesystem::path& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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

// Written to a temporary file beside the list and renamed over it, so a crash
// or a full disk while saving never costs the user the list they had.
bool saveChannelList(const std::string& path, const std::vector<Channel>& channels,
                     std::string* error) {
    // Every failure names the file, so a caller never reports an empty reason.
    auto fail = [&] {
        if (error) *error = "cannot write " + path;
        return false;
    };
    const std::filesystem::path target = fileBehindLinks(path);
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(directory, ec);
    removeStaleTemporaries(target);

    std::optional<mode_t> keptMode = existingMode(target);
    std::string temporary;
    int fd = createTemporaryBeside(target, temporary);
    if (fd < 0) return fail();
    bool ok = (!keptMode || ::fchmod(fd, *keptMode) == 0) && writeAll(fd, serialise(channels)) &&
              ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return fail();
    }
    syncDirectory(directory);
    return true;
}

}  // namespace vantiro
