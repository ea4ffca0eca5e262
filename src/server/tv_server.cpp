#include "server/tv_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <set>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>

#include <filesystem>

#include "channels/channel_list.h"
#include "dvb/queue_drain.h"
#include "guide/guide_cache.h"
#include "guide/guide_channel.h"
#include "guide/now_next_text.h"
#include "guide/xmltv_writer.h"
#include "server/channel_playlist.h"
#include "server/http_request.h"

namespace vantiro {
namespace {

constexpr int kListenBacklog = 8;
constexpr int kReceiveTimeoutSeconds = 5;
// The whole request head must arrive within this time from accept: a per-recv
// timeout alone lets a client that trickles one byte every few seconds hold its
// connection slot for ever, and enough such clients lock everyone out.
constexpr auto kRequestHeadDeadline = std::chrono::seconds(kReceiveTimeoutSeconds);
constexpr std::size_t kReceiveBytes = 4096;
constexpr int kLivePollTimeoutMs = 1000;
constexpr auto kDemoChunkPause = std::chrono::milliseconds(20);
// Pause before accepting again when the process is out of descriptors or memory.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(50);

constexpr std::string_view kStreamPrefix = "/stream.ts";
constexpr std::string_view kChannelsPrefix = "/channels.txt";
constexpr std::string_view kPlayPrefix = "/play";
constexpr std::string_view kEpgXmlPrefix = "/epg.xml";
constexpr std::string_view kEpgTextPrefix = "/epg.txt";
constexpr std::string_view kPlaylistPrefix = "/channels.m3u";
constexpr const char* kIptvQuery = "iptv=1";

constexpr const char* kHelpText =
    "Vantiro\n"
    "\n"
    "GET  /channels.txt   channel list\n"
    "POST /play?index=N   switch channel\n"
    "GET  /stream.ts      live MPEG-TS\n"
    "GET  /status.txt     current channel\n";

constexpr std::string_view kStreamHeader =
    "HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nConnection: close\r\n"
    "Cache-Control: no-store\r\nAccept-Ranges: none\r\n\r\n";

constexpr const char* kBadIndex = "error: bad channel index\n";

// A /watch viewer's queue: seconds of an HD service beside the socket's own
// buffer. A viewer that takes nothing while this much more arrives (a paused or
// vanished player) is dropped, freeing its queue.
constexpr PacketQueueLimits kViewerQueueLimits{4u << 20, 12u << 20};

// Sends all of `data`, continuing partial sends; false once the peer is gone.
bool sendAll(int socket, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool sendAll(int socket, std::string_view text) { return sendAll(socket, text.data(), text.size()); }

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Errors after which accepting can go on: the connection that failed is gone, or
// the shortage it reports passes once other connections end.
bool acceptErrorIsTransient(int error) {
    switch (error) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case EAGAIN:
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return true;
        default:
            return false;
    }
}

bool acceptErrorIsShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// Overflow lines on standard error at most this often; the count says what was skipped.
constexpr auto kOverflowReportInterval = std::chrono::seconds(1);

// Prints "dvr overflow (N so far)" on standard error, at most once per interval.
// Runs on the source's thread.
std::function<void(std::uint64_t)> overflowReporter() {
    auto lastLine = std::make_shared<std::atomic<std::int64_t>>(std::numeric_limits<std::int64_t>::min());
    return [lastLine](std::uint64_t total) {
        std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        std::int64_t last = lastLine->load();
        if (last != std::numeric_limits<std::int64_t>::min() &&
            now - last < std::chrono::duration_cast<std::chrono::milliseconds>(kOverflowReportInterval).count())
            return;
        lastLine->store(now);
        std::fprintf(stderr, "dvr overflow (%llu so far)\n", static_cast<unsigned long long>(total));
        std::fflush(stderr);
    };
}

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

// An answer other than 200 with a one-line text body that a player shows or logs.
void sendRefusal(int client, const char* status, const std::string& text) {
    char header[256];
    int length = std::snprintf(header, sizeof header,
                               "HTTP/1.1 %s\r\nContent-Type: text/plain; charset=utf-8\r\n"
                               "Content-Length: %zu\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n",
                               status, text.size());
    sendAll(client, std::string(header, static_cast<std::size_t>(length)) + text);
}

// Whether `url` can stand in a Location header: no control characters, so a
// playlist's URL cannot add headers of its own.
bool headerSafe(std::string_view url) {
    return std::none_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

void sendRedirect(int client, const std::string& url) {
    sendAll(client, "HTTP/1.1 302 Found\r\nLocation: " + url +
                        "\r\nContent-Length: 0\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n");
}

// A Host header that may be copied into URLs: a name or address and a port.
bool plausibleHost(std::string_view host) {
    if (host.empty() || host.size() > 255) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
    });
}


}  // namespace

