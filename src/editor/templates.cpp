#include "editor/templates.h"

#include "card/cardfile.h"
#include "card/cardoptions.h"
#include "card/defaultcard.h"
#include "card/files.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "editor/geometry.h"
#include "editor/session.h"
#include "qr/qrcode.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <algorithm>

#ifndef PLAKURO_DATADIR_FROM_BINDIR
#error "PLAKURO_DATADIR_FROM_BINDIR comes from the install folders in CMake"
#endif

namespace {

const std::string kTitleKey = std::string(kTemplateRecordKey) + ".title";
const std::string kGroupKey = std::string(kTemplateRecordKey) + ".group";
const std::string kDescriptionKey = std::string(kTemplateRecordKey) + ".description";

// A template is a layout: one far larger than any picture a card needs is
// not read to list it.
constexpr qint64 kTemplateFileLimit = 64ll << 20;

struct GroupWord
{
    TemplateGroup group;
    const char *word; // kept in the record
    const char *name; // UTF-8, for the user
};
constexpr GroupWord kGroups[] = {
    {TemplateGroup::Horizontal, "horizontal", "横"},
    {TemplateGroup::Vertical, "vertical", "縦"},
    {TemplateGroup::English, "english", "英語 (裏面)"},
    {TemplateGroup::Own, "own", "自分のテンプレート"},
};

const TextObject *hiddenText(const Objects &card, const std::string &key)
{
    const auto *t = dynamic_cast<const TextObject *>(card.Find(key));
    return t && !t->Object::IsVisible() ? t : nullptr;
}

QString recordText(const Objects &card, const std::string &key)
{
    const TextObject *t = hiddenText(card, key);
    return t ? sjis::toUnicode(t->GetText()) : QString();
}

// For comparing names: case and full or half width do not count.
QString folded(const QString &s)
{
    return s.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

int distance(const QString &a, const QString &b)
{
    std::vector<int> row(static_cast<std::size_t>(b.size()) + 1);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[static_cast<std::size_t>(j)];
            row[static_cast<std::size_t>(j)] =
                std::min({above + 1, row[static_cast<std::size_t>(j - 1)] + 1,
                          diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

TRect rectOf(const Object &obj)
{
    TRect r;
    obj.GetRect(r);
    return r;
}

bool emptyRect(const TRect &r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

// The template's place for the picture: the box it keeps, or the picture it
// shows; none when it has neither.
std::optional<TRect> picturePlace(const Objects &tpl)
{
    if (const std::optional<TRect> box = ReadCardOptions(tpl).pictureBox)
        return box;
    const Object *pic = tpl.Find(kPictureKey);
    if (pic && pic->IsVisible() && !emptyRect(rectOf(*pic)))
        return rectOf(*pic);
    return std::nullopt;
}

} // namespace

QString TemplateGroupName(TemplateGroup group)
{
    for (const GroupWord &g : kGroups)
        if (g.group == group)
            return QString::fromUtf8(g.name);
    return {};
}

bool TemplateGroupFromName(const QString &name, TemplateGroup &out)
{
    for (const GroupWord &g : kGroups) {
        const QString full = QString::fromUtf8(g.name);
        if (name == full || name == QLatin1String(g.word) ||
            name == full.section(u' ', 0, 0)) { // 「英語」
            out = g.group;
            return true;
        }
    }
    return false;
}

TemplateMeta ReadTemplateMeta(const Objects &card)
{
    TemplateMeta meta;
    meta.title = recordText(card, kTitleKey);
    meta.description = recordText(card, kDescriptionKey);
    TemplateGroupFromName(recordText(card, kGroupKey), meta.group);
    return meta;
}

std::vector<std::pair<std::string, std::string>> TemplateMetaRecords(const TemplateMeta &meta)
{
    std::string group;
    for (const GroupWord &g : kGroups)
        if (g.group == meta.group)
            group = g.word;
    std::vector<std::pair<std::string, std::string>> records = {{kGroupKey, group}};
    if (!meta.description.isEmpty())
        records.emplace_back(kDescriptionKey,
                             sjis::truncate(sjis::fromUnicode(meta.description), kShortStringMax));
    if (!meta.title.isEmpty())
        records.emplace_back(kTitleKey,
                             sjis::truncate(sjis::fromUnicode(meta.title), kShortStringMax));
    return records;
}

QStringList ShippedTemplateFolders(const QString &programDir)
{
    QStringList candidates = {
        QDir(programDir).filePath(QStringLiteral("templates")),
        QDir(programDir)
            .filePath(QStringLiteral(PLAKURO_DATADIR_FROM_BINDIR "/plakuro/templates"))};
    const QString own = QDir::cleanPath(OwnTemplateFolder());
    for (const QString &dir : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                        QStringLiteral("plakuro/templates"),
                                                        QStandardPaths::LocateDirectory))
        if (QDir::cleanPath(dir) != own)
            candidates << dir;
    QStringList folders;
    for (const QString &c : candidates) {
        const QString clean = QDir::cleanPath(QFileInfo(c).absoluteFilePath());
        if (QFileInfo(clean).isDir() && !folders.contains(clean))
            folders << clean;
    }
    return folders;
}

QString OwnTemplateFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("plakuro/templates"));
}

std::vector<TemplateFile> ListTemplates(const QString &programDir)
{
    const auto read = [](const QString &folder, bool own, std::vector<TemplateFile> &out) {
        const QFileInfoList files = QDir(folder).entryInfoList(
            {QStringLiteral("*.pkd")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &f : files) {
            const QString name = f.completeBaseName();
            if (std::any_of(out.begin(), out.end(),
                            [&](const TemplateFile &t) { return t.own == own && t.name == name; }))
                continue;
            try {
                TemplateFile t{name, f.absoluteFilePath(),
                               ReadTemplateMeta(ReadTemplateCard(f.absoluteFilePath())), own};
                if (own || t.meta.group == TemplateGroup::Own)
                    t.meta.group = own ? TemplateGroup::Own : TemplateGroup::Horizontal;
                out.push_back(std::move(t));
            } catch (const CardError &) {
                // Not a card (or unreadable): not a template either.
            }
        }
    };
    std::vector<TemplateFile> shipped, own;
    for (const QString &folder : ShippedTemplateFolders(programDir))
        read(folder, false, shipped);
    std::stable_sort(shipped.begin(), shipped.end(), [](const auto &a, const auto &b) {
        return a.meta.group != b.meta.group ? a.meta.group < b.meta.group : a.name < b.name;
    });
    read(OwnTemplateFolder(), true, own);
    shipped.insert(shipped.end(), std::make_move_iterator(own.begin()),
                   std::make_move_iterator(own.end()));
    return shipped;
}

const TemplateFile *FindTemplate(const std::vector<TemplateFile> &all, const QString &name)
{
    const TemplateFile *found = nullptr;
    for (const TemplateFile &t : all)
        if (t.name == name && (!found || t.own))
            found = &t;
    return found;
}

QStringList CloseTemplateNames(const std::vector<TemplateFile> &all, const QString &name)
{
    const QString wanted = folded(name);
    std::vector<std::pair<int, QString>> close;
    for (const TemplateFile &t : all) {
        const QString candidate = folded(t.name);
        int d = distance(wanted, candidate);
        if (!wanted.isEmpty() && (candidate.contains(wanted) || wanted.contains(candidate)))
            d = std::min(d, 1);
        if (d <= std::max<qsizetype>(2, wanted.size() / 3) &&
            std::none_of(close.begin(), close.end(),
                         [&](const auto &c) { return c.second == t.name; }))
            close.emplace_back(d, t.name);
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (std::size_t i = 0; i < close.size() && i < 5; ++i)
        names << close[i].second;
    return names;
}

Objects ReadTemplateCard(const QString &path)
{
    const QByteArray bytes = files::ReadWholeFile(path, kTemplateFileLimit);
    Objects card;
    MemoryStream s(bytes);
    if (!bytes.startsWith(QByteArray(1, '\x05') + kCardMagic) || !LoadCard(&s, card))
        throw ReadError(QStringLiteral("%1 はカードデータのファイルではありません")
                            .arg(QDir::toNativeSeparators(path))
                            .toStdString());
    RepairCard(card);
    return card;
}

QStringList LeftOutFields(const Objects &tpl)
{
    QStringList out;
    for (const FieldInfo &f : kFields)
        if (const Object *obj = tpl.Find(f.key); obj && !obj->Object::IsVisible())
            out << QString::fromUtf8(f.caption);
    return out;
}

bool HasFieldData(const Objects &card)
{
    return std::any_of(kFields.begin(), kFields.end(), [&](const FieldInfo &f) {
        const auto *t = dynamic_cast<const TextObject *>(card.Find(f.key));
        return t && !t->GetText().empty();
    });
}

void ApplyTemplateLayout(Objects &card, const Objects &tpl, bool takeSample)
{
    // The fields: the template's objects, with the card's texts.
    for (const FieldInfo &f : kFields) {
        const auto *from = dynamic_cast<const TextObject *>(tpl.Find(f.key));
        const auto *mine = dynamic_cast<const TextObject *>(card.Find(f.key));
        if (!from || !mine)
            continue;
        const std::string text = takeSample ? from->GetText() : mine->GetText();
        std::unique_ptr<Object> fresh = from->Clone();
        static_cast<TextObject &>(*fresh).SetText(text);
        card[f.key] = std::move(fresh);
    }

    CardOptions options = ReadCardOptions(card);
    const CardOptions tplOptions = ReadCardOptions(tpl);
    options.qrFormat = tplOptions.qrFormat;
    options.qrSizeKept = tplOptions.qrSizeKept;

    // The QR code: the template's place; its symbol is made afresh.
    if (auto *qr = dynamic_cast<GraphicObject *>(card.Find(kQrKey)))
        if (const Object *from = tpl.Find(kQrKey)) {
            qr->SetRect(rectOf(*from));
            qr->SetOrder(from->GetOrder());
            qr->SetVisible(from->Object::IsVisible());
        }

    // The picture: the card's own in the template's place.
    if (auto *pic = dynamic_cast<GraphicObject *>(card.Find(kPictureKey))) {
        const auto *from = dynamic_cast<const GraphicObject *>(tpl.Find(kPictureKey));
        options.pictureBox = from ? picturePlace(tpl) : std::nullopt;
        if (!options.pictureBox) {
            pic->SetVisible(false);
        } else if (takeSample && from->IsVisible()) {
            card[kPictureKey] = from->Clone();
        } else {
            const std::optional<TRect> fitted = pic->IsVisible() && pic->GetPicture()
                                                    ? geometry::FitInto(rectOf(*pic), rectOf(*from))
                                                    : std::nullopt;
            pic->SetRect(fitted.value_or(rectOf(*from)));
            pic->SetOrder(from->GetOrder());
        }
    }

    // The background is the design's.
    if (const Object *from = tpl.Find(kBackPictureKey); from && from->IsVisible())
        card[kBackPictureKey] = from->Clone();
    else if (Object *back = card.Find(kBackPictureKey))
        back->SetVisible(false);

    // What the user added gives way to what the template adds.
    EraseAddedObjects(card);
    for (const auto &[key, obj] : tpl)
        if (obj && Deletable(key, *obj))
            card[key] = obj->Clone();

    WriteCardOptions(card, options);
}

void MakeTemplateCard(Objects &card, const TemplateMeta &meta, bool keepData)
{
    if (!keepData) {
        for (const FieldInfo &f : kFields)
            if (auto *t = dynamic_cast<TextObject *>(card.Find(f.key)))
                t->SetText(std::string());
        if (auto *pic = dynamic_cast<GraphicObject *>(card.Find(kPictureKey))) {
            const std::optional<TRect> place = picturePlace(card);
            auto empty = std::make_unique<GraphicObject>();
            empty->SetRect(place.value_or(TRect{}));
            empty->SetOrder(pic->GetOrder());
            empty->SetVisible(false);
            card[kPictureKey] = std::move(empty);
            CardOptions options = ReadCardOptions(card);
            options.pictureBox = place;
            WriteCardOptions(card, options);
        }
    }
    std::vector<std::string> old;
    for (const auto &[key, obj] : card)
        if (key.starts_with(kTemplateRecordKey))
            old.push_back(key);
    for (const std::string &key : old)
        card.Erase(key);
    for (const auto &[key, text] : TemplateMetaRecords(meta)) {
        auto record = std::make_unique<TextObject>();
        record->SetText(text);
        record->SetVisible(false);
        card[key] = std::move(record);
    }
}

QString TemplateFileName(const QString &title)
{
    QString name = title.trimmed();
    for (QChar &c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c == u':' || c == u'*' || c == u'?' ||
            c == u'"' || c == u'<' || c == u'>' || c == u'|')
            c = u'_';
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("template");
    return name.left(100) + QStringLiteral(".pkd");
}

QImage TemplatePreview(const Objects &card, const Objects &tpl, int width)
{
    Objects laid;
    for (const auto &[key, obj] : card)
        if (obj)
            laid[key] = obj->Clone();
    ApplyTemplateLayout(laid, tpl, !HasFieldData(card));
    const Converter screen(EditSession::kCanvasWidth);
    UpdateQrCode(laid, screen);
    QImage measure(EditSession::kCanvasWidth, EditSession::kCanvasHeight, QImage::Format_RGB32);
    MeasureCard(MakeDrawingOrder(laid), &measure, screen);
    const int height = width * 550 / 910;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    RenderCard(laid, &painter, Converter(width));
    return image;
}
