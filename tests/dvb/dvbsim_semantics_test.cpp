// The simulated adapter behaves like the kernel's DVB devices, checked through
// the raw Linux DVB API (the program's own classes have their own tests).
#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/dvbsim_harness.h"
#include "support/temp_dir.h"

namespace vantiro {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kT2Mux = 474000000;
constexpr std::uint32_t kTMux = 522000000;

// A band over the standard band's multiplex files, with the given mux lines
// (use {474} and {522} for their paths).
std::string writeBand(const test::TempDir& dir, std::string text) {
    std::string muxDir = test::standardBandDir();
    for (auto [tag, file] : {std::pair{"{474}", "mux-474.ts"}, std::pair{"{522}", "mux-522.ts"}}) {
        for (auto at = text.find(tag); at != std::string::npos; at = text.find(tag))
            text.replace(at, std::strlen(tag), muxDir + "/" + file);
    }
    std::string path = dir.file("band.conf");
    test::writeFile(path, text);
    return path;
}

// Makes sure the multiplex files exist before the child needs them.
std::string standardBandOrEmpty() { return test::standardBandPath(); }

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

int openDevice(int adapter, const char* device, int flags) {
    std::string path = "/dev/dvb/adapter" + std::to_string(adapter) + "/" + device;
    return ::open(path.c_str(), flags);
}

// Extra properties go between the frequency and DTV_TUNE.
bool tune(int fe, std::uint32_t frequency, std::uint32_t system,
          std::vector<std::pair<std::uint32_t, std::uint32_t>> extra = {{DTV_BANDWIDTH_HZ, 8000000}}) {
    std::vector<dtv_property> p(3);
    p[0].cmd = DTV_CLEAR;
    p[1].cmd = DTV_DELIVERY_SYSTEM;
    p[1].u.data = system;
    p[2].cmd = DTV_FREQUENCY;
    p[2].u.data = frequency;
    for (auto [cmd, value] : extra) {
        dtv_property q{};
        q.cmd = cmd;
        q.u.data = value;
        p.push_back(q);
    }
    p.emplace_back().cmd = DTV_TUNE;
    dtv_properties props{static_cast<std::uint32_t>(p.size()), p.data()};
    return ioctl(fe, FE_SET_PROPERTY, &props) == 0;
}

unsigned status(int fe) {
    fe_status_t s{};
    EXPECT_EQ(ioctl(fe, FE_READ_STATUS, &s), 0);
    return s;
}

bool waitForLock(int fe, int limitMs) {
    auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (Clock::now() < end) {
        if (status(fe) & FE_HAS_LOCK) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

dmx_sct_filter_params sectionFilter(std::uint16_t pid, std::uint8_t tableId, std::uint32_t flags = DMX_IMMEDIATE_START) {
    dmx_sct_filter_params f{};
    f.pid = pid;
    f.filter.filter[0] = tableId;
    f.filter.mask[0] = 0xFF;
    f.flags = flags;
    return f;
}

// One read after the descriptor turns readable; nullopt when nothing comes
// within limitMs. errno is kept from a failed read in *readError.
std::optional<Bytes> readOnce(int fd, int limitMs, int* readError = nullptr) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, limitMs) <= 0) return std::nullopt;
    Bytes buffer(4096);
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
        if (readError) *readError = errno;
        return std::nullopt;
    }
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::uint32_t crc32Mpeg(const std::uint8_t* data, size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= std::uint32_t{data[i]} << 24;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

size_t declaredSize(const Bytes& s) { return s.size() < 3 ? 0 : (((s[1] & 0x0Fu) << 8) | s[2]) + 3u; }

// An open, tuned and locked adapter 0.
struct Locked {
    Fd fe;
    explicit Locked(std::uint32_t frequency = kT2Mux, std::uint32_t system = SYS_DVBT2)
        : fe(openDevice(0, "frontend0", O_RDWR | O_NONBLOCK)) {
        EXPECT_GE(fe.fd, 0) << std::strerror(errno);
        EXPECT_TRUE(tune(fe.fd, frequency, system));
        EXPECT_TRUE(waitForLock(fe.fd, 5000));
    }
};

TEST(DvbsimFrontend, LocksOnlyAfterTheLockDelayAndReportsTheBandsStatistics) {
    test::TempDir dir;
    standardBandOrEmpty();
    std::string band = writeBand(dir, "adapter 0 name=\"Test Frontend\"\n"
                                      "mux freq=474000000 delsys=16 ts={474} lock_ms=1500 strength=32768 cnr=17500\n");
    VANTIRO_UNDER_DVBSIM(band);

    Fd fe(openDevice(0, "frontend0", O_RDWR | O_NONBLOCK));
    ASSERT_GE(fe.fd, 0) << std::strerror(errno);
    dvb_frontend_info info{};
    ASSERT_EQ(ioctl(fe.fd, FE_GET_INFO, &info), 0);
    EXPECT_STREQ(info.name, "Test Frontend");

    ASSERT_TRUE(tune(fe.fd, kT2Mux, SYS_DVBT2));
    EXPECT_FALSE(status(fe.fd) & FE_HAS_LOCK) << "locked at once despite a 1500 ms lock delay";
    dtv_property stats[2] = {};
    stats[0].cmd = DTV_STAT_SIGNAL_STRENGTH;
    stats[1].cmd = DTV_STAT_CNR;
    dtv_properties query{2, stats};
    ASSERT_EQ(ioctl(fe.fd, FE_GET_PROPERTY, &query), 0);
    EXPECT_EQ(stats[0].u.st.len, 1);
    EXPECT_EQ(stats[0].u.st.stat[0].scale, FE_SCALE_NOT_AVAILABLE);

    ASSERT_TRUE(waitForLock(fe.fd, 6000));
    EXPECT_EQ(status(fe.fd), unsigned{FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK});
    ASSERT_EQ(ioctl(fe.fd, FE_GET_PROPERTY, &query), 0);
    EXPECT_EQ(stats[0].u.st.stat[0].scale, FE_SCALE_RELATIVE);
    EXPECT_EQ(stats[0].u.st.stat[0].svalue, 32768);
    EXPECT_EQ(stats[1].u.st.stat[0].scale, FE_SCALE_DECIBEL);
    EXPECT_EQ(stats[1].u.st.stat[0].svalue, 17500);

    dtv_property api[2] = {};
    api[0].cmd = DTV_API_VERSION;
    api[1].cmd = DTV_ENUM_DELSYS;
    dtv_properties apiQuery{2, api};
    ASSERT_EQ(ioctl(fe.fd, FE_GET_PROPERTY, &apiQuery), 0);
    EXPECT_EQ(api[0].u.data, (5u << 8) | 11u);
    std::vector<int> systems(api[1].u.buffer.data, api[1].u.buffer.data + api[1].u.buffer.len);
    EXPECT_EQ(systems, (std::vector<int>{SYS_DVBT, SYS_DVBT2, SYS_DVBC_ANNEX_A}));
}

TEST(DvbsimFrontend, NoLockOnTheWrongDeliverySystemOrFrequency) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\n"
                                      "mux freq=474000000 delsys=16 ts={474} lock_ms=50\n"
                                      "mux freq=522000000 delsys=3 ts={522} lock_ms=50\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);

    Fd fe(openDevice(0, "frontend0", O_RDWR | O_NONBLOCK));
    ASSERT_GE(fe.fd, 0);
    struct Case {
        std::uint32_t frequency, system;
        bool locks;
    } cases[] = {
        {kT2Mux, SYS_DVBT, false},      // a DVB-T2 multiplex never locks as DVB-T
        {kTMux, SYS_DVBT2, false},      // nor a DVB-T one as DVB-T2
        {470000000, SYS_DVBT2, false},  // 4 MHz off the centre
        {kT2Mux + 125000, SYS_DVBT2, true},
        {kTMux, SYS_DVBT, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(tune(fe.fd, c.frequency, c.system));
        EXPECT_EQ(waitForLock(fe.fd, c.locks ? 5000 : 600), c.locks) << c.frequency << " Hz, system " << c.system;
    }
}

TEST(DvbsimFrontend, ParametersTheDemodulatorRefusesNeverLockAndTheTuneLogNamesThem) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\n"
                                      "mux freq=474000000 delsys=16 ts={474} lock_ms=20\n"
                                      "mux freq=522000000 delsys=3 ts={522} lock_ms=20\n");
    standardBandOrEmpty();
    std::string log = dir.file("tunes.log");
    VANTIRO_UNDER_DVBSIM(band);
    ::setenv("DVBSIM_TUNE_LOG", log.c_str(), 1);

    Fd fe(openDevice(0, "frontend0", O_RDWR | O_NONBLOCK));
    ASSERT_GE(fe.fd, 0);
    using Extra = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    struct Case {
        std::uint32_t frequency, system;
        Extra extra;
        bool locks;
    } cases[] = {
        {kT2Mux, SYS_DVBT2, {}, false},                                          // no bandwidth: an Si2168 refuses
        {kT2Mux, SYS_DVBT2, {{DTV_BANDWIDTH_HZ, 9000000}}, false},               // no such channel width
        {kTMux, SYS_DVBT, {{DTV_BANDWIDTH_HZ, 1712000}}, false},                 // 1.712 MHz is DVB-T2 only
        {kT2Mux, SYS_DVBT2, {{DTV_BANDWIDTH_HZ, 7000000}}, false},               // valid, but not the multiplex's
        {kTMux, SYS_DVBT, {{DTV_BANDWIDTH_HZ, 8000000}, {DTV_MODULATION, QAM_256}}, false},
        {kTMux, SYS_DVBT, {{DTV_BANDWIDTH_HZ, 8000000}, {DTV_GUARD_INTERVAL, GUARD_INTERVAL_19_256}}, false},
        {kTMux, SYS_DVBT, {{DTV_BANDWIDTH_HZ, 8000000}, {DTV_MODULATION, 77}}, false},
        {kT2Mux, SYS_DVBT2,
         {{DTV_BANDWIDTH_HZ, 8000000}, {DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_32K},
          {DTV_GUARD_INTERVAL, GUARD_INTERVAL_19_256}, {DTV_MODULATION, QAM_256}},
         true},
        {kTMux, SYS_DVBT, {{DTV_BANDWIDTH_HZ, 8000000}, {DTV_MODULATION, QAM_64}, {DTV_CODE_RATE_HP, FEC_2_3}}, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(tune(fe.fd, c.frequency, c.system, c.extra)) << "the property call itself succeeds";
        EXPECT_EQ(waitForLock(fe.fd, c.locks ? 5000 : 400), c.locks) << c.frequency << " Hz, system " << c.system;
    }
    // A delivery system the frontend does not list fails the call, as in the kernel.
    EXPECT_FALSE(tune(fe.fd, kTMux, SYS_ISDBT));
    EXPECT_EQ(errno, EINVAL);

    std::vector<std::string> lines;
    std::istringstream in(test::readFile(log));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), std::size(cases));
    auto has = [&](size_t i, const std::string& text) {
        return lines[i].find(text) != std::string::npos;
    };
    EXPECT_TRUE(has(0, "474000000 16 DELIVERY_SYSTEM=DVBT2 FREQUENCY=474000000 BANDWIDTH_HZ=0 ")) << lines[0];
    EXPECT_TRUE(has(0, "refused: bandwidth 0 Hz is not one of DVB-T2's")) << lines[0];
    EXPECT_TRUE(has(1, "refused: bandwidth 9000000 Hz")) << lines[1];
    EXPECT_TRUE(has(2, "refused: bandwidth 1712000 Hz is not one of DVB-T's")) << lines[2];
    EXPECT_FALSE(has(3, "refused")) << lines[3];
    EXPECT_TRUE(has(4, "refused: modulation QAM_256 is not one of DVB-T's")) << lines[4];
    EXPECT_TRUE(has(5, "refused: guard interval 19/256")) << lines[5];
    EXPECT_TRUE(has(6, "refused: modulation 77")) << lines[6];
    // Every line ends its parameters with the wall clock of the tune (" AT=<s>.<ns>").
    for (const auto& line : lines) EXPECT_NE(line.find(" AT="), std::string::npos) << line;
    std::string withoutTime = lines[7].substr(0, lines[7].find(" AT="));
    EXPECT_EQ(withoutTime, "474000000 16 DELIVERY_SYSTEM=DVBT2 FREQUENCY=474000000 BANDWIDTH_HZ=8000000 "
                           "MODULATION=QAM_256 CODE_RATE_HP=AUTO CODE_RATE_LP=AUTO GUARD_INTERVAL=19/256 "
                           "TRANSMISSION_MODE=32K HIERARCHY=AUTO INVERSION=AUTO STREAM_ID=4294967295");
    EXPECT_TRUE(has(8, "522000000 3 DELIVERY_SYSTEM=DVBT ")) << lines[8];
    EXPECT_TRUE(has(8, "MODULATION=QAM_64 CODE_RATE_HP=2/3 ")) << lines[8];
}

