#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "channels/channel.h"
#include "dvb/packet_queue.h"
#include "dvb/signal_watchdog.h"
#include "dvb/tuned_mux.h"
#include "dvb/tuner.h"
#include "guide/guide_collector.h"
#include "guide/guide_store.h"
#include "guide/guide_tap.h"
#include "server/server_recordings.h"

namespace vantiro {

// Connection threads that may run at once; a connection beyond it is closed at
// once. Far above what one household's clients open, far below what exhausts
// the process.
inline constexpr std::size_t kMaxConnectionThreads = 256;
// The server drives the first adapter only.
inline constexpr int kServerAdapter = 0;
// A tuner that could not be opened is tried again at most this often.
inline constexpr std::chrono::milliseconds kTunerRetryInterval{1000};
// The reception of the tuned multiplex is looked at when the watchdog has
// something due (see `SignalWatchdog::nextDue`), never sooner than this after
// the last look.
inline constexpr std::chrono::milliseconds kReceptionMinPause{20};
// Bytes of stream data read and sent at a time (128 transport packets).
inline constexpr std::size_t kStreamChunkBytes = 24064;

// Whether `target` is one of the recording routes (/record, /record/stop,
// /recordings.txt), answered by `TvServer::recordingAnswer`.
bool isRecordingTarget(std::string_view target);

// The headless HTTP TV server: lists the channels, switches the one tuner on
// request and relays the current channel's transport stream (or a looping demo
// clip) to one /stream.ts client at a time. Beside it, any number of viewers of
// /watch/N.ts each stream one service of the tuned multiplex (a viewer of another
// multiplex retunes, ending the viewers of the old one). Every connection
// carries one request and runs on its own detached thread; the thread that
// calls `run` only accepts.
//
// `lock` guards the current index, the tuner and the tuned multiplex. The
// channel list is fixed once listening starts and is read without it. Each
// streaming client gets a consumer of the multiplex of its own (a bounded
// queue), drained by its connection thread, so a client that falls behind
// loses only its own data.
class TvServer {
public:
    // `demoClipPath` non-empty selects demo mode: that transport stream file is
    // looped to every streaming client instead of the tuner.
    TvServer(int port, std::string channelListPath, std::string demoClipPath);
    // Stops serving (see `stopServing`) before the members go.
    ~TvServer();
    TvServer(const TvServer&) = delete;
    TvServer& operator=(const TvServer&) = delete;

    // Start-up, then the listening loop. 1 when start-up or the listening socket
    // fails, 0 when accepting fails for good.
    int run();

    // The steps of `run`, apart so that they can be driven one by one.
    // Loads the channels, adds reachable online channels, opens the tuner and
    // switches to the first channel (or prepares the demo clip). False: exit 1.
    bool startUp();
    // Socket, bind, listen and the console line. False (after perror): exit 1.
    bool openListener();
    // Accepts until accepting fails for good or `stopServing`; returns 0.
    int acceptConnections();

    // Ends the listening loop, disconnects every client and waits until every
    // connection thread has finished. The server never does this on its own; it
    // is for owners that need an orderly end (tests, embedding).
    void stopServing();

    // The port actually listened on (the chosen one when constructed with 0).
    int boundPort() const { return boundPort_; }

    // Connection threads running now.
    std::size_t connectionCount();

    // Switches the tuner (or, for an online channel or in demo mode, only the
    // current index). Disconnects the streaming client. `error` may be null.
    bool switchChannel(int index, std::string* error = nullptr);

    // Answers every route but /stream.ts and /watch/N.ts on `client`. `head` is
    // the whole request head (for its headers).
    void handleRequest(int client, const std::string& method, const std::string& target,
                       std::string_view head = {});
    // Serves /stream.ts on `client` until the stream ends or is taken over.
    void streamTo(int client);
    // Serves /watch/N.ts: channel `index` (-1: no such channel) on `client` until
    // its multiplex is left, the client goes or falls hopelessly behind. A HEAD
    // request gets the answer's header only and never moves the tuner.
    void watchChannel(int client, long index, std::string_view method = "GET");

    // Sends a 200 text/plain answer with `body`.
    static void sendText(int client, const std::string& body);
    // Sends a 200 answer of `contentType` with `body`.
    static void sendBody(int client, const char* contentType, const std::string& body);

    // The programme guide served by /epg.xml and /epg.txt. It starts from the disk
    // cache and follows it; a collector on the relay's EIT adds what is on air.
    GuideStore& guide() { return guide_; }

