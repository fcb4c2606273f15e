#pragma once
// The command line of the editor. It is read before the application object
// exists, so --help, --version and a usage error need no display.

#include <QString>
#include <QStringList>

struct Arguments
{
    enum class Action
    {
        Run,         // start the window; open `card` after the splash when not empty
        ShowHelp,    // print UsageText() to stdout and end with 0
        ShowVersion, // print VersionText() to stdout and end with 0
        UsageError   // print `message` to stderr and end with 2
    };
    Action action = Action::Run;
    QString card;
    QString message;
};

// `args` without the program name. Qt's own options (-platform, -style, …,
// also with two dashes or "=value") are passed over with their values for the
// application object to take. The first --help or --version decides, wherever
// it stands; "--" ends the options. More than one card is a usage error.
Arguments ParseArguments(const QStringList &args);

QString UsageText();
// "plakuro VERSION\n", the project's version.
QString VersionText();
// The project's version ("0.1"), the one the build names: --version, the
// splash and 「Plakuro について」 show it.
QString ProgramVersion();

// Runs the answer of ParseArguments that needs no window: prints and returns
// the exit status. Returns -1 for Action::Run.
int RunWithoutWindow(const Arguments &arguments);
