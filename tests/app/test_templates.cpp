// 「テンプレート」 in the window: the gallery over the window's own card, and
// the user's own templates.

#include "app/templatedialog.h"
#include "fixture.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QToolButton>

namespace {

class TemplateWindow : public MeishiTest
{
protected:
    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", path("data").toUtf8());
        MeishiTest::SetUp();
        editor().EditChanged("eName", QStringLiteral("山田 太郎"));
        editor().EditChanged("eCorp", QStringLiteral("株式会社プラクロ"));
    }
    void TearDown() override
    {
        MeishiTest::TearDown();
        qunsetenv("XDG_DATA_HOME");
    }
};

} // namespace

TEST_F(TemplateWindow, ToolbarMenuAndKeyOpenTheGallery)
{
    window->findChild<QToolButton *>("bTemplate")->click();
    window->findChild<QAction *>("aTemplates")->trigger();
    for (QAction *a : window->actions())
        if (a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)))
            a->trigger();
    EXPECT_EQ(dialogs.galleries, 3);
}

TEST_F(TemplateWindow, ChoosingADesignIsOneStepThatKeepsTheData)
{
    TemplateDialog d(window.get(), editor(), dialogs, QStringLiteral(PLAKURO_APP_DIR));
    ASSERT_GE(d.Templates().size(), 18u);
    for (TemplateGroup g :
         {TemplateGroup::Horizontal, TemplateGroup::Vertical, TemplateGroup::English})
        EXPECT_GE(d.List(g)->count(), 4);
    for (int i = 0; i < d.List(TemplateGroup::Horizontal)->count(); ++i)
        EXPECT_FALSE(d.List(TemplateGroup::Horizontal)->item(i)->icon().isNull());
    const int steps = editor().UndoStack().count();
    ASSERT_TRUE(d.Select(QStringLiteral("yoko-classic")));
    d.ApplySelected();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(editor().UndoStack().count(), steps + 1);
    EXPECT_EQ(editor().FieldText("eName"), QStringLiteral("山田 太郎"));
    EXPECT_EQ(window->eName->text(), QStringLiteral("山田 太郎"));
    // The design leaves the memos out: their edits say so.
    EXPECT_EQ(window->eMemo1->placeholderText(), QStringLiteral("このデザインでは表示しません"));
    EXPECT_EQ(window->eName->placeholderText(), QString());
    editor().UndoStack().undo();
    EXPECT_EQ(window->eMemo1->placeholderText(), QString());
    EXPECT_EQ(editor().UndoStack().count(), steps + 1);
}

TEST_F(TemplateWindow, OwnTemplatesAreSavedRenamedAndDeletedWithoutTheData)
{
    TemplateDialog d(window.get(), editor(), dialogs, QStringLiteral(PLAKURO_APP_DIR));
    QListWidget *own = d.List(TemplateGroup::Own);
    EXPECT_EQ(own->count(), 0);

    dialogs.templateDetails =
        Dialogs::TemplateDetails{QStringLiteral("わたしの/形"), QStringLiteral("自分用"), false};
    d.SaveCurrent();
    const QString saved = path("data/plakuro/templates/わたしの_形.pkd");
    ASSERT_TRUE(QFile::exists(saved));
    ASSERT_EQ(own->count(), 1);
    EXPECT_EQ(d.Groups()->currentWidget(), own);
    EXPECT_FALSE(HasFieldData(ReadTemplateCard(saved)));

    dialogs.textAnswer = QStringLiteral("名刺A");
    d.RenameSelected();
    EXPECT_FALSE(QFile::exists(saved));
    const QString renamed = path("data/plakuro/templates/名刺A.pkd");
    ASSERT_TRUE(QFile::exists(renamed));
    EXPECT_EQ(ReadTemplateMeta(ReadTemplateCard(renamed)).title, QStringLiteral("名刺A"));
    EXPECT_EQ(ReadTemplateMeta(ReadTemplateCard(renamed)).description, QStringLiteral("自分用"));

    dialogs.answers = {Dialogs::Answer::No};
    d.DeleteSelected();
    EXPECT_TRUE(QFile::exists(renamed));
    dialogs.answers = {Dialogs::Answer::Yes};
    d.DeleteSelected();
    EXPECT_FALSE(QFile::exists(renamed));
    EXPECT_EQ(own->count(), 0);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(u'\n').toStdString();
}
