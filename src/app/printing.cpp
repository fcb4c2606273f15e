#include "app/printing.h"
#include "app/dialogs.h"
#include "editor/backcard.h"
#include "merge/pages.h"
#include "print/sheet.h"

#include "card/files.h"

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
    return CellsOffPaper(printer, space, false).front;
}

SheetOffPaper CellsOffPaper(QPrinter &printer, const PrintSpace &space, bool withBack)
{
    preparePrinter(printer);
    const SheetDevice dev = printerDevice(printer);
    const QSize paper = printer.pageLayout().fullRectPixels(printer.resolution()).size();
    const SheetLayout front = ComputeSheetLayout(dev, space);
    SheetOffPaper off;
    off.front = CellsOffPaper(front, dev, paper);
    if (withBack)
        off.back = CellsOffPaper(ComputeBackLayout(front, dev, paper, space), dev, paper);
    return off;
}

void PrintSheet(QPrinter &printer, const DrawingOrder &order, const PrintSpace &space,
                const DrawingOrder *back)
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
    const QSize paper = printer.pageLayout().fullRectPixels(printer.resolution()).size();
    const SheetDevice dev = printerDevice(printer);
    try {
        // One image for every copy: the PDF file then holds it once.
        const SheetLayout l = ComputeSheetLayout(dev, space);
        const QImage card = RenderLayoutCardImage(l, order);
        const SheetLayout backLayout = ComputeBackLayout(l, dev, paper, space);
        const QImage backCard = back ? RenderLayoutCardImage(backLayout, *back) : QImage();
        auto newPage = [&] {
            if (!printer.newPage())
                throw std::runtime_error("印刷の次のページを始められません");
        };
        for (int copy = 0; copy < copies; ++copy) {
            if (copy > 0)
                newPage();
            if (space.cropMarks)
                DrawCropMarks(painter, dev, l);
            DrawSheetCells(painter, paint.size(), l, card);
            if (!back)
                continue;
            newPage();
            if (space.cropMarks)
                DrawCropMarks(painter, dev, backLayout);
            DrawSheetCells(painter, paint.size(), backLayout, backCard);
        }
    } catch (...) {
        // A half-drawn sheet must not reach the paper.
        printer.abort();
        throw;
    }
    painter.end();
}

bool PrintPages(QPrinter &printer, const std::function<bool(const MergePageTarget &)> &draw)
{
    preparePrinter(printer);
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error(
            "印刷を開始できません: " +
            QStringLiteral("プリンタ \"%1\"").arg(printer.printerName()).toStdString());
    MergePageTarget target;
    target.painter = [&]() -> QPainter & { return painter; };
    target.dev = printerDevice(printer);
    target.page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    target.paper = printer.pageLayout().fullRectPixels(printer.resolution()).size();
    target.newPage = [&] {
        if (!printer.newPage())
            throw std::runtime_error("印刷の次のページを始められません");
    };
    target.raster = true;
    bool sent = false;
    try {
        sent = draw(target);
    } catch (...) {
        printer.abort();
        throw;
    }
    if (!sent) {
        printer.abort();
        return false;
    }
    painter.end();
    return true;
}

std::unique_ptr<BackCard> ReadBackCard(QWidget *parent, Dialogs &dialogs, const BackSide &back,
                                       const QString &goingOn)
{
    if (back.file.isEmpty())
        return nullptr;
    try {
        return std::make_unique<BackCard>(back.file);
    } catch (const FileError &e) {
        dialogs.ShowError(parent, QString::fromUtf8(e.what()) + QStringLiteral("\n") + goingOn);
    }
    return nullptr;
}
