#include "cli/edits.h"
#include "card/cardfile.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/font.h"
#include "card/freetext.h"
#include "card/kinds.h"
#include "card/picture.h"
#include "card/shape.h"
#include "card/sjis.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/files.h"
#include "editor/session.h"
#include "editor/templates.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>
#include <optional>

namespace {

// An edits file is a short list typed by hand or made by a script.
constexpr qint64 kEditsFileLimit = 16ll << 20;

class StepError
{
public:
    explicit StepError(QString why) : why(std::move(why)) {}
    QString why;
};

// One step's members, read with their checks; every member must be used.
class Step
{
public:
    explicit Step(const QJsonObject &o) : o(o) {}

    bool Has(const char *name) const { return o.contains(QLatin1String(name)); }
    QString Text(const char *name, const QString &fallback = {}, bool required = false)
    {
        const QJsonValue v = take(name);
        if (v.isUndefined()) {
            if (required)
                throw StepError(QStringLiteral("\"%1\" がありません").arg(QLatin1String(name)));
            return fallback;
        }
        if (!v.isString())
            throw StepError(QStringLiteral("\"%1\" は文字列です").arg(QLatin1String(name)));
        return v.toString();
    }
    long long Number(const char *name, long long fallback, long long least, long long most,
                     bool required = false)
    {
        const QJsonValue v = take(name);
        if (v.isUndefined()) {
            if (required)
                throw StepError(QStringLiteral("\"%1\" がありません").arg(QLatin1String(name)));
            return fallback;
        }
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || d != std::floor(d) || d < least || d > most)
            throw StepError(QStringLiteral("\"%1\" は %2 から %3 までの整数です")
                                .arg(QLatin1String(name))
                                .arg(least)
                                .arg(most));
        return static_cast<long long>(d);
    }
    double Real(const char *name, double fallback, double least, double most)
    {
        const QJsonValue v = take(name);
        if (v.isUndefined())
            return fallback;
        if (!v.isDouble() || v.toDouble() < least || v.toDouble() > most)
            throw StepError(QStringLiteral("\"%1\" は %2 から %3 までの数です")
                                .arg(QLatin1String(name))
                                .arg(least)
                                .arg(most));
        return v.toDouble();
    }
    bool Flag(const char *name, bool fallback)
    {
        const QJsonValue v = take(name);
        if (v.isUndefined())
            return fallback;
        if (!v.isBool())
            throw StepError(
                QStringLiteral("\"%1\" は true か false です").arg(QLatin1String(name)));
        return v.toBool();
    }
    // "#RRGGBB" as a TColor; null (when allowed) for none.
    std::optional<std::int32_t> Color(const char *name, std::optional<std::int32_t> fallback)
    {
        const QJsonValue v = take(name);
        if (v.isUndefined())
            return fallback;
        if (v.isNull())
            return std::nullopt;
        const QString s = v.toString();
        bool ok = s.size() == 7 && s[0] == u'#';
        const uint rgb = ok ? s.mid(1).toUInt(&ok, 16) : 0;
        if (!ok)
            throw StepError(
                QStringLiteral("\"%1\" は \"#RRGGBB\" か null です").arg(QLatin1String(name)));
        return static_cast<std::int32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) |
                                         ((rgb >> 16) & 0xFF));
    }
    std::vector<std::string> Keys(const char *name)
    {
        const QJsonValue v = take(name);
        std::vector<std::string> keys;
        if (v.isString())
            keys.push_back(v.toString().toStdString());
        else if (v.isArray())
            for (const QJsonValue &k : v.toArray()) {
                if (!k.isString())
                    throw StepError(
                        QStringLiteral("\"%1\" はキーの並びです").arg(QLatin1String(name)));
                keys.push_back(k.toString().toStdString());
            }
        if (keys.empty())
            throw StepError(QStringLiteral("\"%1\" にキーがありません").arg(QLatin1String(name)));
        return keys;
    }
    std::pair<long long, long long> Pair(const char *name)
    {
        const QJsonArray a = take(name).toArray();
        if (a.size() != 2 || !a[0].isDouble() || !a[1].isDouble() ||
            std::fabs(a[0].toDouble()) > 100000 || std::fabs(a[1].toDouble()) > 100000)
            throw StepError(QStringLiteral("\"%1\" は [dx, dy] です").arg(QLatin1String(name)));
        return {std::llround(a[0].toDouble()), std::llround(a[1].toDouble())};
    }
    // Every member the step named was used: a misspelt one is an error, not
    // a default.
    void Done() const
    {
        for (const QString &k : o.keys())
            if (!used.contains(k))
                throw StepError(QStringLiteral("\"%1\" はこの手順にない項目です").arg(k));
    }

