#include "card/kinds.h"
#include "card/cardoptions.h"
#include "card/defaultcard.h"
#include "card/font.h"
#include "card/freetext.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/shape.h"

#include <QByteArray>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <typeinfo>

namespace {

constexpr const char *kLayoutPrefix = "zText:";
constexpr std::size_t kMostKeyBytes = 40;

std::string colorText(std::int32_t c)
{
    const auto u = static_cast<std::uint32_t>(c);
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
    return buf;
}

void describeText(const Object &obj, InfoSink &sink)
{
    const auto &t = static_cast<const TextObject &>(obj);
    if (const auto *h = dynamic_cast<const TextObjectWithHeader *>(&t))
        sink.Sjis("header", h->Header());
    Font f;
    t.GetFont(f);
    sink.Sjis("text", t.GetText());
    sink.FontValue("font", f);
    sink.Int("color", t.GetColor());
}

void describeFreeText(const Object &obj, InfoSink &sink)
{
    const auto &t = static_cast<const FreeText &>(obj);
    describeText(obj, sink);
    static const char *const aligns[] = {"left", "center", "right"};
    sink.Ascii("align", aligns[static_cast<int>(t.GetAlign())]);
    sink.Int("spacing", t.GetSpacing());
    sink.Int("width", t.GetWidth());
    sink.Int("lines", static_cast<long long>(t.Lines().size()));
}

void describePicture(const Object &obj, InfoSink &sink)
{
    const auto &g = static_cast<const GraphicObject &>(obj);
    sink.Sjis("source", g.Source());
    sink.PictureValue("picture", g.GetPicture());
}

void describeShape(const Object &obj, InfoSink &sink)
{
    const auto &s = static_cast<const ShapeObject &>(obj);
    const TRect f = s.Frame();
    if (s.GetKind() == ShapeObject::Kind::Line) {
        sink.Numbers("ends", {f.left, f.top, f.right, f.bottom});
    } else {
        sink.Numbers("frame", {f.left, f.top, f.right, f.bottom});
        if (s.Fill())
            sink.Ascii("fill", colorText(*s.Fill()));
        else
            sink.Null("fill");
    }
    if (s.Stroke())
        sink.Ascii("stroke", colorText(*s.Stroke()));
    else
        sink.Null("stroke");
    sink.Int("stroke_width", s.StrokeWidth());
    if (s.GetKind() == ShapeObject::Kind::Rect)
        sink.Int("radius", s.Radius());
}

void describeHidden(const Object &obj, InfoSink &sink)
{
    if (const auto *t = dynamic_cast<const TextObject *>(&obj))
        sink.Sjis("text", t->GetText());
}

std::unique_ptr<Object> makeText()
{
    auto t = std::make_unique<FreeText>();
    t->SetText("\x83\x65\x83\x4C\x83\x58\x83\x67"); // テキスト, as the card keeps it (Shift-JIS)
    return t;
}

template <ShapeObject::Kind K> std::unique_ptr<Object> makeShape()
{
    auto s = std::make_unique<ShapeObject>(K);
    if (K == ShapeObject::Kind::Line) {
        s->SetFrame(TRect{0, 0, 300, 0});
        s->SetStrokeWidth(3);
    } else {
        s->SetFrame(TRect{0, 0, 300, 150});
        s->SetStroke(std::nullopt);
        s->SetFill(0x6E3C1A); // #1A3C6E
    }
    return s;
}

std::unique_ptr<Object> makePicture()
{
    return std::make_unique<GraphicObject>();
}

// The table's rows; the order is the one menus and plakuro-cli list.
const std::vector<ObjectKind> kKinds = {
    // id, name, caption, fileTag,
    // text, editText, fill, stroke, resize, keepAspect, square, lineEnds, savePicture
    {KindId::Field, "field", "入力欄", "TextObject", true, false, false, false, false, false, false,
     false, false, nullptr, describeText},
    {KindId::HeaderField, "field", "入力欄", "TextObjectWithHeader", true, false, false, false,
     false, false, false, false, false, nullptr, describeText},
    {KindId::Qr, "qr", "QR コード", "GraphicObject", false, false, false, false, true, true, true,
     false, true, nullptr, describePicture},
    {KindId::Picture, "picture", "画像", "GraphicObject", false, false, false, false, true, true,
     false, false, false, makePicture, describePicture},
    {KindId::Text, "text", "テキスト", "TextObject", true, true, false, false, false, false, false,
     false, false, makeText, describeFreeText},
    {KindId::Line, "line", "線", "GraphicObject", false, false, false, true, true, false, false,
     true, false, makeShape<ShapeObject::Kind::Line>, describeShape},
    {KindId::Rect, "rect", "四角形", "GraphicObject", false, false, true, true, true, false, false,
     false, false, makeShape<ShapeObject::Kind::Rect>, describeShape},
    {KindId::Ellipse, "ellipse", "楕円", "GraphicObject", false, false, true, true, true, false,
     false, false, false, makeShape<ShapeObject::Kind::Ellipse>, describeShape},
    {KindId::Hidden, "hidden", "非表示の記録", "TextObject", false, false, false, false, false,
     false, false, false, false, nullptr, describeHidden},
};

const ObjectKind &row(KindId id)
{
    return kKinds[static_cast<std::size_t>(id)];
}

bool parseNumber(const std::string &s, int &out)
{
    const char *end = s.data() + s.size();
    return !s.empty() && std::from_chars(s.data(), end, out).ptr == end;
}

std::string lineKey(const std::string &key, std::size_t line)
{
    return line == 0 ? key : key + "#" + std::to_string(line + 1);
}

} // namespace

