#pragma once
#include "card/printspace.h"

#include <QDialog>
#include <QImage>
#include <cstdint>

class Dialogs;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The print options window: the four print-space values (mm) with a live
// sketch of the ten card positions on an A4 sheet; below them the card
// stock (presets of the four values) and the sheet's shift (0.1 mm), and at
// the bottom the back side: a second card file and the edge it turns on.
//
// Modal use (RunPrintOptions): bOK accepts, bCancel rejects; either way the
// caller reads the working values back. Modeless use (the preview): the
// caller disconnects bOK's and bCancel's clicked() from this window and
// connects its own handlers. Esc and the close box both click bCancel, so
// they follow whatever handler bCancel has.
class TPrintSetting : public QDialog
{
    Q_OBJECT

public:
    explicit TPrintSetting(QWidget *parent = nullptr);

    // Working values: the last text that converted in each edit.
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
    std::int32_t d = 0;
    std::int32_t ox = 0;
    std::int32_t oy = 0;
    bool cropMarks = false;
    BackSide back;

    PrintSpace Values() const { return PrintSpace{a, b, c, d, ox, oy, cropMarks, back}; }
    void SetValues(const PrintSpace &space);
    // Where 「選択…」 asks for the back's file and reports one it cannot read
    // (borrowed); the Qt dialogs until set.
    void SetDialogs(Dialogs *d) { dialogs = d; }

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLineEdit *eA;
    QLineEdit *eB;
    QLineEdit *eC;
    QLineEdit *eD;
    QPushButton *bOK;
    QPushButton *bCancel;
    QGroupBox *GroupBox1;
    QLabel *cPaper;
    QLabel *LabelStock;
    QComboBox *cStock; // the presets, then 「ユーザー設定」
    QLabel *LabelOX;
    QLabel *LabelOY;
    QLineEdit *eOX;
    QLineEdit *eOY;
    QCheckBox *cCropMarks;
    QLabel *LabelBack;
    QLabel *lBackFile; // the back's file, or 「なし」
    QPushButton *bBackChoose;
    QPushButton *bBackNone;
    QCheckBox *cShortEdge;

    // Fills the edits from the working values, eA to eD then eOX and eOY,
    // ticks the crop marks box, and draws the sketch.
    void FormShow();
    void eAChange();
    void eBChange();
    void eCChange();
    void eDChange();
    void eOXChange();
    void eOYChange();
    // A preset puts its four values into eA..eD; 「ユーザー設定」 changes nothing.
    void cStockChange();
    void DrawPaperSketch();
    // 「選択…」: a card file from the file dialog becomes the back, once it
    // has been read as a card; one that cannot be read is reported and the
    // back stays as it was.
    void bBackChooseClick();
    // 「なし」: no back side.
    void bBackNoneClick();

    // What cPaper shows: 93 x 130 pixels.
    const QImage &Sketch() const { return sketch; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void editChanged(QLineEdit *edit, std::int32_t &value);
    // The fine shifts' change handler: as editChanged, but an empty field or
    // a lone sign is 0 and stays as typed.
    void shiftChanged(QLineEdit *edit, std::int32_t &value);
    // Moves controls right of a label that would run under them.
    void fitLabels();
    // Selects the preset the four values match, else 「ユーザー設定」.
    void showStock();
    void showBack();

    QImage sketch;
    bool closing = false;
    Dialogs *dialogs = nullptr;
};

// The main window's print options command: shows the window modally over
// `parent` with the given values and copies the working values back however
// it was closed (there is no way to discard typed values). `dialogs`
// (borrowed) serves 「選択…」; null means the Qt dialogs.
void RunPrintOptions(QWidget *parent, PrintSpace &space, Dialogs *dialogs = nullptr);
