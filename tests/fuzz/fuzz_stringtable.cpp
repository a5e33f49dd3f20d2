// Any bytes as a string table: the reader ends with entries or a runtime error, never anything else.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "UAbstractParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        Tokenizer tokenizer(in, ustring());
        Tokenizer::Token key;
        Tokenizer::Token token;
        while (tokenizer.nextToken(key)) {
            if (key.type != eStringFileTokenType_String) tokenizer.throwTokenizerException();
            tokenizer.nextTokenForced(token, eStringFileTokenType_Equals);
            tokenizer.nextTokenForced(token, eStringFileTokenType_String);
            tokenizer.nextTokenForced(token, eStringFileTokenType_Semicolon);
        }
    } catch (const std::runtime_error&) {
        // A syntax error is a normal outcome for arbitrary bytes.
    }
    return 0;
}
