#include "app/objectdialogs.h"
#include "card/freetext.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/shape.h"
#include "card/sjis.h"
#include "fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>
#include <QUndoStack>

namespace {

TRect rectOf(const Object *o)
{
    TRect r;
    o->GetRect(r);
    return r;
}

QPointF centreOf(const TRect &r)
{
    return {(r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0};
}

} // namespace

class ObjectsTest : public MeishiTest
{
protected:
    // A new object of the kind, moved by (dx, dy) from the card's middle.
    Object *add(KindId kind, int dx = 0, int dy = 0)
    {
        window->AddObjectClick(kind);
        editor().MoveSelection(dx, dy);
        return editor().Selection();
    }
    const ObjectKind &kindOf(const Object *o) { return KindOf(editor().KeyOf(o), *o); }
};

TEST_F(ObjectsTest, EachAddButtonAddsItsKindInTheMiddleOfTheVisibleCardAsOneStep)
{
    // At 300 % scrolled to the bottom-right corner, the panel shows the
    // card's bottom-right part only.
    window->show();
    window->SetZoomIndex(3);
    window->aPanel->horizontalScrollBar()->setValue(
        window->aPanel->horizontalScrollBar()->maximum());
    window->aPanel->verticalScrollBar()->setValue(window->aPanel->verticalScrollBar()->maximum());
    const QSize port = window->aPanel->viewport()->size();
    const double unitsPerPixel = 910.0 / (645 * 3);
    const QPointF expected(910 - port.width() * unitsPerPixel / 2,
                           550 - port.height() * unitsPerPixel / 2);
    ASSERT_LT(expected.x(), 800);

    dialogs.openFiles.push_back(writePicture(path("logo.png"), 40, 30, Qt::darkGreen, "PNG"));
    const KindId kinds[] = {KindId::Text, KindId::Line, KindId::Rect, KindId::Ellipse,
                            KindId::Picture};
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        const std::size_t before = editor().Card().size();
        const int steps = editor().UndoStack().index();
        window->bAdd[i]->click();
        ASSERT_EQ(editor().SelectedObjects().size(), 1u) << i;
        const Object *added = editor().Selection();
        EXPECT_EQ(kindOf(added).id, kinds[i]);
        EXPECT_FALSE(window->bAdd[i]->toolTip().isEmpty());
        // Of the size its kind makes it: a shape is 30 mm wide, the text
        // shows its word.
        const TRect r = rectOf(added);
        EXPECT_GE(r.right - r.left, i == 0 || i == 4 ? 50 : 300) << i;
        if (const auto *t = dynamic_cast<const FreeText *>(added)) {
            EXPECT_EQ(sjis::toUnicode(t->GetText()), QStringLiteral("テキスト"));
        }
        const QPointF c = centreOf(r);
        EXPECT_NEAR(c.x(), expected.x(), 3) << i;
        EXPECT_NEAR(c.y(), expected.y(), 3) << i;
        EXPECT_EQ(editor().Card().size(), before + 1);
        EXPECT_EQ(editor().UndoStack().index(), steps + 1);
        editor().UndoStack().undo();
        EXPECT_EQ(editor().Card().size(), before) << i;
    }
    // The canvas menu offers the same, by the same captions.
    for (std::size_t i = 0; i < window->aAdd.size(); ++i)
        EXPECT_TRUE(window->bAdd[i]->toolTip().startsWith(window->aAdd[i]->text().remove(u'…')));
}

TEST_F(ObjectsTest, TheTextDialogSetsLinesAndLayoutAsOneStep)
{
    EXPECT_FALSE(window->aEditText->isEnabled());
    auto *text = dynamic_cast<FreeText *>(add(KindId::Text));
    ASSERT_TRUE(text);
    EXPECT_TRUE(window->aEditText->isEnabled());
    EXPECT_FALSE(window->aShapeFormat->isEnabled());
    const std::string first = text->GetText();
    const int steps = editor().UndoStack().index();

    dialogs.freeTexts.push_back(Dialogs::FreeTextValues{QStringLiteral("山田商店\n営業部"),
                                                        FreeText::Align::Center, 150, 300});
    window->aEditText->trigger();
    EXPECT_EQ(dialogs.freeTextShown.text, sjis::toUnicode(first));
    EXPECT_EQ(text->GetText(), sjis::fromUnicode(QStringLiteral("山田商店\n営業部")));
    EXPECT_EQ(text->GetAlign(), FreeText::Align::Center);
    EXPECT_EQ(text->GetSpacing(), 150);
    EXPECT_EQ(text->GetWidth(), 300);
    EXPECT_EQ(editor().UndoStack().index(), steps + 1);
    editor().UndoStack().undo();
    EXPECT_EQ(text->GetText(), first);
    EXPECT_EQ(text->GetAlign(), FreeText::Align::Left);

    // Cancel changes nothing.
    window->EditFreeText();
    EXPECT_EQ(editor().UndoStack().index(), steps);

    // The dialog gives back what it was opened on; 0 mm is 「なし」.
    const Dialogs::FreeTextValues shown{QStringLiteral("a\nb"), FreeText::Align::Right, 200, 1234};
    TFreeTextDialog dialog(window.get(), shown);
    Dialogs::FreeTextValues back = dialog.Values();
    EXPECT_EQ(back.text, shown.text);
    EXPECT_EQ(back.align, shown.align);
    EXPECT_EQ(back.spacing, shown.spacing);
    EXPECT_EQ(back.width, 1234); // beyond the box's 91 mm, kept as it was
    dialog.eWidth->setValue(0);
    EXPECT_EQ(dialog.eWidth->text(), QStringLiteral("なし"));
    EXPECT_EQ(dialog.Values().width, 0);
}

