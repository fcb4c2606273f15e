#include "settings/printspace.h"
#include "settings/windowplace.h"

#include "helpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace {

class PrintSpaceTest : public ::testing::Test
{
protected:
    void SetUp() override { SetSettingsFilePathForTesting(path_); }
    void TearDown() override { SetSettingsFilePathForTesting(QString()); }

    QTemporaryDir dir_;
    const QString path_ = dir_.filePath("sub/folder/plakuro.INI");
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::optional<QString> &value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name)) {
            old_ = qEnvironmentVariable(name);
        }
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    void Set(const std::optional<QString> &value)
    {
        if (value) {
            qputenv(name_, value->toLocal8Bit());
        } else {
            qunsetenv(name_);
        }
    }
    const char *name_;
    std::optional<QString> old_;
};

} // namespace

TEST_F(PrintSpaceTest, DefaultsUntilSavedThenTheSavedValues)
{
    PrintSpace space{1, 2, 3, 4};
    LoadPrintSpace(space);
    EXPECT_EQ(space, PrintSpace());
    EXPECT_FALSE(QFileInfo::exists(path_));

    // Saving the defaults creates the folders and the file.
    SavePrintSpace(space);
    EXPECT_EQ(ReadBytes(path_),
              "[printspace]\r\na=10\r\nb=7\r\nc=3\r\nd=3\r\nox=0\r\noy=0\r\ncropmarks=0\r\n"
              "back=\r\nbackturn=0\r\n");

    SavePrintSpace(PrintSpace{-1, 0, 25, 2147483647});
    LoadPrintSpace(space);
    EXPECT_EQ(space, (PrintSpace{-1, 0, 25, 2147483647}));
}

TEST_F(PrintSpaceTest, UsesTheFileAsWrittenByHand)
{
    QDir().mkpath(QFileInfo(path_).absolutePath());
    WriteBytes(path_,
               "[PrintSpace]\r\nA=5\r\nc=wide\r\n[Help]\r\nURL= file:///doc/index.html \r\n");
    PrintSpace space;
    LoadPrintSpace(space);
    EXPECT_EQ(space, (PrintSpace{5, 7, 3, 3}));
    EXPECT_EQ(ReadHelpUrl(), "file:///doc/index.html");

    SavePrintSpace(PrintSpace{6, 7, 3, 4});
    EXPECT_EQ(ReadBytes(path_), "[PrintSpace]\r\nA=6\r\nc=3\r\nb=7\r\nd=4\r\nox=0\r\noy=0\r\n"
                                "cropmarks=0\r\nback=\r\nbackturn=0\r\n[Help]\r\n"
                                "URL= file:///doc/index.html \r\n");

    // Read afresh: an edit made while the program runs is seen.
    WriteBytes(path_, "[help]\nurl=changed\n");
    EXPECT_EQ(ReadHelpUrl(), "changed");
    IniFile other(path_);
    LoadPrintSpace(other, space);
    EXPECT_EQ(space, PrintSpace());
}

TEST_F(PrintSpaceTest, KeepsTheSheetShift)
{
    const PrintSpace shifted{14, 11, 0, 0, -25, 2147483647, true};
    SavePrintSpace(shifted);
    PrintSpace space;
    LoadPrintSpace(space);
    EXPECT_EQ(space, shifted);

    // A file from before the shift, or one whose shift cannot be read, gives 0.
    WriteBytes(path_, "[printspace]\r\na=14\r\nb=11\r\nc=0\r\nd=0\r\nox=-1.5\r\n");
    LoadPrintSpace(space);
    EXPECT_EQ(space, (PrintSpace{14, 11, 0, 0, 0, 0}));
}

TEST_F(PrintSpaceTest, KeepsTheBackSide)
{
    // A name the settings file's Shift-JIS could not hold reads back as it was.
    PrintSpace twoSided;
    twoSided.back = {QStringLiteral("/カード/裏 English 😀.pkd"), true};
    SavePrintSpace(twoSided);
    PrintSpace space;
    LoadPrintSpace(space);
    EXPECT_EQ(space, twoSided);

    // Without the keys (a file from before the back side): none, long edge;
    // other keys of the section are kept when the back is written.
    WriteBytes(path_, "[printspace]\r\na=14\r\nfuture=1\r\n");
    LoadPrintSpace(space);
    EXPECT_EQ(space.back, BackSide());
    space.back.file = "b.pkd";
    SavePrintSpace(space);
    EXPECT_NE(ReadBytes(path_).find("future=1\r\n"), std::string::npos);
    LoadPrintSpace(space);
    EXPECT_EQ(space.back, (BackSide{"b.pkd", false}));
}

