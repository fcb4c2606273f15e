#include "app/dialogs.h"
#include "card/object.h"
#include "fixture.h"
#include "full_disk.h"
#include "settings/ini.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

} // namespace

TEST_F(MeishiTest, TheUnsavedChangesGuard)
{
    window->eName->setText("A");
    // Yes, then the save dialog cancelled: no New, still modified.
    dialogs.answers.push_back(Dialogs::Answer::Yes);
    window->ToolButton1Click();
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], QString("内容が変更されています。変更を保存しますか？"));
    EXPECT_EQ(window->eName->text(), QString("A"));
    EXPECT_TRUE(editor().Modified());
    // Cancel: nothing happens.
    dialogs.answers.push_back(Dialogs::Answer::Cancel);
    window->ToolButton1Click();
    EXPECT_EQ(window->eName->text(), QString("A"));
    EXPECT_FALSE(window->FormCloseQuery()); // no answer queued = Cancel
    // Yes, save, then cancel the open dialog: saved, unchanged, unmodified.
    dialogs.answers.push_back(Dialogs::Answer::Yes);
    dialogs.saveFiles.push_back(path("a"));
    window->ToolButton2Click();
    EXPECT_TRUE(QFile::exists(path("a.pkd")));
    EXPECT_EQ(window->eName->text(), QString("A"));
    EXPECT_FALSE(editor().Modified());
    // The save dialog starts from the name last chosen.
    window->ToolButton3Click();
    EXPECT_EQ(dialogs.fileDialogs.back().initialName, path("a.pkd"));
    EXPECT_EQ(dialogs.fileDialogs.back().filter, QString("Plakuroデータ(*.pkd)|*.pkd"));
    // A card with a file: Yes saves to it, as Ctrl+S does, asking no name.
    window->eName->setText("C");
    const std::size_t named = dialogs.fileDialogs.size();
    dialogs.answers.push_back(Dialogs::Answer::Yes);
    window->ToolButton1Click();
    EXPECT_EQ(dialogs.fileDialogs.size(), named);
    EXPECT_TRUE(readAll(path("a.pkd"))
                    .contains("\x01"
                              "C"));
    EXPECT_TRUE(window->eName->text().isEmpty());
    // No: closes without saving; the settings were written first either way.
    window->eName->setText("B");
    dialogs.answers.push_back(Dialogs::Answer::No);
    EXPECT_TRUE(window->FormCloseQuery());
    EXPECT_TRUE(QFile::exists(path("plakuro.INI")));
}

// The real save dialog asks before it replaces a file; No keeps the dialog
// open, Yes hands the name on.
TEST_F(MeishiTest, SaveAsAsksBeforeReplacingAFile)
{
    writeAll(path("old.pkd"), "old");
    QtDialogs real;
    QString asked;
    auto answer = [&](QMessageBox::StandardButton button, bool thenCancel) {
        QTimer::singleShot(0, [&, button, thenCancel] {
            auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            QTimer::singleShot(0, [&, button] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                asked = box->text();
                box->button(button)->click();
            });
            dlg->selectFile(path("old.pkd"));
            QMetaObject::invokeMethod(dlg, "accept", Qt::DirectConnection);
            if (thenCancel)
                dlg->reject();
        });
    };
    const Dialogs::FileDialog fd{"Plakuroデータ(*.pkd)|*.pkd", ".pkd", dir.path(), QString()};
    answer(QMessageBox::No, true);
    EXPECT_FALSE(real.SaveFile(window.get(), fd).has_value());
    EXPECT_TRUE(asked.contains("old.pkd")) << asked.toStdString();
    asked.clear();
    answer(QMessageBox::Yes, false);
    EXPECT_EQ(real.SaveFile(window.get(), fd).value_or(QString()), path("old.pkd"));
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_EQ(readAll(path("old.pkd")), "old");
}

TEST_F(MeishiTest, AFailedSaveKeepsTheOldFileAndTheCardModified)
{
    window->eName->setText("first");
    dialogs.saveFiles.push_back(path("card.pkd"));
    ASSERT_TRUE(window->SaveCardAs());
    const QByteArray before = readAll(path("card.pkd"));

    window->eName->setText("second");
    // A folder in place of the file name cannot be written over.
    QDir(dir.path()).mkdir("folder.pkd");
    dialogs.saveFiles.push_back(path("folder.pkd"));
    window->ToolButton3->click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("folder.pkd"));
    EXPECT_TRUE(editor().Modified());
    // A folder that does not exist.
    dialogs.saveFiles.push_back(path("missing/card.pkd"));
    window->ToolButton3->click();
    EXPECT_EQ(dialogs.errors.size(), 2);
    EXPECT_TRUE(editor().Modified());
    EXPECT_EQ(readAll(path("card.pkd")), before);
    // And closing after a failed save from the guard (to the card's own
    // file, now a folder) keeps the window.
    ASSERT_TRUE(QFile::remove(path("card.pkd")) && QDir(dir.path()).mkdir("card.pkd"));
    dialogs.answers.push_back(Dialogs::Answer::Yes);
    window->show();
    EXPECT_FALSE(window->close());
    EXPECT_EQ(dialogs.errors.size(), 3);
}

