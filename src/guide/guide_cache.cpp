#include "guide/guide_cache.h"
#include "system/write_all.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace vantiro {
namespace {

constexpr std::string_view kHeader = "vantiro-guide-1";
constexpr std::string_view kFilePrefix = "guide-";
constexpr std::string_view kFileSuffix = ".tsv";
constexpr std::size_t kFieldCount = 11;
constexpr mode_t kFileMode = 0644;

std::string nonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value, int base = 10) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::string hexNibbles(const std::vector<std::uint8_t>& nibbles) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : nibbles) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

bool parseNibbles(std::string_view text, std::vector<std::uint8_t>& out) {
    if (text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint8_t b = 0;
        if (!parseNumber(text.substr(i, 2), b, 16)) return false;
        out.push_back(b);
    }
    return true;
}

std::string eventLine(std::uint16_t serviceId, const EitEvent& e) {
    std::string line = std::to_string(serviceId) + '\t' + std::to_string(e.eventId) + '\t' +
                       std::to_string(e.start.value_or(0)) + '\t' + std::to_string(e.duration.value_or(0)) + '\t' +
                       escaped(e.language) + '\t' + escaped(e.rating ? e.rating->country : "") + '\t' +
                       std::to_string(e.rating ? e.rating->minimumAge : 0) + '\t' + hexNibbles(e.contentNibbles) +
                       '\t' + escaped(e.title) + '\t' + escaped(e.shortText) + '\t' + escaped(e.extendedText);
    return line + '\n';
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    for (;;) {
        std::size_t tab = line.find('\t', pos);
        fields.push_back(line.substr(pos, tab == std::string_view::npos ? std::string_view::npos : tab - pos));
        if (tab == std::string_view::npos) return fields;
        pos = tab + 1;
    }
}

bool parseEventLine(std::string_view line, std::uint16_t& serviceId, EitEvent& e) {
    std::vector<std::string_view> f = splitTabs(line);
    if (f.size() != kFieldCount) return false;
    UnixSeconds start = 0;
    std::int32_t duration = 0;
    int age = 0;
    if (!parseNumber(f[0], serviceId) || !parseNumber(f[1], e.eventId) || !parseNumber(f[2], start) ||
        !parseNumber(f[3], duration) || !parseNumber(f[6], age) || duration < 0 || age < 0 ||
        !parseNibbles(f[7], e.contentNibbles))
        return false;
    e.start = start;
    e.duration = duration;
    auto language = unescaped(f[4]);
    auto country = unescaped(f[5]);
    auto title = unescaped(f[8]);
    auto shortText = unescaped(f[9]);
    auto extended = unescaped(f[10]);
    if (!language || !country || !title || !shortText || !extended) return false;
    e.language = std::move(*language);
    if (age > 0) e.rating = ParentalRating{std::move(*country), age};
    e.title = std::move(*title);
    e.shortText = std::move(*shortText);
    e.extendedText = std::move(*extended);
    return true;
}

std::optional<std::uint32_t> frequencyOfFileName(const std::string& name) {
    if (name.size() <= kFilePrefix.size() + kFileSuffix.size() || !name.starts_with(kFilePrefix) ||
        !name.ends_with(kFileSuffix))
        return std::nullopt;
    std::string_view digits(name);
    digits = digits.substr(kFilePrefix.size(), name.size() - kFilePrefix.size() - kFileSuffix.size());
    std::uint32_t frequency = 0;
    if (!parseNumber(digits, frequency) || frequency == 0) return std::nullopt;
    return frequency;
}

void warn(const std::string& path, const char* why) {
    std::fprintf(stderr, "vantiro: ignoring guide cache %s: %s\n", path.c_str(), why);
}

}  // namespace

std::string guideCacheDirectory() {
    std::string xdg = nonEmptyEnv("XDG_CACHE_HOME");
    if (!xdg.empty()) return xdg + "/vantiro";
    std::string home = nonEmptyEnv("HOME");
    if (!home.empty()) return home + "/.cache/vantiro";
    return "./vantiro";
}

std::string guideCacheFile(const std::string& directory, std::uint32_t frequency) {
    return directory + "/" + std::string(kFilePrefix) + std::to_string(frequency) + std::string(kFileSuffix);
}

std::string serialiseGuide(const std::vector<ServiceEvents>& services, std::size_t maxBytes) {
    std::string out = std::string(kHeader) + '\n';
    for (const ServiceEvents& service : services) {
        for (const EitEvent& event : service.events) {
            std::string line = eventLine(service.key.serviceId, event);
            if (out.size() + line.size() > maxBytes) return out;
            out += line;
        }
    }
    return out;
}

std::optional<std::vector<ServiceEvents>> parseGuide(std::string_view text, std::uint32_t frequency) {
    if (!text.starts_with(kHeader) || text.size() == kHeader.size() || text[kHeader.size()] != '\n')
        return std::nullopt;
    text.remove_prefix(kHeader.size() + 1);
    std::map<std::uint16_t, std::vector<EitEvent>> byService;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // a cut-off last line
        std::uint16_t serviceId = 0;
        EitEvent event;
        if (!parseEventLine(text.substr(0, end), serviceId, event)) return std::nullopt;
        byService[serviceId].push_back(std::move(event));
        text.remove_prefix(end + 1);
    }
    std::vector<ServiceEvents> services;
    for (auto& [serviceId, events] : byService) services.push_back({{frequency, serviceId}, std::move(events)});
    return services;
}

bool saveGuideCache(const std::string& directory, const GuideStore& store, std::uint32_t frequency,
                    std::string* error) {
    const std::string path = guideCacheFile(directory, frequency);
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    std::string tmpl = path + ".XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    bool ok = ::fchmod(fd, kFileMode) == 0 && writeAll(fd, serialiseGuide(store.snapshot(frequency))) &&
              ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmpl.c_str(), path.c_str()) == 0) return true;
    ::unlink(tmpl.c_str());
    if (error) *error = "cannot write " + path;
    return false;
}

std::size_t loadGuideCache(const std::string& directory, GuideStore& store) {
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec) return 0;  // no cache yet
    std::size_t loaded = 0;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        auto frequency = frequencyOfFileName(name);
        if (!frequency) continue;
        const std::string path = entry.path().string();
        std::error_code sizeError;
        auto size = std::filesystem::file_size(entry.path(), sizeError);
        if (sizeError) {
            warn(path, "unreadable");
            continue;
        }
        if (size > kMaxGuideCacheBytes) {
            warn(path, "too large");
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            warn(path, "unreadable");
            continue;
        }
        auto services = parseGuide(text.str(), *frequency);
        if (!services) {
            warn(path, "corrupt");
            continue;
        }
        for (ServiceEvents& service : *services) store.setCachedEvents(service.key, std::move(service.events));
        loaded += services->size();
    }
    return loaded;
}

}  // namespace vantiro