TEST(DvbsimFrontend, AdaptersThatAreBusyMissingOrAlreadyTaken) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nadapter 1 open=ebusy\nadapter 2 open=enoent\n");
    VANTIRO_UNDER_DVBSIM(band);

    errno = 0;
    EXPECT_LT(openDevice(1, "frontend0", O_RDWR), 0);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_LT(openDevice(2, "frontend0", O_RDWR), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_LT(openDevice(3, "demux0", O_RDWR), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_LT(openDevice(0, "frontend1", O_RDWR), 0);
    EXPECT_EQ(errno, ENOENT);

    Fd writer(openDevice(0, "frontend0", O_RDWR));
    ASSERT_GE(writer.fd, 0);
    EXPECT_LT(openDevice(0, "frontend0", O_RDWR), 0) << "a second writer must be refused";
    EXPECT_EQ(errno, EBUSY);
    Fd reader(openDevice(0, "frontend0", O_RDONLY));
    ASSERT_GE(reader.fd, 0);
    EXPECT_FALSE(tune(reader.fd, kT2Mux, SYS_DVBT2));
    EXPECT_EQ(errno, EPERM);
    fe_status_t s{};
    EXPECT_EQ(ioctl(reader.fd, FE_READ_STATUS, &s), 0);
}

TEST(DvbsimDemux, OneSectionPerReadAndTheFilterBytesSkipTheLengthField) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\n"
                                      "mux freq=474000000 delsys=16 ts={474} lock_ms=10 sdt_ms=100 faults=sdt-split\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR | O_NONBLOCK));
    ASSERT_GE(dmx.fd, 0);

    // Both SDT sections come, each alone in its read, each whole.
    auto f = sectionFilter(0x11, 0x42, DMX_IMMEDIATE_START | DMX_CHECK_CRC);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &f), 0);
    std::map<int, int> sectionsSeen;
    for (int i = 0; i < 6; ++i) {
        auto s = readOnce(dmx.fd, 2000);
        ASSERT_TRUE(s);
        ASSERT_EQ(s->size(), declaredSize(*s));
        EXPECT_EQ((*s)[0], 0x42);
        EXPECT_EQ((*s)[7], 1) << "last_section_number";
        EXPECT_EQ(crc32Mpeg(s->data(), s->size()), 0u);
        ++sectionsSeen[(*s)[6]];
    }
    EXPECT_EQ(sectionsSeen.size(), 2u);

    // filter[4]/mask[4] face section byte 6, the section number.
    f.filter.filter[4] = 1;
    f.filter.mask[4] = 0xFF;
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &f), 0);
    for (int i = 0; i < 3; ++i) {
        auto s = readOnce(dmx.fd, 2000);
        ASSERT_TRUE(s);
        EXPECT_EQ((*s)[6], 1);
    }
    // The same byte in "not equal" mode lets only section 0 through.
    f.filter.mode[4] = 0xFF;
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &f), 0);
    for (int i = 0; i < 3; ++i) {
        auto s = readOnce(dmx.fd, 2000);
        ASSERT_TRUE(s);
        EXPECT_EQ((*s)[6], 0);
    }

    // A PMT filter on the program number (section bytes 3-4 = filter bytes 1-2).
    auto pmt = sectionFilter(0x1000, 0x02);
    pmt.filter.filter[1] = 1025 >> 8;
    pmt.filter.filter[2] = 1025 & 0xFF;
    pmt.filter.mask[1] = pmt.filter.mask[2] = 0xFF;
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pmt), 0);
    auto s = readOnce(dmx.fd, 2000);
    ASSERT_TRUE(s);
    EXPECT_EQ((*s)[0], 0x02);
    pmt.filter.filter[2] = 1026 & 0xFF;
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pmt), 0);
    EXPECT_FALSE(readOnce(dmx.fd, 500)) << "the PMT of 1025 passed a filter for 1026";

    // After DMX_STOP nothing more arrives.
    auto pat = sectionFilter(0, 0);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pat), 0);
    ASSERT_TRUE(readOnce(dmx.fd, 2000));
    ASSERT_EQ(ioctl(dmx.fd, DMX_STOP), 0);
    Bytes drain(4096);
    while (::read(dmx.fd, drain.data(), drain.size()) > 0) {
    }
    EXPECT_FALSE(readOnce(dmx.fd, 400));
}

