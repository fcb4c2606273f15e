#include "app/printsetting.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <limits>

namespace {

bool black(const QImage &img, int x, int y)
{
    return img.pixel(x, y) == qRgb(0, 0, 0);
}

void setValues(TPrintSetting &dlg, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d)
{
    dlg.a = a;
    dlg.b = b;
    dlg.c = c;
    dlg.d = d;
    dlg.DrawPaperSketch();
}

TPrintSetting *openPrintSetting()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dlg = qobject_cast<TPrintSetting *>(w); dlg && dlg->isVisible())
            return dlg;
    return nullptr;
}

} // namespace

TEST(PaperSketch, FramesFollowTheValues)
{
    TPrintSetting dlg;
    setValues(dlg, 10, 7, 3, 3);
    const QImage &s = dlg.Sketch();
    ASSERT_EQ(s.size(), QSize(93, 130));
    EXPECT_EQ(dlg.cPaper->size(), QSize(93, 130));
    // Paper, its frame and its shadow.
    EXPECT_TRUE(black(s, 0, 0));
    EXPECT_TRUE(black(s, 87, 124));
    EXPECT_EQ(s.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_TRUE(black(s, 89, 126));
    EXPECT_FALSE(black(s, 90, 127));
    EXPECT_EQ(s.pixel(92, 0), dlg.palette().color(QPalette::Button).rgb());
    // L = 4, T = 2, GX = GY = 1.
    for (int y : {2, 26, 50, 74, 98}) {
        for (int x : {4, 43}) {
            SCOPED_TRACE(testing::Message() << "card at " << x << "," << y);
            EXPECT_TRUE(black(s, x, y));
            EXPECT_TRUE(black(s, x + 37, y + 22));
            EXPECT_FALSE(black(s, x - 1, y + 5));
            EXPECT_FALSE(black(s, x + 1, y + 1)); // not filled
            EXPECT_FALSE(black(s, x + 38, y + 5));
            EXPECT_FALSE(black(s, x + 5, y + 23));
        }
    }
    EXPECT_TRUE(black(s, 80, 120));
    EXPECT_FALSE(black(s, 81, 119));
    EXPECT_FALSE(black(s, 79, 121));

    // a = -5: L = -2, the left column sticks out of the paper.
    setValues(dlg, -5, 7, 3, 3);
    EXPECT_TRUE(black(s, 35, 10));
    EXPECT_FALSE(black(s, 36, 10));
    EXPECT_TRUE(black(s, 37, 10)); // right column: (1 + 38) - 2
    EXPECT_FALSE(black(s, 1, 10));

    // No gaps: a pitch of 38 x 23, frames touching.
    setValues(dlg, 10, 7, 0, 0);
    EXPECT_TRUE(black(s, 41, 10));
    EXPECT_TRUE(black(s, 42, 10));
    EXPECT_FALSE(black(s, 43, 10));
    EXPECT_TRUE(black(s, 10, 24));
    EXPECT_TRUE(black(s, 10, 25));
    EXPECT_TRUE(black(s, 10, 2 + 5 * 23 - 1));
    EXPECT_FALSE(black(s, 10, 2 + 5 * 23));

    // Values whose products leave 32 bits: frames fall outside, nothing breaks.
    const std::int32_t big = std::numeric_limits<std::int32_t>::max();
    setValues(dlg, big, -big, big, -big);
    for (int x = 1; x < 87; ++x)
        EXPECT_FALSE(black(s, x, 60)) << x;
}

TEST(PrintSetting, EditsAcceptOnlyWholeNumbers)
{
    TPrintSetting dlg;
    dlg.a = 10;
    dlg.b = 7;
    dlg.c = 3;
    dlg.d = 3;
    dlg.show();
    EXPECT_EQ(dlg.eA->text(), "10");
    EXPECT_EQ(dlg.eD->text(), "3");
    EXPECT_FALSE(dlg.eA->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(dlg.windowTitle(), "印刷オプション");
    for (const char *name : {"Label1", "Label2", "Label3", "Label4", "eA", "eB", "eC", "eD", "bOK",
                             "bCancel", "GroupBox1", "cPaper"})
        EXPECT_NE(dlg.findChild<QWidget *>(name), nullptr) << name;
    EXPECT_EQ(dlg.cPaper->parentWidget(), dlg.GroupBox1);

    dlg.eA->selectAll();
    QTest::keyClicks(dlg.eA, "5");
    EXPECT_EQ(dlg.a, 5);
    EXPECT_TRUE(black(dlg.Sketch(), 2, 10)); // L = 2
    EXPECT_FALSE(black(dlg.Sketch(), 4, 10));

    dlg.eA->setText("10");
    dlg.eA->end(false);
    QTest::keyClick(dlg.eA, Qt::Key_Backspace);
    EXPECT_EQ(dlg.eA->text(), "1");
    EXPECT_EQ(dlg.a, 1);
    QTest::keyClick(dlg.eA, Qt::Key_Backspace);
    EXPECT_EQ(dlg.eA->text(), "1");
    EXPECT_EQ(dlg.a, 1);
    EXPECT_EQ(dlg.eA->cursorPosition(), 1);
    QTest::keyClicks(dlg.eA, "2");
    EXPECT_EQ(dlg.a, 12);

    dlg.eB->end(false);
    QTest::keyClicks(dlg.eB, "x");
    EXPECT_EQ(dlg.eB->text(), "7");
    EXPECT_EQ(dlg.b, 7);

    dlg.eC->setText("2147483648");
    EXPECT_EQ(dlg.eC->text(), "3");
    dlg.eC->setText("-");
    EXPECT_EQ(dlg.eC->text(), "3");
    dlg.eC->setText("$10");
    EXPECT_EQ(dlg.c, 16);
    dlg.eD->setText("-5");
    EXPECT_EQ(dlg.d, -5);
    dlg.eD->setText(" 1 ");
    EXPECT_EQ(dlg.d, -5);
    EXPECT_EQ(dlg.eD->text(), "-5");

    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(PrintSetting, RunPrintOptionsKeepsTypedValuesHoweverClosed)
{
    QWidget owner;
    PrintSpace space;
    bool ran = false;
    QTimer::singleShot(0, [&] {
        TPrintSetting *dlg = openPrintSetting();
        ASSERT_NE(dlg, nullptr);
        ran = true;
        EXPECT_TRUE(dlg->isModal());
        EXPECT_EQ(dlg->parentWidget(), &owner);
        dlg->eA->selectAll();
        QTest::keyClicks(dlg->eA, "25");
        dlg->eD->selectAll();
        QTest::keyClicks(dlg->eD, "0");
        dlg->bCancel->click();
    });
    RunPrintOptions(&owner, space);
    EXPECT_TRUE(ran);
    EXPECT_EQ(space.a, 25);
    EXPECT_EQ(space.b, 7);
    EXPECT_EQ(space.d, 0);

    // The close box, and OK, likewise.
    QTimer::singleShot(0, [&] {
        TPrintSetting *dlg = openPrintSetting();
        ASSERT_NE(dlg, nullptr);
        dlg->eB->setText("9");
        dlg->close();
    });
    RunPrintOptions(&owner, space);
    EXPECT_EQ(space.b, 9);
    QTimer::singleShot(0, [&] {
        TPrintSetting *dlg = openPrintSetting();
        ASSERT_NE(dlg, nullptr);
        dlg->eC->setText("4");
        dlg->bOK->click();
    });
    RunPrintOptions(&owner, space);
    EXPECT_EQ(space.c, 4);
    EXPECT_EQ(owner.findChildren<TPrintSetting *>().size(), 0);
}

TEST(PrintSetting, StockPresetsAndShift)
{
    TPrintSetting dlg;
    dlg.SetValues(PrintSpace{10, 7, 3, 3, 0, 0});
    dlg.show();
    // The described controls keep their rows and order, moved right only as
    // far as their labels need; the new ones lie below them.
    EXPECT_EQ(dlg.eA->y(), 16);
    EXPECT_GE(dlg.eA->x(), 142);
    EXPECT_EQ(dlg.bCancel->geometry(), QRect(200, 186, 75, 25));
    const std::pair<QWidget *, QWidget *> named[] = {
        {dlg.Label1, dlg.eA},        {dlg.Label4, dlg.eB},   {dlg.Label2, dlg.eC},
        {dlg.Label3, dlg.eD},        {dlg.LabelOX, dlg.eOX}, {dlg.LabelOY, dlg.eOY},
        {dlg.LabelStock, dlg.cStock}};
    for (const auto &[label, buddy] : named) {
        EXPECT_LE(label->x() + label->sizeHint().width(), buddy->x())
            << label->objectName().toStdString();
        EXPECT_LE(buddy->geometry().right(), dlg.width()) << buddy->objectName().toStdString();
    }
    for (QWidget *w : {static_cast<QWidget *>(dlg.cStock), static_cast<QWidget *>(dlg.eOX),
                       static_cast<QWidget *>(dlg.eOY)}) {
        EXPECT_GE(w->y(), 186 + 25);
        EXPECT_LE(w->geometry().bottom(), dlg.height());
    }
    EXPECT_EQ(dlg.cStock->currentText(), "標準 (10/7/3/3)");

    dlg.cStock->setCurrentIndex(1);
    emit dlg.cStock->activated(1);
    EXPECT_EQ(dlg.Values(), (PrintSpace{14, 11, 0, 0, 0, 0}));
    EXPECT_EQ(dlg.eB->text(), "11");
    EXPECT_EQ(dlg.cStock->currentText(), "A4 名刺用紙 10面 (14/11/0/0)");

    // A typed value that matches no preset selects the user's own.
    dlg.eC->setText("2");
    EXPECT_EQ(dlg.cStock->currentText(), "ユーザー設定");
    dlg.eC->setText("0");
    EXPECT_EQ(dlg.cStock->currentIndex(), 1);

    // The shift is signed, in tenths of a millimetre, and moves the sketch:
    // 100 = 10 mm = 4 of its pixels.
    dlg.eOX->setText("-7");
    dlg.eOY->setText("100");
    EXPECT_EQ(dlg.Values(), (PrintSpace{14, 11, 0, 0, -7, 100}));
    EXPECT_EQ(dlg.cStock->currentIndex(), 1);
    // top = (110 + 100) x 125 / 2970 = 8; left = (140 - 7) x 88 / 2100 = 5.
    EXPECT_TRUE(black(dlg.Sketch(), 5, 8));
    EXPECT_FALSE(black(dlg.Sketch(), 5, 7));
    EXPECT_FALSE(black(dlg.Sketch(), 4, 9));
    dlg.eOX->setText("x");
    EXPECT_EQ(dlg.ox, -7);
    // A minus typed into an emptied field, and an emptied field, stay as
    // typed and count as 0 on the way.
    dlg.eOX->clear();
    EXPECT_EQ(dlg.eOX->text(), "");
    EXPECT_EQ(dlg.ox, 0);
    QTest::keyClicks(dlg.eOX, "-");
    EXPECT_EQ(dlg.eOX->text(), "-");
    EXPECT_EQ(dlg.ox, 0);
    QTest::keyClicks(dlg.eOX, "15");
    EXPECT_EQ(dlg.ox, -15);

    EXPECT_FALSE(dlg.cCropMarks->isChecked());
    dlg.cCropMarks->click();
    EXPECT_TRUE(dlg.Values().cropMarks);
}
