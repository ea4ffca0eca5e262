#include "simulator.h"

#include "tuning.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantiro::dvbsim {

namespace {

using std::chrono::milliseconds;

constexpr uint32_t kApiVersion = (5 << 8) | 11;
constexpr uint32_t kMinFrequencyHz = 48000000;
constexpr uint32_t kMaxFrequencyHz = 870000000;
// What an Si2168 demodulator offers, in the driver's order; the first is the
// default delivery system after the device is opened.
constexpr uint8_t kDeliverySystems[] = {SYS_DVBT, SYS_DVBT2, SYS_DVBC_ANNEX_A};
constexpr size_t kDefaultDvrBuffer = 10 * 188 * 1024;  // the kernel's DVR ring
constexpr size_t kAtomicPipeWrite = PIPE_BUF / kPacketSize * kPacketSize;
constexpr size_t kPipePage = 4096;
constexpr size_t kDefaultSectionBuffer = 8192;         // the kernel's demux filter ring
constexpr auto kTick = milliseconds(4);
constexpr uint32_t kFeAllLockBits = FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;

bool isSupportedDeliverySystem(uint32_t system) {
  for (uint8_t s : kDeliverySystems)
    if (s == system) return true;
  return false;
}

int64_t millisBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<milliseconds>(to - from).count();
}

void warnOnce(const std::string& message) {
  static std::mutex m;
  static std::vector<std::string> said;
  std::lock_guard lock(m);
  for (const auto& s : said)
    if (s == message) return;
  said.push_back(message);
  std::fprintf(stderr, "dvbsim: %s\n", message.c_str());
}

void setNonBlocking(int fd, bool on) {
  int fl = fcntl(fd, F_GETFL);
  if (fl >= 0) fcntl(fd, F_SETFL, on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK));
}

void setCloseOnExec(int fd, bool on) { fcntl(fd, F_SETFD, on ? FD_CLOEXEC : 0); }

// The largest pipe up to `wanted` that the machine allows (an unprivileged
// process may not pass /proc/sys/fs/pipe-max-size). The device's buffer size
// is kept by the simulator's own ring in front of the pipe, so the pipe only
// has to be large enough for one tick of the fastest multiplex.
void growPipe(int fd, size_t wanted) {
  for (size_t size = wanted; size >= 65536; size /= 2)
    if (fcntl(fd, F_SETPIPE_SZ, static_cast<int>(size)) >= 0) return;
}

// The kernel translates the old FE_SET_FRONTEND call into properties.
void storeLegacyParameters(TuningProperties& properties, const dvb_frontend_parameters& params) {
  static constexpr uint32_t kBandwidths[] = {8000000, 7000000, 6000000, 0, 5000000, 10000000, 1712000};
  const auto& ofdm = params.u.ofdm;
  properties[DTV_FREQUENCY] = params.frequency;
  properties[DTV_INVERSION] = params.inversion;
  properties[DTV_BANDWIDTH_HZ] = ofdm.bandwidth < 7 ? kBandwidths[ofdm.bandwidth] : 0;
  properties[DTV_CODE_RATE_HP] = ofdm.code_rate_HP;
  properties[DTV_CODE_RATE_LP] = ofdm.code_rate_LP;
  properties[DTV_MODULATION] = ofdm.constellation;
  properties[DTV_TRANSMISSION_MODE] = ofdm.transmission_mode;
  properties[DTV_GUARD_INTERVAL] = ofdm.guard_interval;
  properties[DTV_HIERARCHY] = ofdm.hierarchy_information;
}

size_t bytesInPipe(int fd) {
  int pending = 0;
  return libc().ioctl(fd, FIONREAD, &pending) == 0 && pending > 0 ? static_cast<size_t>(pending) : 0;
}

// Room for `length` more bytes, with a page to spare: the free part of a pipe's
// first page, already read, is not used again until the whole page is read.
bool pipeHasRoom(int fd, size_t length) {
  int size = fcntl(fd, F_GETPIPE_SZ);
  return size > 0 && bytesInPipe(fd) + length + kPipePage <= static_cast<size_t>(size);
}

}  // namespace

std::optional<DevicePath> parseDevicePath(const char* path) {
  static constexpr char kPrefix[] = "/dev/dvb/adapter";
  if (!path || std::strncmp(path, kPrefix, sizeof kPrefix - 1) != 0) return std::nullopt;
  const char* p = path + sizeof kPrefix - 1;
  if (*p < '0' || *p > '9') return std::nullopt;
  char* end = nullptr;
  long adapter = std::strtol(p, &end, 10);
  if (*end != '/' || adapter > 255) return std::nullopt;
  const char* device = end + 1;
  DevicePath result;
  result.adapter = static_cast<int>(adapter);
  const char* number = nullptr;
  if (std::strncmp(device, "frontend", 8) == 0) {
    result.kind = DeviceKind::frontend;
    number = device + 8;
  } else if (std::strncmp(device, "demux", 5) == 0) {
    result.kind = DeviceKind::demux;
    number = device + 5;
  } else if (std::strncmp(device, "dvr", 3) == 0) {
    result.kind = DeviceKind::dvr;
    number = device + 3;
  } else {
    return std::nullopt;
  }
  if (*number < '0' || *number > '9') return std::nullopt;
  long index = std::strtol(number, &end, 10);
  if (*end != '\0') return std::nullopt;
  result.index = static_cast<int>(index);
  return result;
}

struct Simulator::TsFeed {
  int fd = -1;  // the simulator's end
  int appFd = -1;
  bool isSocket = false;
  bool positioned = false;
  uint64_t generation = 0;
  uint64_t next = 0;  // next broadcast packet to look at
  Clock::time_point positionedAt;
  // The feed's filters ran while there was no lock: it gets the stream from the
  // moment lock came, as the kernel's demux passes every packet after it.
  bool waitingForLock = false;
  std::optional<Clock::time_point> firstData;
  std::vector<uint8_t> chunk;
  // The simulator's own table packets, waiting for a free slot in the stream
  // (a null packet or one of the file's own table packets).
  std::map<uint16_t, CarouselCursor> tableCursors;
  std::map<uint16_t, uint8_t> tableCounters;
  std::deque<Packet> tablePackets;
  // Bytes taken from the multiplex that the pipe could not take yet: with the
  // pipe, the device's ring buffer.
  std::vector<uint8_t> backlog;
  size_t backlogHead = 0;
  // Unread bytes the buffer held when the last chunk had to be dropped (0: none
  // dropped since the demux log last said so).
  size_t heldAtDrop = 0;

  size_t backlogBytes() const { return backlog.size() - backlogHead; }
  void dropBacklog() {
    backlog.clear();
    backlogHead = 0;
  }
};

