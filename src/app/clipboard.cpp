// Deleting, and the selection through the system clipboard: copied objects
// travel as a card file image under their own MIME type, so another window
// (or another run) pastes them; the texts go along as plain text for other
// programs.
#include "app/meishi.h"
#include "card/freetext.h"
#include "card/object.h"
#include "card/sjis.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStatusBar>

namespace {

constexpr int kMessageMs = 10000;

} // namespace

bool TMeishi::clipboardHasObjects() const
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(QString::fromLatin1(kObjectsMime));
}

void TMeishi::DeleteSelection()
{
    if (session.SelectedObjects().empty())
        return;
    if (session.DeleteSelection() > 0)
        cDebug->showMessage(
            QStringLiteral("入力欄の項目は削除できません。項目を空にすると表示されません。"),
            kMessageMs);
}

void TMeishi::CopySelection()
{
    if (session.SelectedObjects().empty())
        return;
    const QByteArray bytes = session.CopySelection();
    if (bytes.isEmpty()) {
        cDebug->showMessage(QStringLiteral("選んだオブジェクトはコピーできません。"), kMessageMs);
        return;
    }
    QStringList texts;
    for (const Object *o : session.SelectedObjects()) {
        const auto *t = dynamic_cast<const TextObject *>(o);
        if (!t || !t->IsVisible())
            continue;
        // A field's line as it shows (with its label), an added text's lines.
        const std::string &shown =
            dynamic_cast<const FreeText *>(t) ? t->GetText() : t->DisplayText();
        if (!shown.empty())
            texts << sjis::toUnicode(shown);
    }
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(kObjectsMime), bytes);
    if (!texts.isEmpty())
        data->setText(texts.join(u'\n'));
    QGuiApplication::clipboard()->setMimeData(data);
}

void TMeishi::CutSelection()
{
    if (session.SelectedObjects().empty())
        return;
    CopySelection();
    if (session.DeleteSelection(QStringLiteral("切り取り")) > 0)
        cDebug->showMessage(
            QStringLiteral("入力欄の項目は削除できません。項目を空にすると表示されません。"),
            kMessageMs);
}

void TMeishi::PasteClipboard()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(QString::fromLatin1(kObjectsMime))) {
        cDebug->showMessage(
            QStringLiteral("クリップボードに貼り付けられるオブジェクトがありません。"), kMessageMs);
        return;
    }
    // Read before pasting: the clipboard may change while the card does.
    const QByteArray bytes = data->data(QString::fromLatin1(kObjectsMime));
    if (session.Paste(bytes) == 0)
        cDebug->showMessage(
            QStringLiteral("クリップボードに貼り付けられるオブジェクトがありません。"), kMessageMs);
}

void TMeishi::DuplicateSelection()
{
    if (session.SelectedObjects().empty())
        return;
    if (session.DuplicateSelection() == 0)
        cDebug->showMessage(QStringLiteral("選んだオブジェクトは複製できません。"), kMessageMs);
}
