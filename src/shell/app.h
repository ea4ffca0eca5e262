#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channels/channel.h"
#include "dvb/band_scan.h"
#include "dvb/pipe_output.h"
#include "dvb/service_stream.h"
#include "dvb/signal_watchdog.h"
#include "dvb/tuned_mux.h"
#include "dvb/tuner.h"
#include "player/player.h"
#include "record/recording.h"
#include "shell/video_canvas.h"
#include "ui/window_guide.h"

struct SDL_Window;

namespace vantiro {

// Toast durations, in seconds.
inline constexpr double kStatusToastSeconds = 10.0;
inline constexpr double kChannelToastSeconds = 2.5;
inline constexpr double kErrorToastSeconds = 4.0;
inline constexpr double kPlayerErrorToastSeconds = 5.0;
inline constexpr double kHintToastSeconds = 3.0;
inline constexpr double kCancelToastSeconds = 2.0;
inline constexpr double kMuteToastSeconds = 1.5;
inline constexpr double kTrackToastSeconds = 2.0;

// Adapters tried by `openTuner`, 0 up to this one.
inline constexpr int kLastAdapter = 3;

// The one object of the windowed player. It lives on the main thread's stack for
// the whole run; the overlay, the key handler and the scan read and write its
// fields directly. Only the scan fields are shared with the scan thread.
class App {
public:
    App();
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // ---- window (made by the window set-up) ----
    SDL_Window* window = nullptr;
    void* glContext = nullptr;  // SDL's GL context handle
    bool vsync = false;         // the swap interval could be set; else the loop caps itself
    VideoCanvas videoCanvas;    // the last picture libmpv drew
    bool uiReady = false;       // the UI library's context and back-ends are up
    // The next loop frame draws even when neither the video nor the overlay
    // changed: the first frame, a window shown, uncovered or resized.
    bool redrawRequested = true;

    // ---- programme guide ----
    // Before the devices, so that it outlives whatever reads the multiplex for it.
    WindowGuide guide;

    // ---- devices and playback ----
    // Declared in this order so that destruction releases the service's pipe,
    // the multiplex's source, then the player, then the tuner.
    Tuner tuner;
    bool tunerOpen = false;
    std::string tunerError;
    Player player;
    TunedMux mux{tuner};                         // the tuned multiplex and its one DVR source
    SignalWatchdog watchdog{tuner, mux};         // notices a lost signal and retunes
    std::unique_ptr<ServiceStream> liveService;  // the playing tuner channel's consumer
    PipeOutput livePipe;                         // what libmpv reads of it
    Recording recording;                         // R: the tuner channel written to a file
    std::string recordingName;                   // its channel; empty when not recording

    // ---- channels ----
    std::vector<Channel> channels;        // tuner channels first, then online channels
    std::vector<Channel> onlineChannels;  // copy of the online part
    int onlineCount = 0;
    bool onlineAvailable = false;  // from the service or a reachable local playlist
    bool audioOnly = false;        // the player's isAudioOnly, polled every 0.4 s
    double lastPlayerPoll = 0;
    std::vector<std::string> radioUrls;
    std::string sourceLabel = "online";
    std::string statusLine;
    bool openBrowserRequested = false;
    std::string channelListPath;
    std::string lastChannelPath;

    // ---- playback state ----
    bool connecting = false;
    double connectStart = 0;
    std::string connectingName;
    int currentIndex = -1;  // channel that plays, -1 = none
    int listSelection = 0;
    bool listOpen = false;
    bool scrollToSelection = false;
    bool fullscreen = false;
    std::uint32_t tunedFrequency = 0;  // Hz, 0 = none
    int tunedDeliverySystem = -1;

    // ---- audio and subtitle tracks (see track_switching.cpp) ----
    bool trackLog = false;  // VANTIRO_TRACK_LOG set: track selections and track toasts go to stderr
    std::uint64_t seenTracksGeneration = 0;
    std::string loggedTrackSelection;

    // ---- background scan (shared with the scan thread) ----
    ScanProgress scanProgress;
    std::thread scanThread;
    std::atomic<bool> scanning{false};
    std::atomic<bool> scanFinished{false};
    std::mutex scanMutex;
    std::vector<Mux> scanMuxResult;             // guarded by scanMutex
    std::vector<Channel> scanOnlineResult;      // guarded by scanMutex
    bool scanOnlineFetched = false;             // guarded by scanMutex
    bool onlineOnlyScan = false;
    std::string tvPlaylistUrl;

