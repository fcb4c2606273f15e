#include "artwork.h"
#include "app/arguments.h"
#include "card/defaultcard.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace artwork {
namespace {

// ---------------------------------------------------------------------------
// Pixel helpers. Coordinates are inclusive pixel positions so the small
// pictures can be laid out pixel by pixel.

void Px(QPainter &p, int x, int y, const QColor &c)
{
    p.fillRect(x, y, 1, 1, c);
}

void HLine(QPainter &p, int x0, int x1, int y, const QColor &c)
{
    p.fillRect(x0, y, x1 - x0 + 1, 1, c);
}

void VLine(QPainter &p, int x, int y0, int y1, const QColor &c)
{
    p.fillRect(x, y0, 1, y1 - y0 + 1, c);
}

void Fill(QPainter &p, int x0, int y0, int x1, int y1, const QBrush &b)
{
    p.fillRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1, b);
}

void Frame(QPainter &p, int x0, int y0, int x1, int y1, const QColor &c)
{
    HLine(p, x0, x1, y0, c);
    HLine(p, x0, x1, y1, c);
    VLine(p, x0, y0, y1, c);
    VLine(p, x1, y0, y1, c);
}

QLinearGradient Vertical(int y0, int y1, const QColor &top, const QColor &bottom)
{
    QLinearGradient g(0, y0, 0, y1 + 1);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// Draws a glyph given as rows of '#' (set) and anything else (clear).
template <std::size_t N>
void Glyph(QPainter &p, int x, int y, const std::array<const char *, N> &rows, const QColor &c)
{
    for (std::size_t r = 0; r < N; ++r) {
        for (int col = 0; rows[r][col] != '\0'; ++col) {
            if (rows[r][col] == '#') {
                Px(p, x + col, y + static_cast<int>(r), c);
            }
        }
    }
}

// A sheet of paper with its top-right corner folded over by `fold` pixels.
void Page(QPainter &p, int x0, int y0, int x1, int y1, int fold)
{
    const QColor outline(0x76, 0x80, 0x8E);
    const QColor flap(0xDC, 0xE1, 0xE8);
    const QBrush paper(Vertical(y0, y1, QColor(0xFF, 0xFF, 0xFF), QColor(0xE9, 0xED, 0xF2)));

    const int foldX = x1 - fold;
    for (int y = y0 + 1; y < y1; ++y) {
        const int right = y < y0 + fold ? foldX + (y - y0) - 1 : x1 - 1;
        Fill(p, x0 + 1, y, right, y, paper);
    }
    for (int y = y0 + 1; y < y0 + fold; ++y) {
        HLine(p, foldX + 1, foldX + (y - y0) - 1, y, flap);
    }
    HLine(p, x0, foldX, y0, outline);
    VLine(p, x0, y0, y1, outline);
    HLine(p, x0, x1, y1, outline);
    VLine(p, x1, y0 + fold, y1, outline);
    for (int k = 0; k <= fold; ++k) {
        Px(p, foldX + k, y0 + k, outline);
    }
    VLine(p, foldX, y0, y0 + fold, outline);
    HLine(p, foldX, x1, y0 + fold, outline);
}

// A lens with its handle pointing to the lower right; drawn antialiased
// since circles at this size need it.
void Magnifier(QPainter &p, QPointF centre, qreal radius, qreal handle)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal d = 0.7071 * radius;
    QPen handlePen(QColor(0x4A, 0x3A, 0x2C), 2.4, Qt::SolidLine, Qt::RoundCap);
    p.setPen(handlePen);
    p.drawLine(centre + QPointF(d + 0.6, d + 0.6), centre + QPointF(d + handle, d + handle));

    QRadialGradient glass(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    glass.setColorAt(0, QColor(0xF4, 0xFA, 0xFF, 190));
    glass.setColorAt(1, QColor(0x9F, 0xC8, 0xEE, 190));
    p.setBrush(glass);
    p.setPen(QPen(QColor(0x3A, 0x42, 0x4E), 1.3));
    p.drawEllipse(centre, radius, radius);
    p.restore();
}

// ---------------------------------------------------------------------------
// Toolbar pictures.

void DrawNew(QPainter &p)
{
    Page(p, 2, 1, 13, 14, 4);
}

void DrawOpen(QPainter &p)
{
    const QColor outline(0xA0, 0x6E, 0x12);
    const QBrush back(Vertical(2, 13, QColor(0xF0, 0xB4, 0x36), QColor(0xD9, 0x95, 0x1C)));
    const QBrush front(Vertical(7, 13, QColor(0xFF, 0xE0, 0x7A), QColor(0xF6, 0xBF, 0x3C)));

    // Back of the folder with its tab.
    Fill(p, 2, 3, 5, 3, back);
    HLine(p, 2, 5, 2, outline);
    Fill(p, 2, 4, 12, 12, back);
    HLine(p, 6, 12, 3, outline);
    VLine(p, 1, 3, 13, outline);
    VLine(p, 13, 4, 6, outline);

    // A sheet of paper sticking out.
    Fill(p, 4, 5, 11, 7, QColor(0xFF, 0xFF, 0xFF));
    HLine(p, 4, 11, 5, QColor(0xB8, 0xBE, 0xC6));

    // The front flap, leaning back: two rows per pixel of slant.
    for (int y = 7; y <= 13; ++y) {
        const int shift = (y - 7) / 2;
        const int left = 4 - shift;
        const int right = 15 - shift;
        if (y == 7 || y == 13) {
            HLine(p, left, right, y, outline);
        } else {
            Fill(p, left + 1, y, right - 1, y, front);
            Px(p, left, y, outline);
            Px(p, right, y, outline);
        }
    }
    HLine(p, 5, 13, 8, QColor(0xFF, 0xF0, 0xB8));
}

void DrawSave(QPainter &p)
{
    const QColor outline(0x1B, 0x3A, 0x74);
    const QBrush body(Vertical(1, 14, QColor(0x4A, 0x82, 0xDB), QColor(0x27, 0x55, 0xA6)));

    Fill(p, 2, 2, 13, 13, body);
    HLine(p, 1, 12, 1, outline);
    VLine(p, 1, 1, 14, outline);
    HLine(p, 1, 14, 14, outline);
    VLine(p, 14, 2, 14, outline);
    Px(p, 13, 2, outline);

    // Metal shutter with its window.
    Fill(p, 4, 2, 11, 5,
         QBrush(Vertical(2, 5, QColor(0xF2, 0xF4, 0xF7), QColor(0xBE, 0xC5, 0xCE))));
    VLine(p, 4, 2, 5, QColor(0x8D, 0x97, 0xA5));
    VLine(p, 11, 2, 5, QColor(0x8D, 0x97, 0xA5));
    HLine(p, 4, 11, 5, QColor(0x8D, 0x97, 0xA5));
    Fill(p, 8, 2, 9, 4, QColor(0x2A, 0x4C, 0x8C));

    // Label.
    Fill(p, 3, 8, 12, 13, QColor(0xFF, 0xFF, 0xFF));
    HLine(p, 3, 12, 8, QColor(0xDD, 0xE6, 0xF3));
    HLine(p, 5, 10, 10, QColor(0xA9, 0xB8, 0xD0));
    HLine(p, 5, 10, 12, QColor(0xA9, 0xB8, 0xD0));
}

void DrawPrint(QPainter &p)
{
    const QColor paperEdge(0x8A, 0x92, 0x9C);
    const QColor outline(0x4A, 0x52, 0x5D);

    // Paper waiting at the back.
    Fill(p, 4, 1, 11, 5, QColor(0xFF, 0xFF, 0xFF));
    HLine(p, 4, 11, 1, paperEdge);
    VLine(p, 4, 1, 5, paperEdge);
    VLine(p, 11, 1, 5, paperEdge);

    // Body.
    Fill(p, 2, 6, 13, 11,
         QBrush(Vertical(6, 11, QColor(0xF3, 0xF4, 0xF6), QColor(0xAE, 0xB5, 0xBE))));
    HLine(p, 2, 13, 5, outline);
    HLine(p, 2, 13, 12, outline);
    VLine(p, 1, 6, 11, outline);
    VLine(p, 14, 6, 11, outline);
    HLine(p, 2, 13, 6, QColor(0xFF, 0xFF, 0xFF));
    Fill(p, 12, 7, 12, 7, QColor(0x2F, 0xB8, 0x45));
    HLine(p, 3, 12, 9, QColor(0x3A, 0x41, 0x4A));

    // The printed sheet coming out.
    Fill(p, 4, 10, 11, 14, QColor(0xFF, 0xFF, 0xFF));
    VLine(p, 4, 10, 14, paperEdge);
    VLine(p, 11, 10, 14, paperEdge);
    HLine(p, 4, 11, 14, paperEdge);
    HLine(p, 6, 9, 12, QColor(0xB4, 0xBB, 0xC4));
}

void DrawPreview(QPainter &p)
{
    Page(p, 1, 1, 11, 14, 3);
    const QColor text(0xB0, 0xB7, 0xC1);
    for (int y = 5; y <= 12; y += 2) {
        HLine(p, 3, y == 5 ? 7 : 9, y, text);
    }
    Magnifier(p, QPointF(9.5, 8.5), 3.6, 4.6);
}

void DrawFont(QPainter &p)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // Horizontal edges sit on pixel boundaries so only the slanted ones blur.
    QPainterPath a;
    a.setFillRule(Qt::OddEvenFill);
    a.moveTo(6.0, 1.0);
    a.lineTo(10.0, 1.0);
    a.lineTo(14.5, 13.0);
    a.lineTo(11.0, 13.0);
    a.lineTo(10.33, 11.0);
    a.lineTo(5.67, 11.0);
    a.lineTo(5.0, 13.0);
    a.lineTo(1.5, 13.0);
    a.closeSubpath();
    a.moveTo(8.0, 4.0);
    a.lineTo(9.67, 9.0);
    a.lineTo(6.33, 9.0);
    a.closeSubpath();
    p.fillPath(a, QColor(0x1E, 0x33, 0x64));
    p.restore();
    // Colour bar under the letter.
    Fill(p, 2, 14, 13, 15, QColor(0xD6, 0x45, 0x2E));
}

