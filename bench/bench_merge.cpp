// The window's 差し込み印刷: a step of its preview to the next person, and the
// vector PDF of 300 people, on the realistic card.

#include "bench_dialogs.h"
#include "realistic.h"

#include "app/mergedialog.h"
#include "editor/session.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

namespace {

struct MergeBench
{
    QTemporaryDir dir;
    // A card of its own: the dialog keeps its list in the card it merges.
    EditSession card;
    BenchDialogs dialogs;
    QPrinter printer;
    std::unique_ptr<MergeDialog> dialog;

    explicit MergeBench(int rows)
    {
        QFile csv(dir.filePath("people.csv"));
        csv.open(QIODevice::WriteOnly);
        csv.write("名前,ふりがな,会社名,電話,携帯電話,E-Mail\n");
        for (int r = 1; r <= rows; ++r)
            csv.write(QStringLiteral("山田 太郎%1,やまだ たろう%1,株式会社プラクロ商事 第%2支店,"
                                     "03-1234-%3,090-1234-%3,yamada%1@plakuro.example.jp\n")
                          .arg(r)
                          .arg(r % 47)
                          .arg(r, 4, 10, QLatin1Char('0'))
                          .toUtf8());
        csv.close();
        card.LoadBytes(realistic().file);
        card.FillFieldsFromCard();
        dialog = std::make_unique<MergeDialog>(nullptr, card, printer, dialogs);
        dialog->LoadList(dir.filePath("people.csv"));
        dialog->CheckAllRows();
    }
};

void BM_MergePreviewStep(benchmark::State &state)
{
    MergeBench bench(30);
    int row = 0;
    for (auto _ : state) {
        bench.dialog->ShowRow(row);
        row = (row + 1) % 30;
    }
}

void BM_MergeDialogPdf(benchmark::State &state)
{
    MergeBench bench(static_cast<int>(state.range(0)));
    for (auto _ : state)
        bench.dialog->SavePdf(bench.dir.filePath("out.pdf"));
}

} // namespace

BENCHMARK(BM_MergePreviewStep)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeDialogPdf)
    ->Arg(300)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
