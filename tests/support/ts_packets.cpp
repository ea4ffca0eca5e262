#include "support/ts_packets.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vantiro::test {

std::string tsPacket(std::uint16_t pid, std::uint8_t tag) {
    std::string packet(188, static_cast<char>(tag));
    packet[0] = 0x47;
    packet[1] = static_cast<char>((pid >> 8) & 0x1F);
    packet[2] = static_cast<char>(pid & 0xFF);
    packet[3] = 0x10;  // payload only, continuity counter 0
    return packet;
}

std::uint16_t tsPid(const std::string& bytes, std::size_t offset) {
    auto b1 = static_cast<unsigned char>(bytes[offset + 1]);
    auto b2 = static_cast<unsigned char>(bytes[offset + 2]);
    return static_cast<std::uint16_t>(((b1 & 0x1F) << 8) | b2);
}

std::vector<std::uint16_t> tsPids(const std::string& bytes) {
    std::vector<std::uint16_t> pids;
    for (std::size_t i = 0; i + 188 <= bytes.size(); i += 188) pids.push_back(tsPid(bytes, i));
    return pids;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {
// Reads what is there; 0 at end of file, -1 on error or silence.
ssize_t readSome(int fd, char* buffer, std::size_t size, int idleMs) {
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, idleMs);
    if (ready <= 0) return -1;
    ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) return readSome(fd, buffer, size, idleMs);
    return n;
}
}  // namespace

std::string readExactly(int fd, std::size_t count, int idleMs) {
    std::string out;
    char buffer[65536];
    while (out.size() < count) {
        std::size_t want = std::min(sizeof buffer, count - out.size());
        ssize_t n = readSome(fd, buffer, want, idleMs);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string readToEnd(int fd, int idleMs) {
    std::string out;
    char buffer[65536];
    for (;;) {
        ssize_t n = readSome(fd, buffer, sizeof buffer, idleMs);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

Pipe::Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    readEnd = ends[0];
    writeEnd = ends[1];
}

Pipe::~Pipe() {
    if (readEnd >= 0) ::close(readEnd);
    closeWriteEnd();
}

int Pipe::releaseReadEnd() {
    int fd = readEnd;
    readEnd = -1;
    return fd;
}

void Pipe::closeWriteEnd() {
    if (writeEnd >= 0) ::close(writeEnd);
    writeEnd = -1;
}

}  // namespace vantiro::test
