#include "card/defaultcard.h"
#include "card/drawnline.h"
#include "card/object.h"
#include "card/sjis.h"
#include "fixture.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

TEST_F(MeishiTest, StartsWithAnEmptyCardAndEveryControlInPlace)
{
    EXPECT_EQ(dialogs.splashes, 1);
    EXPECT_EQ(window->size(), QSize(897, 461));
    EXPECT_EQ(window->windowTitle(), "Plakuro");
    EXPECT_EQ(window->objectName(), "Meishi");
    for (QLineEdit *e : window->ClearOrder()) {
        EXPECT_TRUE(e->text().isEmpty());
        EXPECT_EQ(e->width(), 159);
        EXPECT_EQ(e->x(), 70);
    }
    EXPECT_EQ(window->eMail->geometry(), QRect(70, 297, 159, 20));
    EXPECT_EQ(window->bPrint->text(), QString("印　刷"));
    EXPECT_EQ(window->bPicture->text(), QString("参照"));
    EXPECT_EQ(window->bBackPicture->text(), QString("参照"));
    EXPECT_TRUE(window->tPicture->text().isEmpty());
    EXPECT_EQ(window->aPanel->geometry(), QRect(246, 44, 645, 390));
    EXPECT_EQ(window->cDebug->currentMessage(), QString());
    EXPECT_FALSE(window->bFont->isEnabled());
    EXPECT_EQ(window->bFont->x(), 154);
    EXPECT_EQ(window->ToolButton4->x(), 185);
    EXPECT_TRUE(canvasWhite());
    EXPECT_FALSE(editor().Modified());
    EXPECT_EQ(editor().Card().size(), 17u);
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_TRUE(dialogs.questions.isEmpty());

    // The menu with its submenu; the QR formats show only for the QR object.
    QStringList captions;
    for (QAction *a : window->aPopupMenu->actions())
        if (a->isVisible())
            captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions,
              QStringList({"フォントの編集", "色の編集", "-", "画像の保存", "-", "重ね順",
                           "位置とサイズ…", "縦書き", "-", "テキストの編集…", "図形の書式…", "整列",
                           "-", "切り取り\tCtrl+X", "コピー\tCtrl+C", "貼り付け\tCtrl+V",
                           "複製\tCtrl+D", "削除\tDelete"}));
    EXPECT_EQ(window->N1->actions().size(), 4);
    EXPECT_EQ(window->N5->text(), QString("最背面へ"));
}

TEST_F(MeishiTest, TabGoesThroughTheEditsThenTheButtons)
{
    window->show();
    window->eName->setFocus();
    QStringList order;
    QWidget *w = window->eName;
    for (int i = 0; i < 18; ++i) {
        order << w->objectName();
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisible())
            w = w->nextInFocusChain();
    }
    EXPECT_EQ(order, QStringList({"eName", "eFuri", "eCorp", "eBusho", "eYaku", "ePostNo",
                                  "eAddress", "eTel", "eMobile", "eFax", "eURL", "eMail", "eMemo1",
                                  "eMemo2", "bPicture", "bBackPicture", "bPrintOption", "bPrint"}));
}

TEST_F(MeishiTest, TypingShowsOnTheCardAtOnce)
{
    QTest::keyClicks(window->eTel, "1");
    EXPECT_TRUE(editor().Modified());
    auto *tel = object<TextObjectWithHeader>("eTel");
    EXPECT_EQ(tel->DisplayText(), "TEL 1");
    EXPECT_EQ(tel->GetText(), "1");

    // The text cell's top-left corner is at the converted position, in the
    // enlarged font: the canvas equals that text drawn alone, as a card draws
    // a line (the digit in its Japanese form after the Latin letters).
    const Converter &conv = editor().Screen();
    QImage expected(645, 390, QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        Font f;
        f.height = -15; // the stored -16 through the editor's converter, enlarged by half
        QFont qf = f.toQFont();
        p.setFont(qf);
        p.setPen(Qt::black);
        const int ascent = MeasureLineBox(qf, QFontMetrics(qf, &expected)).ascent;
        DrawnLine(QStringLiteral("TEL 1"), qf, &expected)
            .Draw(p, QPoint(conv.ToDevice(140), conv.ToDevice(250) + ascent));
    }
    EXPECT_EQ(canvas(), expected);
    const QRect ink = inkBox(canvas());
    EXPECT_GE(ink.left(), conv.ToDevice(140) - 1); // antialiasing may reach one pixel out
    EXPECT_GE(ink.top(), conv.ToDevice(250));
    EXPECT_LT(ink.right(), conv.ToDevice(140) + 40);

    QTest::keyClick(window->eTel, Qt::Key_Backspace);
    EXPECT_FALSE(tel->IsVisible());
    EXPECT_TRUE(canvasWhite());
}

