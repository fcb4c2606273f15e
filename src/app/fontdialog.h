#pragma once
#include <QDialog>
#include <QFont>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

// The font dialog: family, size in points, bold and italic, and a sample
// line drawn in the choice. It offers no underline or strike-out (the card's
// object keeps its own).
//
// The family list begins with the face names cards carry ("ＭＳ Ｐゴシック",
// …) under those very names, so a card made here names its faces as every
// reader of the format expects; they draw through their substitutions. Then
// come the installed families that write Japanese, then the rest. A family
// whose name the card file cannot hold (characters code page 932 lacks, or
// longer than its 31 bytes) is not offered: it would come back from the file
// as another name.
class TFontDialog : public QDialog
{
    Q_OBJECT
public:
    // `initial` names the face as the card stores it; a face neither listed
    // nor installed is offered at the top under its own name, so an OK on it
    // keeps it.
    TFontDialog(const QFont &initial, QWidget *parent = nullptr);

    // The choice: family as listed, size in points, bold and italic. A size
    // shown as the dialog opened gives `initial`'s own size back.
    QFont SelectedFont() const;

    // The face names cards carry that the list offers first.
    static QStringList StoredFaces();

    QListWidget *lFamily;
    QComboBox *cSize;
    QCheckBox *cBold, *cItalic;
    QLabel *lSample;
    QPushButton *bOK, *bCancel;

private:
    void fillFamilies(const QString &initialFamily);
    void updateSample();
    // The size typed or picked, in points; 0 when it is no size.
    double sizeShown() const;

    QFont initial;
    QString initialSizeText;
};
