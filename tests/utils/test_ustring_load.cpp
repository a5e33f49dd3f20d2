#include "ustring_load.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ResourceManager.h"
#include "TestFolders.h"

namespace fs = std::filesystem;
using testing_support::CapturedLog;
using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;

namespace {

std::string utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes;
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

class StringTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) env.unset(v);
        env.set("LANG", "en_US.UTF-8");
        ResourceManager::setLoadBundle(UFileSpecCore(ustring(bundle.path()), nullptr));
        forget();
    }
    void TearDown() override {
        ResourceManager::setLoadBundle(UFileSpecCore());
        forget();
    }
    static void forget() {
        ResourceManager::reset();
        ustring_load_reset();
    }
    void table(const std::string& name, const std::string& bytes) const {
        bundle.write("Resources/en.lproj/" + name + ".strings", bytes);
    }
    static std::string load(const char* key, const char* table) {
        return ustring_load(ustring(key), ustring(table)).str();
    }

    ScratchFolder bundle;
    ScopedEnvironment env;
};

}  // namespace

TEST_F(StringTableTest, EntryForms) {
    table("T",
          "/* Menu texts\n   of the plug-in */\n\"a\" = \"x\" \"y\";\n// bare words\nbare_key = v;\n"
          "\"dup\" = \"first\"; \"dup\" = \"second\";");
    EXPECT_EQ(load("a", "T") + load("bare_key", "T") + load("dup", "T"), "xyvsecond");
}

TEST_F(StringTableTest, SyntaxErrorKeepsEarlierEntriesAndNamesTheLine) {
    struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        // The look-ahead after the closing quote has already counted the line end.
        {"T1", "\"a\" = \"1\";\n\"b\" = \"2\"\n", "T1 : unexpected element in stream at line 3"},
        {"T2", "\"a\" = \"1\";\n\"b\" = \"2\"", "T2 : unexpected element in stream at line 2"},
        {"T3", "\"a\" = \"1\";\r\n\"b\" = = \"2\";\r\n\"c\" = \"3\";",
         "T3 : unexpected element in stream at line 2"},
        {"T4", "\"a\" = \"1\";\r\"b\"\r\r= \"2\" ; ?", "T4 : unexpected element in stream at line 4"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        table(c.name, c.text);
        CapturedLog log;
        EXPECT_NO_THROW(EXPECT_EQ(load("a", c.name), "1"));
        EXPECT_EQ(log.count("[ERROR]"), 1) << log.text();
        EXPECT_EQ(log.count(std::string(":loadStringTable:")), 1);
        EXPECT_EQ(log.count(c.message), 1) << log.text();
        EXPECT_EQ(load("c", c.name), "c");
        EXPECT_EQ(log.count("[ERROR]"), 1);  // loaded once, reported once
    }
}

TEST_F(StringTableTest, CharacterOutsideTheBasicPlaneEndsTheTable) {
    table("T", "\xFF\xFE" + utf16(u"\"a\" = \"1\";\n\"b\" = \"\U0001F600\";\n\"c\" = \"3\";\n", false));
    CapturedLog log;
    EXPECT_EQ(load("a", "T"), "1");
    EXPECT_EQ(load("b", "T"), "b");
    EXPECT_EQ(load("c", "T"), "c");
    EXPECT_EQ(log.count("T : unexpected element in stream at line 2"), 1) << log.text();
}

TEST_F(StringTableTest, MissingTableOrKeyGivesTheKey) {
    table("T", "\"a\" = \"1\";");
    CapturedLog log;
    EXPECT_EQ(load("k", "Nope") + load("zz", "T"), "kzz");
    EXPECT_EQ(log.count("[ERROR]"), 0);
    EXPECT_EQ(log.count("[DEBUG]"), 2);
    EXPECT_EQ(log.count(":ustring_load:"), 2);
    for (const char* line : {"Key missing in \"Nope\" table: \"k\"", "Key missing in \"T\" table: \"zz\""})
        EXPECT_EQ(log.count(line), 1) << log.text();
}

