// Line rate and CPU cost of the relay pipeline (DvrSource -> hub -> consumer ->
// queue -> pipe writer -> reader), the path the window's player and the
// server's streams take. Times come from events inside the run: the first byte
// the source reads and the end of file at the reader.
//
//   relay_bench rate FILE.ts MEGABYTES service PROGRAM | all
//       a fast source without the simulator: FILE repeated up to MEGABYTES in
//       memory (a memfd), read as fast as the pipeline takes it. Prints the
//       multiplex bit rate relayed, bytes in and out, drops, CPU seconds.
//   relay_bench paced FILE.ts MBITS SECONDS service PROGRAM | all
//       FILE written into a pipe at MBITS Mbit/s for SECONDS (a live
//       multiplex without the simulator); prints the pipeline's CPU seconds per
//       second (the feeding and reading threads' own CPU taken out).
//   relay_bench device ADAPTER FREQ_HZ DELSYS SECONDS PROGRAM
//       tunes the adapter (under tools/dvbsim or a real stick) and relays
//       PROGRAM for SECONDS as the window does; prints process CPU seconds per
//       second, bytes in and out and DVR overflows.
// Each prints one line of key=value pairs on standard output.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dvb/pid_filter.h"
#include "dvb/pipe_output.h"
#include "dvb/tuned_mux.h"
#include "dvb/tuner.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The pipeline's consumer end: a service stream or every PID, into a pipe.
struct Output {
    std::unique_ptr<vantiro::ServiceStream> service;
    std::shared_ptr<vantiro::PacketQueue> allQueue;
    vantiro::HubMembership all;
    vantiro::PipeOutput pipe;

    std::shared_ptr<vantiro::PacketQueue> queue() const { return service ? service->sharedQueue() : allQueue; }
    std::uint64_t dropped() const { return queue()->droppedPackets(); }
};

