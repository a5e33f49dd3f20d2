#include "support/ResourceManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "TestFolders.h"

using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;

namespace {

class ResourceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) env.unset(v);
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
    const ustring previousMainBundle = UFileSpecCore::mainBundle();
};

TEST_F(ResourceManagerTest, LanguageFolderByNameOrAlias) {
    const struct {
        const char *folders, *language, *expected;
    } cases[] = {
        {"German", "de", "German.lproj"}, {"de", "German", "de.lproj"}, {"de German", "de", "de.lproj"},
        {"en German", "pt", "-"},         {"german", "de", "-"},        {"de", "de_DE", "-"},
    };
    const auto find = [](const ScratchFolder& folder, const char* language) {
        const UFileSpecCore found = ResourceManager::getLangFolder(
            UFileSpecCore(ustring(folder / "Resources"), nullptr), ustring(language));
        return found.isValid() ? found.name(true).str() : "-";
    };
    for (const auto& c : cases) {
        ScratchFolder fresh;
        useBundle(fresh, c.folders);
        EXPECT_EQ(find(fresh, c.language), c.expected) << c.language;
    }
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
        {"de Japanese", "", "en"},
    };
    for (const auto& c : cases) {
        ScratchFolder fresh;
        ScopedEnvironment scoped;
        std::istringstream variables(c.variables);
        for (std::string v; variables >> v;) scoped.set(v.substr(0, v.find('=')), v.substr(v.find('=') + 1));
        useBundle(fresh, c.folders);
        EXPECT_EQ(ResourceManager::getBestLocal(), ustring(c.expected)) << c.variables;
    }
    // Only folders count.
    bundle.write("Resources/fr.lproj", "not a folder");
    useBundle(bundle, "de");
    env.set("LANGUAGE", "fr:de");
    EXPECT_EQ(ResourceManager::getBestLocal(), ustring("de"));
}

TEST_F(ResourceManagerTest, ResourcePathFallsBackToEnglishThenTheTop) {
    for (const char* file :
         {"German.lproj/a.strings", "en.lproj/a.strings", "en.lproj/b.strings", "b.strings", "c.strings"})
        bundle.write(std::string("Resources/") + file, "");
    env.set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(relative("a.strings") + " " + relative("b.strings") + " " + relative("c.strings") + " " +
                  relative("d.strings"),
              "German.lproj/a.strings en.lproj/b.strings c.strings -");
    // A locale without a folder, and no English folder at all: the top still answers.
    std::filesystem::remove_all(bundle / "Resources/en.lproj");
    env.set("LANG", "pt_PT.UTF-8");
    ResourceManager::reset();
    EXPECT_EQ(relative("a.strings") + " " + relative("c.strings"), "- c.strings");
}

}  // namespace
