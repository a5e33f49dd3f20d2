// What every suite implementation starts from.
#pragma once

#include "HostError.h"
#include "HostState.h"
#include "sdk/AISuites.h"

namespace vhost {

inline HostState& host() {
    return HostState::current();
}

// Output arguments must point somewhere.
template <class T>
void require(T* out) {
    if (out == nullptr) throw HostError(kBadParameterErr, "no place for the result");
}

}  // namespace vhost
