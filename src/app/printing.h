#pragma once
#include "card/printspace.h"

#include <vector>

class DrawingOrder;
class QPrinter;

// The resolution a sheet printed to a PDF file is drawn at.
inline constexpr int kPdfDotsPerInch = 600;

// One job on `printer`, as currently set up: one page, or for a printer that
// makes no copies itself (a PDF file) one page per copy asked for. A PDF file
// is drawn at kPdfDotsPerInch with the whole paper as the painter's area
// (full page), the same page plakuro-cli's sheet writes; any other printer
// with its printable area. Throws std::runtime_error when the job cannot
// start.
void PrintSheet(QPrinter &printer, const DrawingOrder &order, const PrintSpace &space);

// The cells (1 to 10) that would not lie wholly on the paper of `printer`,
// set up as PrintSheet sets it up (which this does to `printer`).
std::vector<int> CellsOffPaper(QPrinter &printer, const PrintSpace &space);
