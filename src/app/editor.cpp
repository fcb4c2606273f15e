#include "app/editor.h"
#include "card/cardfile.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/font.h"
#include "card/object.h"
#include "card/stream.h"
#include "qr/qrcode.h"

#include <QPainter>
#include <algorithm>
#include <vector>

int CardEditor::MoveCounter = 0;

CardEditor::CardEditor() : canvas(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32)
{
    canvas.fill(Qt::white);
    screen.SetWidth(kCanvasWidth);
}

CardEditor::~CardEditor()
{
    Selection = nullptr;
    DestroyObjects(card);
}

void CardEditor::BuildDefaultCard()
{
    ::BuildDefaultCard(card);
}

void CardEditor::RefreshCanvas()
{
    QPainter p(&canvas);
    p.fillRect(canvas.rect(), QColor(255, 255, 255));
    RenderCard(card, &p, screen);
    DrawQrOverflow(p);
    DrawSelectionMarks(p);
    p.end();
    if (onCanvasChanged)
        onCanvasChanged();
}

void CardEditor::DrawSelectionMarks(QPainter &p) const
{
    // A hidden object is not on the canvas; marks would stand for nothing.
    if (!Selection || !Selection->IsVisible())
        return;
    TRect r;
    Selection->GetRect(r);
    // Marks far outside the canvas are not seen; bounding keeps the corner
    // arithmetic below in range for any stored rectangle.
    auto dev = [this](int v) { return std::clamp(screen.ToDevice(v), -10000, 10000); };
    const int L = dev(r.left), T = dev(r.top), R = dev(r.right), B = dev(r.bottom);
    const QColor blue(0, 0, 255);
    // Each square reaches 3 pixels from its corner toward the inside; the far
    // edges are exclusive as the toolkit fills rectangles.
    auto fill = [&](int x1, int y1, int x2, int y2) {
        p.fillRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                         QPoint(std::max(x1, x2) - 1, std::max(y1, y2) - 1)),
                   blue);
    };
    fill(L, T, L + 3, T + 3);
    fill(R, T, R - 3, T + 3);
    fill(L, B, L + 3, B - 3);
    fill(R, B, R - 3, B - 3);
}

CardEditor::Commands CardEditor::CommandsFor(const Object *obj)
{
    Commands c;
    if (!obj)
        return c;
    const std::string cls = obj->GetClassName();
    c.text = cls == "TextObject" || cls == "TextObjectWithHeader";
    if (cls == "GraphicObject")
        c.qrPicture = static_cast<const GraphicObject *>(obj)->Source() == kQrSource;
    return c;
}

void CardEditor::SetSelection(Object *obj)
{
    Selection = obj;
    if (onCommandsChanged)
        onCommandsChanged(CommandsFor(obj));
}

Object *CardEditor::HitTestPixel(int X, int Y) const
{
    return HitTest(card, screen.ToModel(X), screen.ToModel(Y));
}

void CardEditor::DragSelection(int X, int Y, bool final)
{
    ++MoveCounter;
    if (!final && MoveCounter < 5)
        return;
    MoveCounter = 0;
    // 64 bits: a pointer far outside the canvas must not overflow the shift.
    const long long newLeft = static_cast<long long>(screen.ToModel(X)) - DragOffsetX;
    const long long newTop = static_cast<long long>(screen.ToModel(Y)) - DragOffsetY;
    if (!Selection) {
        Dragging = false;
        return;
    }
    TRect r;
    Selection->GetRect(r);
    long long l = r.left, t = r.top, rr = r.right, b = r.bottom;
    const long long dx = newLeft - l, dy = newTop - t;
    l += dx;
    rr += dx;
    t += dy;
    b += dy;
    if (b < 20) {
        t += 20 - b;
        b = 20;
    }
    if (rr < 20) {
        l += 20 - rr;
        rr = 20;
    }
    if (l > 880) {
        rr -= l - 880;
        l = 880;
    }
    if (t > 520) {
        b -= t - 520;
        t = 520;
    }
    Selection->SetRect(TRect{static_cast<std::int32_t>(l), static_cast<std::int32_t>(t),
                             static_cast<std::int32_t>(rr), static_cast<std::int32_t>(b)});
    RefreshCanvas();
    Modified = true;
}

void CardEditor::EditChanged(const std::string &key, const std::string &sjisText)
{
    auto *obj = dynamic_cast<TextObject *>(card.Find(key));
    if (!obj)
        throw CardError("カードに \"" + key + "\" の文字オブジェクトがありません");
    obj->SetText(sjisText);
    Modified = true;
    UpdateQrCode();
    RefreshCanvas();
}

