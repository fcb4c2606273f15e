#pragma once
// One row of a merge list on the cards: each person's own data, and what the
// print check finds on their cards.

#include "merge/columns.h"
#include "merge/list.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class EditSession;
class Object;
class Objects;
class PrintCheck;

struct MergeSetup
{
    // One target a column of the list, in the list's order.
    std::vector<MergeTarget> columns;
    // An empty cell keeps the template's text or picture instead of emptying
    // it (a cell of blanks only counts as empty).
    bool keepEmpty = false;
    // Picture cells name files relative to this folder (the list's).
    QString folder;
};

class MergeCards
{
public:
    // `back` may be null. The cards as they are now are the template every
    // row starts from, and what they are again when this is destroyed; both
    // must outlive this.
    MergeCards(EditSession &front, EditSession *back, MergeSetup setup);
    ~MergeCards();
    MergeCards(const MergeCards &) = delete;
    MergeCards &operator=(const MergeCards &) = delete;

    // The row's cells into the cards: a column the list has sets its
    // target for every row (an empty cell empties a text, which hides its
    // label, and hides a picture); what the list has no column for keeps
    // the template's, except the lines that are the template person's own
    // (name, furigana, title, mobile, e-mail, memos, on either card), which
    // are emptied unless `keepEmpty`. Throws CardError when a target is gone
    // from a card.
    void Apply(const ListRow &row);
    // The template person's lines emptied for want of a column ("メモ1",
    // "裏: 名前", ...), for a note to the user.
    QStringList Cleared() const;
    // What is wrong with the cards of the row applied last: a picture file
    // that could not be read, a line running off a card or into another
    // ("役職 が 名前 に重なります", "裏面: ..."). Draws nothing.
    QStringList Problems();
    // The person's name as the row gives it (the column filling the front
    // card's name); empty when the list has none.
    QString Person(const ListRow &row) const;
    // The cells of `row` that are written into a text with characters
    // Shift-JIS lacks or beyond what the file keeps, with the target's
    // label: for the tool's warnings.
    std::vector<std::pair<QString, QString>> Texts(const ListRow &row) const;

    const MergeSetup &Setup() const { return setup; }

private:
    EditSession &front;
    EditSession *back;
    MergeSetup setup;
    struct Kept;
    std::unique_ptr<Kept> kept;
    QStringList pictureProblems;
    std::vector<MergeTarget> cleared;
};

// What the print check finds on `card`, one phrase a fault, each starting
// with `side` ("裏面: " or nothing): "役職 が 名前 に重なります",
// "住所 がカードからはみ出します".
QStringList PrintProblems(PrintCheck &check, const Objects &card, const QString &side = {});

// A row's problems in one line for the user: "LIST 7 行目 (佐藤 花子): a、b".
QString RowProblemLine(const QString &list, const ListRow &row, const QString &person,
                       const QStringList &problems);
