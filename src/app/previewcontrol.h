#pragma once
#include "card/printspace.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>
#include <vector>

class DrawingOrder;
class PageRecorder;
class QPainter;
struct SheetDevice;
struct SheetLayout;

// Shows one of a PageRecorder's finished pages (the first unless told) at a zoom, as a sheet of
// paper with a frame and a drop shadow on a grey ground. The page is centred
// while it fits the view and scrolls when it does not.
//
// Told the sheet the page holds (SetSheet), the control draws it anew for
// every zoom and screen pixel ratio but 100 % at ratio 1 (where the recorded
// page is shown pixel for pixel), so it stays sharp when enlarged; and it
// marks the cells that fall off the paper, on the screen only.
class PreviewControl : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr int kMinZoom = 2;
    static constexpr int kMaxZoom = 2000;

    explicit PreviewControl(QWidget *parent = nullptr);

    // The control refers to `rec` (not owned) until another one is set or
    // `rec` is destroyed; null detaches.
    void SetRecorder(PageRecorder *rec);
    PageRecorder *Recorder() const;

    // The sheet on the recorded pages: the card's drawing order (borrowed; it
    // must outlive the control, or be replaced first) at `space`, and for a
    // two-sided sheet the back card's on the second page. Null forgets it:
    // an enlarged page is then the recorded one, scaled.
    void SetSheet(const DrawingOrder *order, const PrintSpace &space,
                  const DrawingOrder *back = nullptr);
    // The cells (1 to 10) not wholly on the paper at the sheet's values, on
    // the page shown (the back's numbered by the front cells they lie behind).
    const std::vector<int> &OffPaperCells() const { return offPaper; }

    // Which recorded page is shown: 0 the front, 1 the back. A page the
    // recorder does not have shows nothing.
    void SetPage(int index);
    int PageIndex() const { return pageIndex; }

    // Percent of the page's size; values outside 2..2000 are ignored. Every
    // accepted change brings the page's top-left corner into view.
    void SetZoom(int percent);
    int Zoom() const { return zoom; }

    // The page's shown size, and where it is in viewport coordinates.
    QSize PageDisplaySize() const;
    // The zoom (percent) that shows the whole page in the viewport, or
    // its whole width when `widthOnly`; 100 without a page.
    int FitZoom(bool widthOnly) const;
    QRect PageRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void pageChanged();
    void updateScrollBars();
    const QImage *page() const;
    void paintSheet(QPainter &p, const QRect &target, qreal ratio);
    void paintOffPaper(QPainter &p, const QRect &target, qreal ratio);
    SheetDevice deviceAt(qreal ratio) const;
    // The layout of the page shown, on a paper of `paper` pixels of `dev`.
    SheetLayout layoutAt(const SheetDevice &dev, QSize paper) const;
    const DrawingOrder *shownOrder() const { return pageIndex == 1 ? back : order; }
    const QImage &cardImage(const SheetLayout &layout);

    QPointer<PageRecorder> recorder;
    QMetaObject::Connection finishedConnection;
    QMetaObject::Connection destroyedConnection;
    int zoom = 100;
    // Smoothly reduced page for zooms below 100; rebuilt when stale.
    mutable QImage reduced;
    const DrawingOrder *order = nullptr;
    const DrawingOrder *back = nullptr;
    int pageIndex = 0;
    PrintSpace space;
    std::vector<int> offPaper;
    // The card drawn at the last size a zoomed page needed; dropped when the
    // sheet or the recorded page changes.
    QImage card;
};
