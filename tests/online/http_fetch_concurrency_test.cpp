#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "online/http_fetch.h"
#include "online/m3u_playlist.h"
#include "support/http_test_server.h"

namespace vantiro {
namespace {

// The start-up download and the scan thread's download may overlap: calls
// share nothing, so each must get its own complete answer.
TEST(HttpFetchConcurrency, ParallelDownloadsEachGetTheirOwnAnswer) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.started()) << server.startError();
    constexpr int kThreads = 4;
    constexpr int kRounds = 5;
    std::vector<int> entriesSeen(kThreads, 0);
    std::vector<std::string> errorsSeen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                std::string body, error;
                bool redirected = (t + round) % 2 == 0;
                if (fetchUrl(server.httpUrl(redirected ? "/redirect" : "/playlist.m3u8"), body, &error))
                    entriesSeen[t] += static_cast<int>(parseM3u(body).size());
                else
                    errorsSeen[t] += error + ";";
                if (!fetchUrl(server.httpUrl("/missing"), body, &error) && error != "HTTP 404")
                    errorsSeen[t] += error + ";";
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(errorsSeen[t], "") << "thread " << t;
        EXPECT_EQ(entriesSeen[t], 2 * kRounds) << "thread " << t;
    }
}

}  // namespace
}  // namespace vantiro
