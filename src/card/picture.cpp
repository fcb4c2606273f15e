#include "card/picture.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/quiet.h"
#include "card/sjis.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QImageWriter>
#include <QPaintEngine>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <numeric>
#include <tuple>

// The per-pixel gathers are left out of the fuzzer's coverage tracing: they
// have no branch worth steering it by, and a hook on every pixel would make
// one card drawn at 2400 dpi take minutes there.
#if defined(__clang__)
#define PLAKURO_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define PLAKURO_NO_COVERAGE
#endif

namespace {

using namespace picture_limits;

// A side longer than this is no picture anyone drew; it keeps every product
// of sizes and positions well inside 64 bits.
constexpr qint64 kLongestPictureSide = 1 << 24;

QByteArray readWholeFile(const std::string &sjisPath)
{
    QString path = sjis::toUnicode(sjisPath);
    try {
        return files::ReadWholeFile(path, files::kPictureFileLimit);
    } catch (const FileError &e) {
        throw CardError("画像ファイルを読めません: " + path.toStdString() + " (" +
                        e.Cause().toStdString() + ")");
    }
}

std::string sizeText(qint64 w, qint64 h)
{
    return std::to_string(w) + " x " + std::to_string(h) + " 画素";
}

// --- the stretch -----------------------------------------------------------

// Qt's nearest-pixel stretch of a 32-bit image walks the source in 16.16
// fixed point: the step is 65536 over the factor, truncated, and the first
// sample lies half a step less one in. Within these bounds (on both axes)
// the walk here is that one; beyond them Qt samples each pixel's centre,
// which the finer walk repeats. Either way a stretch drawn in parts has the
// pixels of Qt's whole stretch.
bool walksAsQt(QSize source, QSize target)
{
    constexpr qint64 kLongestSide = 0x7fff;
    constexpr qint64 kLargestFactor = 512;
    auto axis = [](qint64 s, qint64 t) {
        return s <= kLongestSide && t <= kLongestSide && t <= kLargestFactor * s;
    };
    return axis(source.width(), target.width()) && axis(source.height(), target.height());
}

// The part of a stretch into `target` that the painter can show, in the
// stretch's own pixels.
QRect visiblePart(const QPainter &painter, const QRect &target)
{
    const QRect whole(QPoint(0, 0), target.size());
    const QPaintDevice *device = painter.device();
    if (!device)
        return {};
    bool invertible = false;
    const QTransform toLogical = painter.deviceTransform().inverted(&invertible);
    if (!invertible)
        return {};
    QRect visible =
        toLogical.mapRect(QRectF(0, 0, device->width(), device->height())).toAlignedRect();
    if (painter.hasClipping())
        visible &= painter.clipBoundingRect().toAlignedRect();
    return visible.translated(-target.topLeft()) & whole;
}

// Fills `out` from an image whose pixel (0, 0) is (origin) of the grid.
class ImageSource : public PixelSource
{
public:
    ImageSource(QImage image, QPoint origin, QSize grid)
        : image(std::move(image)), origin(origin), grid(grid)
    {}
    QSize GridSize() const override { return grid; }
    QImage::Format Format() const override { return image.format(); }
    PLAKURO_NO_COVERAGE bool Sample(const std::vector<int> &xs, const std::vector<int> &ys,
                                    QImage &out, std::string &) const override
    {
        const int w = image.width(), h = image.height();
        // Columns worked out once, so the row loop is a bare gather.
        std::vector<int> columns(xs.size());
        for (std::size_t i = 0; i < xs.size(); ++i)
            columns[i] = std::clamp(xs[i] - origin.x(), 0, w - 1);
        const int *column = columns.data();
        const std::size_t n = columns.size();
        for (std::size_t j = 0; j < ys.size(); ++j) {
            auto *to = reinterpret_cast<QRgb *>(out.scanLine(static_cast<int>(j)));
            if (j > 0 && ys[j] == ys[j - 1]) {
                std::memcpy(to, out.constScanLine(static_cast<int>(j - 1)), n * 4);
                continue;
            }
            const int y = std::clamp(ys[j] - origin.y(), 0, h - 1);
            const auto *from = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (std::size_t i = 0; i < n; ++i)
                to[i] = from[column[i]];
        }
        return true;
    }

private:
    QImage image;
    QPoint origin;
    QSize grid;
};

// Fills `out` from a decoding of a picture stored turned: the grid is the
// upright picture, `image` a part of the stored one (its pixel (0, 0) at
// `origin` of the stored picture of size `stored`). Each upright pixel is
// read where the orientation puts it; nothing is turned in memory, so a
// decoding costs no second copy.
class TurnedSource : public PixelSource
{
public:
    TurnedSource(QImage image, QPoint origin, QSize stored, int orientation)
        : image(std::move(image)), origin(origin), stored(stored), orientation(orientation)
    {}
    QSize GridSize() const override { return turns() ? stored.transposed() : stored; }
    QImage::Format Format() const override { return image.format(); }
    PLAKURO_NO_COVERAGE bool Sample(const std::vector<int> &xs, const std::vector<int> &ys,
                                    QImage &out, std::string &) const override
    {
        // Byte offsets into the decoding, per output column and per row:
        // a quarter turn reads an upright row down a stored column.
        const qint64 line = image.bytesPerLine();
        auto storedX = [&](int x) {
            const int m =
                orientation & QImageIOHandler::TransformationMirror ? stored.width() - 1 - x : x;
            return std::clamp(m - origin.x(), 0, image.width() - 1) * qint64(4);
        };
        auto storedY = [&](int y) {
            const int f =
                orientation & QImageIOHandler::TransformationFlip ? stored.height() - 1 - y : y;
            return std::clamp(f - origin.y(), 0, image.height() - 1) * line;
        };
        std::vector<qint64> columns(xs.size()), rows(ys.size());
        for (std::size_t i = 0; i < xs.size(); ++i)
            columns[i] = turns() ? storedY(stored.height() - 1 - xs[i]) : storedX(xs[i]);
        for (std::size_t j = 0; j < ys.size(); ++j)
            rows[j] = turns() ? storedX(ys[j]) : storedY(ys[j]);
        const uchar *bits = image.constBits();
        for (std::size_t j = 0; j < ys.size(); ++j) {
            auto *to = reinterpret_cast<QRgb *>(out.scanLine(static_cast<int>(j)));
            const uchar *from = bits + rows[j];
            for (std::size_t i = 0; i < columns.size(); ++i)
                std::memcpy(&to[i], from + columns[i], 4);
        }
        return true;
    }

private:
    bool turns() const { return orientation & QImageIOHandler::TransformationRotate90; }