TEST_F(MeishiTest, AFullDiskIsReportedAndLosesNeitherTheCardNorTheSettings)
{
    window->eName->setText("first");
    dialogs.saveFiles.push_back(path("card.pkd"));
    ASSERT_TRUE(window->SaveCardAs());
    ASSERT_TRUE(window->FormCloseQuery());
    const QByteArray card = readAll(path("card.pkd"));
    writeAll(path("plakuro.INI"), "[help]\r\nurl=http://example.jp/\r\n" + QByteArray(4000, ';'));
    const QByteArray settings = readAll(path("plakuro.INI"));

    window->eName->setText("second, longer than the first");
    {
        FullDisk full(1024);
        dialogs.saveFiles.push_back(path("card.pkd"));
        window->ToolButton3->click();
        // Closing writes the settings, reports that, and asks about the card.
        dialogs.answers.push_back(Dialogs::Answer::Cancel);
        EXPECT_FALSE(window->FormCloseQuery());
    }
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_TRUE(dialogs.errors[0].contains("card.pkd"));
    EXPECT_TRUE(dialogs.errors[1].contains("plakuro.INI"));
    EXPECT_TRUE(editor().Modified());
    EXPECT_EQ(readAll(path("card.pkd")), card);
    EXPECT_EQ(readAll(path("plakuro.INI")), settings);
}

TEST_F(MeishiTest, OpeningABadFileLeavesTheCardAsItWas)
{
    window->eName->setText("keep me");
    dialogs.saveFiles.push_back(path("good.pkd"));
    window->SaveCardAs();
    const QByteArray good = readAll(path("good.pkd"));
    window->eTel->setText("123");
    ASSERT_TRUE(editor().Modified());
    auto open = [&](const QString &file) {
        dialogs.answers.push_back(Dialogs::Answer::No);
        dialogs.openFiles.push_back(file);
        window->ToolButton2->click();
    };
    auto expectUnchanged = [&] {
        EXPECT_EQ(window->eName->text(), QString("keep me"));
        EXPECT_EQ(window->eTel->text(), QString("123"));
        EXPECT_EQ(object<TextObject>("eTel")->GetText(), "123");
        EXPECT_TRUE(editor().Modified());
        EXPECT_EQ(editor().Card().size(), 17u);
    };

    // Cut inside a record's body.
    writeAll(path("cut.pkd"), good.left(good.size() - 30));
    open(path("cut.pkd"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("cut.pkd"));
    expectUnchanged();
    // Not a card data file: said so in a message, nothing changes.
    writeAll(path("notes.pkd"), "Hello, this is text");
    open(path("notes.pkd"));
    ASSERT_EQ(dialogs.infos.size(), 1);
    EXPECT_TRUE(dialogs.infos[0].contains("カードデータではありません"));
    expectUnchanged();
    // A missing file.
    open(path("nothing.pkd"));
    EXPECT_EQ(dialogs.errors.size(), 2);
    expectUnchanged();
}

TEST_F(MeishiTest, AnOpenedFileLackingObjectsGetsTheDefaultOnes)
{
    // Only the magic and one record: eName stored as a picture object.
    window->eName->setText("x");
    QByteArray bytes("\x05PK100", 6);
    bytes += QByteArray("\x05"
                        "eName"
                        "\x0D"
                        "GraphicObject",
                        20);
    bytes += QByteArray(21, '\0'); // order, visible, rectangle
    bytes += QByteArray(1, '\0');  // empty source
    writeAll(path("partial.pkd"), bytes);
    dialogs.openFiles.push_back(path("partial.pkd"));
    window->OpenCard();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(editor().Card().size(), 17u);
    ASSERT_NE(object<TextObject>("eName"), nullptr);
    EXPECT_TRUE(window->eName->text().isEmpty());
    // Keystrokes, picture buttons and the QR code all work on it.
    window->eName->setText("typed");
    window->ToolButton7Click();
    window->bPicture->click();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(object<TextObject>("eName")->GetText(), "typed");
}

TEST_F(MeishiTest, TheHelpAddressIsOneArgumentAndNeverSeenByAShell)
{
    IniFile ini(path("plakuro.INI"));
    ini.WriteString("help", "url", "http://example.jp/help?a=1&b=2");
    window->ToolButton4Click();
    ASSERT_EQ(dialogs.addresses.size(), 1);
    EXPECT_EQ(dialogs.addresses[0], QString("http://example.jp/help?a=1&b=2"));

    // The real launcher with a value a shell would run as two commands.
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    launchAddress("x; touch PWNED");
    launchAddress("$(touch PWNED2)");
    QThread::msleep(1500);
    QDir::setCurrent(old);
    EXPECT_FALSE(QFile::exists(path("PWNED")));
    EXPECT_FALSE(QFile::exists(path("PWNED2")));
}

TEST_F(MeishiTest, AnUnwritableSettingsFileIsReportedAndClosingGoesOn)
{
    // A path below a regular file cannot be created, even by root.
    writeAll(path("plain"), "x");
    SetSettingsFilePathForTesting(path("plain/plakuro.INI"));
    EXPECT_TRUE(window->FormCloseQuery());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("に書き込めません"));
    EXPECT_TRUE(dialogs.errors[0].contains("plain/plakuro.INI"));
}
