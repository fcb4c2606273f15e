#pragma once
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QSizeF>
#include <vector>

// Records pages for the on-screen preview: each page is a white image of the
// paper at 96 dots per inch (A4 portrait, 794 x 1123, unless told another
// paper), painted through Canvas(). Pages become visible (PageCount, Page)
// when the document ends.
class PageRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDotsPerInch = 96;

    explicit PageRecorder(QObject *parent = nullptr);
    // The paper in millimetres, as the printer is set up (QPageLayout's full
    // rectangle, orientation applied). Sizes that are not positive, or beyond
    // a metre, leave A4: the page image must stay small.
    PageRecorder(const QSizeF &paperMm, QObject *parent = nullptr);
    ~PageRecorder() override;

    // Starts a document, dropping whatever was recorded before.
    void BeginDoc();
    // Finishes the page being painted, if any, and starts a new white one.
    // Starts a document when none is open.
    void NewPage();
    // The page canvas, origin at the paper's top-left corner; valid between
    // NewPage and EndDoc, null otherwise.
    QPainter *Canvas();
    // Pixels per 0.1 mm of the page canvas.
    double XFactor() const { return kDotsPerInch / 254.0; }
    double YFactor() const { return kDotsPerInch / 254.0; }
    // Ends painting; the pages are finished. Emits documentFinished().
    void EndDoc();

    // Finished pages only; 0 while a document is being recorded.
    int PageCount() const;
    // A null image when `index` names no finished page.
    const QImage &Page(int index = 0) const;
    // The paper in 0.1 mm.
    QSizeF PageSizeTenthMm() const;
    // The paper in pixels of the page canvas.
    QSize PageSizePixels() const;

signals:
    void documentFinished();

private:
    std::vector<QImage> pages;
    QPainter painter;
    bool inDoc = false;
    QSizeF paperMm;
};