TvServer::TvServer(int port, std::string channelListPath, std::string demoClipPath)
    : port_(port),
      channelListPath_(std::move(channelListPath)),
      demoClipPath_(std::move(demoClipPath)),
      demoMode_(!demoClipPath_.empty()),
      guideCacheDirectory_(guideCacheDirectory()) {
    mux_.setOverflowObserver(overflowReporter());
}

TvServer::~TvServer() {
    stopServing();
    stopReceptionWatch();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (demoClipFd_ >= 0) ::close(demoClipFd_);
}

int TvServer::run() {
    if (!startUp()) return 1;
    if (!openListener()) return 1;
    return acceptConnections();
}

int TvServer::currentIndex() {
    std::lock_guard<std::mutex> guard(lock_);
    return current_;
}

std::size_t TvServer::connectionCount() {
    std::lock_guard<std::mutex> guard(connectionsMutex_);
    return connections_.size();
}

// ---- listening ------------------------------------------------------------

bool TvServer::openListener() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        std::perror("socket");
        return false;
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("bind");
        return false;
    }
    if (::listen(listenFd_, kListenBacklog) != 0) {
        std::perror("listen");
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    boundPort_ = ntohs(address.sin_port);
    std::printf("Vantiro server on http://0.0.0.0:%d  (/channels.txt, /play?index=N, /stream.ts)\n",
                boundPort_);
    std::fflush(stdout);
    return true;
}

int TvServer::acceptConnections() {
    for (;;) {
        int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            dispatchConnection(client);
            continue;
        }
        int error = errno;
        {
            std::lock_guard<std::mutex> guard(connectionsMutex_);
            if (stopping_) return 0;
        }
        if (!acceptErrorIsTransient(error)) {
            std::fprintf(stderr, "accept: %s\n", std::strerror(error));
            return 0;
        }
        if (acceptErrorIsShortage(error)) std::this_thread::sleep_for(kAcceptBackoff);
    }
}

void TvServer::stopServing() {
    {
        std::lock_guard<std::mutex> guard(connectionsMutex_);
        stopping_ = true;
        for (int client : connections_) ::shutdown(client, SHUT_RDWR);
    }
    if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
    stopReceptionWatch();
    generation_.fetch_add(1);  // ends streams that wait for multiplex data
    stopRequested_.store(true);
    std::unique_lock<std::mutex> guard(connectionsMutex_);
    connectionsEnded_.wait(guard, [this] { return connections_.empty(); });
}

void TvServer::dispatchConnection(int client) {
    {
        std::lock_guard<std::mutex> guard(connectionsMutex_);
        if (stopping_ || connections_.size() >= kMaxConnectionThreads) {
            ::close(client);
            return;
        }
        connections_.insert(client);
    }
    auto deadline = std::chrono::steady_clock::now() + kRequestHeadDeadline;
    try {
        std::thread(&TvServer::handleConnection, this, client, deadline).detach();
    } catch (const std::system_error&) {
        releaseConnection(client);  // no thread to be had: drop just this connection
    }
}

void TvServer::releaseConnection(int client) {
    std::lock_guard<std::mutex> guard(connectionsMutex_);
    connections_.erase(client);
    ::close(client);
    if (connections_.empty()) connectionsEnded_.notify_all();
}

