#include "text/ustring_load.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/ReadBudget.h"
#include "support/ResourceManager.h"
#include "support/UAbstractParser.h"
#include "support/flat_map.h"
#include "support/ulogger.h"

namespace {

using StringTable = vnu::flat_map<ustring, ustring>;

vnu::flat_map<ustring, StringTable> s_stringTables;

StringTable loadStringTable(const ustring& table) {
    StringTable entries;
    try {
        const UFileSpecCore path = ResourceManager::getResourcePath(table + ".strings");
        std::ifstream stream;
        path.fsopen(stream, std::ios_base::binary);
        if (stream) parseStringTable(stream, entries);
    } catch (const std::exception& e) {
        VN_LOG_ERROR(table << " : " << e.what());
    }
    return entries;
}

// A key seen again takes the later value: equal keys are sorted in reading order and the last
// kept. Taken over into `entries`, whose own entries a read one replaces.
void TakeEntries(std::vector<StringTable::value_type>& read, StringTable& entries) {
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(read.begin(), read.end(), byKey);
    auto kept = read.begin();
    for (auto it = read.begin(); it != read.end(); ++kept) {
        auto last = it;
        while (std::next(last) != read.end() && std::next(last)->first == it->first) ++last;
        if (kept != last) *kept = std::move(*last);
        it = std::next(last);
    }
    read.erase(kept, read.end());
    if (entries.empty()) {
        entries.assign_sorted(std::move(read));
        return;
    }
    StringTable::container_type held = entries.release();
    StringTable::container_type merged;
    merged.reserve(held.size() + read.size());
    auto old = held.begin();
    for (auto& entry : read) {
        while (old != held.end() && old->first < entry.first) merged.push_back(std::move(*old++));
        if (old != held.end() && old->first == entry.first) ++old;
        merged.push_back(std::move(entry));
    }
    merged.insert(merged.end(), std::make_move_iterator(old), std::make_move_iterator(held.end()));
    entries.assign_sorted(std::move(merged));
}

// An entry's room in the list read, which may double, and in the sort's buffer.
constexpr std::uint64_t kEntryCost = 3 * sizeof(StringTable::value_type);

// The bytes left in the stream; 0 when it cannot tell, and the reader then earns its budget as
// it reads.
std::uint64_t BytesLeft(std::istream& stream) {
    std::streambuf* buffer = stream.rdbuf();
    if (!stream || buffer == nullptr) return 0;
    const auto here = buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (here == std::streampos(-1)) return 0;
    const auto last = buffer->pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (buffer->pubseekpos(here, std::ios_base::in) != here || last == std::streampos(-1) || last < here)
        return 0;
    return static_cast<std::uint64_t>(last - here);
}

}  // namespace

void parseStringTable(std::istream& stream, StringTable& entries) {
    // Gathered in reading order and sorted once: inserting each in turn costs the square of a
    // large table. Every entry is charged to the input's budget as it is read.
    std::vector<StringTable::value_type> read;
    try {
        const std::uint64_t size = BytesLeft(stream);
        vnu::ReadBudget budget(size);
        std::uint64_t credited = size;
        Tokenizer tokenizer(stream, ustring());
        Tokenizer::Token key;
        Tokenizer::Token token;
        Tokenizer::Token value;
        while (tokenizer.nextToken(key)) {
            if (key.type != eStringFileTokenType_String) tokenizer.throwTokenizerException();
            tokenizer.nextTokenForced(token, eStringFileTokenType_Equals);
            tokenizer.nextTokenForced(value, eStringFileTokenType_String);
            tokenizer.nextTokenForced(token, eStringFileTokenType_Semicolon);
            if (tokenizer.bytesRead() > credited) {
                budget.credit(tokenizer.bytesRead() - credited);
                credited = tokenizer.bytesRead();
            }
            if (!budget.take(kEntryCost + vnu::TextHeapCost(key.text.size()) +
                             vnu::TextHeapCost(value.text.size())))
                tokenizer.throwTooMany("entries", budget.inputBytes());
            read.emplace_back(key.text, value.text);
        }
    } catch (...) {
        TakeEntries(read, entries);
        throw;
    }
    TakeEntries(read, entries);
}

ustring ustring_load(const ustring& key, const ustring& table) {
    auto found = s_stringTables.find(table);
    if (found == s_stringTables.end()) {
        StringTable loaded = loadStringTable(table);
        s_stringTables[table] = std::move(loaded);
        found = s_stringTables.find(table);
    }
    const auto entry = found->second.find(key);
    if (entry != found->second.end()) return entry->second;
    VN_LOG_DEBUG("Key missing in \"" << table << "\" table: \"" << key << "\"");
    return key;
}

void ustring_load_reset() {
    s_stringTables.clear();
}
