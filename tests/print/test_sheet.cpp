#include "print/pagerecorder.h"
#include "print/sheet.h"
#include "testcard.h"

#include "card/sjis.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <limits>

namespace {

QImage whitePage(int dpi, QSize size)
{
    QImage page(size, QImage::Format_RGB32);
    page.fill(Qt::white);
    const int dpm = qRound(dpi / 0.0254);
    page.setDotsPerMeterX(dpm);
    page.setDotsPerMeterY(dpm);
    return page;
}

// The cell occupies exactly x..x+w-1, y..y+h-1 of `page`, with white just outside.
void expectCellAt(const QImage &page, int x, int y, int w, int h)
{
    SCOPED_TRACE(testing::Message() << "cell at " << x << "," << y);
    EXPECT_TRUE(isCardColor(page.pixel(x, y)));
    EXPECT_TRUE(isCardColor(page.pixel(x + w - 1, y + h - 1)));
    EXPECT_TRUE(isWhite(page.pixel(x - 1, y)));
    EXPECT_TRUE(isWhite(page.pixel(x, y - 1)));
    EXPECT_TRUE(isWhite(page.pixel(x + w, y + h - 1)));
    EXPECT_TRUE(isWhite(page.pixel(x + w - 1, y + h)));
}

} // namespace

TEST(SheetLayout, PrinterNumbers)
{
    SheetLayout l = ComputeSheetLayout({600, 600, 0, 0}, PrintSpace{10, 7, 3, 3});
    EXPECT_EQ(l.width, 2149);
    EXPECT_EQ(l.height, 1299);
    EXPECT_EQ(l.left, 236);
    EXPECT_EQ(l.top, 165);
    EXPECT_EQ(l.gapX, 70);
    EXPECT_EQ(l.gapY, 70);
    const std::int64_t xs[] = {236, 2455};
    const std::int64_t ys[] = {165, 1534, 2903, 4272, 5641};
    for (int i = 0; i < kSheetCells; ++i) {
        EXPECT_EQ(l.cells[i].x, xs[i % 2]) << i;
        EXPECT_EQ(l.cells[i].y, ys[i / 2]) << i;
    }

    l = ComputeSheetLayout({600, 600, 100, 100}, PrintSpace{10, 7, 3, 3});
    EXPECT_EQ(l.cells[0].x, 136);
    EXPECT_EQ(l.cells[1].x, 2355);
    EXPECT_EQ(l.cells[0].y, 65);
    EXPECT_EQ(l.cells[9].y, 5541);

    l = ComputeSheetLayout({300, 300, 0, 0}, PrintSpace{10, 7, 3, 3});
    EXPECT_EQ(l.width, 1074);
    EXPECT_EQ(l.height, 649);
    EXPECT_EQ(l.left, 118);
    EXPECT_EQ(l.top, 82);
    EXPECT_EQ(l.gapX, 35);
    EXPECT_EQ(l.gapY, 35);

    l = ComputeSheetLayout({600, 1200, 0, 0}, PrintSpace{10, 7, 3, 3});
    EXPECT_EQ(l.width, 2149);
    EXPECT_EQ(l.height, 2598);
    EXPECT_EQ(l.top, 330);
    EXPECT_EQ(l.gapX, 70);
    EXPECT_EQ(l.gapY, 141);

    // Unbounded values stay exact in 64 bits.
    const std::int32_t big = std::numeric_limits<std::int32_t>::max();
    l = ComputeSheetLayout({600, 600, 0, 0}, PrintSpace{big, -big, big, 3});
    EXPECT_EQ(l.left, static_cast<std::int64_t>(600 * (big * 0.03937)));
    EXPECT_LT(l.top, -std::int64_t{std::numeric_limits<int>::max()});
    EXPECT_EQ(l.cells[1].x, l.left + l.width + l.gapX);
}

