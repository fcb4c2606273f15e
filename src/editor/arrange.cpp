// The session's steps on any number of objects: the selection, adding,
// deleting, the clipboard, aligning, and the added texts' and shapes' own
// values.
#include "card/cardfile.h"
#include "card/errors.h"
#include "card/object.h"
#include "card/shape.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "editor/history.h"
#include "editor/session.h"

#include <algorithm>

namespace {

// The hidden record in clipboard bytes that names the card they came from.
constexpr const char *kClipSourceKey = "zClipSource";
// A paste onto the card it was copied from lands 2 mm right and down.
constexpr int kPasteShift = 20;

TRect rectOf(const Object *o)
{
    TRect r;
    o->GetRect(r);
    return r;
}

std::vector<TRect> rectsOf(const std::vector<Object *> &objects)
{
    std::vector<TRect> rects;
    for (const Object *o : objects)
        rects.push_back(rectOf(o));
    return rects;
}

} // namespace

// --- The selection ---------------------------------------------------------------

void EditSession::pruneSelection()
{
    std::vector<Object *> kept;
    for (Object *o : selected)
        if (!keyOf(o).empty())
            kept.push_back(o);
    selected = std::move(kept);
    selectionChanged();
}

void EditSession::SetSelectedObjects(const std::vector<Object *> &objects)
{
    selected.clear();
    for (Object *o : objects)
        if (o && std::find(selected.begin(), selected.end(), o) == selected.end())
            selected.push_back(o);
    selectionChanged();
}

void EditSession::ToggleSelected(Object *obj)
{
    if (!obj)
        return;
    const auto at = std::find(selected.begin(), selected.end(), obj);
    if (at != selected.end())
        selected.erase(at);
    else
        selected.push_back(obj);
    selectionChanged();
}

void EditSession::SelectTouching(const TRect &band, bool add)
{
    std::vector<Object *> objects = add ? selected : std::vector<Object *>();
    const TRect b{std::min(band.left, band.right), std::min(band.top, band.bottom),
                  std::max(band.left, band.right), std::max(band.top, band.bottom)};
    for (Object *o : MakeDrawingOrder(card).List()) {
        const TRect r = rectOf(o);
        if (r.left <= b.right && b.left <= r.right && r.top <= b.bottom && b.top <= r.bottom)
            objects.push_back(o);
    }
    SetSelectedObjects(objects);
}

void EditSession::SelectAll()
{
    SetSelectedObjects(MakeDrawingOrder(card).List());
}

void EditSession::SelectKeys(const std::vector<std::string> &keys)
{
    std::vector<Object *> objects;
    for (const std::string &key : keys) {
        Object *o = card.Find(key);
        if (!o)
            throw CardError("カードに \"" + key + "\" のオブジェクトがありません");
        objects.push_back(o);
    }
    SetSelectedObjects(objects);
}

std::vector<Object *> EditSession::visibleSelection() const
{
    std::vector<Object *> objects;
    for (Object *o : selected)
        if (o->IsVisible())
            objects.push_back(o);
    return objects;
}

bool EditSession::shift(const std::vector<Object *> &objects,
                        const std::vector<geometry::Offset> &offsets)
{
    bool moved = false;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (offsets[i] == geometry::Offset{})
            continue;
        const TRect r = rectOf(objects[i]);
        objects[i]->SetRect(geometry::Translated(r, offsets[i]));
        moved |= rectOf(objects[i]) != r;
    }
    return moved;
}

int EditSession::topOrder() const
{
    long long top = 0;
    for (const auto &[key, obj] : card)
        if (obj)
            top = std::max<long long>(top, obj->GetOrder());
    return static_cast<int>(std::min<long long>(top + 1, INT32_MAX));
}

// --- Adding, deleting, copying ---------------------------------------------------

std::string EditSession::AddObject(std::unique_ptr<Object> obj, const std::string &wanted)
{
    const ObjectKind &kind = KindOf(std::string(), *obj);
    const std::string key = wanted.empty() ? NewKey(card, KeyPrefix(kind.id)) : wanted;
    if (!IsAddedKey(key))
        throw CardError("キー \"" + key + "\" は追加したオブジェクトには使えません");
    if (card.Find(key))
        throw CardError("キー \"" + key + "\" はもう使われています");
    std::unique_ptr<EditState> before = snapshot();
    obj->SetOrder(topOrder());
    Object *added = obj.get();
    card[key] = std::move(obj);
    SetSelection(added);
    SetModified(true);
    RefreshCanvas();
    record(QString::fromUtf8(kind.caption) + QStringLiteral("の追加"), std::move(before));
    return key;
}

