#pragma once
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "dvb/ts_packet.h"

namespace vantiro {

// The PIDs something wants from the multiplex, or all of them. A value: cheap
// enough to copy whenever a consumer's wishes change (a few times a minute).
class PidSet {
public:
    PidSet() = default;
    PidSet(std::initializer_list<std::uint16_t> pids);
    explicit PidSet(const std::vector<std::uint16_t>& pids);
    static PidSet wholeStream();

    // PIDs are taken modulo 8192.
    void add(std::uint16_t pid) {
        if (!whole_) pids_.set(pid & kTsPidMask);
    }
    // Everything `other` holds, too.
    void merge(const PidSet& other);

    bool whole() const { return whole_; }
    bool contains(std::uint16_t pid) const { return whole_ || pids_.test(pid & kTsPidMask); }
    bool empty() const { return !whole_ && pids_.none(); }
    // PIDs listed (0 for the whole stream).
    std::size_t count() const { return whole_ ? 0 : pids_.count(); }
    // The listed PIDs in ascending order (none for the whole stream).
    std::vector<std::uint16_t> pids() const;

    bool operator==(const PidSet& other) const = default;

private:
    std::bitset<kTsPidCount> pids_;
    bool whole_ = false;
};

}  // namespace vantiro
