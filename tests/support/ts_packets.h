#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vantiro::test {

// One 188-byte transport packet of `pid`, its payload filled with `tag`.
std::string tsPacket(std::uint16_t pid, std::uint8_t tag = 0);

// PID of the packet starting at `offset` of `bytes`.
std::uint16_t tsPid(const std::string& bytes, std::size_t offset);

// PIDs of the whole packets in `bytes`, in order.
std::vector<std::uint16_t> tsPids(const std::string& bytes);

// Writes all of `bytes` to a blocking descriptor; false on error.
bool writeAll(int fd, const std::string& bytes);

// Reads exactly `count` bytes unless end of file or an error comes first, or
// nothing arrives for `idleMs` milliseconds (a guard against hanging tests).
std::string readExactly(int fd, std::size_t count, int idleMs = 5000);

// Reads until end of file (or `idleMs` of silence); returns what arrived.
std::string readToEnd(int fd, int idleMs = 5000);

// A pipe whose ends close themselves.
struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int releaseReadEnd();  // hands the read end over to a new owner
    void closeWriteEnd();
};

}  // namespace vantiro::test