struct Simulator::Adapter {
  AdapterConfig config;
  int frontendWriters = 0;
  std::map<uint32_t, uint32_t> properties;
  uint32_t deliverySystem = kDeliverySystems[0];
  bool tuned = false;
  uint32_t frequency = 0;
  Clock::time_point tuneTime;
  uint64_t generation = 0;
  std::shared_ptr<LiveMux> mux;
  TsFeed dvr;
  size_t dvrBufferSize = kDefaultDvrBuffer;
  bool dvrOverflowInjected = false;
  bool dvrGoneInjected = false;
  std::optional<Clock::time_point> lastOverflowInjected;
  std::string demuxLogPath;   // DVBSIM_DEMUX_LOG when dvr0 was opened
  std::string loggedDvrPids;  // the last line of the demux log for this adapter

  Clock::time_point lockTime() const { return tuneTime + milliseconds(mux ? mux->config().lockDelayMs : 0); }
};

struct Simulator::Handle {
  DeviceKind kind = DeviceKind::none;
  int adapter = 0;
  int appFd = -1;
  int simFd = -1;
  int accessMode = O_RDONLY;

  enum class Mode { none, section, pes } mode = Mode::none;
  bool running = false;
  bool streamSocket = false;
  size_t bufferSize = kDefaultSectionBuffer;

  // Section filter.
  uint16_t pid = 0;
  SectionFilter filter;
  uint32_t flags = 0;
  uint32_t timeoutMs = 0;
  Clock::time_point started;
  bool delivered = false;
  CarouselCursor cursor;
  std::deque<Section> queued;
  size_t queuedBytes = 0;

  // PES / TS filter.
  int output = DMX_OUT_DECODER;
  std::bitset<8192> pids;
  bool allPids = false;
  TsFeed feed;  // for DMX_OUT_TSDEMUX_TAP, read from this descriptor
};


Simulator& Simulator::instance() {
  // Never destroyed: the simulator thread and late close() calls from exit
  // handlers may still use it while static destructors run.
  static Simulator* sim = [] {
    auto* created = new Simulator();
    current_.store(created, std::memory_order_release);
    pthread_atfork([] { current_.load()->prepareFork(); }, [] { current_.load()->afterForkInParent(); },
                   [] { current_.load()->afterForkInChild(); });
    return created;
  }();
  return *sim;
}

bool Simulator::ensureBand(std::string* error) {
  if (!bandLoaded_) {
    bandLoaded_ = true;
    const char* path = std::getenv("DVBSIM_BAND");
    if (!path || !*path) {
      bandError_ = "DVBSIM_BAND is not set: no adapters";
    } else {
      band_ = loadBandFile(path, &bandError_);
      if (!band_) warnOnce(bandError_);
    }
  }
  if (!band_ && error) *error = bandError_;
  return band_.has_value();
}

std::vector<AdapterConfig> Simulator::presentAdapters() {
  std::lock_guard lock(mutex_);
  std::vector<AdapterConfig> present;
  if (!ensureBand(nullptr)) return present;
  for (const auto& a : band_->adapters)
    if (a.open != OpenOutcome::missing) present.push_back(a);
  return present;
}

Simulator::Adapter* Simulator::adapterState(int number) {
  auto it = adapters_.find(number);
  if (it != adapters_.end()) return it->second.get();
  const AdapterConfig* config = band_ ? band_->adapter(number) : nullptr;
  if (!config) return nullptr;
  auto state = std::make_unique<Adapter>();
  state->config = *config;
  Adapter* raw = state.get();
  adapters_[number] = std::move(state);
  return raw;
}

std::shared_ptr<LiveMux> Simulator::liveMux(const MuxConfig& config) {
  std::string key = std::to_string(config.frequencyHz) + "/" + std::to_string(config.deliverySystem);
  auto it = muxes_.find(key);
  if (it != muxes_.end()) return it->second;
  std::string error;
  auto mux = LiveMux::open(config, &error);
  if (!mux) warnOnce(error);
  muxes_[key] = mux;
  return mux;
}

// Raw system call: the interposed functions must not be re-entered from here.
static bool heldElsewhere(const AdapterConfig& config) {
  if (config.busyWhilePath.empty()) return false;
  return ::syscall(SYS_faccessat, AT_FDCWD, config.busyWhilePath.c_str(), F_OK, 0) == 0;
}

int Simulator::open(const DevicePath& path, int flags) {
  std::lock_guard lock(mutex_);
  std::string error;
  if (!ensureBand(&error)) {
    errno = ENOENT;
    return -1;
  }
  Adapter* a = adapterState(path.adapter);
  if (!a || a->config.open == OpenOutcome::missing || path.index != 0) {
    errno = ENOENT;
    return -1;
  }
  if (a->config.open == OpenOutcome::busy || (path.kind == DeviceKind::frontend && heldElsewhere(a->config))) {
    errno = EBUSY;
    return -1;
  }
  auto handle = std::make_unique<Handle>();
  handle->kind = path.kind;
  handle->adapter = path.adapter;
  handle->accessMode = flags & O_ACCMODE;
  bool nonBlocking = flags & O_NONBLOCK;
  bool closeOnExec = flags & O_CLOEXEC;
  int appFd = -1;

  switch (path.kind) {
    case DeviceKind::frontend: {
      // Only one writer at a time, like the kernel's frontend device.
      if (handle->accessMode != O_RDONLY && a->frontendWriters > 0) {
        errno = EBUSY;
        return -1;
      }
      appFd = eventfd(0, (nonBlocking ? EFD_NONBLOCK : 0) | (closeOnExec ? EFD_CLOEXEC : 0));
      if (appFd < 0) return -1;
      if (handle->accessMode != O_RDONLY) ++a->frontendWriters;
      break;
    }
    case DeviceKind::demux: {
      int pair[2];
      if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return -1;
      appFd = pair[0];
      handle->simFd = pair[1];
      setNonBlocking(handle->simFd, true);
      if (!closeOnExec) setCloseOnExec(appFd, false);
      if (nonBlocking) setNonBlocking(appFd, true);
      break;
    }
    case DeviceKind::dvr: {
      if (handle->accessMode == O_WRONLY) {
        // Playback into the demux is not simulated: the bytes are swallowed.
        appFd = libc().open("/dev/null", flags & ~O_CREAT);
        if (appFd < 0) return -1;
        break;
      }
      if (a->dvr.appFd >= 0) {  // one reader at a time
        errno = EBUSY;
        return -1;
      }
      if (a->config.dvrOpens == 0) {  // taken by "another program"
        errno = EBUSY;
        return -1;
      }
      if (a->config.dvrOpens > 0) --a->config.dvrOpens;
      int ends[2];
      if (pipe2(ends, O_CLOEXEC) != 0) return -1;
      appFd = ends[0];
      a->dvr = TsFeed{};
      a->dvr.fd = ends[1];
      a->dvr.appFd = appFd;
      a->dvrOverflowInjected = false;
      a->dvrGoneInjected = false;
      a->lastOverflowInjected.reset();
      // Read here, not on every tick: getenv walks the whole environment.
      const char* demuxLog = std::getenv("DVBSIM_DEMUX_LOG");
      a->demuxLogPath = demuxLog ? demuxLog : "";
      a->loggedDvrPids.clear();
      a->dvrBufferSize = kDefaultDvrBuffer;
      growPipe(ends[1], a->dvrBufferSize);
      setNonBlocking(ends[1], true);
      if (!closeOnExec) setCloseOnExec(appFd, false);
      if (nonBlocking) setNonBlocking(appFd, true);
      break;
    }
    case DeviceKind::none:
      errno = ENOENT;
      return -1;
  }
  if (appFd >= kFastFds) {
    // Only descriptors below kFastFds are looked up on every read and ioctl.
    libc().close(appFd);
    if (handle->simFd >= 0) libc().close(handle->simFd);
    if (path.kind == DeviceKind::dvr) {
      libc().close(a->dvr.fd);
      a->dvr = TsFeed{};
    }
    if (path.kind == DeviceKind::frontend && handle->accessMode != O_RDONLY) --a->frontendWriters;
    errno = EMFILE;
    return -1;
  }
  handle->appFd = appFd;
  {
    pendingErrors_[appFd].store(0);
    kinds_[appFd].store(static_cast<uint8_t>(path.kind), std::memory_order_release);
  }
  handles_[appFd] = std::move(handle);
  ensureThread();
  wake_.notify_all();
  return appFd;
}

