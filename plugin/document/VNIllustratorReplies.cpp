// Details replies of the Varnel application: job data for the open document, or for a new one.
#include <cmath>
#include <istream>

#include "document/VNIllustrator.h"
#include "job/BJobFile.h"
#include "shell/AcquiredSuite.h"
#include "shell/IAIUnicodeString.h"
#include "shell/VNIllustratorSuites.h"
#include "support/ulogger.h"

void HandleDetailsReply(SPBasicSuite* basic, std::istream& payload, BJobFile& job, bool adjust) {
    job.JobFileReadFromBuffer(payload, BJobFile::kFlagFull);
    if (!DocumentIsOpen()) return;
    PutIntoDocumentSLUG(basic, job, sAIDocument);
    AdjustSize(basic, adjust, false);
}

void HandleNewDetailsReply(SPBasicSuite* basic, std::istream& payload, BJobFile& job) {
    job.JobFileReadFromBuffer(payload, BJobFile::kFlagFull);
    job.ComputeRequiredBoxesForActiveGroup();
    const vnu::Rect2D& trim = job.GetRequiredTrimBox();
    if (trim.width == 0 || trim.height == 0) return;
    const vnu::Rect2D& bleed = job.GetRequiredBleedBox();
    const vnu::Rect2D& type = job.GetRequiredTypeAreaBox();
    VN_LOG_DEBUG("new details " << std::fabs(trim.width) << "," << std::fabs(trim.height) << ","
                                << std::fabs(bleed.width) << "," << std::fabs(bleed.height) << ","
                                << std::fabs(type.width) << "," << std::fabs(type.height));

    AcquiredSuite<AIDocumentListSuite> documents(basic, kAIDocumentListSuite, kAIDocumentListSuiteVersion);
    if (!documents) return;
    // One artboard of the bleed-box size; the other values are the host's single-page defaults.
    const ai::UnicodeString presetName;
    const ai::UnicodeString title;
    AINewDocumentPreset preset;
    preset.docTitle = title.get();
    preset.docWidth = std::fabs(bleed.width);
    preset.docHeight = std::fabs(bleed.height);
    preset.docNumArtboards = 1;
    preset.docArtboardLayout = 0;
    preset.docArtboardSpacing = 0;
    preset.docArtboardRowsOrCols = 1;
    preset.docColorMode = 2;
    preset.docUnits = 3;
    preset.docPreviewMode = 2;
    preset.docTransparencyGrid = 1;
    preset.docRasterResolution = 2;
    AIDocumentHandle document = nullptr;
    if (const AIErr error = documents->New(presetName.get(), &preset, 0, &document))
        VN_LOG_FN(::vnu::loglevel::debug, "NewDoc", "New document failed " << error);

    if (DocumentIsOpen()) PutIntoDocumentSLUG(basic, job, sAIDocument);
    AdjustSize(basic, true, false);
}
