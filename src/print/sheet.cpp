#include "print/sheet.h"
#include "print/pagerecorder.h"

#include "card/converter.h"
#include "card/objects.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
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

SheetLayout layoutFor(const SheetDevice &dev, std::int32_t a, std::int32_t b, std::int32_t c,
                      std::int32_t d, std::int64_t width, std::int64_t height)
{
    SheetLayout l;
    l.left = mmToPixels(dev.px, a) - dev.ox;
    l.top = mmToPixels(dev.py, b) - dev.oy;
    l.gapX = mmToPixels(dev.px, c);
    l.gapY = mmToPixels(dev.py, d);
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

// The card image for the layout's cells; null when it has no area.
QImage cardImageFor(const SheetLayout &l, const DrawingOrder &order)
{
    if (!fitsInt(l.width) || !fitsInt(l.height))
        throw std::runtime_error("カード画像が大きすぎます");
    return RenderCardImage(order, static_cast<int>(l.width), static_cast<int>(l.height));
}

void drawCells(QPainter &painter, QSize page, const SheetLayout &l, const QImage &card)
{
    if (card.isNull())
        return;
    for (int i = 0; i < kSheetCells; ++i)
        DrawSheetCell(painter, page, l, i, card);
}

void drawSheet(QPainter &painter, QSize page, const SheetLayout &l, const DrawingOrder &order)
{
    drawCells(painter, page, l, cardImageFor(l, order));
}

} // namespace

SheetLayout ComputeSheetLayout(const SheetDevice &dev, std::int32_t a, std::int32_t b,
                               std::int32_t c, std::int32_t d)
{
    const auto w = static_cast<std::int64_t>(static_cast<double>(dev.px) * kCardWidthInch);
    const auto h = static_cast<std::int64_t>(static_cast<double>(dev.py) * kCardHeightInch);
    return layoutFor(dev, a, b, c, d, w, h);
}

SheetLayout ComputePreviewLayout(const SheetDevice &dev, double xFactor, double yFactor,
                                 std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d)
{
    const auto w = static_cast<std::int64_t>(xFactor * kCardWidthModel);
    const auto h = static_cast<std::int64_t>(yFactor * kCardHeightModel);
    return layoutFor(dev, a, b, c, d, w, h);
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
    if (cell.x >= page.width() || cell.y >= page.height() || cell.x + l.width <= 0 ||
        cell.y + l.height <= 0)
        return;
    if (!fitsInt(cell.x) || !fitsInt(cell.y))
        return;
    painter.drawImage(QPoint(static_cast<int>(cell.x), static_cast<int>(cell.y)), card);
}

void PrintSheet(QPainter &painter, const SheetDevice &dev, QSize page, const DrawingOrder &order,
                std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d)
{
    drawSheet(painter, page, ComputeSheetLayout(dev, a, b, c, d), order);
}

void PrintSheet(QPrinter &printer, const DrawingOrder &order, std::int32_t a, std::int32_t b,
                std::int32_t c, std::int32_t d)
{
    const bool pdf = printer.outputFormat() == QPrinter::PdfFormat;
    if (pdf) {
        // A PDF file has no resolution of its own; 600 dots per inch keeps
        // the card sharp and the file small.
        printer.setResolution(kPdfDotsPerInch);
    }
    // A file has no unprintable margin: its printable area starts at the
    // paper's corner, as plakuro-cli's sheets do, so both give the same page.
    printer.setFullPage(pdf);
    // A printer that cannot make copies itself (a PDF file) gets one page
    // per copy.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString target =
            printer.outputFileName().isEmpty()
                ? QStringLiteral("プリンタ \"%1\"").arg(printer.printerName())
                : QStringLiteral("ファイル \"%1\"").arg(printer.outputFileName());
        throw std::runtime_error("印刷を開始できません: " + target.toStdString());
    }
    const int res = printer.resolution();
    const QPageLayout layout = printer.pageLayout();
    const QRect paint = layout.paintRectPixels(res);
    const QRect full = layout.fullRectPixels(res);
    SheetDevice dev;
    dev.px = printer.logicalDpiX();
    dev.py = printer.logicalDpiY();
    dev.ox = paint.left() - full.left();
    dev.oy = paint.top() - full.top();
    try {
        // One image for every copy: the PDF file then holds it once.
        const SheetLayout l = ComputeSheetLayout(dev, a, b, c, d);
        const QImage card = cardImageFor(l, order);
        for (int copy = 0; copy < copies; ++copy) {
            if (copy > 0 && !printer.newPage())
                throw std::runtime_error("印刷の次のページを始められません");
            drawCells(painter, paint.size(), l, card);
        }
    } catch (...) {
        // A half-drawn sheet must not reach the paper.
        printer.abort();
        throw;
    }
    painter.end();
}

void DrawPreviewSheet(PageRecorder &rec, const DrawingOrder &order, std::int32_t a, std::int32_t b,
                      std::int32_t c, std::int32_t d)
{
    rec.BeginDoc();
    rec.NewPage();
    QPainter *canvas = rec.Canvas();
    QPaintDevice *device = canvas->device();
    SheetDevice dev;
    dev.px = device->logicalDpiX();
    dev.py = device->logicalDpiY();
    const SheetLayout l = ComputePreviewLayout(dev, rec.XFactor(), rec.YFactor(), a, b, c, d);
    drawSheet(*canvas, QSize(device->width(), device->height()), l, order);
    rec.EndDoc();
}
