#include "shell/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channels/channel_list.h"
#include "record/record_command.h"
#include "server/serve_mode.h"
#include "shell/guide_command.h"
#include "shell/scan_command.h"
#include "shell/windowed_startup.h"

namespace vantiro {
namespace {

constexpr const char* kUsage =
    "Vantiro \xE2\x80\x94 native Linux TV for the MyGica T230C (Si2168/Si2141)\n"
    "\n"
    "usage: vantiro [command]\n"
    "  (no command)   open the TV window\n"
    "  scan           scan UHF 470-862 MHz and save the channel list\n"
    "  serve          run the headless HTTP TV server (--port 8090, --demo clip.ts)\n"
    "  --native       accepted for compatibility (always the built-in player)\n"
    "  --install-firmware  install the embedded Si2168 tuner firmware (admin)\n"
    "  list           print the saved channel list\n"
    "  help           this text\n"
    "\n"
    "channel list: ";

bool isHelpWord(const char* arg) {
    return std::strcmp(arg, "help") == 0 || std::strcmp(arg, "--help") == 0 ||
           std::strcmp(arg, "-h") == 0;
}

// A command whose output could not be written (a full disk, a closed pipe) has
// failed, whatever it printed before: scripts rely on the exit code.
int withStdoutWritten(int code) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
    std::fprintf(stderr, "vantiro: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
}

}  // namespace

std::string usageText(const std::string& channelListPath) {
    return kUsage + channelListPath + "\n";
}

ServeOptions parseServeOptions(int argc, char** argv) {
    ServeOptions options;
    for (int i = 2; i < argc; ++i) {
        bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--port") == 0) {
            if (!hasValue) break;
            options.port = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            if (!hasValue) break;
            options.demoPath = argv[++i];
        }
    }
    return options;
}

int runListCommand(const std::string& channelListPath) {
    std::string error;
    auto channels = loadChannelList(channelListPath, &error);
    if (channels.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const Channel& ch = channels[i];
        const char* kind = (ch.videoPid != 0 || !ch.url.empty()) ? "TV" : "radio";
        std::printf("%3zu  %-40s %6u MHz  %s\n", i + 1, ch.name.c_str(),
                    static_cast<unsigned>(ch.frequency / 1000000), kind);
    }
    return 0;
}

int runCommandLine(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    bool isCommand = std::strcmp(command, "scan") == 0 || std::strcmp(command, "list") == 0 ||
                     std::strcmp(command, "serve") == 0 || std::strcmp(command, "guide") == 0 ||
                     std::strcmp(command, "record") == 0 || isHelpWord(command);
    if (!isCommand) return runWindowedPlayer(argc, argv);

    std::string path = channelListPath();
    if (std::strcmp(command, "list") == 0) return withStdoutWritten(runListCommand(path));
    if (std::strcmp(command, "scan") == 0) return runScanCommand(argc, argv, path);
    if (std::strcmp(command, "guide") == 0) return runGuideCommand(parseGuideOptions(argc, argv), path);
    if (std::strcmp(command, "record") == 0) return runRecordCommand(parseRecordOptions(argc, argv), path);
    if (std::strcmp(command, "serve") == 0) {
        ServeOptions options = parseServeOptions(argc, argv);
        return runServe(options.port, path, options.demoPath);
    }
    std::fputs(usageText(path).c_str(), stdout);
    return withStdoutWritten(0);
}

}  // namespace vantiro
