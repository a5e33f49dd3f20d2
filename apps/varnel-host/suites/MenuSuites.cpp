// The menu suite: items in the host's groups and in submenu groups plug-ins make.
#include <algorithm>

#include "SuiteSupport.h"
#include "Utf.h"

namespace vhost {
namespace {

// The host's own menu groups a plug-in can add to.
constexpr const char* kHostGroups[] = {"Open Document", "Place Document", "Save Document",
                                       "Document Utilities", "Help"};

bool groupExists(const std::string& name) {
    const auto& groups = host().groups;
    return std::find(std::begin(kHostGroups), std::end(kHostGroups), name) != std::end(kHostGroups) ||
           std::any_of(groups.begin(), groups.end(), [&](const MenuGroup& g) { return g.name == name; });
}

MenuItem& item(AIMenuItemHandle handle) {
    for (MenuItem& m : host().items) {
        if (m.id == idOf(handle)) return m;
    }
    throw HostError(kNoSuchMenuItemErr, "no such menu item");
}

AIErr AddMenuItemZString(SPPluginRef self, const char* itemName, const char* groupName,
                         AIUnicodeStringRef text, AIMenuItemOption options, AIMenuItemHandle* handle) {
    SuiteCall call(kAIMenuSuite, "AddMenuItemZString", self, itemName, groupName, text, options);
    return call.run([&] {
        if (self != host().pluginRef || handle == nullptr || itemName == nullptr || groupName == nullptr)
            throw HostError(kBadParameterErr,
                            "a menu item needs the plug-in, a name, a group and a place for it");
        if (!groupExists(groupName))
            throw HostError(kBadParameterErr, std::string("no menu group \"") + groupName + "\"");
        std::string title;
        if (text != nullptr) {
            const auto it = host().strings.find(idOf(text));
            if (it == host().strings.end())
                throw HostError(kBadParameterErr, "not a Unicode string of this host");
            title = toUtf8(it->second);
        }
        const uint64_t id = newId();
        host().items.push_back({id, itemName, groupName, title, options});
        *handle = toHandle<AIMenuItemHandle>(id);
        call.output(title);
        call.output(*handle);
    });
}

AIErr AddMenuGroupAsSubMenu(const char* name, AIMenuGroupOption options, AIMenuItemHandle parent,
                            AIMenuGroup* group) {
    SuiteCall call(kAIMenuSuite, "AddMenuGroupAsSubMenu", name, options, parent);
    return call.run([&] {
        if (name == nullptr || group == nullptr) throw HostError(kBadParameterErr, "a group needs a name");
        if (groupExists(name))
            throw HostError(kBadParameterErr, std::string("menu group \"") + name + "\" exists");
        const MenuItem& under = item(parent);
        const uint64_t id = newId();
        host().groups.push_back({id, name, under.id});
        *group = toHandle<AIMenuGroup>(id);
        call.output(*group);
    });
}

AIErr EnableItem(AIMenuItemHandle handle) {
    SuiteCall call(kAIMenuSuite, "EnableItem", handle);
    return call.run([&] { item(handle).enabled = true; });
}

AIErr DisableItem(AIMenuItemHandle handle) {
    SuiteCall call(kAIMenuSuite, "DisableItem", handle);
    return call.run([&] { item(handle).enabled = false; });
}

AIErr SetItemCmd(AIMenuItemHandle handle, char cmdChar, ai::int16 modifiers) {
    SuiteCall call(kAIMenuSuite, "SetItemCmd", handle, cmdChar, modifiers);
    return call.run([&] {
        MenuItem& m = item(handle);
        m.cmdChar = cmdChar;
        m.modifiers = modifiers;
    });
}

const AIMenuSuite kMenu = {AddMenuItemZString, AddMenuGroupAsSubMenu, EnableItem, DisableItem, SetItemCmd};

}  // namespace

void addMenuSuites(SuiteTable& table) {
    table.add(kAIMenuSuite, kAIMenuSuiteVersion, &kMenu);
}

}  // namespace vhost
