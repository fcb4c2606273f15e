#include "editor/canvasview.h"
#include "card/cardoptions.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/shape.h"
#include "editor/geometry.h"
#include "editor/session.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// A model rectangle in the pointer's pixels. Marks far outside the canvas
// are not seen; bounding keeps the corner arithmetic in range for any
// stored rectangle.
TRect viewPixels(const Converter &view, const TRect &r)
{
    auto dev = [&view](int v) { return std::clamp(view.ToDevice(v), -10000, 10000); };
    return {dev(r.left), dev(r.top), dev(r.right), dev(r.bottom)};
}

QRect toQRect(const TRect &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

} // namespace

CanvasView::CanvasView(EditSession &session, QObject *parent)
    : QObject(parent), session(session), device(EditSession::kCanvasWidth),
      canvas(EditSession::kCanvasWidth, EditSession::kCanvasHeight, QImage::Format_RGB32)
{
    canvas.fill(Qt::white);
    connect(&session, &EditSession::canvasChanged, this, &CanvasView::repaint);
    // The lines point into the objects Open is about to destroy.
    connect(&session, &EditSession::cardReplaced, this, [this] { printCheckLines.clear(); });
}

QSize CanvasView::ViewSize() const
{
    return {std::max(1, qRound(EditSession::kCanvasWidth * zoom)),
            std::max(1, qRound(EditSession::kCanvasHeight * zoom))};
}

void CanvasView::SetView(double zoomValue, double ratio)
{
    // NaN and out-of-range values from a screen or a caller fall back to the
    // nearest sensible view rather than an empty or enormous canvas.
    zoomValue = zoomValue >= 0.25 ? std::min(zoomValue, 8.0) : (zoomValue < 0.25 ? 0.25 : 1.0);
    ratio = ratio >= 1.0 ? std::min(ratio, 4.0) : 1.0;
    if (zoomValue == zoom && ratio == pixelRatio)
        return;
    zoom = zoomValue;
    pixelRatio = ratio;
    session.SetViewWidth(ViewSize().width());
    const int width = std::max(1, qRound(EditSession::kCanvasWidth * zoom * pixelRatio));
    const int height = std::max(1, qRound(EditSession::kCanvasHeight * zoom * pixelRatio));
    device.SetWidth(width);
    canvas = QImage(width, height, QImage::Format_RGB32);
    session.RefreshCanvas();
}

void CanvasView::repaint()
{
    // Painted in device pixels; the ratio is set again for the widget.
    canvas.setDevicePixelRatio(1.0);
    QPainter p(&canvas);
    const DrawingOrder order = MakeDrawingOrder(session.Card());
    renderCard(p, order);
    printCheckLines = printCheck.Run(order);
    DrawPrintCheck(p);
    DrawGuides(p);
    // The notices and marks keep their size on the screen.
    if (pixelRatio != 1.0)
        p.scale(pixelRatio, pixelRatio);
    DrawPicturePlace(p);
    DrawQrOverflow(p);
    DrawQrTooSmall(p);
    DrawSelectionMarks(p);
    p.end();
    canvas.setDevicePixelRatio(pixelRatio);
    emit canvasChanged();
}

void CanvasView::renderCard(QPainter &p, const DrawingOrder &order)
{
    const std::vector<Object *> list = order.List();
    const std::vector<Object *> &selected = session.SelectedObjects();
    std::size_t lo = list.size(), hi = 0;
    if (session.Dragging())
        for (std::size_t i = 0; i < list.size(); ++i)
            if (std::find(selected.begin(), selected.end(), list[i]) != selected.end()) {
                lo = std::min(lo, i);
                hi = i;
            }
    if (lo == list.size()) {
        layers = DragLayers();
        p.fillRect(canvas.rect(), QColor(255, 255, 255));
        RenderCard(order, &p, device);
        return;
    }
    const std::vector<const Object *> below(list.begin(), list.begin() + lo);
    const std::vector<const Object *> above(list.begin() + hi + 1, list.end());
    if (!layers.valid || layers.below != below || layers.above != above ||
        layers.under.size() != canvas.size()) {
        layers.valid = true;
        layers.below = below;
        layers.above = above;
        layers.under = QImage(canvas.size(), QImage::Format_RGB32);
        layers.under.fill(Qt::white);
        layers.over = QImage(canvas.size(), QImage::Format_ARGB32_Premultiplied);
        layers.over.fill(Qt::transparent);
        QPainter under(&layers.under), over(&layers.over);
        for (const Object *o : below)
            o->Draw(&under, device);
        for (const Object *o : above)
            o->Draw(&over, device);
    }
    p.drawImage(0, 0, layers.under);
    for (std::size_t i = lo; i <= hi; ++i)
        list[i]->Draw(&p, device);
    if (!above.empty())
        p.drawImage(0, 0, layers.over);
}

