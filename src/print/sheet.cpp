#include "print/sheet.h"
#include "print/pagerecorder.h"
#include "print/pdffile.h"

#include "card/converter.h"
#include "card/object.h"
#include "card/objects.h"

#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

// trunc(pixelsPerInch × (mm × 0.03937)), the product formed in the written order.
std::int64_t mmToPixels(int pixelsPerInch, std::int32_t mm)
{
    return static_cast<std::int64_t>(static_cast<double>(pixelsPerInch) *
                                     (static_cast<double>(mm) * kInchPerMm));
}

// The sheet's shift: trunc(pixelsPerInch × (tenths × 0.003937)).
std::int64_t tenthsToPixels(int pixelsPerInch, std::int32_t tenths)
{
    return static_cast<std::int64_t>(static_cast<double>(pixelsPerInch) *
                                     (static_cast<double>(tenths) * (kInchPerMm / 10.0)));
}

SheetLayout layoutFor(const SheetDevice &dev, const PrintSpace &space, std::int64_t width,
                      std::int64_t height)
{
    SheetLayout l;
    l.left = mmToPixels(dev.px, space.a) + tenthsToPixels(dev.px, space.ox) - dev.ox;
    l.top = mmToPixels(dev.py, space.b) + tenthsToPixels(dev.py, space.oy) - dev.oy;
    l.gapX = mmToPixels(dev.px, space.c);
    l.gapY = mmToPixels(dev.py, space.d);
    l.width = width;
    l.height = height;
    std::size_t i = 0;
    for (int r = 0; r < kSheetRows; ++r)
        for (int k = 0; k < kSheetColumns; ++k)
            l.cells[i++] = {k * (width + l.gapX) + l.left, r * (height + l.gapY) + l.top};
    return l;
}

bool fitsInt(std::int64_t v)
{
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

// Whether cell `c` of `l` shows on `page` and its position fits an int.
bool cellDrawn(QSize page, const SheetLayout &l, const SheetLayout::Cell &c)
{
    if (c.x >= page.width() || c.y >= page.height() || c.x + l.width <= 0 || c.y + l.height <= 0)
        return false;
    return fitsInt(c.x) && fitsInt(c.y);
}

// MeasureCard as RenderCardImage does it: the measures depend only on the
// image's dots per inch and the converter, never on its size, so a one-pixel
// image of the same kind stands for the W x H card image.
void measureAsCardImage(const SheetLayout &l, const DrawingOrder &order)
{
    if (!fitsInt(l.width) || !fitsInt(l.height))
        throw std::runtime_error("カード画像が大きすぎます");
    if (l.width <= 0 || l.height <= 0)
        return;
    QImage probe(1, 1, QImage::Format_RGB32);
    MeasureCard(order, &probe, Converter(static_cast<int>(l.width)));
}

// Lays the texts of `order` out as drawVectorCell draws them in `l` on a
// device of `dpi` dots per inch, on a stand-in image of that resolution: the
// lay-out depends on the device's resolution alone (TextObject keeps it for
// any device of the same). Nothing where an image cannot stand for it: the
// drawing then lays them out itself.
void prepareAt(int dpi, const SheetLayout &l, const DrawingOrder &order)
{
    if (l.width <= 0 || l.height <= 0 || !fitsInt(l.width) || dpi <= 0)
        return;
    QImage standIn(1, 1, QImage::Format_RGB32);
    const int dotsPerMetre = qRound(dpi / 0.0254);
    standIn.setDotsPerMeterX(dotsPerMetre);
    standIn.setDotsPerMeterY(dotsPerMetre);
    if (standIn.logicalDpiX() != dpi || standIn.logicalDpiY() != dpi)
        return;
    PrepareCard(order, &standIn, Converter(static_cast<int>(l.width)));
}

// The card drawn into cell `index`, already measured.
void drawVectorCell(QPainter &painter, QSize page, const SheetLayout &l, int index,
                    const DrawingOrder &order)
{
    const SheetLayout::Cell &c = l.cells.at(static_cast<std::size_t>(index));
    if (l.width <= 0 || l.height <= 0 || !cellDrawn(page, l, c))
        return;
    const QRect cell(0, 0, static_cast<int>(l.width), static_cast<int>(l.height));
    painter.save();
    painter.translate(static_cast<int>(c.x), static_cast<int>(c.y));
    painter.setClipRect(cell);
    // White as the card image is, so overlapping cells cover each other alike.
    painter.fillRect(cell, Qt::white);
    const Converter conv(cell.width());
    // A picture on a PDF painter goes into the file once, at no more than
    // its own pixels and 600 dpi at its printed size, whatever the sheet's
    // resolution (RasterPicture::Draw).
    for (Object *obj : order.List())
        if (obj)
            obj->Draw(&painter, conv);
    painter.restore();
}

void drawSheet(QPainter &painter, const SheetDevice &dev, QSize page, const SheetLayout &l,
               const DrawingOrder &order, bool cropMarks)
{
    const QImage card = RenderLayoutCardImage(l, order);
    if (cropMarks)
        DrawCropMarks(painter, dev, l);
    DrawSheetCells(painter, page, l, card);
}

// One mark: a bar from (x, y), `length` along one axis (negative: back),
// `thick` across. Bars far off the page are skipped: QRect is int.
void markBar(QPainter &p, std::int64_t x, std::int64_t y, std::int64_t dx, std::int64_t dy,
             std::int64_t thick)
{
    std::int64_t left = dx < 0 ? x + dx : x, top = dy < 0 ? y + dy : y;
    const std::int64_t w = dx == 0 ? thick : (dx < 0 ? -dx : dx);
    const std::int64_t h = dy == 0 ? thick : (dy < 0 ? -dy : dy);
    const std::int64_t limit = std::int64_t{1} << 28;
    if (left < -limit || top < -limit || left > limit || top > limit)
        return;
    p.fillRect(QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(w),
                     static_cast<int>(h)),
               Qt::black);
}

