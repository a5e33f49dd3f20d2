// Alias records of an application's location.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "TestFolders.h"
#include "os/Aliases.h"

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

}  // namespace
