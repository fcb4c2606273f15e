// 差し込み印刷 in the window: the dialog over the window's own card.

#include "app/mergedialog.h"
#include "fixture.h"

#include "card/object.h"
#include "merge/memory.h"

#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace {

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStandardPaths::findExecutable("pdftotext"), {pdf, "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString chosen(const MergeDialog &d, int column)
{
    return qobject_cast<QComboBox *>(d.ColumnTable()->cellWidget(column, 1))->currentText();
}

class MergeWindow : public MeishiTest
{
protected:
    void SetUp() override
    {
        MeishiTest::SetUp();
        // The template person: a mobile and a memo nobody else should get.
        editor().EditChanged("eName", QStringLiteral("山田 太郎"));
        editor().EditChanged("eCorp", QStringLiteral("株式会社プラクロ"));
        editor().EditChanged("eMobile", QStringLiteral("090-9999-9999"));
        editor().EditChanged("eMemo1", QStringLiteral("資格: 一級建築士"));
        QFile csv(path("社員名簿.csv"));
        ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
        csv.write(QStringLiteral("氏名,携帯電話,メモ1,肩書,備考\n"
                                 "佐藤 花子,090-1111-2222,,部長,x\n"
                                 "鈴木 一郎,,,%1,\n"
                                 "高橋 三郎,,,,\n")
                      .arg(QStringLiteral("代表取締役社長").repeated(8))
                      .toUtf8());
    }
};

} // namespace

TEST_F(MergeWindow, ToolbarAndMenuOpenTheDialog)
{
    window->findChild<QToolButton *>("bMerge")->click();
    window->findChild<QAction *>("aMerge")->trigger();
    for (QAction *a : window->actions())
        if (a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_M)))
            a->trigger();
    EXPECT_EQ(dialogs.merges, 3);
}

TEST_F(MergeWindow, ColumnsRowsPdfAndMemory)
{
    MergeDialog d(window.get(), editor(), window->Printer(), dialogs);
    ASSERT_TRUE(d.LoadList(path("社員名簿.csv")));
    EXPECT_EQ(chosen(d, 0), QStringLiteral("名前"));
    EXPECT_EQ(chosen(d, 1), QStringLiteral("携帯電話"));
    EXPECT_EQ(chosen(d, 3), QStringLiteral("役職"));
    EXPECT_EQ(chosen(d, 4), QStringLiteral("使わない"));
    ASSERT_EQ(d.RowTable()->rowCount(), 3);
    EXPECT_EQ(d.RowTable()->item(1, 1)->text(), QStringLiteral("鈴木 一郎"));
    d.CheckAllRows();
    EXPECT_TRUE(d.RowTable()->item(0, 2)->text().isEmpty());
    EXPECT_TRUE(d.RowTable()->item(1, 2)->text().contains(QStringLiteral("役職")));
    // The preview shows the row chosen, with its red marks.
    d.ShowRow(1);
    const QImage &front = d.FrontPreview();
    bool red = false;
    for (int y = 0; y < front.height() && !red; ++y)
        for (int x = 0; x < front.width() && !red; ++x)
            red = QColor(front.pixel(x, y)).red() > 200 && QColor(front.pixel(x, y)).green() < 80;
    EXPECT_TRUE(red);

    // The third person left out; the memo column chosen away from メモ1.
    d.RowTable()->item(2, 0)->setCheckState(Qt::Unchecked);
    d.ChooseTarget(2, MergeTarget{});
    ASSERT_TRUE(d.SavePdf(path("out.pdf")));
    const QString text = pdfText(path("out.pdf"));
    EXPECT_EQ(text.count(QStringLiteral("佐藤 花子")), 10);
    EXPECT_EQ(text.count(QStringLiteral("鈴木 一郎")), 10);
    EXPECT_EQ(text.count(QStringLiteral("高橋")), 0);
    EXPECT_EQ(text.count(QStringLiteral("株式会社プラクロ")), 20);
    // Nothing of the template person's own lines.
    EXPECT_FALSE(text.contains(QStringLiteral("9999")));
    // メモ1 is no longer the list's, and still the template person's own.
    EXPECT_EQ(text.count(QStringLiteral("一級建築士")), 0);

    // The card remembers the list and the choice, and the next dialog starts there.
    const MergeMemory memory = ReadMergeMemory(editor().Card());
    EXPECT_EQ(memory.list, QFileInfo(path("社員名簿.csv")).absoluteFilePath());
    ASSERT_EQ(memory.chosen.size(), 1u);
    EXPECT_TRUE(editor().Modified());
    MergeDialog again(window.get(), editor(), window->Printer(), dialogs);
    ASSERT_EQ(again.RowTable()->rowCount(), 3);
    EXPECT_EQ(chosen(again, 2), QStringLiteral("使わない"));
}

// キャンセル in the progress dialog stops the merge and leaves no file.
TEST_F(MergeWindow, CancelLeavesNoFile)
{
    QByteArray many = "氏名\n";
    for (int i = 0; i < 2500; ++i)
        many += "人 " + QByteArray::number(i) + "\n";
    QFile csv(path("many.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(many);
    csv.close();
    MergeDialog d(window.get(), editor(), window->Printer(), dialogs);
    ASSERT_TRUE(d.LoadList(path("many.csv")));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *progress = d.findChild<QProgressDialog *>("MergeProgress");
            progress && progress->isVisible())
            progress->cancel();
    });
    poll.start(10);
    EXPECT_FALSE(d.SavePdf(path("cancelled.pdf")));
    EXPECT_FALSE(QFileInfo::exists(path("cancelled.pdf")));
    EXPECT_TRUE(ReadMergeMemory(editor().Card()).list.isEmpty())
        << "nothing kept of a cancelled merge";
}

TEST_F(MergeWindow, PrintsThroughThePrinter)
{
    const QString pdf = printToPdf();
    MergeDialog d(window.get(), editor(), window->Printer(), dialogs);
    ASSERT_TRUE(d.LoadList(path("社員名簿.csv")));
    ASSERT_TRUE(d.Print());
    EXPECT_EQ(QProcess::execute("pdfinfo", {pdf}), 0);
    // Card images, as printing does: one page a person.
    QProcess p;
    p.start("pdfinfo", {pdf});
    p.waitForFinished();
    EXPECT_TRUE(
        QString::fromUtf8(p.readAllStandardOutput()).contains(QRegularExpression("Pages:\\s+3")));
}
