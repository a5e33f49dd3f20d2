#include "job/BJobFile.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <sstream>
#include <utility>

#include "job/BCheckSetting.h"
#include "keystream/UKeyStream.h"
#include "keystream/UKeyStreamUtils.h"
#include "message/umessage.h"
#include "message/umessage_image.h"
#include "support/ReplaceFile.h"
#include "support/uuid.h"
#include "ticket/ConstantUStrings.h"
#include "ticket/DetectableProblemDescriptions.h"

bool g_forceEPSexport = false;

namespace {

void WriteBox(UKeyOutStream& out, UKey key, const vnu::Rect2D& box) {
    out << UKeyOutStream::StartArray(key);
    out << box.x << box.y << box.x + box.width << box.y + box.height;
    out.Pop();
}

void ReadFileSpec(UKeyInStream& in, UKey key, UFileSpecCore& file) {
    ustring path;
    in >> key >> path;
    if (path.empty())
        file.init();
    else
        file.init(path, nullptr);
}

bool AtOrigin(const vnu::Rect2D& box) {
    return box.x == 0 && box.y == 0;
}

void CentreAtOrigin(vnu::Rect2D& box) {
    box.x = -box.width / 2;
    box.y = -box.height / 2;
}

}  // namespace

BJobFile::BJobFile() : fGroups(this), fDefaultGroup(this) {}

BJobFile::~BJobFile() = default;

void BJobFile::SetTrimPlacement(double horizontalOffset, double verticalOffset, double width, double depth) {
    fTrimHorizontalOffset = horizontalOffset;
    fTrimVerticalOffset = verticalOffset;
    fTrimWidth = width;
    fTrimDepth = depth;
}

BGroup& BJobFile::GetActiveGroupOrDefault() {
    BGroup* active = fGroups.GetActiveGroup();
    return active ? *active : fDefaultGroup;
}

void BJobFile::JobFileReadFromBuffer(std::istream& in, int flags) {
    if (in.fail()) return;
    // Its ticket is read as an image and every record into compact objects: with the input, a
    // read takes at most four bytes per input byte (and the budget's fixed allowance).
    constexpr std::uint64_t kBuiltPerInputByte = 3;
    UKeyInStream reader(in, kBuiltPerInputByte);
    umessage descriptions;
    reader >> UKey('D', 'p') >> descriptions;
    setDetectableProblemDescriptions(std::move(descriptions));
    JobFileKeyStreamIn(reader, flags);
}

void BJobFile::JobFileKeyStreamIn(UKeyInStream& in, int flags) {
    in >> UKeyInStream::StartRecord(UKey('J', 'J'));
    in >> UKey('S', 't') >> fSt;
    in >> UKey('S', 'S') >> fJobID;
    in >> UKey('S', 'N') >> fSN;
    in >> UKey('L', 'N') >> fLN;

    UKeyStreamUtils::InRectArray(in, UKey('R', 'B'), fRequiredBleedBox);
    UKeyStreamUtils::InRectArray(in, UKey('R', 'T'), fRequiredTrimBox);
    UKeyStreamUtils::InRectArray(in, UKey('R', 'Y'), fRequiredTypeAreaBox);
    // Boxes computed for the active group sit at the origin; the document wants them centred.
    if (AtOrigin(fRequiredBleedBox) && AtOrigin(fRequiredTrimBox) && AtOrigin(fRequiredTypeAreaBox)) {
        CentreAtOrigin(fRequiredBleedBox);
        CentreAtOrigin(fRequiredTrimBox);
        CentreAtOrigin(fRequiredTypeAreaBox);
    }

    if ((flags & (kFlagPlacement | kFlagFull)) != 0) {
        in >> UKey('L', 'H') >> fTrimHorizontalOffset;
        in >> UKey('L', 'V') >> fTrimVerticalOffset;
        in >> UKey('L', 'w') >> fTrimWidth;
        in >> UKey('L', 'd') >> fTrimDepth;
        in >> UKey('S', 'E') >> fSE;
        in >> UKey('C', 'Z') >> fCombineAllGroups;
    }

    if ((flags & kFlagFull) != 0) {
        in >> UKey('N', 'P') >> fNP;
        in >> UKey('C', 'P') >> fCP;
        in >> UKey('L', 'C') >> fLC;
        in >> UKey('D', 'N') >> fDN;
        ReadFileSpec(in, UKey('T', 'F'), fTF);
        ReadFileSpec(in, UKey('F', 'S'), fDocumentFile);
        ReadFileSpec(in, UKey('P', 'D'), fPD);
        ReadFileSpec(in, UKey('P', 'I'), fPluginInfoFile);
        fPageSections.RemoveAll();
        fPageSections.PageRangeListKeyStreamInSections(in);
        fAbsolutePages.RemoveAll();
        fAbsolutePages.PageRangeListKeyStreamIn(in);
        fExportedDestinations.RemoveAll();
        fExportedDestinations.ExportedDestinationListKeyStreamIn(in);
        in.Pop();
        fGroups.GroupListKeyStreamIn(in, flags);
        fCheckSettings.RemoveAll();
        // The ticket is read where it lies and decoded at once: only its check settings are kept.
        umessage_image ticket;
        in >> UKey('S', 'R') >> ticket;
        fCheckSettings.DeserialiseSettings(ticket, in);
    } else {
        in.Pop();
        fGroups.GroupListKeyStreamIn(in, flags);
    }

    if (in.Exists(UKey('B', 'P'))) {
        in >> UKeyInStream::StartRecord(UKey('B', 'P'));
        in >> UKey('B', 'r') >> g_forceEPSexport;
        in.Pop();
    }

    InitializeProfileRefs();
}

