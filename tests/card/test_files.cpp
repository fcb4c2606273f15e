#include "card/files.h"
#include "full_disk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Files : public testing::Test
{
protected:
    void SetUp() override
    {
        // A regression that opens a FIFO blocks; this ends it as a failure.
        alarm(20);
    }
    void TearDown() override { alarm(0); }

    QString Path(const char *name) const { return dir.filePath(QString::fromUtf8(name)); }
    QString Fifo(const char *name) const
    {
        const QString p = Path(name);
        EXPECT_EQ(mkfifo(QFile::encodeName(p).constData(), 0600), 0);
        return p;
    }
    static QByteArray Read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void Put(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static bool IsFifo(const QString &path)
    {
        struct stat st
        {
        };
        return lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

    QTemporaryDir dir;
};

TEST_F(Files, AFullDiskFailsEveryWayOfWritingAndKeepsTheOldBytes)
{
    const QByteArray old(3000, 'o');
    const QByteArray small(5000, 's'); // stays in Qt's buffer until the flush
    const QByteArray large(100000, 'l');
    struct Case
    {
        const char *name;
        std::function<void(const QString &)> write;
    };
    const Case cases[] = {
        {"buffered", [&](const QString &p) { files::WriteWholeFile(p, small); }},
        {"direct", [&](const QString &p) { files::WriteWholeFile(p, large); }},
        {"through the device",
         [&](const QString &p) {
             files::SafeFile f(p);
             f.Device().write(large.left(100));
             f.Device().write(large); // the count is not looked at, as the PDF engine does
             f.Commit();
         }},
        {"in place", [&](const QString &p) { files::OverwriteInPlace(p, large); }},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const QString p = Path(k.name);
        Put(p, old);
        {
            FullDisk full(4096);
            try {
                k.write(p);
                ADD_FAILURE() << "no error";
            } catch (const FileError &e) {
                EXPECT_TRUE(QString::fromUtf8(e.what()).contains(p));
                EXPECT_EQ(e.Cause(), QStringLiteral("ファイルが大きすぎます"));
            }
        }
        EXPECT_EQ(Read(p), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                  static_cast<qsizetype>(&k - cases) + 1)
            << "no temporary file is left";
    }
    // With room, in place writes whole files of either length.
    files::OverwriteInPlace(Path("in place"), small);
    EXPECT_EQ(Read(Path("in place")), small);
    files::OverwriteInPlace(Path("in place"), "x");
    EXPECT_EQ(Read(Path("in place")), "x");
}

TEST_F(Files, NodesThatAreNotFilesAreRefusedAtOnceAndLeftAlone)
{
    const QString fifo = Fifo("fifo");
    const QString link = Path("link");
    ASSERT_TRUE(QFile::link(fifo, link));
    Put(Path("plain"), "plain");
    const QString toPlain = Path("to-plain");
    ASSERT_TRUE(QFile::link(Path("plain"), toPlain));
    QDir(dir.path()).mkdir("folder");

    for (const QString &p : {fifo, link, QString("/dev/null"), Path("folder")}) {
        SCOPED_TRACE(p.toStdString());
        EXPECT_THROW(files::ReadWholeFile(p, files::kNoLimit), FileError);
        EXPECT_THROW(files::ReadFileStart(p, 6), FileError);
        EXPECT_THROW(files::WriteWholeFile(p, "x"), FileError);
        EXPECT_THROW(files::OverwriteInPlace(p, "x"), FileError);
    }
    EXPECT_TRUE(IsFifo(fifo));
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    // The kernel's files call themselves regular but may block or never end.
    for (const char *p : {"/proc/kmsg", "/proc/self/status", "/sys/kernel/notes"})
        EXPECT_THROW(files::ReadFileStart(p, 6), FileError) << p;

    // A link to a file is followed unless links are refused.
    EXPECT_EQ(files::ReadWholeFile(toPlain, files::kNoLimit), "plain");
    EXPECT_THROW(files::ReadWholeFile(toPlain, files::kNoLimit, files::Links::Refuse), FileError);
    EXPECT_THROW(files::WriteWholeFile(toPlain, "new", files::InPlace::Never, files::Links::Refuse),
                 FileError);
    EXPECT_EQ(Read(Path("plain")), "plain");
    files::WriteWholeFile(toPlain, "new");
    EXPECT_EQ(Read(Path("plain")), "new");
}

TEST_F(Files, AFileLargerThanItsLimitIsRefusedFromItsSize)
{
    // Sparse: its size costs no disk, and reading it would cost memory.
    QFile big(Path("big.pkd"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(files::kCardFileLimit + 1));
    big.close();
    try {
        files::ReadWholeFile(big.fileName(), files::kCardFileLimit);
        ADD_FAILURE() << "read";
    } catch (const FileError &e) {
        EXPECT_TRUE(e.Cause().contains("512 MB")) << e.what();
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("big.pkd"));
    }
    ASSERT_TRUE(big.resize(files::kCardFileLimit - 1));
    EXPECT_EQ(files::ReadFileStart(big.fileName(), 3).size(), 3);
}

} // namespace