std::string EditSession::AddNewObject(KindId id, const TRect &area)
{
    const auto &kinds = ObjectKinds();
    const auto row =
        std::find_if(kinds.begin(), kinds.end(), [id](const ObjectKind &k) { return k.id == id; });
    if (row == kinds.end() || !row->make || id == KindId::Picture)
        throw CardError("この種類のオブジェクトは追加できません");
    std::unique_ptr<Object> obj = row->make();
    // Measured where it will be, then centred on the area as measured. It
    // is moved there, not given a rectangle: a shape keeps the size its
    // kind makes it, a text takes the size it measures.
    const TRect made = rectOf(obj.get());
    obj->SetRect(geometry::Translated(made, {static_cast<long long>(area.left) - made.left,
                                             static_cast<long long>(area.top) - made.top}));
    obj->Measure(&measureCanvas, screen);
    TRect r = rectOf(obj.get());
    const long long w = static_cast<long long>(r.right) - r.left;
    const long long h = static_cast<long long>(r.bottom) - r.top;
    const long long left = (static_cast<long long>(area.left) + area.right - w) / 2;
    const long long top = (static_cast<long long>(area.top) + area.bottom - h) / 2;
    obj->SetRect(geometry::Translated(r, {left - r.left, top - r.top}));
    return AddObject(std::move(obj));
}

int EditSession::DeleteSelection(const QString &text)
{
    std::vector<std::string> gone;
    std::vector<Object *> kept;
    for (Object *o : selected) {
        const std::string key = keyOf(o);
        if (Deletable(key, *o))
            gone.push_back(key);
        else
            kept.push_back(o);
    }
    if (!gone.empty()) {
        std::unique_ptr<EditState> before = snapshot();
        selected = kept;
        for (const std::string &key : gone)
            card.Erase(key);
        selectionChanged();
        SetModified(true);
        RefreshCanvas();
        record(text, std::move(before));
    }
    return static_cast<int>(kept.size());
}

QByteArray EditSession::CopySelection() const
{
    Objects clip;
    int n = 0;
    for (const Object *o : selected) {
        const std::string key = keyOf(o);
        const ObjectKind &kind = KindOf(key, *o);
        std::unique_ptr<Object> copy;
        if (kind.id == KindId::Qr || kind.id == KindId::Hidden)
            continue;
        if (kind.id == KindId::Field || kind.id == KindId::HeaderField) {
            // A field's line is copied as the text it shows.
            if (!o->IsVisible())
                continue;
            const auto &field = static_cast<const TextObject &>(*o);
            auto text = std::make_unique<TextObject>(rectOf(o));
            Font f;
            field.GetFont(f);
            text->SetFont(f);
            text->SetColor(field.GetColor());
            text->SetText(field.DisplayText());
            copy = std::move(text);
        } else if (kind.id == KindId::Picture) {
            const auto &g = static_cast<const GraphicObject &>(*o);
            if (!o->IsVisible() || !g.GetPicture())
                continue;
            copy = o->Clone();
        } else {
            copy = o->Clone();
        }
        copy->SetOrder(o->GetOrder());
        clip["c" + std::to_string(++n)] = std::move(copy);
    }
    if (n == 0)
        return {};
    auto source = std::make_unique<TextObject>();
    source->SetText(cardToken.toStdString());
    source->SetVisible(false);
    clip[kClipSourceKey] = std::move(source);
    MemoryStream s;
    SaveCard(&s, clip);
    return s.Data();
}

int EditSession::Paste(const QByteArray &bytes, const QString &text)
{
    return paste(bytes, text, true);
}

int EditSession::paste(const QByteArray &bytes, const QString &text, bool again)
{
    MemoryStream s(bytes);
    Objects clip;
    if (!LoadCard(&s, clip))
        throw ReadError("貼り付けるデータが Plakuro のオブジェクトではありません");
    const auto *source = dynamic_cast<const TextObject *>(clip.Find(kClipSourceKey));
    const bool here = source && source->GetText() == cardToken.toStdString();
    // Stacked in the order they were, above everything here.
    std::vector<std::pair<std::string, Object *>> objects;
    for (const auto &[key, obj] : clip)
        if (obj && IsAddedKey(key) && obj->IsVisible())
            objects.emplace_back(key, obj.get());
    if (objects.empty())
        return 0;
    std::stable_sort(objects.begin(), objects.end(), [](const auto &a, const auto &b) {
        return a.second->GetOrder() < b.second->GetOrder();
    });
    // Pasting the same objects again on their own card steps on by 2 mm
    // each time, so no copy hides another.
    if (again && here && bytes == lastPasted)
        ++pasteRepeat;
    else
        pasteRepeat = 1;
    lastPasted = again && here ? bytes : QByteArray();
    const long long by = static_cast<long long>(kPasteShift) * pasteRepeat;
    std::unique_ptr<EditState> before = snapshot();
    int order = topOrder();
    std::vector<Object *> pasted;
    for (const auto &[key, obj] : objects) {
        std::unique_ptr<Object> &slot = clip[key];
        if (here)
            slot->SetRect(geometry::Translated(rectOf(slot.get()), {by, by}));
        slot->SetOrder(order++);
        const std::string newKey = NewKey(card, KeyPrefix(KindOf(key, *slot).id));
        pasted.push_back(slot.get());
        card[newKey] = std::move(slot);
    }
    SetSelectedObjects(pasted);
    SetModified(true);
    RefreshCanvas();
    record(text, std::move(before));
    return static_cast<int>(pasted.size());
}

