#include "card/converter.h"

#include <limits>

namespace {

// Truncation toward zero, as the toolkit's Trunc; values beyond the int range
// (only a damaged file holds such coordinates) stop at its ends.
int truncated(double v)
{
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    if (!(v > lo)) // also NaN
        return std::numeric_limits<int>::min();
    if (v >= hi)
        return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

} // namespace

void Converter::SetWidth(int cardWidthPixels)
{
    k = 910.0 / cardWidthPixels;
}

int Converter::ToDevice(int v) const
{
    return truncated(v / k + 0.5);
}

int Converter::ToModel(int p) const
{
    return truncated(p * k + 0.5);
}

std::int32_t Converter::Saturate(long long v)
{
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

int Converter::Truncate(double v)
{
    return truncated(v);
}
