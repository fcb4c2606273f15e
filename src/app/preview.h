#pragma once
#include "card/printspace.h"

#include <QDialog>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class BackCard;
class Dialogs;
class DrawingOrder;
class PageRecorder;
class PreviewControl;
class QComboBox;
class QLabel;
class QToolButton;
class QWidget;
class TPrintSetting;

// The print preview: the sheet at the current values, eight zoom levels, and
// a modeless options window whose "適用" redraws the page with new values.
class TPreview : public QDialog
{
    Q_OBJECT

public:
    explicit TPreview(QWidget *parent = nullptr);
    ~TPreview() override;

    // The drawing-order collection (borrowed; it must outlive the preview).
    void SetOrder(const DrawingOrder *drawingOrder) { order = drawingOrder; }
    // The paper in millimetres the page shows; A4 until set. Takes effect
    // at the next drawing (showing the window, 適用).
    void SetPaper(const QSizeF &mm) { paperMm = mm; }

    // The preview's own copy of the print-space values; "適用" changes them.
    std::int32_t a = 10;
    std::int32_t b = 7;
    std::int32_t c = 3;
    std::int32_t d = 3;
    std::int32_t ox = 0;
    std::int32_t oy = 0;
    bool cropMarks = false;
    BackSide back;

    PrintSpace Values() const { return PrintSpace{a, b, c, d, ox, oy, cropMarks, back}; }
    void SetValues(const PrintSpace &space);

    // Run by bPrint; set by whoever opens the preview.
    std::function<void()> onPrint;
    // Where bSavePdf asks for the file name and reports a failure (borrowed);
    // the Qt dialogs until set.
    void SetDialogs(Dialogs *d) { dialogs = d; }

    QWidget *ToolBar1;
    QToolButton *bPrint;
    QToolButton *SpeedButton2;
    QComboBox *cZoom;
    QToolButton *SpeedButton1;
    // 「PDF に保存…」: the sheet at the values and paper shown, as a vector PDF.
    QToolButton *bSavePdf;
    // 表 and 裏: which page of a two-sided sheet is shown; there only while
    // the back card could be read.
    QToolButton *bFront;
    QToolButton *bBack;
    PreviewControl *cPreview;
    // Names the cells that fall outside the paper at the values shown, on
    // either page, or says that the back card cannot be read; empty when
    // all is well.
    QLabel *lOffPaper;

    // Shown first at 「ページ全体」 instead of 100 % (RunPreview).
    bool openWholePage = false;

    void FormShow();
    void FormClose();
    void cZoomChange();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void bSavePdfClick();
    // Shows the front (0) or the back (1) of a two-sided sheet.
    void ShowPage(int index);
    void ApplyOptions();
    void CloseOptions();

    // The open options window, or null.
    TPrintSetting *Options() const { return options; }
    PageRecorder *Recorder() const { return recorder.get(); }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void render();
    std::unique_ptr<PageRecorder> newRecorder() const;
    void placeOffPaperLabel();

    const DrawingOrder *order = nullptr;
    Dialogs *dialogs = nullptr;
    QSizeF paperMm;
    QString lastPdfName;
    std::unique_ptr<PageRecorder> recorder;
    QPointer<TPrintSetting> options;
    // The back card shown, read at each drawing; null without one.
    std::unique_ptr<BackCard> backCard;
    QWidget *pageSeparator;
};

// The main window's preview command after the drawing order is built: shows
// the preview modally over `parent` on paper of `paperMm` (the printer's
// paper) with the given values, `print` wired to
// its "印刷" button (called with the preview's current values), and copies
// the preview's values back however it was closed. `dialogs` (borrowed)
// serves the PDF button; null means the Qt dialogs.
void RunPreview(QWidget *parent, const DrawingOrder &order, const QSizeF &paperMm,
                PrintSpace &space, std::function<void(const PrintSpace &)> print,
                Dialogs *dialogs = nullptr);
