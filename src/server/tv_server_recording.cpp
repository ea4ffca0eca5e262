// The server's recording routes: POST /record?index=N[&minutes=M],
// POST /record/stop and GET /recordings.txt.
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "record/recording_path.h"
#include "server/http_request.h"
#include "server/tv_server.h"

namespace vantiro {
namespace {

constexpr double kMaxRecordMinutes = 24 * 60;

std::string_view pathOf(std::string_view target) { return target.substr(0, target.find('?')); }

// The value of `key=` in the target's query (the last one wins); none without it.
std::optional<std::string> queryValue(std::string_view target, std::string_view key) {
    std::size_t question = target.find('?');
    if (question == std::string_view::npos) return std::nullopt;
    std::string_view query = target.substr(question + 1);
    std::optional<std::string> value;
    for (;;) {
        std::size_t amp = query.find('&');
        std::string_view piece = query.substr(0, amp);
        if (piece.size() > key.size() && piece.substr(0, key.size()) == key && piece[key.size()] == '=')
            value = urlDecode(piece.substr(key.size() + 1)).value_or("");
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return value;
}

// The recording's length from "minutes=M": none (until stopped) without it,
// false when it is not a number of minutes above zero and at most a day.
bool parseMinutes(std::string_view target, std::optional<std::chrono::milliseconds>& duration) {
    std::optional<std::string> text = queryValue(target, "minutes");
    if (!text) return true;
    char* end = nullptr;
    double minutes = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !std::isfinite(minutes) || minutes <= 0 || minutes > kMaxRecordMinutes)
        return false;
    duration = std::chrono::milliseconds(static_cast<long long>(std::llround(minutes * 60000.0)));
    return true;
}

}  // namespace

bool isRecordingTarget(std::string_view target) {
    std::string_view path = pathOf(target);
    return path == "/record" || path == "/record/stop" || path == "/recordings.txt";
}

std::string TvServer::recordingAnswer(const std::string& method, const std::string& target) {
    std::string_view path = pathOf(target);
    if (path == "/recordings.txt") return recordings_.listText();
    // A GET (a link preview, a prefetch) must never start or stop a recording.
    if (method != "POST") return "error: use POST\n";
    if (path == "/record/stop") return recordings_.stop() ? "ok\n" : "error: not recording\n";
    return startRecording(target);
}

std::string TvServer::startRecording(const std::string& target) {
    long index = channelIndexFromTarget(target);
    if (index < 0 || static_cast<std::size_t>(index) >= channels_.size()) return "error: bad channel index\n";
    const Channel& channel = channels_[static_cast<std::size_t>(index)];
    if (channel.isOnline() || demoMode_) return "error: only tuner channels can be recorded\n";
    std::optional<std::chrono::milliseconds> duration;
    if (!parseMinutes(target, duration)) return "error: bad minutes\n";
    if (std::string busy = recordings_.busyWith(); !busy.empty())
        return "error: already recording " + busy + " (POST /record/stop first)\n";

    std::unique_ptr<ServiceStream> stream;
    std::string error;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // As /watch: a service of the tuned multiplex joins without a retune; a
        // channel on another one moves the tuner, ending the old multiplex's viewers.
        // The stream is opened while the tuner locks, and let go if it does not.
        auto open = [&] { stream = mux_.openService(serviceSpecOf(channel), &error, kRecordingQueueLimits); };
        if (mux_.isOn(channel.frequency, channel.deliverySystem)) open();
        else if (!switchChannelLocked(static_cast<int>(index), &error, open)) stream.reset();
    }
    if (!stream) return "error: " + error + "\n";
    std::string taken;
    if (!recordings_.begin(std::move(stream), channel.name, defaultRecordingPath(channel.name, std::time(nullptr)),
                           duration, &taken, &error))
        return "error: " + error + "\n";
    return "ok " + taken + "\n";
}

}  // namespace vantiro
