// The export reply: the open document written as a PDF through the host's actions, then the job
// sent back with its export state brought up to date.
#include <sys/stat.h>

#include <iterator>
#include <sstream>

#include "document/VNIllustrator.h"
#include "job/BJobFile.h"
#include "link/menuHandler.h"
#include "shell/AcquiredSuite.h"
#include "shell/IAIFilePath.h"
#include "shell/VNIllustratorSuites.h"
#include "support/ulogger.h"

namespace {

using vnu::loglevel;

// The status logged when the host reported success but no new file is at the export path: the
// file-not-found status of the platform's file services.
constexpr AIErr kExportFileMissing = -43;

enum class Type { Integer, Real, String, Boolean, Enumerated };

// Where a key's value comes from: the table, the job, or nowhere (the key is not set).
struct Value {
    enum Source { Fixed, Compatibility, ExportPath, Unset } source;
    double number;
    const char* text;
};
constexpr Value num(double number) {
    return {Value::Fixed, number, nullptr};
}
constexpr Value str(const char* text) {
    return {Value::Fixed, 0, text};
}
constexpr Value kCompatibility{Value::Compatibility, 0, nullptr};
constexpr Value kExportPath{Value::ExportPath, 0, nullptr};
constexpr Value kUnset{Value::Unset, 0, nullptr};

struct ExportOption {
    const char* key;  // four characters
    Type type;
    const char* enumType;  // Enumerated only
    Value copyExport;      // host version 15 and later
    Value saveAs;          // earlier hosts
};

// The PDF options in the order they are set.
constexpr ExportOption kOptions[] = {
    {"optn", Type::Integer, nullptr, num(0), num(0)},
    {"opnm", Type::String, nullptr, str("Custom"), str("Custom")},
    {"comp", Type::Enumerated, "Compatibility", kCompatibility, kCompatibility},
    {"rdtr", Type::Boolean, nullptr, num(1), num(1)},
    {"thum", Type::Boolean, nullptr, num(0), num(1)},
    {"fwev", Type::Boolean, nullptr, num(1), num(0)},
    {"aclr", Type::Boolean, nullptr, num(0), num(0)},
    {"cknd", Type::Enumerated, "Color Compression Kind", num(23), num(23)},
    {"ctil", Type::Integer, nullptr, num(128), num(256)},
    {"crsl", Type::Enumerated, "Color Resample Kind", num(4), num(1)},
    {"cres", Type::Integer, nullptr, num(300), num(150)},
    {"crab", Type::Integer, nullptr, num(450), num(225)},
    {"gknd", Type::Enumerated, "Gray Compression Kind", num(23), num(23)},
    {"gtil", Type::Integer, nullptr, num(128), num(256)},
    {"grsl", Type::Enumerated, "Gray Resample Kind", num(4), num(1)},
    {"gres", Type::Integer, nullptr, num(300), num(150)},
    {"grab", Type::Integer, nullptr, num(450), num(225)},
    {"mknd", Type::Enumerated, "Mono Compression Kind", num(3), num(3)},
    {"mrsl", Type::Enumerated, "Mono Resample Kind", num(4), num(1)},
    {"mres", Type::Integer, nullptr, num(1200), num(300)},
    {"mrab", Type::Integer, nullptr, num(1800), num(450)},
    {"cart", Type::Boolean, nullptr, num(1), num(1)},
    {"ptrm", Type::Boolean, nullptr, num(0), num(0)},
    {"pclb", Type::Boolean, nullptr, num(0), num(0)},
    {"ppgi", Type::Boolean, nullptr, num(0), num(0)},
    {"preg", Type::Boolean, nullptr, num(0), num(0)},
    {"pmtp", Type::Enumerated, "Printer Mark Type", num(1), num(1)},
    {"ptmw", Type::Enumerated, "Trim Mark Weight", num(1), num(1)},
    {"post", Type::Real, nullptr, num(6.0), num(6.0)},
    {"btop", Type::Real, nullptr, num(0.0), num(0.0)},
    {"bbtm", Type::Real, nullptr, num(0.0), num(0.0)},
    {"blft", Type::Real, nullptr, num(0.0), num(0.0)},
    {"brht", Type::Integer, nullptr, num(0), num(0)},  // an integer, unlike the other three sides
    {"rato", Type::Integer, nullptr, num(100), num(100)},
    {"povp", Type::Enumerated, "Overprints", num(1), num(1)},
    {"flsy", Type::Enumerated, "Flattener Preset", num(3), num(3)},
    {"flsn", Type::String, nullptr, str("[Medium Resolution]"), str("[Medium Resolution]")},
    {"fmax", Type::Real, nullptr, num(300.0), num(300.0)},
    {"fmin", Type::Real, nullptr, num(150.0), num(150.0)},
    {"fvba", Type::Integer, nullptr, num(75), num(75)},
    {"fccr", Type::Boolean, nullptr, num(1), num(1)},
    {"fosk", Type::Boolean, nullptr, num(1), num(1)},
    {"fotx", Type::Boolean, nullptr, num(1), num(1)},
    {"fprs", Type::Real, nullptr, num(800.0), num(800.0)},
    {"vpdf", Type::Boolean, nullptr, num(0), num(0)},
    {"usrq", Type::Boolean, nullptr, num(0), num(0)},
    {"usps", Type::String, nullptr, str(""), str("")},
    {"pmpr", Type::Enumerated, "Printing Allowed", num(3), num(3)},
    {"pmch", Type::Enumerated, "Changes Allowed", num(5), num(5)},
    {"ebcp", Type::Boolean, nullptr, num(1), num(1)},
    {"ebac", Type::Boolean, nullptr, num(1), num(1)},
    {"ebca", Type::Boolean, nullptr, num(1), num(1)},
    {"ebpt", Type::Boolean, nullptr, num(0), num(0)},
    {"name", Type::String, nullptr, kExportPath, kExportPath},
    {"frmt", Type::String, nullptr, str("PDF File Format"), str("PDF File Format")},
    {"extn", Type::String, nullptr, str("pdf"), str("pdf")},
    {"bdoc", Type::Boolean, nullptr, num(0), kUnset},
    {"blnk", Type::Integer, nullptr, num(1), kUnset},
    {"sall", Type::Boolean, nullptr, num(1), kUnset},
    {"sran", Type::String, nullptr, str(""), kUnset},
    {"smab", Type::Boolean, nullptr, num(1), kUnset},
};
static_assert(std::size(kOptions) == 61);
// The save-as export sets the options up to 'ebpt', then the file ('name', 'frmt', 'extn').
constexpr size_t kFirstFileOption = 53;
constexpr size_t kFileOptionCount = 3;

// What every option needs from the job.
struct ExportValues {
    int compatibility;
    ustring path;
};

AIErr setOption(AIActionParamValueRef block, const ExportOption& option, const Value& value,
                const ExportValues& values) {
    const ActionParamKeyID key = (ActionParamKeyID(uint8_t(option.key[0])) << 24) |
                                 (ActionParamKeyID(uint8_t(option.key[1])) << 16) |
                                 (ActionParamKeyID(uint8_t(option.key[2])) << 8) | uint8_t(option.key[3]);
    switch (option.type) {
        case Type::Integer: return sAIActionManager->AIActionSetInteger(block, key, ai::int32(value.number));
        case Type::Real: return sAIActionManager->AIActionSetReal(block, key, value.number);
        case Type::Boolean: return sAIActionManager->AIActionSetBoolean(block, key, value.number != 0);
        case Type::String:
            return sAIActionManager->AIActionSetString(
                block, key, value.source == Value::ExportPath ? values.path.c_str() : value.text);
        case Type::Enumerated:
            return sAIActionManager->AIActionSetEnumerated(
                block, key, option.enumType,
                value.source == Value::Compatibility ? values.compatibility : ai::int32(value.number));
    }
    return kBadParameterErr;
}

// The job's document file with ".pdf" added, whatever extension it already has.
ustring exportPath(const BJobFile& job) {
    const UFileSpecCore documentFile = job.GetPageFileSpec(1);
    if (!documentFile.isValid())
        VN_LOG_WARN("job has no document file: the export path is the relative path \".pdf\"");
    return documentFile.path() + ".pdf";
}

// A file at the export path as it was before the export, so that a PDF left there by an earlier
// export is not taken for the one just asked for.
struct FileStamp {
    bool present = false;
    struct stat status {};
};

FileStamp stampOf(const ustring& path) {
    FileStamp stamp;
    stamp.present = ::stat(path.c_str(), &stamp.status) == 0 && S_ISREG(stamp.status.st_mode);
    return stamp;
}

bool writtenSince(const FileStamp& before, const ustring& path) {
    const FileStamp after = stampOf(path);
    if (!after.present) return false;
    if (!before.present) return true;
    const struct stat &a = before.status, &b = after.status;
    return a.st_ino != b.st_ino || a.st_dev != b.st_dev || a.st_size != b.st_size ||
           a.st_mtim.tv_sec != b.st_mtim.tv_sec || a.st_mtim.tv_nsec != b.st_mtim.tv_nsec;
}

AIActionParamValueRef newBlock(const char* label) {
    AIActionParamValueRef block = nullptr;
    if (const AIErr error = sAIActionManager->AINewActionParamValue(&block)) {
        VN_LOG_FN(loglevel::debug, label, "ILLE " << error);
        return nullptr;
    }
    return block;
}

// Host 15 and later: a copy of the document as PDF; the document keeps its own file. False when
// the host reports that the action failed.
bool exportCopy(SPBasicSuite* basic, BJobFile& job, const ustring& path) {
    AcquiredSuite<AIRuntimeSuite> runtime(basic, kAIRuntimeSuite, kAIRuntimeSuiteVersion);
    AIActionParamValueRef block = newBlock("ExportCurrentDocAsPDF");
    if (block == nullptr) return false;
    ActionReleaser releaser(block);
    const ExportValues values{GetExportPDFVersion(job), path};
    for (const ExportOption& option : kOptions) setOption(block, option, option.copyExport, values);
    if (const AIErr error = sAIActionManager->PlayActionEvent("adobe_saveACopyAs", kDialogNone, block)) {
        VN_LOG_FN(loglevel::debug, "ExportCurrentDocAsPDF", "ILLE " << error);
        return false;
    }
    return true;
}

// The save-as block: the options, of which a refused 'optn' or 'opnm' ends the options, then
// the file keys, each refusal ending the file keys. Returns whether the document was saved.
bool saveDocumentAsPdf(BJobFile& job, const ustring& path) {
    AIActionParamValueRef block = newBlock("SaveCurrentDocAsPDF");
    if (block == nullptr) return false;
    ActionReleaser releaser(block);
    const ExportValues values{GetExportPDFVersion(job), path};
    for (size_t i = 0; i < kFirstFileOption; ++i) {
        const AIErr error = setOption(block, kOptions[i], kOptions[i].saveAs, values);
        if (error != kNoErr && i < 2) {
            VN_LOG_FN(loglevel::debug, "SetPDFExportOptions", "ILLE " << error);
            break;
        }
    }
    for (size_t i = kFirstFileOption; i < kFirstFileOption + kFileOptionCount; ++i) {
        if (const AIErr error = setOption(block, kOptions[i], kOptions[i].saveAs, values)) {
            VN_LOG_FN(loglevel::debug, "SetPDFExportPath", "ILLE " << error);
            break;
        }
    }
    if (const AIErr error = sAIActionManager->PlayActionEvent("adobe_saveDocumentAs", kDialogNone, block)) {
        VN_LOG_FN(loglevel::debug, "SaveCurrentDocAsPDF", "ILLE " << error);
        return false;
    }
    return true;
}

// Hosts before 15: save the document, save it as PDF, close the PDF and open the document again.
bool exportSaveAs(AIDocumentListSuite* documents, BJobFile& job, const ustring& path) {
    {
        // A document without a file on disk makes the host ask where to save it.
        ai::FilePath onDisk;
        if (const AIErr error = sAIDocument->GetDocumentFilePath(onDisk.get())) {
            VN_LOG_FN(loglevel::debug, "DocumentOnDisk", "ILLE " << error);
            bringIllustratorToFront();
        } else if (onDisk.GetFullPath().str().rfind('/', 0) != 0) {
            bringIllustratorToFront();
        }
    }
    AIDocumentHandle document = nullptr;
    AIErr error = sAIDocument->GetDocument(&document);
    if (error == kNoErr) error = documents->Save(document);
    if (error != kNoErr) {
        VN_LOG_FN(loglevel::debug, "SaveCurrentDoc", "ILLE " << error);
        VN_LOG_FN(loglevel::debug, "ExportJobs", "DIDN'T SAVE");
        return false;
    }
    ai::FilePath saved;
    AIColorModel colourModel = 0;
    error = sAIDocument->GetDocumentFilePath(saved.get());
    if (error == kNoErr) error = sAIDocument->GetDocumentColorModel(&colourModel);
    if (error != kNoErr) {
        VN_LOG_FN(loglevel::debug, "ExportJobs", "ILLE " << error);
        return false;
    }
    VN_LOG_FN(loglevel::debug, "ExportJobs", "got colour model " << colourModel);

    if (!saveDocumentAsPdf(job, path)) return false;

    AIDocumentHandle current = nullptr;
    if ((error = sAIDocument->GetDocument(&current)) != kNoErr)
        VN_LOG_FN(loglevel::debug, "CloseDoc", "ILLE " << error);
    else if ((error = documents->Close(current)) != kNoErr)
        VN_LOG_FN(loglevel::debug, "CloseDoc", "ILLE " << error);
    AIDocumentHandle reopened = nullptr;
    if ((error = documents->Open(saved.get(), colourModel, kDialogNone, false, &reopened)) != kNoErr) {
        VN_LOG_FN(loglevel::debug, "ExportJobs", "ILLE " << error);
        return false;
    }
    return true;
}

}  // namespace

