// What a step keeps and how it is written back: objects in place where they
// can be (the faces hold pointers to them), added and removed ones exactly,
// and a key whose kind changed replaced rather than refused.
#include "card/freetext.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/shape.h"
#include "editor/history.h"

#include <QUndoStack>
#include <gtest/gtest.h>

TEST(History, RestoreKeepsPointersAndBringsBackWhatWentOrCame)
{
    Objects card;
    auto text = std::make_unique<FreeText>(TRect{10, 10, 10, 10});
    text->SetText("a\nb");
    Object *kept = text.get();
    card["tText1"] = std::move(text);
    card["sRect1"] = std::make_unique<ShapeObject>(ShapeObject::Kind::Rect);
    const auto state = EditState::OfCard(card);

    static_cast<FreeText *>(kept)->SetText("changed");
    card.Erase("sRect1");                                                    // deleted since
    card["sLine1"] = std::make_unique<ShapeObject>(ShapeObject::Kind::Line); // added since
    state->RestoreInto(card);
    EXPECT_EQ(card.Find("tText1"), kept);
    EXPECT_EQ(static_cast<FreeText *>(kept)->GetText(), "a\nb");
    EXPECT_NE(card.Find("sRect1"), nullptr);
    EXPECT_EQ(card.Find("sLine1"), nullptr);

    // The key deleted and used again for another kind: replaced by a copy.
    card["tText1"] = std::make_unique<ShapeObject>(ShapeObject::Kind::Ellipse);
    state->RestoreInto(card);
    ASSERT_NE(dynamic_cast<FreeText *>(card.Find("tText1")), nullptr);
}

TEST(History, StepsMergeOnlyWithTheSameIdAndKey)
{
    int restored = 0;
    auto none = std::make_shared<const EditState>();
    auto step = [&](int id, const char *key) {
        return new EditStep(
            QStringLiteral("x"), none, none, [&](const EditState &) { ++restored; }, id, key);
    };
    QUndoStack stack;
    stack.push(step(kTypingStep, "eName"));
    stack.push(step(kTypingStep, "eName"));
    stack.push(step(kTypingStep, "eTel"));
    stack.push(step(kNudgeStep, "eTel"));
    stack.push(step(kNeverMerges, ""));
    stack.push(step(kNeverMerges, ""));
    EXPECT_EQ(stack.count(), 5);
    EXPECT_EQ(restored, 0); // pushing changes nothing: the change was made
    stack.undo();
    EXPECT_EQ(restored, 1);
}
