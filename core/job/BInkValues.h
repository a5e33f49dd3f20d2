// A colour value as a count of components, and the fixed device colours.
#pragma once

#include <initializer_list>
#include <memory>

class BInkValues {
public:
    BInkValues(std::initializer_list<double> components);
    BInkValues(const BInkValues& other);
    BInkValues& operator=(const BInkValues& other);
    ~BInkValues() = default;

    int GetCount() const { return fCount; }
    double operator[](int i) const { return fValues[i]; }
    const double* GetValues() const { return fValues.get(); }

    static const BInkValues kDeviceCMYKBlack;
    static const BInkValues kDeviceCMYKWhite;
    static const BInkValues kDeviceGrayBlack;
    static const BInkValues kDeviceGrayWhite;
    static const BInkValues kSeparationWhite;
    static const BInkValues kRGBWhite;
    static const BInkValues kRGBBlack;

private:
    int fCount;
    std::unique_ptr<double[]> fValues;
};
