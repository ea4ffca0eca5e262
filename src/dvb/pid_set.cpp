#include "dvb/pid_set.h"

namespace vantiro {

PidSet::PidSet(std::initializer_list<std::uint16_t> pids) {
    for (std::uint16_t pid : pids) add(pid);
}

PidSet::PidSet(const std::vector<std::uint16_t>& pids) {
    for (std::uint16_t pid : pids) add(pid);
}

PidSet PidSet::wholeStream() {
    PidSet all;
    all.whole_ = true;
    return all;
}

void PidSet::merge(const PidSet& other) {
    whole_ = whole_ || other.whole_;
    if (whole_) pids_.reset();  // one way to say "everything", so that equal sets compare equal
    else pids_ |= other.pids_;
}

std::vector<std::uint16_t> PidSet::pids() const {
    std::vector<std::uint16_t> listed;
    if (whole_) return listed;
    listed.reserve(pids_.count());
    for (std::size_t pid = 0; pid < kTsPidCount; ++pid)
        if (pids_.test(pid)) listed.push_back(static_cast<std::uint16_t>(pid));
    return listed;
}

}  // namespace vantiro
