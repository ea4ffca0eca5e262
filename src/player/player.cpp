#include "player/player.h"

#include "player/audio_quiet.h"
#include "player/track_choice.h"

#include <SDL.h>
#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

namespace vantiro {

namespace {

constexpr std::uint64_t kMuteObserverId = 1;
constexpr std::uint64_t kTrackListObserverId = 2;
constexpr std::chrono::milliseconds kStopWait{1000};
constexpr std::chrono::milliseconds kLastPictureHold{500};
constexpr std::int64_t kUnknownEntry = -1;

// A descriptor carries an MPEG transport stream. The relay passes the whole PAT
// but only the chosen service's PMT, so libavformat would wait for the other
// PMTs and analyse five seconds of the live stream before the first picture;
// the streams the PMT declares are all the player needs.
constexpr const char* kDescriptorOptions = "demuxer-lavf-format=mpegts,demuxer-lavf-probe-info=nostreams";

constexpr std::pair<const char*, const char*> kOptions[] = {
    {"config", "no"},
    {"load-scripts", "no"},
    {"vo", "libmpv"},
    {"hwdec", "auto-safe"},
    {"idle", "yes"},
    {"keep-open", "no"},
    {"osc", "no"},
    {"osd-level", "0"},
    {"input-default-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"terminal", "no"},
    {"msg-level", "all=warn"},
    {"audio-client-name", "Vantiro"},
    {"cache", "yes"},
    {"demuxer-max-bytes", "32MiB"},
    // Without a sound device libmpv would report the normal end of every stream
    // as an error ("audio output initialization failed"); the null output keeps
    // the end a normal one and video-only playback going.
    {"audio-fallback-to-null", "yes"},
};

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

void* lookUpGlProcedure(void*, const char* name) {
    return SDL_GL_GetProcAddress(name);
}

mpv_node stringNode(const char* text) {
    mpv_node node{};
    node.format = MPV_FORMAT_STRING;
    node.u.string = const_cast<char*>(text);
    return node;
}

const mpv_node* mapValue(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list) return nullptr;
    for (int i = 0; i < map.u.list->num; ++i)
        if (std::strcmp(map.u.list->keys[i], key) == 0) return &map.u.list->values[i];
    return nullptr;
}

std::string stringValue(const mpv_node& map, const char* key) {
    const mpv_node* value = mapValue(map, key);
    return value && value->format == MPV_FORMAT_STRING ? value->u.string : "";
}

TrackKind trackKindOf(const std::string& type) {
    if (type == "video") return TrackKind::Video;
    if (type == "audio") return TrackKind::Audio;
    if (type == "sub") return TrackKind::Subtitle;
    return TrackKind::Other;
}

MediaTrack trackOf(const mpv_node& entry) {
    MediaTrack track;
    if (const mpv_node* id = mapValue(entry, "id"); id && id->format == MPV_FORMAT_INT64) track.id = id->u.int64;
    track.kind = trackKindOf(stringValue(entry, "type"));
    track.language = stringValue(entry, "lang");
    track.title = stringValue(entry, "title");
    if (const mpv_node* selected = mapValue(entry, "selected"); selected && selected->format == MPV_FORMAT_FLAG)
        track.selected = selected->u.flag != 0;
    return track;
}

// Resets a manual track choice of the previous start, so that every start
// picks its tracks by the preferred languages again.
constexpr const char* kTrackOptions = "aid=auto,sid=auto";

// "loadfile" answers with the id of the playlist entry it created.
std::int64_t playlistEntryIdOf(const mpv_node& reply) {
    if (reply.format != MPV_FORMAT_NODE_MAP || !reply.u.list) return kUnknownEntry;
    const mpv_node_list* map = reply.u.list;
    for (int i = 0; i < map->num; ++i)
        if (std::strcmp(map->keys[i], "playlist_entry_id") == 0 && map->values[i].format == MPV_FORMAT_INT64)
            return map->values[i].u.int64;
    return kUnknownEntry;
}

}  // namespace

Player::~Player() { shutdown(); }

bool Player::create(std::string* error) {
    handle_ = mpv_create();
    if (!handle_) {
        setError(error, "mpv_create failed");
        return false;
    }
    for (const auto& [name, value] : kOptions) mpv_set_option_string(handle_, name, value);
    if (const char* output = chosenAudioOutput()) mpv_set_option_string(handle_, "ao", output);
    silenceAlsaErrors();
    if (mpv_initialize(handle_) < 0) {
        setError(error, "mpv_initialize failed");
        return false;
    }
    mpv_observe_property(handle_, kMuteObserverId, "mute", MPV_FORMAT_FLAG);
    mpv_observe_property(handle_, kTrackListObserverId, "track-list", MPV_FORMAT_NODE);
    return true;
}

bool Player::createRenderContext(std::string* error) {
    if (!handle_) {
        setError(error, "player is not initialised");
        return false;
    }
    mpv_opengl_init_params glInit{};
    glInit.get_proc_address = lookUpGlProcedure;
    glInit.get_proc_address_ctx = nullptr;
    int advancedControl = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advancedControl},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&renderContext_, handle_, params) < 0) {
        renderContext_ = nullptr;
        setError(error, "mpv render context creation failed");
        return false;
    }
    mpv_render_context_set_update_callback(renderContext_, &Player::noteRenderUpdate, this);
    return true;
}

