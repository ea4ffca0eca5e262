#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "player/media_track.h"
#include "player/track_preferences.h"

struct mpv_handle;
struct mpv_node;
struct mpv_render_context;

namespace vantiro {

// One libmpv player that draws into the caller's current OpenGL context.
// Every call comes from the main thread; the flags are atomics so that status
// code may read them without ceremony.
class Player {
public:
    Player() = default;
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Makes and initialises the libmpv handle with the fixed option set.
    bool create(std::string* error = nullptr);
    // Needs the window's GL context to be current.
    bool createRenderContext(std::string* error = nullptr);

    // Plays an MPEG transport stream read from `fd`; the descriptor stays the caller's.
    bool playFd(int fd, std::string* error = nullptr);
    // Plays a URL; libmpv detects the container.
    bool playUrl(const std::string& url, std::string* error = nullptr);
    void stop();
    void setMute(bool mute);
    // Languages libmpv picks its audio and subtitle tracks by at every later start.
    void setTrackPreferences(const TrackPreferences& preferences);
    // Selects audio track `id` of the file that plays (libmpv's id, see tracks()).
    bool selectAudioTrack(std::int64_t id, std::string* error = nullptr);
    // Selects subtitle track `id`; kNoTrack (0) turns subtitles off.
    bool selectSubtitleTrack(std::int64_t id, std::string* error = nullptr);
    // Every track of the file that plays, as libmpv last reported them.
    const TrackList& tracks() const { return tracks_; }
    // Grows whenever tracks() changed: a new file, a new stream, another selection.
    std::uint64_t tracksGeneration() const { return tracksGeneration_; }
    // The loaded file has at least one audio track and no video track, as the
    // track list last reported (tracks()); never waits for libmpv.
    bool isAudioOnly() const;
    // Drains libmpv's event queue without waiting.
    void pumpEvents();
    // Draws the current frame into an OpenGL framebuffer (0: the window's);
    // nothing without a render context.
    void render(unsigned framebuffer, int width, int height);
    // True when libmpv has a video frame to draw since the last call: a new one,
    // or the current one again after a change of its own. The window need not
    // draw the video otherwise; libmpv draws the same picture as before.
    // While a start holds the last picture (holdsLastPicture), only a picture
    // of the new start counts; libmpv's redraws and the last file's pictures
    // are taken without being drawn.
    bool takeVideoUpdate();
    // The first moments of a start, until its first picture: the window goes
    // on showing the last picture it has instead of libmpv's redraws.
    bool holdsLastPicture() const;
    // Waits until libmpv has something to draw or `limit` has passed.
    void waitForVideoUpdate(std::chrono::steady_clock::duration limit);
    // Frees the render context and the handle; harmless twice.
    void shutdown();

    bool active() const { return active_.load(); }
    bool playing() const { return playing_.load(); }
    // libmpv has begun playback of the current start: its first picture has gone
    // through the render context. False again from the next start or stop.
    bool presenting() const { return presenting_.load(); }
    bool muted() const { return muted_.load(); }
    // Another client of the same libmpv core (mpv_create_client) for a tool that
    // waits for the player's events on a thread of its own, as mpv's IPC clients
    // do; the caller frees it with mpv_destroy. Null without a player.
    mpv_handle* newClient(const char* name) const;
    // A numeric property of libmpv (e.g. "vo-drop-frame-count"); -1 when it has none.
    double numberProperty(const char* name) const;
    const std::string& lastError() const { return lastError_; }
    bool hasRenderContext() const { return renderContext_ != nullptr; }

private:
    bool load(const char* target, const char* perFileOptions, std::string* error);
    // Events of a file that a later start or a stop already replaced must not
    // touch the flags or the error of the file that plays now.
    bool isStale(std::int64_t playlistEntry) const;
    void waitUntilIdle();
    void takeFrameUndrawn();
    void noteStarted(std::int64_t playlistEntry);
    void noteEnded(std::int64_t playlistEntry);
    void takeTrackList(const mpv_node* list);
    void rereadTrackList();
    bool selectTrack(const char* property, std::int64_t id, std::string* error);
    // libmpv's render update callback, on libmpv's threads.
    static void noteRenderUpdate(void* player);

    static constexpr std::int64_t kNoEntry = 0;  // libmpv numbers entries from 1

    mpv_handle* handle_ = nullptr;
    mpv_render_context* renderContext_ = nullptr;
    std::atomic<bool> active_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> presenting_{false};
    std::atomic<bool> muted_{false};
    std::string lastError_;
    TrackList tracks_;
    std::uint64_t tracksGeneration_ = 0;
    std::chrono::steady_clock::time_point startedAt_{};  // of the last start
    std::int64_t currentEntry_ = kNoEntry;  // entry of the last start, -1 when libmpv did not say
    std::int64_t startedEntry_ = kNoEntry;  // entry of the last start-file event
    struct Duplicate {
        int fd;
        bool started;
    };
    std::map<std::int64_t, Duplicate> duplicates_;  // playlist entry -> the descriptor libmpv reads
    std::vector<int> untrackedDuplicates_;
    std::mutex updateMutex_;
    std::condition_variable updateArrived_;
    bool updatePending_ = false;  // guarded by updateMutex_
};

}  // namespace vantiro
