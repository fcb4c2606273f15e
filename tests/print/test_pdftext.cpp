#include "card/defaultcard.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "print/pdffile.h"
#include "print/pdftext.h"
#include "realistic_texts.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A reader of a PDF's text (scripts/deps.sh installs both) and how it reads
// text set top to bottom: pdftotext lays out the page by where the words lie
// and breaks vertical lines into words, so those are read in the file's order
// (-raw); mutool puts each upright character on its own line. Blanks and line
// breaks between the characters of a vertical line say nothing of its text.
struct Reader
{
    QString program;
    QStringList arguments;
    QStringList verticalArguments;
};

const Reader kReaders[] = {
    {QStringLiteral("pdftotext"), {}, {QStringLiteral("-raw")}},
    {QStringLiteral("mutool"),
     {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("txt")},
     {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("txt")}},
};

QString readText(const Reader &reader, const QString &pdf, bool vertical)
{
    QStringList arguments = vertical ? reader.verticalArguments : reader.arguments;
    arguments << pdf;
    if (reader.program == QLatin1String("pdftotext"))
        arguments << QStringLiteral("-");
    QProcess p;
    p.start(reader.program, arguments);
    if (!p.waitForFinished() || p.exitCode() != 0)
        ADD_FAILURE() << reader.program.toStdString() << " did not read " << pdf.toStdString()
                      << " (scripts/deps.sh installs it)";
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString withoutBlanks(QString text)
{
    text.removeIf([](QChar c) { return c.isSpace(); });
    return text;
}

// One line of a test card: the field it is in (a field with a header shows
// it first, "TEL " before the telephone number) and how it is set.
struct Line
{
    const char *key;
    const char *text; // UTF-8
    bool vertical = false;
};

struct TestCard
{
    const char *name;
    std::vector<Line> lines;
    const char *face = "ＭＳ Ｐゴシック"; // as stored; drawn with Noto Sans CJK JP
    bool bold = false;
};

std::vector<Line> realisticLines()
{
    std::vector<Line> lines;
    for (const auto &[key, text] : kRealisticTexts)
        lines.push_back({key, text});
    return lines;
}

} // namespace

// Every line of a sheet reads back as the card shows it, ten times, with no
// character lost (U+FFFD) or read as another (a CJK radical for its kanji, a
// Western form for a Japanese one): the realistic card in the gothic and the
// mincho faces, kanji whose glyphs Noto shares with a radical, and lines set
// top to bottom. Digits after Latin letters (TEL, FAX) once came out of a
// Latin run shaped with glyphs the font's character map does not reach.
TEST(PdfText, EveryLineReadsBackAsShown)
{
    const char *kanji = "山田一二人大木日月女子角言";
    const TestCard cards[] = {
        {"realistic", realisticLines()},
        {"realistic, mincho bold", realisticLines(), "ＭＳ Ｐ明朝", true},
        // By its own name: the stored faces need not draw with it.
        {"kanji sharing a radical's glyph", {{"eName", kanji}}, "Noto Sans CJK JP"},
        {"kanji sharing a radical's glyph, bold", {{"eName", kanji}}, "Noto Sans CJK JP", true},
        {"vertical",
         {{"eName", "山田　太郎", true},
          {"eTel", "03-1234-5678", true},
          {"eMobile", "090-1234-5678", true},
          {"eFax", "03-1234-5679", true},
          {"eAddress", "丸の内1-2-3「丸の内ビル」12F", true},
          {"eMemo1", "営業時間：（月）～（金）、10時～18時。", true},
          {"eMemo2", "ご相談もどうぞ…", true}}},
    };
    QTemporaryDir dir;
    int made = 0;
    for (const TestCard &c : cards) {
        Objects card;
        BuildDefaultCard(card);
        std::vector<std::pair<QString, bool>> shown;
        int column = 0;
        for (const Line &line : c.lines) {
            auto &text = dynamic_cast<TextObject &>(*card.Find(line.key));
            text.SetText(sjis::fromUtf8(line.text));
            Font font;
            text.GetFont(font);
            font.name = sjis::fromUtf8(c.face);
            font.bold = c.bold;
            font.vertical = line.vertical;
            text.SetFont(font);
            if (line.vertical) {
                // Columns side by side from the card's right.
                const int left = 850 - 70 * column++;
                text.SetRect({left, 30, left, 30});
            }
            shown.push_back({sjis::toUnicode(text.DisplayText()), line.vertical});
        }
        const QString path = dir.filePath(QStringLiteral("sheet%1.pdf").arg(made++));
        WriteSheetPdf(path, QPageSize(QPageSize::A4), kSheetPdfDpi, MakeDrawingOrder(card),
                      PrintSpace{10, 7, 3, 3});
        for (const Reader &reader : kReaders) {
            for (bool vertical : {false, true}) {
                const QString out = readText(reader, path, vertical);
                for (const auto &[text, lineVertical] : shown) {
                    if (lineVertical != vertical)
                        continue;
                    const qsizetype times =
                        vertical ? withoutBlanks(out).count(withoutBlanks(text)) : out.count(text);
                    EXPECT_EQ(times, 10) << c.name << ", " << reader.program.toStdString() << ": "
                                         << text.toStdString();
                }
                EXPECT_FALSE(out.contains(QChar(0xFFFD))) << c.name;
                EXPECT_FALSE(std::any_of(out.begin(), out.end(), [](QChar ch) {
                    return ch.unicode() >= 0x2E80 && ch.unicode() <= 0x2FDF;
                })) << c.name;
            }
        }
    }
}

// The filter fixes a map however the engine's writes cut it, keeps every
// byte's place, and leaves runs and what stands for no other card character
// alone: radicals become their kanji, a tab the space Qt draws for it, U+2003
// the ideographic space and 〜 the ～ of code page 932, in single codes and in
// lists.
TEST(PdfText, TheFilterFixesMapsInPlaceAcrossWrites)
{
    const QByteArray before = "1 0 obj\nstream\nbegincmap\n4 beginbfchar\n<0001> <2F2D>\n"
                              "<0002> <2F25>\n<0003> <0041>\n<0007> <0009>\nendbfchar\n"
                              "3 beginbfrange\n<0004> <0004> <2F00>\n<0005> <0006> <2F08>\n"
                              "<0008> <000A> [<2003> <301C> <0030>]\nendbfrange\nendcmap\n"
                              "endstream\n";
    const QByteArray after = "1 0 obj\nstream\nbegincmap\n4 beginbfchar\n<0001> <5C71>\n"
                             "<0002> <5973>\n<0003> <0041>\n<0007> <0020>\nendbfchar\n"
                             "3 beginbfrange\n<0004> <0004> <4E00>\n<0005> <0006> <2F08>\n"
                             "<0008> <000A> [<3000> <FF5E> <0030>]\nendbfrange\nendcmap\n"
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
