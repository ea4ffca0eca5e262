#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "dvb/packet_consumer.h"
#include "dvb/section_assembler.h"
#include "dvb/service_filter.h"
#include "dvb/ts_packet.h"

namespace vantiro {

// Keeps, for every service of the tuned multiplex that has video, its packets
// since the last random access point of that video: the start of the group of
// pictures on air. A stream opened on the multiplex is handed that span before
// its first live packets (`leadIn`), so its player decodes a picture at once
// instead of waiting up to a whole GOP for the next key frame; the live packets
// follow the span with nothing lost or repeated, continuity counters intact.
// A span younger than `kMinLeadInTicks` of video is handed over with the one
// before it: a player starts only once it holds some sound past the first
// picture, and a few frames would leave it waiting for the air again.
//
// A span begins with the multiplex's PAT and the service's PMT as they were at
// the access point, then every packet of the service's PMT, PCR and playable
// streams in multiplex order. A random access point is a video packet that
// starts a PES with the adaptation field's random_access_indicator set, or
// whose PES begins with an MPEG-2 sequence header, H.264 parameter sets or IDR
// slice, or an H.265 parameter set or IRAP picture. A span that outgrows
// `kMaxServiceBytes` (a very long GOP) is let go until the next access point;
// a discontinuity or the end of the source lets every span go.
//
// A multiplex's first key frames often come before its PMTs have been read
// (right after a tune, the air sends pictures at once and the tables within
// 100 ms or so): until every PMT the PAT lists has been read, the cache asks
// for the whole stream and keeps what arrives, then reads it as if the tables
// had been known from the start. A zap soon after a tune then finds the GOP
// before the last key frame too; a stream opened during that wait is handed
// what was kept, from the lock on. `kMaxLearningBytes` of stream, or
// `kLearningPats` PATs without every PMT, end that wait.
//
// A hub tap: fed on the source's thread, and `leadIn` runs under the hub's lock
// as a consumer joins (see `PacketHub::LeadIn`). It asks the demux for the PAT,
// every PMT and the streams of every service with video; radio services are not
// kept, every audio frame is a starting point already.
class ZapCache : public PacketConsumer {
public:
    ZapCache();

    // Bytes kept at most per service: a second of a 24 Mbit/s service. Well below
    // the smallest queue a stream is opened with (4 MiB for a viewer), so that a
    // lead-in never pushes its own key frame out of the queue.
    static constexpr std::size_t kMaxServiceBytes = 3u << 20;
    // 0.6 s of video (90 kHz ticks): the sound libmpv buffers before it starts
    // (0.2 s), with the audio sent up to a PES (0.2 s) behind the pictures.
    static constexpr std::int64_t kMinLeadInTicks = 54000;
    static constexpr std::size_t kMaxLearningBytes = kMaxServiceBytes;
    static constexpr int kLearningPats = 5;

    void onPackets(std::span<const std::uint8_t> packets) override;
    void onDiscontinuity() override;
    void onEnd() override;

    // Gives `consumer` what is held of `wanted`'s program (found by number, else
    // by PMT PID); nothing when none is held. While the tables are being
    // learnt, every packet kept so far (the consumer picks out its own).
    void leadIn(const ServiceSpec& wanted, PacketConsumer& consumer);

private:
    // The packets of one PSI PID and the section being read from them.
    struct TableReader {
        SectionAssembler assembler;
        std::vector<std::uint8_t> collecting;  // packets of the section being read
    };
    // The packets from one random access point on.
    struct Span {
        std::vector<std::uint8_t> bytes;  // the PAT and the PMT, then the service's packets
        std::size_t preludeBytes = 0;     // of the PAT and the PMT
        // Bytes of the prelude's PMT the span's own PMT packets have matched so
        // far; -1 once one differed. When the tables were learnt after the key
        // frame, the prelude's PMT is the very packets that follow, which are
        // then not sent twice.
        std::ptrdiff_t pmtEcho = 0;
        std::size_t pmtBytes = 0;  // of the prelude's PMT
        std::int64_t firstPts = -1;       // of the video, -1 until known
        std::int64_t lastPts = -1;
        bool open = false;

        void drop() {
            bytes.clear();
            open = false;
        }
        bool young() const;
        bool repeatsPreludePmt(const std::uint8_t* packet);
    };
    struct Program {
        std::uint16_t number = 0;
        std::uint16_t pmtPid = 0;
        std::uint16_t videoPid = 0;
        std::uint8_t videoType = 0;
        std::vector<std::uint16_t> streamPids;  // PCR and playable streams, from the PMT
        std::vector<std::uint8_t> pmtPackets;   // the last complete PMT, as sent
        Span current;                           // since the last access point
        Span previous;                          // the one before, up to it

        void drop() {
            current.drop();
            previous.drop();
        }
    };

    void handlePacket(const std::uint8_t* packet);
    void read(TableReader& reader, const std::uint8_t* packet, const SectionAssembler::Handler& handler);
    void onPat(SectionBytes section);
    void onPmt(SectionBytes section);
    void begin(Program& program);
    void take(Program& program, const std::uint8_t* packet);
    void reindex();
    void forget();
    bool everyPmtRead() const;
    void endLearning(bool replay);
    const Program* find(const ServiceSpec& wanted) const;

    mutable std::mutex mutex_;
    TableReader patReader_;
    std::vector<std::uint8_t> patPackets_;  // the last complete PAT, as sent
    std::map<std::uint16_t, TableReader> pmtReaders_;
    std::uint16_t readingPmtPid_ = 0;
    std::vector<Program> programs_;
    // Per PID, the programs (indexes into programs_) whose span takes its packets.
    std::vector<std::vector<std::uint16_t>> owners_ = std::vector<std::vector<std::uint16_t>>(kTsPidCount);
    std::vector<std::uint16_t> ownedPids_;
    // While the tables are being learnt: every packet since the multiplex began.
    bool learning_ = true;
    int learningPats_ = 0;
    std::vector<std::uint8_t> learnt_;
    SectionAssembler::Handler patHandler_ = [this](SectionBytes section) { onPat(section); };
    SectionAssembler::Handler pmtHandler_ = [this](SectionBytes section) { onPmt(section); };
};

// False when VANTIRO_ZAP_CACHE=0: streams then start with the live packets
// (troubleshooting, and benchmarks of what the cache is worth).
bool zapCacheWanted();

}  // namespace vantiro
