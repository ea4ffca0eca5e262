#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dvb/dvr_source.h"
#include "dvb/packet_hub.h"
#include "dvb/pipe_output.h"
#include "dvb/ts_packet.h"

namespace vantiro {

// Delivers the packets of a fixed PID set (and always the PAT) of the tuned
// multiplex as a byte stream on a pipe: a `DvrSource`, a `PidFilter` and a
// `PipeOutput` put together. The consumer reads `readFd()` and must not close
// it. The relay does not tune: tune the same adapter first.
//
// The program's own players and streams follow their service's PMT through
// `TunedMux::openService`; this fixed-PID relay serves tools and tests.
//
// `start` and `stop` belong to the owning thread; the counters may be read from anywhere.
class TsRelay {
public:
    TsRelay() = default;
    ~TsRelay();
    TsRelay(const TsRelay&) = delete;
    TsRelay& operator=(const TsRelay&) = delete;

    // Stops any previous run, then has /dev/dvb/adapter<N>/demux0 filter `pids`
    // and the PAT to dvr0, starts the reading thread and the pipe's writer. On
    // failure `error` (may be null) gets the reason and the relay is stopped.
    bool start(int adapter, const std::vector<std::uint16_t>& pids, std::string* error = nullptr);

    // Like `start`, but relays from an already open source descriptor instead of
    // the adapter's DVR device (no demux is opened). Takes ownership of `sourceFd`
    // in every case. Used to feed the relay from a pipe or a recorded file.
    bool startFromSource(int sourceFd, const std::vector<std::uint16_t>& pids,
                         std::string* error = nullptr);

    // Ends both threads and closes every descriptor. Safe at any time, also twice.
    void stop();

    // Read end of the pipe; valid after a successful start until the next stop, else -1.
    int readFd() const { return output_.readFd(); }

    // Packets handed to the pipe since the last start.
    std::uint64_t packetsRelayed() const { return output_.packetsWritten(); }
    // DVR overflows ridden out since the last start.
    std::uint64_t overflowCount() const { return source_ ? source_->health().overflows : 0; }

private:
    bool run(std::unique_ptr<DvrSource> source, const std::vector<std::uint16_t>& pids, std::string* error);

    std::shared_ptr<PacketHub> hub_;
    std::unique_ptr<DvrSource> source_;
    HubMembership filter_;
    PipeOutput output_;
};

}  // namespace vantiro
