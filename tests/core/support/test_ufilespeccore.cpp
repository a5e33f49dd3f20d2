#include "support/UFileSpecCore.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "TestFolders.h"

namespace fs = std::filesystem;
using testing_support::ScratchFolder;
using F = UFileSpecCore;

namespace {

ustring u(const std::string& text) {
    return ustring(text);
}

std::string privateArea() {
    return "/tmp/varnel-" + std::to_string(::geteuid());
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(UFileSpecCorePaths, InitAddUpAndName) {
    // Without a start an init, else an add to the start; an empty result means failure.
    const struct {
        const char *start, *input, *expected;
    } cases[] = {
        {nullptr, "/a/b///", "/a/b"}, {nullptr, "//", "/"}, {nullptr, "c", ""}, {"/a", "x/./y/", "/a/x/y"},
        {"/a/b", "../z", "/a/z"},     {"/a", "", "/a"},     {"/", "x", "/x"},   {"/", "..", ""},
        {"/a", "/abs", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start ? c.start : "(init)") + " + " + c.input);
        F spec(u("/previous"), nullptr);
        const bool ok = *c.expected != '\0';
        if (c.start == nullptr) {
            EXPECT_EQ(spec.init(u(c.input), nullptr), ok);
        } else {
            spec = F(u(c.start), nullptr);
            EXPECT_EQ(spec.add(u(c.input)), ok);
        }
        EXPECT_EQ(std::tuple(spec.path(), spec.isValid()), std::tuple(u(c.expected), ok));
    }
    // The file spec's own path as argument is read before the path changes.
    F self(u("/a/b"), nullptr);
    EXPECT_FALSE(self.add(self.path()));
    self.init(u("/a/b/"), nullptr);
    EXPECT_TRUE(self.init(u("c"), &self) && self.path() == u("/a/b/c"));

    F spec(u("/a"), nullptr);
    EXPECT_TRUE(spec.up() && spec.path() == u("/"));
    EXPECT_FALSE(spec.up() || F().up());
    EXPECT_EQ(spec.path(), u("/"));

    const std::tuple<const char*, bool, const char*> names[] = {
        {"/x/a.tar.gz", false, "a.tar"}, {"/x/a.tar.gz", true, "a.tar.gz"}, {"/x/README", false, "README"},
        {"/x/.profile", false, ""},      {"/x/.profile", true, ".profile"}, {"/", true, ""}};
    for (const auto& [path, withExtension, name] : names)
        EXPECT_EQ(F(u(path), nullptr).name(withExtension), u(name)) << path;
}

TEST(UFileSpecCoreFiles, QueriesAndFolders) {
    ScratchFolder dir;
    dir.write("file.txt", "x");
    dir.makeFolder("sub");
    const F root(u(dir.path()), nullptr);
    const F file(u("file.txt"), &root), sub(u("sub"), &root), missing(u("missing"), &root);
    EXPECT_TRUE(file.isFile() && !file.isFolder() && sub.isFolder() && !sub.isFile());
    EXPECT_FALSE(missing.exists() || missing.isFile() || missing.isFolder() || F().exists());

    EXPECT_FALSE(F(u("a/b"), &root).mkdir());  // the parent is missing
    EXPECT_TRUE(F(u("a"), &root).mkdir() && F(u("a/b"), &root).mkdir());

    EXPECT_TRUE(F(u("fresh"), &root).mkdirPrivate() && F(u("fresh"), &root).mkdirPrivate());
    EXPECT_EQ(modeOf(dir / "fresh"), 0700u);
    ::chmod(dir.makeFolder("open").c_str(), 0755);
    fs::create_directory_symlink(dir / "fresh", dir / "link");
    for (const char* refused : {"open", "link", "file.txt"})
        EXPECT_FALSE(F(u(refused), &root).mkdirPrivate()) << refused;
}

TEST(UFileSpecCoreFiles, UnlinkRemovesATreeButNotWhatLinksPointTo) {
    ScratchFolder dir;
    dir.write("tree/sub/deeper/three.txt", "3");
    dir.makeFolder("tree/empty");
    const std::string outside = dir.write("outside/keep.txt", "keep");
    fs::create_directory_symlink(dir / "outside", dir / "tree/sub/link");
    EXPECT_TRUE(F(u(dir / "tree"), nullptr).unlink());
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    const F file(u(outside), nullptr);
    EXPECT_TRUE(file.unlink());
    EXPECT_FALSE(fs::exists(outside) || file.unlink());
}

TEST(UFileSpecCoreFiles, OpeningLogsTheSystemError) {
    ScratchFolder dir;
    const F root(u(dir.path()), nullptr);
    testing_support::CapturedLog log;
    EXPECT_EQ(F(u("missing/x"), &root).fopen("rb"), nullptr);
    EXPECT_EQ(log.count("[ERROR]"), 1);
    EXPECT_EQ(log.count(std::string("[UFileSpecCore:fopen:1042] ") + std::strerror(ENOENT)), 1) << log.text();
}

class UFileSpecCoreFolders : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("HOME", home.path());
        for (const char* v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) env.unset(v);
    }
    static ustring folder(F::SpecialFolder which) {
        F spec;
        return spec.init(which) ? spec.path() : u("(failed)");
    }
    // Each folder's path, and whether it exists afterwards.
    static void expectFolders(const std::vector<std::tuple<F::SpecialFolder, std::string, bool>>& expected) {
        for (const auto& [which, path, created] : expected) {
            EXPECT_EQ(folder(which), u(path)) << which;
            EXPECT_EQ(fs::is_directory(path), created) << which;  // after the call that may create it
        }
    }

    ScratchFolder home;
    testing_support::ScopedEnvironment env;
};

