#pragma once
// The command line of plakuro-cli: what each command accepts, its parsing and
// its help text.

#include <QString>
#include <QStringList>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A failure the tool reports in one line on stderr before it ends. The status
// is the exit status: 1 for a file that cannot be read or written, is not a
// card data file or is damaged, 2 for a usage error.
class Failure : public std::runtime_error
{
public:
    enum Status
    {
        FileError = 1,
        UsageError = 2
    };
    Failure(Status status, const QString &message);
    Status status() const { return status_; }

private:
    Status status_;
};

// "FILE: reason", the file with native separators.
Failure FileFailure(const QString &path, const QString &reason);
Failure UsageFailure(const QString &message);

struct OptionDef
{
    const char *name;      // long name, without "--"
    char shortName;        // 0 when there is none
    const char *valueName; // null for a switch
    bool repeatable;
    const char *help; // UTF-8
};

struct CommandDef
{
    const char *name;
    const char *synopsis; // UTF-8, after "plakuro-cli "
    const char *summary;  // UTF-8, one line
    const char *details;  // UTF-8, the paragraphs after the options
    int minPositional;
    int maxPositional;
    std::vector<OptionDef> options;
};

struct ParsedCommand
{
    QStringList positional;
    // Every option in the order given, under its long name; a switch has an
    // empty value.
    std::vector<std::pair<std::string, QString>> options;
    bool help = false;

    bool Has(const std::string &name) const;
    // The value of an option that is given at most once; empty when absent.
    QString Value(const std::string &name) const;
};

// Accepts "--name VALUE", "--name=VALUE", "-x VALUE", "--" before operands
// and "-h"/"--help". Throws a usage Failure for an unknown option, a missing
// value, a repeated single option or a wrong number of operands (the count is
// not checked when help is asked for).
ParsedCommand ParseCommand(const CommandDef &def, const QStringList &args);

QString CommandHelp(const CommandDef &def);
QString ToolHelp(const std::vector<const CommandDef *> &commands);
