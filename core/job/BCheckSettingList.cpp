#include "job/BCheckSettingList.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "job/BCheckSettingDecode.h"
#include "keystream/UKeyStream.h"
#include "message/umessage.h"
#include "message/umessage_image.h"
#include "support/UFileSpecCore.h"
#include "ticket/ConstantUStrings.h"
#include "ticket/WQCS.h"
#include "ticket/WTicket.h"

BCheckSettingList::~BCheckSettingList() {
    RemoveAll();
}

void BCheckSettingList::RemoveAll() {
    for (BCheckSetting* s : m_settings) delete s;
    m_settings.clear();
}

namespace {

bool nameLess(const BCheckSetting* s, const ustring& name) {
    return s->GetName() < name;
}

// A setting and the texts it copied from the ticket, with its place in the list and in the list
// of those read, which may double.
std::uint64_t SettingCost(const BCheckSetting& setting) {
    std::uint64_t cost = vnu::HeapBlockCost(sizeof(BCheckSetting)) + 4 * sizeof(BCheckSetting*) +
                         vnu::TextHeapCost(setting.GetName().size());
    for (int i = 0; i < BCheckSetting::kValueCount; ++i)
        cost += vnu::TextHeapCost(setting.GetStringParam(i).size());
    return cost;
}

}  // namespace

void BCheckSettingList::Insert(BCheckSetting* setting) {
    const auto at = std::lower_bound(m_settings.begin(), m_settings.end(), setting->GetName(), nameLess);
    try {
        m_settings.insert(at, setting);
    } catch (...) {
        delete setting;
        throw;
    }
}

bool BCheckSettingList::Find(const ustring& name, BCheckSetting*& out) const {
    const auto at = std::lower_bound(m_settings.begin(), m_settings.end(), name, nameLess);
    if (at == m_settings.end() || (*at)->GetName() != name) return false;
    out = *at;
    return true;
}

int BCheckSettingList::CompareItems(const void* a, const void* b) const {
    const BCheckSetting* sa = *static_cast<const BCheckSetting* const*>(a);
    const BCheckSetting* sb = *static_cast<const BCheckSetting* const*>(b);
    return sa->GetName().compare(sb->GetName());
}

BCheckSetting* BCheckSettingList::FindCheckSetting(const ustring& name) const {
    BCheckSetting* found = nullptr;
    if (Find(name, found)) return found;
    for (const auto& s : m_defaultSettings)
        if (s->GetName() == name) return s.get();

    if (name.empty()) return nullptr;
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    if (!table) return nullptr;
    const std::shared_ptr<const umessage> defaults = table->GetProblemDescription(name).GetDefaults();
    if (!defaults) return nullptr;

    auto setting = std::make_shared<BCheckSetting>(eProblemUndefined);
    if (!setting->DeserialiseSetting2(name, WCheckSetting(defaults))) return nullptr;
    if (IsProfileSetting(name)) convertProfileNamesToPaths(*setting);
    m_defaultSettings.push_back(setting);
    return setting.get();
}

double BCheckSettingList::GetDefaultPDFVersion() const {
    double v = 0;
    if (const BCheckSetting* version = FindCheckSetting(eProblemSetting_PDFVersion))
        if (!version->GetValueNULL(BCheckSetting::eValue_Note))
            v = version->GetValue(BCheckSetting::eValue_Note);

    const auto graded = [](EProblemSeverity s) {
        return s == eProblemSeverity_Warn || s == eProblemSeverity_Fault;
    };
    if (const BCheckSetting* high = FindCheckSetting(eProblemPDFVersionTooHigh)) {
        double t = 0;
        if (graded(high->GetSeverity(999.9, &t))) v = (v == 0) ? t : std::min(t, v);
    }
    if (const BCheckSetting* low = FindCheckSetting(eProblemPDFVersionTooLow)) {
        double t = 0;
        if (graded(low->GetSeverity(0.0, &t))) v = std::max(t, v);
    }
    if (v == 0) return 0;
    return std::clamp(v, 1.3, 1.7);
}

void BCheckSettingList::DeserialiseSettings(const std::shared_ptr<const umessage>& ticket) {
    RemoveAll();
    if (!ticket) return;
    umessage_image image;
    try {
        image = umessage_image::of(*ticket);
    } catch (const std::exception&) {
        return;  // not flattenable (nested too deeply, a body too large): nothing to decode
    }
    Deserialise(image, nullptr);
}

