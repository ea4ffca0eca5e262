#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vantiro {

// Size of one MPEG transport stream packet.
inline constexpr std::size_t kTsPacketSize = 188;
// The relay reads the DVR device in chunks of this many packets.
inline constexpr std::size_t kRelayChunkPackets = 128;
inline constexpr std::size_t kRelayChunkBytes = kTsPacketSize * kRelayChunkPackets;  // 24064

// Delivers the packets of one service as a byte stream on a pipe.
//
// The relay asks the adapter's demux to route the whole transport stream of the
// tuned multiplex to the DVR device, reads that device on its own thread, keeps
// the 188-byte packets whose PID is in the given list (and always the PAT) and
// writes them into a pipe. The consumer reads `readFd()` and must not close it.
// The relay does not tune: tune the same adapter first.
//
// `start` and `stop` belong to the owning thread; `packetsRelayed` may be read
// from anywhere.
class TsRelay {
public:
    TsRelay() = default;
    ~TsRelay();
    TsRelay(const TsRelay&) = delete;
    TsRelay& operator=(const TsRelay&) = delete;

    // Stops any previous run, then opens /dev/dvb/adapter<N>/demux0 and dvr0,
    // starts the whole-TS filter and the relay thread. On failure `error`
    // (may be null) gets the reason and the relay is stopped.
    bool start(int adapter, const std::vector<std::uint16_t>& pids, std::string* error = nullptr);

    // Like `start`, but relays from an already open source descriptor instead of
    // the adapter's DVR device (no demux is opened). Takes ownership of `sourceFd`
    // in every case. Used to feed the relay from a pipe or a recorded file.
    bool startFromSource(int sourceFd, const std::vector<std::uint16_t>& pids,
                         std::string* error = nullptr);

    // Ends the thread (within about one 100 ms poll) and closes every descriptor.
    // Safe at any time, also twice.
    void stop();

    // Read end of the pipe; valid after a successful start until the next stop, else -1.
    int readFd() const { return readFd_; }

    // Packets handed to the pipe since the last start.
    std::uint64_t packetsRelayed() const { return packetsRelayed_.load(); }

private:
    bool openPipeAndRun(const std::vector<std::uint16_t>& pids, std::string* error);
    void relayLoop(std::vector<std::uint16_t> pids);
    void writePacket(const std::uint8_t* packet);

    int demuxFd_ = -1;
    int dvrFd_ = -1;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::atomic<bool> running_{false};
    std::atomic<std::uint64_t> packetsRelayed_{0};
    std::thread thread_;
};

}  // namespace vantiro