bool Simulator::close(int fd) {
  if (fd < 0) return false;
  if (fd < kFastFds && kinds_[fd].load(std::memory_order_acquire) == 0) return false;
  std::lock_guard lock(mutex_);
  auto it = handles_.find(fd);
  if (it == handles_.end()) return false;
  Handle& h = *it->second;
  Adapter* a = adapterState(h.adapter);
  if (h.kind == DeviceKind::frontend && h.accessMode != O_RDONLY && a && --a->frontendWriters == 0) {
    // The last writer gone, the kernel puts the demodulator to sleep.
    a->tuned = false;
    a->mux = nullptr;
    ++a->generation;
  }
  if (h.kind == DeviceKind::dvr && a && a->dvr.appFd == fd) {
    libc().close(a->dvr.fd);
    a->dvr = TsFeed{};
  }
  if (h.simFd >= 0) libc().close(h.simFd);
  if (fd < kFastFds) {
    kinds_[fd].store(0, std::memory_order_release);
    pendingErrors_[fd].store(0);
  }
  handles_.erase(it);
  return true;
}

bool Simulator::ioctl(int fd, unsigned long request, void* arg, int* result) {
  if (fd < 0) return false;
  if (fd < kFastFds && kinds_[fd].load(std::memory_order_acquire) == 0) return false;
  std::lock_guard lock(mutex_);
  auto it = handles_.find(fd);
  if (it == handles_.end()) return false;
  Handle& h = *it->second;
  int rc = -ENOTTY;
  if (h.kind == DeviceKind::frontend) rc = frontendIoctl(h, request, arg);
  else rc = demuxIoctl(h, request, arg);
  if (rc < 0) {
    errno = -rc;
    *result = -1;
  } else {
    *result = rc;
  }
  wake_.notify_all();
  return true;
}

// --- frontend -------------------------------------------------------------

bool Simulator::lockedAt(const Adapter& a, Clock::time_point now) const {
  if (!a.tuned || !a.mux) return false;
  auto lockTime = a.lockTime();
  if (now < lockTime) return false;
  const Faults& f = a.mux->config().faults;
  if (fadingAt(a, now)) return false;
  if (!f.lockLostAfterMs || now < lockTime + milliseconds(*f.lockLostAfterMs)) return true;
  return f.lockLostForMs && now >= lockTime + milliseconds(*f.lockLostAfterMs + *f.lockLostForMs);
}

Clock::time_point Simulator::lockGainedAt(const Adapter& a, Clock::time_point now) const {
  auto gained = a.lockTime();
  const Faults& f = a.mux->config().faults;
  if (f.lockLostAfterMs && f.lockLostForMs) {
    auto back = gained + milliseconds(*f.lockLostAfterMs + *f.lockLostForMs);
    if (now >= back) gained = back;
  }
  if (auto anchor = fadeAnchors_.find(&a.mux->config()); f.fadeAfterMs && anchor != fadeAnchors_.end()) {
    auto back = anchor->second + milliseconds(*f.fadeAfterMs + f.fadeForMs);
    if (now >= back && back > gained) gained = back;
  }
  return gained;
}

bool Simulator::fadingAt(const Adapter& a, Clock::time_point now) const {
  const Faults& f = a.mux->config().faults;
  if (!f.fadeAfterMs) return false;
  auto anchor = fadeAnchors_.find(&a.mux->config());
  if (anchor == fadeAnchors_.end()) return false;
  auto fadeStart = anchor->second + milliseconds(*f.fadeAfterMs);
  return now >= fadeStart && now < fadeStart + milliseconds(f.fadeForMs);
}

uint32_t Simulator::frontendStatus(const Adapter& a, Clock::time_point now) const {
  if (!a.tuned || !a.mux) return 0;
  if (lockedAt(a, now)) return kFeAllLockBits;
  if (fadingAt(a, now)) return 0;  // nothing on the air
  if (now >= a.lockTime()) return 0;  // lock was lost
  int64_t elapsed = millisBetween(a.tuneTime, now);
  int delay = a.mux->config().lockDelayMs;
  if (elapsed * 2 >= delay) return FE_HAS_SIGNAL | FE_HAS_CARRIER;
  if (elapsed * 4 >= delay) return FE_HAS_SIGNAL;
  return 0;
}

