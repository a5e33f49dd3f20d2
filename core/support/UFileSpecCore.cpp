#include "support/UFileSpecCore.h"

#include <dirent.h>
#include <ftw.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "message/umessage.h"
#include "support/ExitCleanup.h"
#include "support/ulogger.h"

namespace {

ustring s_mainBundle;

// The per-process temporary folder. Its clean-up may run in a signal handler, so it reads only
// the stored path and makes only cheap calls there.
class TmpFolder {
public:
    static bool get(ustring& out);
    static void cleanup(bool normalExit);

private:
    static bool preparePrivateArea(ustring& area);
    static void forgetInChild() { s_path.clear(); }
    static int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
        ::remove(path);
        return 0;
    }
    static inline ustring s_path;
    static inline bool s_forkHookInstalled = false;
};

ustring homePath() {
    const char* home = ::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr)
        return {};
    return found->pw_dir;
}

// A base directory variable of the freedesktop conventions; relative values are invalid there and
// are ignored like unset ones.
ustring xdgPath(const char* variable, const char* defaultUnderHome) {
    const char* value = ::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    ustring home = homePath();
    if (home.empty()) return {};
    return home + "/" + defaultUnderHome;
}

// The folder named by `variable` in user-dirs.dirs: a quoted "$HOME/..." or absolute path.
ustring userDirPath(const char* variable, const char* defaultUnderHome) {
    ustring home = homePath();
    if (home.empty()) return {};
    std::ifstream file(xdgPath("XDG_CONFIG_HOME", ".config").str() + "/user-dirs.dirs");
    const std::string prefix = std::string(variable) + "=\"";
    std::string line;
    ustring found;
    while (std::getline(file, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
        std::string value;
        bool escaped = false;
        bool closed = false;
        for (size_t i = start + prefix.size(); i < line.size() && !closed; ++i) {
            if (escaped) {
                value += line[i];
                escaped = false;
            } else if (line[i] == '\\') {
                escaped = true;
            } else if (line[i] == '"') {
                closed = true;
            } else {
                value += line[i];
            }
        }
        if (!closed) continue;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            found = home + ustring(value.substr(5));
        else if (!value.empty() && value[0] == '/')
            found = ustring(value);
    }
    return found.empty() ? home + "/" + defaultUnderHome : found;
}

// Creates every missing folder of an absolute path, private to the user as the freedesktop
// conventions ask.
bool makeFolders(const ustring& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        ustring prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == ustring::npos) break;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TmpFolder::preparePrivateArea(ustring& area) {
    area = ustring("/tmp/varnel-") + ustring(std::to_string(::geteuid()));
    return UFileSpecCore(area, nullptr).mkdirPrivate();
}

bool TmpFolder::get(ustring& out) {
    ustring area;
    if (s_path.empty()) {
        if (!preparePrivateArea(area)) return false;
        if (!s_forkHookInstalled) {
            // A forked child is another process: it must neither reuse nor clean up our folder.
            ::pthread_atfork(nullptr, nullptr, &TmpFolder::forgetInChild);
            s_forkHookInstalled = true;
        }
        s_path = area + ustring("/vn%0").arg(static_cast<int>(::getpid()));
        UFileSpecCore(s_path, nullptr).unlink();
    }
    UFileSpecCore folder(s_path, nullptr);
    if (!folder.isFolder()) {
        // The area may have vanished with the folder (a cleaner of /tmp); check it again.
        if (!preparePrivateArea(area) || !folder.mkdir()) return false;
        registerCleanup(&TmpFolder::cleanup);
    }
    out = s_path;
    return true;
}

void TmpFolder::cleanup(bool normalExit) {
    if (s_path.empty()) return;
    if (normalExit) {
        ::nftw(s_path.c_str(), &TmpFolder::removeEntry, 64, FTW_PHYS | FTW_DEPTH);
        return;
    }
    const char* path = s_path.c_str();
    const size_t length = s_path.size();
    if (path[length - 1] == '/') return;
    const char* component = std::strrchr(path, '/');
    component = component == nullptr ? path : component + 1;
    const size_t componentLength = length - static_cast<size_t>(component - path);
    char target[128] = "/tmp/";
    if (componentLength == 0 || 5 + componentLength >= sizeof target) return;
    std::memcpy(target + 5, component, componentLength + 1);
    ::rmdir(target);
    ::rename(path, target);
}

template <class Stream>
Stream& openStream(Stream& stream, const ustring& path, std::ios_base::openmode mode) {
    if (stream.rdbuf()->open(path.fileSystemRepresentation().c_str(), mode) != nullptr)
        stream.clear();
    else
        stream.setstate(std::ios_base::failbit);
    return stream;
}

}  // namespace

