#include "card/syserror.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstring>

namespace {

struct Reason
{
    int error;
    const char *english; // Qt's own wording, where it differs from strerror's
    const char *japanese;
};

// The reasons a user meets when opening, saving and printing.
const Reason kReasons[] = {
    {ENOENT, "No such file or directory", "ファイルまたはフォルダがありません"},
    {EACCES, "Permission denied", "アクセスが拒否されました"},
    {EPERM, nullptr, "この操作は許可されていません"},
    {ENOSPC, "No space left on device", "ディスクがいっぱいです"},
    {EDQUOT, nullptr, "ディスクの使用量の上限に達しました"},
    {EROFS, nullptr, "読み取り専用のファイルシステムです"},
    {EISDIR, nullptr, "フォルダです"},
    {ENOTDIR, nullptr, "パスの途中にフォルダでないものがあります"},
    {EEXIST, nullptr, "同じ名前のファイルがすでにあります"},
    {ENAMETOOLONG, nullptr, "ファイル名が長すぎます"},
    {EMFILE, "Too many open files", "開いているファイルが多すぎます"},
    {ENFILE, nullptr, "システムで開いているファイルが多すぎます"},
    {EFBIG, nullptr, "ファイルが大きすぎます"},
    {EIO, nullptr, "入出力エラーが起きました"},
    {EBUSY, nullptr, "使用中です"},
    {ETXTBSY, nullptr, "使用中のファイルです"},
    {ENXIO, nullptr, "デバイスまたはアドレスがありません"},
    {ENODEV, nullptr, "デバイスがありません"},
    {EPIPE, nullptr, "出力先のパイプが閉じられました"},
    {ENOMEM, nullptr, "メモリが足りません"},
    {ELOOP, nullptr, "シンボリックリンクの階層が深すぎます"},
    {EXDEV, nullptr, "別のファイルシステムへは移動できません"},
    {EINVAL, nullptr, "引数が正しくありません"},
};

QString CText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error)).trimmed();
}

} // namespace

QString SystemErrorText(int error)
{
    for (const Reason &r : kReasons)
        if (r.error == error)
            return QString::fromUtf8(r.japanese);
    return CText(error);
}

QString JapaneseErrorText(const QString &reason)
{
    const QString text = reason.trimmed();
    // QIODevice's text when it was told nothing else.
    if (text == QLatin1String("Unknown error") ||
        text == QCoreApplication::translate("QIODevice", "Unknown error"))
        return QStringLiteral("原因不明のエラーです");
    for (const Reason &r : kReasons) {
        if ((r.english && text == QLatin1String(r.english)) || text == CText(r.error))
            return QString::fromUtf8(r.japanese);
    }
    return reason;
}
