// The problem-description table every test of the job model and check settings runs against.
// The process builds its table once, from the first description message it is given, so all
// tests of one executable must install this same message (call installTestProblemDescriptions()
// before anything reads the table).
#pragma once

#include "DetectableProblemDescriptions.h"
#include "TicketBuilder.h"

namespace ticket_builder {

// Types as the companion application describes them; defaults only where tests rely on them.
inline const Descriptions& testProblemDescriptions() {
    static const Descriptions d = [] {
        Descriptions x;
        x.describe("ResTooLowContone", "limitsLow")
            .describe("ResTooHighContone", "limitsHigh")
            .describe("MaxPlates", "limitsHigh", false, Check().warn(6).precision(0))
            .describe("SolidTextTooSmall", "limitsLow", true)
            .describe("InkWeightTAC", "limitsHigh")
            .describe("PDFVersionTooHigh", "limitsHigh")
            .describe("PDFVersionTooLow", "limitsLow")
            .describe("Setting_PDFVersion", "parameter")
            .describe("Setting_TrimSize", "parameter", true)
            .describe("Setting_MaxScalingAllowed", "combiningParameterLow")
            .describe("Setting_PrinterMarks", "parameter")
            .describe("Setting_ProcessProfile", "stringParameter", false, Check().param("Default CMYK.icc"))
            .describe("Setting_WorkingSpaceProfiles", "stringParameter")
            .describe("Setting_LocalOutputProfiles", "stringParameter")
            .describe("Setting_GrayscaleProfile", "stringParameter")
            .describe("Setting_Standard", "stringParameter")
            .describe("BlackUsed", "boolean", false, Check().sev("note"))
            .describe("CourierUsed", "boolean")
            .describe("ImageJPEGEncoded", "boolean")
            .describe("ImageNotJPEGEncoded", "boolean")
            .describe("MissingTrimBox", "boolean")
            .describe("IncorrectTrimBox", "boolean")
            .describe("MissingBleedBox", "boolean")
            .describe("IncorrectBleedBox", "boolean")
            .describe("MediaTooSmall", "boolean")
            .describe("ArtBoxDetected", "boolean")
            .describe("DoublePageSpread", "");  // described, but of no known type
        return x;
    }();
    return d;
}

// Installs the test table; returns it, or null when the process already built another one.
inline const DetectableProblemDescriptions* installTestProblemDescriptions() {
    setDetectableProblemDescriptions(testProblemDescriptions().get());
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    if (table == nullptr) return nullptr;
    // Built from another message first: the tests' expectations would not hold.
    for (const ustring& name : testProblemDescriptions().get().getNames())
        if (table->GetProblemDescription(name).empty()) return nullptr;
    return table;
}

}  // namespace ticket_builder