int EditSession::DuplicateSelection()
{
    const QByteArray bytes = CopySelection();
    // 2 mm from what is selected now: a copy of a copy steps on by itself.
    return bytes.isEmpty() ? 0 : paste(bytes, QStringLiteral("複製"), false);
}

// --- Arranging ---------------------------------------------------------------------

void EditSession::MoveSelection(int dx, int dy)
{
    moveGroup(dx, dy, kNeverMerges);
}

void EditSession::moveGroup(int dx, int dy, int mergeId)
{
    const std::vector<Object *> objects = visibleSelection();
    if (objects.empty() || dragging)
        return;
    std::string keys;
    for (const Object *o : objects)
        keys += keyOf(o) + '\n';
    std::unique_ptr<EditState> before = snapshot();
    const geometry::Offset o =
        geometry::ClampMove(geometry::BoundingRect(rectsOf(objects)), dx, dy);
    if (!shift(objects, std::vector<geometry::Offset>(objects.size(), o)))
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("移動"), std::move(before), mergeId, keys);
}

void EditSession::AlignSelection(AlignMode mode, bool toCard)
{
    const std::vector<Object *> objects = visibleSelection();
    if (objects.empty() || dragging)
        return;
    const std::vector<TRect> rects = rectsOf(objects);
    const TRect target =
        toCard || objects.size() == 1 ? geometry::kCard : geometry::BoundingRect(rects);
    std::unique_ptr<EditState> before = snapshot();
    if (!shift(objects, geometry::AlignOffsets(rects, mode, target)))
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("整列"), std::move(before));
}

void EditSession::DistributeSelection(bool horizontal)
{
    const std::vector<Object *> objects = visibleSelection();
    if (objects.size() < 3 || dragging)
        return;
    const std::vector<TRect> rects = rectsOf(objects);
    std::unique_ptr<EditState> before = snapshot();
    if (!shift(objects, geometry::DistributeOffsets(rects, horizontal ? geometry::Axis::Horizontal
                                                                      : geometry::Axis::Vertical)))
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("等間隔に配置"), std::move(before));
}

// --- Added texts and shapes ------------------------------------------------------

void EditSession::SetFreeText(const QString &text)
{
    auto *obj = dynamic_cast<FreeText *>(selection);
    if (!obj)
        return;
    // Each line as an edit hands it on: Shift-JIS, within what a record keeps.
    QString all;
    const QStringList lines =
        QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
    std::string sjisText;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            sjisText += '\n';
        sjisText += sjis::truncate(EditText(lines[i]), 255);
    }
    if (sjisText == obj->GetText())
        return;
    std::unique_ptr<EditState> before = snapshot();
    obj->SetText(sjisText);
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("テキストの変更"), std::move(before));
}

void EditSession::SetTextLayout(FreeText::Align align, int spacing, int width)
{
    std::unique_ptr<EditState> before = snapshot();
    bool changed = false;
    for (Object *o : selected)
        if (auto *t = dynamic_cast<FreeText *>(o)) {
            const FreeText was = *t;
            t->SetAlign(align);
            t->SetSpacing(spacing);
            t->SetWidth(width);
            changed |= was.GetAlign() != t->GetAlign() || was.GetSpacing() != t->GetSpacing() ||
                       was.GetWidth() != t->GetWidth();
        }
    if (!changed)
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("テキストの配置"), std::move(before));
}

void EditSession::SetShapeStyle(std::optional<std::int32_t> fill,
                                std::optional<std::int32_t> stroke, int strokeWidth, int radius)
{
    std::unique_ptr<EditState> before = snapshot();
    bool changed = false;
    for (Object *o : selected)
        if (auto *s = dynamic_cast<ShapeObject *>(o)) {
            const std::string was = s->Description();
            if (s->GetKind() != ShapeObject::Kind::Line)
                s->SetFill(fill);
            // A line without a colour would vanish: it keeps its own.
            if (stroke || s->GetKind() != ShapeObject::Kind::Line)
                s->SetStroke(stroke);
            s->SetStrokeWidth(strokeWidth);
            if (s->GetKind() == ShapeObject::Kind::Rect)
                s->SetRadius(radius);
            changed |= s->Description() != was;
        }
    if (!changed)
        return;
    SetModified(true);
    RefreshCanvas();
    record(QStringLiteral("図形の書式"), std::move(before));
}
