#pragma once
// The figures the main window's layout works in: whole pixels held at the
// ends of a 32-bit range, and sizes that do not go below 0.

#include "app/control.h"
#include "text/stringfunctions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zandorel::app {

// whole(v) as a 32-bit figure, held at the ends of the range.
inline int32_t WholeLong(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int32_t>(std::clamp(Whole(value), -2147483648.0, 2147483647.0));
}

// A size that does not go below 0.
inline double NonNegative(double value) {
    return MaxLong(WholeLong(value), 0);
}

} // namespace zandorel::app