    QImage image;
    QPoint origin;
    QSize stored;
    int orientation;
};

// The part of a stored picture of size `stored` that the part `upright` of
// the picture turned by `orientation` shows.
QRect storedPart(const QRect &upright, QSize stored, int orientation)
{
    QRect r = upright;
    if (orientation & QImageIOHandler::TransformationRotate90)
        r = QRect(QPoint(upright.top(), stored.height() - 1 - upright.right()),
                  QPoint(upright.bottom(), stored.height() - 1 - upright.left()));
    if (orientation & QImageIOHandler::TransformationMirror)
        r = QRect(QPoint(stored.width() - 1 - r.right(), r.top()),
                  QPoint(stored.width() - 1 - r.left(), r.bottom()));
    if (orientation & QImageIOHandler::TransformationFlip)
        r = QRect(QPoint(r.left(), stored.height() - 1 - r.bottom()),
                  QPoint(r.right(), stored.height() - 1 - r.top()));
    return r;
}

// Stretches `source` into `target`, the visible `part` only: a small part
// at once (kept in `cache`), a large one in bands, so memory stays with the
// size of a band whatever the enlargement.
bool drawSource(QPainter &painter, const PixelSource &source, const QRect &target,
                const QRect &part, const ScaledCopy *cache, std::string &problem)
{
    const qint64 area = static_cast<qint64>(part.width()) * part.height();
    if (area > kStretchPixels) {
        problem = "描く範囲 (" + sizeText(part.width(), part.height()) + ") が大きすぎます";
        return false;
    }
    const QSize grid = source.GridSize();
    const std::vector<int> xs =
        StretchIndices(grid, target.size(), Qt::Horizontal, part.x(), part.width());
    const int band = area <= kCachedPartPixels
                         ? part.height()
                         : static_cast<int>(std::max<qint64>(1, kCachedPartPixels / part.width()));
    const QPoint at = target.topLeft() + part.topLeft();
    // One band image serves every band: fresh pages for each would cost
    // more than the sampling.
    QImage out(part.width(), std::min(band, part.height()), source.Format());
    if (out.isNull()) {
        problem = "描くためのメモリが足りません";
        return false;
    }
    for (int y0 = 0; y0 < part.height(); y0 += band) {
        const int rows = std::min(band, part.height() - y0);
        const std::vector<int> ys =
            StretchIndices(grid, target.size(), Qt::Vertical, part.y() + y0, rows);
        if (!source.Sample(xs, ys, out, problem))
            return false;
        painter.drawImage(at + QPoint(0, y0), out, QRect(0, 0, part.width(), rows));
    }
    if (cache && band >= part.height())
        cache->Keep(target.size(), part, std::move(out));
    return true;
}

// --- bitmaps ---------------------------------------------------------------

std::uint32_t le(const QByteArray &b, qint64 at, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

int maskShift(std::uint32_t mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        ++shift;
        mask >>= 1;
    }
    return shift;
}

constexpr QRgb kMissing = 0xff000000; // pixels the file does not hold

std::atomic<qint64> runLengthRowCopies{0};

// Samples a bitmap straight from its file image. Plain bitmaps are read
// where sampled; run-length coded ones are run through once per call,
// keeping only what lands on a sampled row and column. Colours are those
// Qt's bitmap reader gives.
class BitmapSource : public PixelSource
{
public:
    BitmapSource(const QByteArray &bytes, const BitmapPicture::Layout &layout, int width,
                 int height)
        : bytes(bytes), l(layout), width(width), height(height)
    {}
    QSize GridSize() const override { return {width, height}; }
    QImage::Format Format() const override
    {
        return l.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    }
    bool Sample(const std::vector<int> &xs, const std::vector<int> &ys, QImage &out,
                std::string &) const override
    {
        if (l.compression == 1 || l.compression == 2)
            sampleRunLengths(xs, ys, out);
        else
            samplePlain(xs, ys, out);
        return true;
    }

private:
    PLAKURO_NO_COVERAGE QRgb direct(std::uint32_t c) const
    {
        auto channel = [&](int k) {
            return (((c & l.masks[k]) >> l.shifts[k]) * l.scales[k]) & 0xff;
        };
        const QRgb rgb =
            qRgba(static_cast<int>(channel(0)), static_cast<int>(channel(1)),
                  static_cast<int>(channel(2)), l.alpha ? static_cast<int>(channel(3)) : 0xff);
        return l.alpha ? qPremultiply(rgb) : rgb;
    }

    PLAKURO_NO_COVERAGE void samplePlain(const std::vector<int> &xs, const std::vector<int> &ys,
                                         QImage &out) const
    {
        const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
        for (std::size_t j = 0; j < ys.size(); ++j) {
            auto *to = reinterpret_cast<QRgb *>(out.scanLine(static_cast<int>(j)));
            if (j > 0 && ys[j] == ys[j - 1]) {
                std::memcpy(to, out.constScanLine(static_cast<int>(j - 1)), xs.size() * 4);
                continue;
            }
            const qint64 fileRow = l.topDown ? ys[j] : height - 1 - ys[j];
            const qint64 start = l.dataOffset + fileRow * l.stride;
            if (start + l.stride > bytes.size()) {
                std::fill(to, to + xs.size(), kMissing);
                continue;
            }
            const unsigned char *row = data + start;
            const std::size_t n = xs.size();
            switch (l.bitCount) {
            case 1:
                for (std::size_t i = 0; i < n; ++i)
                    to[i] = l.palette[(row[xs[i] >> 3] >> (7 - (xs[i] & 7))) & 1];
                break;
            case 4:
                for (std::size_t i = 0; i < n; ++i)
                    to[i] = l.palette[(row[xs[i] >> 1] >> ((xs[i] & 1) ? 0 : 4)) & 0xf];
                break;
            case 8:
                for (std::size_t i = 0; i < n; ++i)
                    to[i] = l.palette[row[xs[i]]];
                break;
            case 16:
                for (std::size_t i = 0; i < n; ++i) {
                    const unsigned char *p = row + 2 * static_cast<qint64>(xs[i]);
                    to[i] = direct(p[0] | (p[1] << 8));
                }
                break;
            case 24:
                if (l.compression == 0) { // the common case, without the masks
                    for (std::size_t i = 0; i < n; ++i) {
                        const unsigned char *p = row + 3 * static_cast<qint64>(xs[i]);
                        to[i] = qRgb(p[2], p[1], p[0]);
                    }
                    break;
                }
                for (std::size_t i = 0; i < n; ++i) {
                    const unsigned char *p = row + 3 * static_cast<qint64>(xs[i]);
                    to[i] = direct(p[0] | (p[1] << 8) | (p[2] << 16));
                }
                break;
            default:
                for (std::size_t i = 0; i < n; ++i) {
                    const unsigned char *p = row + 4 * static_cast<qint64>(xs[i]);
                    to[i] = direct(p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24));
                }
            }
        }
    }

    // Where the coding stands before one of its records: the record's byte,
    // and the pixel its run starts at (x along file row y).
    struct RunState
    {
        qint64 pos = 0;
        qint64 x = 0;
        qint64 y = 0;
    };
    // A state is kept each time the coding is read this many bytes further:
    // a band starts at the last one kept before its rows (a band of a
    // bottom-up bitmap lies at the end of the coding, the next one before
    // it), so each band reads at most this much of the rows before its own,
    // and the coding as a whole is read once.
    static constexpr qint64 kResumeBytes = 1 << 16;