// With DVBSIM_TUNE_LOG set, every tune appends a line to that file, so that
// tests can tell a retune from a switch on the same multiplex and check what
// was sent: "<frequency Hz> <delivery system> NAME=VALUE ...", every tuning
// parameter (those not sent at their cleared values) and any other property
// sent, then " refused: <why>" when the demodulator cannot tune them.
// Raw system calls: the interposed open() must not be re-entered from here.
static void logTune(const Simulator::TuneRecord& record) {
  const char* path = std::getenv("DVBSIM_TUNE_LOG");
  if (!path || !*path) return;
  std::string line = std::to_string(record.frequency) + " " + std::to_string(record.deliverySystem) + " " +
                     describeTuning(record.deliverySystem, record.properties);
  for (const auto& [command, value] : record.properties) {
    bool known = command == DTV_FREQUENCY || command == DTV_BANDWIDTH_HZ || command == DTV_MODULATION ||
                 command == DTV_CODE_RATE_HP || command == DTV_CODE_RATE_LP || command == DTV_GUARD_INTERVAL ||
                 command == DTV_TRANSMISSION_MODE || command == DTV_HIERARCHY || command == DTV_INVERSION ||
                 command == DTV_STREAM_ID;
    if (!known) line += " CMD" + std::to_string(command) + "=" + std::to_string(value);
  }
  // The wall clock of the tune, for benchmarks that time from it.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  char at[40];
  std::snprintf(at, sizeof at, " AT=%lld.%09ld", static_cast<long long>(now.tv_sec), now.tv_nsec);
  line += at;
  if (!record.problem.empty()) line += " refused: " + record.problem;
  line += "\n";
  int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (fd < 0) return;
  (void)::syscall(SYS_write, fd, line.data(), line.size());
  ::syscall(SYS_close, fd);
}

