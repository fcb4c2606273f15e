#pragma once
#include <cstdint>

// A rectangle in model units; right and bottom are the far edges and a point
// on any edge counts as inside.
struct TRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool operator==(const TRect &) const = default;
};
