#include "job/BCheckSetting.h"

#include "job/BCheckSettingList.h"
#include "support/UUnits.h"
#include "support/ulogger.h"
#include "ticket/ConstantUStrings.h"

const ustring BCheckSetting::eSettingKey_SettingsRecord("settings");
const ustring BCheckSetting::eSettingKey_ProblemID("problem");
const ustring BCheckSetting::eSettingKey_Severity("severity");
const ustring BCheckSetting::eSettingKey_SettingType("type");
const ustring BCheckSetting::eSettingKey_SettingSubType("subtype");
const ustring BCheckSetting::eSettingKey_FaultValue("fault");
const ustring BCheckSetting::eSettingKey_WarnValue("warn");
const ustring BCheckSetting::eSettingKey_NoteValue("note");
const ustring BCheckSetting::eSettingKey_IgnoreValue("ignore");
const ustring BCheckSetting::eSettingKey_ParameterValue("PV");
const ustring BCheckSetting::eSettingKey_Precision("precision");
const ustring BCheckSetting::eSettingKey_ShowValueInUOM("UserUnit");
const ustring BCheckSetting::eSettingKey_StrParameter0("P0");
const ustring BCheckSetting::eSettingKey_StrParameter1("P1");
const ustring BCheckSetting::eSettingKey_StrParameter2("P2");

const char* const BCheckSetting::kProblemTypeNames[12] = {
    "eSettingType_Undefined",
    "eSettingType_Boolean",
    "eSettingType_LimitsLow",
    "eSettingType_LimitsHigh",
    "eSettingType_Range",
    "eSettingType_Parameter",
    "eSettingType_StringParameter",
    "eSettingType_LimitsLowSeverity",
    "eSettingType_LimitsHighSeverity",
    "eSettingType_CombiningParameterLow",
    "eSettingType_CombiningParameterHigh",
    nullptr,
};

const char* const BCheckSetting::kProblemSeverityNames[8] = {
    "eProblemSeverity_NotSet",    "eProblemSeverity_Ignore",          "eProblemSeverity_Note",
    "eProblemSeverity_Warn",      "eProblemSeverity_Fault",           "eProblemSeverity_Dynamic",
    "eProblemSeverity_Parameter", "eProblemSeverity_ParameterNotSet",
};

namespace {

// Counts compared with no decimals.
bool comparesAsWholeNumbers(const ustring& name) {
    const ustring* const names[] = {
        &eProblemResTooHighContone,
        &eProblemResTooLowContone,
        &eProblemResTooLowBitmap,
        &eProblemResTooHighBitmap,
        &eProblemSetting_ContoneDownsample,
        &eProblemSetting_BitmapDownsample,
        &eProblemMaxSpotsUsed,
        &eProblemMinSpotsUsed,
        &eProblemMaxPlates,
        &eProblemMinPlates,
        &eProblemMaxNonBlackPlates,
        &eProblemMinNonBlackPlates,
        &eProblemMaxBlackOnVector,
        &eProblemMaxBlackOnText,
        &eProblemTextNonPropScaled,
    };
    for (const ustring* n : names)
        if (*n == name) return true;
    return false;
}

bool comparesWithOneDecimal(const ustring& name) {
    const ustring* const names[] = {
        &eProblemInkWeightTAC,      &eProblemInkWeightShadow,  &eProblemImageNonPropScaled,
        &eProblemPDFVersionTooHigh, &eProblemPDFVersionTooLow,
    };
    for (const ustring* n : names)
        if (*n == name) return true;
    return false;
}

bool isLimits(ESettingType t) {
    return t == eSettingType_LimitsLow || t == eSettingType_LimitsHigh;
}

bool carriesValues(ESettingType t) {
    return isLimits(t) || t == eSettingType_Parameter || t == eSettingType_CombiningParameterLow;
}

}  // namespace

BCheckSetting::BCheckSetting(const ustring& name) : m_name(name) {
    if (!m_name.empty()) BCheckSettingList::SetSettingIndexAndType(this, false);
    if (comparesAsWholeNumbers(m_name))
        m_precision = 0;
    else if (comparesWithOneDecimal(m_name))
        m_precision = 1;
}

BCheckSetting::~BCheckSetting() = default;

void BCheckSetting::SetValue(int i, double v) {
    m_values[i] = v;
    m_valueNotSet[i] = false;
    RecomputeSeverity();
}

void BCheckSetting::ClearValue(int i) {
    m_values[i] = 0;
    m_valueNotSet[i] = true;
    RecomputeSeverity();
}

