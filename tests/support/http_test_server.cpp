#include "support/http_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

extern char** environ;

namespace vantiro::test {
namespace {

constexpr int kStartTimeoutMs = 30000;

std::string serverScript() {
    if (const char* source = std::getenv("VANTIRO_SOURCE_DIR"); source && *source)
        return std::string(source) + "/tests/support/http_test_server.py";
    return (std::filesystem::path(__FILE__).parent_path() / "http_test_server.py").string();
}

// The first line the server prints ("http=N stall=N ..."), or "" on timeout.
std::string readFirstLine(int fd) {
    std::string line;
    char c;
    while (line.empty() || line.back() != '\n') {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, kStartTimeoutMs) <= 0) return "";
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return "";
        line.push_back(c);
    }
    return line;
}

}  // namespace

HttpTestServer::HttpTestServer(const Options& options) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        startError_ = std::strerror(errno);
        return;
    }
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        startError_ = std::strerror(errno);
        ::close(toChild[0]);
        ::close(toChild[1]);
        return;
    }
    std::vector<std::string> args = {"python3", serverScript()};
    if (!options.fileRoot.empty()) args.insert(args.end(), {"--root", options.fileRoot});
    if (options.tls) args.emplace_back("--tls");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    stdinFd_ = toChild[1];
    if (rc != 0) {
        pid_ = -1;
        startError_ = std::string("cannot start python3: ") + std::strerror(rc);
        ::close(fromChild[0]);
        return;
    }
    std::string line = readFirstLine(fromChild[0]);
    ::close(fromChild[0]);
    std::istringstream fields(line);
    std::string field;
    while (fields >> field) {
        size_t eq = field.find('=');
        if (eq != std::string::npos) ports_[field.substr(0, eq)] = std::atoi(field.c_str() + eq + 1);
    }
    if (ports_.empty()) startError_ = "test server did not report its ports";
}

HttpTestServer::~HttpTestServer() {
    if (stdinFd_ >= 0) ::close(stdinFd_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

int HttpTestServer::port(const std::string& name) const {
    auto it = ports_.find(name);
    return it == ports_.end() ? 0 : it->second;
}

std::string HttpTestServer::httpUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port("http")) + path;
}

std::string HttpTestServer::httpsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port("https")) + path;
}

}  // namespace vantiro::test
