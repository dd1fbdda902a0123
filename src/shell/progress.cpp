// The percentage rule shared by every progress display.
#include "shell/progress.h"

#include <cmath>

namespace tessaly {

int ProgressPercent(double fraction) {
    if (!(fraction > 0.0))   // also catches NaN
        return 0;
    if (fraction > 1.0)
        return 100;
    const double x = fraction * 100.0;
    const double low = std::floor(x);
    const double rest = x - low;
    int percent = static_cast<int>(low);
    if (rest > 0.5 || (rest == 0.5 && percent % 2 != 0))
        ++percent;
    return percent;
}

} // namespace tessaly
