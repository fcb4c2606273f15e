#include "merge/mergecards.h"

#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/printcheck.h"
#include "editor/session.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

struct MergeCards::Kept
{
    // The template's objects each used column starts from, per side.
    std::vector<std::pair<std::string, std::unique_ptr<Object>>> front, back;
    PrintCheck check;
};

namespace {

// The fields that say who the template's person is: a merge never prints
// them for someone else. The company's lines (company, department, address,
// telephone, FAX, URL) are everyone's.
constexpr const char *kPersonalKeys[] = {"eName", "eFuri",  "eYaku", "eMobile",
                                         "eMail", "eMemo1", "eMemo2"};

std::vector<std::pair<std::string, const Object *>>
views(const std::vector<std::pair<std::string, std::unique_ptr<Object>>> &objects)
{
    std::vector<std::pair<std::string, const Object *>> v;
    for (const auto &[key, obj] : objects)
        v.emplace_back(key, obj.get());
    return v;
}

bool blank(const QString &cell)
{
    return cell.trimmed().isEmpty();
}

// A field is one line: a cell's line breaks become blanks.
QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    return text;
}

} // namespace

MergeCards::MergeCards(EditSession &front, EditSession *back, MergeSetup s)
    : front(front), back(back), setup(std::move(s)), kept(std::make_unique<Kept>())
{
    for (MergeTarget &t : setup.columns) {
        if (t.Used() && t.side == MergeSide::Back && !back)
            t = {};
        if (!t.Used())
            continue;
        EditSession &session = t.side == MergeSide::Front ? front : *back;
        const Object *obj = session.Card().Find(t.key);
        if (!obj)
            throw CardError("差し込む項目がカードにありません: " + t.key);
        auto &list = t.side == MergeSide::Front ? kept->front : kept->back;
        list.emplace_back(t.key, obj->Clone());
    }
    if (setup.keepEmpty)
        return;
    // The template person's own lines that no column replaces.
    for (const MergeSide side : {MergeSide::Front, MergeSide::Back}) {
        if (side == MergeSide::Back && !back)
            continue;
        EditSession &session = side == MergeSide::Front ? front : *back;
        for (const char *key : kPersonalKeys) {
            const MergeTarget t{side, key, false};
            const auto *text = dynamic_cast<const TextObject *>(session.Card().Find(key));
            if (!text || text->GetText().empty() ||
                std::find(setup.columns.begin(), setup.columns.end(), t) != setup.columns.end())
                continue;
            cleared.push_back(t);
            (side == MergeSide::Front ? kept->front : kept->back).emplace_back(key, text->Clone());
        }
    }
}

MergeCards::~MergeCards()
{
    // A window merging the card it edits keeps that card, not the last row.
    try {
        front.RestoreForPrinting(views(kept->front));
        if (back)
            back->RestoreForPrinting(views(kept->back));
        front.SetTextsForPrinting({});
        if (back)
            back->SetTextsForPrinting({});
    } catch (...) {
        // Nothing a destructor can do; the cards are as the last row left them.
    }
}

void MergeCards::Apply(const ListRow &row)
{
    front.RestoreForPrinting(views(kept->front));
    if (back)
        back->RestoreForPrinting(views(kept->back));
    std::vector<std::pair<std::string, std::string>> frontTexts, backTexts;
    pictureProblems.clear();
    for (std::size_t c = 0; c < setup.columns.size(); ++c) {
        const MergeTarget &t = setup.columns[c];
        if (!t.Used())
            continue;
        const auto i = static_cast<qsizetype>(c);
        const QString cell = i < row.cells.size() ? row.cells[i] : QString();
        if (blank(cell) && setup.keepEmpty)
            continue;
        EditSession &session = t.side == MergeSide::Front ? front : *back;
        if (t.picture) {
            std::unique_ptr<Picture> picture;
            if (!blank(cell)) {
                const QString path = QDir(setup.folder).absoluteFilePath(cell.trimmed());
                try {
                    picture = LoadPictureFile(path);
                    if (!picture)
                        pictureProblems << QStringLiteral("画像 %1 の種類が使えません").arg(cell);
                } catch (const CardError &e) {
                    pictureProblems << QString::fromUtf8(e.what());
                }
            }
            session.SetPictureForPrinting(t.key, std::move(picture), cell.trimmed());
            continue;
        }
        QString text = blank(cell) ? QString() : cell;
        // A field is one line; an added text keeps the cell's lines.
        if (KindOf(t.key, *session.Card().Find(t.key)).id != KindId::Text)
            text = oneLine(text);
        auto &texts = t.side == MergeSide::Front ? frontTexts : backTexts;
        texts.emplace_back(t.key, EditSession::EditText(text));
    }
    for (const MergeTarget &t : cleared)
        (t.side == MergeSide::Front ? frontTexts : backTexts).emplace_back(t.key, std::string());
    front.SetTextsForPrinting(frontTexts);
    if (back)
        back->SetTextsForPrinting(backTexts);
}

QStringList MergeCards::Cleared() const
{
    QStringList labels;
    for (const MergeTarget &t : cleared)
        labels << TargetLabel(t, front.Card(), back ? &back->Card() : nullptr);
    return labels;
}

QStringList MergeCards::Problems()
{
    QStringList problems = pictureProblems;
    problems << PrintProblems(kept->check, front.Card());
    if (back)
        problems << PrintProblems(kept->check, back->Card(), QStringLiteral("裏面: "));
    return problems;
}

QString MergeCards::Person(const ListRow &row) const
{
    for (std::size_t c = 0; c < setup.columns.size(); ++c) {
        const MergeTarget &t = setup.columns[c];
        if (t.side == MergeSide::Front && t.key == kFields[0].key &&
            static_cast<qsizetype>(c) < row.cells.size())
            return oneLine(row.cells[static_cast<qsizetype>(c)]).trimmed();
    }
    return {};
}

std::vector<std::pair<QString, QString>> MergeCards::Texts(const ListRow &row) const
{
    std::vector<std::pair<QString, QString>> texts;
    for (std::size_t c = 0; c < setup.columns.size(); ++c) {
        const MergeTarget &t = setup.columns[c];
        const auto i = static_cast<qsizetype>(c);
        if (t.Used() && !t.picture && i < row.cells.size())
            texts.emplace_back(TargetLabel(t, front.Card(), back ? &back->Card() : nullptr),
                               row.cells[i]);
    }
    return texts;
}

QStringList PrintProblems(PrintCheck &check, const Objects &card, const QString &side)
{
    const auto name = [&](const Object *obj) {
        for (const auto &[key, o] : card)
            if (o.get() == obj)
                return TargetLabel({MergeSide::Front, key, false}, card, nullptr);
        return QString();
    };
    QStringList problems;
    for (const PrintFinding &f : check.Findings(MakeDrawingOrder(card))) {
        if (f.other)
            problems
                << side + QStringLiteral("%1 が %2 に重なります").arg(name(f.line), name(f.other));
        else
            problems << side + QStringLiteral("%1 がカードからはみ出します").arg(name(f.line));
    }
    return problems;
}

QString RowProblemLine(const QString &list, const ListRow &row, const QString &person,
                       const QStringList &problems)
{
    const QString who = person.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(person);
    return QStringLiteral("%1 %2 行目%3: %4")
        .arg(QFileInfo(list).fileName())
        .arg(row.line)
        .arg(who, problems.join(QStringLiteral("、")));
}
