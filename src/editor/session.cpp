#include "editor/session.h"
#include "card/cardfile.h"
#include "card/cardoptions.h"
#include "card/errors.h"
#include "card/object.h"
#include "card/picture.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "qr/qrcode.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QUndoCommand>
#include <algorithm>
#include <cmath>
#include <utility>

int EditSession::MoveCounter = 0;

namespace {

// The maximum length of the window's edits, in UTF-16 units.
constexpr qsizetype kEditMaxLength = 32767;

// Steps of one kind that merge with the step before when they change the
// same thing.
constexpr int kTypingStep = 1;
constexpr int kNudgeStep = 2;

constexpr int kUndoLimit = 200;

std::size_t fieldIndex(const std::string &key)
{
    for (std::size_t i = 0; i < kFields.size(); ++i)
        if (key == kFields[i].key)
            return i;
    throw CardError("\"" + key + "\" は入力欄の名前ではありません");
}

std::size_t pictureIndex(const std::string &key)
{
    if (key == kPictureKey)
        return 0;
    if (key == kBackPictureKey)
        return 1;
    throw CardError("\"" + key + "\" は画像ボタンの名前ではありません");
}

TextObject &textObject(const Objects &card, const std::string &key)
{
    auto *obj = dynamic_cast<TextObject *>(card.Find(key));
    if (!obj)
        throw CardError("カードに \"" + key + "\" の文字オブジェクトがありません");
    return *obj;
}

GraphicObject &graphicObject(const Objects &card, const std::string &key)
{
    auto *obj = dynamic_cast<GraphicObject *>(card.Find(key));
    if (!obj)
        throw CardError("カードに \"" + key + "\" の画像オブジェクトがありません");
    return *obj;
}

// A picture larger than the card (910 x 550 model units) in either
// direction is scaled down, its aspect kept, to fit inside the card at its
// left and top, moved in where it would pass the right or bottom edge. One
// that fits keeps the size its pixels give.
void fitOnCard(GraphicObject &obj)
{
    constexpr long long cardWidth = 910, cardHeight = 550;
    TRect r;
    obj.GetRect(r);
    const long long w = static_cast<long long>(r.right) - r.left;
    const long long h = static_cast<long long>(r.bottom) - r.top;
    if (w <= cardWidth && h <= cardHeight)
        return;
    long long fw = cardWidth, fh = cardHeight;
    if (w * cardHeight >= h * cardWidth)
        fh = std::max(1ll, (h * cardWidth + w / 2) / w);
    else
        fw = std::max(1ll, (w * cardHeight + h / 2) / h);
    const long long left = std::min<long long>(r.left, cardWidth - fw);
    const long long top = std::min<long long>(r.top, cardHeight - fh);
    obj.SetRect({static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                 static_cast<std::int32_t>(left + fw), static_cast<std::int32_t>(top + fh)});
}

QString pictureWord(const std::string &key)
{
    return key == kBackPictureKey ? QStringLiteral("背景") : QStringLiteral("画像");
}

} // namespace

// What a step keeps of the session: copies of every object (pictures
// shared) and what the edits and name boxes show.
struct EditSession::State
{
    std::vector<std::pair<std::string, std::unique_ptr<Object>>> objects;
    std::array<QString, kFields.size()> fields;
    std::array<QString, 2> pictureNames;
    bool qrTooLong = false;

    const Object *Find(const std::string &key) const
    {
        for (const auto &[k, obj] : objects)
            if (k == key)
                return obj.get();
        return nullptr;
    }
};

// One step on the undo stack: the state before and after. Pushing it does
// nothing, since the change was made before it was recorded.
class EditSession::Step : public QUndoCommand
{
public:
    Step(EditSession &session, const QString &text, std::shared_ptr<const State> before,
         std::shared_ptr<const State> after, int mergeId, std::string mergeKey)
        : QUndoCommand(text), session(session), before(std::move(before)), after(std::move(after)),
          mergeId(mergeId), mergeKey(std::move(mergeKey))
    {}

    int id() const override { return mergeId; }
    void undo() override { session.restore(*before); }
    void redo() override
    {
        if (pushed)
            session.restore(*after);
        pushed = true;
    }
    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *o = dynamic_cast<const Step *>(other);
        if (!o || o->mergeId != mergeId || o->mergeKey != mergeKey)
            return false;
        after = o->after;
        return true;
    }

