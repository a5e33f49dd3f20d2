#include "ticket/ConstantUStrings.h"

#include <new>

namespace constant_ustrings_detail {

constinit Slot g_slots[kCount];

namespace {

// Zero-initialised before any dynamic initialisation, so the first initialiser to run sees 0.
constinit unsigned s_users = 0;

constexpr const char* kTexts[kCount] = {
#define VN_CONSTANT_WORD(suffix, text) text,
#define VN_CONSTANT_PROBLEM(name) #name,
#include "ticket/ConstantUStrings.def"
    "",
};

}  // namespace

ConstantUStringsInit::ConstantUStringsInit() {
    if (s_users++ == 0) {
        for (unsigned i = 0; i < kCount; ++i) new (&g_slots[i].value) ustring(kTexts[i]);
    }
}

ConstantUStringsInit::~ConstantUStringsInit() {
    if (--s_users == 0) {
        for (unsigned i = 0; i < kCount; ++i) g_slots[i].value.~ustring();
    }
}

}  // namespace constant_ustrings_detail

// Bound at constant initialisation: the references are valid before any constructor runs.
#define VN_CONSTANT_WORD(suffix, text)          \
    constinit const ustring& kString_##suffix = \
        constant_ustrings_detail::g_slots[constant_ustrings_detail::kString_##suffix].value;
#define VN_CONSTANT_PROBLEM(name)             \
    constinit const ustring& eProblem##name = \
        constant_ustrings_detail::g_slots[constant_ustrings_detail::eProblem##name].value;
#include "ticket/ConstantUStrings.def"

constinit const ustring& eProblemUndefined =
    constant_ustrings_detail::g_slots[constant_ustrings_detail::eProblemUndefined].value;

std::vector<ustring> allProblemNames() {
    std::vector<ustring> names;
    names.reserve(constant_ustrings_detail::eProblemUndefined -
                  constant_ustrings_detail::eProblemImageRotated);
    for (unsigned i = constant_ustrings_detail::eProblemImageRotated;
         i < constant_ustrings_detail::eProblemUndefined; ++i)
        names.push_back(constant_ustrings_detail::g_slots[i].value);
    return names;
}
