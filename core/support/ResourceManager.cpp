#include "support/ResourceManager.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "message/umessage.h"
#include "support/flat_map.h"

namespace {

UFileSpecCore g_loadBundle;
ustring g_locale;
vnu::flat_map<ustring, UFileSpecCore> g_langFolders;

struct LanguageAlias {
    const char* code;
    const char* folderName;
};

// Folder names from before localisations were named by code; searched in order, up to the empty row.
constexpr LanguageAlias kLanguageAliases[] = {
    {"en", "English"}, {"de", "German"}, {"fr", "French"}, {"ja", "Japanese"}, {"es", "Spanish"}, {"", ""},
};

// The other name of `language` in the alias table, or empty.
ustring aliasOf(const ustring& language) {
    for (const LanguageAlias& row : kLanguageAliases) {
        if (row.code[0] == '\0') break;
        if (language == row.code) return row.folderName;
        if (language == row.folderName) return row.code;
    }
    return {};
}

UFileSpecCore bundleFolder() {
    if (g_loadBundle.isValid()) return g_loadBundle;
    return UFileSpecCore(UFileSpecCore::eSpecialFolder_MainBundle);
}

// The names of the bundle's "<name>.lproj" folders, sorted so the choice does not depend on the
// order of the directory.
std::vector<ustring> bundleLocalizations(const UFileSpecCore& resources) {
    static constexpr char kSuffix[] = ".lproj";
    constexpr size_t kSuffixLength = sizeof kSuffix - 1;
    std::vector<ustring> names;
    for (const UFileSpecCore& entry : resources.getFolderContent()) {
        const ustring name = entry.name(true);
        if (name.size() > kSuffixLength &&
            name.compare(name.size() - kSuffixLength, kSuffixLength, kSuffix, kSuffixLength) == 0 &&
            entry.isFolder())
            names.push_back(name.substr(0, name.size() - kSuffixLength));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The user's languages, most wanted first: the LANGUAGE list, then the locale that governs
// messages (the first of LC_ALL, LC_MESSAGES, LANG that is set). Each entry such as
// "de_DE.UTF-8@euro" gives "de_DE" and then "de".
std::vector<ustring> preferredLanguages() {
    std::vector<ustring> entries;
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr)
        entries = Split<ustring>(ustring(list), ':');
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            entries.emplace_back(value);
            break;
        }
    }
    std::vector<ustring> languages;
    auto addOnce = [&languages](const ustring& language) {
        if (!language.empty() && std::find(languages.begin(), languages.end(), language) == languages.end())
            languages.push_back(language);
    };
    for (const ustring& entry : entries) {
        const ustring full = entry.substr(0, entry.find_first_of(".@"));
        addOnce(full);
        addOnce(full.substr(0, full.find_first_of("_-")));
    }
    return languages;
}

// Whether the bundle localisation is named `language`, with '-' and '_' alike ("pt-BR", "pt_BR").
bool sameName(const ustring& localization, const ustring& language) {
    if (localization.size() != language.size()) return false;
    for (size_t i = 0; i < language.size(); ++i) {
        const char a = localization[i] == '-' ? '_' : localization[i];
        const char b = language[i] == '-' ? '_' : language[i];
        if (a != b) return false;
    }
    return true;
}

}  // namespace

namespace ResourceManager {

UFileSpecCore getResourceFolder() {
    UFileSpecCore folder = bundleFolder();
    if (!folder.isValid() || !folder.add("Resources"))
        throw std::runtime_error("something really wrong with application bundle");
    return folder;
}

ustring getBestLocal() {
    if (g_locale.empty()) {
        const std::vector<ustring> localizations = bundleLocalizations(getResourceFolder());
        for (const ustring& language : preferredLanguages()) {
            // A folder with the language's own name wins over one with its alias.
            auto match = std::find_if(localizations.begin(), localizations.end(),
                                      [&language](const ustring& l) { return sameName(l, language); });
            const ustring alias = aliasOf(language);
            if (match == localizations.end() && !alias.empty())
                match = std::find(localizations.begin(), localizations.end(), alias);
            if (match != localizations.end()) {
                g_locale = *match;
                break;
            }
        }
        if (g_locale.empty()) g_locale = "en";
    }
    return g_locale;
}

UFileSpecCore getLangFolder(const UFileSpecCore& resourceFolder, const ustring& language) {
    const auto cached = g_langFolders.find(language);
    if (cached != g_langFolders.end()) return cached->second;
    UFileSpecCore candidate(resourceFolder);
    candidate.add(language + ".lproj");
    if (!candidate.isFolder()) {
        const ustring alternative = aliasOf(language);
        if (!alternative.empty()) {
            candidate = resourceFolder;
            candidate.add(alternative + ".lproj");
        }
        if (!candidate.isFolder()) candidate.init();
    }
    g_langFolders[language] = candidate;
    return candidate;
}

UFileSpecCore getResourcePath(const ustring& name) {
    const ustring locale = getBestLocal();
    const UFileSpecCore folder = getResourceFolder();
    UFileSpecCore path = getLangFolder(folder, locale);
    if (path.isValid() && path.add(name) && path.exists()) return path;
    // The English folder is not checked for validity: only the existence of the resulting file
    // counts, as it always has.
    path = getLangFolder(folder, "en");
    if (path.add(name) && path.exists()) return path;
    path = folder;
    if (path.add(name) && path.exists()) return path;
    return UFileSpecCore();
}

void setLoadBundle(const UFileSpecCore& bundle) {
    g_loadBundle = bundle;
}

void reset() {
    g_locale.clear();
    g_langFolders.clear();
}

}  // namespace ResourceManager