private:
    QJsonValue take(const char *name)
    {
        used.insert(QLatin1String(name));
        return o.value(QLatin1String(name));
    }
    QJsonObject o;
    QSet<QString> used;
};

constexpr long long kFar = 100000; // 10 m: beyond any card, within any int

std::string addedKey(Step &step)
{
    const QString key = step.Text("key");
    if (!key.isEmpty() && !IsAddedKey(key.toStdString()))
        throw StepError(QStringLiteral("キー \"%1\" は使えません (英字で始まる英数字と _ で "
                                       "40 字まで、z で始まらず、項目のキーでないもの)")
                            .arg(key));
    return key.toStdString();
}

void addText(EditSession &session, Step &step, qsizetype index)
{
    const std::string key = addedKey(step);
    const QString text = step.Text("text", {}, true);
    const long long left = step.Number("left", 80, -kFar, kFar);
    const long long top = step.Number("top", 80, -kFar, kFar);
    const QString align = step.Text("align", QStringLiteral("left"));
    auto obj = std::make_unique<FreeText>(TRect{static_cast<int>(left), static_cast<int>(top),
                                                static_cast<int>(left), static_cast<int>(top)});
    Font font;
    const double points = step.Real("points", 9, 1, 999);
    font.height = -static_cast<int>(std::lround(points * 96.0 / 72.0));
    const QString face = step.Text("face");
    if (!face.isEmpty())
        font.name = sjis::fromUnicode(face);
    font.bold = step.Flag("bold", false);
    font.vertical = step.Flag("vertical", false);
    obj->SetFont(font);
    obj->SetColor(step.Color("color", 0).value_or(0));
    // Line by line, as the window's editor keeps them; each line says what
    // it loses.
    std::string lines;
    const QStringList parts = text.split(u'\n');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        NoteLostCharacters(QStringLiteral("手順 %1 ").arg(index),
                           QStringLiteral("%1 行目").arg(i + 1), parts[i]);
        lines += (i ? "\n" : "") + sjis::truncate(EditSession::EditText(parts[i]), kShortStringMax);
    }
    obj->SetText(lines);
    if (align == QStringLiteral("left"))
        obj->SetAlign(FreeText::Align::Left);
    else if (align == QStringLiteral("center") || align == QStringLiteral("hcenter"))
        obj->SetAlign(FreeText::Align::Center);
    else if (align == QStringLiteral("right"))
        obj->SetAlign(FreeText::Align::Right);
    else
        throw StepError(QStringLiteral("\"align\" は left、center、right のどれかです"));
    obj->SetSpacing(static_cast<int>(step.Number("spacing", 100, 50, 400)));
    obj->SetWidth(static_cast<int>(step.Number("width", 0, 0, kFar)));
    step.Done();
    session.AddObject(std::move(obj), key);
}

