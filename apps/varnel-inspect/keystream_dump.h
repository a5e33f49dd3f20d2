// A raw, schema-free view of a key stream: every field with its key, type code, length and
// decoded value, like a protocol-buffer decoder that knows no message types.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace inspect {

// Tries to show a field's bytes as something richer than hexadecimal: writes what it found (such
// as "flattened message") to the end of the line, then the rendering indented by `indent`
// levels; returns false, having written nothing, to fall back to the plain rendering.
using RichRenderer = std::function<bool(std::string_view bytes, std::ostream& out, int indent)>;

// Writes the tree; throws std::runtime_error naming the offset of the first malformed structure.
void dumpKeyStream(std::string_view bytes, std::ostream& out, const RichRenderer& rich = {});

// Throws as dumpKeyStream would, writing nothing: a stream that passes dumps without an error.
void checkKeyStream(std::string_view bytes);

// 'KS' for printable two-character keys, the decimal value otherwise.
std::string keyName(unsigned key);

}  // namespace inspect
