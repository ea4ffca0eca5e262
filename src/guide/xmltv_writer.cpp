#include "guide/xmltv_writer.h"

#include <ctime>
#include <set>
#include <utility>

#include "guide/genre.h"

namespace vantiro {
namespace {

constexpr std::uint32_t kHzPerMHz = 1000000;
constexpr std::uint32_t kHzPerKHz = 1000;

// ISO 639-2 codes as DVB sends them, to the two-letter codes XMLTV readers prefer.
constexpr std::pair<std::string_view, std::string_view> kLanguages[] = {
    {"tha", "th"}, {"eng", "en"}, {"deu", "de"}, {"ger", "de"}, {"fra", "fr"}, {"fre", "fr"},
    {"spa", "es"}, {"ita", "it"}, {"nld", "nl"}, {"dut", "nl"}, {"swe", "sv"}, {"dan", "da"},
    {"nor", "no"}, {"fin", "fi"}, {"pol", "pl"}, {"por", "pt"}, {"ces", "cs"}, {"cze", "cs"},
    {"zho", "zh"}, {"chi", "zh"}, {"jpn", "ja"}, {"kor", "ko"}, {"vie", "vi"}, {"msa", "ms"},
};

std::string xmltvLanguage(const std::string& dvbCode) {
    std::string lower;
    for (char c : dvbCode) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) lower += static_cast<char>(c | 0x20);
    }
    for (const auto& [three, two] : kLanguages)
        if (lower == three) return std::string(two);
    return lower;
}

std::string langAttribute(const std::string& language) {
    return language.empty() ? std::string() : " lang=\"" + language + "\"";
}

bool hasVisibleText(const std::string& text) {
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return true;
    return false;
}

void element(std::string& out, const char* name, const std::string& lang, const std::string& text) {
    out += std::string("    <") + name + langAttribute(lang) + ">" + xmlText(text) + "</" + name + ">\n";
}

void programme(std::string& out, const std::string& channelId, const EitEvent& e) {
    const std::string title = xmlText(e.title);
    if (!hasVisibleText(title)) return;  // XMLTV has no programme without a title
    const std::string lang = xmltvLanguage(e.language);
    out += "  <programme start=\"" + xmltvTime(*e.start) + "\" stop=\"" + xmltvTime(e.end()) + "\" channel=\"" +
           channelId + "\">\n";
    element(out, "title", lang, e.title);
    std::string desc = e.shortText;
    if (hasVisibleText(e.extendedText)) desc += (hasVisibleText(desc) ? "\n" : "") + e.extendedText;
    if (hasVisibleText(xmlText(desc))) element(out, "desc", lang, desc);
    for (std::uint8_t nibbles : e.contentNibbles) {
        std::string genre = genreName(nibbles);
        if (!genre.empty()) element(out, "category", "en", genre);
    }
    if (e.rating) {
        std::string system = e.rating->country.empty() ? "DVB" : xmlText(e.rating->country);
        out += "    <rating system=\"" + system + "\">\n      <value>" + std::to_string(e.rating->minimumAge) +
               "</value>\n    </rating>\n";
    }
    out += "  </programme>\n";
}

}  // namespace

std::string xmltvChannelId(const ServiceKey& key) {
    std::string frequency = key.frequency % kHzPerMHz == 0 ? std::to_string(key.frequency / kHzPerMHz)
                                                           : std::to_string(key.frequency / kHzPerKHz) + "k";
    return frequency + "." + std::to_string(key.serviceId) + ".vantiro";
}

std::string xmltvTime(UnixSeconds time) {
    std::time_t t = static_cast<std::time_t>(time);
    std::tm parts{};
    if (!::gmtime_r(&t, &parts)) return "19700101000000 +0000";
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S +0000", &parts);
    return text;
}

std::string xmlText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == 0xC2 && i + 1 < s.size()) {
            const auto next = static_cast<unsigned char>(s[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {  // a C1 control character
                if (next == 0x8A) out += '\n';
                ++i;
                continue;
            }
        }
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += static_cast<char>(c);
        }
    }
    return out;
}

std::string writeXmltv(const std::vector<GuideChannel>& channels, const GuideStore& store) {
    std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
                       "<tv generator-info-name=\"Vantiro\">\n";
    std::string programmes;
    std::set<ServiceKey> listed;
    for (const GuideChannel& channel : channels) {
        if (!listed.insert(channel.key).second) continue;  // one entry per service
        const std::string id = xmltvChannelId(channel.key);
        std::string own;
        for (const EitEvent& event : store.events(channel.key)) programme(own, id, event);
        if (own.empty()) continue;  // a channel without programmes is not listed
        head += "  <channel id=\"" + id + "\">\n    <display-name>" + xmlText(channel.name) +
                "</display-name>\n  </channel>\n";
        programmes += own;
    }
    return head + programmes + "</tv>\n";
}

}  // namespace vantiro
