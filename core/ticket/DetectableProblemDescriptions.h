// The table of detectable problems: for every problem name, what kind of setting it is, whether
// its values are lengths shown in the user's units, its default check and its conflicts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "support/flat_map.h"
#include "text/ustring.h"
#include "ticket/ConstantUStrings.h"

class umessage;

enum ESettingType : std::int32_t {
    eSettingType_Undefined = 0,
    eSettingType_Boolean = 1,
    eSettingType_LimitsLow = 2,
    eSettingType_LimitsHigh = 3,
    eSettingType_Range = 4,
    eSettingType_Parameter = 5,
    eSettingType_StringParameter = 6,
    eSettingType_LimitsLowSeverity = 7,
    eSettingType_LimitsHighSeverity = 8,
    eSettingType_CombiningParameterLow = 9,
    eSettingType_CombiningParameterHigh = 10,
};

enum EProblemSeverity : std::int32_t {
    eProblemSeverity_NotSet = 0,
    eProblemSeverity_Ignore = 1,
    eProblemSeverity_Note = 2,
    eProblemSeverity_Warn = 3,
    eProblemSeverity_Fault = 4,
    eProblemSeverity_Dynamic = 5,
    eProblemSeverity_Parameter = 6,
    eProblemSeverity_ParameterNotSet = 7,
};

// The type a description's "type" word names: "boolean", "limitsLow", "limitsHigh", "parameter",
// "stringParameter", "combiningParameterLow"; eSettingType_Undefined for any other text.
ESettingType settingTypeFromWord(const ustring& word);

// The severity a profile's word names ("notset" ... "parameterNotSet", matched byte for byte);
// eProblemSeverity_NotSet for any other text.
EProblemSeverity severityFromWord(const ustring& word);
// The word of a severity ("notset" ... "parameterNotSet"); the empty string for a value outside
// the enumeration.
const ustring& severityWord(EProblemSeverity severity);

// rank(a) - rank(b) with ignore 1, note 2, warn 3, fault 4 and every other text 0: positive when a
// is the graver word.
int compare_severity(const ustring& a, const ustring& b);

// A light view of one problem's description. The message is not owned: the table that made the
// view keeps it alive.
class ProblemDescription {
public:
    ProblemDescription() = default;
    explicit ProblemDescription(const umessage* description);

    const umessage* message() const { return description_; }
    bool empty() const { return description_ == nullptr; }

    ESettingType GetProblemTypeEnum() const { return type_; }
    // The first Boolean under "userUnits"; false when absent or of another type.
    bool useUserUnits() const;
    // The first message under "defaults"; null when absent or of another type.
    std::shared_ptr<const umessage> GetDefaults() const;

private:
    const umessage* description_ = nullptr;
    ESettingType type_ = eSettingType_Undefined;
};

class DetectableProblemDescriptions {
public:
    using DescriptionMap = vnu::flat_map<ustring, std::shared_ptr<const umessage>>;
    using ConflictMap = vnu::flat_map<ustring, std::vector<ustring>>;

    // Builds both maps from a description message (null gives empty maps). Never fails on
    // content: fields that hold no message describe nothing and are skipped.
    explicit DetectableProblemDescriptions(const umessage* descriptions);

    // Null description (type Undefined) for a name the table does not hold.
    ProblemDescription GetProblemDescription(const ustring& name) const;
    // The names conflicting with `name`, in the order the description gave them; empty if none.
    const std::vector<ustring>& GetConflicts(const ustring& name) const;

    const DescriptionMap& descriptions() const { return descriptions_; }
    const ConflictMap& conflicts() const { return conflicts_; }

private:
    DescriptionMap descriptions_;
    ConflictMap conflicts_;
};

// Keeps the last description message received; a caller done with its message moves it in.
void setDetectableProblemDescriptions(umessage descriptions);

// The process-wide table, built once from the first non-empty message and kept until exit; later
// messages do not change it. Null while no table exists and no description message has arrived.
// Main thread only: creation is not guarded.
const DetectableProblemDescriptions* detectableProblemDescriptions();