QString cellName(int cell)
{
    return QStringLiteral("%1 枚目").arg(cell);
}

} // namespace

SheetLayout ComputeSheetLayout(const SheetDevice &dev, const PrintSpace &space)
{
    const auto w = static_cast<std::int64_t>(static_cast<double>(dev.px) * kCardWidthInch);
    const auto h = static_cast<std::int64_t>(static_cast<double>(dev.py) * kCardHeightInch);
    return layoutFor(dev, space, w, h);
}

SheetLayout ComputePreviewLayout(const SheetDevice &dev, double xFactor, double yFactor,
                                 const PrintSpace &space)
{
    const auto w = static_cast<std::int64_t>(xFactor * kCardWidthModel);
    const auto h = static_cast<std::int64_t>(yFactor * kCardHeightModel);
    return layoutFor(dev, space, w, h);
}

QImage RenderCardImage(const DrawingOrder &order, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw std::runtime_error("カード画像を作れません (" + std::to_string(width) + " x " +
                                 std::to_string(height) + ")");
    image.fill(Qt::white);
    QPainter painter(&image);
    const Converter conv(width);
    // The card image measures the texts as it draws them: after printing or
    // a preview the card keeps the rectangles measured here.
    MeasureCard(order, &image, conv);
    RenderCard(order, &painter, conv);
    return image;
}

void DrawSheetCell(QPainter &painter, QSize page, const SheetLayout &l, int index,
                   const QImage &card)
{
    const SheetLayout::Cell &cell = l.cells.at(static_cast<std::size_t>(index));
    if (!cellDrawn(page, l, cell))
        return;
    painter.drawImage(QPoint(static_cast<int>(cell.x), static_cast<int>(cell.y)), card);
}

QImage RenderLayoutCardImage(const SheetLayout &l, const DrawingOrder &order)
{
    if (!fitsInt(l.width) || !fitsInt(l.height))
        throw std::runtime_error("カード画像が大きすぎます");
    return RenderCardImage(order, static_cast<int>(l.width), static_cast<int>(l.height));
}