void BJobFile::JobFileWriteToBuffer(std::ostream& out, long flags) {
    UKeyOutStream writer(out, kStreamIdentifier);
    JobFileKeyStreamOut(writer, flags);
    writer.Flush();
}

void BJobFile::JobFileWriteToBufferForExport(std::ostream& out) {
    JobFileWriteToBuffer(out, kFlagsExport);
    if (BGroup* next = fGroups.FindFirstUnexportedGroup()) {
        fGroups.SetActiveGroup(next);
        ComputeRequiredBoxesForActiveGroup();
    }
}

void BJobFile::JobFileKeyStreamOut(UKeyOutStream& out, long flags) {
    out << UKeyOutStream::StartRecord(UKey('J', 'J'));
    if (fJobID.empty()) fJobID = vnu::NewUUIDText();

    out << UKey('S', 't') << fSt;
    out << UKey('P', 'v') << ustring(kProtocolVersion);
    out << UKey('S', 'S') << fJobID;
    out << UKey('D', 'N') << fDN;
    out << UKey('S', 'N') << fSN;
    out << UKey('L', 'N') << fLN;
    WriteBox(out, UKey('R', 'B'), fRequiredBleedBox);
    WriteBox(out, UKey('R', 'T'), fRequiredTrimBox);
    WriteBox(out, UKey('R', 'Y'), fRequiredTypeAreaBox);

    if ((flags & (kFlagPlacement | kFlagFull)) != 0) {
        out << UKey('L', 'H') << fTrimHorizontalOffset;
        out << UKey('L', 'V') << fTrimVerticalOffset;
        out << UKey('L', 'w') << fTrimWidth;
        out << UKey('L', 'd') << fTrimDepth;
        out << UKey('S', 'E') << fSE;
        out << UKey('C', 'Z') << fCombineAllGroups;
    }

    if ((flags & kFlagFull) != 0) {
        out << UKey('N', 'P') << fNP;
        out << UKey('C', 'P') << fCP;
        out << UKey('L', 'C') << fLC;
        UKeyStreamUtils::OutFileSpec(out, UKey('T', 'F'), fTF);
        UKeyStreamUtils::OutFileSpec(out, UKey('F', 'S'), fDocumentFile);
        UKeyStreamUtils::OutFileSpec(out, UKey('P', 'D'), fPD);
        UKeyStreamUtils::OutFileSpec(out, UKey('P', 'I'), fPluginInfoFile);
        fPageSections.PageRangeListKeyStreamOutSections(out);
        fAbsolutePages.PageRangeListKeyStreamOut(out);
        fExportedDestinations.ExportedDestinationListKeyStreamOut(out);
    }
    out.Pop();

    fGroups.GroupListKeyStreamOut(out, static_cast<int>(flags));
}

void BJobFile::ComputeRequiredBoxesForActiveGroup() {
    const BGroup* active = &GetActiveGroupOrDefault();
    const bool combine = fCombineAllGroups;
    const bool bleedFromEveryDestination = combine && fGroups.size() >= 2;

    double minWidth = 0;
    double minHeight = 0;
    double minTypeWidth = 0;
    double minTypeHeight = 0;
    double bleedWidth = 0;
    double bleedHeight = 0;

    auto takeMinimum = [](double& minimum, double size) {
        if (size > 0) {
            if (minimum == 0 || size < minimum) minimum = size;
        } else if (minimum == 0) {
            minimum = size;
        }
    };
    auto takeTypeMinimum = [](double& minimum, double size, double margins) {
        double typeSize = margins > 0 ? size - margins : margins;
        if (minimum == 0 || (typeSize > 0 && typeSize < minimum)) minimum = typeSize;
    };

    for (size_t g = 0; g < fGroups.size(); ++g) {
        const BGroup& group = fGroups[g];
        if (!combine && &group != active) continue;
        for (size_t d = 0; d < group.size(); ++d) {
            const BDestination& destination = group[d];
            if (&destination.GetJob() != this) continue;
            const double width = destination.GetPageWidth();
            const double height = destination.GetPageHeight();
            takeMinimum(minWidth, width);
            takeMinimum(minHeight, height);
            takeTypeMinimum(minTypeWidth, width,
                            destination.GetTypeAreaLeft() + destination.GetTypeAreaRight());
            takeTypeMinimum(minTypeHeight, height,
                            destination.GetTypeAreaTop() + destination.GetTypeAreaBottom());
            if (bleedFromEveryDestination) {
                bleedWidth = std::max(bleedWidth, destination.GetRequestedBleedWidth());
                bleedHeight = std::max(bleedHeight, destination.GetRequestedBleedDepth());
            } else {
                if (destination.GetBleedLeft() > 0 || destination.GetBleedRight() > 0)
                    bleedWidth = std::max(bleedWidth, destination.GetRequestedBleedWidth());
                if (destination.GetBleedTop() > 0 || destination.GetBleedBottom() > 0)
                    bleedHeight = std::max(bleedHeight, destination.GetRequestedBleedDepth());
            }
        }
    }

    fRequiredBleedBox = {0, 0, bleedWidth != 0 ? bleedWidth : minWidth,
                         bleedHeight != 0 ? bleedHeight : minHeight};
    fRequiredTrimBox = {0, 0, minWidth, minHeight};
    if (minTypeWidth != 0 && minTypeHeight != 0) fRequiredTypeAreaBox = {0, 0, minTypeWidth, minTypeHeight};
}