void DrawQrCheck(QPainter &p)
{
    const QColor ink(0x1E, 0x33, 0x64);
    Glyph<7>(p, 1, 1, {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}, ink);
    Glyph<7>(p, 7, 1, {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}, ink);
    Magnifier(p, QPointF(10.5, 11.0), 3.2, 3.6);
}

void DrawHelp(QPainter &p)
{
    const QColor outline(0x15, 0x3B, 0x80);
    Fill(p, 4, 2, 12, 11,
         QBrush(Vertical(1, 12, QColor(0x52, 0x94, 0xEC), QColor(0x22, 0x5B, 0xBA))));
    HLine(p, 3, 13, 1, outline);
    VLine(p, 13, 1, 13, outline);
    VLine(p, 2, 1, 14, QColor(0x0F, 0x2F, 0x6A));
    VLine(p, 3, 1, 12, QColor(0x2A, 0x55, 0xA0));
    // Edge of the pages below the cover.
    HLine(p, 3, 12, 12, outline);
    HLine(p, 3, 12, 13, QColor(0xF4, 0xF6, 0xFA));
    HLine(p, 3, 13, 14, outline);
    Glyph<7>(p, 5, 3, {".####.", "##..##", "....##", "...##.", "..##..", "......", "..##.."},
             QColor(0xFF, 0xFF, 0xFF));
}