TEST(DvbsimDemux, CrcCheckDropsBrokenSectionsAndTimeoutsAndMissingTablesBehave) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\n"
                                      "mux freq=474000000 delsys=16 ts={474} lock_ms=10 pat_ms=50 "
                                      "faults=bad-crc:0,no-pmt:1026,no-sdt\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR | O_NONBLOCK));
    ASSERT_GE(dmx.fd, 0);

    auto countBroken = [&](std::uint32_t flags) {
        auto f = sectionFilter(0, 0, flags);
        EXPECT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &f), 0);
        int broken = 0;
        for (int i = 0; i < 6; ++i) {
            auto s = readOnce(dmx.fd, 2000);
            if (!s) break;
            if (crc32Mpeg(s->data(), s->size()) != 0) ++broken;
        }
        return broken;
    };
    EXPECT_EQ(countBroken(DMX_IMMEDIATE_START | DMX_CHECK_CRC), 0);
    EXPECT_GT(countBroken(DMX_IMMEDIATE_START), 0);

    auto pmt1026 = sectionFilter(0x1001, 0x02);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pmt1026), 0);
    EXPECT_FALSE(readOnce(dmx.fd, 500));
    auto pmt1025 = sectionFilter(0x1000, 0x02);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pmt1025), 0);
    EXPECT_TRUE(readOnce(dmx.fd, 2000));

    // The kernel's own filter timeout: a read then fails with ETIMEDOUT.
    auto sdt = sectionFilter(0x11, 0x42);
    sdt.timeout = 300;
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &sdt), 0);
    int error = 0;
    EXPECT_FALSE(readOnce(dmx.fd, 3000, &error));
    EXPECT_EQ(error, ETIMEDOUT);
}