// Joins the consumer `mode` ("service" with PROGRAM, or "all") to `mux`.
bool attach(vantiro::TunedMux& mux, Output& out, const std::string& mode, const char* program,
            vantiro::PacketQueueLimits limits) {
    if (mode == "all") {
        out.allQueue = std::make_shared<vantiro::PacketQueue>(limits);
        out.all = mux.addConsumer(vantiro::PidFilter::allPids(out.allQueue));
    } else {
        vantiro::ServiceSpec wanted;
        wanted.programNumber = static_cast<std::uint16_t>(std::strtoul(program ? program : "0", nullptr, 0));
        out.service = mux.openService(wanted, nullptr, limits);
        if (!out.service) return false;
    }
    std::string error;
    if (!out.pipe.start(out.queue(), &error)) {
        std::fprintf(stderr, "relay_bench: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Reads the pipe to its end on a thread of its own, counting bytes and its own CPU.
class Reader {
public:
    explicit Reader(int fd) : thread_([this, fd] { run(fd); }) {}
    ~Reader() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    std::uint64_t bytes() const { return bytes_.load(); }
    double cpu() const { return cpu_.load(); }
    Clock::time_point endedAt() const { return endedAt_; }

private:
    void run(int fd) {
        std::vector<char> buffer(1 << 20);
        ssize_t n;
        while ((n = ::read(fd, buffer.data(), buffer.size())) != 0) {
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            bytes_.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        }
        endedAt_ = Clock::now();
        cpu_ = threadCpuSeconds();
    }
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<double> cpu_{0};
    Clock::time_point endedAt_;
    std::thread thread_;
};

// FILE repeated up to `megabytes` in an anonymous in-memory file, positioned at its start.
int memoryMultiplex(const std::string& file, std::size_t megabytes, std::size_t& size) {
    int fd = ::memfd_create("relay-bench", MFD_CLOEXEC);
    if (fd < 0 || file.empty()) return -1;
    std::size_t target = megabytes << 20;
    size = 0;
    while (size < target) {
        if (::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) return -1;
        size += file.size();
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

int runRate(int argc, char** argv) {
    if (argc < 5) return 2;
    std::string file = readFile(argv[2]);
    std::size_t size = 0;
    int fd = memoryMultiplex(file, std::strtoul(argv[3], nullptr, 10), size);
    if (fd < 0) {
        std::fprintf(stderr, "relay_bench: cannot read %s\n", argv[2]);
        return 1;
    }
    vantiro::Tuner tuner;  // not opened: the multiplex comes from memory
    vantiro::TunedMux mux(tuner);
    Output out;
    // Room for everything: a drop would flatter the rate.
    vantiro::PacketQueueLimits limits{size + (1u << 20), size * 2 + (1u << 20)};
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 1;
    // The source starts on a pipe that opens the gate only once everything is attached.
    if (!mux.startSourceFromFd(pipeFds[0])) return 1;
    if (!attach(mux, out, argv[4], argc > 5 ? argv[5] : nullptr, limits)) return 1;
    Reader reader(out.pipe.readFd());
    double cpuBefore = processCpuSeconds();
    Clock::time_point start = Clock::now();
    // Hand the source the memory file: splice it through the gate pipe at full speed.
    std::thread feeder([&] {
        loff_t offset = 0;
        while (static_cast<std::size_t>(offset) < size) {
            ssize_t n = ::splice(fd, &offset, pipeFds[1], nullptr, 1 << 20, SPLICE_F_MOVE);
            if (n <= 0) break;
        }
        ::close(pipeFds[1]);
    });
    feeder.join();
    reader.join();
    double elapsed = seconds(reader.endedAt() - start);
    double cpu = processCpuSeconds() - cpuBefore;
    std::printf("mode=%s bytes_in=%zu bytes_out=%llu seconds=%.3f mbit_per_s=%.1f dropped=%llu cpu=%.3f\n", argv[4],
                size, static_cast<unsigned long long>(reader.bytes()), elapsed, size * 8.0 / elapsed / 1e6,
                static_cast<unsigned long long>(out.dropped()), cpu);
    ::close(fd);
    return 0;
}

int runPaced(int argc, char** argv) {
    if (argc < 6) return 2;
    std::string file = readFile(argv[2]);
    double megabits = std::atof(argv[3]);
    double duration = std::atof(argv[4]);
    if (file.empty() || megabits <= 0) return 2;
    vantiro::Tuner tuner;
    vantiro::TunedMux mux(tuner);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 1;
    ::fcntl(pipeFds[1], F_SETPIPE_SZ, 1 << 20);  // a DVR-sized buffer where the machine allows
    if (!mux.startSourceFromFd(pipeFds[0])) return 1;
    Output out;
    if (!attach(mux, out, argv[5], argc > 6 ? argv[6] : nullptr, {})) return 1;
    Reader reader(out.pipe.readFd());
    std::atomic<double> feederCpu{0};
    double cpuBefore = processCpuSeconds();
    Clock::time_point start = Clock::now();
    std::thread feeder([&] {
        // Writes in 5 ms ticks, the way a demodulator's USB transfers arrive.
        const double bytesPerSecond = megabits * 1e6 / 8;
        double sent = 0;
        std::size_t at = 0;
        while (seconds(Clock::now() - start) < duration) {
            double due = bytesPerSecond * seconds(Clock::now() - start);
            while (sent + 188 <= due) {
                std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(due - sent) / 188 * 188, file.size() - at);
                ssize_t w = ::write(pipeFds[1], file.data() + at, n);
                if (w <= 0) break;
                sent += static_cast<double>(w);
                at = (at + static_cast<std::size_t>(w)) % file.size();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        feederCpu = threadCpuSeconds();
        ::close(pipeFds[1]);
    });
    feeder.join();
    reader.join();
    double elapsed = seconds(reader.endedAt() - start);
    double pipelineCpu = processCpuSeconds() - cpuBefore - feederCpu.load() - reader.cpu();
    std::printf("mode=%s mbit_per_s=%.1f seconds=%.3f bytes_in=%llu bytes_out=%llu dropped=%llu "
                "pipeline_cpu_per_s=%.4f\n",
                argv[5], megabits, elapsed, static_cast<unsigned long long>(mux.health().bytes),
                static_cast<unsigned long long>(reader.bytes()), static_cast<unsigned long long>(out.dropped()),
                pipelineCpu / elapsed);
    return 0;
}

int runDevice(int argc, char** argv) {
    if (argc < 7) return 2;  // device ADAPTER FREQ_HZ DELSYS SECONDS PROGRAM
    int adapter = std::atoi(argv[2]);
    auto frequency = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    int delsys = std::atoi(argv[4]);
    double duration = std::atof(argv[5]);
    vantiro::Tuner tuner;
    std::string error;
    if (!tuner.open(adapter, &error)) {
        std::fprintf(stderr, "relay_bench: %s\n", error.c_str());
        return 1;
    }
    vantiro::TunedMux mux(tuner);
    if (!mux.tune(frequency, delsys, 2500, &error) || !mux.startSource(&error)) {
        std::fprintf(stderr, "relay_bench: %s\n", error.c_str());
        return 1;
    }
    Output out;
    if (!attach(mux, out, "service", argv[6], {})) return 1;
    Reader reader(out.pipe.readFd());
    double cpuBefore = processCpuSeconds();
    Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(duration));
    double elapsed = seconds(Clock::now() - start);
    double cpu = processCpuSeconds() - cpuBefore;
    vantiro::SourceHealth health = mux.health();
    mux.close();
    reader.join();
    std::printf("bytes_in=%llu bytes_out=%llu seconds=%.3f overflows=%llu cpu_per_s=%.4f\n",
                static_cast<unsigned long long>(health.bytes), static_cast<unsigned long long>(reader.bytes()),
                elapsed, static_cast<unsigned long long>(health.overflows), cpu / elapsed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int status = 2;
    if (mode == "rate") status = runRate(argc, argv);
    if (mode == "paced") status = runPaced(argc, argv);
    if (mode == "device") status = runDevice(argc, argv);
    if (status == 2)
        std::fprintf(stderr,
                     "usage: relay_bench rate FILE MEGABYTES service PROGRAM|all\n"
                     "       relay_bench paced FILE MBITS SECONDS service PROGRAM|all\n"
                     "       relay_bench device ADAPTER FREQ_HZ DELSYS SECONDS PROGRAM\n");
    return status;
}
