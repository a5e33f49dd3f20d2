#include "UFileSpecCore.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "TestFolders.h"

namespace fs = std::filesystem;
using testing_support::CapturedLog;
using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;

namespace {

struct PathCase {
    const char* start;  // nullptr: no base
    const char* input;
    bool ok;
    const char* expected;
};

std::string privateArea() {
    return "/tmp/varnel-" + std::to_string(::geteuid());
}

}  // namespace

TEST(UFileSpecCorePaths, InitFromPathWithAndWithoutBase) {
    const PathCase cases[] = {
        {nullptr, "/a/b///", true, "/a/b"},
        {nullptr, "/", true, "/"},
        {nullptr, "//", true, "/"},
        {nullptr, "/a/./b/../c", true, "/a/./b/../c"},  // only trailing slashes go
        {"/a", "c/d", true, "/a/c/d"},
        {"/a/b", "../x", true, "/a/x"},
        {nullptr, "c", false, ""},
        {nullptr, "", false, ""},
        {"/", "..", false, ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(std::string(c.start ? c.start : "(none)") + " + " + c.input);
        const UFileSpecCore base(ustring(c.start ? c.start : "/unused"), nullptr);
        UFileSpecCore spec(ustring("/previous"), nullptr);
        EXPECT_EQ(spec.init(ustring(c.input), c.start ? &base : nullptr), c.ok);
        EXPECT_EQ(spec.path(), ustring(c.expected));
        EXPECT_EQ(spec.isValid(), c.ok);
    }
}

TEST(UFileSpecCorePaths, AddAndUp) {
    const PathCase adds[] = {
        {"/a", "x/./y/", true, "/a/x/y"}, {"/a/b", "../z", true, "/a/z"}, {"/a", "", true, "/a"},
        {"/a", "x//y", true, "/a/x/y"},   {"/", "x", true, "/x"},         {"/a/b", "../..", true, "/"},
        {"/", "..", false, ""},           {"/a", "/abs", false, ""},      {"/a", "../../b", false, ""},
    };
    for (const PathCase& c : adds) {
        SCOPED_TRACE(std::string(c.start) + " add " + c.input);
        UFileSpecCore spec(ustring(c.start), nullptr);
        EXPECT_EQ(spec.add(ustring(c.input)), c.ok);
        EXPECT_EQ(spec.path(), ustring(c.expected));
    }

    UFileSpecCore spec(ustring("/a/b"), nullptr);
    EXPECT_TRUE(spec.up());
    EXPECT_EQ(spec.path(), ustring("/a"));
    EXPECT_TRUE(spec.up());
    EXPECT_EQ(spec.path(), ustring("/"));
    EXPECT_FALSE(spec.up());
    EXPECT_EQ(spec.path(), ustring("/"));
    UFileSpecCore empty;
    EXPECT_FALSE(empty.up());
}

TEST(UFileSpecCorePaths, EqualityIsByteEquality) {
    EXPECT_EQ(UFileSpecCore(ustring("/a/b/"), nullptr), UFileSpecCore(ustring("/a/b"), nullptr));
    EXPECT_FALSE(UFileSpecCore(ustring("/a/./b"), nullptr) == UFileSpecCore(ustring("/a/b"), nullptr));
}

TEST(UFileSpecCorePaths, Name) {
    struct {
        const char* path;
        bool withExtension;
        const char* expected;
    } cases[] = {
        {"/x/report.tar.gz", false, "report.tar"},
        {"/x/report.tar.gz", true, "report.tar.gz"},
        {"/x/README", false, "README"},
        {"/x/.profile", false, ""},
        {"/x/.profile", true, ".profile"},
        {"/", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(UFileSpecCore(ustring(c.path), nullptr).name(c.withExtension), ustring(c.expected));
    }
    EXPECT_EQ(UFileSpecCore().name(true), ustring(""));
}

TEST(UFileSpecCoreFiles, QueriesAndListing) {
    ScratchFolder dir;
    dir.write("file.txt", "x");
    dir.makeFolder("sub");
    const UFileSpecCore root(ustring(dir.path()), nullptr);
    UFileSpecCore file(ustring("file.txt"), &root);
    UFileSpecCore sub(ustring("sub"), &root);
    UFileSpecCore missing(ustring("missing"), &root);

    EXPECT_TRUE(file.exists());
    EXPECT_TRUE(file.isFile());
    EXPECT_FALSE(file.isFolder());
    EXPECT_TRUE(sub.isFolder());
    EXPECT_FALSE(sub.isFile());
    EXPECT_FALSE(missing.exists() || missing.isFile() || missing.isFolder());
    EXPECT_FALSE(UFileSpecCore().exists());

    std::vector<UFileSpecCore> content = root.getFolderContent();
    std::vector<std::string> paths;
    for (const UFileSpecCore& entry : content) paths.push_back(entry.path().str());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{dir / "file.txt", dir / "sub"}));
    EXPECT_TRUE(file.getFolderContent().empty());
    EXPECT_TRUE(missing.getFolderContent().empty());
    // Entries of the root folder carry a single slash.
    for (const UFileSpecCore& entry : UFileSpecCore(ustring("/"), nullptr).getFolderContent())
        EXPECT_NE(entry.path().str().substr(0, 2), "//");
}

