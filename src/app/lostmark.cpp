#include "app/lostmark.h"
#include "editor/session.h"

#include <QLineEdit>
#include <QPalette>
#include <QStringList>

QString LostCharactersTip(const QString &list)
{
    return QStringLiteral("%1 は保存できません（Shift-JIS にない文字）").arg(list);
}

QString MarkLostCharacters(QLineEdit *edit)
{
    const QString list = EditSession::LostCharacters(edit->text());
    QStringList lines;
    if (!list.isEmpty())
        lines << LostCharactersTip(list);
    if (const QString cut = EditSession::CutWarning(edit->text()); !cut.isEmpty())
        lines << cut;
    const QString tip = lines.join(u'\n');
    if (tip == edit->toolTip())
        return {};
    edit->setToolTip(tip);
    if (tip.isEmpty()) {
        // An empty palette resolves nothing: the edit takes its colours from
        // the window again.
        edit->setPalette(QPalette());
        return {};
    }
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, kLostBackground);
    edit->setPalette(pal);
    return tip;
}
