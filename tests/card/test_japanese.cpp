#include "card/files.h"
#include "card/sjis.h"
#include "card/syserror.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

TEST(Unencodable, NamesEachCharacterTheFileKeepsAsQuestionMark)
{
    struct Case
    {
        const char *text;
        const char *list;  // as unencodableList words it
        const char *bytes; // what the file keeps, in UTF-8 for reading
    };
    const Case cases[] = {
        {"山田太郎 ～①Ⅰ㈱ｱ?", "", "山田太郎 ～①Ⅰ㈱ｱ?"},
        {"𠮷田", "𠮷", "?田"}, // beyond the BMP: one character, one '?'
        {"José", "é", "Jos?"},
        {"𠮷é𠮷 ü", "𠮷、é、ü", "??? ?"},
        {"Jose\u0301", "\u25CC\u0301", "Jose?"}, // a combining mark on its own is unseen
        {"a\u200Bb", "U+200B", "a?b"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.text);
        const QString text = QString::fromUtf8(k.text);
        EXPECT_EQ(sjis::unencodableList(text), QString::fromUtf8(k.list));
        EXPECT_EQ(sjis::fromUnicode(text), sjis::fromUtf8(k.bytes));
        EXPECT_EQ(sjis::unencodable(text).isEmpty(), *k.list == '\0');
    }
}

TEST(SystemErrors, ReachTheUserInJapanese)
{
    EXPECT_EQ(SystemErrorText(ENOSPC), QStringLiteral("ディスクがいっぱいです"));
    // Qt's wording and the C library's map to the same text; others pass.
    EXPECT_EQ(JapaneseErrorText(QStringLiteral("Permission denied")),
              QStringLiteral("アクセスが拒否されました"));
    EXPECT_EQ(JapaneseErrorText(QStringLiteral("Something else")),
              QStringLiteral("Something else"));

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ない.pkd"));
    try {
        files::ReadWholeFile(missing, files::kNoLimit);
        ADD_FAILURE() << "no error";
    } catch (const FileError &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("%1 を開けません (ファイルまたはフォルダがありません)")
                      .arg(QDir::toNativeSeparators(missing)));
    }
    // Qt's own open, of the save beside a file in a folder that is not there.
    try {
        files::WriteWholeFile(dir.filePath(QStringLiteral("なし/a.pkd")), "x");
        ADD_FAILURE() << "no error";
    } catch (const FileError &e) {
        EXPECT_EQ(e.Cause(), QStringLiteral("ファイルまたはフォルダがありません"));
    }
}