private:
    EditSession &session;
    std::shared_ptr<const State> before;
    std::shared_ptr<const State> after;
    int mergeId;
    std::string mergeKey;
    bool pushed = false;
};

EditSession::EditSession(QObject *parent)
    : QObject(parent), canvas(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32)
{
    canvas.fill(Qt::white);
    BuildDefaultCard(card);
    // A step keeps copies of the objects and the pictures they had; the
    // oldest steps go so that a long session's history stays small.
    stack.setUndoLimit(kUndoLimit);
    // Taking steps back or again makes the card modified exactly when it
    // differs from the state last saved, opened or made new.
    connect(&stack, &QUndoStack::indexChanged, this, [this] { SetModified(!stack.isClean()); });
}

EditSession::~EditSession()
{
    // The steps refer to the session; they go before the card does.
    stack.disconnect(this);
    stack.clear();
}

std::string EditSession::EditText(const QString &text)
{
    return sjis::fromUnicode(text.left(kEditMaxLength));
}

QString EditSession::LostCharacters(const QString &text)
{
    return sjis::unencodableList(text.left(kEditMaxLength));
}

qsizetype EditSession::KeptCharacters(const QString &text)
{
    const std::string bytes = EditText(text);
    if (bytes.size() <= kShortStringMax)
        return -1;
    // Code page 932 has no character beyond the basic plane and writes '?'
    // for one it lacks: each kept character is one code point of `text`.
    return sjis::toUnicode(sjis::truncate(bytes, kShortStringMax)).size();
}

QString EditSession::CutWarning(const QString &text)
{
    const qsizetype kept = KeptCharacters(text);
    if (kept < 0)
        return {};
    return QStringLiteral("長すぎるため、保存されるのは先頭の %1 文字 (%2 バイト) までです")
        .arg(kept)
        .arg(kShortStringMax);
}

QString EditSession::FieldText(const std::string &key) const
{
    return fields[fieldIndex(key)];
}

QString EditSession::PictureName(const std::string &key) const
{
    return pictureNames[pictureIndex(key)];
}

void EditSession::SetModified(bool m)
{
    if (modified == m)
        return;
    modified = m;
    emit modifiedChanged(m);
}

// --- Steps and their states ------------------------------------------------

std::unique_ptr<EditSession::State> EditSession::snapshot() const
{
    auto s = std::make_unique<State>();
    for (const auto &[key, obj] : card)
        if (obj)
            s->objects.emplace_back(key, obj->Clone());
    s->fields = fields;
    s->pictureNames = pictureNames;
    s->qrTooLong = qrTooLong;
    return s;
}

void EditSession::restore(const State &state)
{
    // In place, so the selection and the faces' references stay valid. A
    // record the step added (the card's options) goes, one it removed comes
    // back; opening a card, which replaces them all, clears the stack.
    std::vector<std::string> added;
    for (const auto &[key, obj] : card)
        if (obj && !state.Find(key))
            added.push_back(key);
    for (const std::string &key : added)
        card.Erase(key);
    for (const auto &[key, obj] : state.objects) {
        if (Object *target = card.Find(key))
            target->Restore(*obj);
        else
            card[key] = obj->Clone();
    }
    fields = state.fields;
    pictureNames = state.pictureNames;
    qrTooLong = state.qrTooLong;
    const double module = QrModuleMillimetres(card);
    qrTooSmall = module > 0 && module < kQrSmallestModuleMm;
    emit fieldsChanged();
    emit commandsChanged(CommandsFor(selection));
    RefreshCanvas();
}

void EditSession::record(const QString &text, std::unique_ptr<State> before, int mergeId,
                         const std::string &mergeKey)
{
    stack.push(new Step(*this, text, std::move(before), snapshot(), mergeId, mergeKey));
}

void EditSession::resetHistory()
{
    stack.clear();
    dragBefore.reset();
}

std::string EditSession::keyOf(const Object *obj) const
{
    for (const auto &[key, o] : card)
        if (o.get() == obj)
            return key;
    return {};
}

// --- Fields and pictures -------------------------------------------------------

void EditSession::applyText(std::size_t field, const QString &text)
{
    fields[field] = text.left(kEditMaxLength);
    textObject(card, kFields[field].key).SetText(EditText(fields[field]));
    SetModified(true);
}

