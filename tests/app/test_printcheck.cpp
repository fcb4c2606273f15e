#include "card/object.h"
#include "card/objects.h"
#include "card/printcheck.h"
#include "editor/canvasview.h"
#include "editor/session.h"
#include "print/sheet.h"
#include "realistic_texts.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

// Longer than the card is wide in any face at the address's size.
QString longAddress()
{
    return QStringLiteral("東京都千代田区丸の内一丁目二番三号").repeated(4);
}

bool isMark(QRgb px)
{
    return qRed(px) > 200 && qGreen(px) < 60 && qBlue(px) < 60;
}

// The mark's pixels on the canvas between the line's shown top and a line's
// height below its shown bottom, across its shown width (the canvas's device
// pixels; the text is drawn a little larger than its rectangle when zoomed).
int marksUnder(const EditSession &s, const CanvasView &v, const char *key)
{
    TRect r;
    s.Card().Find(key)->GetRect(r);
    QImage img = v.Image();
    const double scale = v.Zoom() * v.PixelRatio();
    const int x0 = std::max(0, qRound(r.left * scale * 645 / 910));
    const int x1 = std::min(img.width() - 1, qRound(r.right * scale * 645 / 910));
    const int y0 = qRound(r.top * scale * 645 / 910);
    const int y1 = std::min(img.height() - 1, qRound((2 * r.bottom - r.top) * scale * 645 / 910));
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            n += isMark(img.pixel(x, y));
    return n;
}

int marksIn(const QImage &img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += isMark(img.pixel(x, y));
    return n;
}

} // namespace

TEST(PrintCheck, MarksALineRunningPastTheCardsEdgeAtEveryZoom)
{
    struct Case
    {
        double zoom;
        double ratio;
    };
    for (const Case c : {Case{1.0, 1.0}, Case{2.0, 1.0}, Case{1.5, 2.0}}) {
        EditSession s;
        CanvasView v(s);
        v.SetView(c.zoom, c.ratio);
        s.EditChanged("eAddress", QStringLiteral("東京都千代田区丸の内 1-2-3"));
        EXPECT_TRUE(v.PrintCheckLines().empty()) << c.zoom;
        EXPECT_EQ(marksIn(v.Image()), 0) << c.zoom;

        s.EditChanged("eAddress", longAddress());
        ASSERT_EQ(v.PrintCheckLines().size(), 1u) << c.zoom;
        // A thin line (two screen pixels) to the canvas's right edge, over
        // 500 of its 645 (times the zoom) pixels.
        const int marks = marksUnder(s, v, "eAddress");
        EXPECT_GT(marks, 2 * c.ratio * 500 * c.zoom * c.ratio) << c.zoom;
        EXPECT_EQ(marks, marksIn(v.Image())) << c.zoom;

        // Taking the keystroke back takes the mark away.
        s.UndoStack().undo();
        EXPECT_EQ(marksIn(v.Image()), 0) << c.zoom;
    }
}

TEST(PrintCheck, MarksBothOfTwoOverlappingLinesButNoHiddenOne)
{
    // Every field filled in the new card's layout: the lines' cells touch
    // and overlap, their letters do not.
    EditSession s;
    CanvasView v(s);
    for (const auto &[key, text] : kRealisticTexts)
        s.EditChanged(key, QString::fromUtf8(text));
    EXPECT_TRUE(v.PrintCheckLines().empty());
    EXPECT_EQ(marksIn(v.Image()), 0);
    Object *corp = s.Card().Find("eCorp");
    TRect name;
    s.Card().Find("eName")->GetRect(name);
    s.SetSelection(corp);
    s.PlaceSelection({name.left + 30, name.top - 10, 0, 0});
    ASSERT_EQ(v.PrintCheckLines().size(), 2u);
    EXPECT_GT(marksUnder(s, v, "eName"), 0);
    EXPECT_GT(marksUnder(s, v, "eCorp"), 0);

    // An emptied field is no line at all.
    s.EditChanged("eCorp", QString());
    EXPECT_TRUE(v.PrintCheckLines().empty());
    EXPECT_EQ(marksIn(v.Image()), 0);
}