TEST(UFileSpecCoreFiles, MkdirNeedsTheParent) {
    ScratchFolder dir;
    const UFileSpecCore root(ustring(dir.path()), nullptr);
    EXPECT_FALSE(UFileSpecCore(ustring("a/b"), &root).mkdir());
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_TRUE(UFileSpecCore(ustring("a"), &root).mkdir());
    EXPECT_TRUE(UFileSpecCore(ustring("a/b"), &root).mkdir());
    EXPECT_TRUE(fs::is_directory(dir / "a/b"));
    EXPECT_FALSE(UFileSpecCore(ustring("a/b"), &root).mkdir());  // already there
}

TEST(UFileSpecCoreFiles, UnlinkRemovesATreeButNotWhatLinksPointTo) {
    ScratchFolder dir;
    dir.write("tree/one.txt", "1");
    dir.write("tree/sub/two.txt", "2");
    dir.write("tree/sub/deeper/three.txt", "3");
    dir.makeFolder("tree/empty");
    const std::string outside = dir.write("outside/keep.txt", "keep");
    fs::create_directory_symlink(dir / "outside", dir / "tree/sub/link");

    const UFileSpecCore tree(ustring(dir / "tree"), nullptr);
    EXPECT_TRUE(tree.unlink());
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    EXPECT_TRUE(fs::exists(outside));

    const UFileSpecCore file(ustring(outside), nullptr);
    EXPECT_TRUE(file.unlink());
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(file.unlink());
}

TEST(UFileSpecCoreFiles, MkdirPrivateAcceptsOnlyOurOwnClosedFolder) {
    ScratchFolder dir;
    const UFileSpecCore root(ustring(dir.path()), nullptr);
    const UFileSpecCore fresh(ustring("fresh"), &root);
    EXPECT_TRUE(fresh.mkdirPrivate());
    struct stat st;
    ASSERT_EQ(::stat(fresh.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fresh.mkdirPrivate());  // an existing one of ours is fine

    dir.makeFolder("open");
    ::chmod((dir / "open").c_str(), 0755);
    EXPECT_FALSE(UFileSpecCore(ustring("open"), &root).mkdirPrivate());

    dir.makeFolder("target");
    ::chmod((dir / "target").c_str(), 0700);
    fs::create_directory_symlink(dir / "target", dir / "link");
    EXPECT_FALSE(UFileSpecCore(ustring("link"), &root).mkdirPrivate());

    dir.write("plain", "x");
    EXPECT_FALSE(UFileSpecCore(ustring("plain"), &root).mkdirPrivate());
}

TEST(UFileSpecCoreFiles, FopenLogsTheSystemErrorText) {
    ScratchFolder dir;
    const UFileSpecCore root(ustring(dir.path()), nullptr);
    CapturedLog log;
    EXPECT_EQ(UFileSpecCore(ustring("missing/x"), &root).fopen("rb"), nullptr);
    EXPECT_EQ(log.count("[ERROR]"), 1);
    EXPECT_EQ(log.count(std::string("[UFileSpecCore:fopen:1042] ") + std::strerror(ENOENT)), 1) << log.text();

    FILE* f = UFileSpecCore(ustring("new.txt"), &root).fopen("wb");
    ASSERT_NE(f, nullptr);
    std::fputs("hello", f);
    std::fclose(f);
    EXPECT_EQ(log.count("[ERROR]"), 1);
}

TEST(UFileSpecCoreFiles, FsopenAddsTheStreamsDirection) {
    ScratchFolder dir;
    const UFileSpecCore root(ustring(dir.path()), nullptr);
    const UFileSpecCore file(ustring("data.bin"), &root);

    std::ofstream out;
    out.setstate(std::ios::badbit);  // a successful open clears an earlier state
    file.fsopen(out, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good());
    out << "abc";
    out.close();

    std::ifstream in;
    file.fsopen(in, std::ios::binary);
    ASSERT_TRUE(in.good());
    std::string text;
    in >> text;
    EXPECT_EQ(text, "abc");

    std::ifstream none;
    UFileSpecCore(ustring("missing"), &root).fsopen(none, std::ios::binary);
    EXPECT_TRUE(none.fail());
    std::ofstream nowhere;
    UFileSpecCore(ustring("missing/x"), &root).fsopen(nowhere, 0);
    EXPECT_TRUE(nowhere.fail());
}

class UFileSpecCoreFolders : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("HOME", home.path());
        for (const char* v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) env.unset(v);
        previousBundle = UFileSpecCore::mainBundle();
    }
    void TearDown() override { UFileSpecCore::setMainBundle(previousBundle); }

    static ustring folder(UFileSpecCore::SpecialFolder which) {
        UFileSpecCore spec;
        return spec.init(which) ? spec.path() : ustring("(failed)");
    }

    ScratchFolder home;
    ScopedEnvironment env;
    ustring previousBundle;
};

