#include "card/shape.h"
#include "card/cardfile.h"
#include "card/converter.h"
#include "card/errors.h"
#include "card/kinds.h"
#include "card/stream.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <stdexcept>
#include <typeinfo>

namespace {

constexpr int kMostStroke = 100; // 1 cm

QColor qcolor(std::int32_t c)
{
    const auto u = static_cast<std::uint32_t>(c);
    return QColor(u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
}

std::string hexColor(std::optional<std::int32_t> c)
{
    if (!c)
        return "-";
    const auto u = static_cast<std::uint32_t>(*c);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
    return buf;
}

bool parseColor(const std::string &s, std::optional<std::int32_t> &out)
{
    if (s == "-") {
        out.reset();
        return true;
    }
    unsigned v = 0;
    if (s.size() != 6 || std::from_chars(s.data(), s.data() + 6, v, 16).ptr != s.data() + 6)
        return false;
    out = static_cast<std::int32_t>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
    return true;
}

bool parseInt(const std::string &s, int &out)
{
    const char *end = s.data() + s.size();
    return !s.empty() && std::from_chars(s.data(), end, out).ptr == end;
}

// A 1 x 1 24-bit BMP file image of the colour.
QByteArray pixelBitmap(std::int32_t color)
{
    const auto u = static_cast<std::uint32_t>(color);
    QByteArray b(58, '\0');
    auto put = [&](int at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, 58, 4);  // file size
    put(10, 54, 4); // pixels' offset
    put(14, 40, 4); // info header
    put(18, 1, 4);
    put(22, 1, 4);
    put(26, 1, 2);                               // planes
    put(28, 24, 2);                              // bits
    put(34, 4, 4);                               // image size: one padded row
    b[54] = static_cast<char>((u >> 16) & 0xFF); // blue
    b[55] = static_cast<char>((u >> 8) & 0xFF);  // green
    b[56] = static_cast<char>(u & 0xFF);         // red
    return b;
}

std::int32_t sat(long long v)
{
    return Converter::Saturate(v);
}

} // namespace

void ShapeObject::SetStrokeWidth(int w)
{
    strokeWidth = std::clamp(w, kind == Kind::Line ? 1 : 0, kMostStroke);
}

void ShapeObject::GetRect(TRect &out) const
{
    // The outline is centred on the frame; a line's flat ends add nothing
    // along it.
    const long long lo = stroke ? strokeWidth / 2 : 0, hi = stroke ? strokeWidth - lo : 0;
    const bool level = kind == Kind::Line && frame.top == frame.bottom;
    const bool upright = kind == Kind::Line && frame.left == frame.right && !level;
    const long long x0 = std::min(frame.left, frame.right), x1 = std::max(frame.left, frame.right);
    const long long y0 = std::min(frame.top, frame.bottom), y1 = std::max(frame.top, frame.bottom);
    out.left = sat(level ? x0 : x0 - lo);
    out.right = sat(level ? x1 : x1 + hi);
    out.top = sat(upright ? y0 : y0 - lo);
    out.bottom = sat(upright ? y1 : y1 + hi);
}

void ShapeObject::SetRect(const TRect &r)
{
    const long long lo = stroke ? strokeWidth / 2 : 0, hi = stroke ? strokeWidth - lo : 0;
    const bool level = kind == Kind::Line && frame.top == frame.bottom;
    const bool upright = kind == Kind::Line && frame.left == frame.right && !level;
    const long long l = static_cast<long long>(r.left) + (level ? 0 : lo);
    const long long t = static_cast<long long>(r.top) + (upright ? 0 : lo);
    const long long rr = std::max(l, static_cast<long long>(r.right) - (level ? 0 : hi));
    const long long b = std::max(t, static_cast<long long>(r.bottom) - (upright ? 0 : hi));
    if (kind != Kind::Line) {
        frame = TRect{sat(l), sat(t), sat(rr), sat(b)};
        return;
    }
    if (level) {
        frame = TRect{sat(frame.left <= frame.right ? l : rr), sat((t + b) / 2),
                      sat(frame.left <= frame.right ? rr : l), sat((t + b) / 2)};
        return;
    }
    if (upright) {
        frame = TRect{sat((l + rr) / 2), sat(frame.top <= frame.bottom ? t : b), sat((l + rr) / 2),
                      sat(frame.top <= frame.bottom ? b : t)};
        return;
    }
    // Each end keeps the side of the box it was on.
    const bool firstLeft = frame.left <= frame.right;
    const bool firstTop = frame.top <= frame.bottom;
    frame.left = sat(firstLeft ? l : rr);
    frame.right = sat(firstLeft ? rr : l);
    frame.top = sat(firstTop ? t : b);
    frame.bottom = sat(firstTop ? b : t);
}

bool ShapeObject::Hits(int x, int y) const
{
    if (kind != Kind::Line)
        return Object::Hits(x, y);
    // A line is hit within half its width, and never less than 1 mm, of it.
    const double x1 = frame.left, y1 = frame.top, x2 = frame.right, y2 = frame.bottom;
    const double dx = x2 - x1, dy = y2 - y1;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - x1) * dx + (y - y1) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double px = x1 + t * dx - x, py = y1 + t * dy - y;
    const double reach = std::max(strokeWidth / 2.0, 10.0);
    return px * px + py * py <= reach * reach;
}

