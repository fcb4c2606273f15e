#include "merge/pages.h"

#include "card/objects.h"
#include "editor/session.h"
#include "merge/list.h"
#include "merge/mergecards.h"

#include <QPainter>
#include <vector>

namespace {

void drawCell(const MergePageTarget &t, const SheetLayout &layout, int cell,
              const DrawingOrder &order)
{
    if (t.raster)
        DrawSheetCell(*t.painter, t.page, layout, cell, RenderLayoutCardImage(layout, order));
    else
        DrawVectorSheetCell(*t.painter, t.page, layout, cell, order);
}

void drawAllCells(const MergePageTarget &t, const SheetLayout &layout, const DrawingOrder &order)
{
    if (t.raster)
        DrawSheetCells(*t.painter, t.page, layout, RenderLayoutCardImage(layout, order));
    else
        DrawVectorSheetCells(*t.painter, t.page, layout, order);
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
    auto startPage = [&](const SheetLayout &l) {
        if (!firstPage)
            t.newPage();
        firstPage = false;
        if (sheets.space.cropMarks)
            DrawCropMarks(*t.painter, t.dev, l);
    };
    auto backPage = [&] {
        startPage(backLayout);
        for (std::size_t i = 0; i < page.size(); ++i) {
            // A page of one person still has their row on the cards.
            if (page.size() > 1)
                cards.Apply(page[i]);
            const DrawingOrder order = MakeDrawingOrder(back->Card());
            if (sheets.mixed)
                drawCell(t, backLayout, static_cast<int>(i), order);
            else
                drawAllCells(t, backLayout, order);
        }
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
            if (page.empty())
                startPage(layout);
            const DrawingOrder order = MakeDrawingOrder(front.Card());
            if (sheets.mixed)
                drawCell(t, layout, static_cast<int>(page.size()), order);
            else
                drawAllCells(t, layout, order);
            page.push_back(row);
        }
        if (twoSided && !page.empty())
            backPage();
    }
    return true;
}
