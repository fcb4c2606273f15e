#include "app/arguments.h"
#include "app/manual.h"
#include "fixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QUrl>

namespace {

using Action = Arguments::Action;

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(ArgumentsTest, ParsesTheCommandLine)
{
    const QString cwd = QDir::currentPath();
    struct Case
    {
        QStringList args;
        Action action;
        QString card;
        QString message; // part of the usage error
    };
    const Case cases[] = {
        {{}, Action::Run, {}, {}},
        {{"card.pkd"}, Action::Run, cwd + "/card.pkd", {}},
        {{"/tmp/a b.pkd"}, Action::Run, "/tmp/a b.pkd", {}},
        {{"file:///tmp/%E5%90%8D%E5%88%BA.pkd"}, Action::Run, "/tmp/名刺.pkd", {}},
        // Qt's own options and their values are the application object's.
        {{"-style", "fusion", "--platform=xcb", "-reverse", "/c.pkd"}, Action::Run, "/c.pkd", {}},
        {{"--", "-odd.pkd"}, Action::Run, cwd + "/-odd.pkd", {}},
        {{"-h"}, Action::ShowHelp, {}, {}},
        {{"x.pkd", "--help"}, Action::ShowHelp, {}, {}},
        {{"--bogus", "--help"}, Action::ShowHelp, {}, {}},
        {{"-v"}, Action::ShowVersion, {}, {}},
        {{"--version", "-h"}, Action::ShowVersion, {}, {}},
        {{"--bogus", "x.pkd"}, Action::UsageError, {}, "不明なオプション --bogus"},
        {{"-reverse=1"}, Action::UsageError, {}, "不明なオプション -reverse=1"},
        {{"a.pkd", "b.pkd"}, Action::UsageError, {}, "1 つだけ"},
        {{"--", "--help"}, Action::Run, cwd + "/--help", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Arguments a = ParseArguments(c.args);
        EXPECT_EQ(a.action, c.action);
        EXPECT_EQ(a.card, c.card);
        if (c.action == Action::UsageError) {
            EXPECT_TRUE(a.message.contains(c.message)) << a.message.toStdString();
            EXPECT_TRUE(a.message.startsWith("plakuro: ") && a.message.endsWith("--help)\n"));
        }
    }
    EXPECT_TRUE(UsageText().startsWith("使い方: plakuro"));
    EXPECT_EQ(VersionText(), QStringLiteral("plakuro %1\n").arg(PLAKURO_TEST_VERSION));
}

// The version the build names, also where the window shows it.
TEST_F(MeishiTest, AboutShowsTheBuildsVersion)
{
    window->findChild<QAction *>("aAbout")->trigger();
    ASSERT_FALSE(dialogs.infos.isEmpty());
    EXPECT_TRUE(
        dialogs.infos.back().startsWith(QStringLiteral("Plakuro %1\n").arg(PLAKURO_TEST_VERSION)));
    EXPECT_EQ(ProgramVersion(), PLAKURO_TEST_VERSION);
}

TEST_F(MeishiTest, TheCardNamedOnTheCommandLineOpensAsOpenOpensIt)
{
    window->eName->setText("山田太郎");
    dialogs.saveFiles.push_back(path("yamada.pkd"));
    ASSERT_TRUE(window->SaveCardAs());
    window->ToolButton1Click();
    ASSERT_TRUE(window->eName->text().isEmpty());

    window->OpenCardArgument(path("yamada.pkd"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(window->eName->text(), "山田太郎");
    EXPECT_EQ(window->windowTitle(), "yamada.pkd - Plakuro");
    EXPECT_FALSE(editor().Modified());
    EXPECT_EQ(dialogs.fileDialogs.size(), 1u); // the save's only

    // A file that cannot be opened: Open's report, and the card stays.
    window->ToolButton1Click();
    window->OpenCardArgument(path("missing.pkd"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(path("missing.pkd") + " を開けません: "));
    EXPECT_TRUE(window->eName->text().isEmpty());
    EXPECT_EQ(window->windowTitle(), "Plakuro");
    EXPECT_TRUE(canvasWhite());
}

TEST_F(MeishiTest, HelpOpensTheManualWithoutAnAddressAndNothingForAnEmptyOne)
{
    // The installed layout: bin/ beside share/doc/plakuro/.
    const QString bin = path("usr/bin");
    const QString docs = QDir::cleanPath(bin + '/' + InstalledDocFolder());
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(docs));
    window->SetProgramDir(bin);

    window->ToolButton4Click();
    ASSERT_EQ(dialogs.infos.size(), 1);
    EXPECT_TRUE(dialogs.infos[0].contains("見つかりません"));
    EXPECT_TRUE(dialogs.addresses.isEmpty());

    writeAll(docs + "/manual.html", "<html></html>");
    window->ToolButton4Click();
    ASSERT_EQ(dialogs.addresses.size(), 1);
    EXPECT_EQ(QUrl(dialogs.addresses[0]).toLocalFile(), docs + "/manual.html");
    EXPECT_TRUE(dialogs.addresses[0].startsWith("file:///"));

    // Beside the program (the build tree) comes first.
    writeAll(bin + "/manual.html", "<html></html>");
    window->ToolButton4Click();
    ASSERT_EQ(dialogs.addresses.size(), 2);
    EXPECT_EQ(QUrl(dialogs.addresses[1]).toLocalFile(), bin + "/manual.html");

    // A [help] section without the key is no address either; "url=" is one.
    writeAll(path("plakuro.INI"), "[help]\r\nother=1\r\n");
    window->ToolButton4Click();
    EXPECT_EQ(dialogs.addresses.size(), 3);
    writeAll(path("plakuro.INI"), "[help]\r\nurl=\r\n");
    window->ToolButton4Click();
    EXPECT_EQ(dialogs.addresses.size(), 3);
    EXPECT_EQ(dialogs.infos.size(), 1);
}

} // namespace