void CardEditor::UpdateQrCode()
{
    const bool before = qrTooLong;
    qrTooLong = ::UpdateQrCode(card, screen) == QrUpdate::TooLong;
    if (qrTooLong && !before && onQrOverflow)
        onQrOverflow();
}

void CardEditor::DrawQrOverflow(QPainter &p) const
{
    const Object *qr = card.Find(kQrKey);
    if (!qrTooLong || !qr || !qr->IsVisible())
        return;
    TRect r;
    qr->GetRect(r);
    const QString words = QStringLiteral("QR コードに入りきりません");
    p.save();
    p.setFont(WindowFont());
    // The words in a box at the symbol's corner, moved inside the canvas
    // when the corner lies near or beyond its edge.
    const QSize text = p.fontMetrics().size(Qt::TextSingleLine, words);
    QRect box(0, 0, text.width() + 12, text.height() + 10);
    const int x = std::clamp(screen.ToDevice(r.left), 0, std::max(0, kCanvasWidth - box.width()));
    const int y = std::clamp(screen.ToDevice(r.top), 0, std::max(0, kCanvasHeight - box.height()));
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

void CardEditor::ToggleQr()
{
    Object *qr = card.Find(kQrKey);
    if (!qr)
        throw CardError("カードに QR コードのオブジェクトがありません");
    qr->SetVisible(!qr->IsVisible());
    UpdateQrCode();
    RefreshCanvas();
    Modified = true;
}

namespace {

std::vector<Object *> drawingOrder(const Objects &card)
{
    ZObjectsCommand z;
    card.ForEach(z);
    std::vector<Object *> d;
    for (const auto &[key, obj] : z.Order())
        d.push_back(obj);
    return d;
}

} // namespace

// The stacking commands mark the card modified only when a number changed:
// renumbering an already numbered stack, or exchanging equal numbers, keeps
// the file as it was.
void CardEditor::BringToFront()
{
    bool changed = false;
    auto set = [&](Object *o, int n) {
        changed |= o->GetOrder() != n;
        o->SetOrder(n);
    };
    int k = 0;
    for (Object *o : drawingOrder(card))
        if (o != Selection)
            set(o, ++k);
    if (Selection)
        set(Selection, k + 1);
    RefreshCanvas();
    Modified |= changed;
}

void CardEditor::SendToBack()
{
    bool changed = false;
    auto set = [&](Object *o, int n) {
        changed |= o->GetOrder() != n;
        o->SetOrder(n);
    };
    if (Selection)
        set(Selection, 1);
    int k = 1;
    for (Object *o : drawingOrder(card))
        if (o != Selection)
            set(o, ++k);
    RefreshCanvas();
    Modified |= changed;
}

bool CardEditor::exchangeWithNeighbour(int step)
{
    const std::vector<Object *> d = drawingOrder(card);
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (d[i] != Selection)
            continue;
        const std::size_t j = i + step;
        if (j >= d.size()) // past the top, or before the bottom (wraps)
            return false;
        Object *n = d[j];
        const int mine = Selection->GetOrder(), theirs = n->GetOrder();
        n->SetOrder(mine);
        Selection->SetOrder(theirs);
        RefreshCanvas();
        Modified |= mine != theirs;
        return true;
    }
    // Not in the drawing order (hidden, or nothing selected): only a repaint.
    RefreshCanvas();
    return true;
}

bool CardEditor::BringForward()
{
    return exchangeWithNeighbour(1);
}

bool CardEditor::SendBackward()
{
    return exchangeWithNeighbour(-1);
}

QByteArray CardEditor::SaveBytes() const
{
    MemoryStream s;
    SaveCard(&s, card);
    return s.Data();
}

CardEditor::LoadResult CardEditor::LoadBytes(const QByteArray &bytes, int *repaired)
{
    // A file too short to hold the magic is no card data file either.
    if (!bytes.startsWith(QByteArray("\x05PK100", 6)))
        return LoadResult::NotACard;
    MemoryStream s(bytes);
    Objects read;
    if (!LoadCard(&s, read))
        return LoadResult::NotACard;
    const int n = RepairCard(read);
    if (repaired)
        *repaired = n;
    Selection = nullptr;
    DestroyObjects(card);
    card = std::move(read);
    return LoadResult::Loaded;
}