    void sampleRunLengths(const std::vector<int> &xs, const std::vector<int> &ys, QImage &out) const
    {
        // Pixels the runs leave out keep the first colour of the table: each
        // file row's first output row is filled with it as the row is
        // entered, and rows the coding never reaches at the end.
        const QRgb background = l.palette[0];
        auto fillRow = [&](int j) {
            auto *row = reinterpret_cast<QRgb *>(out.scanLine(j));
            std::fill(row, row + xs.size(), background);
        };
        std::vector<char> done(ys.size(), 0);
        const qint64 size = bytes.size();
        const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
        const bool rle4 = l.compression == 2;
        // File rows in file order map to picture rows downwards (top-down) or
        // upwards; `ys` ascends, so the rows wanted are found by search.
        const qint64 firstFileRow = l.topDown ? ys.front() : height - 1 - ys.back();
        const qint64 lastFileRow = l.topDown ? ys.back() : height - 1 - ys.front();
        if (resume.empty())
            resume.push_back({l.dataOffset, 0, 0});
        // The last state kept on a row before the first one wanted (the
        // start, whose row may be that one, when there is none).
        const auto after = std::partition_point(
            resume.begin(), resume.end(), [&](const RunState &s) { return s.y < firstFileRow; });
        const RunState from = after == resume.begin() ? resume.front() : *std::prev(after);
        qint64 pos = from.pos, x = from.x, y = from.y;
        int first = -1, last = -1; // the output rows of file row y
        auto locate = [&] {
            const qint64 pictureRow = l.topDown ? y : height - 1 - y;
            const auto lo = std::lower_bound(ys.begin(), ys.end(), pictureRow);
            const auto hi = std::upper_bound(lo, ys.end(), pictureRow);
            first = lo == hi ? -1 : static_cast<int>(lo - ys.begin());
            last = static_cast<int>(hi - ys.begin());
            if (first >= 0)
                fillRow(first);
        };
        // Row y is done: its other output rows are copies of its first. Once
        // per file row, whatever escapes it holds, so the copies are at most
        // the rows of `out`.
        auto flush = [&] {
            if (first < 0)
                return;
            for (int j = first + 1; j < last; ++j)
                std::memcpy(out.scanLine(j), out.constScanLine(first), xs.size() * 4);
            std::fill(done.begin() + first, done.begin() + last, 1);
            runLengthRowCopies += last - first - 1;
        };
        // Pixels x .. x + n - 1 of the current row; `index(k)` the k-th. A row
        // is only ever filled left to right (x never goes back), so each
        // sampled pixel is written at most once.
        auto put = [&](qint64 n, auto index) {
            if (first >= 0 && x < width) {
                auto *to = reinterpret_cast<QRgb *>(out.scanLine(first));
                auto i = std::lower_bound(xs.begin(), xs.end(), x);
                for (; i != xs.end() && *i < x + n; ++i)
                    to[i - xs.begin()] = l.palette[index(*i - x)];
            }
            x += n;
        };
        locate();
        while (pos + 1 < size && y < height && y <= lastFileRow) {
            if (pos >= resume.back().pos + kResumeBytes)
                resume.push_back({pos, x, y});
            const int count = data[pos], code = data[pos + 1];
            pos += 2;
            if (count > 0) {
                put(count,
                    [&](qint64 k) { return rle4 ? ((k & 1) ? code & 0xf : code >> 4) : code; });
                continue;
            }
            if (code == 0 || code == 2) {
                qint64 down = 1;
                if (code == 0) {
                    x = 0;
                } else {
                    if (pos + 1 >= size)
                        break;
                    x += data[pos];
                    down = data[pos + 1];
                    pos += 2;
                }
                // A delta along the row stays on it: the row is not done.
                if (down > 0) {
                    flush();
                    y += down;
                    locate();
                }
                continue;
            }
            if (code == 1)
                break;
            // Absolute: `code` pixels, their bytes padded to a whole word.
            const qint64 used = rle4 ? (code + 1) / 2 : code;
            const qint64 at = pos;
            if (at + used > size)
                break;
            put(code, [&](qint64 k) {
                return rle4 ? ((k & 1) ? data[at + k / 2] & 0xf : data[at + k / 2] >> 4)
                            : data[at + k];
            });
            pos += used + (used & 1);
        }
        flush();
        for (std::size_t j = 0; j < done.size(); ++j)
            if (!done[j])
                fillRow(static_cast<int>(j));
    }

    const QByteArray &bytes;
    const BitmapPicture::Layout &l;
    int width;
    int height;
    // States of the run-length coding kept while it is read, by position.
    mutable std::vector<RunState> resume;
};

[[noreturn]] void notABitmap()
{
    throw ReadError("ビットマップとして読めないデータです");
}

// --- JPEG ------------------------------------------------------------------

// The decoder buffers a whole progressive image's coefficients before it
// gives a row, whatever the scaling or clipping; bounded here so that a
// header claiming a huge progressive image fails instead of taking
// gigabytes. Set before the first JPEG is read (the decoder reads it when
// it starts on an image).
void limitDecoderMemory()
{
    static std::once_flag once;
    std::call_once(once, [] { qputenv("JPEGMEM", "128M"); });
}

[[noreturn]] void notAJpeg()
{
    throw ReadError("JPEG 画像として読めないデータです");
}

qint64 reduced(qint64 side, int d)
{
    return (side + d - 1) / d;
}

// The decodings kept by every JPEG picture together.
std::mutex keptMutex;
qint64 keptBytes = 0;
qint64 useClock = 0;

} // namespace

qint64 RunLengthRowCopies()
{
    return runLengthRowCopies.load();
}

std::vector<int> StretchIndices(QSize sourceSize, QSize targetSize, Qt::Orientation axis,
                                qint64 first, int count)
{
    std::vector<int> indices(static_cast<std::size_t>(std::max(count, 0)));
    const bool across = axis == Qt::Horizontal;
    const qint64 source = across ? sourceSize.width() : sourceSize.height();
    const qint64 target = across ? targetSize.width() : targetSize.height();
    if (source <= 0 || target <= 0)
        return indices;
    if (walksAsQt(sourceSize, targetSize)) {
        // The factor formed as Qt forms it: the mapped length over the source.
        const double s = static_cast<double>(source);
        const double factor = s * (static_cast<double>(target) / s) / s;
        const auto step = static_cast<qint64>(static_cast<int>(65536 / factor));
        qint64 pos =
            static_cast<qint64>(std::ceil(0.5 * static_cast<double>(step))) - 1 + step * first;
        for (int &i : indices) {
            i = static_cast<int>(std::clamp<qint64>(pos >> 16, 0, source - 1));
            pos += step;
        }
        return indices;
    }
    // The same walk in 32.32 fixed point: exact enough for any enlargement
    // and any picture side here (source < 2^24, so positions stay < 2^56).
    const qint64 step = (source << 32) / target;
    qint64 pos = (step + 1) / 2 - 1 + step * first;
    for (int &i : indices) {
        i = static_cast<int>(std::clamp<qint64>(pos >> 32, 0, source - 1));
        pos += step;
    }
    return indices;
}

