#pragma once
#include <string>

namespace vantiro {

// A file opened read-only for its bytes. A directory opens under POSIX but has
// no bytes to give, so it counts as a file that cannot be opened.
class ReadableFile {
public:
    explicit ReadableFile(const std::string& path);
    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // Everything from the current position to the end; a read error ends it
    // like the end of the file.
    std::string readAll();

private:
    int fd_ = -1;
};

}  // namespace vantiro
