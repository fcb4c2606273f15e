#pragma once
#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>

class PageRecorder;

// Shows page 1 of a PageRecorder's finished pages at a zoom, as a sheet of
// paper with a frame and a drop shadow on a grey ground. The page is centred
// while it fits the view and scrolls when it does not.
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

    // Percent of the page's size; values outside 2..2000 are ignored. Every
    // accepted change brings the page's top-left corner into view.
    void SetZoom(int percent);
    int Zoom() const { return zoom; }

    // The page's shown size, and where it is in viewport coordinates.
    QSize PageDisplaySize() const;
    QRect PageRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void pageChanged();
    void updateScrollBars();
    const QImage *page() const;

    QPointer<PageRecorder> recorder;
    QMetaObject::Connection finishedConnection;
    QMetaObject::Connection destroyedConnection;
    int zoom = 100;
    // Smoothly reduced page for zooms below 100; rebuilt when stale.
    mutable QImage reduced;
};