TEST_F(UFileSpecCoreFolders, FreedesktopDefaultsUnderHome) {
    // Only the colour profiles and the logs are created.
    expectFolders({{F::eSpecialFolder_Home, home.path(), true},
                   {F::eSpecialFolder_SharedData, home / ".local/share", false},
                   {F::eSpecialFolder_Preferences, home / ".config", false},
                   {F::eSpecialFolder_Desktop, home / "Desktop", false},
                   {F::eSpecialFolder_Documents, home / "Documents", false},
                   {F::eSpecialFolder_ColorProfiles, home / ".local/share/icc", true},
                   {F::eSpecialFolder_Logs, home / ".local/state", true}});
    EXPECT_FALSE(F().init(static_cast<F::SpecialFolder>(11)));
    env.unset("HOME");
    ASSERT_NE(::getpwuid(::getuid()), nullptr);
    EXPECT_EQ(folder(F::eSpecialFolder_Home), u(::getpwuid(::getuid())->pw_dir));
}

TEST_F(UFileSpecCoreFolders, VariablesAndUserDirsWin) {
    ScratchFolder other;
    env.set("XDG_DATA_HOME", other / "data");
    env.set("XDG_CONFIG_HOME", other / "config/");
    env.set("XDG_STATE_HOME", other / "state");
    other.write("config/user-dirs.dirs",
                "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
                "XDG_DOCUMENTS_DIR=\"" +
                    other.path() + "/Docs\"\n");
    expectFolders({{F::eSpecialFolder_SharedData, other / "data", false},
                   {F::eSpecialFolder_Preferences, other / "config", true},
                   {F::eSpecialFolder_ColorProfiles, other / "data/icc", true},
                   {F::eSpecialFolder_Logs, other / "state", true},
                   {F::eSpecialFolder_Desktop, home / "Desk", false},
                   {F::eSpecialFolder_Documents, other / "Docs", false}});
    // Relative values are not valid base folders and count as unset.
    env.set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(folder(F::eSpecialFolder_SharedData), u(home / ".local/share"));
}

std::string temporaryFolderOf(pid_t pid) {
    return privateArea() + "/vn" + std::to_string(pid);
}

// The temporary folder registers a process-wide clean-up, which this test process must not (other
// tests need a process without), so the scenario runs in a child; its exit status is 0 when every
// check held, else the failed one.
TEST(UFileSpecCoreTemporary, OnePrivateFolderPerProcessRemovedAtExit) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::exit([] {
            const F first(F::eSpecialFolder_Temporary);
            if (first.path() != u(temporaryFolderOf(::getpid())) || !first.isFolder()) return 1;
            if (modeOf(privateArea()) != 0700 || !(F(F::eSpecialFolder_Temporary) == first)) return 2;
            // Vanished in between: made again under the same name.
            if (!first.unlink() || first.isFolder()) return 3;
            const F again(F::eSpecialFolder_Temporary);
            return again == first && again.isFolder() ? 0 : 4;
        }());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(fs::exists(temporaryFolderOf(pid)) || fs::exists("/tmp/vn" + std::to_string(pid)));
}

}  // namespace
