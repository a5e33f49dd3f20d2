#include "ticket/WTicket.h"

#include <set>
#include <stdexcept>

#include "message/umessage.h"
#include "support/ulogger.h"

namespace {

using MessagePtr = std::shared_ptr<const umessage>;

enum class Kind { String, Bool, Message, Number, Any };
enum class Count { Any, Exactly, OneOrTwo };

struct FieldRule {
    const char* name;
    Kind kind;
    Count count;
    unsigned n;  // for Count::Exactly
    const char* wrongType;
    const char* wrongCount;
};

// The messages are the system's own texts; a few repeat another field's text on purpose.
constexpr FieldRule kDestinationRules[] = {
    {"identifier", Kind::String, Count::Exactly, 1, "identifier has wrong type",
     "there should be only 1 identifier"},
    {"mlkey", Kind::String, Count::Exactly, 1, "medialink key has wrong type",
     "there should be only 1 identifier"},
    {"country", Kind::String, Count::OneOrTwo, 0, "country has wrong type",
     "country field has too many entries"},
    {"publication", Kind::String, Count::OneOrTwo, 0, "publication has wrong type",
     "publication field has too many entries"},
    {"publisher", Kind::String, Count::OneOrTwo, 0, "publisher has wrong type",
     "publisher field has too many entries"},
    {"section", Kind::String, Count::OneOrTwo, 0, "section has wrong type",
     "section field has too many entries"},
    {"style", Kind::String, Count::Exactly, 1, "style has wrong type", "there should be only 1 style field"},
    {"qcs", Kind::Message, Count::Any, 0, "qcs has wrong type", nullptr},
    {"printerMarkSize", Kind::Number, Count::Exactly, 1, "printerMarkSize has wrong type",
     "there should be only 1 printerMarkSize field"},
    {"printerMarkOffset", Kind::Number, Count::Exactly, 1, "printerMarkOffset has wrong type",
     "there should be only 1 printerMarkOffset field"},
    {"width", Kind::Number, Count::Exactly, 1, "width has wrong type", "there should be only 1 width field"},
    {"depth", Kind::Number, Count::Exactly, 1, "depth has wrong type", "there should be only 1 depth field"},
    {"columns", Kind::Number, Count::Exactly, 1, "columns has wrong type",
     "there should be only 1 columns field"},
    {"colourName", Kind::String, Count::Exactly, 1, "colourName has wrong type",
     "there should be only 1 colourName field"},
    {"colourMakeup", Kind::Number, Count::Exactly, 4, "colourMakeup has wrong type",
     "there should be 4 colourMakeup field"},
    {"namedSize", Kind::String, Count::Exactly, 1, "namedSize has wrong type",
     "there should be only 1 namedSize field"},
    {"requires2DPSFiles", Kind::Bool, Count::Exactly, 1, "requires2DPSFiles has wrong type",
     "there should be only 1 requires2DPSFiles field"},
    {"bleed", Kind::Number, Count::Exactly, 4, "bleed has wrong type",
     "there should be exactly 4 bleed fields"},
    {"typeIndent", Kind::Number, Count::Exactly, 4, "typeIndent has wrong type",
     "there should be exactly 4 typeIndent fields"},
    {"exported", Kind::Bool, Count::Exactly, 1, "exported has wrong type",
     "there should be exactly 1 exported fields"},
    {"ro", Kind::Bool, Count::Exactly, 1, "ro has wrong type", "there should be exactly 1 ro fields"},
    {"userFields", Kind::Message, Count::Exactly, 1, "userFields has wrong type",
     "there should be only 1 userFields"},
};

constexpr FieldRule kTicketRules[] = {
    {"identifier", Kind::String, Count::Exactly, 1, "identifier has wrong type",
     "there should be only 1 identifier"},
    {"operator", Kind::String, Count::Exactly, 1, "operator has wrong type",
     "there should be only 1 operator"},
    {"local", Kind::String, Count::Any, 0, "qcs has wrong type", nullptr},
    {"qcs", Kind::Message, Count::Exactly, 1, "qcs has wrong type", "there should be only 1 qcs"},
    {"style", Kind::String, Count::Exactly, 1, "style has wrong type", "there should be only 1 style"},
    {"destinations", Kind::Message, Count::Any, 0, "destinations has wrong type", nullptr},
    {"active", Kind::Bool, Count::Exactly, 1, "active field has wrong type",
     "there should be only 1 active field"},
    {"groupingDisabled", Kind::Bool, Count::Exactly, 1, "groupingDisabled field has wrong type",
     "there should be only 1 groupingDisabled field"},
    {"previous_report", Kind::Any, Count::Any, 0, nullptr, nullptr},
    {"plugin_report", Kind::Any, Count::Any, 0, nullptr, nullptr},
    {"bookingMatched", Kind::Any, Count::Any, 0, nullptr, nullptr},
};

template <std::size_t N>
const FieldRule* findRule(const FieldRule (&rules)[N], const ustring& name) {
    for (const FieldRule& rule : rules)
        if (name == rule.name) return &rule;
    return nullptr;
}

// A field has a type when it holds at least one value of it.
bool hasKind(const umessage& message, const ustring& name, Kind kind) {
    switch (kind) {
        case Kind::String: return message.hasData(name, umessage_type_string, 0);
        case Kind::Bool: return message.hasData(name, umessage_type_bool, 0);
        case Kind::Message: return message.hasData(name, umessage_type_message, 0);
        case Kind::Number:
            return message.hasData(name, umessage_type_double, 0) ||
                   message.hasData(name, umessage_type_int, 0) ||
                   message.hasData(name, umessage_type_longlong, 0);
        case Kind::Any: return true;
    }
    return false;
}

bool countFits(const FieldRule& rule, unsigned count) {
    switch (rule.count) {
        case Count::Any: return true;
        case Count::Exactly: return count == rule.n;
        case Count::OneOrTwo: return count <= 2;
    }
    return false;
}

// Throws the rule's message when the field breaks it.
void checkField(const umessage& message, const ustring& name, const FieldRule& rule) {
    unsigned count = 0;
    message.getInfo(name, count);
    if (!hasKind(message, name, rule.kind)) throw std::runtime_error(rule.wrongType);
    if (!countFits(rule, count)) throw std::runtime_error(rule.wrongCount);
}

void checkUserFields(const umessage& destination, const ustring& name) {
    MessagePtr userFields = destination.get<MessagePtr>(name, 0, nullptr);
    if (userFields == nullptr) return;  // a null message has no entries to check
    for (const ustring& field : userFields->getNames())
        if (!userFields->hasData(field, umessage_type_message, 0))
            throw std::runtime_error("userField has wrong type");
}

void checkDestinations(const umessage& ticket, const ustring& name) {
    std::set<ustring> identifiers;
    MessagePtr destination;
    for (unsigned i = 0; ticket.find(name, i, destination); ++i) {
        if (!identifiers.insert(WDestination(destination).identifier()).second)
            throw std::runtime_error("duplicate destination identifier");
        if (!DestinationIsWellFormed(destination.get())) throw std::runtime_error("invalid destination");
    }
}

}  // namespace

