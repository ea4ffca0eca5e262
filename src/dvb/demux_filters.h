#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "dvb/pid_set.h"
#include "dvb/unique_fd.h"

namespace vantiro {

// The demux filters that route the wanted PIDs of the tuned multiplex to the
// adapter's DVR device. The kernel lets a filter whose output is the DVR
// (DMX_OUT_TS_TAP) carry one PID only (DMX_ADD_PID is refused on it), so each
// PID gets a demux descriptor of its own, as dvbv5-zap and VLC do; the whole
// stream is one filter on PID 0x2000. The kernel sends a packet to the DVR
// once however many filters match it.
//
// Going from one set to the next starts the new filters before it stops the
// old ones, so that a PID wanted before and after never misses a packet. A set
// larger than `kMostPidFilters`, or a filter the device refuses (a stick's
// hardware PID filter is full), falls back to the whole stream.
//
// Not thread-safe: one owner (the source's reading thread while it runs).
class DemuxFilters {
public:
    // A USB stick's hardware PID filter holds 32 entries or more; a service
    // needs about five.
    static constexpr std::size_t kMostPidFilters = 32;
    static constexpr std::uint16_t kWholeStreamPid = 0x2000;

    // The demux device to open filters on, e.g. "/dev/dvb/adapter0/demux0".
    void setDevice(std::string path) { path_ = std::move(path); }
    bool hasDevice() const { return !path_.empty(); }

    // Makes the filters pass exactly `wanted`. False when not even the whole
    // stream could be filtered; `error` (may be null) then gets
    // "cannot open <path>: <reason>" or "cannot start the TS filter: <reason>".
    bool apply(const PidSet& wanted, std::string* error = nullptr);
    // Stops every filter.
    void clear();

    // What is being passed now.
    PidSet current() const;

private:
    UniqueFd startFilter(std::uint16_t pid, std::string* error) const;
    bool applyWhole(std::string* error);

    std::string path_;
    UniqueFd whole_;
    std::map<std::uint16_t, UniqueFd> byPid_;
};

}  // namespace vantiro
