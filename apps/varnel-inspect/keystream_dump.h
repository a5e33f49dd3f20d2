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

}  // namespace inspect
