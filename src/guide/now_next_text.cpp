#include "guide/now_next_text.h"

#include <ctime>

namespace vantiro {
namespace {

std::string localClock(UnixSeconds time) {
    std::time_t t = static_cast<std::time_t>(time);
    std::tm parts{};
    if (!::localtime_r(&t, &parts)) return "--:--";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &parts);
    return text;
}

// One line of a title: line ends inside it would break the table's shape.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return text;
}

std::string eventLine(const char* label, const EitEvent& event) {
    return std::string("  ") + label + eventTimeRange(event) + "  " + oneLine(event.title) + "\n";
}

}  // namespace

std::string eventTimeRange(const EitEvent& event) {
    return localClock(event.start.value_or(0)) + "-" + localClock(event.end());
}

std::string nowNextText(const std::vector<GuideChannel>& channels, const GuideStore& store, UnixSeconds time) {
    std::string out;
    for (const GuideChannel& channel : channels) {
        out += oneLine(channel.name) + "  " + std::to_string(channel.key.frequency / 1000000) + " MHz\n";
        NowNext nowNext = store.nowNext(channel.key, time);
        if (!nowNext.now && !nowNext.next) out += "  (no guide data)\n";
        if (nowNext.now) out += eventLine("now   ", *nowNext.now);
        if (nowNext.next) out += eventLine("next  ", *nowNext.next);
    }
    return out;
}

}  // namespace vantiro
