#pragma once
#include "app/dialogs.h"

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// 「テキストの編集」: the lines of an added text, its alignment, the spacing
// of its lines and its fixed width (mm, 0.1 mm steps; 0 shows 「なし」).
class TFreeTextDialog : public QDialog
{
    Q_OBJECT
public:
    TFreeTextDialog(QWidget *parent, const Dialogs::FreeTextValues &values);

    // What the dialog shows now; a width box left as shown gives the text's
    // own width back, also one the box cannot show.
    Dialogs::FreeTextValues Values() const;

    QPlainTextEdit *eText;
    QComboBox *cAlign;
    QSpinBox *eSpacing;
    QDoubleSpinBox *eWidth;
    QPushButton *bOK, *bCancel;

private:
    int ownWidth;
    double shownWidth;
};

// 「図形の書式」: fill (not for a line) and outline colours, each with 「なし」,
// the outline's width and a rectangle's corner radius, in mm.
class TShapeDialog : public QDialog
{
    Q_OBJECT
public:
    using ChooseColor = std::function<bool(std::int32_t &)>;
    TShapeDialog(QWidget *parent, const Dialogs::ShapeValues &values, ChooseColor choose);

    Dialogs::ShapeValues Values() const;

    QPushButton *bFill, *bStroke;
    QCheckBox *cNoFill, *cNoStroke;
    QDoubleSpinBox *eStrokeWidth, *eRadius;
    QPushButton *bOK, *bCancel;

private:
    void showColors();

    Dialogs::ShapeValues original;
    ChooseColor choose;
    // The colours the buttons show; kept while 「なし」 is checked so
    // unchecking brings them back.
    std::int32_t fillColor, strokeColor;
};

// Run the dialogs modally; true on OK with the values confirmed.
bool RunFreeTextDialog(QWidget *parent, Dialogs::FreeTextValues &values);
bool RunShapeDialog(QWidget *parent, Dialogs::ShapeValues &values,
                    const TShapeDialog::ChooseColor &choose);
