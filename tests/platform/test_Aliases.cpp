// Alias records of an application's location.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Aliases.h"
#include "TestFolders.h"

namespace {

struct AliasTest : testing::Test {
    void SetUp() override {
        target = folder.write("Varnel.app/varnel-app", "program");
        ASSERT_EQ(FSNewAliasMinimal(target, &record), noErr);
    }
    OSErr resolve() { return FSResolveAliasWithMountFlags(record, kResolveAliasFileNoUI, &path, &changed); }

    testing_support::ScratchFolder folder;
    std::string target;
    std::string record;
    std::string path;
    bool changed = true;
};

TEST_F(AliasTest, RecordResolvesToItsUnchangedTarget) {
    EXPECT_EQ(resolve(), noErr);
    EXPECT_EQ(path, target);
    EXPECT_FALSE(changed);
}

TEST_F(AliasTest, VanishedTargetIsNotFound) {
    ASSERT_EQ(std::remove(target.c_str()), 0);
    EXPECT_EQ(resolve(), fnfErr);
}

TEST_F(AliasTest, TargetReplacedAtTheSamePathReportsTheChange) {
    // Made before the old one goes, so the new file cannot reuse its inode.
    const std::string replacement = folder.write("Varnel.app/new", "newer program");
    ASSERT_EQ(std::rename(replacement.c_str(), target.c_str()), 0);
    EXPECT_EQ(resolve(), noErr);
    EXPECT_EQ(path, target);
    EXPECT_TRUE(changed);
}

TEST_F(AliasTest, BytesThatAreNoRecordAreRefused) {
    std::string otherVersion = record;
    otherVersion[4] = 2;
    std::string relative = record;
    relative[25] = 'x';
    for (const std::string& bytes : {std::string(), std::string("VNAL"), "XNAL" + record.substr(4),
                                     record.substr(0, record.size() - 1), record + "x", otherVersion, relative}) {
        record = bytes;
        EXPECT_EQ(resolve(), paramErr) << testing::PrintToString(bytes);
    }
}

TEST_F(AliasTest, OnlyAnExistingAbsolutePathMakesARecord) {
    std::string made;
    EXPECT_EQ(FSNewAliasMinimal("Varnel.app/varnel-app", &made), fnfErr);
    EXPECT_EQ(FSNewAliasMinimal(folder / "missing", &made), fnfErr);
}

}  // namespace
