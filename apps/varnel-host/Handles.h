// Handles given to plug-ins are ids, never addresses: a stale or foreign handle finds nothing
// and gets an error instead of touching freed memory.
#pragma once

#include <cstdint>

namespace vhost {

// Unique in the process, never 0.
uint64_t newId();

template <class H>
H toHandle(uint64_t id) {
    return reinterpret_cast<H>(static_cast<uintptr_t>(id));
}
template <class H>
uint64_t idOf(H handle) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace vhost
