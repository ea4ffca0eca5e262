#include "dvb/ts_relay.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vantiro {
namespace {

constexpr std::uint8_t kSyncByte = 0x47;
constexpr std::size_t kPidCount = 8192;
constexpr std::uint16_t kPidMask = 0x1FFF;
constexpr std::uint16_t kPatPid = 0;
constexpr std::uint16_t kWholeTransportStream = 0x2000;
// Both loops wake this often to notice `stop`.
constexpr int kPollTimeoutMs = 100;

using PidTable = std::array<bool, kPidCount>;

std::string errnoText() { return std::strerror(errno); }

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string adapterDevicePath(int adapter, const char* device) {
    char path[64];
    std::snprintf(path, sizeof path, "/dev/dvb/adapter%d/%s", adapter, device);
    return path;
}

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

PidTable buildPidTable(const std::vector<std::uint16_t>& pids) {
    PidTable table{};
    for (std::uint16_t pid : pids) table[pid & kPidMask] = true;
    table[kPatPid] = true;
    return table;
}

std::uint16_t packetPid(const std::uint8_t* packet) {
    return static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

bool startWholeStreamFilter(int demuxFd) {
    dmx_pes_filter_params params{};
    params.pid = kWholeTransportStream;
    params.input = DMX_IN_FRONTEND;
    params.output = DMX_OUT_TS_TAP;
    params.pes_type = DMX_PES_OTHER;
    params.flags = DMX_IMMEDIATE_START;
    return ::ioctl(demuxFd, DMX_SET_PES_FILTER, &params) == 0;
}

// Blocks until `fd` reports `events` or the poll interval passes.
bool pollFor(int fd, short events) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, kPollTimeoutMs) > 0;
}

}  // namespace

TsRelay::~TsRelay() { stop(); }

bool TsRelay::start(int adapter, const std::vector<std::uint16_t>& pids, std::string* error) {
    stop();
    std::string demuxPath = adapterDevicePath(adapter, "demux0");
    demuxFd_ = ::open(demuxPath.c_str(), O_RDWR | O_CLOEXEC);
    if (demuxFd_ < 0) {
        setError(error, "cannot open " + demuxPath + ": " + errnoText());
        return false;
    }
    if (!startWholeStreamFilter(demuxFd_)) {
        setError(error, "cannot start the TS filter: " + errnoText());
        closeFd(demuxFd_);
        return false;
    }
    std::string dvrPath = adapterDevicePath(adapter, "dvr0");
    dvrFd_ = ::open(dvrPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (dvrFd_ < 0) {
        setError(error, "cannot open " + dvrPath + ": " + errnoText());
        stop();
        return false;
    }
    return openPipeAndRun(pids, error);
}

bool TsRelay::startFromSource(int sourceFd, const std::vector<std::uint16_t>& pids,
                              std::string* error) {
    stop();
    dvrFd_ = sourceFd;
    return openPipeAndRun(pids, error);
}

bool TsRelay::openPipeAndRun(const std::vector<std::uint16_t>& pids, std::string* error) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        setError(error, "pipe: " + errnoText());
        stop();
        return false;
    }
    readFd_ = ends[0];
    writeFd_ = ends[1];
    // Only the write end is non-blocking: the relay must be able to give up on a
    // stalled consumer, while the consumer may simply block in read.
    int flags = ::fcntl(writeFd_, F_GETFL);
    ::fcntl(writeFd_, F_SETFL, flags | O_NONBLOCK);
    running_ = true;
    packetsRelayed_ = 0;
    thread_ = std::thread(&TsRelay::relayLoop, this, pids);
    return true;
}

void TsRelay::stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    closeFd(dvrFd_);
    if (demuxFd_ >= 0) ::ioctl(demuxFd_, DMX_STOP);
    closeFd(demuxFd_);
    closeFd(readFd_);
    closeFd(writeFd_);
}

void TsRelay::relayLoop(std::vector<std::uint16_t> pids) {
    const PidTable selected = buildPidTable(pids);
    std::array<std::uint8_t, kRelayChunkBytes> buffer;
    std::size_t fill = 0;

    while (running_) {
        if (!pollFor(dvrFd_, POLLIN)) continue;
        ssize_t n = ::read(dvrFd_, buffer.data() + fill, buffer.size() - fill);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // includes the DVR buffer overflow: the consumer sees end of file
        }
        fill += static_cast<std::size_t>(n);
        if (fill < kTsPacketSize) continue;

        std::size_t i = 0;
        while (i + kTsPacketSize <= fill) {
            if (buffer[i] != kSyncByte) {
                ++i;  // resynchronise byte by byte
                continue;
            }
            if (selected[packetPid(&buffer[i])]) writePacket(&buffer[i]);
            i += kTsPacketSize;
        }
        std::memmove(buffer.data(), buffer.data() + i, fill - i);
        fill -= i;
        if (fill == buffer.size()) fill = 0;
    }
    closeFd(writeFd_);
}

void TsRelay::writePacket(const std::uint8_t* packet) {
    std::size_t written = 0;
    while (running_ && written < kTsPacketSize) {
        if (!pollFor(writeFd_, POLLOUT)) continue;
        ssize_t n = ::write(writeFd_, packet + written, kTsPacketSize - written);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            running_ = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    packetsRelayed_.fetch_add(1);
}

}  // namespace vantiro
