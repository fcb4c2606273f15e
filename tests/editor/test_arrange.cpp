// The session's steps on added objects and on selections of several: each
// is one step that undoes exactly, and none touches what it must not.
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/freetext.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/shape.h"
#include "editor/session.h"

#include <gtest/gtest.h>

namespace {

TRect rectOf(const Object *o)
{
    TRect r;
    o->GetRect(r);
    return r;
}

// A session with three filled rectangles at known places, none selected.
struct ThreeBoxes : ::testing::Test
{
    EditSession s;
    Object *box[3] = {};

    void SetUp() override
    {
        const TRect frames[] = {{100, 100, 200, 150}, {300, 200, 340, 260}, {700, 50, 800, 90}};
        for (int i = 0; i < 3; ++i) {
            auto shape = std::make_unique<ShapeObject>(ShapeObject::Kind::Rect);
            shape->SetFrame(frames[i]);
            shape->SetFill(0xFF);
            shape->SetStroke(std::nullopt);
            box[i] = shape.get();
            s.AddObject(std::move(shape));
        }
        s.SetSelection(nullptr);
    }
    int steps() { return s.UndoStack().index(); }
};

} // namespace

TEST(AddObjects, EachKindLandsCentredOnTopSelectedAndUndoesAway)
{
    for (KindId kind : {KindId::Text, KindId::Line, KindId::Rect, KindId::Ellipse}) {
        EditSession s;
        const QByteArray plain = s.SaveBytes();
        const TRect area{100, 50, 500, 350};
        const std::string key = s.AddNewObject(kind, area);
        const Object *obj = s.Card().Find(key);
        ASSERT_NE(obj, nullptr);
        EXPECT_EQ(key, KeyPrefix(kind) + "1");
        EXPECT_EQ(KindOf(key, *obj).id, kind);
        EXPECT_EQ(s.Selection(), obj);
        const TRect r = rectOf(obj);
        EXPECT_NEAR((r.left + r.right) / 2, 300, 2) << key;
        EXPECT_NEAR((r.top + r.bottom) / 2, 200, 2) << key;
        for (const auto &[k, o] : s.Card()) {
            if (o.get() == obj)
                continue;
            EXPECT_LT(o->GetOrder(), obj->GetOrder()) << k;
        }
        EXPECT_TRUE(s.Modified());
        s.UndoStack().undo();
        EXPECT_EQ(s.Card().Find(key), nullptr);
        EXPECT_EQ(s.Selection(), nullptr); // pruned, never left dangling
        EXPECT_EQ(s.SaveBytes(), plain);
        s.UndoStack().redo();
        ASSERT_NE(s.Card().Find(key), nullptr);
    }
    EditSession s;
    EXPECT_THROW(s.AddObject(std::make_unique<FreeText>(), "eName"), CardError);
    s.AddObject(std::make_unique<FreeText>(), "tQual");
    EXPECT_THROW(s.AddObject(std::make_unique<FreeText>(), "tQual"), CardError);
    EXPECT_EQ(s.UndoStack().count(), 1);
}

TEST_F(ThreeBoxes, DeleteTakesOnlyAddedObjectsInOneStep)
{
    Object *name = s.Card().Find("eName");
    s.SetSelectedObjects({box[0], name, box[2]});
    const int before = steps();
    EXPECT_EQ(s.DeleteSelection(), 1); // the field stays, and says so
    EXPECT_EQ(steps(), before + 1);
    EXPECT_EQ(s.Card().Find("sRect1"), nullptr);
    EXPECT_EQ(s.Card().Find("sRect3"), nullptr);
    EXPECT_EQ(s.Card().Find("eName"), name);
    EXPECT_EQ(s.SelectedObjects(), std::vector<Object *>{name});
    s.UndoStack().undo();
    ASSERT_NE(s.Card().Find("sRect1"), nullptr);
    EXPECT_EQ(rectOf(s.Card().Find("sRect1")), (TRect{100, 100, 200, 150}));
    // Only a field selected: nothing deleted, no step.
    s.SetSelection(name);
    EXPECT_EQ(s.DeleteSelection(), 1);
    EXPECT_EQ(steps(), before);
}

TEST_F(ThreeBoxes, SelectionByShiftBandAndAll)
{
    s.ToggleSelected(box[0]);
    s.ToggleSelected(box[1]);
    s.ToggleSelected(box[0]);
    EXPECT_EQ(s.SelectedObjects(), std::vector<Object *>{box[1]});
    // A band touching the first two (edges count), added to nothing.
    s.SelectTouching({350, 240, 150, 120}, false);
    EXPECT_EQ(s.SelectedObjects().size(), 2u);
    s.SelectTouching({750, 60, 760, 70}, true);
    EXPECT_EQ(s.SelectedObjects().size(), 3u);
    s.SelectAll();
    // The three boxes; the empty fields and hidden pictures are not visible.
    EXPECT_EQ(s.SelectedObjects().size(), 3u);
}

