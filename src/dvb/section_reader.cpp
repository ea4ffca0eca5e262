#include "dvb/section_reader.h"

#include <linux/dvb/dmx.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "dvb/psi_section.h"
#include "dvb/tuner.h"

namespace vantiro {
namespace {

constexpr int kMaxPollMs = 100;
constexpr std::size_t kMinUsefulRead = 3;

bool startFilter(int demuxFd, const SectionFilter& filter) {
    dmx_sct_filter_params params;
    std::memset(&params, 0, sizeof params);
    params.pid = filter.pid;
    params.filter.filter[0] = filter.tableId;
    params.filter.mask[0] = filter.tableIdMask;
    // The kernel matches filter byte n > 0 against section byte n + 2 (it skips the
    // length field), so bytes 1 and 2 select the table id extension.
    if (filter.tableIdExtension) {
        params.filter.filter[1] = static_cast<std::uint8_t>(*filter.tableIdExtension >> 8);
        params.filter.filter[2] = static_cast<std::uint8_t>(*filter.tableIdExtension & 0xFF);
        params.filter.mask[1] = 0xFF;
        params.filter.mask[2] = 0xFF;
    }
    params.timeout = 0;
    params.flags = DMX_CHECK_CRC | DMX_IMMEDIATE_START;
    return ::ioctl(demuxFd, DMX_SET_FILTER, &params) == 0;
}

bool matches(const std::uint8_t* data, std::size_t n, const SectionFilter& filter) {
    if (n < kMinUsefulRead || (data[0] & filter.tableIdMask) != (filter.tableId & filter.tableIdMask)) return false;
    // A demux that ignores the extension bytes must not hand us another program's table.
    if (filter.tableIdExtension) return n >= 5 && readBe16(data + 3) == *filter.tableIdExtension;
    return true;
}

bool sameFilter(const SectionFilter& a, const SectionFilter& b) {
    return a.pid == b.pid && a.tableId == b.tableId && a.tableIdExtension == b.tableIdExtension &&
           a.tableIdMask == b.tableIdMask;
}

}  // namespace

void SectionReader::stop() {
    if (!running_) return;
    running_.reset();
    if (tuner_.demuxFd() >= 0) ::ioctl(tuner_.demuxFd(), DMX_STOP);
}

bool SectionReader::read(const SectionFilter& filter, int timeoutMs, std::vector<std::uint8_t>& out) {
    using Clock = std::chrono::steady_clock;
    const int fd = tuner_.demuxFd();
    if (fd < 0) return false;
    if (!running_ || !sameFilter(*running_, filter)) {
        stop();
        if (!startFilter(fd, filter)) return false;
        running_ = filter;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::array<std::uint8_t, kMaxSectionBytes> buffer;
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd pfd{fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(std::clamp<long long>(remaining, 1, kMaxPollMs)));
        if (ready <= 0) continue;
        if (pfd.revents & POLLNVAL) break;
        // POLLERR signals a buffer overflow; the read reports and clears it.
        ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0 || !matches(buffer.data(), static_cast<std::size_t>(got), filter)) continue;
        out.assign(buffer.begin(), buffer.begin() + got);
        return true;
    }
    stop();
    return false;
}

bool readSection(Tuner& tuner, std::uint16_t pid, std::uint8_t tableId, int timeoutMs,
                 std::vector<std::uint8_t>& out) {
    return readSection(tuner, SectionFilter{pid, tableId, std::nullopt}, timeoutMs, out);
}

bool readSection(Tuner& tuner, const SectionFilter& filter, int timeoutMs,
                 std::vector<std::uint8_t>& out) {
    SectionReader reader(tuner);
    return reader.read(filter, timeoutMs, out);
}

}  // namespace vantiro
