#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "print/pdffile.h"
#include "print/pdftext.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString pdfToText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// Kanji whose glyphs Noto shares with a radical come out of a sheet as
// themselves, in the regular and the bold face, and no radical is left; a
// file with nothing (more) to fix keeps its bytes.
TEST(PdfText, KanjiSharingARadicalsGlyphStayKanji)
{
    const QString kanji = QStringLiteral("山田一二人大木日月女子角言");
    QTemporaryDir dir;
    for (bool bold : {false, true}) {
        Objects card;
        auto *text = new TextObject(TRect{50, 40, 0, 0});
        text->SetText(sjis::fromUtf8(kanji.toStdString()));
        Font font;
        // By its own name: the stored faces need not draw with it.
        font.name = "Noto Sans CJK JP";
        font.height = -16;
        font.bold = bold;
        text->SetFont(font);
        card["eName"].reset(text);
        const QString path = dir.filePath(QStringLiteral("sheet%1.pdf").arg(bold));
        WriteSheetPdf(path, QPageSize(QPageSize::A4), kSheetPdfDpi, MakeDrawingOrder(card),
                      PrintSpace{10, 7, 3, 3});
        const QString out = pdfToText(path);
        for (const QChar k : kanji)
            EXPECT_EQ(out.count(k), 10) << QString(k).toStdString() << " bold " << bold;
        for (const QChar c : out)
            EXPECT_FALSE(c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF) << bold;
    }
}

// The filter fixes a map however the engine's writes cut it, keeps every
// byte's place, and leaves runs and what is not a radical alone.
TEST(PdfText, TheFilterFixesMapsInPlaceAcrossWrites)
{
    const QByteArray before = "1 0 obj\nstream\nbegincmap\n3 beginbfchar\n<0001> <2F2D>\n"
                              "<0002> <2F25>\n<0003> <0041>\nendbfchar\n2 beginbfrange\n"
                              "<0004> <0004> <2F00>\n<0005> <0006> <2F08>\nendbfrange\nendcmap\n"
                              "endstream\n";
    const QByteArray after = "1 0 obj\nstream\nbegincmap\n3 beginbfchar\n<0001> <5C71>\n"
                             "<0002> <5973>\n<0003> <0041>\nendbfchar\n2 beginbfrange\n"
                             "<0004> <0004> <4E00>\n<0005> <0006> <2F08>\nendbfrange\nendcmap\n"
                             "endstream\n";
    for (qsizetype piece : {qsizetype(1), qsizetype(5), before.size()}) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        PdfTextMapFilter filter(out);
        for (qsizetype i = 0; i < before.size(); i += piece)
            filter.write(before.mid(i, piece));
        filter.Flush();
        EXPECT_EQ(out.data(), after) << piece;
    }
}
