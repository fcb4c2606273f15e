#pragma once
#include <QString>
#include <cstdint>

// The other side of the sheet: a second card printed on a second page, each
// back behind its front once the sheet is turned over.
struct BackSide
{
    QString file{};         // the back's card file; empty: no back side
    bool shortEdge = false; // 短辺とじ: turned over on its short edge, not its long one

    bool operator==(const BackSide &) const = default;
};

// Layout of cards on a sheet: the one type the values travel in between the
// settings file, the print windows, the imposition and the tool. a..d are
// whole millimetres; ox and oy shift the whole sheet (positive: right, down)
// in tenths of a millimetre, to calibrate a printer that feeds off centre.
struct PrintSpace
{
    std::int32_t a = 10;    // left margin
    std::int32_t b = 7;     // top margin
    std::int32_t c = 3;     // horizontal gap between cards
    std::int32_t d = 3;     // vertical gap between cards
    std::int32_t ox = 0;    // horizontal shift, 0.1 mm
    std::int32_t oy = 0;    // vertical shift, 0.1 mm
    bool cropMarks = false; // トンボ in the gaps, to cut the cards out by
    BackSide back{};

    bool operator==(const PrintSpace &) const = default;
};

// Copies `space` into a holder of the same eight named members: the print
// windows keep them as variables of their own, under the described names.
template <class Holder> void CopyPrintSpace(Holder &to, const PrintSpace &space)
{
    to.a = space.a;
    to.b = space.b;
    to.c = space.c;
    to.d = space.d;
    to.ox = space.ox;
    to.oy = space.oy;
    to.cropMarks = space.cropMarks;
    to.back = space.back;
}