void EditSession::EditChanged(const std::string &key, const QString &text)
{
    const std::size_t i = fieldIndex(key);
    textObject(card, key); // throws before anything changes
    std::unique_ptr<State> before = snapshot();
    applyText(i, text);
    UpdateQrCode();
    RefreshCanvas();
    record(QStringLiteral("「%1」の入力").arg(QString::fromUtf8(kFields[i].caption)),
           std::move(before), kTypingStep, key);
}

void EditSession::ChoosePicture(const std::string &key, std::unique_ptr<Picture> picture,
                                const QString &path)
{
    GraphicObject &obj = graphicObject(card, key);
    const std::size_t i = pictureIndex(key);
    std::unique_ptr<State> before = snapshot();
    obj.SetPicture(std::move(picture), screen, sjis::fromUnicode(QDir::toNativeSeparators(path)));
    fitOnCard(obj);
    pictureNames[i] = QFileInfo(path).fileName();
    obj.SetVisible(true);
    SetModified(true);
    RefreshCanvas();
    emit fieldsChanged();
    record(pictureWord(key) + QStringLiteral("の選択"), std::move(before));
}

void EditSession::RemovePicture(const std::string &key)
{
    GraphicObject &obj = graphicObject(card, key);
    const std::size_t i = pictureIndex(key);
    std::unique_ptr<State> before = snapshot();
    obj.SetVisible(false);
    pictureNames[i].clear();
    SetModified(true);
    RefreshCanvas();
    emit fieldsChanged();
    record(pictureWord(key) + QStringLiteral("の削除"), std::move(before));
}

void EditSession::ClearCard()
{
    for (const FieldInfo &f : kFields)
        textObject(card, f.key).SetText(std::string());
    // Each field that held text stores the empty text back, as its edit's
    // change signal does; the QR symbol and the canvas follow once below,
    // which ends in the same card as rebuilding them after every field.
    for (std::size_t i = 0; i < kFields.size(); ++i)
        if (!fields[i].isEmpty())
            applyText(i, QString());
    pictureNames = {};
    for (const char *key : {kBackPictureKey, kPictureKey})
        if (Object *obj = card.Find(key))
            obj->SetVisible(false);
    SetSelection(nullptr);
    UpdateQrCode();
    RefreshCanvas();
    resetHistory();
    SetModified(false);
    emit fieldsChanged();
}

void EditSession::FillFieldsFromCard()
{
    // An edit raises its change signal only when its text changes; then it
    // stores its text back (through Shift-JIS and its maximum length).
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const QString text =
            sjis::toUnicode(textObject(card, kFields[i].key).GetText()).left(kEditMaxLength);
        if (text != fields[i])
            applyText(i, text);
    }
    auto nameOf = [this](const char *key) {
        auto *obj = dynamic_cast<GraphicObject *>(card.Find(key));
        return obj ? sjis::toUnicode(sjis::fileNamePart(obj->Source())) : QString();
    };
    pictureNames = {nameOf(kPictureKey), nameOf(kBackPictureKey)};
    UpdateQrCode();
    RefreshCanvas();
    resetHistory();
    SetModified(false);
    emit fieldsChanged();
}

void EditSession::SetTextsForPrinting(
    const std::vector<std::pair<std::string, std::string>> &sjisTexts)
{
    for (const auto &[key, text] : sjisTexts)
        textObject(card, key).SetText(text);
    UpdateQrCode();
}

namespace {

using Handle = EditSession::Handle;

// The least width and height an object is sized to: 2 mm.
constexpr long long kMinSize = 20;
// The largest the position dialog sizes an object to: 10 m.
constexpr long long kMaxSize = 100000;
// Where a move stops so that part of the object stays on the card; a resize
// stops its moving edges at the same places.
constexpr long long kMinRight = 20;
constexpr long long kMinBottom = 20;
constexpr long long kMaxLeft = 880;
constexpr long long kMaxTop = 520;

// The pixels of a handle's square on the canvas, for the selection's device
// edges L, T, R, B: a corner's is the corner mark, each reaching 3 pixels
// inward.
QRect handleBox(Handle h, int L, int T, int R, int B)
{
    const int mx = L + (R - L) / 2, my = T + (B - T) / 2;
    auto box = [](int x1, int y1, int x2, int y2) {
        return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                     QPoint(std::max(x1, x2) - 1, std::max(y1, y2) - 1));
    };
    switch (h) {
    case Handle::TopLeft:
        return box(L, T, L + 3, T + 3);
    case Handle::TopRight:
        return box(R, T, R - 3, T + 3);
    case Handle::BottomLeft:
        return box(L, B, L + 3, B - 3);
    case Handle::BottomRight:
        return box(R, B, R - 3, B - 3);
    case Handle::Top:
        return box(mx - 1, T, mx + 2, T + 3);
    case Handle::Bottom:
        return box(mx - 1, B, mx + 2, B - 3);
    case Handle::Left:
        return box(L, my - 1, L + 3, my + 2);
    case Handle::Right:
        return box(R, my - 1, R - 3, my + 2);
    case Handle::None:
        break;
    }
    return {};
}

