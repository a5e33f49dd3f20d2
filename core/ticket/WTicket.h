// Read-only views over a ticket, a ticket seen as the effective preflight profile, and one of its
// destinations; and the ticket's well-formedness rules.
#pragma once

#include <memory>

#include "text/ustring.h"
#include "ticket/WQCS.h"

class umessage;

// True when the ticket's fields have their expected types and counts and every destination is
// well formed with a distinct identifier. False for a null or empty ticket (not logged); any other
// failure logs "invalid tickets : " and the first failing rule's message. Never throws.
bool TicketIsWellFormed(const umessage* ticket);
// The same for one destination; an empty destination is well formed, a null one is not.
bool DestinationIsWellFormed(const umessage* destination);

template <class MessagePtr>
class WDestinationT {
public:
    WDestinationT() = default;
    explicit WDestinationT(MessagePtr destination) : destination_(std::move(destination)) {}

    bool empty() const { return destination_ == nullptr; }
    const MessagePtr& message() const { return destination_; }

    // The first "identifier" string, or "".
    ustring identifier() const;
    // The first "qcs" message, or an empty view.
    WQCS qcs() const;

private:
    MessagePtr destination_;
};

template <class MessagePtr>
class WTicketT {
public:
    WTicketT() = default;
    explicit WTicketT(MessagePtr ticket) : ticket_(std::move(ticket)) {}
    virtual ~WTicketT() = default;
    WTicketT(const WTicketT&) = default;
    WTicketT& operator=(const WTicketT&) = default;

    bool empty() const { return ticket_ == nullptr; }
    const MessagePtr& message() const { return ticket_; }

    virtual bool isWellFormed() const;

    // The number of values under "destinations" (of whatever type).
    unsigned nbOfDestinations() const;
    // Value `index` of "destinations", or an empty view.
    WDestinationT<MessagePtr> destination(unsigned index) const;

protected:
    MessagePtr ticket_;
};

// The ticket as the profile that check settings are decoded from.
template <class Ticket>
class WEffectiveProfileT : public Ticket {
public:
    using Ticket::Ticket;

    // The ticket's own qcs (its first "qcs" message), or an empty view.
    WQCS localQCS() const;
};

using WTicket = WTicketT<std::shared_ptr<const umessage>>;
using WDestination = WDestinationT<std::shared_ptr<const umessage>>;
using WEffectiveProfile = WEffectiveProfileT<WTicket>;

extern template class WDestinationT<std::shared_ptr<const umessage>>;
extern template class WTicketT<std::shared_ptr<const umessage>>;
extern template class WEffectiveProfileT<WTicket>;