void DrawCropMarks(QPainter &painter, const SheetDevice &dev, const SheetLayout &l)
{
    // 3 mm long and 0.1 mm thick (at least one device pixel).
    const std::int64_t lenX = mmToPixels(dev.px, 3), lenY = mmToPixels(dev.py, 3);
    const std::int64_t thickX = std::max<std::int64_t>(1, tenthsToPixels(dev.px, 1));
    const std::int64_t thickY = std::max<std::int64_t>(1, tenthsToPixels(dev.py, 1));
    for (const SheetLayout::Cell &c : l.cells) {
        const std::int64_t right = c.x + l.width, bottom = c.y + l.height;
        // Each corner: the horizontal edge continued sideways, the vertical
        // edge continued up or down; the bar lies on the cell's own edge pixels.
        markBar(painter, c.x, c.y, -lenX, 0, thickY);
        markBar(painter, c.x, c.y, 0, -lenY, thickX);
        markBar(painter, right, c.y, lenX, 0, thickY);
        markBar(painter, right - thickX, c.y, 0, -lenY, thickX);
        markBar(painter, c.x, bottom - thickY, -lenX, 0, thickY);
        markBar(painter, c.x, bottom, 0, lenY, thickX);
        markBar(painter, right, bottom - thickY, lenX, 0, thickY);
        markBar(painter, right - thickX, bottom, 0, lenY, thickX);
    }
}

void DrawSheetCells(QPainter &painter, QSize page, const SheetLayout &l, const QImage &card)
{
    if (card.isNull())
        return;
    for (int i = 0; i < kSheetCells; ++i)
        DrawSheetCell(painter, page, l, i, card);
}

void PrintSheet(QPainter &painter, const SheetDevice &dev, QSize page, const DrawingOrder &order,
                const PrintSpace &space)
{
    drawSheet(painter, dev, page, ComputeSheetLayout(dev, space), order, space.cropMarks);
}

void DrawVectorSheetCell(QPainter &painter, QSize page, const SheetLayout &l, int index,
                         const DrawingOrder &order)
{
    measureAsCardImage(l, order);
    drawVectorCell(painter, page, l, index, order);
}

void DrawVectorSheetCells(QPainter &painter, QSize page, const SheetLayout &l,
                          const DrawingOrder &order)
{
    measureAsCardImage(l, order);
    for (int i = 0; i < kSheetCells; ++i)
        drawVectorCell(painter, page, l, i, order);
}

void PrintVectorSheet(QPainter &painter, const SheetDevice &dev, QSize page,
                      const DrawingOrder &order, const PrintSpace &space)
{
    const SheetLayout layout = ComputeSheetLayout(dev, space);
    if (space.cropMarks)
        DrawCropMarks(painter, dev, layout);
    DrawVectorSheetCells(painter, page, layout, order);
}

void PrepareVectorCells(const SheetLayout &layout, const DrawingOrder &order, int dpi)
{
    measureAsCardImage(layout, order);
    prepareAt(dpi, layout, order);
}

void DrawPreparedVectorCell(QPainter &painter, QSize page, const SheetLayout &layout, int index,
                            const DrawingOrder &order)
{
    drawVectorCell(painter, page, layout, index, order);
}

void PrintVectorSheet(PdfFile &pdf, const SheetDevice &dev, const DrawingOrder &order,
                      const PrintSpace &space)
{
    const SheetLayout layout = ComputeSheetLayout(dev, space);
    PrepareVectorCells(layout, order, pdf.Resolution());
    QPainter &painter = pdf.Painter();
    if (space.cropMarks)
        DrawCropMarks(painter, dev, layout);
    for (int i = 0; i < kSheetCells; ++i)
        drawVectorCell(painter, pdf.PageSize(), layout, i, order);
}

