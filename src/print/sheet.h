#pragma once
#include "card/printspace.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

class DrawingOrder;
class PdfFile;
class PageRecorder;
class QPainter;

// Constants of the sheet, used exactly as written: the millimetre factor is
// not 1/25.4, and the card's inch sizes are the rounded values.
inline constexpr double kInchPerMm = 0.03937;
inline constexpr double kCardWidthInch = 3.58267;
inline constexpr double kCardHeightInch = 2.16535;
inline constexpr int kCardWidthModel = 910;
inline constexpr int kCardHeightModel = 550;
inline constexpr int kSheetColumns = 2;
inline constexpr int kSheetRows = 5;
inline constexpr int kSheetCells = kSheetColumns * kSheetRows;

// What the imposition asks of a paint device: logical pixels per inch, and
// the offset of the printable area (the painter's origin) from the paper's
// top-left corner, in device pixels.
struct SheetDevice
{
    int px = 96;
    int py = 96;
    int ox = 0;
    int oy = 0;
};

// Device pixels relative to the printable area. Kept in 64 bits: the
// print-space values are unbounded user input.
struct SheetLayout
{
    struct Cell
    {
        std::int64_t x = 0;
        std::int64_t y = 0;
    };

    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t gapX = 0;
    std::int64_t gapY = 0;
    std::int64_t width = 0;  // W, the card image
    std::int64_t height = 0; // H
    // Row by row from the top, left column first.
    std::array<Cell, kSheetCells> cells{};
};

// The printer layout: the card image is 91 x 55 mm at the device's resolution.
SheetLayout ComputeSheetLayout(const SheetDevice &dev, const PrintSpace &space);

// The preview layout: the card image is 910 x 550 model units at the page's
// pixels per 0.1 mm; margins and gaps as on the printer.
SheetLayout ComputePreviewLayout(const SheetDevice &dev, double xFactor, double yFactor,
                                 const PrintSpace &space);

// The card measured and drawn once into a white W x H image; `order` is the
// card's drawing order, whose text objects take the rectangles measured on
// the image. Null when W or H is not positive.
QImage RenderCardImage(const DrawingOrder &order, int width, int height);

// Draws the card image once and copies it 1:1 into the ten cells. `page` is
// the size of the painter's area; a cell wholly outside it, or at a position
// that does not fit an int, is skipped. Partly visible cells are clipped by
// the device.
void PrintSheet(QPainter &painter, const SheetDevice &dev, QSize page, const DrawingOrder &order,
                const PrintSpace &space);

// Copies `card` 1:1 into cell `index` of `layout`, the way PrintSheet fills
// each cell: nothing when the cell lies wholly outside `page` or at a position
// that does not fit an int. For sheets whose cells hold different cards.
void DrawSheetCell(QPainter &painter, QSize page, const SheetLayout &layout, int index,
                   const QImage &card);

// The card image for the cells of `layout`: RenderCardImage at the layout's
// W x H. Throws std::runtime_error when W or H does not fit an int.
QImage RenderLayoutCardImage(const SheetLayout &layout, const DrawingOrder &order);

// Thin crop marks, 3 mm long, continuing each cell's edges outward from its
// corners, at the resolution of `dev`. Drawn before the cells, which then
// cover whatever part of a mark a narrow gap lets reach the next cell.
void DrawCropMarks(QPainter &painter, const SheetDevice &dev, const SheetLayout &layout);

// DrawSheetCell for each of the ten cells; nothing for a null card image.
void DrawSheetCells(QPainter &painter, QSize page, const SheetLayout &layout, const QImage &card);

// The vector sheet, for a PDF a print shop takes: each cell holds the card's
// own drawing (texts as text, the QR symbol as rectangles, each picture one
// image of at most its own pixels and 600 dpi at its printed size, embedded
// once and shared by every cell and page), clipped to the cell,
// at the positions PrintSheet uses. The texts are measured exactly as
// RenderLayoutCardImage measures them, so the card keeps the same rectangles
// either way. A cell is skipped as DrawSheetCell skips it. Throws
// std::runtime_error when W or H does not fit an int.
void DrawVectorSheetCell(QPainter &painter, QSize page, const SheetLayout &layout, int index,
                         const DrawingOrder &order);
void DrawVectorSheetCells(QPainter &painter, QSize page, const SheetLayout &layout,
                          const DrawingOrder &order);
