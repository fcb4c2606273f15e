#include "cli/args.h"

#include <QDir>

Failure::Failure(Status status, const QString &message)
    : std::runtime_error(message.toStdString()), status_(status)
{}

Failure FileFailure(const QString &path, const QString &reason)
{
    return Failure(Failure::FileError,
                   QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason);
}

Failure UsageFailure(const QString &message)
{
    return Failure(Failure::UsageError, message);
}

bool ParsedCommand::Has(const std::string &name) const
{
    for (const auto &[n, v] : options)
        if (n == name)
            return true;
    return false;
}

QString ParsedCommand::Value(const std::string &name) const
{
    for (const auto &[n, v] : options)
        if (n == name)
            return v;
    return {};
}

namespace {

const OptionDef *findOption(const CommandDef &def, const QString &arg)
{
    for (const OptionDef &o : def.options) {
        if (arg.startsWith(QStringLiteral("--")) && arg.mid(2) == QLatin1String(o.name))
            return &o;
        if (o.shortName && arg.size() == 2 && arg[0] == u'-' && arg[1] == QLatin1Char(o.shortName))
            return &o;
    }
    return nullptr;
}

QString optionLabel(const OptionDef &o)
{
    QString label = o.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(o.shortName))
                                : QStringLiteral("    ");
    label += QStringLiteral("--") + QLatin1String(o.name);
    if (o.valueName)
        label += u' ' + QString::fromUtf8(o.valueName);
    return label;
}

} // namespace

ParsedCommand ParseCommand(const CommandDef &def, const QStringList &args)
{
    const QString command = QString::fromUtf8(def.name);
    ParsedCommand out;
    bool operandsOnly = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (operandsOnly || arg == QStringLiteral("-") || !arg.startsWith(u'-')) {
            out.positional << arg;
            continue;
        }
        if (arg == QStringLiteral("--")) {
            operandsOnly = true;
            continue;
        }
        if (arg == QStringLiteral("-h") || arg == QStringLiteral("--help")) {
            out.help = true;
            continue;
        }
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QStringLiteral("--")) && arg.contains(u'=')) {
            const qsizetype eq = arg.indexOf(u'=');
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            inlineValue = true;
        }
        const OptionDef *o = findOption(def, arg);
        if (!o)
            throw UsageFailure(QStringLiteral("%1: 不明なオプション %2 (plakuro-cli %1 --help)")
                                   .arg(command, arg));
        if (!o->valueName && inlineValue)
            throw UsageFailure(QStringLiteral("%1: %2 は値をとりません").arg(command, arg));
        if (o->valueName && !inlineValue) {
            if (i + 1 >= args.size())
                throw UsageFailure(QStringLiteral("%1: %2 のあとに %3 がありません")
                                       .arg(command, arg, QString::fromUtf8(o->valueName)));
            value = args[++i];
        }
        if (!o->repeatable && out.Has(o->name))
            throw UsageFailure(QStringLiteral("%1: %2 が二度あります").arg(command, arg));
        out.options.emplace_back(o->name, value);
    }
    if (out.help)
        return out;
    const qsizetype n = out.positional.size();
    if (n < def.minPositional || n > def.maxPositional)
        throw UsageFailure(QStringLiteral("%1: ファイルの数が違います。使い方: plakuro-cli %2")
                               .arg(command, QString::fromUtf8(def.synopsis)));
    return out;
}

QString CommandHelp(const CommandDef &def)
{
    QString text = QStringLiteral("使い方: plakuro-cli %1\n%2\n\nオプション:\n")
                       .arg(QString::fromUtf8(def.synopsis), QString::fromUtf8(def.summary));
    for (const OptionDef &o : def.options)
        text += QStringLiteral("  %1\n      %2\n").arg(optionLabel(o), QString::fromUtf8(o.help));
    text += QStringLiteral("  -h, --help\n      この説明を表示する\n");
    if (def.details && *def.details)
        text += u'\n' + QString::fromUtf8(def.details);
    return text;
}

QString ToolHelp(const std::vector<const CommandDef *> &commands)
{
    QString text =
        QStringLiteral("使い方: plakuro-cli COMMAND [OPTION]... FILE...\n"
                       "名刺 (91 x 55 mm) のカードデータファイル (.pkd) を画面なしで扱います。\n"
                       "描き方・ファイルの中身・QR コードはエディタと同じです。\n\nコマンド:\n");
    for (const CommandDef *c : commands)
        text += QStringLiteral("  %1\n      %2\n")
                    .arg(QString::fromUtf8(c->synopsis), QString::fromUtf8(c->summary));
    text += QStringLiteral(
        "\nplakuro-cli COMMAND --help で各コマンドのオプションを表示します。\n"
        "終了状態: 0 成功。1 ファイルを読めない・書けない、カードデータファイルでない、"
        "壊れている。2 使い方の誤り。\n"
        "失敗は標準エラーに 1 行で、ファイル名 (と記録のキーや CSV の行) を添えて表示します。\n");
    return text;
}