namespace {

// Receives the request head until its blank line, kMaxRequestHeadBytes, or the
// deadline. False when the peer closed, failed or missed the deadline.
bool receiveRequestHead(int client, std::chrono::steady_clock::time_point deadline,
                        std::string& head) {
    while (!requestHeadComplete(head) && head.size() < kMaxRequestHeadBytes) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd readable{client, POLLIN, 0};
        int polled = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;
        char buffer[kReceiveBytes];
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

void TvServer::handleConnection(int client, std::chrono::steady_clock::time_point deadline) {
    timeval timeout{kReceiveTimeoutSeconds, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    std::string head;
    if (receiveRequestHead(client, deadline, head)) {
        if (std::optional<RequestLine> request = parseRequestLine(head)) {
            if (request->target.size() >= kStreamPrefix.size() &&
                startsWith(request->target, kStreamPrefix)) {
                streamTo(client);
            } else if (isWatchTarget(request->target)) {
                watchChannel(client, watchIndexFromTarget(request->target), request->method);
            } else {
                handleRequest(client, request->method, request->target, head);
            }
        }
    }
    releaseConnection(client);
}

// ---- routes ---------------------------------------------------------------

void TvServer::sendText(int client, const std::string& body) {
    sendBody(client, "text/plain; charset=utf-8", body);
}

void TvServer::sendBody(int client, const char* contentType, const std::string& body) {
    char header[256];
    int length = std::snprintf(header, sizeof header,
                               "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
                               "Connection: close\r\nCache-Control: no-store\r\n\r\n",
                               contentType, body.size());
    std::string answer(header, static_cast<std::size_t>(length));
    answer += body;
    sendAll(client, answer);
}

void TvServer::handleRequest(int client, const std::string& method, const std::string& target,
                             std::string_view head) {
    if (target == "/" || target == "/index.html") {
        sendText(client, kHelpText);
    } else if (target == "/status.txt") {
        std::lock_guard<std::mutex> guard(lock_);  // held while answering, as a switch would
        sendText(client, statusText());
    } else if (startsWith(target, kChannelsPrefix)) {
        sendText(client, channelLines(target));
    } else if (startsWith(target, kPlayPrefix)) {
        sendText(client, switchAnswer(method, target));
    } else if (startsWith(target, kEpgXmlPrefix)) {
        sendBody(client, "application/xml; charset=utf-8", epgXml());
    } else if (startsWith(target, kEpgTextPrefix)) {
        sendText(client, epgText());
    } else if (startsWith(target, kPlaylistPrefix)) {
        sendBody(client, "audio/x-mpegurl; charset=utf-8", channelPlaylist(channels_, requestBaseUrl(client, head)));
    } else if (isRecordingTarget(target)) {
        sendText(client, recordingAnswer(method, target));
    } else {
        sendText(client, "not found\n");
    }
}

std::string TvServer::statusText() {
    bool valid = current_ >= 0 && static_cast<std::size_t>(current_) < channels_.size();
    std::string text = "current=" + std::to_string(current_);
    text += "\nname=" + (valid ? channels_[static_cast<std::size_t>(current_)].name : std::string());
    text += "\nchannels=" + std::to_string(channels_.size());
    text += "\nmode=";
    text += demoMode_ ? "demo" : "tuner";
    text += "\n";
    return text;
}

std::string TvServer::channelLines(const std::string& target) const {
    bool listOnline = target.find(kIptvQuery) != std::string::npos;
    std::string lines;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const Channel& channel = channels_[i];
        if (channel.isOnline() && !listOnline) continue;
        bool radio = !channel.isOnline() && channel.videoPid == 0;
        // A name or URL from a playlist may hold tabs or line breaks, which would
        // split the six-field line: they become blanks, as in the channel file.
        lines += std::to_string(i) + '\t' + singleLineField(channel.name) + '\t' +
                 std::to_string(channel.frequency / 1000000) + '\t' + (radio ? "1" : "0") + '\t' +
                 (channel.isOnline() ? "iptv" : "dvb") + '\t' + singleLineField(channel.url) + '\n';
    }
    return lines;
}

std::string TvServer::switchAnswer(const std::string& method, const std::string& target) {
    if (method != "POST" && method != "GET") return "error: use POST\n";
    long index = channelIndexFromTarget(target);
    if (index < 0 || static_cast<std::size_t>(index) >= channels_.size()) return kBadIndex;
    std::string error;
    if (!switchChannel(static_cast<int>(index), &error)) return "error: " + error + "\n";
    return "ok\n";
}

// ---- guide ----------------------------------------------------------------

void TvServer::saveGuideWhenDue() {
    constexpr long long kSaveEverySeconds = 60;
    const long long now = static_cast<long long>(std::time(nullptr));
    std::lock_guard<std::mutex> guard(guideCacheMutex_);
    const std::uint64_t revision = guide_.revision();
    if (guideCollector_.sectionsSeen() == 0 || revision == guideSavedRevision_ || now - guideSavedAt_ < kSaveEverySeconds)
        return;
    guideSavedRevision_ = revision;
    guideSavedAt_ = now;
    guide_.dropEndedBefore(now);
    std::set<std::uint32_t> frequencies;
    for (const ServiceEvents& service : guide_.snapshot()) frequencies.insert(service.key.frequency);
    std::string error;
    for (std::uint32_t frequency : frequencies)
        if (!saveGuideCache(guideCacheDirectory_, guide_, frequency, &error)) std::fprintf(stderr, "%s\n", error.c_str());
}

void TvServer::refreshGuideFromCache() {
    saveGuideWhenDue();
    long long newest = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(guideCacheDirectory_, ec)) {
        std::error_code timeError;
        auto time = entry.last_write_time(timeError);
        if (!timeError) newest = std::max<long long>(newest, time.time_since_epoch().count());
    }
    std::lock_guard<std::mutex> guard(guideCacheMutex_);
    if (newest == guideCacheStamp_) return;
    guideCacheStamp_ = newest;
    loadGuideCache(guideCacheDirectory_, guide_);
}

std::string TvServer::epgXml() {
    refreshGuideFromCache();
    guide_.dropEndedBefore(static_cast<UnixSeconds>(std::time(nullptr)));
    return writeXmltv(guideChannels(channels_), guide_);
}

std::string TvServer::epgText() {
    refreshGuideFromCache();
    const auto now = static_cast<UnixSeconds>(std::time(nullptr));
    guide_.dropEndedBefore(now);
    return nowNextText(guideChannels(channels_), guide_, now);
}

// ---- switching ------------------------------------------------------------

bool TvServer::switchChannel(int index, std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    return switchChannelLocked(index, error);
}

bool TvServer::switchChannelLocked(int index, std::string* error, const std::function<void()>& whileLocking) {
    if (index < 0 || static_cast<std::size_t>(index) >= channels_.size()) {
        setError(error, "bad channel");
        return false;
    }
    // The /stream.ts client is taken over; /watch viewers of the multiplex stay
    // unless the tuner leaves it (a retune or an online channel ends them).
    disconnectStreamingClient();
    current_ = -1;
    generation_.fetch_add(1);

    const Channel& channel = channels_[static_cast<std::size_t>(index)];
    wantedTunerChannel_ = -1;
    if (channel.isOnline()) {
        mux_.close();
        watchdog_.forget();
        current_ = index;
        generation_.fetch_add(1);
        std::printf("playing %s (IPTV)\n", channel.name.c_str());
        std::fflush(stdout);
        return true;
    }
    if (demoMode_) {
        current_ = index;
        generation_.fetch_add(1);
        return true;
    }
    if (!tunerAvailable()) {
        wantedTunerChannel_ = index;
        setError(error, "tuner is not open");
        return false;
    }
    unsigned megahertz = channel.frequency / 1000000;
    // Another service of the tuned multiplex needs no retune: its source keeps
    // reading. Another multiplex is read, and the caller's consumer opened on it,
    // while the tuner locks, so that its first packets after lock are not lost
    // (a /stream.ts client opened later gets them from the zap cache).
    const bool retune = !mux_.isOn(channel.frequency, channel.deliverySystem);
    auto join = [&](std::string*) {
        guideTap_.follow(mux_);
        if (whileLocking) whileLocking();
        return true;
    };
    switch (mux_.start(channel.frequency, channel.deliverySystem, retune, kChannelTuneTimeoutMs, join, error)) {
        case TunedMux::Start::NoSignal:
            watchdog_.forget();
            setError(error, "no signal on " + std::to_string(megahertz) + " MHz");
            return false;
        case TunedMux::Start::Failed:
            watchdog_.forget();
            return false;
        case TunedMux::Start::Ready:
            break;
    }
    if (retune || !watchdog_.watching()) watchdog_.watch(std::chrono::steady_clock::now());
    current_ = index;
    generation_.fetch_add(1);
    std::printf("playing %s (%u MHz)\n", channel.name.c_str(), megahertz);
    std::fflush(stdout);
    return true;
}

// A tuner channel whose relay cannot run (DVR busy, stick gone, no descriptors
// left) streams to nobody: the status must not go on naming it.
void TvServer::dropCurrentChannel(const std::string& reason) {
    mux_.endConsumers();
    std::fprintf(stderr, "stream of %s stopped: %s\n",
                 channels_[static_cast<std::size_t>(current_)].name.c_str(), reason.c_str());
    current_ = -1;
    generation_.fetch_add(1);
}

// ---- the stream slot ------------------------------------------------------

void TvServer::takeOverStreamSlot(int client) {
    std::lock_guard<std::mutex> guard(streamSlotMutex_);
    int previous = streamSocket_.exchange(client);
    if (previous >= 0) ::shutdown(previous, SHUT_RDWR);
}

void TvServer::disconnectStreamingClient() {
    std::lock_guard<std::mutex> guard(streamSlotMutex_);
    int previous = streamSocket_.exchange(-1);
    if (previous >= 0) ::shutdown(previous, SHUT_RDWR);
}

void TvServer::releaseStreamSlot(int client) {
    std::lock_guard<std::mutex> guard(streamSlotMutex_);
    int expected = client;
    streamSocket_.compare_exchange_strong(expected, -1);
}

// ---- streaming ------------------------------------------------------------

void TvServer::streamTo(int client) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (current_ >= 0 && static_cast<std::size_t>(current_) < channels_.size() &&
            channels_[static_cast<std::size_t>(current_)].isOnline()) {
            sendText(client, "this is an IPTV channel: play its URL directly\n");
            return;
        }
    }
    startWantedTunerChannel();
    takeOverStreamSlot(client);
    int generation = generation_.load();

    if (demoMode_) {
        if (sendAll(client, kStreamHeader))
            streamDemoClip(client, [this, generation] { return generation_.load() == generation; });
        releaseStreamSlot(client);
        return;
    }

    std::unique_ptr<ServiceStream> stream;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (current_ >= 0) {
            // Every client gets a consumer of its own; a source that ended by
            // itself (a read error) is opened again on the tuned multiplex.
            const Channel& channel = channels_[static_cast<std::size_t>(current_)];
            std::string error;
            if (mux_.startSource(&error)) {
                guideTap_.follow(mux_);
                stream = mux_.openService(serviceSpecOf(channel), &error);
            }
            if (!stream) dropCurrentChannel(error);
        }
        generation = generation_.load();
    }
    if (!stream) {
        sendText(client, "no channel\n");
    } else if (sendAll(client, kStreamHeader)) {
        streamLive(client, stream->queue(), generation);
    }
    releaseStreamSlot(client);
}

