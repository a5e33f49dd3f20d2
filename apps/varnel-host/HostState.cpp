#include "HostState.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "HostError.h"
#include "text/ustring_utils.h"

namespace vhost {

namespace {
HostState* s_current = nullptr;
}

uint64_t newId() {
    static std::atomic<uint64_t> next{1};
    return next++;
}

// A plug-in calling after the host ended (from its static destructors, say) gets errors, not a trace.
Trace& trace() {
    static Trace silent;
    return s_current != nullptr ? s_current->tracer : silent;
}

std::string resultText(int32_t result) {
    if (result == 0) return "0";
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((uint32_t(result) >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) return std::to_string(result);
        code += c;
    }
    return "'" + code + "'";
}

std::string numberText(double value) {
    return vnu::ShortestText(value);
}

HostState::HostState(std::ostream& logStream, bool tracing) : log(logStream), docs(logStream) {
    if (s_current != nullptr) throw HostError(kCantHappenErr, "another host is running in this process");
    tracer.enabled = tracing;
    tracer.out = &logStream;
    addPlatformSuites(suites);
    addMenuSuites(suites);
    addTextSuites(suites);
    addDocumentSuites(suites);
    addActionSuites(suites);
    addArtSuites(suites);
    s_current = this;
}

HostState::~HostState() {
    for (void* block : blocks) std::free(block);
    for (AIMdMemoryHandle handle : memoryHandles) disposeArtList(handle);
    s_current = nullptr;
}

HostState& HostState::current() {
    if (s_current == nullptr) throw HostError(kCantHappenErr, "no host is running");
    return *s_current;
}

bool HostState::exists() {
    return s_current != nullptr;
}

Document& HostState::requireDocument() {
    Document* doc = docs.current();
    if (doc == nullptr) throw HostError(kNoDocumentErr, "no document is open");
    return *doc;
}

Document& HostState::requireDocument(uint64_t id) {
    Document* doc = docs.find(id);
    if (doc == nullptr) throw HostError(kNoDocumentErr, "the document was closed");
    return *doc;
}

Art& HostState::requireArt(AIArtHandle handle) {
    Art* art = requireDocument().findArt(idOf(handle));
    if (art == nullptr) throw HostError(kBadArtErr, "no such art in the current document");
    return *art;
}

Dictionary& HostState::dictionary(AIDictionaryRef ref) {
    const auto it = dictRefs.find(idOf(ref));
    if (it == dictRefs.end()) throw HostError(kBadParameterErr, "not a dictionary reference");
    Document& doc = requireDocument(it->second.document);
    if (it->second.art == 0) return doc.dictionary;
    Art* art = doc.findArt(it->second.art);
    if (art == nullptr) throw HostError(kBadArtErr, "the art of this dictionary was disposed of");
    return art->dictionary;
}

std::vector<std::string> HostState::leaks() const {
    std::vector<std::string> lines;
    const auto note = [&](size_t count, const char* what) {
        if (count != 0) lines.push_back(std::to_string(count) + " " + what);
    };
    note(paramBlocks.size(), "action parameter block(s)");
    note(dictRefs.size(), "dictionary reference(s)");
    note(strings.size(), "Unicode string(s)");
    note(paths.size(), "file path(s)");
    note(blocks.size(), "memory block(s)");
    note(memoryHandles.size(), "matching-art list(s)");
    note(artboardLists.size(), "artboard list(s)");
    note(artboardProperties.size(), "artboard properties");
    note(contexts.size(), "application context(s)");
    return lines;
}

}  // namespace vhost
