// Documents, the document list, dictionaries and colour profiles.
#include <cmath>

#include "Icc.h"
#include "SuiteSupport.h"
#include "Trace.h"

namespace vhost {
namespace {

std::string sizeText(const Document& doc) {
    return numberText(doc.width) + " x " + numberText(doc.height) + " pt";
}

// --- Document ---

AIErr GetDocument(AIDocumentHandle* document) {
    SuiteCall call(kAIDocumentSuite, "GetDocument");
    return call.run([&] {
        require(document);
        *document = toHandle<AIDocumentHandle>(host().requireDocument().id);
        call.output(*document);
    });
}

AIErr GetDocumentPageSize(AIReal* width, AIReal* height) {
    SuiteCall call(kAIDocumentSuite, "GetDocumentPageSize");
    return call.run([&] {
        require(width);
        require(height);
        const Document& doc = host().requireDocument();
        *width = doc.width;
        *height = doc.height;
        call.output(doc.width);
        call.output(doc.height);
    });
}

AIErr GetDocumentFilePath(AIFilePathRef path) {
    SuiteCall call(kAIDocumentSuite, "GetDocumentFilePath", path);
    return call.run([&] {
        const Document& doc = host().requireDocument();
        const auto it = host().paths.find(idOf(path));
        if (it == host().paths.end()) throw HostError(kBadParameterErr, "not a file path of this host");
        if (doc.file.empty()) throw HostError(kCantOpenFileErr, "the document has no file yet");
        it->second.path = doc.file;
        call.output(doc.file);
    });
}

AIErr GetDocumentDictionary(AIDictionaryRef* dictionary) {
    SuiteCall call(kAIDocumentSuite, "GetDictionary");
    return call.run([&] {
        require(dictionary);
        const uint64_t id = newId();
        host().dictRefs[id] = {host().requireDocument().id, 0};
        *dictionary = toHandle<AIDictionaryRef>(id);
        call.output(*dictionary);
    });
}

AIErr SetDocumentModified(AIBoolean modified) {
    SuiteCall call(kAIDocumentSuite, "SetDocumentModified", modified);
    return call.run([&] { host().requireDocument().modified = modified != 0; });
}

Profile profile(AIColorProfile handle) {
    if (handle == nullptr) return nullptr;
    const auto it = host().profiles.find(idOf(handle));
    if (it == host().profiles.end()) throw HostError(kBadParameterErr, "not a colour profile of this host");
    return it->second;
}

AIErr SetDocumentProfiles(AIColorProfile rgb, AIColorProfile cmyk, AIColorProfile gray) {
    SuiteCall call(kAIDocumentSuite, "SetDocumentProfiles", rgb, cmyk, gray);
    return call.run([&] {
        Document& doc = host().requireDocument();
        const std::array<Profile, 3> profiles = {profile(rgb), profile(cmyk), profile(gray)};
        doc.profiles = profiles;
        doc.modified = true;
    });
}

AIErr GetDocumentColorModel(AIColorModel* model) {
    SuiteCall call(kAIDocumentSuite, "GetDocumentColorModel");
    return call.run([&] {
        require(model);
        *model = host().requireDocument().colorModel;
        call.output(*model);
    });
}

AIErr SyncDocument() {
    SuiteCall call(kAIDocumentSuite, "SyncDocument");
    return call.run([&] { host().requireDocument(); });
}

// --- Document list ---

Document& document(AIDocumentHandle handle) {
    return host().requireDocument(idOf(handle));
}

// A new document is named "Untitled-N" whatever the preset's title, as the host does until it is
// saved; a missing preset gives the default page, 595 x 842 pt in CMYK.
AIErr New(AIUnicodeStringRef presetName, AINewDocumentPreset* preset, ActionDialogStatus dialog,
          AIDocumentHandle* handle) {
    SuiteCall call(kAIDocumentListSuite, "New", presetName, preset != nullptr ? preset->docWidth : 595.0,
                   preset != nullptr ? preset->docHeight : 842.0, dialog);
    return call.run([&] {
        require(handle);
        const int32_t model = preset != nullptr ? preset->docColorMode : kColorModelCMYK;
        if (model < kColorModelGray || model > kColorModelCMYK)
            throw HostError(kBadParameterErr, "unknown colour mode " + std::to_string(model));
        Document& doc = host().docs.create(preset != nullptr ? preset->docWidth : 595.0,
                                           preset != nullptr ? preset->docHeight : 842.0, int16_t(model));
        host().note("new document \"" + doc.title() + "\", " + sizeText(doc) + " (for the plug-in)");
        *handle = toHandle<AIDocumentHandle>(doc.id);
        call.output(*handle);
    });
}

// A document file records its colour model, so `model` changes nothing.
AIErr Open(AIFilePathRef file, AIColorModel model, ActionDialogStatus dialog, AIBoolean forceCopy,
           AIDocumentHandle* handle) {
    SuiteCall call(kAIDocumentListSuite, "Open", file, model, dialog, forceCopy);
    return call.run([&] {
        require(handle);
        const auto it = host().paths.find(idOf(file));
        if (it == host().paths.end()) throw HostError(kBadParameterErr, "not a file path of this host");
        try {
            Document& doc = host().docs.open(it->second.path, forceCopy != 0);
            host().note("opened \"" + doc.title() + "\" (for the plug-in)");
            *handle = toHandle<AIDocumentHandle>(doc.id);
            call.output(*handle);
        } catch (const HostError& e) {
            host().note(std::string("could not open a document for the plug-in: ") + e.what());
            throw;
        }
    });
}

AIErr Save(AIDocumentHandle handle) {
    SuiteCall call(kAIDocumentListSuite, "Save", handle);
    return call.run([&] {
        Document& doc = document(handle);
        try {
            host().docs.save(doc);
            host().note("saved \"" + doc.title() + "\" to " + doc.file + " (for the plug-in)");
        } catch (const HostError& e) {
            host().note(std::string("could not save a document for the plug-in: ") + e.what());
            throw;
        }
    });
}

AIErr Close(AIDocumentHandle handle) {
    SuiteCall call(kAIDocumentListSuite, "Close", handle);
    return call.run([&] {
        const std::string title = document(handle).title();
        host().docs.close(idOf(handle));
        host().note("closed \"" + title + "\" (for the plug-in)");
    });
}

// --- Dictionary ---

const std::string& keyName(AIDictKey key) {
    const uint64_t index = idOf(key);
    if (index == 0 || index > host().dictKeys.size())
        throw HostError(kBadParameterErr, "not a dictionary key");
    return host().dictKeys[index - 1];
}

// Changing a dictionary changes its document.
void touch(AIDictionaryRef ref) {
    host().requireDocument(host().dictRefs.at(idOf(ref)).document).modified = true;
}

const DictEntry& entry(AIDictionaryRef dictionary, AIDictKey key, DictEntry::Type type) {
    const Dictionary& dict = host().dictionary(dictionary);
    const auto it = dict.find(keyName(key));
    if (it == dict.end()) throw HostError(kNoSuchKeyErr, "no entry " + keyName(key));
    if (it->second.type != type)
        throw HostError(kWrongEntryTypeErr, "entry " + keyName(key) + " has another type");
    return it->second;
}

AIDictKey Key(const char* name) {
    if (name == nullptr || !HostState::exists()) return nullptr;
    auto& keys = host().dictKeys;
    size_t i = 0;
    while (i < keys.size() && keys[i] != name) ++i;
    if (i == keys.size()) keys.push_back(name);
    const AIDictKey key = toHandle<AIDictKey>(i + 1);
    if (trace().enabled)
        trace().line(std::string(kAIDictionarySuite) + ".Key(\"" + name + "\") -> #" + std::to_string(i + 1));
    return key;
}

AIErr GetBinaryEntry(AIDictionaryRef dictionary, AIDictKey key, void* value, size_t* size) {
    SuiteCall call(kAIDictionarySuite, "GetBinaryEntry", dictionary, key,
                   value == nullptr ? "size" : "bytes");
    return call.run([&] {
        require(size);
        const std::string& bytes = entry(dictionary, key, DictEntry::Type::Binary).bytes;
        if (value != nullptr) {
            if (*size < bytes.size())
                throw HostError(kBadParameterErr, "the buffer is smaller than the entry");
            std::copy(bytes.begin(), bytes.end(), static_cast<char*>(value));
        }
        *size = bytes.size();
        call.output(*size);
    });
}

AIErr SetBinaryEntry(AIDictionaryRef dictionary, AIDictKey key, const void* value, size_t size) {
    SuiteCall call(kAIDictionarySuite, "SetBinaryEntry", dictionary, key, size);
    return call.run([&] {
        if (value == nullptr && size != 0) throw HostError(kBadParameterErr, "no bytes");
        DictEntry e;
        if (size != 0) e.bytes.assign(static_cast<const char*>(value), size);
        host().dictionary(dictionary)[keyName(key)] = std::move(e);
        touch(dictionary);
    });
}

AIErr GetBooleanEntry(AIDictionaryRef dictionary, AIDictKey key, AIBoolean* value) {
    SuiteCall call(kAIDictionarySuite, "GetBooleanEntry", dictionary, key);
    return call.run([&] {
        require(value);
        *value = entry(dictionary, key, DictEntry::Type::Boolean).flag ? 1 : 0;
        call.output(*value);
    });
}

AIErr SetBooleanEntry(AIDictionaryRef dictionary, AIDictKey key, AIBoolean value) {
    SuiteCall call(kAIDictionarySuite, "SetBooleanEntry", dictionary, key, value);
    return call.run([&] {
        DictEntry e;
        e.type = DictEntry::Type::Boolean;
        e.flag = value != 0;
        host().dictionary(dictionary)[keyName(key)] = e;
        touch(dictionary);
    });
}

AIErr Release(AIDictionaryRef dictionary) {
    SuiteCall call(kAIDictionarySuite, "Release", dictionary);
    return call.run([&] {
        if (host().dictRefs.erase(idOf(dictionary)) == 0)
            throw HostError(kBadParameterErr, "not a dictionary reference");
    });
}

// --- Colour profiles ---

AIErr CreateProfileFromBuffer(const void* data, ai::uint32 size, AIColorProfile* profile) {
    SuiteCall call(kAIOverrideColorConversionSuite, "CreateProfileFromBuffer", size);
    return call.run([&] {
        require(profile);
        if (data == nullptr) throw HostError(kBadParameterErr, "no data");
        std::string bytes(static_cast<const char*>(data), size);
        if (!isIccProfile(bytes)) throw HostError(kBadProfileErr, "not an ICC profile");
        const uint64_t id = newId();
        host().profiles[id] = std::make_shared<const std::string>(std::move(bytes));
        *profile = toHandle<AIColorProfile>(id);
        call.output(*profile);
    });
}

const AIDocumentSuite kDocument = {GetDocument,           GetDocumentPageSize, GetDocumentFilePath,
                                   GetDocumentDictionary, SetDocumentModified, SetDocumentProfiles,
                                   GetDocumentColorModel, SyncDocument};
const AIDocumentListSuite kDocumentList = {New, Open, Save, Close};
const AIDictionarySuite kDictionary = {
    Key, GetBinaryEntry, SetBinaryEntry, GetBooleanEntry, SetBooleanEntry, Release};
const AIOverrideColorConversionSuite kColorConversion = {CreateProfileFromBuffer};

}  // namespace

void addDocumentSuites(SuiteTable& table) {
    table.add(kAIDocumentSuite, kAIDocumentSuiteVersion, &kDocument);
    table.add(kAIDocumentListSuite, kAIDocumentListSuiteVersion, &kDocumentList);
    table.add(kAIDictionarySuite, kAIDictionarySuiteVersion, &kDictionary);
    table.add(kAIOverrideColorConversionSuite, kAIOverrideColorConversionSuiteVersion, &kColorConversion);
}

}  // namespace vhost