TEST_F(PrintSpaceTest, TheWindowPlaceHasItsOwnSectionAndHalvesOfAPairDoNotCount)
{
    QDir().mkpath(QFileInfo(path_).absolutePath());
    struct Row
    {
        const char *file;
        WindowPlace expected;
    };
    const Row rows[] = {
        {"", WindowPlace{}},
        {"[window]\r\nleft=-20\r\ntop=5\r\nwidth=1200\r\nheight=800\r\nmaximized=2\r\nzoom=0\r\n",
         WindowPlace{QPoint(-20, 5), QSize(1200, 800), true, 0}},
        {"[Window]\r\nLeft=10\r\nWidth=1200\r\nHeight=0\r\nZoom=wide\r\n", WindowPlace{}},
        {"[Window]\r\nTop=10\r\nWidth=-5\r\nHeight=300\r\nMaximized=0\r\nZoom=150\r\n",
         WindowPlace{std::nullopt, std::nullopt, false, 150}},
    };
    for (const Row &row : rows) {
        WriteBytes(path_, row.file);
        EXPECT_EQ(LoadWindowPlace(), row.expected) << row.file;
    }

    // Written beside the print settings, whose bytes stay as they were.
    WriteBytes(path_, "");
    SavePrintSpace(PrintSpace{});
    const std::string printOnly = ReadBytes(path_);
    const WindowPlace place{QPoint(-7, 0), QSize(1024, 700), false, 300};
    SaveWindowPlace(place);
    EXPECT_EQ(LoadWindowPlace(), place);
    EXPECT_EQ(ReadBytes(path_), printOnly + "[Window]\r\nLeft=-7\r\nTop=0\r\nWidth=1024\r\n"
                                            "Height=700\r\nMaximized=0\r\nZoom=300\r\n");
    PrintSpace space{1, 2, 3, 4};
    LoadPrintSpace(space);
    EXPECT_EQ(space, PrintSpace());
}

TEST(SettingsFilePath, BesideTheProgramUnlessThatCannotBeWritten)
{
    QTemporaryDir dir;
    EXPECT_EQ(SettingsFilePathForProgram(dir.filePath("plakuro")), dir.filePath("plakuro.INI"));
    EXPECT_EQ(SettingsFilePathForProgram(dir.filePath("plakuro.bin")), dir.filePath("plakuro.INI"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("v1.2"));
    EXPECT_EQ(SettingsFilePathForProgram(dir.filePath("v1.2/plakuro")),
              dir.filePath("v1.2/plakuro.INI"));

    // A folder below a regular file can be written by no one, not even root.
    WriteBytes(dir.filePath("file"), "");
    const QString unwritable = dir.filePath("file/plakuro");
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", dir.filePath("config"));
        EXPECT_EQ(SettingsFilePathForProgram(unwritable),
                  dir.filePath("config/plakuro/plakuro.INI"));
    }
    const ScopedEnv home("HOME", dir.filePath("home"));
    for (const std::optional<QString> &xdg : {std::optional<QString>(), std::optional<QString>(""),
                                              std::optional<QString>("relative")}) {
        const ScopedEnv unset("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(SettingsFilePathForProgram(unwritable),
                  dir.filePath("home/.config/plakuro/plakuro.INI"));
    }

    // The running program is found with and without a QCoreApplication.
    const QString expected =
        SettingsFilePathForProgram(QFileInfo("/proc/self/exe").canonicalFilePath());
    EXPECT_TRUE(expected.endsWith("/test_settings.INI") ||
                expected.endsWith("/plakuro/plakuro.INI"))
        << expected.toStdString();
    EXPECT_EQ(SettingsFilePath(), expected);
    int argc = 1;
    char name[] = "test_settings";
    char *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    EXPECT_EQ(SettingsFilePath(), expected);
}

TEST(SettingsFilePath, AnExistingFileInAReadOnlyFolderIsStillUsed)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    QTemporaryDir dir;
    WriteBytes(dir.filePath("plakuro.INI"), "");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const QString chosen = SettingsFilePathForProgram(dir.filePath("plakuro"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(chosen, dir.filePath("plakuro.INI"));
}
