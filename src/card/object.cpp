#include "card/object.h"
#include "card/cardfile.h"
#include "card/errors.h"
#include "card/sjis.h"
#include "card/stream.h"

#include <QFontMetrics>
#include <QPainter>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <typeinfo>

namespace {

// TColor is 0x00BBGGRR; a value with the high byte 0x80 names a system
// colour, of which only the text colours can reach a card.
QColor toQColor(std::int32_t c)
{
    std::uint32_t u = static_cast<std::uint32_t>(c);
    if ((u & 0xFF000000u) != 0)
        return Qt::black;
    return QColor(u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
}

constexpr int kFaceBytes = 32;
constexpr int kFontRecordBytes = 60;
constexpr std::int32_t kVerticalAngle = 2700; // tenths of a degree

void writeFontRecord(Stream *s, const Font &f)
{
    unsigned char rec[kFontRecordBytes] = {};
    auto put32 = [&](int offset, std::int32_t v) {
        std::uint32_t u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            rec[offset + i] = static_cast<unsigned char>(u >> (8 * i));
    };
    put32(0, f.height);
    put32(16, f.bold ? 700 : 400);
    rec[20] = f.italic ? 1 : 0;
    rec[21] = f.underline ? 1 : 0;
    rec[22] = f.strikeout ? 1 : 0;
    rec[23] = f.charset;
    rec[27] = f.pitch == Pitch::Variable ? 2 : f.pitch == Pitch::Fixed ? 1 : 0;
    // Vertical writing as readers of the format know it: the face with a
    // leading "@", the escapement and orientation turned to 270°.
    if (f.vertical) {
        put32(8, kVerticalAngle);
        put32(12, kVerticalAngle);
    }
    std::string face = sjis::truncate(f.vertical ? "@" + f.name : f.name, kFaceBytes - 1);
    std::memcpy(rec + 28, face.data(), face.size());
    s->Write(rec, kFontRecordBytes);
}

void readFontRecord(Stream *s, Font &f)
{
    unsigned char rec[kFontRecordBytes];
    s->Read(rec, kFontRecordBytes);
    auto get32 = [&](int offset) {
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i)
            u |= std::uint32_t(rec[offset + i]) << (8 * i);
        return static_cast<std::int32_t>(u);
    };
    f.height = get32(0);
    f.bold = get32(16) > 699;
    f.italic = rec[20] == 1;
    f.underline = rec[21] == 1;
    f.strikeout = rec[22] == 1;
    f.charset = rec[23];
    int pitch = rec[27] & 0x0F;
    f.pitch = pitch == 1 ? Pitch::Fixed : pitch == 2 ? Pitch::Variable : Pitch::Default;
    const char *face = reinterpret_cast<const char *>(rec + 28);
    f.name.assign(face, strnlen(face, kFaceBytes - 1));
    // The face decides, whatever the escapement says: that is how every
    // reader of the format picks vertical writing.
    f.vertical = !f.name.empty() && f.name[0] == '@';
    if (f.vertical)
        f.name.erase(0, 1);
}

void writeRect(Stream *s, const TRect &r)
{
    s->WriteInt32(r.left);
    s->WriteInt32(r.top);
    s->WriteInt32(r.right);
    s->WriteInt32(r.bottom);
}

void readRect(Stream *s, TRect &r)
{
    r.left = s->ReadInt32();
    r.top = s->ReadInt32();
    r.right = s->ReadInt32();
    r.bottom = s->ReadInt32();
}

} // namespace

void Object::SaveHead(Stream *s) const
{
    s->WriteInt32(order);
    s->WriteByte(visible ? 1 : 0);
}

bool Object::Hits(int x, int y) const
{
    TRect r;
    GetRect(r);
    if (r.left == r.right || r.top == r.bottom)
        return false;
    return r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
}

void Object::LoadHead(Stream *s)
{
    order = s->ReadInt32();
    visible = s->ReadByte() != 0;
}

