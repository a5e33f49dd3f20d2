// One preflight check as the plug-in understands it: problem, kind, severity, thresholds, text
// parameters and the rounding its numbers get before they are compared.
#pragma once

#include <cstdint>

#include "message/umessage.h"
#include "text/ustring.h"
#include "ticket/DetectableProblemDescriptions.h"
#include "ticket/WQCS.h"

class BCheckSetting {
public:
    // Value indexes: a severity minus 2 for note, warn and fault; 3 is the ignore value.
    enum ValueIndex : int { eValue_Note = 0, eValue_Warn = 1, eValue_Fault = 2, eValue_Ignore = 3 };
    static constexpr int kValueCount = 4;

    // Keys of a settings record kept in the job file.
    static const ustring eSettingKey_SettingsRecord;
    static const ustring eSettingKey_ProblemID;
    static const ustring eSettingKey_Severity;
    static const ustring eSettingKey_SettingType;
    static const ustring eSettingKey_SettingSubType;
    static const ustring eSettingKey_FaultValue;
    static const ustring eSettingKey_WarnValue;
    static const ustring eSettingKey_NoteValue;
    static const ustring eSettingKey_IgnoreValue;
    static const ustring eSettingKey_ParameterValue;
    static const ustring eSettingKey_Precision;
    static const ustring eSettingKey_ShowValueInUOM;
    static const ustring eSettingKey_StrParameter0;
    static const ustring eSettingKey_StrParameter1;
    static const ustring eSettingKey_StrParameter2;

    // The setting types' names in enumeration order, then a null entry.
    static const char* const kProblemTypeNames[12];
    // The severities' names in enumeration order.
    static const char* const kProblemSeverityNames[8];

    // A non-empty name takes its described type; an undescribed name is cleared (see
    // BCheckSettingList::SetSettingIndexAndType).
    explicit BCheckSetting(const ustring& name);
    virtual ~BCheckSetting();

    const ustring& GetName() const { return m_name; }
    void SetName(const ustring& name) { m_name = name; }
    ESettingType GetSettingType() const { return m_settingType; }
    void SetSettingType(ESettingType type) { m_settingType = type; }
    // The current severity.
    EProblemSeverity GetSeverity() const { return m_severity; }
    void SetSeverity(EProblemSeverity severity) { m_severity = severity; }

    bool GetValueNULL(int i) const { return m_valueNotSet[i]; }
    double GetValue(int i) const { return m_values[i]; }
    void SetValue(int i, double v);
    void SetIgnoreValue(double v) { SetValue(eValue_Ignore, v); }

    bool GetStringParamNULL(int i) const { return m_stringParamNotSet[i]; }
    const ustring& GetStringParam(int i) const { return m_stringParams[i]; }
    void SetStringParam(int i, const ustring& s);

    int GetPrecision() const { return m_precision; }
    bool GetUseUserUnits() const { return m_useUserUnits; }
    double GetParameterValue() const { return m_parameterValue; }
    bool GetParameterValueNULL() const { return m_parameterValueNotSet; }

    // Rounds `measured` in place and writes the four rounded thresholds, index order.
    void GetComparisonValues(double& measured, double thresholds[kValueCount]) const;
    // The severity a measured value earns; writes the stored threshold it crossed to *threshold
    // (see the rules in the source), otherwise leaves *threshold alone.
    EProblemSeverity GetSeverity(double measured, double* threshold = nullptr) const;

    // Fills the setting from a settings record of the job file. Never throws on content.
    void DeserialiseSetting(const umessage& record);
    // Fills the setting from a profile check; false (setting unchanged) for an undescribed problem.
    bool DeserialiseSetting2(const ustring& name, const WCheckSetting& check);

    // Index in kProblemTypeNames, -1 for any other text.
    static int NameToProblemType(const ustring& name);
    // Index in kProblemSeverityNames, NotSet for any other text.
    static EProblemSeverity NameToProblemSeverity(const ustring& name);

private:
    void ClearValue(int i);
    void RecomputeSeverity();

    ustring m_name;
    ESettingType m_settingType = eSettingType_Undefined;
    EProblemSeverity m_severity = eProblemSeverity_Ignore;
    double m_values[kValueCount] = {0, 0, 0, 0};
    bool m_valueNotSet[kValueCount] = {true, true, true, true};
    ustring m_stringParams[kValueCount];
    bool m_stringParamNotSet[kValueCount] = {true, true, true, true};
    int m_precision = 2;
    bool m_useUserUnits = false;
    double m_parameterValue = 0;
    bool m_parameterValueNotSet = true;
};
