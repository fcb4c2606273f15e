#include "editor/session.h"
#include "card/cardfile.h"
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

// --- The canvas --------------------------------------------------------------

void EditSession::RefreshCanvas()
{
    QPainter p(&canvas);
    p.fillRect(canvas.rect(), QColor(255, 255, 255));
    const DrawingOrder order = MakeDrawingOrder(card);
    MeasureCard(order, &canvas, screen);
    RenderCard(order, &p, screen);
    DrawQrOverflow(p);
    DrawSelectionMarks(p);
    p.end();
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

void EditSession::UpdateQrCode()
{
    const bool before = qrTooLong;
    qrTooLong = ::UpdateQrCode(card, screen) == QrUpdate::TooLong;
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
    return HitTest(card, screen.ToModel(X), screen.ToModel(Y));
}

void EditSession::BeginDrag(int X, int Y)
{
    if (!selection)
        return;
    TRect r;
    selection->GetRect(r);
    dragOffsetX = screen.ToModel(X) - r.left;
    dragOffsetY = screen.ToModel(Y) - r.top;
    dragging = true;
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

void EditSession::DragSelection(int X, int Y, bool final)
{
    ++MoveCounter;
    if (!final && MoveCounter < 5)
        return;
    MoveCounter = 0;
    if (!selection) {
        dragging = false;
        return;
    }
    // 64 bits: a pointer far outside the canvas must not overflow the shift.
    moveSelectionTo(static_cast<long long>(screen.ToModel(X)) - dragOffsetX,
                    static_cast<long long>(screen.ToModel(Y)) - dragOffsetY);
    RefreshCanvas();
    SetModified(true);
}

void EditSession::EndDrag()
{
    dragging = false;
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
    record(QStringLiteral("移動"), std::move(before));
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
void EditSession::BringToFront()
{
    std::unique_ptr<State> before = snapshot();
    bool changed = false;
    auto set = [&](Object *o, int n) {
        changed |= o->GetOrder() != n;
        o->SetOrder(n);
    };
    int k = 0;
    for (Object *o : MakeDrawingOrder(card).List())
        if (o != selection)
            set(o, ++k);
    if (selection)
        set(selection, k + 1);
    RefreshCanvas();
    if (changed) {
        SetModified(true);
        record(QStringLiteral("最前面へ"), std::move(before));
    }
}

void EditSession::SendToBack()
{
    std::unique_ptr<State> before = snapshot();
    bool changed = false;
    auto set = [&](Object *o, int n) {
        changed |= o->GetOrder() != n;
        o->SetOrder(n);
    };
    if (selection)
        set(selection, 1);
    int k = 1;
    for (Object *o : MakeDrawingOrder(card).List())
        if (o != selection)
            set(o, ++k);
    RefreshCanvas();
    if (changed) {
        SetModified(true);
        record(QStringLiteral("最背面へ"), std::move(before));
    }
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
    resetHistory();
    card = std::move(read);
    return LoadResult::Loaded;
}
