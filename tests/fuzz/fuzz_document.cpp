// Any bytes as a file the stand-in host opens as a document (its JSON, or a PDF it wrote):
// opening ends with a document or with the host's error naming the file, nothing else. An opened
// document, saved as text, opens again to the same text.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DocumentJson.h"
#include "DocumentStore.h"
#include "HostError.h"

namespace {

// A file of the fuzzer's own, in a folder of its own that goes when the process ends. In memory
// where there is a memory file system: on ext4, rewriting a file for every input flushes it.
struct ScratchFile {
    ScratchFile() {
        std::string name = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        name += "/varnel-fuzz-document-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) std::abort();
        folder = name;
        path = folder + "/document";
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                   static_cast<std::streamsize>(size));
    std::ostringstream notes;
    vhost::DocumentStore store(notes);
    const vhost::Document* doc = nullptr;
    try {
        doc = &store.open(path, false);
    } catch (const vhost::HostError& e) {
        if (std::string(e.what()).find(path) == std::string::npos) std::abort();
        return 0;
    }
    const std::string text = vhost::documentText(*doc);
    const vhost::Document again = vhost::documentFromJson(vhost::parseJson(text, "saved"), "saved");
    if (vhost::documentText(again) != text) std::abort();
    return 0;
}