TEST_F(ObjectsTest, TheShapeDialogOffersWhatTheShapeHas)
{
    struct Row
    {
        KindId kind;
        bool fill, radius;
    };
    for (const Row &row : {Row{KindId::Rect, true, true}, Row{KindId::Ellipse, true, false},
                           Row{KindId::Line, false, false}}) {
        auto *shape = dynamic_cast<ShapeObject *>(add(row.kind));
        ASSERT_TRUE(shape);
        EXPECT_TRUE(window->aShapeFormat->isEnabled());
        dialogs.shapes.push_back(
            Dialogs::ShapeValues{shape->GetKind(), 0x00FF00, 0x0000FF, 25, 40});
        window->aShapeFormat->trigger();
        EXPECT_EQ(shape->Fill(), row.fill ? std::optional<std::int32_t>(0x00FF00) : std::nullopt);
        EXPECT_EQ(shape->Stroke(), std::optional<std::int32_t>(0x0000FF));
        EXPECT_EQ(shape->StrokeWidth(), 25);
        EXPECT_EQ(shape->Radius(), row.radius ? 40 : 0);

        // The dialog: a line has no fill and cannot lose its colour.
        TShapeDialog dialog(window.get(), dialogs.shapeShown, nullptr);
        EXPECT_EQ(dialog.cNoFill->isVisibleTo(&dialog), row.fill);
        EXPECT_EQ(dialog.eRadius->isVisibleTo(&dialog), row.radius);
        dialog.cNoStroke->setChecked(row.fill);
        dialog.eStrokeWidth->setValue(1.2);
        const Dialogs::ShapeValues v = dialog.Values();
        EXPECT_EQ(v.stroke.has_value(), !row.fill);
        EXPECT_EQ(v.strokeWidth, 12);
    }
}

TEST_F(ObjectsTest, TheAlignMenuLinesUpAndSpreadsThreeObjects)
{
    Object *a = add(KindId::Rect, -300, -100);
    Object *b = add(KindId::Ellipse, 0, 120);
    Object *c = add(KindId::Rect, 200, 30);
    const std::vector<Object *> three{a, b, c};
    editor().SetSelectedObjects({a, b});
    EXPECT_TRUE(window->aAlignLeft->isEnabled());
    EXPECT_FALSE(window->aSpreadAcross->isEnabled());
    editor().SetSelectedObjects(three);
    EXPECT_TRUE(window->aSpreadAcross->isEnabled());
    ASSERT_TRUE(window->bAlign->menu());

    struct Row
    {
        QAction *action;
        std::function<int(const TRect &)> edge; // equal for all three after
        int value;                              // -1: whatever it is
    };
    const Row rows[] = {
        {window->aAlignLeft, [](const TRect &r) { return r.left; }, rectOf(a).left},
        {window->aAlignBottom, [](const TRect &r) { return r.bottom; }, rectOf(b).bottom},
        {window->aCardHCenter, [](const TRect &r) { return (r.left + r.right) / 2; }, 455},
    };
    for (const Row &row : rows) {
        const int steps = editor().UndoStack().index();
        row.action->trigger();
        for (Object *o : three)
            EXPECT_NEAR(row.edge(rectOf(o)), row.value, 1) << row.action->text().toStdString();
        EXPECT_EQ(editor().UndoStack().index(), steps + 1);
        editor().UndoStack().undo();
    }

    // Spread across: equal gaps between the three, the outer two staying.
    window->aSpreadAcross->trigger();
    std::vector<TRect> r{rectOf(a), rectOf(b), rectOf(c)};
    std::sort(r.begin(), r.end(), [](const TRect &x, const TRect &y) { return x.left < y.left; });
    EXPECT_NEAR(r[1].left - r[0].right, r[2].left - r[1].right, 1);
}

TEST_F(ObjectsTest, CopiedObjectsPasteInPlaceOnAnotherCardAndShiftedOnTheSame)
{
    QGuiApplication::clipboard()->clear();
    window->PasteClipboard();
    EXPECT_FALSE(window->cDebug->currentMessage().isEmpty());

    Object *rect = add(KindId::Rect, 100, 50);
    const TRect was = rectOf(rect);
    window->aCopy->trigger();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat(TMeishi::kObjectsMime));

    TMeishi other(dialogs);
    const std::size_t otherSize = other.Session().Card().size();
    other.PasteClipboard();
    ASSERT_EQ(other.Session().Card().size(), otherSize + 1);
    EXPECT_EQ(rectOf(other.Session().Selection()), was);

    window->aPaste->trigger();
    EXPECT_EQ(rectOf(editor().Selection()),
              (TRect{was.left + 20, was.top + 20, was.right + 20, was.bottom + 20}));

    // A field's line is not deleted; the status line says why.
    window->eName->setText(QStringLiteral("山田 太郎"));
    const std::size_t size = editor().Card().size();
    editor().SetSelection(object<TextObject>("eName"));
    window->DeleteSelection();
    EXPECT_EQ(editor().Card().size(), size);
    EXPECT_EQ(window->cDebug->currentMessage(),
              QStringLiteral("入力欄の項目は削除できません。項目を空にすると表示されません。"));
    // Copied, it travels as its text too.
    window->CopySelection();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("山田 太郎"));
}
