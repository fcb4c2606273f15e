// Printing the realistic card: the sheet of ten at 600 dpi into a PDF file
// as the editor prints it, and the card image alone that the sheet is made of.

#include "realistic.h"

#include "app/printing.h"
#include "card/objects.h"
#include "print/sheet.h"
#include "settings/printspace.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTemporaryDir>

namespace {

constexpr int kDpi = 600;

// The pictures keep their last stretched copy. The preview draws the card at
// screen size just before printing from it, so each print here starts after
// such a drawing, untimed.
void drawAtPreviewSize(benchmark::State &state, const DrawingOrder &order)
{
    state.PauseTiming();
    benchmark::DoNotOptimize(RenderCardImage(order, 343, 207).constBits());
    state.ResumeTiming();
}

void BM_RenderCardImage600dpi(benchmark::State &state)
{
    const DrawingOrder order = MakeDrawingOrder(realistic().editor.Card());
    const auto w = static_cast<int>(kDpi * kCardWidthInch);
    const auto h = static_cast<int>(kDpi * kCardHeightInch);
    for (auto _ : state) {
        drawAtPreviewSize(state, order);
        const QImage image = RenderCardImage(order, w, h);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The editor's printer as "Print to File (PDF)" leaves it: high resolution,
// A4, then 600 dots per inch as the editor sets for a PDF file.
void BM_PrintSheetPdf600dpi(benchmark::State &state)
{
    const DrawingOrder order = MakeDrawingOrder(realistic().editor.Card());
    QTemporaryDir dir;
    const QString path = dir.filePath("sheet.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setResolution(kDpi);
    const PrintSpace space;
    for (auto _ : state) {
        drawAtPreviewSize(state, order);
        PrintSheet(printer, order, space);
    }
    state.counters["pdf_MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}

// The sheet as plakuro-cli sheet writes it into a PDF file at 600 dpi: the
// card image copied into the cells (raster, state.range(0) == 0) or each cell
// drawn by the card's own drawing (vector).
void BM_SheetPdf600dpi(benchmark::State &state)
{
    const bool vector = state.range(0) != 0;
    const DrawingOrder order = MakeDrawingOrder(realistic().editor.Card());
    QTemporaryDir dir;
    const QString path = dir.filePath("sheet.pdf");
    const PrintSpace space;
    const SheetDevice dev{kDpi, kDpi, 0, 0};
    for (auto _ : state) {
        drawAtPreviewSize(state, order);
        QPdfWriter writer(path);
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, {}));
        QPainter painter(&writer);
        const QSize page(writer.width(), writer.height());
        if (vector)
            PrintVectorSheet(painter, dev, page, order, space);
        else
            PrintSheet(painter, dev, page, order, space);
        painter.end();
    }
    state.SetLabel(vector ? "vector" : "raster");
    state.counters["pdf_MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}

} // namespace

BENCHMARK(BM_SheetPdf600dpi)->Arg(0)->Arg(1)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCardImage600dpi)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintSheetPdf600dpi)->Apply(withSpread)->Unit(benchmark::kMillisecond);
