#pragma once
#include <string>

namespace vantiro::test {

// Test media made with ffmpeg. Each function writes `path` and returns false
// (with ffmpeg's complaint on stderr) when ffmpeg could not make it.

// An MPEG transport stream of `seconds` with a solid-colour picture
// (`colour` as ffmpeg names it, e.g. "red" or "0x2040c0") and a sine tone.
bool makeTsClip(const std::string& path, double seconds, const std::string& colour = "blue",
                int width = 320, int height = 240);
// An audio-only file (MPEG audio in a transport stream).
bool makeAudioOnlyTs(const std::string& path, double seconds);
// An MP3 file with one audio track and an attached cover picture.
bool makeMp3WithCover(const std::string& path, double seconds);

// What a shell command (ffprobe, ffmpeg judging media) prints on its standard
// output; "no pipe" when it cannot be started.
std::string commandOutput(const std::string& command);

}  // namespace vantiro::test