    const std::vector<Channel>& channels() const { return channels_; }
    int currentIndex();

private:
    // `whileLocking` (optional) opens the caller's consumer of the channel's
    // multiplex once its source reads, before the wait for lock.
    bool switchChannelLocked(int index, std::string* error, const std::function<void()>& whileLocking = {});
    bool startDemoMode();
    void addReachableOnlineChannels();
    std::string statusText();
    std::string channelLines(const std::string& target) const;
    std::string switchAnswer(const std::string& method, const std::string& target);
    std::string recordingAnswer(const std::string& method, const std::string& target);
    std::string startRecording(const std::string& target);
    // Reloads the guide cache when a file in it changed since the last look, and
    // writes what the broadcast changed (at most once a minute).
    void refreshGuideFromCache();
    void saveGuideWhenDue();
    std::string epgXml();
    std::string epgText();

    void dispatchConnection(int client);
    // `deadline`: when the request head must have arrived (set at accept).
    void handleConnection(int client, std::chrono::steady_clock::time_point deadline);
    void releaseConnection(int client);

    // Under `lock`: stops the relay and leaves no current channel.
    void dropCurrentChannel(const std::string& reason);

    void takeOverStreamSlot(int client);
    void disconnectStreamingClient();
    void releaseStreamSlot(int client);
    void streamDemoClip(int client, const std::function<bool()>& keepGoing);
    // "http://host:port" as the client reached the server: its Host header, else
    // the address it connected to.
    static std::string requestBaseUrl(int client, std::string_view head);
    void streamLive(int client, PacketQueue& queue, int generation);

    // Signal loss: a thread of its own polls the watchdog under the lock.
    void startReceptionWatch();
    void stopReceptionWatch();
    void watchReception();
    // Opens the tuner again when it was missing or busy, at most once per
    // `kTunerRetryInterval`; called under the lock. True when it is open.
    bool tunerAvailable();
    // /stream.ts while a wanted tuner channel waits for the tuner: tries to start it.
    void startWantedTunerChannel();

    int port_;
    std::string channelListPath_;
    std::string demoClipPath_;
    bool demoMode_;
    std::vector<Channel> channels_;
    Tuner tuner_;
    TunedMux mux_{tuner_};
    SignalWatchdog watchdog_{tuner_, mux_};  // guarded by lock_
    std::mutex lock_;
    int current_ = -1;
    // A tuner channel asked for while the tuner could not be opened: /stream.ts
    // starts it once the tuner opens. Guarded by lock_.
    int wantedTunerChannel_ = -1;
    std::chrono::steady_clock::time_point lastTunerOpen_{};  // guarded by lock_
    std::atomic<int> generation_{0};
    std::atomic<int> streamSocket_{-1};
    int demoClipFd_ = -1;

    GuideStore guide_;
    GuideCollector guideCollector_{guide_, 0};
    GuideTap guideTap_{guideCollector_};  // joins the tuned multiplex's reader; under `lock`
    std::string guideCacheDirectory_;
    std::mutex guideCacheMutex_;          // serialises cache reloads and saves
    long long guideCacheStamp_ = -1;      // newest file time seen, guarded by it
    std::uint64_t guideSavedRevision_ = 0;  // guarded by it
    long long guideSavedAt_ = 0;            // wall-clock seconds, guarded by it

    // Serialises taking the stream socket out of its slot and shutting it down
    // with the streaming thread's release of the slot, so that a socket is never
    // shut down after its number was closed and handed to another connection.
    std::mutex streamSlotMutex_;

    int listenFd_ = -1;
    int boundPort_ = -1;

    std::thread receptionThread_;
    std::mutex receptionMutex_;
    std::condition_variable receptionWake_;
    bool receptionStop_ = false;  // guarded by receptionMutex_

    // Sockets of the running connection threads, for the thread cap and for an
    // orderly stop. A socket is closed only while holding the mutex.
    std::mutex connectionsMutex_;
    std::condition_variable connectionsEnded_;
    std::unordered_set<int> connections_;
    bool stopping_ = false;
    std::atomic<bool> stopRequested_{false};  // ends /watch streams waiting for data

    // Declared last so that a recording still running ends (its file closed on
    // a whole packet) before the multiplex it reads goes.
    ServerRecordings recordings_;
};

}  // namespace vantiro