// Packets of the DVR stream as PID -> list of continuity counters.
struct DvrCapture {
    std::map<int, std::vector<int>> counters;
    size_t bytes = 0;
    bool aligned = true;
};

DvrCapture readDvr(int dvr, int millis) {
    DvrCapture capture;
    std::vector<std::uint8_t> buffer(188 * 512);
    size_t fill = 0;
    auto end = Clock::now() + std::chrono::milliseconds(millis);
    while (Clock::now() < end) {
        pollfd p{dvr, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        ssize_t n = ::read(dvr, buffer.data() + fill, buffer.size() - fill);
        if (n <= 0) continue;
        capture.bytes += static_cast<size_t>(n);
        fill += static_cast<size_t>(n);
        size_t at = 0;
        for (; at + 188 <= fill; at += 188) {
            const std::uint8_t* pkt = &buffer[at];
            if (pkt[0] != 0x47) capture.aligned = false;
            int pid = ((pkt[1] & 0x1F) << 8) | pkt[2];
            if (pkt[3] & 0x10) capture.counters[pid].push_back(pkt[3] & 0x0F);
        }
        std::memmove(buffer.data(), buffer.data() + at, fill - at);
        fill -= at;
    }
    return capture;
}

TEST(DvbsimDvr, TsTapDeliversTheFilteredPidsAsOneSeamlessLoopingStream) {
    test::TempDir dir;
    // Ten times the file's own rate: one pass of the file lasts about 0.6 s.
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 bitrate=20000000 pat_ms=20\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    Fd pat(openDevice(0, "demux0", O_RDWR));
    ASSERT_GE(dmx.fd, 0);
    dmx_pes_filter_params video{0x100, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    dmx_pes_filter_params patOnly{0x000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &video), 0);
    ASSERT_EQ(ioctl(pat.fd, DMX_SET_PES_FILTER, &patOnly), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    ASSERT_GE(dvr.fd, 0);
    EXPECT_LT(openDevice(0, "dvr0", O_RDONLY), 0) << "a second DVR reader must be refused";
    EXPECT_EQ(errno, EBUSY);

    DvrCapture capture = readDvr(dvr.fd, 2000);
    EXPECT_TRUE(capture.aligned);
    ASSERT_EQ(capture.counters.size(), 2u) << "only PIDs 0 and 0x100 may arrive";
    ASSERT_TRUE(capture.counters.count(0) && capture.counters.count(0x100));
    // Two seconds at 20 Mbit/s cross the end of the file at least twice; the
    // continuity counters must run on without a gap.
    for (const auto& [pid, counters] : capture.counters) {
        ASSERT_GT(counters.size(), 20u);
        for (size_t i = 1; i < counters.size(); ++i)
            ASSERT_EQ(counters[i], (counters[i - 1] + 1) % 16) << "PID " << pid << " packet " << i;
    }
}

TEST(DvbsimDvr, AReaderThatFallsBehindGetsEoverflowOnceThenDataAgain) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 bitrate=40000000\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params all{0x2000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &all), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY));
    ASSERT_GE(dvr.fd, 0);
    ASSERT_EQ(ioctl(dvr.fd, DMX_SET_BUFFER_SIZE, 188 * 1024), 0);
    // 40 Mbit/s fill a 1 MiB buffer in about 0.2 s.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::vector<std::uint8_t> buffer(188 * 64);
    errno = 0;
    EXPECT_EQ(::read(dvr.fd, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(errno, EOVERFLOW);
    // The stream goes on; a reader that is slow again may meet another
    // overflow first, as with the kernel.
    bool data = false;
    for (int i = 0; i < 50 && !data; ++i) data = ::read(dvr.fd, buffer.data(), buffer.size()) > 0;
    EXPECT_TRUE(data) << "the stream must go on after the overflow";
}

TEST(DvbsimDvr, LockLostStopsTheStream) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 faults=lock-lost:1500\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Fd fe(openDevice(0, "frontend0", O_RDWR));
    ASSERT_TRUE(tune(fe.fd, kT2Mux, SYS_DVBT2));
    ASSERT_TRUE(waitForLock(fe.fd, 3000));
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params all{0x2000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &all), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_FALSE(status(fe.fd) & FE_HAS_LOCK);
    readDvr(dvr.fd, 200);  // what came before the loss
    EXPECT_EQ(readDvr(dvr.fd, 500).bytes, 0u);
}

