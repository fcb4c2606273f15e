#include "card/files.h"
#include "card/syserror.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString ErrnoText(int error)
{
    return SystemErrorText(error);
}

// Qt passes most system reasons on in the C library's English.
QString ReasonOf(const QIODevice &device)
{
    return JapaneseErrorText(device.errorString());
}

FileError ReadFailure(const QString &path, const QString &cause)
{
    return FileError(path, QStringLiteral("%1 を開けません (%2)").arg(Native(path), cause), cause);
}

FileError WriteFailure(const QString &path, const QString &cause)
{
    return FileError(path, QStringLiteral("%1 に書き込めません (%2)").arg(Native(path), cause),
                     cause);
}

QString NotAFile()
{
    return QStringLiteral("名前付きパイプやデバイスなど、通常のファイルではありません");
}

QString SystemFiles()
{
    return QStringLiteral("/proc や /sys にあるシステムの情報で、通常のファイルではありません");
}

QString TooLarge(qint64 limit)
{
    return QStringLiteral("%1 MB を超える大きすぎるファイルです").arg(limit >> 20);
}

// The kernel's own views (processes, devices, tracing): their files call
// themselves regular, claim no size and may block or never end.
bool KernelFileSystem(long type)
{
    constexpr long kProc = 0x9fa0, kSysfs = 0x62656572, kDebugfs = 0x64626720,
                   kTracefs = 0x74726163, kSecurityfs = 0x73636673, kCgroup = 0x27e0eb,
                   kCgroup2 = 0x63677270, kBpf = 0xcafe4a11, kConfigfs = 0x62656570;
    for (long t :
         {kProc, kSysfs, kDebugfs, kTracefs, kSecurityfs, kCgroup, kCgroup2, kBpf, kConfigfs})
        if (type == t)
            return true;
    return false;
}

QString LinkRefused()
{
    return QStringLiteral("シンボリックリンクはたどりません");
}

// Refuses a target that exists and is not a regular file, before anything
// could replace it.
void CheckTarget(const QString &path, files::Links links)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (links == files::Links::Refuse && ::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode))
        throw WriteFailure(path, LinkRefused());
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw WriteFailure(path, NotAFile());
}

bool FolderWritable(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(folder.constData(), W_OK) == 0;
}

} // namespace