void BCheckSetting::SetStringParam(int i, const ustring& s) {
    m_stringParams[i] = s;
    m_stringParamNotSet[i] = false;
    RecomputeSeverity();
}

void BCheckSetting::RecomputeSeverity() {
    switch (m_settingType) {
        case eSettingType_LimitsLow:
        case eSettingType_LimitsHigh:
            if (!m_valueNotSet[eValue_Fault])
                m_severity = eProblemSeverity_Fault;
            else if (!m_valueNotSet[eValue_Warn])
                m_severity = eProblemSeverity_Warn;
            else if (!m_valueNotSet[eValue_Note])
                m_severity = eProblemSeverity_Note;
            else
                m_severity = eProblemSeverity_Ignore;
            break;
        case eSettingType_Parameter:
        case eSettingType_CombiningParameterLow:
            m_severity = (!m_valueNotSet[0] || !m_valueNotSet[1] || !m_valueNotSet[2])
                             ? eProblemSeverity_Parameter
                             : eProblemSeverity_ParameterNotSet;
            break;
        case eSettingType_StringParameter:
            m_severity = (!m_stringParamNotSet[0] || !m_stringParamNotSet[1] || !m_stringParamNotSet[2])
                             ? eProblemSeverity_Parameter
                             : eProblemSeverity_ParameterNotSet;
            break;
        default: break;
    }
}

void BCheckSetting::GetComparisonValues(double& measured, double thresholds[kValueCount]) const {
    if (m_useUserUnits) {
        measured = g_units->RoundFloat(measured);
        for (int i = 0; i < kValueCount; ++i) thresholds[i] = g_units->RoundFloat(m_values[i]);
    } else {
        measured = UUnits::RoundFloatGeneral(measured, m_precision);
        for (int i = 0; i < kValueCount; ++i)
            thresholds[i] = UUnits::RoundFloatGeneral(m_values[i], m_precision);
    }
}

EProblemSeverity BCheckSetting::GetSeverity(double measured, double* threshold) const {
    if (!isLimits(m_settingType)) return eProblemSeverity_Ignore;
    double t[kValueCount];
    GetComparisonValues(measured, t);
    const bool high = m_settingType == eSettingType_LimitsHigh;
    // Strict in both directions: a value equal to a threshold does not cross it.
    const auto crosses = [&](int i) {
        return !m_valueNotSet[i] && (high ? measured > t[i] : t[i] > measured);
    };
    static constexpr struct {
        int index;
        EProblemSeverity severity;
    } kGraded[] = {{eValue_Fault, eProblemSeverity_Fault},
                   {eValue_Warn, eProblemSeverity_Warn},
                   {eValue_Note, eProblemSeverity_Note},
                   {eValue_Ignore, eProblemSeverity_Ignore}};
    for (const auto& g : kGraded) {
        if (crosses(g.index)) {
            if (threshold) *threshold = m_values[g.index];
            return g.severity;
        }
    }
    return eProblemSeverity_Ignore;
}

int BCheckSetting::NameToProblemType(const ustring& name) {
    for (int i = 0; kProblemTypeNames[i]; ++i)
        if (name == kProblemTypeNames[i]) return i;
    return -1;
}

EProblemSeverity BCheckSetting::NameToProblemSeverity(const ustring& name) {
    for (int i = 0; i < 8; ++i)
        if (name == kProblemSeverityNames[i]) return static_cast<EProblemSeverity>(i);
    return eProblemSeverity_NotSet;
}

