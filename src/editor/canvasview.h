#pragma once
#include "card/converter.h"
#include "card/printcheck.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <vector>

class EditSession;
class Object;
class QColor;
class QPainter;
class DrawingOrder;
class Object;
class TextObject;

// The editor's screen canvas of a session: white, the card, the print
// check's underlines, the QR overflow and small-symbol notices, the
// selection's marks and handles, the snapping guides. It repaints whenever the session's card as
// drawn changes (canvasChanged) and tells its widget with its own
// canvasChanged. Never printed and never in a card image: what the card
// file keeps is decided by the session alone, whatever the zoom.
//
// The view sets the session's pointer converter (EditSession::View) to its
// zoom, so that pointer positions in the widget's pixels reach the model.
class CanvasView : public QObject
{
    Q_OBJECT
public:
    // Paints `session`, which must outlive the view; at 100 % and ratio 1
    // until SetView. The canvas is white until the session's first refresh.
    explicit CanvasView(EditSession &session, QObject *parent = nullptr);

    // ViewSize() logical pixels times PixelRatio() device pixels, with that
    // device pixel ratio set; at 100 % and ratio 1, 645 x 390. The same
    // object for the view's life, so a widget may keep its address.
    const QImage &Image() const { return canvas; }
    double Zoom() const { return zoom; }
    double PixelRatio() const { return pixelRatio; }
    // The canvas's size in logical pixels: 645 x 390 times the zoom, rounded.
    QSize ViewSize() const;
    // The canvas is drawn `zoomValue` times the 645 x 390 canvas (a factor
    // from 0.25 to 8, clamped) on a screen of `ratio` device pixels per
    // logical pixel (1 to 4, clamped): the card is drawn anew at that many
    // pixels, never enlarged. When either changes, the session's pointer
    // converter follows and the session refreshes (measures and repaints).
    void SetView(double zoomValue, double ratio = 1.0);

    // The text lines that would print past the card's edge or into another
    // line (see PrintCheck), as of the last repaint, bottom first; for
    // telling which objects they are, valid until the card changes.
    const std::vector<const TextObject *> &PrintCheckLines() const { return printCheckLines; }

    // The marks of every visible selected object, logical pixels. The
    // primary selection (Selection()) has solid blue corner squares, and when
    // it is the only one and sizable, the handles at its edges' middles; the
    // others have light blue corner squares. A line is marked at its two
    // ends, which are its handles, instead of at its box's corners.
    void DrawSelectionMarks(QPainter &p) const;
    // While a drag snaps: a 1-device-pixel magenta line across the whole
    // canvas at each guide the session snapped to (device pixels, unscaled
    // painter).
    void DrawGuides(QPainter &p) const;
    // A thin red line under each print-check line (down the right side of a
    // vertical one), as they are drawn on the canvas (device pixels,
    // unscaled painter).
    void DrawPrintCheck(QPainter &p) const;
    // While the shown QR code's text fits no symbol: a red frame with the
    // words 「QR コードに入りきりません」 at the object's place.
    void DrawQrOverflow(QPainter &p) const;
    // While the shown symbol's modules are too small to read well: an orange
    // frame round the object with words saying so.
    void DrawQrTooSmall(QPainter &p) const;
    // The place a template keeps for the picture while none is shown: a
    // dashed grey frame with 「画像」, on the screen only.
    void DrawPicturePlace(QPainter &p) const;

signals:
    // The canvas was painted anew.
    void canvasChanged();

private:
    // Paints the canvas from the session as it is now.
    void repaint();
    // The card onto the white canvas: whole, or during a drag from the
    // layers below.
    void renderCard(QPainter &p, const DrawingOrder &order);

    // While a drag moves or sizes the selection, the objects stacked under
    // the lowest selected one and over the highest do not change: they are
    // drawn once, into `under` (on white) and `over` (on transparent), and a
    // step of the drag draws only the objects from the lowest selected to
    // the highest. Made anew whenever those objects or the canvas's size
    // differ; dropped when the drag ends.
    struct DragLayers
    {
        bool valid = false;
        std::vector<const Object *> below;
        std::vector<const Object *> above;
        QImage under;
        QImage over;
    };
    DragLayers layers;
    // One object's marks in `colour`; `edges`: the edge handles too.
    void drawMarks(QPainter &p, const Object &obj, const QColor &colour, bool edges) const;

    EditSession &session;
    Converter device; // the zoomed canvas's device pixels
    double zoom = 1.0;
    double pixelRatio = 1.0;
    QImage canvas;
    PrintCheck printCheck;
    // The texts as drawn on the canvas, for the underlines; only a cache.
    mutable LineMeasurer drawnLines;
    std::vector<const TextObject *> printCheckLines;
};
