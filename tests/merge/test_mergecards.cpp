#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/sjis.h"
#include "editor/geometry.h"
#include "editor/session.h"
#include "merge/columns.h"
#include "merge/memory.h"
#include "merge/mergecards.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr MergeSide F = MergeSide::Front, B = MergeSide::Back;

// What the card shows for the text `key`: its text, or "-" when it is hidden
// (with its label, for a field that has one).
QString shown(const EditSession &s, const std::string &key)
{
    const auto *t = dynamic_cast<const TextObject *>(s.Card().Find(key));
    if (!t)
        return QStringLiteral("?");
    return t->IsVisible() ? sjis::toUnicode(t->GetText()) : QStringLiteral("-");
}

ListRow row(const QStringList &cells, int line = 2)
{
    return {line, cells, cells.size()};
}

class Merge : public testing::Test
{
protected:
    Merge()
    {
        for (const auto &[key, text] : {std::pair{"eName", "見本 太郎"},
                                        {"eYaku", "部長"},
                                        {"eCorp", "株式会社見本"},
                                        {"eMobile", "090-0000-0000"},
                                        {"eMemo1", "ひな形のメモ"}})
            front.EditChanged(key, QString::fromUtf8(text));
        back.EditChanged("eName", QStringLiteral("Taro Mihon"));
        back.EditChanged("eCorp", QStringLiteral("Plakuro Inc."));
    }
    static MergeSetup setup(std::vector<MergeTarget> columns, bool keepEmpty = false)
    {
        return {std::move(columns), keepEmpty, {}};
    }

    EditSession front, back;
};

} // namespace

