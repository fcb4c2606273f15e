// Pictures that cost far more than their bytes suggest. A bitmap whose
// run-length coding is almost wholly escapes (about 65 KB) beside a plain
// 24-bit bitmap of the same 16 x 2 pixels, each stretched over the whole
// card, drawn as the card image is at 600 and 2400 dpi: the first may cost no
// more than a few times the second. And a card of 2,000 tiny bitmaps (4 x 4
// pixels stretched to 8 mm; a card file of about 540 KB) written as the
// vector sheet PDF at 600 dpi, as plakuro-cli sheet writes it, with the
// file's size.

#include "realistic.h"

#include "bomb_cards.h"
#include "card/converter.h"
#include "card/objects.h"
#include "print/pdffile.h"
#include "print/sheet.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

namespace {

// A card opened from its file bytes, with its drawing order.
struct OpenCard
{
    explicit OpenCard(const QByteArray &bytes) : size(bytes.size())
    {
        MemoryStream s(bytes);
        if (!LoadCard(&s, objects))
            throw std::runtime_error("bench data: not a card file");
        order = MakeDrawingOrder(objects);
    }
    Objects objects;
    DrawingOrder order;
    qint64 size;
};

// A picture keeps its last stretched part for the next repaint. The preview
// draws the card at screen size before a print, so each drawing timed here
// starts after such a drawing, untimed.
void drawAtPreviewSize(benchmark::State &state, const DrawingOrder &order)
{
    state.PauseTiming();
    benchmark::DoNotOptimize(RenderCardImage(order, 343, 207).constBits());
    state.ResumeTiming();
}

// The card drawn as RenderCardImage draws it, into one image made before:
// a fresh image of 11 MB (178 MB at 2400 dpi) each time would cost as much
// in page faults as the drawing, more or less after what ran before.
// range(0): 0 the plain bitmap, 1 the run-length one; range(1): dots per inch.
void BM_BitmapCardImage(benchmark::State &state)
{
    const bool rle = state.range(0) != 0;
    const auto dpi = static_cast<int>(state.range(1));
    const OpenCard card(rle ? bombs::rleDeltaCard() : bombs::plainBitmapCard());
    QImage image(static_cast<int>(dpi * kCardWidthInch), static_cast<int>(dpi * kCardHeightInch),
                 QImage::Format_RGB32);
    const Converter conv(image.width());
    MeasureCard(card.order, &image, conv);
    for (auto _ : state) {
        drawAtPreviewSize(state, card.order);
        image.fill(Qt::white);
        QPainter painter(&image);
        RenderCard(card.order, &painter, conv);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(rle ? "RLE8 escapes" : "plain 24-bit");
    state.counters["card_KB"] = static_cast<double>(card.size) / 1e3;
}

void BM_TinyPicturesSheetPdf600dpi(benchmark::State &state)
{
    const OpenCard card(bombs::manyTinyPicturesCard(2000));
    QTemporaryDir dir;
    const QString path = dir.filePath("sheet.pdf");
    for (auto _ : state) {
        drawAtPreviewSize(state, card.order);
        WriteSheetPdf(path, QPageSize(QPageSize::A4), kSheetPdfDpi, card.order, PrintSpace{});
    }
    state.counters["card_KB"] = static_cast<double>(card.size) / 1e3;
    state.counters["pdf_MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}

} // namespace

int writePictureCard(const QString &kind, const QString &cardFile)
{
    QByteArray bytes;
    if (kind == "rle")
        bytes = bombs::rleDeltaCard();
    else if (kind == "plain")
        bytes = bombs::plainBitmapCard();
    else if (kind == "tiny")
        bytes = bombs::manyTinyPicturesCard();
    else
        return 2;
    QFile f(cardFile);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return 1;
    return 0;
}

BENCHMARK(BM_BitmapCardImage)
    ->ArgsProduct({{0, 1}, {600, 2400}})
    ->Apply(withSpread)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinyPicturesSheetPdf600dpi)->Apply(withSpread)->Unit(benchmark::kMillisecond);