void addShape(EditSession &session, Step &step, const ObjectKind &kind)
{
    const std::string key = addedKey(step);
    auto obj =
        std::make_unique<ShapeObject>(kind.id == KindId::Line      ? ShapeObject::Kind::Line
                                      : kind.id == KindId::Ellipse ? ShapeObject::Kind::Ellipse
                                                                   : ShapeObject::Kind::Rect);
    if (kind.id == KindId::Line) {
        const auto x1 = step.Number("x1", 0, -kFar, kFar, true);
        const auto y1 = step.Number("y1", 0, -kFar, kFar, true);
        const auto x2 = step.Number("x2", 0, -kFar, kFar, true);
        const auto y2 = step.Number("y2", 0, -kFar, kFar, true);
        obj->SetFrame(TRect{static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2),
                            static_cast<int>(y2)});
        obj->SetStroke(step.Color("stroke", 0));
        if (!obj->Stroke())
            throw StepError(QStringLiteral("線には \"stroke\" の色が要ります"));
        obj->SetStrokeWidth(static_cast<int>(step.Number("stroke_width", 3, 1, 100)));
    } else {
        const auto left = step.Number("left", 0, -kFar, kFar, true);
        const auto top = step.Number("top", 0, -kFar, kFar, true);
        const auto width = step.Number("width", 0, 1, kFar, true);
        const auto height = step.Number("height", 0, 1, kFar, true);
        obj->SetFrame(TRect{static_cast<int>(left), static_cast<int>(top),
                            static_cast<int>(left + width), static_cast<int>(top + height)});
        obj->SetFill(step.Color("fill", std::nullopt));
        obj->SetStroke(step.Color("stroke", std::nullopt));
        obj->SetStrokeWidth(static_cast<int>(step.Number("stroke_width", 0, 0, 100)));
        if (kind.id == KindId::Rect)
            obj->SetRadius(static_cast<int>(step.Number("radius", 0, 0, kFar)));
    }
    step.Done();
    session.AddObject(std::move(obj), key);
}

// The selected object placed at (left, top), `width` or `height` wide or
// high (0: from the other by `aspect`, height over width, the object's own
// when 0; both 0: its size).
void placePicture(EditSession &session, long long left, long long top, long long width,
                  long long height, double aspect = 0)
{
    TRect r;
    session.Selection()->GetRect(r);
    if (aspect <= 0)
        aspect = static_cast<double>(r.bottom - r.top) / std::max(1, r.right - r.left);
    const long long w = width ? width : (height ? std::llround(height / aspect) : r.right - r.left);
    const long long h = height ? height : std::llround(static_cast<double>(w) * aspect);
    session.PlaceSelection(TRect{static_cast<int>(left), static_cast<int>(top),
                                 static_cast<int>(left + w), static_cast<int>(top + h)});
}

void addPicture(EditSession &session, Step &step)
{
    const std::string key = addedKey(step);
    const QString file = step.Text("file", {}, true);
    const auto left = step.Number("left", 0, -kFar, kFar, true);
    const auto top = step.Number("top", 0, -kFar, kFar, true);
    const auto width = step.Number("width", 0, 1, kFar);
    const auto height = step.Number("height", 0, 1, kFar);
    step.Done();
    // As --picture: a relative name from the current folder, kept absolute.
    const QString path = QFileInfo(file).absoluteFilePath();
    std::unique_ptr<Picture> picture = ReadPictureFile(path);
    const double aspect = static_cast<double>(picture->Height()) / std::max(1, picture->Width());
    session.AddPicture(std::move(picture), path, key);
    placePicture(session, left, top, width, height, aspect);
}

void select(EditSession &session, const std::vector<std::string> &keys);

// A field's or added text's look; every member optional.
void styleTexts(EditSession &session, Step &step)
{
    const std::vector<std::string> keys = step.Keys("style");
    const bool place = step.Has("left") || step.Has("top");
    const long long left = step.Number("left", 0, -kFar, kFar);
    const long long top = step.Number("top", 0, -kFar, kFar);
    const double points = step.Real("points", 0, 1, 999);
    const bool hasFace = step.Has("face"), hasBold = step.Has("bold"),
               hasVertical = step.Has("vertical");
    const QString face = step.Text("face");
    const bool bold = step.Flag("bold", false);
    const bool vertical = step.Flag("vertical", false);
    const std::optional<std::int32_t> color = step.Color("color", std::nullopt);
    std::optional<std::string> header;
    if (step.Has("header"))
        header = sjis::fromUnicode(step.Text("header"));
    std::optional<bool> leftOut;
    if (step.Has("hidden"))
        leftOut = step.Flag("hidden", false);
    step.Done();
    for (const std::string &key : keys) {
        select(session, {key});
        auto *text = dynamic_cast<TextObject *>(session.Selection());
        if (!text)
            throw StepError(QStringLiteral("\"%1\" は文字のオブジェクトではありません")
                                .arg(QString::fromStdString(key)));
        Font font;
        text->GetFont(font);
        if (points > 0)
            font.height = -static_cast<int>(std::lround(points * 96.0 / 72.0));
        if (hasFace)
            font.name = sjis::fromUnicode(face);
        if (hasBold)
            font.bold = bold;
        session.SetFont(font);
        if (color)
            session.SetColor(*color);
        if (hasVertical)
            session.SetVertical(vertical);
        if (place) {
            TRect r;
            text->GetRect(r);
            session.PlaceSelection(TRect{static_cast<int>(step.Has("left") ? left : r.left),
                                         static_cast<int>(step.Has("top") ? top : r.top), r.right,
                                         r.bottom});
        }
        session.SetFieldDesign(header, leftOut);
    }
}