TEST_F(ThreeBoxes, AlignDistributeAndMoveAreOneStepEach)
{
    struct Row
    {
        EditSession::AlignMode mode;
        bool toCard;
        int edge; // 0 left, 1 centre x, 2 right, 3 top
        int want;
    };
    for (const Row &row :
         std::initializer_list<Row>{{EditSession::AlignMode::Left, false, 0, 100},
                                    {EditSession::AlignMode::Right, false, 2, 800},
                                    {EditSession::AlignMode::HCenter, true, 1, 455},
                                    {EditSession::AlignMode::Top, false, 3, 50}}) {
        s.SetSelectedObjects({box[0], box[1], box[2]});
        const int before = steps();
        s.AlignSelection(row.mode, row.toCard);
        EXPECT_EQ(steps(), before + 1);
        for (Object *o : box) {
            const TRect r = rectOf(o);
            const int v[] = {r.left, (r.left + r.right) / 2, r.right, r.top};
            EXPECT_EQ(v[row.edge], row.want);
        }
        s.UndoStack().undo();
    }
    EXPECT_EQ(rectOf(box[1]), (TRect{300, 200, 340, 260}));
    s.SetSelectedObjects({box[0], box[1], box[2]});
    s.DistributeSelection(true);
    // Gaps between neighbours equal: 100 wide, 40 wide, 100 wide in 700.
    const TRect a = rectOf(box[0]), b = rectOf(box[1]), c = rectOf(box[2]);
    EXPECT_NEAR(b.left - a.right, c.left - b.right, 1);
    s.SetSelectedObjects({box[0], box[2]});
    s.MoveSelection(-5000, 10);
    // The group stays partly on the card: the right edge of the group at 20.
    EXPECT_EQ(rectOf(box[2]).right, 20);
    EXPECT_EQ(rectOf(box[0]).top, 110);
}

TEST_F(ThreeBoxes, DraggingSeveralMovesThemTogetherAndSnapsUnlessAsked)
{
    // The view is the 645-pixel canvas: one pixel is about 1.41 units.
    for (bool snap : {true, false}) {
        s.SetSelectedObjects({box[1], box[0]});
        const int before = steps();
        const TRect a0 = rectOf(box[0]), b0 = rectOf(box[1]);
        const int x = s.View().ToDevice(120), y = s.View().ToDevice(120);
        s.BeginDrag(x, y);
        // The group's left edge (box 0's) from 100 to about 452: within
        // 1 mm of the card's middle line, where it snaps.
        const int to = s.View().ToDevice(120 + 352);
        s.DragSelection(to, y, true, false, snap);
        const TRect a = rectOf(box[0]), b = rectOf(box[1]);
        EXPECT_EQ(b.left - b0.left, a.left - a0.left);
        EXPECT_EQ(b.top - b0.top, a.top - a0.top);
        if (snap) {
            EXPECT_EQ(s.GuideX(), std::optional<int>(455));
            EXPECT_EQ(a.left, 455);
        } else {
            EXPECT_FALSE(s.GuideX().has_value());
            EXPECT_NE(a.left, 455);
        }
        s.EndDrag();
        EXPECT_FALSE(s.GuideX().has_value());
        EXPECT_EQ(steps(), before + 1);
        s.UndoStack().undo();
    }
}

TEST_F(ThreeBoxes, CopyPasteShiftsOnThisCardAndLandsInPlaceOnAnother)
{
    s.SetSelectedObjects({box[0], s.Card().Find("QR")});
    const QByteArray clip = s.CopySelection();
    ASSERT_FALSE(clip.isEmpty());
    EXPECT_EQ(s.Paste(clip), 1); // the QR code is the card's own, never copied
    EXPECT_EQ(rectOf(s.Selection()), (TRect{120, 120, 220, 170}));
    s.Paste(clip);
    EXPECT_EQ(rectOf(s.Selection()), (TRect{140, 140, 240, 190}));
    EditSession other;
    EXPECT_EQ(other.Paste(clip), 1);
    EXPECT_EQ(rectOf(other.Selection()), (TRect{100, 100, 200, 150}));
    // A field is copied as the text it shows, header and all.
    other.EditChanged("eTel", QStringLiteral("03-1234"));
    other.SetSelection(other.Card().Find("eTel"));
    EXPECT_EQ(other.DuplicateSelection(), 1);
    const auto *text = dynamic_cast<const FreeText *>(other.Selection());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetText(), "TEL 03-1234");
    EXPECT_THROW(other.Paste("not a card"), ReadError);
}

TEST(LineEnds, ShiftKeepsADraggedEndLevelAndNewEmptiesTheCard)
{
    EditSession s;
    const std::string key = s.AddNewObject(KindId::Line, {0, 0, 910, 550});
    auto *line = dynamic_cast<ShapeObject *>(s.Card().Find(key));
    ASSERT_NE(line, nullptr);
    const TRect f = line->Frame();
    const int ex = s.View().ToDevice(f.right), ey = s.View().ToDevice(f.bottom);
    ASSERT_EQ(s.HandleAt(ex, ey), EditSession::Handle::BottomRight);
    s.BeginResize(EditSession::Handle::BottomRight, ex, ey);
    s.DragSelection(ex + 40, ey + 6, true, true);
    s.EndDrag();
    EXPECT_EQ(line->Frame().top, line->Frame().bottom);
    EXPECT_GT(line->Frame().right, f.right);
    s.ClearCard();
    EXPECT_EQ(s.Card().Find(key), nullptr);
}