const TextObject::DrawnFont &TextObject::measure(QPaintDevice *device, const Converter &conv) const
{
    Font scaled = font;
    scaled.height = Converter::Truncate(conv.ToDevice(font.height) * 1.5);
    if (!haveDrawnText || drawnText != displayText) {
        drawnText = displayText;
        drawnUnicode = sjis::toUnicode(displayText);
        haveDrawnText = true;
        for (DrawnFont &d : drawnFonts)
            d.haveMeasures = false;
    }
    int slot = 0;
    while (slot < 2 && !(drawnFonts[slot].valid && drawnFonts[slot].font == scaled))
        ++slot;
    if (slot == 2) {
        // The size used longest ago gives way.
        slot = 1 - lastDrawnFont;
        DrawnFont &d = drawnFonts[slot];
        d.font = scaled;
        d.qfont = scaled.toQFont();
        d.valid = true;
        d.haveMeasures = false;
    }
    lastDrawnFont = slot;
    DrawnFont &d = drawnFonts[slot];
    const int dpiX = device->logicalDpiX(), dpiY = device->logicalDpiY();
    if (!d.haveMeasures || d.measured.dpiX != dpiX || d.measured.dpiY != dpiY) {
        const QFontMetrics fm(d.qfont, device);
        const LineBox box = MeasureLineBox(d.qfont, fm);
        d.measured = {dpiX, dpiY, box.ascent, box.height, fm.horizontalAdvance(drawnUnicode)};
        if (scaled.vertical) {
            d.vertical = VerticalLine(drawnUnicode, d.qfont, device);
            d.measured.advance = d.vertical.Width();
            d.measured.height = d.vertical.Height();
            d.line = DrawnLine();
        } else {
            d.vertical = VerticalLine();
            d.line = DrawnLine(drawnUnicode, d.qfont, device);
            d.measured.advance += qRound(d.line.ExtraAdvance());
        }
        d.haveMeasures = true;
    }
    return d;
}

void TextObject::Draw(QPainter *canvas, const Converter &conv) const
{
    if (!visible)
        return;
    const DrawnFont &d = measure(canvas->device(), conv);
    canvas->setFont(d.qfont);
    canvas->setPen(toQColor(color));
    canvas->setBrush(Qt::NoBrush);
    const int x = conv.ToDevice(rect.left);
    const int y = conv.ToDevice(rect.top);
    // The text cell's top-left corner sits at the point: baseline = top + ascent.
    // A position far beyond any device (a damaged file) is not drawn at all.
    constexpr int kFar = 1 << 24;
    if (x > -kFar && x < kFar && y > -kFar && y < kFar) {
        if (font.vertical)
            d.vertical.Draw(*canvas, QPoint(x, y));
        else
            d.line.Draw(*canvas, QPoint(x, y + d.measured.ascent));
    }
}

void TextObject::Prepare(QPaintDevice *device, const Converter &conv) const
{
    if (visible)
        measure(device, conv);
}

void TextObject::Measure(QPaintDevice *device, const Converter &conv)
{
    if (!visible)
        return;
    const Measures &m = measure(device, conv).measured;
    rect.right = Converter::Saturate(static_cast<long long>(rect.left) + conv.ToModel(m.advance));
    rect.bottom = Converter::Saturate(static_cast<long long>(rect.top) + conv.ToModel(m.height));
}

namespace {

// Copies what `from` keeps into `to`, both of class T.
template <typename T> void restoreAs(T &to, const Object &from)
{
    if (typeid(from) != typeid(T))
        throw std::logic_error("Restore: an object of another class");
    to = static_cast<const T &>(from);
}

} // namespace

std::unique_ptr<Object> TextObject::Clone() const
{
    return std::make_unique<TextObject>(*this);
}

void TextObject::Restore(const Object &from)
{
    restoreAs(*this, from);
}

std::unique_ptr<Object> TextObjectWithHeader::Clone() const
{
    return std::make_unique<TextObjectWithHeader>(*this);
}

void TextObjectWithHeader::Restore(const Object &from)
{
    restoreAs(*this, from);
}

std::unique_ptr<Object> GraphicObject::Clone() const
{
    return std::make_unique<GraphicObject>(*this);
}

void GraphicObject::Restore(const Object &from)
{
    restoreAs(*this, from);
}

void TextObject::SetText(const std::string &s)
{
    text = s;
    displayText = s;
}

namespace {

// The toolkit's font assignment: colour, charset, pitch, height, style and
// face (its "@" too), in that order.
void copyFont(const Font &from, Font &to)
{
    to.color = from.color;
    to.charset = from.charset;
    to.pitch = from.pitch;
    to.height = from.height;
    to.bold = from.bold;
    to.italic = from.italic;
    to.underline = from.underline;
    to.strikeout = from.strikeout;
    to.name = from.name;
    to.vertical = from.vertical;
}

} // namespace

void TextObject::GetFont(Font &out) const
{
    copyFont(font, out);
}

void TextObject::SetFont(const Font &in)
{
    copyFont(in, font);
}

void TextObject::SaveToStream(Stream *s) const
{
    SaveHead(s);
    writeRect(s, rect);
    WriteShortString(s, text);
    writeFontRecord(s, font);
    s->WriteInt32(color);
}

