#include "dvb/tuner.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace vantiro {

// The request numbers this code was written against; a header that disagrees
// would drive a different ioctl.
static_assert(FE_GET_INFO == 0x80A86F3D);
static_assert(FE_SET_PROPERTY == 0x40106F52);
static_assert(FE_GET_PROPERTY == 0x80106F53);
static_assert(FE_READ_STATUS == 0x80046F45);
static_assert(DMX_STOP == 0x6F2A);
static_assert(SYS_DVBT == kSysDvbt && SYS_DVBT2 == kSysDvbt2);

namespace {

constexpr std::uint32_t kBandwidthHz = 8000000;
constexpr auto kLockPollInterval = std::chrono::milliseconds(50);
constexpr std::int64_t kRelativeScaleMax = 65535;
constexpr double kFullQualityCnrDb = 35.0;

std::string errnoText() { return std::strerror(errno); }

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

std::string devicePath(int adapter, const char* device) {
    char path[64];
    std::snprintf(path, sizeof path, "/dev/dvb/adapter%d/%s%d", adapter, device, 0);
    return path;
}

UniqueFd openDevice(const std::string& path, std::string* error) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK));
    if (!fd) setError(error, "cannot open " + path + ": " + errnoText());
    return fd;
}

dtv_property property(std::uint32_t cmd, std::uint32_t value) {
    dtv_property p;
    std::memset(&p, 0, sizeof p);
    p.cmd = cmd;
    p.u.data = value;
    return p;
}

// Asks the frontend for the statistics `cmds` and gives the first value of the first
// one. False when the call fails, the driver gives no value, or it says the value is
// not available (a driver that has not measured yet must not read as 0 %).
template <std::size_t N>
bool readFirstStatistic(int frontendFd, const std::array<std::uint32_t, N>& cmds,
                        std::int64_t& value) {
    std::array<dtv_property, N> props;
    for (std::size_t i = 0; i < N; ++i) props[i] = property(cmds[i], 0);
    dtv_properties request{static_cast<std::uint32_t>(N), props.data()};
    if (::ioctl(frontendFd, FE_GET_PROPERTY, &request) != 0) return false;
    const dtv_fe_stats& stats = props[0].u.st;
    if (stats.len == 0 || stats.stat[0].scale == FE_SCALE_NOT_AVAILABLE) return false;
    value = stats.stat[0].svalue;
    return true;
}

}  // namespace

int strengthPercentFromStatistic(std::int64_t strength) {
    // Clamp before scaling so that no driver value can overflow the product.
    if (strength <= 0) return 0;
    if (strength >= kRelativeScaleMax) return 100;
    return static_cast<int>(strength * 100 / kRelativeScaleMax);
}

int qualityPercentFromCnr(std::int64_t cnrMilliDb) {
    double q = static_cast<double>(cnrMilliDb) / 1000.0 * 100.0 / kFullQualityCnrDb;
    if (!(q >= 0.0)) return 0;  // negative or not a number
    if (q > 100.0) return 100;
    return static_cast<int>(q);
}

Tuner::~Tuner() { close(); }

void Tuner::closeDevices() {
    if (demuxFd_) {
        ::ioctl(demuxFd_.get(), DMX_STOP);
        demuxFd_.reset();
    }
    frontendFd_.reset();
}

void Tuner::close() { closeDevices(); }

bool Tuner::open(int adapter, std::string* error) {
    closeDevices();
    adapter_ = adapter;

    UniqueFd frontend = openDevice(devicePath(adapter, "frontend"), error);
    if (!frontend) return false;
    UniqueFd demux = openDevice(devicePath(adapter, "demux"), error);
    if (!demux) return false;

    dvb_frontend_info info;
    std::memset(&info, 0, sizeof info);
    if (::ioctl(frontend.get(), FE_GET_INFO, &info) == 0) {
        frontendName_.assign(info.name, strnlen(info.name, sizeof info.name));
    } else {
        frontendName_ = "DVB frontend";
    }
    frontendFd_ = std::move(frontend);
    demuxFd_ = std::move(demux);
    return true;
}

bool Tuner::tune(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs,
                 std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    return tuneUnlocked(frequency, deliverySystem, timeoutMs, error);
}

bool Tuner::tuneUnlocked(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs,
                         std::string* error) {
    if (!requestUnlocked(frequency, deliverySystem, error)) return false;
    if (!waitForLock(timeoutMs)) {
        setError(error, "no signal");
        return false;
    }
    setError(error, "");
    return true;
}

bool Tuner::startTune(std::uint32_t frequency, std::int32_t deliverySystem, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    return requestUnlocked(frequency, deliverySystem, error);
}

bool Tuner::requestUnlocked(std::uint32_t frequency, std::int32_t deliverySystem, std::string* error) {
    if (!frontendFd_) {
        setError(error, "tuner is not open");
        return false;
    }
    std::array<dtv_property, 11> props = {
        property(DTV_CLEAR, 0),
        property(DTV_DELIVERY_SYSTEM, static_cast<std::uint32_t>(deliverySystem)),
        property(DTV_FREQUENCY, frequency),
        property(DTV_BANDWIDTH_HZ, kBandwidthHz),
        property(DTV_CODE_RATE_HP, FEC_AUTO),
        property(DTV_CODE_RATE_LP, FEC_AUTO),
        property(DTV_MODULATION, QAM_AUTO),
        property(DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_AUTO),
        property(DTV_GUARD_INTERVAL, GUARD_INTERVAL_AUTO),
        property(DTV_HIERARCHY, HIERARCHY_NONE),
        property(DTV_TUNE, 0),
    };
    dtv_properties request{static_cast<std::uint32_t>(props.size()), props.data()};
    if (::ioctl(frontendFd_.get(), FE_SET_PROPERTY, &request) != 0) {
        setError(error, "tuning failed: " + errnoText());
        return false;
    }
    setError(error, "");
    return true;
}

bool Tuner::waitForLock(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto limit = std::chrono::milliseconds(timeoutMs);
    while (Clock::now() - start < limit) {
        if (hasLock()) return true;
        std::this_thread::sleep_for(kLockPollInterval);
    }
    return false;
}

bool Tuner::hasLock() const {
    if (!frontendFd_) return false;
    fe_status_t status{};
    if (::ioctl(frontendFd_.get(), FE_READ_STATUS, &status) != 0) return false;
    return (status & FE_HAS_LOCK) != 0;
}

int Tuner::signalStrengthPercent() const {
    if (!frontendFd_) return -1;
    std::int64_t strength = 0;
    // The CNR is fetched alongside, as drivers expect the pair; only strength is used.
    const std::array<std::uint32_t, 2> cmds{DTV_STAT_SIGNAL_STRENGTH, DTV_STAT_CNR};
    if (!readFirstStatistic(frontendFd_.get(), cmds, strength)) return -1;
    return strengthPercentFromStatistic(strength);
}

int Tuner::signalQualityPercent() const {
    if (!frontendFd_) return -1;
    std::int64_t cnr = 0;
    if (!readFirstStatistic(frontendFd_.get(), std::array<std::uint32_t, 1>{DTV_STAT_CNR}, cnr)) return -1;
    return qualityPercentFromCnr(cnr);
}

}  // namespace vantiro