// With DVBSIM_DEMUX_LOG set when dvr0 is opened, every change of the PIDs an
// adapter's DVR carries (the union of its DMX_OUT_TS_TAP filters) appends "<adapter> <PIDs>" to that
// file, the PIDs as 0x%04x in ascending order, "all" or "none"; tests check
// from it what a program had the demux filter.
static void logDvrPids(const std::string& path, int adapter, bool any, bool all, const std::bitset<8192>& pids,
                       std::string& logged) {
  if (path.empty()) return;
  std::string line = std::to_string(adapter);
  if (!any || (!all && pids.none())) {
    line += " none";
  } else if (all) {
    line += " all";
  } else {
    for (size_t pid = 0; pid < pids.size(); ++pid) {
      if (!pids[pid]) continue;
      char hex[16];
      std::snprintf(hex, sizeof hex, " 0x%04x", static_cast<unsigned>(pid));
      line += hex;
    }
  }
  line += "\n";
  if (line == logged) return;
  logged = line;
  int fd = static_cast<int>(
      ::syscall(SYS_openat, AT_FDCWD, path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (fd < 0) return;
  (void)::syscall(SYS_write, fd, line.data(), line.size());
  ::syscall(SYS_close, fd);
}

// An overflow of the DVR in the demux log, with how much the reader had left
// unread, so that a test can tell a reader that really fell a whole buffer
// behind from one the simulator failed.
static void logDvrOverflow(const std::string& path, int adapter, size_t held, size_t capacity) {
  if (path.empty()) return;
  std::string line = std::to_string(adapter) + " overflow " + std::to_string(held) + " of " +
                     std::to_string(capacity) + " bytes unread\n";
  int fd = static_cast<int>(
      ::syscall(SYS_openat, AT_FDCWD, path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (fd < 0) return;
  (void)::syscall(SYS_write, fd, line.data(), line.size());
  ::syscall(SYS_close, fd);
}

void Simulator::tune(Adapter& a) {
  a.frequency = a.properties[DTV_FREQUENCY];
  // As the kernel's, the property call itself succeeds: the driver programs
  // the demodulator afterwards in the frontend thread, and parameters it
  // refuses simply never lock.
  TuneRecord record{a.frequency, a.deliverySystem, a.properties, tuningProblem(a.deliverySystem, a.properties)};
  logTune(record);
  const MuxConfig* config = band_ && record.problem.empty()
                                ? band_->muxAt(a.frequency, static_cast<int>(a.deliverySystem), a.properties[DTV_BANDWIDTH_HZ])
                                : nullptr;
  a.mux = config ? liveMux(*config) : nullptr;  // the first tune reads the stream file
  a.tuned = true;
  a.tuneTime = Clock::now();
  ++a.generation;
  if (a.mux && a.mux->config().faults.fadeAfterMs) fadeAnchors_.try_emplace(&a.mux->config(), a.lockTime());
}

int Simulator::setProperties(Handle& h, void* arg) {
  auto* props = static_cast<dtv_properties*>(arg);
  if (!props || props->num == 0 || props->num > DTV_IOCTL_MAX_MSGS || !props->props) return -EINVAL;
  Adapter& a = *adapterState(h.adapter);
  for (uint32_t i = 0; i < props->num; ++i) {
    dtv_property& p = props->props[i];
    switch (p.cmd) {
      case DTV_CLEAR:
        a.properties.clear();
        break;
      case DTV_TUNE: {
        uint32_t f = a.properties[DTV_FREQUENCY];
        if (f < kMinFrequencyHz || f > kMaxFrequencyHz) {
          p.result = -EINVAL;
          return -EINVAL;
        }
        tune(a);
        break;
      }
      case DTV_DELIVERY_SYSTEM:
        if (!isSupportedDeliverySystem(p.u.data)) {
          p.result = -EINVAL;
          return -EINVAL;
        }
        a.deliverySystem = p.u.data;
        break;
      default:
        if (p.cmd == 0 || p.cmd > DTV_MAX_COMMAND) {
          p.result = -EINVAL;
          return -EINVAL;
        }
        a.properties[p.cmd] = p.u.data;
        break;
    }
    p.result = 0;
  }
  return 0;
}

int Simulator::getProperties(Handle& h, void* arg) {
  auto* props = static_cast<dtv_properties*>(arg);
  if (!props || props->num == 0 || props->num > DTV_IOCTL_MAX_MSGS || !props->props) return -EINVAL;
  Adapter& a = *adapterState(h.adapter);
  auto now = Clock::now();
  bool locked = lockedAt(a, now);
  auto fillStat = [&](dtv_property& p, const Statistic& s) {
    std::memset(&p.u.st, 0, sizeof p.u.st);
    if (s.scale == StatScale::none) return;  // the driver offers no such statistic
    p.u.st.len = 1;
    if (!locked) {
      p.u.st.stat[0].scale = FE_SCALE_NOT_AVAILABLE;
      return;
    }
    p.u.st.stat[0].scale = s.scale == StatScale::decibel ? FE_SCALE_DECIBEL : FE_SCALE_RELATIVE;
    p.u.st.stat[0].svalue = s.value;
  };
  auto fillCounter = [&](dtv_property& p, uint64_t value) {
    std::memset(&p.u.st, 0, sizeof p.u.st);
    p.u.st.len = 1;
    p.u.st.stat[0].scale = locked ? FE_SCALE_COUNTER : FE_SCALE_NOT_AVAILABLE;
    p.u.st.stat[0].uvalue = locked ? value : 0;
  };
  uint64_t lockedBits = 0;
  if (locked) lockedBits = static_cast<uint64_t>(millisBetween(a.lockTime(), now)) * a.mux->bitrate() / 1000;
  for (uint32_t i = 0; i < props->num; ++i) {
    dtv_property& p = props->props[i];
    p.result = 0;
    switch (p.cmd) {
      case DTV_API_VERSION: p.u.data = kApiVersion; break;
      case DTV_DELIVERY_SYSTEM: p.u.data = a.deliverySystem; break;
      case DTV_ENUM_DELSYS:
        std::memset(&p.u.buffer, 0, sizeof p.u.buffer);
        p.u.buffer.len = sizeof kDeliverySystems;
        std::memcpy(p.u.buffer.data, kDeliverySystems, sizeof kDeliverySystems);
        break;
      case DTV_STAT_SIGNAL_STRENGTH:
        fillStat(p, a.mux ? a.mux->config().strength : Statistic{StatScale::decibel, 0});
        break;
      case DTV_STAT_CNR:
        fillStat(p, a.mux ? a.mux->config().cnr : Statistic{StatScale::decibel, 0});
        break;
      case DTV_STAT_PRE_ERROR_BIT_COUNT:
      case DTV_STAT_POST_ERROR_BIT_COUNT:
      case DTV_STAT_ERROR_BLOCK_COUNT: fillCounter(p, 0); break;
      case DTV_STAT_PRE_TOTAL_BIT_COUNT:
      case DTV_STAT_POST_TOTAL_BIT_COUNT: fillCounter(p, lockedBits); break;
      case DTV_STAT_TOTAL_BLOCK_COUNT: fillCounter(p, lockedBits / (188 * 8)); break;
      case DTV_BANDWIDTH_HZ: {
        auto it = a.properties.find(p.cmd);
        p.u.data = it != a.properties.end() ? it->second : 8000000;
        break;
      }
      default: {
        if (p.cmd == 0 || p.cmd > DTV_MAX_COMMAND) {
          p.result = -EINVAL;
          return -EINVAL;
        }
        auto it = a.properties.find(p.cmd);
        p.u.data = it != a.properties.end() ? it->second : 0;
        break;
      }
    }
  }
  return 0;
}

int Simulator::frontendIoctl(Handle& h, unsigned long request, void* arg) {
  Adapter& a = *adapterState(h.adapter);
  // A read-only frontend answers only the requests that read.
  if (h.accessMode == O_RDONLY && (_IOC_DIR(request) != _IOC_READ || request == FE_GET_EVENT))
    return -EPERM;
  auto now = Clock::now();
  bool locked = lockedAt(a, now);
  switch (request) {
    case FE_GET_INFO: {
      auto* info = static_cast<dvb_frontend_info*>(arg);
      if (!info) return -EFAULT;
      std::memset(info, 0, sizeof *info);
      std::snprintf(info->name, sizeof info->name, "%s", a.config.frontendName.c_str());
      info->type = FE_OFDM;
      info->frequency_min = kMinFrequencyHz;
      info->frequency_max = kMaxFrequencyHz;
      info->frequency_stepsize = 62500;
      info->caps = static_cast<fe_caps>(FE_CAN_FEC_1_2 | FE_CAN_FEC_2_3 | FE_CAN_FEC_3_4 | FE_CAN_FEC_5_6 |
                                        FE_CAN_FEC_7_8 | FE_CAN_FEC_AUTO | FE_CAN_QPSK | FE_CAN_QAM_16 |
                                        FE_CAN_QAM_32 | FE_CAN_QAM_64 | FE_CAN_QAM_128 | FE_CAN_QAM_256 |
                                        FE_CAN_QAM_AUTO | FE_CAN_TRANSMISSION_MODE_AUTO |
                                        FE_CAN_GUARD_INTERVAL_AUTO | FE_CAN_HIERARCHY_AUTO |
                                        FE_CAN_MUTE_TS | FE_CAN_2G_MODULATION | FE_CAN_MULTISTREAM);
      return 0;
    }
    case FE_READ_STATUS:
      if (!arg) return -EFAULT;
      *static_cast<fe_status_t*>(arg) = static_cast<fe_status_t>(frontendStatus(a, now));
      return 0;
    case FE_SET_PROPERTY: return setProperties(h, arg);
    case FE_GET_PROPERTY: return getProperties(h, arg);
    case FE_READ_SIGNAL_STRENGTH: {
      uint16_t v = 0;
      if (locked && a.mux->config().strength.scale == StatScale::relative)
        v = static_cast<uint16_t>(std::clamp<int64_t>(a.mux->config().strength.value, 0, 65535));
      if (!arg) return -EFAULT;
      *static_cast<uint16_t*>(arg) = v;
      return 0;
    }
    case FE_READ_SNR: {
      uint16_t v = 0;
      if (locked && a.mux->config().cnr.scale == StatScale::decibel)
        v = static_cast<uint16_t>(std::clamp<int64_t>(a.mux->config().cnr.value / 100, 0, 65535));
      if (!arg) return -EFAULT;
      *static_cast<uint16_t*>(arg) = v;
      return 0;
    }
    case FE_READ_BER:
    case FE_READ_UNCORRECTED_BLOCKS:
      if (!arg) return -EFAULT;
      *static_cast<uint32_t*>(arg) = 0;
      return 0;
    case FE_GET_EVENT: return -EWOULDBLOCK;
    case FE_SET_FRONTEND: {
      auto* params = static_cast<dvb_frontend_parameters*>(arg);
      if (!params) return -EFAULT;
      if (params->frequency < kMinFrequencyHz || params->frequency > kMaxFrequencyHz) return -EINVAL;
      storeLegacyParameters(a.properties, *params);
      tune(a);
      return 0;
    }
    case FE_GET_FRONTEND: {
      auto* params = static_cast<dvb_frontend_parameters*>(arg);
      if (!params) return -EFAULT;
      std::memset(params, 0, sizeof *params);
      params->frequency = a.frequency;
      return 0;
    }
    case FE_SET_TONE:
    case FE_SET_VOLTAGE:
    case FE_ENABLE_HIGH_LNB_VOLTAGE:
    case FE_SET_FRONTEND_TUNE_MODE:
    case FE_DISEQC_RESET_OVERLOAD:
    case FE_DISEQC_SEND_BURST:
    case FE_DISEQC_SEND_MASTER_CMD: return 0;
    default: return -ENOTTY;
  }
}

// --- demux and DVR ----------------------------------------------------------

void Simulator::flushDescriptor(int fd, bool isSocket) {
  char scratch[4096];
  if (isSocket) {
    for (int i = 0; i < 100000; ++i) {
      ssize_t n = recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
      if (n < 0) break;
      if (n == 0) {
        // An empty record (a wake-up) or the end; peek tells them apart.
        if (recv(fd, scratch, 1, MSG_DONTWAIT | MSG_PEEK) < 0) break;
      }
    }
    return;
  }
  int pending = 0;
  while (libc().ioctl(fd, FIONREAD, &pending) == 0 && pending > 0) {
    ssize_t n = libc().read(fd, scratch, std::min<size_t>(sizeof scratch, static_cast<size_t>(pending)));
    if (n <= 0) break;
  }
}

int Simulator::replaceDemuxSocket(Handle& h, int type) {
  // The program's descriptor number stays; the socket behind it changes type
  // (records for sections, a byte stream for a TS tap on the demux itself).
  int pair[2];
  if (socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, pair) != 0) return -errno;
  int fdFlags = fcntl(h.appFd, F_GETFD);
  int flFlags = fcntl(h.appFd, F_GETFL);
  if (dup3(pair[0], h.appFd, (fdFlags & FD_CLOEXEC) ? O_CLOEXEC : 0) < 0) {
    int e = errno;
    libc().close(pair[0]);
    libc().close(pair[1]);
    return -e;
  }
  libc().close(pair[0]);
  if (flFlags >= 0 && (flFlags & O_NONBLOCK)) setNonBlocking(h.appFd, true);
  libc().close(h.simFd);
  h.simFd = pair[1];
  setNonBlocking(h.simFd, true);
  h.streamSocket = type == SOCK_STREAM;
  return 0;
}

int Simulator::demuxIoctl(Handle& h, unsigned long request, void* arg) {
  Adapter& a = *adapterState(h.adapter);
  if (h.kind == DeviceKind::dvr) {
    if (request != DMX_SET_BUFFER_SIZE) return -ENOTTY;
    if (a.dvr.appFd != h.appFd) return 0;
    a.dvrBufferSize = reinterpret_cast<uintptr_t>(arg);
    growPipe(a.dvr.fd, a.dvrBufferSize);
    return 0;
  }
  auto restart = [&](Clock::time_point now) {
    h.running = true;
    h.started = now;
    h.delivered = false;
    h.cursor.reset();
    h.queued.clear();
    h.queuedBytes = 0;
    h.feed.positioned = false;
    setPendingError(h.appFd, 0);
    flushDescriptor(h.appFd, true);
  };
  auto now = Clock::now();
  switch (request) {
    case DMX_SET_FILTER: {
      auto* params = static_cast<dmx_sct_filter_params*>(arg);
      if (!params) return -EFAULT;
      if (params->pid >= 0x2000) return -EINVAL;
      h.running = false;
      if (h.streamSocket) {
        if (int rc = replaceDemuxSocket(h, SOCK_SEQPACKET); rc < 0) return rc;
      }
      h.mode = Handle::Mode::section;
      h.pid = params->pid;
      std::memcpy(h.filter.filter, params->filter.filter, 16);
      std::memcpy(h.filter.mask, params->filter.mask, 16);
      std::memcpy(h.filter.mode, params->filter.mode, 16);
      h.flags = params->flags;
      h.timeoutMs = params->timeout;
      flushDescriptor(h.appFd, true);
      if (params->flags & DMX_IMMEDIATE_START) restart(now);
      return 0;
    }
    case DMX_SET_PES_FILTER: {
      auto* params = static_cast<dmx_pes_filter_params*>(arg);
      if (!params) return -EFAULT;
      if (params->pid > 0x2000 || params->pes_type > DMX_PES_OTHER || params->output > DMX_OUT_TSDEMUX_TAP)
        return -EINVAL;
      h.running = false;
      bool wantsStream = params->output == DMX_OUT_TSDEMUX_TAP || params->output == DMX_OUT_TAP;
      if (wantsStream != h.streamSocket) {
        if (int rc = replaceDemuxSocket(h, wantsStream ? SOCK_STREAM : SOCK_SEQPACKET); rc < 0) return rc;
      }
      h.mode = Handle::Mode::pes;
      h.output = params->output;
      h.pids.reset();
      h.allPids = params->pid == 0x2000;
      if (!h.allPids) h.pids.set(params->pid);
      h.feed.fd = h.simFd;
      h.feed.appFd = h.appFd;
      h.feed.isSocket = true;
      flushDescriptor(h.appFd, true);
      if (params->flags & DMX_IMMEDIATE_START) restart(now);
      return 0;
    }
    case DMX_ADD_PID:
    case DMX_REMOVE_PID: {
      if (h.mode != Handle::Mode::pes || !arg) return -EINVAL;
      // As the kernel's: only a filter read from the demux descriptor itself
      // (DMX_OUT_TSDEMUX_TAP) takes more than the one PID it was set with; the
      // DVR's taps (DMX_OUT_TS_TAP) need a demux descriptor per PID.
      if (request == DMX_ADD_PID && h.output != DMX_OUT_TSDEMUX_TAP) return -EINVAL;
      uint16_t pid = *static_cast<uint16_t*>(arg);
      if (pid > 0x2000) return -EINVAL;
      if (pid == 0x2000) h.allPids = request == DMX_ADD_PID;
      else h.pids.set(pid, request == DMX_ADD_PID);
      return 0;
    }
    case DMX_START:
      if (h.mode == Handle::Mode::none) return -EINVAL;
      if (h.mode == Handle::Mode::pes) {
        h.feed.fd = h.simFd;
        h.feed.appFd = h.appFd;
      }
      restart(now);
      return 0;
    case DMX_STOP:
      h.running = false;
      h.queued.clear();
      h.queuedBytes = 0;
      return 0;
    case DMX_SET_BUFFER_SIZE:
      h.bufferSize = reinterpret_cast<uintptr_t>(arg);
      return 0;
    case DMX_GET_PES_PIDS: {
      if (!arg) return -EFAULT;
      std::memset(arg, 0xFF, sizeof(uint16_t) * 5);
      return 0;
    }
    default: return -ENOTTY;
  }
}

void Simulator::setPendingError(int fd, int error) {
  if (fd >= 0 && fd < kFastFds) pendingErrors_[fd].store(error);
}

bool Simulator::takePendingError(int fd, ssize_t* result) {
  if (fd < 0 || fd >= kFastFds) return false;
  int error = pendingErrors_[fd].exchange(0);
  if (error == 0) return false;
  {
    // The kernel empties the device's buffer when it reports the error.
    std::lock_guard lock(mutex_);
    auto it = handles_.find(fd);
    if (it != handles_.end()) {
      Handle& h = *it->second;
      h.queued.clear();
      h.queuedBytes = 0;
      if (h.kind == DeviceKind::dvr) {
        auto a = adapters_.find(h.adapter);
        if (a != adapters_.end() && a->second->dvr.appFd == fd) a->second->dvr.dropBacklog();
      }
      flushDescriptor(fd, h.kind == DeviceKind::demux);
    }
  }
  errno = error;
  *result = -1;
  return true;
}

// --- the broadcast ----------------------------------------------------------

void Simulator::ensureThread() {
  if (threadStarted_) return;
  threadStarted_ = true;
  std::thread([this] { run(); }).detach();
}

void Simulator::prepareFork() { mutex_.lock(); }

void Simulator::afterForkInParent() { mutex_.unlock(); }

void Simulator::afterForkInChild() {
  // Only the forking thread lives on in the child: the simulator thread has to
  // be started again should the child use the devices.
  threadStarted_ = false;
  mutex_.unlock();
}

void Simulator::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (handles_.empty()) {
      wake_.wait(lock);
      continue;
    }
    tick(Clock::now());
    wake_.wait_for(lock, kTick);
  }
}

void Simulator::tick(Clock::time_point now) {
  for (auto& [number, aPtr] : adapters_) {
    Adapter& a = *aPtr;
    if (a.dvr.fd < 0) continue;
    std::bitset<8192> pids;
    bool all = false, any = false;
    for (auto& [fd, h] : handles_) {
      if (h->kind != DeviceKind::demux || h->adapter != number || h->mode != Handle::Mode::pes ||
          !h->running || h->output != DMX_OUT_TS_TAP)
        continue;
      any = true;
      all = all || h->allPids;
      pids |= h->pids;
    }
    logDvrPids(a.demuxLogPath, number, any, all, pids, a.loggedDvrPids);
    if (any) pumpTs(a.dvr, a, now, pids, all, a.dvrBufferSize);
    else deliver(a.dvr, a.dvrBufferSize);
    if (a.dvr.heldAtDrop) {
      logDvrOverflow(a.demuxLogPath, number, a.dvr.heldAtDrop, a.dvrBufferSize);
      a.dvr.heldAtDrop = 0;
    }
    injectOverflows(a, now);
  }
  for (auto& [fd, h] : handles_) {
    if (h->kind != DeviceKind::demux) continue;
    Adapter& a = *adapterState(h->adapter);
    if (h->running && h->mode == Handle::Mode::section) pumpSections(*h, a, now);
    if (h->running && h->mode == Handle::Mode::pes && h->output == DMX_OUT_TSDEMUX_TAP)
      pumpTs(h->feed, a, now, h->pids, h->allPids, 0);
    flushQueuedSections(*h);
  }
}

void Simulator::injectOverflows(Adapter& a, Clock::time_point now) {
  if (!a.mux || !a.dvr.firstData) return;
  const Faults& f = a.mux->config().faults;
  if (f.dvrOverflowAfterMs && !a.dvrOverflowInjected && now >= *a.dvr.firstData + milliseconds(*f.dvrOverflowAfterMs)) {
    a.dvrOverflowInjected = true;
    a.dvr.dropBacklog();
    setPendingError(a.dvr.appFd, EOVERFLOW);
  }
  if (f.dvrGoneAfterMs && !a.dvrGoneInjected && now >= *a.dvr.firstData + milliseconds(*f.dvrGoneAfterMs)) {
    a.dvrGoneInjected = true;  // the stick was pulled: the reader gets an error, not data
    setPendingError(a.dvr.appFd, ENODEV);
  }
  if (f.dvrOverflowEveryMs) {
    auto last = a.lastOverflowInjected.value_or(*a.dvr.firstData);
    if (now >= last + milliseconds(*f.dvrOverflowEveryMs)) {
      a.lastOverflowInjected = now;
      a.dvr.dropBacklog();
      setPendingError(a.dvr.appFd, EOVERFLOW);
    }
  }
}

void Simulator::queueDueTables(TsFeed& feed, const Adapter& a, Clock::time_point now, const std::bitset<8192>& pids,
                               bool allPids) {
  const LiveMux& mux = *a.mux;
  auto lockTime = a.lockTime();
  auto sinceLock = std::chrono::duration_cast<milliseconds>(now - lockTime);
  for (uint16_t pid : mux.tablePids()) {
    if (!allPids && !pids[pid]) continue;
    SectionList shared = mux.sectionsAt(pid, sinceLock);
    const std::vector<Section>& sections = *shared;
    bool badCrc = std::find(mux.config().faults.badCrcPids.begin(), mux.config().faults.badCrcPids.end(), pid) !=
                  mux.config().faults.badCrcPids.end();
    feed.tableCursors[pid].advance(a.generation, pid, mux.intervalMs(pid), sections.size(), lockTime,
                                   feed.positionedAt, now, [&](uint64_t slot) {
                                     Section s = sections[sectionOfSlot(slot, sections.size())];
                                     if (badCrc && oddPass(slot, sections.size()) && s.size() > 4)
                                       s[s.size() - 1] ^= 0x5A;
                                     packetizeSection(s, pid, feed.tableCounters[pid], feed.tablePackets);
                                     return true;
                                   });
  }
  // A multiplex without room for its tables loses the oldest ones.
  while (feed.tablePackets.size() > 4096) feed.tablePackets.pop_front();
}

void Simulator::pumpTs(TsFeed& feed, Adapter& a, Clock::time_point now, const std::bitset<8192>& pids,
                       bool allPids, size_t capacity) {
  if (feed.fd < 0) return;
  if (!lockedAt(a, now)) {
    // No signal, no packets; when it comes back the stream goes on from the
    // present, not from where it stopped.
    feed.positioned = false;
    feed.waitingForLock = true;
    deliver(feed, capacity);
    return;
  }
  const LiveMux& mux = *a.mux;
  auto packetAt = [&](Clock::time_point when) {
    auto elapsedNs = static_cast<unsigned __int128>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(when - a.lockTime()).count());
    return static_cast<uint64_t>(elapsedNs * mux.bitrate() / (kPacketSize * 8 * 1000000000ull));
  };
  auto position = packetAt(now);
  if (!feed.positioned || feed.generation != a.generation) {
    feed.positioned = true;
    feed.generation = a.generation;
    // A feed that waited for the lock starts where it came, not at this tick.
    feed.next = feed.waitingForLock ? packetAt(lockGainedAt(a, now)) : position;
    feed.waitingForLock = false;
    feed.positionedAt = now;
    feed.tableCursors.clear();
    feed.tablePackets.clear();
  }
  // A simulator thread that was not scheduled for a while owes the reader what
  // the air sent meanwhile; the kernel's buffer would hold it, so it comes now
  // as one burst, as far as the free part of the buffer takes it. Only what is
  // beyond that is skipped (never seconds of it): a reader that kept reading
  // must not see an overflow that is the simulator's fault, and one that is
  // really behind still does on the ticks that follow.
  uint64_t maxBurst = mux.bitrate() / (kPacketSize * 8) + 1;
  if (capacity) {
    size_t held = feed.isSocket ? 0 : bytesInPipe(feed.fd) + feed.backlogBytes();
    size_t room = capacity > held ? capacity - held : 0;
    maxBurst = std::max<uint64_t>(1, std::min<uint64_t>(maxBurst, room / kPacketSize));
  }
  if (position > feed.next + maxBurst) feed.next = position - maxBurst;
  queueDueTables(feed, a, now, pids, allPids);
  feed.chunk.clear();
  uint8_t packet[kPacketSize];
  auto wanted = [&](uint16_t pid) { return allPids || pids[pid]; };
  for (; feed.next < position; ++feed.next) {
    mux.packet(feed.next, packet);
    uint16_t pid = packetPid(packet);
    if (pid == kNullPid || mux.isTablePid(pid)) {
      // A free slot: the simulator's own tables go here.
      if (!feed.tablePackets.empty()) {
        const Packet& table = feed.tablePackets.front();
        feed.chunk.insert(feed.chunk.end(), table.begin(), table.end());
        feed.tablePackets.pop_front();
      } else if (pid == kNullPid && wanted(pid)) {
        feed.chunk.insert(feed.chunk.end(), packet, packet + kPacketSize);
      }
      continue;
    }
    if (wanted(pid)) feed.chunk.insert(feed.chunk.end(), packet, packet + kPacketSize);
  }
  if (!feed.chunk.empty() && !feed.firstData) feed.firstData = now;
  deliver(feed, capacity);
}

