// Any bytes as a reply of the Varnel application, the whole way through the plug-in: the event
// handler parks the payload, the next timer tick hands it to the reply's handler, which works on
// the stand-in host's documents through its suites. The plug-in handles the reply or logs why
// not; a crash, a sanitizer report or an exception reaching the host is a finding.
//
// The first byte picks the reply ('savY', 'sanY', 'expY'), whether a document is open, and the
// host's major version (both export paths); the rest is the payload, a job file.
//
// Files are written only in the folder /tmp/varnel-fuzz-reply (the seeds name files in it),
// emptied after each input: the home and data folders lie inside it, there is no bus, and an
// export reply whose job does not name its document file inside it, or names other files
// elsewhere, is handled as a details reply instead.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "Host.h"
#include "job/BJobFile.h"
#include "link/menuHandler.h"
#include "support/ulogger.h"

extern "C" SPErr PluginMain(char* caller, char* selector, void* message);

namespace {

constexpr const char* kFolder = "/tmp/varnel-fuzz-reply";

struct Session {
    Session() {
        // Ours alone: a folder of another user in /tmp could hold links to anywhere.
        ::mkdir(kFolder, 0700);
        struct stat st;
        if (::lstat(kFolder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
            (st.st_mode & 077) != 0) {
            std::fprintf(stderr, "%s: not a private folder of this user\n", kFolder);
            std::abort();
        }
        Empty();
        ::setenv("HOME", kFolder, 1);
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_DIRS"})
            ::setenv(name, (folder + "/" + name).c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", (std::string("unix:path=") + kFolder + "/no-bus").c_str(), 1);
        savedLog = vnu::logger.stream();
        vnu::logger.setStream(&pluginLog);
        vhost::HostOptions options;
        options.pluginMain = PluginMain;
        options.useBus = false;
        options.log = &hostLog;
        host = std::make_unique<vhost::Host>(options);
    }

    ~Session() {
        host.reset();
        vnu::logger.setStream(savedLog);  // the logger outlives this session
        std::error_code ignored;
        std::filesystem::remove_all(kFolder, ignored);
    }

    void Empty() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(kFolder, ignored))
            std::filesystem::remove_all(entry.path(), ignored);
    }

    // Whether the export writes only inside the folder: the document file is named and lies
    // there (without it the export path is relative), and so does every other file named.
    bool KeepsInside(const std::string& payload) const {
        BJobFile job;
        std::istringstream in(payload);
        try {
            job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
        } catch (const std::runtime_error&) {
            return true;  // the plug-in fails the same way before it writes anything
        }
        const auto inside = [&](const UFileSpecCore& file) {
            return file.path().str().rfind(folder + "/", 0) == 0;
        };
        if (!inside(job.GetDocumentFile())) return false;
        for (const UFileSpecCore* file : {&job.GetPluginInfoFile(), &job.GetTF(), &job.GetPD()}) {
            if (file->isValid() && !inside(*file)) return false;
        }
        return true;
    }

    const std::string folder = kFolder;
    std::ostream* savedLog = nullptr;
    std::ostringstream pluginLog;
    std::ostringstream hostLog;
    std::unique_ptr<vhost::Host> host;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Session session;
    if (size == 0) return 0;
    static constexpr struct {
        AEEventID id;
        SRefCon kind;
    } kReplies[] = {{FOUR_CHAR_CODE("savY"), kReplyDetails},
                    {FOUR_CHAR_CODE("sanY"), kReplyNewDetails},
                    {FOUR_CHAR_CODE("expY"), kReplyExport},
                    {FOUR_CHAR_CODE("savY"), kReplyDetails}};
    const std::string payload(reinterpret_cast<const char*>(data) + 1, size - 1);
    auto reply = kReplies[data[0] & 3];
    if (reply.kind == kReplyExport && !session.KeepsInside(payload)) reply = kReplies[0];
    vhost::Host& host = *session.host;
    host.execute((data[0] & 8) != 0 ? "version 14" : "version 27");
    if ((data[0] & 4) != 0) host.execute("new 595 842");

    AEAddressDesc self;
    VNAEvents::CreateAddressDesc(self, "");
    AppleEvent event;
    AECreateAppleEvent(kVarnelEventClass, reply.id, &self, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&self);
    VNAEvents::PutDataIntoEvent(event, payload.data(), payload.size());
    AppleEvent answer;
    ReceiveEvent(&event, &answer, reply.kind);
    AEDisposeDesc(&event);
    host.execute("tick");

    // The next input starts from no document, and the logs do not grow without end.
    for (;;) {
        try {
            host.execute("close");
        } catch (const vhost::CommandError&) {
            break;
        }
    }
    session.Empty();
    session.pluginLog.str("");
    session.hostLog.str("");
    return 0;
}
