// Unicode strings and file paths handed between the plug-in and the host.
#include "SuiteSupport.h"
#include "Utf.h"

namespace vhost {
namespace {

std::u16string& text(AIUnicodeStringRef ref) {
    const auto it = host().strings.find(idOf(ref));
    if (it == host().strings.end()) throw HostError(kBadParameterErr, "not a Unicode string of this host");
    return it->second;
}

FilePath& filePath(AIFilePathRef ref) {
    const auto it = host().paths.find(idOf(ref));
    if (it == host().paths.end()) throw HostError(kBadParameterErr, "not a file path of this host");
    return it->second;
}

AIErr Initialize(AIUnicodeStringRef* string, const ASUnicode* units, size_t length) {
    SuiteCall call(kAIUnicodeStringSuite, "Initialize", length);
    return call.run([&] {
        if (string == nullptr || (units == nullptr && length != 0))
            throw HostError(kBadParameterErr, "no text or no place for the string");
        const uint64_t id = newId();
        host().strings[id] =
            length == 0 ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(units), length);
        *string = toHandle<AIUnicodeStringRef>(id);
        call.output(toUtf8(host().strings[id]));
        call.output(*string);
    });
}

AIErr GetUTF16(AIUnicodeStringRef string, const ASUnicode** units, size_t* length) {
    SuiteCall call(kAIUnicodeStringSuite, "GetUTF16", string);
    return call.run([&] {
        if (units == nullptr || length == nullptr) throw HostError(kBadParameterErr, "no place for the text");
        const std::u16string& t = text(string);
        *units = reinterpret_cast<const ASUnicode*>(t.c_str());
        *length = t.size();
        call.output(toUtf8(t));
    });
}

AIErr Destroy(AIUnicodeStringRef string) {
    SuiteCall call(kAIUnicodeStringSuite, "Destroy", string);
    return call.run([&] {
        if (host().strings.erase(idOf(string)) == 0)
            throw HostError(kBadParameterErr, "not a Unicode string of this host");
    });
}

AIErr NewFilePath(const char* utf8Path, AIFilePathRef* path) {
    SuiteCall call(kAIFilePathSuite, "NewFilePath", utf8Path);
    return call.run([&] {
        if (utf8Path == nullptr || path == nullptr)
            throw HostError(kBadParameterErr, "no path or no place for it");
        const uint64_t id = newId();
        host().paths[id] = {utf8Path, ""};
        *path = toHandle<AIFilePathRef>(id);
        call.output(*path);
    });
}

AIErr DeleteFilePath(AIFilePathRef path) {
    SuiteCall call(kAIFilePathSuite, "DeleteFilePath", path);
    return call.run([&] {
        if (host().paths.erase(idOf(path)) == 0)
            throw HostError(kBadParameterErr, "not a file path of this host");
    });
}

AIErr GetFullPath(AIFilePathRef path, const char** utf8Path) {
    SuiteCall call(kAIFilePathSuite, "GetFullPath", path);
    return call.run([&] {
        if (utf8Path == nullptr) throw HostError(kBadParameterErr, "no place for the path");
        *utf8Path = filePath(path).path.c_str();
        call.output(*utf8Path);
    });
}

AIErr SetFullPath(AIFilePathRef path, const char* utf8Path) {
    SuiteCall call(kAIFilePathSuite, "SetFullPath", path, utf8Path);
    return call.run([&] {
        if (utf8Path == nullptr) throw HostError(kBadParameterErr, "no path");
        filePath(path).path = utf8Path;
    });
}

// "report" for /jobs/report.json; a leading dot does not start an extension (".profile").
AIErr GetFileNameNoExt(AIFilePathRef path, const char** utf8Name) {
    SuiteCall call(kAIFilePathSuite, "GetFileNameNoExt", path);
    return call.run([&] {
        if (utf8Name == nullptr) throw HostError(kBadParameterErr, "no place for the name");
        FilePath& p = filePath(path);
        const size_t slash = p.path.rfind('/');
        std::string name = slash == std::string::npos ? p.path : p.path.substr(slash + 1);
        if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot != 0) name.erase(dot);
        p.nameNoExt = name;
        *utf8Name = p.nameNoExt.c_str();
        call.output(*utf8Name);
    });
}

const AIUnicodeStringSuite kUnicode = {Initialize, GetUTF16, Destroy};
const AIFilePathSuite kFilePath = {NewFilePath, DeleteFilePath, GetFullPath, SetFullPath, GetFileNameNoExt};

}  // namespace

void addTextSuites(SuiteTable& table) {
    table.add(kAIUnicodeStringSuite, kAIUnicodeStringSuiteVersion, &kUnicode);
    table.add(kAIFilePathSuite, kAIFilePathSuiteVersion, &kFilePath);
}

}  // namespace vhost
