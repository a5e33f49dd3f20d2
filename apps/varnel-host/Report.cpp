#include "Report.h"

#include <algorithm>
#include <functional>
#include <sstream>

#include "ActionJson.h"
#include "DocumentJson.h"
#include "pdf/ExportOptions.h"

namespace vhost {

namespace {

std::string rectText(const AIRealRect& r) {
    return "left " + numberText(r.left) + ", top " + numberText(r.top) + ", right " + numberText(r.right) +
           ", bottom " + numberText(r.bottom);
}

std::string entryText(const std::string& key, const DictEntry& e) {
    if (e.type == DictEntry::Type::Boolean) return key + " = " + (e.flag ? "true" : "false");
    return key + ": " + std::to_string(e.bytes.size()) + " bytes";
}

std::string artText(const Art& art) {
    const AIRealRect b = anchorBounds(art.segments);
    std::string text = std::string(artTypeName(art.type));
    if (art.type == kPathArt) {
        text += " x " + numberText(b.left) + ", y " + numberText(b.bottom) + ", width " +
                numberText(b.right - b.left) + ", height " + numberText(b.top - b.bottom) + ", " +
                std::to_string(art.segments.size()) + " segments" + (art.closed ? ", closed" : ", open");
    } else if (const auto& p = art.placement) {
        const AIRealRect& r = p->bounds;
        text += " x " + numberText(r.left) + ", y " + numberText(r.bottom) + ", width " +
                numberText(r.right - r.left) + ", height " + numberText(r.top - r.bottom) + ", page 1 of " +
                p->file + " (" + std::to_string(p->pdf->size()) + " bytes)";
    }
    for (const auto& [bit, word] :
         {std::pair{kArtLocked, "locked"}, {kArtHidden, "hidden"}, {kArtSelected, "selected"}}) {
        if (art.has(bit)) text += std::string(", ") + word;
    }
    if (!art.dictionary.empty()) {
        text += ", marks";
        for (const auto& [key, e] : art.dictionary) text += " " + entryText(key, e);
    }
    return text;
}

std::string paramText(const ActionParam& p) {
    std::string text = "  '" + pdf::KeyText(p.key) + "' ";
    switch (p.type) {
        case ActionParam::Type::Integer: return text + "integer " + std::to_string(p.integer);
        case ActionParam::Type::Real: return text + "real " + numberText(p.real);
        case ActionParam::Type::String: return text + "string \"" + p.text + "\"";
        case ActionParam::Type::Boolean: return text + "boolean " + (p.integer != 0 ? "true" : "false");
        case ActionParam::Type::Enumerated:
            return text + "enumerated \"" + p.text + "\" " + std::to_string(p.integer);
    }
    return text;
}

}  // namespace

std::string describeDocument(const Document& doc) {
    std::ostringstream out;
    out << "document \"" << doc.title() << "\", " << (doc.file.empty() ? "no file" : "file " + doc.file)
        << (doc.modified ? ", modified" : "") << '\n';
    out << "size " << numberText(doc.width) << " x " << numberText(doc.height) << " pt, colour model "
        << colorModelName(doc.colorModel) << '\n';
    for (size_t i = 0; i < doc.artboards.size(); ++i)
        out << "artboard " << i + 1 << ": " << rectText(doc.artboards[i]) << '\n';
    int guides = 0, others = 0;
    for (const Art& art : doc.art) {
        if (art.has(kArtIsGuide)) out << "guide " << ++guides << ": " << artText(art) << '\n';
    }
    for (const Art& art : doc.art) {
        if (!art.has(kArtIsGuide)) out << "art " << ++others << ": " << artText(art) << '\n';
    }
    out << guides << " guide(s), " << others << " other art\n";
    for (const auto& [key, e] : doc.dictionary) out << "dictionary " << entryText(key, e) << '\n';
    const char* slots[3] = {"RGB", "CMYK", "grey"};
    out << "profiles:";
    for (int i = 0; i < 3; ++i)
        out << ' ' << slots[i] << ' '
            << (doc.profiles[i] ? std::to_string(doc.profiles[i]->size()) + " bytes" : "none")
            << (i < 2 ? "," : "\n");
    return out.str();
}

nlohmann::json documentReport(const Document& doc) {
    nlohmann::json report = documentToJson(doc);
    report["title"] = doc.title();
    report["file"] = doc.file.empty() ? nlohmann::json(nullptr) : nlohmann::json(doc.file);
    report["modified"] = doc.modified;
    return report;
}

std::string describeDocuments(DocumentStore& docs) {
    if (docs.all().empty()) return "no document open\n";
    const Document* current = docs.current();
    std::string text;
    for (const auto& doc : docs.all()) {
        text += std::string(doc.get() == current ? "* " : "  ") + "\"" + doc->title() + "\" " +
                numberText(doc->width) + " x " + numberText(doc->height) + " pt, " +
                (doc->file.empty() ? "no file" : doc->file) + (doc->modified ? ", modified" : "") + "\n";
    }
    return text;
}

std::string describeMenus(const HostState& state) {
    std::string text;
    // Host groups first in the order items arrived; a submenu group right under its parent item.
    const auto groupOf = [&](const std::string& name) -> const MenuGroup* {
        for (const MenuGroup& g : state.groups) {
            if (g.name == name) return &g;
        }
        return nullptr;
    };
    const std::function<void(const std::string&, int)> list = [&](const std::string& group, int depth) {
        for (const MenuItem& item : state.items) {
            if (item.group != group) continue;
            text += std::string(size_t(depth) * 2, ' ');
            if (item.isSeparator()) {
                text += "----\n";
                continue;
            }
            text += item.title + ": " + (item.enabled ? "enabled" : "disabled");
            if (item.cmdChar != 0)
                text += std::string(", key ") + item.cmdChar + " (modifiers " +
                        std::to_string(item.modifiers) + ")";
            text += "\n";
            for (const MenuGroup& sub : state.groups) {
                if (sub.parentItem == item.id) list(sub.name, depth + 1);
            }
        }
    };
    std::vector<std::string> shown;
    for (const MenuItem& item : state.items) {
        if (groupOf(item.group) != nullptr ||
            std::find(shown.begin(), shown.end(), item.group) != shown.end())
            continue;
        shown.push_back(item.group);
        text += item.group + "\n";
        list(item.group, 1);
    }
    return text.empty() ? "no menu items\n" : text;
}

std::string describeActions(const std::vector<ActionRecord>& actions) {
    if (actions.empty()) return "no actions played\n";
    std::string text;
    for (size_t i = 0; i < actions.size(); ++i) {
        const ActionRecord& a = actions[i];
        text += std::to_string(i + 1) + ". " + a.name + " (dialog " + std::to_string(a.dialog) + ") -> " +
                resultText(a.result) + ", " +
                (a.params ? std::to_string(a.params->size()) + " parameter(s)"
                          : std::string("no parameter block")) +
                "\n";
        if (a.params) {
            for (const ActionParam& p : *a.params) text += paramText(p) + "\n";
        }
    }
    return text;
}

nlohmann::json actionsReport(const std::vector<ActionRecord>& actions) {
    nlohmann::json list = nlohmann::json::array();
    for (const ActionRecord& a : actions) {
        list.push_back({{"name", a.name},
                        {"dialog", a.dialog},
                        {"result", a.result},
                        {"parameters", a.params ? paramsToJson(*a.params) : nlohmann::json(nullptr)}});
    }
    return list;
}

}  // namespace vhost
