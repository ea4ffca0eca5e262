#include "dvb/zap_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dvb/pat.h"
#include "dvb/pmt.h"

namespace vantiro {
namespace {

// A PSI section is at most 4 KiB: 24 packets.
constexpr std::size_t kMaxSectionPackets = 24;

constexpr std::uint8_t kRandomAccessFlag = 0x40;
constexpr std::uint8_t kMpeg2SequenceHeader = 0xB3;
constexpr std::uint8_t kH264Idr = 5;
constexpr std::uint8_t kH264Sps = 7;
constexpr std::uint8_t kHevcFirstIrap = 16;
constexpr std::uint8_t kHevcLastIrap = 21;
constexpr std::uint8_t kHevcVps = 32;
constexpr std::uint8_t kHevcSps = 33;

bool sectionIsCurrent(SectionBytes section) { return (section[5] & 0x01) != 0; }
bool usablePid(std::uint16_t pid) { return pid != 0 && pid < kTsNullPid; }

bool hasRandomAccessFlag(const std::uint8_t* packet) {
    bool adaptation = (packet[3] & 0x20) != 0;
    return adaptation && packet[4] > 0 && (packet[5] & kRandomAccessFlag) != 0;
}

// Whether the NAL unit or start code `code` (the byte after 00 00 01) begins a
// picture a decoder can start from; `slice` is set when it is some other picture.
bool startsKeyPicture(std::uint8_t streamType, std::uint8_t code, bool& slice) {
    switch (streamType) {
    case 0x01:
    case 0x02:
        slice = code == 0x00;  // picture start code
        return code == kMpeg2SequenceHeader;
    case 0x1B: {
        std::uint8_t type = code & 0x1F;
        slice = type >= 1 && type <= 4;
        return type == kH264Idr || type == kH264Sps;
    }
    case 0x24: {
        std::uint8_t type = (code >> 1) & 0x3F;
        slice = type <= 9;
        return (type >= kHevcFirstIrap && type <= kHevcLastIrap) || type == kHevcVps || type == kHevcSps;
    }
    default:
        return false;
    }
}

// A video packet where a decoder can start: it begins a PES and either carries
// the random access flag or its elementary data opens with a key picture (or
// the parameter sets sent just before one).
bool isRandomAccessPoint(const std::uint8_t* packet, std::uint8_t streamType) {
    if (!tsPayloadUnitStart(packet) || tsTransportError(packet)) return false;
    if (hasRandomAccessFlag(packet)) return true;
    std::size_t pes = tsPayloadOffset(packet);
    if (pes + 9 > kTsPacketSize || packet[pes] != 0 || packet[pes + 1] != 0 || packet[pes + 2] != 1) return false;
    for (std::size_t at = pes + 9 + packet[pes + 8]; at + 3 < kTsPacketSize; ++at) {
        if (packet[at] != 0 || packet[at + 1] != 0 || packet[at + 2] != 1) continue;
        bool slice = false;
        if (startsKeyPicture(streamType, packet[at + 3], slice)) return true;
        if (slice) return false;
        at += 2;
    }
    return false;
}

constexpr std::int64_t kPtsModulo = std::int64_t{1} << 33;

// The PTS of a packet that starts a PES carrying one; -1 otherwise.
std::int64_t pesPts(const std::uint8_t* packet) {
    if (!tsPayloadUnitStart(packet)) return -1;
    std::size_t pes = tsPayloadOffset(packet);
    if (pes + 14 > kTsPacketSize || packet[pes] != 0 || packet[pes + 1] != 0 || packet[pes + 2] != 1) return -1;
    if ((packet[pes + 7] & 0x80) == 0) return -1;
    const std::uint8_t* p = packet + pes + 9;
    return (std::int64_t{p[0] & 0x0E} << 29) | (std::int64_t{p[1]} << 22) | (std::int64_t{p[2] & 0xFE} << 14) |
           (std::int64_t{p[3]} << 7) | (p[4] >> 1);
}

void appendPacket(std::vector<std::uint8_t>& to, const std::uint8_t* packet) {
    to.insert(to.end(), packet, packet + kTsPacketSize);
}

}  // namespace

bool zapCacheWanted() {
    const char* value = std::getenv("VANTIRO_ZAP_CACHE");
    return !(value && std::strcmp(value, "0") == 0);
}

ZapCache::ZapCache() { reindex(); }

void ZapCache::onPackets(std::span<const std::uint8_t> packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (std::size_t at = 0; at + kTsPacketSize <= packets.size(); at += kTsPacketSize) {
        const std::uint8_t* packet = packets.data() + at;
        if (!learning_) {
            handlePacket(packet);
            continue;
        }
        // Only the tables are read now; the packets wait until the programs are known.
        appendPacket(learnt_, packet);
        std::uint16_t pid = tsPacketPid(packet);
        if (pid == kPatPid) {
            read(patReader_, packet, patHandler_);
        } else if (auto reader = pmtReaders_.find(pid); reader != pmtReaders_.end()) {
            readingPmtPid_ = pid;
            read(reader->second, packet, pmtHandler_);
        }
        if (everyPmtRead())
            endLearning(true);
        else if (learnt_.size() >= kMaxLearningBytes || learningPats_ >= kLearningPats)
            endLearning(false);
    }
}

bool ZapCache::everyPmtRead() const {
    if (programs_.empty()) return false;
    return std::all_of(programs_.begin(), programs_.end(), [](const Program& p) { return !p.pmtPackets.empty(); });
}

// The packets kept meanwhile are read again from the start, tables included,
// as the live ones are from now on: the spans open at the key frames among them.
void ZapCache::endLearning(bool replay) {
    learning_ = false;
    std::vector<std::uint8_t> learnt;
    learnt.swap(learnt_);
    if (replay) {
        patReader_ = {};
        for (auto& [pid, reader] : pmtReaders_) reader = {};
        for (std::size_t at = 0; at + kTsPacketSize <= learnt.size(); at += kTsPacketSize)
            handlePacket(learnt.data() + at);
    }
    reindex();
}

// Data was lost: a span with a hole in it would start a player on a damaged
// picture, and the sections being read are cut.
void ZapCache::onDiscontinuity() {
    std::lock_guard<std::mutex> guard(mutex_);
    learnt_.clear();
    for (Program& program : programs_) program.drop();
    patReader_ = {};
    for (auto& [pid, reader] : pmtReaders_) reader = {};
}

void ZapCache::onEnd() {
    std::lock_guard<std::mutex> guard(mutex_);
    forget();
}

// The next multiplex is learnt afresh.
void ZapCache::forget() {
    programs_.clear();
    pmtReaders_.clear();
    patReader_ = {};
    patPackets_.clear();
    learning_ = true;
    learningPats_ = 0;
    learnt_.clear();
    reindex();
}

void ZapCache::handlePacket(const std::uint8_t* packet) {
    std::uint16_t pid = tsPacketPid(packet);
    if (pid == kPatPid) {
        read(patReader_, packet, patHandler_);
        return;
    }
    if (owners_[pid].empty()) return;
    if (auto reader = pmtReaders_.find(pid); reader != pmtReaders_.end()) {
        readingPmtPid_ = pid;
        read(reader->second, packet, pmtHandler_);  // may change the PIDs the spans take
    }
    for (std::uint16_t index : owners_[pid]) take(programs_[index], packet);
}

void ZapCache::take(Program& program, const std::uint8_t* packet) {
    bool video = tsPacketPid(packet) == program.videoPid;
    if (video && isRandomAccessPoint(packet, program.videoType)) begin(program);
    Span& span = program.current;
    if (!span.open) return;
    if (span.bytes.size() + kTsPacketSize > kMaxServiceBytes) {
        program.drop();  // a GOP too long to keep: wait for the next one
        return;
    }
    if (tsPacketPid(packet) == program.pmtPid && span.repeatsPreludePmt(packet)) return;
    appendPacket(span.bytes, packet);
    if (std::int64_t pts = video ? pesPts(packet) : -1; pts >= 0) {
        if (span.firstPts < 0) span.firstPts = pts;
        span.lastPts = pts;
    }
}

// True while the span's own PMT packets repeat the prelude's PMT from its start.
bool ZapCache::Span::repeatsPreludePmt(const std::uint8_t* packet) {
    if (pmtEcho < 0) return false;
    auto matched = static_cast<std::size_t>(pmtEcho);
    std::size_t pmtStart = preludeBytes - pmtBytes;
    if (matched + kTsPacketSize > pmtBytes || std::memcmp(bytes.data() + pmtStart + matched, packet, kTsPacketSize) != 0) {
        pmtEcho = -1;
        return false;
    }
    pmtEcho += static_cast<std::ptrdiff_t>(kTsPacketSize);
    return true;
}

bool ZapCache::Span::young() const {
    if (firstPts < 0 || lastPts < 0) return false;
    return (lastPts - firstPts + kPtsModulo) % kPtsModulo < kMinLeadInTicks;
}

// The packets of the section being read are kept beside the assembler, so that
// the last complete table can be sent on as it came.
void ZapCache::read(TableReader& reader, const std::uint8_t* packet, const SectionAssembler::Handler& handler) {
    std::size_t payload = tsPayloadOffset(packet);
    bool sectionStarts = tsPayloadUnitStart(packet) && payload < kTsPacketSize;
    bool endsAnother = sectionStarts && packet[payload] != 0;  // the pointer field skips a section's end
    if (sectionStarts && !endsAnother) reader.collecting.clear();
    if (reader.collecting.size() < kMaxSectionPackets * kTsPacketSize) appendPacket(reader.collecting, packet);
    reader.assembler.feed(packet, handler);
    if (endsAnother) {
        reader.collecting.clear();
        appendPacket(reader.collecting, packet);
    }
}

void ZapCache::onPat(SectionBytes section) {
    if (section.size() < 8 || section[0] != kPatTableId || !sectionIsCurrent(section) || !sectionCrcOk(section))
        return;
    std::optional<Pat> pat = parsePat(section);
    if (!pat) return;
    if (learning_) ++learningPats_;
    patPackets_ = patReader_.collecting;
    bool same = pat->programs.size() == programs_.size() &&
                std::equal(pat->programs.begin(), pat->programs.end(), programs_.begin(),
                           [](const Pat::Program& listed, const Program& known) {
                               return listed.programNumber == known.number && listed.pmtPid == known.pmtPid;
                           });
    if (same) return;
    std::vector<Program> programs;
    for (const Pat::Program& listed : pat->programs) {
        if (!usablePid(listed.pmtPid)) continue;
        auto known = std::find_if(programs_.begin(), programs_.end(), [&](const Program& p) {
            return p.number == listed.programNumber && p.pmtPid == listed.pmtPid;
        });
        if (known != programs_.end()) {
            programs.push_back(std::move(*known));
        } else {
            Program program;
            program.number = listed.programNumber;
            program.pmtPid = listed.pmtPid;
            programs.push_back(std::move(program));
        }
    }
    programs_ = std::move(programs);
    std::map<std::uint16_t, TableReader> readers;
    for (const Program& program : programs_) {
        auto old = pmtReaders_.find(program.pmtPid);
        readers[program.pmtPid] = old != pmtReaders_.end() ? std::move(old->second) : TableReader{};
    }
    pmtReaders_ = std::move(readers);
    reindex();
}

void ZapCache::onPmt(SectionBytes section) {
    if (section.size() < 12 || section[0] != kPmtTableId || !sectionIsCurrent(section) || !sectionCrcOk(section))
        return;
    std::uint16_t number = readBe16(section.data() + 3);
    auto program = std::find_if(programs_.begin(), programs_.end(),
                                [&](const Program& p) { return p.number == number && p.pmtPid == readingPmtPid_; });
    if (program == programs_.end()) return;
    std::optional<Pmt> pmt = parsePmt(section);
    if (!pmt) return;
    program->pmtPackets = pmtReaders_[readingPmtPid_].collecting;

    std::vector<std::uint16_t> pids;
    auto add = [&](std::uint16_t pid) {
        pid &= kTsPidMask;
        if (usablePid(pid) && pid != program->pmtPid && std::find(pids.begin(), pids.end(), pid) == pids.end())
            pids.push_back(pid);
    };
    add(pmt->pcrPid);
    std::uint16_t videoPid = 0;
    std::uint8_t videoType = 0;
    for (const Pmt::Stream& stream : pmt->streams) {
        if (!isPlayableStream(stream)) continue;
        add(stream.pid);
        if (videoPid == 0 && isVideoStreamType(stream.streamType)) {
            videoPid = stream.pid & kTsPidMask;
            videoType = stream.streamType;
        }
    }
    if (pids == program->streamPids && videoPid == program->videoPid && videoType == program->videoType) return;
    // Other streams: what was held belongs to the old ones.
    program->streamPids = std::move(pids);
    program->videoPid = videoPid;
    program->videoType = videoType;
    program->drop();
    reindex();
}

// The span that ends here becomes the previous one; its storage is reused.
void ZapCache::begin(Program& program) {
    std::swap(program.previous, program.current);
    if (!program.previous.open) program.previous.drop();
    Span& span = program.current;
    span.bytes.clear();
    span.bytes.insert(span.bytes.end(), patPackets_.begin(), patPackets_.end());
    span.bytes.insert(span.bytes.end(), program.pmtPackets.begin(), program.pmtPackets.end());
    span.preludeBytes = span.bytes.size();
    span.pmtBytes = program.pmtPackets.size();
    span.pmtEcho = 0;
    span.firstPts = -1;
    span.lastPts = -1;
    span.open = true;
}

// Only programs with video keep a span, so only their PIDs are looked at and
// asked for.
void ZapCache::reindex() {
    for (std::uint16_t pid : ownedPids_) owners_[pid].clear();
    ownedPids_.clear();
    auto own = [this](std::uint16_t pid, std::uint16_t index) {
        if (owners_[pid].empty()) ownedPids_.push_back(pid);
        if (std::find(owners_[pid].begin(), owners_[pid].end(), index) == owners_[pid].end())
            owners_[pid].push_back(index);
    };
    for (std::size_t i = 0; i < programs_.size(); ++i) {
        const Program& program = programs_[i];
        auto index = static_cast<std::uint16_t>(i);
        own(program.pmtPid, index);  // read even before the PMT says there is video
        if (program.videoPid == 0) continue;
        for (std::uint16_t pid : program.streamPids) own(pid, index);
    }
    if (learning_) {
        wantPids(PidSet::wholeStream());
        return;
    }
    PidSet wanted{kPatPid};
    for (std::uint16_t pid : ownedPids_) wanted.add(pid);
    wantPids(std::move(wanted));
}

const ZapCache::Program* ZapCache::find(const ServiceSpec& wanted) const {
    for (const Program& program : programs_) {
        bool match = wanted.programNumber != 0 ? program.number == wanted.programNumber
                                               : program.pmtPid == (wanted.pmtPid & kTsPidMask);
        if (match) return &program;
    }
    return nullptr;
}

// A young span goes with the one before it; its own PAT and PMT are left out
// then, as the previous span holds those packets already. While the tables are
// being learnt there are no spans yet: the stream gets every packet since the
// multiplex began instead (its filter keeps its own), so that a stream opened
// right after a tune still starts with the first key frame after the lock.
void ZapCache::leadIn(const ServiceSpec& wanted, PacketConsumer& consumer) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (learning_) {
        if (!learnt_.empty()) consumer.onPackets(learnt_);
        return;
    }
    const Program* program = find(wanted);
    if (!program || !program->current.open) return;
    const Span& current = program->current;
    const Span& previous = program->previous;
    std::size_t tail = current.bytes.size() - current.preludeBytes;
    if (current.young() && previous.open && previous.bytes.size() + tail <= kMaxServiceBytes) {
        consumer.onPackets(previous.bytes);
        consumer.onPackets(std::span(current.bytes).subspan(current.preludeBytes));
        return;
    }
    consumer.onPackets(current.bytes);
}

}  // namespace vantiro

