#include "card/drawnline.h"

#include <QFont>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <vector>

namespace {

// Whether each glyph of `run` is one its font's character map gives a
// character of `text`.
bool mapped(const QGlyphRun &run, const QString &text)
{
    QList<quint32> reached = run.rawFont().glyphIndexesForString(text);
    std::sort(reached.begin(), reached.end());
    const QList<quint32> glyphs = run.glyphIndexes();
    return std::all_of(glyphs.begin(), glyphs.end(), [&](quint32 g) {
        return std::binary_search(reached.begin(), reached.end(), g);
    });
}

// Glyphs being gathered into runs: one run for each stretch in one font.
class Runs
{
public:
    void Add(const QGlyphRun &from, quint32 glyph, const QPointF &position)
    {
        // A glyph asked for alone may be marked as part of a ligature.
        const QGlyphRun::GlyphRunFlags flags = from.flags() & ~QGlyphRun::SplitLigature;
        if (runs.empty() || runs.back().font != from.rawFont() || runs.back().flags != flags)
            runs.push_back({from.rawFont(), flags, {}, {}});
        runs.back().glyphs.append(glyph);
        runs.back().positions.append(position);
    }

    QList<QGlyphRun> Take() const
    {
        QList<QGlyphRun> out;
        for (const Run &r : runs) {
            QGlyphRun run;
            run.setRawFont(r.font);
            run.setFlags(r.flags);
            run.setGlyphIndexes(r.glyphs);
            run.setPositions(r.positions);
            out.append(run);
        }
        return out;
    }

private:
    struct Run
    {
        QRawFont font;
        QGlyphRun::GlyphRunFlags flags;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    std::vector<Run> runs;
};

// `runs` with their positions taken from the baseline's start rather than
// from the line's top.
QList<QGlyphRun> fromBaseline(QList<QGlyphRun> runs, qreal baseline)
{
    for (QGlyphRun &run : runs) {
        QList<QPointF> positions = run.positions();
        for (QPointF &at : positions)
            at.ry() -= baseline;
        run.setPositions(positions);
    }
    return runs;
}

} // namespace

DrawnLine::DrawnLine(const QString &text, const QFont &font, QPaintDevice *device) : text(text)
{
    if (text.isEmpty())
        return;
    QTextLayout layout(text, font, device);
    // The shaped glyphs stay for the runs asked for below.
    layout.setCacheEnabled(true);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const QList<QGlyphRun> whole = line.glyphRuns();
    if (std::all_of(whole.begin(), whole.end(),
                    [&](const QGlyphRun &run) { return mapped(run, text); })) {
        const bool plain =
            !font.underline() && !font.strikeOut() && !font.overline() &&
            std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; });
        if (plain)
            laidOut = fromBaseline(whole, line.ascent());
        return;
    }

    // The glyphs of each character, in the order of the text (card text runs
    // left to right). The characters of one cluster (a ligature, or a
    // character that leaves no glyph of its own) each give all of it.
    struct Character
    {
        QString text;
        QList<QGlyphRun> glyphs;
    };
    std::vector<Character> characters;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        characters.push_back({text.mid(i, n), line.glyphRuns(int(i), int(n))});
        i += n;
    }
    const qreal baseline = line.ascent();
    Runs out;
    qreal shift = 0;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const QList<QGlyphRun> &glyphs = characters[i].glyphs;
        if (i > 0 && glyphs == characters[i - 1].glyphs)
            continue;
        const bool alone = glyphs.size() == 1 && glyphs[0].glyphIndexes().size() == 1 &&
                           (i + 1 == characters.size() || glyphs != characters[i + 1].glyphs);
        // A character set alone in a glyph its character map does not give
        // it: its own glyph instead.
        quint32 own = 0;
        if (alone) {
            const QList<quint32> glyph =
                glyphs[0].rawFont().glyphIndexesForString(characters[i].text);
            if (glyph.size() == 1 && glyph[0] != 0 && glyph[0] != glyphs[0].glyphIndexes()[0])
                own = glyph[0];
        }
        for (const QGlyphRun &run : glyphs) {
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype g = 0; g < indexes.size() && g < positions.size(); ++g) {
                const QPointF at = positions[g] + QPointF(shift, -baseline);
                if (own != 0) {
                    const QList<QPointF> advances =
                        run.rawFont().advancesForGlyphIndexes({indexes[g], own});
                    shift += advances[1].x() - advances[0].x();
                }
                out.Add(run, own != 0 ? own : indexes[g], at);
            }
        }
    }
    runs = out.Take();
    extra = shift;
}

QRectF DrawnLine::GlyphBounds() const
{
    QRectF bounds;
    for (const QGlyphRun &run : runs) {
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
            const QRectF ink = run.rawFont().boundingRect(glyphs[i]);
            if (!ink.isEmpty())
                bounds |= ink.translated(positions[i]);
        }
    }
    return bounds;
}

void DrawnLine::Draw(QPainter &p, const QPointF &origin) const
{
    const QPaintEngine *engine = p.paintEngine();
    const QList<QGlyphRun> &glyphs =
        runs.isEmpty() && engine && engine->type() == QPaintEngine::Pdf ? laidOut : runs;
    if (glyphs.isEmpty()) {
        p.drawText(origin, text);
        return;
    }
    for (const QGlyphRun &run : glyphs)
        p.drawGlyphRun(origin, run);
}