void CanvasView::DrawSelectionMarks(QPainter &p) const
{
    using geometry::Handle;
    const Object *primary = session.Selection();
    const std::vector<Object *> &selected = session.SelectedObjects();
    const QColor blue(0, 0, 255), light(128, 160, 255);
    // The primary last, so its marks lie over the others' where they meet.
    for (const Object *obj : selected) {
        // A hidden object is not on the canvas; marks would stand for nothing.
        if (obj == primary || !obj->IsVisible())
            continue;
        drawMarks(p, *obj, light, false);
    }
    if (primary && primary->IsVisible())
        drawMarks(p, *primary, blue, selected.size() == 1 && session.Sizable(primary));
}

void CanvasView::drawMarks(QPainter &p, const Object &obj, const QColor &colour, bool edges) const
{
    using geometry::Handle;
    const Converter &view = session.View();
    if (const auto *line = dynamic_cast<const ShapeObject *>(&obj);
        line && line->GetKind() == ShapeObject::Kind::Line) {
        // Each end's square is centred on the end, where HandleAt finds it.
        const TRect f = viewPixels(view, line->Frame());
        for (const auto &[x, y] : {std::pair{f.left, f.top}, std::pair{f.right, f.bottom}})
            p.fillRect(QRect(x - geometry::kHandlePixels / 2, y - geometry::kHandlePixels / 2,
                             geometry::kHandlePixels + 1, geometry::kHandlePixels + 1),
                       colour);
        return;
    }
    TRect r;
    obj.GetRect(r);
    const TRect v = viewPixels(view, r);
    for (Handle h : {Handle::TopLeft, Handle::TopRight, Handle::BottomLeft, Handle::BottomRight})
        p.fillRect(toQRect(geometry::HandleBox(h, v)), colour);
    // A sizable object alone in the selection also has handles at the
    // middles of its edges; with others selected they would size nothing.
    if (edges)
        for (Handle h : {Handle::Top, Handle::Right, Handle::Bottom, Handle::Left})
            p.fillRect(toQRect(geometry::HandleBox(h, v)), colour);
}

void CanvasView::DrawGuides(QPainter &p) const
{
    const QColor magenta(255, 0, 255);
    // A guide on the card's right or bottom edge falls on the last pixel.
    if (const std::optional<int> x = session.GuideX())
        p.fillRect(
            QRect(std::clamp(device.ToDevice(*x), 0, canvas.width() - 1), 0, 1, canvas.height()),
            magenta);
    if (const std::optional<int> y = session.GuideY())
        p.fillRect(
            QRect(0, std::clamp(device.ToDevice(*y), 0, canvas.height() - 1), canvas.width(), 1),
            magenta);
}

