// The screen canvas of a session: marks for every selected object, the
// snapping guide only while a drag snaps, and nothing of it in the card.
#include "card/shape.h"
#include "editor/canvasview.h"
#include "editor/session.h"

#include <gtest/gtest.h>

namespace {

int countColour(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

} // namespace

TEST(CanvasView, MarksEverySelectedObjectAndShowsTheGuideOnlyWhileSnapped)
{
    EditSession s;
    CanvasView view(s);
    std::vector<Object *> boxes;
    for (const TRect frame : {TRect{100, 100, 200, 150}, TRect{300, 300, 380, 360}}) {
        auto box = std::make_unique<ShapeObject>(ShapeObject::Kind::Rect);
        box->SetFrame(frame);
        box->SetFill(0x00FF00);
        box->SetStroke(std::nullopt);
        boxes.push_back(box.get());
        s.AddObject(std::move(box));
    }
    const QByteArray bytes = s.SaveBytes();
    const QRgb blue = qRgb(0, 0, 255), light = qRgb(128, 160, 255), magenta = qRgb(255, 0, 255);
    s.SetSelectedObjects(boxes);
    s.RefreshCanvas();
    EXPECT_GT(countColour(view.Image(), blue), 0);  // the primary's corners
    EXPECT_GT(countColour(view.Image(), light), 0); // the other's
    EXPECT_EQ(countColour(view.Image(), magenta), 0);

    // Dragged so the group's left edge comes within 1 mm of the middle line.
    const int x = s.View().ToDevice(310), y = s.View().ToDevice(310);
    s.BeginDrag(x, y);
    s.DragSelection(s.View().ToDevice(310 + 352), y, true);
    // A column across the canvas, where no mark lies over it.
    EXPECT_GT(countColour(view.Image(), magenta), view.Image().height() * 9 / 10);
    s.EndDrag();
    EXPECT_EQ(countColour(view.Image(), magenta), 0);
    s.UndoStack().undo();
    view.SetView(2.0);
    EXPECT_EQ(s.SaveBytes(), bytes);
}
