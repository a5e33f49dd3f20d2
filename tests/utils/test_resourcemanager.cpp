#include "ResourceManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "TestFolders.h"

using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;

namespace {

class ResourceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) env.unset(v);
        previousMainBundle = UFileSpecCore::mainBundle();
        useBundle(bundle);
    }
    void TearDown() override {
        ResourceManager::setLoadBundle(UFileSpecCore());
        UFileSpecCore::setMainBundle(previousMainBundle);
        ResourceManager::reset();
    }
    // A fresh bundle whose resources hold the space-separated localisation folders.
    static void useBundle(const ScratchFolder& folder, const std::string& localizations = "") {
        std::istringstream names(localizations);
        for (std::string name; names >> name;) folder.makeFolder("Resources/" + name + ".lproj");
        ResourceManager::setLoadBundle(UFileSpecCore(ustring(folder.path()), nullptr));
        ResourceManager::reset();
    }
    // The path below the resources folder, or "-" for an invalid result.
    std::string relative(const char* name) const {
        const UFileSpecCore spec = ResourceManager::getResourcePath(ustring(name));
        return spec.isValid() ? spec.path().str().substr((bundle / "Resources/").size()) : "-";
    }

    ScratchFolder bundle;
    ScopedEnvironment env;
    ustring previousMainBundle;
};

TEST_F(ResourceManagerTest, ResourcesFolderOfTheLoadBundleOrTheMainBundle) {
    EXPECT_EQ(ResourceManager::getResourceFolder().path(), ustring(bundle / "Resources"));
    ResourceManager::setLoadBundle(UFileSpecCore());
    UFileSpecCore::setMainBundle(ustring(bundle / "host"));
    EXPECT_EQ(ResourceManager::getResourceFolder().path(), ustring(bundle / "host/Resources"));
    UFileSpecCore::setMainBundle(ustring());
    EXPECT_THAT([] { ResourceManager::getResourceFolder(); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    ::testing::StrEq("something really wrong with application bundle")));
}

TEST_F(ResourceManagerTest, LanguageFolderByNameOrAlias) {
    const struct {
        const char *folders, *language, *expected;
    } cases[] = {
        {"German", "de", "German.lproj"},
        {"de", "German", "de.lproj"},
        {"de German", "de", "de.lproj"},
        {"ja", "Japanese", "ja.lproj"},
        {"en German", "pt", "-"},
        {"german", "de", "-"},
        {"de", "de_DE", "-"},
    };
    for (const auto& c : cases) {
        ScratchFolder fresh;
        useBundle(fresh, c.folders);
        const UFileSpecCore found = ResourceManager::getLangFolder(
            UFileSpecCore(ustring(fresh / "Resources"), nullptr), ustring(c.language));
        EXPECT_EQ(found.isValid() ? found.name(true).str() : "-", c.expected) << c.language;
    }
}

TEST_F(ResourceManagerTest, LanguageFoldersAreCheckedOnce) {
    useBundle(bundle, "de");
    const UFileSpecCore resources(ustring(bundle / "Resources"), nullptr);
    const UFileSpecCore first = ResourceManager::getLangFolder(resources, ustring("de"));
    ASSERT_TRUE(first.isValid());
    EXPECT_FALSE(ResourceManager::getLangFolder(resources, ustring("fr")).isValid());
    std::filesystem::remove_all(bundle / "Resources/de.lproj");
    bundle.makeFolder("Resources/fr.lproj");
    EXPECT_EQ(ResourceManager::getLangFolder(resources, ustring("de")), first);
    EXPECT_FALSE(ResourceManager::getLangFolder(resources, ustring("fr")).isValid());
}

TEST_F(ResourceManagerTest, BestLocalizationFromTheEnvironment) {
    const struct {
        const char *folders, *variables, *expected;
    } cases[] = {
        {"en German fr", "LANG=de_DE.UTF-8@euro", "German"},
        {"German de", "LANG=de_DE", "de"},  // the own name wins over the alias
        {"en de fr", "LANGUAGE=pt:fr LANG=de_DE.UTF-8", "fr"},
        {"en de French", "LC_ALL=fr_FR.UTF-8 LANG=de_DE", "French"},
        // The first of LC_ALL, LC_MESSAGES, LANG that is set governs; the others are not consulted.
        {"en de", "LC_MESSAGES=ja_JP.UTF-8 LANG=de_DE", "en"},
        {"en pt pt_BR", "LANG=pt_BR.UTF-8", "pt_BR"},
        {"en pt", "LANG=pt_BR.UTF-8", "pt"},
        {"en pt-BR", "LANG=pt_BR", "pt-BR"},
        {"de Japanese", "", "en"},
        {"English de", "LANG=C", "en"},
    };
    for (const auto& c : cases) {
        ScratchFolder fresh;
        ScopedEnvironment scoped;
        std::istringstream variables(c.variables);
        for (std::string v; variables >> v;) scoped.set(v.substr(0, v.find('=')), v.substr(v.find('=') + 1));
        useBundle(fresh, c.folders);
        EXPECT_EQ(ResourceManager::getBestLocal(), ustring(c.expected)) << c.variables;
    }

    // Chosen once, and only among folders.
    bundle.write("Resources/fr.lproj", "not a folder");
    useBundle(bundle, "de");
    env.set("LANGUAGE", "fr:de");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("de"));
    env.set("LANGUAGE", "en");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("de"));
}

TEST_F(ResourceManagerTest, ResourcePathFallsBackToEnglishThenTheTop) {
    for (const char* file :
         {"German.lproj/a.strings", "en.lproj/a.strings", "en.lproj/b.strings", "b.strings", "c.strings"})
        bundle.write(std::string("Resources/") + file, "");
    env.set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("German"));
    EXPECT_EQ(relative("a.strings"), "German.lproj/a.strings");
    EXPECT_EQ(relative("b.strings"), "en.lproj/b.strings");
    EXPECT_EQ(relative("c.strings"), "c.strings");
    EXPECT_EQ(relative("d.strings"), "-");

    // A locale without a folder, and no English folder at all: the top still answers.
    std::filesystem::remove_all(bundle / "Resources/en.lproj");
    env.set("LANG", "pt_PT.UTF-8");
    ResourceManager::reset();
    EXPECT_EQ(relative("a.strings"), "-");
    EXPECT_EQ(relative("c.strings"), "c.strings");
    bundle.write("Resources/English.lproj/a.strings", "");
    ResourceManager::reset();
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("en"));  // the default, found under its alias
    EXPECT_EQ(relative("a.strings"), "English.lproj/a.strings");
}

}  // namespace
