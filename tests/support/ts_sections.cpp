#include "support/ts_sections.h"
#include "support/media.h"

#include <algorithm>
#include <regex>
#include <set>

#include "dvb/crc32_mpeg.h"

namespace vantiro::test {

std::string sectionPackets(std::uint16_t pid, const Bytes& section, std::uint8_t& counter) {
    std::string out;
    std::size_t at = 0;
    bool first = true;
    while (at < section.size() || first) {
        std::string packet(188, '\xFF');
        packet[0] = 0x47;
        packet[1] = static_cast<char>((first ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
        packet[2] = static_cast<char>(pid & 0xFF);
        packet[3] = static_cast<char>(0x10 | (counter & 0x0F));
        counter = (counter + 1) & 0x0F;
        std::size_t pos = 4;
        if (first) packet[pos++] = 0;  // pointer field
        std::size_t n = std::min(section.size() - at, 188 - pos);
        std::copy(section.begin() + static_cast<std::ptrdiff_t>(at),
                  section.begin() + static_cast<std::ptrdiff_t>(at + n), packet.begin() + static_cast<std::ptrdiff_t>(pos));
        at += n;
        first = false;
        out += packet;
    }
    return out;
}

Bytes withVersion(Bytes section, std::uint8_t version) {
    section[5] = static_cast<std::uint8_t>((section[5] & 0xC1) | ((version & 0x1F) << 1));
    section.resize(section.size() - 4);
    std::uint32_t crc = crc32Mpeg(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
    return section;
}

std::string countedPacket(std::uint16_t pid, std::uint8_t counter, std::uint8_t tag) {
    std::string packet(188, static_cast<char>(tag));
    packet[0] = 0x47;
    packet[1] = static_cast<char>((pid >> 8) & 0x1F);
    packet[2] = static_cast<char>(pid & 0xFF);
    packet[3] = static_cast<char>(0x10 | (counter & 0x0F));
    return packet;
}

std::vector<Bytes> sectionsOn(const std::string& stream, std::uint16_t pid) {
    std::vector<Bytes> sections;
    Bytes pending;
    bool collecting = false;
    auto drain = [&] {
        while (pending.size() >= 3 && pending[0] != 0xFF) {
            std::size_t length = 3 + (((pending[1] & 0x0F) << 8) | pending[2]);
            if (pending.size() < length) return;
            sections.emplace_back(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
        }
        if (!pending.empty() && pending[0] == 0xFF) {
            pending.clear();
            collecting = false;
        }
    };
    for (std::size_t i = 0; i + 188 <= stream.size(); i += 188) {
        auto p = reinterpret_cast<const std::uint8_t*>(stream.data() + i);
        if (p[0] != 0x47 || (((p[1] & 0x1F) << 8) | p[2]) != pid || !(p[3] & 0x10)) continue;
        std::size_t pos = 4 + ((p[3] & 0x20) ? 1 + p[4] : 0);
        if (pos >= 188) continue;
        if (p[1] & 0x40) {
            std::size_t pointer = p[pos];
            if (collecting) pending.insert(pending.end(), p + pos + 1, p + std::min<std::size_t>(188, pos + 1 + pointer));
            drain();
            pending.clear();
            collecting = true;
            pos += 1 + pointer;
        } else if (!collecting) {
            continue;
        }
        if (pos < 188) pending.insert(pending.end(), p + pos, p + 188);
        drain();
    }
    return sections;
}

std::string probeStreams(const std::string& path) {
    std::string command =
        "ffprobe -v error -show_entries program=program_num:program_stream=id,codec_type -of compact '" + path +
        "' 2>/dev/null";
    std::string text = commandOutput(command);
    int programs = 0;
    for (std::size_t at = text.find("program_num="); at != std::string::npos; at = text.find("program_num=", at + 1))
        ++programs;
    std::set<std::string> streams;
    static const std::regex kStream("codec_type=([a-z]+)\\|id=(0x[0-9a-f]+)");
    for (std::sregex_iterator it(text.begin(), text.end(), kStream), end; it != end; ++it)
        streams.insert((*it)[1].str() + "," + (*it)[2].str());
    std::string result = "programs=" + std::to_string(programs);
    for (const std::string& s : streams) result += " " + s;
    return result;
}

}  // namespace vantiro::test