void PrintVectorSheet(QPainter &painter, const SheetDevice &dev, QSize page,
                      const DrawingOrder &order, const PrintSpace &space);
// The two halves of DrawVectorSheetCell, for a caller that prepares the next
// card while its device is still busy with the page before: the texts of
// `order` measured for `layout` and laid out for a device of `dpi` dots per
// inch (0: at drawing), then the cell drawn as prepared.
void PrepareVectorCells(const SheetLayout &layout, const DrawingOrder &order, int dpi);
void DrawPreparedVectorCell(QPainter &painter, QSize page, const SheetLayout &layout, int index,
                            const DrawingOrder &order);

// PrintVectorSheet on the current page of `pdf`, whose resolution `dev` has:
// the texts are measured and laid out for the page before its painter is
// taken, while the page before is still being written (PdfFile::NewPage).
void PrintVectorSheet(PdfFile &pdf, const SheetDevice &dev, const DrawingOrder &order,
                      const PrintSpace &space);

// Records the sheet as the one page of `rec` (BeginDoc ... EndDoc). Returns
// CellsOffPaper for the recorded page, which is the whole paper.
std::vector<int> DrawPreviewSheet(PageRecorder &rec, const DrawingOrder &order,
                                  const PrintSpace &space);

// --- The back side ---------------------------------------------------------
//
// A two-sided sheet is two pages: the front as above, then the back card at
// the cells that lie behind the front's once the sheet is turned over. The
// back page is written as it is seen after the turn (as duplex printing
// expects its even pages): turned on its long edge, left and right swap, so
// the columns are mirrored about the paper's vertical centre line; turned on
// its short edge, top and bottom swap, so the rows are mirrored about its
// horizontal centre line. The mirror uses the paper's size, not the margins'
// symmetry, so uneven margins still put each back behind its front.
//
// The shift ox, oy is not mirrored: it corrects a printer that places what
// it prints off centre, and such a printer is off by the same amount, in the
// page's own coordinates, on each pass (the sheet fed again turned over, or
// turned by its duplex unit). So the back is mirrored without the shift and
// then shifted as the front is; the two land in register on that printer
// (on an exact one, such as a PDF viewer, they lie 2 x the shift apart).

// The back page's layout for a sheet whose front `dev` and `space` lay out,
// on a paper of `paper` device pixels whose corner lies `dev.ox`, `dev.oy`
// before the layout's origin. Cell i is the one behind the front's cell i;
// left and top are those of the cell nearest the page's top-left corner.
SheetLayout ComputeBackLayout(const SheetLayout &front, const SheetDevice &dev, QSize paper,
                              const PrintSpace &space);

// The back page: `back` (the back card's drawing order) at
// ComputeBackLayout's cells, with crop marks when `space` has them; as the
// vector sheet, or with `raster` as the copied card image. `page` is the
// painter's area as for PrintSheet, `paper` the whole paper.
void PrintBackSheet(QPainter &painter, const SheetDevice &dev, QSize page, QSize paper,
                    const DrawingOrder &back, const PrintSpace &space, bool raster);

// The cells found off the paper on each page of a preview.
struct SheetOffPaper
{
    std::vector<int> front;
    std::vector<int> back; // numbered as the front cells they lie behind
};

// DrawPreviewSheet, then with a `back` a second page of it (PrintBackSheet's
// cells on the recorded paper), all within one document.
SheetOffPaper DrawPreviewSheets(PageRecorder &rec, const DrawingOrder &order,
                                const PrintSpace &space, const DrawingOrder *back);

// OffPaperMessage for the front, then for the back 「裏面の 2 枚目が用紙から
// はみ出します」, joined by 「。」; empty when neither page has such a cell.
QString OffPaperMessage(const SheetOffPaper &cells);

// The cells of `layout` (1 to 10, in cell order) not wholly on a paper of
// `paper` device pixels, whose corner lies `dev.ox`, `dev.oy` before the
// layout's origin. Such a cell is cut off on paper, or lost altogether.
std::vector<int> CellsOffPaper(const SheetLayout &layout, const SheetDevice &dev, QSize paper);

// 「3 枚目と 4 枚目が用紙からはみ出します」 for cells 3 and 4; empty for none.
QString OffPaperMessage(const std::vector<int> &cells);