void BCheckSetting::DeserialiseSetting(const umessage& record) {
    m_name.clear();
    record.find<ustring>(eSettingKey_ProblemID, 0, m_name);

    ustring typeName;
    if (record.find<ustring>(eSettingKey_SettingSubType, 0, typeName) ||
        record.find<ustring>(eSettingKey_SettingType, 0, typeName))
        m_settingType = static_cast<ESettingType>(NameToProblemType(typeName));
    else
        m_settingType = BCheckSettingList::LookupSettingType(m_name);
    if (!m_name.empty()) BCheckSettingList::SetSettingIndexAndType(this, true);

    int precision = 0;
    record.find<int>(eSettingKey_Precision, 0, precision);
    m_precision = precision;

    bool userUnits = false;
    record.find<bool>(eSettingKey_ShowValueInUOM, 0, userUnits);
    m_useUserUnits = userUnits;

    ustring severity;
    if (record.find<ustring>(eSettingKey_Severity, 0, severity)) m_severity = NameToProblemSeverity(severity);

    m_parameterValue = 0;
    m_parameterValueNotSet = true;
    double pv = 0;
    if (record.find<double>(eSettingKey_ParameterValue, 0, pv)) {
        m_parameterValue = pv;
        m_parameterValueNotSet = false;
    }

    if (carriesValues(m_settingType)) {
        const struct {
            const ustring& key;
            int index;
        } keys[] = {{eSettingKey_FaultValue, eValue_Fault},
                    {eSettingKey_WarnValue, eValue_Warn},
                    {eSettingKey_NoteValue, eValue_Note},
                    {eSettingKey_IgnoreValue, eValue_Ignore}};
        for (const auto& k : keys) {
            double v = 0;
            if (record.find<double>(k.key, 0, v))
                SetValue(k.index, v);
            else
                ClearValue(k.index);
        }
    } else if (m_settingType == eSettingType_Boolean) {
        if (m_severity >= eProblemSeverity_Dynamic) m_severity = eProblemSeverity_Fault;
    } else if (m_settingType == eSettingType_StringParameter) {
        const ustring* const keys[] = {&eSettingKey_StrParameter0, &eSettingKey_StrParameter1,
                                       &eSettingKey_StrParameter2};
        for (int i = 0; i < 3; ++i) {
            ustring s;
            if (record.find<ustring>(*keys[i], 0, s)) SetStringParam(i, s);
        }
    }
}

namespace {

// The words of a profile check's "sev"; any other text leaves the severity as it was.
bool checkSeverityFromWord(const ustring& word, EProblemSeverity& out) {
    const struct {
        const ustring& word;
        EProblemSeverity severity;
    } words[] = {{kString_ignore, eProblemSeverity_Ignore},
                 {kString_note, eProblemSeverity_Note},
                 {kString_warn, eProblemSeverity_Warn},
                 {kString_fault, eProblemSeverity_Fault},
                 {kString_dynamic, eProblemSeverity_Dynamic},
                 {kString_parameter, eProblemSeverity_Parameter},
                 {kString_parameterNotSet, eProblemSeverity_ParameterNotSet}};
    for (const auto& w : words) {
        if (w.word == word) {
            out = w.severity;
            return true;
        }
    }
    return false;
}

}  // namespace

bool BCheckSetting::DeserialiseSetting2(const ustring& name, const WCheckSetting& check) {
    const auto table = detectableProblemDescriptions();
    if (!table) return false;
    const ProblemDescription description = table->GetProblemDescription(name);
    if (description.empty()) {
        VN_LOG_AT(::vnu::loglevel::info, "Base/BCheckSetting", __LINE__, "DeserialiseSetting2",
                  "new setting not found");
        return false;
    }

    m_name = name;
    m_settingType = description.GetProblemTypeEnum();
    if (!m_name.empty()) BCheckSettingList::SetSettingIndexAndType(this, true);

    const umessage* msg = check.message().get();

    int precision = 2;
    if (msg) msg->find<int>(kString_precision, 0, precision);
    m_precision = precision;

    m_useUserUnits = description.useUserUnits();

    ustring word;
    if (msg && msg->find<ustring>(kString_sev, 0, word)) checkSeverityFromWord(word, m_severity);

    m_parameterValue = 0;
    m_parameterValueNotSet = true;
    if (msg && msg->hasData(kString_PV)) {
        m_parameterValueNotSet = false;
        double pv = 0;
        msg->find<double>(kString_PV, 0, pv);
        m_parameterValue = pv;
    }

    if (carriesValues(m_settingType)) {
        for (int i : {eValue_Fault, eValue_Warn, eValue_Note}) {
            if (check.GetValueNULL(i))
                ClearValue(i);
            else
                SetValue(i, check.GetValue<double>(i));
        }
        if (check.GetValueNULL(eValue_Ignore))
            ClearValue(eValue_Ignore);
        else
            SetIgnoreValue(check.GetValue<double>(eValue_Ignore));
    } else if (m_settingType == eSettingType_Boolean) {
        if (m_severity >= eProblemSeverity_Dynamic) m_severity = eProblemSeverity_Fault;
    } else if (m_settingType == eSettingType_StringParameter && msg) {
        for (int i = 0; i < 3; ++i) {
            ustring s;
            if (msg->find<ustring>(kString_P, i, s)) SetStringParam(i, s);
        }
    }
    return true;
}
