#pragma once
// The pages of a merge, for a PDF file or a printer alike.

#include "card/printspace.h"
#include "print/sheet.h"

#include <QSize>
#include <functional>

class EditSession;
class ListReader;
class MergeCards;
class QPainter;
struct ListRow;

// Where the pages go: a painter on a PDF file or a printer.
struct MergePageTarget
{
    // The painter of the page being drawn, asked for afresh on each page
    // once the work that needs none is done: a PDF file writes the page
    // before meanwhile (PdfFile::NewPage).
    std::function<QPainter &()> painter;
    // The device's resolution, for laying the texts out before the painter
    // is asked for; 0 to lay them out as they are drawn.
    int prepareDpi = 0;
    SheetDevice dev;
    QSize page;  // the painter's area in device pixels
    QSize paper; // the whole paper in device pixels
    // Ends the page drawn and starts the next; throws when it cannot.
    std::function<void()> newPage;
    // The cells get the card image (RenderLayoutCardImage) instead of the
    // vector drawing.
    bool raster = false;
};

struct MergeSheets
{
    PrintSpace space;
    // Ten people share a page (one card each) instead of a page a person.
    bool mixed = false;
    // After each front page its back page (`space.back` turns it), with each
    // person's own back card. Needs the back card in the MergeCards.
    bool twoSided = false;
};

// Draws the pages of the rows `reader` gives from where it is (after the
// header): for each row `include` accepts (given the row and its number
// among the data rows, from 1), the row is applied to `cards`, then
// `onRow(row, done)` is told (done: rows drawn so far, this one included)
// and the cards are drawn. `onRow` returning false stops at once: the
// return is then false and the target holds a partial job the caller
// drops. `back` is the back card's session when two-sided.
bool DrawMergePages(MergeCards &cards, EditSession &front, EditSession *back, ListReader &reader,
                    const MergeSheets &sheets, const MergePageTarget &target,
                    const std::function<bool(const ListRow &, qint64)> &include,
                    const std::function<bool(const ListRow &, qint64)> &onRow);