bool DestinationIsWellFormed(const umessage* destination) {
    if (destination == nullptr) return false;
    try {
        for (const ustring& name : destination->getNames()) {
            const FieldRule* rule = findRule(kDestinationRules, name);
            if (rule == nullptr) continue;
            checkField(*destination, name, *rule);
            if (name == kString_userFields) checkUserFields(*destination, name);
        }
    } catch (const std::exception& e) {
        VN_LOG_ERROR("invalid tickets : " << e.what());
        return false;
    }
    return true;
}

bool TicketIsWellFormed(const umessage* ticket) {
    if (ticket == nullptr || ticket->empty()) return false;
    try {
        for (const ustring& name : ticket->getNames()) {
            const FieldRule* rule = findRule(kTicketRules, name);
            if (rule == nullptr) throw std::runtime_error(("unexpected field: " + name).str());
            checkField(*ticket, name, *rule);
            if (name == kString_destinations) checkDestinations(*ticket, name);
        }
    } catch (const std::exception& e) {
        VN_LOG_ERROR("invalid tickets : " << e.what());
        return false;
    }
    return true;
}

template <class MessagePtr>
ustring WDestinationT<MessagePtr>::identifier() const {
    if (destination_ == nullptr) return ustring();
    return destination_->template get<ustring>(kString_identifier, 0, ustring());
}

template <class MessagePtr>
WQCS WDestinationT<MessagePtr>::qcs() const {
    if (destination_ == nullptr) return WQCS();
    return WQCS(destination_->template get<std::shared_ptr<const umessage>>(kString_qcs, 0, nullptr));
}

template <class MessagePtr>
bool WTicketT<MessagePtr>::isWellFormed() const {
    return TicketIsWellFormed(ticket_.get());
}

template <class MessagePtr>
unsigned WTicketT<MessagePtr>::nbOfDestinations() const {
    unsigned count = 0;
    if (ticket_ != nullptr) ticket_->getInfo(kString_destinations, count);
    return count;
}

template <class MessagePtr>
WDestinationT<MessagePtr> WTicketT<MessagePtr>::destination(unsigned index) const {
    if (ticket_ == nullptr) return WDestinationT<MessagePtr>();
    return WDestinationT<MessagePtr>(ticket_->template get<MessagePtr>(kString_destinations, index, nullptr));
}

template <class Ticket>
WQCS WEffectiveProfileT<Ticket>::localQCS() const {
    if (this->ticket_ == nullptr) return WQCS();
    return WQCS(this->ticket_->template get<std::shared_ptr<const umessage>>(kString_qcs, 0, nullptr));
}

template class WDestinationT<std::shared_ptr<const umessage>>;
template class WTicketT<std::shared_ptr<const umessage>>;
template class WEffectiveProfileT<WTicket>;
