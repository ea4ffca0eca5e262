#include "dvb/demux_filters.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vantiro {
namespace {

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

UniqueFd DemuxFilters::startFilter(std::uint16_t pid, std::string* error) const {
    UniqueFd demux(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
    if (!demux) {
        setError(error, "cannot open " + path_ + ": " + std::strerror(errno));
        return {};
    }
    dmx_pes_filter_params params{};
    params.pid = pid;
    params.input = DMX_IN_FRONTEND;
    params.output = DMX_OUT_TS_TAP;
    params.pes_type = DMX_PES_OTHER;
    params.flags = DMX_IMMEDIATE_START;
    if (::ioctl(demux.get(), DMX_SET_PES_FILTER, &params) != 0) {
        setError(error, std::string("cannot start the TS filter: ") + std::strerror(errno));
        return {};
    }
    return demux;
}

bool DemuxFilters::apply(const PidSet& wanted, std::string* error) {
    if (wanted.whole() || wanted.count() > kMostPidFilters) return applyWhole(error);
    std::vector<std::uint16_t> pids = wanted.pids();
    for (std::uint16_t pid : pids) {
        if (byPid_.contains(pid)) continue;
        UniqueFd filter = startFilter(pid, error);
        if (!filter) return applyWhole(error);
        byPid_.emplace(pid, std::move(filter));
    }
    whole_.reset();
    std::erase_if(byPid_, [&wanted](const auto& entry) { return !wanted.contains(entry.first); });
    return true;
}

bool DemuxFilters::applyWhole(std::string* error) {
    if (!whole_) {
        whole_ = startFilter(kWholeStreamPid, error);
        if (!whole_ && !byPid_.empty()) {
            // The device may have no room for one more filter: make room, at the
            // price of a gap in the PIDs that were passed.
            byPid_.clear();
            whole_ = startFilter(kWholeStreamPid, error);
        }
        if (!whole_) return false;
    }
    byPid_.clear();
    return true;
}

void DemuxFilters::clear() {
    whole_.reset();
    byPid_.clear();
}

PidSet DemuxFilters::current() const {
    if (whole_) return PidSet::wholeStream();
    PidSet passed;
    for (const auto& entry : byPid_) passed.add(entry.first);
    return passed;
}

}  // namespace vantiro
