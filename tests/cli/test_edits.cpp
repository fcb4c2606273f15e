// fill --edits: the window's object steps from a JSON list; a bad list
// writes nothing and says which step and why.
#include "support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Edits : ::testing::Test
{
    QTemporaryDir dir;
    QString Path(const QString &name) const { return dir.filePath(name); }
    Ran Fill(const QByteArray &json, const QString &out = QStringLiteral("out.pkd"))
    {
        WriteAll(Path("edits.json"), json);
        return Cli(
            {"fill", "-o", Path(out), "--set", "名前=山田 太郎", "--edits", Path("edits.json")});
    }
    QJsonArray Records(const QString &card)
    {
        return QJsonDocument::fromJson(Cli({"info", Path(card)}).out)["records"].toArray();
    }
};

} // namespace

TEST_F(Edits, StepsAddMoveAlignAndDeleteAsTheWindowDoes)
{
    QImage logo(60, 30, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(Path("logo2.png")));
    const QByteArray json = R"([
      {"add": "text", "key": "tQual", "text": "一級建築士\n宅地建物取引士", "left": 80, "top": 420,
       "align": "left", "points": 8, "face": "ＭＳ 明朝", "bold": false, "color": "#333333", "width": 0},
      {"add": "rect", "left": 0, "top": 500, "width": 910, "height": 50, "fill": "#1A3C6E",
       "stroke": null, "stroke_width": 0, "radius": 0},
      {"add": "line", "x1": 80, "y1": 120, "x2": 830, "y2": 120, "stroke": "#C00000", "stroke_width": 3},
      {"add": "ellipse", "key": "sGone", "left": 10, "top": 10, "width": 50, "height": 50, "fill": null,
       "stroke": "#000000", "stroke_width": 2},
      {"add": "picture", "file": ")" +
                            Path("logo2.png").toUtf8() +
                            R"(", "left": 700, "top": 40, "width": 150},
      {"delete": "sGone"},
      {"move": ["eName"], "by": [30, 5]},
      {"align": "hcenter", "keys": ["sLine1"], "to": "card"}
    ])";
    // A line longer than a record holds is kept cut, and said so.
    QByteArray all = json;
    all.chop(all.size() - all.lastIndexOf(']'));
    all += R"(, {"add": "text", "text": "短い行\n)" + QByteArray("長").repeated(200) + R"("}])";
    const Ran r = Fill(all);
    ASSERT_EQ(r.status, 0) << r.Err().toStdString();
    EXPECT_TRUE(r.Err().contains(QStringLiteral("手順 8 「2 行目」"))) << r.Err().toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.Err().toStdString();
    QMap<QString, QJsonObject> byKey;
    for (const QJsonValue &v : Records("out.pkd"))
        byKey[v["key"].toString()] = v.toObject();
    EXPECT_FALSE(byKey.contains("sGone"));
    EXPECT_EQ(byKey["tQual"]["kind"].toString(), "text");
    EXPECT_EQ(byKey["tQual"]["text"].toString(), "一級建築士\n宅地建物取引士");
    EXPECT_EQ(byKey["sRect1"]["fill"].toString(), "#1A3C6E");
    EXPECT_EQ(byKey["sLine1"]["ends"].toArray(), (QJsonArray{80, 120, 830, 120}));
    EXPECT_EQ(byKey["pPicture1"]["rect"].toArray(), (QJsonArray{700, 40, 850, 115}));
    EXPECT_EQ(byKey["eName"]["rect"].toArray()[0].toInt(), 170);
}

TEST_F(Edits, ABadStepNamesItselfAndWritesNothing)
{
    struct Row
    {
        QByteArray json;
        int status;
        const char *says;
    };
    const Row rows[] = {
        {R"([{"add": "rect", "left": 0, "top": 0, "width": 10, "height": 10}, {"add": "star"}])", 2,
         "手順 1"},
        {R"([{"add": "rect", "left": 0, "top": 0, "width": 0, "height": 10}])", 2, "\"width\""},
        {R"([{"add": "line", "x1": 0, "y1": 0, "x2": 5, "y2": 5, "colour": "#000000"}])", 2,
         "\"colour\""},
        {R"([{"add": "text", "key": "eName", "text": "x"}])", 2, "eName"},
        {R"([{"move": ["nothere"], "by": [1, 1]}])", 2, "nothere"},
        {R"([{"align": "middle", "keys": ["eName"]}])", 2, "\"align\""},
        {R"({"add": "text"})", 2, "[...]"},
        {R"([{"delete": "eName"}])", 1, "削除できません"},
    };
    for (const Row &row : rows) {
        const Ran r = Fill(row.json);
        EXPECT_EQ(r.status, row.status) << row.json.toStdString();
        EXPECT_TRUE(r.OneLine()) << r.Err().toStdString();
        EXPECT_TRUE(r.Err().contains(QString::fromUtf8(row.says))) << r.Err().toStdString();
        EXPECT_FALSE(QFile::exists(Path("out.pkd"))) << row.json.toStdString();
    }
}
