#include "settings/ini.h"

#include "helpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class IniTest : public ::testing::Test
{
protected:
    QString PathOf(const QString &name) const { return dir_.filePath(name); }
    // A file holding `bytes`, opened as an IniFile.
    IniFile FileWith(const std::string &bytes)
    {
        WriteBytes(PathOf("test.ini"), bytes);
        return IniFile(PathOf("test.ini"));
    }
    std::string Bytes() const { return ReadBytes(PathOf("test.ini")); }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(IniTest, ReadsNamesWithoutRegardToCaseOrSurroundingBlanks)
{
    const IniFile ini = FileWith("top=before any section\r\n"
                                 "[PrintSpace]\r\n"
                                 "A=5\r\n"
                                 "  b  =  two words  \r\n"
                                 "\tc\t=\t-3\r\n"
                                 ";d=99\r\n"
                                 "empty=\r\n"
                                 "no equals sign\r\n"
                                 "A=6\r\n"
                                 " [ Other ] trailing text\r\n"
                                 "a=7\r\n"
                                 "[printspace]\r\n"
                                 "d=8\r\n");
    EXPECT_EQ(ini.ReadString("printspace", "a", "x"), "5");
    EXPECT_EQ(ini.ReadString("PRINTSPACE", "B", "x"), "two words");
    EXPECT_EQ(ini.ReadInteger("printspace", "c", 0), -3);
    EXPECT_EQ(ini.ReadString("other", "a", "x"), "7");
    // An empty value is a value, not a missing key.
    EXPECT_EQ(ini.ReadString("printspace", "empty", "x"), "");
    // Comments, lines before any section and sections after the first of a
    // name are not searched.
    EXPECT_EQ(ini.ReadString("printspace", ";d", "x"), "x");
    EXPECT_EQ(ini.ReadString("printspace", "d", "x"), "x");
    EXPECT_EQ(ini.ReadString("", "top", "x"), "x");
    EXPECT_EQ(ini.ReadString("printspace", "no equals sign", "x"), "x");
    EXPECT_EQ(ini.ReadString("missing", "a", "x"), "x");
    EXPECT_EQ(IniFile(PathOf("absent.ini")).ReadString("printspace", "a", "x"), "x");
    EXPECT_EQ(IniFile(dir_.path()).ReadInteger("printspace", "a", 10), 10);
}

TEST_F(IniTest, ReadIntegerFallsBackToTheDefaultForTextThatDoesNotConvert)
{
    const IniFile ini = FileWith("[n]\nabc=abc\nhex=0x10\nneg=-4\nsp=  12  \nbig=2147483648\n"
                                 "dollar=$1F\nnone=\n");
    EXPECT_EQ(ini.ReadInteger("n", "abc", 10), 10);
    EXPECT_EQ(ini.ReadInteger("n", "hex", 10), 16);
    EXPECT_EQ(ini.ReadInteger("n", "neg", 10), -4);
    EXPECT_EQ(ini.ReadInteger("n", "sp", 10), 12);
    EXPECT_EQ(ini.ReadInteger("n", "big", 10), 10);
    EXPECT_EQ(ini.ReadInteger("n", "dollar", 10), 31);
    EXPECT_EQ(ini.ReadInteger("n", "none", 10), 10);
    EXPECT_EQ(ini.ReadInteger("n", "missing", 10), 10);
}

TEST_F(IniTest, ValuesAreBytesCutAt2047)
{
    // 0x83 0x41 and 0x83 0x61 are different characters whose second bytes
    // differ only in ASCII case; 0x95 0x5C has a backslash as second byte and
    // 0x83 0x5D a ']'.
    IniFile ini = FileWith("[\x83\x5D]\r\n\x83\x61=wrong\r\n");
    ini.WriteString("\x83\x5D", "\x83\x41", "\x95\x5C\x8E\xA6 \xB1\xB2");
    EXPECT_EQ(ini.ReadString("\x83\x5D", "\x83\x41", "x"), "\x95\x5C\x8E\xA6 \xB1\xB2");
    EXPECT_EQ(ini.ReadString("\x83\x5D", "\x83\x61", "x"), "wrong");
    EXPECT_EQ(Bytes(), "[\x83\x5D]\r\n\x83\x61=wrong\r\n\x83\x41=\x95\x5C\x8E\xA6 \xB1\xB2\r\n");

    const std::string longValue(3000, 'v');
    ini.WriteString("long", "value", longValue);
    EXPECT_EQ(ini.ReadString("long", "value", ""), longValue.substr(0, 2047));
    EXPECT_NE(Bytes().find(longValue), std::string::npos);
}

TEST_F(IniTest, WriteChangesOnlyTheValueOfItsLine)
{
    const std::string before = "; settings\n"
                               "\n"
                               "[Other]\n"
                               "a=1\n"
                               "[PrintSpace]   ; margins\n"
                               "  A = 5   \n"
                               "b=7\n"
                               "\n"
                               "; end of print space\n"
                               "[help]\n"
                               "url=http://example.invalid/\n";
    IniFile ini = FileWith(before);
    ini.WriteInteger("printspace", "a", 12);
    std::string expected = before;
    expected.replace(expected.find("  A = 5   "), 10, "  A = 12");
    EXPECT_EQ(Bytes(), expected);

    // A missing key follows the section's last key line, before the blank line
    // and the comment; new lines take the file's LF ending.
    ini.WriteString("PRINTSPACE", "c", "3");
    expected.insert(expected.find("b=7\n") + 4, "c=3\n");
    EXPECT_EQ(Bytes(), expected);

    ini.WriteString("new", "k", "v\r\nsecond line");
    expected += "[new]\nk=v\n";
    EXPECT_EQ(Bytes(), expected);
}

TEST_F(IniTest, WriteCompletesAFileWithoutFinalLineEnding)
{
    IniFile ini = FileWith("[s]");
    ini.WriteString("s", "k", "1");
    EXPECT_EQ(Bytes(), "[s]\r\nk=1\r\n");

    ini = FileWith("[s]\r\nk=1");
    ini.WriteString("s", "j", "2");
    ini.WriteString("t", "k", "3");
    EXPECT_EQ(Bytes(), "[s]\r\nk=1\r\nj=2\r\n[t]\r\nk=3\r\n");

    IniFile fresh(PathOf("fresh.ini"));
    fresh.WriteInteger("s", "n", -7);
    EXPECT_EQ(ReadBytes(PathOf("fresh.ini")), "[s]\r\nn=-7\r\n");

    // Stray carriage returns end a line; completing the ending, in a file
    // whose first line ends in a bare "\n", must not move one into a value.
    ini = FileWith("[x\n[help]\r\nurl=http://example.jp/\r\r");
    EXPECT_EQ(ini.ReadString("help", "url", ""), "http://example.jp/");
    ini.WriteInteger("printspace", "a", -123);
    ini.WriteString("help", "next", "1");
    EXPECT_EQ(ini.ReadString("help", "url", ""), "http://example.jp/");
    EXPECT_EQ(ini.ReadInteger("printspace", "a", 0), -123);
    EXPECT_EQ(ini.ReadString("help", "next", ""), "1");
}

TEST_F(IniTest, WriteThatCannotReachTheFileThrowsNamingIt)
{
    const auto messageOf = [](IniFile ini) -> std::string {
        try {
            ini.WriteString("s", "k", "v");
        } catch (const SettingsError &e) {
            return e.what();
        }
        return "no SettingsError";
    };
    // A folder that is a regular file refuses everyone, root included.
    WriteBytes(PathOf("plain"), "not a folder");
    EXPECT_EQ(messageOf(IniFile(PathOf("plain/test.ini")))
                  .rfind(PathOf("plain/test.ini").toStdString() + " に書き込めません (", 0),
              0u);

    // A relative path is reported as the absolute one.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    EXPECT_EQ(messageOf(IniFile(QStringLiteral("plain/x.ini")))
                  .rfind(PathOf("plain/x.ini").toStdString() + " に書き込めません (", 0),
              0u);
    QDir::setCurrent(previous);
}