void CanvasView::DrawPrintCheck(QPainter &p) const
{
    // Two screen pixels thick, right below the line's cell (under its
    // descenders), as long as the text is drawn.
    const int thick = std::max(1, static_cast<int>(std::lround(2 * pixelRatio)));
    const long long limitX = canvas.width() + 100LL, limitY = canvas.height() + 100LL;
    for (const TextObject *text : printCheckLines) {
        const LineSize size = drawnLines.Of(*text, device);
        TRect r;
        text->GetRect(r);
        const long long x = device.ToDevice(r.left);
        if (size.vertical) {
            // Down the column's right side, where vertical text is marked.
            const long long top = device.ToDevice(r.top);
            const long long right = x + size.advance;
            const long long y0 = std::clamp(top, -100LL, limitY);
            const long long y1 = std::clamp(top + size.height, -100LL, limitY);
            if (y1 > y0 && right >= -100 && right <= limitX)
                p.fillRect(QRect(static_cast<int>(right), static_cast<int>(y0), thick,
                                 static_cast<int>(y1 - y0)),
                           QColor(255, 0, 0));
            continue;
        }
        const long long y = static_cast<long long>(device.ToDevice(r.top)) + size.height;
        // Lines far outside the canvas are not seen; bounding keeps QRect in range.
        const long long left = std::clamp(x, -100LL, limitX);
        const long long right = std::clamp(x + size.advance, -100LL, limitX);
        if (right <= left || y < -100 || y > limitY)
            continue;
        p.fillRect(QRect(static_cast<int>(left), static_cast<int>(y),
                         static_cast<int>(right - left), thick),
                   QColor(255, 0, 0));
    }
    drawnLines.Sweep();
}

void CanvasView::DrawQrOverflow(QPainter &p) const
{
    const Object *qr = session.Card().Find(kQrKey);
    if (!session.QrTooLong() || !qr || !qr->IsVisible())
        return;
    TRect r;
    qr->GetRect(r);
    const Converter &view = session.View();
    const QString words = QStringLiteral("QR コードに入りきりません");
    p.save();
    p.setFont(WindowFont());
    // The words in a box at the symbol's corner, moved inside the canvas
    // when the corner lies near or beyond its edge.
    const QSize text = p.fontMetrics().size(Qt::TextSingleLine, words);
    QRect box(0, 0, text.width() + 12, text.height() + 10);
    const int x =
        std::clamp(view.ToDevice(r.left), 0, std::max(0, ViewSize().width() - box.width()));
    const int y =
        std::clamp(view.ToDevice(r.top), 0, std::max(0, ViewSize().height() - box.height()));
    box.moveTo(x, y);
    const QColor red(255, 0, 0);
    p.fillRect(box, Qt::white);
    p.setPen(QPen(red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.adjusted(1, 1, -1, -1));
    p.setPen(red);
    p.drawText(box, Qt::AlignCenter, words);
    p.restore();
}

void CanvasView::DrawPicturePlace(QPainter &p) const
{
    const Object *pic = session.Card().Find(kPictureKey);
    const std::optional<TRect> place = ReadCardOptions(session.Card()).pictureBox;
    if (!place || !pic || pic->IsVisible())
        return;
    const TRect v = viewPixels(session.View(), *place);
    const QRect frame(QPoint(v.left, v.top), QPoint(v.right, v.bottom));
    p.save();
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
    p.setFont(WindowFont());
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawText(frame, Qt::AlignCenter, QStringLiteral("画像"));
    p.restore();
}

void CanvasView::DrawQrTooSmall(QPainter &p) const
{
    const Object *qr = session.Card().Find(kQrKey);
    if (!session.QrTooSmall() || !qr || !qr->IsVisible())
        return;
    TRect r;
    qr->GetRect(r);
    const TRect v = viewPixels(session.View(), r);
    const QRect frame(QPoint(v.left, v.top), QPoint(v.right, v.bottom));
    const QString words = QStringLiteral("QR コードが小さすぎます (読み取れないおそれ)");
    const QColor orange(255, 128, 0);
    p.save();
    p.setPen(QPen(orange, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame.adjusted(-2, -2, 2, 2));
    p.setFont(WindowFont());
    // The words above the symbol, or below it near the canvas's top; kept
    // inside the canvas.
    const QSize text = p.fontMetrics().size(Qt::TextSingleLine, words);
    QRect box(0, 0, text.width() + 8, text.height() + 4);
    int y = frame.top() - 3 - box.height();
    if (y < 0)
        y = frame.bottom() + 4;
    box.moveTo(std::clamp(frame.left(), 0, std::max(0, ViewSize().width() - box.width())),
               std::clamp(y, 0, std::max(0, ViewSize().height() - box.height())));
    p.fillRect(box, Qt::white);
    p.setPen(orange);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.drawText(box, Qt::AlignCenter, words);
    p.restore();
}