UFileSpecCore::UFileSpecCore(const ustring& path, const UFileSpecCore* base) {
    init(path, base);
}

UFileSpecCore::UFileSpecCore(SpecialFolder folder) {
    init(folder);
}

bool UFileSpecCore::init() {
    m_path.clear();
    return true;
}

bool UFileSpecCore::init(const UFileSpecCore& other) {
    m_path = other.m_path;
    return true;
}

// `path` and `base` may be this file spec's own: both are read before the path changes.
bool UFileSpecCore::init(const ustring& path, const UFileSpecCore* base) {
    if (path.empty() || path[0] != '/') {
        if (base == nullptr) {
            m_path.clear();
            return false;
        }
        m_path = base->m_path;
        return add(path);
    }
    size_t length = path.size();
    while (length > 1 && path[length - 1] == '/') --length;
    m_path = path.substr(0, length);
    return true;
}

bool UFileSpecCore::add(const ustring& relative) {
    // Read before clearing: `relative` may be this file spec's own path.
    const bool absolute = !relative.empty() && relative[0] == '/';
    const std::vector<ustring> components = Split<ustring>(relative, '/');
    UFileSpecCore kept(*this);
    m_path.clear();
    if (absolute) return false;
    for (const ustring& component : components) {
        if (component == ".") continue;
        if (component == "..") {
            if (!kept.up()) return false;
            continue;
        }
        if (kept.m_path.empty() || kept.m_path.back() != '/') kept.m_path += '/';
        kept.m_path += component;
    }
    m_path = kept.m_path;
    return true;
}

bool UFileSpecCore::up() {
    if (m_path.size() < 2) return false;
    size_t length = m_path.rfind('/') + 1;
    while (length > 1 && m_path[length - 1] == '/') --length;
    m_path.resize(length);
    return true;
}

ustring UFileSpecCore::name(bool withExtension) const {
    if (m_path.size() < 2) return {};
    ustring last = m_path.substr(m_path.rfind('/') + 1);
    if (!withExtension) {
        size_t dot = last.rfind('.');
        if (dot != ustring::npos) last.resize(dot);
    }
    return last;
}

bool UFileSpecCore::exists() const {
    struct stat st;
    return isValid() && ::stat(m_path.fileSystemRepresentation().c_str(), &st) == 0;
}