void BCheckSettingList::DeserialiseSettings(const umessage_image& ticket) {
    Deserialise(ticket, nullptr);
}

void BCheckSettingList::DeserialiseSettings(const umessage_image& ticket, UKeyInStream& input) {
    Deserialise(ticket, &input);
}

void BCheckSettingList::TakeAll(std::vector<std::unique_ptr<BCheckSetting>>& read) {
    // As inserting each in turn leaves them, the last read of a name first; sorted at once, since
    // inserting in turn costs the square of a long list.
    std::reverse(read.begin(), read.end());
    std::stable_sort(read.begin(), read.end(),
                     [](const auto& a, const auto& b) { return a->GetName() < b->GetName(); });
    m_settings.reserve(read.size());
    for (auto& setting : read) m_settings.push_back(setting.release());
}

void BCheckSettingList::Deserialise(const umessage_image& ticket, UKeyInStream* input) {
    RemoveAll();
    std::vector<std::unique_ptr<BCheckSetting>> read;
    const auto keep = [&](std::unique_ptr<BCheckSetting> setting) {
        if (input != nullptr) input->Charge(SettingCost(*setting), "check settings");
        read.push_back(std::move(setting));
    };

    const umessage_view root = ticket.root();
    unsigned at = 0;
    if (root.find(std::string_view(BCheckSetting::eSettingKey_SettingsRecord), at) &&
        root.entry(at).type() == umessage_type_message) {
        const umessage_entry records = root.entry(at);
        for (unsigned i = 0; i < records.count(); ++i) {
            const umessage record = records.messageAt(i).toMessage();
            ustring problem;
            if (!record.find(BCheckSetting::eSettingKey_ProblemID, 0, problem) || problem.empty()) continue;
            auto setting = std::make_unique<BCheckSetting>(eProblemUndefined);
            setting->DeserialiseSetting(record);
            keep(std::move(setting));
        }
        TakeAll(read);
        return;
    }

    const check_setting_decode::ProfileChecks checks(ticket);
    const std::vector<ustring> names = checks.checkNames();
    std::vector<const ustring*> asked;
    asked.reserve(names.size());
    for (const ustring& name : names) asked.push_back(&name);
    const std::vector<WCheckSetting> found = checks.findAll(asked);
    read.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const ustring& name = names[i];
        const WCheckSetting& check = found[i];
        if (check.empty()) continue;
        auto setting = std::make_unique<BCheckSetting>(eProblemUndefined);
        if (!setting->DeserialiseSetting2(name, check)) continue;
        if (IsProfileSetting(name)) convertProfileNamesToPaths(*setting);
        keep(std::move(setting));
    }
    TakeAll(read);
}

ESettingType BCheckSettingList::LookupSettingType(const ustring& name) {
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    if (!table) return eSettingType_Undefined;
    return table->GetProblemDescription(name).GetProblemTypeEnum();
}

void BCheckSettingList::SetSettingIndexAndType(BCheckSetting* setting, bool keepUnknown) {
    const ESettingType type = LookupSettingType(setting->GetName());
    if (type != eSettingType_Undefined) {
        setting->SetSettingType(type);
    } else if (!keepUnknown) {
        setting->SetSettingType(eSettingType_Undefined);
        setting->SetName(eProblemUndefined);
    }
}

bool BCheckSettingList::IsProfileSetting(const ustring& name) {
    return name == eProblemSetting_WorkingSpaceProfiles || name == eProblemSetting_LocalOutputProfiles ||
           name == eProblemSetting_ProcessProfile || name == eProblemSetting_GrayscaleProfile;
}

bool BCheckSettingList::convertProfileNameToPath(ustring& name) {
    UFileSpecCore file(UFileSpecCore::eSpecialFolder_ColorProfiles);
    if (!file.isValid() || !file.add(name) || !file.isFile()) return false;
    name = file.path();
    return true;
}

void BCheckSettingList::convertProfileNamesToPaths(BCheckSetting& setting) {
    for (int i = 0; i < BCheckSetting::kValueCount; ++i) {
        if (setting.GetStringParamNULL(i)) continue;
        ustring name = setting.GetStringParam(i);
        if (convertProfileNameToPath(name)) setting.SetStringParam(i, name);
    }
}
