// The problem-description table the job-model tests run against. A process builds its table once,
// from the first message given: install this one before anything reads the table.
#pragma once

#include "TicketBuilder.h"
#include "ticket/DetectableProblemDescriptions.h"

namespace ticket_builder {

// Types as the companion application describes them; defaults only where tests rely on them.
inline const umessage& testProblemDescriptions() {
    static const Msg all = [] {
        Msg m;
        const auto describe = [&](const char* name, const char* type, bool userUnits = false,
                                  const Msg& defaults = Msg()) {
            Msg d;
            if (*type != '\0') d.str("type", {type});
            if (userUnits) d.flag("userUnits", {true});
            if (!defaults.get().empty()) d.msg("defaults", {defaults});
            m.msg(name, {d});
        };
        describe("MaxPlates", "limitsHigh", false, Check().warn(6).precision(0));
        describe("SolidTextTooSmall", "limitsLow", true);
        describe("Setting_TrimSize", "parameter", true);
        describe("Setting_ProcessProfile", "stringParameter", false, Check().param("Default CMYK.icc"));
        describe("BlackUsed", "boolean", false, Check().sev("note"));
        describe("DoublePageSpread", "");  // described, but of no known type
        for (const char* name : {"ResTooLowContone", "PDFVersionTooLow"}) describe(name, "limitsLow");
        for (const char* name : {"ResTooHighContone", "InkWeightTAC", "PDFVersionTooHigh"})
            describe(name, "limitsHigh");
        describe("Setting_PDFVersion", "parameter");
        for (const char* name :
             {"Setting_LocalOutputProfiles", "Setting_GrayscaleProfile", "Setting_Standard"})
            describe(name, "stringParameter");
        for (const char* name : {"CourierUsed", "MissingTrimBox"}) describe(name, "boolean");
        return m;
    }();
    return all.get();
}

// Installs the test table; returns it, or null when the process already built another one.
inline const DetectableProblemDescriptions* installTestProblemDescriptions() {
    setDetectableProblemDescriptions(testProblemDescriptions());
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    if (table == nullptr) return nullptr;
    // Built from another message first: the tests' expectations would not hold.
    for (const ustring& name : testProblemDescriptions().getNames())
        if (table->GetProblemDescription(name).empty()) return nullptr;
    return table;
}

}  // namespace ticket_builder
