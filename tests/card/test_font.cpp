#include "card/font.h"
#include "card/sjis.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

Font stored(const char *face, bool bold = false)
{
    Font f;
    f.name = sjis::fromUtf8(face);
    f.height = -32;
    f.bold = bold;
    return f;
}

// Pixels darker than mid-grey of `text` drawn black on white in `font`.
int darkPixels(const Font &font, const QString &text)
{
    QImage image(600, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font.toQFont());
    p.setPen(Qt::black);
    p.drawText(QPoint(4, 56), text);
    p.end();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qGray(image.pixel(x, y)) < 128;
    return n;
}

} // namespace

// Each face a card may name draws with the Noto cut of its kind: the fixed
// gothic faces with the Mono cut (half-width Latin like theirs).
TEST(Fonts, StoredFacesDrawWithNoto)
{
    const struct
    {
        const char *face;
        const char *drawn;
    } cases[] = {
        {"ＭＳ Ｐゴシック", "Noto Sans CJK JP"},    {"MS PGothic", "Noto Sans CJK JP"},
        {"ＭＳ ＵＩ Gothic", "Noto Sans CJK JP"},   {"メイリオ", "Noto Sans CJK JP"},
        {"ＭＳ ゴシック", "Noto Sans Mono CJK JP"}, {"MS Gothic", "Noto Sans Mono CJK JP"},
        {"ＭＳ Ｐ明朝", "Noto Serif CJK JP"},       {"ＭＳ 明朝", "Noto Serif CJK JP"},
        {"MS Mincho", "Noto Serif CJK JP"},         {"游明朝", "Noto Serif CJK JP"},
    };
    for (const auto &c : cases) {
        for (bool bold : {false, true}) {
            const QFontInfo info(stored(c.face, bold).toQFont());
            EXPECT_EQ(info.family(), QString::fromUtf8(c.drawn)) << c.face;
            EXPECT_EQ(info.bold(), bold) << c.face;
        }
    }
}

// Bold is a heavier face, not the regular one: more ink for the same text.
TEST(Fonts, BoldDrawsHeavier)
{
    const QString text = QStringLiteral("山田 太郎 Yamada 03-1234");
    for (const char *face : {"ＭＳ Ｐゴシック", "ＭＳ ゴシック", "ＭＳ Ｐ明朝"}) {
        const int regular = darkPixels(stored(face), text);
        const int bold = darkPixels(stored(face, true), text);
        EXPECT_GT(bold, regular * 13 / 10) << face << ": " << regular << " vs " << bold;
    }
}

// The window's face is the card's default face, drawn the same way.
TEST(Fonts, WindowFontIsTheDefaultFace)
{
    EXPECT_EQ(QFontInfo(WindowFont()).family(), QStringLiteral("Noto Sans CJK JP"));
    EXPECT_EQ(QFontInfo(WindowFont()).pixelSize(), 12);
}

// Every Japanese face is laid out on its em box: a card's lines sit where
// they sat whichever installed face draws them (Noto's own ascent is a
// third of an em taller than IPA's); a Latin face keeps its own metrics.
TEST(Fonts, JapaneseFacesShareTheEmBox)
{
    QImage device(8, 8, QImage::Format_RGB32);
    for (int px : {15, 21, 55, 300}) {
        for (const char *family : {"Noto Sans CJK JP", "Noto Serif CJK JP", "Noto Sans Mono CJK JP",
                                   "IPAPGothic", "IPAMincho"}) {
            QFont f(QString::fromUtf8(family));
            f.setPixelSize(px);
            const LineBox box = MeasureLineBox(f, QFontMetrics(f, &device));
            EXPECT_EQ(box.ascent, qRound(px * 0.88)) << family << " " << px;
            EXPECT_EQ(box.height, px) << family << " " << px;
        }
        QFont latin(QStringLiteral("DejaVu Sans"));
        latin.setPixelSize(px);
        const QFontMetrics fm(latin, &device);
        EXPECT_EQ(MeasureLineBox(latin, fm).ascent, fm.ascent());
        EXPECT_EQ(MeasureLineBox(latin, fm).height, fm.height());
    }
}
