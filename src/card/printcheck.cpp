#include "card/printcheck.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"

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
        const QFontMetrics fm(scaled.toQFont(), &probe);
        e.font = scaled;
        e.text = text.DisplayText();
        e.size = {fm.horizontalAdvance(sjis::toUnicode(e.text)), fm.height()};
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

std::vector<const TextObject *> PrintCheck::Run(const DrawingOrder &order)
{
    struct Line
    {
        const TextObject *text;
        TRect printed;
        TRect shown;
        bool failed;
    };
    std::vector<Line> lines;
    for (const Object *obj : order.List()) {
        const auto *text = dynamic_cast<const TextObject *>(obj);
        if (!text || !text->IsVisible())
            continue;
        TRect shown;
        text->GetRect(shown);
        const TRect printed = PrintedRect(*text);
        lines.push_back({text, printed, shown, offCard(printed) || offCard(shown)});
    }
    printed.Sweep();
    // Top down, each line against those starting above its lower bottom
    // edge only: a card file may hold any number of lines.
    std::vector<std::size_t> byTop(lines.size());
    for (std::size_t i = 0; i < byTop.size(); ++i)
        byTop[i] = i;
    std::stable_sort(byTop.begin(), byTop.end(), [&lines](std::size_t a, std::size_t b) {
        return lines[a].shown.top < lines[b].shown.top;
    });
    for (std::size_t n = 0; n < byTop.size(); ++n) {
        Line &a = lines[byTop[n]];
        const std::int32_t bottom = std::max(a.printed.bottom, a.shown.bottom);
        for (std::size_t m = n + 1; m < byTop.size() && lines[byTop[m]].shown.top < bottom; ++m) {
            Line &b = lines[byTop[m]];
            if (overlap(a.printed, b.printed) || overlap(a.shown, b.shown))
                a.failed = b.failed = true;
        }
    }
    std::vector<const TextObject *> failing;
    for (const Line &line : lines)
        if (line.failed)
            failing.push_back(line.text);
    return failing;
}
