#include "server/tv_server.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "support/http_client.h"
#include "support/server_harness.h"
#include "support/ts_packets.h"

namespace vantiro {
namespace {

using test::connectToLoopback;
using test::getRequest;
using test::httpExchange;
using test::ServerHarness;
using test::ServerSetup;
using test::tunerChannel;

constexpr const char* kDemoStatus = "current=0\nname=News 1\nchannels=2\nmode=demo\n";

std::string demoClip() {
    std::string clip;
    for (int i = 0; i < 200; ++i) clip += test::tsPacket(static_cast<std::uint16_t>(i % 32), i);
    return clip;
}

ServerSetup demoSetup(std::string clip = demoClip()) {
    return ServerSetup{{tunerChannel("News 1", 474, 512), tunerChannel("News 2", 482, 600)},
                       {}, std::move(clip), true};
}

// A client connection that the test closes itself.
class Client {
public:
    explicit Client(int port) : fd_(connectToLoopback(port)) {}
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    int fd() const { return fd_; }
    bool connected() const { return fd_ >= 0; }
    void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    std::string read(std::size_t count) { return test::readExactly(fd_, count); }
    std::string readRest() { return test::readToEnd(fd_); }
    // True when the server closes the connection (rather than going silent).
    bool seesEndOfStream() {
        char buffer[65536];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return false;
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return true;
        }
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

void waitForConnections(TvServer& server, std::size_t count) {
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.connectionCount() != count && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(server.connectionCount(), count);
}

// Connects and waits until the server has taken the connection: a connection
// thread runs for it, or the server closed it at once. Pacing the clients so keeps
// them within the small listen backlog even on a busy machine.
std::unique_ptr<Client> connectAccepted(ServerHarness& harness) {
    std::size_t before = harness.server().connectionCount();
    auto client = std::make_unique<Client>(harness.port());
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (harness.server().connectionCount() > before) break;
        pollfd closed{client->fd(), POLLIN, 0};
        if (::poll(&closed, 1, 0) == 1) break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return client;
}

void raiseDescriptorLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

TEST(ServerStreaming, ASecondStreamingClientDisconnectsTheFirst) {
    ServerHarness harness{demoSetup()};
    Client first(harness.port());
    first.send(getRequest("/stream.ts"));
    ASSERT_EQ(first.read(110 + 1000).size(), 1110u);

    Client second(harness.port());
    second.send(getRequest("/stream.ts"));
    ASSERT_EQ(second.read(110 + 1000).size(), 1110u);
    EXPECT_TRUE(first.seesEndOfStream());
    EXPECT_EQ(second.read(188 * 400).size(), 188u * 400);  // the newest keeps streaming
}

TEST(ServerStreaming, ASwitchDisconnectsTheStreamingClient) {
    ServerHarness harness{demoSetup()};
    Client viewer(harness.port());
    viewer.send(getRequest("/stream.ts"));
    ASSERT_EQ(viewer.read(110 + 188).size(), 298u);
    EXPECT_EQ(harness.fetch("/play?index=1", "POST"), "ok\n");
    EXPECT_TRUE(viewer.seesEndOfStream());

    Client again(harness.port());  // it has to ask again
    again.send(getRequest("/stream.ts"));
    EXPECT_EQ(again.read(110 + 188).size(), 298u);
}

TEST(ServerStreaming, AStreamThatEndedNeverCostsALaterConnectionItsSocket) {
    ServerHarness harness{demoSetup("")};  // an empty clip: every stream ends at once
    for (int round = 0; round < 5; ++round) {
        httpExchange(harness.port(), getRequest("/stream.ts"));
        // Connections that may now hold the descriptor numbers the streams had.
        std::vector<std::unique_ptr<Client>> waiting;
        for (int i = 0; i < 6; ++i) {
            waiting.push_back(std::make_unique<Client>(harness.port()));
            waiting.back()->send("GET /status.txt HTTP/1.1\r\n");
        }
        waitForConnections(harness.server(), 6);
        EXPECT_EQ(harness.fetch("/play?index=0", "POST"), "ok\n");
        for (auto& client : waiting) {
            client->send("\r\n");
            EXPECT_EQ(test::bodyOf(client->readRest()), kDemoStatus);
        }
    }
}

TEST(ServerLoad, FiftyClientsSendFiveHundredStatusRequests) {
    ServerHarness harness{demoSetup()};
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 50; ++c) {
        clients.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                if (harness.fetch("/status.txt") == kDemoStatus) ++answered;
        });
    }
    for (auto& t : clients) t.join();
    EXPECT_EQ(answered.load(), 500);
}

