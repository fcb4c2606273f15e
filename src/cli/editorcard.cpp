#include "cli/editorcard.h"
#include "cli/args.h"
#include "cli/files.h"

#include "card/cardfile.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/object.h"
#include "card/picture.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "qr/qrcode.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

namespace {

// The maximum length of the editor's edits, in UTF-16 units.
constexpr qsizetype kEditMaxLength = 32767;

TextObject &textObject(const Objects &card, const std::string &key)
{
    auto *obj = dynamic_cast<TextObject *>(card.Find(key));
    if (!obj)
        throw CardError("カードに \"" + key + "\" の文字オブジェクトがありません");
    return *obj;
}

} // namespace

CardPtr ReadCardFile(const QString &path)
{
    const QByteArray bytes = ReadWholeFile(path);
    // A file too short to hold the magic is no card data file either.
    const QByteArray magic = QByteArray(1, '\x05') + kCardMagic;
    MemoryStream s(bytes);
    CardPtr card(new Objects);
    try {
        if (!bytes.startsWith(magic) || !LoadCard(&s, *card))
            throw FileFailure(path, QStringLiteral("Plakuro のカードデータファイルではありません"));
    } catch (const CardError &e) {
        throw FileFailure(path,
                          QStringLiteral("壊れています: %1").arg(QString::fromUtf8(e.what())));
    }
    return card;
}

std::string EditorCard::EditText(const QString &text)
{
    return sjis::fromUnicode(text.left(kEditMaxLength));
}

EditorCard::EditorCard()
    : card(new Objects), canvas(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32)
{
    canvas.fill(Qt::white);
    BuildDefaultCard(*card);
}

void EditorCard::Open(const QString &path)
{
    CardPtr read = ReadCardFile(path);
    RepairCard(*read);
    card = std::move(read);
    // Each edit's change signal stores its text back. Only the final state
    // counts: the repaint below measures every shown text again, and a text
    // that was shown stays shown.
    for (const FieldInfo &f : kFields) {
        TextObject &obj = textObject(*card, f.key);
        obj.SetText(EditText(sjis::toUnicode(obj.GetText())));
    }
    try {
        updateQr();
    } catch (const CardError &e) {
        throw FileFailure(path, QString::fromUtf8(e.what()));
    }
    RefreshCanvas();
}

void EditorCard::EditChanged(const std::string &key, const QString &text)
{
    textObject(*card, key).SetText(EditText(text));
    updateQr();
    RefreshCanvas();
}

void EditorCard::SetTexts(const std::vector<std::pair<std::string, std::string>> &sjisTexts)
{
    for (const auto &[key, text] : sjisTexts)
        textObject(*card, key).SetText(text);
    updateQr();
}

void EditorCard::ShowQr(bool show)
{
    Object *qr = card->Find(kQrKey);
    if (!qr || qr->IsVisible() == show)
        return;
    qr->SetVisible(show);
    updateQr();
    RefreshCanvas();
}

void EditorCard::ChoosePicture(const char *key, const QString &file)
{
    auto *obj = dynamic_cast<GraphicObject *>(card->Find(key));
    if (!obj)
        throw CardError(std::string("カードに \"") + key + "\" の画像オブジェクトがありません");
    if (obj->IsVisible()) {
        obj->SetVisible(false);
        RefreshCanvas();
    }
    if (file.isEmpty())
        return;
    // The editor's file dialog hands over an absolute path.
    const QString path = QFileInfo(file).absoluteFilePath();
    std::unique_ptr<Picture> picture;
    try {
        picture = LoadPictureFile(path);
    } catch (const CardError &e) {
        throw Failure(Failure::FileError, QString::fromUtf8(e.what()));
    }
    if (!picture)
        throw FileFailure(path, QStringLiteral("使える画像は JPEG (.jpg, .jpeg) と"
                                               "ビットマップ (.bmp) だけです"));
    obj->SetPicture(std::move(picture), screen, sjis::fromUnicode(QDir::toNativeSeparators(path)));
    obj->SetVisible(true);
    RefreshCanvas();
}

void EditorCard::updateQr()
{
    qrTooLong = ::UpdateQrCode(*card, screen) == QrUpdate::TooLong;
}

void EditorCard::RefreshCanvas()
{
    QPainter p(&canvas);
    p.fillRect(canvas.rect(), Qt::white);
    RenderCard(*card, &p, screen);
}

QByteArray EditorCard::SaveBytes() const
{
    MemoryStream s;
    SaveCard(&s, *card);
    return s.Data();
}