namespace files {

void OverwriteInPlace(const QString &path, const QByteArray &bytes, Links links)
{
    CheckTarget(path, links);
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking: a FIFO put in its place since the check is not waited on.
    const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC |
                                                (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0)
        throw WriteFailure(path, errno == ELOOP ? LinkRefused() : ErrnoText(errno));
    auto fail = [&](int error) {
        ::close(fd);
        return WriteFailure(path, ErrnoText(error));
    };
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        throw fail(errno);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw WriteFailure(path, NotAFile());
    }
    const auto size = static_cast<off_t>(bytes.size());
    if (size > st.st_size) {
        const int reserved = ::posix_fallocate(fd, 0, size);
        if (reserved != 0)
            throw fail(reserved);
    }
    off_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pwrite(fd, bytes.constData() + done, static_cast<std::size_t>(size - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw fail(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::ftruncate(fd, size) != 0 || ::fsync(fd) != 0)
        throw fail(errno);
    if (::close(fd) != 0)
        throw WriteFailure(path, ErrnoText(errno));
}

} // namespace files

FileError::FileError(const QString &path, const QString &sentence, const QString &cause)
    : CardError(sentence.toStdString()), path_(path), cause_(cause)
{}

namespace files {

bool IsSymLink(const QString &path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

void OpenForReading(QFile &file, const QString &path, Links links, qint64 limit)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    // Checked before opening: opening a FIFO for reading waits for a writer.
    if (links == Links::Refuse && IsSymLink(path))
        throw ReadFailure(path, LinkRefused());
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw ReadFailure(path, NotAFile());
    struct statfs fs
    {
    };
    if (::statfs(name.constData(), &fs) == 0 && KernelFileSystem(static_cast<long>(fs.f_type)))
        throw ReadFailure(path, SystemFiles());
    // Non-blocking, and checked again on what was opened, in case the name
    // changed in between.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC |
                                                (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0)
        throw ReadFailure(path, errno == ELOOP ? LinkRefused() : ErrnoText(errno));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ReadFailure(path, NotAFile());
    }
    if (::fstatfs(fd, &fs) == 0 && KernelFileSystem(static_cast<long>(fs.f_type))) {
        ::close(fd);
        throw ReadFailure(path, SystemFiles());
    }
    if (limit >= 0 && st.st_size > limit) {
        ::close(fd);
        throw ReadFailure(path, TooLarge(limit));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw ReadFailure(path, ReasonOf(file));
    }
}

QByteArray ReadWholeFile(const QString &path, qint64 limit, Links links)
{
    QFile file;
    OpenForReading(file, path, links, limit);
    // At most one byte past the limit: a file that grew since it was
    // opened is still refused without being held whole. The request is the
    // file's own size plus one, not the limit: a read reserves what it is
    // asked for, and a small picture must not reserve the largest allowed.
    QByteArray bytes = limit >= 0 ? file.read(qMin(limit, file.size()) + 1) : file.readAll();
    if (limit >= 0 && bytes.size() > limit)
        throw ReadFailure(path, TooLarge(limit));
    if (file.error() != QFileDevice::NoError) {
        const QString cause = ReasonOf(file);
        throw FileError(path, QStringLiteral("%1 を読めません (%2)").arg(Native(path), cause),
                        cause);
    }
    return bytes;
}

QByteArray ReadFileStart(const QString &path, qint64 max)
{
    QFile file;
    OpenForReading(file, path);
    return file.read(max);
}

qint64 SafeFile::Sink::writeData(const char *data, qint64 len)
{
    if (Failed())
        return -1;
    for (qint64 done = 0; done < len;) {
        errno = 0;
        const qint64 n = file_.write(data + done, len - done);
        if (n <= 0) {
            // Qt's text for a failed flush of its buffer is often "Unknown error".
            cause_ = errno != 0 ? ErrnoText(errno) : ReasonOf(file_);
            return -1;
        }
        done += n;
    }
    return len;
}

SafeFile::SafeFile(const QString &path, Links links) : path_(path), file_(path)
{
    CheckTarget(path, links);
    if (!file_.open(QIODevice::WriteOnly))
        throw WriteFailure(path, ReasonOf(file_));
    sink_.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void SafeFile::Write(const QByteArray &bytes)
{
    if (sink_.write(bytes) != bytes.size())
        Fail(sink_.Cause());
}

void SafeFile::Commit()
{
    if (sink_.Failed())
        Fail(sink_.Cause());
    // Qt's commit() closes the file without noticing a failure of the last
    // buffered write, so the buffer is written out and checked here.
    errno = 0;
    if (!file_.flush() || file_.error() != QFileDevice::NoError)
        Fail(errno != 0 ? ErrnoText(errno) : ReasonOf(file_));
    if (!file_.commit())
        throw WriteFailure(path_, ReasonOf(file_));
}

void SafeFile::Fail(const QString &cause)
{
    // A writer that stopped because the file underneath failed knows no
    // reason of its own ("Unknown error"); the file's is the real one.
    QString reason = sink_.Failed() ? sink_.Cause() : cause;
    if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
        reason = QStringLiteral("書き込みに失敗しました");
    file_.cancelWriting();
    // Closes and removes the temporary file; the target is untouched.
    file_.commit();
    throw WriteFailure(path_, reason);
}

void WriteWholeFile(const QString &path, const QByteArray &bytes, InPlace inPlace, Links links)
{
    if (inPlace == InPlace::WhenFolderReadOnly && !FolderWritable(path) &&
        ::access(QFile::encodeName(path).constData(), W_OK) == 0) {
        OverwriteInPlace(path, bytes, links);
        return;
    }
    SafeFile file(path, links);
    file.Write(bytes);
    file.Commit();
}

} // namespace files