TEST_F(IniTest, WriteIntoReadOnlyFolderThrowsAndKeepsTheFile)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    const QString folder = PathOf("locked");
    ASSERT_TRUE(QDir().mkdir(folder));
    WriteBytes(folder + "/kept.ini", "[s]\nk=1\n");
    QFile::setPermissions(folder + "/kept.ini", QFile::ReadOwner);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);

    IniFile absent(folder + "/absent.ini");
    EXPECT_THROW(absent.WriteString("s", "k", "v"), SettingsError);
    IniFile kept(folder + "/kept.ini");
    EXPECT_THROW(kept.WriteString("s", "k", "2"), SettingsError);
    EXPECT_EQ(ReadBytes(folder + "/kept.ini"), "[s]\nk=1\n");

    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Lines that run across the chunks the file is read in, lines longer than
// what is looked at, and a few MB before the section: found, and a write
// keeps every other byte.
TEST_F(IniTest, ABigFileIsReadInChunksAndWrittenByteForByte)
{
    const std::string longLine(200 * 1024, 'x'); // over several chunks
    std::string before = std::string(3 * 1024 * 1024, '\n') + longLine + "\r\n";
    // The section name straddles a chunk boundary.
    before += std::string(65536 - before.size() % 65536 - 4, ';') + "\n[PrintSpace]\r\r\n";
    before += "k=" + longLine + "\n" + "b = 8 " + std::string(70000, '\r') + "\n" + "c=" + longLine;
    IniFile ini = FileWith(before);
    EXPECT_EQ(ini.ReadInteger("printspace", "b", 0), 8);
    EXPECT_TRUE(ini.ReadString("printspace", "k", "") ==
                longLine.substr(0, IniFile::kMaxValueBytes));
    EXPECT_TRUE(ini.ReadString("printspace", "c", "") ==
                longLine.substr(0, IniFile::kMaxValueBytes));

    ini.WriteStrings("printspace", {{"b", "9"}, {"d", "4"}});
    std::string expected = before;
    expected.replace(expected.find("b = 8 ") + 4, 2, "9");
    expected += "\nd=4\n"; // after the last key line, in the first line's ending
    const std::string after = Bytes();
    // Not EXPECT_EQ: its line diff of megabytes takes minutes.
    EXPECT_TRUE(after == expected) << after.size() << " bytes, " << expected.size() << " expected";
}

TEST_F(IniTest, ASymbolicLinkIsNeitherReadNorWrittenThrough)
{
    WriteBytes(PathOf("real.ini"), "[s]\nk=1\n");
    ASSERT_TRUE(QFile::link(PathOf("real.ini"), PathOf("link.ini")));
    IniFile ini(PathOf("link.ini"));
    EXPECT_EQ(ini.ReadInteger("s", "k", 0), 0);
    EXPECT_THROW(ini.WriteString("s", "k", "2"), SettingsError);
    EXPECT_EQ(ReadBytes(PathOf("real.ini")), "[s]\nk=1\n");
}
