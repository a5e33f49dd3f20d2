#include "text/ustring_load.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>

#include "TestFolders.h"
#include "support/ResourceManager.h"

using testing_support::CapturedLog;

namespace {

class StringTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) env.unset(v);
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
    static std::string load(const char* key, const std::string& table) {
        return ustring_load(ustring(key), ustring(table)).str();
    }

    testing_support::ScratchFolder bundle;
    testing_support::ScopedEnvironment env;
};

TEST_F(StringTableTest, EntryFormsAndSyntaxErrors) {
    table("T",
          "/* Menu texts\n   of the plug-in */\n\"a\" = \"x\" \"y\";\n// bare words\nbare_key = v;\n"
          "\"dup\" = \"first\"; \"dup\" = \"\xC3\xA9\";");
    EXPECT_EQ(load("a", "T") + load("bare_key", "T") + load("dup", "T"), "xyv\xC3\xA9");

    // What comes before a syntax error stays; the error names the line, once.
    const std::pair<std::string, const char*> bad[] = {
        // The look-ahead after the closing quote has already counted the line end.
        {"\"a\" = \"1\";\n\"b\" = \"2\"\n", "E0 : unexpected element in stream at line 3"},
        {"\"a\" = \"1\";\r\n\"b\" = = \"2\";\r\n\"c\" = \"3\";",
         "E1 : unexpected element in stream at line 2"},
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        const std::string name = "E" + std::to_string(i);
        table(name, bad[i].first);
        CapturedLog log;
        EXPECT_EQ(load("a", name) + load("c", name), "1c");
        EXPECT_EQ(log.count("[ERROR]"), 1) << log.text();
        EXPECT_EQ(log.count(":loadStringTable:"), 1);
        EXPECT_EQ(log.count(bad[i].second), 1) << log.text();
    }
}

TEST_F(StringTableTest, MissingTableKeyOrBundleGivesTheKey) {
    table("T", "\"a\" = \"1\";");
    table("Empty", "");
    CapturedLog log;
    EXPECT_EQ(load("k", "Nope") + load("zz", "T") + load("a", "Empty"), "kzza");
    EXPECT_EQ(log.count("[DEBUG]"), 3);
    EXPECT_EQ(log.count(":ustring_load:"), 3);
    EXPECT_EQ(log.count("] Key missing in \"Nope\" table: \"k\"") + log.count("\"T\" table: \"zz\""), 2);
    // Without any bundle the key comes back too, and the failure is logged.
    ResourceManager::setLoadBundle(UFileSpecCore());
    const ustring previous = UFileSpecCore::mainBundle();
    UFileSpecCore::setMainBundle(ustring());
    EXPECT_NO_THROW(EXPECT_EQ(load("a", "U"), "a"));
    UFileSpecCore::setMainBundle(previous);
    EXPECT_EQ(log.count("U : something really wrong with application bundle"), 1) << log.text();
}

// A table takes at most a fixed multiple of its file's size: one of tiny entries stops where it
// would take more, naming the line, and keeps the entries before it in whatever order they came.
TEST_F(StringTableTest, TinyEntriesPastTheBudget) {
    const auto key = [](int i) {
        char digits[8];
        return "k" + std::string(digits, std::to_chars(digits, digits + sizeof digits, i, 36).ptr);
    };
    std::string text;
    for (int i = 300000; i > 0; --i) text += key(i) + "=" + std::to_string(i % 7) + ";\n";
    table("Big", text);
    CapturedLog log;
    EXPECT_EQ(load(key(300000).c_str(), "Big") + load(key(299990).c_str(), "Big") + load("k7", "Big"),
              "15k7");
    const std::string error =
        "Big : too many entries in stream for an input of " + std::to_string(text.size()) + " bytes at line ";
    EXPECT_EQ(log.count(error), 1) << log.text();
}

}  // namespace
