#include "app/preview.h"
#include "app/previewcontrol.h"
#include "app/printsetting.h"
#include "card/converter.h"
#include "card/defaultcard.h"
#include "editor/session.h"
#include "print/pagerecorder.h"
#include "print/sheet.h"
#include "print/testcard.h"
#include "realistic_texts.h"
#include "scripted_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const QImage &shownPage(const TPreview &p)
{
    return p.cPreview->Recorder()->Page();
}

} // namespace

TEST(PreviewControl, ZoomsCentresAndScrolls)
{
    SolidCard card(kCardColor);
    auto rec = std::make_unique<PageRecorder>();
    DrawPreviewSheet(*rec, card.Order(), PrintSpace{10, 7, 3, 3});
    PreviewControl ctl;
    ctl.resize(478, 401);
    ctl.SetRecorder(rec.get());
    ctl.show();

    EXPECT_EQ(ctl.Zoom(), 100);
    EXPECT_EQ(ctl.PageDisplaySize(), QSize(794, 1123));
    EXPECT_GT(ctl.horizontalScrollBar()->maximum(), 0);
    EXPECT_TRUE(ctl.horizontalScrollBar()->hasTracking());
    EXPECT_TRUE(ctl.verticalScrollBar()->hasTracking());
    // At 100 % the page is shown pixel for pixel: the first cell's corner.
    const QRect at100 = ctl.PageRect();
    QImage shot = ctl.viewport()->grab().toImage();
    EXPECT_TRUE(isCardColor(shot.pixel(at100.left() + 37, at100.top() + 26)));
    EXPECT_TRUE(isWhite(shot.pixel(at100.left() + 36, at100.top() + 25)));

    ctl.horizontalScrollBar()->setValue(50);
    ctl.verticalScrollBar()->setValue(70);
    ctl.SetZoom(400);
    EXPECT_EQ(ctl.Zoom(), 400);
    EXPECT_EQ(ctl.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(ctl.verticalScrollBar()->value(), 0);
    EXPECT_EQ(ctl.PageRect().topLeft(), at100.topLeft());

    ctl.SetZoom(1);
    ctl.SetZoom(2001);
    EXPECT_EQ(ctl.Zoom(), 400);

    ctl.SetZoom(25);
    EXPECT_EQ(ctl.PageDisplaySize(), QSize(198, 281));
    const QRect small = ctl.PageRect();
    const QSize view = ctl.viewport()->size();
    EXPECT_EQ(small.left(), (view.width() - 198) / 2);
    EXPECT_EQ(small.top(), (view.height() - 281) / 2);
    shot = ctl.viewport()->grab().toImage();
    EXPECT_TRUE(isWhite(shot.pixel(small.left() + 2, small.top() + 2)));
    EXPECT_EQ(shot.pixel(2, 2), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(shot.pixel(small.left() - 1, small.top() + 10), qRgb(0, 0, 0));

    // A destroyed recorder is let go of.
    rec.reset();
    EXPECT_EQ(ctl.Recorder(), nullptr);
    shot = ctl.viewport()->grab().toImage();
    EXPECT_EQ(shot.pixel(view.width() / 2, view.height() / 2), qRgb(0x80, 0x80, 0x80));
}

TEST(Preview, OptionsWindowAppliesAndCloses)
{
    SolidCard card(kCardColor);
    TPreview p;
    p.SetOrder(&card.Order());
    QSignalSpy zoomChanges(p.cZoom, &QComboBox::currentIndexChanged);
    p.cZoom->setCurrentIndex(0);
    zoomChanges.clear();
    p.show();
    EXPECT_EQ(p.windowTitle(), "印刷プレビュー");
    EXPECT_EQ(p.cZoom->currentText(), "100%");
    EXPECT_EQ(zoomChanges.count(), 0);
    EXPECT_EQ(p.cPreview->Zoom(), 100);
    EXPECT_TRUE(isCardColor(shownPage(p).pixel(37, 26)));
    EXPECT_TRUE(isWhite(shownPage(p).pixel(36, 26)));

    p.cZoom->setCurrentIndex(p.cZoom->findText("400%"));
    EXPECT_EQ(p.cPreview->Zoom(), 400);
    p.cZoom->setCurrentIndex(p.cZoom->findText("25%"));
    EXPECT_EQ(p.cPreview->Zoom(), 25);
    // The fitting zooms: the whole page with its margins, or its width, in
    // the window as it is, with no scroll bar the fit does not need.
    p.cZoom->setCurrentIndex(p.cZoom->findText("ページ全体"));
    QSize page = p.cPreview->PageDisplaySize();
    const QSize area = p.cPreview->size();
    EXPECT_TRUE(page.width() + 24 <= area.width() && page.height() + 24 <= area.height());
    EXPECT_TRUE(page.width() > area.width() - 40 || page.height() > area.height() - 40);
    EXPECT_FALSE(p.cPreview->verticalScrollBar()->isVisible());
    p.cZoom->setCurrentIndex(p.cZoom->findText("幅に合わせる"));
    page = p.cPreview->PageDisplaySize();
    EXPECT_LE(page.width() + 24, p.cPreview->viewport()->width());
    EXPECT_GT(page.width(), area.width() - 60);
    EXPECT_FALSE(p.cPreview->horizontalScrollBar()->isVisible());
    p.cZoom->setCurrentIndex(p.cZoom->findText("25%"));

    p.SpeedButton2->click();
    QPointer<TPrintSetting> options = p.Options();
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->isVisible());
    EXPECT_FALSE(options->isModal());
    EXPECT_EQ(options->bOK->text(), "適用");
    EXPECT_EQ(options->eA->text(), "10");
    p.SpeedButton2->click();
    EXPECT_EQ(p.Options(), options);
    EXPECT_EQ(p.findChildren<TPrintSetting *>().size(), 1);

    QPointer<PageRecorder> before = p.Recorder();
    options->eA->setText("20");
    options->bOK->click();
    EXPECT_EQ(p.a, 20);
    EXPECT_TRUE(options->isVisible());
    EXPECT_EQ(before, nullptr);
    EXPECT_EQ(p.cPreview->Recorder(), p.Recorder());
    EXPECT_TRUE(isCardColor(shownPage(p).pixel(75, 26)));
    EXPECT_TRUE(isWhite(shownPage(p).pixel(74, 26)));

    // 閉じる without 適用 drops what was typed.
    options->eA->setText("30");
    options->bCancel->click();
    EXPECT_EQ(p.Options(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(options, nullptr);
    EXPECT_EQ(p.a, 20);
    EXPECT_TRUE(isCardColor(shownPage(p).pixel(75, 26)));

    // The close box acts as 閉じる; the next オプション opens a new window.
    p.SpeedButton2->click();
    ASSERT_NE(p.Options(), nullptr);
    EXPECT_EQ(p.Options()->eA->text(), "20");
    p.Options()->close();
    EXPECT_EQ(p.Options(), nullptr);

    // Closing the preview destroys an open options window.
    p.SpeedButton2->click();
    options = p.Options();
    ASSERT_NE(options, nullptr);
    p.SpeedButton1->click();
    EXPECT_FALSE(p.isVisible());
    EXPECT_EQ(options, nullptr);
}

TEST(Preview, RunPreviewHandsValuesBackAndPrintsWithThem)
{
    SolidCard card(kCardColor);
    QWidget owner;
    PrintSpace space;
    std::vector<PrintSpace> printed;
    QTimer::singleShot(0, [&] {
        TPreview *p = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *candidate = qobject_cast<TPreview *>(w); candidate && candidate->isVisible())
                p = candidate;
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->isModal());
        p->SpeedButton2->click();
        p->Options()->eB->setText("12");
        p->Options()->eOY->setText("-15");
        p->Options()->bOK->click();
        p->bPrint->click();
        p->SpeedButton1->click();
    });
    RunPreview(&owner, card.Order(), QSizeF(210, 297), space,
               [&](const PrintSpace &with) { printed.push_back(with); });
    EXPECT_EQ(space.b, 12);
    EXPECT_EQ(space.a, 10);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0], (PrintSpace{10, 12, 3, 3, 0, -15}));
    EXPECT_EQ(space, printed[0]);
    EXPECT_EQ(owner.findChildren<TPreview *>().size(), 0);
}