// Which edges a handle moves: -1 the left or top, 1 the right or bottom, 0
// neither on that axis.
std::pair<int, int> edgesOf(Handle h)
{
    switch (h) {
    case Handle::TopLeft:
        return {-1, -1};
    case Handle::Top:
        return {0, -1};
    case Handle::TopRight:
        return {1, -1};
    case Handle::Right:
        return {1, 0};
    case Handle::BottomRight:
        return {1, 1};
    case Handle::Bottom:
        return {0, 1};
    case Handle::BottomLeft:
        return {-1, 1};
    case Handle::Left:
        return {-1, 0};
    case Handle::None:
        break;
    }
    return {0, 0};
}

enum class Shape
{
    Free,   // each moved edge follows the pointer
    Aspect, // width and height keep their ratio
    Square  // width equals height
};

// The least size along one axis: the minimum, and for the edge that moves
// (dir -1 the low one, 1 the high one) the place where a move would stop.
long long leastSize(int dir, long long lo, long long hi, long long maxLo, long long minHi)
{
    if (dir > 0)
        return std::max(kMinSize, minHi - lo);
    if (dir < 0)
        return std::max(kMinSize, hi - maxLo);
    return kMinSize;
}

// Keeps an axis that no handle moves partly on the card, as a move does.
void shiftOntoCard(long long &lo, long long &hi, long long maxLo, long long minHi)
{
    if (hi < minHi) {
        lo += minHi - hi;
        hi = minHi;
    }
    if (lo > maxLo) {
        hi -= lo - maxLo;
        lo = maxLo;
    }
}

// `from` with the handle's edges (dx, dy as edgesOf gives) moved toward the
// point (hx, hy), in model units. The opposite edges stay; an axis no
// handle moves keeps its low edge, or for a square its middle.
TRect resizedRect(const TRect &from, int dx, int dy, long long hx, long long hy, Shape shape)
{
    long long l = from.left, t = from.top, r = from.right, b = from.bottom;
    const long long w0 = r - l, h0 = b - t;
    const long long wantW = dx > 0 ? hx - l : dx < 0 ? r - hx : w0;
    const long long wantH = dy > 0 ? hy - t : dy < 0 ? b - hy : h0;
    const long long minW = leastSize(dx, l, r, kMaxLeft, kMinRight);
    const long long minH = leastSize(dy, t, b, kMaxTop, kMinBottom);
    if (shape == Shape::Aspect && (w0 <= 0 || h0 <= 0))
        shape = Shape::Free;
    long long w = 0, h = 0;
    switch (shape) {
    case Shape::Square: {
        const long long want = dx && dy ? std::max(wantW, wantH) : dx ? wantW : wantH;
        w = h = std::max({want, minW, minH});
        break;
    }
    case Shape::Aspect: {
        // The axis the pointer pulls further sets the scale.
        const double k = std::max({static_cast<double>(wantW) / w0, static_cast<double>(wantH) / h0,
                                   static_cast<double>(minW) / w0, static_cast<double>(minH) / h0});
        auto scaled = [k](long long v) {
            return std::llround(std::min(v * k, static_cast<double>(INT32_MAX)));
        };
        w = std::max(minW, scaled(w0));
        h = std::max(minH, scaled(h0));
        break;
    }
    case Shape::Free:
        w = std::max(wantW, minW);
        h = std::max(wantH, minH);
        break;
    }
    auto place = [shape](int dir, long long &lo, long long &hi, long long size, long long was,
                         long long maxLo, long long minHi) {
        if (dir > 0) {
            hi = lo + size;
        } else if (dir < 0) {
            lo = hi - size;
        } else {
            if (shape == Shape::Square)
                lo += (was - size) / 2;
            hi = lo + size;
            shiftOntoCard(lo, hi, maxLo, minHi);
        }
    };
    place(dx, l, r, w, w0, kMaxLeft, kMinRight);
    place(dy, t, b, h, h0, kMaxTop, kMinBottom);
    return TRect{Converter::Saturate(l), Converter::Saturate(t), Converter::Saturate(r),
                 Converter::Saturate(b)};
}

} // namespace

