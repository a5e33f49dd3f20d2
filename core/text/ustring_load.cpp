#include "text/ustring_load.h"

#include <exception>
#include <fstream>

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

}  // namespace

void parseStringTable(std::istream& stream, StringTable& entries) {
    Tokenizer tokenizer(stream, ustring());
    Tokenizer::Token key;
    Tokenizer::Token token;
    Tokenizer::Token value;
    while (tokenizer.nextToken(key)) {
        if (key.type != eStringFileTokenType_String) tokenizer.throwTokenizerException();
        tokenizer.nextTokenForced(token, eStringFileTokenType_Equals);
        tokenizer.nextTokenForced(value, eStringFileTokenType_String);
        tokenizer.nextTokenForced(token, eStringFileTokenType_Semicolon);
        entries[key.text] = value.text;
    }
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
