#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace vantiro {

class Tuner;

// What a section read asks the demux for: a PID, a table id and, optionally, the
// table id extension (the program number of a PMT). `tableIdMask` selects the bits
// of the table id that must match, so that one filter can take a range of tables
// (0x40/0xE0: the EIT's 0x4E and 0x50-0x5F).
struct SectionFilter {
    std::uint16_t pid = 0;
    std::uint8_t tableId = 0;
    std::optional<std::uint16_t> tableIdExtension;
    std::uint8_t tableIdMask = 0xFF;
};

// Reads successive sections from the tuner's demux. Asking again for the same filter
// keeps the running filter, so the sections that follow the last one read are not
// lost (a table in several sections arrives back to back); another filter, a failed
// read or the end of the reader stops it. The caller holds the tuner's mutex for the
// reader's whole life.
class SectionReader {
public:
    explicit SectionReader(Tuner& tuner) : tuner_(tuner) {}
    ~SectionReader() { stop(); }
    SectionReader(const SectionReader&) = delete;
    SectionReader& operator=(const SectionReader&) = delete;

    bool read(const SectionFilter& filter, int timeoutMs, std::vector<std::uint8_t>& out);
    void stop();

private:
    Tuner& tuner_;
    std::optional<SectionFilter> running_;
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