TEST_F(Merge, ColumnNamesChooseTheirTargets)
{
    ASSERT_EQ(front.AddNewObject(KindId::Text, geometry::kCard), "tText1");
    struct Case
    {
        const char *name;
        bool withBack;
        MergeTarget target;
        const char *label;
    };
    const Case cases[] = {
        {"氏名", false, {F, "eName"}, "名前"},
        {"ＴＥＬ", false, {F, "eTel"}, "電話"},
        {" E-mail ", false, {F, "eMail"}, "E-Mail"},
        {"メールアドレス", false, {F, "eMail"}, "E-Mail"},
        {"携帯", false, {F, "eMobile"}, "携帯電話"},
        {"メモ１", false, {F, "eMemo1"}, "メモ1"},
        {"裏:名前", true, {B, "eName"}, "裏: 名前"},
        {"裏：名前", true, {B, "eName"}, "裏: 名前"},
        {"裏:名前", false, {}, ""},
        {"back.eName", true, {B, "eName"}, "裏: 名前"},
        {"tText1", false, {F, "tText1"}, "テキスト tText1"},
        {"TTEXT1", false, {F, "tText1"}, "テキスト tText1"},
        {"tText2", false, {}, ""},
        {"画像", false, {F, kPictureKey, true}, "画像"},
        {"背景", true, {F, kBackPictureKey, true}, "背景"},
        {"趣味", true, {}, ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(std::string(k.name) + (k.withBack ? " with a back" : ""));
        const Objects *backCard = k.withBack ? &back.Card() : nullptr;
        const MergeTarget t = ChooseTarget(QString::fromUtf8(k.name), front.Card(), backCard);
        EXPECT_EQ(t, k.target);
        EXPECT_EQ(TargetLabel(t, front.Card(), backCard), QString::fromUtf8(k.label));
    }
}

// A column sets its field for every row, whatever an earlier row set; with
// keep-empty an empty cell shows the template's text, never the last row's.
TEST_F(Merge, EachRowStartsFromTheTemplate)
{
    struct Step
    {
        QStringList cells; // 名前, 携帯電話, メモ1
        // 名前, 携帯電話, メモ1, then 会社名 and 役職, which have no column:
        // the company stays, the template person's title goes.
        QStringList emptied;
        QStringList kept; // the same with keep-empty
        QString person;
    };
    const QString mobile = "090-0000-0000", memo = "ひな形のメモ";
    const Step steps[] = {
        {{"佐藤 花子", "080-1111-2222", "一行目"},
         {"佐藤 花子", "080-1111-2222", "一行目", "株式会社見本", "-"},
         {"佐藤 花子", "080-1111-2222", "一行目", "株式会社見本", "部長"},
         "佐藤 花子"},
        {{"鈴木 一郎", "", " 　"},
         {"鈴木 一郎", "-", "-", "株式会社見本", "-"},
         {"鈴木 一郎", mobile, memo, "株式会社見本", "部長"},
         "鈴木 一郎"},
        {{"高橋"},
         {"高橋", "-", "-", "株式会社見本", "-"},
         {"高橋", mobile, memo, "株式会社見本", "部長"},
         "高橋"},
        {{"", "1", "2"},
         {"-", "1", "2", "株式会社見本", "-"},
         {"見本 太郎", "1", "2", "株式会社見本", "部長"},
         ""},
        {{"山田\r\n太郎", "1", "a\nb"},
         {"山田 太郎", "1", "a b", "株式会社見本", "-"},
         {"山田 太郎", "1", "a b", "株式会社見本", "部長"},
         "山田 太郎"},
    };
    for (const bool keepEmpty : {false, true}) {
        SCOPED_TRACE(keepEmpty ? "keep-empty" : "empty cells empty");
        EXPECT_EQ(shown(front, "eName"), "見本 太郎") << "the last merge left the template";
        EXPECT_EQ(shown(front, "eMobile"), mobile);
        MergeCards cards(front, nullptr,
                         setup({{F, "eName"}, {F, "eMobile"}, {F, "eMemo1"}}, keepEmpty));
        for (const Step &s : steps) {
            SCOPED_TRACE(s.cells.join(u'|').toStdString());
            cards.Apply(row(s.cells));
            const QStringList now{shown(front, "eName"), shown(front, "eMobile"),
                                  shown(front, "eMemo1"), shown(front, "eCorp"),
                                  shown(front, "eYaku")};
            EXPECT_EQ(now, keepEmpty ? s.kept : s.emptied);
            EXPECT_EQ(cards.Person(row(s.cells)), s.person);
        }
    }
}

TEST_F(Merge, BackColumnsFillTheBackPerRow)
{
    const std::vector<MergeTarget> columns = {{F, "eName"}, {B, "eName"}, {B, "eCorp"}};
    MergeCards cards(front, &back, setup(columns));
    cards.Apply(row({"佐藤", "Sato", "Sato Inc."}));
    EXPECT_EQ(shown(back, "eName"), "Sato");
    EXPECT_EQ(shown(back, "eCorp"), "Sato Inc.");
    cards.Apply(row({"鈴木", "Suzuki", ""}));
    EXPECT_EQ(shown(back, "eName"), "Suzuki");
    EXPECT_EQ(shown(back, "eCorp"), "-");
    EXPECT_EQ(shown(front, "eName"), "鈴木");
    EXPECT_EQ(shown(front, "eCorp"), "株式会社見本") << "the back's column stays off the front";

    // Without a back card its columns fill nothing; a target the card lacks
    // is an error at once, not a crash at the first row.
    MergeCards alone(front, nullptr, setup(columns));
    EXPECT_FALSE(alone.Setup().columns[1].Used());
    alone.Apply(row({"高橋", "Takahashi", "x"}));
    EXPECT_EQ(shown(front, "eName"), "高橋");
    EXPECT_THROW(MergeCards(front, nullptr, setup({{F, "tText9"}})), CardError);
}

// A picture cell names a file beside the list; the picture is fitted inside
// the template's box, aspect kept. A file that cannot be read is a problem of
// that row only, and its picture is hidden rather than the template's shown.
TEST_F(Merge, PictureCellsNameFilesBesideTheList)
{
    QTemporaryDir dir;
    QImage wide(200, 100, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    ASSERT_TRUE(wide.save(dir.filePath("logo.bmp"), "BMP"));
    front.ChoosePicture(kPictureKey, LoadPictureFile(dir.filePath("logo.bmp")),
                        dir.filePath("logo.bmp"));
    TRect box;
    front.Card().Find(kPictureKey)->GetRect(box);
    ASSERT_TRUE(QDir(dir.path()).mkdir("photos"));
    QImage square(40, 40, QImage::Format_RGB32);
    square.fill(Qt::red);
    ASSERT_TRUE(square.save(dir.filePath("photos/face.png"), "PNG"));

    MergeSetup s = setup({{F, kPictureKey, true}});
    s.folder = dir.path();
    MergeCards cards(front, nullptr, s);
    // The cell, and what its one problem names.
    const std::pair<const char *, const char *> cases[] = {{"photos/face.png", nullptr},
                                                           {"photos/none.png", "none.png"},
                                                           {"", nullptr},
                                                           {" photos/face.png ", nullptr}};
    for (const auto &[cell, problem] : cases) {
        SCOPED_TRACE(cell);
        cards.Apply(row({cell}));
        const QStringList problems = cards.Problems();
        EXPECT_EQ(problems.size(), problem ? 1 : 0) << problems.join(u'|').toStdString();
        if (problem && !problems.isEmpty()) {
            EXPECT_TRUE(problems[0].contains(problem)) << problems[0].toStdString();
        }
        const Object &picture = *front.Card().Find(kPictureKey);
        const bool loaded = QString(cell).contains("face");
        EXPECT_EQ(picture.IsVisible(), loaded);
        if (loaded) {
            TRect r;
            picture.GetRect(r);
            EXPECT_EQ(r.top, box.top);
            EXPECT_EQ(r.bottom, box.bottom);
            EXPECT_NEAR(r.right - r.left, box.bottom - box.top, 1);
            EXPECT_NEAR(r.left - box.left, box.right - r.right, 1) << "centred";
        }
    }
}

TEST_F(Merge, ProblemsNameTheLinesByCaptionAndTheSide)
{
    const std::vector<MergeTarget> columns = {{F, "eName"}, {F, "eYaku"}, {B, "eName"}};
    const QString longText(60, u'長');
    struct Case
    {
        QStringList cells;
        QStringList problems;
    };
    const Case cases[] = {
        {{"佐藤 花子", "部長", "Sato"}, {}},
        {{"佐藤 花子", longText, "Sato"}, {"役職 がカードからはみ出します"}},
        {{"佐藤 花子", "部長", QString(50, u'W')}, {"裏面: 名前 がカードからはみ出します"}},
    };
    {
        MergeCards cards(front, &back, setup(columns));
        for (const Case &k : cases) {
            cards.Apply(row(k.cells));
            EXPECT_EQ(cards.Problems(), k.problems);
        }
    }
    // 役職 moved onto 名前 in the template: every row's 役職 meets the name.
    front.SetSelection(front.Card().Find("eYaku"));
    front.MoveSelection(0, -110);
    MergeCards moved(front, &back, setup(columns));
    moved.Apply(row({"佐藤 花子", "部長", "Sato"}));
    EXPECT_EQ(moved.Problems(), QStringList{"役職 が 名前 に重なります"});

    EXPECT_EQ(RowProblemLine("/data/名簿.csv", row({}, 7), "佐藤 花子", {"a", "b"}),
              "名簿.csv 7 行目 (佐藤 花子): a、b");
    EXPECT_EQ(RowProblemLine("/data/名簿.csv", row({}, 7), "", {"a"}), "名簿.csv 7 行目: a");
}

namespace {

// `memory` kept in a card, saved and opened again.
MergeMemory keptAndReopened(const MergeMemory &memory)
{
    EditSession s;
    s.SetHiddenRecords(kMergeRecordPrefix, MergeMemoryRecords(memory), QStringLiteral("差し込み"));
    EditSession reopened;
    EXPECT_EQ(reopened.LoadBytes(s.SaveBytes()), EditSession::LoadResult::Loaded);
    return ReadMergeMemory(reopened.Card());
}

} // namespace

TEST(MergeMemoryRecords, SurviveTheCardFile)
{
    const MergeMemory small{"/home/u/名簿.csv", {}, {}, false};
    MergeMemory big{"/home/" + QString(300, u'名') + "/名簿.xlsx", "第2;シート=%", {}, true};
    for (int i = 0; i < 60; ++i)
        big.chosen.emplace_back(QStringLiteral("列 %1;=").arg(i),
                                i % 3 == 0 ? MergeTarget{}
                                           : MergeTarget{i % 2 ? B : F, "eName", i % 5 == 0});
    EXPECT_EQ(keptAndReopened(small), small);
    EXPECT_GT(MergeMemoryRecords(big).size(), 10u);
    EXPECT_EQ(keptAndReopened(big), big);
    EXPECT_TRUE(MergeMemoryRecords(MergeMemory{}).empty());

    // More choices than the records hold: the whole choices that fit, in order.
    MergeMemory huge = big;
    for (int i = 0; i < 3000; ++i)
        huge.chosen.emplace_back(QString::number(i), MergeTarget{F, "t" + std::string(39, 'x')});
    const MergeMemory read = keptAndReopened(huge);
    EXPECT_LE(MergeMemoryRecords(huge).size(), 99u);
    ASSERT_GT(read.chosen.size(), big.chosen.size());
    ASSERT_LT(read.chosen.size(), huge.chosen.size());
    EXPECT_TRUE(std::equal(read.chosen.begin(), read.chosen.end(), huge.chosen.begin()));

    // A new merge's records replace the old ones, none left over.
    EditSession s;
    s.SetHiddenRecords(kMergeRecordPrefix, MergeMemoryRecords(big), "a");
    s.SetHiddenRecords(kMergeRecordPrefix, MergeMemoryRecords(small), "b");
    EXPECT_EQ(ReadMergeMemory(s.Card()), small);
}

// Damaged records give what is whole in them; a damaged choice is forgotten,
// not read as 「使わない」.
TEST(MergeMemoryRecords, DamagedRecordsGiveDefaults)
{
    for (const char *text : {"garbage", ";;=;list", "c.x=zz;c.y=f;c.z=bq;mixed=2;"}) {
        SCOPED_TRACE(text);
        EditSession s;
        s.SetHiddenRecords(kMergeRecordPrefix, {{"zMerge01", text}}, "a");
        EXPECT_EQ(ReadMergeMemory(s.Card()), MergeMemory{});
    }
}