QImage RenderIcon(int index)
{
    QImage image(kToolbarIconSize, kToolbarIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    switch (index) {
    case kIconNew:
        DrawNew(p);
        break;
    case kIconOpen:
        DrawOpen(p);
        break;
    case kIconSave:
        DrawSave(p);
        break;
    case kIconPrint:
        DrawPrint(p);
        break;
    case kIconPreview:
        DrawPreview(p);
        break;
    case kIconFont:
        DrawFont(p);
        break;
    case kIconQrCheck:
        DrawQrCheck(p);
        break;
    case kIconHelp:
        DrawHelp(p);
        break;
    default:
        break;
    }
    return image;
}

// ---------------------------------------------------------------------------
// Field captions.

struct CaptionRow
{
    QString text;
    int top; // window coordinates, as the edits are placed
    int height;
};

constexpr int kCaptionOriginY = 34; // window y of the picture's top edge
constexpr int kEditLeft = 64;       // picture x where the edits start

// The fields' captions beside their edits, then the two picture rows.
std::vector<CaptionRow> CaptionRows()
{
    std::vector<CaptionRow> rows;
    for (const FieldInfo &f : kFields)
        rows.push_back({QString::fromUtf8(f.caption), f.editTop, 20});
    rows.push_back({QStringLiteral("画像"), 366, 16});
    rows.push_back({QStringLiteral("背景"), 390, 17});
    return rows;
}

QFont GothicFont(int pixelSize)
{
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QImage RenderFieldCaptions()
{
    QImage image(kFieldCaptionWidth, kFieldCaptionHeight, QImage::Format_RGB32);
    image.fill(QColor(0xFF, 0xFB, 0xD8));
    QPainter p(&image);

    const QColor frame(0xC4, 0xB2, 0x6A);
    const QColor grid(0xE8, 0xDC, 0xA4);
    const QColor captionGround(0xFF, 0xF3, 0xC0);
    const QColor fieldGround(0xFF, 0xFE, 0xF6);

    const int left = 1;
    const int right = kFieldCaptionWidth - 2;
    const std::vector<CaptionRow> rows = CaptionRows();
    const CaptionRow &first = rows.front();
    const CaptionRow &last = rows.back();
    const int top = first.top - kCaptionOriginY - 3;
    const int bottom = last.top + last.height - kCaptionOriginY + 2;

    Fill(p, left + 1, top + 1, kEditLeft - 2, bottom - 1, captionGround);
    Fill(p, kEditLeft, top + 1, right - 1, bottom - 1, fieldGround);

    // Row separators sit in the gaps between the edits.
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const CaptionRow &above = rows[i - 1];
        const int y = (above.top + above.height + rows[i].top) / 2 - kCaptionOriginY;
        HLine(p, left + 1, right - 1, y, grid);
    }
    VLine(p, kEditLeft - 1, top + 1, bottom - 1, frame);
    Frame(p, left, top, right, bottom, frame);

    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(GothicFont(12));
    p.setPen(QColor(0x26, 0x22, 0x18));
    for (const CaptionRow &row : rows) {
        const QRect cell(left + 7, row.top - kCaptionOriginY, kEditLeft - left - 9, row.height);
        p.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, row.text);
    }
    return image;
}