const QImage *ScaledCopy::Find(QSize size, const QRect &part) const
{
    return !cached.isNull() && size == cachedSize && part == cachedPart ? &cached : nullptr;
}

namespace {

std::atomic<qint64> &keptPartBytes()
{
    static std::atomic<qint64> bytes{0};
    return bytes;
}

} // namespace

ScaledCopy::~ScaledCopy()
{
    Clear();
}

void ScaledCopy::Keep(QSize size, const QRect &part, QImage image) const
{
    Clear();
    const qint64 bytes = image.sizeInBytes();
    if (keptPartBytes().fetch_add(bytes) + bytes > kCachedPartBytes) {
        keptPartBytes() -= bytes;
        return;
    }
    cachedSize = size;
    cachedPart = part;
    cached = std::move(image);
}

void ScaledCopy::Clear() const
{
    keptPartBytes() -= cached.sizeInBytes();
    cached = QImage();
}

void drawStretched(QPainter &painter, const QImage &image, const QRect &target,
                   const ScaledCopy *cache)
{
    if (image.isNull() || target.width() <= 0 || target.height() <= 0)
        return;
    const QRect part = visiblePart(painter, target);
    if (part.isEmpty())
        return;
    if (const QImage *kept = cache ? cache->Find(target.size(), part) : nullptr) {
        painter.drawImage(target.topLeft() + part.topLeft(), *kept);
        return;
    }
    const bool wide = image.format() == QImage::Format_RGB32 ||
                      image.format() == QImage::Format_ARGB32_Premultiplied;
    const ImageSource source(wide ? image
                                  : image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                             QPoint(), image.size());
    std::string problem;
    drawSource(painter, source, target, part, cache, problem);
}

// --- pictures kept as bytes ------------------------------------------------

namespace {

bool paintsPdf(const QPainter &painter)
{
    return painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Pdf;
}

// The pixels a picture of `own` size drawn into `target` on a PDF painter is
// embedded with: along each axis its own, or as many as its length on the
// page holds at kPdfPixelsPerInch when that is fewer (at least one).
QSize pdfImageSize(const QPainter &painter, QSize own, const QRect &target)
{
    const QPaintDevice *device = painter.device();
    const QTransform t = painter.deviceTransform();
    // Device pixels one unit of the target spans, along each of its axes.
    const double sx = std::hypot(t.m11(), t.m12()), sy = std::hypot(t.m21(), t.m22());
    auto axis = [](int own, double devicePixels, int dpi) {
        const double held = devicePixels / std::max(1, dpi) * kPdfPixelsPerInch;
        // A hair over: a length of whole inches at 600 dpi holds exactly
        // its pixels, whatever the rounding of the division.
        return static_cast<int>(std::clamp(std::floor(held + 1e-6), 1.0, double(own)));
    };
    return {axis(own.width(), target.width() * sx, device->logicalDpiX()),
            axis(own.height(), target.height() * sy, device->logicalDpiY())};
}

// The pixels of a stretch to `size` that show the part `part` of a stretch
// to `target`: the same place, its edges rounded outward.
QRect partAtSize(const QRect &part, QSize target, QSize size)
{
    auto down = [](qint64 at, qint64 from, qint64 to) { return at * to / from; };
    auto up = [](qint64 at, qint64 from, qint64 to) { return (at * to + from - 1) / from; };
    const qint64 l = down(part.left(), target.width(), size.width());
    const qint64 t = down(part.top(), target.height(), size.height());
    const qint64 r = up(part.left() + qint64(part.width()), target.width(), size.width());
    const qint64 b = up(part.top() + qint64(part.height()), target.height(), size.height());
    return QRect(static_cast<int>(l), static_cast<int>(t), static_cast<int>(r - l),
                 static_cast<int>(b - t)) &
           QRect(QPoint(), size);
}

} // namespace

RasterPicture::~RasterPicture() = default;

void RasterPicture::Draw(QPainter &painter, const QRect &target) const
{
    problem.clear();
    if (Empty() || target.width() <= 0 || target.height() <= 0)
        return;
    const QRect part = visiblePart(painter, target);
    if (part.isEmpty())
        return;
    if (paintsPdf(painter)) {
        drawIntoPdf(painter, target, part);
        return;
    }
    if (const QImage *kept = scaled.Find(target.size(), part)) {
        painter.drawImage(target.topLeft() + part.topLeft(), *kept);
        return;
    }
    scaled.Clear();
    const std::unique_ptr<PixelSource> source = SourceFor(target.size(), part, problem);
    if (source)
        drawSource(painter, *source, target, part, &scaled, problem);
}

void RasterPicture::drawIntoPdf(QPainter &painter, const QRect &target, const QRect &part) const
{
    // The picture is handed over at the pixels it is embedded with and
    // scaled by the painter: the file holds its pixels once, never more of
    // them than it has, however large the target is in device pixels.
    QSize size = pdfImageSize(painter, QSize(width, height), target);
    QRect shown = partAtSize(part, target.size(), size);
    // One image, of at most a card at 600 dpi: a part larger than that
    // (never on a sheet, whose cells clip each picture to the card) is
    // embedded coarser.
    while (static_cast<qint64>(shown.width()) * shown.height() > kCachedPartPixels) {
        const double f = 0.999 * std::sqrt(static_cast<double>(kCachedPartPixels) /
                                           (static_cast<double>(shown.width()) * shown.height()));
        size = QSize(std::max(1, static_cast<int>(size.width() * f)),
                     std::max(1, static_cast<int>(size.height() * f)));
        shown = partAtSize(part, target.size(), size);
    }
    if (shown.isEmpty())
        return;
    // The same image object each time, so that a PDF engine, which keeps
    // one copy of each image it is given, embeds it once for every cell and
    // page; kept as the stretched part a pixel device keeps, which a stretch
    // to `size` would sample alike.
    QImage image;
    if (const QImage *kept = scaled.Find(size, shown)) {
        image = *kept;
    } else {
        scaled.Clear();
        const std::unique_ptr<PixelSource> source = SourceFor(size, shown, problem);
        if (!source)
            return;
        image = QImage(shown.size(), source->Format());
        if (image.isNull()) {
            problem = "描くためのメモリが足りません";
            return;
        }
        const QSize grid = source->GridSize();
        const std::vector<int> xs =
            StretchIndices(grid, size, Qt::Horizontal, shown.x(), shown.width());
        const std::vector<int> ys =
            StretchIndices(grid, size, Qt::Vertical, shown.y(), shown.height());
        if (!source->Sample(xs, ys, image, problem))
            return;
        scaled.Keep(size, shown, image);
    }
    const double fx = static_cast<double>(target.width()) / size.width();
    const double fy = static_cast<double>(target.height()) / size.height();
    painter.drawImage(QRectF(target.x() + shown.x() * fx, target.y() + shown.y() * fy,
                             shown.width() * fx, shown.height() * fy),
                      image);
}

