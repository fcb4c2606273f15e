#include "editor/session.h"
#include "card/cardfile.h"
#include "card/cardoptions.h"
#include "card/errors.h"
#include "card/object.h"
#include "card/picture.h"
#include "card/shape.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "editor/history.h"
#include "editor/templates.h"
#include "qr/qrcode.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <cmath>
#include <utility>

int EditSession::MoveCounter = 0;

namespace {

// The maximum length of the window's edits, in UTF-16 units.
constexpr qsizetype kEditMaxLength = 32767;

constexpr int kUndoLimit = 200;

// The largest the position dialog sizes an object to: 10 m.
constexpr long long kMaxSize = 100000;

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

// The object as a line whose ends are its handles; null for other kinds.
ShapeObject *lineOf(Object *obj)
{
    auto *shape = dynamic_cast<ShapeObject *>(obj);
    return shape && shape->GetKind() == ShapeObject::Kind::Line ? shape : nullptr;
}

// `obj`'s picture fitted inside `box` (aspect kept, centred); false, the
// object unchanged, when the box or the picture is empty.
bool fitIntoBox(GraphicObject &obj, const TRect &box)
{
    TRect r;
    obj.GetRect(r);
    const std::optional<TRect> fitted = geometry::FitInto(r, box);
    if (fitted)
        obj.SetRect(*fitted);
    return fitted.has_value();
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
    const auto [fw, fh] = geometry::FitSize(w, h, cardWidth, cardHeight);
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

EditSession::EditSession(QObject *parent) : QObject(parent)
{
    BuildDefaultCard(card);
    cardToken = QUuid::createUuid().toByteArray();
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

std::unique_ptr<EditState> EditSession::snapshot() const
{
    std::unique_ptr<EditState> s = EditState::OfCard(card);
    s->fields = fields;
    s->pictureNames = pictureNames;
    s->qrTooLong = qrTooLong;
    return s;
}

void EditSession::restore(const EditState &state)
{
    // In place, so the selection and the faces' references stay valid.
    state.RestoreInto(card);
    fields = state.fields;
    pictureNames = state.pictureNames;
    qrTooLong = state.qrTooLong;
    const double module = QrModuleMillimetres(card);
    qrTooSmall = module > 0 && module < kQrSmallestModuleMm;
    emit fieldsChanged();
    pruneSelection();
    RefreshCanvas();
}

void EditSession::record(const QString &text, std::unique_ptr<EditState> before, int mergeId,
                         const std::string &mergeKey)
{
    // The stack goes before the session does (see the destructor).
    stack.push(new EditStep(
        text, std::move(before), snapshot(), [this](const EditState &s) { restore(s); }, mergeId,
        mergeKey));
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

QString EditSession::HalfWidthForField(const std::string &key, const QString &text)
{
    const bool number = key == "eTel" || key == "eFax" || key == "eMobile" || key == "ePostNo";
    const bool address = key == "eMail" || key == "eURL";
    if (!number && !address)
        return text;
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) // the full-width forms of ASCII
            c = QChar(static_cast<char16_t>(u - 0xFF01 + 0x21));
        else if (number && (u == 0x30FC || u == 0x2212 || u == 0x2010 || u == 0x2011 ||
                            u == 0x2013 || u == 0x2014 || u == 0x2015 || u == 0xFF70))
            c = u'-'; // the dashes an input method gives for "-" in a number
        else if (number && u == 0x3000)
            c = u' ';
    }
    return out;
}

void EditSession::EditChanged(const std::string &key, const QString &typed)
{
    const std::size_t i = fieldIndex(key);
    const QString text = HalfWidthForField(key, typed);
    changeField(key, text,
                QStringLiteral("「%1」の入力").arg(QString::fromUtf8(kFields[i].caption)),
                kTypingStep);
    if (text != typed)
        emit fieldsChanged(); // the edit shows what the card holds
}

void EditSession::SetFieldText(const std::string &key, const QString &text, const QString &step)
{
    if (FieldText(key) == text.left(kEditMaxLength))
        return;
    changeField(key, text, step, kNeverMerges);
    emit fieldsChanged();
}

void EditSession::changeField(const std::string &key, const QString &text, const QString &step,
                              int mergeId)
{
    const std::size_t i = fieldIndex(key);
    textObject(card, key); // throws before anything changes
    std::unique_ptr<EditState> before = snapshot();
    applyText(i, text);
    UpdateQrCode();
    RefreshCanvas();
    record(step, std::move(before), mergeId, key);
}

void EditSession::ChoosePicture(const std::string &key, std::unique_ptr<Picture> picture,
                                const QString &path)
{
    GraphicObject &obj = graphicObject(card, key);
    const std::size_t i = pictureIndex(key);
    std::unique_ptr<EditState> before = snapshot();
    TRect box;
    obj.GetRect(box);
    obj.SetPicture(std::move(picture), screen, sjis::fromUnicode(QDir::toNativeSeparators(path)));
    // A template's place for the picture takes it, unless the picture shown
    // was moved out of it: then the new one takes the old one's place.
    const std::optional<TRect> place =
        key == kPictureKey ? ReadCardOptions(card).pictureBox : std::nullopt;
    const bool inPlace = place && box.left >= place->left && box.top >= place->top &&
                         box.right <= place->right && box.bottom <= place->bottom;
    if (!place || !fitIntoBox(obj, inPlace || box.right <= box.left ? *place : box))
        fitOnCard(obj);
    pictureNames[i] = QFileInfo(path).fileName();
    obj.SetVisible(true);
    SetModified(true);
    RefreshCanvas();
    emit fieldsChanged();
    record(pictureWord(key) + QStringLiteral("の選択"), std::move(before));
}

std::string EditSession::AddPicture(std::unique_ptr<Picture> picture, const QString &path,
                                    const std::string &key, const TRect &area)
{
    auto obj = std::make_unique<GraphicObject>();
    obj->SetPicture(std::move(picture), screen, sjis::fromUnicode(QDir::toNativeSeparators(path)));
    fitOnCard(*obj);
    TRect r;
    obj->GetRect(r);
    const long long w = static_cast<long long>(r.right) - r.left;
    const long long h = static_cast<long long>(r.bottom) - r.top;
    const long long left = (static_cast<long long>(area.left) + area.right - w) / 2;
    const long long top = (static_cast<long long>(area.top) + area.bottom - h) / 2;
    obj->SetRect(geometry::Translated(r, geometry::ClampMove(r, left - r.left, top - r.top)));
    return AddObject(std::move(obj), key);
}

void EditSession::ApplyTemplate(const Objects &tpl, const QString &title, bool takeSample)
{
    std::unique_ptr<EditState> before = snapshot();
    // The fields' objects are replaced: nothing may point at the old ones.
    SetSelection(nullptr);
    selected.clear();
    ApplyTemplateLayout(card, tpl, takeSample);
    for (std::size_t i = 0; i < kFields.size(); ++i)
        fields[i] = sjis::toUnicode(textObject(card, kFields[i].key).GetText());
    for (const char *key : {kPictureKey, kBackPictureKey}) {
        const GraphicObject &obj = graphicObject(card, key);
        pictureNames[pictureIndex(key)] =
            obj.IsVisible() ? sjis::toUnicode(sjis::fileNamePart(obj.Source())) : QString();
    }
    SetModified(true);
    UpdateQrCode();
    RefreshCanvas();
    emit fieldsChanged();
    selectionChanged();
    record(QStringLiteral("テンプレート「%1」").arg(title), std::move(before));
}

void EditSession::RemovePicture(const std::string &key)
{
    GraphicObject &obj = graphicObject(card, key);
    const std::size_t i = pictureIndex(key);
    std::unique_ptr<EditState> before = snapshot();
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
    // What the user added goes with the rest; a new card is another card.
    SetSelection(nullptr);
    EraseAddedObjects(card);
    cardToken = QUuid::createUuid().toByteArray();
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

void EditSession::RestoreForPrinting(
    const std::vector<std::pair<std::string, const Object *>> &objects)
{
    for (const auto &[key, from] : objects)
        if (Object *obj = card.Find(key))
            obj->Restore(*from);
}

void EditSession::SetPictureForPrinting(const std::string &key, std::unique_ptr<Picture> picture,
                                        const QString &path)
{
    auto *obj = dynamic_cast<GraphicObject *>(card.Find(key));
    if (!obj)
        throw CardError("画像の項目がありません");
    if (!picture) {
        obj->SetVisible(false);
        return;
    }
    TRect box;
    obj->GetRect(box);
    obj->SetPicture(std::move(picture), screen, sjis::fromUnicode(QDir::toNativeSeparators(path)));
    obj->SetVisible(true);
    if (!fitIntoBox(*obj, box))
        fitOnCard(*obj);
}

void EditSession::SetHiddenRecords(const std::string &prefix,
                                   const std::vector<std::pair<std::string, std::string>> &records,
                                   const QString &step)
{
    std::vector<std::pair<std::string, std::string>> present;
    for (const auto &[key, obj] : card)
        if (key.starts_with(prefix))
            if (const auto *t = dynamic_cast<const TextObject *>(obj.get()); t && !t->IsVisible())
                present.emplace_back(key, t->GetText());
    std::vector<std::pair<std::string, std::string>> wanted = records;
    std::sort(present.begin(), present.end());
    std::sort(wanted.begin(), wanted.end());
    if (present == wanted)
        return;
    std::unique_ptr<EditState> before = snapshot();
    for (const auto &[key, text] : present)
        card.Erase(key);
    for (const auto &[key, text] : records) {
        auto fresh = std::make_unique<TextObject>();
        fresh->SetText(text);
        fresh->SetVisible(false);
        card[key] = std::move(fresh);
    }
    SetModified(true);
    record(step, std::move(before));
}

// --- The canvas --------------------------------------------------------------

void EditSession::RefreshCanvas()
{
    // The rectangles the file keeps are those of the 645-pixel canvas,
    // whatever the views show.
    if (measureCanvas.isNull())
        measureCanvas = QImage(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    MeasureCard(MakeDrawingOrder(card), &measureCanvas, screen);
    emit canvasChanged();
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

EditSession::Commands EditSession::CommandsFor(const Object *obj) const
{
    Commands c;
    c.selected = static_cast<int>(selected.size());
    for (const Object *o : selected)
        c.deletable |= Deletable(keyOf(o), *o);
    if (!obj)
        return c;
    const ObjectKind &kind = KindOf(keyOf(obj), *obj);
    c.text = kind.text;
    c.qrPicture = kind.savePicture;
    c.freeText = kind.editText;
    c.shape = kind.fill || kind.stroke;
    return c;
}

void EditSession::selectionChanged()
{
    selection = selected.empty() ? nullptr : selected.back();
    emit commandsChanged(CommandsFor(selection));
}

void EditSession::SetSelection(Object *obj)
{
    selected.clear();
    if (obj)
        selected.push_back(obj);
    selectionChanged();
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
    dragFrom.clear();
    for (const Object *o : selected) {
        o->GetRect(r);
        dragFrom.push_back(r);
    }
    dragging = true;
    resizeHandle = Handle::None;
    dragBefore = snapshot();
}

void EditSession::moveSelectionTo(long long newLeft, long long newTop)
{
    TRect r;
    selection->GetRect(r);
    selection->SetRect(
        geometry::Translated(r, geometry::ClampMove(r, newLeft - r.left, newTop - r.top)));
}

void EditSession::DragSelection(int X, int Y, bool final, bool freeAspect, bool snap)
{
    ++MoveCounter;
    if (!final && MoveCounter < 5)
        return;
    MoveCounter = 0;
    if (!selection) {
        dragging = false;
        return;
    }
    // A resize sizes the primary alone, from resizeFrom; dragFrom is a move's.
    if (resizeHandle != Handle::None) {
        if (resizeSelectionTo(X, Y, freeAspect)) {
            RefreshCanvas();
            SetModified(true);
        }
        return;
    }
    if (dragFrom.size() != selected.size()) {
        dragging = false;
        return;
    }
    // The primary object follows the pointer; the others keep their places
    // around it. 64 bits: a pointer far outside the canvas must not
    // overflow the shift.
    const TRect &lead = dragFrom.back();
    long long dx = static_cast<long long>(view.ToModel(X)) - dragOffsetX - lead.left;
    long long dy = static_cast<long long>(view.ToModel(Y)) - dragOffsetY - lead.top;
    const TRect box = geometry::BoundingRect(dragFrom);
    guideX.reset();
    guideY.reset();
    if (snap) {
        std::vector<TRect> others;
        for (Object *o : MakeDrawingOrder(card).List())
            if (std::find(selected.begin(), selected.end(), o) == selected.end()) {
                TRect r;
                o->GetRect(r);
                others.push_back(r);
            }
        const geometry::Snap s = geometry::SnapMove(geometry::Translated(box, {dx, dy}),
                                                    geometry::CardGuides(others), kSnapTolerance);
        dx += s.offset.dx;
        dy += s.offset.dy;
        guideX = s.x;
        guideY = s.y;
    }
    const geometry::Offset o = geometry::ClampMove(box, dx, dy);
    if (o.dx != dx)
        guideX.reset();
    if (o.dy != dy)
        guideY.reset();
    for (std::size_t i = 0; i < selected.size(); ++i)
        selected[i]->SetRect(geometry::Translated(dragFrom[i], o));
    RefreshCanvas();
    SetModified(true);
}

void EditSession::EndDrag()
{
    // The views drew the drag from layers and with guides: once more whole.
    const bool wasDragging = std::exchange(dragging, false);
    guideX.reset();
    guideY.reset();
    if (wasDragging)
        emit canvasChanged();
    const bool resized = std::exchange(resizeHandle, Handle::None) != Handle::None;
    std::unique_ptr<EditState> before = std::move(dragBefore);
    if (!before || !selection)
        return;
    bool moved = false;
    for (const Object *o : selected) {
        const Object *was = before->Find(keyOf(o));
        TRect from, to;
        if (was)
            was->GetRect(from);
        o->GetRect(to);
        moved |= !was || from != to;
    }
    if (!moved)
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
    moveGroup(dx, dy, kNudgeStep);
}

// --- Sizing -------------------------------------------------------------------

bool EditSession::Sizable(const Object *obj) const
{
    return obj && KindOf(keyOf(obj), *obj).resize;
}

EditSession::Handle EditSession::HandleAt(int X, int Y) const
{
    if (!selection || !selection->IsVisible() || !Sizable(selection) || selected.size() != 1)
        return Handle::None;
    // Bounded: handles far outside the canvas are not seen, and the handle
    // arithmetic stays in range for any stored rectangle.
    auto dev = [this](int v) { return std::clamp(view.ToDevice(v), -10000, 10000); };
    if (const auto *line = lineOf(selection)) {
        // A line's handles are its two ends.
        const TRect f = line->Frame();
        auto near = [&](int x, int y) {
            constexpr int reach = geometry::kHandlePixels / 2 + 2;
            return std::abs(dev(x) - X) <= reach && std::abs(dev(y) - Y) <= reach;
        };
        if (near(f.right, f.bottom))
            return Handle::BottomRight;
        if (near(f.left, f.top))
            return Handle::TopLeft;
        return Handle::None;
    }
    TRect r;
    selection->GetRect(r);
    return geometry::HandleAt({dev(r.left), dev(r.top), dev(r.right), dev(r.bottom)}, X, Y);
}

void EditSession::BeginResize(Handle handle, int X, int Y)
{
    if (!selection || !Sizable(selection) || handle == Handle::None)
        return;
    selection->GetRect(resizeFrom);
    // The pointer keeps its distance from the edges it grabbed, so the
    // object does not jump at the first step.
    const auto [dx, dy] = geometry::HandleEdges(handle);
    if (const auto *line = lineOf(selection)) {
        resizeFrom = line->Frame();
        const bool first = handle == Handle::TopLeft;
        dragOffsetX = view.ToModel(X) - (first ? resizeFrom.left : resizeFrom.right);
        dragOffsetY = view.ToModel(Y) - (first ? resizeFrom.top : resizeFrom.bottom);
    } else {
        dragOffsetX = view.ToModel(X) - (dx > 0 ? resizeFrom.right : resizeFrom.left);
        dragOffsetY = view.ToModel(Y) - (dy > 0 ? resizeFrom.bottom : resizeFrom.top);
    }
    dragging = true;
    resizeHandle = handle;
    dragBefore = snapshot();
}

bool EditSession::resizeSelectionTo(int X, int Y, bool freeAspect)
{
    using geometry::Shape;
    const long long px = static_cast<long long>(view.ToModel(X)) - dragOffsetX;
    const long long py = static_cast<long long>(view.ToModel(Y)) - dragOffsetY;
    if (auto *line = lineOf(selection)) {
        // The grabbed end follows the pointer, kept on the card's
        // neighbourhood; Shift keeps the line level, upright or at 45°.
        const bool first = resizeHandle == Handle::TopLeft;
        const long long ox = first ? resizeFrom.right : resizeFrom.left;
        const long long oy = first ? resizeFrom.bottom : resizeFrom.top;
        long long x = std::clamp(px, -2000LL, 2910LL), y = std::clamp(py, -2000LL, 2550LL);
        if (freeAspect) {
            const long long ax = std::llabs(x - ox), ay = std::llabs(y - oy);
            if (ay * 5 < ax * 2)
                y = oy;
            else if (ax * 5 < ay * 2)
                x = ox;
            else {
                const long long d = std::max(ax, ay);
                x = ox + (x < ox ? -d : d);
                y = oy + (y < oy ? -d : d);
            }
        }
        TRect f = resizeFrom;
        (first ? f.left : f.right) = static_cast<std::int32_t>(x);
        (first ? f.top : f.bottom) = static_cast<std::int32_t>(y);
        if (f == line->Frame())
            return false;
        line->SetFrame(f);
        return true;
    }
    const auto [dx, dy] = geometry::HandleEdges(resizeHandle);
    Shape shape = Shape::Free;
    if (KindOf(keyOf(selection), *selection).square)
        shape = Shape::Square;
    else if (dx && dy && !freeAspect && KindOf(keyOf(selection), *selection).keepAspect)
        shape = Shape::Aspect;
    const TRect to = geometry::Resized(resizeFrom, resizeHandle, px, py, shape);
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
    std::unique_ptr<EditState> before = snapshot();
    const bool qr = selection == card.Find(kQrKey);
    if (Sizable(selection)) {
        // Sized first, then moved with a move's clamps. A size beyond any
        // card is cut so that the clamped edges stay in range.
        auto size = [](std::int32_t lo, std::int32_t hi) {
            return std::clamp(static_cast<long long>(hi) - lo, geometry::kMinSize, kMaxSize);
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
    std::unique_ptr<EditState> before = snapshot();
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
    std::unique_ptr<EditState> before = snapshot();
    options.qrFormat = format;
    WriteCardOptions(card, options);
    UpdateQrCode();
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("QR コードの形式の変更"), std::move(before));
}

std::vector<TextObject *> EditSession::selectedTexts() const
{
    std::vector<TextObject *> texts;
    for (Object *o : selected)
        if (auto *t = dynamic_cast<TextObject *>(o); t && KindOf(keyOf(o), *o).text)
            texts.push_back(t);
    return texts;
}

void EditSession::SetFont(const Font &font)
{
    std::unique_ptr<EditState> before = snapshot();
    bool changed = false;
    for (TextObject *obj : selectedTexts()) {
        Font was;
        obj->GetFont(was);
        // The font dialog does not choose the direction: each keeps its own.
        Font f = font;
        f.vertical = was.vertical;
        if (was == f)
            continue;
        obj->SetFont(f);
        changed = true;
    }
    if (!changed)
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("フォントの変更"), std::move(before));
}

void EditSession::SetVertical(bool vertical)
{
    std::unique_ptr<EditState> before = snapshot();
    bool changed = false;
    for (TextObject *obj : selectedTexts()) {
        Font font;
        obj->GetFont(font);
        if (font.vertical == vertical)
            continue;
        font.vertical = vertical;
        obj->SetFont(font);
        changed = true;
    }
    if (!changed)
        return;
    SetModified(true);
    RefreshCanvas();
    record(vertical ? QStringLiteral("縦書き") : QStringLiteral("横書き"), std::move(before));
}

void EditSession::SetFieldDesign(const std::optional<std::string> &header,
                                 std::optional<bool> leftOut)
{
    std::unique_ptr<EditState> before = snapshot();
    bool changed = false;
    for (Object *obj : selected) {
        const std::string key = keyOf(obj);
        if (std::none_of(kFields.begin(), kFields.end(),
                         [&](const FieldInfo &f) { return key == f.key; }))
            continue;
        if (auto *h = dynamic_cast<TextObjectWithHeader *>(obj);
            h && header && h->Header() != *header) {
            h->SetHeader(*header);
            changed = true;
        }
        if (leftOut && obj->Object::IsVisible() == *leftOut) {
            obj->SetVisible(!*leftOut);
            changed = true;
        }
    }
    if (!changed)
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("項目の見せ方"), std::move(before));
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
    std::unique_ptr<EditState> before = snapshot();
    bool changed = false;
    for (TextObject *obj : selectedTexts()) {
        changed |= color != obj->GetColor();
        obj->SetColor(color);
    }
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
    std::unique_ptr<EditState> before = snapshot();
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
        std::unique_ptr<EditState> before = snapshot();
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
    selected.clear();
    cardToken = QUuid::createUuid().toByteArray();
    dragging = false;
    resetHistory();
    card = std::move(read);
    emit cardReplaced();
    return LoadResult::Loaded;
}