TEST_F(StringTableTest, EmptyFileIsAnEmptyTableWithoutError) {
    table("T", "");
    CapturedLog log;
    EXPECT_EQ(load("a", "T"), "a");
    EXPECT_EQ(log.count("[ERROR]"), 0) << log.text();
}

TEST_F(StringTableTest, NoBundleIsLoggedNotThrown) {
    ResourceManager::setLoadBundle(UFileSpecCore());
    const ustring previous = UFileSpecCore::mainBundle();
    UFileSpecCore::setMainBundle(ustring());
    CapturedLog log;
    EXPECT_NO_THROW(EXPECT_EQ(load("a", "T"), "a"));
    UFileSpecCore::setMainBundle(previous);
    EXPECT_EQ(log.count("T : something really wrong with application bundle"), 1) << log.text();
}

TEST_F(StringTableTest, TableIsReadOncePerProcess) {
    table("T", "\"a\" = \"old\";");
    EXPECT_EQ(load("a", "T"), "old");
    table("T", "\"a\" = \"new\";");
    fs::remove_all(bundle / "Resources");
    EXPECT_EQ(load("a", "T"), "old");
    table("T", "\"a\" = \"new\";");
    ustring_load_reset();
    EXPECT_EQ(load("a", "T"), "new");
}

namespace {

struct ShippedLanguage {
    const char* lang;
    const char* values[4];
};

class ShippedTables : public StringTableTest, public ::testing::WithParamInterface<ShippedLanguage> {};

}  // namespace

TEST_P(ShippedTables, MenuTextsAreTranslated) {
    // The shipped tables: from the source tree that ctest names, else the one holding this file.
    const char* source = std::getenv("VARNEL_SOURCE_DIR");
    const fs::path resources =
        (source != nullptr && source[0] != '\0' ? fs::path(source)
                                                : fs::path(__FILE__).parent_path() / "../..") /
        "resources";
    ASSERT_TRUE(fs::is_directory(resources)) << resources;
    fs::create_directory_symlink(resources, bundle / "Resources");
    env.set("LANG", GetParam().lang);
    CapturedLog log;
    const char* keys[] = {"About Varnel...", "Show Job List Window", "Job Details / Export...",
                          "AdjustSize..."};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(load(keys[i], "Illustrator"), GetParam().values[i]) << keys[i];
    EXPECT_EQ(log.text(), "");  // neither a parse error nor a missing key
}

INSTANTIATE_TEST_SUITE_P(
    Languages, ShippedTables,
    ::testing::Values(
        ShippedLanguage{"en_US.UTF-8",
                        {"About Varnel\u2026", "Show Job List Window", "Job Details / Export\u2026",
                         "Adjust Size\u2026"}},
        ShippedLanguage{"de_DE.UTF-8",
                        {"\u00DCber Varnel\u2026", "Auftragsliste anzeigen", "Auftragsdetails / Export\u2026",
                         "Gr\u00F6\u00DFe anpassen\u2026"}},
        ShippedLanguage{"fr_FR.UTF-8",
                        {"\u00C0 propos de Varnel\u2026", "Afficher la liste des travaux",
                         "D\u00E9tails du travail / Exporter\u2026", "Ajuster la taille\u2026"}},
        ShippedLanguage{
            "ja_JP.UTF-8",
            {"Varnel \u306B\u3064\u3044\u3066\u2026",
             "\u30B8\u30E7\u30D6\u30EA\u30B9\u30C8\u30A6\u30A3\u30F3\u30C9\u30A6\u3092\u8868\u793A",
             "\u30B8\u30E7\u30D6\u306E\u8A73\u7D30 / \u66F8\u304D\u51FA\u3057\u2026",
             "\u30B5\u30A4\u30BA\u3092\u8ABF\u6574\u2026"}},
        ShippedLanguage{"es_ES.UTF-8",
                        {"Acerca de Varnel\u2026", "Mostrar la ventana de la lista de trabajos",
                         "Detalles del trabajo / Exportar\u2026", "Ajustar tama\u00F1o\u2026"}}),
    [](const ::testing::TestParamInfo<ShippedLanguage>& info) { return std::string(info.param.lang, 2); });
