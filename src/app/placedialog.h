#pragma once
#include "app/dialogs.h"
#include "card/rect.h"

#include <QDialog>

class QDoubleSpinBox;
class QPushButton;

// The position and size dialog: left and top, and where `sizing` offers it
// width and height, in millimetres with 0.1 mm steps (the model unit). A
// square's width and height follow each other.
class TPlaceDialog : public QDialog
{
    Q_OBJECT
public:
    TPlaceDialog(QWidget *parent, const TRect &rect, Dialogs::Sizing sizing);

    // The values shown, in model units. A box the user left as it was shown
    // gives the rectangle's own value, also one beyond the box's range; where
    // no size is offered, the rectangle keeps its size.
    TRect Rect() const;

    QDoubleSpinBox *eLeft, *eTop, *eWidth, *eHeight;
    QPushButton *bOK, *bCancel;

private:
    TRect original;
    Dialogs::Sizing sizing;
    // What each box showed when the dialog opened.
    double shownLeft, shownTop, shownWidth, shownHeight;
};

// Runs the dialog modally; true on OK, with the values in `rect`.
bool RunPlaceDialog(QWidget *parent, TRect &rect, Dialogs::Sizing sizing);

// A box for millimetres in 0.1 mm steps (one model unit), from `minimum` to
// `maximum`, showing `mm`; digits are typed without the input method.
QDoubleSpinBox *MillimetreBox(QWidget *parent, const char *name, double minimum, double maximum,
                              double mm);