TEST_F(UFileSpecCoreFolders, FreedesktopDefaultsUnderHome) {
    using F = UFileSpecCore;
    EXPECT_EQ(folder(F::eSpecialFolder_Home), ustring(home.path()));
    EXPECT_EQ(folder(F::eSpecialFolder_SharedData), ustring(home / ".local/share"));
    EXPECT_EQ(folder(F::eSpecialFolder_Preferences), ustring(home / ".config"));
    EXPECT_EQ(folder(F::eSpecialFolder_Desktop), ustring(home / "Desktop"));
    EXPECT_EQ(folder(F::eSpecialFolder_Documents), ustring(home / "Documents"));
    // Only the colour profiles and the logs are created.
    EXPECT_FALSE(fs::exists(home / ".local/share"));
    EXPECT_FALSE(fs::exists(home / ".config"));
    EXPECT_FALSE(fs::exists(home / "Desktop"));
    EXPECT_EQ(folder(F::eSpecialFolder_ColorProfiles), ustring(home / ".local/share/icc"));
    EXPECT_TRUE(fs::is_directory(home / ".local/share/icc"));
    EXPECT_EQ(folder(F::eSpecialFolder_Logs), ustring(home / ".local/state"));
    EXPECT_TRUE(fs::is_directory(home / ".local/state"));
    EXPECT_FALSE(UFileSpecCore().init(static_cast<F::SpecialFolder>(11)));
}

TEST_F(UFileSpecCoreFolders, VariablesAndUserDirsWin) {
    using F = UFileSpecCore;
    ScratchFolder other;
    env.set("XDG_DATA_HOME", other / "data");
    env.set("XDG_CONFIG_HOME", other / "config/");
    env.set("XDG_STATE_HOME", other / "state");
    other.write("config/user-dirs.dirs",
                "# written by xdg-user-dirs-update\n"
                "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                "XDG_DOCUMENTS_DIR=\"" +
                    other.path() + "/Dokumente\"\n");
    EXPECT_EQ(folder(F::eSpecialFolder_SharedData), ustring(other / "data"));
    EXPECT_EQ(folder(F::eSpecialFolder_Preferences), ustring(other / "config"));
    EXPECT_EQ(folder(F::eSpecialFolder_ColorProfiles), ustring(other / "data/icc"));
    EXPECT_EQ(folder(F::eSpecialFolder_Logs), ustring(other / "state"));
    EXPECT_EQ(folder(F::eSpecialFolder_Desktop), ustring(home / "Schreibtisch"));
    EXPECT_EQ(folder(F::eSpecialFolder_Documents), ustring(other / "Dokumente"));

    // Relative values are not valid base folders and count as unset.
    env.set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(folder(F::eSpecialFolder_SharedData), ustring(home / ".local/share"));
}

TEST_F(UFileSpecCoreFolders, HomeFromThePasswordDatabaseWhenUnset) {
    env.unset("HOME");
    const struct passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(folder(UFileSpecCore::eSpecialFolder_Home), ustring(entry->pw_dir));
}