QImage RasterPicture::ToImage() const
{
    problem.clear();
    const QSize size(width, height);
    const QRect whole(QPoint(), size);
    if (Empty())
        return {};
    if (static_cast<qint64>(width) * height * 4 > kDecodeBytes) {
        problem = sizeText(width, height) + "の画像は一度に描くには大きすぎます";
        return {};
    }
    const std::unique_ptr<PixelSource> source = SourceFor(size, whole, problem);
    if (!source)
        return {};
    QImage image(size, source->Format());
    if (image.isNull()) {
        problem = "描くためのメモリが足りません";
        return {};
    }
    std::vector<int> xs(static_cast<std::size_t>(width)), ys(static_cast<std::size_t>(height));
    for (int i = 0; i < width; ++i)
        xs[static_cast<std::size_t>(i)] = i;
    for (int j = 0; j < height; ++j)
        ys[static_cast<std::size_t>(j)] = j;
    if (!source->Sample(xs, ys, image, problem))
        return {};
    return image;
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromBytes(const QByteArray &bmp)
{
    // The header as Qt's bitmap reader takes it, so that what it reads and
    // what it refuses stay so: file header, one of the info headers, the
    // masks, the colour table; the pixel rows may fall short (drawn black).
    const qint64 size = bmp.size();
    if (size < 18 || !bmp.startsWith("BM"))
        notABitmap();
    auto p = std::unique_ptr<BitmapPicture>(new BitmapPicture);
    Layout &l = p->layout;
    const qint64 headerSize = le(bmp, 14, 4);
    const bool core = headerSize == 12;
    qint64 w = 0, h = 0;
    int planes = 0;
    if (core) {
        if (size < 26)
            notABitmap();
        w = static_cast<std::int16_t>(le(bmp, 18, 2));
        h = static_cast<std::int16_t>(le(bmp, 20, 2));
        planes = static_cast<int>(le(bmp, 22, 2));
        l.bitCount = static_cast<int>(le(bmp, 24, 2));
    } else {
        if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
            headerSize != 108 && headerSize != 124)
            notABitmap();
        if (size < 14 + 40)
            notABitmap();
        w = static_cast<std::int32_t>(le(bmp, 18, 4));
        h = static_cast<std::int32_t>(le(bmp, 22, 4));
        planes = static_cast<int>(le(bmp, 26, 2));
        l.bitCount = static_cast<int>(le(bmp, 28, 2));
        const std::uint32_t compression = le(bmp, 30, 4);
        if (compression > 3)
            notABitmap();
        l.compression = static_cast<int>(compression);
    }
    const int bits = l.bitCount, comp = l.compression;
    if ((bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        planes != 1)
        notABitmap();
    if (!(comp == 0 || (bits == 4 && comp == 2) || (bits == 8 && comp == 1) ||
          ((bits == 16 || bits == 32) && comp == 3)))
        notABitmap();
    l.topDown = h < 0;
    h = std::abs(h);
    if (w <= 0 || h <= 0 || w > kLongestPictureSide || h > kLongestPictureSide)
        notABitmap();
    p->width = static_cast<int>(w);
    p->height = static_cast<int>(h);

    qint64 pos = 14 + headerSize;
    const bool masksFollow = comp == 3 && headerSize == 40;
    if (comp == 3) {
        if (54 + 12 > size)
            notABitmap();
        for (int k = 0; k < 3; ++k)
            l.masks[k] = le(bmp, 54 + 4 * k, 4);
        if (headerSize >= 108) {
            if (size < 14 + headerSize)
                notABitmap();
            l.masks[3] = le(bmp, 66, 4);
            l.alpha = l.masks[3] != 0;
        }
        for (int k = 0; k < 4; ++k) {
            l.shifts[k] = maskShift(l.masks[k]);
            const std::uint64_t levels = (std::uint64_t(l.masks[k]) >> l.shifts[k]) + 1;
            if (levels > 0xffffffffu)
                notABitmap();
            l.scales[k] = static_cast<int>(256 / levels);
        }
        if (masksFollow)
            pos += 12;
    } else if (bits == 16) {
        const std::uint32_t masks[] = {0x7c00, 0x03e0, 0x001f};
        const int shifts[] = {7, 2, 0}, scales[] = {1, 1, 8};
        for (int k = 0; k < 3; ++k) {
            l.masks[k] = masks[k];
            l.shifts[k] = shifts[k];
            l.scales[k] = scales[k];
        }
    } else if (bits >= 24) {
        for (int k = 0; k < 3; ++k) {
            l.masks[k] = 0xffu << (8 * (2 - k));
            l.shifts[k] = 8 * (2 - k);
            l.scales[k] = 1;
        }
    }
    if (headerSize >= 108 && size < 14 + headerSize)
        notABitmap();
    if (headerSize == 124 && le(bmp, 14 + 120, 4) != 0)
        notABitmap(); // Qt refuses a version 5 header whose reserved field is set

    if (bits <= 8) {
        const std::uint32_t used = core ? 0 : le(bmp, 46, 4);
        const qint64 colours = used ? used : (1 << bits);
        if (colours < 1 || colours > 256)
            notABitmap();
        const int entry = core ? 3 : 4;
        // Qt also wants a byte after the table.
        if (pos + colours * entry >= size)
            notABitmap();
        l.palette.assign(256, kMissing);
        for (qint64 i = 0; i < colours; ++i) {
            const qint64 at = pos + i * entry;
            l.palette[static_cast<std::size_t>(i)] =
                qRgb(static_cast<unsigned char>(bmp[at + 2]),
                     static_cast<unsigned char>(bmp[at + 1]), static_cast<unsigned char>(bmp[at]));
        }
        pos += colours * entry;
    }
    const auto offBits = static_cast<std::int32_t>(le(bmp, 10, 4));
    l.dataOffset = offBits >= 0 && offBits > pos ? offBits : pos;
    if (l.dataOffset >= size)
        notABitmap();
    l.stride = (w * bits + 31) / 32 * 4;
    p->bytes = bmp;
    return p;
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromFile(const std::string &sjisPath)
{
    return FromBytes(readWholeFile(sjisPath));
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromImage(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "BMP");
    if (!writer.write(image.convertToFormat(QImage::Format_RGB32)))
        throw CardError("ビットマップを作れません: " + writer.errorString().toStdString());
    buffer.close();
    return FromBytes(bytes);
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromImageWithAlpha(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull() || argb.width() > kLongestPictureSide || argb.height() > kLongestPictureSide)
        throw CardError("ビットマップを作れません (画像が大きすぎるか、メモリが足りません)");
    const qint64 w = argb.width(), h = argb.height();
    const qint64 headerBytes = 14 + 124, rowBytes = w * 4;
    const qint64 fileBytes = headerBytes + rowBytes * h;
    if (fileBytes > std::numeric_limits<std::int32_t>::max())
        throw CardError("ビットマップを作れません (画像が大きすぎます)");
    QByteArray bmp(fileBytes, '\0');
    auto put = [&](qint64 at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            bmp[at + i] = static_cast<char>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<std::uint32_t>(fileBytes), 4);
    put(10, static_cast<std::uint32_t>(headerBytes), 4);
    put(14, 124, 4);
    put(18, static_cast<std::uint32_t>(w), 4);
    put(22, static_cast<std::uint32_t>(h), 4); // positive: rows bottom-up
    put(26, 1, 2);
    put(28, 32, 2);
    put(30, 3, 4); // bit fields
    put(34, static_cast<std::uint32_t>(rowBytes * h), 4);
    put(38, 2835, 4); // 72 dpi, as Qt writes
    put(42, 2835, 4);
    put(54, 0x00ff0000, 4);
    put(58, 0x0000ff00, 4);
    put(62, 0x000000ff, 4);
    put(66, 0xff000000, 4);
    put(70, 0x73524742, 4); // 'sRGB'
    put(122, 4, 4);         // rendering intent: pictures
    char *rows = bmp.data() + headerBytes;
    for (qint64 y = 0; y < h; ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(argb.constScanLine(static_cast<int>(y)));
        char *to = rows + (h - 1 - y) * rowBytes;
        for (qint64 x = 0; x < w; ++x)
            qToLittleEndian<quint32>(from[x], to + 4 * x);
    }
    return FromBytes(bmp);
}

std::unique_ptr<PixelSource> BitmapPicture::SourceFor(QSize, const QRect &, std::string &) const
{
    return std::make_unique<BitmapSource>(bytes, layout, width, height);
}

std::unique_ptr<JpegPicture> JpegPicture::FromBytes(const QByteArray &jpeg)
{
    limitDecoderMemory();
    QByteArray copy = jpeg;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    // Reading the header: the size and a colour layout the decoder gives.
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid() || size.isEmpty() ||
        reader.imageFormat() == QImage::Format_Invalid)
        notAJpeg();
    auto p = std::unique_ptr<JpegPicture>(new JpegPicture);
    // The reader finds the EXIF orientation while reading the header; the
    // size it gives is the stored one.
    p->orientation = static_cast<int>(reader.transformation()) & 7;
    const QSize upright =
        p->orientation & QImageIOHandler::TransformationRotate90 ? size.transposed() : size;
    p->width = upright.width();
    p->height = upright.height();
    p->bytes = jpeg;
    return p;
}

std::unique_ptr<JpegPicture> JpegPicture::FromFile(const std::string &sjisPath)
{
    return FromBytes(readWholeFile(sjisPath));
}

std::unique_ptr<PixelSource> JpegPicture::SourceFor(QSize target, const QRect &part,
                                                    std::string &problem) const
{
    // The largest reduction whose picture still has at least the target's
    // pixels, or a larger one when that decoding would not fit the limit.
    int d = 8;
    while (d > 1 && (reduced(width, d) < target.width() || reduced(height, d) < target.height()))
        d /= 2;
    for (;; d *= 2) {
        const QSize grid(static_cast<int>(reduced(width, d)), static_cast<int>(reduced(height, d)));
        // The whole reduced picture when it is small (a drag then needs no
        // new decoding); else the rows and columns the part samples, with a
        // margin of the part's own size around them for a drag, when that
        // fits: a photo shown only in part, as a background larger than the
        // card is, would otherwise be decoded whole at full size.
        QRect region(QPoint(), grid);
        if (static_cast<qint64>(grid.width()) * grid.height() > kWholeDecodePixels) {
            auto at = [&](Qt::Orientation axis, qint64 i) {
                return StretchIndices(grid, target, axis, i, 1).front();
            };
            const QRect sampled =
                QRect(QPoint(at(Qt::Horizontal, part.left()), at(Qt::Vertical, part.top())),
                      QPoint(at(Qt::Horizontal, part.right()), at(Qt::Vertical, part.bottom())));
            const QRect margined = sampled.adjusted(-sampled.width(), -sampled.height(),
                                                    sampled.width(), sampled.height()) &
                                   region;
            region = static_cast<qint64>(margined.width()) * margined.height() * 4 <= kDecodeBytes
                         ? margined
                         : sampled;
        }
        if (static_cast<qint64>(region.width()) * region.height() * 4 <= kDecodeBytes) {
            QPoint origin;
            if (orientation == 0) {
                QImage image = decoded(d, region, origin, problem);
                if (image.isNull())
                    return nullptr;
                return std::make_unique<ImageSource>(std::move(image), origin, grid);
            }
            const QSize stored =
                orientation & QImageIOHandler::TransformationRotate90 ? grid.transposed() : grid;
            QImage image = decoded(d, storedPart(region, stored, orientation), origin, problem);
            if (image.isNull())
                return nullptr;
            return std::make_unique<TurnedSource>(std::move(image), origin, stored, orientation);
        }
        if (d == 8) {
            problem =
                sizeText(width, height) + "の JPEG 画像は、この大きさでは大きすぎて描けません";
            return nullptr;
        }
    }
}

QImage JpegPicture::decoded(int d, const QRect &region, QPoint &origin, std::string &problem) const
{
    {
        const std::lock_guard<std::mutex> lock(keptMutex);
        for (Decoded &k : kept)
            if (k.reduction == d && k.region.contains(region)) {
                k.lastUse = ++useClock;
                origin = k.region.topLeft();
                return k.image;
            }
        // One or two decodings per picture: the editor's and the printer's.
        if (kept.size() >= 2) {
            auto oldest = std::min_element(kept.begin(), kept.end(),
                                           [](auto &a, auto &b) { return a.lastUse < b.lastUse; });
            keptBytes -= oldest->image.sizeInBytes();
            kept.erase(oldest);
        }
    }
    limitDecoderMemory();
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    // The orientation is applied while sampling, to the stored pixels the
    // clip below names.
    reader.setAutoTransform(false);
    const QSize stored = storedSize();
    const QSize whole(static_cast<int>(reduced(stored.width(), d)),
                      static_cast<int>(reduced(stored.height(), d)));
    if (d > 1 || region != QRect(QPoint(), whole)) {
        // A clip of whole d x d blocks with the scaled size its d-th makes
        // the reader scale by exactly 1/d in the decoder (measured with Qt
        // 6.4: a scaled size alone that is not an exact d-th of the picture
        // decodes larger and smooths down). The clip may reach past the
        // picture's edge; the reader keeps what is there.
        reader.setClipRect(
            QRect(region.x() * d, region.y() * d, region.width() * d, region.height() * d));
        reader.setScaledSize(region.size());
    }
    QImage image = reader.read();
    if (image.isNull() || image.size() != region.size()) {
        problem = "JPEG 画像を復号できません (データが壊れているか、この大きさでは描けません)";
        return {};
    }
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    origin = region.topLeft();
    const std::lock_guard<std::mutex> lock(keptMutex);
    if (keptBytes + image.sizeInBytes() <= kCachedDecodeBytes) {
        keptBytes += image.sizeInBytes();
        kept.push_back({d, region, image, ++useClock});
    }
    return image;
}

QSize JpegPicture::storedSize() const
{
    return orientation & QImageIOHandler::TransformationRotate90 ? QSize(height, width)
                                                                 : QSize(width, height);
}

JpegPicture::~JpegPicture()
{
    const std::lock_guard<std::mutex> lock(keptMutex);
    for (const Decoded &k : kept)
        keptBytes -= k.image.sizeInBytes();
}

VectorPicture::VectorPicture(int width, int height, QColor background, QColor foreground,
                             std::vector<QRect> rects)
    : width(width), height(height), background(background), foreground(foreground),
      rects(std::move(rects))
{}

namespace {

// Whether copying an image of opaque pixels to `target` writes what filling
// opaque rectangles there would: a 32-bit image device taken pixel for pixel,
// blending left alone, the whole target on it (a copy is clipped as fills
// are).
bool copiesAsFills(const QPainter &painter, const QRect &target)
{
    const QPaintDevice *device = painter.device();
    if (!device || device->devType() != QInternal::Image || device->devicePixelRatio() != 1 ||
        painter.deviceTransform().type() != QTransform::TxNone || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    const auto *image = static_cast<const QImage *>(device);
    const QImage::Format f = image->format();
    return (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
            f == QImage::Format_ARGB32_Premultiplied) &&
           image->rect().contains(target);
}

} // namespace

void VectorPicture::Draw(QPainter &painter, const QRect &target) const
{
    if (Empty() || target.width() <= 0 || target.height() <= 0)
        return;
    if (background.alpha() == 255 && foreground.alpha() == 255 && copiesAsFills(painter, target)) {
        if (target.size() != drawnSize) {
            drawnSize = target.size();
            drawsAtSize = 0;
            drawn = QImage();
        }
        if (drawsAtSize < 2)
            ++drawsAtSize;
        if (drawsAtSize == 2 && drawn.isNull()) {
            drawn = QImage(target.size(), QImage::Format_RGB32);
            QPainter p(&drawn);
            fill(p, drawn.rect());
        }
        if (!drawn.isNull()) {
            painter.drawImage(target.topLeft(), drawn);
            return;
        }
    }
    fill(painter, target);
}

void VectorPicture::fill(QPainter &painter, const QRect &target) const
{
    // Edges are mapped one by one, so neighbouring rectangles meet without
    // gaps or overlaps at any scale.
    const qint64 tw = target.width(), th = target.height();
    auto mapX = [&](int x) { return target.left() + static_cast<int>(x * tw / width); };
    auto mapY = [&](int y) { return target.top() + static_cast<int>(y * th / height); };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(target, background);
    if (painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Pdf) {
        fillAsVectors(painter, target);
        painter.restore();
        return;
    }
    // Pixel devices keep their fills, whose pixels are known.
    for (const QRect &r : rects) {
        int l = mapX(r.left()), t = mapY(r.top());
        int rr = mapX(r.left() + r.width()), b = mapY(r.top() + r.height());
        if (rr > l && b > t)
            painter.fillRect(QRect(l, t, rr - l, b - t), foreground);
    }
    painter.restore();
}

namespace {

// The grid a symbol may span for coverGrid: a QR code's largest, 177 modules
// and its quiet zones, fits with room to spare.
constexpr int kLargestCoverGrid = 256;

// Few rectangles whose union is that of `rects`, all in units of `unit`, or
// nothing when they reach out of a kLargestCoverGrid square from the origin.
// A QR symbol drawn as its rows' runs needs one rectangle for each run, and
// with the runs of the same columns merged down a twelfth fewer; taken
// greedily (row by row, at each dark cell no rectangle covers yet, the
// rectangle from there that covers the most such cells) a seventh fewer. The rectangles overlap
// where that saves one: they are filled as one shape, so an overlap shows as nothing.
std::vector<QRectF> coverGrid(const std::vector<QRect> &rects, int unit)
{
    int w = 0, h = 0;
    for (const QRect &r : rects) {
        if (r.width() <= 0 || r.height() <= 0)
            continue;
        if (r.left() < 0 || r.top() < 0 ||
            static_cast<qint64>(r.left()) + r.width() > qint64{kLargestCoverGrid} * unit ||
            static_cast<qint64>(r.top()) + r.height() > qint64{kLargestCoverGrid} * unit)
            return {};
        w = std::max(w, (r.left() + r.width()) / unit);
        h = std::max(h, (r.top() + r.height()) / unit);
    }
    const auto at = [w](int x, int y) { return static_cast<std::size_t>(y) * w + x; };
    std::vector<unsigned char> dark(static_cast<std::size_t>(w) * h, 0);
    for (const QRect &r : rects)
        if (r.width() > 0 && r.height() > 0)
            for (int y = r.top() / unit; y < (r.top() + r.height()) / unit; ++y)
                for (int x = r.left() / unit; x < (r.left() + r.width()) / unit; ++x)
                    dark[at(x, y)] = 1;
    // How many dark cells run rightwards from each cell, itself included.
    std::vector<int> run(dark.size(), 0);
    for (int y = 0; y < h; ++y)
        for (int x = w - 1; x >= 0; --x)
            if (dark[at(x, y)])
                run[at(x, y)] = 1 + (x + 1 < w ? run[at(x + 1, y)] : 0);
    std::vector<unsigned char> covered(dark.size(), 0);
    std::vector<QRectF> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!dark[at(x, y)] || covered[at(x, y)])
                continue;
            // From the widest down, each width at which the rectangle can
            // reach further down: only those can be the best.
            int bestW = 1, bestH = 1;
            qint64 bestNew = -1;
            int lastH = 0;
            for (int cw = run[at(x, y)]; cw >= 1; --cw) {
                int ch = 1;
                while (y + ch < h && run[at(x, y + ch)] >= cw)
                    ++ch;
                if (ch == lastH)
                    continue;
                lastH = ch;
                qint64 fresh = 0;
                for (int j = y; j < y + ch; ++j)
                    for (int i = x; i < x + cw; ++i)
                        fresh += covered[at(i, j)] ? 0 : 1;
                if (fresh > bestNew) {
                    bestNew = fresh;
                    bestW = cw;
                    bestH = ch;
                }
            }
            for (int j = y; j < y + bestH; ++j)
                for (int i = x; i < x + bestW; ++i)
                    covered[at(i, j)] = 1;
            out.emplace_back(x, y, bestW, bestH);
        }
    }
    return out;
}

} // namespace