// --- The canvas --------------------------------------------------------------

QSize EditSession::ViewSize() const
{
    return {std::max(1, qRound(kCanvasWidth * zoom)), std::max(1, qRound(kCanvasHeight * zoom))};
}

void EditSession::SetView(double zoomValue, double ratio)
{
    // NaN and out-of-range values from a screen or a caller fall back to the
    // nearest sensible view rather than an empty or enormous canvas.
    zoomValue = zoomValue >= 0.25 ? std::min(zoomValue, 8.0) : (zoomValue < 0.25 ? 0.25 : 1.0);
    ratio = ratio >= 1.0 ? std::min(ratio, 4.0) : 1.0;
    if (zoomValue == zoom && ratio == pixelRatio)
        return;
    zoom = zoomValue;
    pixelRatio = ratio;
    const QSize size = ViewSize();
    view.SetWidth(size.width());
    const int width = std::max(1, qRound(kCanvasWidth * zoom * pixelRatio));
    const int height = std::max(1, qRound(kCanvasHeight * zoom * pixelRatio));
    device.SetWidth(width);
    canvas = QImage(width, height, QImage::Format_RGB32);
    RefreshCanvas();
}

void EditSession::RefreshCanvas()
{
    // Painted in device pixels; the ratio is set again for the widget.
    canvas.setDevicePixelRatio(1.0);
    QPainter p(&canvas);
    p.fillRect(canvas.rect(), QColor(255, 255, 255));
    const DrawingOrder order = MakeDrawingOrder(card);
    // The rectangles the file keeps are those of the 645-pixel canvas: a
    // zoomed canvas measures on one of that size and only draws on its own.
    if (canvas.size() == QSize(kCanvasWidth, kCanvasHeight)) {
        MeasureCard(order, &canvas, screen);
    } else {
        if (measureCanvas.isNull())
            measureCanvas = QImage(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
        MeasureCard(order, &measureCanvas, screen);
    }
    RenderCard(order, &p, device);
    printCheckLines = printCheck.Run(order);
    DrawPrintCheck(p);
    // The notices and marks keep their size on the screen.
    if (pixelRatio != 1.0)
        p.scale(pixelRatio, pixelRatio);
    DrawQrOverflow(p);
    DrawQrTooSmall(p);
    DrawSelectionMarks(p);
    p.end();
    canvas.setDevicePixelRatio(pixelRatio);
    emit canvasChanged();
}

void EditSession::DrawSelectionMarks(QPainter &p) const
{
    // A hidden object is not on the canvas; marks would stand for nothing.
    if (!selection || !selection->IsVisible())
        return;
    TRect r;
    selection->GetRect(r);
    // Marks far outside the canvas are not seen; bounding keeps the corner
    // arithmetic below in range for any stored rectangle.
    auto dev = [this](int v) { return std::clamp(view.ToDevice(v), -10000, 10000); };
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
    // A sizable object also has handles at the middles of its edges.
    if (Sizable(selection))
        for (Handle h : {Handle::Top, Handle::Right, Handle::Bottom, Handle::Left})
            p.fillRect(handleBox(h, L, T, R, B), blue);
}

void EditSession::DrawPrintCheck(QPainter &p) const
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

void EditSession::DrawQrOverflow(QPainter &p) const
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

void EditSession::DrawQrTooSmall(QPainter &p) const
{
    const Object *qr = card.Find(kQrKey);
    if (!qrTooSmall || !qr || !qr->IsVisible())
        return;
    TRect r;
    qr->GetRect(r);
    auto dev = [this](int v) { return std::clamp(view.ToDevice(v), -10000, 10000); };
    const QRect frame(QPoint(dev(r.left), dev(r.top)), QPoint(dev(r.right), dev(r.bottom)));
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

QrFormat EditSession::QrFormatOfCard() const
{
    return ReadCardOptions(card).qrFormat;
}

void EditSession::UpdateQrCode()
{
    const bool before = qrTooLong;
    qrTooLong = ::UpdateQrCode(card, screen) == QrUpdate::TooLong;
    const double module = QrModuleMillimetres(card);
    qrTooSmall = module > 0 && module < kQrSmallestModuleMm;
    if (qrTooLong && !before)
        emit qrOverflow();
}

// --- Selection and dragging --------------------------------------------------

EditSession::Commands EditSession::CommandsFor(const Object *obj)
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

void EditSession::SetSelection(Object *obj)
{
    selection = obj;
    emit commandsChanged(CommandsFor(obj));
}

Object *EditSession::HitTestPixel(int X, int Y) const
{
    return HitTest(card, view.ToModel(X), view.ToModel(Y));
}

void EditSession::BeginDrag(int X, int Y)
{
    if (!selection)
        return;
    TRect r;
    selection->GetRect(r);
    dragOffsetX = view.ToModel(X) - r.left;
    dragOffsetY = view.ToModel(Y) - r.top;
    dragging = true;
    resizeHandle = Handle::None;
    dragBefore = snapshot();
}

void EditSession::moveSelectionTo(long long newLeft, long long newTop)
{
    TRect r;
    selection->GetRect(r);
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
    selection->SetRect(TRect{static_cast<std::int32_t>(l), static_cast<std::int32_t>(t),
                             static_cast<std::int32_t>(rr), static_cast<std::int32_t>(b)});
}

void EditSession::DragSelection(int X, int Y, bool final, bool freeAspect)
{
    ++MoveCounter;
    if (!final && MoveCounter < 5)
        return;
    MoveCounter = 0;
    if (!selection) {
        dragging = false;
        return;
    }
    if (resizeHandle != Handle::None) {
        if (resizeSelectionTo(X, Y, freeAspect)) {
            RefreshCanvas();
            SetModified(true);
        }
        return;
    }
    // 64 bits: a pointer far outside the canvas must not overflow the shift.
    moveSelectionTo(static_cast<long long>(view.ToModel(X)) - dragOffsetX,
                    static_cast<long long>(view.ToModel(Y)) - dragOffsetY);
    RefreshCanvas();
    SetModified(true);
}

void EditSession::EndDrag()
{
    dragging = false;
    const bool resized = std::exchange(resizeHandle, Handle::None) != Handle::None;
    std::unique_ptr<State> before = std::move(dragBefore);
    if (!before || !selection)
        return;
    const Object *was = before->Find(keyOf(selection));
    TRect from, to;
    if (was)
        was->GetRect(from);
    selection->GetRect(to);
    if (was && from == to)
        return;
    if (!resized) {
        record(QStringLiteral("移動"), std::move(before));
        return;
    }
    if (selection == card.Find(kQrKey)) {
        keepQrSize();
        RefreshCanvas();
    }
    record(QStringLiteral("サイズの変更"), std::move(before));
}

void EditSession::Nudge(int dx, int dy)
{
    if (!selection || !selection->IsVisible() || dragging)
        return;
    TRect r;
    selection->GetRect(r);
    std::unique_ptr<State> before = snapshot();
    moveSelectionTo(static_cast<long long>(r.left) + dx, static_cast<long long>(r.top) + dy);
    TRect moved;
    selection->GetRect(moved);
    if (moved == r)
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("移動"), std::move(before), kNudgeStep, keyOf(selection));
}

// --- Sizing -------------------------------------------------------------------

bool EditSession::Sizable(const Object *obj)
{
    return obj && obj->GetClassName() == "GraphicObject";
}

EditSession::Handle EditSession::HandleAt(int X, int Y) const
{
    if (!selection || !selection->IsVisible() || !Sizable(selection))
        return Handle::None;
    TRect r;
    selection->GetRect(r);
    auto dev = [this](int v) { return std::clamp(view.ToDevice(v), -10000, 10000); };
    const int L = dev(r.left), T = dev(r.top), R = dev(r.right), B = dev(r.bottom);
    // Two pixels around each 3-pixel square: easy to catch, and a 2 mm
    // object still keeps a middle that moves it.
    for (Handle h : {Handle::TopLeft, Handle::TopRight, Handle::BottomRight, Handle::BottomLeft,
                     Handle::Top, Handle::Right, Handle::Bottom, Handle::Left})
        if (handleBox(h, L, T, R, B).adjusted(-2, -2, 2, 2).contains(X, Y))
            return h;
    return Handle::None;
}

void EditSession::BeginResize(Handle handle, int X, int Y)
{
    if (!selection || !Sizable(selection) || handle == Handle::None)
        return;
    selection->GetRect(resizeFrom);
    // The pointer keeps its distance from the edges it grabbed, so the
    // object does not jump at the first step.
    const auto [dx, dy] = edgesOf(handle);
    dragOffsetX = view.ToModel(X) - (dx > 0 ? resizeFrom.right : resizeFrom.left);
    dragOffsetY = view.ToModel(Y) - (dy > 0 ? resizeFrom.bottom : resizeFrom.top);
    dragging = true;
    resizeHandle = handle;
    dragBefore = snapshot();
}

bool EditSession::resizeSelectionTo(int X, int Y, bool freeAspect)
{
    const auto [dx, dy] = edgesOf(resizeHandle);
    Shape shape = Shape::Free;
    if (selection == card.Find(kQrKey))
        shape = Shape::Square;
    else if (dx && dy && !freeAspect)
        shape = Shape::Aspect;
    const TRect to =
        resizedRect(resizeFrom, dx, dy, static_cast<long long>(view.ToModel(X)) - dragOffsetX,
                    static_cast<long long>(view.ToModel(Y)) - dragOffsetY, shape);
    TRect now;
    selection->GetRect(now);
    if (to == now)
        return false;
    selection->SetRect(to);
    return true;
}

void EditSession::keepQrSize()
{
    CardOptions options = ReadCardOptions(card);
    if (!options.qrSizeKept) {
        options.qrSizeKept = true;
        WriteCardOptions(card, options);
    }
    // The symbol fills the new size; its modules may now be too small.
    UpdateQrCode();
}

void EditSession::PlaceSelection(const TRect &rect)
{
    if (!selection || !selection->IsVisible() || dragging)
        return;
    TRect was;
    selection->GetRect(was);
    std::unique_ptr<State> before = snapshot();
    const bool qr = selection == card.Find(kQrKey);
    if (Sizable(selection)) {
        // Sized first, then moved with a move's clamps. A size beyond any
        // card is cut so that the clamped edges stay in range.
        auto size = [](std::int32_t lo, std::int32_t hi) {
            return std::clamp(static_cast<long long>(hi) - lo, kMinSize, kMaxSize);
        };
        const long long w = size(rect.left, rect.right);
        const long long h = qr ? w : size(rect.top, rect.bottom);
        selection->SetRect(TRect{was.left, was.top, Converter::Saturate(was.left + w),
                                 Converter::Saturate(was.top + h)});
    }
    moveSelectionTo(rect.left, rect.top);
    TRect now;
    selection->GetRect(now);
    if (now == was)
        return;
    auto extent = [](std::int32_t lo, std::int32_t hi) { return static_cast<long long>(hi) - lo; };
    const bool sized = extent(now.left, now.right) != extent(was.left, was.right) ||
                       extent(now.top, now.bottom) != extent(was.top, was.bottom);
    if (qr && sized)
        keepQrSize();
    SetModified(true);
    RefreshCanvas();
    record(sized ? QStringLiteral("位置とサイズの変更") : QStringLiteral("移動"),
           std::move(before));
}

// --- Object commands -----------------------------------------------------------

void EditSession::ToggleQr()
{
    Object *qr = card.Find(kQrKey);
    if (!qr)
        throw CardError("カードに QR コードのオブジェクトがありません");
    std::unique_ptr<State> before = snapshot();
    qr->SetVisible(!qr->IsVisible());
    UpdateQrCode();
    RefreshCanvas();
    SetModified(true);
    record(qr->IsVisible() ? QStringLiteral("QR コードの表示") : QStringLiteral("QR コードを隠す"),
           std::move(before));
}

void EditSession::ShowQr(bool show)
{
    const Object *qr = card.Find(kQrKey);
    if (qr && qr->IsVisible() != show)
        ToggleQr();
}

void EditSession::SetQrFormat(QrFormat format)
{
    CardOptions options = ReadCardOptions(card);
    if (options.qrFormat == format)
        return;
    std::unique_ptr<State> before = snapshot();
    options.qrFormat = format;
    WriteCardOptions(card, options);
    UpdateQrCode();
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("QR コードの形式の変更"), std::move(before));
}

