#include "merge/pages.h"

#include "card/objects.h"
#include "editor/session.h"
#include "merge/list.h"
#include "merge/mergecards.h"

#include <QPainter>
#include <vector>

namespace {

// Everything a card needs before it is drawn: the card image, or the vector
// card's texts measured and laid out.
struct Prepared
{
    QImage image;
};

Prepared prepare(const MergePageTarget &t, const SheetLayout &layout, const DrawingOrder &order)
{
    Prepared p;
    if (t.raster)
        p.image = RenderLayoutCardImage(layout, order);
    else
        PrepareVectorCells(layout, order, t.prepareDpi);
    return p;
}

void drawCell(const MergePageTarget &t, QPainter &painter, const SheetLayout &layout, int cell,
              const DrawingOrder &order, const Prepared &p)
{
    if (t.raster)
        DrawSheetCell(painter, t.page, layout, cell, p.image);
    else
        DrawPreparedVectorCell(painter, t.page, layout, cell, order);
}

} // namespace

bool DrawMergePages(MergeCards &cards, EditSession &front, EditSession *back, ListReader &reader,
                    const MergeSheets &sheets, const MergePageTarget &t,
                    const std::function<bool(const ListRow &, qint64)> &include,
                    const std::function<bool(const ListRow &, qint64)> &onRow)
{
    const SheetLayout layout = ComputeSheetLayout(t.dev, sheets.space);
    const SheetLayout backLayout = ComputeBackLayout(layout, t.dev, t.paper, sheets.space);
    const bool twoSided = sheets.twoSided && back;
    const int perPage = sheets.mixed ? kSheetCells : 1;
    bool firstPage = true;
    qint64 number = 0, done = 0;
    ListRow row;
    // The rows of the page being drawn, kept for its back page.
    std::vector<ListRow> page;
    // Draws the card `session` holds into cell `cell` of `l`, or into every
    // cell; a page is begun first when `begin`. The page is ended before the
    // card is prepared, and its painter asked for after.
    auto draw = [&](EditSession &session, const SheetLayout &l, int cell, bool begin) {
        if (begin && !firstPage)
            t.newPage();
        const DrawingOrder order = MakeDrawingOrder(session.Card());
        const Prepared p = prepare(t, l, order);
        QPainter &painter = t.painter();
        if (begin && sheets.space.cropMarks)
            DrawCropMarks(painter, t.dev, l);
        firstPage = false;
        for (int i = cell < 0 ? 0 : cell; i < (cell < 0 ? kSheetCells : cell + 1); ++i)
            drawCell(t, painter, l, i, order, p);
    };
    bool more = true;
    while (more) {
        page.clear();
        while (static_cast<int>(page.size()) < perPage && (more = reader.Next(row))) {
            ++number;
            if (!include(row, number))
                continue;
            cards.Apply(row);
            ++done;
            if (!onRow(row, done))
                return false;
            draw(front, layout, sheets.mixed ? static_cast<int>(page.size()) : -1, page.empty());
            page.push_back(row);
        }
        if (!twoSided || page.empty())
            continue;
        for (std::size_t i = 0; i < page.size(); ++i) {
            // A page of one person still has their row on the cards.
            if (page.size() > 1)
                cards.Apply(page[i]);
            draw(*back, backLayout, sheets.mixed ? static_cast<int>(i) : -1, i == 0);
        }
    }
    return true;
}