void VectorPicture::fillAsVectors(QPainter &painter, const QRect &target) const
{
    // A PDF file takes the symbol as one fill of many rectangles (a fill
    // each would repeat the colour and state for every module, three times
    // the bytes), written in the picture's grid: the coarsest unit all
    // rectangles are made of (a QR module), one transform placing them in
    // the target. A sheet holds the symbol ten times a page and a merge a
    // page per row, and each rectangle costs the engine five writes, and
    // its bytes compressing: as few rectangles as coverGrid finds, or where
    // it finds none, the rectangles with those of the same columns in
    // consecutive rows as one. Worked out once per picture: a sheet draws it
    // ten times.
    if (!gridValid) {
        gridValid = true;
        gridUnit = 0;
        for (const QRect &r : rects)
            gridUnit = std::gcd(
                gridUnit, std::gcd(std::gcd(r.left(), r.top()), std::gcd(r.width(), r.height())));
        if (gridUnit <= 0)
            gridUnit = 1;
        std::vector<QRectF> merged = coverGrid(rects, gridUnit);
        if (merged.empty()) {
            merged.reserve(rects.size());
            for (const QRect &r : rects)
                if (r.width() > 0 && r.height() > 0)
                    merged.emplace_back(r.left() / gridUnit, r.top() / gridUnit,
                                        r.width() / gridUnit, r.height() / gridUnit);
            std::sort(merged.begin(), merged.end(), [](const QRectF &a, const QRectF &b) {
                return std::make_tuple(a.left(), a.width(), a.top()) <
                       std::make_tuple(b.left(), b.width(), b.top());
            });
            std::size_t kept = 0;
            for (std::size_t i = 0; i < merged.size(); ++i) {
                QRectF &last = merged[kept > 0 ? kept - 1 : 0];
                const QRectF &r = merged[i];
                if (kept > 0 && r.left() == last.left() && r.width() == last.width() &&
                    r.top() <= last.bottom())
                    last.setBottom(std::max(last.bottom(), r.bottom()));
                else
                    merged[kept++] = r;
            }
            merged.resize(kept);
        }
        gridRects = std::move(merged);
    }
    if (gridRects.empty())
        return;
    const int unit = gridUnit;
    painter.translate(target.topLeft());
    painter.scale(static_cast<double>(target.width()) * unit / width,
                  static_cast<double>(target.height()) * unit / height);
    painter.setPen(Qt::NoPen);
    painter.setBrush(foreground);
    painter.drawRects(gridRects.data(), static_cast<int>(gridRects.size()));
}

