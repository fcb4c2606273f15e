#include "cli/cardjson.h"

#include "card/font.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"

#include <cstdio>
#include <vector>

namespace {

// Keys are written in the order they are added, which QJsonObject would not
// keep.
class JsonObject
{
public:
    JsonObject &Raw(const char *key, const std::string &json)
    {
        out += out.empty() ? "{" : ", ";
        out += Quote(key) + ": " + json;
        return *this;
    }
    JsonObject &String(const char *key, const std::string &utf8) { return Raw(key, Quote(utf8)); }
    JsonObject &Sjis(const char *key, const std::string &bytes)
    {
        return String(key, sjis::toUtf8(bytes));
    }
    JsonObject &Int(const char *key, long long v) { return Raw(key, std::to_string(v)); }
    JsonObject &Bool(const char *key, bool v) { return Raw(key, v ? "true" : "false"); }
    std::string Text() const { return out.empty() ? "{}" : out + "}"; }

    static std::string Quote(const std::string &utf8)
    {
        std::string q = "\"";
        for (const char ch : utf8) {
            const auto c = static_cast<unsigned char>(ch);
            switch (c) {
            case '"':
                q += "\\\"";
                break;
            case '\\':
                q += "\\\\";
                break;
            case '\n':
                q += "\\n";
                break;
            case '\r':
                q += "\\r";
                break;
            case '\t':
                q += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    q += buf;
                } else {
                    q += ch;
                }
            }
        }
        return q + "\"";
    }

private:
    std::string out;
};

const char *pitchName(Pitch p)
{
    switch (p) {
    case Pitch::Fixed:
        return "fixed";
    case Pitch::Variable:
        return "variable";
    case Pitch::Default:
        break;
    }
    return "default";
}

std::string fontJson(const Font &f)
{
    return JsonObject()
        .Sjis("face", f.name)
        .Int("height", f.height)
        .Bool("bold", f.bold)
        .Bool("italic", f.italic)
        .Bool("underline", f.underline)
        .Bool("strikeout", f.strikeout)
        .Int("charset", f.charset)
        .String("pitch", pitchName(f.pitch))
        .Bool("vertical", f.vertical)
        .Text();
}

std::string pictureJson(const Picture *p)
{
    if (!p)
        return "null";
    return JsonObject()
        .String("class", p->ClassName())
        .Int("bytes", p->SaveToBytes().size())
        .Int("width", p->Width())
        .Int("height", p->Height())
        .Text();
}

// The kind's own values as JSON members.
class JsonSink : public InfoSink
{
public:
    explicit JsonSink(JsonObject &j) : j(j) {}
    void Int(const char *name, long long value) override { j.Int(name, value); }
    void Bool(const char *name, bool value) override { j.Bool(name, value); }
    void Ascii(const char *name, const std::string &value) override { j.String(name, value); }
    void Sjis(const char *name, const std::string &value) override { j.Sjis(name, value); }
    void Null(const char *name) override { j.Raw(name, "null"); }
    void Numbers(const char *name, const std::vector<long long> &values) override
    {
        std::string list = "[";
        for (std::size_t i = 0; i < values.size(); ++i)
            list += (i ? ", " : "") + std::to_string(values[i]);
        j.Raw(name, list + "]");
    }
    void FontValue(const char *name, const Font &font) override { j.Raw(name, fontJson(font)); }
    void PictureValue(const char *name, const Picture *picture) override
    {
        j.Raw(name, pictureJson(picture));
    }

private:
    JsonObject &j;
};

std::string recordJson(const std::string &key, const Object &obj)
{
    TRect r;
    obj.GetRect(r);
    const ObjectKind &kind = KindOf(key, obj);
    JsonObject j;
    j.Sjis("key", key).String("class", obj.GetClassName()).Int("order", obj.GetOrder());
    // The stored flag: a text object without text also counts as hidden.
    j.Bool("visible", obj.Object::IsVisible());
    JsonSink sink(j);
    sink.Numbers("rect", {r.left, r.top, r.right, r.bottom});
    kind.describe(obj, sink);
    // Last, so the members earlier versions wrote keep their order.
    j.String("kind", kind.name);
    return j.Text();
}

} // namespace

std::string CardJson(const Objects &card)
{
    std::string records;
    for (const auto &[key, obj] : card) {
        if (!obj)
            continue;
        if (!records.empty())
            records += ", ";
        records += recordJson(key, *obj);
    }
    std::string out = "{\"records\": [";
    out += records;
    out += "]}";
    return out;
}