ActionReleaser::~ActionReleaser() {
    if (fBlock != nullptr && sAIActionManager->AIDeleteActionParamValue(fBlock) != kNoErr)
        VN_LOG_FN(loglevel::debug, "~ActionReleaser", "failed to release action");
}

int GetExportPDFVersion(BJobFile& job) {
    static constexpr struct {
        double version;
        int code;
    } kCodes[] = {{1.3, 19}, {1.4, 20}, {1.5, 21}, {1.6, 22}, {1.7, 23}};
    const double version = job.GetCheckSettings().GetDefaultPDFVersion();
    VN_LOG_DEBUG("jobs file requires pdf version " << version);
    for (const auto& entry : kCodes)
        if (entry.version == version) return entry.code;
    VN_LOG_DEBUG("couldn't map PDF VER " << version);
    return 19;
}

void HandleExportReply(SPBasicSuite* basic, std::istream& payload, BJobFile& job) {
    job.JobFileReadFromBuffer(payload, BJobFile::kFlagFull);
    if (DocumentIsOpen()) {
        PutIntoDocumentSLUG(basic, job, sAIDocument);
        AdjustSize(basic, false, false);
    }
    const ustring path = exportPath(job);
    {
        AcquiredSuite<AIDocumentListSuite> documents(basic, kAIDocumentListSuite,
                                                     kAIDocumentListSuiteVersion);
        if (!documents) return;
        AcquiredSuite<AIRuntimeSuite> runtime(basic, kAIRuntimeSuite, kAIRuntimeSuiteVersion);
        ai::int32 hostVersion = 0;
        if (runtime) runtime->GetAppMajorVersion(&hostVersion);
        const FileStamp before = stampOf(path);
        const bool exported =
            hostVersion >= 15 ? exportCopy(basic, job, path) : exportSaveAs(documents.get(), job, path);
        if (!exported) return;
        // Only a PDF that is there is reported as exported.
        if (!writtenSince(before, path)) {
            VN_LOG_FN(loglevel::debug, "ExportJobs", "ILLE " << kExportFileMissing);
            return;
        }
        job.ExportPluginInfo();
    }
    std::ostringstream reply;
    job.JobFileWriteToBufferForExport(reply);
    if (DocumentIsOpen()) {
        // The document keeps the job with the next group to export active; the reply tells
        // what was exported.
        PutIntoDocumentSLUG(basic, job, sAIDocument);
        SendEvent(reply.str(), kIllRequestExportDone);
    } else {
        VN_LOG_DEBUG("WARNING LOST MY REPLY, NO DOC OPEN!");
    }
}