TEST(SheetLayout, PreviewNumbers)
{
    const double factor = 96 / 254.0;
    SheetLayout l = ComputePreviewLayout({96, 96, 0, 0}, factor, factor, PrintSpace{10, 7, 3, 3});
    EXPECT_EQ(l.width, 343);
    EXPECT_EQ(l.height, 207);
    EXPECT_EQ(l.left, 37);
    EXPECT_EQ(l.top, 26);
    EXPECT_EQ(l.gapX, 11);
    EXPECT_EQ(l.gapY, 11);
    l = ComputePreviewLayout({96, 96, 0, 0}, factor, factor, PrintSpace{20, 7, 3, 3});
    EXPECT_EQ(l.left, 75);
}

TEST(PrintSheet, CopiesTheCardIntoTenCellsOfAPage)
{
    SolidCard card(kCardColor);
    QImage page = whitePage(600, QSize(4960, 7016));
    {
        QPainter painter(&page);
        PrintSheet(painter, {600, 600, 0, 0}, page.size(), card.Order(), PrintSpace{10, 7, 3, 3});
    }
    for (int x : {236, 2455})
        for (int y : {165, 1534, 2903, 4272, 5641})
            expectCellAt(page, x, y, 2149, 1299);

    // No gaps: the cells touch; the row ends right after the second cell.
    page = whitePage(300, QSize(2480, 3508));
    {
        QPainter painter(&page);
        PrintSheet(painter, {300, 300, 0, 0}, page.size(), card.Order(), PrintSpace{10, 7, 0, 0});
    }
    EXPECT_TRUE(isCardColor(page.pixel(118 + 1074 - 1, 82)));
    EXPECT_TRUE(isCardColor(page.pixel(118 + 1074, 82 + 649)));
    EXPECT_TRUE(isWhite(page.pixel(118 + 2 * 1074, 82)));
    EXPECT_TRUE(isCardColor(page.pixel(118, 82 + 5 * 649 - 1)));
    EXPECT_TRUE(isWhite(page.pixel(118, 82 + 5 * 649)));

    // Margins beyond the page on every side draw nothing and do not fail.
    const QImage white = whitePage(300, QSize(2480, 3508));
    const std::int32_t big = std::numeric_limits<std::int32_t>::max();
    for (auto [a, b] : {std::pair{big, 7}, {-big, 7}, {10, big}, {10, -big}, {-1000, -1000}}) {
        page = white;
        QPainter painter(&page);
        PrintSheet(painter, {300, 300, 0, 0}, page.size(), card.Order(), PrintSpace{a, b, 3, 3});
        painter.end();
        EXPECT_TRUE(page == white) << a << "," << b;
    }

    // A card with nothing visible gives a blank sheet.
    const DrawingOrder nothing;
    page = white;
    QPainter painter(&page);
    PrintSheet(painter, {300, 300, 0, 0}, page.size(), nothing, PrintSpace{10, 7, 3, 3});
    painter.end();
    EXPECT_TRUE(page == white);
}

// The vector sheet measures the texts exactly as the card image does, so the
// card keeps the same rectangles (and saves the same bytes) whichever sheet
// was made.
TEST(PrintVectorSheet, MeasuresTextsAsTheCardImageDoes)
{
    Objects card;
    auto *text = new TextObject(TRect{50, 40, 0, 0});
    text->SetText(sjis::fromUtf8("山田 太郎 Yamada Taro 0123-45-6789"));
    Font font;
    font.height = -16;
    text->SetFont(font);
    card["eName"].reset(text);
    const DrawingOrder order = MakeDrawingOrder(card);
    const SheetLayout layout = ComputeSheetLayout({600, 600, 0, 0}, PrintSpace{10, 7, 3, 3});
    RenderLayoutCardImage(layout, order);
    TRect byImage, other, byVector;
    text->GetRect(byImage);
    QImage small(1, 1, QImage::Format_RGB32);
    MeasureCard(order, &small, Converter(120));
    text->GetRect(other);
    ASSERT_NE(other.right, byImage.right) << "the check below would prove nothing";

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    writer.setResolution(600);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, {}));
    QPainter painter(&writer);
    PrintVectorSheet(painter, {600, 600, 0, 0}, {writer.width(), writer.height()}, order,
                     PrintSpace{10, 7, 3, 3});
    painter.end();
    text->GetRect(byVector);
    EXPECT_EQ(byVector.right, byImage.right);
    EXPECT_EQ(byVector.bottom, byImage.bottom);
    EXPECT_TRUE(pdf.data().startsWith("%PDF"));
}

