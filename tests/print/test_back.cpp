#include "print/pdffile.h"
#include "print/sheet.h"
#include "testcard.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A4 at 600 dpi, the sheet PDF's page; front cells 2149 x 1299 at x 236 and
// 2455, y 165 + 1369 r for the margins 10, 7, 3, 3.
const QSize kPaper(4960, 7016);

struct BackCase
{
    const char *what;
    bool shortEdge;
    std::int32_t ox, oy; // the shift, 0.1 mm
    int devOx, devOy;    // the printable area's offset
    // Back cells 0 (top left front), 1 (top right front) and 9 (bottom right front).
    std::int64_t x0, y0, x1, y1, x9, y9;
};

} // namespace

TEST(BackLayout, EachBackLiesBehindItsFrontOnceTurned)
{
    const BackCase cases[] = {
        // Columns swap sides, 10 mm from the left becomes 10 mm from the right.
        {"long edge", false, 0, 0, 0, 0, 4960 - 236 - 2149, 165, 4960 - 2455 - 2149, 165,
         4960 - 2455 - 2149, 5641},
        {"short edge", true, 0, 0, 0, 0, 236, 7016 - 165 - 1299, 2455, 7016 - 165 - 1299, 2455,
         7016 - 5641 - 1299},
        // 2 mm right is 47 pixels, on both sides alike; the printable area's
        // offset is taken off the mirrored paper position again.
        {"long edge, shifted, printable area", false, 20, 0, 100, 0, 2575 + 47 - 100, 165,
         356 + 47 - 100, 165, 356 + 47 - 100, 5641},
        // 1 mm up is -23 pixels.
        {"short edge, shifted, printable area", true, 0, -10, 0, 50, 236, 5552 - 23 - 50, 2455,
         5552 - 23 - 50, 2455, 76 - 23 - 50},
    };
    for (const BackCase &c : cases) {
        SCOPED_TRACE(c.what);
        PrintSpace space{10, 7, 3, 3, c.ox, c.oy};
        space.back = {"back.pkd", c.shortEdge};
        const SheetDevice dev{600, 600, c.devOx, c.devOy};
        const SheetLayout back =
            ComputeBackLayout(ComputeSheetLayout(dev, space), dev, kPaper, space);
        EXPECT_EQ(back.cells[0].x, c.x0);
        EXPECT_EQ(back.cells[0].y, c.y0);
        EXPECT_EQ(back.cells[1].x, c.x1);
        EXPECT_EQ(back.cells[1].y, c.y1);
        EXPECT_EQ(back.cells[9].x, c.x9);
        EXPECT_EQ(back.cells[9].y, c.y9);
        EXPECT_EQ(back.width, 2149);
    }

    // Shifted 17 mm right, the right column of the front and the right
    // column of the back leave the paper: the backs of the left fronts.
    const PrintSpace shifted{10, 7, 3, 3, 170, 0};
    const SheetDevice dev{600, 600, 0, 0};
    const SheetLayout front = ComputeSheetLayout(dev, shifted);
    const SheetOffPaper off{
        CellsOffPaper(front, dev, kPaper),
        CellsOffPaper(ComputeBackLayout(front, dev, kPaper, shifted), dev, kPaper)};
    EXPECT_EQ(OffPaperMessage(off).toStdString(),
              "2 枚目、4 枚目、6 枚目、8 枚目と 10 枚目が用紙からはみ出します。"
              "裏面の 1 枚目、3 枚目、5 枚目、7 枚目と 9 枚目が用紙からはみ出します");
}

// The two-page PDF rasterised at 600 dpi: page 1 the fronts, page 2 the
// backs at the front's cells mirrored about the paper's centre line (the
// margins 10 and 15 mm differ, so a mere exchange of the columns would not do).
TEST(WriteSheetPdf, WritesTheBackOnTheSecondPageMirrored)
{
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    if (pdftoppm.isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";
    auto isBack = [](QRgb px) {
        return qAbs(qRed(px) - 30) < 10 && qAbs(qGreen(px) - 60) < 10 && qAbs(qBlue(px) - 200) < 10;
    };
    SolidCard front(kCardColor), back(QColor(30, 60, 200));
    QTemporaryDir dir;
    PrintSpace space{10, 7, 3, 3};
    space.back.file = "back.pkd";
    const QString pdf = dir.filePath("sheet.pdf");
    WriteSheetPdf(pdf, QPageSize(QPageSize::A4), 600, front.Order(), space, false, &back.Order());
    QProcess raster;
    // PPM: no compression to spend time on.
    raster.start(pdftoppm, {"-r", "600", pdf, dir.filePath("page")});
    ASSERT_TRUE(raster.waitForFinished(120000));
    const QStringList pages = QDir(dir.path()).entryList({"page*.ppm"}, QDir::Files, QDir::Name);
    ASSERT_EQ(pages.size(), 2);
    QImageReader::setAllocationLimit(1024);
    const QImage one(dir.filePath(pages[0])), two(dir.filePath(pages[1]));
    ASSERT_FALSE(one.isNull() || two.isNull());
    for (int x : {236, 2455}) {
        for (int y : {165, 1534, 2903, 4272, 5641}) {
            const int bx = two.width() - x - 2149;
            SCOPED_TRACE(testing::Message() << "front " << x << "," << y);
            // Two pixels in from each corner: the rasteriser may move an edge.
            for (auto [dx, dy] : {std::pair{2, 2}, {2149 - 3, 1299 - 3}}) {
                EXPECT_TRUE(isCardColor(one.pixel(x + dx, y + dy)));
                EXPECT_TRUE(isBack(two.pixel(bx + dx, y + dy)));
            }
            EXPECT_TRUE(isWhite(two.pixel(bx - 3, y + 10)));
            EXPECT_TRUE(isWhite(two.pixel(bx + 2149 + 2, y + 10)));
            EXPECT_TRUE(isWhite(two.pixel(bx + 10, y - 3)));
            EXPECT_TRUE(isWhite(two.pixel(bx + 10, y + 1299 + 2)));
        }
    }
}
