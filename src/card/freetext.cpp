#include "card/freetext.h"
#include "card/converter.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <typeinfo>

namespace {

std::vector<std::string> splitLines(const std::string &s)
{
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == '\n')
            out.emplace_back();
        else if (c != '\r')
            out.back() += c;
    }
    return out;
}

int clampInt(long long v)
{
    return Converter::Saturate(v);
}

} // namespace

void FreeText::SetSpacing(int percent)
{
    spacing = std::clamp(percent, 50, 400);
    SetLinePlaces({});
}

void FreeText::SetAlign(Align a)
{
    align = a;
    SetLinePlaces({});
}

void FreeText::SetWidth(int w)
{
    width = w < 0 ? 0 : w;
    SetLinePlaces({});
}

bool FreeText::HasLayout() const
{
    return align != Align::Left || spacing != kDefaultSpacing || width != 0 ||
           text.find('\n') != std::string::npos;
}

void FreeText::SetText(const std::string &s)
{
    TextObject::SetText(s);
    const std::vector<std::string> parts = splitLines(s);
    lines.resize(parts.size());
    natural.resize(parts.size(), 0);
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (lines[i].GetText() != parts[i]) {
            lines[i].SetText(parts[i]);
            natural[i] = 0;
        }
    SetLinePlaces({});
}

void FreeText::syncLines() const
{
    for (TextObject &line : lines) {
        line.SetFont(font);
        line.SetColor(color);
    }
}

void FreeText::SetLinePlaces(const std::vector<TRect> &places)
{
    const bool across = !font.vertical;
    // In 64 bits: a damaged file's places may span the whole int range.
    for (std::size_t i = 0; i < places.size() && i < lines.size(); ++i) {
        const TRect &p = places[i];
        const long long length = across ? static_cast<long long>(p.right) - p.left
                                        : static_cast<long long>(p.bottom) - p.top;
        natural[i] = static_cast<int>(std::clamp<long long>(length, 0, INT32_MAX));
    }
    const TRect box = layout();
    rect.right = box.right;
    rect.bottom = box.bottom;
}

TRect FreeText::layout() const
{
    const bool across = !font.vertical;
    // Lines are set a line's height apart: the drawn character height (the
    // stored height is in model units, drawn half as large again).
    const long long lineHeight =
        std::max(1LL, std::llabs(static_cast<long long>(font.height)) * 3 / 2);
    const long long advance = std::max(1LL, lineHeight * spacing / 100);
    long long longest = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        longest = std::max<long long>(longest, natural[i]);
    const long long extent = width > 0 ? width : longest;
    const long long n = std::max<long long>(1, static_cast<long long>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const long long shown = width > 0 ? std::min<long long>(natural[i], width) : natural[i];
        const long long offset = align == Align::Left     ? 0
                                 : align == Align::Center ? (extent - shown) / 2
                                                          : extent - shown;
        const long long step = static_cast<long long>(i) * advance;
        TRect r;
        if (across) {
            r.left = clampInt(rect.left + offset);
            r.top = clampInt(rect.top + step);
            r.right = clampInt(r.left + static_cast<long long>(natural[i]));
            r.bottom = clampInt(r.top + lineHeight);
        } else {
            // Columns from right to left, the first at the box's right.
            r.left = clampInt(rect.left + (n - 1 - static_cast<long long>(i)) * advance);
            r.top = clampInt(rect.top + offset);
            r.right = clampInt(r.left + lineHeight);
            r.bottom = clampInt(r.top + static_cast<long long>(natural[i]));
        }
        lines[i].SetRect(r);
    }
    const long long span = (n - 1) * advance + lineHeight;
    TRect box = rect;
    box.right = clampInt(rect.left + (across ? extent : span));
    box.bottom = clampInt(rect.top + (across ? span : extent));
    return box;
}

void FreeText::Measure(QPaintDevice *device, const Converter &conv)
{
    if (!visible)
        return;
    syncLines();
    std::vector<TRect> places(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].GetText().empty())
            continue;
        lines[i].SetRect(TRect{rect.left, rect.top, rect.left, rect.top});
        lines[i].Measure(device, conv);
        lines[i].GetRect(places[i]);
    }
    SetLinePlaces(places);
}

void FreeText::Draw(QPainter *canvas, const Converter &conv) const
{
    if (!visible)
        return;
    syncLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TextObject &line = lines[i];
        if (line.GetText().empty())
            continue;
        if (width <= 0 || natural[i] <= width) {
            line.Draw(canvas, conv);
            continue;
        }
        // 長体: squeezed along the line about its start, never cut.
        TRect r;
        line.GetRect(r);
        const double factor = static_cast<double>(width) / natural[i];
        canvas->save();
        if (!font.vertical) {
            const int x = conv.ToDevice(r.left);
            canvas->translate(x, 0);
            canvas->scale(factor, 1);
            canvas->translate(-x, 0);
        } else {
            const int y = conv.ToDevice(r.top);
            canvas->translate(0, y);
            canvas->scale(1, factor);
            canvas->translate(0, -y);
        }
        line.Draw(canvas, conv);
        canvas->restore();
    }
}

void FreeText::SetRect(const TRect &r)
{
    const long long dx = static_cast<long long>(r.left) - rect.left;
    const long long dy = static_cast<long long>(r.top) - rect.top;
    rect = r;
    for (TextObject &line : lines) {
        TRect l;
        line.GetRect(l);
        line.SetRect(TRect{clampInt(l.left + dx), clampInt(l.top + dy), clampInt(l.right + dx),
                           clampInt(l.bottom + dy)});
    }
}

std::vector<TextObject> FreeText::Lines() const
{
    syncLines();
    layout();
    return lines;
}

std::unique_ptr<Object> FreeText::Clone() const
{
    return std::make_unique<FreeText>(*this);
}

void FreeText::Restore(const Object &from)
{
    if (typeid(from) != typeid(FreeText))
        throw std::logic_error("Restore: an object of another class");
    *this = static_cast<const FreeText &>(from);
}
