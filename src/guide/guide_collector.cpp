#include "guide/guide_collector.h"

#include "dvb/crc32_mpeg.h"
#include "guide/eit.h"

namespace vantiro {

GuideCollector::GuideCollector(GuideStore& store, std::uint32_t frequency) : store_(store), frequency_(frequency) {}

void GuideCollector::pushSection(SectionBytes section) {
    std::size_t size = sectionSize(section);
    if (size < kCrcBytes + 3 || crc32Mpeg(section.data(), size) != 0) return;
    auto eit = parseEitSection(section.first(size));
    if (!eit) return;
    sectionsSeen_.fetch_add(1);
    store_.addSection(frequency_.load(), *eit);
}

}  // namespace vantiro