TEST(DrawPreviewSheet, RecordsOneA4PageAt96Dpi)
{
    SolidCard card(kCardColor);
    PageRecorder rec;
    QSignalSpy finished(&rec, &PageRecorder::documentFinished);
    DrawPreviewSheet(rec, card.Order(), PrintSpace{10, 7, 3, 3});
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(rec.PageCount(), 1);
    EXPECT_EQ(rec.Canvas(), nullptr);
    const QImage &page = rec.Page();
    EXPECT_EQ(page.size(), QSize(794, 1123));
    EXPECT_EQ(page.logicalDpiX(), 96);
    EXPECT_EQ(page.logicalDpiY(), 96);
    for (int x : {37, 37 + 343 + 11})
        for (int r = 0; r < 5; ++r)
            expectCellAt(page, x, 26 + r * (207 + 11), 343, 207);

    // A second rendering replaces the page.
    DrawPreviewSheet(rec, card.Order(), PrintSpace{20, 7, 3, 3});
    EXPECT_EQ(rec.PageCount(), 1);
    expectCellAt(rec.Page(), 75, 26, 343, 207);
}

// A card stock's values and the sheet's shift move every cell to the pixel:
// rows of {values, first cell, step between columns, step between rows} at 600 dpi.
TEST(SheetLayout, StockAndShiftMoveEveryCell)
{
    struct Row
    {
        PrintSpace space;
        std::int64_t x0, y0, stepX, stepY;
    };
    const Row rows[] = {
        {PrintSpace{10, 7, 3, 3}, 236, 165, 2149 + 70, 1299 + 70},
        {PrintSpace{14, 11, 0, 0}, 330, 259, 2149, 1299},
        // 0.5 mm is 11.8 pixels, truncated toward zero either way.
        {PrintSpace{10, 7, 3, 3, 5, 0}, 236 + 11, 165, 2219, 1369},
        {PrintSpace{10, 7, 3, 3, -5, 10}, 236 - 11, 165 + 23, 2219, 1369},
        {PrintSpace{14, 11, 0, 0, 1, -1}, 330 + 2, 259 - 2, 2149, 1299},
    };
    for (const Row &r : rows) {
        const SheetLayout l = ComputeSheetLayout({600, 600, 0, 0}, r.space);
        for (int i = 0; i < kSheetCells; ++i) {
            EXPECT_EQ(l.cells[i].x, r.x0 + (i % 2) * r.stepX) << r.space.ox << " cell " << i;
            EXPECT_EQ(l.cells[i].y, r.y0 + (i / 2) * r.stepY) << r.space.oy << " cell " << i;
        }
    }
    // The preview shifts by its own resolution: 1 mm is 3 pixels at 96 dpi.
    const double factor = 96 / 254.0;
    const SheetLayout p =
        ComputePreviewLayout({96, 96, 0, 0}, factor, factor, PrintSpace{10, 7, 3, 3, 10, -10});
    EXPECT_EQ(p.cells[0].x, 37 + 3);
    EXPECT_EQ(p.cells[9].y, 26 - 3 + 4 * (207 + 11));

    // The drawn sheet follows the layout.
    SolidCard card(kCardColor);
    QImage page = whitePage(300, QSize(2480, 3508));
    {
        QPainter painter(&page);
        PrintSheet(painter, {300, 300, 0, 0}, page.size(), card.Order(),
                   PrintSpace{14, 11, 3, 3, -20, -20});
    }
    // 165 + trunc(300 x -2 x 0.03937) = 165 - 23; 129 - 23.
    for (int x : {165 - 23, 165 - 23 + 1074 + 35})
        for (int y = 0; y < 5; ++y)
            expectCellAt(page, x, 129 - 23 + y * (649 + 35), 1074, 649);
}

