#pragma once
// 「テンプレート」: the gallery of designs, each drawn with the card's own data,
// grouped 横 / 縦 / 英語 (裏面) / 自分のテンプレート; choosing one lays the
// card out by it in one step. The user's own templates are renamed and
// deleted here, and the card is saved as one.

#include "editor/templates.h"

#include <QDialog>
#include <QString>
#include <array>
#include <vector>

class Dialogs;
class EditSession;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;

class TemplateDialog : public QDialog
{
    Q_OBJECT

public:
    // `programDir` is where the shipped templates are looked for from.
    TemplateDialog(QWidget *parent, EditSession &card, Dialogs &dialogs, const QString &programDir);

    // Shows the template `name` (of the group it is in) as chosen; false
    // when there is none.
    bool Select(const QString &name);
    // The chosen template's layout on the card (one step) and the dialog
    // closes; what cannot be read is said and the dialog stays.
    void ApplySelected();
    // The chosen template of the user's own under a new name / gone, after
    // asking; shipped ones cannot be.
    void RenameSelected();
    void DeleteSelected();
    // 「テンプレートとして保存…」 from the gallery: the new one is shown chosen.
    void SaveCurrent();

    // For the tests and the screenshots.
    QTabWidget *Groups() const { return tGroups; }
    QListWidget *List(TemplateGroup group) const { return lists[static_cast<int>(group)]; }
    const std::vector<TemplateFile> &Templates() const { return templates; }

private:
    void reload(const QString &select);
    const TemplateFile *chosen() const;
    void chosenChanged();

    EditSession &card;
    Dialogs &dialogs;
    QString programDir;
    std::vector<TemplateFile> templates;
    QTabWidget *tGroups;
    std::array<QListWidget *, 4> lists{};
    QLabel *lDescription;
    QPushButton *bApply, *bRename, *bDelete, *bSave;
};

// 「テンプレートとして保存…」: asks for the title, the description and whether
// the card's own data goes too, then writes the card as a template into
// the user's template folder (asking before one of the same name is
// replaced). The file's name without ".pkd" (the template's name), or
// empty when cancelled or failed (said).
QString SaveCardAsTemplate(QWidget *parent, const EditSession &card, Dialogs &dialogs);
