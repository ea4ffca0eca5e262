#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "guide/guide_store.h"

namespace vantiro {

// A cache file larger than this is not read (and a save stops adding events before it).
inline constexpr std::size_t kMaxGuideCacheBytes = 4u << 20;

// $XDG_CACHE_HOME/vantiro, else $HOME/.cache/vantiro, else ./vantiro.
std::string guideCacheDirectory();

// The file of one multiplex in `directory`: "guide-<frequency in Hz>.tsv".
std::string guideCacheFile(const std::string& directory, std::uint32_t frequency);

// The text form of a multiplex's guide: a line "vantiro-guide-1", then one
// tab-separated line per event (service id, event id, start, duration, language,
// rating country, minimum age, content nibbles in hex, title, short text, extended
// text; tabs, line ends and backslashes in texts escaped). Events past `maxBytes` are
// left out.
std::string serialiseGuide(const std::vector<ServiceEvents>& services, std::size_t maxBytes = kMaxGuideCacheBytes);
// Empty for anything that is not exactly that form; `frequency` fills the keys.
std::optional<std::vector<ServiceEvents>> parseGuide(std::string_view text, std::uint32_t frequency);

// Writes the multiplex's events of `store` (ended ones left out) to its file:
// temporary file, fsync, rename, so that a crash never leaves half a cache.
bool saveGuideCache(const std::string& directory, const GuideStore& store, std::uint32_t frequency,
                    std::string* error = nullptr);

// Reads every guide file of `directory` into `store` as cached events. A file that
// is unreadable, too large or corrupt is skipped with one line on standard error.
// Returns the number of services loaded.
std::size_t loadGuideCache(const std::string& directory, GuideStore& store);

}  // namespace vantiro
