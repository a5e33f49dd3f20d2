#include "support/UUnits.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "text/ustring_utils.h"

namespace {

struct UnitInfo {
    double pointsPerUnit;
    int decimals;
};

constexpr UnitInfo kUnits[UUnits::kUnitCount] = {
    {72.0, 3},                // inch
    {28.346456692913385, 3},  // centimetre
    {2.834645669291339, 2},   // millimetre
    {12.0, 3},                // pica
    {1.0, 2},                 // point
    {72.0 / 14.0, 2},         // fourteenth of an inch
    {12.789921259842519, 3},  // cicero
};

}  // namespace

UUnits* g_units = new UUnits(UUnits::eUnit_Millimeter);

UUnits::UUnits(UnitNamesEnum unit) : unit_(unit) {
    if (unit < 0 || unit >= kUnitCount) throw std::invalid_argument("UUnits: unknown unit");
}

UUnits::~UUnits() = default;

double UUnits::pointsPerUnit() const {
    return kUnits[unit_].pointsPerUnit;
}

int UUnits::decimals() const {
    return kUnits[unit_].decimals;
}

double UUnits::RoundFloat(double points) const {
    // The value the user reads is the decimal text with the unit's places, so round through it.
    ustring text;
    Float2StringNoTailing(text, points / pointsPerUnit(), decimals());
    return std::strtod(text.c_str(), nullptr);
}

double UUnits::RoundFloatGeneral(double v, int p) {
    const double scale = std::pow(10.0, p);
    // So few places that the scale underflows: nothing survives the rounding.
    if (scale == 0.0) return 0.0;
    const double shifted = v * scale + 0.5;
    std::int32_t truncated;
    if (std::isnan(shifted)) {
        truncated = 0;
    } else if (shifted >= 2147483647.0) {
        truncated = std::numeric_limits<std::int32_t>::max();
    } else if (shifted <= -2147483648.0) {
        truncated = std::numeric_limits<std::int32_t>::min();
    } else {
        truncated = static_cast<std::int32_t>(shifted);
    }
    return truncated / scale;
}