TEST_F(MeishiTest, PostalMarkSitsDirectlyBeforeTheDigitsAndJapaneseIsKeptAsShiftJis)
{
    window->ePostNo->setText("100-0001");
    EXPECT_EQ(object<TextObject>("ePostNo")->DisplayText(), sjis::fromUtf8("〒100-0001"));
    window->eName->setText(QString::fromUtf8("山田太郎"));
    EXPECT_EQ(object<TextObject>("eName")->GetText(), "\x8E\x52\x93\x63\x91\xBE\x98\x59");
}

TEST_F(MeishiTest, PicturesAreChosenRemovedAndChosenAgain)
{
    const QString bmp = writePicture(path("back.BmP"), 645, 390, QColor(200, 30, 30), "BMP");
    dialogs.openFiles.push_back(bmp);
    window->bBackPicture->click();
    EXPECT_EQ(dialogs.fileDialogs.back().initialDir.right(4), QString("名刺背景"));
    EXPECT_EQ(window->bBackPicture->text(), QString("削除"));
    EXPECT_EQ(window->tBackPicture->text(), QString("back.BmP"));
    EXPECT_TRUE(editor().Modified());
    TRect r;
    object<GraphicObject>("bBackPicture")->GetRect(r);
    EXPECT_EQ(r, (TRect{0, 0, 910, 550}));
    // It covers the whole card, behind the text drawn later.
    window->eName->setText("X");
    EXPECT_EQ(canvas().pixel(0, 0) & 0xFFFFFF, 0xC81E1Eu);
    EXPECT_EQ(canvas().pixel(644, 389) & 0xFFFFFF, 0xC81E1Eu);
    const QRect nameArea(99, 28, 30, 20);
    bool black = false;
    for (int y = nameArea.top(); y <= nameArea.bottom(); ++y)
        for (int x = nameArea.left(); x <= nameArea.right(); ++x)
            black |= (canvas().pixel(x, y) & 0xFFFFFF) == 0;
    EXPECT_TRUE(black);

    // Removing keeps the picture in the object; choosing it again puts it back
    // at the same left and top.
    object<GraphicObject>("bBackPicture")->SetRect(TRect{50, 60, 960, 610});
    editor().SetModified(false);
    window->bBackPicture->click();
    EXPECT_EQ(window->bBackPicture->text(), QString("参照"));
    EXPECT_TRUE(window->tBackPicture->text().isEmpty());
    EXPECT_TRUE(editor().Modified());
    EXPECT_NE(object<GraphicObject>("bBackPicture")->GetPicture(), nullptr);
    dialogs.openFiles.push_back(bmp);
    window->bBackPicture->click();
    object<GraphicObject>("bBackPicture")->GetRect(r);
    EXPECT_EQ(r, (TRect{50, 60, 960, 610}));
}

