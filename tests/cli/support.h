#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

// What a finished process gave.
struct Ran
{
    int status = -1;
    QByteArray out;
    QByteArray err;
    QString Err() const { return QString::fromUtf8(err); }
    // A failure reports exactly one line.
    bool OneLine() const { return err.endsWith('\n') && err.count('\n') == 1; }
};

// Runs the real plakuro-cli. The environment asks for a display that does not
// exist, so only a program that sets its own platform runs at all.
Ran Cli(const QStringList &args);
// Runs a helper program (pdfinfo, pdftoppm, zbarimg); fails the test when it
// is not installed.
Ran Tool(const QString &program, const QStringList &args);

// The symbol's bytes as zbarimg reads them from an image file.
QByteArray DecodeQr(const QString &imageFile);
// pdftoppm's page `page` of `pdf` at `dpi`, as an image.
QImage RasterPage(const QString &pdf, int page, int dpi, const QString &scratchDir);
int PdfPages(const QString &pdf);

// Card file bytes written field by field from the format, independently of
// the library's writer.
class CardBytes
{
public:
    CardBytes &U8(int v);
    CardBytes &I32(std::int32_t v);
    CardBytes &Short(const QByteArray &s);
    CardBytes &Head(std::int32_t order, bool visible) { return I32(order).U8(visible ? 1 : 0); }
    CardBytes &Rect(int l, int t, int r, int b) { return I32(l).I32(t).I32(r).I32(b); }
    // The 60-byte font record: height, weight 400, no style, charset 128,
    // default pitch, the face.
    CardBytes &FontRecord(std::int32_t height, const QByteArray &face);
    const QByteArray &Data() const { return bytes; }

private:
    QByteArray bytes;
};

QByteArray Sjis(const char *utf8);
QByteArray ReadAll(const QString &path);
void WriteAll(const QString &path, const QByteArray &bytes);

// The smallest rectangle holding every pixel darker than mid-grey; null when
// there is none.
QRect DarkBounds(const QImage &image);
bool IsDark(QRgb px);
