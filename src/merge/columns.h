#pragma once
// Which object of the card each column of a merge list fills.

#include <QString>
#include <string>
#include <vector>

class Objects;

enum class MergeSide
{
    Front,
    Back
};

// What one column fills: a text (a field or an added text) or a picture
// (whose cell is a file name) of the front or the back card; nothing when
// `key` is empty.
struct MergeTarget
{
    MergeSide side = MergeSide::Front;
    std::string key;
    bool picture = false;

    bool Used() const { return !key.empty(); }
    bool operator==(const MergeTarget &) const = default;
};

// A column's name as matching sees it: full width letters, digits and signs
// as half width, upper case as lower, blanks (ideographic ones too) gone.
QString ColumnMatchName(const QString &name);

// The target a column named `name` chooses on these cards: a field by its
// caption, its key or the names staff lists use for it (氏名, メールアドレス,
// 携帯電話, 郵便番号, ...), an added text or picture by its key, the picture
// (画像, 写真, ロゴ) and the background (背景). A name prefixed 「裏:」 or
// "back." looks on `back` (null: no back card, so nothing). Nothing for a
// name that matches nothing.
MergeTarget ChooseTarget(const QString &name, const Objects &front, const Objects *back);

// What the user may choose for a column, in the order a list shows them.
struct MergeChoice
{
    MergeTarget target;
    QString label; // 「名前」, 「裏: 名前」, 「テキスト tText1」, ...
};
std::vector<MergeChoice> MergeChoices(const Objects &front, const Objects *back);

// The target's name for the user (as in MergeChoices); empty for none.
QString TargetLabel(const MergeTarget &target, const Objects &front, const Objects *back);
