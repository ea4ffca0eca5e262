// libFuzzer target: DVB text decoding never reads past its input and always yields
// valid UTF-8.
#include <cstdint>
#include <string>

#include "dvb/dvb_text.h"
#include "support/utf8_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!vantiro::test::isValidUtf8(vantiro::decodeDvbText(data, size))) __builtin_trap();
    if (!vantiro::test::isValidUtf8(vantiro::serviceNameFromDescriptor(data, size))) __builtin_trap();
    return 0;
}
