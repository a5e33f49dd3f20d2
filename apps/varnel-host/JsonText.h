// Writing JSON text directly, value by value, as the document writer does.
#pragma once

#include <string>
#include <string_view>

namespace vhost {

// The fewest digits that read back to `value`, always with a fraction or an exponent so that
// every reader takes it for a floating-point number again ("612.0", "-0.0", "1e+21"); null for
// a value that is not finite, as JSON has no such numbers.
void appendJsonNumber(std::string& out, double value);
// `text` quoted, with '"', '\' and control characters escaped. Throws std::runtime_error for text
// that is not UTF-8, which JSON cannot carry.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace vhost
