#include "support/hexcodec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vnu {
namespace {

constexpr std::array<char, 512> MakeEncodeTable() {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<char, 512> table{};
    for (int b = 0; b < 256; ++b) {
        table[2 * b] = kDigits[b >> 4];
        table[2 * b + 1] = kDigits[b & 15];
    }
    return table;
}

// Value of a character under the decoding rule, reduced to 8 bits. Upper-casing is the C
// locale's (a-z only), so the result never depends on the process's locale. Reducing both
// nibbles modulo 256 gives the same byte as computing with the full (possibly negative)
// values, whatever the signedness of char.
constexpr unsigned CharValue(unsigned c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return (c - 55u) & 0xFFu;
}

constexpr std::array<std::uint8_t, 256> MakeValueTable() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned c = 0; c < 256; ++c) table[c] = static_cast<std::uint8_t>(CharValue(c));
    return table;
}

// One entry per pair of characters (first character in the low byte): a single load per
// decoded byte. Typical text touches only a few kilobytes of it. Built from the 256 values in
// one flat loop over plain pointers, which keeps the compile-time evaluation within clang's
// step limit.
constexpr std::array<std::uint8_t, 65536> MakePairTable(const std::array<std::uint8_t, 256>& values) {
    std::array<std::uint8_t, 65536> table{};
    std::uint8_t* out = table.data();
    const std::uint8_t* value = values.data();
    for (unsigned pair = 0; pair < 65536; ++pair)
        out[pair] = static_cast<std::uint8_t>(value[pair & 0xFF] * 16 + value[pair >> 8]);
    return table;
}

constexpr std::array<char, 512> kEncode = MakeEncodeTable();
constexpr std::array<std::uint8_t, 65536> kPairs = MakePairTable(MakeValueTable());

inline std::uint8_t DecodePair(const unsigned char* p) {
    return kPairs[p[0] | (unsigned{p[1]} << 8)];
}

}  // namespace

std::string HexEncode(std::string_view bytes) {
    std::string text(bytes.size() * 2, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* out = text.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::memcpy(out + 2 * i, &kEncode[2 * std::size_t{in[i]}], 2);
    }
    return text;
}

std::string HexDecode(std::string_view text) {
    const std::size_t count = text.size() / 2;
    std::string bytes(count, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    char* out = bytes.data();
    std::size_t i = 0;
    // Eight bytes per store keeps the loop bound by the table loads, not by the stores.
    for (; i + 8 <= count; i += 8) {
        const unsigned char* p = in + 2 * i;
        unsigned char block[8] = {DecodePair(p),      DecodePair(p + 2), DecodePair(p + 4),
                                  DecodePair(p + 6),  DecodePair(p + 8), DecodePair(p + 10),
                                  DecodePair(p + 12), DecodePair(p + 14)};
        std::memcpy(out + i, block, 8);
    }
    for (; i < count; ++i) out[i] = static_cast<char>(DecodePair(in + 2 * i));
    return bytes;
}

}  // namespace vnu
