#pragma once
#include <memory>

class Picture;
#include "card/files.h"
#include "print/pdffile.h"

#include <QImage>
#include <QString>

// The whole of a card data file; a FIFO, a device or a file larger than
// files::kCardFileLimit is refused. Throws Failure (status 1) naming the file.
QByteArray ReadCardBytes(const QString &path);

// A picture file as the editor's file dialog takes it (`path` absolute);
// one that cannot be read, or of a format no picture is made from, throws
// Failure (status 1) naming the file.
std::unique_ptr<Picture> ReadPictureFile(const QString &path);

// Writes `bytes` to `path`, replacing the file only when everything reached
// the disk; a target that is not a regular file is refused and left alone. Throws Failure (status
// 1) naming the file.
void WriteWholeFile(const QByteArray &bytes, const QString &path);

// The same for an image in `format` ("PNG" or "BMP"); its resolution is
// recorded as `dpi`.
void WriteImageFile(QImage image, int dpi, const QString &path, const char *format);
