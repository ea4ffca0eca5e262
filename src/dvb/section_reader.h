#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace vantiro {

class Tuner;

// What a section read asks the demux for: a PID, a table id and, optionally, the
// table id extension (the program number of a PMT).
struct SectionFilter {
    std::uint16_t pid = 0;
    std::uint8_t tableId = 0;
    std::optional<std::uint16_t> tableIdExtension;
};

// Reads one CRC-checked section of `tableId` on `pid` from the tuner's demux into
// `out`, waiting at most about `timeoutMs`. The caller holds the tuner's mutex.
bool readSection(Tuner& tuner, std::uint16_t pid, std::uint8_t tableId, int timeoutMs,
                 std::vector<std::uint8_t>& out);

// The same with the whole filter; with a table id extension only sections carrying
// it are delivered.
bool readSection(Tuner& tuner, const SectionFilter& filter, int timeoutMs,
                 std::vector<std::uint8_t>& out);

}  // namespace vantiro
