#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dvb/dvr_source.h"
#include "dvb/packet_hub.h"
#include "dvb/service_stream.h"
#include "dvb/zap_cache.h"

namespace vantiro {

class Tuner;
struct Channel;

// What a stored channel tells a `ServiceFilter`: its service id, its PMT PID and
// its elementary PIDs as first guesses.
ServiceSpec serviceSpecOf(const Channel& channel);

// The owner of the tuner's multiplex: the tuning, the one `DvrSource` reading it
// and the hub that shares it. Everything that wants packets asks it for a
// consumer: `openService` gives a single-program stream of program N in one
// call, `addConsumer` joins any other consumer (a section tap for the guide).
// Consumers of a multiplex end when it is left (`tune` to another one, `close`).
// The demux passes the union of the PIDs the consumers declare
// (`PacketConsumer::wantPids`; the whole stream for one that declares nothing),
// and follows it as consumers come, go and read new PMTs, without reopening
// the DVR. A stream of a service opened while the multiplex is read starts at
// the last random access point of its video, from the zap cache (unless
// VANTIRO_ZAP_CACHE=0), so that its player shows a picture at once; while
// anyone reads the multiplex, the cache asks for every TV service's PIDs.
//
// Not thread-safe: the owner (the window's main thread, the server under its
// lock) calls it. What it hands out (streams, memberships) may be used and
// destroyed on any thread, in any order relative to the `TunedMux`.
class TunedMux {
public:
    explicit TunedMux(Tuner& tuner);
    ~TunedMux() { close(); }
    TunedMux(const TunedMux&) = delete;
    TunedMux& operator=(const TunedMux&) = delete;

    // The tuner is on this multiplex and its source is reading.
    bool isOn(std::uint32_t frequency, std::int32_t deliverySystem) const;
    // Leaves the current multiplex (`close`), then tunes and waits for lock.
    // False with the tuner's error when there is none.
    bool tune(std::uint32_t frequency, std::int32_t deliverySystem, int timeoutMs, std::string* error = nullptr);
    // `tune` in two halves, for a caller that opens its consumers in between:
    // `startTune` leaves the current multiplex and asks for the new one without
    // waiting; `startSource` and `openService` may follow at once, so that the
    // demux passes the consumers' PIDs from the first packet after lock. A
    // stream opened only once the lock has been seen (it is polled) would miss
    // what the air sent meanwhile, a key frame sent right after lock included,
    // and its player would wait a whole GOP for the next. `awaitLock` waits for
    // the lock; after a failure the caller closes. Errors as `tune`'s.
    bool startTune(std::uint32_t frequency, std::int32_t deliverySystem, std::string* error = nullptr);
    bool awaitLock(int timeoutMs, std::string* error = nullptr);

    enum class Start { Ready, NoSignal, Failed };
    // A channel's start in that order: when `retune`, `startTune` to (frequency,
    // deliverySystem); then `startSource`, `join` (the caller opens its consumers:
    // a service stream, a guide tap) and, after a retune, `awaitLock` within
    // `timeoutMs`. NoSignal: the tune was refused or did not lock. Failed: the
    // source or `join` failed, with their error. After a failed retune the
    // multiplex is closed; without a retune it stays as it was.
    Start start(std::uint32_t frequency, std::int32_t deliverySystem, bool retune, int timeoutMs,
                const std::function<bool(std::string* error)>& join, std::string* error = nullptr);
    // Tunes the current multiplex again (after a loss of lock) and waits for
    // lock; the source and every consumer stay as they are, since the DVR device
    // outlives a retune. False without a multiplex or without lock.
    bool retune(int timeoutMs, std::string* error = nullptr);
    // Starts reading the tuner's adapter (demux filters and DVR) unless a source is
    // already reading. Error texts are those of `DvrSource::openAdapter`.
    bool startSource(std::string* error = nullptr);
    // Reads `fd` (taken over) as the multiplex instead: tests and benchmarks.
    bool startSourceFromFd(int fd, std::string* error = nullptr);
    // Ends every consumer (their readers see the end of their stream) but keeps
    // reading the multiplex.
    void endConsumers();
    // Ends the consumers, stops the source and forgets the multiplex.
    void close();

    // A single-program stream of `wanted`'s program from the running source,
    // from its cached start when there is one; null (and "no multiplex is being
    // received" in `error`) without a source.
    std::unique_ptr<ServiceStream> openService(const ServiceSpec& wanted, std::string* error = nullptr,
                                               PacketQueueLimits limits = {});
    // Joins any consumer to the hub; it leaves when the membership goes.
    HubMembership addConsumer(std::shared_ptr<PacketConsumer> consumer);

    bool sourceRunning() const;
    // The source's health; a default value when there is no source.
    SourceHealth health() const;
    // Called on the reading thread after every DVR overflow with the total of
    // the current source; kept for later sources.
    void setOverflowObserver(std::function<void(std::uint64_t total)> observer);
    std::uint32_t frequency() const { return frequency_; }
    std::int32_t deliverySystem() const { return deliverySystem_; }
    const std::shared_ptr<PacketHub>& hub() const { return hub_; }

private:
    bool startPrepared(std::unique_ptr<DvrSource> source, std::string* error);

    Tuner& tuner_;
    std::shared_ptr<PacketHub> hub_ = std::make_shared<PacketHub>();
    std::shared_ptr<ZapCache> zapCache_;  // the hub's tap; null when not wanted
    std::unique_ptr<DvrSource> source_;
    std::function<void(std::uint64_t)> overflowObserver_;
    std::uint32_t frequency_ = 0;
    std::int32_t deliverySystem_ = -1;
};

}  // namespace vantiro
