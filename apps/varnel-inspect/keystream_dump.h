// A raw, schema-free view of a key stream: every field with its key, type code, length and
// decoded value, like a protocol-buffer decoder that knows no message types.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace inspect {

// Tries to show a field's bytes as something richer than hexadecimal (a flattened message);
// returns false to fall back to the plain rendering.
using RichRenderer = std::function<bool(std::string_view bytes, std::ostream& out, int indent)>;

// Writes the tree; throws std::runtime_error naming the offset of the first malformed structure.
void dumpKeyStream(std::string_view bytes, std::ostream& out, const RichRenderer& rich = {});

// 'KS' for printable two-character keys, the decimal value otherwise.
std::string keyName(unsigned key);

// The fewest digits that read back as `value`; written out in full from 1e-6 to below 1e16, as
// people write such numbers ("1000000", not "1e+06"), with an exponent beyond: "1e+21", "nan".
std::string shortestText(double value);

}  // namespace inspect