TEST_F(UFileSpecCoreFolders, WorkingDirectoryAndMainBundle) {
    using F = UFileSpecCore;
    const fs::path previous = fs::current_path();
    fs::current_path(home.path());
    const ustring cwd = folder(F::eSpecialFolder_CurrentDirectory);
    UFileSpecCore::setMainBundle(ustring());
    const ustring noBundle = folder(F::eSpecialFolder_MainBundle);
    const ustring noBundleParent = folder(F::eSpecialFolder_MainBundleParent);
    fs::current_path(previous);

    EXPECT_EQ(cwd, ustring(fs::canonical(home.path()).string()));
    EXPECT_EQ(noBundle, ustring("(failed)"));
    EXPECT_EQ(noBundleParent, cwd);

    UFileSpecCore::setMainBundle(ustring(home / "Apps/Host.app/"));
    EXPECT_EQ(folder(F::eSpecialFolder_MainBundle), ustring(home / "Apps/Host.app"));
    EXPECT_EQ(folder(F::eSpecialFolder_MainBundleParent), ustring(home / "Apps"));
}

namespace {

// The temporary folder registers a process-wide clean-up. Each scenario runs in a child process so
// that this test process never registers one of its own (other tests need a process without).
// The child's exit status is 0 when every check held, otherwise the number of the failed check.
template <class Body>
int statusOfChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) std::exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child that makes its temporary folder, puts a file in it and then ends as `end` says;
// returns the child's pid once it has ended.
template <class End>
pid_t childWithTemporaryFolder(End end) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        UFileSpecCore tmp(UFileSpecCore::eSpecialFolder_Temporary);
        if (tmp.path() != ustring(privateArea() + "/vn" + std::to_string(::getpid()))) ::_exit(90);
        FILE* f = UFileSpecCore(ustring("work.txt"), &tmp).fopen("w");
        if (f == nullptr) ::_exit(91);
        std::fputs("partial", f);
        std::fclose(f);
        end();
        ::_exit(92);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

}  // namespace

TEST(UFileSpecCoreTemporary, OnePrivateFolderPerProcess) {
    const int failed = statusOfChild([] {
        const UFileSpecCore first(UFileSpecCore::eSpecialFolder_Temporary);
        if (first.path() != ustring(privateArea() + "/vn" + std::to_string(::getpid()))) return 1;
        if (!first.isFolder()) return 2;
        struct stat st;
        if (::lstat(privateArea().c_str(), &st) != 0 || (st.st_mode & 07777) != 0700) return 3;
        if (!(UFileSpecCore(UFileSpecCore::eSpecialFolder_Temporary) == first)) return 4;
        // Vanished in between: made again under the same name.
        if (!first.unlink() || first.isFolder()) return 5;
        const UFileSpecCore again(UFileSpecCore::eSpecialFolder_Temporary);
        if (!(again == first) || !again.isFolder()) return 6;
        return 0;
    });
    EXPECT_EQ(failed, 0);
}

TEST(UFileSpecCoreTemporary, CrashMovesTheFolderOutOfThePrivateArea) {
    const int failed = statusOfChild([] {
        // A forked child has its own folder: the crash must move that one, not its parent's.
        const UFileSpecCore parentFolder(UFileSpecCore::eSpecialFolder_Temporary);
        const pid_t crashed = childWithTemporaryFolder([] {
            // A sanitizer's fault report would only clutter the test output.
            ::freopen("/dev/null", "w", stderr);
            ::raise(SIGSEGV);
        });
        const std::string name = "vn" + std::to_string(crashed);
        int result = 0;
        if (fs::exists(privateArea() + "/" + name))
            result = 1;
        else if (!fs::exists("/tmp/" + name + "/work.txt"))
            result = 2;
        else if (!parentFolder.isFolder())
            result = 3;
        std::error_code ignored;
        fs::remove_all("/tmp/" + name, ignored);
        return result;
    });
    EXPECT_EQ(failed, 0);
}

TEST(UFileSpecCoreTemporary, NormalExitLeavesNothingBehind) {
    const pid_t child = childWithTemporaryFolder([] { std::exit(0); });
    const std::string name = "vn" + std::to_string(child);
    EXPECT_FALSE(fs::exists(privateArea() + "/" + name));
    EXPECT_FALSE(fs::exists("/tmp/" + name));
}
