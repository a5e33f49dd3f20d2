// The shared vocabulary of the preflight code: the word constants kString_<word> and the problem
// names eProblem<name>, each a process-wide constant ustring holding exactly its text.
//
// They may be used from any static initialiser or destructor of a translation unit that includes
// this header: the strings live in storage that exists from constant initialisation on, and the
// first ConstantUStringsInit object (one per including translation unit, built before anything
// that unit defines after the include) constructs them all; the last one to go destroys them.
#pragma once

#include <vector>

#include "text/ustring.h"

namespace constant_ustrings_detail {

// Storage for one constant: constant-initialised, the string itself placed in it at start-up.
union Slot {
    constexpr Slot() noexcept : unset() {}
    ~Slot() {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    char unset;
    ustring value;
};

enum Index : unsigned {
#define VN_CONSTANT_WORD(suffix, text) kString_##suffix,
#define VN_CONSTANT_PROBLEM(name) eProblem##name,
#include "ticket/ConstantUStrings.def"
    eProblemUndefined,
    kCount
};

extern Slot g_slots[kCount];

class ConstantUStringsInit {
public:
    ConstantUStringsInit();
    ~ConstantUStringsInit();
    ConstantUStringsInit(const ConstantUStringsInit&) = delete;
    ConstantUStringsInit& operator=(const ConstantUStringsInit&) = delete;
};

// One per translation unit, like the standard streams' initialiser.
static const ConstantUStringsInit s_constantUStringsInit;

}  // namespace constant_ustrings_detail

#define VN_CONSTANT_WORD(suffix, text) extern const ustring& kString_##suffix;
#define VN_CONSTANT_PROBLEM(name) extern const ustring& eProblem##name;
#include "ticket/ConstantUStrings.def"

// No problem at all: a check whose name is not described, or a cleared one. Holds "".
extern const ustring& eProblemUndefined;

// The 323 problem names in their order of definition (eProblemUndefined not included).
std::vector<ustring> allProblemNames();
