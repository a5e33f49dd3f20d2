#include "job/BInkValues.h"

#include <algorithm>

BInkValues::BInkValues(std::initializer_list<double> components)
    : fCount(static_cast<int>(components.size())), fValues(new double[components.size()]) {
    std::copy(components.begin(), components.end(), fValues.get());
}

BInkValues::BInkValues(const BInkValues& other) : fCount(other.fCount), fValues(new double[other.fCount]) {
    std::copy(other.fValues.get(), other.fValues.get() + fCount, fValues.get());
}

BInkValues& BInkValues::operator=(const BInkValues& other) {
    if (this != &other) {
        std::unique_ptr<double[]> values(new double[other.fCount]);
        std::copy(other.fValues.get(), other.fValues.get() + other.fCount, values.get());
        fValues = std::move(values);
        fCount = other.fCount;
    }
    return *this;
}

const BInkValues BInkValues::kDeviceCMYKBlack{0, 0, 0, 1};
const BInkValues BInkValues::kDeviceCMYKWhite{0, 0, 0, 0};
const BInkValues BInkValues::kDeviceGrayBlack{0};
const BInkValues BInkValues::kDeviceGrayWhite{1};
const BInkValues BInkValues::kSeparationWhite{0};
const BInkValues BInkValues::kRGBWhite{1, 1, 1};
const BInkValues BInkValues::kRGBBlack{0, 0, 0};
