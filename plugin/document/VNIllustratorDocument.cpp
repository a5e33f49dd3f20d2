// The job file kept in each document's dictionary, and the working-space profiles it names.
#include <cstdio>
#include <sstream>
#include <vector>

#include "document/VNIllustrator.h"
#include "job/BJobFile.h"
#include "shell/AcquiredSuite.h"
#include "shell/VNIllustratorSuites.h"
#include "support/ulogger.h"
#include "ticket/ConstantUStrings.h"

namespace {

constexpr const char* kJobDataKey = "Varnel5SLUGData";

// The current document's dictionary, released on every path.
class DocumentDictionary {
public:
    explicit DocumentDictionary(AIDocumentSuite* document) : fError(document->GetDictionary(&fRef)) {}
    ~DocumentDictionary() {
        if (fRef != nullptr) sAIDictionary->Release(fRef);
    }
    DocumentDictionary(const DocumentDictionary&) = delete;
    DocumentDictionary& operator=(const DocumentDictionary&) = delete;

    AIDictionaryRef get() const { return fRef; }
    AIErr error() const { return fError; }

private:
    AIDictionaryRef fRef = nullptr;
    AIErr fError;
};

}  // namespace

bool DocumentIsOpen() {
    AIDocumentHandle document = nullptr;
    return sAIDocument != nullptr && sAIDocument->GetDocument(&document) == kNoErr;
}

bool CreateFromDocumentSLUG(BJobFile& job) {
    DocumentDictionary dictionary(sAIDocument);
    if (dictionary.error() != kNoErr || dictionary.get() == nullptr) {
        VN_LOG_DEBUG("dict get failed (" << dictionary.error() << ")");
        return false;
    }
    const AIDictKey key = sAIDictionary->Key(kJobDataKey);
    size_t size = 0;
    AIErr error = sAIDictionary->GetBinaryEntry(dictionary.get(), key, nullptr, &size);
    VN_LOG_DEBUG("entry size = " << (unsigned long long)size << ", err = " << error);
    if (error != kNoErr) {
        VN_LOG_DEBUG("ILLE " << error);
        return false;
    }
    std::string bytes(size, '\0');
    error = sAIDictionary->GetBinaryEntry(dictionary.get(), key, bytes.data(), &size);
    if (error != kNoErr) {
        VN_LOG_DEBUG("ILLE " << error);
        return false;
    }
    bytes.resize(size);
    std::istringstream stream(std::move(bytes));
    job.JobFileReadFromBuffer(stream, BJobFile::kFlagPlacement);
    return true;
}

void PutIntoDocumentSLUG(SPBasicSuite* basic, BJobFile& job, AIDocumentSuite* document) {
    // Only the job's own list counts: a default check names no profile files.
    BCheckSetting* profiles = nullptr;
    if (job.GetCheckSettings().Find(eProblemSetting_WorkingSpaceProfiles, profiles)) {
        AIColorProfile slots[3] = {};
        for (int i = 0; i < 3; ++i)
            if (!profiles->GetStringParamNULL(i))
                slots[i] = get_ai_profile(basic, profiles->GetStringParam(i));
        document->SetDocumentProfiles(slots[0], slots[1], slots[2]);
    }

    std::ostringstream stream;
    job.JobFileWriteToBuffer(stream, BJobFile::kFlagPlacement);
    stream.flush();
    const std::string bytes = stream.str();

    DocumentDictionary dictionary(document);
    if (dictionary.error() != kNoErr || dictionary.get() == nullptr) {
        VN_LOG_DEBUG("dict get failed");
        return;
    }
    sAIDictionary->SetBinaryEntry(dictionary.get(), sAIDictionary->Key(kJobDataKey), bytes.data(),
                                  bytes.size());
    // New job data is a change the user is asked to save.
    document->SetDocumentModified(true);
}

AIColorProfile get_ai_profile(SPBasicSuite* basic, const ustring& path) {
    // A folder opens on this system but has no length to read.
    const UFileSpecCore location(path, nullptr);
    FILE* file = location.isFile() ? location.fopen("rb") : nullptr;
    if (file == nullptr) return nullptr;
    std::fseek(file, 0, SEEK_END);
    const long length = std::ftell(file);
    VN_LOG_FN(::vnu::loglevel::debug, "load_profile", "len = " << length);
    std::fseek(file, 0, SEEK_SET);
    std::vector<char> buffer(length > 0 ? size_t(length) : 0);
    const size_t read = std::fread(buffer.data(), 1, buffer.size(), file);
    std::fclose(file);
    buffer.resize(read);

    AcquiredSuite<AIOverrideColorConversionSuite> conversion(basic, kAIOverrideColorConversionSuite,
                                                             kAIOverrideColorConversionSuiteVersion);
    if (!conversion) return nullptr;
    AIColorProfile profile = nullptr;
    if (conversion->CreateProfileFromBuffer(buffer.data(), ai::uint32(buffer.size()), &profile) != kNoErr)
        return nullptr;
    return profile;
}
