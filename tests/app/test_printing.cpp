#include "app/printing.h"
#include "card/objects.h"
#include "print/testcard.h"

#include <QDir>
#include <QImageReader>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

TEST(PrintSheet, WritesAPdfJob)
{
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    const QString pdfinfo = QStandardPaths::findExecutable("pdfinfo");
    if (pdftoppm.isEmpty() || pdfinfo.isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath("sheet.pdf");
    SolidCard card(kCardColor);
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(600);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setFullPage(true);
        PrintSheet(printer, card.Order(), PrintSpace{10, 7, 3, 3});
    }

    QProcess info;
    info.start(pdfinfo, {pdf});
    ASSERT_TRUE(info.waitForFinished(30000));
    const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QRegularExpression("Pages:\\s+1\\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains("(A4)")) << text.toStdString();

    QProcess raster;
    raster.start(pdftoppm, {"-r", "600", "-png", pdf, dir.filePath("page")});
    ASSERT_TRUE(raster.waitForFinished(120000));
    const QStringList pngs = QDir(dir.path()).entryList({"page*.png"});
    ASSERT_EQ(pngs.size(), 1);
    // A4 at 600 dpi is over Qt's default 128 MB reading limit.
    QImageReader::setAllocationLimit(1024);
    const QImage page(dir.filePath(pngs.first()));
    ASSERT_FALSE(page.isNull());
    // The rasteriser may move an edge by a pixel or two.
    for (int x : {236, 2455}) {
        for (int y : {165, 1534, 2903, 4272, 5641}) {
            SCOPED_TRACE(testing::Message() << "cell at " << x << "," << y);
            EXPECT_TRUE(isCardColor(page.pixel(x + 2, y + 2)));
            EXPECT_TRUE(isCardColor(page.pixel(x + 2149 - 3, y + 1299 - 3)));
            EXPECT_TRUE(isWhite(page.pixel(x - 3, y + 10)));
            EXPECT_TRUE(isWhite(page.pixel(x + 10, y - 3)));
            EXPECT_TRUE(isWhite(page.pixel(x + 2149 + 2, y + 10)));
            EXPECT_TRUE(isWhite(page.pixel(x + 10, y + 1299 + 2)));
        }
    }
}

TEST(PrintSheet, FailsClearlyWhenTheJobCannotStart)
{
    const DrawingOrder nothing;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName("/nonexistent-folder/sheet.pdf");
    try {
        PrintSheet(printer, nothing, PrintSpace{10, 7, 3, 3});
        FAIL() << "no exception";
    } catch (const std::runtime_error &e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("印刷を開始できません"), std::string::npos) << message;
        EXPECT_NE(message.find("/nonexistent-folder/sheet.pdf"), std::string::npos) << message;
    }
}
