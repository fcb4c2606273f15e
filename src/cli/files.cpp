#include "cli/files.h"
#include "cli/args.h"

#include <QFile>
#include <QImageWriter>
#include <QPageLayout>
#include <cmath>

namespace {

Failure writeFailure(const QString &path, const QString &reason)
{
    return FileFailure(path, QStringLiteral("書き込めません (%1)").arg(reason));
}

} // namespace

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileFailure(path, QStringLiteral("開けません (%1)").arg(file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileFailure(path, QStringLiteral("読めません (%1)").arg(file.errorString()));
    return bytes;
}

void WriteWholeFile(const QByteArray &bytes, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw writeFailure(path, file.errorString());
}

void WriteImageFile(QImage image, int dpi, const QString &path, const char *format)
{
    const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw writeFailure(path, file.errorString());
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        file.cancelWriting();
        throw writeFailure(path, writer.errorString());
    }
    if (!file.commit())
        throw writeFailure(path, file.errorString());
}

PdfFile::PdfFile(const QString &path, const QPageSize &size, int dpi)
    : path(path), file(path), writer(&file)
{
    if (!file.open(QIODevice::WriteOnly))
        throw writeFailure(path, file.errorString());
    writer.setCreator(QStringLiteral("Plakuro"));
    writer.setResolution(dpi);
    writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (!painter.begin(&writer))
        throw writeFailure(path, file.errorString());
}

void PdfFile::NewPage()
{
    if (!writer.newPage())
        throw writeFailure(path, file.errorString());
}

void PdfFile::Finish()
{
    if (!painter.end() || !file.commit())
        throw writeFailure(path, file.errorString());
}
