#include "editor/backcard.h"
#include "editor/session.h"

#include "card/errors.h"
#include "card/files.h"

#include <QDir>

BackCard::BackCard(const QString &file) : path(file), session(std::make_unique<EditSession>())
{
    auto fail = [&](const QString &cause) {
        throw FileError(path, BackCardError(path, cause), cause);
    };
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(path, files::kCardFileLimit);
    } catch (const FileError &e) {
        fail(e.Cause());
    }
    try {
        if (session->LoadBytes(bytes) == EditSession::LoadResult::NotACard)
            fail(QStringLiteral("Plakuro のカードデータではありません"));
        session->FillFieldsFromCard();
    } catch (const FileError &) {
        throw;
    } catch (const CardError &e) {
        fail(QStringLiteral("壊れています: %1").arg(QString::fromUtf8(e.what())));
    }
    order = MakeDrawingOrder(session->Card());
}

BackCard::~BackCard() = default;

QString BackCardError(const QString &path, const QString &cause)
{
    return QStringLiteral("裏面のカード %1 を読めません: %2")
        .arg(QDir::toNativeSeparators(path), cause);
}