void select(EditSession &session, const std::vector<std::string> &keys)
{
    for (const std::string &key : keys)
        if (!session.Card().Find(key))
            throw StepError(QStringLiteral("キー \"%1\" のオブジェクトはカードにありません")
                                .arg(QString::fromStdString(key)));
    session.SelectKeys(keys);
}

void applyStep(EditSession &session, Step &step, qsizetype index)
{
    if (step.Has("add")) {
        const QString what = step.Text("add");
        const ObjectKind *kind = KindNamed(what.toStdString());
        if (!kind)
            throw StepError(
                QStringLiteral("\"add\" は text、rect、ellipse、line、picture のどれかです"));
        if (kind->id == KindId::Text)
            addText(session, step, index);
        else if (kind->id == KindId::Picture)
            addPicture(session, step);
        else
            addShape(session, step, *kind);
    } else if (step.Has("style")) {
        styleTexts(session, step);
    } else if (step.Has("place")) {
        const std::vector<std::string> keys = step.Keys("place");
        const auto left = step.Number("left", 0, -kFar, kFar, true);
        const auto top = step.Number("top", 0, -kFar, kFar, true);
        const auto width = step.Number("width", 0, 1, kFar);
        const auto height = step.Number("height", 0, 1, kFar);
        step.Done();
        select(session, keys);
        placePicture(session, left, top, width, height);
    } else if (step.Has("picture")) {
        const QString key = step.Text("picture");
        if (key != QLatin1String(kPictureKey) && key != QLatin1String(kBackPictureKey))
            throw StepError(QStringLiteral("\"picture\" は bPicture か bBackPicture です"));
        const QString file = step.Text("file", {}, true);
        const auto left = step.Number("left", 0, -kFar, kFar);
        const auto top = step.Number("top", 0, -kFar, kFar);
        const auto width = step.Number("width", 0, 1, kFar);
        const auto height = step.Number("height", 0, 1, kFar);
        step.Done();
        const QString path = QFileInfo(file).absoluteFilePath();
        std::unique_ptr<Picture> picture = ReadPictureFile(path);
        const double aspect =
            static_cast<double>(picture->Height()) / std::max(1, picture->Width());
        session.ChoosePicture(key.toStdString(), std::move(picture), path);
        select(session, {key.toStdString()});
        placePicture(session, left, top, width, height, aspect);
    } else if (step.Has("qr")) {
        const QString shown = step.Text("qr");
        const QString format = step.Text("format");
        step.Done();
        if (shown != QStringLiteral("show") && shown != QStringLiteral("hide"))
            throw StepError(QStringLiteral("\"qr\" は show か hide です"));
        session.ShowQr(shown == QStringLiteral("show"));
        QrFormat f = QrFormat::Text;
        if (!format.isEmpty() && !QrFormatFromName(format.toStdString(), f))
            throw StepError(QStringLiteral("\"format\" は text、mecard、vcard のどれかです"));
        if (!format.isEmpty())
            session.SetQrFormat(f);
    } else if (step.Has("template")) {
        TemplateMeta meta;
        meta.title = step.Text("template");
        meta.description = step.Text("description");
        const QString group = step.Text("group", QStringLiteral("横"));
        step.Done();
        if (!TemplateGroupFromName(group, meta.group))
            throw StepError(QStringLiteral("\"group\" は 横、縦、英語 のどれかです"));
        session.SetHiddenRecords(kTemplateRecordKey, TemplateMetaRecords(meta),
                                 QStringLiteral("テンプレートの説明"));
    } else if (step.Has("delete")) {
        const std::vector<std::string> keys = step.Keys("delete");
        step.Done();
        select(session, keys);
        for (const std::string &key : keys)
            if (!Deletable(key, *session.Card().Find(key)))
                throw Failure(Failure::FileError,
                              QStringLiteral("\"%1\" はカードの項目なので削除できません "
                                             "(項目を空にすると表示されません)")
                                  .arg(QString::fromStdString(key)));
        session.DeleteSelection();
    } else if (step.Has("move")) {
        const std::vector<std::string> keys = step.Keys("move");
        const auto [dx, dy] = step.Pair("by");
        step.Done();
        select(session, keys);
        session.MoveSelection(static_cast<int>(dx), static_cast<int>(dy));
    } else if (step.Has("align")) {
        const QString how = step.Text("align");
        const std::vector<std::string> keys = step.Keys("keys");
        const QString to = step.Text("to", keys.size() == 1 ? QStringLiteral("card")
                                                            : QStringLiteral("selection"));
        step.Done();
        static const std::pair<const char *, EditSession::AlignMode> modes[] = {
            {"left", EditSession::AlignMode::Left},
            {"hcenter", EditSession::AlignMode::HCenter},
            {"right", EditSession::AlignMode::Right},
            {"top", EditSession::AlignMode::Top},
            {"vcenter", EditSession::AlignMode::VCenter},
            {"bottom", EditSession::AlignMode::Bottom}};
        const auto *mode = std::find_if(std::begin(modes), std::end(modes), [&](const auto &m) {
            return how == QLatin1String(m.first);
        });
        if (mode == std::end(modes))
            throw StepError(QStringLiteral(
                "\"align\" は left、hcenter、right、top、vcenter、bottom のどれかです"));
        if (to != QStringLiteral("card") && to != QStringLiteral("selection"))
            throw StepError(QStringLiteral("\"to\" は card か selection です"));
        select(session, keys);
        session.AlignSelection(mode->second, to == QStringLiteral("card"));
    } else if (step.Has("distribute")) {
        const QString how = step.Text("distribute");
        const std::vector<std::string> keys = step.Keys("keys");
        step.Done();
        if (how != QStringLiteral("horizontal") && how != QStringLiteral("vertical"))
            throw StepError(QStringLiteral("\"distribute\" は horizontal か vertical です"));
        if (keys.size() < 3)
            throw StepError(QStringLiteral("等間隔に並べるには三つ以上のキーが要ります"));
        select(session, keys);
        session.DistributeSelection(how == QStringLiteral("horizontal"));
    } else {
        throw StepError(QStringLiteral("手順は add、style、place、picture、qr、template、delete、"
                                       "move、align、distribute のどれかです"));
    }
}

} // namespace

