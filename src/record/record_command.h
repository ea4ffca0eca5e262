#pragma once
#include <string>

namespace vantiro {

struct RecordOptions {
    std::string channel;   // a channel name or its number as `vantiro list` prints it
    double minutes = 0;    // 0: until interrupted
    std::string outPath;   // empty: the default place
    std::string problem;   // what is wrong with the arguments, if anything
};

// `record` arguments, scanned from argv[2] on: one channel, `--minutes M`, `--out FILE`.
RecordOptions parseRecordOptions(int argc, char** argv);

// `vantiro record CHANNEL --minutes M [--out FILE]`: tunes the channel and writes
// its service to a .ts file until the time is up, SIGINT or SIGTERM, or a
// failure (a full disk, the signal lost). 0 when the recording ended as asked.
int runRecordCommand(const RecordOptions& options, const std::string& channelListPath);

}  // namespace vantiro
