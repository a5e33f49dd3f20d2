#include "document/VNIllustrator.h"

#include <cmath>
#include <sstream>

#include "job/BJobFile.h"
#include "link/UMPluginUtils.h"
#include "link/menuHandler.h"
#include "os/Bundles.h"
#include "shell/AcquiredSuite.h"
#include "shell/IAIFilePath.h"
#include "shell/IAIUnicodeString.h"
#include "shell/VNIllustratorPlugin.h"
#include "shell/VNIllustratorSuites.h"
#include "support/UUnits.h"
#include "support/ulogger.h"
#include "text/ustring_load.h"

namespace {

constexpr const char* kItemName = "Varnel Group";
constexpr const char* kHostGroup = "Place Document";
constexpr const char* kVarnelGroup = "Varnel Group";
constexpr const char* kStringTable = "Illustrator";

bool s_inited = false;

// The host may take the module out of memory before the process ends; the units object goes
// with it instead of being lost with the module's globals.
struct UnitsRelease {
    ~UnitsRelease() {
        delete g_units;
        g_units = nullptr;
    }
} s_unitsRelease;

// Process-wide state that outlives a plug-in object: units, the timer and the reply handlers.
bool VNIllustratorInit(SPPluginRef self, SPBasicSuite* basic) {
    delete g_units;
    g_units = new UUnits(UUnits::eUnit_Millimeter);
    g_forceEPSexport = true;
    VNIllustratorPlugin* plugin = VNIllustratorPlugin::instance();
    plugin->fBasic = basic;

    AcquiredSuite<AITimerSuite> timers(basic, kAITimerSuite, kAITimerSuiteVersion);
    if (!timers) return false;
    AIErr error = timers->AddTimer(self, "VarnelTimer", 60, &plugin->fTimer);
    VN_LOG_FN(::vnu::loglevel::debug, "VNIllustratorInit", "timer err = " << error);
    error = timers->SetTimerActive(plugin->fTimer, true);
    VN_LOG_FN(::vnu::loglevel::debug, "VNIllustratorInit", "activate timer err = " << error);

    VNPlatformInit();
    SelectVarnelApplication(true);
    s_inited = true;
    return true;
}

AIErr installMenus(SPInterfaceMessage* message, VNIllustratorPlugin& plugin) {
    menu_add(message, kHostGroup, "", kMenuItemIsSeparator);
    AIMenuItemHandle varnelItem = menu_add(message, kHostGroup, "Varnel", kMenuItemNoOptions);
    AIMenuGroup group = nullptr;
    if (const AIErr error = sMenu->AddMenuGroupAsSubMenu(kVarnelGroup, 0, varnelItem, &group)) {
        VN_LOG_FN(::vnu::loglevel::debug, "addMenu", "submenu add error (" << error << ")");
        return error;
    }
    const auto localised = [](const char* english) { return ustring_load(english, kStringTable); };
    plugin.fAboutMenu = menu_add(message, kVarnelGroup, localised("About Varnel..."), kMenuItemNoOptions);
    plugin.fJobListMenu =
        menu_add(message, kVarnelGroup, localised("Show Job List Window"), kMenuItemNoOptions);
    menu_add(message, kVarnelGroup, "", kMenuItemIsSeparator);
    plugin.fDetailsMenu =
        menu_add(message, kVarnelGroup, localised("Job Details / Export..."), kMenuItemNoOptions);
    plugin.fAdjustSizeMenu =
        menu_add(message, kVarnelGroup, localised("AdjustSize..."), kMenuItemWantsUpdateOption);
    return sMenu->SetItemCmd(plugin.fDetailsMenu, '\\', 4);
}

void appendBigEndian32(std::string& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes += char((value >> shift) & 0xFF);
}

// The job of the current document (or a default one) with the size the Varnel application
// should see, as a details request; a new-details request when no document is open.
void SendDetailsRequest() {
    BJobFile job;
    if (DocumentIsOpen()) {
        if (CreateFromDocumentSLUG(job)) {
            job.ComputeRequiredBoxesForActiveGroup();
            const vnu::Rect2D& trim = job.GetRequiredTrimBox();
            if (trim.width != 0 && trim.height != 0) {
                const vnu::Rect2D& bleed = job.GetRequiredBleedBox();
                const vnu::Rect2D& type = job.GetRequiredTypeAreaBox();
                job.SetTrimPlacement(job.GetTrimHorizontalOffset(), job.GetTrimVerticalOffset(),
                                     std::fabs(trim.width), std::fabs(trim.height));
                VN_LOG_FN(::vnu::loglevel::debug, "BuildDetailsRequest",
                          "details request " << trim.width << "," << trim.height << ","
                                             << std::fabs(bleed.width) << "," << std::fabs(bleed.height)
                                             << "," << std::fabs(type.width) << ","
                                             << std::fabs(type.height));
            }
        } else {
            AIReal width = 0, height = 0;
            if (sAIDocument->GetDocumentPageSize(&width, &height) == kNoErr)
                job.SetTrimPlacement(job.GetTrimHorizontalOffset(), job.GetTrimVerticalOffset(), width,
                                     height);
        }
        ai::FilePath file;
        const bool hasFile = sAIDocument->GetDocumentFilePath(file.get()) == kNoErr;
        job.SetDN(hasFile ? file.GetFileNameNoExt() : ustring("?"));
    }
    std::ostringstream bytes;
    job.JobFileWriteToBuffer(bytes, BJobFile::kFlagFull);
    SendEvent(bytes.str(), DocumentIsOpen() ? kIllRequestDetails : kIllRequestNewDetails);
}

}  // namespace

