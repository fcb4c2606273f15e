#pragma once
// The realistic card every benchmark works on: all fourteen fields filled
// with typical Japanese and ASCII contents, the QR code shown, a 4000 x 3000
// JPEG photo as the background and a 2000 x 1500 bitmap picture. Making the
// pictures costs seconds, so it is done once for the whole run.

#include "editor/canvasview.h"
#include "editor/session.h"
#include "encode_image.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Smooth light and colour gradients with grain, as a photo has: JPEG sizes
// and decoding times are close to those of a camera picture.
QImage photo(int width, int height, std::uint32_t seed);

struct Realistic
{
    QByteArray jpeg; // 4000 x 3000, quality 90
    QByteArray bmp;  // 2000 x 1500, 24 bits
    // Key and Shift-JIS text of each of the fourteen fields.
    std::array<std::pair<std::string, std::string>, 14> texts;
    // The card in an editor as typing and choosing the pictures left it; the
    // benchmarks that change it put it back as it was.
    EditSession editor;
    // Its screen canvas, repainted with every change as the window's is.
    CanvasView view{editor};
    QByteArray file; // the card data file of `editor`
    std::string qrText;
};

// Built on first use; needs the QApplication.
Realistic &realistic();

// Builds the realistic card in `editor` (a fresh one) the way the window
// does: QR shown, each field typed, both pictures chosen and the picture
// moved toward the bottom right corner, as a logo would sit.
void buildRealisticCard(EditSession &editor, const QByteArray &jpeg, const QByteArray &bmp);

// Adds the statistics the README reports beside the median: the least and
// the largest of the repetitions.
void withSpread(benchmark::internal::Benchmark *b);

// The helper modes of bench_plakuro (see main.cpp); each returns the exit
// status. The realistic card's file written to `cardFile`:
int writeRealisticCard(const QString &cardFile);
// One of the picture cards of bench_pictures.cpp written to `cardFile`, for
// plakuro-cli: `kind` "rle" (the run-length escapes), "plain" (its plain
// 24-bit twin) or "tiny" (2,000 tiny bitmaps).
int writePictureCard(const QString &kind, const QString &cardFile);
// The editor window opening `cardFile`, typed into, dragged in and printed to
// `pdfFile`, its settings in `settingsFile`; prints the peak resident memory
// in KiB after each step: "SHOWN OPENED EDITED PRINTED".
int runEditorMemoryChild(const QString &cardFile, const QString &pdfFile,
                         const QString &settingsFile);
