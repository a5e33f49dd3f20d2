#include "ResourceManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestFolders.h"

namespace fs = std::filesystem;
using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;

namespace {

class ResourceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) env.unset(v);
        previousMainBundle = UFileSpecCore::mainBundle();
        ResourceManager::setLoadBundle(UFileSpecCore(ustring(bundle.path()), nullptr));
        ResourceManager::reset();
    }
    void TearDown() override {
        ResourceManager::setLoadBundle(UFileSpecCore());
        UFileSpecCore::setMainBundle(previousMainBundle);
        ResourceManager::reset();
    }

    UFileSpecCore resources() const { return UFileSpecCore(ustring(bundle / "Resources"), nullptr); }
    void localization(const std::string& name) const { bundle.makeFolder("Resources/" + name + ".lproj"); }
    // The path below the resources folder, or "-" for an invalid result.
    std::string relative(const UFileSpecCore& spec) const {
        if (!spec.isValid()) return "-";
        const std::string prefix = bundle / "Resources/";
        const std::string path = spec.path().str();
        return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
    }

    ScratchFolder bundle;
    ScopedEnvironment env;
    ustring previousMainBundle;
};

}  // namespace

TEST_F(ResourceManagerTest, ResourcesFolderOfTheLoadBundleOrTheMainBundle) {
    EXPECT_EQ(ResourceManager::getResourceFolder().path(), ustring(bundle / "Resources"));

    ResourceManager::setLoadBundle(UFileSpecCore());
    ScratchFolder host;
    UFileSpecCore::setMainBundle(ustring(host.path()));
    EXPECT_EQ(ResourceManager::getResourceFolder().path(), ustring(host / "Resources"));

    UFileSpecCore::setMainBundle(ustring());
    try {
        ResourceManager::getResourceFolder();
        ADD_FAILURE() << "a missing bundle went unnoticed";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "something really wrong with application bundle");
    }
}

