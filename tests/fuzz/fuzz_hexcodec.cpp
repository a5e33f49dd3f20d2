// Decoding accepts any text; encoding gives canonical text that decodes back to the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/hexcodec.h"

namespace {

// The decoding rule spelled out per character, independent of the codec's tables.
int Value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A' - 55;
    return c - 55;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string decoded = vnu::HexDecode(input);
    if (decoded.size() != size / 2) std::abort();
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const int expected = (Value(data[2 * i]) * 16 + Value(data[2 * i + 1])) & 0xFF;
        if (static_cast<unsigned char>(decoded[i]) != expected) std::abort();
    }

    const std::string text = vnu::HexEncode(input);
    if (text.size() != 2 * size) std::abort();
    if (text.find_first_not_of("0123456789ABCDEF") != std::string::npos) std::abort();
    if (vnu::HexDecode(text) != input) std::abort();
    return 0;
}