UFileSpecCore BJobFile::GetPageFileSpec(long page) const {
    if (page < 2) return fDocumentFile;
    UFileSpecCore file(fDocumentFile);
    ustring name = ustring::format("%s#%ld", fDocumentFile.name(true).c_str(), page);
    if (!file.up() || !file.add(name)) return UFileSpecCore();
    return file;
}

void BJobFile::InitializeProfileRefs() {
    fProfilePresent[kProcessProfile] = false;
    fProfilePresent[kGrayscaleProfile] = false;

    const BCheckSetting* process = fCheckSettings.FindCheckSetting(eProblemSetting_ProcessProfile);
    const BCheckSetting* grayscale = fCheckSettings.FindCheckSetting(eProblemSetting_GrayscaleProfile);
    const BCheckSetting* local = fCheckSettings.FindCheckSetting(eProblemSetting_LocalOutputProfiles);
    const BCheckSetting* override =
        fCheckSettings.FindCheckSetting(eProblemSetting_OverrideDestinationProfiles);

    const bool overrideOn = override && override->GetValue(0) != 0;
    ustring processName = process ? process->GetStringParam(0) : ustring();
    ustring grayscaleName = grayscale ? grayscale->GetStringParam(0) : ustring();
    const bool processSilent = !process || process->GetStringParam(1) == "silent";
    const bool grayscaleSilent = !grayscale || grayscale->GetStringParam(1) == "silent";
    ustring localProcessName = local ? local->GetStringParam(0) : ustring();
    ustring localGrayscaleName = local ? local->GetStringParam(1) : ustring();

    if (overrideOn) {
        if (processSilent && !localProcessName.empty()) processName = localProcessName;
        if (grayscaleSilent && !localGrayscaleName.empty()) grayscaleName = localGrayscaleName;
    }
    if (!processName.empty()) SetProfileRefFromCheckSetting(processName, kProcessProfile);
    if (!grayscaleName.empty()) SetProfileRefFromCheckSetting(grayscaleName, kGrayscaleProfile);
}

void BJobFile::SetProfileRefFromCheckSetting(const ustring& name, int index) {
    if (index != kProcessProfile && index != kGrayscaleProfile) return;
    ustring path;
    UFileSpecCore named(name, nullptr);
    if (named.isValid() && named.isFile()) {
        path = named.path();
    } else {
        UFileSpecCore folder(UFileSpecCore::eSpecialFolder_ColorProfiles);
        if (!folder.isValid() || !folder.add(name)) return;
        path = folder.path();
    }
    if (path.empty()) return;
    fProfileRefs[index] = BProfileRef(path);
    fProfilePresent[index] = true;
}

void BJobFile::ExportPluginInfo() {
    if (!fPluginInfoFile.isValid()) return;
    std::ostringstream bytes;
    {
        UKeyOutStream writer(bytes, 0);
        writer << UKeyOutStream::StartRecord(UKey(10));
        writer << UKey(120) << -2;
        fDocumentItems.PageItemListKeyStreamOut(writer, -1);
        const int pages =
            static_cast<int>(std::min<int64_t>(fAbsolutePages.GetAbsolutePageCount(), kMaxPluginInfoPages));
        for (int p = 1; p <= pages; ++p) {
            writer << UKey(120) << p - 1;
            fPageItems.PageItemListKeyStreamOut(writer, p);
            if (auto flattener = GetPageTransparencyFlattener(fPageFlatteners, p))
                flattener->FlattenerKeyStreamOut(writer);
        }
        writer.Pop();
        writer.Flush();
    }
    // Whole or not at all: a full disk keeps the previous file rather than half of a new one.
    vnu::ReplaceFileContents(fPluginInfoFile.path().fileSystemRepresentation().str(), bytes.str());
}