AIErr pluginStartup(SPInterfaceMessage* message) {
    // The host's string tables are where the menu titles are found.
    UFileSpecCore::setMainBundle(VNMainBundlePath());
    if (!s_inited) {
        const bool ok = VNIllustratorInit(message->d.self, message->d.basic);
        VN_LOG_DEBUG("init res = " << (ok ? 1 : 0));
        if (!ok) return kNotImplementedErr;
    }
    return installMenus(message, *VNIllustratorPlugin::instance());
}

void pluginShutdown(SPInterfaceMessage*) {
    VNPlatformShutdown();
}

AIMenuItemHandle menu_add(SPInterfaceMessage* message, const char* group, const ustring& text,
                          AIMenuItemOption options) {
    ai::UnicodeString title(text);
    AIMenuItemHandle item = nullptr;
    if (const AIErr error =
            sMenu->AddMenuItemZString(message->d.self, kItemName, group, title.get(), options, &item)) {
        VN_LOG_DEBUG("addmenu error (" << error << ") (agroup=" << group << ", txt=" << text << ")");
        return nullptr;
    }
    return item;
}

AIErr updateMenuItem(AIMenuMessage* message) {
    const VNIllustratorPlugin* plugin = VNIllustratorPlugin::instance();
    if (message->menuItem == nullptr || message->menuItem != plugin->fAdjustSizeMenu) return kNoErr;
    BJobFile job;
    bool hasJob = false;
    try {
        hasJob = DocumentIsOpen() && CreateFromDocumentSLUG(job);
    } catch (const std::exception& failure) {
        // Unreadable job data offers nothing to adjust to.
        VN_LOG_DEBUG("job data unreadable: " << failure.what());
    }
    if (hasJob)
        sMenu->EnableItem(message->menuItem);
    else
        sMenu->DisableItem(message->menuItem);
    return kNoErr;
}

AIErr goMenuItem(AIMenuMessage* message) {
    VN_LOG_DEBUG("goMenuItem");
    SelectVarnelApplication(false);
    VNIllustratorPlugin* plugin = VNIllustratorPlugin::instance();
    if (const AIErr error = plugin->AcquireOptionalSuites()) return error;

    const AIMenuItemHandle item = message->menuItem;
    if (item == nullptr) return kNoErr;
    if (item == plugin->fAboutMenu)
        SendEvent(PluginInfoRecord(), kIllRequestAbout);
    else if (item == plugin->fJobListMenu)
        SendEvent(std::string(), kIllRequestJobList);
    else if (item == plugin->fDetailsMenu)
        SendDetailsRequest();
    else if (item == plugin->fAdjustSizeMenu)
        AdjustSize(message->d.basic, true, true);
    return kNoErr;
}

std::string PluginInfoRecord() {
    static const std::string kKind = "Illustrator Plugin";
    static const std::string kCompany = "Corvane Holdings";
    std::string record("\x00\x02", 2);
    appendBigEndian32(record, uint32_t(kKind.size()));
    record += kKind;
    appendBigEndian32(record, uint32_t(kCompany.size()));
    record += kCompany;
    return record;
}