TEST(PrintCheck, NeverPrintedNorSaved)
{
    EditSession s;
    CanvasView v(s);
    s.EditChanged("eName", QStringLiteral("山田 太郎"));
    s.EditChanged("eAddress", longAddress());
    ASSERT_FALSE(v.PrintCheckLines().empty());
    const QByteArray saved = s.SaveBytes();
    const DrawingOrder order = MakeDrawingOrder(s.Card());
    EXPECT_EQ(marksIn(RenderCardImage(order, kCheckCardWidth, kCheckCardHeight)), 0);
    EXPECT_EQ(marksIn(RenderCardImage(order, 343, 207)), 0);
    // What the file keeps is the canvas's own measure, the check aside.
    QImage screen(645, 390, QImage::Format_RGB32);
    MeasureCard(order, &screen, s.Screen());
    EXPECT_EQ(s.SaveBytes(), saved);
}

TEST(PrintCheck, MeasuresAsThePrintersCardImageAt600Dpi)
{
    const SheetLayout layout = ComputeSheetLayout({600, 600, 0, 0}, PrintSpace{});
    EXPECT_EQ(layout.width, kCheckCardWidth);
    EXPECT_EQ(layout.height, kCheckCardHeight);
    EditSession s;
    s.EditChanged("eName", QStringLiteral("山田 太郎"));
    s.EditChanged("eAddress", QStringLiteral("東京都千代田区丸の内 1-2-3 丸の内ビル 12F"));
    const DrawingOrder order = MakeDrawingOrder(s.Card());
    PrintCheck check;
    std::vector<std::pair<Object *, TRect>> predicted;
    for (Object *obj : order.List())
        if (auto *text = dynamic_cast<TextObject *>(obj))
            predicted.emplace_back(obj, check.PrintedRect(*text));
    ASSERT_EQ(predicted.size(), 2u);
    TRect shown;
    predicted[0].first->GetRect(shown);
    ASSERT_NE(shown, predicted[0].second) << "the check below would prove nothing";
    RenderLayoutCardImage(layout, order);
    for (const auto &[obj, rect] : predicted) {
        TRect printed;
        obj->GetRect(printed);
        EXPECT_EQ(printed, rect);
    }
}

TEST(PrintCheck, JudgesAVerticalLineByItsInkDownTheColumn)
{
    EditSession s;
    CanvasView v(s);
    s.EditChanged("eName", QStringLiteral("山田 太郎"));
    s.EditChanged("eAddress", QStringLiteral("東京都千代田区"));
    Object *address = s.Card().Find("eAddress");
    s.SetSelection(address);
    s.SetVertical(true);
    s.PlaceSelection({850, 20, 0, 0});
    EXPECT_TRUE(v.PrintCheckLines().empty());
    EXPECT_EQ(marksIn(v.Image()), 0);
    // The rectangle is the column: the pointer finds it near its foot.
    TRect column;
    address->GetRect(column);
    EXPECT_EQ(
        s.HitTestPixel(s.View().ToDevice(column.left) + 2, s.View().ToDevice(column.bottom) - 3),
        address);

    // Past the card's bottom edge: marked down the column's right side.
    s.EditChanged("eAddress", longAddress());
    ASSERT_EQ(v.PrintCheckLines().size(), 1u);
    TRect r;
    address->GetRect(r);
    EXPECT_GT(r.bottom - r.top, 5 * (r.right - r.left));
    // A strip four pixels wide at the column's right edge holds every mark.
    const QImage canvas = v.Image();
    const QImage beside = canvas.copy(s.Screen().ToDevice(r.right) - 1, 0, 4, canvas.height());
    EXPECT_GT(marksIn(beside), 2 * 300);
    EXPECT_EQ(marksIn(beside), marksIn(canvas));

    // Across another line's letters: both are marked.
    s.EditChanged("eAddress", QStringLiteral("東京都千代田区"));
    TRect name;
    s.Card().Find("eName")->GetRect(name);
    s.PlaceSelection({name.left + 20, name.top - 40, 0, 0});
    EXPECT_EQ(v.PrintCheckLines().size(), 2u);
}
