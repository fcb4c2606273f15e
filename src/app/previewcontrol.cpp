#include "app/previewcontrol.h"
#include "print/pagerecorder.h"
#include "print/sheet.h"

#include "card/converter.h"
#include "card/objects.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {

// Grey ground around the paper, in viewport pixels.
constexpr int kMargin = 12;
constexpr int kShadow = 4;
const QColor kGround(0x80, 0x80, 0x80);
const QColor kShadowColor(0x40, 0x40, 0x40);
const QColor kOffPaper(0xc0, 0x00, 0x00);

// Above this many pixels (64 MB) the card is not kept as an image but drawn
// into the visible cells at each paint: at 2000 % on a screen of ratio 2 one
// card image would take half a gigabyte.
constexpr qint64 kLargestCardPixels = 16 * 1024 * 1024;

constexpr std::int64_t kFar = std::int64_t{1} << 28;

// Cell `c` of `l` in device pixels. Cells far beyond any screen (absurd
// print-space values) are pulled in to stay within QRect's int range; they
// are never seen.
QRect cellRect(const SheetLayout &l, const SheetLayout::Cell &c)
{
    const auto near = [](std::int64_t v) { return static_cast<int>(std::clamp(v, -kFar, kFar)); };
    return QRect(QPoint(near(c.x), near(c.y)),
                 QPoint(near(c.x + l.width) - 1, near(c.y + l.height) - 1));
}

} // namespace

PreviewControl::PreviewControl(QWidget *parent) : QAbstractScrollArea(parent)
{
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    viewport()->setAutoFillBackground(false);
    updateScrollBars();
}

void PreviewControl::SetRecorder(PageRecorder *rec)
{
    disconnect(finishedConnection);
    disconnect(destroyedConnection);
    recorder = rec;
    if (rec) {
        finishedConnection =
            connect(rec, &PageRecorder::documentFinished, this, &PreviewControl::pageChanged);
        // QPointer nulls itself first; this only repaints without the page.
        destroyedConnection = connect(rec, &QObject::destroyed, this, &PreviewControl::pageChanged);
    }
    pageChanged();
}

PageRecorder *PreviewControl::Recorder() const
{
    return recorder;
}

void PreviewControl::SetSheet(const DrawingOrder *drawingOrder, const PrintSpace &values,
                              const DrawingOrder *backOrder)
{
    order = drawingOrder;
    back = backOrder;
    space = values;
    pageChanged();
}

void PreviewControl::SetPage(int index)
{
    pageIndex = index;
    pageChanged();
}

