#include "dvb/service_filter.h"

#include "dvb/pat.h"

namespace vantiro {
namespace {

std::uint8_t sectionVersion(SectionBytes section) { return (section[5] >> 1) & 0x1F; }
bool sectionIsCurrent(SectionBytes section) { return (section[5] & 0x01) != 0; }

bool usablePid(std::uint16_t pid) { return pid != 0 && pid < kTsNullPid; }

constexpr std::uint64_t kPcrBaseMask = (std::uint64_t{1} << 33) - 1;
// A PCR further on than this (or behind) is a new clock, not time gone by.
constexpr std::uint64_t kPcrJumpTicks = 10 * 90000;

}  // namespace

ServiceFilter::ServiceFilter(ServiceSpec wanted, std::shared_ptr<PacketQueue> output)
    : output_(std::move(output)),
      programNumber_(wanted.programNumber),
      pmtPid_(static_cast<std::uint16_t>(wanted.pmtPid & kTsPidMask)),
      patHandler_([this](SectionBytes section) { handlePat(section); }),
      pmtHandler_([this](SectionBytes section) { handlePmt(section); }),
      programNumberSeen_(wanted.programNumber),
      pmtPidSeen_(pmtPid_) {
    for (std::uint16_t pid : wanted.guessPids) {
        pid &= kTsPidMask;
        if (!usablePid(pid) || pid == pmtPid_ || pass_[pid]) continue;
        pass_[pid] = true;
        passed_.push_back(pid);
    }
    scratch_.reserve(64 * kTsPacketSize);
    declarePids();
}

// The demux passes only what is declared: the PAT, the PMT and the streams.
void ServiceFilter::declarePids() {
    PidSet wanted{kPatPid};
    if (pmtPid_ != 0) wanted.add(pmtPid_);
    for (std::uint16_t pid : passed_) wanted.add(pid);
    wantPids(std::move(wanted));
}

std::optional<Pmt> ServiceFilter::currentPmt() const {
    std::lock_guard<std::mutex> guard(pmtMutex_);
    return pmt_;
}

void ServiceFilter::onPackets(std::span<const std::uint8_t> packets) {
    scratch_.clear();
    if (!started_) {
        started_ = true;
        emitPat();  // from the first guess, so that a reader can start at once
    }
    for (std::size_t at = 0; at + kTsPacketSize <= packets.size(); at += kTsPacketSize)
        handlePacket(packets.data() + at);
    output_->push(scratch_);
}

void ServiceFilter::onDiscontinuity() {
    patAssembler_.reset();
    pmtAssembler_.reset();
    pcrAtPat_ = -1;  // the time without a PAT counts afresh from the next PCR
}

void ServiceFilter::onEnd() { output_->finish(); }

void ServiceFilter::append(const std::uint8_t* packet) {
    scratch_.insert(scratch_.end(), packet, packet + kTsPacketSize);
}

void ServiceFilter::handlePacket(const std::uint8_t* packet) {
    std::uint16_t pid = tsPacketPid(packet);
    if (pid == kPatPid) {
        // The multiplex's PAT is read, never passed: the program's own replaces it.
        patAssembler_.feed(packet, patHandler_);
        return;
    }
    if (std::uint64_t pcr = 0; pass_[pid] && tsPcrBase(packet, pcr)) followClock(pcr);
    else if (lastPcr_ < 0 && ++packetsSincePat_ >= kPatFallbackPackets) emitPat();
    if (pid == pmtPid_ && pmtPid_ != 0) {
        append(packet);  // the PMT goes out before the streams it announces
        pmtAssembler_.feed(packet, pmtHandler_);
        return;
    }
    if (pass_[pid]) append(packet);
}

void ServiceFilter::handlePat(SectionBytes section) {
    if (section.size() < 8 || section[0] != kPatTableId || !sectionIsCurrent(section) || !sectionCrcOk(section))
        return;
    std::optional<Pat> pat = parsePat(section);
    if (!pat) return;
    transportStreamId_ = pat->transportStreamId;
    for (const Pat::Program& program : pat->programs) {
        bool ours = programNumber_ != 0 ? program.programNumber == programNumber_ : program.pmtPid == pmtPid_;
        if (!ours) continue;
        if (programNumber_ == 0) {
            programNumber_ = program.programNumber;
            programNumberSeen_ = programNumber_;
        }
        if (usePmtPid(program.pmtPid)) declarePids();
        break;
    }
    emitPat();
}

bool ServiceFilter::usePmtPid(std::uint16_t pid) {
    if (pid == pmtPid_ || !usablePid(pid)) return false;
    pmtPid_ = pid;
    pmtPidSeen_ = pid;
    pmtAssembler_.reset();
    pmtVersion_ = -1;  // the PMT on the new PID is read afresh
    if (pass_[pid]) {  // it was an elementary stream: it is the PMT now
        pass_[pid] = false;
        std::erase(passed_, pid);
    }
    return true;
}

void ServiceFilter::handlePmt(SectionBytes section) {
    if (section.size() < 12 || section[0] != kPmtTableId || !sectionIsCurrent(section) || !sectionCrcOk(section))
        return;
    std::uint16_t program = readBe16(section.data() + 3);
    if (programNumber_ != 0 && program != programNumber_) return;  // another program sharing the PID
    int version = sectionVersion(section);
    if (version == pmtVersion_) return;
    std::optional<Pmt> pmt = parsePmt(section);
    if (!pmt) return;
    if (programNumber_ == 0) {
        programNumber_ = program;
        programNumberSeen_ = program;
    }
    applyStreams(*pmt);
    declarePids();
    pmtVersion_ = version;
    pmtVersionSeen_ = version;
    {
        std::lock_guard<std::mutex> guard(pmtMutex_);
        pmt_ = std::move(*pmt);
    }
    if (!sentPat_) emitPat();
}

void ServiceFilter::applyStreams(const Pmt& pmt) {
    for (std::uint16_t pid : passed_) pass_[pid] = false;
    passed_.clear();
    auto add = [this](std::uint16_t pid) {
        pid &= kTsPidMask;
        if (!usablePid(pid) || pid == pmtPid_ || pass_[pid]) return;
        pass_[pid] = true;
        passed_.push_back(pid);
    };
    add(pmt.pcrPid);
    for (const Pmt::Stream& stream : pmt.streams)
        if (isPlayableStream(stream)) add(stream.pid);
}

// Sends the program's PAT when the multiplex's has not come for
// `kPatFallbackTicks` of the program's clock.
void ServiceFilter::followClock(std::uint64_t pcr) {
    lastPcr_ = static_cast<std::int64_t>(pcr);
    if (pcrAtPat_ < 0) {
        pcrAtPat_ = lastPcr_;
        return;
    }
    std::uint64_t since = (pcr - static_cast<std::uint64_t>(pcrAtPat_)) & kPcrBaseMask;
    if (since >= kPcrJumpTicks) pcrAtPat_ = lastPcr_;
    else if (since >= kPatFallbackTicks) emitPat();
}

void ServiceFilter::emitPat() {
    packetsSincePat_ = 0;
    pcrAtPat_ = lastPcr_;
    if (programNumber_ == 0 || pmtPid_ == 0) return;
    SingleProgramPat pat{transportStreamId_, programNumber_, pmtPid_, 0};
    if (sentPat_) pat.version = sentPat_->sameProgram(pat) ? sentPat_->version : (sentPat_->version + 1) & 0x1F;
    sentPat_ = pat;
    patVersionSeen_ = pat.version;
    auto packet = singleProgramPatPacket(pat, patCounter_);
    patCounter_ = (patCounter_ + 1) & 0x0F;
    append(packet.data());
}

}  // namespace vantiro
