// The simulated adapter serves several threads with several demux descriptors
// at once, as the program does (scan thread, relay thread, UI thread).
#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;

bool tune(int fe, std::uint32_t frequency, std::uint32_t system) {
    // The demodulator refuses a tune without a bandwidth, as an Si2168 does.
    dtv_property p[4] = {};
    p[0].cmd = DTV_DELIVERY_SYSTEM;
    p[0].u.data = system;
    p[1].cmd = DTV_FREQUENCY;
    p[1].u.data = frequency;
    p[2].cmd = DTV_BANDWIDTH_HZ;
    p[2].u.data = 8000000;
    p[3].cmd = DTV_TUNE;
    dtv_properties props{4, p};
    return ioctl(fe, FE_SET_PROPERTY, &props) == 0;
}

bool locked(int fe) {
    fe_status_t s{};
    return ioctl(fe, FE_READ_STATUS, &s) == 0 && (s & FE_HAS_LOCK);
}

// Reads `wanted` sections of (pid, table) on a demux descriptor of its own.
int readSections(std::uint16_t pid, std::uint8_t table, int wanted, const std::atomic<bool>& stop) {
    int dmx = ::open("/dev/dvb/adapter0/demux0", O_RDWR | O_NONBLOCK);
    if (dmx < 0) return -1;
    dmx_sct_filter_params f{};
    f.pid = pid;
    f.filter.filter[0] = table;
    f.filter.mask[0] = 0xFF;
    f.flags = DMX_IMMEDIATE_START | DMX_CHECK_CRC;
    int got = 0;
    if (ioctl(dmx, DMX_SET_FILTER, &f) == 0) {
        std::vector<std::uint8_t> buffer(4096);
        while (got < wanted && !stop) {
            pollfd p{dmx, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            ssize_t n = ::read(dmx, buffer.data(), buffer.size());
            if (n > 3 && buffer[0] == table) ++got;
        }
        ioctl(dmx, DMX_STOP);
    }
    ::close(dmx);
    return got;
}

TEST(DvbsimThreads, SectionReadersDvrReaderAndStatusPollsRunSideBySide) {
    test::TempDir dir;
    std::string muxDir = test::standardBandDir();
    test::standardBandPath();
    std::string band = dir.file("band.conf");
    test::writeFile(band, "adapter 0\nmux freq=474000000 delsys=16 ts=" + muxDir +
                              "/mux-474.ts lock_ms=20 pat_ms=20 pmt_ms=20 sdt_ms=100\n");
    VANTIRO_UNDER_DVBSIM(band);

    int fe = ::open("/dev/dvb/adapter0/frontend0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fe, 0);
    ASSERT_TRUE(tune(fe, 474000000, SYS_DVBT2));
    auto end = Clock::now() + std::chrono::seconds(5);
    while (!locked(fe) && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(locked(fe));

    std::atomic<bool> stop{false};
    std::atomic<long> dvrBytes{0};
    std::thread dvrReader([&] {
        int dmx = ::open("/dev/dvb/adapter0/demux0", O_RDWR);
        dmx_pes_filter_params all{0x2000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
        ioctl(dmx, DMX_SET_PES_FILTER, &all);
        int dvr = ::open("/dev/dvb/adapter0/dvr0", O_RDONLY | O_NONBLOCK);
        std::vector<std::uint8_t> buffer(188 * 128);
        while (!stop) {
            pollfd p{dvr, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            ssize_t n = ::read(dvr, buffer.data(), buffer.size());
            if (n > 0) dvrBytes += n;
        }
        ::close(dvr);
        ::close(dmx);
    });
    std::thread statusPoller([&] {
        while (!stop) {
            locked(fe);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::vector<std::thread> readers;
    std::atomic<int> sectionsRead{0};
    const std::pair<std::uint16_t, std::uint8_t> tables[] = {{0, 0}, {0x1000, 2}, {0x1001, 2}, {0x11, 0x42}};
    for (int round = 0; round < 2; ++round)
        for (auto [pid, table] : tables)
            readers.emplace_back([&, pid, table] { sectionsRead += readSections(pid, table, 5, stop); });
    for (auto& t : readers) t.join();
    stop = true;
    dvrReader.join();
    statusPoller.join();
    ::close(fe);
    EXPECT_EQ(sectionsRead, 8 * 5);
    EXPECT_GT(dvrBytes, 0);
}

}  // namespace
}  // namespace vantiro