TEST(Preview, PageHasThePrintersPaper)
{
    SolidCard card(kCardColor);
    TPreview p;
    p.SetOrder(&card.Order());
    p.SetPaper(QSizeF(215.9, 279.4)); // Letter
    p.show();
    EXPECT_EQ(shownPage(p).size(), QSize(816, 1056));
    EXPECT_EQ(p.cPreview->PageDisplaySize(), QSize(816, 1056));
    EXPECT_TRUE(isCardColor(shownPage(p).pixel(37, 26)));
    // The bottom row ends at 26 + 4 x 218 + 207 = 1105, below the paper.
    EXPECT_EQ(p.lOffPaper->text(), "9 枚目と 10 枚目が用紙からはみ出します");
    p.SetPaper(QSizeF(210, 297));
    p.SpeedButton2->click();
    p.Options()->bOK->click();
    EXPECT_EQ(p.lOffPaper->text(), "");
    // No paper, or an absurd one, is A4: the page image stays small.
    EXPECT_EQ(PageRecorder().PageSizePixels(), QSize(794, 1123));
    EXPECT_EQ(PageRecorder(QSizeF(1e7, 297)).PageSizePixels(), QSize(794, 1123));
}

namespace {

// The realistic card, typed into a session, with its drawing order.
struct RealisticCard
{
    RealisticCard()
    {
        for (const auto &[key, text] : kRealisticTexts)
            session.EditChanged(key, QString::fromUtf8(text));
        session.ShowQr(true);
        order = MakeDrawingOrder(session.Card());
    }
    EditSession session;
    DrawingOrder order;
};

// A control showing `order`'s sheet at `space` on A4, or on `paperMm`.
struct ShownSheet
{
    ShownSheet(const DrawingOrder &order, const PrintSpace &space, QSizeF paperMm = {})
        : rec(std::make_unique<PageRecorder>(paperMm))
    {
        DrawPreviewSheet(*rec, order, space);
        ctl.resize(900, 1300);
        ctl.SetRecorder(rec.get());
        ctl.SetSheet(&order, space);
    }
    std::unique_ptr<PageRecorder> rec;
    PreviewControl ctl;
};

QString runTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(QStandardPaths::findExecutable(tool), args);
    EXPECT_TRUE(p.waitForFinished(60000)) << tool.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(PreviewControl, ZoomedPageIsDrawnAnewSharp)
{
    RealisticCard card;
    ShownSheet shown(card.order, PrintSpace{10, 7, 3, 3});
    TRect qr;
    card.session.Card().Find(kQrKey)->GetRect(qr);
    // 2000 % is past the largest kept card image: the cells are drawn straight.
    for (int zoom : {400, 2000}) {
        SCOPED_TRACE(zoom);
        PreviewControl &ctl = shown.ctl;
        ctl.SetZoom(zoom);
        // The first cell at the page's 96 dpi times the zoom.
        const int dpi = 96 * zoom / 100;
        const auto left = static_cast<int>(dpi * (10 * kInchPerMm));
        const auto top = static_cast<int>(dpi * (7 * kInchPerMm));
        const Converter conv(static_cast<int>(dpi / 254.0 * kCardWidthModel));
        const int y = top + conv.ToDevice((qr.top + qr.bottom) / 2);
        const int x0 = left + conv.ToDevice(qr.left), x1 = left + conv.ToDevice(qr.right);
        ctl.horizontalScrollBar()->setValue(x0 - 20);
        ctl.verticalScrollBar()->setValue(y - 100);
        const QImage shot = ctl.viewport()->grab().toImage();
        const QPoint at = ctl.PageRect().topLeft();
        // Along a line through the symbol every step from a dark module to a
        // light one is one pixel: nothing grey between.
        int edges = 0, blurred = 0;
        for (int x = x0; x < qMin(x1, x0 + ctl.viewport()->width() - 40); ++x) {
            const int a = qGray(shot.pixel(at.x() + x, at.y() + y));
            const int b = qGray(shot.pixel(at.x() + x + 1, at.y() + y));
            edges += (a < 64) != (b < 64);
            blurred += b >= 64 && b <= 192;
        }
        EXPECT_GE(edges, 6);
        EXPECT_EQ(blurred, 0);
    }
}

TEST(PreviewControl, PixelRatioTwoDrawsTwiceThePixels)
{
    SolidCard card(kCardColor);
    ShownSheet shown(card.Order(), PrintSpace{10, 7, 3, 3});
    PreviewControl &ctl = shown.ctl;
    QImage shot(ctl.viewport()->size() * 2, QImage::Format_RGB32);
    shot.setDevicePixelRatio(2);
    ctl.viewport()->render(&shot);
    const QPoint at = ctl.PageRect().topLeft() * 2;
    // At 192 dpi the cell starts at 75 and is 687 wide; the 96 dpi page
    // enlarged would start at 74 and end at 760.
    EXPECT_TRUE(isWhite(shot.pixel(at.x() + 74, at.y() + 100)));
    EXPECT_TRUE(isCardColor(shot.pixel(at.x() + 75, at.y() + 100)));
    EXPECT_TRUE(isCardColor(shot.pixel(at.x() + 75 + 686, at.y() + 100)));
    EXPECT_TRUE(isWhite(shot.pixel(at.x() + 75 + 687, at.y() + 100)));
}

TEST(PreviewControl, MarksTheCellsOffThePaper)
{
    SolidCard card(kCardColor);
    // Letter: the bottom row ends at 1105, below the paper's 1056.
    ShownSheet shown(card.Order(), PrintSpace{10, 7, 3, 3}, QSizeF(215.9, 279.4));
    PreviewControl &ctl = shown.ctl;
    EXPECT_EQ(ctl.OffPaperCells(), (std::vector<int>{9, 10}));
    const QImage shot = ctl.viewport()->grab().toImage();
    const QPoint at = ctl.PageRect().topLeft();
    const int row5 = 26 + 4 * 218;
    // A dash of the red outline within 12 pixels down the cell's left edge.
    auto outlined = [&](int y) {
        for (int k = 0; k < 12; ++k) {
            const QRgb px = shot.pixel(at.x() + 37, at.y() + y + k);
            if (qRed(px) > 150 && qGreen(px) < 40 && qBlue(px) < 40)
                return true;
        }
        return false;
    };
    // Outlined, down past the paper's edge onto the ground; tinted inside.
    EXPECT_TRUE(outlined(row5 + 20));
    EXPECT_TRUE(outlined(1070));
    EXPECT_FALSE(outlined(26 + 3 * 218 + 20));
    EXPECT_FALSE(isCardColor(shot.pixel(at.x() + 100, at.y() + row5 + 50)));
    EXPECT_TRUE(isCardColor(shot.pixel(at.x() + 100, at.y() + 26 + 3 * 218 + 50)));
}

TEST(Preview, SavesTheSheetAsAVectorPdf)
{
    if (QStandardPaths::findExecutable("pdffonts").isEmpty() ||
        QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RealisticCard card;
    ScriptedDialogs dialogs;
    TPreview p;
    p.SetOrder(&card.order);
    p.SetDialogs(&dialogs);
    p.SetPaper(QSizeF(215.9, 279.4)); // Letter
    p.show();
    EXPECT_EQ(p.bSavePdf->text(), "PDF に保存…");
    EXPECT_GT(p.bSavePdf->x(), p.SpeedButton1->x());

    dialogs.saveFiles = {dir.filePath("sheet"), "", "/nonexistent-folder/sheet.pdf"};
    p.bSavePdf->click();
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].filter, "PDF ファイル (*.pdf)|*.pdf");
    const QString pdf = dir.filePath("sheet.pdf");
    ASSERT_TRUE(QFileInfo::exists(pdf));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    // Past the header and the rule: at least one embedded font.
    EXPECT_GE(runTool("pdffonts", {pdf}).split('\n', Qt::SkipEmptyParts).size(), 3);
    EXPECT_EQ(runTool("pdftotext", {pdf, "-"}).count("山田"), kSheetCells);
    EXPECT_TRUE(runTool("pdfinfo", {pdf}).contains("612 x 792 pts"));

    // Cancelled: nothing asked of the disk, nothing said.
    p.bSavePdf->click();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    // A folder that is not there: said, naming the file, and no file left.
    p.bSavePdf->click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(
        dialogs.errors[0].startsWith("/nonexistent-folder/sheet.pdf に PDF を保存できません"))
        << dialogs.errors[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists("/nonexistent-folder/sheet.pdf"));
}