// Offset of the first occurrence of `pattern` in `s`, or npos.
size_t find(const Bytes& s, std::initializer_list<std::uint8_t> pattern) {
    auto it = std::search(s.begin(), s.end(), pattern.begin(), pattern.end());
    return it == s.end() ? std::string::npos : static_cast<size_t>(it - s.begin());
}

std::uint32_t be32(const Bytes& s, size_t at) {
    return std::uint32_t{s[at]} << 24 | std::uint32_t{s[at + 1]} << 16 | std::uint32_t{s[at + 2]} << 8 | s[at + 3];
}

TEST(DvbsimDemux, TheNitCarriesEachMultiplexsDeliverySystemDescriptor) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\n"
                                      "mux freq=474000000 delsys=16 ts={474} lock_ms=10 nit_ms=100\n"
                                      "mux freq=522000000 delsys=3 ts={522} lock_ms=10 nit_ms=100\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR | O_NONBLOCK));
    auto nit = sectionFilter(0x10, 0x40, DMX_IMMEDIATE_START | DMX_CHECK_CRC);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &nit), 0);
    auto t2 = readOnce(dmx.fd, 2000);
    ASSERT_TRUE(t2);
    // T2 delivery system descriptor: extension 0x04, one cell at 474 MHz (10 Hz units).
    size_t at = find(*t2, {0x7F, 13, 0x04});
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(be32(*t2, at + 10), 47400000u);
    EXPECT_EQ(find(*t2, {0x5A, 11}), std::string::npos);

    ASSERT_TRUE(tune(tuned.fe.fd, kTMux, SYS_DVBT));
    ASSERT_TRUE(waitForLock(tuned.fe.fd, 3000));
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &nit), 0);
    auto t = readOnce(dmx.fd, 2000);
    ASSERT_TRUE(t);
    at = find(*t, {0x5A, 11});
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(be32(*t, at + 2), 52200000u);
    EXPECT_EQ((*t)[at + 6] >> 5, 0) << "bandwidth 8 MHz";
}

