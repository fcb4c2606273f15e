#include "app/arguments.h"

#include <QFileInfo>
#include <QUrl>
#include <cstdio>
#include <optional>
#include <string>

#ifndef PLAKURO_VERSION
#error "PLAKURO_VERSION comes from the project's version in CMake"
#endif

namespace {

// Options the application object takes out of the command line itself.
const QStringList kQtOptionsWithValue = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
    QStringLiteral("style"),           QStringLiteral("stylesheet"),
    QStringLiteral("display"),         QStringLiteral("name"),
    QStringLiteral("qmljsdebugger")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("nograb"),
                              QStringLiteral("dograb"), QStringLiteral("widgetcount"),
                              QStringLiteral("sync")};

Arguments usageError(const QString &message)
{
    Arguments a;
    a.action = Arguments::Action::UsageError;
    a.message = QStringLiteral("plakuro: %1 (plakuro --help)\n").arg(message);
    return a;
}

// A file manager may hand over a file:// address; anything else is a path,
// made absolute so the title, Ctrl+S and messages name the file opened.
QString cardPath(const QString &arg)
{
    const QUrl url(arg, QUrl::StrictMode);
    const QString path = url.isValid() && url.isLocalFile() ? url.toLocalFile() : arg;
    return QFileInfo(path).absoluteFilePath();
}

void write(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
    std::fflush(to);
}

} // namespace

Arguments ParseArguments(const QStringList &args)
{
    QStringList cards;
    std::optional<Arguments> error;
    bool options = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!options || arg == QStringLiteral("-") || !arg.startsWith(u'-')) {
            cards << arg;
            continue;
        }
        if (arg == QStringLiteral("--")) {
            options = false;
            continue;
        }
        if (arg == QStringLiteral("-h") || arg == QStringLiteral("--help")) {
            Arguments a;
            a.action = Arguments::Action::ShowHelp;
            return a;
        }
        if (arg == QStringLiteral("-v") || arg == QStringLiteral("--version")) {
            Arguments a;
            a.action = Arguments::Action::ShowVersion;
            return a;
        }
        QString name = arg.mid(arg.startsWith(QStringLiteral("--")) ? 2 : 1);
        const qsizetype eq = name.indexOf(u'=');
        const bool inlineValue = eq >= 0;
        if (inlineValue)
            name.truncate(eq);
        if (kQtOptionsWithValue.contains(name)) {
            if (!inlineValue)
                ++i;
            continue;
        }
        if (kQtFlags.contains(name) && !inlineValue)
            continue;
        // Kept until the end: a --help further on still answers.
        if (!error)
            error = usageError(QStringLiteral("不明なオプション %1").arg(arg));
    }
    if (error)
        return *error;
    if (cards.size() > 1)
        return usageError(QStringLiteral("開けるカードは 1 つだけです"));
    Arguments a;
    if (!cards.isEmpty())
        a.card = cardPath(cards.front());
    return a;
}

QString UsageText()
{
    return QStringLiteral(
        "使い方: plakuro [OPTION]... [CARD.pkd]\n"
        "名刺 (91 x 55 mm) をデザインし、QR コードを付けて、1 枚の用紙に 10 枚ずつ印刷します。\n"
        "CARD.pkd を指定すると、起動画面のあとにそのカードデータファイルを開きます。\n"
        "\nオプション:\n"
        "  -h, --help\n      この説明を表示して終了する\n"
        "  -v, --version\n      バージョンを表示して終了する\n"
        "\nQt の標準オプション (-platform, -style など) も使えます。\n"
        "画面なしでカードを作る・印刷用の PDF にするには plakuro-cli を使います "
        "(plakuro-cli --help)。\n"
        "終了状態: 0 正常終了。2 使い方の誤り。\n");
}

QString ProgramVersion()
{
    return QStringLiteral(PLAKURO_VERSION);
}

QString VersionText()
{
    return QStringLiteral("plakuro %1\n").arg(ProgramVersion());
}

int RunWithoutWindow(const Arguments &arguments)
{
    switch (arguments.action) {
    case Arguments::Action::Run:
        return -1;
    case Arguments::Action::ShowHelp:
        write(stdout, UsageText());
        return 0;
    case Arguments::Action::ShowVersion:
        write(stdout, VersionText());
        return 0;
    case Arguments::Action::UsageError:
        write(stderr, arguments.message);
        return 2;
    }
    return 2;
}
