// libFuzzer target: PAT, PMT and SDT parsing and the whole service discovery must
// survive any section bytes, and every name must come out as valid UTF-8.
#include <cstdint>
#include <vector>

#include "dvb/pat.h"
#include "dvb/pmt.h"
#include "dvb/sdt.h"
#include "dvb/service_discovery.h"
#include "support/psi_bounds.h"
#include "support/utf8_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantiro::SectionBytes bytes(data, size);
    if (!vantiro::test::psiPromiseBroken(bytes).empty()) __builtin_trap();

    // The same bytes offered as every table of a multiplex, the table id patched in.
    auto source = [&](const vantiro::SectionFilter& filter, int, std::vector<std::uint8_t>& out) {
        if (size == 0) return false;
        out.assign(data, data + size);
        out[0] = filter.tableId;
        return true;
    };
    for (const auto& service : vantiro::discoverServices(source, 0))
        if (!vantiro::test::isValidUtf8(service.name)) __builtin_trap();
    return 0;
}