TEST(ServerLoad, IdleConnectionsDoNotStopOthersBeingAnswered) {
    ServerHarness harness{demoSetup()};
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 200; ++i) idle.push_back(connectAccepted(harness));
    waitForConnections(harness.server(), 200);
    EXPECT_EQ(harness.fetch("/status.txt"), kDemoStatus);
}

TEST(ServerLoad, ConnectionsBeyondTheCapAreClosedAtOnce) {
    raiseDescriptorLimit();
    ServerHarness harness{demoSetup()};
    std::vector<std::unique_ptr<Client>> idle;
    for (std::size_t i = 0; i < kMaxConnectionThreads; ++i) idle.push_back(connectAccepted(harness));
    waitForConnections(harness.server(), kMaxConnectionThreads);

    EXPECT_EQ(httpExchange(harness.port(), getRequest("/status.txt")), "");
    idle.pop_back();
    waitForConnections(harness.server(), kMaxConnectionThreads - 1);
    EXPECT_EQ(harness.fetch("/status.txt"), kDemoStatus);
}

TEST(ServerLoad, TwoThousandIdleConnectionsDoNotEndTheServer) {
    raiseDescriptorLimit();
    ServerHarness harness{demoSetup()};
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 2000; ++i) {
        idle.push_back(connectAccepted(harness));
        ASSERT_TRUE(idle.back()->connected());
    }
    idle.clear();
    waitForConnections(harness.server(), 0);
    EXPECT_EQ(harness.fetch("/status.txt"), kDemoStatus);
}

TEST(ServerLoad, RandomBytesNeverEndTheServer) {
    ServerHarness harness{demoSetup()};
    std::mt19937 random(20240601);
    const std::vector<std::string> pieces{"GET ", "POST ", " ", "/play?index=", "/stream.ts",
                                          "/status.txt", "%", "%zz", "&", "\r\n", "\r\n\r\n",
                                          "/channels.txt", "iptv=1", "\0", "+"};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&, seed = random()] {
            std::mt19937 rng(seed);
            for (int i = 0; i < 75; ++i) {
                std::string request;
                int parts = static_cast<int>(rng() % 12);
                for (int p = 0; p < parts; ++p) {
                    if (rng() % 2) request += pieces[rng() % pieces.size()];
                    else request += static_cast<char>(rng() % 256);
                }
                request += "\r\n\r\n";
                Client client(harness.port());
                client.send(request);
                client.read(4096);  // a stream never ends by itself: take a little of it
            }
        });
    }
    for (auto& t : senders) t.join();
    EXPECT_EQ(harness.fetch("/play?index=0"), "ok\n");
    EXPECT_EQ(harness.fetch("/status.txt"), kDemoStatus);
}

TEST(ServerLoad, SwitchesStreamsAndStatusAtTheSameTime) {
    ServerHarness harness{demoSetup()};
    std::atomic<bool> bad{false};
    auto repeat = [&](auto action) {
        return std::thread([&, action] {
            for (int i = 0; i < 40; ++i) action();
        });
    };
    std::vector<std::thread> threads;
    threads.push_back(repeat([&] {
        std::string answer = harness.fetch("/play?index=" + std::to_string(std::rand() % 2), "POST");
        if (answer != "ok\n") bad = true;
    }));
    threads.push_back(repeat([&] {
        std::string status = harness.fetch("/status.txt");
        if (status.rfind("current=", 0) != 0) bad = true;
    }));
    for (int s = 0; s < 2; ++s) {
        threads.push_back(repeat([&] {
            Client viewer(harness.port());
            viewer.send(getRequest("/stream.ts"));
            viewer.read(110 + 188 * 20);
        }));
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(bad);
}

}  // namespace
}  // namespace vantiro
