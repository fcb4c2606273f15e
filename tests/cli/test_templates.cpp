#include "realistic_texts.h"
#include "support.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

// The user's own templates live in a folder of the test's.
struct TemplatesFixture : ::testing::Test
{
    QTemporaryDir dir;
    QString own;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
        own = dir.filePath("data/plakuro/templates");
    }
    void TearDown() override { qunsetenv("XDG_DATA_HOME"); }
    QString path(const QString &name) const { return dir.filePath(name); }
};

QStringList benchmarkData()
{
    QStringList sets;
    for (const auto &[key, text] : kRealisticTexts)
        sets << "--set" << QString::fromUtf8(key) + u'=' + QString::fromUtf8(text);
    return sets;
}

// The card drawn small and grey: what "looks alike" is judged on.
QImage small(const QString &png)
{
    return QImage(png).scaled(182, 110).convertToFormat(QImage::Format_Grayscale8);
}

double differingShare(const QImage &a, const QImage &b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += std::abs(a.pixelColor(x, y).value() - b.pixelColor(x, y).value()) > 40;
    return static_cast<double>(differing) / (a.width() * a.height());
}

} // namespace

// Every shipped template, filled with the benchmark card's data and again
// with a long company name and address: nothing runs off the card or into
// another line, the QR code reads back from a 300 dpi render, and no two
// templates look alike.
TEST_F(TemplatesFixture, EveryShippedTemplateFitsRealDataReadsBackAndLooksItsOwn)
{
    const Ran list = Cli({"templates"});
    ASSERT_EQ(list.status, 0) << list.Err().toStdString();
    std::map<QString, int> groups;
    QStringList names;
    for (const QString &line : QString::fromUtf8(list.out).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        EXPECT_FALSE(fields[2].isEmpty())
            << "a shipped template says what it is: " << line.toStdString();
        ++groups[fields[1]];
        names << fields[0];
    }
    EXPECT_GE(names.size(), 18);
    EXPECT_GE(groups[QStringLiteral("横")], 8);
    EXPECT_GE(groups[QStringLiteral("縦")], 4);
    EXPECT_GE(groups[QStringLiteral("英語 (裏面)")], 4);

    const QStringList longer = {
        "--set", QStringLiteral("会社名=株式会社プラクロ国際ホールディングス"), "--set",
        QStringLiteral("住所=東京都千代田区丸の内1-2-3 プラクロビル21F")};
    std::vector<std::pair<QString, QImage>> looks;
    for (const QString &name : names)
        for (const bool isLong : {false, true}) {
            const QString card = path(name + (isLong ? "-long" : "") + ".pkd");
            const QString png = path(name + (isLong ? "-long" : "") + ".png");
            Ran r = Cli(QStringList{"fill", "-o", card, "--template", name} + benchmarkData() +
                        (isLong ? longer : QStringList()));
            ASSERT_EQ(r.status, 0) << r.Err().toStdString();
            r = Cli({"render", card, "-o", png, "--dpi", "300"});
            EXPECT_EQ(r.status, 0);
            // An English back's vCard of Japanese data outgrows its QR
            // square; it must still read back.
            QString notes = r.Err();
            if (name.startsWith("en-"))
                notes.remove(QRegularExpression(".*QR コードの点が.*\n"));
            EXPECT_TRUE(notes.isEmpty())
                << name.toStdString() << (isLong ? " (long): " : ": ") << notes.toStdString();
            EXPECT_EQ(DecodeQr(png), Cli({"qr", card, "--raw"}).out) << name.toStdString();
            if (!isLong)
                looks.emplace_back(name, small(png));
        }
    for (std::size_t i = 0; i < looks.size(); ++i)
        for (std::size_t j = i + 1; j < looks.size(); ++j)
            EXPECT_GT(differingShare(looks[i].second, looks[j].second), 0.03)
                << looks[i].first.toStdString() << " looks like " << looks[j].first.toStdString();
}

TEST_F(TemplatesFixture, ACardKeepsItsDataOwnTemplatesAreListedAndAnUnknownNameIsNamedClose)
{
    ASSERT_EQ(Cli({"fill", "-o", path("in.pkd"), "--set", QStringLiteral("名前=山田 太郎")}).status,
              0);
    ASSERT_EQ(
        Cli({"fill", path("in.pkd"), "-o", path("out.pkd"), "--template", "yoko-classic"}).status,
        0);
    const QString qr = QString::fromUtf8(Cli({"qr", path("out.pkd")}).out);
    EXPECT_TRUE(qr.contains(QStringLiteral("山田 太郎")));
    EXPECT_FALSE(qr.contains(QStringLiteral("佐藤"))) << "no sample data on a card with its own";

    ASSERT_TRUE(QDir().mkpath(own));
    ASSERT_TRUE(QFile::copy(path("out.pkd"), own + QStringLiteral("/わたしの.pkd")));
    const QString listed = QString::fromUtf8(Cli({"templates"}).out);
    EXPECT_TRUE(listed.endsWith(QStringLiteral("わたしの\t自分のテンプレート\t\n")))
        << listed.toStdString();

    const Ran r = Cli({"fill", "-o", path("x.pkd"), "--template", "yoko-clasic"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.OneLine());
    EXPECT_TRUE(r.Err().contains("yoko-classic")) << r.Err().toStdString();
    EXPECT_FALSE(QFile::exists(path("x.pkd")));
}