TEST_F(MeishiTest, APictureLargerThanTheCardIsScaledToFitIt)
{
    const struct
    {
        QSize pixels;
        const char *format;
        QPoint at; // the object's left and top before
        TRect placed;
    } cases[] = {
        {{1600, 1000}, "PNG", {0, 0}, {0, 0, 880, 550}},
        // Moved in from the right edge; the top stays.
        {{2000, 400}, "BMP", {500, 300}, {0, 300, 910, 482}},
        {{400, 1200}, "PNG", {700, 100}, {700, 0, 883, 550}},
        // Pictures that fit keep the size of their pixels.
        {{645, 390}, "JPG", {0, 0}, {0, 0, 910, 550}},
        {{60, 40}, "PNG", {300, 200}, {300, 200, 385, 256}},
    };
    auto *back = object<GraphicObject>("bBackPicture");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pixels.width());
        if (back->IsVisible())
            window->bBackPicture->click();
        back->SetRect({c.at.x(), c.at.y(), c.at.x() + 10, c.at.y() + 10});
        const int steps = editor().UndoStack().count();
        dialogs.openFiles.push_back(writePicture(path(QStringLiteral("back.") + c.format),
                                                 c.pixels.width(), c.pixels.height(),
                                                 QColor(200, 30, 30), c.format));
        window->bBackPicture->click();
        TRect r;
        back->GetRect(r);
        EXPECT_EQ(r, c.placed);
        EXPECT_EQ(editor().UndoStack().count(), steps + 1);
    }
}

TEST_F(MeishiTest, PictureChoicesThatLoadNothingChangeNothing)
{
    // Cancelled dialog. It opened on every picture Plakuro reads.
    window->bPicture->click();
    EXPECT_EQ(window->bPicture->text(), QString("参照"));
    EXPECT_TRUE(dialogs.fileDialogs.back().filter.startsWith(
        "使える画像 (*.jpg;*.jpeg;*.bmp;*.png;*.gif;*.tif;*.tiff;*.webp)|"));
    // An extension the filter offers but the editor cannot load.
    QFile ico(path("logo.ico"));
    ASSERT_TRUE(ico.open(QIODevice::WriteOnly));
    ico.write("not read");
    ico.close();
    dialogs.openFiles.push_back(path("logo.ico"));
    window->bPicture->click();
    ASSERT_EQ(dialogs.infos.size(), 1);
    EXPECT_TRUE(dialogs.infos[0].contains("JPEG"));
    // A damaged JPEG: an error, and the button stays as it was.
    QFile jpg(path("broken.jpg"));
    ASSERT_TRUE(jpg.open(QIODevice::WriteOnly));
    jpg.write("\xFF\xD8 broken");
    jpg.close();
    dialogs.openFiles.push_back(path("broken.jpg"));
    window->bPicture->click();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(window->bPicture->text(), QString("参照"));
    EXPECT_TRUE(window->tPicture->text().isEmpty());
    EXPECT_FALSE(object<GraphicObject>("bPicture")->IsVisible());
    EXPECT_FALSE(editor().Modified());
    // A JPEG with a lower-case extension loads.
    dialogs.openFiles.push_back(writePicture(path("photo.jpg"), 100, 50, Qt::blue, "JPEG"));
    window->bPicture->click();
    TRect r;
    object<GraphicObject>("bPicture")->GetRect(r);
    EXPECT_EQ(r, (TRect{0, 0, 141, 71}));
}

TEST_F(MeishiTest, NewAndOpenLeaveTheCardUnmodified)
{
    window->eName->setText("A");
    window->eTel->setText("1");
    dialogs.answers.push_back(Dialogs::Answer::No);
    window->ToolButton1Click();
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(window->eName->text().isEmpty());
    EXPECT_FALSE(object<TextObject>("eTel")->IsVisible());
    EXPECT_FALSE(editor().Modified());
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_EQ(dialogs.questions.size(), 1);

    window->eName->setText("B");
    QTest::keyClicks(window->eCorp, "C");
    const QString file = path("card.pkd");
    dialogs.saveFiles.push_back(file);
    window->ToolButton3Click();
    window->ClearCard();
    dialogs.openFiles.push_back(file);
    window->ToolButton2Click();
    EXPECT_EQ(window->eName->text(), QString("B"));
    EXPECT_EQ(window->eCorp->text(), QString("C"));
    EXPECT_FALSE(editor().Modified());
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_EQ(dialogs.questions.size(), 1);
    QTest::keyClicks(window->eName, "x");
    EXPECT_TRUE(editor().Modified());
}

