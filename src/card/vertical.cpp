#include "card/vertical.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// The ideographic em box: the baseline lies this far below a cell's top.
constexpr qreal kAscent = 0.88;
// How far small kana move toward the top-right corner of their cell, in ems:
// right, and up from the baseline they sit on across.
constexpr qreal kSmallKanaRight = 0.1;
constexpr qreal kSmallKanaUp = 0.15;

enum class Kind
{
    Upright,
    // Stands where the vertical form stands: the ink reflected through the
    // cell's centre (bottom-left to top-right), the glyph itself unturned.
    Reflected,
    Turned,
    SmallKana
};

Kind kindOf(char16_t c)
{
    switch (c) {
    case u'、':
    case u'。':
    case u'，':
    case u'．':
        return Kind::Reflected;
    case u'「':
    case u'」':
    case u'『':
    case u'』':
    case u'（':
    case u'）':
    case u'【':
    case u'】':
    case u'〔':
    case u'〕':
    case u'［':
    case u'］':
    case u'｛':
    case u'｝':
    case u'〈':
    case u'〉':
    case u'《':
    case u'》':
    case u'〖':
    case u'〗':
    case u'＜':
    case u'＞':
    case u'ー':
    case u'～':
    case u'〜':
    case u'－':
    case u'−':
    case u'―':
    case u'—':
    case u'‐':
    case u'…':
    case u'‥':
    case u'＝':
    case u'：':
    case u'；':
    case u'∥':
    case u'￣':
    case u'＿':
    case u'｢':
    case u'｣':
        return Kind::Turned;
    case u'ぁ':
    case u'ぃ':
    case u'ぅ':
    case u'ぇ':
    case u'ぉ':
    case u'っ':
    case u'ゃ':
    case u'ゅ':
    case u'ょ':
    case u'ゎ':
    case u'ァ':
    case u'ィ':
    case u'ゥ':
    case u'ェ':
    case u'ォ':
    case u'ッ':
    case u'ャ':
    case u'ュ':
    case u'ョ':
    case u'ヮ':
    case u'ヵ':
    case u'ヶ':
        return Kind::SmallKana;
    default:
        return Kind::Upright;
    }
}

// Half-width characters, which turn with the line as a run.
bool halfWidth(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() < 0x7F;
}

bool digits(const QString &run)
{
    return std::all_of(run.begin(), run.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Where the piece's glyphs lie, from its baseline's start. A string's tight
// bounds always reach down or up to the baseline; one character's are its own.
QRectF inkOf(const QFontMetricsF &fm, const QString &piece, const DrawnLine &line)
{
    if (line.Remapped())
        return line.GlyphBounds();
    return piece.size() == 1 ? fm.boundingRect(piece[0]) : fm.tightBoundingRect(piece);
}

// Turns a cell's content 90° clockwise about the cell's centre.
QTransform turnedInCell(qreal em, qreal top)
{
    const QPointF centre(em / 2, top + em / 2);
    return QTransform::fromTranslate(-centre.x(), -centre.y()) * QTransform().rotate(90) *
           QTransform::fromTranslate(centre.x(), centre.y());
}

} // namespace

VerticalLine::VerticalLine(const QString &text, const QFont &drawn, QPaintDevice *device)
    : font(drawn), underline(drawn.underline()), strikeout(drawn.strikeOut())
{
    font.setUnderline(false);
    font.setStrikeOut(false);
    const QFontMetricsF fm(font, device);
    em = font.pixelSize() > 0 ? font.pixelSize() : fm.height();
    width = static_cast<int>(std::ceil(em));
    lineWidth = std::max<qreal>(1.0, fm.lineWidth());
    QRectF inkF;
    // Each piece laid out as it is drawn, with its advance.
    auto lay = [&](const QString &piece) {
        DrawnLine line(piece, font, device);
        const qreal advance = fm.horizontalAdvance(piece) + line.ExtraAdvance();
        return std::pair{line, advance};
    };
    auto add = [&](const QString &piece, const DrawnLine &line, const QTransform &place) {
        pieces.push_back({line, place});
        const QRectF bounds = inkOf(fm, piece, line);
        if (!bounds.isEmpty())
            inkF |= place.mapRect(bounds);
    };
    qreal y = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (halfWidth(text[i])) {
            qsizetype end = i;
            while (end < text.size() && halfWidth(text[end]))
                ++end;
            const QString run = text.mid(i, end - i);
            const auto [line, advance] = lay(run);
            i = end;
            if (run.size() <= 2 && digits(run)) {
                // 縦中横: upright side by side in one cell.
                const qreal scale = advance > em ? em / advance : 1.0;
                add(run, line,
                    QTransform::fromScale(scale, 1) *
                        QTransform::fromTranslate((em - advance * scale) / 2, y + kAscent * em));
                y += em;
                continue;
            }
            // Tops to the right; the run's em box across the column as the
            // ideographic box lies along a horizontal line.
            add(run, line,
                QTransform().rotate(90) * QTransform::fromTranslate((1 - kAscent) * em, y));
            y += advance;
            continue;
        }
        // A character outside the basic plane (no Shift-JIS text holds one)
        // stays whole.
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString ch = text.mid(i, n);
        i += n;
        const auto [line, advance] = lay(ch);
        const QTransform upright = QTransform::fromTranslate((em - advance) / 2, y + kAscent * em);
        switch (n == 1 ? kindOf(ch[0].unicode()) : Kind::Upright) {
        case Kind::Upright:
            add(ch, line, upright);
            break;
        case Kind::Reflected: {
            // From the glyph's own box, which a proportional face makes
            // narrower than the cell: its margin to the left becomes the
            // margin to the cell's right.
            const QTransform across = QTransform::fromTranslate(0, y + kAscent * em);
            const QRectF bounds = across.mapRect(inkOf(fm, ch, line));
            const qreal dx = em - bounds.left() - bounds.right();
            const qreal dy = 2 * y + em - bounds.top() - bounds.bottom();
            add(ch, line, across * QTransform::fromTranslate(dx, dy));
            break;
        }
        case Kind::Turned:
            add(ch, line, upright * turnedInCell(em, y));
            break;
        case Kind::SmallKana:
            add(ch, line,
                upright * QTransform::fromTranslate(kSmallKanaRight * em, -kSmallKanaUp * em));
            break;
        }
        y += em;
    }
    length = y;
    height = static_cast<int>(std::ceil(y - 1e-9));
    if (length > 0) {
        if (underline)
            inkF |= QRectF(em - lineWidth, 0, lineWidth, length);
        if (strikeout)
            inkF |= QRectF((em - lineWidth) / 2, 0, lineWidth, length);
    }
    ink = inkF.isEmpty() ? QRect() : inkF.toAlignedRect();
}

void VerticalLine::Draw(QPainter &p, const QPointF &topLeft) const
{
    p.save();
    p.setFont(font);
    const QTransform column = QTransform::fromTranslate(topLeft.x(), topLeft.y()) * p.transform();
    const QColor color = p.pen().color();
    for (const Piece &piece : pieces) {
        p.setTransform(piece.place * column);
        piece.line.Draw(p, QPointF(0, 0));
    }
    p.setTransform(column);
    if (underline && length > 0)
        p.fillRect(QRectF(em - lineWidth, 0, lineWidth, length), color);
    if (strikeout && length > 0)
        p.fillRect(QRectF((em - lineWidth) / 2, 0, lineWidth, length), color);
    p.restore();
}
