#include "card/printcheck.h"
#include "card/freetext.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "card/vertical.h"

#include <QFontMetrics>
#include <algorithm>

LineSize LineMeasurer::Of(const TextObject &text, const Converter &conv)
{
    Font scaled;
    text.GetFont(scaled);
    // As TextObject scales its font for a device.
    scaled.height = Converter::Truncate(conv.ToDevice(scaled.height) * 1.5);
    Entry &e = entries[&text];
    if (e.pass == 0 || !(e.font == scaled) || e.text != text.DisplayText()) {
        const QFont qfont = scaled.toQFont();
        e.font = scaled;
        e.text = text.DisplayText();
        const QString shown = sjis::toUnicode(e.text);
        if (scaled.vertical) {
            const VerticalLine column(shown, qfont, &probe);
            e.size = {column.Width(), column.Height(), column.Ink(), true};
            e.pass = pass;
            return e.size;
        }
        const QFontMetrics fm(qfont, &probe);
        const LineBox box = MeasureLineBox(qfont, fm);
        // The cell's top is the ascent above the baseline the bounds are
        // measured from.
        const QRect bounds = fm.tightBoundingRect(shown);
        e.size = {fm.horizontalAdvance(shown), box.height,
                  bounds.isEmpty() ? QRect() : bounds.translated(0, box.ascent)};
    }
    e.pass = pass;
    return e.size;
}

void LineMeasurer::Sweep()
{
    std::erase_if(entries, [this](const auto &entry) { return entry.second.pass != pass; });
    ++pass;
}

TRect PrintCheck::PrintedRect(const TextObject &text)
{
    const LineSize size = printed.Of(text, conv);
    TRect r;
    text.GetRect(r);
    r.right = Converter::Saturate(static_cast<long long>(r.left) + conv.ToModel(size.advance));
    r.bottom = Converter::Saturate(static_cast<long long>(r.top) + conv.ToModel(size.height));
    return r;
}

TRect PrintCheck::PrintedInk(const TextObject &text)
{
    const QRect ink = printed.Of(text, conv).ink;
    if (ink.isEmpty())
        return {};
    TRect r;
    text.GetRect(r);
    const long long left = conv.ToDevice(r.left), top = conv.ToDevice(r.top);
    auto model = [this](long long device) {
        return Converter::Saturate(conv.ToModel(Converter::Saturate(device)));
    };
    return {model(left + ink.left()), model(top + ink.top()), model(left + ink.right() + 1),
            model(top + ink.bottom() + 1)};
}

namespace {

constexpr int kCardWidth = 910;
constexpr int kCardHeight = 550;

bool offCard(const TRect &r)
{
    return r.left < 0 || r.top < 0 || r.right > kCardWidth || r.bottom > kCardHeight;
}

// Whether the insides of the two rectangles share any area.
bool overlap(const TRect &a, const TRect &b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

} // namespace

std::vector<PrintFinding> PrintCheck::Findings(const DrawingOrder &order)
{
    struct Line
    {
        const TextObject *text;
        TRect ink;
    };
    std::vector<Line> lines;
    for (const Object *obj : order.List()) {
        // The fields' lines; an added text of several lines is the user's
        // own layout.
        const auto *text = dynamic_cast<const TextObject *>(obj);
        if (!text || !text->IsVisible() || dynamic_cast<const FreeText *>(obj))
            continue;
        const TRect ink = PrintedInk(*text);
        if (ink.right > ink.left && ink.bottom > ink.top)
            lines.push_back({text, ink});
    }
    printed.Sweep();
    std::vector<PrintFinding> findings;
    for (const Line &line : lines)
        if (offCard(line.ink))
            findings.push_back({line.text, nullptr});
    // Top down, each line against those whose ink starts above its own ink's
    // bottom only: a card file may hold any number of lines.
    std::vector<const Line *> byTop;
    for (const Line &line : lines)
        byTop.push_back(&line);
    std::stable_sort(byTop.begin(), byTop.end(),
                     [](const Line *a, const Line *b) { return a->ink.top < b->ink.top; });
    for (std::size_t n = 0; n < byTop.size(); ++n)
        for (std::size_t m = n + 1; m < byTop.size() && byTop[m]->ink.top < byTop[n]->ink.bottom;
             ++m)
            if (overlap(byTop[n]->ink, byTop[m]->ink))
                findings.push_back({byTop[m]->text, byTop[n]->text});
    return findings;
}

std::vector<const TextObject *> PrintCheck::Run(const DrawingOrder &order)
{
    const std::vector<PrintFinding> findings = Findings(order);
    std::vector<const TextObject *> failing;
    // Bottom first, each line once.
    for (const Object *obj : order.List())
        for (const PrintFinding &f : findings)
            if (obj == f.line || obj == f.other) {
                failing.push_back(static_cast<const TextObject *>(obj));
                break;
            }
    return failing;
}
