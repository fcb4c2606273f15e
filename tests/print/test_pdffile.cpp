#include "print/pdffile.h"
#include "print/sheet.h"

#include "card/defaultcard.h"
#include "card/drawnline.h"
#include "card/files.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "full_disk.h"
#include "realistic_texts.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The PDF `draw` paints on an A4 page at 600 dpi, without its creation time.
template <typename Draw> QByteArray pdfOf(Draw draw)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&out);
        writer.setResolution(600);
        QPainter painter(&writer);
        draw(painter, writer);
    }
    QByteArray pdf = out.data();
    const qsizetype date = pdf.indexOf("/CreationDate (");
    if (date >= 0)
        pdf.remove(date, pdf.indexOf(')', date) + 1 - date);
    return pdf;
}

} // namespace

// Into a PDF a line is drawn from the glyphs it was laid out with, which
// writes exactly what drawText writes: the same glyphs, places and text, also
// turned as a vertical line turns its half-width runs. Lines whose glyphs
// were remapped are drawn differently on purpose.
TEST(DrawnLine, WritesIntoAPdfWhatDrawTextWrites)
{
    const char *lines[] = {"山田 太郎", "株式会社プラクロ商事 第12支店",
                           "yamada@plakuro.example.jp", "〒150-0002 東京都渋谷区渋谷2-21-1",
                           "やまだ　たろう"};
    int compared = 0;
    for (const char *utf8 : lines) {
        for (const qreal angle : {0.0, 90.0}) {
            const QString text = QString::fromUtf8(utf8);
            QFont font(QStringLiteral("Noto Sans CJK JP"));
            font.setPixelSize(55);
            bool remapped = false;
            const QByteArray byText = pdfOf([&](QPainter &p, QPdfWriter &) {
                p.setFont(font);
                p.translate(1200, 400);
                p.rotate(angle);
                p.drawText(QPointF(0, 0), text);
            });
            const QByteArray byGlyphs = pdfOf([&](QPainter &p, QPdfWriter &writer) {
                const DrawnLine line(text, font, &writer);
                remapped = line.Remapped();
                p.setFont(font);
                p.translate(1200, 400);
                p.rotate(angle);
                line.Draw(p, QPointF(0, 0));
            });
            if (remapped)
                continue;
            ++compared;
            EXPECT_EQ(byGlyphs, byText) << utf8 << " " << angle;
        }
    }
    EXPECT_GE(compared, 6);
}

// A page is written while the next is drawn; a write that fails there is
// still reported (by the next use of the painter or by Finish), and the
// file is not made.
TEST(PdfFile, PagesWrittenAlongsideFailAsTheFileFails)
{
    Objects card;
    BuildDefaultCard(card);
    for (const auto &[key, text] : kRealisticTexts)
        dynamic_cast<TextObject &>(*card.Find(key)).SetText(sjis::fromUtf8(text));
    const DrawingOrder order = MakeDrawingOrder(card);
    const SheetDevice dev{600, 600, 0, 0};
    QTemporaryDir dir;
    auto write = [&](const QString &path, int pages) {
        PdfFile pdf(path, QPageSize(QPageSize::A4), 600);
        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                pdf.NewPage();
            PrintVectorSheet(pdf, dev, order, PrintSpace{10, 7, 3, 3});
        }
        pdf.Finish();
    };

    const QString good = dir.filePath(QStringLiteral("good.pdf"));
    write(good, 3);
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {good});
    ASSERT_TRUE(info.waitForFinished());
    EXPECT_TRUE(info.readAllStandardOutput().contains("Pages:           3"));

    const QString full = dir.filePath(QStringLiteral("full.pdf"));
    {
        const FullDisk disk(64 * 1024);
        EXPECT_THROW(write(full, 40), FileError);
    }
    EXPECT_FALSE(QFile::exists(full));
}
