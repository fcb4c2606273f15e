#pragma once
#include <cstdint>

// Layout of cards on a sheet, in millimetres: the one type the four values
// travel in between the settings file, the print windows, the imposition
// and the tool.
struct PrintSpace
{
    std::int32_t a = 10; // left margin
    std::int32_t b = 7;  // top margin
    std::int32_t c = 3;  // horizontal gap between cards
    std::int32_t d = 3;  // vertical gap between cards

    bool operator==(const PrintSpace &) const = default;
};
