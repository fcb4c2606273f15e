#pragma once
#include "card/printspace.h"
#include "print/sheet.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class BackCard;
class Dialogs;
class DrawingOrder;
class QPrinter;
class QWidget;
struct MergePageTarget;

// The resolution a sheet printed to a PDF file is drawn at.
inline constexpr int kPdfDotsPerInch = 600;

// One job on `printer`, as currently set up: one page, or for a printer that
// makes no copies itself (a PDF file) one page per copy asked for. A PDF file
// is drawn at kPdfDotsPerInch with the whole paper as the painter's area
// (full page), the same page plakuro-cli's sheet writes; any other printer
// with its printable area. Throws std::runtime_error when the job cannot
// start. With a `back` card each sheet is two pages, the front then the back
// (PrintBackSheet, turned as `space.back` says).
void PrintSheet(QPrinter &printer, const DrawingOrder &order, const PrintSpace &space,
                const DrawingOrder *back = nullptr);

// One job on `printer`, as PrintSheet starts it, whose pages `draw` makes
// through the target it is given (card images in the cells, as printing
// does). `draw` returning false (cancelled) or throwing drops the job, so
// nothing half-made reaches the paper or the file; true when it was sent.
bool PrintPages(QPrinter &printer, const std::function<bool(const MergePageTarget &)> &draw);

// The cells (1 to 10) that would not lie wholly on the paper of `printer`,
// set up as PrintSheet sets it up (which this does to `printer`).
std::vector<int> CellsOffPaper(QPrinter &printer, const PrintSpace &space);
// The same for both pages; the back's only `withBack`.
SheetOffPaper CellsOffPaper(QPrinter &printer, const PrintSpace &space, bool withBack);

// The back card `back` names, read afresh: null when there is none, or when
// it cannot be read, which is then said through `dialogs` with `goingOn`
// (what happens instead, e.g. 「表だけを印刷します。」) after the reason.
std::unique_ptr<BackCard> ReadBackCard(QWidget *parent, Dialogs &dialogs, const BackSide &back,
                                       const QString &goingOn);