TEST_F(ResourceManagerTest, LanguageFolderByNameOrAlias) {
    struct {
        std::vector<std::string> folders;
        const char* language;
        const char* expected;
    } cases[] = {{{"German"}, "de", "German.lproj"},
                 {{"de"}, "German", "de.lproj"},
                 {{"de", "German"}, "de", "de.lproj"},
                 {{"de", "German"}, "German", "German.lproj"},
                 {{"English"}, "en", "English.lproj"},
                 {{"ja"}, "Japanese", "ja.lproj"},
                 {{"Spanish"}, "es", "Spanish.lproj"},
                 {{"fr"}, "French", "fr.lproj"},
                 {{"en", "German"}, "pt", "-"},
                 {{"german"}, "de", "-"},
                 {{"de"}, "de_DE", "-"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        ScratchFolder fresh;
        for (const std::string& f : c.folders) fresh.makeFolder("Resources/" + f + ".lproj");
        ResourceManager::reset();
        const UFileSpecCore res(ustring(fresh / "Resources"), nullptr);
        const UFileSpecCore found = ResourceManager::getLangFolder(res, ustring(c.language));
        EXPECT_EQ(found.isValid() ? found.name(true).str() : "-", c.expected);
    }
}

TEST_F(ResourceManagerTest, LanguageFoldersAreCheckedOnce) {
    localization("de");
    const UFileSpecCore first = ResourceManager::getLangFolder(resources(), ustring("de"));
    ASSERT_TRUE(first.isValid());
    const UFileSpecCore none = ResourceManager::getLangFolder(resources(), ustring("fr"));
    EXPECT_FALSE(none.isValid());

    fs::remove_all(bundle / "Resources/de.lproj");
    localization("fr");
    EXPECT_EQ(ResourceManager::getLangFolder(resources(), ustring("de")), first);
    EXPECT_FALSE(ResourceManager::getLangFolder(resources(), ustring("fr")).isValid());
}

TEST_F(ResourceManagerTest, BestLocalizationFromTheEnvironment) {
    struct {
        std::vector<std::string> folders;
        std::vector<std::pair<const char*, const char*>> variables;
        const char* expected;
    } cases[] = {{{"en", "German", "fr"}, {{"LANG", "de_DE.UTF-8@euro"}}, "German"},
                 {{"German", "de"}, {{"LANG", "de_DE"}}, "de"},  // the own name wins over the alias
                 {{"de", "German"}, {{"LANG", "German"}}, "German"},
                 {{"en", "de", "fr"}, {{"LANGUAGE", "pt:fr"}, {"LANG", "de_DE.UTF-8"}}, "fr"},
                 {{"en", "de", "French"}, {{"LC_ALL", "fr_FR.UTF-8"}, {"LANG", "de_DE"}}, "French"},
                 {{"en", "de", "fr"}, {{"LC_MESSAGES", "fr_CA"}, {"LANG", "de"}}, "fr"},
                 // The first of LC_ALL, LC_MESSAGES, LANG that is set governs; the others are not consulted.
                 {{"en", "de"}, {{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "de_DE"}}, "en"},
                 {{"en", "pt", "pt_BR"}, {{"LANG", "pt_BR.UTF-8"}}, "pt_BR"},
                 {{"en", "pt"}, {{"LANG", "pt_BR.UTF-8"}}, "pt"},
                 {{"en", "pt-BR"}, {{"LANG", "pt_BR"}}, "pt-BR"},
                 {{"Japanese", "en"}, {{"LANGUAGE", "ja"}}, "Japanese"},
                 {{"de", "Japanese"}, {}, "en"},
                 {{"English", "de"}, {{"LANG", "C"}}, "en"}};
    for (const auto& c : cases) {
        ScratchFolder fresh;
        ScopedEnvironment scoped;
        std::string trace;
        for (const auto& [name, value] : c.variables) {
            scoped.set(name, value);
            trace += std::string(name) + "=" + value + " ";
        }
        SCOPED_TRACE(trace);
        for (const std::string& f : c.folders) fresh.makeFolder("Resources/" + f + ".lproj");
        ResourceManager::setLoadBundle(UFileSpecCore(ustring(fresh.path()), nullptr));
        ResourceManager::reset();
        EXPECT_EQ(ResourceManager::getBestLocal(), ustring(c.expected));
    }
}

TEST_F(ResourceManagerTest, BestLocalizationIsChosenOnceAndOnlyAmongFolders) {
    bundle.write("Resources/fr.lproj", "not a folder");
    localization("de");
    env.set("LANGUAGE", "fr:de");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("de"));
    env.set("LANGUAGE", "en");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("de"));
}

TEST_F(ResourceManagerTest, ResourcePathFallbacks) {
    bundle.write("Resources/German.lproj/a.strings", "");
    bundle.write("Resources/en.lproj/a.strings", "");
    bundle.write("Resources/en.lproj/b.strings", "");
    bundle.write("Resources/b.strings", "");
    bundle.write("Resources/c.strings", "");
    env.set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("German"));
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("a.strings"))), "German.lproj/a.strings");
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("b.strings"))), "en.lproj/b.strings");
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("c.strings"))), "c.strings");
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("d.strings"))), "-");
}

TEST_F(ResourceManagerTest, UnmatchedLanguageUsesEnglishThenTheTop) {
    bundle.write("Resources/German.lproj/a.strings", "");
    bundle.write("Resources/c.strings", "");
    env.set("LANG", "pt_PT.UTF-8");
    // No English folder at all: the top of the resources folder still answers, as for every locale.
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("a.strings"))), "-");
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("c.strings"))), "c.strings");

    bundle.write("Resources/English.lproj/a.strings", "");
    ResourceManager::reset();
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("en"));  // the default, found under its alias
    EXPECT_EQ(relative(ResourceManager::getResourcePath(ustring("a.strings"))), "English.lproj/a.strings");
}