void ShapeObject::Draw(QPainter *canvas, const Converter &conv) const
{
    const double k = conv.Factor();
    auto dev = [k](long long v) { return static_cast<double>(v) / k; };
    constexpr double kFar = 1 << 24;
    for (long long v : {static_cast<long long>(frame.left), static_cast<long long>(frame.top),
                        static_cast<long long>(frame.right), static_cast<long long>(frame.bottom)})
        if (std::fabs(dev(v)) > kFar)
            return; // a place far beyond any device (a damaged file)
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, true);
    if (stroke && strokeWidth > 0) {
        QPen pen(qcolor(*stroke));
        pen.setWidthF(std::max(dev(strokeWidth), 0.5));
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setCapStyle(kind == Kind::Line ? Qt::FlatCap : Qt::SquareCap);
        canvas->setPen(pen);
    } else {
        canvas->setPen(Qt::NoPen);
    }
    canvas->setBrush(fill && kind != Kind::Line ? QBrush(qcolor(*fill)) : QBrush(Qt::NoBrush));
    const QPointF a(dev(frame.left), dev(frame.top)), b(dev(frame.right), dev(frame.bottom));
    const QRectF r = QRectF(a, b).normalized();
    switch (kind) {
    case Kind::Line:
        if (stroke)
            canvas->drawLine(a, b);
        break;
    case Kind::Rect:
        if (radius > 0)
            canvas->drawRoundedRect(r, dev(radius), dev(radius));
        else
            canvas->drawRect(r);
        break;
    case Kind::Ellipse:
        canvas->drawEllipse(r);
        break;
    }
    canvas->restore();
}

bool ShapeObject::PixelIsShape() const
{
    switch (kind) {
    case Kind::Line:
        return stroke && (frame.left == frame.right || frame.top == frame.bottom);
    case Kind::Rect:
        return fill && radius == 0 && (!stroke || strokeWidth == 0 || *stroke == *fill);
    case Kind::Ellipse:
        return false;
    }
    return false;
}

std::string ShapeObject::Description() const
{
    std::string s = kShapeSource;
    s += kind == Kind::Line ? "k=line" : kind == Kind::Rect ? "k=rect" : "k=ellipse";
    s += ";x1=" + std::to_string(frame.left) + ";y1=" + std::to_string(frame.top) +
         ";x2=" + std::to_string(frame.right) + ";y2=" + std::to_string(frame.bottom);
    s += ";f=" + hexColor(fill) + ";s=" + hexColor(stroke) + ";w=" + std::to_string(strokeWidth);
    if (radius > 0)
        s += ";r=" + std::to_string(radius);
    return s;
}

bool ShapeObject::FromDescription(const std::string &source)
{
    const std::string head = kShapeSource;
    if (source.compare(0, head.size(), head) != 0)
        return false;
    std::map<std::string, std::string> pairs = KeyValuePairs(source.substr(head.size()));
    ShapeObject read = *this;
    const std::string &k = pairs["k"];
    if (k == "line")
        read.kind = Kind::Line;
    else if (k == "rect")
        read.kind = Kind::Rect;
    else if (k == "ellipse")
        read.kind = Kind::Ellipse;
    else
        return false;
    int w = 0, radiusValue = 0;
    if (!parseInt(pairs["x1"], read.frame.left) || !parseInt(pairs["y1"], read.frame.top) ||
        !parseInt(pairs["x2"], read.frame.right) || !parseInt(pairs["y2"], read.frame.bottom) ||
        !parseColor(pairs["f"], read.fill) || !parseColor(pairs["s"], read.stroke) ||
        !parseInt(pairs["w"], w))
        return false;
    if (pairs.count("r") && !parseInt(pairs["r"], radiusValue))
        return false;
    read.SetStrokeWidth(w);
    read.SetRadius(radiusValue);
    *this = read;
    return true;
}

void ShapeObject::SaveToStream(Stream *s) const
{
    TRect box;
    GetRect(box);
    s->WriteInt32(order);
    s->WriteByte(PixelIsShape() ? 1 : 0);
    s->WriteInt32(box.left);
    s->WriteInt32(box.top);
    s->WriteInt32(box.right);
    s->WriteInt32(box.bottom);
    WriteShortString(s, Description());
    WriteShortString(s, "TBitmap");
    const QByteArray pixel =
        pixelBitmap(kind == Kind::Line ? stroke.value_or(0) : fill.value_or(stroke.value_or(0)));
    s->WriteInt32(static_cast<std::int32_t>(pixel.size()));
    s->Write(pixel.constData(), pixel.size());
}

void ShapeObject::LoadFromStream(Stream *s)
{
    // The body of a picture record; the picture itself is only for other
    // readers and is skipped.
    order = s->ReadInt32();
    s->ReadByte();
    TRect box;
    box.left = s->ReadInt32();
    box.top = s->ReadInt32();
    box.right = s->ReadInt32();
    box.bottom = s->ReadInt32();
    std::string source, cls;
    ReadShortString(s, source);
    if (!FromDescription(source))
        throw ReadError("図形の記録が読めません");
    ReadShortString(s, cls);
    const std::int32_t length = s->ReadInt32();
    if (length < 0 || length > s->Remaining())
        throw ReadError("画像の長さ " + std::to_string(length) + " がファイルの残りと合いません");
    QByteArray skip(length, Qt::Uninitialized);
    s->Read(skip.data(), length);
}

std::unique_ptr<Object> ShapeObject::Clone() const
{
    return std::make_unique<ShapeObject>(*this);
}

void ShapeObject::Restore(const Object &from)
{
    if (typeid(from) != typeid(ShapeObject))
        throw std::logic_error("Restore: an object of another class");
    *this = static_cast<const ShapeObject &>(from);
}
