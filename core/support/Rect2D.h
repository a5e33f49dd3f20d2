// A rectangle as the job file stores page boxes: origin and size in points.
#pragma once

#include <limits>

namespace vnu {

struct Rect2D {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    friend bool operator==(const Rect2D&, const Rect2D&) = default;
};

// "No box": an origin no real box can have, so it is never mistaken for one at the origin.
inline constexpr Rect2D kRect2DNull{std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::infinity(), 0.0, 0.0};

}  // namespace vnu