// ---------------------------------------------------------------------------
// Splash picture.

// A small pseudo QR symbol: real finder and timing patterns, data modules
// from a fixed generator so the picture never changes.
std::array<std::array<bool, 21>, 21> QrMarkModules()
{
    std::array<std::array<bool, 21>, 21> m{};
    auto finder = [&m](int ox, int oy) {
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 7; ++x) {
                const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
                const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
                m[oy + y][ox + x] = ring || core;
            }
        }
    };
    auto reserved = [](int x, int y) {
        return (x < 8 && y < 8) || (x > 12 && y < 8) || (x < 8 && y > 12) || x == 6 || y == 6;
    };
    std::uint32_t state = 0x2545F491u;
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 21; ++x) {
            state = state * 1664525u + 1013904223u;
            if (!reserved(x, y)) {
                m[y][x] = (state >> 28) & 1u;
            }
        }
    }
    for (int i = 8; i < 13; ++i) {
        m[6][i] = i % 2 == 0;
        m[i][6] = i % 2 == 0;
    }
    finder(0, 0);
    finder(14, 0);
    finder(0, 14);
    return m;
}

void SoftShadow(QPainter &p, const QRectF &r, qreal radius, int spread, int alpha)
{
    p.setPen(Qt::NoPen);
    for (int i = spread; i >= 1; --i) {
        const int a = alpha * (spread - i + 1) / (spread * spread);
        p.setBrush(QColor(0x14, 0x1E, 0x3C, a));
        p.drawRoundedRect(r.adjusted(-i, -i, i, i), radius + i, radius + i);
    }
}