std::map<std::string, std::string> KeyValuePairs(const std::string &text)
{
    std::map<std::string, std::string> pairs;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string pair = text.substr(at, end - at);
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos)
            pairs[pair.substr(0, eq)] = pair.substr(eq + 1);
        at = end + 1;
    }
    return pairs;
}

const std::vector<ObjectKind> &ObjectKinds()
{
    return kKinds;
}

const ObjectKind &KindOf(const std::string &key, const Object &obj)
{
    const std::type_info &type = typeid(obj);
    if (type == typeid(FreeText))
        return row(KindId::Text);
    if (type == typeid(ShapeObject)) {
        switch (static_cast<const ShapeObject &>(obj).GetKind()) {
        case ShapeObject::Kind::Line:
            return row(KindId::Line);
        case ShapeObject::Kind::Rect:
            return row(KindId::Rect);
        case ShapeObject::Kind::Ellipse:
            return row(KindId::Ellipse);
        }
    }
    if (type == typeid(GraphicObject))
        return row(key == kQrKey ? KindId::Qr : KindId::Picture);
    if (type == typeid(TextObjectWithHeader))
        return row(KindId::HeaderField);
    if (!key.empty() && key[0] == 'z')
        return row(KindId::Hidden);
    return row(KindId::Field);
}

const ObjectKind *KindNamed(const std::string &name)
{
    for (const ObjectKind &k : kKinds)
        if (k.make && name == k.name)
            return &k;
    return nullptr;
}

bool IsDescribedKey(const std::string &key)
{
    if (key == kQrKey || key == kPictureKey || key == kBackPictureKey)
        return true;
    return std::any_of(kFields.begin(), kFields.end(),
                       [&](const FieldInfo &f) { return key == f.key; });
}

bool IsAddedKey(const std::string &key)
{
    if (key.empty() || key.size() > kMostKeyBytes || key[0] == 'z' || IsDescribedKey(key))
        return false;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(key[0]))
        return false;
    return std::all_of(key.begin(), key.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

bool Deletable(const std::string &key, const Object &obj)
{
    return !IsDescribedKey(key) && KindOf(key, obj).id != KindId::Hidden && key != kOptionsKey;
}

void EraseAddedObjects(Objects &card)
{
    std::vector<std::string> added;
    for (const auto &[key, obj] : card)
        if (obj && Deletable(key, *obj))
            added.push_back(key);
    for (const std::string &key : added)
        card.Erase(key);
}

std::string KeyPrefix(KindId kind)
{
    switch (kind) {
    case KindId::Text:
        return "tText";
    case KindId::Line:
        return "sLine";
    case KindId::Rect:
        return "sRect";
    case KindId::Ellipse:
        return "sEllipse";
    default:
        return "pPicture";
    }
}

std::string NewKey(const Objects &card, const std::string &prefix)
{
    for (int n = 1;; ++n) {
        const std::string key = prefix + std::to_string(n);
        if (!card.Find(key))
            return key;
    }
}

std::string LayoutKey(const std::string &key)
{
    return kLayoutPrefix + key;
}

std::vector<std::pair<std::string, const Object *>>
FileRecords(const std::string &key, const Object &obj, std::vector<std::unique_ptr<Object>> &keep)
{
    const auto *text = dynamic_cast<const FreeText *>(&obj);
    if (!text || !text->HasLayout())
        return {{key, &obj}};
    // One text record a line at its drawn place: every reader shows them.
    std::vector<std::pair<std::string, const Object *>> out;
    const std::vector<TextObject> lines = text->Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 && lines[i].GetText().empty())
            continue;
        auto line = std::make_unique<TextObject>(lines[i]);
        line->SetOrder(obj.GetOrder());
        line->SetVisible(obj.Object::IsVisible());
        out.emplace_back(lineKey(key, i), line.get());
        keep.push_back(std::move(line));
    }
    // The layout, in a record no reader draws.
    TRect box;
    obj.GetRect(box);
    static const char aligns[] = {'l', 'c', 'r'};
    std::string pairs =
        "n=" + std::to_string(lines.size()) + ";a=" + aligns[static_cast<int>(text->GetAlign())] +
        ";s=" + std::to_string(text->GetSpacing()) + ";w=" + std::to_string(text->GetWidth()) +
        ";x=" + std::to_string(box.left) + ";y=" + std::to_string(box.top);
    auto layout = std::make_unique<TextObject>();
    layout->SetText(pairs);
    layout->SetVisible(false);
    layout->SetOrder(obj.GetOrder());
    out.emplace_back(LayoutKey(key), layout.get());
    keep.push_back(std::move(layout));
    return out;
}

