#include "app/previewcontrol.h"
#include "print/pagerecorder.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

// Grey ground around the paper, in viewport pixels.
constexpr int kMargin = 12;
constexpr int kShadow = 4;
const QColor kGround(0x80, 0x80, 0x80);
const QColor kShadowColor(0x40, 0x40, 0x40);

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
    if (!recorder || recorder->PageCount() == 0)
        return nullptr;
    return &recorder->Page(0);
}

void PreviewControl::pageChanged()
{
    reduced = QImage();
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

void PreviewControl::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    p.setClipRect(event->rect());
    p.fillRect(event->rect(), kGround);
    const QImage *img = page();
    if (!img || img->isNull())
        return;
    const QRect target = PageRect();
    if (target.isEmpty())
        return;
    p.fillRect(target.translated(kShadow, kShadow), kShadowColor);
    if (target.size() == img->size()) {
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
}