void Simulator::deliver(TsFeed& feed, size_t capacity) {
  if (feed.fd < 0) return;
  if (feed.isSocket) {
    if (feed.chunk.empty()) return;
    ssize_t n = send(feed.fd, feed.chunk.data(), feed.chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    bool partial = n < static_cast<ssize_t>(feed.chunk.size());
    feed.chunk.clear();
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;  // reader gone
    if (partial) setPendingError(feed.appFd, EOVERFLOW);
    return;
  }
  if (!feed.chunk.empty()) {
    // As the kernel's demux: what does not fit into the free part of the
    // buffer is dropped and the reader's next read fails with EOVERFLOW.
    size_t held = bytesInPipe(feed.fd) + feed.backlogBytes();
    if (held + feed.chunk.size() > capacity) {
      feed.heldAtDrop = held;
      setPendingError(feed.appFd, EOVERFLOW);
    } else {
      feed.backlog.insert(feed.backlog.end(), feed.chunk.begin(), feed.chunk.end());
    }
    feed.chunk.clear();
  }
  // Whole packets only, as the kernel's ring holds them: a reader that asks
  // for whole packets never gets half of one, even at the end of a recording.
  // A write larger than the pipe's free room would stop anywhere, so near a
  // full pipe the writes are of PIPE_BUF at most, which go whole or not at all.
  while (feed.backlogBytes() > 0) {
    size_t length = feed.backlogBytes();
    if (size_t split = feed.backlogHead % kPacketSize) length = kPacketSize - split;  // a short write's rest
    else if (length > kAtomicPipeWrite && !pipeHasRoom(feed.fd, length)) length = kAtomicPipeWrite;
    ssize_t n = write(feed.fd, feed.backlog.data() + feed.backlogHead, length);
    if (n <= 0) break;
    feed.backlogHead += static_cast<size_t>(n);
  }
  if (feed.backlogHead == feed.backlog.size()) {
    feed.dropBacklog();
  } else if (feed.backlogHead > (1u << 20)) {
    // The backlog keeps starting on a packet boundary.
    size_t written = feed.backlogHead - feed.backlogHead % kPacketSize;
    feed.backlog.erase(feed.backlog.begin(), feed.backlog.begin() + static_cast<long>(written));
    feed.backlogHead -= written;
  }
}

void Simulator::pumpSections(Handle& h, Adapter& a, Clock::time_point now) {
  if (h.timeoutMs && !h.delivered && now >= h.started + milliseconds(h.timeoutMs)) {
    h.running = false;
    setPendingError(h.appFd, ETIMEDOUT);
    send(h.simFd, "", 0, MSG_DONTWAIT | MSG_NOSIGNAL);  // wakes a poll()
    return;
  }
  if (!lockedAt(a, now)) return;
  const LiveMux& mux = *a.mux;
  auto lockTime = a.lockTime();
  SectionList shared = mux.sectionsAt(h.pid, std::chrono::duration_cast<milliseconds>(now - lockTime));
  const std::vector<Section>& sections = *shared;
  if (sections.empty()) return;
  const auto& badCrcPids = mux.config().faults.badCrcPids;
  bool badCrc = std::find(badCrcPids.begin(), badCrcPids.end(), h.pid) != badCrcPids.end();
  h.cursor.advance(a.generation, h.pid, mux.intervalMs(h.pid), sections.size(), lockTime, h.started, now,
                   [&](uint64_t slot) {
                     const Section& original = sections[sectionOfSlot(slot, sections.size())];
                     if (!h.filter.matches(original)) return true;
                     Section s = original;
                     if (badCrc && oddPass(slot, sections.size()) && s.size() > 4) s[s.size() - 1] ^= 0x5A;
                     bool hasCrc = s.size() > 3 && (s[1] & 0x80);
                     if ((h.flags & DMX_CHECK_CRC) && hasCrc && !sectionCrcOk(s)) return true;
                     h.queuedBytes += s.size();
                     h.queued.push_back(std::move(s));
                     h.delivered = true;
                     if (h.flags & DMX_ONESHOT) h.running = false;
                     return h.running;
                   });
}

void Simulator::flushQueuedSections(Handle& h) {
  while (!h.queued.empty()) {
    const Section& s = h.queued.front();
    ssize_t n = send(h.simFd, s.data(), s.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) break;
    h.queuedBytes -= s.size();
    h.queued.pop_front();
  }
  if (h.queuedBytes > h.bufferSize) {
    // The reader fell behind by more than the filter's buffer.
    h.queued.clear();
    h.queuedBytes = 0;
    setPendingError(h.appFd, EOVERFLOW);
  }
}

}  // namespace vantiro::dvbsim