std::vector<int> CellsOffPaper(const SheetLayout &l, const SheetDevice &dev, QSize paper)
{
    std::vector<int> off;
    for (int i = 0; i < kSheetCells; ++i) {
        const SheetLayout::Cell &cell = l.cells.at(static_cast<std::size_t>(i));
        const std::int64_t x = cell.x + dev.ox;
        const std::int64_t y = cell.y + dev.oy;
        if (x < 0 || y < 0 || x + l.width > paper.width() || y + l.height > paper.height())
            off.push_back(i + 1);
    }
    return off;
}

QString OffPaperMessage(const std::vector<int> &cells)
{
    if (cells.empty())
        return {};
    QString text = cellName(cells.front());
    for (std::size_t i = 1; i < cells.size(); ++i)
        text += (i + 1 == cells.size() ? QStringLiteral("と ") : QStringLiteral("、")) +
                cellName(cells[i]);
    return text + QStringLiteral("が用紙からはみ出します");
}

std::vector<int> DrawPreviewSheet(PageRecorder &rec, const DrawingOrder &order,
                                  const PrintSpace &space)
{
    return DrawPreviewSheets(rec, order, space, nullptr).front;
}

SheetOffPaper DrawPreviewSheets(PageRecorder &rec, const DrawingOrder &order,
                                const PrintSpace &space, const DrawingOrder *back)
{
    rec.BeginDoc();
    rec.NewPage();
    QPainter *canvas = rec.Canvas();
    QPaintDevice *device = canvas->device();
    SheetDevice dev;
    dev.px = device->logicalDpiX();
    dev.py = device->logicalDpiY();
    const SheetLayout l = ComputePreviewLayout(dev, rec.XFactor(), rec.YFactor(), space);
    // The page is the whole paper: its origin is the paper's corner.
    const QSize page(device->width(), device->height());
    drawSheet(*canvas, dev, page, l, order, space.cropMarks);
    SheetOffPaper off;
    off.front = CellsOffPaper(l, dev, page);
    if (back) {
        rec.NewPage();
        const SheetLayout b = ComputeBackLayout(l, dev, page, space);
        drawSheet(*rec.Canvas(), dev, page, b, *back, space.cropMarks);
        off.back = CellsOffPaper(b, dev, page);
    }
    rec.EndDoc();
    return off;
}

SheetLayout ComputeBackLayout(const SheetLayout &front, const SheetDevice &dev, QSize paper,
                              const PrintSpace &space)
{
    SheetLayout b = front;
    // Each front cell on the paper without the shift, mirrored, then shifted
    // again, all in device pixels from the layout's origin.
    const std::int64_t sx = tenthsToPixels(dev.px, space.ox);
    const std::int64_t sy = tenthsToPixels(dev.py, space.oy);
    for (SheetLayout::Cell &c : b.cells) {
        if (space.back.shortEdge)
            c.y = paper.height() - (c.y + dev.oy - sy) - front.height + sy - dev.oy;
        else
            c.x = paper.width() - (c.x + dev.ox - sx) - front.width + sx - dev.ox;
    }
    b.left = b.cells[0].x;
    b.top = b.cells[0].y;
    for (const SheetLayout::Cell &c : b.cells) {
        b.left = std::min(b.left, c.x);
        b.top = std::min(b.top, c.y);
    }
    return b;
}

void PrintBackSheet(QPainter &painter, const SheetDevice &dev, QSize page, QSize paper,
                    const DrawingOrder &back, const PrintSpace &space, bool raster)
{
    const SheetLayout l = ComputeBackLayout(ComputeSheetLayout(dev, space), dev, paper, space);
    if (raster) {
        drawSheet(painter, dev, page, l, back, space.cropMarks);
        return;
    }
    if (space.cropMarks)
        DrawCropMarks(painter, dev, l);
    DrawVectorSheetCells(painter, page, l, back);
}

QString OffPaperMessage(const SheetOffPaper &cells)
{
    QStringList parts;
    if (!cells.front.empty())
        parts << OffPaperMessage(cells.front);
    if (!cells.back.empty())
        parts << QStringLiteral("裏面の ") + OffPaperMessage(cells.back);
    return parts.join(QStringLiteral("。"));
}