TEST(SheetLayout, NamesTheCellsOffThePaper)
{
    struct Row
    {
        PrintSpace space;
        SheetDevice dev;
        std::vector<int> off;
        const char *message;
    };
    const QSize a4(4960, 7015);
    const Row rows[] = {
        {PrintSpace{10, 7, 3, 3}, {600, 600, 0, 0}, {}, ""},
        {PrintSpace{10, 60, 3, 3},
         {600, 600, 0, 0},
         {9, 10},
         "9 枚目と 10 枚目が用紙からはみ出します"},
        {PrintSpace{10, 7, 3, 3, -300, 0},
         {600, 600, 0, 0},
         {1, 3, 5, 7, 9},
         "1 枚目、3 枚目、5 枚目、7 枚目と 9 枚目が用紙からはみ出します"},
        {PrintSpace{10, 7, 3, 3, 0, -71}, {600, 600, 0, 0}, {1, 2}, nullptr},
        // The printable area starts 100 pixels in: a zero margin is still on the paper.
        {PrintSpace{0, 0, 3, 3}, {600, 600, 100, 100}, {}, ""},
    };
    for (const Row &r : rows) {
        const std::vector<int> off = CellsOffPaper(ComputeSheetLayout(r.dev, r.space), r.dev, a4);
        EXPECT_EQ(off, r.off) << r.space.b << "," << r.space.ox;
        if (r.message != nullptr) {
            EXPECT_EQ(OffPaperMessage(off), QString::fromUtf8(r.message));
        }
    }
}

TEST(PrintSheet, CropMarksContinueTheEdgesIntoTheGaps)
{
    SolidCard card(kCardColor);
    const QImage white = whitePage(300, QSize(2480, 3508));
    // At 300 dpi: cells of 1074 x 649 from 118, 82; gaps and marks 35 pixels.
    QImage page = white;
    {
        QPainter painter(&page);
        PrintSheet(painter, {300, 300, 0, 0}, page.size(), card.Order(),
                   PrintSpace{10, 7, 3, 3, 0, 0, true});
    }
    const QRgb black = qRgb(0, 0, 0);
    EXPECT_EQ(page.pixel(117, 82), black);
    EXPECT_EQ(page.pixel(118 - 35, 82), black);
    EXPECT_TRUE(isWhite(page.pixel(118 - 36, 82)));
    EXPECT_TRUE(isWhite(page.pixel(117, 83))); // one pixel thin
    EXPECT_EQ(page.pixel(118, 81), black);
    EXPECT_EQ(page.pixel(118, 82 - 35), black);
    EXPECT_TRUE(isWhite(page.pixel(118, 82 - 36)));
    // Across the gap between the columns, and the gap between the rows.
    for (int x = 1192; x < 1192 + 35; ++x)
        EXPECT_EQ(page.pixel(x, 82), black) << x;
    EXPECT_TRUE(isCardColor(page.pixel(1192 + 35, 82)));
    EXPECT_EQ(page.pixel(1192 - 1, 731), black);
    EXPECT_EQ(page.pixel(118, 731 + 34), black);
    EXPECT_TRUE(isWhite(page.pixel(1200, 300)));
    // The bottom-right corner of the last cell.
    EXPECT_EQ(page.pixel(1192 + 35 + 1074, 82 + 4 * 684 + 648), black);

    // Stock without gaps: marks only around the block, the cells untouched.
    page = white;
    {
        QPainter painter(&page);
        PrintSheet(painter, {300, 300, 0, 0}, page.size(), card.Order(),
                   PrintSpace{14, 11, 0, 0, 0, 0, true});
    }
    EXPECT_EQ(page.pixel(164, 129), black);
    EXPECT_TRUE(isCardColor(page.pixel(165 + 1073, 129)));
    EXPECT_TRUE(isCardColor(page.pixel(165 + 1074, 129)));
    EXPECT_TRUE(isCardColor(page.pixel(165, 129 + 649)));
    EXPECT_EQ(page.pixel(165 + 2 * 1074, 129), black);
}
