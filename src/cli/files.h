#pragma once
#include "card/files.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <memory>

// The whole file; a FIFO or a device is refused. Throws Failure (status 1) naming the file.
QByteArray ReadWholeFile(const QString &path);

// Writes `bytes` to `path`, replacing the file only when everything reached
// the disk; a target that is not a regular file is refused and left alone. Throws Failure (status
// 1) naming the file.
void WriteWholeFile(const QByteArray &bytes, const QString &path);

// The same for an image in `format` ("PNG" or "BMP"); its resolution is
// recorded as `dpi`.
void WriteImageFile(QImage image, int dpi, const QString &path, const char *format);

// A PDF file drawn page by page at `dpi` dots per inch, portrait, with the
// whole page as the painter's area (no margins, so the printable area starts
// at the paper's corner). Each page reaches the file when the next begins;
// the file replaces `path` only at Finish, and is dropped when the object is
// destroyed before.
class PdfFile
{
public:
    PdfFile(const QString &path, const QPageSize &size, int dpi);
    PdfFile(const PdfFile &) = delete;
    PdfFile &operator=(const PdfFile &) = delete;

    QPainter &Painter() { return painter; }
    // The page in device pixels.
    QSize PageSize() const { return {writer.width(), writer.height()}; }
    void NewPage();
    void Finish();

private:
    QString path;
    std::unique_ptr<files::SafeFile> file;
    QPdfWriter writer;
    QPainter painter;
};