void PreviewControl::SetZoom(int percent)
{
    if (percent < kMinZoom || percent > kMaxZoom)
        return;
    zoom = percent;
    reduced = QImage();
    updateScrollBars();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

int PreviewControl::FitZoom(bool widthOnly) const
{
    if (!recorder)
        return 100;
    const QSizeF tenthMm = recorder->PageSizeTenthMm();
    const double w = tenthMm.width() * recorder->XFactor();
    const double h = tenthMm.height() * recorder->YFactor();
    if (w <= 0 || h <= 0)
        return 100;
    // The room the page has with its margins: the whole area when it fits
    // (no scroll bars then), less the vertical bar a page fitted to the
    // width scrolls with.
    const int frame = 2 * frameWidth();
    const int bar = widthOnly ? verticalScrollBar()->sizeHint().width() : 0;
    const double byWidth = (width() - frame - bar - 2 * kMargin) / w;
    const double byHeight = (height() - frame - 2 * kMargin) / h;
    const double scale = widthOnly ? byWidth : std::min(byWidth, byHeight);
    return std::clamp(static_cast<int>(scale * 100), kMinZoom, kMaxZoom);
}

QSize PreviewControl::PageDisplaySize() const
{
    if (!recorder)
        return {};
    const QSizeF tenthMm = recorder->PageSizeTenthMm();
    return QSize(qRound(tenthMm.width() * recorder->XFactor() * zoom / 100.0),
                 qRound(tenthMm.height() * recorder->YFactor() * zoom / 100.0));
}

QRect PreviewControl::PageRect() const
{
    const QSize size = PageDisplaySize();
    const QSize view = viewport()->size();
    auto place = [](int pageLength, int viewLength, int scrolled) {
        const int content = pageLength + 2 * kMargin;
        return content <= viewLength ? (viewLength - pageLength) / 2 : kMargin - scrolled;
    };
    return QRect(place(size.width(), view.width(), horizontalScrollBar()->value()),
                 place(size.height(), view.height(), verticalScrollBar()->value()), size.width(),
                 size.height());
}

const QImage *PreviewControl::page() const
{
    if (!recorder || pageIndex < 0 || pageIndex >= recorder->PageCount())
        return nullptr;
    return &recorder->Page(pageIndex);
}

void PreviewControl::pageChanged()
{
    reduced = QImage();
    card = QImage();
    offPaper.clear();
    // Worked out on the recorded page, as the window's own message is.
    if (recorder && shownOrder()) {
        const SheetDevice dev;
        const QSize paper = recorder->PageSizePixels();
        offPaper = CellsOffPaper(layoutAt(dev, paper), dev, paper);
    }
    updateScrollBars();
    viewport()->update();
}

void PreviewControl::updateScrollBars()
{
    const QSize size = PageDisplaySize();
    const QSize view = viewport()->size();
    const int contentW = size.isEmpty() ? 0 : size.width() + 2 * kMargin;
    const int contentH = size.isEmpty() ? 0 : size.height() + 2 * kMargin;
    horizontalScrollBar()->setRange(0, qMax(0, contentW - view.width()));
    verticalScrollBar()->setRange(0, qMax(0, contentH - view.height()));
    horizontalScrollBar()->setPageStep(qMax(1, view.width()));
    verticalScrollBar()->setPageStep(qMax(1, view.height()));
}

void PreviewControl::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PreviewControl::scrollContentsBy(int, int)
{
    viewport()->update();
}

SheetDevice PreviewControl::deviceAt(qreal ratio) const
{
    // The page's pixels per inch times the zoom and the screen's ratio.
    SheetDevice dev;
    dev.px = dev.py = qRound(PageRecorder::kDotsPerInch * zoom / 100.0 * ratio);
    return dev;
}

SheetLayout PreviewControl::layoutAt(const SheetDevice &dev, QSize paper) const
{
    const SheetLayout front = ComputePreviewLayout(dev, dev.px / 254.0, dev.py / 254.0, space);
    return pageIndex == 1 ? ComputeBackLayout(front, dev, paper, space) : front;
}

const QImage &PreviewControl::cardImage(const SheetLayout &l)
{
    if (card.width() != l.width || card.height() != l.height) {
        card = QImage();
        if (l.width * l.height <= kLargestCardPixels) {
            card =
                QImage(static_cast<int>(l.width), static_cast<int>(l.height), QImage::Format_RGB32);
            card.fill(Qt::white);
            QPainter p(&card);
            // Drawn only: the texts keep the rectangles the recorded page
            // measured, so no zoom changes what the card file would hold.
            RenderCard(*shownOrder(), &p, Converter(card.width()));
        }
    }
    return card;
}

// The sheet drawn afresh in the screen's device pixels: paper, crop marks and
// the ten cells, of which only the exposed part reaches the screen.
void PreviewControl::paintSheet(QPainter &p, const QRect &target, qreal ratio)
{
    const QSize pageSize(qRound(target.width() * ratio), qRound(target.height() * ratio));
    const QRect paper(QPoint(0, 0), pageSize);
    const SheetDevice dev = deviceAt(ratio);
    const SheetLayout l = layoutAt(dev, pageSize);
    p.save();
    p.translate(target.topLeft());
    p.scale(1 / ratio, 1 / ratio);
    p.setClipRect(paper, Qt::IntersectClip);
    p.fillRect(paper, Qt::white);
    if (space.cropMarks)
        DrawCropMarks(p, dev, l);
    if (l.width > 0 && l.height > 0) {
        const QImage &image = cardImage(l);
        if (!image.isNull()) {
            DrawSheetCells(p, pageSize, l, image);
        } else {
            const QRect shown = p.clipBoundingRect().toAlignedRect();
            for (const SheetLayout::Cell &c : l.cells) {
                const QRect cell = cellRect(l, c);
                if (!cell.intersects(shown))
                    continue;
                p.save();
                p.translate(cell.topLeft());
                p.setClipRect(QRect(QPoint(0, 0), cell.size()), Qt::IntersectClip);
                p.fillRect(QRect(QPoint(0, 0), cell.size()), Qt::white);
                RenderCard(*shownOrder(), &p, Converter(cell.width()));
                p.restore();
            }
        }
    }
    p.restore();
}

// Each cell off the paper: its part on the paper tinted, and its whole
// outline in red, reaching onto the ground where the paper ends.
void PreviewControl::paintOffPaper(QPainter &p, const QRect &target, qreal ratio)
{
    if (offPaper.empty())
        return;
    const QRect paper(QPoint(0, 0),
                      QSize(qRound(target.width() * ratio), qRound(target.height() * ratio)));
    const SheetLayout l = layoutAt(deviceAt(ratio), paper.size());
    const int pen = qMax(1, qRound(2 * ratio));
    QColor tint = kOffPaper;
    tint.setAlpha(48);
    p.save();
    p.translate(target.topLeft());
    p.scale(1 / ratio, 1 / ratio);
    p.setPen(QPen(kOffPaper, pen, Qt::DashLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    for (int n : offPaper) {
        const QRect cell = cellRect(l, l.cells.at(static_cast<std::size_t>(n - 1)));
        p.fillRect(cell & paper, tint);
        // The outline lies on the cell's own edge pixels.
        p.drawRect(QRectF(cell).adjusted(pen / 2.0, pen / 2.0, -pen / 2.0, -pen / 2.0));
    }
    p.restore();
}

void PreviewControl::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    // The pixels per logical pixel of what is painted: the screen's, or
    // those of an image the viewport is rendered into (QWidget::render keeps
    // the widget as the painter's device, so only the transform tells).
    const qreal scale = p.deviceTransform().m11();
    const qreal ratio = scale > 0 ? scale : 1;
    p.setClipRect(event->rect());
    p.fillRect(event->rect(), kGround);
    const QImage *img = page();
    if (!img || img->isNull())
        return;
    const QRect target = PageRect();
    if (target.isEmpty())
        return;
    p.fillRect(target.translated(kShadow, kShadow), kShadowColor);
    if (shownOrder() && (zoom != 100 || ratio != 1)) {
        paintSheet(p, target, ratio);
    } else if (target.size() == img->size()) {
        p.drawImage(target.topLeft(), *img);
    } else if (zoom < 100) {
        if (reduced.size() != target.size())
            reduced = img->scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        p.drawImage(target.topLeft(), reduced);
    } else {
        // Enlarged: the painter scales only what the clip lets through.
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, *img);
    }
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(target.adjusted(-1, -1, 0, 0));
    paintOffPaper(p, target, ratio);
}