void Player::noteRenderUpdate(void* player) {
    auto* self = static_cast<Player*>(player);
    {
        std::lock_guard lock(self->updateMutex_);
        self->updatePending_ = true;
    }
    self->updateArrived_.notify_one();
}

bool Player::takeVideoUpdate() {
    if (!renderContext_) return false;
    {
        std::lock_guard lock(updateMutex_);
        if (!updatePending_) return false;
        updatePending_ = false;
    }
    if ((mpv_render_context_update(renderContext_) & MPV_RENDER_UPDATE_FRAME) == 0) return false;
    if (!holdsLastPicture()) return true;
    mpv_render_frame_info next{};
    if (mpv_render_context_get_info(renderContext_, {MPV_RENDER_PARAM_NEXT_FRAME_INFO, &next}) < 0) return true;
    if ((next.flags & MPV_RENDER_FRAME_INFO_PRESENT) == 0) return false;
    // Before the new file is loaded, a picture can only be the last file's.
    const bool newPicture = (next.flags & MPV_RENDER_FRAME_INFO_REDRAW) == 0 && playing_.load();
    if (newPicture) return true;
    takeFrameUndrawn();
    return false;
}

// A start's first moments: libmpv has let go of the last file's pictures and
// asks for redraws of what it has left, which is nothing or the old picture.
// Drawing them would put black on screen for the few hundredths of a second
// until the new start's first picture, and a frame of a software renderer's
// time into the start itself; the window keeps the last picture instead.
// After half a second, after a stop, or once the start has shown its first
// picture, every redraw libmpv asks for is drawn.
bool Player::holdsLastPicture() const {
    if (!renderContext_ || presenting_.load()) return false;
    return std::chrono::steady_clock::now() - startedAt_ <= kLastPictureHold;
}

// libmpv's video output waits until the render thread has taken each frame it
// queued, redraws included: a redraw the window does not draw is taken without
// drawing, so that the start goes on at once.
void Player::takeFrameUndrawn() {
    int skip = 1;
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(renderContext_, params);
}

void Player::waitForVideoUpdate(std::chrono::steady_clock::duration limit) {
    std::unique_lock lock(updateMutex_);
    updateArrived_.wait_for(lock, limit, [this] { return updatePending_; });
}

bool Player::load(const char* target, const char* perFileOptions, std::string* error) {
    if (!handle_) {
        setError(error, "player is not initialised");
        return false;
    }
    // The demuxer is chosen per file: a global "demuxer-lavf-format" set once to
    // "mpegts" cannot be set back to automatic detection (the empty string is
    // taken as a format name), so every URL after a tuner channel would fail.
    std::vector<char*> keys{const_cast<char*>("name"), const_cast<char*>("url"), const_cast<char*>("flags")};
    std::vector<mpv_node> values{stringNode("loadfile"), stringNode(target), stringNode("replace")};
    std::string options = kTrackOptions;
    if (perFileOptions) options = options + "," + perFileOptions;
    keys.push_back(const_cast<char*>("options"));
    values.push_back(stringNode(options.c_str()));
    mpv_node_list arguments{static_cast<int>(values.size()), values.data(), keys.data()};
    mpv_node command{};
    command.format = MPV_FORMAT_NODE_MAP;
    command.u.list = &arguments;
    mpv_node reply{};
    int result = mpv_command_node(handle_, &command, &reply);
    if (result < 0) {
        setError(error, mpv_error_string(result));
        return false;
    }
    startedAt_ = std::chrono::steady_clock::now();
    currentEntry_ = playlistEntryIdOf(reply);
    mpv_free_node_contents(&reply);
    takeTrackList(nullptr);  // the new start's tracks come with libmpv's next track-list change
    lastError_.clear();
    active_.exchange(true);
    playing_.exchange(false);
    presenting_.exchange(false);
    return true;
}