void AssembleCard(Objects &card)
{
    std::vector<std::string> keys;
    for (const auto &[key, obj] : card)
        if (obj)
            keys.push_back(key);
    // Added texts with a layout first, so their line records are theirs.
    for (const std::string &key : keys) {
        if (key.rfind(kLayoutPrefix, 0) != 0)
            continue;
        const std::string base = key.substr(std::char_traits<char>::length(kLayoutPrefix));
        const auto *first = dynamic_cast<const TextObject *>(card.Find(base));
        const auto *layout = dynamic_cast<const TextObject *>(card.Find(key));
        if (!first || !layout || typeid(*first) != typeid(TextObject) || !IsAddedKey(base))
            continue;
        auto pairs = KeyValuePairs(layout->GetText());
        int n = 1, spacing = FreeText::kDefaultSpacing, width = 0;
        TRect firstRect;
        first->GetRect(firstRect);
        int left = firstRect.left, top = firstRect.top;
        parseNumber(pairs["n"], n);
        parseNumber(pairs["s"], spacing);
        parseNumber(pairs["w"], width);
        parseNumber(pairs["x"], left);
        parseNumber(pairs["y"], top);
        n = std::clamp(n, 1, 1000);
        auto text = std::make_unique<FreeText>(TRect{left, top, left, top});
        Font f;
        first->GetFont(f);
        text->SetFont(f);
        text->SetColor(first->GetColor());
        text->SetOrder(first->GetOrder());
        text->SetVisible(first->Object::IsVisible());
        text->SetAlign(pairs["a"] == "c"   ? FreeText::Align::Center
                       : pairs["a"] == "r" ? FreeText::Align::Right
                                           : FreeText::Align::Left);
        text->SetSpacing(spacing);
        text->SetWidth(width);
        std::string all;
        std::vector<TRect> places(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const std::string k = lineKey(base, static_cast<std::size_t>(i));
            const auto *line = dynamic_cast<const TextObject *>(card.Find(k));
            if (i > 0)
                all += '\n';
            if (line && typeid(*line) == typeid(TextObject)) {
                all += line->GetText();
                line->GetRect(places[static_cast<std::size_t>(i)]);
            }
            if (i > 0)
                card.Erase(k);
        }
        text->SetText(all);
        text->SetLinePlaces(places);
        card[base] = std::move(text);
        card.Erase(key);
    }
    // What is left under added keys: one-line texts and shapes.
    for (auto &[key, obj] : card) {
        if (!obj || IsDescribedKey(key) || key.empty() || key[0] == 'z')
            continue;
        const Object &read = *obj;
        if (typeid(read) == typeid(TextObject)) {
            const auto &line = static_cast<const TextObject &>(*obj);
            TRect r;
            line.GetRect(r);
            auto text = std::make_unique<FreeText>(r);
            Font f;
            line.GetFont(f);
            text->SetFont(f);
            text->SetColor(line.GetColor());
            text->SetOrder(line.GetOrder());
            text->SetVisible(line.Object::IsVisible());
            text->SetText(line.GetText());
            text->SetLinePlaces({r});
            obj = std::move(text);
        } else if (typeid(read) == typeid(GraphicObject)) {
            const auto &g = static_cast<const GraphicObject &>(*obj);
            if (g.Source().rfind(kShapeSource, 0) != 0)
                continue;
            auto shape = std::make_unique<ShapeObject>();
            if (!shape->FromDescription(g.Source()))
                continue; // kept as the picture every reader draws
            shape->SetOrder(g.GetOrder());
            obj = std::move(shape);
        }
    }
}

std::unique_ptr<Object> MakeRecordObject(const std::string &tag)
{
    // The three record layouts of the format; every kind is kept in one.
    if (tag == row(KindId::Field).fileTag)
        return std::make_unique<TextObject>();
    if (tag == row(KindId::HeaderField).fileTag)
        return std::make_unique<TextObjectWithHeader>();
    if (tag == row(KindId::Picture).fileTag)
        return std::make_unique<GraphicObject>();
    return nullptr;
}
