#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "dvb/packet_consumer.h"
#include "dvb/packet_queue.h"
#include "dvb/pat_writer.h"
#include "dvb/pmt.h"
#include "dvb/section_assembler.h"

namespace vantiro {

// Which program a `ServiceFilter` follows, and what is known of it beforehand.
struct ServiceSpec {
    // The service id; 0 = the program whose PMT is on `pmtPid`.
    std::uint16_t programNumber = 0;
    // First guess of the PMT PID until the PAT names it; 0 = unknown.
    std::uint16_t pmtPid = 0;
    // Passed until the first PMT arrives (stored video, audio, PCR PIDs); zeros ignored.
    std::vector<std::uint16_t> guessPids;
};

// Follows one program of the multiplex and turns the whole transport stream into
// a single-program stream of it: the program's own PAT (one program, its own
// version and continuity counter, CRC computed) in place of the multiplex's,
// the PMT, the PCR and every elementary stream a player can use (all video and
// audio, DVB subtitles, teletext). The PMT PID comes from the PAT, the stream
// PIDs from the PMT as it is read from the stream; a new PMT version changes the
// PID set from the next packet on, with no gap. Nothing depends on stored PIDs
// except as a first guess, so a channel saved without PIDs plays once its PMT
// arrives. It declares the PIDs it follows to the demux (`wantPids`) as they
// change, so that the demux passes no more of the multiplex than its consumers use.
//
// Runs on the source's thread; its output goes to a bounded queue. The
// observers (`pmtVersion`, `currentPmt`, ...) may be read from any thread.
class ServiceFilter : public PacketConsumer {
public:
    // Without the multiplex's PAT for this long on the program's own clock (its
    // PCR, 90 kHz), the program's PAT is sent anyway, and again as often while
    // none comes: a multiplex that lost its PAT still plays from the known PMT
    // PID, and a reader that starts late still finds a PAT. Half a second is
    // the longest a broadcast may go between PATs. The clock of the stream,
    // not of the machine, so that a recording read at any speed gets the same.
    static constexpr std::uint64_t kPatFallbackTicks = 45000;
    // The same for a program without a PCR, in packets the filter sees. The
    // demux passes only the program's PIDs, so this is many seconds of a
    // service; it only keeps a PAT coming at all.
    static constexpr std::uint32_t kPatFallbackPackets = 8000;

    ServiceFilter(ServiceSpec wanted, std::shared_ptr<PacketQueue> output);

    void onPackets(std::span<const std::uint8_t> packets) override;
    void onDiscontinuity() override;
    void onEnd() override;

    PacketQueue& output() { return *output_; }
    std::uint16_t programNumber() const { return programNumberSeen_.load(); }
    std::uint16_t pmtPid() const { return pmtPidSeen_.load(); }
    // Version of the PMT in force, -1 until one was read.
    int pmtVersion() const { return pmtVersionSeen_.load(); }
    // PAT versions sent so far start at 0; the one sent last.
    int patVersion() const { return patVersionSeen_.load(); }
    // The PMT in force, if one was read.
    std::optional<Pmt> currentPmt() const;

private:
    void handlePacket(const std::uint8_t* packet);
    void handlePat(SectionBytes section);
    void handlePmt(SectionBytes section);
    // True when the PMT PID changed.
    bool usePmtPid(std::uint16_t pid);
    void declarePids();
    void applyStreams(const Pmt& pmt);
    void emitPat();
    void followClock(std::uint64_t pcr);
    void append(const std::uint8_t* packet);

    std::shared_ptr<PacketQueue> output_;
    std::uint16_t programNumber_;
    std::uint16_t pmtPid_;
    std::uint16_t transportStreamId_ = 0;
    int pmtVersion_ = -1;
    std::array<bool, kTsPidCount> pass_{};
    std::vector<std::uint16_t> passed_;  // the PIDs set in pass_ besides the PMT PID
    SectionAssembler patAssembler_;
    SectionAssembler pmtAssembler_;
    SectionAssembler::Handler patHandler_;
    SectionAssembler::Handler pmtHandler_;

    std::optional<SingleProgramPat> sentPat_;
    std::uint8_t patCounter_ = 0;
    std::uint32_t packetsSincePat_ = 0;
    // The PCR last seen, and the one when a PAT was last read or sent (or when
    // the clock jumped); -1 while unknown.
    std::int64_t lastPcr_ = -1;
    std::int64_t pcrAtPat_ = -1;
    bool started_ = false;
    std::vector<std::uint8_t> scratch_;

    std::atomic<std::uint16_t> programNumberSeen_;
    std::atomic<std::uint16_t> pmtPidSeen_;
    std::atomic<int> pmtVersionSeen_{-1};
    std::atomic<int> patVersionSeen_{-1};
    mutable std::mutex pmtMutex_;
    std::optional<Pmt> pmt_;  // guarded by pmtMutex_
};

}  // namespace vantiro
