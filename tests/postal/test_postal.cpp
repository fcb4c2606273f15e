#include "postal/postal.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString kSample = QStringLiteral(PLAKURO_POSTAL_SAMPLE);

std::unique_ptr<postal::Dictionary> sample()
{
    auto d = postal::Dictionary::Load(kSample);
    EXPECT_EQ(d->Status(), postal::Dictionary::State::Loaded) << d->Problem().toStdString();
    return d;
}

} // namespace

TEST(Postal, TypedCodesAreNormalisedToSevenDigits)
{
    const struct
    {
        const char16_t *typed;
        const char16_t *digits; // empty: not a code
    } cases[] = {
        {u"1000001", u"1000001"},
        {u"100-0001", u"1000001"},
        {u"１００－０００１", u"1000001"},
        {u"１００ー０００１", u"1000001"},
        {u"〒100-0001", u"1000001"},
        {u" 〒 1000001\u3000", u"1000001"},
        {u"100−0001", u"1000001"},
        {u"", u""},
        {u"100000", u""},
        {u"10000012", u""},
        {u"1000-001", u""},
        {u"100--0001", u""},
        {u"-1000001", u""},
        {u"100 0001", u""},
        {u"١٠٠٠٠٠١", u""},
        {u"100-000a", u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(postal::NormaliseCode(QString::fromUtf16(c.typed)), QString::fromUtf16(c.digits))
            << QString::fromUtf16(c.typed).toStdString();
}

// The committed sample is the installed file's encoding and form: several
// towns for one code, a note after ';', a Japan Post oddity kept as it is,
// and lines that are no address (a Lisp candidate, keys that are not seven
// digits, a line without candidates).
TEST(Postal, TheDictionaryReadsItsOwnFormat)
{
    const auto d = sample();
    const struct
    {
        const char *code;
        QStringList addresses;
    } cases[] = {
        {"1000001", {"東京都千代田区千代田"}},
        {"100-0005", {"東京都千代田区丸の内"}},
        {"0030022", {"北海道札幌市白石区南郷通", "北海道札幌市白石区南郷通南"}},
        {"4506201", {"愛知県名古屋市中村区名駅ミッドランドスクエア高層棟）（１階"}},
        {"9999998", {}},
        {"9999999", {}},
        {"1234560", {}},
        {"0000000", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(d->Addresses(QString::fromUtf8(c.code)), c.addresses) << c.code;
    EXPECT_EQ(d->Size(), 9u);
}

TEST(Postal, AnAddressFindsTheCodesOfItsLongestKnownBeginning)
{
    const auto d = sample();
    const struct
    {
        const char *typed;
        const char *address;
        QStringList codes;
    } cases[] = {
        {"東京都千代田区千代田1-1", "東京都千代田区千代田", {"1000001"}},
        {"北海道札幌市白石区南郷通南3丁目", "北海道札幌市白石区南郷通南", {"0030022"}},
        {"岩手県一関市山目字前田", "岩手県一関市山目", {"0210025", "0210026"}},
        // Only the city's general code: nothing yet.
        {"東京都千代田区", "", {}},
        {"東京都千代", "", {}},
        {"", "", {}},
    };
    for (const auto &c : cases) {
        const postal::CodeMatch m = d->CodesFor(QString::fromUtf8(c.typed));
        EXPECT_EQ(m.address, QString::fromUtf8(c.address)) << c.typed;
        EXPECT_EQ(m.codes, c.codes) << c.typed;
    }
}

// What is at the path is never trusted: none of these hangs, allocates the
// size a file claims, or is taken for a dictionary.
TEST(Postal, AFileThatIsNoDictionaryIsRefusedQuickly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir.filePath("huge");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(postal::kDictionaryLimit + 1)); // sparse
    }
    const QString text = dir.filePath("text");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(";; only a comment\nword /単語/\n");
    }
    using State = postal::Dictionary::State;
    const struct
    {
        QString path;
        State state;
    } cases[] = {
        {dir.filePath("absent"), State::Missing},
        {fifo, State::Failed},
        {huge, State::Failed},
        {text, State::Failed},
        {dir.path(), State::Failed},
    };
    for (const auto &c : cases) {
        const auto d = postal::Dictionary::Load(c.path);
        EXPECT_EQ(d->Status(), c.state) << c.path.toStdString();
        EXPECT_EQ(d->Size(), 0u);
        EXPECT_TRUE(d->Addresses("1000001").isEmpty());
    }
    EXPECT_EQ(
        postal::UnavailableMessage(*postal::Dictionary::Load(dir.filePath("absent"))),
        QStringLiteral("郵便番号の辞書 (skkdic-extra) がないため、住所を自動で入れられません"));
}