void EditSession::SetFont(const Font &font)
{
    auto *obj = dynamic_cast<TextObject *>(selection);
    if (!obj)
        return;
    Font was;
    obj->GetFont(was);
    if (was == font)
        return;
    std::unique_ptr<State> before = snapshot();
    obj->SetFont(font);
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("フォントの変更"), std::move(before));
}

void EditSession::SetVertical(bool vertical)
{
    auto *obj = dynamic_cast<TextObject *>(selection);
    if (!obj)
        return;
    Font font;
    obj->GetFont(font);
    if (font.vertical == vertical)
        return;
    std::unique_ptr<State> before = snapshot();
    font.vertical = vertical;
    obj->SetFont(font);
    SetModified(true);
    RefreshCanvas();
    record(vertical ? QStringLiteral("縦書き") : QStringLiteral("横書き"), std::move(before));
}

bool EditSession::SelectionVertical() const
{
    const auto *obj = dynamic_cast<const TextObject *>(selection);
    if (!obj)
        return false;
    Font font;
    obj->GetFont(font);
    return font.vertical;
}

void EditSession::SetColor(std::int32_t color)
{
    auto *obj = dynamic_cast<TextObject *>(selection);
    if (!obj)
        return;
    const bool changed = color != obj->GetColor();
    std::unique_ptr<State> before = changed ? snapshot() : nullptr;
    obj->SetColor(color);
    RefreshCanvas();
    if (!changed)
        return;
    SetModified(true);
    record(QStringLiteral("色の変更"), std::move(before));
}

