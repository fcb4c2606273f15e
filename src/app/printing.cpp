#include "app/printing.h"
#include "print/sheet.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <stdexcept>

namespace {

void preparePrinter(QPrinter &printer)
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
}

SheetDevice printerDevice(const QPrinter &printer)
{
    const int res = printer.resolution();
    const QPageLayout layout = printer.pageLayout();
    const QRect paint = layout.paintRectPixels(res);
    const QRect full = layout.fullRectPixels(res);
    SheetDevice dev;
    dev.px = printer.logicalDpiX();
    dev.py = printer.logicalDpiY();
    dev.ox = paint.left() - full.left();
    dev.oy = paint.top() - full.top();
    return dev;
}

} // namespace

std::vector<int> CellsOffPaper(QPrinter &printer, const PrintSpace &space)
{
    preparePrinter(printer);
    const SheetDevice dev = printerDevice(printer);
    const QRect full = printer.pageLayout().fullRectPixels(printer.resolution());
    return CellsOffPaper(ComputeSheetLayout(dev, space), dev, full.size());
}

void PrintSheet(QPrinter &printer, const DrawingOrder &order, const PrintSpace &space)
{
    preparePrinter(printer);
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
    const QRect paint = printer.pageLayout().paintRectPixels(printer.resolution());
    const SheetDevice dev = printerDevice(printer);
    try {
        // One image for every copy: the PDF file then holds it once.
        const SheetLayout l = ComputeSheetLayout(dev, space);
        const QImage card = RenderLayoutCardImage(l, order);
        for (int copy = 0; copy < copies; ++copy) {
            if (copy > 0 && !printer.newPage())
                throw std::runtime_error("印刷の次のページを始められません");
            if (space.cropMarks)
                DrawCropMarks(painter, dev, l);
            DrawSheetCells(painter, paint.size(), l, card);
        }
    } catch (...) {
        // A half-drawn sheet must not reach the paper.
        printer.abort();
        throw;
    }
    painter.end();
}
