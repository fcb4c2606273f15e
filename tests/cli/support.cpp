#include "support.h"

#include "card/sjis.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

Ran run(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Ran r;
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString() << " " << args.join(' ').toStdString()
                      << " did not finish: " << p.errorString().toStdString();
        return r;
    }
    r.status = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace

Ran Cli(const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", ":4711");
    // Under the sanitizers: the leak checker's own thread crashes reading the
    // dynamic TLS that the JPEG library (loaded with Qt's JPEG plug-in when a
    // PDF page is compressed) leaves, and the process then fails however
    // clean it is. Not scanning dynamic TLS can only add leak reports, never
    // hide one; a build without the sanitizers ignores the setting.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":intercept_tls_get_addr=0");
    return run(QStringLiteral(PLAKURO_CLI), args, env);
}

Ran Tool(const QString &program, const QStringList &args)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        ADD_FAILURE() << program.toStdString() << " is not installed";
        return {};
    }
    return run(path, args, QProcessEnvironment::systemEnvironment());
}

QByteArray DecodeQr(const QString &imageFile)
{
    const Ran r = Tool("zbarimg", {"--raw", "-q", "-Sbinary", imageFile});
    EXPECT_EQ(r.status, 0) << "zbarimg read no symbol from " << imageFile.toStdString();
    return r.out;
}

QImage RasterPage(const QString &pdf, int page, int dpi, const QString &scratchDir)
{
    const QString base = QDir(scratchDir).filePath(QString("page%1").arg(page));
    const QString n = QString::number(page);
    const Ran r = Tool("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", "-f", n,
                                    "-l", n, pdf, base});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    return QImage(base + ".png");
}

int PdfPages(const QString &pdf)
{
    const Ran r = Tool("pdfinfo", {pdf});
    const auto m = QRegularExpression("^Pages:\\s+(\\d+)", QRegularExpression::MultilineOption)
                       .match(QString::fromUtf8(r.out));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

CardBytes &CardBytes::U8(int v)
{
    bytes.append(static_cast<char>(v));
    return *this;
}

CardBytes &CardBytes::I32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        bytes.append(static_cast<char>((u >> (8 * i)) & 0xFF));
    return *this;
}

CardBytes &CardBytes::Short(const QByteArray &s)
{
    U8(static_cast<int>(s.size()));
    bytes.append(s);
    return *this;
}

CardBytes &CardBytes::FontRecord(std::int32_t height, const QByteArray &face)
{
    I32(height).I32(0).I32(0).I32(0).I32(400); // height, width, angles, weight
    U8(0).U8(0).U8(0).U8(128);                 // italic, underline, strikeout, charset
    U8(0).U8(0).U8(0).U8(0);                   // precisions, quality, pitch
    bytes.append(face.leftJustified(32, '\0', true));
    return *this;
}

QByteArray Sjis(const char *utf8)
{
    return QByteArray::fromStdString(sjis::fromUtf8(utf8));
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

bool IsDark(QRgb px)
{
    return qGray(px) < 128;
}

QRect DarkBounds(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (IsDark(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}
