#include "app/lostmark.h"
#include "editor/session.h"

#include <QLineEdit>
#include <QPalette>

QString LostCharactersTip(const QString &list)
{
    return QStringLiteral("%1 は保存できません（Shift-JIS にない文字）").arg(list);
}

QString MarkLostCharacters(QLineEdit *edit)
{
    const QString list = EditSession::LostCharacters(edit->text());
    const QString tip = list.isEmpty() ? QString() : LostCharactersTip(list);
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