// The stacking commands mark the card modified and make a step only when a
// number changed: renumbering an already numbered stack, or exchanging equal
// numbers, keeps the file as it was.
void EditSession::restack(bool toFront, const QString &text)
{
    std::unique_ptr<State> before = snapshot();
    bool changed = false;
    auto set = [&](Object *o, int n) {
        changed |= o->GetOrder() != n;
        o->SetOrder(n);
    };
    // To the back: the selection is 1 and the others follow from 2; to the
    // front: the others from 1 and the selection after them.
    if (!toFront && selection)
        set(selection, 1);
    int k = toFront ? 0 : 1;
    for (Object *o : MakeDrawingOrder(card).List())
        if (o != selection)
            set(o, ++k);
    if (toFront && selection)
        set(selection, k + 1);
    RefreshCanvas();
    if (changed) {
        SetModified(true);
        record(text, std::move(before));
    }
}

void EditSession::BringToFront()
{
    restack(true, QStringLiteral("最前面へ"));
}

void EditSession::SendToBack()
{
    restack(false, QStringLiteral("最背面へ"));
}

bool EditSession::exchangeWithNeighbour(int step)
{
    const std::vector<Object *> d = MakeDrawingOrder(card).List();
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (d[i] != selection)
            continue;
        const std::size_t j = i + step;
        if (j >= d.size()) // past the top, or before the bottom (wraps)
            return false;
        std::unique_ptr<State> before = snapshot();
        Object *n = d[j];
        const int mine = selection->GetOrder(), theirs = n->GetOrder();
        n->SetOrder(mine);
        selection->SetOrder(theirs);
        RefreshCanvas();
        if (mine != theirs) {
            SetModified(true);
            record(step > 0 ? QStringLiteral("ひとつ前面へ") : QStringLiteral("ひとつ背面へ"),
                   std::move(before));
        }
        return true;
    }
    // Not in the drawing order (hidden, or nothing selected): only a repaint.
    RefreshCanvas();
    return true;
}

bool EditSession::BringForward()
{
    return exchangeWithNeighbour(1);
}

bool EditSession::SendBackward()
{
    return exchangeWithNeighbour(-1);
}

// --- The file ------------------------------------------------------------------

QByteArray EditSession::SaveBytes() const
{
    MemoryStream s;
    SaveCard(&s, card);
    return s.Data();
}

void EditSession::Saved()
{
    stack.setClean();
    SetModified(false);
}

EditSession::LoadResult EditSession::LoadBytes(const QByteArray &bytes, int *repaired)
{
    // A file too short to hold the magic is no card data file either.
    if (!bytes.startsWith(QByteArray(1, '\x05') + kCardMagic))
        return LoadResult::NotACard;
    MemoryStream s(bytes);
    Objects read;
    if (!LoadCard(&s, read))
        return LoadResult::NotACard;
    const int n = RepairCard(read);
    if (repaired)
        *repaired = n;
    // The steps and the drag refer to the objects about to go.
    selection = nullptr;
    dragging = false;
    printCheckLines.clear();
    resetHistory();
    card = std::move(read);
    return LoadResult::Loaded;
}
