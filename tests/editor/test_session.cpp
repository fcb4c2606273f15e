#include "card/defaultcard.h"
#include "card/object.h"
#include "editor/session.h"

#include <climits>
#include <gtest/gtest.h>

// An object from a file may reach the 32-bit limit; moving it on stops at
// the limit instead of wrapping its far edge round to the other side.
TEST(Session, ANudgeStopsAtTheIntegerLimitKeepingTheSize)
{
    EditSession s;
    Object *pic = s.Card().Find(kPictureKey);
    ASSERT_NE(pic, nullptr);
    pic->SetVisible(true);
    pic->SetRect({100, 100, INT32_MAX - 5, 200});
    s.SetSelection(pic);
    s.Nudge(10, 0);
    TRect r;
    pic->GetRect(r);
    EXPECT_EQ(r, (TRect{105, 100, INT32_MAX, 200}));
    s.UndoStack().undo();
    pic->GetRect(r);
    EXPECT_EQ(r, (TRect{100, 100, INT32_MAX - 5, 200}));
}
