#include "dvb/service_discovery.h"

#include <map>
#include <set>

#include "dvb/pat.h"
#include "dvb/pmt.h"
#include "dvb/psi_section.h"
#include "dvb/sdt.h"
#include "dvb/tuner.h"

namespace vantiro {
namespace {

std::map<std::uint16_t, std::string> collectServiceNames(const SectionSource& source, int timeoutMs) {
    std::map<std::uint16_t, std::string> names;
    std::set<std::uint8_t> sectionsSeen;
    std::vector<std::uint8_t> section;
    for (int attempt = 0; attempt < kMaxSdtSections; ++attempt) {
        if (!source(SectionFilter{kSdtPid, kSdtActualTableId, std::nullopt}, timeoutMs, section)) break;
        std::optional<Sdt> sdt = parseSdt(section);
        if (!sdt) break;
        for (auto& service : sdt->services) names[service.serviceId] = std::move(service.name);
        sectionsSeen.insert(sdt->sectionNumber);
        if (sdt->lastSectionNumber < sectionsSeen.size()) break;
    }
    return names;
}

std::string defaultServiceName(std::uint16_t serviceId) { return "Service " + std::to_string(serviceId); }

void readStreamPids(const SectionSource& source, int timeoutMs, Service& service) {
    std::vector<std::uint8_t> section;
    // The program number goes into the filter: several programs may share one PMT PID.
    SectionFilter filter{service.pmtPid, kPmtTableId, service.serviceId};
    if (!source(filter, timeoutMs, section)) return;
    std::optional<Pmt> pmt = parsePmt(section);
    if (!pmt || pmt->programNumber != service.serviceId) return;
    std::uint16_t video = pmt->firstVideoPid();
    std::uint16_t audio = pmt->firstAudioPid();
    if (video == 0 && audio == 0) return;
    service.videoPid = video;
    service.audioPid = audio;
    service.pcrPid = pmt->pcrPid;
}

}  // namespace

std::vector<Service> discoverServices(const SectionSource& source, int timeoutMs) {
    std::vector<std::uint8_t> section;
    if (!source(SectionFilter{kPatPid, kPatTableId, std::nullopt}, timeoutMs, section)) return {};
    std::optional<Pat> pat = parsePat(section);
    if (!pat || pat->programs.empty()) return {};

    std::map<std::uint16_t, std::string> names = collectServiceNames(source, timeoutMs);
    std::vector<Service> services;
    services.reserve(pat->programs.size());
    for (const Pat::Program& program : pat->programs) {
        Service service;
        service.serviceId = program.programNumber;
        service.pmtPid = program.pmtPid;
        auto named = names.find(program.programNumber);
        service.name = named != names.end() ? named->second : defaultServiceName(program.programNumber);
        readStreamPids(source, timeoutMs, service);
        services.push_back(std::move(service));
    }
    return services;
}

std::vector<Service> discoverServices(Tuner& tuner, int timeoutMs) {
    // One reader for the whole discovery keeps the SDT filter running between its
    // sections; restarting it for each would mostly deliver section 0 again.
    SectionReader reader(tuner);
    return discoverServices(
        [&reader](const SectionFilter& filter, int ms, std::vector<std::uint8_t>& out) {
            return reader.read(filter, ms, out);
        },
        timeoutMs);
}

}  // namespace vantiro
