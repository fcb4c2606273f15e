#include "print/pagerecorder.h"

#include <QPageSize>

namespace {

QSizeF a4Millimetres()
{
    return QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
}

} // namespace

PageRecorder::PageRecorder(QObject *parent) : QObject(parent), paperMm(a4Millimetres()) {}

PageRecorder::PageRecorder(const QSizeF &mm, QObject *parent) : PageRecorder(parent)
{
    constexpr double kLargestMm = 1000;
    if (mm.width() > 0 && mm.height() > 0 && mm.width() <= kLargestMm && mm.height() <= kLargestMm)
        paperMm = mm;
}

PageRecorder::~PageRecorder()
{
    if (painter.isActive())
        painter.end();
}

void PageRecorder::BeginDoc()
{
    if (painter.isActive())
        painter.end();
    pages.clear();
    inDoc = true;
}

void PageRecorder::NewPage()
{
    if (!inDoc)
        BeginDoc();
    // Ended before the vector grows: the painter must not see its image move.
    if (painter.isActive())
        painter.end();
    QImage page(PageSizePixels(), QImage::Format_RGB32);
    page.fill(Qt::white);
    // logicalDpiX/Y of the image round dots per metre back to 96.
    const int dotsPerMeter = qRound(kDotsPerInch / 0.0254);
    page.setDotsPerMeterX(dotsPerMeter);
    page.setDotsPerMeterY(dotsPerMeter);
    pages.push_back(std::move(page));
    painter.begin(&pages.back());
}

QPainter *PageRecorder::Canvas()
{
    return painter.isActive() ? &painter : nullptr;
}

void PageRecorder::EndDoc()
{
    if (!inDoc)
        return;
    if (painter.isActive())
        painter.end();
    inDoc = false;
    emit documentFinished();
}

int PageRecorder::PageCount() const
{
    return inDoc ? 0 : static_cast<int>(pages.size());
}

const QImage &PageRecorder::Page(int index) const
{
    static const QImage none;
    if (index < 0 || index >= PageCount())
        return none;
    return pages[static_cast<std::size_t>(index)];
}

QSizeF PageRecorder::PageSizeTenthMm() const
{
    return paperMm * 10.0;
}

QSize PageRecorder::PageSizePixels() const
{
    // Rounded, not truncated as QPageSize::sizePixels does, so that the page
    // is the size the preview shows at 100 % (2100 × 96 / 254 = 793.7).
    const QSizeF &mm = paperMm;
    return QSize(qRound(mm.width() * kDotsPerInch / 25.4),
                 qRound(mm.height() * kDotsPerInch / 25.4));
}