void TvServer::streamDemoClip(int client, const std::function<bool()>& keepGoing) {
    std::vector<char> chunk(kStreamChunkBytes);
    off_t offset = 0;  // each client's own position, so that a take-over never splits the clip
    while (keepGoing()) {
        ssize_t n = ::pread(demoClipFd_, chunk.data(), chunk.size(), offset);
        if (n > 0) {
            if (!sendAll(client, chunk.data(), static_cast<std::size_t>(n))) return;
            offset += n;
            std::this_thread::sleep_for(kDemoChunkPause);
        } else if (n == 0) {
            if (offset == 0) return;  // an empty clip has nothing to loop
            offset = 0;
        } else if (errno != EINTR) {
            return;
        }
    }
}

void TvServer::streamLive(int client, PacketQueue& queue, int generation) {
    DrainControl control;
    control.keepGoing = [this, generation] { return generation_.load() == generation; };
    control.checkEvery = std::chrono::milliseconds(kLivePollTimeoutMs);
    control.writeThrough = true;  // the source's thread sends while the client keeps up
    drainQueue(queue, client, control);
}

// ---- per-channel streams ----------------------------------------------------

std::string TvServer::requestBaseUrl(int client, std::string_view head) {
    std::string host = headerValue(head, "Host");
    if (plausibleHost(host)) return "http://" + host;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    char text[INET_ADDRSTRLEN] = "127.0.0.1";
    if (::getsockname(client, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return "http://" + std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

void TvServer::watchChannel(int client, long index, std::string_view method) {
    if (index < 0 || static_cast<std::size_t>(index) >= channels_.size()) {
        sendRefusal(client, "404 Not Found", kBadIndex);
        return;
    }
    const Channel& channel = channels_[static_cast<std::size_t>(index)];
    if (channel.isOnline()) {
        if (headerSafe(channel.url)) sendRedirect(client, channel.url);
        else sendRefusal(client, "502 Bad Gateway", "error: this channel's URL cannot be redirected to\n");
        return;
    }
    // Players ask what a URL is before they play it (Kodi does): the answer to
    // that must not retune under the viewers of another multiplex.
    if (method == "HEAD") {
        sendAll(client, kStreamHeader);
        return;
    }
    // Viewers end with their multiplex or the server, never with a /play on the
    // same multiplex.
    auto keepGoing = [this] { return !stopRequested_.load(); };
    if (demoMode_) {
        if (sendAll(client, kStreamHeader)) streamDemoClip(client, keepGoing);
        return;
    }

    std::unique_ptr<ServiceStream> stream;
    std::string error;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Another service of the tuned multiplex joins without a retune; any
        // other channel moves the tuner, as /play does, ending the old viewers.
        // The stream is opened while the tuner locks, and let go if it does not.
        auto open = [&] { stream = mux_.openService(serviceSpecOf(channel), &error, kViewerQueueLimits); };
        if (mux_.isOn(channel.frequency, channel.deliverySystem)) open();
        else if (!switchChannelLocked(static_cast<int>(index), &error, open)) stream.reset();
    }
    if (!stream) {
        sendRefusal(client, "503 Service Unavailable", "error: " + error + "\n");
        return;
    }
    if (!sendAll(client, kStreamHeader)) return;
    DrainControl control;
    control.keepGoing = keepGoing;
    control.checkEvery = std::chrono::milliseconds(kLivePollTimeoutMs);
    control.writeThrough = true;
    DrainEnd end = drainQueue(stream->queue(), client, control);
    // What a viewer lost in its own queue is its connection's fault, not the
    // reception's: said once, when it ends, so a slow link can be told apart.
    if (end == DrainEnd::Closed && stream->queue().hopeless()) {
        std::fprintf(stderr, "viewer of %s dropped: too far behind\n", channel.name.c_str());
    } else if (std::uint64_t lost = stream->queue().droppedPackets(); lost > 0) {
        std::fprintf(stderr, "viewer of %s fell behind: %llu packets lost\n", channel.name.c_str(),
                     static_cast<unsigned long long>(lost));
    }
    std::fflush(stderr);
}

}  // namespace vantiro

namespace vantiro {

// ---- tuner and reception ----------------------------------------------------

bool TvServer::tunerAvailable() {
    if (tuner_.isOpen()) return true;
    auto now = std::chrono::steady_clock::now();
    if (lastTunerOpen_ != std::chrono::steady_clock::time_point{} && now - lastTunerOpen_ < kTunerRetryInterval)
        return false;
    lastTunerOpen_ = now;
    if (!tuner_.open(kServerAdapter)) return false;
    std::printf("frontend: %s, %zu channels\n", tuner_.frontendName().c_str(), channels_.size());
    std::fflush(stdout);
    return true;
}

void TvServer::startWantedTunerChannel() {
    int wanted = -1;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (demoMode_ || current_ >= 0 || wantedTunerChannel_ < 0) return;
        wanted = wantedTunerChannel_;
    }
    switchChannel(wanted);
}

void TvServer::startReceptionWatch() {
    if (receptionThread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(receptionMutex_);
        receptionStop_ = false;
    }
    receptionThread_ = std::thread(&TvServer::watchReception, this);
}

void TvServer::stopReceptionWatch() {
    {
        std::lock_guard<std::mutex> guard(receptionMutex_);
        receptionStop_ = true;
    }
    receptionWake_.notify_all();
    if (receptionThread_.joinable()) receptionThread_.join();
}

// Stream clients stay connected through a loss: their consumers stay joined to
// the multiplex, which goes on delivering once the signal is back.
void TvServer::watchReception() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> wait(receptionMutex_);
    Clock::time_point due = Clock::now() + kReceptionMinPause;
    while (!receptionWake_.wait_until(wait, due, [this] { return receptionStop_; })) {
        std::lock_guard<std::mutex> guard(lock_);
        Clock::time_point now = Clock::now();
        SignalWatchdog::Change change = watchdog_.poll(now);
        due = std::max(watchdog_.nextDue(Clock::now()), now + kReceptionMinPause);
        unsigned megahertz = watchdog_.frequency() / 1000000;
        if (change == SignalWatchdog::Change::Lost) {
            std::fprintf(stderr, "signal lost on %u MHz; retuning\n", megahertz);
            std::fflush(stderr);
        } else if (change == SignalWatchdog::Change::Regained) {
            std::fprintf(stderr, "signal back on %u MHz\n", megahertz);
            std::fflush(stderr);
        }
    }
}

}  // namespace vantiro
