#include "system/file_replace.h"
#include "system/write_all.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <random>

namespace vantiro {
namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit on nested links
constexpr std::size_t kTemporarySuffixLength = 6;
constexpr int kTemporaryAttempts = 100;
// A save takes milliseconds; a temporary this old was left by one that crashed.
constexpr auto kStaleTemporaryAge = std::chrono::minutes(10);

// The mode of the file being replaced; nothing for a new file, which gets what
// the umask leaves of 0666 like any file the user creates.
std::optional<mode_t> existingMode(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    return std::nullopt;
}

// A file kept as a symbolic link (dotfile managers do that) is saved into the
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
// umask: mkstemp's fixed 0600 would make every new file private.
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

bool replaceFile(const std::string& path, std::string_view contents, std::string* error) {
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
    bool ok = (!keptMode || ::fchmod(fd, *keptMode) == 0) && writeAll(fd, contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return fail();
    }
    syncDirectory(directory);
    return true;
}

}  // namespace vantiro
