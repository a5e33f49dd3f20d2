// Lengths in points turned into rounded values in the user's units.
#pragma once

#include <cstdint>

class UUnits {
public:
    enum UnitNamesEnum : std::int32_t {
        eUnit_Inch = 0,
        eUnit_Centimeter = 1,
        eUnit_Millimeter = 2,
        eUnit_Pica = 3,
        eUnit_Point = 4,
        eUnit_Q = 5,  // a fourteenth of an inch
        eUnit_Cicero = 6,
    };
    static constexpr int kUnitCount = 7;

    // Throws std::invalid_argument for an index outside the table.
    explicit UUnits(UnitNamesEnum unit);
    virtual ~UUnits();

    UnitNamesEnum unit() const { return unit_; }
    double pointsPerUnit() const;
    int decimals() const;

    // Points to this unit, rounded to the unit's decimal places.
    double RoundFloat(double points) const;
    // v * 10^p + 0.5, truncated toward zero into the 32-bit range (clamped there; NaN gives 0),
    // divided by 10^p. A p so negative that 10^p underflows gives 0.
    static double RoundFloatGeneral(double v, int p);

private:
    UnitNamesEnum unit_;
};

// The units of every user-unit comparison. Starts as millimetres so a comparison never meets a
// null object; start-up replaces it (deleting the previous one).
extern UUnits* g_units;