bool UFileSpecCore::isFolder() const {
    struct stat st;
    return isValid() && ::stat(m_path.fileSystemRepresentation().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool UFileSpecCore::isFile() const {
    struct stat st;
    return isValid() && ::stat(m_path.fileSystemRepresentation().c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::vector<UFileSpecCore> UFileSpecCore::getFolderContent() const {
    std::vector<UFileSpecCore> content;
    if (!isValid()) return content;
    DIR* dir = ::opendir(m_path.fileSystemRepresentation().c_str());
    if (dir == nullptr) return content;
    const ustring prefix = m_path.back() == '/' ? m_path : m_path + "/";
    while (const struct dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        UFileSpecCore item;
        item.m_path = prefix + entry->d_name;
        content.push_back(item);
    }
    ::closedir(dir);
    return content;
}

FILE* UFileSpecCore::fopen(const char* mode) const {
    FILE* file = ::fopen(m_path.fileSystemRepresentation().c_str(), mode);
    if (file == nullptr) {
        const int error = errno;
        // This line's source, line and function are fixed texts that log readers search for,
        // whatever folder the file lives in.
        VN_LOG_AT(::vnu::loglevel::error, "libs/utils/UFileSpecCore", 1042, "fopen", std::strerror(error));
    }
    return file;
}

std::ifstream& UFileSpecCore::fsopen(std::ifstream& stream, unsigned openmode) const {
    return openStream(stream, m_path, static_cast<std::ios_base::openmode>(openmode) | std::ios_base::in);
}

std::ofstream& UFileSpecCore::fsopen(std::ofstream& stream, unsigned openmode) const {
    return openStream(stream, m_path, static_cast<std::ios_base::openmode>(openmode) | std::ios_base::out);
}

bool UFileSpecCore::unlink() const {
    if (!isValid()) return false;
    const ustring fsPath = m_path.fileSystemRepresentation();
    struct stat st;
    // lstat: a link to a folder is removed as a link; its target lies outside our tree.
    if (::lstat(fsPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        for (const UFileSpecCore& entry : getFolderContent()) entry.unlink();
    }
    if (::unlink(fsPath.c_str()) == 0) return true;
    return ::rmdir(fsPath.c_str()) == 0;
}

bool UFileSpecCore::mkdir() const {
    UFileSpecCore parent(*this);
    if (!parent.up() || !parent.isFolder()) return false;
    return ::mkdir(m_path.fileSystemRepresentation().c_str(), 0777) == 0;
}

bool UFileSpecCore::mkdirPrivate() const {
    if (!isValid()) return false;
    const ustring fsPath = m_path.fileSystemRepresentation();
    if (::mkdir(fsPath.c_str(), 0700) == 0) {
        // The umask may have narrowed the mode; the folder is ours, so set it exactly.
        if (::chmod(fsPath.c_str(), 0700) != 0) return false;
    } else if (errno != EEXIST) {
        return false;
    }
    struct stat st;
    return ::lstat(fsPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) == 0700;
}

void UFileSpecCore::setMainBundle(const ustring& path) {
    s_mainBundle = path;
}

const ustring& UFileSpecCore::mainBundle() {
    return s_mainBundle;
}

bool UFileSpecCore::init(SpecialFolder folder) {
    m_path.clear();
    if (initFolder(folder)) return true;
    m_path.clear();
    return false;
}

bool UFileSpecCore::initFolder(SpecialFolder folder) {
    switch (folder) {
        case eSpecialFolder_Home: return init(homePath(), nullptr);
        case eSpecialFolder_CurrentDirectory: {
            // Larger than the historical 1024 bytes: deep working folders are common here.
            char buffer[PATH_MAX];
            if (::getcwd(buffer, sizeof buffer) == nullptr) return false;
            return init(ustring(buffer), nullptr);
        }
        case eSpecialFolder_MainBundle: return init(s_mainBundle, nullptr);
        case eSpecialFolder_MainBundleParent:
            if (s_mainBundle.empty()) return initFolder(eSpecialFolder_CurrentDirectory);
            return init(s_mainBundle, nullptr) && up();
        case eSpecialFolder_SharedData: return init(xdgPath("XDG_DATA_HOME", ".local/share"), nullptr);
        case eSpecialFolder_Preferences: return init(xdgPath("XDG_CONFIG_HOME", ".config"), nullptr);
        case eSpecialFolder_ColorProfiles:
            return init(xdgPath("XDG_DATA_HOME", ".local/share"), nullptr) && add("icc") &&
                   makeFolders(m_path);
        case eSpecialFolder_Desktop: return init(userDirPath("XDG_DESKTOP_DIR", "Desktop"), nullptr);
        case eSpecialFolder_Logs:
            return init(xdgPath("XDG_STATE_HOME", ".local/state"), nullptr) && makeFolders(m_path);
        case eSpecialFolder_Documents: return init(userDirPath("XDG_DOCUMENTS_DIR", "Documents"), nullptr);
        case eSpecialFolder_Temporary: {
            ustring tmp;
            return TmpFolder::get(tmp) && init(tmp, nullptr);
        }
    }
    return false;
}
