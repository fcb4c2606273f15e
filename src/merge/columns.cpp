#include "merge/columns.h"

#include "card/defaultcard.h"
#include "card/kinds.h"
#include "card/objects.h"

#include <QHash>

namespace {

// The names staff lists give the fields, besides their captions and keys.
struct Alias
{
    const char *key;
    std::vector<const char *> names;
};
const std::vector<Alias> kAliases = {
    {"eName", {"氏名", "名前", "お名前", "Name", "Full Name"}},
    {"eFuri", {"フリガナ", "ふりがな", "よみ", "読み", "Kana", "Furigana"}},
    {"eCorp", {"会社", "会社名", "社名", "Company", "Organization"}},
    {"eBusho", {"部署", "部署名", "所属", "Department", "Dept"}},
    {"eYaku", {"役職", "肩書", "Title", "Position", "Job Title"}},
    {"ePostNo", {"郵便番号", "〒", "Zip", "Zip Code", "Postal Code", "Postcode"}},
    {"eAddress", {"住所", "所在地", "Address"}},
    {"eTel", {"電話", "電話番号", "TEL", "Phone", "Telephone"}},
    {"eFax", {"FAX", "ファックス", "FAX番号"}},
    {"eMobile", {"携帯", "携帯電話", "携帯番号", "Mobile", "Cell", "Cellphone"}},
    {"eMail", {"メール", "メールアドレス", "E-mail", "Email", "Mail"}},
    {"eURL", {"URL", "ホームページ", "Web", "Website", "Webサイト"}},
    {kPictureKey, {"画像", "写真", "ロゴ", "Photo", "Picture", "Logo"}},
    {kBackPictureKey, {"背景", "Background"}},
};

const QHash<QString, std::string> &namedKeys()
{
    static const QHash<QString, std::string> names = [] {
        QHash<QString, std::string> n;
        for (const FieldInfo &f : kFields) {
            n.insert(ColumnMatchName(QString::fromUtf8(f.caption)), f.key);
            n.insert(ColumnMatchName(QString::fromUtf8(f.key)), f.key);
        }
        for (const Alias &a : kAliases)
            for (const char *name : a.names)
                n.insert(ColumnMatchName(QString::fromUtf8(name)), a.key);
        n.insert(ColumnMatchName(QString::fromUtf8(kPictureKey)), kPictureKey);
        n.insert(ColumnMatchName(QString::fromUtf8(kBackPictureKey)), kBackPictureKey);
        return n;
    }();
    return names;
}

bool isPictureKind(const std::string &key, const Object &obj)
{
    return KindOf(key, obj).id == KindId::Picture;
}

// Whether the card's object `key` takes a list's cell: a field, an added
// text or a picture.
bool fillable(const std::string &key, const Object &obj)
{
    const KindId id = KindOf(key, obj).id;
    return id == KindId::Field || id == KindId::HeaderField || id == KindId::Text ||
           id == KindId::Picture;
}

MergeTarget targetOn(const QString &matchName, const Objects &card, MergeSide side)
{
    std::string key = namedKeys().value(matchName);
    if (key.empty())
        for (const auto &[k, obj] : card)
            if (obj && IsAddedKey(k) && ColumnMatchName(QString::fromStdString(k)) == matchName) {
                key = k;
                break;
            }
    const Object *obj = key.empty() ? nullptr : card.Find(key);
    if (!obj || !fillable(key, *obj))
        return {};
    return {side, key, isPictureKind(key, *obj)};
}

QString ownLabel(const std::string &key, const Objects &card)
{
    for (const FieldInfo &f : kFields)
        if (key == f.key)
            return QString::fromUtf8(f.caption);
    if (key == kPictureKey)
        return QStringLiteral("画像");
    if (key == kBackPictureKey)
        return QStringLiteral("背景");
    const Object *obj = card.Find(key);
    const QString kind = obj ? QString::fromUtf8(KindOf(key, *obj).caption) : QString();
    return kind + u' ' + QString::fromStdString(key);
}

} // namespace

QString ColumnMatchName(const QString &name)
{
    QString n = name.normalized(QString::NormalizationForm_KC).toCaseFolded();
    n.removeIf([](QChar c) { return c.isSpace(); });
    return n;
}

MergeTarget ChooseTarget(const QString &name, const Objects &front, const Objects *back)
{
    QString n = ColumnMatchName(name);
    for (const QString &prefix : {QStringLiteral("裏:"), QStringLiteral("back.")})
        if (n.startsWith(prefix))
            return back ? targetOn(n.mid(prefix.size()), *back, MergeSide::Back) : MergeTarget{};
    return targetOn(n, front, MergeSide::Front);
}

std::vector<MergeChoice> MergeChoices(const Objects &front, const Objects *back)
{
    std::vector<MergeChoice> choices;
    auto add = [&](const Objects &card, MergeSide side) {
        const auto push = [&](const std::string &key) {
            if (const Object *obj = card.Find(key); obj && fillable(key, *obj)) {
                const MergeTarget t{side, key, isPictureKind(key, *obj)};
                choices.push_back({t, TargetLabel(t, front, back)});
            }
        };
        for (const FieldInfo &f : kFields)
            push(f.key);
        for (const auto &[key, obj] : card)
            if (obj && IsAddedKey(key))
                push(key);
        push(kPictureKey);
        push(kBackPictureKey);
    };
    add(front, MergeSide::Front);
    if (back)
        add(*back, MergeSide::Back);
    return choices;
}

QString TargetLabel(const MergeTarget &target, const Objects &front, const Objects *back)
{
    if (!target.Used())
        return {};
    if (target.side == MergeSide::Front)
        return ownLabel(target.key, front);
    return QStringLiteral("裏: ") +
           (back ? ownLabel(target.key, *back) : QString::fromStdString(target.key));
}