// libmpv ends a file on its own threads after the stop command returns, and its
// demuxer may go on reading a descriptor until then. Callers close the relay's
// pipe right after stopping, and the next pipe may get the same number, so stop
// waits until libmpv has let go of the file (bounded: a wedged libmpv must not
// freeze the window).
void Player::waitUntilIdle() {
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    while (std::chrono::steady_clock::now() < deadline) {
        int idle = 0;
        if (mpv_get_property(handle_, "idle-active", MPV_FORMAT_FLAG, &idle) < 0 || idle) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// libmpv reads the stream on its own threads and may let go of it only after
// "stop" has returned (the wait above is bounded) or after the next "loadfile".
// The caller closes its descriptor right after stopping the player, and the
// number is soon reused by the next relay's pipe; so libmpv reads a duplicate
// that stays open until libmpv is done with that start (see the event handling).
bool Player::playFd(int fd, std::string* error) {
    if (!handle_) {
        setError(error, "player is not initialised");
        return false;
    }
    int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        setError(error, std::string("cannot use descriptor: ") + std::strerror(errno));
        return false;
    }
    char url[48];
    std::snprintf(url, sizeof url, "fd://%d", own);
    if (!load(url, kDescriptorOptions, error)) {
        ::close(own);
        return false;
    }
    if (currentEntry_ == kUnknownEntry)
        untrackedDuplicates_.push_back(own);  // a libmpv without entry ids: kept until shutdown
    else
        duplicates_[currentEntry_] = Duplicate{own, false};
    return true;
}

// libmpv reports the end of a start after it has closed that start's stream, and
// a start replaced before it began is dropped without ever being opened: in both
// cases the duplicate is no longer read.
void Player::noteStarted(std::int64_t entry) {
    for (auto it = duplicates_.begin(); it != duplicates_.end() && it->first < entry;) {
        if (it->second.started) {
            ++it;
            continue;
        }
        ::close(it->second.fd);
        it = duplicates_.erase(it);
    }
    if (auto it = duplicates_.find(entry); it != duplicates_.end()) it->second.started = true;
}

void Player::noteEnded(std::int64_t entry) {
    if (auto it = duplicates_.find(entry); it != duplicates_.end()) {
        ::close(it->second.fd);
        duplicates_.erase(it);
    }
}

bool Player::playUrl(const std::string& url, std::string* error) {
    return load(url.c_str(), nullptr, error);
}

void Player::stop() {
    if (!handle_) return;
    const char* command[] = {"stop", nullptr};
    mpv_command(handle_, command);
    startedAt_ = {};
    waitUntilIdle();
    currentEntry_ = kNoEntry;
    active_.exchange(false);
    playing_.exchange(false);
    presenting_.exchange(false);
}

void Player::setMute(bool mute) {
    if (!handle_) return;
    int flag = mute ? 1 : 0;
    mpv_set_property(handle_, "mute", MPV_FORMAT_FLAG, &flag);
    muted_.exchange(mute);
}

void Player::setTrackPreferences(const TrackPreferences& preferences) {
    if (!handle_) return;
    mpv_set_property_string(handle_, "alang", preferences.audioLanguages.c_str());
    mpv_set_property_string(handle_, "slang", preferences.subtitleLanguages.c_str());
}

bool Player::selectAudioTrack(std::int64_t id, std::string* error) { return selectTrack("aid", id, error); }

bool Player::selectSubtitleTrack(std::int64_t id, std::string* error) { return selectTrack("sid", id, error); }

// libmpv switches the track before the property call returns, so reading the
// track list straight after shows the new selection without waiting for its event.
bool Player::selectTrack(const char* property, std::int64_t id, std::string* error) {
    if (!handle_) {
        setError(error, "player is not initialised");
        return false;
    }
    const std::string value = id == kNoTrack ? "no" : std::to_string(id);
    if (int result = mpv_set_property_string(handle_, property, value.c_str()); result < 0) {
        setError(error, mpv_error_string(result));
        return false;
    }
    rereadTrackList();
    return true;
}

void Player::rereadTrackList() {
    mpv_node list{};
    if (mpv_get_property(handle_, "track-list", MPV_FORMAT_NODE, &list) < 0) {
        takeTrackList(nullptr);
        return;
    }
    takeTrackList(&list);
    mpv_free_node_contents(&list);
}

void Player::takeTrackList(const mpv_node* list) {
    TrackList tracks;
    if (list && list->format == MPV_FORMAT_NODE_ARRAY && list->u.list)
        for (int i = 0; i < list->u.list->num; ++i) tracks.push_back(trackOf(list->u.list->values[i]));
    tracks_ = std::move(tracks);
    ++tracksGeneration_;
}

// From the observed track list: a synchronous property read would wait for
// libmpv's core, which may itself be waiting for this thread to render (its video
// output reconfigures at the start of a file), and the window would stall until
// libmpv gives up on the render call.
bool Player::isAudioOnly() const {
    bool audio = false;
    for (const MediaTrack& track : tracks_) {
        if (track.kind == TrackKind::Video) return false;
        audio = audio || track.kind == TrackKind::Audio;
    }
    return audio;
}

mpv_handle* Player::newClient(const char* name) const { return handle_ ? mpv_create_client(handle_, name) : nullptr; }

double Player::numberProperty(const char* name) const {
    double value = -1;
    if (!handle_ || mpv_get_property(handle_, name, MPV_FORMAT_DOUBLE, &value) < 0) return -1;
    return value;
}

void Player::pumpEvents() {
    if (!handle_) return;
    for (;;) {
        mpv_event* event = mpv_wait_event(handle_, 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_SHUTDOWN:
            active_.exchange(false);
            playing_.exchange(false);
            presenting_.exchange(false);
            break;
        case MPV_EVENT_START_FILE: {
            auto* start = static_cast<mpv_event_start_file*>(event->data);
            startedEntry_ = start ? start->playlist_entry_id : kUnknownEntry;
            if (start) noteStarted(start->playlist_entry_id);
            break;
        }
        case MPV_EVENT_END_FILE: {
            auto* end = static_cast<mpv_event_end_file*>(event->data);
            if (end) noteEnded(end->playlist_entry_id);
            if (end && isStale(end->playlist_entry_id)) break;
            if (end && end->reason == MPV_END_FILE_REASON_ERROR) lastError_ = mpv_error_string(end->error);
            active_.exchange(false);
            playing_.exchange(false);
            presenting_.exchange(false);
            break;
        }
        case MPV_EVENT_FILE_LOADED:
            if (!isStale(startedEntry_)) playing_.exchange(true);
            break;
        case MPV_EVENT_PLAYBACK_RESTART:
            if (isStale(startedEntry_)) break;
            playing_.exchange(true);
            presenting_.exchange(true);
            break;
        case MPV_EVENT_PROPERTY_CHANGE: {
            auto* property = static_cast<mpv_event_property*>(event->data);
            if (!property) break;
            if (event->reply_userdata == kTrackListObserverId)
                takeTrackList(property->format == MPV_FORMAT_NODE ? static_cast<mpv_node*>(property->data) : nullptr);
            else if (property->format == MPV_FORMAT_FLAG && property->data)
                muted_.exchange(*static_cast<int*>(property->data) != 0);
            break;
        }
        default:
            break;
        }
    }
}

bool Player::isStale(std::int64_t entry) const {
    if (currentEntry_ == kUnknownEntry || entry == kUnknownEntry) return false;
    return entry != currentEntry_;
}

void Player::render(unsigned framebuffer, int width, int height) {
    if (!renderContext_) return;
    mpv_opengl_fbo target{static_cast<int>(framebuffer), width, height, 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &target},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(renderContext_, params);
}

void Player::shutdown() {
    if (renderContext_) {
        mpv_render_context_free(renderContext_);
        renderContext_ = nullptr;
    }
    if (handle_) {
        mpv_terminate_destroy(handle_);
        handle_ = nullptr;
    }
    for (const auto& [entry, duplicate] : duplicates_) ::close(duplicate.fd);
    duplicates_.clear();
    for (int fd : untrackedDuplicates_) ::close(fd);
    untrackedDuplicates_.clear();
    tracks_.clear();
    ++tracksGeneration_;
    active_.exchange(false);
    playing_.exchange(false);
    presenting_.exchange(false);
}

}  // namespace vantiro
