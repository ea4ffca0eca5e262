#include "support/media.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace vantiro::test {

namespace {

bool runFfmpeg(const std::string& arguments) {
    std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments;
    return std::system(command.c_str()) == 0;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

bool makeTsClip(const std::string& path, double seconds, const std::string& colour, int width,
                int height) {
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    return runFfmpeg("-f lavfi -i color=c=" + colour + ":s=" + size + ":r=25 -f lavfi -i sine=f=440 -t " +
                     std::to_string(seconds) +
                     " -c:v mpeg2video -g 12 -b:v 1M -c:a mp2 -b:a 128k -f mpegts " + quoted(path));
}

bool makeAudioOnlyTs(const std::string& path, double seconds) {
    return runFfmpeg("-f lavfi -i sine=f=440 -t " + std::to_string(seconds) + " -c:a mp2 -f mpegts " +
                     quoted(path));
}

bool makeMp3WithCover(const std::string& path, double seconds) {
    return runFfmpeg("-f lavfi -i sine=f=440 -f lavfi -i color=c=red:s=64x64 -frames:v 1 -t " +
                     std::to_string(seconds) +
                     " -map 0:a -map 1:v -c:a libmp3lame -c:v mjpeg -disposition:v attached_pic "
                     "-id3v2_version 3 " + quoted(path));
}

std::string commandOutput(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return "no pipe";
    std::string text;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) text.append(buffer.data(), n);
    ::pclose(pipe);
    return text;
}

}  // namespace vantiro::test