// Sections that start in the DVR packets (payload unit start), by PID.
std::map<int, int> sectionStarts(int dvr, int millis, std::set<int>* sdtNumbers = nullptr) {
    std::map<int, int> starts;
    std::vector<std::uint8_t> buffer(188 * 512);
    size_t fill = 0;
    auto end = Clock::now() + std::chrono::milliseconds(millis);
    while (Clock::now() < end) {
        pollfd p{dvr, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        ssize_t n = ::read(dvr, buffer.data() + fill, buffer.size() - fill);
        if (n <= 0) continue;
        fill += static_cast<size_t>(n);
        size_t at = 0;
        for (; at + 188 <= fill; at += 188) {
            const std::uint8_t* pkt = &buffer[at];
            int pid = ((pkt[1] & 0x1F) << 8) | pkt[2];
            if (!(pkt[1] & 0x40)) continue;
            ++starts[pid];
            // Section byte 6 (section number) after the pointer field.
            if (pid == 0x11 && sdtNumbers && pkt[4] == 0) sdtNumbers->insert(pkt[5 + 6]);
        }
        std::memmove(buffer.data(), buffer.data() + at, fill - at);
        fill -= at;
    }
    return starts;
}

TEST(DvbsimDvr, TablesRepeatOnTheDvrAsOnTheSectionFiltersWhateverTheBitrate) {
    test::TempDir dir;
    // Ten times the file's rate: the file's own tables would come ten times as often.
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 "
                                      "bitrate=20000000 pat_ms=50 sdt_ms=1000 faults=sdt-split\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params pat{0x000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &pat), 0);
    // A TS tap carries one PID, as in the kernel: the SDT needs a filter of its own.
    std::uint16_t sdtPid = 0x11;
    EXPECT_EQ(ioctl(dmx.fd, DMX_ADD_PID, &sdtPid), -1);
    EXPECT_EQ(errno, EINVAL);
    Fd sdtDmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params sdt{sdtPid, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(sdtDmx.fd, DMX_SET_PES_FILTER, &sdt), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    std::set<int> sdtNumbers;
    auto starts = sectionStarts(dvr.fd, 3000, &sdtNumbers);
    ASSERT_GT(starts[0x11], 0);
    EXPECT_EQ(sdtNumbers, (std::set<int>{0, 1})) << "both sections of the split SDT";
    // 20 PATs to 2 SDT sections a second, whatever the time the reading took.
    double ratio = static_cast<double>(starts[0]) / starts[0x11];
    EXPECT_GT(ratio, 6.0);
    EXPECT_LT(ratio, 15.0);
}

TEST(DvbsimDvr, AReaderThatKeepsUpAtAHighBitrateNeverOverflows) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 bitrate=80000000\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params all{0x2000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &all), 0);
    std::string log = dir.file("demux.log");
    ::setenv("DVBSIM_DEMUX_LOG", log.c_str(), 1);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    // A reader that drains the device, then is busy elsewhere for 20 ms: at
    // 80 Mbit/s that is 200 kB, well inside the kernel's 1.8 MiB buffer.
    std::vector<std::uint8_t> buffer(64 * 1024);
    size_t bytes = 0;
    auto end = Clock::now() + std::chrono::milliseconds(2000);
    while (Clock::now() < end) {
        ssize_t n;
        while ((n = ::read(dvr.fd, buffer.data(), buffer.size())) > 0) bytes += static_cast<size_t>(n);
        // A loaded machine may not run this thread for the buffer's 180 ms, as
        // it could with a real stick; the overflow is then genuine only if the
        // simulator found the whole buffer unread.
        if (n < 0 && errno == EOVERFLOW) continue;
        ASSERT_TRUE(n < 0 && errno == EAGAIN) << "read: " << std::strerror(errno);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(bytes, 1000000u);
    std::istringstream lines(test::readFile(log));
    for (std::string line; std::getline(lines, line);) {
        size_t held = 0, capacity = 0;
        if (std::sscanf(line.c_str(), "0 overflow %zu of %zu", &held, &capacity) != 2) continue;
        EXPECT_EQ(capacity, 10u * 188 * 1024) << line;
        EXPECT_GE(held * 4, capacity * 3) << "an overflow with the buffer far from full: " << line;
    }
}

TEST(DvbsimDvr, RepeatedOverflowsLeaveTheStreamGoing) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 "
                                      "faults=dvr-overflow-every:300\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params all{0x2000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &all), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    std::vector<std::uint8_t> buffer(64 * 1024);
    int overflows = 0;
    size_t bytesAfterOverflow = 0;
    auto end = Clock::now() + std::chrono::milliseconds(5000);
    while (Clock::now() < end && (overflows < 3 || bytesAfterOverflow == 0)) {
        pollfd p{dvr.fd, POLLIN, 0};
        poll(&p, 1, 100);
        ssize_t n = ::read(dvr.fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EOVERFLOW) {
            ++overflows;
            bytesAfterOverflow = 0;
        } else if (n > 0) {
            bytesAfterOverflow += static_cast<size_t>(n);
        }
    }
    EXPECT_GE(overflows, 3);
    EXPECT_GT(bytesAfterOverflow, 0u);
}

TEST(DvbsimDvr, ALockLostForAWhileComesBackAndTheStreamGoesOn) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 "
                                      "faults=lock-lost:700:1000\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Fd fe(openDevice(0, "frontend0", O_RDWR));
    ASSERT_TRUE(tune(fe.fd, kT2Mux, SYS_DVBT2));
    ASSERT_TRUE(waitForLock(fe.fd, 3000));
    Fd dmx(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params all{0x2000, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_PES_FILTER, &all), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    auto until = [&](bool locked) {
        auto end = Clock::now() + std::chrono::milliseconds(5000);
        while (Clock::now() < end && bool(status(fe.fd) & FE_HAS_LOCK) != locked)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return bool(status(fe.fd) & FE_HAS_LOCK) == locked;
    };
    ASSERT_TRUE(until(false)) << "the lock never went";
    readDvr(dvr.fd, 100);  // what came before the loss
    EXPECT_EQ(readDvr(dvr.fd, 200).bytes, 0u) << "packets without a lock";
    ASSERT_TRUE(until(true)) << "the lock never came back";
    EXPECT_GT(readDvr(dvr.fd, 500).bytes, 0u);
}