void ApplyEdits(EditSession &session, const QString &path)
{
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(path, kEditsFileLimit);
    } catch (const FileError &e) {
        throw FileFailure(path, QStringLiteral("読めません (%1)").arg(e.Cause()));
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw UsageFailure(QStringLiteral("%1: JSON として読めません (%2 バイト目: %3)")
                               .arg(path)
                               .arg(error.offset)
                               .arg(error.errorString()));
    if (!doc.isArray())
        throw UsageFailure(QStringLiteral("%1: 手順の並び [...] ではありません").arg(path));
    const QJsonArray steps = doc.array();
    for (qsizetype i = 0; i < steps.size(); ++i) {
        try {
            if (!steps[i].isObject())
                throw StepError(QStringLiteral("手順は {...} です"));
            Step step(steps[i].toObject());
            applyStep(session, step, i);
        } catch (const StepError &e) {
            throw UsageFailure(QStringLiteral("%1: 手順 %2: %3").arg(path).arg(i).arg(e.why));
        } catch (const CardError &e) {
            throw UsageFailure(QStringLiteral("%1: 手順 %2: %3")
                                   .arg(path)
                                   .arg(i)
                                   .arg(QString::fromUtf8(e.what())));
        } catch (const Failure &e) {
            throw Failure(e.status(), QStringLiteral("%1: 手順 %2: %3")
                                          .arg(path)
                                          .arg(i)
                                          .arg(QString::fromUtf8(e.what())));
        }
    }
}
