#include <istream>
#include <ostream>
#include <stdexcept>

#include "umessage.h"

bool umessage::unflatten(std::istream&) {
    clear();
    return false;
}

void umessage::unflatten_priv(std::istream&, int, const std::vector<ustring>&) {
    throw std::runtime_error("umessage::unflatten() : not available");
}

void umessage::flatten(std::ostream&, int) const { throw std::invalid_argument("flatten"); }