TEST_F(MeishiTest, SettingsAreReadAtStartAndWrittenAtEveryClose)
{
    const QString ini = path("plakuro.INI");
    EXPECT_FALSE(QFile::exists(ini));
    EXPECT_EQ(editor().Space().a, 10);
    EXPECT_EQ(editor().Space().d, 3);
    editor().SetSpace(PrintSpace{20, 7, 3, 3});
    window->eName->setText("x");
    dialogs.answers.push_back(Dialogs::Answer::Cancel);
    EXPECT_FALSE(window->FormCloseQuery());
    ASSERT_TRUE(QFile::exists(ini));
    window.reset();

    // The next run starts with the value written at the close.
    window = std::make_unique<TMeishi>(dialogs);
    EXPECT_EQ(editor().Space().a, 20);
    EXPECT_EQ(editor().Space().b, 7);
}

TEST_F(MeishiTest, TheWindowsPlaceAndZoomComeBackInTheNextRun)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    window->show();
    window->setGeometry(QRect(screen.topLeft() + QPoint(30, 20), QSize(897, 520)));
    window->SetZoomIndex(1);
    EXPECT_TRUE(window->FormCloseQuery());
    window.reset();
    window = std::make_unique<TMeishi>(dialogs);
    window->show();
    EXPECT_EQ(window->geometry(), QRect(screen.topLeft() + QPoint(30, 20), QSize(897, 520)));
    EXPECT_EQ(window->cZoom->currentText(), "150 %");
    EXPECT_DOUBLE_EQ(window->Canvas().Zoom(), 1.5);
    EXPECT_FALSE(window->isMaximized());

    // What a file holds, as far as it suits the screens there are now.
    struct Row
    {
        const char *window;
        QSize size;
        const char *zoom;
        bool maximized;
    };
    const Row rows[] = {
        // Off every screen: the place is forgotten, the window is centred.
        {"Left=-9000\nTop=-9000\nWidth=897\nHeight=480\nZoom=0", {897, 480}, "全体", false},
        // Larger than the screen: cut to it.
        {"Left=0\nTop=0\nWidth=90000\nHeight=90000\nZoom=300", QSize(897, screen.height()), "300 %",
         false},
        // A zoom the list lacks is 100 %.
        {"Maximized=1\nZoom=42", TMeishi::kFormSize, "100 %", true},
    };
    for (const Row &row : rows) {
        window.reset();
        QFile ini(path("plakuro.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray("[printspace]\na=20\n[Window]\n") + row.window + "\n");
        ini.close();
        window = std::make_unique<TMeishi>(dialogs);
        EXPECT_EQ(window->isMaximized(), row.maximized) << row.window;
        EXPECT_EQ(window->CurrentWindowPlace().size, row.size) << row.window;
        EXPECT_EQ(window->cZoom->currentText(), row.zoom) << row.window;
        EXPECT_EQ(editor().Space().a, 20) << row.window;
        window->show();
        EXPECT_TRUE(screen.contains(window->frameGeometry().center())) << row.window;
    }
}

TEST_F(MeishiTest, AnErrorInAHandlerIsReportedAndTheProgramGoesOn)
{
    // A picture file that cannot be read ends the click with its message.
    dialogs.openFiles.push_back(path("missing.jpg"));
    window->bPicture->click();
    ASSERT_FALSE(dialogs.errors.isEmpty());
    EXPECT_TRUE(dialogs.errors[0].contains("missing.jpg"));
    QTest::keyClicks(window->eName, "a");
    EXPECT_EQ(object<TextObject>("eName")->GetText(), "a");
}

TEST_F(MeishiTest, PrintingCellsOffThePaperAsksFirst)
{
    const QString pdf = printToPdf();
    // 3 cm to the right: the right column leaves the paper.
    editor().SetSpace(PrintSpace{10, 7, 3, 3, 300, 0});

    dialogs.answers = {Dialogs::Answer::No};
    window->bPrintClick();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].startsWith(
        "2 枚目、4 枚目、6 枚目、8 枚目と 10 枚目が用紙からはみ出します"))
        << dialogs.questions[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(pdf));

    dialogs.answers = {Dialogs::Answer::Yes};
    window->bPrintClick();
    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(pdf));

    // On the paper: printed without a question.
    QFile::remove(pdf);
    editor().SetSpace(PrintSpace{});
    window->bPrintClick();
    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(pdf));
}