QImage VectorPicture::ToImage() const
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!Empty()) {
        QPainter p(&image);
        Draw(p, QRect(0, 0, width, height));
    }
    return image;
}

namespace {

// The size a converted picture of `size` keeps: scaled down, its aspect
// kept, to fit inside kImportFitWidth x kImportFitHeight when it is larger
// in either direction; else its own.
QSize keptSize(QSize size)
{
    const qint64 w = size.width(), h = size.height();
    if (w <= kImportFitWidth && h <= kImportFitHeight)
        return size;
    // Wider than the card (in proportion): its width fills the card's.
    if (w * kImportFitHeight >= h * kImportFitWidth)
        return {kImportFitWidth,
                static_cast<int>(std::max<qint64>(1, (h * kImportFitWidth + w / 2) / w))};
    return {static_cast<int>(std::max<qint64>(1, (w * kImportFitHeight + h / 2) / h)),
            kImportFitHeight};
}

// Whether some pixel of `image` (32-bit, alpha not premultiplied) is not
// wholly opaque.
bool hasTransparency(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return false;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return true;
    }
    return false;
}

// A PNG, GIF, TIFF or WebP file as a bitmap: the first frame, turned
// upright, in sRGB, scaled down to keptSize; 24 bits a pixel when every
// pixel is opaque, else 32 with its alpha. Memory stays bounded whatever the
// file claims: the size is checked before decoding and the reader refuses
// to allocate more than a picture of that size needs.
std::unique_ptr<Picture> convertedPicture(const QString &path)
{
    // libpng and libtiff print a broken file's faults to stderr themselves;
    // the user gets our one line below instead.
    const QuietStderr quiet;
    QFile file;
    try {
        files::OpenForReading(file, path, files::Links::Follow, files::kPictureFileLimit);
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("画像ファイル %1 を開けません: %2")
                            .arg(QDir::toNativeSeparators(path), e.Cause())
                            .toStdString());
    }
    auto refuse = [&](const QString &why) {
        throw CardError(QStringLiteral("画像ファイル %1 を読めません: %2")
                            .arg(QDir::toNativeSeparators(path), why)
                            .toStdString());
    };
    // Pixels of more than 32 bits (16 bits a channel) count double.
    auto checkSize = [&](QSize size, int bitsPerPixel) {
        const qint64 allowed = kImportPixels * 32 / std::max(32, bitsPerPixel);
        if (static_cast<qint64>(size.width()) * size.height() > allowed)
            refuse(QStringLiteral("%1 x %2 画素の画像は大きすぎます (使えるのは %3 万画素までです)")
                       .arg(size.width())
                       .arg(size.height())
                       .arg(allowed / 10000));
    };
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // A backstop for a header that understates the size; the limit is in MB.
    reader.setAllocationLimit(static_cast<int>((kDecodeBytes >> 20) + 1));
    const QSize claimed = reader.size();
    if (!reader.canRead())
        refuse(QStringLiteral("画像として読めないデータです"));
    if (claimed.isValid())
        checkSize(claimed, QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel());
    QImage image = reader.read();
    if (image.isNull())
        refuse(QStringLiteral("画像のデータが壊れているか、メモリに収まらない大きさです"));
    checkSize(image.size(), image.depth());
    // Converted in place where the depth allows, so that at most two
    // copies of the pixels exist at any time.
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
        image.convertToColorSpace(QColorSpace::SRgb);
    const QSize kept = keptSize(image.size());
    if (kept != image.size())
        image = std::move(image)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                    .scaled(kept, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32);
    if (!hasTransparency(image))
        return BitmapPicture::FromImage(image);
    return BitmapPicture::FromImageWithAlpha(image);
}

} // namespace

std::unique_ptr<Picture> LoadPictureFile(const QString &path)
{
    const std::string ext = sjis::toUpper(sjis::extensionPart(sjis::fromUnicode(path)));
    if (ext == ".PNG" || ext == ".GIF" || ext == ".TIF" || ext == ".TIFF" || ext == ".WEBP")
        return convertedPicture(path);
    if (ext != ".JPEG" && ext != ".JPG" && ext != ".BMP")
        return nullptr;
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(path, files::kPictureFileLimit);
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("画像ファイル %1 を開けません: %2")
                            .arg(QDir::toNativeSeparators(path), e.Cause())
                            .toStdString());
    }
    try {
        if (ext == ".BMP")
            return BitmapPicture::FromBytes(bytes);
        return JpegPicture::FromBytes(bytes);
    } catch (const CardError &e) {
        throw CardError(QStringLiteral("画像ファイル %1 を読めません: %2")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()))
                            .toStdString());
    }
}