    // ---- start options ----
    bool listOpenAtStart = false;
    bool scanAtStart = false;
    bool installFirmwareAtStart = false;
    std::string demoFilePath;
    std::string screenshotPath;
    double screenshotDelay = 2.0;

    // ---- timers and UI state ----
    double startTime = 0;
    std::string lastAnnouncedError;
    bool playbackErrorHandled = false;  // the error of the current start was dealt with
    std::string toastText;
    double toastUntil = 0;
    double lastActivity = 0;
    float toolbarOffset = 0;
    int autoAdvanceCount = 0;
    bool quitRequested = false;
    double lastSignalPoll = 0;
    bool signalValid = false;
    int signalPercent = -1;
    int qualityPercent = -1;
    std::uint64_t dvrOverflows = 0;  // of the tuned multiplex, polled with the signal
    bool signalLost = false;         // the watchdog is retuning the tuned multiplex

    // ---- operations ----
    // Replaces the toast shown by `text` for `seconds`.
    void showToast(const std::string& text, double seconds);
    // The toast of a channel that failed to start (or to play), also written on
    // standard error as one line, so that a log of the window says why.
    void showStartFailure(const std::string& text, double seconds);
    // Opens the first of adapters 0..3 that opens; remembers why none did.
    void openTuner();
    // Index of the channel named by the last-channel file, or -1.
    int readLastChannel() const;
    void saveLastChannel(const Channel& channel) const;
    // Starts channel `index`; out-of-range indexes change nothing.
    void switchChannel(int index);
    // Tunes the multiplex of tuner channel `index` on a thread of its own, so
    // that the wait for lock passes while the window and the player are set up;
    // nothing for an online channel or without a tuner. The multiplex is the
    // thread's until finishTuneAhead, which everything else that uses the tuner
    // calls first (switchChannel, startScan, the loop, the shutdown).
    void tuneAhead(int index);
    // Waits for the tune begun by tuneAhead and takes its multiplex as the tuned
    // one when it locked; nothing when none is under way.
    void finishTuneAhead();
    // Ends the tuner channel's feed to the player (the multiplex stays tuned).
    void stopTunerFeed();
    // One key press (an SDL keycode), repeats excluded.
    void onKeyDown(std::int32_t key);
    // A radio service, or an online channel listed as radio.
    bool isAudioOnlyChannel(const Channel& channel) const;
    bool demoPlaying() const { return !demoFilePath.empty(); }
    int channelCount() const { return static_cast<int>(channels.size()); }

    // Per-frame work of the main loop that needs no window (see render_loop.cpp).
    void pollAudioOnly(double now);
    void watchConnecting(double now);
    void pollSignal(double now);
    void watchReception(double now);
    void announcePlaybackError(double now);
    // Notes a new track list or selection from the player (and logs it when asked to).
    void pollTracks();
    // "Audio: tha (2/2)" while the stream has several audio tracks, else empty.
    std::string audioTrackLine() const;

    // Recording (see window_recording.cpp). R starts or stops it.
    void toggleRecording();
    // True (with a toast) when a switch to `channel` would end the recording.
    bool refusedWhileRecording(const Channel& channel);
    // Notes a recording that ended by itself (full disk, multiplex lost).
    void pollRecording();
    // "REC mm:ss" while recording, else empty.
    std::string recordingMark() const;

    // Screen UI: background scan, overlay, browser.
    void startScan();
    void finishScan();
    void drawOverlay();
    void openBrowser();

private:
    std::thread tuneAheadThread;
    std::uint32_t tuneAheadFrequency = 0;
    std::int32_t tuneAheadSystem = -1;
    bool tuneAheadLocked = false;  // written by tuneAheadThread, read after its join

    // True when the player was handed the channel's stream.
    bool startOnlineChannel(int index, const Channel& channel);
    bool startTunerChannel(int index, const Channel& channel);
    void noSignalOn(const Channel& channel);
    void markStarted(int index, const Channel& channel);
    void forgetTunedMultiplex();
    void moveInList(int step);
    void zapBy(int step);
    void escapeChain();
    void toggleFullscreen();
    void toggleMute();
    void toggleGuideInfo();
    void cycleAudioTrack();
    void cycleSubtitles();
    void showTrackToast(const std::string& text);
};

// Seconds on the UI clock: SDL's millisecond tick count / 1000.
double nowSeconds();

// "<directory of channelListPath>/last-channel" ("." when the path has no '/').
std::string lastChannelPathFor(const std::string& channelListPath);

}  // namespace vantiro
