// Any bytes as a string table: the reader ends with entries or a runtime error, never anything
// else. The entries it read (up to an error, which keeps them), written out as a table, read
// back to the same entries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "text/ustring_load.h"

namespace {

using Entries = vnu::flat_map<ustring, ustring>;

std::string Quoted(const ustring& text) {
    std::string out = "\"";
    for (const char c : text.str()) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

Entries Read(const std::string& bytes) {
    std::istringstream in(bytes);
    Entries entries;
    try {
        parseStringTable(in, entries);
    } catch (const std::runtime_error&) {
        // A syntax error is a normal outcome for arbitrary bytes.
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Entries entries = Read(std::string(reinterpret_cast<const char*>(data), size));
    // The mark keeps a key starting with a zero byte from reading as UTF-16.
    std::string table = "\xEF\xBB\xBF";
    for (const auto& [key, value] : entries) table += Quoted(key) + " = " + Quoted(value) + ";\n";
    const Entries back = Read(table);
    if (!std::equal(entries.begin(), entries.end(), back.begin(), back.end())) std::abort();
    return 0;
}
