#include "cli/files.h"
#include "cli/args.h"

#include "card/files.h"
#include "card/syserror.h"

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
    try {
        return files::ReadWholeFile(path);
    } catch (const FileError &e) {
        throw FileFailure(path, QStringLiteral("読めません (%1)").arg(e.Cause()));
    }
}

void WriteWholeFile(const QByteArray &bytes, const QString &path)
{
    try {
        files::WriteWholeFile(path, bytes);
    } catch (const FileError &e) {
        throw writeFailure(path, e.Cause());
    }
}

void WriteImageFile(QImage image, int dpi, const QString &path, const char *format)
{
    const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    try {
        files::SafeFile file(path);
        QImageWriter writer(&file.Device(), format);
        if (!writer.write(image))
            file.Fail(writer.errorString());
        file.Commit();
    } catch (const FileError &e) {
        throw writeFailure(path, e.Cause());
    }
}

namespace {

files::SafeFile *openTarget(const QString &path)
{
    try {
        return new files::SafeFile(path);
    } catch (const FileError &e) {
        throw writeFailure(path, e.Cause());
    }
}

} // namespace

PdfFile::PdfFile(const QString &path, const QPageSize &size, int dpi)
    : path(path), file(openTarget(path)), writer(&file->Device())
{
    writer.setCreator(QStringLiteral("Plakuro"));
    writer.setResolution(dpi);
    writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (!painter.begin(&writer))
        throw writeFailure(path, JapaneseErrorText(file->Device().errorString()));
}

void PdfFile::NewPage()
{
    if (!writer.newPage())
        throw writeFailure(path, JapaneseErrorText(file->Device().errorString()));
}

void PdfFile::Finish()
{
    try {
        if (!painter.end())
            file->Fail(JapaneseErrorText(file->Device().errorString()));
        file->Commit();
    } catch (const FileError &e) {
        throw writeFailure(path, e.Cause());
    }
}
