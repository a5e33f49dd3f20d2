// Fitting the document to its job: the trim placement, the type-area and trim guides, and the
// first artboard brought to the bleed size.
#include <cmath>

#include "document/VNIllustrator.h"
#include "job/BJobFile.h"
#include "sdk/AIArtboards.h"
#include "shell/AcquiredSuite.h"
#include "shell/VNIllustratorSuites.h"
#include "support/ulogger.h"

namespace {

// Every guide this plug-in draws carries the first mark; trim guides carry the second too.
constexpr const char* kGuideMark = "DA127AE0-01B3-42C6-BADB-8D6C6E488FC8";
constexpr const char* kTrimGuideMark = "DA949A67-1B85-4922-B775-511D1A0504E6";

class ArtDictionary {
public:
    explicit ArtDictionary(AIArtHandle art) { sAIArt->GetDictionary(art, &fRef); }
    ~ArtDictionary() {
        if (fRef != nullptr) sAIDictionary->Release(fRef);
    }
    ArtDictionary(const ArtDictionary&) = delete;
    ArtDictionary& operator=(const ArtDictionary&) = delete;

    bool flag(const char* key) const {
        AIBoolean value = false;
        return fRef != nullptr &&
               sAIDictionary->GetBooleanEntry(fRef, sAIDictionary->Key(key), &value) == kNoErr && value;
    }
    void setFlag(const char* key) {
        if (fRef != nullptr) sAIDictionary->SetBooleanEntry(fRef, sAIDictionary->Key(key), true);
    }

private:
    AIDictionaryRef fRef = nullptr;
};

struct Size {
    double width;
    double height;
    bool operator==(const Size&) const = default;
};

struct JobSizes {
    Size trim;
    Size bleed;
    Size type;
};

void removeGuides() {
    AIMatchingArtSpec anyArt;
    AIArtHandleList matches = nullptr;
    ai::int32 count = 0;
    if (const AIErr error = sAIMatchingArt->GetMatchingArt(&anyArt, 1, &matches, &count)) {
        VN_LOG_DEBUG("ILLE " << error);
        return;
    }
    for (ai::int32 i = 0; i < count; ++i) {
        AIArtHandle art = (*matches)[i];
        if (!ArtDictionary(art).flag(kGuideMark)) continue;
        sAIArt->SetArtUserAttr(art, kArtLocked, 0);
        sAIArt->DisposeArt(art);
    }
    if (matches != nullptr) sAIMdMemory->MdMemoryDisposeHandle(reinterpret_cast<AIMdMemoryHandle>(matches));
}

// Draws the type-area and trim guides, and the bleed guide when asked, each centred on the
// rectangle whose lower-left corner is `origin` and whose size is `area`.
void drawCentredGuides(AIPathSuite* paths, const JobSizes& sizes, AIRealPoint origin, Size area,
                       bool bleedGuide) {
    const auto guide = [&](Size size, bool isTrim) {
        MakeGuides(paths, origin.h + (area.width - size.width) / 2,
                   origin.v + (area.height - size.height) / 2, size.width, size.height, isTrim);
    };
    if (sizes.type.width != 0 || sizes.type.height != 0) guide(sizes.type, false);
    if (!(sizes.bleed == sizes.trim)) guide(sizes.trim, true);
    if (bleedGuide) guide(sizes.bleed, false);
}

void adjustArtboard(AIPathSuite* paths, const JobSizes& sizes, bool toBleed, ai::int32 hostVersion) {
    ai::ArtboardList list;
    ai::ArtboardProperties properties;
    AIRealRect position;
    AIErr error = list.Acquire();
    if (error == kNoErr) error = list.GetArtboardProperties(0, properties);
    if (error == kNoErr) error = properties.GetPosition(position);
    if (error != kNoErr) {
        VN_LOG_DEBUG("ILLE " << error);
        return;
    }
    if (paths == nullptr) return;
    const Size area{std::fabs(position.right - position.left), std::fabs(position.top - position.bottom)};
    // Hosts before 15 cannot resize an artboard: the bleed is shown as a guide instead.
    drawCentredGuides(paths, sizes, {position.left, position.bottom}, area, toBleed && hostVersion < 15);
    if (toBleed && hostVersion >= 15) {
        AIRealRect bleed;
        bleed.left = position.left + (area.width - sizes.bleed.width) / 2;
        bleed.bottom = position.bottom + (area.height - sizes.bleed.height) / 2;
        bleed.right = bleed.left + sizes.bleed.width;
        bleed.top = bleed.bottom + sizes.bleed.height;
        properties.SetPosition(bleed);
        list.Update(0, properties);
    }
}

void adjustPage(AIPathSuite* paths, const JobSizes& sizes, bool toBleed) {
    Size page{};
    if (sAIDocument->GetDocumentPageSize(&page.width, &page.height) != kNoErr || paths == nullptr) return;
    drawCentredGuides(paths, sizes, {0, 0}, page, toBleed);
}

Size absoluteSize(const vnu::Rect2D& box) {
    return {std::fabs(box.width), std::fabs(box.height)};
}

}  // namespace

