#include "app/printing.h"
#include "print/sheet.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <stdexcept>

void PrintSheet(QPrinter &printer, const DrawingOrder &order, const PrintSpace &space)
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
        const SheetLayout l = ComputeSheetLayout(dev, space);
        const QImage card = RenderLayoutCardImage(l, order);
        for (int copy = 0; copy < copies; ++copy) {
            if (copy > 0 && !printer.newPage())
                throw std::runtime_error("印刷の次のページを始められません");
            DrawSheetCells(painter, paint.size(), l, card);
        }
    } catch (...) {
        // A half-drawn sheet must not reach the paper.
        printer.abort();
        throw;
    }
    painter.end();
}