void TextObject::LoadFromStream(Stream *s)
{
    LoadHead(s);
    readRect(s, rect);
    ReadShortString(s, text);
    displayText = text;
    readFontRecord(s, font);
    color = s->ReadInt32();
}

bool HasWebScheme(const std::string &address)
{
    auto startsWith = [&address](std::string_view scheme) {
        if (address.size() < scheme.size())
            return false;
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            const char c = address[i];
            if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != scheme[i])
                return false;
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

namespace {

std::string headedText(const std::string &header, const std::string &text)
{
    constexpr std::string_view scheme = "http://";
    if (header.size() >= scheme.size() &&
        header.compare(header.size() - scheme.size(), scheme.size(), scheme) == 0 &&
        HasWebScheme(text))
        return header.substr(0, header.size() - scheme.size()) + text;
    return header + text;
}

} // namespace

void TextObjectWithHeader::SetText(const std::string &s)
{
    text = s;
    displayText = headedText(header, s);
}

void TextObjectWithHeader::SetHeader(const std::string &h)
{
    header = h;
    displayText = headedText(header, text);
}

void TextObjectWithHeader::SaveToStream(Stream *s) const
{
    SaveHead(s);
    WriteShortString(s, header);
    TextObject::SaveToStream(s);
}

void TextObjectWithHeader::LoadFromStream(Stream *s)
{
    LoadHead(s);
    ReadShortString(s, header);
    TextObject::LoadFromStream(s);
    displayText = headedText(header, text);
}

void GraphicObject::Draw(QPainter *canvas, const Converter &conv) const
{
    problem.clear();
    if (!visible || !picture)
        return;
    const int l = conv.ToDevice(rect.left), t = conv.ToDevice(rect.top);
    const int r = conv.ToDevice(rect.right), b = conv.ToDevice(rect.bottom);
    const long long w = static_cast<long long>(r) - l, hgt = static_cast<long long>(b) - t;
    if (w <= 0 || hgt <= 0 || w > 1 << 20 || hgt > 1 << 20)
        return; // nothing to stretch into, or far beyond any device
    picture->Draw(*canvas, QRect(l, t, static_cast<int>(w), static_cast<int>(hgt)));
    problem = picture->DrawProblem();
}

void GraphicObject::SetPicture(std::unique_ptr<Picture> p, const Converter &conv,
                               const std::string &src)
{
    picture = std::move(p);
    rect.right = Converter::Saturate(static_cast<long long>(rect.left) +
                                     conv.ToModel(picture ? picture->Width() : 0));
    rect.bottom = Converter::Saturate(static_cast<long long>(rect.top) +
                                      conv.ToModel(picture ? picture->Height() : 0));
    source = src;
}

void GraphicObject::SaveToStream(Stream *s) const
{
    const bool stored = !(source.empty() || source == kQrSource || !picture);
    const QByteArray bytes = stored ? picture->SaveToBytes() : QByteArray();
    // The record's length is a signed 32-bit number: a longer picture would
    // make a file no reader opens again, so nothing of it is written.
    if (bytes.size() > std::numeric_limits<std::int32_t>::max())
        throw CardError("画像が大きすぎて、カードデータに保存できません");
    SaveHead(s);
    writeRect(s, rect);
    WriteShortString(s, source);
    if (!stored)
        return;
    WriteShortString(s, picture->ClassName());
    s->WriteInt32(static_cast<std::int32_t>(bytes.size()));
    s->Write(bytes.constData(), bytes.size());
}

void GraphicObject::LoadFromStream(Stream *s)
{
    LoadHead(s);
    picture.reset();
    readRect(s, rect);
    ReadShortString(s, source);
    if (source.empty() || source == kQrSource)
        return;
    std::string cls;
    ReadShortString(s, cls);
    if (cls != "TJPEGImage" && cls != "TBitmap")
        throw ReadError("画像の種類 \"" + sjis::toUtf8(cls) + "\" は読めません");
    const std::int32_t length = s->ReadInt32();
    // Checked before anything is allocated: a damaged length must not
    // reserve gigabytes.
    if (length < 0 || length > s->Remaining())
        throw ReadError("画像の長さ " + std::to_string(length) + " がファイルの残りと合いません");
    QByteArray bytes(length, Qt::Uninitialized);
    s->Read(bytes.data(), length);
    if (cls == "TJPEGImage")
        picture = JpegPicture::FromBytes(bytes);
    else
        picture = BitmapPicture::FromBytes(bytes);
}
