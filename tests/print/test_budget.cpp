// Memory follows what is shown, never what a picture claims: each bomb card
// is opened and drawn as the editor's canvas, the preview, the card image at
// 600 dpi and the sheet at 600 dpi draw it, in a process of its own whose
// peak resident memory (VmHWM) must stay under the budget.

#include "bomb_cards.h"
#include "peak_memory.h"
#include "print/sheet.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr const char *kCardVariable = "PLAKURO_BUDGET_CARD";
// Set to 1: the sheet is the vector one (plakuro-cli sheet's PDF).
constexpr const char *kVectorVariable = "PLAKURO_BUDGET_VECTOR";
constexpr int kBudgetMB = 300;
// Under AddressSanitizer the shadow memory and the quarantine of freed blocks
// count as resident too: the cards are still drawn there, but the peak is
// only held to the budget in a plain build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPeakIsTheProgramsOwn = false;
#else
constexpr bool kPeakIsTheProgramsOwn = true;
#endif

// Runs DrawsOneCardAndSaysItsPeak on `card` in a child process; returns its
// peak in MB and sets `problems`, or -1 after a failed expectation.
int childPeakMB(const QByteArray &card, bool vector, int &problems)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("card.pkd"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(card) != card.size())
        return -1;
    f.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kCardVariable), path);
    env.insert(QString::fromLatin1(kVectorVariable), vector ? "1" : "0");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=MemoryBudget.DrawsOneCardAndSaysItsPeak")});
    EXPECT_TRUE(child.waitForFinished(300000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("peak (\\d+) MB, problems (\\d+)")).match(out);
    EXPECT_TRUE(m.hasMatch()) << out.toStdString();
    if (!m.hasMatch())
        return -1;
    problems = m.captured(2).toInt();
    return m.captured(1).toInt();
}

} // namespace

// The child's part; skipped unless the parent test names a card file.
TEST(MemoryBudget, DrawsOneCardAndSaysItsPeak)
{
    const QString path = qEnvironmentVariable(kCardVariable);
    if (path.isEmpty())
        GTEST_SKIP() << "run by MemoryBudget.BombCardsStayUnderBudget";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    MemoryStream s(file.readAll());
    file.close();
    Objects card;
    ASSERT_TRUE(LoadCard(&s, card));
    const DrawingOrder order = MakeDrawingOrder(card);
    // The vector sheet as plakuro-cli sheet makes it: the card opened on the
    // canvas, then the sheet; else every drawing of the card.
    const bool vector = qEnvironmentVariable(kVectorVariable) == QStringLiteral("1");
    std::vector<QSize> sizes{QSize(645, 390)};
    if (!vector)
        sizes.insert(sizes.end(),
                     {QSize(343, 207), QSize(static_cast<int>(600 * kCardWidthInch),
                                             static_cast<int>(600 * kCardHeightInch))});
    for (const QSize size : sizes)
        EXPECT_FALSE(RenderCardImage(order, size.width(), size.height()).isNull());
    QTemporaryDir dir;
    QPdfWriter pdf(dir.filePath(QStringLiteral("sheet.pdf")));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(600);
    QPainter painter(&pdf);
    const SheetDevice device{600, 600, 0, 0};
    const QSize page(pdf.width(), pdf.height());
    if (vector)
        PrintVectorSheet(painter, device, page, order, PrintSpace{0, 0, 0, 0});
    else
        PrintSheet(painter, device, page, order, PrintSpace{0, 0, 0, 0});
    painter.end();
    std::printf("peak %ld MB, problems %zu\n", PeakResidentKiB() / 1024, DrawProblems(card).size());
}

TEST(MemoryBudget, BombCardsStayUnderBudget)
{
    struct Bomb
    {
        const char *name;
        QByteArray card;
        int problems; // pictures left out, and said so
    };
    const Bomb cards[] = {{"twenty JPEG records", bombs::jpegBombCard(), 0},
                          {"progressive JPEG", bombs::progressiveBombCard(), 1},
                          {"stretched 1 x 1 bitmap", bombs::stretchedBitmapCard(), 0}};
    for (const Bomb &bomb : cards) {
        SCOPED_TRACE(bomb.name);
        int problems = 0;
        const int peak = childPeakMB(bomb.card, false, problems);
        EXPECT_GT(peak, 0);
        if (kPeakIsTheProgramsOwn) {
            EXPECT_LT(peak, kBudgetMB);
        }
        EXPECT_EQ(problems, bomb.problems);
    }
}

// A 4000 x 3000 photo as a background larger than the card, as choosing it
// unfitted leaves it: only its corner shows, and only that corner (with a
// margin) may be decoded for the canvas and the vector sheet.
TEST(MemoryBudget, VectorSheetOfALargePhotoStaysUnder70MB)
{
    QImage photo(4000, 3000, QImage::Format_RGB32);
    std::uint32_t state = 7;
    for (int y = 0; y < photo.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = static_cast<int>(state >> 27);
            line[x] = qRgb((x / 16 + grain) & 255, (y / 12 + grain) & 255, (x + y) / 28);
        }
    }
    std::vector<std::unique_ptr<Picture>> pictures;
    pictures.push_back(JpegPicture::FromBytes(encodeImage(photo, "JPG", 90)));
    const QByteArray card = bombs::cardWith(std::move(pictures), {0, 0, 5643, 4233});
    int problems = 0;
    const int peak = childPeakMB(card, true, problems);
    EXPECT_GT(peak, 0);
    EXPECT_EQ(problems, 0);
    if (kPeakIsTheProgramsOwn) {
        EXPECT_LE(peak, 70);
    }
}