void DrawFrontCard(QPainter &p, const QRect &card)
{
    const QColor ink(0x1F, 0x2C, 0x56);
    const QColor accent(0xD6, 0x45, 0x2E);

    SoftShadow(p, QRectF(card).translated(2, 4), 3, 7, 90);
    p.setPen(QPen(QColor(0xC9, 0xCF, 0xD9), 1));
    p.setBrush(QColor(0xFF, 0xFF, 0xFF));
    p.drawRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);

    const int x = card.left();
    const int y = card.top();
    p.setPen(Qt::NoPen);
    p.fillRect(QRect(x + 14, y + 14, 5, 5), accent);
    p.fillRect(QRect(x + 23, y + 15, 52, 3), QColor(0xA9, 0xB2, 0xC2));
    p.fillRect(QRect(x + 14, y + 34, 84, 9), ink);
    p.fillRect(QRect(x + 14, y + 49, 46, 4), QColor(0x8A, 0x95, 0xA8));
    const QColor line(0xC6, 0xCC, 0xD6);
    p.fillRect(QRect(x + 14, y + 74, 88, 3), line);
    p.fillRect(QRect(x + 14, y + 81, 72, 3), line);
    p.fillRect(QRect(x + 14, y + 88, 58, 3), line);

    const auto modules = QrMarkModules();
    const int cell = 2;
    const int qx = card.right() + 1 - 14 - 21 * cell;
    const int qy = card.bottom() + 1 - 14 - 21 * cell;
    for (int r = 0; r < 21; ++r) {
        for (int c = 0; c < 21; ++c) {
            if (modules[r][c]) {
                p.fillRect(QRect(qx + c * cell, qy + r * cell, cell, cell), ink);
            }
        }
    }
}

void DrawBackCard(QPainter &p, const QRect &card, qreal angle)
{
    p.save();
    p.translate(QRectF(card).center());
    p.rotate(angle);
    const QRectF local(-card.width() / 2.0, -card.height() / 2.0, card.width(), card.height());
    SoftShadow(p, local.translated(1, 3), 3, 6, 70);
    QLinearGradient g(local.topLeft(), local.bottomRight());
    g.setColorAt(0, QColor(0x3A, 0x4E, 0x8C));
    g.setColorAt(1, QColor(0x1F, 0x2C, 0x56));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(local, 3, 3);
    p.restore();
}

QImage RenderSplash()
{
    QImage image(kSplashWidth, kSplashHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), QBrush(Vertical(0, kSplashHeight - 1, QColor(0xFF, 0xFF, 0xFF),
                                             QColor(0xE8, 0xEC, 0xF3))));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    const QRect front(38, 76, 176, 106);
    DrawBackCard(p, front.translated(16, -18), -8);
    DrawFrontCard(p, front);

    const QColor ink(0x1F, 0x2C, 0x56);
    const int textLeft = 252;

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(48);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, -1);
    p.setFont(title);
    p.setPen(ink);
    p.drawText(QPoint(textLeft - 3, 120), QStringLiteral("Plakuro"));

    p.fillRect(QRect(textLeft, 134, 36, 3), QColor(0xD6, 0x45, 0x2E));

    p.setFont(GothicFont(14));
    p.setPen(QColor(0x44, 0x4E, 0x62));
    p.drawText(QPoint(textLeft, 162), QStringLiteral("名刺と QR コードのデザイン・印刷"));

    // Footer band carrying the version.
    const int band = kSplashHeight - 34;
    p.fillRect(QRect(0, band, kSplashWidth, kSplashHeight - band), QColor(0xE1, 0xE6, 0xEE));
    p.fillRect(QRect(0, band, kSplashWidth, 1), QColor(0xCC, 0xD3, 0xDF));
    p.setFont(GothicFont(11));
    p.setPen(QColor(0x6A, 0x75, 0x88));
    p.drawText(QRect(0, band, kSplashWidth - 16, kSplashHeight - band),
               Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Version %1").arg(ProgramVersion()));

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    Frame(p, 0, 0, kSplashWidth - 1, kSplashHeight - 1, QColor(0xA4, 0xAE, 0xC0));
    return image;
}

} // namespace

QPixmap ToolbarIcon(int index)
{
    return QPixmap::fromImage(RenderIcon(index));
}

QIcon ToolbarIconSet(int index)
{
    return QIcon(ToolbarIcon(index));
}

QImage FieldCaptionImage()
{
    return RenderFieldCaptions();
}

QImage SplashImage()
{
    return RenderSplash();
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/plakuro/icons/plakuro-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace artwork
