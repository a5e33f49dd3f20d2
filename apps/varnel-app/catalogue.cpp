#include "catalogue.h"

#include <stdexcept>

namespace varnel_app {

extern const char kCatalogueText[];

const nlohmann::ordered_json& problemCatalogue() {
    static const nlohmann::ordered_json catalogue = nlohmann::ordered_json::parse(kCatalogueText);
    return catalogue;
}

nlohmann::ordered_json descriptionsFor(const nlohmann::ordered_json* own) {
    nlohmann::ordered_json descriptions = problemCatalogue();
    if (own == nullptr) return descriptions;
    if (!own->is_object()) throw std::runtime_error("problemDescriptions: expected an object of entries");
    for (const auto& [name, entry] : own->items()) descriptions[name] = entry;
    return descriptions;
}

}  // namespace varnel_app
