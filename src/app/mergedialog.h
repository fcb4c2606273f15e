#pragma once
// 「差し込み印刷」: the people of a list (CSV, .xlsx, .ods) on the card, each
// with their own data, printed or saved as a PDF.

#include "merge/columns.h"
#include "merge/list.h"

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <vector>

class Dialogs;
class EditSession;
class MergeCards;
class PrintCheck;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QTableWidget;
class QTimer;
class QToolButton;
struct MergePageTarget;

class MergeDialog : public QDialog
{
    Q_OBJECT

public:
    // `card` is the card being edited: the template. After a print or a PDF
    // the list and the columns chosen are kept in it (one step), and the
    // next merge of it starts from them. `printer` is the window's printer.
    MergeDialog(QWidget *parent, EditSession &card, QPrinter &printer, Dialogs &dialogs);
    ~MergeDialog() override;

    // Reads the list and shows its columns (each with the target chosen for
    // its name) and rows, all checked; what cannot be read is said, and
    // false comes back with the dialog as it was.
    bool LoadList(const QString &path, const QString &sheet = {});
    // The row at `index` (of the rows shown) in the preview.
    void ShowRow(int index);
    // The column `column` fills `target` instead (an unused one: 「使わない」).
    void ChooseTarget(int column, const MergeTarget &target);
    // The checked rows' cards as the vector PDF at `path`, with a progress
    // dialog; false when cancelled or failed (said), and no file is left.
    bool SavePdf(const QString &path);
    // The checked rows' cards on the printer the print dialog chooses.
    bool Print();

    // For the tests and the screenshots.
    QTableWidget *ColumnTable() const { return gColumns; }
    QTableWidget *RowTable() const { return gRows; }
    const QImage &FrontPreview() const { return frontImage; }
    const QImage &BackPreview() const { return backImage; }
    // Runs the print check of every row now (it otherwise runs while the
    // dialog waits).
    void CheckAllRows();

private:
    void build();
    void chooseList();
    void loadSheet(int index);
    // The card copies afresh from the template, and the row filler for the
    // columns as chosen now.
    void resetCards();
    void fillColumnTable();
    void fillRowTable();
    void targetChanged(int column, int choice);
    void checkSomeRows();
    void showProblems(int index, const QStringList &problems);
    QImage previewImage(EditSession &session);
    void updateSummary();
    bool checked(qint64 number) const;
    // Draws the checked rows through `target` with the progress dialog;
    // false when cancelled.
    bool drawPages(const MergePageTarget &target);
    void remember();
    bool guardedRun(const std::function<bool()> &run);

    EditSession &card;
    QPrinter &printer;
    Dialogs &dialogs;
    std::unique_ptr<EditSession> front, back;
    std::unique_ptr<MergeCards> cards;
    std::unique_ptr<PrintCheck> check;

    QString listPath, sheetName;
    QStringList sheets;
    ListRow header;
    std::vector<ListRow> rows;
    std::vector<MergeTarget> targets, automatic;
    std::vector<MergeChoice> choices;
    std::vector<QStringList> problems; // per row; checkedUpTo rows done
    int checkedUpTo = 0;
    int current = -1;
    QImage frontImage, backImage;

    QLineEdit *eList;
    QPushButton *bList;
    QComboBox *cSheet;
    QLabel *lSheet;
    QTableWidget *gColumns;
    QTableWidget *gRows;
    QLabel *lFront;
    QLabel *lBack;
    QToolButton *bPrev;
    QToolButton *bNext;
    QLabel *lRow;
    QLabel *lSummary;
    QCheckBox *cMixed;
    QCheckBox *cKeepEmpty;
    QLabel *lCleared;
    QPushButton *bPrint;
    QPushButton *bPdf;
    QTimer *checkTimer;
};
