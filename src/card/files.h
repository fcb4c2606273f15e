#pragma once
// Every file the programs read or write goes through here, so that no
// writer reports success for bytes that never reached the disk and no reader
// waits forever on something that is not a file.

#include "card/errors.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

// A file that could not be read or written. what() is a whole sentence
// naming the file; Cause() is only the reason, for callers that word the
// sentence themselves.
class FileError : public CardError
{
public:
    FileError(const QString &path, const QString &sentence, const QString &cause);
    const QString &Path() const { return path_; }
    const QString &Cause() const { return cause_; }

private:
    QString path_;
    QString cause_;
};

namespace files {

enum class Links
{
    Follow,
    // A symbolic link counts as absent for reading and is refused for writing.
    Refuse
};

// The largest file of each kind that is read at all: a larger one is refused
// from its size alone, before a byte of it is read.
inline constexpr qint64 kCardFileLimit = 512ll << 20;    // a card or back card
inline constexpr qint64 kPictureFileLimit = 256ll << 20; // a picture file
inline constexpr qint64 kSettingsFileLimit = 16ll << 20; // the settings file
// No limit: for callers that bound what they read themselves.
inline constexpr qint64 kNoLimit = -1;

// Opens `path` for reading. A FIFO, a device, a folder, anything under /proc
// or /sys (whose "regular" files may block or never end) or a link to one
// is refused before anything can block, and so is a file larger than
// `limit` bytes (kNoLimit: any size). Throws FileError.
void OpenForReading(QFile &file, const QString &path, Links links = Links::Follow,
                    qint64 limit = kNoLimit);
QByteArray ReadWholeFile(const QString &path, qint64 limit, Links links = Links::Follow);
// At most `max` bytes from the start; refuses what OpenForReading refuses.
QByteArray ReadFileStart(const QString &path, qint64 max);

// True when `path` names an existing symbolic link (to anything, or dangling).
bool IsSymLink(const QString &path);

// A new content for `path` that replaces the old one only when every byte
// reached the disk: written beside it and renamed over it. A target that
// exists and is not a regular file (a FIFO, a device, a folder or a link to
// one) is refused and left alone. Destroying the object before Commit()
// leaves the old file as it was.
class SafeFile
{
public:
    explicit SafeFile(const QString &path, Links links = Links::Follow);
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Where the content is written; it counts a short or failed write of
    // the file underneath as a failure, which Commit() then reports.
    QIODevice &Device() { return sink_; }
    // Throws FileError (the old file kept) when not every byte is taken.
    void Write(const QByteArray &bytes);
    // Flushes what is buffered and checks it before the rename: a write error
    // that only shows at the last flush is not missed. Throws FileError and
    // keeps the old file on any failure.
    void Commit();
    // Cancels and throws FileError naming the file with `cause`, or with the
    // file's own reason when a write to it failed (a writer stopped by that
    // knows no reason of its own).
    [[noreturn]] void Fail(const QString &cause);

private:
    // Qt's file engine takes a write that stops short (the disk filled up in
    // the middle) as a success of fewer bytes, and writers such as the PDF
    // engine do not look at the count: every write passes through here.
    class Sink : public QIODevice
    {
    public:
        explicit Sink(QSaveFile &file) : file_(file) {}
        bool Failed() const { return !cause_.isEmpty(); }
        const QString &Cause() const { return cause_; }

    protected:
        qint64 readData(char *, qint64) override { return -1; }
        qint64 writeData(const char *data, qint64 len) override;

    private:
        QSaveFile &file_;
        QString cause_;
    };

    QString path_;
    QSaveFile file_;
    Sink sink_{file_};
};

enum class InPlace
{
    Never,
    // When no temporary file can be made beside a writable file (its folder
    // is not writable), the file is overwritten in place; its new length is
    // reserved first, so a full disk leaves it as it was.
    WhenFolderReadOnly
};

// Overwrites a regular file in place without ever leaving it shorter than
// `bytes`: the new length is reserved before the first byte changes, so a
// full disk leaves the file as it was. Throws FileError.
void OverwriteInPlace(const QString &path, const QByteArray &bytes, Links links = Links::Follow);

// `bytes` as the whole new content of `path`. Throws FileError; the old file
// is then as it was.
void WriteWholeFile(const QString &path, const QByteArray &bytes, InPlace inPlace = InPlace::Never,
                    Links links = Links::Follow);

} // namespace files