void AdjustSize(SPBasicSuite* basic, bool withGuides, bool toBleed) {
    if (!DocumentIsOpen()) return;
    BJobFile job;
    if (!CreateFromDocumentSLUG(job)) return;
    job.ComputeRequiredBoxesForActiveGroup();
    const JobSizes sizes{absoluteSize(job.GetRequiredTrimBox()), absoluteSize(job.GetRequiredBleedBox()),
                         absoluteSize(job.GetRequiredTypeAreaBox())};
    if (sizes.trim.width != 0 && sizes.trim.height != 0) {
        job.SetTrimPlacement((sizes.bleed.width - sizes.trim.width) / 2,
                             (sizes.bleed.height - sizes.trim.height) / 2, sizes.trim.width,
                             sizes.trim.height);
        if (withGuides) {
            removeGuides();
            AcquiredSuite<AIRuntimeSuite> runtime(basic, kAIRuntimeSuite, kAIRuntimeSuiteVersion);
            AcquiredSuite<AIPathSuite> paths(basic, kAIPathSuite, kAIPathSuiteVersion);
            ai::int32 hostVersion = 0;
            if (runtime) runtime->GetAppMajorVersion(&hostVersion);
            if (hostVersion >= 14)
                adjustArtboard(paths.get(), sizes, toBleed, hostVersion);
            else
                adjustPage(paths.get(), sizes, toBleed);
        }
    }
    PutIntoDocumentSLUG(basic, job, sAIDocument);
}

void MakeGuides(AIPathSuite* paths, double x, double y, double width, double height, bool isTrim) {
    AIArtHandle art = nullptr;
    if (const AIErr error = sAIArt->NewArt(kPathArt, kPlaceAboveAll, nullptr, &art)) {
        VN_LOG_DEBUG("ILLE " << error);
        return;
    }
    const AIRealPoint corners[4] = {{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}};
    AIPathSegment segments[4];
    for (int i = 0; i < 4; ++i) {
        // Handles on the anchors make straight sides; the corner flag only says so too.
        segments[i].p = segments[i].in = segments[i].out = corners[i];
        segments[i].corner = true;
    }
    AIErr error = paths->SetPathSegmentCount(art, 4);
    if (error == kNoErr) error = paths->SetPathSegments(art, 0, 4, segments);
    if (error == kNoErr) error = paths->SetPathClosed(art, true);
    if (error != kNoErr) VN_LOG_DEBUG("ILLE " << error);

    ArtDictionary dictionary(art);
    dictionary.setFlag(kGuideMark);
    if (isTrim) dictionary.setFlag(kTrimGuideMark);

    sAIMatchingArt->DeselectAll();
    if (const AIErr selectError = sAIArt->SetArtUserAttr(art, kArtSelected, kArtSelected)) {
        VN_LOG_DEBUG("ILLE " << selectError);
        return;
    }
    sAIDocument->SyncDocument();
    if (const AIErr actionError = sAIActionManager->PlayActionEvent("adobe_makeGuide", kDialogNone, nullptr))
        VN_LOG_FN(::vnu::loglevel::debug, "DoAction", "ILLE " << actionError);
    sAIArt->SetArtUserAttr(art, kArtLocked, kArtLocked);
}
