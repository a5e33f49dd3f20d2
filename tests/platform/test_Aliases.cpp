// Alias records of an application's location.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Aliases.h"
#include "TestFolders.h"

namespace {

struct AliasTest : testing::Test {
    void SetUp() override { ASSERT_EQ(FSNewAliasMinimal(target, &record), noErr); }
    OSErr resolve() { return FSResolveAliasWithMountFlags(record, kResolveAliasFileNoUI, &path, &changed); }

    testing_support::ScratchFolder folder;
    const std::string target = folder.write("Varnel.app/varnel-app", "program");
    std::string record, path;
    bool changed = true;
};

TEST_F(AliasTest, RecordResolvesToItsTargetTellsOfAReplacementAndFailsOnceItVanishes) {
    EXPECT_EQ(resolve(), noErr);
    EXPECT_EQ(path, target);
    EXPECT_FALSE(changed);
    // Made before the old one goes, so the new file cannot reuse its inode.
    ASSERT_EQ(std::rename(folder.write("Varnel.app/new", "newer").c_str(), target.c_str()), 0);
    EXPECT_EQ(resolve(), noErr);
    EXPECT_EQ(path, target);
    EXPECT_TRUE(changed);
    ASSERT_EQ(std::remove(target.c_str()), 0);
    EXPECT_EQ(resolve(), fnfErr);
}

TEST_F(AliasTest, BytesThatAreNoRecordAreRefused) {
    std::string otherVersion = record, relative = record;
    otherVersion[4] = 2;
    relative[25] = 'x';
    for (const std::string& bytes :
         {std::string(), std::string("VNAL"), "XNAL" + record.substr(4), record.substr(0, record.size() - 1),
          record + "x", otherVersion, relative}) {
        record = bytes;
        EXPECT_EQ(resolve(), paramErr) << testing::PrintToString(bytes);
    }
    EXPECT_EQ(FSNewAliasMinimal("Varnel.app/varnel-app", &record), fnfErr);
    EXPECT_EQ(FSNewAliasMinimal(folder / "missing", &record), fnfErr);
}

}  // namespace
