#include "realistic.h"

#include "card/font.h"

#include <QApplication>
#include <QString>
#include <benchmark/benchmark.h>
#include <cstring>

// Drawing benchmarks need the font database and so a platform; offscreen
// needs no display. The editor window needs the widgets application.
//   bench_plakuro [benchmark flags...]
//   bench_plakuro --write-realistic-card CARD.pkd   (for bench/merge.sh)
//   bench_plakuro --write-picture-card rle|plain|tiny CARD.pkd
//                                             (bench_pictures.cpp's cards)
//   bench_plakuro --editor-memory-child CARD.pkd SHEET.pdf SETTINGS.INI
//                                             (started by BM_EditorPeakMemory)
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 5 && std::strcmp(argv[1], "--editor-memory-child") == 0) {
        QApplication app(argc, argv);
        installFontSubstitutions();
        return runEditorMemoryChild(QString::fromLocal8Bit(argv[2]),
                                    QString::fromLocal8Bit(argv[3]),
                                    QString::fromLocal8Bit(argv[4]));
    }
    if (argc == 3 && std::strcmp(argv[1], "--write-realistic-card") == 0) {
        QApplication app(argc, argv);
        installFontSubstitutions();
        return writeRealisticCard(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 4 && std::strcmp(argv[1], "--write-picture-card") == 0) {
        QApplication app(argc, argv);
        return writePictureCard(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QApplication app(argc, argv);
    installFontSubstitutions();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