// PCR PID and elementary PIDs of a PMT section.
std::vector<int> pmtPids(const Bytes& s) {
    std::vector<int> pids{((s[8] & 0x1F) << 8) | s[9]};
    size_t at = 12 + (((s[10] & 0x0F) << 8) | s[11]);
    while (at + 5 <= s.size() - 4) {
        pids.push_back(((s[at + 1] & 0x1F) << 8) | s[at + 2]);
        at += 5 + (((s[at + 3] & 0x0F) << 8) | s[at + 4]);
    }
    return pids;
}

TEST(DvbsimDemux, APmtChangesItsVersionAndPidsAtTheGivenTimeAndTheMediaMoveWithIt) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 "
                                      "faults=pmt-change:1025@1500\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR | O_NONBLOCK));
    auto pmt = sectionFilter(0x1000, 0x02, DMX_IMMEDIATE_START | DMX_CHECK_CRC);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pmt), 0);
    auto first = readOnce(dmx.fd, 2000);
    ASSERT_TRUE(first);
    EXPECT_EQ(pmtPids(*first), (std::vector<int>{0x100, 0x100, 0x101}));
    int version = ((*first)[5] >> 1) & 0x1F;
    std::optional<Bytes> changed;
    auto end = Clock::now() + std::chrono::milliseconds(5000);
    while (!changed && Clock::now() < end) {
        auto s = readOnce(dmx.fd, 500);
        if (s && (((*s)[5] >> 1) & 0x1F) != version) changed = s;
    }
    ASSERT_TRUE(changed) << "the PMT never changed";
    EXPECT_EQ((((*changed)[5] >> 1) & 0x1F), (version + 1) % 32);
    EXPECT_EQ(pmtPids(*changed), (std::vector<int>{0x500, 0x500, 0x501}));

    Fd tap(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params moved{0x500, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(tap.fd, DMX_SET_PES_FILTER, &moved), 0);
    Fd oldTap(openDevice(0, "demux0", O_RDWR));
    dmx_pes_filter_params old{0x100, DMX_IN_FRONTEND, DMX_OUT_TS_TAP, DMX_PES_OTHER, DMX_IMMEDIATE_START};
    ASSERT_EQ(ioctl(oldTap.fd, DMX_SET_PES_FILTER, &old), 0);
    Fd dvr(openDevice(0, "dvr0", O_RDONLY | O_NONBLOCK));
    auto capture = readDvr(dvr.fd, 1000);
    EXPECT_GT(capture.counters[0x500].size(), 10u) << "the video did not move to the new PID";
    EXPECT_EQ(capture.counters.count(0x100), 0u) << "video still on the old PID";
}

