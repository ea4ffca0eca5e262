// m3u_bench write FILE ENTRIES   writes a playlist of ENTRIES entries
// m3u_bench time FILE ROUNDS     prints every one of ROUNDS timings of parseM3u
//                                and of a plain line count (std::getline into a
//                                string) over the same bytes, in milliseconds,
//                                the two taken in turn so that both see the same load
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "online/m3u_playlist.h"

namespace {

using Clock = std::chrono::steady_clock;

int writePlaylist(const char* path, long entries) {
    std::ofstream out(path, std::ios::binary);
    out << "#EXTM3U\n";
    for (long i = 0; i < entries; ++i) {
        out << "#EXTINF:-1 tvg-id=\"ch" << i << "\" tvg-logo=\"https://img.example/logo/" << i
            << ".png\" group-title=\"Group " << i % 40 << "\",Channel number " << i << "\r\n"
            << "#EXTVLCOPT:http-user-agent=Mozilla/5.0\r\n"
            << "https://stream" << i % 97 << ".example/live/" << i << "/index.m3u8\r\n";
    }
    return out ? 0 : 1;
}

double milliseconds(const std::function<size_t()>& work, size_t& result) {
    auto start = Clock::now();
    result = work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void printValues(const char* name, const std::vector<double>& values) {
    std::printf(" %s=", name);
    for (std::size_t i = 0; i < values.size(); ++i) std::printf("%s%.3f", i ? "," : "", values[i]);
}

int timeParse(const char* path, int rounds) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t entries = 0;
    size_t lines = 0;
    std::vector<double> parseMs, countMs;
    for (int round = 0; round < rounds; ++round) {
        parseMs.push_back(milliseconds([&] { return vantiro::parseM3u(text).size(); }, entries));
        countMs.push_back(milliseconds(
            [&] {
                std::istringstream stream(text);
                std::string line;
                size_t count = 0;
                while (std::getline(stream, line)) ++count;
                return count;
            },
            lines));
    }
    std::printf("entries=%zu lines=%zu bytes=%zu", entries, lines, text.size());
    printValues("parse_ms", parseMs);
    printValues("linecount_ms", countMs);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "write") return writePlaylist(argv[2], std::atol(argv[3]));
    if (argc == 4 && std::string(argv[1]) == "time") return timeParse(argv[2], std::max(1, std::atoi(argv[3])));
    std::fprintf(stderr, "usage: m3u_bench write FILE ENTRIES | time FILE ROUNDS\n");
    return 2;
}
