#include "console/screen_fit.h"

#include <algorithm>
#include <cmath>

namespace screen_fit {

namespace {

// Below this a window shows nothing an operator can use; the factor goes no lower.
constexpr double MinimumScale = 0.25;

} // namespace

double fitScale(const Rect& available, Size design, Size frame) {
    if (design.width <= 0 || design.height <= 0) {
        return 1.0;
    }
    const double across = double(available.width - frame.width) / design.width;
    const double down = double(available.height - frame.height) / design.height;
    return std::clamp(std::min(across, down), MinimumScale, 1.0);
}

Size scaledSize(Size design, double scale) {
    // A hair above the exact product, so that a factor computed from a whole number of pixels
    // gives that number back and not one less.
    const auto side = [scale](int length) {
        return std::max(1, int(std::floor(length * scale + 1e-9)));
    };
    return Size{side(design.width), side(design.height)};
}

Point fitPlacement(const Rect& available, Size framed) {
    return Point{available.left + std::max(0, (available.width - framed.width) / 2),
                 available.top + std::max(0, (available.height - framed.height) / 2)};
}

} // namespace screen_fit