// Seconds since the epoch of a 40-bit DVB UTC time (MJD + BCD) at `at`.
std::int64_t dvbTime(const Bytes& s, size_t at) {
    auto bcd = [](std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    std::int64_t mjd = (s[at] << 8) | s[at + 1];
    return (mjd - 40587) * 86400 + bcd(s[at + 2]) * 3600 + bcd(s[at + 3]) * 60 + bcd(s[at + 4]);
}

std::int64_t wallNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The event of an EIT section with one event: id, start, duration (s), title bytes.
struct EitEvent {
    int id = 0;
    std::int64_t start = 0, duration = 0;
    Bytes title;
    std::set<int> descriptors;
    int version = 0;
};

EitEvent firstEvent(const Bytes& s) {
    EitEvent e;
    e.version = (s[5] >> 1) & 0x1F;
    size_t at = 14;
    e.id = (s[at] << 8) | s[at + 1];
    e.start = dvbTime(s, at + 2);
    auto bcd = [](std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    e.duration = bcd(s[at + 7]) * 3600 + bcd(s[at + 8]) * 60 + bcd(s[at + 9]);
    size_t loop = ((s[at + 10] & 0x0F) << 8) | s[at + 11];
    for (size_t d = at + 12; d + 2 <= at + 12 + loop; d += 2 + s[d + 1]) {
        e.descriptors.insert(s[d]);
        if (s[d] == 0x4D) e.title.assign(s.begin() + d + 6, s.begin() + d + 6 + s[d + 5]);
    }
    return e;
}

TEST(DvbsimDemux, TheGuideFollowsTheClockChangesVersionAndCarriesEveryKindOfTitle) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 "
                                      "eit=1 eit_ms=300 tdt_ms=200 eit_short_s=3 eit_change_s=6\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR | O_NONBLOCK));
    auto readTable = [&](std::uint8_t table, int service, int sectionNumber) -> std::optional<Bytes> {
        auto f = sectionFilter(0x12, table, DMX_IMMEDIATE_START | DMX_CHECK_CRC);
        f.filter.filter[1] = static_cast<std::uint8_t>(service >> 8);
        f.filter.filter[2] = static_cast<std::uint8_t>(service);
        f.filter.filter[4] = static_cast<std::uint8_t>(sectionNumber);
        f.filter.mask[1] = f.filter.mask[2] = f.filter.mask[4] = 0xFF;
        EXPECT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &f), 0);
        return readOnce(dmx.fd, 2000);
    };

    // Present: on air now, by the real clock; the Thai title in ISO 8859-11 with selector 0x07.
    auto present = readTable(0x4E, 1026, 0);
    ASSERT_TRUE(present);
    EitEvent now = firstEvent(*present);
    EXPECT_EQ(now.id, 0x100);
    EXPECT_LE(now.start, wallNow() + 1);
    EXPECT_GT(now.start + now.duration, wallNow() - 1);
    EXPECT_EQ(now.title, (Bytes{0x07, 0xA2, 0xE8, 0xD2, 0xC7, 0xE0, 0xAA, 0xE9, 0xD2}));
    EXPECT_EQ(now.descriptors, (std::set<int>{0x4D, 0x4E, 0x54, 0x55}));
    auto following = readTable(0x4E, 1026, 1);
    ASSERT_TRUE(following);
    EXPECT_EQ(firstEvent(*following).start, now.start + now.duration);
    // A UTF-8 title (selector 0x15) on the third service.
    auto utf8 = readTable(0x4E, 1027, 0);
    ASSERT_TRUE(utf8);
    EXPECT_EQ(firstEvent(*utf8).title, (Bytes{0x15, 'C', 'a', 'f', 0xC3, 0xA9, ' ', 'C', 'r', 0xC3, 0xA8, 'm', 'e'}));

    // The short event ends while watching: the next present/following version
    // has event 0x101 on air; later the whole guide is revised.
    auto waitFor = [&](auto&& wanted) -> std::optional<EitEvent> {
        auto end = Clock::now() + std::chrono::milliseconds(12000);
        while (Clock::now() < end) {
            auto s = readTable(0x4E, 1025, 0);
            if (s && wanted(firstEvent(*s))) return firstEvent(*s);
        }
        return std::nullopt;
    };
    auto next = waitFor([](const EitEvent& e) { return e.id == 0x101; });
    ASSERT_TRUE(next) << "the short event never ended";
    EXPECT_EQ(next->version, (now.version + 1) % 32);
    EXPECT_EQ(std::string(next->title.begin(), next->title.end()), "Weather");
    auto revised = waitFor([](const EitEvent& e) { return e.title.size() > 9 && e.title.back() == ')'; });
    ASSERT_TRUE(revised) << "the guide was never revised";
    EXPECT_EQ(std::string(revised->title.begin(), revised->title.end()), "Weather (revised)");
    EXPECT_EQ(revised->version, (next->version + 1) % 32);

    // The schedule: several sections (one per three-hour segment), all naming the same last section.
    std::set<int> numbers, lasts;
    auto f = sectionFilter(0x12, 0x50, DMX_IMMEDIATE_START | DMX_CHECK_CRC);
    f.filter.filter[1] = 1025 >> 8;
    f.filter.filter[2] = 1025 & 0xFF;
    f.filter.mask[1] = f.filter.mask[2] = 0xFF;
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &f), 0);
    for (int i = 0; i < 12; ++i) {
        auto s = readOnce(dmx.fd, 2000);
        ASSERT_TRUE(s);
        numbers.insert((*s)[6]);
        lasts.insert((*s)[7]);
    }
    EXPECT_GE(numbers.size(), 2u);
    ASSERT_EQ(lasts.size(), 1u);
    EXPECT_EQ(*lasts.begin(), *numbers.rbegin());

    // TDT: the time now.
    auto tdt = sectionFilter(0x14, 0x70);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &tdt), 0);
    auto time = readOnce(dmx.fd, 2000);
    ASSERT_TRUE(time);
    ASSERT_EQ(time->size(), 8u);
    EXPECT_LE(std::abs(dvbTime(*time, 3) - wallNow()), 2);
}

TEST(DvbsimFrontend, ClosingTheLastWriterDropsTheTuning) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    {
        Locked tuned;
    }
    Fd fe(openDevice(0, "frontend0", O_RDONLY));
    ASSERT_GE(fe.fd, 0);
    EXPECT_FALSE(status(fe.fd) & FE_HAS_LOCK);
}

TEST(DvbsimFrontend, AForkedChildMayCloseWhatItInheritedWhileTheParentReadsOn) {
    test::TempDir dir;
    std::string band = writeBand(dir, "adapter 0\nmux freq=474000000 delsys=16 ts={474} lock_ms=10 pat_ms=20\n");
    standardBandOrEmpty();
    VANTIRO_UNDER_DVBSIM(band);
    Locked tuned;
    Fd dmx(openDevice(0, "demux0", O_RDWR | O_NONBLOCK));
    auto pat = sectionFilter(0, 0);
    ASSERT_EQ(ioctl(dmx.fd, DMX_SET_FILTER, &pat), 0);
    for (int i = 0; i < 20; ++i) {
        pid_t child = fork();
        if (child == 0) {
            // What a launcher does before exec: close the inherited descriptors.
            ::close(dmx.fd);
            ::close(tuned.fe.fd);
            _exit(0);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0);
    }
    EXPECT_TRUE(readOnce(dmx.fd, 2000));
    EXPECT_TRUE(status(tuned.fe.fd) & FE_HAS_LOCK);
}

}  // namespace
}  // namespace vantiro
