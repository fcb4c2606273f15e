// plakuro-cli postal and fill --address-from-postal, on the committed sample
// and on the installed postal data.
#include "support.h"

#include "editor/session.h"
#include "postal/postal.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

const QByteArray kSample(PLAKURO_POSTAL_SAMPLE);

class PostalCli : public testing::Test
{
protected:
    void SetUp() override { qputenv(postal::kDictionaryVariable, kSample); }
    void TearDown() override { qunsetenv(postal::kDictionaryVariable); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(PostalCli, PostalPrintsEachAddressOrFailsInOneLine)
{
    const QByteArray absent = QFile::encodeName(dir.filePath("absent"));
    const struct
    {
        const char *code;
        QByteArray dictionary;
        int status;
        QByteArray out;
        const char *err; // a part of the one stderr line
    } cases[] = {
        {"100-0001", kSample, 0, "東京都千代田区千代田\n", nullptr},
        {"0030022", kSample, 0, "北海道札幌市白石区南郷通\n北海道札幌市白石区南郷通南\n", nullptr},
        {"9999990", kSample, 1, "", "〒999-9990 は郵便番号の辞書にありません"},
        {"1000001", absent, 1, "", "郵便番号の辞書 (skkdic-extra) がない"},
        {"12345", kSample, 2, "", "7 桁の郵便番号ではありません"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        qputenv(postal::kDictionaryVariable, c.dictionary);
        const Ran r = Cli({"postal", QString::fromUtf8(c.code)});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        if (c.err) {
            EXPECT_TRUE(r.OneLine()) << r.err.toStdString();
            EXPECT_TRUE(r.Err().contains(QString::fromUtf8(c.err))) << r.err.toStdString();
        } else
            EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
}

// The address is filled after the --set steps, only when it is empty and the
// code names exactly one; otherwise one stderr line says why, and the card
// is written all the same.
TEST_F(PostalCli, FillTakesTheAddressOfTheCodeOnlyWhenItIsOne)
{
    const struct
    {
        QStringList sets;
        const char *address;
        const char *err; // a part of the one stderr line; null: none
    } cases[] = {
        {{"〒=１００－０００１"}, "東京都千代田区千代田", nullptr},
        {{"〒=0030022"}, "", "北海道札幌市白石区南郷通、北海道札幌市白石区南郷通南"},
        {{"〒=9999990"}, "", "辞書にない"},
        {{"〒=1000001", "住所=大阪府"}, "大阪府", "住所が空でない"},
        {{}, "", "7 桁の郵便番号ではない"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        const QString out = dir.filePath("card.pkd");
        QStringList args{"fill", "-o", out, "--address-from-postal"};
        for (const QString &set : c.sets)
            args << "--set" << set;
        const Ran r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        if (c.err) {
            EXPECT_TRUE(r.OneLine()) << r.err.toStdString();
            EXPECT_TRUE(r.Err().contains(QString::fromUtf8(c.err))) << r.err.toStdString();
        } else
            EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        EditSession card;
        ASSERT_EQ(card.LoadBytes(ReadAll(out)), EditSession::LoadResult::Loaded);
        card.FillFieldsFromCard();
        EXPECT_EQ(card.FieldText("eAddress"), QString::fromUtf8(c.address));
    }
}

// The installed data read independently (iconv and a plain split) against
// the library for a few hundred codes spread over the file, and the tool for
// a few of them (each run reads the whole file).
TEST_F(PostalCli, TheInstalledDataIsReadAsIconvReadsIt)
{
    const QString installed = QString::fromUtf8(postal::kInstalledDictionary);
    if (!QFile::exists(installed))
        GTEST_SKIP() << "skkdic-extra is not installed";
    qunsetenv(postal::kDictionaryVariable);
    const Ran text = Tool("iconv", {"-f", "EUC-JISX0213", "-t", "UTF-8", installed});
    ASSERT_EQ(text.status, 0);
    std::map<QString, QStringList> expected;
    for (const QByteArray &line : text.out.split('\n')) {
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        const QList<QByteArray> parts = line.split('/');
        QStringList addresses;
        for (qsizetype i = 1; i + 1 < parts.size(); ++i)
            addresses << QString::fromUtf8(parts[i]);
        expected[QString::fromUtf8(parts[0].trimmed())] = addresses;
    }
    ASSERT_GT(expected.size(), 100000u);

    const auto dictionary = postal::Dictionary::Load(installed);
    ASSERT_EQ(dictionary->Status(), postal::Dictionary::State::Loaded);
    const std::size_t step = expected.size() / 300;
    std::size_t i = 0, ran = 0;
    for (const auto &[code, addresses] : expected) {
        if (i++ % step != 0)
            continue;
        EXPECT_EQ(dictionary->Addresses(code), addresses) << code.toStdString();
        if (i % (step * 30) == 1) {
            const Ran r = Cli({"postal", code});
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_EQ(QString::fromUtf8(r.out), addresses.join(u'\n') + u'\n');
            ++ran;
        }
    }
    EXPECT_GE(ran, 8u);
}
