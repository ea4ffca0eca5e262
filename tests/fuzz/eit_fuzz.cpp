// libFuzzer target: EIT sections of any bytes through the parser, the guide store,
// the cache's text form and the XMLTV writer. Texts must stay valid UTF-8, the cache
// must read back what it wrote, and nothing may read outside the input.
#include <cstdint>
#include <string>
#include <vector>

#include "guide/eit.h"
#include "guide/guide_cache.h"
#include "guide/guide_collector.h"
#include "guide/guide_store.h"
#include "guide/xmltv_writer.h"
#include "support/utf8_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantiro;
    auto eit = parseEitSection(SectionBytes(data, size));
    if (!eit) return 0;
    for (const EitEvent& e : eit->events) {
        if (!test::isValidUtf8(e.title) || !test::isValidUtf8(e.shortText) || !test::isValidUtf8(e.extendedText))
            __builtin_trap();
        if (e.duration && (*e.duration < 0 || *e.duration > 100 * 3600)) __builtin_trap();
    }
    GuideStore store;
    EitSection actual = *eit;
    actual.tableId = kEitPresentFollowingActual;
    actual.currentNext = true;
    store.addSection(474000000, actual);
    store.complete(474000000);
    const auto services = store.snapshot();
    const std::string text = serialiseGuide(services);
    auto again = parseGuide(text, 474000000);
    if (!again || again->size() != services.size()) __builtin_trap();
    for (std::size_t i = 0; i < services.size(); ++i)
        if ((*again)[i].events.size() != services[i].events.size()) __builtin_trap();
    const std::string xml = writeXmltv({{{474000000, eit->serviceId}, "Channel"}}, store);
    if (!test::isValidUtf8(xml)) __builtin_trap();
    return 0;
}
