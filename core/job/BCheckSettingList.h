// The job's check settings: one flat list sorted by problem name, decoded from a ticket, with the
// problems' default checks as fallback for names the list lacks.
#pragma once

#include <memory>
#include <vector>

#include "job/BCheckSetting.h"
#include "text/ustring.h"
#include "ticket/DetectableProblemDescriptions.h"

class umessage;
class umessage_image;
class UKeyInStream;

class BCheckSettingList {
public:
    BCheckSettingList() = default;
    BCheckSettingList(const BCheckSettingList&) = delete;
    BCheckSettingList& operator=(const BCheckSettingList&) = delete;
    virtual ~BCheckSettingList();

    // Deletes every owned setting; the settings made from default checks stay.
    void RemoveAll();
    // Empty as constructed: the settings made from default checks go too.
    void Clear() {
        RemoveAll();
        m_defaultSettings.clear();
    }
    // Takes ownership; goes before any existing settings of the same name.
    void Insert(BCheckSetting* setting);
    // Sets `out` to the (first) setting of exactly that name; leaves it untouched when there is none.
    bool Find(const ustring& name, BCheckSetting*& out) const;
    // The setting for a name, else one made from the problem's default check (kept for the life of
    // the list); null when there is neither.
    BCheckSetting* FindCheckSetting(const ustring& name) const;
    // Byte-wise order of the names of two settings, each given as a pointer to a setting pointer.
    virtual int CompareItems(const void* a, const void* b) const;

    // The PDF version to export with: 0 for none, else within 1.3 to 1.7.
    double GetDefaultPDFVersion() const;

    // Rebuilds the list from a ticket: its stored "settings" records, or else its effective
    // profile. Never throws on content.
    void DeserialiseSettings(const std::shared_ptr<const umessage>& ticket);
    // The same for a ticket read into an image.
    void DeserialiseSettings(const umessage_image& ticket);
    // The same for a ticket read from `input` into an image, whose budget the settings are
    // charged to: its error when they are too many for it.
    void DeserialiseSettings(const umessage_image& ticket, UKeyInStream& input);

    const std::vector<BCheckSetting*>& settings() const { return m_settings; }
    size_t size() const { return m_settings.size(); }
    // The settings made from default checks, in the order they were asked for.
    const std::vector<std::shared_ptr<BCheckSetting>>& defaultSettings() const { return m_defaultSettings; }

    // Gives the setting the type its problem is described with. An undescribed name (or one
    // described as Undefined) keeps the setting as it is when keepUnknown, else clears its name
    // and makes it Undefined.
    static void SetSettingIndexAndType(BCheckSetting* setting, bool keepUnknown);
    // The described type of a problem; Undefined without a description table or description.
    static ESettingType LookupSettingType(const ustring& name);
    // True for the four settings whose string parameters name colour profiles.
    static bool IsProfileSetting(const ustring& name);
    // Replaces a colour profile name by the full path of that file in the user's colour profiles
    // folder when such a file exists; false (name unchanged) otherwise.
    static bool convertProfileNameToPath(ustring& name);
    // convertProfileNameToPath on every set string parameter of the setting.
    static void convertProfileNamesToPaths(BCheckSetting& setting);

private:
    void Deserialise(const umessage_image& ticket, UKeyInStream* input);
    // Into the empty list, the settings read in reading order.
    void TakeAll(std::vector<std::unique_ptr<BCheckSetting>>& read);

    std::vector<BCheckSetting*> m_settings;
    // Changed by const lookups.
    mutable std::vector<std::shared_ptr<BCheckSetting>> m_defaultSettings;
};
